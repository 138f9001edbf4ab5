// The management-service operations over real COM automation: moniker binding, late-bound calls
// and property reads through IDispatch, and collection walks through IEnumVARIANT.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <utility>

#include "serial_lookup.h"

namespace quillmark {

// Parses a moniker display name and binds it with no class given, as automation's GetObject does.
Microsoft::WRL::ComPtr<IDispatch> BindDisplayName(const std::wstring& display_name);

// Loads the handler of a moniker scheme ("winmgmts") into the process by asking for its class
// object, as parsing a display name of that scheme first does; no name is parsed and nothing is
// bound. Throws PlatformFailure when the scheme has no handler.
void LoadMonikerHandler(const std::wstring& scheme);

// Needs COM initialised on the calling thread. Keeps nothing between calls: every object it returns
// owns its interface and releases it when destroyed.
class ComManagementBinder : public ManagementBinder {
 public:
  using BindFunction = std::function<Microsoft::WRL::ComPtr<IDispatch>(const std::wstring&)>;
  // The binding is replaceable so that the automation calls can be proven against fakes.
  explicit ComManagementBinder(BindFunction bind = BindDisplayName) : bind_(std::move(bind)) {}

  ManagementObjectRef BindMoniker(const std::wstring& display_name) override;
  ManagementObjectRef CallMethod(ManagementObject& target, const std::wstring& method,
                                 const std::wstring& text_argument) override;
  std::unique_ptr<MemberWalk> WalkMembers(ManagementObject& collection) override;
  std::wstring ReadPropertyText(ManagementObject& object, const std::wstring& property) override;

 private:
  BindFunction bind_;
};

}  // namespace quillmark
