// Scratch script and record files for the stand-in service, and the record read back.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "../../lookup/com/win32_owners.h"
#include "standin_script.h"

namespace standin {

// A fresh folder under the system's temporary folder, named after `purpose`; its script and
// record are named by the environment variables that the service reads.
class Scratch {
 public:
  explicit Scratch(const std::wstring& purpose);
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  ~Scratch();  // removes the folder once its script and record are gone

  const std::wstring& folder() const { return folder_; }
  const std::wstring& script_path() const { return script_.get(); }
  const std::wstring& record_path() const { return record_.get(); }

  // The variables that point the service at this folder's script and record, for a process.
  std::vector<std::pair<std::wstring, std::wstring>> Environment() const;
  // Sets them in this process, for a service loaded here.
  void SetInThisProcess() const;

  void WriteScript(const Script& script) const;
  std::vector<std::string> RecordLines() const;

 private:
  std::wstring folder_;
  quillmark::UniqueTempFile script_;
  quillmark::UniqueTempFile record_;
};

// One plan, written fluently: Plan p = For(L"pc1").Member(Serial::Text(L"A")).Delay(100);
class PlanBuilder {
 public:
  explicit PlanBuilder(std::wstring computer);
  static PlanBuilder AnyComputer();
  // The plan for every name that starts with `prefix` (a name's own plan wins over it).
  static PlanBuilder Prefix(std::wstring prefix);
  PlanBuilder& Member(Serial serial);
  PlanBuilder& Delay(unsigned milliseconds);
  PlanBuilder& Hang();
  PlanBuilder& HangPumping();
  PlanBuilder& Only(Transport transport);
  PlanBuilder& Fail(Step step, int occurrence, HRESULT code, Raise raise, std::wstring description);
  // A property of the class's instance (each BIOS instance's besides its serial) set.
  PlanBuilder& Property(std::wstring wmi_class, std::wstring name, Serial value);
  PlanBuilder& Missing(std::wstring wmi_class);
  operator Plan() const { return plan_; }  // NOLINT: a builder converts implicitly by design

 private:
  Plan plan_;
};
PlanBuilder For(std::wstring computer);
PlanBuilder ForPrefix(std::wstring prefix);

// The record's lines from the last binding on ("bind ..." first), or nothing if none was bound.
std::vector<std::string> LastLookup(const std::vector<std::string>& record);
// How many bindings the record shows.
size_t LookupCount(const std::vector<std::string>& record);
// The calls among the lines: everything but the ends of objects and the live-object reports.
std::vector<std::string> Calls(const std::vector<std::string>& lines);
// Whether the stand-in had no object left alive at the end of these lines.
bool NothingAlive(const std::vector<std::string>& lines);
// The line the record shows for a binding of `computer`.
std::string BindLine(const std::wstring& computer);

}  // namespace standin
