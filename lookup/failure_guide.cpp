// The troubleshooting table of the administrator's guide.
#include "failure_guide.h"

#include "platform_failure.h"

namespace quillmark {
namespace {

// The guide is ASCII apart from what the tables hold, which is ASCII too; anything else is kept
// as a visible question mark rather than dropped.
std::string CellText(const std::wstring& text) {
  std::string cell;
  for (const wchar_t c : text) {
    if (c == L'|') {
      cell += "\\|";
    } else {
      cell += c < 0x80 ? static_cast<char>(c) : '?';
    }
  }
  return cell;
}

std::string CodeText(std::int32_t code) { return CellText(FormatFailureCode(code)); }

}  // namespace

std::string TroubleshootingTable() {
  std::string table = "| Code | Meaning | What to check |\n|---|---|---|\n";
  for (const HintedFailure& failure : HintedFailures()) {
    std::string check = CellText(failure.hint);
    if (!failure.directory_hint.empty()) {
      check += " Where a directory source failed: " + CellText(failure.directory_hint);
    }
    table += "| `" + CodeText(failure.code) + "` | " + CellText(failure.description) + " | " +
             check + " |\n";
  }
  return table;
}

std::string WithTroubleshootingTable(const std::string& guide, const std::string& table) {
  const std::string begins = std::string(kTableBegins) + "\n";
  const std::size_t start = guide.find(begins);
  if (start == std::string::npos) return guide;
  const std::size_t body = start + begins.size();
  const std::size_t end = guide.find(kTableEnds, body);
  if (end == std::string::npos) return guide;
  return guide.substr(0, body) + table + guide.substr(end);
}

}  // namespace quillmark
