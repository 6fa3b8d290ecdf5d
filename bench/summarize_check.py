#!/usr/bin/env python3
"""Turns one run of ondrel-check-bench into the table of BENCHMARKS.md.

    summarize_check.py RESULTS_DIR

RESULTS_DIR holds check.json (Google Benchmark's JSON, with repetitions) as
run-benchmarks.sh leaves it.  Every figure is the median of the
repetitions, in real (wall-clock) time.  A benchmark that reported an error
makes the summary fail: a wrong result has no figure.
"""
import json
import pathlib
import sys

SCATTERED_RATIO = 2.0   # BYNAME within 2 times KEYNO
FLOOR_RATIO = 3.0       # KEYNO within 3 times reading its index and data files once

UNIT_SECONDS = {"ns": 1e-9, "us": 1e-6, "ms": 1e-3, "s": 1.0}


def load(path):
    data = json.loads(path.read_text())
    runs, singles = {}, {}
    for b in data["benchmarks"]:
        if b.get("error_occurred"):
            sys.exit(f"benchmark {b['name']} failed: {b.get('error_message')}")
        name = b.get("run_name", b["name"]).removesuffix("/real_time")
        value = (b["real_time"] * UNIT_SECONDS[b["time_unit"]], b)
        if b.get("run_type") == "aggregate":
            if b.get("aggregate_name") == "median":
                runs[name] = value
        else:
            singles.setdefault(name, value)
    for name, value in singles.items():
        runs.setdefault(name, value)
    return runs


def fmt_time(s):
    return f"{s:.2f} s" if s >= 1 else f"{s * 1e3:.0f} ms"


def main():
    runs = load(pathlib.Path(sys.argv[1]) / "check.json")
    profiles = list(dict.fromkeys(n.split("/")[1] for n in runs if n.startswith("check_floor/")))
    out = ["| Measure | " + " | ".join(p.replace("_", " entries, ") + "-byte nodes" for p in profiles) + " |",
           "|---|" + "---|" * len(profiles)]

    def row(label, cells):
        out.append(f"| {label} | " + " | ".join(cells) + " |")

    floor = {p: runs[f"check_floor/{p}"][0] for p in profiles}
    keyno = {p: runs[f"check/{p}/KEYNO"][0] for p in profiles}
    byname = {p: runs[f"check/{p}/BYNAME"][0] for p in profiles}
    peak = {p: max(runs[f"check/{p}/{k}"][1]["peak_kib"] for k in ("KEYNO", "BYNAME")) for p in profiles}
    row("Floor: read the index and data files once", [fmt_time(floor[p]) for p in profiles])
    row("Check of KEYNO (record order)", [fmt_time(keyno[p]) for p in profiles])
    row("Check of BYNAME (scattered)", [fmt_time(byname[p]) for p in profiles])
    row("**KEYNO / floor**", [f"{keyno[p] / floor[p]:.2f}×" for p in profiles])
    row("**BYNAME / KEYNO**", [f"{byname[p] / keyno[p]:.2f}×" for p in profiles])
    row("Peak resident memory of the check", [f"{peak[p] / 1024:.1f} MiB" for p in profiles])

    out += ["", "| Target | Met | Figure |", "|---|---|---|"]
    big = [p for p in profiles if p.startswith(profiles[-1].split("_")[0] + "_")]
    for p in big:
        r = byname[p] / keyno[p]
        out.append(f"| Check of BYNAME within {SCATTERED_RATIO:g}× KEYNO ({p}) | {'yes' if r <= SCATTERED_RATIO else '**no**'}"
                   f" | {r:.2f}× ({fmt_time(byname[p])} against {fmt_time(keyno[p])}) |")
        r = keyno[p] / floor[p]
        out.append(f"| Check of KEYNO within {FLOOR_RATIO:g}× reading its files once ({p}) | "
                   f"{'yes' if r <= FLOOR_RATIO else '**no**'} | {r:.2f}× ({fmt_time(keyno[p])} against "
                   f"{fmt_time(floor[p])}) |")
    print("\n".join(out))


if __name__ == "__main__":
    main()
