// The companion end-to-end fixture: its own script and record, the rows a plan must give, and the
// companion's CSV read back.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "companion_process.h"
#include "standin_harness.h"
#include "standin_script.h"
#include "text.h"

namespace quillmark::companion_endtoend {

// One output row without its milliseconds: computer, serial, status, code, description.
using Row = std::vector<std::wstring>;

// The rows that a lookup of `computer` served by `plan` must give: a row per member read, then a
// "failed" row with the failure's code and the description the window program shows (the scripted
// one, or the program's own words for a bare code); "no instance" when the walk found nothing.
std::vector<Row> ExpectedRows(const std::wstring& computer, const standin::Plan& plan);

// The plan for the `number`th of many computers, one of fifteen behaviours chosen by number: one
// or two members, none, a failure at each step (after members too), null, blank, comma-and-quote
// and non-ASCII serials, an integer, a delay. Some names carry blanks, quotes or non-ASCII letters.
standin::Plan MixedPlan(int number);
inline constexpr unsigned kMixedDelayMs = 300;  // the delayed behaviour's delay

// The companion's CSV output, checked and read back.
struct CsvOutput {
  std::string problem;    // empty when the output is well-formed
  std::vector<Row> rows;  // each without its milliseconds
  std::vector<unsigned long long> milliseconds;
  std::vector<std::wstring> protocols;           // each row's protocol column
  std::vector<std::string> fact_columns;         // the facts asked, as the header names them
  std::vector<std::vector<std::wstring>> facts;  // each row's facts, in those columns
  std::vector<std::wstring> notes;               // each row's serial_note
  std::vector<std::vector<std::string>> raw;     // every record's fields as bytes, header included
};

// Reads the bytes: a UTF-8 byte-order mark, then RFC 4180 records with CRLF ends, the header
// computer,serial,status,code,description,milliseconds,protocol, then the facts asked in their
// order (maker, model, uuid, asset_tag, bios_version, bios_date, bios_maker), then serial_note;
// as many fields a row, valid UTF-8, a whole number of milliseconds, a protocol that is "dcom",
// "wsman" or empty, and a note that is "placeholder", "virtual" or empty.
CsvOutput ReadCompanionCsv(const std::string& bytes);

// An inventory file's rows by computer, each with its fields by column; empty when the file is
// missing or not the companion's CSV (a byte-order mark, then RFC 4180 with CRLF ends).
using InventoryRows = std::map<std::string, std::map<std::string, std::string>>;
InventoryRows ReadInventoryFile(const std::wstring& path);

// A text in a form that a test failure message can show.
std::string Printable(const std::wstring& text);

using test_support::Utf8;

// A file in a test's scratch folder, written at once and deleted when this goes (the folder can
// only be removed once it is empty).
class FileInScratch {
 public:
  FileInScratch(const standin::Scratch& scratch, const std::wstring& name,
                const std::string& bytes);
  const std::wstring& path() const { return file_.get(); }

 private:
  UniqueTempFile file_;
};

// Each test has a script and a record of its own, which the companion finds through the
// environment it inherits.
class CompanionEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override { scratch_.SetInThisProcess(); }
  void Use(std::vector<standin::Plan> plans) const;
  std::vector<std::string> Record() const { return scratch_.RecordLines(); }

  standin::Scratch scratch_{L"companion"};
};

}  // namespace quillmark::companion_endtoend
