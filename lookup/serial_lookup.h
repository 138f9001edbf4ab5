// The serial-number lookup: from a computer name to one message per BIOS instance it reports.
#pragma once

#include <functional>
#include <memory>
#include <string>

namespace quillmark {

// "winmgmts:" moniker prefix: impersonate the user who runs the tool; the computer name follows the
// two slashes, and nothing follows the name, so that computer's default namespace is bound.
inline constexpr wchar_t kMonikerPrefix[] = L"winmgmts:{impersonationLevel=impersonate}!//";
// The scheme that the prefix names, whose handler parses and binds the moniker.
inline constexpr wchar_t kMonikerScheme[] = L"winmgmts";
inline constexpr wchar_t kInstancesOfMethod[] = L"InstancesOf";
inline constexpr wchar_t kBiosClass[] = L"Win32_BIOS";
inline constexpr wchar_t kSerialNumberProperty[] = L"SerialNumber";
inline constexpr wchar_t kResultPrompt[] = L"The serial number for the specified computer is: ";

// The moniker for a computer name taken exactly as typed: not trimmed, not validated, may be empty.
std::wstring MonikerFor(const std::wstring& computer_name);

// The message that reports one serial number, given in its text form.
std::wstring ResultMessageFor(const std::wstring& serial_text);

// An automation object obtained from the management service. Destroying the handle releases it.
class ManagementObject {
 public:
  virtual ~ManagementObject() = default;
};
using ManagementObjectRef = std::unique_ptr<ManagementObject>;

// A walk over a collection's members, in the order its enumerator yields them.
class MemberWalk {
 public:
  virtual ~MemberWalk() = default;
  // The next member, or null when there is none; the walk never asks for a count.
  virtual ManagementObjectRef Next() = 0;
};

// The management-service operations the lookup needs. Each throws PlatformFailure, unchanged from
// the platform, when it fails.
class ManagementBinder {
 public:
  virtual ~ManagementBinder() = default;
  // Binds a moniker display name with no class given, as automation's GetObject does.
  virtual ManagementObjectRef BindMoniker(const std::wstring& display_name) = 0;
  // Calls a method by name, late-bound, with exactly one text argument; returns the object result.
  virtual ManagementObjectRef CallMethod(ManagementObject& target, const std::wstring& method,
                                         const std::wstring& text_argument) = 0;
  // Starts the walk of a collection through its standard enumerator.
  virtual std::unique_ptr<MemberWalk> WalkMembers(ManagementObject& collection) = 0;
  // Reads a property by name, late-bound, as text by the platform's ordinary rules (null is "").
  virtual std::wstring ReadPropertyText(ManagementObject& object, const std::wstring& property) = 0;
};

// Tells the user one message and returns when it is dismissed. Throws PlatformFailure on failure.
class UserNotifier {
 public:
  virtual ~UserNotifier() = default;
  virtual void ShowMessage(const std::wstring& text) = 0;
};

// Receives one BIOS instance's serial number, in its text form, as soon as it has been read.
using SerialReceiver = std::function<void(const std::wstring& serial_text)>;

// Reads the BIOS serial numbers of a computer and hands each to `receive`, in the enumerator's
// order, before the next one is read. Catches nothing: the first failure (of the platform or of
// `receive`) ends the walk, with all it holds released, and reaches the caller unchanged.
void ForEachSerial(const std::wstring& computer_name, ManagementBinder& binder,
                   const SerialReceiver& receive);

// Looks up the BIOS serial numbers of a computer and shows one message per BIOS instance, each only
// after the previous one was dismissed. Catches nothing: the first failure ends the lookup, with
// all it holds released, and reaches the caller unchanged. Keeps nothing between calls.
void SerialLookup(const std::wstring& computer_name, ManagementBinder& binder,
                  UserNotifier& notifier);

}  // namespace quillmark
