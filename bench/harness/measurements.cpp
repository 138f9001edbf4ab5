// Taking the benchmark's measurements under Wine, from outside the processes measured.
#include "measurements.h"

#include <cstring>
#include <optional>
#include <utility>

#include "clock.h"
#include "soak.h"

namespace quillmark::bench {
namespace {

// How the tool and the floors look from outside; all give their controls the same IDs.
constexpr wchar_t kToolWindowClass[] = L"QuillmarkLookupWindow";
constexpr wchar_t kFloorWindowClass[] = L"QuillmarkBenchFloorWindow";
constexpr wchar_t kFloorBoxWindowClass[] = L"QuillmarkBenchFloorBox";
constexpr int kNameBoxId = 101;
constexpr int kLookupButtonId = 102;

constexpr wchar_t kComputerName[] = L".";
constexpr wchar_t kResultPrompt[] = L"The serial number for the specified computer is: ";

std::wstring Quoted(const std::wstring& path) { return L"\"" + path + L"\""; }

// Runs each subject once per round, warm-up rounds first; keeps the counted rounds' times.
template <typename... Subject>
void Alternate(const Plan& plan, std::pair<Samples*, Subject>... subjects) {
  for (int round = 0; round < plan.warmups + plan.runs; ++round) {
    const bool counted = round >= plan.warmups;
    (
        [&] {
          const double ms = subjects.second();
          if (counted) subjects.first->push_back(ms);
        }(),
        ...);
  }
}

std::wstring Trimmed(const std::wstring& text) {
  const size_t first = text.find_first_not_of(L" \t\r\n");
  if (first == std::wstring::npos) return {};
  return text.substr(first, text.find_last_not_of(L" \t\r\n") - first + 1);
}

// wmic writes UTF-16 to a file: a header line, then one line per instance.
std::wstring SerialFromWmicOutput(const std::string& bytes) {
  std::wstring text;
  if (bytes.size() >= 2 && bytes.find('\0') != std::string::npos) {
    text.assign(bytes.size() / 2, L'\0');
    std::memcpy(text.data(), bytes.data(), text.size() * sizeof(wchar_t));
    if (!text.empty() && text.front() == 0xFEFF) text.erase(0, 1);
  } else {
    text = Wide(bytes);
  }
  const size_t header_end = text.find(L'\n');
  Require(
      header_end != std::wstring::npos && Trimmed(text.substr(0, header_end)) == L"SerialNumber",
      "wmic answered: " + Utf8(text));
  const std::wstring rest = text.substr(header_end + 1);
  return Trimmed(rest.substr(0, rest.find(L'\n')));
}

// The COM floor: a console program that makes the lookup's calls when asked and times them.
class ComFloor {
 public:
  explicit ComFloor(const std::wstring& program)
      : requests_(ChildPipe::Direction::kToChild),
        answers_(ChildPipe::Direction::kFromChild),
        process_(
            ChildProcess::Start(Quoted(program), {requests_.child_end(), answers_.child_end()})) {
    requests_.ReleaseChildEnd();
    answers_.ReleaseChildEnd();
    Require(NextAnswer() == "ready", "the COM floor did not start");
  }

  // One lookup; returns the milliseconds the calls took in the floor's own process.
  double Lookup(std::wstring& serial) {
    requests_.WriteLine(".");
    const std::string answer = NextAnswer();
    const size_t blank = answer.find(' ');
    Require(blank != std::string::npos && answer.rfind("error", 0) != 0,
            "the COM floor failed: " + answer);
    serial = Wide(answer.substr(blank + 1));
    return std::stod(answer.substr(0, blank));
  }

  ProcessFigures Figures() const { return process_.Figures(); }

  void Finish() {
    requests_.Finish();
    Require(process_.WaitForExit() == 0, "the COM floor ended with a failure code");
  }

 private:
  std::string NextAnswer() {
    const std::optional<std::string> answer = answers_.ReadLine();
    Require(answer.has_value(), "the COM floor ended early");
    return *answer;
  }

