// A run's exit code from its rows, and its progress line from its counts.
#include "run_outcome.h"

#include <algorithm>
#include <unordered_set>

#include "computer_names.h"

namespace quillmark::companion {

std::uint32_t ExitCodeFor(const std::vector<std::wstring>& computers,
                          const std::vector<LookupRow>& rows) {
  std::unordered_set<std::wstring> answered;
  for (const LookupRow& row : rows) {
    if (row.status != RowStatus::kOk) return kExitSomeUnanswered;
    answered.insert(ComputerNameKey(row.computer));
  }
  const bool all_answered = std::all_of(computers.begin(), computers.end(), [&](const auto& name) {
    return answered.count(ComputerNameKey(name)) != 0;
  });
  return all_answered ? kExitAllAnswered : kExitSomeUnanswered;
}

bool NeedsRetry(const std::vector<LookupRow>& rows) {
  return std::any_of(rows.begin(), rows.end(), [](const LookupRow& row) {
    return row.status != RowStatus::kOk && row.status != RowStatus::kNoInstance;
  });
}

std::wstring ProgressText(const LookupProgress& progress) {
  return std::to_wstring(progress.done) + L"/" + std::to_wstring(progress.total) + L" done, " +
         std::to_wstring(progress.failed) + L" failed, " + std::to_wstring(progress.timed_out) +
         L" timed out";
}

}  // namespace quillmark::companion
