// The stand-in's entry points: a class object that binds "winmgmts:" names to scripted services.
#include <windows.h>
#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <cwchar>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>

#include "automation_objects.h"
#include "standin_file.h"
#include "standin_lock.h"
#include "standin_objects.h"
#include "standin_record.h"
#include "standin_text.h"
#include "standin_script.h"
#include "win32_owners.h"
#include "standin_wsman.h"

namespace standin {
namespace {

using Microsoft::WRL::ComPtr;

// {7959159C-845D-478C-ACCA-774E8256AFD8}; the test registration script names the same class.
constexpr CLSID kServiceClass = {
    0x7959159c, 0x845d, 0x478c, {0xac, 0xca, 0x77, 0x4e, 0x82, 0x56, 0xaf, 0xd8}};

constexpr wchar_t kMonikerPrefix[] = L"winmgmts:{impersonationLevel=impersonate}!//";
constexpr size_t kMonikerPrefixLength = 44;
static_assert(sizeof kMonikerPrefix / sizeof kMonikerPrefix[0] == kMonikerPrefixLength + 1);

LONG server_locks = 0;  // changed and read with Interlocked calls: any thread may lock

LONG ServerLocks() { return InterlockedCompareExchange(&server_locks, 0, 0); }

class BindFailure {
 public:
  BindFailure(HRESULT code, std::wstring description)
      : code_(code), description_(std::move(description)) {}
  HRESULT Raise() const {
    return RaiseFailure({Step::kBind, 1, code_, Raise::kErrorInfo, description_}, nullptr);
  }

 private:
  HRESULT code_;
  std::wstring description_;
};

// The script last read and what it says. Bindings on many threads read the file afresh, so that a
// test may change it at any moment, but parse it again only when its bytes have changed: a
// thousand bindings of a script with a thousand plans parse it once.
class ScriptCache {
 public:
  std::shared_ptr<const Script> Parsed(const std::string& text) {
    {
      const std::lock_guard<ExclusiveLock> guard(lock_);
      if (script_ && text == text_) return script_;
    }
    auto script = std::make_shared<const Script>(ParseScript(text));
    const std::lock_guard<ExclusiveLock> guard(lock_);
    text_ = text;
    script_ = script;
    return script;
  }

