// The benchmark's measurements, each taken side by side with what it is compared with: runs of
// the subjects alternate, so that the machine's noise falls on all of them alike.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "child_process.h"
#include "surrogates.h"
#include "window_probe.h"

namespace quillmark::bench {

struct Subjects {
  std::wstring tool;            // the lookup tool's .exe
  std::wstring floor_window;    // the bare window program
  std::wstring floor_manifest;  // the same, carrying the tool's manifest (visual styles)
  std::wstring floor_com;       // the bare COM calls, in a console program
  std::wstring floor_box;       // the bare COM calls and a message box, in a bare window program
  std::wstring peer_script;     // the script that cscript runs
};

struct Plan {
  int warmups = 2;
  int runs = 15;
  int soak_lookups = 200;
};

// Milliseconds of each counted run, in the order taken.
using Samples = std::vector<double>;

struct StartupFigures {
  Samples tool;
  Samples floor;           // the bare window
  Samples floor_manifest;  // the bare window with visual styles
};

struct LookupFigures {
  Samples tool;
  Samples floor;      // the COM calls alone
  Samples floor_box;  // the COM calls and the message box, in a bare window
  std::wstring tool_serial;
  std::wstring floor_serial;
};

// A windowed program's whole job, and its parts: start until ready, click until the box, OK until
// the process has ended.
struct WindowJobFigures {
  Samples whole;
  Samples start;
  Samples lookup;
  Samples close;
  std::wstring serial;
};

struct JobFigures {
  WindowJobFigures tool;
  WindowJobFigures floor_box;
  Samples wmic;
  Samples cscript;
  std::wstring wmic_serial;
  std::wstring cscript_serial;
};

// A process's figures after start, after plan.warmups lookups, after half of plan.soak_lookups and
// after all of them.
struct SoakFigures {
  ProcessFigures at_start;
  ProcessFigures after_warmup;
  ProcessFigures at_half;
  ProcessFigures at_end;
};

class Bench {
 public:
  Bench(Subjects subjects, Plan plan) : subjects_(std::move(subjects)), plan_(plan) {}

  // Process creation until the window is shown, idle and has the focus in its name box.
  StartupFigures MeasureStartup();
  // A click on the button until the result box is shown, beside the bare calls' own time.
  LookupFigures MeasureLookup();
  // Start, look up ".", read the answer, close, until the process has ended.
  JobFigures MeasureWholeJob();
  // Process figures after start and after many lookups in one process, for the tool and, beside
  // it, for the bare COM calls and for the bare window that makes them and shows the box (what the
  // platform itself keeps per lookup).
  struct Soaks {
    SoakFigures tool;
    SoakFigures floor;
    SoakFigures floor_box;
  };
  Soaks MeasureSoak();

  double mean_poll_gap_ms() const { return poller_.mean_gap_ms(); }
  long long surrogates_ended() const { return sweeper_.ended(); }

 private:
  // A program with the tool's window contract: a name box (ID 101) and a lookup button (ID 102)
  // in a top-level window of a known class.
  struct WindowProgram {
    const std::wstring* path;
    const wchar_t* window_class;
  };
  struct ReadyWindow {
    HWND window;
    HWND name_box;
    HWND button;
  };

  WindowProgram Tool() const;
  WindowProgram FloorBox() const;
  HWND WaitUntilReady(const ChildProcess& child, const wchar_t* window_class);
  void Close(const ChildProcess& child, HWND window);
  double StartupOnce(const WindowProgram& program);
  ReadyWindow StartLookups(const ChildProcess& child, const WindowProgram& program);
  double LookupOnce(const ReadyWindow& ready, std::wstring& serial);
  HWND WaitForMessageBox(DWORD process_id);
  double WindowJobOnce(const WindowProgram& program, WindowJobFigures& figures, bool counted);
  double WmicJobOnce(std::wstring& serial);
  double CscriptJobOnce(std::wstring& serial);

  Subjects subjects_;
  Plan plan_;
  Poller poller_;
  SurrogateSweeper sweeper_;
};

// The serial number in a result message; throws BenchError, with the message, for any other.
std::wstring SerialFromMessage(const std::wstring& message);

}  // namespace quillmark::bench
