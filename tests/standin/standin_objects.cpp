// Reference-counted automation objects that serve a scripted lookup and record what is asked.
#include "standin_objects.h"

#include <oleauto.h>

#include <functional>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "standin_lock.h"
#include "standin_record.h"
#include "standin_text.h"

namespace standin {
namespace {

using Microsoft::WRL::ComPtr;

ExclusiveLock count_lock;
LONG live_objects = 0;  // guarded by count_lock

// Called with count_lock held.
void Uncount() {
  if (--live_objects == 0) RecordLine("alive 0");
}

std::string FlagsText(WORD flags) {
  std::string text;
  const std::pair<WORD, const char*> names[] = {{DISPATCH_METHOD, "method"},
                                                {DISPATCH_PROPERTYGET, "get"},
                                                {DISPATCH_PROPERTYPUT, "put"},
                                                {DISPATCH_PROPERTYPUTREF, "putref"}};
  for (const auto& [flag, name] : names) {
    if ((flags & flag) == 0) continue;
    if (!text.empty()) text += "|";
    text += name;
  }
  return text.empty() ? "none" : text;
}

std::wstring BstrText(BSTR text) {
  return text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text));
}

// The arguments as the caller meant them: DISPPARAMS holds them last first.
std::string ArgumentsText(const DISPPARAMS* parameters) {
  if (parameters == nullptr) return " (no DISPPARAMS)";
  std::string text;
  for (UINT index = parameters->cArgs; index > 0; --index) {
    const VARIANT& argument = parameters->rgvarg[index - 1];
    if (V_VT(&argument) == VT_BSTR) {
      text += " " + Quoted(BstrText(V_BSTR(&argument)));
    } else {
      text += " vt:" + std::to_string(V_VT(&argument));
    }
  }
  if (parameters->cNamedArgs != 0) text += " named:" + std::to_string(parameters->cNamedArgs);
  return text;
}

HRESULT FillVariant(const Serial& serial, VARIANT* result) {
  switch (serial.kind) {
    case Serial::Kind::kText:
    case Serial::Kind::kDerived:
      V_VT(result) = VT_BSTR;
      V_BSTR(result) = SysAllocStringLen(serial.text.data(), static_cast<UINT>(serial.text.size()));
      return V_BSTR(result) != nullptr ? S_OK : E_OUTOFMEMORY;
    case Serial::Kind::kNull:
      V_VT(result) = VT_NULL;
      return S_OK;
    case Serial::Kind::kEmpty:
      V_VT(result) = VT_EMPTY;
      return S_OK;
    case Serial::Kind::kInteger:
      V_VT(result) = VT_I4;
      V_I4(result) = serial.integer;
      return S_OK;
    case Serial::Kind::kReal:
      V_VT(result) = VT_R8;
      V_R8(result) = serial.real;
      return S_OK;
    case Serial::Kind::kMissing:
      break;
  }
  return E_UNEXPECTED;
}

