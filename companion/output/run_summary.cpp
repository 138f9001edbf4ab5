// The end-of-run summary: computers counted by what their rows came to.
#include "run_summary.h"

#include <algorithm>

#include "platform_failure.h"
#include "text_encoding.h"
#include "visible_text.h"

namespace quillmark::companion {
namespace {

// A remote computer's description can be anything: one line, and not a screenful.
constexpr std::size_t kDescriptionCap = 160;

// Cut by code points before the escapes are made, so that no cut falls inside an escape or
// between the halves of a surrogate pair.
std::wstring OneLineDescription(const std::wstring& description) {
  std::u32string code_points = CodePointsFrom(TrimBlanks(description));
  const bool cut = code_points.size() > kDescriptionCap;
  if (cut) code_points.resize(kDescriptionCap - 1);
  return VisibleText(UnitsFromCodePoints<std::wstring>(code_points)) + (cut ? L"\u2026" : L"");
}

std::wstring Counted(std::size_t count) {
  const std::wstring digits = std::to_wstring(count);
  return std::wstring(digits.size() < 7 ? 7 - digits.size() : 0, L' ') + digits;
}

std::wstring Plural(std::size_t count, const wchar_t* one, const wchar_t* many) {
  return std::to_wstring(count) + L" " + (count == 1 ? one : many);
}

}  // namespace

void RunSummary::Add(const ComputerRows& rows) {
  const auto coded =
      std::find_if(rows.begin(), rows.end(), [](const LookupRow& row) { return row.code; });
  if (coded == rows.end()) {
    const bool answered = std::all_of(rows.begin(), rows.end(), [](const LookupRow& row) {
      return row.status == RowStatus::kOk;
    });
    ++(answered && !rows.empty() ? answered_ : no_instance_);
    ++added_;
    return;
  }
  const auto known = std::find_if(codes_.begin(), codes_.end(), [&](const CodeCount& entry) {
    return entry.code == *coded->code;
  });
  if (known != codes_.end()) {
    ++known->count;
  } else {
    codes_.push_back({*coded->code, 1});  // may throw: counts nothing then
  }
  const bool some_serials = std::any_of(
      rows.begin(), rows.end(), [](const LookupRow& row) { return row.status == RowStatus::kOk; });
  if (some_serials) ++partly_answered_;
  ++added_;
}

std::vector<std::wstring> RunSummary::Lines() const {
  std::vector<std::wstring> lines;
  std::wstring first = std::to_wstring(answered_) + L" of " +
                       Plural(computers_, L"computer", L"computers") + L" answered fully";
  if (partly_answered_ != 0) {
    first += L"; " + std::to_wstring(partly_answered_) +
             L" more gave some serial numbers before failing";
  }
  lines.push_back(first + L"." + kLineEnd);
  std::vector<CodeCount> codes = codes_;
  std::stable_sort(codes.begin(), codes.end(),
                   [](const CodeCount& a, const CodeCount& b) { return a.count > b.count; });
  std::size_t others = 0;
  std::size_t other_codes = 0;
  for (std::size_t index = 0; index < codes.size(); ++index) {
    const CodeCount& entry = codes[index];
    if (index >= kSummaryCodeLines) {
      others += entry.count;
      ++other_codes;
      continue;
    }
    std::wstring line = Counted(entry.count) + L"  " + FormatFailureCode(entry.code) + L"  " +
                        OneLineDescription(describe_(entry.code));
    const std::wstring hint = hint_(entry.code);
    if (!hint.empty()) line += L" " + hint;
    lines.push_back(line + kLineEnd);
  }
  if (others != 0) {
    lines.push_back(Counted(others) + L"  with " +
                    Plural(other_codes, L"other code", L"other codes") + kLineEnd);
  }
  if (no_instance_ != 0) {
    lines.push_back(Counted(no_instance_) + L"  no instance: the computer reports no BIOS." +
                    kLineEnd);
  }
  if (added_ < computers_) {
    lines.push_back(Counted(computers_ - added_) + L"  not finished: the run ended first." +
                    kLineEnd);
  }
  return lines;
}

}  // namespace quillmark::companion
