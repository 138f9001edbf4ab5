// Writing the findings as Markdown tables, each target judged from the figures beside it.
#include "report.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <optional>

namespace quillmark::bench {
namespace {

constexpr double kStartupTarget = 1.15;
constexpr double kLookupTarget = 1.05;
constexpr ULONGLONG kSizeTargetBytes = 256 * 1024;

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list measuring;
  va_copy(measuring, arguments);
  const int length = std::vsnprintf(nullptr, 0, format, measuring);
  va_end(measuring);
  std::string text(static_cast<size_t>(length > 0 ? length : 0) + 1, '\0');
  std::vsnprintf(text.data(), text.size(), format, arguments);
  va_end(arguments);
  text.pop_back();
  return text;
}

std::string Verdict(bool met) { return met ? "yes" : "**no**"; }

// "1.04 (1.02)": the ratio of the medians, then of the minimums.
std::string Ratio(const Summary& subject, const Summary& base) {
  return Format("%.2f (%.2f)", subject.median / base.median, subject.min / base.min);
}

struct TimingRow {
  std::string measurement;
  std::string subject;
  Summary summary;
  std::string ratio;
  std::string target;
  std::string met;
};

std::string Row(const TimingRow& row) {
  return "| " + row.measurement + " | " + row.subject + " | " + Format("%.1f", row.summary.min) +
         " | " + Format("%.1f", row.summary.median) + " | " + row.ratio + " | " + row.target +
         " | " + row.met + " |\n";
}

std::string StartupRows(const StartupFigures& startup) {
  const Summary tool = Summarise(startup.tool);
  const Summary floor = Summarise(startup.floor);
  const Summary manifest_floor = Summarise(startup.floor_manifest);
  const auto met = [&](const Summary& base) {
    return Verdict(tool.median <= kStartupTarget * base.median);
  };
  return Row({"1. Start-up: process creation until the window is shown, idle, with the focus in "
              "the name box",
              "the tool", tool,
              Ratio(tool, floor) + " to the bare window, " + Ratio(tool, manifest_floor) +
                  " to the manifest floor",
              Format("≤ %.2f × floor", kStartupTarget),
              met(floor) + " to the bare window, " + met(manifest_floor) +
                  " to the manifest floor"}) +
         Row({"", "floor: a bare window with an edit", floor, "", "", ""}) +
         Row({"", "manifest floor: the same window carrying the tool's manifest (visual styles)",
              manifest_floor, Ratio(manifest_floor, floor) + " to the bare window", "", ""});
}

// How the tool's start-up divides between the bare window, visual styles and the tool itself.
std::string StartupShares(const StartupFigures& startup) {
  const Summary tool = Summarise(startup.tool);
  const Summary floor = Summarise(startup.floor);
  const Summary manifest_floor = Summarise(startup.floor_manifest);
  const Summary styles{manifest_floor.min - floor.min, manifest_floor.median - floor.median};
  const Summary own{tool.min - manifest_floor.min, tool.median - manifest_floor.median};
  const bool negative = std::min({styles.min, styles.median, own.min, own.median}) < 0;
  // "12.3 ms (10.1 ms)": the median, then the minimum; a share shows its sign.
  const auto ms = [](const Summary& summary, bool share) {
    return share ? Format("%+.1f ms (%+.1f ms)", summary.median, summary.min)
                 : Format("%.1f ms (%.1f ms)", summary.median, summary.min);
  };
  return "The manifest floor is the bare window built again with the tool's own application "
         "manifest, which asks for Common Controls 6: its edit is then Common Controls 6's themed "
         "one, and its difference to the bare window is what visual styles cost, which the tool "
         "must pay. In medians, with minimums in brackets: of the tool's start-up of " +
         ms(tool, false) + ", the bare window takes " + ms(floor, false) + ", visual styles add " +
         ms(styles, true) + " and the tool's own start-up adds " + ms(own, true) +
         ". These are differences between separate runs, as noisy as the runs themselves" +
         (negative ? "; a share below zero is lost in that noise.\n\n" : ".\n\n");
}

std::string LookupRows(const LookupFigures& lookup) {
  const Summary tool = Summarise(lookup.tool);
  const Summary floor = Summarise(lookup.floor);
  const Summary floor_box = Summarise(lookup.floor_box);
  return Row({"2. One lookup of \".\": click until the result box is shown", "the tool", tool,
              Ratio(tool, floor) + " to the floor", Format("≤ %.2f × floor", kLookupTarget),
              Verdict(tool.median <= kLookupTarget * floor.median)}) +
         Row({"", "floor: the same COM calls in a console program, timed in-process", floor, "", "",
              ""}) +
         Row({"", "reference: the same COM calls and a message box, in a bare window", floor_box,
              "tool ÷ this: " + Ratio(tool, floor_box), "", ""});
}

std::string JobRows(const JobFigures& job) {
  const Summary tool = Summarise(job.tool.whole);
  const Summary floor_box = Summarise(job.floor_box.whole);
  const Summary wmic = Summarise(job.wmic);
  const Summary cscript = Summarise(job.cscript);
  const bool met = tool.median < wmic.median && tool.median < cscript.median;
  return Row({"3. Whole job: start, look up \".\", read the answer, press OK, close, until the "
              "process has ended",
              "the tool", tool, "", "faster than both peers", Verdict(met)}) +
         Row({"", "… of which start until ready", Summarise(job.tool.start), "", "", ""}) +
         Row({"", "… of which click until the result box", Summarise(job.tool.lookup), "", "",
              ""}) +
         Row({"", "… of which OK until the process has ended", Summarise(job.tool.close), "", "",
              ""}) +
         Row({"", "peer: `wmic bios get serialnumber`", wmic, "tool ÷ wmic: " + Ratio(tool, wmic),
              "", ""}) +
         Row({"", "peer: `cscript` running a five-line script with a message box", cscript,
              "tool ÷ cscript: " + Ratio(tool, cscript), "", ""}) +
         Row({"", "reference: the same job by the bare window with the COM calls and the box",
              floor_box, "tool ÷ this: " + Ratio(tool, floor_box), "", ""});
}

std::string TimingTable(const Findings& findings) {
  return "| Measurement | Subject | Min (ms) | Median (ms) | Ratio | Target | Met |\n"
         "|---|---|--:|--:|--:|---|---|\n" +
         StartupRows(findings.startup) + LookupRows(findings.lookup) + JobRows(findings.job);
}

// A process figure as a number, whichever counter type holds it: counts are DWORDs and sizes are
// SIZE_Ts, which are one type only in a 32-bit program.
template <typename Counter>
std::optional<double> Value(const std::optional<Counter>& figure) {
  if (!figure) return std::nullopt;
  return static_cast<double>(*figure);
}

// A count as it is, or bytes in KiB.
std::string Figure(const std::optional<double>& value, double unit) {
  if (!value) return "not reported";
  return unit == 1.0 ? Format("%.0f", *value) : Format("%.1f", *value / unit);
}

std::optional<double> Change(const std::optional<double>& before,
                             const std::optional<double>& after, double unit) {
  if (!before || !after) return std::nullopt;
  return (*after - *before) / unit;
}

std::string Signed(const std::optional<double>& change, double unit) {
  if (!change) return "not measurable";
  return unit == 1.0 ? Format("%+.0f", *change) : Format("%+.1f", *change);
}

std::string ImageTable(const ImageFacts& image) {
  std::string imports;
  bool only_system = !image.imports.empty();
  for (const std::string& dll : image.imports) {
    const bool system = IsSystemDll(dll);
    only_system = only_system && system;
    if (!imports.empty()) imports += ", ";
    imports += system ? dll : dll + " (not a system DLL)";
  }
  return "| Figure | Value | Target | Met |\n"
         "|---|---|---|---|\n"
         "| Size of the .exe (" +
         image.machine + ", symbols stripped: " + std::string(image.stripped ? "yes" : "no") +
         ") | " + Format("%.1f KiB (", static_cast<double>(image.size_bytes) / 1024.0) +
         std::to_string(image.size_bytes) + " bytes) | ≤ 256 KiB | " +
         Verdict(image.size_bytes <= kSizeTargetBytes && image.stripped) + " |\n" +
         "| DLLs it imports | " + imports + " | the system's own only | " + Verdict(only_system) +
         " |\n";
}

std::string ProcessTable(const Findings& findings) {
  const Plan& plan = findings.plan;
  const int half = plan.soak_lookups / 2;
  std::string text = Format(
      "Figures of the tool and, beside each, of the COM floor and of the windowed reference (the "
      "bare window that makes the same calls and shows the box) doing the same lookups, each in "
      "its own process: what they gain is what the platform itself keeps per lookup. Growth is "
      "judged over the second half of the lookups, after the first ones have loaded and cached "
      "what a lookup needs.\n\n"
      "| Process figure | Process | After start | After %d lookups | After %d | After %d | "
      "Change over the last %d | No growth |\n"
      "|---|---|--:|--:|--:|--:|--:|---|\n",
      plan.warmups, half, plan.soak_lookups, plan.soak_lookups - half);
  // `member` points at a count (DWORD) or a size (SIZE_T) of ProcessFigures.
  const auto row = [&](const char* name, auto member, double unit, bool judged) {
    const auto at = [member](const ProcessFigures& figures) { return Value(figures.*member); };
    const auto cells = [&](const SoakFigures& soak) {
      return Figure(at(soak.at_start), unit) + " | " + Figure(at(soak.after_warmup), unit) + " | " +
             Figure(at(soak.at_half), unit) + " | " + Figure(at(soak.at_end), unit) + " | " +
             Signed(Change(at(soak.at_half), at(soak.at_end), unit), unit);
    };
    const auto tool_change =
        Change(at(findings.soak.tool.at_half), at(findings.soak.tool.at_end), unit);
    // The most that a reference gained: the platform's own share.
    std::optional<double> platform_change;
    for (const SoakFigures* reference : {&findings.soak.floor, &findings.soak.floor_box}) {
      const auto change = Change(at(reference->at_half), at(reference->at_end), unit);
      if (change && (!platform_change || *change > *platform_change)) platform_change = change;
    }
    std::string verdict = "not measurable";
    if (!judged) {
      verdict = "not judged (see below)";
    } else if (tool_change) {
      verdict = Verdict(*tool_change <= 0);
      if (*tool_change > 0 && platform_change && *platform_change >= *tool_change) {
        verdict += " (no more than a reference's)";
      }
    }
    text += std::string("| ") + name + " | the tool | " + cells(findings.soak.tool) + " | " +
            verdict + " |\n";
    text += "|  | COM floor | " + cells(findings.soak.floor) + " |  |\n";
    text += "|  | windowed reference | " + cells(findings.soak.floor_box) + " |  |\n";
  };
  row("Handles", &ProcessFigures::handles, 1.0, true);
  row("USER objects", &ProcessFigures::user_objects, 1.0, true);
  row("Windows (top-level, child, message-only)", &ProcessFigures::windows, 1.0, true);
  row("GDI objects", &ProcessFigures::gdi_objects, 1.0, true);
  row("Private memory: committed private regions (KiB)", &ProcessFigures::committed_private_bytes,
      1024.0, true);
  row("Resident private memory, as Wine reports it (KiB)", &ProcessFigures::private_bytes, 1024.0,
      false);
  text +=
      "\nWhere the system's own counter gives nothing (Wine implements neither "
      "`GetProcessHandleCount` nor `GetGuiResources`, and leaves `PrivateUsage` empty), handles "
      "are counted in the system's handle list, GDI objects in the process's GDI handle table, "
      "and the process's windows stand in for its USER objects; a figure that neither way gives "
      "is not reported. Private memory is judged as Windows counts private bytes: the committed "
      "private regions of the process's address space, summed with `VirtualQueryEx`; everything "
      "the program's own code allocates lies there. The resident figure that Wine reports "
      "instead (`PagefileUsage`: the Unix process's anonymous resident memory, Wine's own "
      "included) is shown but not judged: it moves by a few pages either way in every process, "
      "the references' included, as pages that were committed long before are first touched.\n";
  return text;
}

}  // namespace

