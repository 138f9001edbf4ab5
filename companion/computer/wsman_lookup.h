// The lookup of one computer over WS-Management: the platform's scripting object
// ("WSMan.Automation") enumerates the BIOS class, and the classes of the facts asked, in one
// session, and the platform's XML parser reads each item.
#pragma once

#include <chrono>
#include <string>

#include "platform_failure.h"
#include "protocol_choice.h"

namespace quillmark::companion {

// A WMI class's resource over WS-Management is this, followed by the class's name.
inline constexpr wchar_t kCimV2ResourceUri[] =
    L"http://schemas.microsoft.com/wbem/wsman/1/wmi/root/cimv2/";
inline constexpr wchar_t kWsManProgId[] = L"WSMan.Automation";
inline constexpr wchar_t kXmlParserProgId[] = L"Msxml2.DOMDocument.6.0";

// The failure that a WS-Management fault's XML describes: its Code attribute and Message text.
// `code` and the platform's description stand in for what the XML lacks or when it is not a fault.
PlatformFailure FailureFromFaultXml(std::int32_t code, const std::wstring& fault);

// Needs COM on the calling thread. Each lookup makes its own session to the computer, with the
// caller's own identity: no credentials are given and authentication is never turned off. Throws
// TransportNotStarted where the scripting object cannot be made. A property is read from an item's
// XML as the text of the element of its name, whatever its namespace (an instance of a derived
// class comes in that class's own), exactly as the DCOM lookup gives it (not trimmed); empty where
// it is xsi:nil; DISP_E_UNKNOWNNAME where the item has none, as over DCOM.
class WsManTransport : public SerialTransport {
 public:
  // No call of the session starts once `deadline` has passed, and none may outlast it.
  explicit WsManTransport(std::chrono::steady_clock::time_point deadline) : deadline_(deadline) {}
  FactReadings ForEachSerial(const std::wstring& computer, const AskedFacts& with,
                             const InstanceReceiver& receive) override;

 private:
  std::chrono::steady_clock::time_point deadline_;
};

}  // namespace quillmark::companion
