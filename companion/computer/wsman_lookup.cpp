// WS-Management through the platform's scripting object, called through its vtables, and its XML
// read with MSXML 6.
#include "wsman_lookup.h"

#include <objbase.h>
#include <windows.h>
#include <msxml2.h>
#include <oleauto.h>
#include <wsmandisp.h>
#include <wrl/client.h>

#include <algorithm>
#include <optional>

#include "com_failure.h"
#include "com_owners.h"
#include "fact_reading.h"
#include "lookup_deadline.h"
#include "platform_failure.h"

namespace quillmark::companion {
namespace {

using Microsoft::WRL::ComPtr;

// This mingw-w64 has no library with this interface's IID.
constexpr IID kXmlDocument2Iid = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

constexpr wchar_t kNamespaces[] =
    L"xmlns:p='http://schemas.microsoft.com/wbem/wsman/1/wmi/root/cimv2/Win32_BIOS' "
    L"xmlns:xsi='http://www.w3.org/2001/XMLSchema-instance' "
    L"xmlns:f='http://schemas.microsoft.com/wbem/wsman/1/wsmanfault'";

void CreateByProgId(const wchar_t* prog_id, REFIID iid, void** object) {
  CLSID class_id{};
  ThrowIfCallFails([&] { return CLSIDFromProgID(prog_id, &class_id); });
  ThrowIfCallFails(
      [&] { return CoCreateInstance(class_id, nullptr, CLSCTX_INPROC_SERVER, iid, object); });
}

UniqueVariant VariantOf(bool value) {
  UniqueVariant variant;
  V_VT(&variant.get()) = VT_BOOL;
  V_BOOL(&variant.get()) = value ? VARIANT_TRUE : VARIANT_FALSE;
  return variant;
}

UniqueVariant VariantOf(const std::wstring& text) {
  UniqueVariant variant;
  V_VT(&variant.get()) = VT_BSTR;
  V_BSTR(&variant.get()) = UniqueBstr(text).release();
  return variant;
}

// One XML text parsed by the platform's parser, safely for text from another computer: no DTD, no
// external resources, white space kept as it came.
class XmlDocument {
 public:
  explicit XmlDocument(const std::wstring& text) {
    CreateByProgId(kXmlParserProgId, kXmlDocument2Iid,
                   reinterpret_cast<void**>(document_.GetAddressOf()));
    ThrowIfCallFails([&] { return document_->put_async(VARIANT_FALSE); });
    ThrowIfCallFails([&] { return document_->put_validateOnParse(VARIANT_FALSE); });
    ThrowIfCallFails([&] { return document_->put_resolveExternals(VARIANT_FALSE); });
    ThrowIfCallFails([&] { return document_->put_preserveWhiteSpace(VARIANT_TRUE); });
    SetProperty(L"ProhibitDTD", VariantOf(true));
    SetProperty(L"SelectionLanguage", VariantOf(std::wstring(L"XPath")));
    SetProperty(L"SelectionNamespaces", VariantOf(std::wstring(kNamespaces)));
    const UniqueBstr source(text);
    VARIANT_BOOL loaded = VARIANT_FALSE;
    ThrowIfCallFails([&] { return document_->loadXML(source.get(), &loaded); });
    if (loaded != VARIANT_TRUE) throw ParseFailure();
  }

  // The text of the first node the path selects, if any.
  std::optional<std::wstring> Text(const wchar_t* path) const {
    const UniqueBstr query{std::wstring(path)};
    ComPtr<IXMLDOMNode> node;
    ThrowIfCallFails([&] { return document_->selectSingleNode(query.get(), node.GetAddressOf()); });
    if (!node) return std::nullopt;
    UniqueBstr text;
    ThrowIfCallFails([&] { return node->get_text(text.put()); });
    return text.text();
  }

 private:
  void SetProperty(const wchar_t* name, const UniqueVariant& value) {
    const UniqueBstr property{std::wstring(name)};
    ThrowIfCallFails([&] { return document_->setProperty(property.get(), value.get()); });
  }