 private:
  ExclusiveLock lock_;
  std::string text_;                      // guarded by lock_
  std::shared_ptr<const Script> script_;  // guarded by lock_
};

ScriptCache script_cache;

// The plan for this computer, from the script as it is at this binding.
Plan PlanFor(const std::wstring& computer) {
  const std::wstring path = EnvironmentText(kScriptVariable);
  if (path.empty()) throw BindFailure(E_INVALIDARG, L"Stand-in: no script is named");
  std::shared_ptr<const Script> script;
  try {
    const std::optional<std::string> text = ReadWholeFile(path);
    if (!text) throw BindFailure(E_INVALIDARG, L"Stand-in: the script file cannot be read");
    script = script_cache.Parsed(*text);
  } catch (const ScriptError& error) {
    RecordLine(std::string("script-error ") + error.what());
    const std::string what = error.what();
    throw BindFailure(E_INVALIDARG, L"Stand-in: " + std::wstring(what.begin(), what.end()));
  }
  const Plan* plan = script->Find(computer);
  if (plan == nullptr) {
    RecordLine("no-plan");
    throw BindFailure(E_INVALIDARG, L"Stand-in: the script has no plan for this computer");
  }
  return *plan;
}

// A binding that never answers, as a service that stopped responding would; one that pumps
// dispatches the calling thread's sent messages meanwhile, as COM's modal loop does while a call
// waits on a remote computer. The thread stays in here until its process ends, so the DLL must
// stay loaded; and the caller will never release the class object it is calling, so that object
// leaves the live count.
[[noreturn]] void Hang(Counted& class_object, bool pump) {
  static const quillmark::UniqueEvent never(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  RecordLine(pump ? "hang pumping" : "hang");
  InterlockedIncrement(&server_locks);
  class_object.LeaveCount();
  for (;;) {
    HANDLE handle = never.get();
    DWORD signalled = 0;
    const bool waited =
        never && (pump ? SUCCEEDED(CoWaitForMultipleHandles(0, INFINITE, 1, &handle, &signalled))
                       : WaitForSingleObject(handle, INFINITE) != WAIT_FAILED);
    if (!waited) Sleep(INFINITE);
  }
}

HRESULT Bind(const std::wstring& display_name, IMoniker** moniker, Counted& class_object) {
  if (display_name.compare(0, kMonikerPrefixLength, kMonikerPrefix) != 0) {
    RecordLine("bind-unexpected " + Quoted(display_name));
    throw BindFailure(E_INVALIDARG, L"Stand-in: an unexpected display name");
  }
  const std::wstring computer = display_name.substr(kMonikerPrefixLength);
  RecordLine("bind " + Quoted(computer));
  auto lookup = std::make_shared<Lookup>(PlanFor(computer));
  if (lookup->plan.only == Transport::kWsMan) {
    RecordLine("unreachable dcom");
    return RaiseFailure({Step::kBind, 1, kRpcServerUnavailable, Raise::kCode, L""}, nullptr);
  }
  if (lookup->plan.delay_ms != 0) {
    RecordLine("delay " + std::to_string(lookup->plan.delay_ms));
    Sleep(lookup->plan.delay_ms);
  }
  if (lookup->plan.hang) Hang(class_object, lookup->plan.pump);
  const HRESULT injected = ScriptedResult(lookup->plan, Step::kBind, 1, nullptr);
  if (injected != S_OK) return injected;
  const ComPtr<IDispatch> services = MakeServices(lookup);
  return CreatePointerMoniker(services.Get(), moniker);
}

// The class object: it parses the display names of its scheme and makes nothing else, or, for the
// WS-Management class, makes its automation objects.
class ClassObject : public IClassFactory, public IParseDisplayName, public Counted {
 public:
  explicit ClassObject(bool makes_wsman) : makes_wsman_(makes_wsman) {}

  ULONG STDMETHODCALLTYPE AddRef() override { return references_.Add(); }
  ULONG STDMETHODCALLTYPE Release() override { return references_.Release(this); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *object = static_cast<IClassFactory*>(this);
    } else if (iid == IID_IParseDisplayName) {
      *object = static_cast<IParseDisplayName*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    if (makes_wsman_) return CreateWsManAutomation(iid, object);
    return QueryInterface(iid, object);
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
    if (lock) {
      InterlockedIncrement(&server_locks);
    } else {
      InterlockedDecrement(&server_locks);
    }
    return S_OK;
  }

  HRESULT STDMETHODCALLTYPE ParseDisplayName(IBindCtx*, LPOLESTR display_name, ULONG* eaten,
                                             IMoniker** moniker) override {
    if (eaten != nullptr) *eaten = 0;
    if (moniker == nullptr || display_name == nullptr || eaten == nullptr) return E_POINTER;
    *moniker = nullptr;
    try {
      const std::wstring name(display_name);
      const HRESULT result = Bind(name, moniker, *this);
      if (SUCCEEDED(result)) *eaten = static_cast<ULONG>(name.size());
      return result;
    } catch (const BindFailure& failure) {
      return failure.Raise();
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

 private:
  bool makes_wsman_;
  quillmark::com_support::ReferenceCount references_;
};

}  // namespace

HRESULT FindPlan(const std::wstring& computer, Plan& plan) noexcept {
  try {
    plan = PlanFor(computer);
    return S_OK;
  } catch (const BindFailure& failure) {
    return failure.Raise();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

void HangForever(Counted& held) { Hang(held, false); }

}  // namespace standin

STDAPI DllGetClassObject(REFCLSID class_id, REFIID iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  const bool wsman = class_id == standin::kWsManClass;
  if (!wsman && class_id != standin::kServiceClass) return CLASS_E_CLASSNOTAVAILABLE;
  standin::ClassObject* class_object = new (std::nothrow) standin::ClassObject(wsman);
  if (class_object == nullptr) return E_OUTOFMEMORY;
  const HRESULT result = class_object->QueryInterface(iid, object);
  class_object->Release();
  return result;
}

STDAPI DllCanUnloadNow() {
  return standin::LiveObjects() == 0 && standin::ServerLocks() == 0 ? S_OK : S_FALSE;
}