// An IDispatch whose members are named handlers, recording every call it is asked.
class Dispatch : public quillmark::com_support::NamedDispatch<Object<IDispatch>> {
 public:
  Dispatch(std::string name, std::vector<Member> members)
      : NamedDispatch(std::move(members), std::move(name)) {}

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    RecordLine("typeinfo-count " + name());
    return NamedDispatch::GetTypeInfoCount(count);
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override {
    RecordLine("typeinfo " + name());
    return NamedDispatch::GetTypeInfo(index, locale, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                          DISPID* ids) override {
    std::string line = "names " + name();
    for (UINT index = 0; names != nullptr && index < count; ++index) {
      line += " " + Quoted(names[index]);
    }
    RecordLine(line);
    return NamedDispatch::GetIDsOfNames(iid, names, count, locale, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags,
                                   DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception,
                                   UINT* argument_error) override {
    const Member* member = MemberWithId(id);
    const std::string member_name =
        member != nullptr ? Escape(member->name) : "#" + std::to_string(id);
    RecordLine("invoke " + name() + " " + member_name + " " + FlagsText(flags) +
               ArgumentsText(parameters));
    return NamedDispatch::Invoke(id, iid, locale, flags, parameters, result, exception,
                                 argument_error);
  }
};

using quillmark::com_support::kPropertyGet;
constexpr DISPID kInstancesOfId = 1;
constexpr DISPID kSerialNumberId = 2;
constexpr DISPID kFirstPropertyId = 10;

// The members that read a class's properties, as the plan sets them.
std::vector<Dispatch::Member> PropertyMembers(const Plan& plan, const std::wstring& wmi_class) {
  std::vector<Dispatch::Member> members;
  DISPID id = kFirstPropertyId;
  for (const ClassProperty& property : plan.PropertiesOf(wmi_class)) {
    auto read = [value = property.value](DISPPARAMS* parameters, VARIANT* result, EXCEPINFO*) {
      return parameters->cArgs != 0 ? DISP_E_BADPARAMCOUNT : FillVariant(value, result);
    };
    members.push_back({property.name, id++, kPropertyGet, read});
  }
  return members;
}

ComPtr<IDispatch> MakeMember(const std::shared_ptr<Lookup>& lookup, size_t number,
                             const Serial& serial) {
  auto read = [lookup, serial](DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception) {
    if (parameters->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    const HRESULT injected =
        ScriptedResult(lookup->plan, Step::kSerialNumber, ++lookup->reads, exception);
    if (injected != S_OK) return injected;
    return FillVariant(serial, result);
  };
  std::vector<Dispatch::Member> members = PropertyMembers(lookup->plan, L"Win32_BIOS");
  if (serial.kind != Serial::Kind::kMissing) {
    members.push_back({L"SerialNumber", kSerialNumberId, kPropertyGet, read});
  }
  return Adopt<IDispatch>(new Dispatch("member" + std::to_string(number), std::move(members)));
}

class Enumerator : public Object<IEnumVARIANT> {
 public:
  explicit Enumerator(std::shared_ptr<Lookup> lookup)
      : Object("enumerator"), lookup_(std::move(lookup)) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* members, ULONG* fetched) override {
    RecordLine("next " + name() + " " + std::to_string(count));
    if (fetched != nullptr) *fetched = 0;
    if (count == 0) return S_OK;
    if (members == nullptr || (count > 1 && fetched == nullptr)) return E_INVALIDARG;
    const HRESULT injected =
        ScriptedResult(lookup_->plan, Step::kNext, ++lookup_->next_calls, nullptr);
    if (injected != S_OK) return injected;
    try {
      return Fill(count, members, fetched);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    RecordLine("skip " + name() + " " + std::to_string(count));
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    RecordLine("reset " + name());
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override {
    RecordLine("clone " + name());
    if (copy != nullptr) *copy = nullptr;
    return E_NOTIMPL;
  }

 private:
  HRESULT Fill(ULONG count, VARIANT* members, ULONG* fetched) {
    const std::vector<Serial>& serials = lookup_->plan.members;
    ULONG given = 0;
    while (given < count && lookup_->position < serials.size()) {
      const size_t number = ++lookup_->position;
      V_VT(&members[given]) = VT_DISPATCH;
      V_DISPATCH(&members[given]) = MakeMember(lookup_, number, serials[number - 1]).Detach();
      ++given;
    }
    if (fetched != nullptr) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }

  std::shared_ptr<Lookup> lookup_;
};

ComPtr<IDispatch> MakeCollection(const std::shared_ptr<Lookup>& lookup) {
  auto new_enum = [lookup](DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception) {
    if (parameters->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    const HRESULT injected =
        ScriptedResult(lookup->plan, Step::kNewEnum, ++lookup->new_enum_calls, exception);
    if (injected != S_OK) return injected;
    V_VT(result) = VT_UNKNOWN;
    V_UNKNOWN(result) = new Enumerator(lookup);
    return S_OK;
  };
  return Adopt<IDispatch>(
      new Dispatch("collection", {{L"_NewEnum", DISPID_NEWENUM, DISPATCH_PROPERTYGET, new_enum}}));
}

// The walk of a computer class's collection: its one instance.
class InstanceEnumerator : public Object<IEnumVARIANT> {
 public:
  InstanceEnumerator(const std::string& wmi_class, ComPtr<IDispatch> instance)
      : Object("enumerator-" + wmi_class), instance_(std::move(instance)) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* members, ULONG* fetched) override {
    RecordLine("next " + name() + " " + std::to_string(count));
    if (fetched != nullptr) *fetched = 0;
    if (count != 1 || members == nullptr) return E_INVALIDARG;
    if (!instance_) return S_FALSE;
    V_VT(members) = VT_DISPATCH;
    V_DISPATCH(members) = instance_.Detach();
    if (fetched != nullptr) *fetched = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** copy) override {
    if (copy != nullptr) *copy = nullptr;
    return E_NOTIMPL;
  }

 private:
  ComPtr<IDispatch> instance_;
};

// The collection of a computer class other than the BIOS: one instance with the plan's properties.
ComPtr<IDispatch> MakeClassCollection(const std::shared_ptr<Lookup>& lookup,
                                      const std::wstring& wmi_class) {
  const std::string name = Escape(wmi_class);
  auto new_enum = [lookup, wmi_class, name](DISPPARAMS* parameters, VARIANT* result, EXCEPINFO*) {
    if (parameters->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    ComPtr<IDispatch> instance =
        Adopt<IDispatch>(new Dispatch(name + "1", PropertyMembers(lookup->plan, wmi_class)));
    V_VT(result) = VT_UNKNOWN;
    V_UNKNOWN(result) = new InstanceEnumerator(name, std::move(instance));
    return S_OK;
  };
  return Adopt<IDispatch>(new Dispatch(
      "collection-" + name, {{L"_NewEnum", DISPID_NEWENUM, DISPATCH_PROPERTYGET, new_enum}}));
}

// What the real service answers for a class it does not know.
constexpr HRESULT kInvalidClass = static_cast<HRESULT>(0x80041010);

}  // namespace

Counted::Counted() {
  const std::lock_guard<ExclusiveLock> guard(count_lock);
  ++live_objects;
}

Counted::~Counted() {
  const std::lock_guard<ExclusiveLock> guard(count_lock);
  if (counted_) Uncount();
}

void Counted::LeaveCount() {
  const std::lock_guard<ExclusiveLock> guard(count_lock);
  if (!counted_) return;
  counted_ = false;
  Uncount();
}

LONG LiveObjects() {
  const std::lock_guard<ExclusiveLock> guard(count_lock);
  return live_objects;
}

HRESULT RaiseFailure(const Failure& failure, EXCEPINFO* exception) {
  if (failure.raise == Raise::kExcepInfo && exception != nullptr) {
    *exception = EXCEPINFO{};
    exception->scode = failure.code;
    exception->bstrSource = SysAllocString(L"Stand-in management service");
    exception->bstrDescription = SysAllocStringLen(failure.description.data(),
                                                   static_cast<UINT>(failure.description.size()));
    return DISP_E_EXCEPTION;
  }
  SetErrorInfo(0, nullptr);
  if (failure.raise == Raise::kCode) return failure.code;
  ComPtr<ICreateErrorInfo> create;
  ComPtr<IErrorInfo> info;
  if (SUCCEEDED(CreateErrorInfo(&create)) && SUCCEEDED(create.As(&info))) {
    create->SetSource(const_cast<LPOLESTR>(L"Stand-in management service"));
    create->SetDescription(const_cast<LPOLESTR>(failure.description.c_str()));
    SetErrorInfo(0, info.Get());
  }
  return failure.code;
}

HRESULT ScriptedResult(const Plan& plan, Step step, int occurrence, EXCEPINFO* exception) {
  const Failure* failure = plan.FailureAt(step, occurrence);
  if (failure == nullptr) return S_OK;
  RecordLine(RaiseLine(*failure));
  return RaiseFailure(*failure, exception);
}

ComPtr<IDispatch> MakeServices(const std::shared_ptr<Lookup>& lookup) {
  auto instances_of = [lookup](DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception) {
    if (parameters->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    if (V_VT(&parameters->rgvarg[0]) != VT_BSTR) return DISP_E_TYPEMISMATCH;
    const HRESULT injected =
        ScriptedResult(lookup->plan, Step::kInstancesOf, ++lookup->instances_calls, exception);
    if (injected != S_OK) return injected;
    const std::wstring wmi_class(V_BSTR(&parameters->rgvarg[0]),
                                 SysStringLen(V_BSTR(&parameters->rgvarg[0])));
    if (!lookup->plan.Answers(wmi_class)) {
      return RaiseFailure(
          {Step::kInstancesOf, 1, kInvalidClass, Raise::kExcepInfo, L"Invalid class"}, exception);
    }
    const bool bios =
        CompareStringOrdinal(wmi_class.c_str(), -1, L"Win32_BIOS", -1, TRUE) == CSTR_EQUAL;
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) =
        (bios ? MakeCollection(lookup) : MakeClassCollection(lookup, wmi_class)).Detach();
    return S_OK;
  };
  return Adopt<IDispatch>(
      new Dispatch("services", {{L"InstancesOf", kInstancesOfId, DISPATCH_METHOD, instances_of}}));
}

}  // namespace standin
