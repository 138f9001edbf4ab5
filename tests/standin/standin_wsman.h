// The WS-Management stand-in: "WSMan.Automation" in the test prefix, answering each computer as
// the script's plan for it says, with the same members and failures as the DCOM stand-in.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "standin_script.h"

namespace standin {

// {BCED617B-EC03-420B-8508-977DC7A686BD}: the class the platform registers for the ProgID; the
// test registration script names the same class.
constexpr CLSID kWsManClass = {
    0xbced617b, 0xec03, 0x420b, {0x85, 0x08, 0x97, 0x7d, 0xc7, 0xa6, 0x86, 0xbd}};

// What WS-Management answers for a computer it cannot reach.
constexpr HRESULT kWsManCannotConnect = static_cast<HRESULT>(0x80338126);

// A new WS-Management automation object, as the class object of kWsManClass makes it.
HRESULT CreateWsManAutomation(REFIID iid, void** object);

// An enumerated item's XML for one member, as the platform's service writes a Win32_BIOS instance:
// its serial, and the other properties the plan gives it.
std::wstring ItemXml(const Serial& serial, const std::vector<ClassProperty>& properties);

// A fault's XML: its code in decimal, and its message unless `message` is empty.
std::wstring FaultXml(HRESULT code, const std::wstring& message);

}  // namespace standin
