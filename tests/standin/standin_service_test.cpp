// The stand-in service as a "winmgmts:" client meets it in its own Wine prefix.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <objbase.h>
#include <oleauto.h>
#include <windows.h>
#include <wrl/client.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "com_owners.h"
#include "platform_failure.h"
#include "standin_harness.h"
#include "standin_text.h"
#include "win32_owners.h"

namespace standin {
namespace {

using Microsoft::WRL::ComPtr;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

const std::wstring kPrefix = L"winmgmts:{impersonationLevel=impersonate}!//";
constexpr WORD kPropertyGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

// A failed call as a client sees it: the code and the description from wherever it came.
struct Outcome {
  HRESULT code = S_OK;
  std::wstring description;
};

std::wstring BstrText(BSTR text) {
  return text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text));
}

// Owns a BSTR that a callee allocated.
class Bstr {
 public:
  explicit Bstr(BSTR value = nullptr) : value_(value) {}
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(value_); }
  BSTR* put() {
    SysFreeString(value_);
    value_ = nullptr;
    return &value_;
  }
  std::wstring text() const { return BstrText(value_); }

 private:
  BSTR value_;
};

std::wstring ErrorInfoDescription() {
  ComPtr<IErrorInfo> info;
  if (GetErrorInfo(0, &info) != S_OK || !info) return {};
  Bstr description;
  if (FAILED(info->GetDescription(description.put()))) return {};
  return description.text();
}

class Variant {
 public:
  Variant() { VariantInit(&value_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&value_); }
  VARIANT* put() {
    VariantClear(&value_);
    return &value_;
  }
  const VARIANT& get() const { return value_; }
  VARIANT& get() { return value_; }

 private:
  VARIANT value_;
};

// Calls the service the way a late-bound client does and keeps the first failure.
class Client {
 public:
  bool Bind(const std::wstring& computer) {
    ComPtr<IBindCtx> context;
    if (!Check(CreateBindCtx(0, &context))) return false;
    ComPtr<IMoniker> moniker;
    ULONG eaten = 0;
    const std::wstring display_name = kPrefix + computer;
    if (!Check(MkParseDisplayName(context.Get(), display_name.c_str(), &eaten, &moniker))) {
      return false;
    }
    // Told as a failure rather than asserted, so that a client may run on a thread of its own.
    if (eaten != display_name.size()) {
      failure = {E_UNEXPECTED, L"the service took " + std::to_wstring(eaten) + L" characters"};
      return false;
    }
    return Check(moniker->BindToObject(context.Get(), nullptr, IID_PPV_ARGS(&services)));
  }

  bool InstancesOf(const wchar_t* class_name) {
    Variant argument;
    V_VT(&argument.get()) = VT_BSTR;
    V_BSTR(&argument.get()) = SysAllocString(class_name);
    DISPPARAMS parameters{&argument.get(), nullptr, 1, 0};
    Variant result;
    if (!Call(services.Get(), L"InstancesOf", DISPATCH_METHOD, parameters, result)) return false;
    return TakeObject(result.get(), collection);
  }

  bool StartWalk() {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    Variant result;
    if (!Invoke(collection.Get(), DISPID_NEWENUM, kPropertyGet, none, result)) return false;
    if (V_VT(&result.get()) != VT_UNKNOWN) return Check(DISP_E_TYPEMISMATCH);
    return Check(V_UNKNOWN(&result.get())->QueryInterface(IID_PPV_ARGS(&enumerator)));
  }

  // The next member, or false at the end of the walk or on a failure.
  bool NextMember() {
    member.Reset();
    Variant next;
    SetErrorInfo(0, nullptr);
    const HRESULT code = enumerator->Next(1, next.put(), nullptr);
    if (code == S_FALSE || !Check(code)) return false;
    return TakeObject(next.get(), member);
  }

