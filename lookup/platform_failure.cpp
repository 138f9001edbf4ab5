// Failure values and the texts that describe them.
#include "platform_failure.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace quillmark {
namespace {

struct KnownCode {
  std::uint32_t code;
  const wchar_t* description;
  // The likely cause and what to check, for the codes administrators meet most; else null.
  const wchar_t* hint;
  // The same where the directory gave the code rather than a computer, if it says otherwise.
  const wchar_t* directory_hint = nullptr;
};

// Codes the management service, automation, remote calls and the directory commonly report: a
// description for platforms (such as Wine) whose message tables have no text for them, and for the
// codes met most when a computer is looked up remotely or the directory is read, a hint at what to
// check.
constexpr KnownCode kKnownCodes[] = {
    {0x80004001, L"Not implemented.", nullptr},
    {0x80004002, L"No such interface supported.", nullptr},
    {0x80004005, L"Unspecified error.", nullptr},
    {0x80005000, L"An invalid ADSI pathname was passed.",
     L"The directory path was not understood: check the server's name and the DN's form "
     L"(LDAP://SERVER/OU=Workstations,DC=example,DC=com)."},
    {0x8000FFFF, L"Catastrophic failure.", nullptr},
    {0x80020003, L"Member not found.", nullptr},
    {0x80020005, L"Type mismatch.", nullptr},
    {0x80020006, L"Unknown name.", nullptr},
    {0x80020009, L"Exception occurred.", nullptr},
    {0x8002000E, L"Invalid number of parameters.", nullptr},
    {0x800401E4, L"Invalid syntax.", nullptr},
    {0x800401EA, L"Moniker cannot open file.", nullptr},
    {0x80041001, L"Generic failure.", nullptr},
    {0x80041002, L"Not found.", nullptr},
    {0x80041003, L"Access denied.",
     L"The account may not use the management service remotely: give it Remote Enable on the "
     L"root\\cimv2 namespace of that computer (WMI Control, Security)."},
    {0x80041004, L"Provider failure.", nullptr},
    {0x80041005, L"Type mismatch.", nullptr},
    {0x80041006, L"Out of memory.", nullptr},
    {0x80041008, L"Invalid parameter.", nullptr},
    {0x80041009, L"Not available.", nullptr},
    {0x8004100A, L"Critical error.", nullptr},
    {0x8004100C, L"Not supported.", nullptr},
    {0x8004100E, L"Invalid namespace.",
     L"The computer name was not understood as a computer, or its management repository is "
     L"damaged: type the plain name without slashes, and check the repository on that computer."},
    {0x8004100F, L"Invalid object.", nullptr},
    {0x80041010, L"Invalid class.",
     L"The computer's management repository lacks the BIOS class: check and repair the repository "
     L"on that computer."},
    {0x80041011, L"Provider not found.", nullptr},
    {0x80041013, L"Provider load failure.", nullptr},
    {0x80041014, L"Component failed to initialize.", nullptr},
    {0x80041015,
     L"Transport failure: the management service of that computer could not be reached.",
     L"The name may be misspelt or not resolve to that computer: check the name and that it "
     L"answers on the network."},
    {0x80041016, L"Invalid operation.", nullptr},
    {0x80041017, L"Invalid query.", nullptr},
    {0x80070005, L"Access is denied.",
     L"The account is not an administrator on that computer, or it is a local account, which "
     L"User Account Control's remote restrictions leave without administrator rights: use a "
     L"domain account in that computer's Administrators group.",
     L"The account may not read that container of the directory, though any domain account may "
     L"read computer accounts by default: run the companion as a domain account, or have it "
     L"given read access there."},
    {0x8007000E, L"Not enough memory resources are available to complete this operation.", nullptr},
    {0x8007052E, L"The user name or password is incorrect.",
     L"The directory server did not accept the account the companion runs as: run it as an "
     L"account of that domain, or of one that it trusts, rather than a local account."},
    {0x8007054B, L"The specified domain either does not exist or could not be contacted.",
     L"This computer is not in a domain, or finds none of its domain controllers: name a server "
     L"in the path (LDAP://SERVER/DN), or run the companion on a computer in the domain."},
    {0x800705B4, L"This operation returned because the timeout period expired.",
     L"The computer accepted the connection but its management service never answered: check that "
     L"the service is running and not overloaded there."},
    {0x800706BA, L"The RPC server is unavailable.",
     L"The computer is off or unreachable, or its firewall blocks remote management: check that it "
     L"is on, and that the Windows Management Instrumentation (WMI) firewall rules are enabled "
     L"there."},
    {0x800706BE, L"The remote procedure call failed.",
     L"The call broke off midway, usually because the management service on that computer stopped "
     L"or restarted: try again, and check the service there."},
    {0x80070721, L"A security package specific error occurred.",
     L"Authentication with that computer failed, often because its clock is out of step or the "
     L"name is an address or alias: use its real name and check the time on both computers."},
    {0x80070776, L"The object exporter specified was not found.",
     L"The name resolves to another computer than the one that answers, or that computer has "
     L"several addresses: check the name's address records."},
    {0x80072020, L"An operations error occurred.",
     L"The directory server refused to search for an account it did not authenticate: run the "
     L"companion as a domain account, not a local one."},
    {0x80072030, L"There is no such object on the server.",
     L"The DN in the LDAP:// path names nothing on that server: check each of its parts "
     L"(OU=..., DC=...) against the object's distinguishedName in the directory."},
    {0x80072032, L"An invalid dn syntax has been specified.",
     L"The DN in the LDAP:// path is not a distinguished name: write it as "
     L"OU=Workstations,DC=example,DC=com, with a backslash before a comma inside a name."},
    {0x8007203A, L"The server is not operational.",
     L"No directory server answered: check the server's name in the path, that this computer "
     L"reaches a domain controller, and that LDAP (TCP 389) is open to it."},
    {0x8007232B, L"DNS name does not exist.",
     L"This computer found no domain controller through DNS: it may belong to no domain, or its "
     L"DNS server may not know the domain; name a server in the path (LDAP://SERVER/DN)."},
    {0x8007274C,
     L"A connection attempt failed because the connected party did not properly respond after a "
     L"period of time, or established connection failed because connected host has failed to "
     L"respond.",
     L"Neither TCP 135 (DCOM) nor TCP 5985 (WS-Management) answered within the companion's "
     L"reachability check: the computer is off or away, or a firewall drops both; check that it is "
     L"on, or give a slow network a longer --reach-timeout."},
    {0x8007274D, L"No connection could be made because the target machine actively refused it.",
     L"The computer is on, but nothing accepts connections on TCP 135 (DCOM) or 5985 "
     L"(WS-Management): enable the Windows Management Instrumentation (WMI) firewall rules there, "
     L"or the WinRM service and its firewall rule (winrm quickconfig)."},
    {0x80072AF9, L"No such host is known.",
     L"The name does not exist in DNS: check its spelling, and for a short name this computer's "
     L"DNS suffix search list (ipconfig /all); with --reach-timeout 0 no check is made, and DCOM "
     L"then reports such a name as 0x800706BA."},
    {0x80080005, L"Server execution failed.",
     L"The management service on that computer could not be started: check the Windows Management "
     L"Instrumentation service there."},
    {0x80338126,
     L"WinRM cannot complete the operation. Verify that the specified computer name is valid, that "
     L"the computer is accessible over the network, and that a firewall exception for the WinRM "
     L"service is enabled and allows access from this computer.",
     L"WS-Management could not reach that computer: check that the WinRM service runs there "
     L"(winrm quickconfig) and that its firewall rule for HTTP, TCP 5985, is enabled for this "
     L"network."},
};

const KnownCode* FindKnownCode(std::int32_t code) {
  const auto unsigned_code = static_cast<std::uint32_t>(code);
  const auto known = std::find_if(std::begin(kKnownCodes), std::end(kKnownCodes),
                                  [&](const KnownCode& k) { return k.code == unsigned_code; });
  return known != std::end(kKnownCodes) ? known : nullptr;
}

}  // namespace

