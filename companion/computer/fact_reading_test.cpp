// The facts beside a serial over one binding, against a management service made of a table: which
// classes are asked for, when the services object goes, and what a fact's failure leaves.
#include "fact_reading.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>

#include "platform_failure.h"

namespace quillmark::companion {
namespace {

constexpr std::int32_t kInvalidClass = static_cast<std::int32_t>(0x80041010);
constexpr std::int32_t kUnknownName = static_cast<std::int32_t>(0x80020006);

using Instance = std::map<std::wstring, std::wstring>;  // property: text
using Service = std::map<std::wstring, std::vector<Instance>>;

// Classes, instances and properties as the table says; every call is written down.
struct TableBinder : ManagementBinder {
  struct Object : ManagementObject {
    Object(std::vector<std::wstring>& record, std::wstring called, const Instance* of = nullptr)
        : calls(record), name(std::move(called)), instance(of) {}
    ~Object() override {
      if (name == L"services") calls.push_back(L"gone services");
    }
    std::vector<std::wstring>& calls;
    std::wstring name;  // "services", or the class of a collection
    const Instance* instance;
  };
  struct Walk : MemberWalk {
    Walk(TableBinder& owner, const std::vector<Instance>& all) : binder(owner), instances(all) {}
    ManagementObjectRef Next() override {
      if (next == instances.size()) return nullptr;
      return std::make_unique<Object>(binder.calls, L"", &instances[next++]);
    }
    TableBinder& binder;
    const std::vector<Instance>& instances;
    std::size_t next = 0;
  };

  explicit TableBinder(Service table) : service(std::move(table)) {}
  ManagementObjectRef BindMoniker(const std::wstring& moniker) override {
    calls.push_back(L"bind " + moniker);
    return std::make_unique<Object>(calls, L"services");
  }
  ManagementObjectRef CallMethod(ManagementObject&, const std::wstring& method,
                                 const std::wstring& wmi_class) override {
    calls.push_back(method + L" " + wmi_class);
    if (service.count(wmi_class) == 0) throw PlatformFailure(kInvalidClass, L"");
    return std::make_unique<Object>(calls, wmi_class);
  }
  std::unique_ptr<MemberWalk> WalkMembers(ManagementObject& collection) override {
    return std::make_unique<Walk>(*this, service.at(static_cast<Object&>(collection).name));
  }
  std::wstring ReadPropertyText(ManagementObject& member, const std::wstring& property) override {
    calls.push_back(L"read " + property);
    const Instance& instance = *static_cast<Object&>(member).instance;
    if (instance.count(property) == 0) throw PlatformFailure(kUnknownName, L"");
    return instance.at(property);
  }

