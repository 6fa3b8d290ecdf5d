#!/usr/bin/env python3
"""Turns one run of ondrel-sql-bench into the SQL tables of BENCHMARKS.md.

    summarize_sql.py RESULTS_DIR

RESULTS_DIR holds sql-benchmarks.json (Google Benchmark's JSON, with
repetitions), written by run-benchmarks.sh.  Figures are medians in real
time; a benchmark that reported an error makes the summary fail.
"""
import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).parent))
from summarize import fmt_ratio, fmt_time, load_runs  # noqa: E402

PAGE_SECONDS = 0.010   # the last page of a 10M profile under 10 ms
SCATTER_RATIO = 2.0    # BYNAME within 2 times KEYNO
SQLITE_RATE = 1e6      # --sqlite at least a million records a second


def main():
    _, runs = load_runs(pathlib.Path(sys.argv[1]) / "sql-benchmarks.json")
    labels = sorted({n.split("/")[1] for n in runs if n.startswith("sql_page/")},
                    key=lambda l: (int(l.split("_")[0].rstrip("MK")) * (10**6 if "M" in l else 10**3),
                                   int(l.split("_")[1])))
    out = []
    targets = []

    def row(title, cells):
        out.append(f"| {title} | " + " | ".join(cells) + " |")

    def rate(name, label, suffix=""):
        key = f"{name}/{label}{suffix}"
        return runs[key][1]["records_per_s"] if key in runs else None

    out.append("| Measure | " + " | ".join(labels) + " |")
    out.append("|---" * (len(labels) + 1) + "|")
    row("Last page, `LIMIT 21 OFFSET n-21` (table queried before)",
        [fmt_time(runs[f"sql_page/{l}"][0]) for l in labels])
    row("The same in a new connection (walk included)", [fmt_time(runs[f"sql_page_first/{l}"][0]) for l in labels])
    for measure, title in (("sql_scan", "SQL scan"), ("export_text", "ondrel-export text"), ("check", "--check")):
        for profile in ("KEYNO", "BYNAME"):
            row(f"{title}, {profile}", [fmt_time(runs[f"{measure}/{l}/{profile}"][0]) for l in labels])
        ratios = [runs[f"{measure}/{l}/BYNAME"][0] / runs[f"{measure}/{l}/KEYNO"][0] for l in labels]
        row(f"**{title}: BYNAME / KEYNO**", [fmt_ratio(r) for r in ratios])
        worst = max(ratios)
        targets.append((f"{title} of BYNAME within {SCATTER_RATIO:g}x KEYNO", worst <= SCATTER_RATIO,
                        f"worst {fmt_ratio(worst)}"))
    rates = {l: rate("sqlite_export", l, "/iterations:1") for l in labels}
    row("ondrel-export --sqlite, records a second",
        [f"{r / 1e6:.2f} M/s" if r else "" for r in rates.values()])
    for l in labels:
        if l.startswith("10M"):
            s = runs[f"sql_page/{l}"][0]
            targets.append((f"Last page of {l} under 10 ms", s < PAGE_SECONDS, fmt_time(s)))
    for l, r in rates.items():
        if r:
            targets.append((f"--sqlite of {l} at least 1 M records a second", r >= SQLITE_RATE, f"{r / 1e6:.2f} M/s"))

    queries = sorted({n.split("/")[3] for n in runs if n.startswith("sql_key/ours/")})
    for l in labels:
        if not any(f"sql_key/ours/{l}/{q}" in runs for q in queries):
            continue
        out.append("")
        out.append(f"Queries by the key, {l}: the extension against SQLite's indexed table")
        out.append("")
        out.append("| Query | Ours | SQLite | **Ours / SQLite** |")
        out.append("|---|---|---|---|")
        for q in queries:
            ours, theirs = runs.get(f"sql_key/ours/{l}/{q}"), runs.get(f"sql_key/sqlite/{l}/{q}")
            if ours and theirs:
                out.append(f"| {q} | {fmt_time(ours[0])} | {fmt_time(theirs[0])} | {fmt_ratio(ours[0] / theirs[0])} |")

    out.append("")
    out.append("| Target | Met | Figure |")
    out.append("|---|---|---|")
    for title, met, figure in targets:
        out.append(f"| {title} | {'yes' if met else '**no**'} | {figure} |")
    print("\n".join(out))


if __name__ == "__main__":
    main()
