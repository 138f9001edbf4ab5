// The facts beside a serial: where each is read, and the walk that reads them with the serials.
#include "fact_reading.h"

#include <algorithm>
#include <string_view>
#include <utility>

#include "platform_failure.h"

namespace quillmark::companion {
namespace {

constexpr wchar_t kComputerSystem[] = L"Win32_ComputerSystem";
constexpr wchar_t kComputerSystemProduct[] = L"Win32_ComputerSystemProduct";
constexpr wchar_t kSystemEnclosure[] = L"Win32_SystemEnclosure";

// In the order of Fact.
constexpr FactSource kSources[kFactCount] = {
    {Fact::kMaker, kComputerSystem, L"Manufacturer"},
    {Fact::kModel, kComputerSystem, L"Model"},
    {Fact::kUuid, kComputerSystemProduct, L"UUID"},
    {Fact::kAssetTag, kSystemEnclosure, L"SMBIOSAssetTag"},
    {Fact::kBiosVersion, kBiosClass, L"SMBIOSBIOSVersion"},
    {Fact::kBiosDate, kBiosClass, L"ReleaseDate"},
    {Fact::kBiosMaker, kBiosClass, L"Manufacturer"},
};

// What a property whose text is not the fact's gives: DISP_E_TYPEMISMATCH.
constexpr std::int32_t kNotTheFact = static_cast<std::int32_t>(0x80020005);

bool SameClass(const wchar_t* a, const wchar_t* b) {
  return std::wstring_view(a) == std::wstring_view(b);
}

bool Asks(const AskedFacts& with, const FactSource& source, const wchar_t* wmi_class) {
  return with[FactIndex(source.fact)] && SameClass(source.wmi_class, wmi_class);
}

// The number of the digits at `at`, `count` of them; -1 where any is not a digit.
int DigitsAt(const std::wstring& text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return -1;
  int value = 0;
  for (std::size_t index = at; index < at + count; ++index) {
    if (text[index] < L'0' || text[index] > L'9') return -1;
    value = value * 10 + (text[index] - L'0');
  }
  return value;
}

}  // namespace

const FactSource& SourceOf(Fact fact) { return kSources[FactIndex(fact)]; }

std::vector<const wchar_t*> ComputerClassesFor(const AskedFacts& with) {
  std::vector<const wchar_t*> classes;
  for (const FactSource& source : kSources) {
    const bool listed = std::any_of(classes.begin(), classes.end(), [&](const wchar_t* known) {
      return SameClass(known, source.wmi_class);
    });
    if (with[FactIndex(source.fact)] && !SameClass(source.wmi_class, kBiosClass) && !listed) {
      classes.push_back(source.wmi_class);
    }
  }
  return classes;
}

void ReadFactsOf(const wchar_t* wmi_class, const AskedFacts& with, const PropertyReader& read,
                 FactReadings& readings) {
  for (const FactSource& source : kSources) {
    if (!Asks(with, source, wmi_class)) continue;
    std::wstring& value = readings.values[FactIndex(source.fact)];
    try {
      value = read(source.property);
      if (source.fact == Fact::kBiosDate) value = BiosDateText(value);
    } catch (const PlatformFailure& failure) {
      value.clear();  // never shown as a value
      readings.failures.push_back({source.fact, failure.code()});
    }
  }
}

void FailFactsOf(const wchar_t* wmi_class, const AskedFacts& with, std::int32_t code,
                 FactReadings& readings) {
  for (const FactSource& source : kSources) {
    if (Asks(with, source, wmi_class)) readings.failures.push_back({source.fact, code});
  }
}

std::wstring BiosDateText(const std::wstring& release_date) {
  const std::wstring date = TrimBlanks(release_date);
  if (date.empty()) return {};
  // WS-Management writes XML Schema's dateTime; WMI the CIM form, digits from the year on.
  const bool dashed = date.size() > 4 && date[4] == L'-';
  const int year = DigitsAt(date, 0, 4);
  const int month = DigitsAt(date, dashed ? 5 : 4, 2);
  const int day = DigitsAt(date, dashed ? 8 : 6, 2);
  const bool separated = !dashed || (date.size() >= 10 && date[7] == L'-');
  const bool ends = !dashed || date.size() == 10 || (date.size() > 10 && date[10] == L'T');
  if (year < 0 || month < 1 || month > 12 || day < 1 || day > 31 || !separated || !ends) {
    throw PlatformFailure(kNotTheFact, L"");
  }
  return date.substr(0, 4) + L"-" + date.substr(dashed ? 5 : 4, 2) + L"-" +
         date.substr(dashed ? 8 : 6, 2);
}

FactReadings ForEachSerialWithFacts(const std::wstring& computer, const AskedFacts& with,
                                    ManagementBinder& binder, const InstanceReceiver& receive) {
  FactReadings computer_facts;
  ManagementObjectRef bios;
  std::vector<std::pair<const wchar_t*, ManagementObjectRef>> others;
  {
    // The services object is needed only to obtain the collections.
    const ManagementObjectRef services = binder.BindMoniker(MonikerFor(computer));
    bios = binder.CallMethod(*services, kInstancesOfMethod, kBiosClass);
    for (const wchar_t* wmi_class : ComputerClassesFor(with)) {
      try {
        others.emplace_back(wmi_class, binder.CallMethod(*services, kInstancesOfMethod, wmi_class));
      } catch (const PlatformFailure& failure) {
        FailFactsOf(wmi_class, with, failure.code(), computer_facts);
      }
    }
  }
  const std::unique_ptr<MemberWalk> walk = binder.WalkMembers(*bios);
  for (ManagementObjectRef member = walk->Next(); member; member = walk->Next()) {
    const std::wstring serial = binder.ReadPropertyText(*member, kSerialNumberProperty);
    FactReadings bios_facts;
    ReadFactsOf(
        kBiosClass, with,
        [&](const wchar_t* property) { return binder.ReadPropertyText(*member, property); },
        bios_facts);
    receive(serial, std::move(bios_facts));
  }
  // The computer's own facts, from the first instance of each class.
  for (auto& [wmi_class, collection] : others) {
    try {
      const std::unique_ptr<MemberWalk> instances = binder.WalkMembers(*collection);
      const ManagementObjectRef instance = instances->Next();
      if (!instance) throw PlatformFailure(kNoInstanceOfClass, L"");
      ReadFactsOf(
          wmi_class, with,
          [&](const wchar_t* property) { return binder.ReadPropertyText(*instance, property); },
          computer_facts);
    } catch (const PlatformFailure& failure) {
      FailFactsOf(wmi_class, with, failure.code(), computer_facts);
    }
  }
  return computer_facts;
}

}  // namespace quillmark::companion