  PlatformFailure ParseFailure() const {
    ComPtr<IXMLDOMParseError> error;
    long code = 0;
    UniqueBstr reason;
    if (SUCCEEDED(document_->get_parseError(error.GetAddressOf())) && error) {
      error->get_errorCode(&code);
      error->get_reason(reason.put());
    }
    const HRESULT failure = FAILED(code) ? static_cast<HRESULT>(code) : E_FAIL;
    return PlatformFailure(failure,
                           L"The computer's answer is not XML: " + TrimBlanks(reason.text()));
  }

  ComPtr<IXMLDOMDocument2> document_;
};

// A decimal fault code as the platform writes it, unsigned, e.g. "2150859046".
std::optional<std::int32_t> FaultCode(const std::wstring& digits) {
  if (digits.empty() || digits.size() > 10) return std::nullopt;
  unsigned long long value = 0;
  for (const wchar_t digit : digits) {
    if (digit < L'0' || digit > L'9') return std::nullopt;
    value = value * 10 + static_cast<unsigned>(digit - L'0');
  }
  if (value == 0 || value > 0xFFFFFFFFull) return std::nullopt;
  // A Win32 error code is given as itself; the failure carries it as an HRESULT.
  const auto code = static_cast<std::uint32_t>(value);
  if (code <= 0xFFFF) return static_cast<std::int32_t>(HRESULT_FROM_WIN32(code));
  return static_cast<std::int32_t>(code);
}

// Runs a call of a WS-Management object, unless the deadline has passed; a failure is described by
// the object's error XML.
template <typename Object, typename Call>
void CallDescribedBy(SteadyTime deadline, Object* described_by, Call&& call) {
  ThrowIfPast(deadline, std::chrono::steady_clock::now());
  ClearErrorInfo();
  const HRESULT result = call();
  if (SUCCEEDED(result)) return;
  PlatformFailure failure = FailureAfterCall(result);
  UniqueBstr fault;
  if (described_by != nullptr && SUCCEEDED(described_by->get_Error(fault.put()))) {
    const std::wstring xml = fault.text();
    if (xml.find_first_not_of(L" \t\r\n") != std::wstring::npos) {
      try {
        failure = FailureFromFaultXml(result, xml);
      } catch (const PlatformFailure&) {
        // Unreadable error XML: the call's own failure stands.
      }
    }
  }
  throw failure;
}

template <typename Interface>
ComPtr<Interface> Query(IDispatch* object) {
  ComPtr<Interface> wanted;
  if (object == nullptr) throw FailureFromHresult(E_POINTER);
  ThrowIfCallFails([&] { return object->QueryInterface(IID_PPV_ARGS(&wanted)); });
  return wanted;
}

// A property of an enumerated item, as WsManTransport reads it.
std::wstring PropertyOfItem(const XmlDocument& item, const std::wstring& property) {
  const std::wstring element = L"/*/*[local-name()='" + property + L"']";
  const std::optional<std::wstring> nil = item.Text((element + L"/@xsi:nil").c_str());
  if (nil && (*nil == L"true" || *nil == L"1")) return {};
  std::optional<std::wstring> text = item.Text(element.c_str());
  if (!text) throw FailureFromHresult(DISP_E_UNKNOWNNAME);
  return std::move(*text);
}

// A class's instances as the session enumerates them, each item's XML parsed as it is read.
class ClassItems {
 public:
  ClassItems(SteadyTime deadline, IWSManSession* session, const wchar_t* wmi_class)
      : deadline_(deadline) {
    ComPtr<IDispatch> result_set;
    const UniqueVariant resource = VariantOf(kCimV2ResourceUri + std::wstring(wmi_class));
    const UniqueBstr no_filter{std::wstring()};
    const UniqueBstr no_dialect{std::wstring()};
    CallDescribedBy(deadline_, session, [&] {
      return session->Enumerate(resource.get(), no_filter.get(), no_dialect.get(), 0,
                                result_set.GetAddressOf());
    });
    items_ = Query<IWSManEnumerator>(result_set.Get());
  }

