// Where each fact beside a serial is read, how its text is written, and the walk that reads a
// computer's serials and facts over one binding of its management service. Free of Windows.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "lookup_row.h"
#include "serial_facts.h"
#include "serial_lookup.h"

namespace quillmark::companion {

// The facts read for a row, by FactIndex, and those asked for that could not be read.
struct FactReadings {
  std::array<std::wstring, kFactCount> values = {};
  std::vector<FactFailure> failures = {};
};

// Where a fact is read: a property of a management class's instance.
struct FactSource {
  Fact fact;
  const wchar_t* wmi_class;
  const wchar_t* property;
};

// The fact's class and property (Win32_BIOS's facts come from each BIOS instance, the others from
// the computer's one instance of their class).
const FactSource& SourceOf(Fact fact);

// The classes other than Win32_BIOS that the asked facts need, each once, in the table's order.
std::vector<const wchar_t*> ComputerClassesFor(const AskedFacts& with);

// What a class with no instance gives for each of its facts asked: WBEM_E_NOT_FOUND.
inline constexpr std::int32_t kNoInstanceOfClass = static_cast<std::int32_t>(0x80041002);

// What a property read gives, or throws PlatformFailure.
using PropertyReader = std::function<std::wstring(const wchar_t* property)>;

// Reads the asked facts of one class's instance: each read that fails, or whose text is not the
// fact's (a bios_date that is no date), is that fact's failure alone.
void ReadFactsOf(const wchar_t* wmi_class, const AskedFacts& with, const PropertyReader& read,
                 FactReadings& readings);

// Every asked fact of a class failed with this code: the class is missing, or refused.
void FailFactsOf(const wchar_t* wmi_class, const AskedFacts& with, std::int32_t code,
                 FactReadings& readings);

// The bios_date a BIOS release date is written as, YYYY-MM-DD, from WMI's own form
// ("20190315000000.000000+000") or WS-Management's ("2019-03-15T00:00:00Z"); empty for an empty
// value; DISP_E_TYPEMISMATCH (PlatformFailure) for anything else.
std::wstring BiosDateText(const std::wstring& release_date);

// One BIOS instance's serial, as ForEachSerial gives it, and the BIOS facts asked of it.
using InstanceReceiver = std::function<void(const std::wstring& serial, FactReadings bios_facts)>;

// Reads a computer's BIOS serials as quillmark::ForEachSerial does, over one binding: with them,
// the asked Win32_BIOS facts of each instance; then the computer's other asked facts, from the same
// services object, which is kept only until the last collection has been obtained. Each class is
// asked for once, and only the classes the asked facts need. A failure of the BIOS class's walk
// ends it, as ForEachSerial's does; a fact's failure is only that fact's. Returns the computer's
// facts, read once the walk is over.
FactReadings ForEachSerialWithFacts(const std::wstring& computer, const AskedFacts& with,
                                    ManagementBinder& binder, const InstanceReceiver& receive);

}  // namespace quillmark::companion