  Service service;
  std::vector<std::wstring> calls;
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

AskedFacts Asking(std::initializer_list<Fact> facts) {
  AskedFacts with{};
  for (const Fact fact : facts) with[FactIndex(fact)] = true;
  return with;
}

const Instance kBios = {{L"SerialNumber", L"SN1"},
                        {L"SMBIOSBIOSVersion", L"1.2"},
                        {L"ReleaseDate", L"20190315000000.000000+000"},
                        {L"Manufacturer", L"Firm"}};
const Service kWhole = {
    {L"Win32_BIOS", {kBios, {{L"SerialNumber", L"SN2"}}}},
    {L"Win32_ComputerSystem", {{{L"Manufacturer", L"Acme"}, {L"Model", L"X1"}}}},
    {L"Win32_ComputerSystemProduct", {{{L"UUID", L"U-1"}}}},
    {L"Win32_SystemEnclosure", {{{L"SMBIOSAssetTag", L"T7"}}}}};

TEST(FactReading, AsksEachClassOnceOverOneBindingAndAFactsFailureIsItsOwn) {
  const std::wstring bind = L"bind winmgmts:{impersonationLevel=impersonate}!//pc";
  Service no_enclosure = kWhole;
  no_enclosure.erase(L"Win32_SystemEnclosure");
  Service no_model = kWhole;
  no_model[L"Win32_ComputerSystem"][0].erase(L"Model");
  no_model[L"Win32_ComputerSystemProduct"].clear();
  const struct {
    const char* promise;
    AskedFacts with;
    Service service;
    std::vector<std::wstring> calls;  // up to the first read of the second instance
    std::vector<std::wstring> instances;
    std::wstring computer;
  } cases[] = {
      {"nothing asked: the window program's calls",
       {},
       kWhole,
       {bind, L"InstancesOf Win32_BIOS", L"gone services", L"read SerialNumber"},
       {L"SN1 -|-|-|-|-|-|-|", L"SN2 -|-|-|-|-|-|-|"},
       L"-|-|-|-|-|-|-|"},
      {"BIOS facts alone: no other class, from each instance; one absent",
       Asking({Fact::kBiosVersion, Fact::kBiosDate}),
       kWhole,
       {bind, L"InstancesOf Win32_BIOS", L"gone services", L"read SerialNumber",
        L"read SMBIOSBIOSVersion", L"read ReleaseDate"},
       {L"SN1 -|-|-|-|1.2|2019-03-15|-|",
        L"SN2 -|-|-|-|-|-|-| bios_version=0x80020006 bios_date=0x80020006"},
       L"-|-|-|-|-|-|-|"},
      {"every fact: each class once, the services object kept until the last collection",
       Asking({Fact::kMaker, Fact::kModel, Fact::kUuid, Fact::kAssetTag, Fact::kBiosMaker}),
       kWhole,
       {bind, L"InstancesOf Win32_BIOS", L"InstancesOf Win32_ComputerSystem",
        L"InstancesOf Win32_ComputerSystemProduct", L"InstancesOf Win32_SystemEnclosure",
        L"gone services", L"read SerialNumber", L"read Manufacturer"},
       {L"SN1 -|-|-|-|-|-|Firm|", L"SN2 -|-|-|-|-|-|-| bios_maker=0x80020006"},
       L"Acme|X1|U-1|T7|-|-|-|"},
      {"the enclosure class missing fails its fact alone",
       Asking({Fact::kMaker, Fact::kAssetTag}),
       no_enclosure,
       {bind, L"InstancesOf Win32_BIOS", L"InstancesOf Win32_ComputerSystem",
        L"InstancesOf Win32_SystemEnclosure", L"gone services", L"read SerialNumber"},
       {L"SN1 -|-|-|-|-|-|-|", L"SN2 -|-|-|-|-|-|-|"},
       L"Acme|-|-|-|-|-|-| asset_tag=0x80041010"},
      {"a property absent, and a class with no instance",
       Asking({Fact::kMaker, Fact::kModel, Fact::kUuid}),
       no_model,
       {bind, L"InstancesOf Win32_BIOS", L"InstancesOf Win32_ComputerSystem",
        L"InstancesOf Win32_ComputerSystemProduct", L"gone services", L"read SerialNumber"},
       {L"SN1 -|-|-|-|-|-|-|", L"SN2 -|-|-|-|-|-|-|"},
       L"Acme|-|-|-|-|-|-| model=0x80020006 uuid=0x80041002"},
  };
  for (const auto& test : cases) {
    TableBinder binder(test.service);
    std::vector<std::wstring> instances;
    const FactReadings computer = ForEachSerialWithFacts(
        L"pc", test.with, binder, [&](const std::wstring& serial, FactReadings bios) {
          instances.push_back(serial + L" " + Line(bios));
        });
    const std::vector<std::wstring> first(
        binder.calls.begin(), binder.calls.begin() + static_cast<std::ptrdiff_t>(std::min(
                                                         binder.calls.size(), test.calls.size())));
    EXPECT_THAT(first, ::testing::ElementsAreArray(test.calls)) << test.promise;
    EXPECT_EQ(std::count(binder.calls.begin(), binder.calls.end(), L"InstancesOf Win32_BIOS"), 1)
        << test.promise;
    EXPECT_THAT(instances, ::testing::ElementsAreArray(test.instances)) << test.promise;
    EXPECT_EQ(Line(computer), test.computer) << test.promise;
  }
}

TEST(FactReading, WritesABiosDateAsYearMonthDayFromEitherTransportsForm) {
  EXPECT_EQ(BiosDateText(L"20120608000000.000000+000"), L"2012-06-08");
  EXPECT_EQ(BiosDateText(L"2017-06-20T00:00:00Z"), L"2017-06-20");
  EXPECT_EQ(BiosDateText(L"2017-06-20"), L"2017-06-20");
  EXPECT_EQ(BiosDateText(L""), L"");
  for (const wchar_t* odd : {L"2012", L"20121308000000", L"2012**08", L"2017-06-2", L"06/20/2017",
                             L"2017-06-20x", L"=1+2"}) {
    EXPECT_THROW(BiosDateText(odd), PlatformFailure) << testing::PrintToString(odd);
  }
}

}  // namespace
}  // namespace quillmark::companion
