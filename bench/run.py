"""ZEL against the best-known values and OR-Tools on the TSPLIB benchmark.

    python bench/run.py --mode short    # eil51 and berlin52, 2-3 agents, 1 s (about a minute)
    python bench/run.py --mode full     # every case of the reference table, 1 s and 10 s

Each solve runs in a fresh process, so the peak memory read from the operating
system is that solve's own. Writes bench/results-MODE.json (every record), this
mode's section of bench/RESULTS.md and two pictures, bench/anytime-MODE.png and
bench/gaps-MODE.png. `--report-only` redraws them from the saved records.
"""

from __future__ import annotations

import argparse
import json
import os
import platform
import subprocess
import sys
import tempfile
import time
from dataclasses import asdict
import importlib.util
from importlib import metadata
from pathlib import Path

import cases as bench_cases
import report

HERE = Path(__file__).resolve().parent
DEFAULT_DATA = HERE.parent.parent / "shared" / "bench"
WORKERS = {"zel": HERE / "solve_zel.py", "ortools": HERE / "solve_ortools.py"}
MODES = {"short": [1.0], "full": [1.0, 10.0]}
OVER_LIMIT_INSTANCE = "a280"  # more nodes than the solver takes: shows how that is reported
GRACE_SECONDS = 120.0  # beyond the limit, for start-up and read-out, before a run counts as hung


def main() -> None:
    args = parse_args()
    records_path = HERE / f"results-{args.mode}.json"
    if args.report_only:
        meta = json.loads(records_path.read_text())
    else:
        meta = run_all(args)
        records_path.write_text(json.dumps(meta, indent=1) + "\n")
    write_report(meta, args.mode, args.results)


def parse_args() -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mode", choices=sorted(MODES), default="short")
    parser.add_argument("--data", type=Path,
                        default=Path(os.environ.get("ZEL_BENCH_DATA", DEFAULT_DATA)),
                        help="folder with reference.csv and tsplib/ (default: %(default)s)")
    parser.add_argument("--solvers", nargs="+", choices=sorted(WORKERS), default=["zel", "ortools"])
    parser.add_argument("--results", type=Path, default=HERE / "RESULTS.md")
    parser.add_argument("--report-only", action="store_true",
                        help="redraw the table and pictures from bench/results-MODE.json")
    return parser.parse_args()


def selected_cases(mode: str, data: Path) -> list[bench_cases.Case]:
    chosen = bench_cases.build_cases(bench_cases.read_reference(data / "reference.csv"))
    if mode == "short":
        chosen = bench_cases.short_selection(chosen)
    return chosen + [bench_cases.unreferenced_case(OVER_LIMIT_INSTANCE)]


def run_all(args: argparse.Namespace) -> dict:
    try:
        from pyzel import tsplib  # the one TSPLIB conversion
    except ImportError as err:
        raise SystemExit(f"{err}: run `pip install .` in the repository first") from None

    started = time.time()
    records = []
    with tempfile.TemporaryDirectory(prefix="zel-bench-") as scratch:
        for case in selected_cases(args.mode, args.data):
            doc = tsplib.to_instance(args.data / "tsplib" / f"{case.instance}.tsp", case.agents,
                                     case.objective, distances=case.distance)
            instance_path = Path(scratch) / f"{case.key.replace('/', '_')}.json"
            instance_path.write_text(json.dumps(doc))
            for limit in MODES[args.mode]:
                for solver in args.solvers:
                    record = measure(solver, case, len(doc["nodes"]), instance_path, limit)
                    print(progress_line(record), flush=True)
                    records.append(record)
    return {"mode": args.mode, "machine": machine(), "started": time.strftime(
        "%Y-%m-%d %H:%M", time.localtime(started)), "minutes": (time.time() - started) / 60,
        "records": records}


