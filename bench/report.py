#!/usr/bin/env python3
"""Writes the benchmark's reports from the raw figures that its scripts and programs measured.

  report.py bench FIGURES.csv               the main report (bench/run.sh), on standard output
  report.py fleet FIGURES.csv WORK REPORT   the fleet report (bench/fleet.sh), written to REPORT
  report.py reach FIGURES.csv WORK REPORT   the reachability section (bench/reach.sh), in REPORT

FIGURES.csv holds rows of kind,key,value: facts the scripts gathered (fact), the lists of names a
run was given (list), what a watched run saw (watch) and, for the main report, what the harness
measured inside Windows (see bench/harness/harness_main.cpp). WORK is a script's folder of runs:
hyperfine's JSON exports, the probe's findings and every run's output. Every median, target and
verdict of the benchmark is computed here, and the prose around them is in bench/templates/.
"""
import csv
import glob
import json
import os
import re
import sys
from collections import defaultdict

TEMPLATES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "templates")
MIB = 1048576
SECTION_BEGIN = "<!-- reachability check: made by bench/reach.sh -->"
SECTION_END = "<!-- end of reachability check -->"


def median(values):
    values = sorted(values)
    if not values:
        raise SystemExit("report: a measurement without runs")
    middle = len(values) // 2
    return values[middle] if len(values) % 2 else (values[middle - 1] + values[middle]) / 2


def verdict(met):
    return "yes" if met else "**no**"


def read_figures(path):
    """The rows by kind: {kind: {key: [values in order]}}."""
    rows = defaultdict(lambda: defaultdict(list))
    with open(path, newline="", encoding="utf-8") as file:
        for kind, key, value in csv.reader(file):
            rows[kind][key].append(value)
    return rows


def machine_table(facts):
    lines = [
        ("Processors (nproc)", facts["nproc"]),
        ("CPU", facts["cpu"]),
        ("Memory", facts["memory"]),
        ("System", facts["system"]),
        ("Wine", f"{facts['wine']}, {facts['bits']}-bit prefix ({facts['arch']}), Xvfb, no window manager"),
        ("Load average (1 min) before and after measuring", f"{facts['load_before']}, {facts['load_after']}"),
    ]
    return "| Machine | |\n|---|---|\n" + "\n".join(f"| {name} | {value} |" for name, value in lines)


def fill(template, values):
    with open(os.path.join(TEMPLATES, template), encoding="utf-8") as file:
        return file.read().format_map(values)


# The main report.

def ratio(subject, base):
    """The ratio of the medians, then of the minimums in brackets."""
    return f"{median(subject) / median(base):.2f} ({min(subject) / min(base):.2f})"


