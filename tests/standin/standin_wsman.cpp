// The WS-Management stand-in's objects: the automation object, its sessions and their enumerators,
// reference-counted and recording each call.
#include "standin_wsman.h"

#include <objbase.h>
#include <oleauto.h>
#include <wsmandisp.h>
#include <wrl/client.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <new>
#include <utility>

#include "automation_objects.h"
#include "standin_objects.h"
#include "standin_record.h"
#include "standin_text.h"

namespace standin {
namespace {

using Microsoft::WRL::ComPtr;

constexpr wchar_t kClassUriBase[] = L"http://schemas.microsoft.com/wbem/wsman/1/wmi/root/cimv2/";
constexpr wchar_t kBiosUri[] =
    L"http://schemas.microsoft.com/wbem/wsman/1/wmi/root/cimv2/Win32_BIOS";

std::wstring BstrText(BSTR text) {
  return text == nullptr ? std::wstring() : std::wstring(text, SysStringLen(text));
}

HRESULT GiveText(const std::wstring& text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

// Text content escaped so that the parser gives it back unchanged, line ends included.
std::wstring XmlEscaped(const std::wstring& text) {
  const std::pair<wchar_t, const wchar_t*> escapes[] = {{L'&', L"&amp;"},  {L'<', L"&lt;"},
                                                        {L'>', L"&gt;"},   {L'\r', L"&#13;"},
                                                        {L'\n', L"&#10;"}, {L'\t', L"&#9;"}};
  std::wstring escaped;
  for (const wchar_t unit : text) {
    const auto* escape = std::find_if(std::begin(escapes), std::end(escapes),
                                      [&](const auto& entry) { return entry.first == unit; });
    if (escape != std::end(escapes)) {
      escaped += escape->second;
    } else {
      escaped += unit;
    }
  }
  return escaped;
}

// A property as the platform's service writes it: its text escaped, xsi:nil for null or empty, a
// datetime in WMI's form as XML Schema's inside cim:Datetime, nothing for one that is missing.
std::wstring PropertyXml(const ClassProperty& property) {
  const std::wstring& name = property.name;
  const Serial& value = property.value;
  switch (value.kind) {
    case Serial::Kind::kMissing:
      return L"";
    case Serial::Kind::kNull:
    case Serial::Kind::kEmpty:
      return L"<p:" + name + L" xsi:nil=\"true\"/>";
    case Serial::Kind::kInteger:
      return L"<p:" + name + L">" + std::to_wstring(value.integer) + L"</p:" + name + L">";
    case Serial::Kind::kReal: {
      wchar_t digits[64];
      std::swprintf(digits, sizeof digits / sizeof digits[0], L"%.17g", value.real);
      return L"<p:" + name + L">" + digits + L"</p:" + name + L">";
    }
    case Serial::Kind::kText:
    case Serial::Kind::kDerived:
      break;
  }
  const std::wstring& text = value.text;
  const bool wmi_datetime = text.size() >= 14 && text.find_first_not_of(L"0123456789") == 14;
  if (name == L"ReleaseDate" && wmi_datetime) {
    const std::wstring iso = text.substr(0, 4) + L"-" + text.substr(4, 2) + L"-" +
                             text.substr(6, 2) + L"T" + text.substr(8, 2) + L":" +
                             text.substr(10, 2) + L":" + text.substr(12, 2) + L"Z";
    return L"<p:" + name + L"><cim:Datetime>" + iso + L"</cim:Datetime></p:" + name + L">";
  }
  return L"<p:" + name + L">" + XmlEscaped(text) + L"</p:" + name + L">";
}

// An instance of a class, its properties in order, in the class's own namespace.
std::wstring InstanceXml(const std::wstring& class_name,
                         const std::vector<ClassProperty>& properties) {
  std::wstring xml =
      L"<p:" + class_name + L" xmlns:p=\"" + kClassUriBase + class_name +
      L"\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      L"xmlns:cim=\"http://schemas.dmtf.org/wbem/wscim/1/common\" xml:lang=\"en-US\">";
  for (const ClassProperty& property : properties) xml += PropertyXml(property);
  return xml + L"<p:Version>STANDIN - 1</p:Version></p:" + class_name + L">";
}

// What the service answers for a resource it does not know.
constexpr HRESULT kUnknownResource = static_cast<HRESULT>(0x80338000);

// An object whose IDispatch offers no late binding: the companion calls through the vtables.
template <typename Interface>
class VtableObject : public Object<Interface> {
 public:
  using Object<Interface>::Object;
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count != nullptr) *count = 0;
    return count != nullptr ? S_OK : E_POINTER;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    return E_NOTIMPL;
  }
};

// One lookup's state, shared by its session and enumerators (one apartment's thread only).
struct WsManLookup {
  Plan plan;
  std::wstring error;  // the last fault's XML, as the session's and enumerator's Error give it
  std::size_t read = 0;
  bool connected = false;  // the session's first request has reached the computer
};

// The fault of a scripted failure at this step and occurrence; S_OK when there is none.
HRESULT Fault(WsManLookup& lookup, Step step, int occurrence) {
  const Failure* failure = lookup.plan.FailureAt(step, occurrence);
  if (failure == nullptr) return S_OK;
  RecordLine("fault " + RaiseLine(*failure));
  lookup.error =
      FaultXml(failure->code, failure->raise == Raise::kCode ? L"" : failure->description);
  return failure->code;
}

class Enumerator : public VtableObject<IWSManEnumerator> {
 public:
  explicit Enumerator(std::shared_ptr<WsManLookup> lookup)
      : VtableObject("wsman-enumerator"), lookup_(std::move(lookup)) {}

