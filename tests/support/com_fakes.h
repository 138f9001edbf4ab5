// Hand-written automation objects that stand in for the management service in the COM-layer tests:
// a services object, a collection, its enumerator and its members, all counting references.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace quillmark::fakes {

// How an injected failure is raised by the fake member that fails. kExcepInfoWCode puts the code
// into EXCEPINFO's wCode, as an application's own, and leaves its scode 0.
enum class Raise { kReturnCode, kErrorInfo, kExcepInfo, kExcepInfoWCode };

struct InjectedFailure {
  std::wstring step;   // "InstancesOf", "_NewEnum", "Next", "SerialNumber"
  int occurrence = 1;  // for "Next" and "SerialNumber": which call fails
  HRESULT code = E_FAIL;
  std::wstring description;
  Raise raise = Raise::kExcepInfo;
};

// What the fake service returns and records.
struct ServiceScript {
  std::vector<VARIANT> serials;  // owned by the test; copied by the fakes
  std::vector<InjectedFailure> failures;
  std::vector<std::wstring> calls;  // "InstancesOf(Win32_BIOS)", "_NewEnum", "Next", "SerialNumber"
  int next_calls = 0;
  int reads = 0;
};

// Fake objects now alive; zero once everything handed out has been released.
LONG LiveObjects();

// A new services object that serves `script`, which must outlive it.
Microsoft::WRL::ComPtr<IDispatch> MakeServices(ServiceScript& script);

}  // namespace quillmark::fakes
