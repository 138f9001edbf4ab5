// The rows a run of lookups yields and the ways they are written out: table, CSV, JSON and JSON
// Lines, one computer at a time.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "computer_names.h"
#include "lookup_row.h"
#include "serial_facts.h"

namespace quillmark::companion {

enum class OutputFormat { kTable, kCsv, kJson, kJsonLines };

// The format a --format value names ("table", "csv", "json" or "jsonl", in any case), if any.
std::optional<OutputFormat> FormatNamed(const std::wstring& name);

// Every value reaches every format with its control and bidirectional characters shown as escapes
// and its unpaired surrogates as U+FFFD (see visible_text.h), so that no value can act on a
// terminal or a spreadsheet: the facts beside a serial, remote text like the serial, too. The
// columns are the row's own (computer, serial, status, code, description, milliseconds, protocol),
// then each fact asked for (--with) in the order of kEveryFact, then serial_note (SerialNoteWord),
// which every row has. Per format:
//   table: aligned columns for a person to read: the note beside the serial, the facts after the
//          milliseconds and the free-text description last; line breaks and tabs show as \n, \r
//          and \t. A serial, fact or description longer than its column's cap is cut there and ends
//          in kCutMarker, so that one long value cannot widen every row.
//   csv:   RFC 4180 with a header row; a line break inside a field stays, quoted. A field that
//          begins with =, +, -, @, a tab or a carriage return is given a leading apostrophe, so
//          that a spreadsheet program shows it as text rather than run it as a formula, unless
//          `csv_raw` is set. Values are never cut.
//   json:  one array, one object a line, with JSON's own escapes, each column a field of its name;
//          values are never cut.
//   jsonl: JSON Lines: the same objects, one a line, each line ending in LF alone.
// Every other line ends in kLineEnd.

// The widths of the table's columns, in code points, in the order the table shows them: computer,
// serial, serial_note, status, code, protocol, milliseconds, the facts asked, description (the last
// is never padded, only capped).
using TableWidths = std::vector<std::size_t>;
inline constexpr std::size_t kComputerWidthCap = 64;  // a longer name widens its own row only
inline constexpr std::size_t kSerialCap = 40;
inline constexpr std::size_t kDescriptionCap = 160;
inline constexpr wchar_t kCutMarker[] = L"\u2026";

// The widths known before any row: the widest of the names (up to kComputerWidthCap), the serial's
// and each fact's cap, the longest status word and code, and the milliseconds of the slowest row a
// run with this timeout can give.
TableWidths TableWidthsUpFront(const ComputerNames& computers, std::uint64_t timeout_milliseconds,
                               const AskedFacts& with = {});

struct OutputStyle {
  OutputFormat format = OutputFormat::kCsv;
  bool csv_raw = false;  // no leading apostrophe for a field that looks like a formula
  // CSV's header row; left out where the output adds to a file that holds data already.
  bool csv_header = true;
  AskedFacts with = {};  // the facts' columns
  TableWidths table_widths{};
};

// Writes rows one computer at a time: Opening() first, Rows() for each computer in order, then
// Closing(), which also ends the output of a run that was stopped early.
class RowFormatter {
 public:
  explicit RowFormatter(OutputStyle style) : style_(style) {}
  std::wstring Opening() const;
  std::wstring Rows(const std::vector<LookupRow>& rows);
  std::wstring Closing() const;

 private:
  OutputStyle style_;
  bool any_row_ = false;
};

// All rows at once, the table sized to them (serial, facts and description still capped).
std::wstring FormatRows(OutputFormat format, const std::vector<LookupRow>& rows,
                        const AskedFacts& with = {});

inline constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

// Whether UTF-8 output of a format starts with a byte-order mark: CSV does, because spreadsheet
// programs read a CSV file without one in the ANSI code page and garble every non-ASCII name;
// JSON must not (RFC 8259), and a table is for reading. OutputStream leaves it out where the
// output does not start a file.
bool StartsWithByteOrderMark(OutputFormat format);

}  // namespace quillmark::companion