def bench_report(figures_path):
    rows = read_figures(figures_path)
    facts = {key: values[-1] for key, values in rows["fact"].items()}
    plan = {key: int(values[-1]) for key, values in rows["plan"].items()}
    t = {key: [float(v) for v in values] for key, values in rows["time"].items()}
    serial = {key: values[-1] for key, values in rows["serial"].items()}
    startup_target, lookup_target = 1.15, 1.05

    def row(measurement, subject, series, ratio_text="", target="", met=""):
        return (f"| {measurement} | {subject} | {min(t[series]):.1f} | {median(t[series]):.1f} | "
                f"{ratio_text} | {target} | {met} |")

    tool, floor, manifest = t["startup.tool"], t["startup.floor"], t["startup.manifest"]
    startup_met = [verdict(median(tool) <= startup_target * median(base)) for base in (floor, manifest)]
    lookup_met = median(t["lookup.tool"]) <= lookup_target * median(t["lookup.floor"])
    job = t["job.tool"]
    job_met = median(job) < median(t["job.wmic"]) and median(job) < median(t["job.cscript"])
    timing = [
        "| Measurement | Subject | Min (ms) | Median (ms) | Ratio | Target | Met |",
        "|---|---|--:|--:|--:|---|---|",
        row("1. Start-up: process creation until the window is shown, idle, with the focus in the name box",
            "the tool", "startup.tool",
            f"{ratio(tool, floor)} to the bare window, {ratio(tool, manifest)} to the manifest floor",
            f"≤ {startup_target:.2f} × floor",
            f"{startup_met[0]} to the bare window, {startup_met[1]} to the manifest floor"),
        row("", "floor: a bare window with an edit", "startup.floor"),
        row("", "manifest floor: the same window carrying the tool's manifest (visual styles)",
            "startup.manifest", f"{ratio(manifest, floor)} to the bare window"),
        row("2. One lookup of \".\": click until the result box is shown", "the tool", "lookup.tool",
            f"{ratio(t['lookup.tool'], t['lookup.floor'])} to the floor", f"≤ {lookup_target:.2f} × floor",
            verdict(lookup_met)),
        row("", "floor: the same COM calls in a console program, timed in-process", "lookup.floor"),
        row("", "reference: the same COM calls and a message box, in a bare window", "lookup.floor_box",
            f"tool ÷ this: {ratio(t['lookup.tool'], t['lookup.floor_box'])}"),
        row("3. Whole job: start, look up \".\", read the answer, press OK, close, until the process has ended",
            "the tool", "job.tool", "", "faster than both peers", verdict(job_met)),
        row("", "… of which start until ready", "job.tool.start"),
        row("", "… of which click until the result box", "job.tool.lookup"),
        row("", "… of which OK until the process has ended", "job.tool.close"),
        row("", "peer: `wmic bios get serialnumber`", "job.wmic", f"tool ÷ wmic: {ratio(job, t['job.wmic'])}"),
        row("", "peer: `cscript` running a five-line script with a message box", "job.cscript",
            f"tool ÷ cscript: {ratio(job, t['job.cscript'])}"),
        row("", "reference: the same job by the bare window with the COM calls and the box", "job.floor_box",
            f"tool ÷ this: {ratio(job, t['job.floor_box'])}"),
    ]

    # How the tool's start-up divides between the bare window, visual styles and the tool itself.
    def share(pick):
        return {"tool": pick(tool), "floor": pick(floor), "styles": pick(manifest) - pick(floor),
                "own": pick(tool) - pick(manifest)}
    medians, minimums = share(median), share(min)
    shares = {f"share_{key}": (f"{medians[key]:+.1f} ms ({minimums[key]:+.1f} ms)" if key in ("styles", "own")
                               else f"{medians[key]:.1f} ms ({minimums[key]:.1f} ms)") for key in medians}
    negative = min(list(medians.values()) + list(minimums.values())) < 0

    size = int(rows["image"]["size_bytes"][-1])
    stripped = rows["image"]["stripped"][-1] == "1"
    imports = [(dll, values[-1] == "1") for dll, values in rows["import"].items()]
    image = [
        "| Figure | Value | Target | Met |",
        "|---|---|---|---|",
        f"| Size of the .exe ({rows['image']['machine'][-1]}, symbols stripped: {'yes' if stripped else 'no'}) | "
        f"{size / 1024:.1f} KiB ({size} bytes) | ≤ 256 KiB | {verdict(size <= 256 * 1024 and stripped)} |",
        "| DLLs it imports | " + ", ".join(dll if system else f"{dll} (not a system DLL)" for dll, system in imports)
        + f" | the system's own only | {verdict(imports and all(system for _, system in imports))} |",
    ]

    half = plan["soak"] // 2
    process = [
        f"| Process figure | Process | After start | After {plan['warmups']} lookups | After {half} | "
        f"After {plan['soak']} | Change over the last {plan['soak'] - half} | No growth |",
        "|---|---|--:|--:|--:|--:|--:|---|",
    ]
    figure_rows = [("Handles", "handles", 1, True), ("USER objects", "user_objects", 1, True),
                   ("Windows (top-level, child, message-only)", "windows", 1, True),
                   ("GDI objects", "gdi_objects", 1, True),
                   ("Private memory: committed private regions (KiB)", "committed_private_bytes", 1024, True),
                   ("Resident private memory, as Wine reports it (KiB)", "private_bytes", 1024, False)]
    processes = [("tool", "the tool"), ("floor", "COM floor"), ("floor_box", "windowed reference")]
    for name, figure, unit, judged in figure_rows:
        def at(who, moment):
            value = rows["process"][f"{figure}/{who}/{moment}"][-1]
            return float(value) / unit if value else None

        def change(who):
            half_value, end = at(who, "half"), at(who, "end")
            return None if half_value is None or end is None else end - half_value
        places = 0 if unit == 1 else 1
        tool_change = change("tool")
        references = [c for c in (change("floor"), change("floor_box")) if c is not None]
        if not judged:
            judgement = "not judged (see below)"
        elif tool_change is None:
            judgement = "not measurable"
        else:
            judgement = verdict(tool_change <= 0)
            if tool_change > 0 and references and max(references) >= tool_change:
                judgement += " (no more than a reference's)"
        for who, label in processes:
            cells = ["not reported" if at(who, m) is None else f"{at(who, m):.{places}f}"
                     for m in ("start", "warmup", "half", "end")]
            cells.append("not measurable" if change(who) is None else f"{change(who):+.{places}f}")
            first = who == "tool"
            process.append(f"| {name if first else ''} | {label} | " + " | ".join(cells)
                           + f" | {judgement if first else ''} |")

    ended = int(facts["surrogates_ended"])
    values = dict(facts, **shares, **{f"serial_{key}": value for key, value in serial.items()})
    values.update(
        machine_table=machine_table(facts), timing_table="\n".join(timing), image_table="\n".join(image),
        process_table="\n".join(process), runs=plan["runs"], warmups=plan["warmups"],
        poll_gap=f"{float(facts['poll_gap_ms']):.2f}",
        surrogates=f"{ended} in this run" if ended else
        "none in this run: here the bindings started no `dllhost.exe`",
        share_noise="; a share below zero is lost in that noise." if negative else ".")
    sys.stdout.write(fill("REPORT.md.in", values))


