// The serial-number lookup.
#include "serial_lookup.h"

namespace quillmark {

std::wstring MonikerFor(const std::wstring& computer_name) {
  return kMonikerPrefix + computer_name;
}

std::wstring ResultMessageFor(const std::wstring& serial_text) {
  return kResultPrompt + serial_text;
}

void ForEachSerial(const std::wstring& computer_name, ManagementBinder& binder,
                   const SerialReceiver& receive) {
  const std::wstring moniker = MonikerFor(computer_name);
  ManagementObjectRef collection;
  {
    // The services object is needed only to obtain the collection.
    const ManagementObjectRef services = binder.BindMoniker(moniker);
    collection = binder.CallMethod(*services, kInstancesOfMethod, kBiosClass);
  }
  const std::unique_ptr<MemberWalk> walk = binder.WalkMembers(*collection);
  for (ManagementObjectRef member = walk->Next(); member; member = walk->Next()) {
    receive(binder.ReadPropertyText(*member, kSerialNumberProperty));
  }
}

void SerialLookup(const std::wstring& computer_name, ManagementBinder& binder,
                  UserNotifier& notifier) {
  ForEachSerial(computer_name, binder, [&notifier](const std::wstring& serial_text) {
    notifier.ShowMessage(ResultMessageFor(serial_text));
  });
}

}  // namespace quillmark