  HRESULT STDMETHODCALLTYPE ReadItem(BSTR* resource) override {
    if (resource != nullptr) *resource = nullptr;
    const int number = static_cast<int>(++lookup_->read);
    RecordLine("wsman-read " + std::to_string(number));
    for (const Step step : {Step::kNext, Step::kSerialNumber}) {
      const HRESULT fault = Fault(*lookup_, step, number);
      if (fault != S_OK) return fault;
    }
    if (static_cast<std::size_t>(number) > lookup_->plan.members.size()) return E_UNEXPECTED;
    return GiveText(ItemXml(lookup_->plan.members[static_cast<std::size_t>(number) - 1],
                            lookup_->plan.PropertiesOf(L"Win32_BIOS")),
                    resource);
  }
  HRESULT STDMETHODCALLTYPE get_AtEndOfStream(VARIANT_BOOL* at_end) override {
    if (at_end == nullptr) return E_POINTER;
    // A failure scripted after the last member is met by one more read.
    const std::size_t next = lookup_->read + 1;
    const bool failure_ahead =
        lookup_->plan.FailureAt(Step::kNext, static_cast<int>(next)) != nullptr;
    *at_end = lookup_->read >= lookup_->plan.members.size() && !failure_ahead ? VARIANT_TRUE
                                                                              : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Error(BSTR* value) override {
    return GiveText(lookup_->error, value);
  }

 private:
  std::shared_ptr<WsManLookup> lookup_;
};

// The enumeration of a computer class: its one item.
class InstanceEnumerator : public VtableObject<IWSManEnumerator> {
 public:
  explicit InstanceEnumerator(std::wstring item)
      : VtableObject("wsman-class-enumerator"), item_(std::move(item)) {}