  ChildPipe requests_;
  ChildPipe answers_;
  ChildProcess process_;
};

}  // namespace

std::wstring SerialFromMessage(const std::wstring& message) {
  const std::wstring prompt = kResultPrompt;
  Require(message.compare(0, prompt.size(), prompt) == 0,
          "a lookup did not answer with a serial number: " + Utf8(message));
  return message.substr(prompt.size());
}

Bench::WindowProgram Bench::Tool() const { return {&subjects_.tool, kToolWindowClass}; }

Bench::WindowProgram Bench::FloorBox() const {
  return {&subjects_.floor_box, kFloorBoxWindowClass};
}

HWND Bench::WaitUntilReady(const ChildProcess& child, const wchar_t* window_class) {
  Require(WaitForInputIdle(child.process(), kWaitTimeoutMs) == 0,
          "a program never waited for input");
  HWND window = nullptr;
  Require(poller_.Until([&] {
    window = VisibleTopLevelWindow(child.id(), window_class);
    if (window == nullptr) return false;
    const HWND name_box = GetDlgItem(window, kNameBoxId);
    return name_box != nullptr && FocusedWindowOf(window) == name_box;
  }),
          "a program's window never showed with the focus in its name box");
  return window;
}

void Bench::Close(const ChildProcess& child, HWND window) {
  Require(PostMessageW(window, WM_CLOSE, 0, 0) != 0, "cannot ask a window to close");
  Require(child.WaitForExit() == 0, "a program ended with a failure code");
}

double Bench::StartupOnce(const WindowProgram& program) {
  const double started = NowMs();
  const ChildProcess child = ChildProcess::Start(Quoted(*program.path));
  const HWND window = WaitUntilReady(child, program.window_class);
  const double ready = NowMs();
  Close(child, window);
  return ready - started;
}

StartupFigures Bench::MeasureStartup() {
  StartupFigures figures;
  // Both bare windows are one program, built with and without the manifest.
  const WindowProgram floor{&subjects_.floor_window, kFloorWindowClass};
  const WindowProgram floor_manifest{&subjects_.floor_manifest, kFloorWindowClass};
  Alternate(plan_, std::pair{&figures.tool, [&] { return StartupOnce(Tool()); }},
            std::pair{&figures.floor, [&] { return StartupOnce(floor); }},
            std::pair{&figures.floor_manifest, [&] { return StartupOnce(floor_manifest); }});
  return figures;
}

Bench::ReadyWindow Bench::StartLookups(const ChildProcess& child, const WindowProgram& program) {
  const HWND window = WaitUntilReady(child, program.window_class);
  const ReadyWindow ready{window, GetDlgItem(window, kNameBoxId),
                          GetDlgItem(window, kLookupButtonId)};
  Require(ready.button != nullptr, "a program has no lookup button");
  SetTextOf(ready.name_box, kComputerName);
  return ready;
}

HWND Bench::WaitForMessageBox(DWORD process_id) {
  HWND box = nullptr;
  Require(poller_.Until([&] {
    box = VisibleMessageBox(process_id);
    return box != nullptr;
  }),
          "no message box appeared");
  return box;
}

double Bench::LookupOnce(const ReadyWindow& ready, std::wstring& serial) {
  // The previous lookup's last calls run after its box has gone; this one starts after them.
  WaitUntilQueueServed(poller_, ready.name_box);
  DWORD process_id = 0;
  GetWindowThreadProcessId(ready.window, &process_id);
  const double clicked = NowMs();
  PostClick(ready.button);
  const HWND box = WaitForMessageBox(process_id);
  const double shown = NowMs();
  serial = SerialFromMessage(MessageBoxText(box));
  PressOk(poller_, box);
  WaitUntilQueueServed(poller_, ready.name_box);
  sweeper_.EndNewOnes();
  return shown - clicked;
}

LookupFigures Bench::MeasureLookup() {
  LookupFigures figures;
  const ChildProcess tool_process = ChildProcess::Start(Quoted(subjects_.tool));
  const ReadyWindow tool = StartLookups(tool_process, Tool());
  const ChildProcess box_process = ChildProcess::Start(Quoted(subjects_.floor_box));
  const ReadyWindow floor_box = StartLookups(box_process, FloorBox());
  ComFloor floor(subjects_.floor_com);
  std::wstring box_serial;
  Alternate(plan_, std::pair{&figures.tool, [&] { return LookupOnce(tool, figures.tool_serial); }},
            std::pair{&figures.floor,
                      [&] {
                        const double ms = floor.Lookup(figures.floor_serial);
                        sweeper_.EndNewOnes();
                        return ms;
                      }},
            std::pair{&figures.floor_box, [&] { return LookupOnce(floor_box, box_serial); }});
  floor.Finish();
  Close(box_process, floor_box.window);
  Close(tool_process, tool.window);
  return figures;
}

double Bench::WindowJobOnce(const WindowProgram& program, WindowJobFigures& figures, bool counted) {
  const double started = NowMs();
  const ChildProcess child = ChildProcess::Start(Quoted(*program.path));
  const ReadyWindow ready = StartLookups(child, program);
  const double ready_at = NowMs();
  PostClick(ready.button);
  const HWND box = WaitForMessageBox(child.id());
  const double shown = NowMs();
  figures.serial = SerialFromMessage(MessageBoxText(box));
  const double pressed = NowMs();
  PressOk(poller_, box);
  Close(child, ready.window);
  const double ended = NowMs();
  sweeper_.EndNewOnes();
  if (counted) {
    figures.start.push_back(ready_at - started);
    figures.lookup.push_back(shown - ready_at);
    figures.close.push_back(ended - pressed);
  }
  return ended - started;
}

double Bench::WmicJobOnce(std::wstring& serial) {
  const OutputFile output;
  const double started = NowMs();
  const ChildProcess child =
      ChildProcess::Start(L"wmic.exe bios get serialnumber", {nullptr, output.handle()});
  Require(child.WaitForExit() == 0, "wmic ended with a failure code");
  const double ended = NowMs();
  serial = SerialFromWmicOutput(output.Contents());
  return ended - started;
}

double Bench::CscriptJobOnce(std::wstring& serial) {
  const OutputFile output;
  const double started = NowMs();
  const ChildProcess child = ChildProcess::Start(
      L"cscript.exe //nologo " + Quoted(subjects_.peer_script), {nullptr, output.handle()});
  const HWND box = WaitForMessageBox(child.id());
  serial = SerialFromMessage(MessageBoxText(box));
  PressOk(poller_, box);
  const DWORD exit_code = child.WaitForExit();
  const double ended = NowMs();
  sweeper_.EndNewOnes();
  Require(exit_code == 0, "cscript ended with a failure code: " + output.Contents());
  return ended - started;
}

JobFigures Bench::MeasureWholeJob() {
  JobFigures figures;
  int tool_round = 0;
  int box_round = 0;
  Alternate(
      plan_,
      std::pair{&figures.tool.whole,
                [&] { return WindowJobOnce(Tool(), figures.tool, tool_round++ >= plan_.warmups); }},
      std::pair{&figures.floor_box.whole,
                [&] {
                  return WindowJobOnce(FloorBox(), figures.floor_box, box_round++ >= plan_.warmups);
                }},
      std::pair{&figures.wmic, [&] { return WmicJobOnce(figures.wmic_serial); }},
      std::pair{&figures.cscript, [&] { return CscriptJobOnce(figures.cscript_serial); }});
  return figures;
}

Bench::Soaks Bench::MeasureSoak() {
  Soaks soaks;
  const ChildProcess tool_process = ChildProcess::Start(Quoted(subjects_.tool));
  const ReadyWindow tool = StartLookups(tool_process, Tool());
  const ChildProcess box_process = ChildProcess::Start(Quoted(subjects_.floor_box));
  const ReadyWindow floor_box = StartLookups(box_process, FloorBox());
  ComFloor floor(subjects_.floor_com);
  const auto take = [&](ProcessFigures SoakFigures::*moment) {
    WaitUntilQueueServed(poller_, tool.name_box);
    WaitUntilQueueServed(poller_, floor_box.name_box);
    soaks.tool.*moment = tool_process.Figures();
    soaks.floor.*moment = floor.Figures();
    soaks.floor_box.*moment = box_process.Figures();
  };
  std::wstring serial;
  test_support::RunSoak(
      plan_.soak_lookups, plan_.warmups,
      [&](int) {
        LookupOnce(tool, serial);
        floor.Lookup(serial);
        sweeper_.EndNewOnes();
        LookupOnce(floor_box, serial);
        return true;
      },
      [&](test_support::SoakMoment moment) {
        constexpr ProcessFigures SoakFigures::*kMoments[] = {
            &SoakFigures::at_start, &SoakFigures::after_warmup, &SoakFigures::at_half,
            &SoakFigures::at_end};
        take(kMoments[static_cast<int>(moment)]);
      });
  floor.Finish();
  Close(box_process, floor_box.window);
  Close(tool_process, tool.window);
  return soaks;
}

}  // namespace quillmark::bench
