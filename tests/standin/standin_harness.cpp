// Scratch files, environment and record reading for tests that use the stand-in service.
#include "standin_harness.h"

#include <windows.h>

#include <stdexcept>

#include "standin_file.h"
#include "standin_text.h"

namespace standin {
namespace {

std::wstring TemporaryFolder() {
  std::wstring path(MAX_PATH + 1, L'\0');
  const DWORD length = GetTempPathW(static_cast<DWORD>(path.size()), path.data());
  if (length == 0 || length >= path.size()) throw std::runtime_error("no temporary folder");
  path.resize(length);
  return path;
}

std::wstring UniqueFolder(const std::wstring& purpose) {
  const std::wstring base = TemporaryFolder() + L"standin-" + purpose + L"-" +
                            std::to_wstring(GetCurrentProcessId()) + L"-";
  for (unsigned attempt = 0;; ++attempt) {
    std::wstring folder = base + std::to_wstring(attempt);
    if (CreateDirectoryW(folder.c_str(), nullptr)) return folder;
    if (GetLastError() != ERROR_ALREADY_EXISTS) throw std::runtime_error("no scratch folder");
  }
}

}  // namespace

Scratch::Scratch(const std::wstring& purpose)
    : folder_(UniqueFolder(purpose)),
      script_(folder_ + L"\\script.txt"),
      record_(folder_ + L"\\record.txt") {
  WriteScript(Script{});
}

Scratch::~Scratch() {
  script_.reset();
  record_.reset();
  RemoveDirectoryW(folder_.c_str());
}

std::vector<std::pair<std::wstring, std::wstring>> Scratch::Environment() const {
  return {{kScriptVariable, script_path()}, {kRecordVariable, record_path()}};
}

void Scratch::SetInThisProcess() const {
  for (const auto& [name, value] : Environment())
    SetEnvironmentVariableW(name.c_str(), value.c_str());
}

void Scratch::WriteScript(const Script& script) const {
  if (!WriteWholeFile(script_path(), FormatScript(script))) {
    throw std::runtime_error("the script cannot be written");
  }
}

std::vector<std::string> Scratch::RecordLines() const {
  const std::optional<std::string> bytes = ReadWholeFile(record_path());
  return bytes ? SplitLines(*bytes) : std::vector<std::string>{};
}

PlanBuilder::PlanBuilder(std::wstring computer) { plan_.computer = std::move(computer); }

PlanBuilder PlanBuilder::AnyComputer() {
  PlanBuilder builder(L"");
  builder.plan_.any_computer = true;
  return builder;
}

PlanBuilder PlanBuilder::Prefix(std::wstring prefix) {
  PlanBuilder builder(std::move(prefix));
  builder.plan_.computer_prefix = true;
  return builder;
}

PlanBuilder& PlanBuilder::Member(Serial serial) {
  plan_.members.push_back(std::move(serial));
  return *this;
}

PlanBuilder& PlanBuilder::Delay(unsigned milliseconds) {
  plan_.delay_ms = milliseconds;
  return *this;
}

PlanBuilder& PlanBuilder::Hang() {
  plan_.hang = true;
  return *this;
}

PlanBuilder& PlanBuilder::Only(Transport transport) {
  plan_.only = transport;
  return *this;
}

PlanBuilder& PlanBuilder::HangPumping() {
  plan_.pump = true;
  return Hang();
}

PlanBuilder& PlanBuilder::Fail(Step step, int occurrence, HRESULT code, Raise raise,
                               std::wstring description) {
  plan_.failures.push_back({step, occurrence, code, raise, std::move(description)});
  return *this;
}

PlanBuilder& PlanBuilder::Property(std::wstring wmi_class, std::wstring name, Serial value) {
  plan_.properties.push_back({std::move(wmi_class), std::move(name), std::move(value)});
  return *this;
}

PlanBuilder& PlanBuilder::Missing(std::wstring wmi_class) {
  plan_.missing_classes.push_back(std::move(wmi_class));
  return *this;
}

PlanBuilder For(std::wstring computer) { return PlanBuilder(std::move(computer)); }

PlanBuilder ForPrefix(std::wstring prefix) { return PlanBuilder::Prefix(std::move(prefix)); }

std::vector<std::string> LastLookup(const std::vector<std::string>& record) {
  for (size_t index = record.size(); index > 0; --index) {
    if (record[index - 1].rfind("bind ", 0) == 0) {
      return {record.begin() + static_cast<std::ptrdiff_t>(index - 1), record.end()};
    }
  }
  return {};
}

size_t LookupCount(const std::vector<std::string>& record) {
  size_t count = 0;
  for (const std::string& line : record) {
    if (line.rfind("bind ", 0) == 0) ++count;
  }
  return count;
}

std::vector<std::string> Calls(const std::vector<std::string>& lines) {
  std::vector<std::string> calls;
  for (const std::string& line : lines) {
    if (line.rfind("gone ", 0) != 0 && line != "alive 0") calls.push_back(line);
  }
  return calls;
}

bool NothingAlive(const std::vector<std::string>& lines) {
  return !lines.empty() && lines.back() == "alive 0";
}

std::string BindLine(const std::wstring& computer) { return "bind " + Quoted(computer); }

}  // namespace standin