  HRESULT STDMETHODCALLTYPE ReadItem(BSTR* resource) override {
    if (resource != nullptr) *resource = nullptr;
    if (given_) return E_UNEXPECTED;
    given_ = true;
    return GiveText(item_, resource);
  }
  HRESULT STDMETHODCALLTYPE get_AtEndOfStream(VARIANT_BOOL* at_end) override {
    if (at_end == nullptr) return E_POINTER;
    *at_end = given_ ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Error(BSTR* value) override { return GiveText(L"", value); }

 private:
  std::wstring item_;
  bool given_ = false;
};

class Session : public VtableObject<IWSManSession> {
 public:
  Session(std::shared_ptr<WsManLookup> lookup, Counted& automation)
      : VtableObject("wsman-session"), lookup_(std::move(lookup)), automation_(automation) {}

  HRESULT STDMETHODCALLTYPE Enumerate(VARIANT resource_uri, BSTR filter, BSTR dialect, LONG flags,
                                      IDispatch** result_set) override {
    if (result_set != nullptr) *result_set = nullptr;
    if (result_set == nullptr) return E_POINTER;
    const std::wstring uri = V_VT(&resource_uri) == VT_BSTR ? BstrText(V_BSTR(&resource_uri)) : L"";
    RecordLine("wsman-enumerate " + Quoted(uri) + " " + Quoted(BstrText(filter)) + " " +
               Quoted(BstrText(dialect)) + " flags " + std::to_string(flags) + " timeout " +
               std::to_string(timeout_));
    const Plan& plan = lookup_->plan;
    if (plan.only == Transport::kDcom) {
      RecordLine("unreachable wsman");
      lookup_->error = FaultXml(kWsManCannotConnect, L"WinRM cannot complete the operation.");
      return kWsManCannotConnect;
    }
    // The session's first request is its connection: it alone waits for the computer.
    if (!lookup_->connected) {
      lookup_->connected = true;
      if (plan.delay_ms != 0) Sleep(plan.delay_ms);
      if (plan.hang) {
        automation_.LeaveCount();
        HangForever(*this);
      }
    }
    if (uri == kBiosUri) {
      for (const Step step : {Step::kBind, Step::kInstancesOf, Step::kNewEnum}) {
        const HRESULT fault = Fault(*lookup_, step, 1);
        if (fault != S_OK) return fault;
      }
      *result_set = new Enumerator(lookup_);
      return S_OK;
    }
    const std::wstring base = kClassUriBase;
    const std::wstring wmi_class =
        uri.compare(0, base.size(), base) == 0 ? uri.substr(base.size()) : L"";
    if (wmi_class.empty() || !plan.Answers(wmi_class)) {
      lookup_->error = FaultXml(kUnknownResource, L"Unknown resource.");
      return kUnknownResource;
    }
    *result_set = new InstanceEnumerator(InstanceXml(wmi_class, plan.PropertiesOf(wmi_class)));
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE get_Error(BSTR* value) override {
    return GiveText(lookup_->error, value);
  }
  HRESULT STDMETHODCALLTYPE get_Timeout(LONG* value) override {
    if (value == nullptr) return E_POINTER;
    *value = timeout_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE put_Timeout(LONG value) override {
    timeout_ = value;
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE Get(VARIANT, LONG, BSTR*) override { return Unused("Get"); }
  HRESULT STDMETHODCALLTYPE Put(VARIANT, BSTR, LONG, BSTR*) override { return Unused("Put"); }
  HRESULT STDMETHODCALLTYPE Create(VARIANT, BSTR, LONG, BSTR*) override { return Unused("Create"); }
  HRESULT STDMETHODCALLTYPE Delete(VARIANT, LONG) override { return Unused("Delete"); }
  HRESULT STDMETHODCALLTYPE Invoke(BSTR, VARIANT, BSTR, LONG, BSTR*) override {
    return Unused("Invoke");
  }
  using VtableObject<IWSManSession>::Invoke;
  HRESULT STDMETHODCALLTYPE Identify(LONG, BSTR*) override { return Unused("Identify"); }
  HRESULT STDMETHODCALLTYPE get_BatchItems(LONG*) override { return Unused("BatchItems"); }
  HRESULT STDMETHODCALLTYPE put_BatchItems(LONG) override { return Unused("BatchItems"); }

 private:
  HRESULT Unused(const char* member) {
    RecordLine(std::string("wsman-unexpected ") + member);
    return E_NOTIMPL;
  }

  std::shared_ptr<WsManLookup> lookup_;
  Counted& automation_;  // the object that made this session: its caller holds it meanwhile
  LONG timeout_ = 0;
};

class Automation : public VtableObject<IWSManEx> {
 public:
  Automation() : VtableObject("wsman") {}

  HRESULT STDMETHODCALLTYPE CreateSession(BSTR connection, LONG flags, IDispatch* options,
                                          IDispatch** session) override {
    if (session != nullptr) *session = nullptr;
    if (session == nullptr) return E_POINTER;
    const std::wstring computer = BstrText(connection);
    RecordLine("wsman-session " + Quoted(computer) + " flags " + std::to_string(flags) +
               (options != nullptr ? " with options" : ""));
    try {
      auto lookup = std::make_shared<WsManLookup>();
      const HRESULT found = FindPlan(computer, lookup->plan);
      if (FAILED(found)) return found;
      *session = new Session(std::move(lookup), *this);
      return S_OK;
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  HRESULT STDMETHODCALLTYPE get_Error(BSTR* value) override { return GiveText(L"", value); }

  HRESULT STDMETHODCALLTYPE CreateConnectionOptions(IDispatch**) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE get_CommandLine(BSTR*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE CreateResourceLocator(BSTR, IDispatch**) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE SessionFlagUTF8(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE SessionFlagCredUsernamePassword(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE SessionFlagSkipCACheck(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE SessionFlagSkipCNCheck(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE SessionFlagUseDigest(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE SessionFlagUseNegotiate(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE SessionFlagUseBasic(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE SessionFlagUseKerberos(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE SessionFlagNoEncryption(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE SessionFlagEnableSPNServerPort(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE SessionFlagUseNoAuthentication(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE EnumerationFlagNonXmlText(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE EnumerationFlagReturnEPR(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE EnumerationFlagReturnObjectAndEPR(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE GetErrorMessage(DWORD, BSTR*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE EnumerationFlagHierarchyDeep(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE EnumerationFlagHierarchyShallow(LONG*) override { return Unused(); }
  HRESULT STDMETHODCALLTYPE EnumerationFlagHierarchyDeepBasePropsOnly(LONG*) override {
    return Unused();
  }
  HRESULT STDMETHODCALLTYPE EnumerationFlagReturnObject(LONG*) override { return Unused(); }

 private:
  HRESULT Unused() {
    RecordLine("wsman-unexpected call");
    return E_NOTIMPL;
  }
};

}  // namespace

HRESULT CreateWsManAutomation(REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  Automation* automation = new (std::nothrow) Automation;
  if (automation == nullptr) return E_OUTOFMEMORY;
  const HRESULT result = automation->QueryInterface(iid, object);
  automation->Release();
  return result;
}

std::wstring ItemXml(const Serial& serial, const std::vector<ClassProperty>& properties) {
  // A derived class's instance comes as that class, in its own namespace.
  const bool derived = serial.kind == Serial::Kind::kDerived;
  std::vector<ClassProperty> all = properties;
  all.push_back({L"Win32_BIOS", L"SerialNumber", serial});
  return InstanceXml(derived ? L"Standin_BIOS" : L"Win32_BIOS", all);
}

std::wstring FaultXml(HRESULT code, const std::wstring& message) {
  std::wstring xml =
      L"<f:WSManFault xmlns:f=\"http://schemas.microsoft.com/wbem/wsman/1/wsmanfault\" Code=\"" +
      std::to_wstring(static_cast<unsigned long>(code)) + L"\" Machine=\"stand-in\">";
  if (!message.empty()) xml += L"<f:Message>" + XmlEscaped(message) + L" </f:Message>";
  return xml + L"</f:WSManFault>";
}

}  // namespace standin