  bool ReadSerial(Variant& value) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    return Call(member.Get(), L"SerialNumber", kPropertyGet, none, value);
  }

  // Walks every member and keeps the copies of their serial values.
  bool WalkAll(std::vector<std::wstring>& serials) {
    if (!InstancesOf(L"Win32_BIOS")) return false;
    services.Reset();
    if (!StartWalk()) return false;
    while (NextMember()) {
      Variant value;
      if (!ReadSerial(value)) return false;
      serials.push_back(Describe(value.get()));
    }
    return failure.code == S_OK;
  }

  void ReleaseAll() {
    member.Reset();
    enumerator.Reset();
    collection.Reset();
    services.Reset();
  }

  // A value as "type:text", so that the test sees both.
  static std::wstring Describe(const VARIANT& value) {
    switch (V_VT(&value)) {
      case VT_EMPTY:
        return L"empty:";
      case VT_NULL:
        return L"null:";
      case VT_BSTR:
        return L"text:" + BstrText(V_BSTR(&value));
      case VT_I4:
        return L"integer:" + std::to_wstring(V_I4(&value));
      case VT_R8:
        return L"real:" + std::to_wstring(V_R8(&value));
      default:
        return L"vt" + std::to_wstring(V_VT(&value));
    }
  }

  Outcome failure;
  ComPtr<IDispatch> services;
  ComPtr<IDispatch> collection;
  ComPtr<IEnumVARIANT> enumerator;
  ComPtr<IDispatch> member;

 private:
  bool Check(HRESULT code) {
    if (SUCCEEDED(code)) return true;
    failure = {code, ErrorInfoDescription()};
    return false;
  }

  bool TakeObject(const VARIANT& value, ComPtr<IDispatch>& object) {
    if (V_VT(&value) != VT_DISPATCH || V_DISPATCH(&value) == nullptr) {
      return Check(DISP_E_TYPEMISMATCH);
    }
    object = V_DISPATCH(&value);
    return true;
  }

  bool Call(IDispatch* target, const wchar_t* name, WORD flags, DISPPARAMS& parameters,
            Variant& result) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    SetErrorInfo(0, nullptr);
    if (!Check(target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))) return false;
    return Invoke(target, id, flags, parameters, result);
  }

  bool Invoke(IDispatch* target, DISPID id, WORD flags, DISPPARAMS& parameters, Variant& result) {
    EXCEPINFO exception{};
    UINT argument_error = 0;
    SetErrorInfo(0, nullptr);
    const HRESULT code = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                                        result.put(), &exception, &argument_error);
    if (code != DISP_E_EXCEPTION) return Check(code);
    const Bstr source(exception.bstrSource);
    const Bstr description(exception.bstrDescription);
    const Bstr help_file(exception.bstrHelpFile);
    failure = {exception.scode, description.text()};
    return false;
  }
};

class StandinService : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_THROW(apartment_.emplace());
    scratch_.SetInThisProcess();
  }
  void TearDown() override { client_.ReleaseAll(); }

  void Use(std::vector<Plan> plans) { scratch_.WriteScript(Script{std::move(plans)}); }
  std::vector<std::string> Record() const { return scratch_.RecordLines(); }

  std::optional<quillmark::ComApartment> apartment_;  // goes last, after everything it served
  Scratch scratch_{L"service"};
  Client client_;
};

const HRESULT kGenericFailure = static_cast<HRESULT>(0x80041001);

TEST_F(StandinService, ReceivesTheWholeNameAfterThePrefixExactly) {
  const std::wstring names[] = {L"pc1",
                                L"  blanks  ",
                                L"",
                                L"//slashes",
                                L"\\\\backslashes",
                                L"r\u00e9seau-\u65e5\u672c",
                                L"*",
                                std::wstring(40000, L'n')};
  Use({PlanBuilder::AnyComputer().Member(Serial::Text(L"S"))});
  for (const std::wstring& name : names) {
    Client client;
    ASSERT_TRUE(client.Bind(name)) << std::hex << client.failure.code;
    client.ReleaseAll();
    const std::vector<std::string> lookup = LastLookup(Record());
    ASSERT_FALSE(lookup.empty());
    EXPECT_EQ(lookup.front(), BindLine(name));
    EXPECT_TRUE(NothingAlive(lookup));
  }
  EXPECT_EQ(LookupCount(Record()), std::size(names));
}