PlatformFailure::PlatformFailure(std::int32_t code, std::wstring description)
    : code_(code), description_(std::move(description)) {
  if (description_.empty()) description_ = DescribeFailureCode(code_);
}

const char* PlatformFailure::what() const noexcept { return "platform failure"; }

std::wstring FormatFailureCode(std::int32_t code) {
  constexpr wchar_t kDigits[] = L"0123456789ABCDEF";
  auto value = static_cast<std::uint32_t>(code);
  std::wstring text = L"0x00000000";
  for (auto digit = text.rbegin(); value != 0; ++digit, value >>= 4) *digit = kDigits[value & 0xF];
  return text;
}

std::wstring DescribeFailureCode(std::int32_t code) {
  const KnownCode* known = FindKnownCode(code);
  if (known != nullptr) return known->description;
  return L"The operation failed with error " + FormatFailureCode(code) + L".";
}

std::wstring TrimBlanks(const std::wstring& text) {
  constexpr wchar_t kBlanks[] = L" \t\r\n\v\f";
  const size_t first = text.find_first_not_of(kBlanks);
  if (first == std::wstring::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

std::wstring UnexplainedFailureText(const std::wstring& operation) {
  return operation + L" failed without giving a reason.";
}

std::wstring FailureHint(std::int32_t code) {
  const KnownCode* known = FindKnownCode(code);
  return known != nullptr && known->hint != nullptr ? known->hint : L"";
}

std::wstring DirectoryFailureHint(std::int32_t code) {
  const KnownCode* known = FindKnownCode(code);
  if (known != nullptr && known->directory_hint != nullptr) return known->directory_hint;
  return FailureHint(code);
}

std::vector<HintedFailure> HintedFailures() {
  std::vector<HintedFailure> hinted;
  for (const KnownCode& known : kKnownCodes) {
    if (known.hint != nullptr) {
      hinted.push_back({static_cast<std::int32_t>(known.code), known.description, known.hint,
                        known.directory_hint != nullptr ? known.directory_hint : L""});
    }
  }
  return hinted;
}

std::wstring FailureReportText(const PlatformFailure& failure) {
  std::wstring text =
      L"Error " + FormatFailureCode(failure.code()) + L"\n\n" + failure.description();
  const std::wstring hint = FailureHint(failure.code());
  if (!hint.empty()) text += L"\n\n" + hint;
  return text;
}

}  // namespace quillmark
