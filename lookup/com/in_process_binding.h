// Binding a moniker through its scheme's handler inside this process.
#pragma once

#include <oaidl.h>
#include <wrl/client.h>

#include <string>

namespace quillmark {

// Binds a display name "scheme:rest" as BindDisplayName does, but asks the scheme's handler for its
// parser inside this process only: by its class object, or by an object the class object makes.
// Asking for the parser among out-of-process servers too, as the system's own parse does when the
// class object is not itself one, starts a surrogate host and calls the local activation service
// for every binding; many bindings at once make those calls side by side, and Wine loses some of
// them, so that a lookup of a computer that answers hangs until its deadline. A name the handler
// does not take whole is left to the system's own parse.
Microsoft::WRL::ComPtr<IDispatch> BindInProcess(const std::wstring& display_name);

}  // namespace quillmark