TEST_F(StandinService, ServesTheMembersInScriptOrderWithTheirValues) {
  Use({For(L"pc1")
           .Member(Serial::Text(L" A1 "))
           .Member(Serial::Null())
           .Member(Serial::Empty())
           .Member(Serial::Integer(1234))
           .Member(Serial::Real(2.5))
           .Member(Serial::Text(L"caf\u00e9")),
       For(L"pc2").Member(Serial::Text(L"other"))});
  ASSERT_TRUE(client_.Bind(L"pc1"));
  std::vector<std::wstring> serials;
  EXPECT_TRUE(client_.WalkAll(serials)) << std::hex << client_.failure.code;
  EXPECT_THAT(serials, ElementsAre(L"text: A1 ", L"null:", L"empty:", L"integer:1234",
                                   L"real:2.500000", L"text:caf\u00e9"));
}

TEST_F(StandinService, ServesAnEmptyCollectionForNoMembers) {
  Use({For(L"pc1")});
  ASSERT_TRUE(client_.Bind(L"pc1"));
  std::vector<std::wstring> serials;
  EXPECT_TRUE(client_.WalkAll(serials));
  EXPECT_TRUE(serials.empty());
}

TEST_F(StandinService, RecordsEveryCallInOrder) {
  Use({For(L"pc1").Member(Serial::Text(L"A")).Member(Serial::Text(L"B"))});
  ASSERT_TRUE(client_.Bind(L"pc1"));
  std::vector<std::wstring> serials;
  ASSERT_TRUE(client_.WalkAll(serials));
  client_.ReleaseAll();
  const std::vector<std::string> lookup = LastLookup(Record());
  EXPECT_THAT(
      Calls(lookup),
      ElementsAre("bind \"pc1\"", "names services \"InstancesOf\"",
                  "invoke services InstancesOf method \"Win32_BIOS\"",
                  "invoke collection _NewEnum method|get", "next enumerator 1",
                  "names member1 \"SerialNumber\"", "invoke member1 SerialNumber method|get",
                  "next enumerator 1", "names member2 \"SerialNumber\"",
                  "invoke member2 SerialNumber method|get", "next enumerator 1"));
  EXPECT_TRUE(NothingAlive(lookup));
}

TEST_F(StandinService, RefusesAPropertyReadWithoutTheMethodFlagLikeTheRealService) {
  Use({For(L"pc1").Member(Serial::Text(L"A"))});
  ASSERT_TRUE(client_.Bind(L"pc1"));
  ASSERT_TRUE(client_.InstancesOf(L"Win32_BIOS"));
  ASSERT_TRUE(client_.StartWalk());
  ASSERT_TRUE(client_.NextMember());
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  Variant value;
  EXCEPINFO exception{};
  EXPECT_EQ(client_.member->Invoke(2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                   value.put(), &exception, nullptr),
            E_NOTIMPL);
}

TEST_F(StandinService, RefusesAClassOtherThanTheBiosClass) {
  Use({For(L"pc1").Member(Serial::Text(L"A"))});
  ASSERT_TRUE(client_.Bind(L"pc1"));
  EXPECT_FALSE(client_.InstancesOf(L"Win32_Process"));
  EXPECT_EQ(client_.failure.code, static_cast<HRESULT>(0x80041010));
}

TEST_F(StandinService, RecordsTheScriptedDelayBeforeTheBindingAnswers) {
  Use({For(L"slow").Delay(300).Member(Serial::Text(L"A"))});
  ASSERT_TRUE(client_.Bind(L"slow"));
  EXPECT_THAT(Calls(LastLookup(Record())), ElementsAre("bind \"slow\"", "delay 300"));
}

TEST_F(StandinService, FailsTheBindingForANameWithoutAPlan) {
  Use({For(L"pc1")});
  EXPECT_FALSE(client_.Bind(L"pc2"));
  EXPECT_EQ(client_.failure.description, L"Stand-in: the script has no plan for this computer");
  EXPECT_THAT(Calls(LastLookup(Record())), ElementsAre("bind \"pc2\"", "no-plan"));
}

TEST_F(StandinService, FailsTheBindingOnAMalformedScriptNamingTheLine) {
  {
    // A script written by hand with a mistake on its second line.
    const quillmark::UniqueFile file(CreateFileW(scratch_.script_path().c_str(), GENERIC_WRITE, 0,
                                                 nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                                                 nullptr));
    ASSERT_TRUE(file);
    const char text[] = "computer\tpc1\nmember\tcolour\n";
    DWORD written = 0;
    WriteFile(file.get(), text, sizeof text - 1, &written, nullptr);
  }
  EXPECT_FALSE(client_.Bind(L"pc1"));
  EXPECT_EQ(client_.failure.code, E_INVALIDARG);
  EXPECT_THAT(client_.failure.description, ::testing::HasSubstr(L"line 2"));
}

