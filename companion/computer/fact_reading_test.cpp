// The facts beside a serial over one binding, against a management service made of a table: which
// classes are asked for, when the services object goes, and what a fact's failure leaves.
#include "fact_reading.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "platform_failure.h"

namespace quillmark::companion {
namespace {

using Instance = std::map<std::wstring, std::wstring>;  // property: text
using Service = std::map<std::wstring, std::vector<Instance>>;

// Classes, instances and properties as the table says: a class it lacks fails with
// 0x80041010, a property with 0x80020006. Every call is written down.
struct TableBinder : ManagementBinder, MemberWalk {
  struct Object : ManagementObject {
    Object(std::vector<std::wstring>& record, std::wstring named, const Instance* of = nullptr)
        : calls(record), name(std::move(named)), instance(of) {}
    ~Object() override { calls.push_back(L"gone " + name); }
    std::vector<std::wstring>& calls;
    std::wstring name;  // "services", a collection's class, or "" for an instance
    const Instance* instance;
  };
  ManagementObjectRef BindMoniker(const std::wstring& moniker) override {
    calls.push_back(L"bind " + moniker);
    return std::make_unique<Object>(calls, L"services");
  }
  ManagementObjectRef CallMethod(ManagementObject&, const std::wstring& method,
                                 const std::wstring& wmi_class) override {
    calls.push_back(method + L" " + wmi_class);
    if (service.count(wmi_class) == 0)
      throw PlatformFailure(static_cast<std::int32_t>(0x80041010), L"");
    return std::make_unique<Object>(calls, wmi_class);
  }
  std::unique_ptr<MemberWalk> WalkMembers(ManagementObject& collection) override {
    auto walk = std::make_unique<TableBinder>(*this);
    walk->walked = &service.at(static_cast<Object&>(collection).name);
    return walk;
  }
  ManagementObjectRef Next() override {
    if (next == walked->size()) return nullptr;
    return std::make_unique<Object>(calls, L"", &(*walked)[next++]);
  }
  std::wstring ReadPropertyText(ManagementObject& member, const std::wstring& property) override {
    calls.push_back(L"read " + property);
    const Instance& instance = *static_cast<Object&>(member).instance;
    if (instance.count(property) == 0)
      throw PlatformFailure(static_cast<std::int32_t>(0x80020006), L"");
    return instance.at(property);
  }
  TableBinder(std::vector<std::wstring>& record, Service table)
      : calls(record), service(std::move(table)) {}
  std::vector<std::wstring>& calls;
  Service service;
  const std::vector<Instance>* walked = nullptr;
  std::size_t next = 0;
};

// The readings as one line: each fact's value or "-", then each failure as "fact=code".
std::wstring Line(const FactReadings& readings) {
  std::wstring line;
  for (const std::wstring& value : readings.values) line += (value.empty() ? L"-" : value) + L"|";
  for (const FactFailure& failure : readings.failures) {
    line += L" " + std::wstring(FactName(failure.fact)) + L"=" + FormatFailureCode(failure.code);
  }
  return line;
}

TEST(FactReading, AsksEachClassNeededOnceOverOneBindingAndAFactsFailureIsItsOwn) {
  const Instance bios = {{L"SerialNumber", L"S1"},
                         {L"SMBIOSBIOSVersion", L"1.2"},
                         {L"ReleaseDate", L"20190315000000.000000+000"}};
  const Service service = {{L"Win32_BIOS", {bios, {{L"SerialNumber", L"S2"}}}},
                           {L"Win32_ComputerSystem", {{{L"Manufacturer", L"Acme"}}}},
                           {L"Win32_ComputerSystemProduct", {}}};
  AskedFacts bios_facts{}, every{};
  bios_facts[FactIndex(Fact::kBiosVersion)] = bios_facts[FactIndex(Fact::kBiosDate)] = true;
  every.fill(true);
  const std::wstring bind = L"bind winmgmts:{impersonationLevel=impersonate}!//pc";
  const struct {
    const char* promise;
    AskedFacts with;
    std::vector<std::wstring> calls;  // until the first instance is read
    std::vector<std::wstring> instances;
    std::wstring computer;
  } cases[] = {
      {"BIOS facts alone: no other class, each instance's own, one absent",
       bios_facts,
       {bind, L"InstancesOf Win32_BIOS", L"gone services", L"read SerialNumber",
        L"read SMBIOSBIOSVersion", L"read ReleaseDate", L"gone "},
       {L"S1 -|-|-|-|1.2|2019-03-15|-|",
        L"S2 -|-|-|-|-|-|-| bios_version=0x80020006 bios_date=0x80020006"},
       L"-|-|-|-|-|-|-|"},
      {"every fact: each class once, the services object kept until the last collection; a class "
       "missing, one with no instance and a property absent fail their facts alone",
       every,
       {bind, L"InstancesOf Win32_BIOS", L"InstancesOf Win32_ComputerSystem",
        L"InstancesOf Win32_ComputerSystemProduct", L"InstancesOf Win32_SystemEnclosure",
        L"gone services", L"read SerialNumber"},
       {L"S1 -|-|-|-|1.2|2019-03-15|-| bios_maker=0x80020006",
        L"S2 -|-|-|-|-|-|-| bios_version=0x80020006 bios_date=0x80020006 bios_maker=0x80020006"},
       L"Acme|-|-|-|-|-|-| asset_tag=0x80041010 model=0x80020006 uuid=0x80041002"},
  };
  for (const auto& test : cases) {
    std::vector<std::wstring> calls;
    TableBinder binder(calls, service);
    std::vector<std::wstring> instances;
    const FactReadings computer = ForEachSerialWithFacts(
        L"pc", test.with, binder, [&](const std::wstring& serial, FactReadings facts) {
          instances.push_back(serial + L" " + Line(facts));
        });
    calls.resize(test.calls.size());
    EXPECT_THAT(calls, ::testing::ElementsAreArray(test.calls)) << test.promise;
    EXPECT_THAT(instances, ::testing::ElementsAreArray(test.instances)) << test.promise;
    EXPECT_EQ(Line(computer), test.computer) << test.promise;
  }
}

}  // namespace
}  // namespace quillmark::companion
