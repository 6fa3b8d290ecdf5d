#!/usr/bin/env python3
"""Turns one benchmark run into the tables of BENCHMARKS.md.

    summarize.py RESULTS_DIR

RESULTS_DIR holds what run-benchmarks.sh leaves there: benchmarks.json
(Google Benchmark's JSON, with repetitions), rss-<profile>.txt from
`ondrel-bench-probe rss`, drag-proof-<profile>.txt and machine.txt.  Every
figure is the median of the repetitions, in real (wall-clock) time.  A
benchmark that reported an error makes the summary fail: a wrong result has
no figure.
"""
import json
import pathlib
import re
import sys

WALK_FLOOR_RATIO = 1.5      # walk of a 10M profile within 1.5 times the floor
WALK_SECONDS = 0.5          # and under half a second
WINDOW_MS = 1.0             # a window at any entry under 1 ms
WINDOW_SAME = 1.5           # "the same at the last entry": the slowest window within 1.5x the first
EXPORT_SHARE = 0.5          # export at least half the speed of reading the data file
RSS_MB = 100.0              # resident memory with a 10M profile open
SEEK_MS = 1.0               # a seek at any key of a 10M profile under 1 ms
SEEK_FLAT = 2.0             # "flat": the slowest of first, middle and last within 2x the fastest
FIND_RATE = 10e6            # find: records a second through a record-ordered profile
FIND_SCATTERED_SHARE = 0.5  # and at least half that through a scattering one
SCATTERED_EXPORT = 2.0      # the export of the scattering profile within 2x the record-ordered one
EXPORT_CAT = {"text": 3.0, "csv": 4.0, "json": 4.0}  # export time within this of cat of the data file through a pipe
EXPORT_PEAK_MB = 32.0       # peak memory of an export of the record-ordered profile
EXPORT_PEAK_ANY_MB = 200.0  # and of any profile

UNIT_SECONDS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def load_runs(path):
    """Median real time in seconds and counters of each benchmark, by name."""
    data = json.loads(path.read_text())
    runs = {}
    singles = {}
    for b in data["benchmarks"]:
        if b.get("error_occurred"):
            sys.exit(f"benchmark {b['name']} failed: {b.get('error_message')}")
        name = b.get("run_name", b["name"]).removesuffix("/real_time")
        seconds = b["real_time"] * UNIT_SECONDS[b["time_unit"]]
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                runs[name] = (seconds, b)
        else:
            singles.setdefault(name, (seconds, b))
    for name, value in singles.items():
        runs.setdefault(name, value)
    return data.get("context", {}), runs


def seconds(runs, name):
    if name not in runs:
        sys.exit(f"no result for {name}")
    return runs[name][0]


def fmt_time(s):
    if s >= 1:
        return f"{s:.2f} s"
    if s >= 1e-3:
        return f"{s * 1e3:.1f} ms"
    if s >= 1e-6:
        return f"{s * 1e6:.1f} µs"
    return f"{s * 1e9:.0f} ns"


def fmt_rate(r):
    return f"{r / 1e6:.2f} M/s"


def fmt_ratio(x):
    return f"{x:.2f}×" if x < 100 else f"{x:,.0f}×"


def read_keyed(path):
    values = {}
    for line in path.read_text().splitlines():
        parts = line.split()
        if len(parts) == 2:
            values[parts[0]] = int(parts[1])
    return values


