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

// One lookup's state, shared by its session and enumerator (one apartment's thread only).
struct WsManLookup {
  Plan plan;
  std::wstring error;  // the last fault's XML, as the session's and enumerator's Error give it
  std::size_t read = 0;
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
    return GiveText(ItemXml(lookup_->plan.members[static_cast<std::size_t>(number) - 1]), resource);
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
    if (plan.delay_ms != 0) Sleep(plan.delay_ms);
    if (plan.hang) {
      automation_.LeaveCount();
      HangForever(*this);
    }
    for (const Step step : {Step::kBind, Step::kInstancesOf, Step::kNewEnum}) {
      const HRESULT fault = Fault(*lookup_, step, 1);
      if (fault != S_OK) return fault;
    }
    if (uri != kBiosUri) {
      lookup_->error = FaultXml(static_cast<HRESULT>(0x80338000), L"Unknown resource.");
      return static_cast<HRESULT>(0x80338000);
    }
    *result_set = new Enumerator(lookup_);
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

std::wstring ItemXml(const Serial& serial) {
  std::wstring value;
  // A derived class's instance comes as that class, in its own namespace.
  std::wstring class_name = L"Win32_BIOS";
  switch (serial.kind) {
    case Serial::Kind::kMissing:
      break;
    case Serial::Kind::kNull:
    case Serial::Kind::kEmpty:
      value = L"<p:SerialNumber xsi:nil=\"true\"/>";
      break;
    case Serial::Kind::kDerived:
      class_name = L"Standin_BIOS";
      [[fallthrough]];
    case Serial::Kind::kText:
      value = L"<p:SerialNumber>" + XmlEscaped(serial.text) + L"</p:SerialNumber>";
      break;
    case Serial::Kind::kInteger:
      value = L"<p:SerialNumber>" + std::to_wstring(serial.integer) + L"</p:SerialNumber>";
      break;
    case Serial::Kind::kReal: {
      wchar_t digits[64];
      std::swprintf(digits, sizeof digits / sizeof digits[0], L"%.17g", serial.real);
      value = std::wstring(L"<p:SerialNumber>") + digits + L"</p:SerialNumber>";
      break;
    }
  }
  // Another property first and after, as the service writes them all, in its own namespace.
  return L"<p:" + class_name + L" xmlns:p=\"" + kClassUriBase + class_name +
         L"\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xml:lang=\"en-US\">"
         L"<p:Manufacturer>Stand-in</p:Manufacturer>" +
         value + L"<p:Version>STANDIN - 1</p:Version></p:" + class_name + L">";
}

std::wstring FaultXml(HRESULT code, const std::wstring& message) {
  std::wstring xml =
      L"<f:WSManFault xmlns:f=\"http://schemas.microsoft.com/wbem/wsman/1/wsmanfault\" Code=\"" +
      std::to_wstring(static_cast<unsigned long>(code)) + L"\" Machine=\"stand-in\">";
  if (!message.empty()) xml += L"<f:Message>" + XmlEscaped(message) + L" </f:Message>";
  return xml + L"</f:WSManFault>";
}

}  // namespace standin