struct FailureCase {
  Step step;
  int occurrence;
  Raise raise;
};

void PrintTo(const FailureCase& failure, std::ostream* out) {
  *out << StepName(failure.step) << "#" << failure.occurrence << " by " << RaiseName(failure.raise);
}

class StandinFailure : public StandinService, public ::testing::WithParamInterface<FailureCase> {};

// Runs a full walk over two members and stops at the first failure.
bool WalkUntilFailure(Client& client) {
  if (!client.Bind(L"pc1")) return false;
  std::vector<std::wstring> serials;
  return client.WalkAll(serials);
}

TEST_P(StandinFailure, RaisesTheScriptedCodeAndDescriptionAtThatStepOnly) {
  const FailureCase failure = GetParam();
  const std::string step = StepName(failure.step);
  const std::wstring description =
      L"Scripted failure \u00e9 at " + std::wstring(step.begin(), step.end());
  Use({For(L"pc1")
           .Member(Serial::Text(L"A"))
           .Member(Serial::Text(L"B"))
           .Fail(failure.step, failure.occurrence, kGenericFailure, failure.raise, description)});
  EXPECT_FALSE(WalkUntilFailure(client_));
  EXPECT_EQ(client_.failure.code, kGenericFailure);
  EXPECT_EQ(client_.failure.description, failure.raise == Raise::kCode ? L"" : description);
  client_.ReleaseAll();
  const std::vector<std::string> calls = Calls(LastLookup(Record()));
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.back().rfind(std::string("raise ") + StepName(failure.step) + " " +
                                   std::to_string(failure.occurrence) + " 0x80041001 " +
                                   RaiseName(failure.raise),
                               0),
            0u)
      << calls.back();
  EXPECT_TRUE(NothingAlive(LastLookup(Record())));
}

INSTANTIATE_TEST_SUITE_P(EachStep, StandinFailure,
                         ::testing::Values(FailureCase{Step::kBind, 1, Raise::kErrorInfo},
                                           FailureCase{Step::kBind, 1, Raise::kCode},
                                           FailureCase{Step::kInstancesOf, 1, Raise::kExcepInfo},
                                           FailureCase{Step::kInstancesOf, 1, Raise::kErrorInfo},
                                           FailureCase{Step::kNewEnum, 1, Raise::kExcepInfo},
                                           FailureCase{Step::kNewEnum, 1, Raise::kErrorInfo},
                                           FailureCase{Step::kNext, 1, Raise::kErrorInfo},
                                           FailureCase{Step::kNext, 2, Raise::kCode},
                                           FailureCase{Step::kSerialNumber, 1, Raise::kExcepInfo},
                                           FailureCase{Step::kSerialNumber, 2, Raise::kErrorInfo}));

TEST_F(StandinService, ReportsNothingAliveOnlyWhenItsLastObjectIsReleased) {
  Use({For(L"pc1").Member(Serial::Text(L"A"))});
  ASSERT_TRUE(client_.Bind(L"pc1"));
  ASSERT_TRUE(client_.InstancesOf(L"Win32_BIOS"));
  ASSERT_TRUE(client_.StartWalk());
  ASSERT_TRUE(client_.NextMember());
  client_.services.Reset();
  client_.collection.Reset();
  client_.enumerator.Reset();
  EXPECT_FALSE(NothingAlive(LastLookup(Record())));
  client_.member.Reset();
  const std::vector<std::string> lookup = LastLookup(Record());
  EXPECT_TRUE(NothingAlive(lookup));
  EXPECT_THAT(std::vector<std::string>(lookup.end() - 2, lookup.end()),
              ElementsAreArray({"gone member1", "alive 0"}));
}