def main():
    results = pathlib.Path(sys.argv[1])
    context, runs = load_runs(results / "benchmarks.json")
    # In the order of the run: record counts, then node sizes.
    profiles = list(dict.fromkeys(n.split("/")[1] for n in runs if n.startswith("walk/")))
    counts = []
    for p in profiles:
        c = p.split("_")[0]
        if c not in counts:
            counts.append(c)
    records = {p: runs[f"window/{p}/last_entry"][1]["entry"] for p in profiles}

    out = []
    verdicts = []
    out.append("| Measure | " + " | ".join(p.replace("_", " entries, ") + "-byte nodes" for p in profiles) + " |")
    out.append("|---|" + "---|" * len(profiles))

    def row(label, cells):
        out.append(f"| {label} | " + " | ".join(cells) + " |")

    walk = {p: seconds(runs, f"walk/{p}") for p in profiles}
    floor = {p: seconds(runs, f"walk_floor/{p}") for p in profiles}
    row("Walk (reference information)", [fmt_time(walk[p]) for p in profiles])
    row("Floor: read the index file once", [fmt_time(floor[p]) for p in profiles])
    row("**Walk / floor**", [fmt_ratio(walk[p] / floor[p]) for p in profiles])

    points = ["first", "middle", "last_section", "last_entry"]
    point_names = {"first": "entry 1", "middle": "the middle entry",
                   "last_section": "the last section's first entry", "last_entry": "the last entry"}
    window = {p: {pt: seconds(runs, f"window/{p}/{pt}") for pt in points} for p in profiles}
    for pt in points:
        row(f"Window at {point_names[pt]}", [fmt_time(window[p][pt]) for p in profiles])
    row("**Window at the last entry / at entry 1**", [fmt_ratio(window[p]["last_entry"] / window[p]["first"]) for p in profiles])
    row("**Slowest window / window at entry 1**",
        [fmt_ratio(max(window[p].values()) / window[p]["first"]) for p in profiles])
    row("Thumb drag, per scroll event", [fmt_time(seconds(runs, f"drag/{p}")) for p in profiles])

    rate = {}
    for kind in ["floor", "cat", "text", "csv", "json"]:
        rate[kind] = {p: records[p] / seconds(runs, f"export_{kind}/{p}") for p in profiles}
    peak = {kind: {p: runs[f"export_{kind}/{p}"][1]["peak_MiB"] for p in profiles} for kind in ["text", "csv", "json"]}
    row("Floor: read the data file once", [fmt_rate(rate["floor"][p]) + " records" for p in profiles])
    row("cat of the data file through a pipe", [fmt_rate(rate["cat"][p]) + " records" for p in profiles])
    row("ondrel-export text", [fmt_rate(rate["text"][p]) + " records" for p in profiles])
    row("ondrel-export CSV", [fmt_rate(rate["csv"][p]) + " records" for p in profiles])
    row("ondrel-export JSON", [fmt_rate(rate["json"][p]) + " records" for p in profiles])
    row("**Export text / read**", [f"{rate['text'][p] / rate['floor'][p]:.3f}" for p in profiles])
    row("**Export CSV / read**", [f"{rate['csv'][p] / rate['floor'][p]:.3f}" for p in profiles])
    for kind, label in [("text", "text"), ("csv", "CSV"), ("json", "JSON")]:
        row(f"**Export {label} time / cat time**", [fmt_ratio(rate["cat"][p] / rate[kind][p]) for p in profiles])
    for kind, label in [("text", "text"), ("csv", "CSV"), ("json", "JSON")]:
        row(f"Export {label}: peak memory", [f"{peak[kind][p]:.1f} MiB" for p in profiles])

    out.append("")
    out.append("SQLite, `ORDER BY keyno LIMIT 21 OFFSET n` with an index on the key, against the "
               "viewer's window at the same entry (the viewer's figure is the best of its node sizes):")
    out.append("")
    out.append("| Entry | " + " | ".join(f"SQLite {c}" for c in counts) + " | "
               + " | ".join(f"**SQLite / ours, {c}**" for c in counts) + " |")
    out.append("|---|" + "---|" * (2 * len(counts)))
    for pt in points:
        cells = [fmt_time(seconds(runs, f"sqlite_window/{c}/{pt}")) for c in counts]
        for c in counts:
            ours = min(window[p][pt] for p in profiles if p.startswith(c + "_"))
            cells.append(fmt_ratio(seconds(runs, f"sqlite_window/{c}/{pt}") / ours))
        out.append(f"| {point_names[pt]} | " + " | ".join(cells) + " |")

    # Reaching a record by key and by text, and the whole scattering profile.
    keyed, scattered = "KEYNO", "BYNAME"
    wheres = ["first", "middle", "last"]
    out.append("")
    out.append(f"Reaching a record: the key seek at the first, middle and last key, the text search "
               f"through the whole profile, and the text export of the scattering profile {scattered} "
               f"against {keyed}'s:")
    out.append("")
    out.append("| Measure | " + " | ".join(p.replace("_", " entries, ") + "-byte nodes" for p in profiles) + " |")
    out.append("|---|" + "---|" * len(profiles))
    seek = {}
    for prof in [keyed, scattered]:
        for w in wheres:
            seek[prof, w] = {p: seconds(runs, f"seek/{p}/{prof}/{w}") for p in profiles}
            row(f"Seek in {prof}, {w} key", [fmt_time(seek[prof, w][p]) for p in profiles])
    find = {prof: {p: records[p] / seconds(runs, f"find/{p}/{prof}") for p in profiles} for prof in [keyed, scattered]}
    for prof in [keyed, scattered]:
        row(f"Find through {prof}", [fmt_rate(find[prof][p]) + " records" for p in profiles])
    scattered_text = {p: records[p] / seconds(runs, f"export_text/{p}/{scattered}") for p in profiles}
    scattered_peak = {p: runs[f"export_text/{p}/{scattered}"][1]["peak_MiB"] for p in profiles}
    row(f"ondrel-export text, {scattered}", [fmt_rate(scattered_text[p]) + " records" for p in profiles])
    row(f"ondrel-export text, {scattered}: peak memory", [f"{scattered_peak[p]:.1f} MiB" for p in profiles])
    row(f"**Export text: {scattered} time / {keyed} time**",
        [fmt_ratio(rate["text"][p] / scattered_text[p]) for p in profiles])

    out.append("")
    out.append("Resident memory of the headless core with a profile open (LoadFileSet, LoadProfile, "
               "the walk, the window at entry 1):")
    out.append("")
    out.append("| Profile | Before opening | Open | Peak | Leaves |")
    out.append("|---|---|---|---|---|")
    rss = {}
    for path in sorted(results.glob("rss-*.txt")):
        p = path.stem.removeprefix("rss-")
        v = read_keyed(path)
        rss[p] = v
        out.append(f"| {p.replace('_', ' entries, ')}-byte nodes | {v['rss_before_kib'] / 1024:.1f} MiB | "
                   f"{v['rss_open_kib'] / 1024:.1f} MiB | {v['rss_peak_kib'] / 1024:.1f} MiB | {v['leaves']} |")

    # Targets, judged on the largest profiles.
    big = [p for p in profiles if p.startswith(counts[-1] + "_")]
    for p in big:
        r = walk[p] / floor[p]
        verdicts.append((f"Walk of {p} within {WALK_FLOOR_RATIO}× the floor", r <= WALK_FLOOR_RATIO,
                         f"{fmt_ratio(r)} ({fmt_time(walk[p])} against {fmt_time(floor[p])})"
                         + ("" if r <= WALK_FLOOR_RATIO else f": missed by {r / WALK_FLOOR_RATIO:.1f} times")))
        verdicts.append((f"Walk of {p} under {WALK_SECONDS} s", walk[p] < WALK_SECONDS, fmt_time(walk[p])))
    worst = max(window[p][pt] for p in profiles for pt in points)
    verdicts.append((f"Every window under {WINDOW_MS:g} ms", worst < WINDOW_MS * 1e-3, f"slowest {fmt_time(worst)}"))
    same = max(max(window[p].values()) / window[p]["first"] for p in profiles)
    verdicts.append((f"Window at the end as fast as at entry 1 (slowest within {WINDOW_SAME}× the first)",
                     same <= WINDOW_SAME, f"worst slowest/first {fmt_ratio(same)}"))
    for kind in ["text", "csv"]:
        share = min(rate[kind][p] / rate["floor"][p] for p in profiles)
        verdicts.append((f"Export {kind} at least {EXPORT_SHARE} of reading the data file", share >= EXPORT_SHARE,
                         f"lowest {share:.3f}" + ("" if share >= EXPORT_SHARE
                                                  else f": missed by {EXPORT_SHARE / share:.0f} times")))
    for prof in [keyed, scattered]:
        slowest = max(seek[prof, w][p] for w in wheres for p in big)
        verdicts.append((f"Seek in {prof} under {SEEK_MS:g} ms at any key ({', '.join(big)})",
                         slowest < SEEK_MS * 1e-3, f"slowest {fmt_time(slowest)}"))
        flat = max(max(seek[prof, w][p] for w in wheres) / min(seek[prof, w][p] for w in wheres) for p in big)
        verdicts.append((f"Seek in {prof} flat from the first key to the last (within {SEEK_FLAT:g}×)",
                         flat <= SEEK_FLAT, f"worst slowest/fastest {fmt_ratio(flat)}"))
    lowest = min(find[keyed][p] for p in big)
    verdicts.append((f"Find through {keyed} at least {fmt_rate(FIND_RATE)} records", lowest >= FIND_RATE,
                     f"lowest {fmt_rate(lowest)} records" + ("" if lowest >= FIND_RATE
                                                             else f": missed by {FIND_RATE / lowest:.2f} times")))
    need = FIND_RATE * FIND_SCATTERED_SHARE
    lowest = min(find[scattered][p] for p in big)
    verdicts.append((f"Find through {scattered} at least {fmt_rate(need)} records", lowest >= need,
                     f"lowest {fmt_rate(lowest)} records" + ("" if lowest >= need
                                                             else f": missed by {need / lowest:.2f} times")))
    worst_export = max(rate["text"][p] / scattered_text[p] for p in big)
    verdicts.append((f"Export text of {scattered} within {SCATTERED_EXPORT:g}× {keyed}", worst_export <= SCATTERED_EXPORT,
                     f"worst {fmt_ratio(worst_export)}"))
    for kind, limit in EXPORT_CAT.items():
        worst = max(rate["cat"][p] / rate[kind][p] for p in profiles)
        verdicts.append((f"Export {kind} through a pipe within {limit:g}× cat of the data file", worst <= limit,
                         f"worst {fmt_ratio(worst)}"))
    mib = 1e6 / 2**20
    worst = max(peak[kind][p] for kind in peak for p in profiles)
    verdicts.append((f"Export of {keyed} under {EXPORT_PEAK_MB:g} MB at its peak", worst < EXPORT_PEAK_MB * mib,
                     f"highest {worst:.1f} MiB"))
    worst = max(scattered_peak.values())
    verdicts.append((f"Export of {scattered} under {EXPORT_PEAK_ANY_MB:g} MB at its peak",
                     worst < EXPORT_PEAK_ANY_MB * mib, f"highest {worst:.1f} MiB"))
    for p, v in rss.items():
        mb = v["rss_peak_kib"] / 1024
        verdicts.append((f"Resident memory with {p} open under {RSS_MB:g} MB (headless core)", mb < RSS_MB,
                         f"peak {mb:.1f} MiB"))
    for path in sorted(results.glob("drag-proof-*.txt")):
        text = path.read_text()
        ok = "no file touched while dragging" in text
        events = re.search(r"system calls during one window: (\d+)", text)
        verdicts.append((f"Thumb drag touches no file ({path.stem.removeprefix('drag-proof-')}, strace)", ok,
                         "0 system calls while dragging; "
                         f"{events.group(1) if events else '?'} for one window (opens and reads seen)"))

    out.append("")
    out.append("| Target | Met | Figure |")
    out.append("|---|---|---|")
    for label, met, figure in verdicts:
        out.append(f"| {label} | {'yes' if met else '**no**'} | {figure} |")

    machine = results / "machine.txt"
    if machine.exists():
        out.append("")
        out.append("Machine:")
        out.append("")
        for line in machine.read_text().splitlines():
            out.append(f"- {line}")
        if context.get("library_build_type") == "debug":
            out.append("- Google Benchmark library: Debian's build, which reports itself as a debug build "
                       "(it only times; the measured code is Release)")
        if "load_avg" in context:
            out.append("- Load average when the run began: " + ", ".join(f"{x:.2f}" for x in context["load_avg"]))
    print("\n".join(out))


if __name__ == "__main__":
    main()