# What the fleet's and the reachability check's scripts leave in their folders.

def hyperfine_runs(work, pattern):
    """Each command's seconds and exit codes over hyperfine's exports: {name: [(s, code)]}."""
    runs = defaultdict(list)
    for path in sorted(glob.glob(os.path.join(work, pattern))):
        with open(path, encoding="utf-8") as file:
            for result in json.load(file)["results"]:
                runs[result["command"]] += list(zip(result["times"], result["exit_codes"]))
    return runs


def probe_findings(path):
    """The fleet probe's findings: wall_ms, exit_code, walk_ms and samples (ms, total, in stacks, stacks)."""
    findings = {"samples": []}
    with open(path, encoding="utf-8") as file:
        for line in file:
            words = line.split()
            if words and words[0] == "sample":
                findings["samples"].append(tuple(float(word) for word in words[1:]))
            elif len(words) == 2:
                findings[words[0]] = float(words[1])
    return findings


def lines_of(path):
    with open(path, encoding="utf-8") as file:
        return file.read().split()


def csv_rows(path):
    with open(path, newline="", encoding="utf-8", errors="replace") as file:
        return list(csv.reader(file))


HEADER = ["\ufeffcomputer", "serial", "status", "code", "description", "milliseconds", "protocol"]


def as_scripted(out, names, serial, peer=False):
    """Whether an output holds what the script says of each name, in their order: the CSV header,
    then "ok" and the serial, or "timed out" for a hang-* name; the peer writes "name,serial"."""
    rows = csv_rows(out)
    if not peer:
        if not rows or rows[0] != HEADER:
            return False
        rows = rows[1:]
    if len(rows) != len(names):
        return False
    for row, name in zip(rows, names):
        if peer:
            good = row == [name, serial]
        else:
            status = "timed out" if name.startswith("hang-") else "ok"
            good = len(row) == len(HEADER) and row[0] == name and row[2] == status and (
                status != "ok" or row[1] == serial)
        if not good:
            return False
    return True


def check_outputs(work, rows, runs, probes, serial):
    """Checks every run's output and exit code against its list; returns (checked, failures)."""
    checked, failures = 0, []
    for key, values in rows["list"].items():
        names = lines_of(values[-1])
        wanted = 1 if any(name.startswith("hang-") for name in names) else 0
        outputs = sorted(glob.glob(os.path.join(work, "out", f"{key}-*")))
        codes = [code for _, code in runs[key]] if key in runs else [probes[key]["exit_code"]]
        if len(outputs) != len(codes):
            failures.append(f"{key} ({len(outputs)} outputs of {len(codes)} runs)")
        for out, code in zip(outputs, codes):
            checked += 1
            if code != wanted or not as_scripted(out, names, serial, peer=key == "peer"):
                failures.append(f"{key} (exit code {code:.0f}, output {out})")
    return checked, failures


