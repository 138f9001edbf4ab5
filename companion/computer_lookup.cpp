// One computer's lookup through the management service, as rows.
#include "computer_lookup.h"

#include <windows.h>

#include <chrono>
#include <mutex>
#include <optional>

#include "com_management_binder.h"
#include "in_process_binding.h"
#include "platform_failure.h"
#include "serial_lookup.h"
#include "this_computer.h"

namespace quillmark::companion {
namespace {

std::wstring OwnName(COMPUTER_NAME_FORMAT format) {
  DWORD size = 0;
  GetComputerNameExW(format, nullptr, &size);
  if (size == 0) return {};
  std::wstring name(size, L'\0');
  if (!GetComputerNameExW(format, name.data(), &size)) return {};
  name.resize(size);
  return name;
}

const std::vector<std::wstring>& OwnNames() {
  static const std::vector<std::wstring> names = {OwnName(ComputerNameNetBIOS),
                                                  OwnName(ComputerNameDnsHostname),
                                                  OwnName(ComputerNameDnsFullyQualified)};
  return names;
}

// Held through every lookup of this computer. This computer's management service can be answered
// inside the lookup's own process (Wine's is), by a provider whose tables the process shares:
// two such lookups at once then read each other's half-written values. Only lookups of this
// computer wait for each other; others never take the lock.
std::mutex this_computer_lookup;

void ReadSerials(const std::wstring& computer, ComputerRows& rows) {
  ComManagementBinder binder(BindInProcess);
  ForEachSerial(computer, binder, [&](const std::wstring& serial) {
    rows.push_back({computer, serial, RowStatus::kOk, std::nullopt, L"", 0});
  });
}

}  // namespace

ComputerRows LookUpComputer(const std::wstring& computer) {
  const auto start = std::chrono::steady_clock::now();
  ComputerRows rows;
  try {
    if (NamesThisComputer(computer, OwnNames())) {
      const std::lock_guard<std::mutex> lock(this_computer_lookup);
      ReadSerials(computer, rows);
    } else {
      ReadSerials(computer, rows);
    }
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
