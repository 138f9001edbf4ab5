// The lookup of one computer over WS-Management: the platform's scripting object
// ("WSMan.Automation") enumerates the BIOS class, and the platform's XML parser reads each item.
#pragma once

#include <chrono>
#include <string>

#include "platform_failure.h"
#include "protocol_choice.h"

namespace quillmark::companion {

// The WMI class's resource over WS-Management.
inline constexpr wchar_t kBiosResourceUri[] =
    L"http://schemas.microsoft.com/wbem/wsman/1/wmi/root/cimv2/Win32_BIOS";
inline constexpr wchar_t kWsManProgId[] = L"WSMan.Automation";
inline constexpr wchar_t kXmlParserProgId[] = L"Msxml2.DOMDocument.6.0";

// A serial from one enumerated item's XML: the text of its SerialNumber element, whatever its
// namespace (an instance of a derived class comes in that class's own), exactly as the DCOM lookup
// gives it (not trimmed); empty where it is xsi:nil. Needs COM on the calling thread. Throws
// PlatformFailure when the item is not XML, and, as DCOM's lookup fails for a property the object
// lacks, DISP_E_UNKNOWNNAME when it has no SerialNumber.
std::wstring SerialFromItemXml(const std::wstring& item);

// The failure that a WS-Management fault's XML describes: its Code attribute and Message text.
// `code` and the platform's description stand in for what the XML lacks or when it is not a fault.
PlatformFailure FailureFromFaultXml(std::int32_t code, const std::wstring& fault);

// Needs COM on the calling thread. Each lookup makes its own session to the computer, with the
// caller's own identity: no credentials are given and authentication is never turned off. Throws
// TransportNotStarted where the scripting object cannot be made.
class WsManTransport : public SerialTransport {
 public:
  // No call of the session starts once `deadline` has passed, and none may outlast it.
  explicit WsManTransport(std::chrono::steady_clock::time_point deadline) : deadline_(deadline) {}
  void ForEachSerial(const std::wstring& computer, const SerialReceiver& receive) override;

 private:
  std::chrono::steady_clock::time_point deadline_;
};

}  // namespace quillmark::companion
