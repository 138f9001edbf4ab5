// The benchmark harness: runs inside Wine and takes what only Windows itself can show (window and
// message-box events, the COM floors, process and image figures), beside the floors and peers, and
// writes the raw figures as CSV for bench/report.py, which judges them and writes the report.
//   bench_harness --tool EXE --floor-window EXE --floor-manifest EXE --floor-com EXE
//                 --floor-box EXE --peer-script VBS --out FILE
//                 [--warmups N] [--runs N] [--soak N]
// One row a figure: kind,key,value. Kinds: plan and fact (one value each), time (the milliseconds
// of one counted run of the series named), serial (what a subject read), image (the tool's file),
// import (a DLL it imports; 1 when it is the system's own) and process (key figure/process/moment;
// empty when the figure is not reported).
#include <windows.h>

#include <cstdio>
#include <exception>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "child_process.h"
#include "image_facts.h"
#include "measurements.h"

namespace quillmark::bench {
namespace {

std::map<std::wstring, std::wstring> Options(int count, wchar_t** arguments) {
  std::map<std::wstring, std::wstring> options;
  for (int index = 1; index + 1 < count; index += 2)
    options[arguments[index]] = arguments[index + 1];
  return options;
}

std::wstring Needed(const std::map<std::wstring, std::wstring>& options, const wchar_t* name) {
  const auto found = options.find(name);
  Require(found != options.end(), "missing option " + Utf8(name));
  return found->second;
}

int Count(const std::map<std::wstring, std::wstring>& options, const wchar_t* name, int fallback) {
  const auto found = options.find(name);
  return found == options.end() ? fallback : std::stoi(found->second);
}

void Progress(const char* stage) {
  std::printf("bench: %s\n", stage);
  std::fflush(stdout);
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", value);
  return text;
}

// A process figure, whichever counter type holds it; empty when it is not reported.
template <typename Counter>
std::string Number(const std::optional<Counter>& figure) {
  return figure ? std::to_string(*figure) : std::string();
}

// The rows, as RFC 4180 has them: a field holding a comma, a quote or a line break is quoted.
// Serial numbers come from the service and may hold any of them.
class FiguresCsv {
 public:
  void Row(const std::string& kind, const std::string& key, const std::string& value) {
    text_ += kind + "," + key + "," + Field(value) + "\n";
  }
  void Times(const std::string& series, const Samples& samples) {
    for (const double ms : samples) Row("time", series, Number(ms));
  }
  void Soak(const std::string& process, const SoakFigures& soak) {
    const std::pair<const char*, const ProcessFigures*> moments[] = {{"start", &soak.at_start},
                                                                     {"warmup", &soak.after_warmup},
                                                                     {"half", &soak.at_half},
                                                                     {"end", &soak.at_end}};
    for (const auto& [moment, figures] : moments) {
      const auto row = [&](const char* figure, const std::string& value) {
        Row("process", std::string(figure) + "/" + process + "/" + moment, value);
      };
      row("handles", Number(figures->handles));
      row("user_objects", Number(figures->user_objects));
      row("windows", Number(figures->windows));
      row("gdi_objects", Number(figures->gdi_objects));
      row("committed_private_bytes", Number(figures->committed_private_bytes));
      row("private_bytes", Number(figures->private_bytes));
    }
  }
  void WriteTo(const std::wstring& path) const {
    const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    Require(static_cast<bool>(file), "cannot write " + Utf8(path));
    DWORD written = 0;
    Require(WriteFile(file.get(), text_.data(), static_cast<DWORD>(text_.size()), &written,
                      nullptr) != 0 &&
                written == text_.size(),
            "cannot write " + Utf8(path));
  }

 private:
  static std::string Field(const std::string& value) {
    if (value.find_first_of(",\"\r\n") == std::string::npos) return value;
    std::string quoted = "\"";
    for (const char c : value) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
  }

  std::string text_;
};

int Run(int count, wchar_t** arguments) {
  const auto options = Options(count, arguments);
  const Subjects subjects{Needed(options, L"--tool"),           Needed(options, L"--floor-window"),
                          Needed(options, L"--floor-manifest"), Needed(options, L"--floor-com"),
                          Needed(options, L"--floor-box"),      Needed(options, L"--peer-script")};
  Plan plan;
  plan.warmups = Count(options, L"--warmups", plan.warmups);
  plan.runs = Count(options, L"--runs", plan.runs);
  plan.soak_lookups = Count(options, L"--soak", plan.soak_lookups);
  Require(plan.runs > 0 && plan.warmups >= 0 && plan.soak_lookups > plan.warmups,
          "run counts out of range");

  Bench bench(subjects, plan);
  FiguresCsv csv;
  csv.Row("plan", "warmups", std::to_string(plan.warmups));
  csv.Row("plan", "runs", std::to_string(plan.runs));
  csv.Row("plan", "soak", std::to_string(plan.soak_lookups));

  const ImageFacts image = ReadImageFacts(subjects.tool);
  csv.Row("image", "size_bytes", std::to_string(image.size_bytes));
  csv.Row("image", "machine", image.machine);
  csv.Row("image", "stripped", image.stripped ? "1" : "0");
  for (const std::string& dll : image.imports) csv.Row("import", dll, IsSystemDll(dll) ? "1" : "0");

  Progress("start-up");
  const StartupFigures startup = bench.MeasureStartup();
  csv.Times("startup.tool", startup.tool);
  csv.Times("startup.floor", startup.floor);
  csv.Times("startup.manifest", startup.floor_manifest);

  Progress("one lookup");
  const LookupFigures lookup = bench.MeasureLookup();
  csv.Times("lookup.tool", lookup.tool);
  csv.Times("lookup.floor", lookup.floor);
  csv.Times("lookup.floor_box", lookup.floor_box);
  csv.Row("serial", "tool", Utf8(lookup.tool_serial));
  csv.Row("serial", "floor", Utf8(lookup.floor_serial));

  Progress("whole job");
  const JobFigures job = bench.MeasureWholeJob();
  csv.Times("job.tool", job.tool.whole);
  csv.Times("job.tool.start", job.tool.start);
  csv.Times("job.tool.lookup", job.tool.lookup);
  csv.Times("job.tool.close", job.tool.close);
  csv.Times("job.floor_box", job.floor_box.whole);
  csv.Times("job.wmic", job.wmic);
  csv.Times("job.cscript", job.cscript);
  csv.Row("serial", "wmic", Utf8(job.wmic_serial));
  csv.Row("serial", "cscript", Utf8(job.cscript_serial));

  Progress("lookups in one process");
  const Bench::Soaks soak = bench.MeasureSoak();
  csv.Soak("tool", soak.tool);
  csv.Soak("floor", soak.floor);
  csv.Soak("floor_box", soak.floor_box);

  csv.Row("fact", "poll_gap_ms", Number(bench.mean_poll_gap_ms()));
  csv.Row("fact", "surrogates_ended", std::to_string(bench.surrogates_ended()));
  csv.WriteTo(Needed(options, L"--out"));
  return 0;
}

}  // namespace
}  // namespace quillmark::bench

int wmain(int count, wchar_t** arguments) {
  try {
    return quillmark::bench::Run(count, arguments);
  } catch (const std::exception& failure) {
    std::printf("bench: failed: %s\n", failure.what());
    return 1;
  }
}