def measure(solver: str, case: bench_cases.Case, n: int, instance: Path, limit: float) -> dict:
    raw, peak_mib = run_worker(WORKERS[solver], instance, limit)
    record = {**asdict(case), "n": n, "solver": solver, "limit": limit, **raw,
              "peak_mib": peak_mib}
    anytime = record.setdefault("anytime", [])
    record["first_time"] = anytime[0][0] if anytime else None
    record["gap"] = report.gap_percent(record.get("best"), case.reference)
    for count, rate in (("n_generated", "gen_per_s"), ("n_expanded", "exp_per_s")):
        if record.get(count) is not None and record.get("solve_time"):
            record[rate] = record[count] / record["solve_time"]
    return record


def run_worker(script: Path, instance: Path, limit: float) -> tuple[dict, float]:
    """Runs one solve in a child process; returns its record and its peak resident
    memory in MiB, read from the child's own resource usage when it is reaped."""
    with tempfile.TemporaryDirectory(prefix="zel-run-") as scratch:
        out, err = Path(scratch) / "record.json", Path(scratch) / "stderr.txt"
        with open(err, "wb") as err_handle:
            command = [sys.executable, str(script), str(instance), str(limit), str(out)]
            proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=err_handle, cwd=HERE)
            status, usage, hung = reap(proc, limit + GRACE_SECONDS)
        peak_mib = usage.ru_maxrss / 1024.0  # Linux reports KiB
        code = os.waitstatus_to_exitcode(status)
        if code == 0 and out.exists():
            return json.loads(out.read_text()), peak_mib
        why = "hung, killed" if hung else f"worker exit status {code}"
        tail = err.read_text(errors="replace").strip().splitlines()[-1:] or [""]
        return {"status": "crashed", "error": f"{why}: {tail[0]}"}, peak_mib


def reap(proc: subprocess.Popen, timeout: float):
    """Waits for the child with wait4, the call that hands back that one child's usage."""
    deadline, hung = time.monotonic() + timeout, False
    while True:
        pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
        if pid:
            break
        if time.monotonic() > deadline:
            proc.kill()
            hung = True
            pid, status, usage = os.wait4(proc.pid, 0)
            break
        time.sleep(0.02)
    proc.returncode = os.waitstatus_to_exitcode(status)  # reaped here, not by Popen
    return status, usage, hung


def progress_line(r: dict) -> str:
    what = report.outcome(r) if r["status"] != "error" else r["error"]
    return (f"{r['instance']:>9} {r['objective']:>7} k={r['agents']} {r['distance']:>7} "
            f"{r['limit']:>4g}s {report.SOLVER_NAMES[r['solver']]:>8}: {what:>14}  "
            f"gap {report.fmt(r.get('gap'))}%  peak {report.fmt(r['peak_mib'], 0)} MiB")


def machine() -> dict:
    cpu = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as handle:
            cpu = next(line.split(":", 1)[1].strip() for line in handle
                       if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    try:
        ortools = metadata.version("ortools")
    except metadata.PackageNotFoundError:  # the peer is optional with --solvers zel
        ortools = "not installed"
    commit = subprocess.run(["git", "-C", str(HERE), "rev-parse", "--short", "HEAD"],
                            capture_output=True, text=True).stdout.strip() or "unknown"
    module = importlib.util.find_spec("_pyzel_core")
    built = time.strftime("%Y-%m-%d %H:%M", time.localtime(os.path.getmtime(module.origin))) \
        if module and module.origin else "not installed"
    return {"cpu": cpu, "cores": os.cpu_count(), "load": round(os.getloadavg()[0], 2),
            "python": platform.python_version(), "ortools": ortools, "commit": commit,
            "module_built": built}


def write_report(meta: dict, mode: str, results: Path) -> None:
    records = meta["records"]
    anytime_png, gaps_png = HERE / f"anytime-{mode}.png", HERE / f"gaps-{mode}.png"
    report.plot_anytime(records, anytime_png)
    report.plot_gaps(records, gaps_png)
    block = report.results_section(meta, mode, anytime_png.name, gaps_png.name)
    old = results.read_text(encoding="utf-8") if results.exists() else ""
    results.write_text(report.replace_block(old, mode, block), encoding="utf-8")
    print(f"wrote {results}, {anytime_png.name}, {gaps_png.name} and results-{mode}.json")


if __name__ == "__main__":
    main()
