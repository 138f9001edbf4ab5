// The benchmark harness: runs inside Wine, takes every measurement of the tool beside its floors
// and peers, and writes the findings as Markdown.
//   bench_harness --tool EXE --floor-window EXE --floor-manifest EXE --floor-com EXE
//                 --floor-box EXE --peer-script VBS --out FILE
//                 [--warmups N] [--runs N] [--soak N]
#include <windows.h>

#include <cstdio>
#include <exception>
#include <map>
#include <string>

#include "child_process.h"
#include "image_facts.h"
#include "measurements.h"
#include "report.h"

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

void WriteFile(const std::wstring& path, const std::string& text) {
  const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
  Require(static_cast<bool>(file), "cannot write " + Utf8(path));
  DWORD written = 0;
  Require(::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                      nullptr) != 0 &&
              written == text.size(),
          "cannot write " + Utf8(path));
}

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
  Findings findings;
  findings.plan = plan;
  findings.image = ReadImageFacts(subjects.tool);
  Progress("start-up");
  findings.startup = bench.MeasureStartup();
  Progress("one lookup");
  findings.lookup = bench.MeasureLookup();
  Progress("whole job");
  findings.job = bench.MeasureWholeJob();
  Progress("lookups in one process");
  findings.soak = bench.MeasureSoak();
  findings.mean_poll_gap_ms = bench.mean_poll_gap_ms();
  findings.surrogates_ended = bench.surrogates_ended();

  const std::string markdown = FindingsMarkdown(findings);
  WriteFile(Needed(options, L"--out"), markdown);
  std::printf("%s", markdown.c_str());
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