def fleet_report(figures_path, work, report):
    rows = read_figures(figures_path)
    facts = {key: values[-1] for key, values in rows["fact"].items()}
    serial, latency_ms = facts["serial"], int(facts["latency_ms"])
    default, names = int(facts["default_parallel"]), int(facts["names"])
    timeout_s, hold_timeout_s = int(facts["timeout_s"]), int(facts["hold_timeout_s"])
    parallels = sorted({8, 16, 64, 128, 256, default})
    runs = hyperfine_runs(work, "hyperfine/*.json")
    probes = {os.path.basename(path)[:-4]: probe_findings(path)
              for path in glob.glob(os.path.join(work, "probe", "*.txt"))}
    checked, failures = check_outputs(work, rows, runs, probes, serial)
    seconds = {key: [s for s, _ in value] for key, value in runs.items()}
    med = {key: median(value) for key, value in seconds.items()}
    low = {key: min(value) for key, value in seconds.items()}

    def ideal(p):
        return names * latency_ms / 1000 / p

    # Peak private bytes of a sampled run: (bytes, thread stacks then, samples taken).
    def peak(key):
        samples = probes[key]["samples"]
        top = max(samples, key=lambda s: s[1]) if samples else (0, 0, 0, 0)
        return top[1], int(top[3]), len(samples)

    def per_lookup(p):
        (bytes_p, stacks_p, _), (bytes_1, stacks_1, _) = peak(f"memory-p{p}"), peak("memory-p1")
        return (bytes_p - bytes_1) / (stacks_p - stacks_1) / MIB if stacks_p != stacks_1 else float("nan")

    hung_names = sum(name.startswith("hang-") for name in lines_of(rows["list"]["hang"][-1]))
    hung_timed_out = "/".join(str(n) for n in sorted({
        sum(r[0].startswith("hang-") and r[1:3] == ["", "timed out"] for r in csv_rows(out))
        for out in glob.glob(os.path.join(work, "out", "hang-*"))}))
    hang_bound = -(-names // default) * timeout_s
    default_key = f"p{default}"

    # Growth over the default's sampled run: the medians of the first and second half's samples.
    growth_probe = probes[f"memory-p{default}"]
    wall = growth_probe["wall_ms"]
    halves = [[s for s in growth_probe["samples"] if (s[0] < wall / 2) == first] for first in (True, False)]
    other = [median([s[1] - s[2] for s in half]) for half in halves]
    total = [median([s[1] for s in half]) for half in halves]
    growth_names = int(facts["growth_names"])
    growth_per_name = (other[1] - other[0]) / (growth_names / 2) / 1024

    best_p = min(parallels, key=lambda p: med[f"p{p}"])
    best = med[f"p{best_p}"]
    supported = next(p for p in [1] + parallels if med[f"p{p}"] <= 1.25 * best)
    sizes = [int(n) for n in facts["scale"].split()]
    small, large = sizes[0], sizes[-1]
    us = {n: med[f"n{n}"] * 1e6 / n for n in sizes}
    scale_peak = {n: peak(f"scale-memory-n{n}") for n in sizes}
    scale_other = {n: max([s[1] - s[2] for s in probes[f"scale-memory-n{n}"]["samples"]], default=0) for n in sizes}
    watch = {key: [float(v) for v in values[-1].split()] for key, values in rows["watch"].items()}
    nothing_s = med["help"]
    first_row_s, whole_s = watch["first_row"]
    held_first_s, held_end_s = watch["hang_first"]
    walks = [probes[f"memory-p{p}"]["walk_ms"] for p in [1] + parallels]

    parallel_rows = []
    for p in [1] + parallels:
        key = f"p{p}"
        bytes_p, stacks_p, samples_p = peak(f"memory-{key}")
        listed = len(lines_of(rows["list"][f"memory-{key}"][-1]))
        parallel_rows.append(
            f"| {p}{' (default)' if p == default else ''} | {ideal(p):.2f} | {med[key]:.2f} "
            f"({'once' if p == 1 else f'{low[key]:.2f}'}) | {med[key] / ideal(p):.2f} | {bytes_p / MIB:.1f} | "
            f"{stacks_p} | {'—' if p == 1 else f'{per_lookup(p):.1f}'} | {samples_p} ({listed}) |")
    hang_peak = peak("memory-hang")
    parallel_rows.append(f"| reference: {names:,} `fast-*` names, no latency, default | 0 | {med['fast']:.2f} "
                         f"({low['fast']:.2f}) | | | | | |")
    parallel_rows.append(
        f"| reference: {names:,} names, {hung_names} hanging, `--timeout {timeout_s}`, default | | "
        f"{med['hang']:.2f} ({low['hang']:.2f}) | | {hang_peak[0] / MIB:.1f} | {hang_peak[1]} | | "
        f"{hang_peak[2]} ({names}) |")

    scale_rows = [f"| {n} | {us[n]:.0f} | {scale_peak[n][0] / MIB:.1f} | {scale_peak[n][1]} | "
                  f"{scale_other[n] / MIB:.1f} | {scale_peak[n][2]} |" for n in sizes]
    peak_small, peak_large = scale_peak[small][0], scale_peak[large][0]
    default_ideal, default_time = ideal(default), med[default_key]
    top = parallels[-1]
    peer_names = len(lines_of(rows["list"]["peer"][-1]))
    first_row_list = int(facts["first_row_names"])
    fleet_targets = [
        f"| 1. {names:,} names at {latency_ms} ms each, default `--parallel {default}` | ≤ 1.25 × the ideal "
        f"{default_ideal:.2f} s ({names * latency_ms / 1000:.0f} s ÷ {default}) = {1.25 * default_ideal:.2f} s | "
        f"{default_time:.2f} s ({low[default_key]:.2f}): {default_time / default_ideal:.2f} × the ideal; "
        f"`--parallel 1`: {med['p1']:.2f} s, {med['p1'] / default_time:.1f} × the default's time | "
        f"{verdict(default_time <= 1.25 * default_ideal)} |",
        f"| 2. {peer_names} names: the sequential `cscript` peer beside quillmark at its default | quillmark ≥ 10 × "
        f"faster | peer {med['peer']:.2f} s ({low['peer']:.2f}), quillmark {med['quillmark_peer']:.2f} s "
        f"({low['quillmark_peer']:.2f}): {med['peer'] / med['quillmark_peer']:.1f} × faster | "
        f"{verdict(med['peer'] >= 10 * med['quillmark_peer'])} |",
        f"| 3. {names:,} names of which {hung_names} hang, `--timeout {timeout_s}`, default parallelism | ends "
        f"within ⌈{names} ÷ {default}⌉ × {timeout_s} s = {hang_bound} s (+ writing); every hung name `timed out` | "
        f"{med['hang']:.2f} s ({low['hang']:.2f}), slowest {max(seconds['hang']):.2f} s; hung names `timed out`: "
        f"{hung_timed_out} of {hung_names} in each run, the others `ok` | "
        f"{verdict(max(seconds['hang']) <= hang_bound and hung_timed_out == str(hung_names))} |",
        f"| 4. Peak private bytes at `--parallel` 16, 64 and 256 | figures, to choose the default | "
        f"{peak('memory-p16')[0] / MIB:.1f}, {peak('memory-p64')[0] / MIB:.1f} and "
        f"{peak('memory-p256')[0] / MIB:.1f} MiB; about {per_lookup(16):.1f} MiB per lookup in flight "
        f"(see below) | reported |",
        f"| 4. No growth over {growth_names:,} names at the default | outside thread stacks, the second half's "
        f"median no higher than the first's by more than the rows kept for the output (≤ 0.5 KiB a name) | "
        f"{other[0] / MIB:.2f} → {other[1] / MIB:.2f} MiB: {growth_per_name:.2f} KiB a name (all private bytes: "
        f"{total[0] / MIB:.1f} → {total[1] / MIB:.1f} MiB) | {verdict(growth_per_name <= 0.5)} |",
    ]
    scale_targets = [
        f"| Time a name at {large:,} beside {small:,} | ≤ 1.1 × | {us[large]:.0f} µs against {us[small]:.0f} µs: "
        f"{us[large] / us[small]:.2f} × | {verdict(us[large] <= 1.1 * us[small])} |",
        f"| Peak private bytes at {large:,} beside {small:,} | ≤ 1.5 × | {peak_large / MIB:.1f} MiB against "
        f"{peak_small / MIB:.1f} MiB: {peak_large / peak_small:.2f} × | {verdict(peak_large <= 1.5 * peak_small)} |",
        f"| Peak outside thread stacks at {large:,} beside {small:,} | (the same, without the stacks of the "
        f"lookups in flight at the peak) | {scale_other[large] / MIB:.1f} MiB against {scale_other[small] / MIB:.1f}"
        f" MiB: {scale_other[large] / scale_other[small]:.2f} × | "
        f"{verdict(scale_other[large] <= 1.5 * scale_other[small])} |",
        f"| First row of {first_row_list:,} names | within 1 s of the first lookup's end | first row "
        f"{first_row_s:.2f} s after the process was started, the whole run {whole_s:.2f} s; a run that looks "
        f"nothing up (`--help`) takes {nothing_s:.2f} s from start to end, so the first row came "
        f"{first_row_s - nothing_s:.2f} s after the program could first have written anything | "
        f"{verdict(first_row_s - nothing_s <= 1)} |",
        f"| A hung first computer, then {names:,} that answer at once, `--timeout {hold_timeout_s}` | holds the rest "
        f"back until its deadline at most | first row (its `timed out`) at {held_first_s:.2f} s, the run over at "
        f"{held_end_s:.2f} s, with {facts['held_rows']} rows `ok` | "
        f"{verdict(held_first_s <= hold_timeout_s + nothing_s + 1)} |",
    ]
    room = ("puts the 1.25 × target out of reach here" if med["fast"] > 1.25 * default_ideal else
            f"leaves {1.25 * default_ideal - med['fast']:.2f} s between that floor and the 1.25 × target here")
    against = "" if best_p == supported else f", against {peak(f'memory-p{best_p}')[0] / MIB:.1f} MiB at {best_p}"
    top_stacks = peak(f"memory-p{top}")[1]
    saturated = "" if top_stacks >= top else (
        f"\nAt `--parallel {top}` the peak sample held {top_stacks} thread stacks: the machine\n"
        "finishes lookups about as fast as it can start them, so asking for more in flight gains nothing.")
    values = dict(facts)
    values.update(
        machine_table=machine_table(facts), rounds=facts["rounds"], names_text=f"{names:,}",
        scripted=f"All {checked} outputs were as scripted." if not failures else
        f"**Not as scripted:** {', '.join(failures)}.",
        fleet_targets="\n".join(fleet_targets), scale_rows="\n".join(scale_rows),
        scale_targets="\n".join(scale_targets), parallel_rows="\n".join(parallel_rows),
        supported=supported, supported_time=f"{med[f'p{supported}']:.2f}", best=f"{best:.2f}", fastest=best_p,
        supported_cost=f"{per_lookup(supported):.1f}", supported_peak=f"{peak(f'memory-p{supported}')[0] / MIB:.1f}",
        against=against, fast_time=f"{med['fast']:.2f}", fast_share=f"{med['fast'] / default_ideal:.2f}",
        room=room, saturated=saturated, walk_min=f"{min(walks):.2f}", walk_max=f"{max(walks):.2f}",
        growth_names_text=f"{growth_names:,}", samples_first=len(halves[0]), samples_second=len(halves[1]),
        other_first=f"{other[0] / MIB:.2f}", other_second=f"{other[1] / MIB:.2f}")
    text = fill("FLEET.md.in", values)
    # bench/reach.sh's section of the report is kept as it is.
    section = reach_section_of(report)
    write(report, text + (f"\n{section}\n" if section else ""))


def reach_section_of(report):
    if not os.path.exists(report):
        return ""
    with open(report, encoding="utf-8") as file:
        text = file.read()
    begin, end = text.find(SECTION_BEGIN), text.find(SECTION_END)
    return text[begin:end + len(SECTION_END)] if 0 <= begin < end else ""


def write(path, text):
    with open(path, "w", encoding="utf-8") as file:
        file.write(text)


def reach_report(figures_path, work, report):
    rows = read_figures(figures_path)
    facts = {key: values[-1] for key, values in rows["fact"].items()}
    runs = hyperfine_runs(work, "reach.json")
    names = lines_of(rows["list"]["on"][-1])
    answering = sum(name.startswith("host-") for name in names)
    silent = len(names) - answering
    default, latency_ms, reach_ms = int(facts["default_parallel"]), int(facts["latency_ms"]), int(facts["reach_ms"])
    # Every run's rows as scripted: each answering name ok with its serial over DCOM, each silent one
    # unreachable with the silence code and no protocol, exit code 1 (0 for the off runs).
    ok_row = re.compile(r"^host-\d+\.reach\.test,SN-reach,ok,,,\d+,dcom$", re.M)
    silent_row = re.compile(r"^silent-\d+\.reach\.test,,unreachable,0x8007274C,.*,\d+,$", re.M)
    checked = "yes"
    for key, wanted_exit, wanted_silent in (("on", 1, silent), ("off", 0, 0)):
        outputs = sorted(glob.glob(os.path.join(work, "out", f"{key}-*")))
        if len(outputs) != len(runs[key]):
            checked = f"no ({len(outputs)} {key} outputs of {len(runs[key])} runs)"
        for out in outputs:
            with open(out, encoding="utf-8", errors="replace") as file:
                text = file.read().replace("\r", "")
            ok, unreachable = len(ok_row.findall(text)), len(silent_row.findall(text))
            if ok != answering or unreachable != wanted_silent:
                checked = f"no ({out}: {ok} ok, {unreachable} unreachable)"
        if any(code != wanted_exit for _, code in runs[key]):
            checked = "no (an exit code)"
    times = {key: [s for s, _ in value] for key, value in runs.items()}
    on, answering_off = median(times["on"]), median(times["off"])
    silent_cost_s = int(facts["silent_cost_s"])
    # With the check off, each silent computer holds a lookup slot for the platform's 21 s.
    off = answering_off + silent * silent_cost_s / default
    ideal = (answering * latency_ms / 1000 + silent * reach_ms / 1000) / default
    rows_text = [
        f"| Check on (`--reach-timeout {reach_ms}`), {len(names)} names | ≥ 10 × faster than off | {on:.2f} s "
        f"({min(times['on']):.2f}) against {off:.2f} s off: {off / on:.1f} × faster | {verdict(off >= 10 * on)} |",
        f"| Check on, beside the ideal | ≤ 1.3 × the ideal {ideal:.2f} s = {1.3 * ideal:.2f} s | "
        f"{on / ideal:.2f} × the ideal | {verdict(on <= 1.3 * ideal)} |",
        f"| Check off: the {answering} answering names alone, measured | figure | {answering_off:.2f} s "
        f"({min(times['off']):.2f}) | reported |",
    ]
    values = dict(facts, names=len(names), answering=answering, silent=silent, checked=checked,
                  rounds=len(times["on"]), targets="\n".join(rows_text))
    section = fill("REACH.md.in", values).strip()
    text = ""
    if os.path.exists(report):
        with open(report, encoding="utf-8") as file:
            text = file.read()
    old = reach_section_of(report)
    # The section replaces its earlier version, or follows what bench/fleet.sh wrote.
    text = text.replace(old, section) if old else text + f"\n{section}\n"
    write(report, text)
    print(f"reach: on {on:.2f} s, off {off:.2f} s (computed), ideal {ideal:.2f} s; outputs as scripted: {checked}")


if __name__ == "__main__":
    if len(sys.argv) >= 3 and sys.argv[1] == "bench":
        bench_report(sys.argv[2])
    elif len(sys.argv) == 5 and sys.argv[1] in ("fleet", "reach"):
        (fleet_report if sys.argv[1] == "fleet" else reach_report)(*sys.argv[2:])
    else:
        raise SystemExit(__doc__)
