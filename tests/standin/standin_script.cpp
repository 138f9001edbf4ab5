// Reading and writing the stand-in service's script.
#include "standin_script.h"

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <utility>

#include "standin_text.h"

namespace standin {
namespace {

constexpr Step kSteps[] = {Step::kBind, Step::kInstancesOf, Step::kNewEnum, Step::kNext,
                           Step::kSerialNumber};
constexpr Raise kRaises[] = {Raise::kExcepInfo, Raise::kErrorInfo, Raise::kCode};

std::optional<Step> StepNamed(const std::string& name) {
  for (Step step : kSteps) {
    if (name == StepName(step)) return step;
  }
  return std::nullopt;
}

std::optional<Raise> RaiseNamed(const std::string& name) {
  for (Raise raise : kRaises) {
    if (name == RaiseName(raise)) return raise;
  }
  return std::nullopt;
}

// Only calls that take an EXCEPINFO can raise through it.
bool CanRaise(Step step, Raise raise) {
  return raise != Raise::kExcepInfo || (step != Step::kBind && step != Step::kNext);
}

class LineParser {
 public:
  LineParser(size_t number, std::vector<std::string> fields)
      : number_(number), fields_(std::move(fields)) {}

  [[noreturn]] void Fail(const std::string& why) const {
    throw ScriptError("script line " + std::to_string(number_) + ": " + why);
  }
  void ExpectFields(size_t count) const {
    if (fields_.size() != count) Fail("expected " + std::to_string(count) + " fields");
  }
  size_t FieldCount() const { return fields_.size(); }
  const std::string& Field(size_t index) const { return fields_.at(index); }
  std::wstring Text(size_t index) const {
    std::optional<std::wstring> text = Unescape(Field(index));
    if (!text) Fail("badly escaped text");
    return *text;
  }
  unsigned long Unsigned(size_t index, int base) const {
    const std::string& digits = Field(index);
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(digits.c_str(), &end, base);
    if (digits.empty() || *end != '\0' || errno != 0 || digits[0] == '-') Fail("bad number");
    return value;
  }