  // The next item, or nothing at the end.
  std::optional<XmlDocument> Next() {
    VARIANT_BOOL at_end = VARIANT_FALSE;
    CallDescribedBy(deadline_, items_.Get(), [&] { return items_->get_AtEndOfStream(&at_end); });
    if (at_end != VARIANT_FALSE) return std::nullopt;
    UniqueBstr item;
    CallDescribedBy(deadline_, items_.Get(), [&] { return items_->ReadItem(item.put()); });
    return XmlDocument(item.text());
  }

 private:
  SteadyTime deadline_;
  ComPtr<IWSManEnumerator> items_;
};

}  // namespace

PlatformFailure FailureFromFaultXml(std::int32_t code, const std::wstring& fault) {
  const XmlDocument document(fault);
  const std::int32_t fault_code =
      FaultCode(document.Text(L"/f:WSManFault/@Code").value_or(L"")).value_or(code);
  const std::wstring message = TrimBlanks(document.Text(L"/f:WSManFault/f:Message").value_or(L""));
  if (message.empty()) return FailureFromHresult(fault_code);
  return PlatformFailure(fault_code, message);
}

FactReadings WsManTransport::ForEachSerial(const std::wstring& computer, const AskedFacts& with,
                                           const InstanceReceiver& receive) {
  ThrowIfPast(deadline_, std::chrono::steady_clock::now());
  ComPtr<IWSManEx> wsman;
  try {
    CreateByProgId(kWsManProgId, __uuidof(IWSManEx),
                   reinterpret_cast<void**>(wsman.GetAddressOf()));
  } catch (const PlatformFailure& failure) {
    throw TransportNotStarted(failure);
  }
  ComPtr<IDispatch> session_object;
  {
    // WS-Management names this computer "localhost"; "." is the management service's own name.
    const UniqueBstr connection(computer == L"." ? std::wstring(L"localhost") : computer);
    // No flags: the default authentication, with the caller's own identity.
    CallDescribedBy(deadline_, wsman.Get(), [&] {
      return wsman->CreateSession(connection.get(), 0, nullptr, session_object.GetAddressOf());
    });
  }
  const ComPtr<IWSManSession> session = Query<IWSManSession>(session_object.Get());
  // The session's operations end by the deadline too.
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline_ - std::chrono::steady_clock::now());
  const auto timeout = static_cast<LONG>(std::clamp<long long>(left.count(), 1, 0x7FFFFFFF));
  CallDescribedBy(deadline_, session.Get(), [&] { return session->put_Timeout(timeout); });

  ClassItems bios(deadline_, session.Get(), kBiosClass);
  for (std::optional<XmlDocument> item = bios.Next(); item; item = bios.Next()) {
    const std::wstring serial = PropertyOfItem(*item, kSerialNumberProperty);
    FactReadings bios_facts;
    ReadFactsOf(
        kBiosClass, with, [&](const wchar_t* property) { return PropertyOfItem(*item, property); },
        bios_facts);
    receive(serial, std::move(bios_facts));
  }
  // The computer's own facts, from the first instance of each class, in the same session.
  FactReadings computer_facts;
  for (const wchar_t* wmi_class : ComputerClassesFor(with)) {
    try {
      ClassItems instances(deadline_, session.Get(), wmi_class);
      const std::optional<XmlDocument> instance = instances.Next();
      if (!instance) throw PlatformFailure(kNoInstanceOfClass, L"");
      ReadFactsOf(
          wmi_class, with,
          [&](const wchar_t* property) { return PropertyOfItem(*instance, property); },
          computer_facts);
    } catch (const PlatformFailure& failure) {
      FailFactsOf(wmi_class, with, failure.code(), computer_facts);
    }
  }
  return computer_facts;
}

}  // namespace quillmark::companion
