// What the stand-in service does for each computer name, as the test writes it down.
#pragma once

#include <windows.h>

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace standin {

// The environment variables that name the script the service reads and the record it appends to,
// and what the record keeps: every call, or with kConnectionsOnly only each connection, a DCOM
// binding ("bind NAME") or a WS-Management session ("wsman-session NAME ..."), few enough lines
// for a timed run.
constexpr wchar_t kScriptVariable[] = L"STANDIN_SCRIPT";
constexpr wchar_t kRecordVariable[] = L"STANDIN_RECORD";
constexpr wchar_t kRecordOnlyVariable[] = L"STANDIN_RECORD_ONLY";
constexpr wchar_t kConnectionsOnly[] = L"connections";

// Whether a record line is a connection to a computer.
bool IsConnectionLine(const std::string& line);

// The steps of a lookup, as the service sees them.
enum class Step { kBind, kInstancesOf, kNewEnum, kNext, kSerialNumber };

// How a failure reaches the caller: in the EXCEPINFO of a DISP_E_EXCEPTION, in the thread's
// IErrorInfo next to the returned code, or as the bare code.
enum class Raise { kExcepInfo, kErrorInfo, kCode };

struct Failure {
  Step step = Step::kBind;
  int occurrence = 1;  // for kNext and kSerialNumber: which call of the lookup fails
  HRESULT code = E_FAIL;
  Raise raise = Raise::kExcepInfo;
  std::wstring description;
};

// A serial value: which variant type it is served as, and its content. kDerived is text that
// WS-Management serves as a derived class's instance, under that class's own namespace; kMissing
// is an instance without the property at all.
struct Serial {
  enum class Kind { kText, kNull, kEmpty, kInteger, kReal, kDerived, kMissing };
  Kind kind = Kind::kText;
  std::wstring text;
  long integer = 0;
  double real = 0;

  static Serial Text(std::wstring value);
  static Serial Null();
  static Serial Empty();
  static Serial Integer(long value);
  static Serial Real(double value);
};

// A property of an instance of a class, as a plan sets it over the stand-in's own values: a value
// of a member's kinds, kMissing for an instance that lacks it.
struct ClassProperty {
  std::wstring wmi_class;
  std::wstring name;
  Serial value;
};

// The classes the stand-in answers besides Win32_BIOS, each with one instance: the computer's own.
inline constexpr const wchar_t* kComputerClasses[] = {
    L"Win32_ComputerSystem", L"Win32_ComputerSystemProduct", L"Win32_SystemEnclosure"};

// Which of the stand-ins answers a plan: both, or only the one for DCOM ("winmgmts:") or for
// WS-Management ("WSMan.Automation"); the other answers as a computer it cannot reach.
enum class Transport { kAny, kDcom, kWsMan };

// The plan for one computer name, for every name that starts with a prefix, or for any name.
struct Plan {
  std::wstring computer;  // the name, or the prefix when `computer_prefix` is set
  bool computer_prefix = false;
  bool any_computer = false;  // the same as the empty prefix
  unsigned delay_ms = 0;
  bool hang = false;  // the binding never answers: a client's timeout is all that ends it
  bool pump = false;  // and meanwhile dispatches the caller's messages, as COM's modal wait does
  Transport only = Transport::kAny;
  std::vector<Serial> members;
  std::vector<Failure> failures;
  std::vector<ClassProperty> properties;      // set over the stand-in's own values
  std::vector<std::wstring> missing_classes;  // of kComputerClasses, those this computer lacks

  // The scripted failure at this step and occurrence, if any.
  const Failure* FailureAt(Step step, int occurrence) const;
  // Whether the service knows the class (any case) for this computer: Win32_BIOS always, the
  // computer's classes unless missing.
  bool Answers(const std::wstring& wmi_class) const;
  // The properties of the class's instance, or of each BIOS instance besides its SerialNumber, in
  // order: the stand-in's own values as the plan sets them, then any it adds; none kMissing.
  std::vector<ClassProperty> PropertiesOf(const std::wstring& wmi_class) const;
};

struct Script {
  std::vector<Plan> plans;

  // The plan for this exact name, else the plan with the longest prefix of it (the plan for any
  // name being the shortest), else none. Among equal candidates the first one written wins.
  const Plan* Find(const std::wstring& computer) const;
};

class ScriptError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// One line per directive, fields separated by tabs, texts escaped (see standin_text.h):
//   computer <name>|<prefix>*|*  starts the plan for a name, for every name that starts with the
//                                prefix, or for any name; a name that really ends in '*' has that
//                                star escaped (\u{2A})
//   delay <ms>                   the binding waits this long before it answers
//   hang                         the binding never answers (after any delay)
//   hang pumping                 the same, while it dispatches the calling thread's messages
//   only dcom|wsman              only that transport's stand-in answers this plan
//   member text <value> | member null | member empty | member integer <n> | member real <x> |
//   member derived <value> | member missing
//   fail <step> <occurrence> <hex code> excepinfo|errorinfo|code <description>
//   property <class> <name> <kind> [<value>]  a property's value, of a member's kinds: text, null,
//                                the BIOS instances' or the class's one instance; missing: absent
//   class <class> missing        the service does not know that class for this computer
// where <step> is bind, InstancesOf, _NewEnum, Next or SerialNumber (steps of the BIOS walk).
Script ParseScript(const std::string& text);  // throws ScriptError naming the line
std::string FormatScript(const Script& script);

// The record's line for a failure that the service raised.
std::string RaiseLine(const Failure& failure);

const char* StepName(Step step);
const char* RaiseName(Raise raise);

}  // namespace standin