 private:
  size_t number_;
  std::vector<std::string> fields_;
};

// A value whose kind is the field at `at`, its text or number the next.
Serial ParseSerial(const LineParser& line, size_t at = 1) {
  const std::string& kind = line.Field(at);
  if (kind == "null" || kind == "empty" || kind == "missing") {
    line.ExpectFields(at + 1);
    if (kind == "missing") return Serial{Serial::Kind::kMissing, L"", 0, 0};
    return kind == "null" ? Serial::Null() : Serial::Empty();
  }
  line.ExpectFields(at + 2);
  if (kind == "text") return Serial::Text(line.Text(at + 1));
  if (kind == "derived") return Serial{Serial::Kind::kDerived, line.Text(at + 1), 0, 0};
  if (kind == "integer") {
    char* end = nullptr;
    const long value = std::strtol(line.Field(at + 1).c_str(), &end, 10);
    if (line.Field(at + 1).empty() || *end != '\0') line.Fail("bad integer");
    return Serial::Integer(value);
  }
  if (kind == "real") {
    char* end = nullptr;
    const double value = std::strtod(line.Field(at + 1).c_str(), &end);
    if (line.Field(at + 1).empty() || *end != '\0') line.Fail("bad real");
    return Serial::Real(value);
  }
  line.Fail("unknown member kind");
}

Failure ParseFailure(const LineParser& line) {
  line.ExpectFields(6);
  Failure failure;
  const std::optional<Step> step = StepNamed(line.Field(1));
  if (!step) line.Fail("unknown step");
  failure.step = *step;
  failure.occurrence = static_cast<int>(line.Unsigned(2, 10));
  failure.code = static_cast<HRESULT>(line.Unsigned(3, 16));
  const std::optional<Raise> raise = RaiseNamed(line.Field(4));
  if (!raise) line.Fail("unknown way of raising");
  if (!CanRaise(*step, *raise)) line.Fail("this step has no EXCEPINFO");
  failure.raise = *raise;
  failure.description = line.Text(5);
  return failure;
}

// A raw '*' at the end makes a prefix: an escape never ends in one, so "\\*" is the prefix "\".
Plan ParseComputer(const LineParser& line) {
  Plan plan;
  const std::string& field = line.Field(1);
  if (field == "*") {
    plan.any_computer = true;
  } else if (!field.empty() && field.back() == '*') {
    const std::optional<std::wstring> prefix = Unescape(field.substr(0, field.size() - 1));
    if (!prefix) line.Fail("badly escaped text");
    plan.computer = *prefix;
    plan.computer_prefix = true;
  } else {
    plan.computer = line.Text(1);
  }
  return plan;
}

void ParseLine(const LineParser& line, Script& script) {
  const std::string& directive = line.Field(0);
  if (directive == "computer") {
    line.ExpectFields(2);
    script.plans.push_back(ParseComputer(line));
    return;
  }
  if (script.plans.empty()) line.Fail("a directive before the first computer");
  Plan& plan = script.plans.back();
  if (directive == "delay") {
    line.ExpectFields(2);
    plan.delay_ms = static_cast<unsigned>(line.Unsigned(1, 10));
  } else if (directive == "hang") {
    if (line.FieldCount() == 2 && line.Field(1) == "pumping") {
      plan.pump = true;
    } else {
      line.ExpectFields(1);
    }
    plan.hang = true;
  } else if (directive == "only") {
    line.ExpectFields(2);
    if (line.Field(1) != "dcom" && line.Field(1) != "wsman") line.Fail("unknown transport");
    plan.only = line.Field(1) == "dcom" ? Transport::kDcom : Transport::kWsMan;
  } else if (directive == "member") {
    if (line.FieldCount() < 2) line.Fail("a member without a kind");
    plan.members.push_back(ParseSerial(line));
  } else if (directive == "fail") {
    plan.failures.push_back(ParseFailure(line));
  } else if (directive == "property") {
    if (line.FieldCount() < 4) line.Fail("a property needs a class, a name and a kind");
    plan.properties.push_back({line.Text(1), line.Text(2), ParseSerial(line, 3)});
  } else if (directive == "class") {
    line.ExpectFields(3);
    if (line.Field(2) != "missing") line.Fail("a class can only be missing");
    plan.missing_classes.push_back(line.Text(1));
  } else {
    line.Fail("unknown directive");
  }
}

// A value's kind and its text or number, as ParseSerial reads them.
std::string FormatSerial(const Serial& serial) {
  switch (serial.kind) {
    case Serial::Kind::kText:
      return "text\t" + Escape(serial.text);
    case Serial::Kind::kNull:
      return "null";
    case Serial::Kind::kEmpty:
      return "empty";
    case Serial::Kind::kInteger:
      return "integer\t" + std::to_string(serial.integer);
    case Serial::Kind::kReal: {
      char digits[64];
      std::snprintf(digits, sizeof digits, "%.17g", serial.real);
      return std::string("real\t") + digits;
    }
    case Serial::Kind::kDerived:
      return "derived\t" + Escape(serial.text);
    case Serial::Kind::kMissing:
      return "missing";
  }
  return {};
}

bool SameClass(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

// The stand-in's own values: what a computer without a plan of its own for them answers.
const std::vector<ClassProperty>& OwnProperties() {
  static const std::vector<ClassProperty> own = {
      {L"Win32_BIOS", L"SMBIOSBIOSVersion", Serial::Text(L"STANDIN 1.07")},
      {L"Win32_BIOS", L"ReleaseDate", Serial::Text(L"20210415000000.000000+000")},
      {L"Win32_BIOS", L"Manufacturer", Serial::Text(L"Stand-in")},
      {L"Win32_ComputerSystem", L"Manufacturer", Serial::Text(L"Stand-in Makers")},
      {L"Win32_ComputerSystem", L"Model", Serial::Text(L"Stand-in Model 7")},
      {L"Win32_ComputerSystemProduct", L"UUID",
       Serial::Text(L"4A1D3C52-7E0B-4F6A-9C21-5D8E3B7A6F10")},
      {L"Win32_SystemEnclosure", L"SMBIOSAssetTag", Serial::Text(L"ASSET-0042")},
  };
  return own;
}

std::string FormatFailure(const Failure& failure) {
  char code[16];
  std::snprintf(code, sizeof code, "%08lX", static_cast<unsigned long>(failure.code));
  return std::string("fail\t") + StepName(failure.step) + "\t" +
         std::to_string(failure.occurrence) + "\t" + code + "\t" + RaiseName(failure.raise) + "\t" +
         Escape(failure.description);
}

// A name that really ends in '*' has that star escaped, so that it is not read as a prefix (or,
// for "*" itself, as the plan for any name).
std::string ComputerField(const Plan& plan) {
  if (plan.any_computer) return "*";
  if (plan.computer_prefix) return Escape(plan.computer) + "*";
  if (!plan.computer.empty() && plan.computer.back() == L'*') {
    return Escape(plan.computer.substr(0, plan.computer.size() - 1)) + "\\u{2A}";
  }
  return Escape(plan.computer);
}

}  // namespace

Serial Serial::Text(std::wstring value) {
  Serial serial;
  serial.text = std::move(value);
  return serial;
}

Serial Serial::Null() {
  Serial serial;
  serial.kind = Kind::kNull;
  return serial;
}

Serial Serial::Empty() {
  Serial serial;
  serial.kind = Kind::kEmpty;
  return serial;
}

Serial Serial::Integer(long value) {
  Serial serial;
  serial.kind = Kind::kInteger;
  serial.integer = value;
  return serial;
}

Serial Serial::Real(double value) {
  Serial serial;
  serial.kind = Kind::kReal;
  serial.real = value;
  return serial;
}

const Failure* Plan::FailureAt(Step step, int occurrence) const {
  for (const Failure& failure : failures) {
    if (failure.step == step && failure.occurrence == occurrence) return &failure;
  }
  return nullptr;
}

bool Plan::Answers(const std::wstring& wmi_class) const {
  if (SameClass(wmi_class, L"Win32_BIOS")) return true;
  const auto known = [&](const auto& classes) {
    return std::any_of(std::begin(classes), std::end(classes),
                       [&](const std::wstring& name) { return SameClass(name, wmi_class); });
  };
  return known(kComputerClasses) && !known(missing_classes);
}

std::vector<ClassProperty> Plan::PropertiesOf(const std::wstring& wmi_class) const {
  std::vector<ClassProperty> result;
  for (const std::vector<ClassProperty>* given : {&OwnProperties(), &properties}) {
    for (const ClassProperty& property : *given) {
      if (!SameClass(property.wmi_class, wmi_class)) continue;
      const auto same = std::find_if(result.begin(), result.end(), [&](const ClassProperty& had) {
        return SameClass(had.name, property.name);
      });
      if (same != result.end()) {
        same->value = property.value;
      } else {
        result.push_back(property);
      }
    }
  }
  result.erase(std::remove_if(result.begin(), result.end(),
                              [](const ClassProperty& property) {
                                return property.value.kind == Serial::Kind::kMissing;
                              }),
               result.end());
  return result;
}

const Plan* Script::Find(const std::wstring& computer) const {
  for (const Plan& plan : plans) {
    if (!plan.any_computer && !plan.computer_prefix && plan.computer == computer) return &plan;
  }
  const Plan* longest = nullptr;
  size_t longest_length = 0;
  for (const Plan& plan : plans) {
    const size_t length = plan.any_computer ? 0 : plan.computer.size();
    const bool matches = plan.any_computer ||
                         (plan.computer_prefix && computer.compare(0, length, plan.computer) == 0);
    if (matches && (longest == nullptr || length > longest_length)) {
      longest = &plan;
      longest_length = length;
    }
  }
  return longest;
}

Script ParseScript(const std::string& text) {
  Script script;
  const std::vector<std::string> lines = SplitLines(text);
  for (size_t index = 0; index < lines.size(); ++index) {
    if (lines[index].empty() || lines[index][0] == '#') continue;
    ParseLine(LineParser(index + 1, SplitFields(lines[index])), script);
  }
  return script;
}

std::string FormatScript(const Script& script) {
  std::string text;
  for (const Plan& plan : script.plans) {
    text += "computer\t" + ComputerField(plan) + "\n";
    if (plan.delay_ms != 0) text += "delay\t" + std::to_string(plan.delay_ms) + "\n";
    if (plan.hang) text += plan.pump ? "hang\tpumping\n" : "hang\n";
    if (plan.only != Transport::kAny) {
      text += plan.only == Transport::kDcom ? "only\tdcom\n" : "only\twsman\n";
    }
    for (const Serial& serial : plan.members) text += "member\t" + FormatSerial(serial) + "\n";
    for (const Failure& failure : plan.failures) text += FormatFailure(failure) + "\n";
    for (const ClassProperty& property : plan.properties) {
      text += "property\t" + Escape(property.wmi_class) + "\t" + Escape(property.name) + "\t" +
              FormatSerial(property.value) + "\n";
    }
    for (const std::wstring& wmi_class : plan.missing_classes) {
      text += "class\t" + Escape(wmi_class) + "\tmissing\n";
    }
  }
  return text;
}

std::string RaiseLine(const Failure& failure) {
  char code[16];
  std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(failure.code));
  return std::string("raise ") + StepName(failure.step) + " " + std::to_string(failure.occurrence) +
         " " + code + " " + RaiseName(failure.raise) + " " + Quoted(failure.description);
}

bool IsConnectionLine(const std::string& line) {
  return line.rfind("bind ", 0) == 0 || line.rfind("wsman-session ", 0) == 0;
}

const char* StepName(Step step) {
  switch (step) {
    case Step::kBind:
      return "bind";
    case Step::kInstancesOf:
      return "InstancesOf";
    case Step::kNewEnum:
      return "_NewEnum";
    case Step::kNext:
      return "Next";
    case Step::kSerialNumber:
      return "SerialNumber";
  }
  return "?";
}

const char* RaiseName(Raise raise) {
  switch (raise) {
    case Raise::kExcepInfo:
      return "excepinfo";
    case Raise::kErrorInfo:
      return "errorinfo";
    case Raise::kCode:
      return "code";
  }
  return "?";
}

}  // namespace standin