Summary Summarise(Samples samples) {
  Require(!samples.empty(), "a measurement without runs");
  std::sort(samples.begin(), samples.end());
  const size_t middle = samples.size() / 2;
  const double median =
      samples.size() % 2 == 1 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2.0;
  return {samples.front(), median};
}

std::string FindingsMarkdown(const Findings& findings) {
  // In a 64-bit prefix the bindings start none.
  const std::string surrogates =
      findings.surrogates_ended == 0
          ? "none in this run: here the bindings started no `dllhost.exe`"
          : std::to_string(findings.surrogates_ended) + " in this run";
  std::string text = "## Times\n\n";
  text += Format(
      "Each time is taken over %d runs after %d warm-up runs, with the subjects' runs "
      "alternating. Ratios are of the medians, with the ratio of the minimums in brackets. The "
      "harness times the windowed programs from outside with the performance counter and looks "
      "for what it waits for every millisecond (on average every %.2f ms here), so their times "
      "may include up to that much of the harness's own delay; the COM floor times itself, from "
      "before the binding until the serial number is read.\n\n"
      "In a 32-bit Wine prefix every binding of the management service starts a new "
      "`dllhost.exe` that never ends (about 7 MiB and one X connection each); after each finished "
      "lookup the harness ends the ones started since it last looked, so that every lookup meets "
      "the same machine. It ended %s.\n\n",
      findings.plan.runs, findings.plan.warmups, findings.mean_poll_gap_ms, surrogates.c_str());
  text += TimingTable(findings) + "\n" + StartupShares(findings.startup);
  text += "The serial number each one read: the tool \"" + Utf8(findings.lookup.tool_serial) +
          "\", the COM floor \"" + Utf8(findings.lookup.floor_serial) + "\", wmic \"" +
          Utf8(findings.job.wmic_serial) + "\", cscript \"" + Utf8(findings.job.cscript_serial) +
          "\".\n\n";
  text += "## Footprint\n\n" + ImageTable(findings.image) + "\n" + ProcessTable(findings);
  return text;
}

}  // namespace quillmark::bench
