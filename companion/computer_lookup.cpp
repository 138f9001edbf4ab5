// One computer's lookup through the management service, as rows.
#include "computer_lookup.h"

#include <chrono>
#include <optional>

#include "com_management_binder.h"
#include "platform_failure.h"
#include "serial_lookup.h"

namespace quillmark::companion {

ComputerRows LookUpComputer(const std::wstring& computer) {
  const auto start = std::chrono::steady_clock::now();
  ComputerRows rows;
  try {
    ComManagementBinder binder;
    ForEachSerial(computer, binder, [&](const std::wstring& serial) {
      rows.push_back({computer, serial, RowStatus::kOk, std::nullopt, L"", 0});
    });
  } catch (const PlatformFailure& failure) {
    // Serials read before the failure are kept: nothing that was learnt is lost.
    rows.push_back({computer, L"", RowStatus::kFailed, failure.code(), failure.description(), 0});
  }
  if (rows.empty()) rows.push_back({computer, L"", RowStatus::kNoInstance, std::nullopt, L"", 0});
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - start);
  for (LookupRow& row : rows) row.milliseconds = static_cast<std::uint64_t>(elapsed.count());
  return rows;
}

}  // namespace quillmark::companion
