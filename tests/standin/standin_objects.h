// The stand-in service's late-bound, reference-counted, call-recording automation objects.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <memory>
#include <string>
#include <utility>

#include "automation_objects.h"
#include "standin_record.h"

#include "standin_script.h"

namespace standin {

// The state of one lookup (one binding), shared by the objects it hands out. Those objects live in
// the apartment that bound them (the service is registered "Apartment"), so only that one thread
// touches this state; other lookups run on other threads with their own.
struct Lookup {
  explicit Lookup(Plan lookup_plan) : plan(std::move(lookup_plan)) {}
  Plan plan;
  int instances_calls = 0;
  int new_enum_calls = 0;
  int next_calls = 0;
  int reads = 0;
  size_t position = 0;  // members handed out so far
};

// Counts the stand-in's objects alive in this process; when the count drops to zero the record
// gets the line "alive 0", which tells the test that everything of the last lookup is released.
// Objects come and go on many threads at once: the count and its "alive 0" line change together
// under one lock, so the line is never written after an object that came later.
class Counted {
 public:
  Counted();
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;
  virtual ~Counted();

  // Takes this object out of the count for good, for an object whose holder will never release
  // it: the class object under a binding that hangs. The rest of the process's lookups can then
  // still be seen to end.
  void LeaveCount();

 private:
  bool counted_ = true;  // guarded by the count's lock
};

LONG LiveObjects();

// The reference count and identity of one object; `Interface` is what it answers besides
// IUnknown. Its going is recorded ("gone NAME").
template <typename Interface>
class Object : public quillmark::com_support::CountedObject<Interface, Counted> {
 public:
  explicit Object(std::string name) : name_(std::move(name)) {}
  ~Object() override { RecordLine("gone " + name_); }

 protected:
  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

using quillmark::com_support::Adopt;

// Raises the scripted failure the way the script says; returns what the failing call returns.
HRESULT RaiseFailure(const Failure& failure, EXCEPINFO* exception);

// Raises the failure scripted for this step and occurrence, and records it; S_OK when there is
// none.
HRESULT ScriptedResult(const Plan& plan, Step step, int occurrence, EXCEPINFO* exception);

// The plan for a computer from the script as it is now; a failure (no script, no plan) is raised
// as a binding's failure would be, and its code returned.
HRESULT FindPlan(const std::wstring& computer, Plan& plan) noexcept;

// Never returns, as a service that stopped answering: `held` (the object called, which its caller
// will never release) leaves the live count and the DLL stays loaded.
[[noreturn]] void HangForever(Counted& held);

// What DCOM answers for a computer it cannot reach: "The RPC server is unavailable".
constexpr HRESULT kRpcServerUnavailable = static_cast<HRESULT>(0x800706BA);

// A new services object for this lookup; the caller holds its only reference.
Microsoft::WRL::ComPtr<IDispatch> MakeServices(const std::shared_ptr<Lookup>& lookup);

}  // namespace standin
