// The rows a run of lookups yields and the three ways they are written out: table, CSV and JSON.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillmark::companion {

enum class RowStatus { kOk, kNoInstance, kFailed, kTimedOut, kUnreachable };

// One BIOS instance's serial number, or the reason a computer gave none. A computer with several
// instances gives several rows.
struct LookupRow {
  std::wstring computer;
  std::wstring serial;
  RowStatus status = RowStatus::kOk;
  std::optional<std::int32_t> code;  // the platform's failure code, when there was one
  std::wstring description;
  std::uint64_t milliseconds = 0;  // from the start of this computer's lookup
  std::wstring protocol = {};      // "dcom" or "wsman": the lookup's transport; empty if none made
};

enum class OutputFormat { kTable, kCsv, kJson };

// "ok", "no instance", "failed", "timed out" or "unreachable".
const wchar_t* StatusWord(RowStatus status);

// The format a --format value names ("table", "csv" or "json", in any case), if any.
std::optional<OutputFormat> FormatNamed(const std::wstring& name);

// All rows in a format, as wide text; every line ends in kLineEnd. The caller writes it to a
// console as it is, or elsewhere as UTF-8 (Utf8FromWide), preceded by kUtf8ByteOrderMark when
// StartsWithByteOrderMark says so.
//   table: aligned columns for a person to read, the free-text description last. Control
//          characters are shown as escapes (\n, \r, \t, \u0085) so that no value can break its
//          row; csv and json carry values exactly.
//   csv:   RFC 4180 with a header row.
//   json:  one array, one object a line; an unpaired surrogate is escaped, never written raw.
std::wstring FormatRows(OutputFormat format, const std::vector<LookupRow>& rows);

// The CSV header line and one row's line, for a caller that writes rows as they arrive.
std::wstring CsvHeaderLine();
std::wstring CsvRecordLine(const LookupRow& row);

inline constexpr char kUtf8ByteOrderMark[] = "\xEF\xBB\xBF";

// Whether UTF-8 output of a format starts with a byte-order mark: CSV does, because spreadsheet
// programs read a CSV file without one in the ANSI code page and garble every non-ASCII name;
// JSON must not (RFC 8259), and a table is for reading. A caller appending to an existing file
// leaves it out.
bool StartsWithByteOrderMark(OutputFormat format);

}  // namespace quillmark::companion