TEST_F(StandinService, StartsEveryBindingAfresh) {
  Use({For(L"pc1")
           .Member(Serial::Text(L"A"))
           .Fail(Step::kSerialNumber, 2, kGenericFailure, Raise::kExcepInfo, L"second read")});
  for (int round = 0; round < 2; ++round) {
    Client client;
    ASSERT_TRUE(client.Bind(L"pc1"));
    std::vector<std::wstring> serials;
    EXPECT_TRUE(client.WalkAll(serials)) << "round " << round;
    EXPECT_THAT(serials, ElementsAre(L"text:A"));
  }
  EXPECT_EQ(LookupCount(Record()), 2u);
}

// Many lookups at once, as a program that looks up many computers makes them: each on a thread
// of its own, in a single-threaded apartment of its own.

// Binds `computer` on a thread that this test never waits for; true once the binding has answered.
// A binding that hangs keeps its thread until the process ends, which ends the thread with it.
std::shared_ptr<std::atomic<bool>> BindOnAbandonedThread(const std::wstring& computer) {
  auto answered = std::make_shared<std::atomic<bool>>(false);
  std::thread([computer, answered] {
    try {
      const quillmark::ComApartment apartment;
      Client client;
      client.Bind(computer);
      *answered = true;
    } catch (const quillmark::PlatformFailure&) {
      // No apartment: the binding never answers.
    }
  }).detach();
  return answered;
}

// Waits until the record holds `line`, for at most `limit`.
bool WaitForRecordLine(const Scratch& scratch, const std::string& line,
                       std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    const std::vector<std::string> record = scratch.RecordLines();
    if (std::find(record.begin(), record.end(), line) != record.end()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    Sleep(20);
  }
}

TEST_F(StandinService, HangsTheScriptedBindingForGoodWhileOtherBindingsAnswer) {
  Use({For(L"hung").Delay(100).Hang().Member(Serial::Text(L"never")),
       For(L"pc1").Member(Serial::Text(L"A"))});
  const auto answered = BindOnAbandonedThread(L"hung");
  ASSERT_TRUE(WaitForRecordLine(scratch_, "hang", std::chrono::seconds(10)))
      << ::testing::PrintToString(Record());
  Sleep(1000);
  EXPECT_FALSE(*answered) << "the hanging binding answered";
  // Its class object, which the caller holds for good, leaves the count of live objects.
  EXPECT_THAT(Record(), ElementsAre("bind \"hung\"", "delay 100", "hang", "alive 0"));

  ASSERT_TRUE(client_.Bind(L"pc1")) << std::hex << client_.failure.code;
  std::vector<std::wstring> serials;
  EXPECT_TRUE(client_.WalkAll(serials));
  EXPECT_THAT(serials, ElementsAre(L"text:A"));
  client_.ReleaseAll();
  // The class object under the hanging call is never released; the other lookup still ends.
  EXPECT_TRUE(NothingAlive(LastLookup(Record()))) << ::testing::PrintToString(Record());
  EXPECT_FALSE(*answered);
}

TEST_F(StandinService, ServesEachNameByItsOwnPlanElseByTheLongestPrefixThatItStartsWith) {
  Use({ForPrefix(L"fleet-").Member(Serial::Text(L"FLEET")),
       For(L"fleet-7").Member(Serial::Text(L"SEVEN")),
       ForPrefix(L"fleet-1").Member(Serial::Text(L"ONES")),
       For(L"fleet-1*").Member(Serial::Null())});
  const std::pair<std::wstring, std::wstring> expected[] = {
      {L"fleet-", L"text:FLEET"},   {L"fleet-3", L"text:FLEET"}, {L"fleet-7", L"text:SEVEN"},
      {L"fleet-12", L"text:ONES"},  {L"fleet-1", L"text:ONES"},  {L"fleet-1*", L"null:"},
      {L"fleet-1**", L"text:ONES"}, {L"fleet-70", L"text:FLEET"}};
  for (const auto& [name, serial] : expected) {
    Client client;
    ASSERT_TRUE(client.Bind(name)) << Escape(name);
    std::vector<std::wstring> serials;
    EXPECT_TRUE(client.WalkAll(serials)) << Escape(name);
    EXPECT_THAT(serials, ElementsAre(serial)) << Escape(name);
  }
  EXPECT_FALSE(client_.Bind(L"Fleet-3"));
  EXPECT_EQ(client_.failure.description, L"Stand-in: the script has no plan for this computer");
}

