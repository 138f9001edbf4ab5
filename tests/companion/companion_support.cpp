// What the companion's output must hold for a plan, and its CSV output read back.
#include "companion_support.h"

#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <optional>
#include <stdexcept>

#include "csv_reader.h"
#include "platform_failure.h"
#include "standin_file.h"
#include "standin_text.h"
#include "text.h"

namespace quillmark::companion_endtoend {
namespace {

using csv_support::CsvRecord;
using standin::Failure;
using standin::Plan;
using standin::Raise;
using standin::Serial;
using standin::Step;

HRESULT Code(unsigned long value) { return static_cast<HRESULT>(value); }

std::wstring CodeText(HRESULT code) {
  wchar_t digits[16];
  std::swprintf(digits, sizeof digits / sizeof digits[0], L"0x%08lX",
                static_cast<unsigned long>(code));
  return digits;
}

// What the window program shows for a member's value.
std::wstring Shown(const Serial& serial) {
  switch (serial.kind) {
    case Serial::Kind::kText:
    case Serial::Kind::kDerived:
      return serial.text;
    case Serial::Kind::kInteger:
      return std::to_wstring(serial.integer);
    case Serial::Kind::kNull:
    case Serial::Kind::kEmpty:
    case Serial::Kind::kReal:  // not used here: its text depends on the locale
    case Serial::Kind::kMissing:
      break;
  }
  return L"";
}

bool IsWholeNumber(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

std::vector<Row> ExpectedRows(const std::wstring& computer, const Plan& plan) {
  std::vector<Row> rows;
  const auto failed = [&](Step step, std::size_t occurrence) {
    const Failure* failure = plan.FailureAt(step, static_cast<int>(occurrence));
    if (failure == nullptr) return false;
    const std::wstring description =
        failure->raise == Raise::kCode ? DescribeFailureCode(failure->code) : failure->description;
    rows.push_back({computer, L"", L"failed", CodeText(failure->code), description});
    return true;
  };
  if (failed(Step::kBind, 1) || failed(Step::kInstancesOf, 1) || failed(Step::kNewEnum, 1)) {
    return rows;
  }
  for (std::size_t number = 1;; ++number) {
    if (failed(Step::kNext, number)) return rows;
    if (number > plan.members.size()) break;
    if (failed(Step::kSerialNumber, number)) return rows;
    rows.push_back({computer, Shown(plan.members[number - 1]), L"ok", L"", L""});
  }
  if (rows.empty()) rows.push_back({computer, L"", L"no instance", L"", L""});
  return rows;
}

Plan MixedPlan(int number) {
  const std::wstring n = std::to_wstring(number);
  const int kind = number % 15;
  std::wstring name = L"pc-" + n;
  if (kind == 9) name = L"pc " + n + L" with blanks";
  if (kind == 10) name = L"pc-\"" + n + L"\"";
  if (kind == 11) name = L"r\u00e9seau-" + n;
  standin::PlanBuilder plan = standin::For(name);
  switch (kind) {
    case 0:
      plan.Member(Serial::Text(L"SN-" + n));
      break;
    case 1:
      plan.Member(Serial::Text(L"A-" + n)).Member(Serial::Text(L"B-" + n));
      break;
    case 2:
      break;
    case 3:
      plan.Fail(Step::kBind, 1, Code(0x80041015), Raise::kErrorInfo,
                L"The computer " + name + L" cannot be reached.");
      break;
    case 4:
      plan.Member(Serial::Text(L"X"))
          .Fail(Step::kInstancesOf, 1, Code(0x80041003), Raise::kExcepInfo,
                L"Access denied, \"really\".");
      break;
    case 5:
      plan.Member(Serial::Text(L"X"))
          .Fail(Step::kNewEnum, 1, Code(0x8004100A), Raise::kErrorInfo,
                L"Critical error of the stand-in.");
      break;
    case 6:
      plan.Member(Serial::Text(L"A-" + n))
          .Member(Serial::Text(L"B-" + n))
          .Fail(Step::kNext, 2, Code(0x800706BA), Raise::kErrorInfo,
                L"Le serveur RPC n\u2019est pas disponible.");
      break;
    case 7:
      plan.Member(Serial::Text(L"X"))
          .Fail(Step::kSerialNumber, 1, Code(0x80041002), Raise::kCode, L"");
      break;
    case 8:
      plan.Member(Serial::Null());
      break;
    case 9:
      plan.Member(Serial::Text(L"   "));
      break;
    case 10:
      plan.Member(Serial::Text(L"A,\"B\"\r\nC"));
      break;
    case 11:
      plan.Member(Serial::Text(L"S\u00e9rie-\u65e5\u672c-\U0001F600"));
      break;
    case 12:
      plan.Delay(kMixedDelayMs).Member(Serial::Text(L"LATE-" + n));
      break;
    case 13:
      plan.Member(Serial::Integer(number * 1000 + 7));
      break;
    default:
      plan.Member(Serial::Text(L"A-" + n))
          .Member(Serial::Text(L"B-" + n))
          .Fail(Step::kSerialNumber, 2, Code(0x80041004), Raise::kExcepInfo,
                L"line one\r\nline two, \"quoted\"");
      break;
  }
  return plan;
}

CsvOutput ReadCompanionCsv(const std::string& bytes) {
  CsvOutput output;
  const std::string mark = "\xEF\xBB\xBF";
  if (bytes.compare(0, mark.size(), mark) != 0) {
    output.problem = "no UTF-8 byte-order mark";
    return output;
  }
  std::optional<std::vector<CsvRecord>> records = csv_support::ReadCsv(bytes.substr(mark.size()));
  if (!records) {
    output.problem = "not RFC 4180 CSV with CRLF line ends";
    return output;
  }
  output.raw = *records;
  const CsvRecord kRowColumns = {"computer",    "serial",       "status",  "code",
                                 "description", "milliseconds", "protocol"};
  const CsvRecord kFacts = {"maker",        "model",     "uuid",      "asset_tag",
                            "bios_version", "bios_date", "bios_maker"};
  constexpr std::size_t kMilliseconds = 5;
  constexpr std::size_t kProtocol = 6;
  const CsvRecord header = records->empty() ? CsvRecord{} : records->front();
  // The facts asked stand between the protocol and the note, each once, in the facts' order.
  bool well_formed = header.size() > kRowColumns.size() && header.back() == "serial_note" &&
                     std::equal(kRowColumns.begin(), kRowColumns.end(), header.begin());
  for (std::size_t column = kRowColumns.size(), fact = 0; well_formed && column + 1 < header.size();
       ++column, ++fact) {
    while (fact < kFacts.size() && kFacts[fact] != header[column]) ++fact;
    well_formed = fact < kFacts.size();
    if (well_formed) output.fact_columns.push_back(header[column]);
  }
  if (!well_formed) {
    output.problem = "the header is not " + ::testing::PrintToString(kRowColumns) +
                     ", the facts asked and serial_note: " + ::testing::PrintToString(header);
    return output;
  }
  for (std::size_t index = 1; index < records->size(); ++index) {
    const CsvRecord& record = (*records)[index];
    const std::string where = "row " + std::to_string(index) + ": ";
    if (record.size() != header.size()) {
      output.problem = where + std::to_string(record.size()) + " fields";
      return output;
    }
    std::vector<std::wstring> fields;
    for (const std::string& field : record) {
      std::optional<std::wstring> text = test_support::StrictWide(field);
      if (!text) {
        output.problem = where + "invalid UTF-8";
        return output;
      }
      fields.push_back(std::move(*text));
    }
    if (!IsWholeNumber(record[kMilliseconds])) {
      output.problem = where + "milliseconds \"" + record[kMilliseconds] + "\"";
      return output;
    }
    const std::string& protocol = record[kProtocol];
    if (protocol != "" && protocol != "dcom" && protocol != "wsman") {
      output.problem = where + "protocol \"" + protocol + "\"";
      return output;
    }
    const std::string& note = record.back();
    if (note != "" && note != "placeholder" && note != "virtual") {
      output.problem = where + "serial_note \"" + note + "\"";
      return output;
    }
    output.rows.emplace_back(fields.begin(), fields.begin() + kMilliseconds);
    output.milliseconds.push_back(std::stoull(record[kMilliseconds]));
    output.protocols.push_back(fields[kProtocol]);
    output.facts.emplace_back(fields.begin() + kProtocol + 1, fields.end() - 1);
    output.notes.push_back(fields.back());
  }
  return output;
}

InventoryRows ReadInventoryFile(const std::wstring& path) {
  const std::string bytes = standin::ReadWholeFile(path).value_or("");
  const auto records =
      csv_support::ReadCsv(bytes.rfind("\xEF\xBB\xBF", 0) == 0 ? bytes.substr(3) : "");
  InventoryRows rows;
  for (std::size_t index = 1; records && index < records->size(); ++index) {
    for (std::size_t field = 0; field < (*records)[index].size(); ++field) {
      rows[(*records)[index][0]][records->front().at(field)] = (*records)[index][field];
    }
  }
  return rows;
}

std::string Printable(const std::wstring& text) { return standin::Quoted(text); }

FileInScratch::FileInScratch(const standin::Scratch& scratch, const std::wstring& name,
                             const std::string& bytes)
    : file_(scratch.folder() + L"\\" + name) {
  if (!standin::WriteWholeFile(path(), bytes)) throw std::runtime_error("cannot write a file");
}

void CompanionEndToEnd::Use(std::vector<standin::Plan> plans) const {
  scratch_.WriteScript(standin::Script{std::move(plans)});
}

}  // namespace quillmark::companion_endtoend