TEST_F(StandinService, ReadsAScriptRewrittenAtOnceWithTheSameLength) {
  for (const wchar_t* serial : {L"A", L"B", L"C"}) {
    Use({For(L"pc1").Member(Serial::Text(serial))});
    Client client;
    ASSERT_TRUE(client.Bind(L"pc1"));
    std::vector<std::wstring> serials;
    EXPECT_TRUE(client.WalkAll(serials));
    EXPECT_THAT(serials, ElementsAre(std::wstring(L"text:") + serial));
  }
}

TEST_F(StandinService, KeepsEveryRecordLineWholeWhenManyApartmentsBindAtOnce) {
  constexpr int kThreads = 8;
  constexpr int kLookupsEach = 12;
  // Long names make long record lines, which two writers at once would tear or interleave.
  const std::wstring padding(3000, L'x');
  const auto name_of = [&](int thread, int lookup) {
    return L"parallel-" + std::to_wstring(thread) + L"-" + std::to_wstring(lookup) + L"-" + padding;
  };
  std::vector<Plan> plans{
      ForPrefix(L"parallel-").Delay(20).Member(Serial::Text(L"A")).Member(Serial::Text(L"B"))};
  // A long script, so that every binding reads and matches against many plans at once.
  for (int other = 0; other < 1000; ++other) {
    plans.push_back(For(L"other-" + std::to_wstring(other)).Member(Serial::Text(L"X")));
  }
  Use(std::move(plans));

  std::vector<std::vector<std::wstring>> outcomes(kThreads);
  std::vector<std::thread> threads;
  for (int thread = 0; thread < kThreads; ++thread) {
    threads.emplace_back([&, thread] {
      std::vector<std::wstring>& outcome = outcomes[static_cast<size_t>(thread)];
      std::optional<quillmark::ComApartment> apartment;
      try {
        apartment.emplace();
      } catch (const quillmark::PlatformFailure&) {
        outcome.push_back(L"no apartment");
        return;
      }
      for (int lookup = 0; lookup < kLookupsEach; ++lookup) {
        Client client;
        std::vector<std::wstring> serials;
        const bool walked = client.Bind(name_of(thread, lookup)) && client.WalkAll(serials);
        client.ReleaseAll();
        outcome.push_back(walked && serials == std::vector<std::wstring>{L"text:A", L"text:B"}
                              ? L"ok"
                              : L"failed: " + client.failure.description);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (const std::vector<std::wstring>& outcome : outcomes) {
    EXPECT_THAT(outcome, ElementsAreArray(std::vector<std::wstring>(kLookupsEach, L"ok")));
  }

  // The record holds exactly each lookup's lines, in some interleaving, each line whole.
  const std::vector<std::string> per_lookup = {"delay 20",
                                               "names services \"InstancesOf\"",
                                               "invoke services InstancesOf method \"Win32_BIOS\"",
                                               "invoke collection _NewEnum method|get",
                                               "next enumerator 1",
                                               "names member1 \"SerialNumber\"",
                                               "invoke member1 SerialNumber method|get",
                                               "next enumerator 1",
                                               "names member2 \"SerialNumber\"",
                                               "invoke member2 SerialNumber method|get",
                                               "next enumerator 1",
                                               "gone services",
                                               "gone collection",
                                               "gone member1",
                                               "gone member2",
                                               "gone enumerator"};
  std::vector<std::string> expected;
  for (int thread = 0; thread < kThreads; ++thread) {
    for (int lookup = 0; lookup < kLookupsEach; ++lookup) {
      expected.push_back(BindLine(name_of(thread, lookup)));
      expected.insert(expected.end(), per_lookup.begin(), per_lookup.end());
    }
  }
  const std::vector<std::string> record = Record();
  std::vector<std::string> lines;
  std::copy_if(record.begin(), record.end(), std::back_inserter(lines),
               [](const std::string& line) { return line != "alive 0"; });
  std::sort(lines.begin(), lines.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_TRUE(lines == expected) << "the record's lines differ from the lookups' lines; "
                                 << lines.size() << " lines, expected " << expected.size();
  EXPECT_TRUE(NothingAlive(record));
}

}  // namespace
}  // namespace standin
