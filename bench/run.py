"""ZEL against OR-Tools and PyVRP: TSPLIB with best-known values, the literature's
min-max Set I, or generated sets.

    python bench/run.py --mode short                     # TSPLIB: eil51 and berlin52, 2-3 agents, 1 s
    python bench/run.py --mode full                      # TSPLIB: every reference case, 1 s and 10 s
    python bench/run.py --set constrained --mode short   # the five classes at 60 nodes, 1 s
    python bench/run.py --set constrained --mode full    # 60, 120 and 200 nodes, 1 s and 10 s
    python bench/run.py --set large --mode short         # uniform, 500 nodes, 5 agents, 10 s
    python bench/run.py --set large --mode full          # a280, 500-2000 nodes, 5-20 agents, 10 s and 60 s
    python bench/run.py --set minmax --mode short        # Set I, the three smallest instances, 10 s
    python bench/run.py --set minmax --mode full         # Set I, every informative pair, n/10 s and 10 s
    python bench/run.py --set hard --mode short          # tight windows, every rule, windows beyond 256: 1 s
    python bench/run.py --set hard --mode full           # the same at 1 s and 10 s
    python bench/run.py --set cvrp --mode full           # X instances: min-sum 10 s and 60 s, min-max 10 s
    python bench/run.py --set vrptw --mode full          # the 1,000-customer windows instances, 60 s
    python bench/run.py --set fleet --mode full          # generated fleets: capacities, service, windows, 10 s
    python bench/run.py --set precedence --mode full     # sequence pairs: pd, chain, mix, 60-250 nodes, 10 s
    python bench/run.py --set overfleet --mode full      # optional targets: over, prize, 60-250 nodes, 1 s and 10 s

The fleet sets (cvrp, vrptw, fleet) run each objective against its peers only (PLANS):
min-sum against PyVRP (and OR-Tools on the generated fleets), min-max against OR-Tools; the
rule sets (precedence, overfleet) against OR-Tools, and PyVRP where it models the case
(min-sum with optional targets, no pairs).
`--jobs 2` runs the solvers of one case side by side, each on one thread.
`--threads N` gives ZEL's improvement phase N walks at once (threads 1 vs 2 on a
2-core machine: the 2-thread answer at T against the 1-thread answer at 2T, e.g.
`--threads 1 --limits 2` and `--threads 2 --limits 1`, each with its --block, then
bench/compare_threads.py); `--to-limit` lets every ZEL run go on to its limit, as
the fleet sets always do.

Each solve runs in a fresh process, so the peak memory read from the operating
system is that solve's own. Writes the records (JSON), a Markdown section and two
pictures to bench/out/ (untracked); `--write-results` writes them to the tracked
files in bench/ instead (results-*.json, its section of RESULTS.md, the pictures).
`--report-only` redraws the section and the pictures from the saved records.
"""

from __future__ import annotations

import argparse
import importlib.util
import json
import os
import platform
import re
import subprocess
import sys
import tempfile
import time
from dataclasses import asdict
from importlib import metadata
from pathlib import Path

from concurrent.futures import ThreadPoolExecutor

import cases as bench_cases
import generate
import generate_rules
import large
import report
import routes

HERE = Path(__file__).resolve().parent
OUT = HERE / "out"
# solver -> worker script and its extra arguments
WORKERS = {
    "zel": (HERE / "solve_zel.py", []),
    "zel-improve": (HERE / "solve_zel.py", ["--improve"]),
    "ortools": (HERE / "solve_ortools.py", []),
    "pyvrp": (HERE / "solve_pyvrp.py", []),
}
NEEDS = {"zel": "_pyzel_core", "zel-improve": "_pyzel_core", "ortools": "ortools", "pyvrp": "pyvrp"}
MIN_SUM_ONLY = {"pyvrp"}
LIMITS = {"short": ["1"], "full": ["1", "10"]}
SET_LIMITS = {"large": {"short": ["10"], "full": ["10", "60"]},
              "minmax": {"short": ["10"], "full": ["n/10", "10"]}}
MINMAX_SHORT = ("mtsp51", "mtsp100", "rand100")
PER_NODE_LIMIT = re.compile(r"n/(\d+(?:\.\d*)?|\.\d+)")  # "n/10": a tenth of a second per node
SIZES = {"short": (60,), "full": generate.SIZES}
OVER_LIMIT_INSTANCE = "a280"  # more nodes than the search takes: shows how that is reported
GRACE_SECONDS = 120.0  # beyond the limit, for start-up and read-out, before a run counts as hung
# The fleet sets: per objective, the solvers and the limits of each mode. Above 256 nodes,
# and for "minimise": "distance", ZEL takes the improvement phase.
PLANS = {
    "cvrp": {"min_sum": (("zel-improve", "pyvrp"), {"short": ["10"], "full": ["10", "60"]}),
             "min_max": (("zel-improve", "ortools"), {"short": ["10"], "full": ["10"]})},
    "vrptw": {"min_sum": (("zel-improve", "pyvrp"), {"short": ["60"], "full": ["60"]})},
    "fleet": {"min_sum": (("zel-improve", "pyvrp", "ortools"), {"short": ["10"], "full": ["10"]}),
              "min_max": (("zel-improve", "ortools"), {"short": ["10"], "full": ["10"]})},
    # Pairs and penalties are honoured by the improvement phase alone.
    "precedence": {"min_sum": (("zel-improve", "ortools"), {"short": ["10"], "full": ["10"]}),
                   "min_max": (("zel-improve", "ortools"), {"short": ["10"], "full": ["10"]})},
    "overfleet": {"min_sum": (("zel-improve", "pyvrp", "ortools"), {"short": ["1"], "full": ["1", "10"]}),
                  "min_max": (("zel-improve", "ortools"), {"short": ["1"], "full": ["1", "10"]})},
}
RULE_SETS = {"precedence": generate_rules.PRECEDENCE_CLASSES,
             "overfleet": generate_rules.OVERFLEET_CLASSES}
VRPLIB_SHORT = {"cvrp": ("X-n101-k25", "X-n106-k14"), "vrptw": ("C1_10_1",)}
# The fleet sets give ZEL the whole limit, as the peers take it: the phase otherwise ends
# on its own after 50 iterations per target without a better solution.
RUN_TO_LIMIT = {"improve_stall": 10**12}


def main() -> None:
    args = parse_args()
    out_dir = HERE if args.write_results else OUT
    out_dir.mkdir(exist_ok=True)
    block = args.block or (args.mode if args.set == "tsplib" else f"{args.set}-{args.mode}")
    records_path = out_dir / f"results-{block}.json"
    if args.report_only:
        meta = json.loads(records_path.read_text())
    else:
        meta = run_all(args)
        records_path.write_text(json.dumps(meta, indent=1) + "\n")
        print(f"wrote {records_path}")
    write_report(meta, block, out_dir)


def parse_args() -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--set", choices=["tsplib", "constrained", "large", "minmax", "hard",
                                          *PLANS], default="tsplib")
    parser.add_argument("--objectives", nargs="+", choices=generate.OBJECTIVES,
                        help="cvrp, fleet, precedence and overfleet only: only these objectives")
    parser.add_argument("--jobs", type=int, choices=(1, 2), default=1,
                        help="solves at once: 2 runs a case's solvers side by side")
    parser.add_argument("--mode", choices=sorted(LIMITS), default="short")
    parser.add_argument("--threads", type=int, default=None, metavar="N",
                        help="ZEL's improvement phase runs N walks at once (default: the core's own, 1)")
    parser.add_argument("--to-limit", action="store_true",
                        help="no phase ends on its own before the limit (its stall rule lifted)")
    parser.add_argument("--data", type=Path, default=None,
                        help="TSPLIB, Set I and a280: folder with reference.csv, tsplib/ and "
                             "minmax/ (default: "
                             "$ZEL_BENCH_DATA, else shared/bench beside the repository)")
    parser.add_argument("--solvers", nargs="+", choices=list(WORKERS), default=None,
                        help="default: every solver whose module is installed")
    parser.add_argument("--limits", type=limit_label, nargs="+",
                        help="seconds (or n/D: the node count over D), instead of the mode's")
    parser.add_argument("--classes", nargs="+", choices=[*generate.BUILDERS, *generate_rules.BUILDERS],
                        default=None, help="constrained, hard, fleet, precedence and overfleet only "
                                           "(default: every class of the set)")
    parser.add_argument("--sizes", type=int, nargs="+",
                        help="constrained, large, hard and fleet only, instead of the mode's")
    parser.add_argument("--seed", type=int, default=generate.DEFAULT_SEED,
                        help="constrained, large and hard only")
    parser.add_argument("--agents", type=int, nargs="+",
                        help="large: instead of 5 10 20; minmax: only these agent counts")
    parser.add_argument("--instances", nargs="+", help="minmax, cvrp and vrptw only: only these "
                                                       "instances")
    parser.add_argument("--include-trivial", action="store_true",
                        help="minmax only: also the pairs whose best known equals the trivial "
                             "bound 2·max d(depot, i)")
    parser.add_argument("--layouts", nargs="+", choices=large.LAYOUTS, default=None,
                        help="large only (default: every layout)")
    parser.add_argument("--block", help="the name of the run's section and files, instead of "
                                        "the one of set and mode")
    parser.add_argument("--write-results", action="store_true",
                        help="write to the tracked files in bench/ instead of bench/out/")
    parser.add_argument("--report-only", action="store_true",
                        help="redraw the section and the pictures from the saved records")
    return parser.parse_args()


def limit_label(text: str) -> str:
    """A time limit as given: seconds ("10", "0.5") or seconds per node ("n/10"), in one
    canonical spelling."""
    rule = PER_NODE_LIMIT.fullmatch(text.strip())
    try:
        value = float(rule[1] if rule else text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"{text!r}: seconds or n/D expected") from None
    if not 0 < value < float("inf"):
        raise argparse.ArgumentTypeError(f"{text!r}: must be positive and finite")
    return f"n/{value:g}" if rule else f"{value:g}"


def limit_seconds(label: str, n: int) -> float:
    """The seconds a limit gives an instance of `n` nodes."""
    rule = PER_NODE_LIMIT.fullmatch(label)
    return n / float(rule[1]) if rule else float(label)


def installed_solvers(chosen: list[str] | None) -> list[str]:
    if chosen is not None:
        return chosen
    found = [s for s in WORKERS if importlib.util.find_spec(NEEDS[s]) is not None]
    for s in WORKERS:
        if s not in found:
            print(f"{report.SOLVER_NAMES[s]} left out: {NEEDS[s]} is not installed "
                  "(pip install -r bench/requirements.txt)", flush=True)
    return found


def find_data(given: Path | None) -> Path:
    """The TSPLIB data: --data, $ZEL_BENCH_DATA, or shared/bench beside the repository
    (looked for beside this checkout as written and as resolved, and above the current
    folder)."""
    if given is None and os.environ.get("ZEL_BENCH_DATA"):
        given = Path(os.environ["ZEL_BENCH_DATA"])
    if given is not None:
        candidates = [given]
    else:
        written = Path(os.path.abspath(__file__)).parent
        candidates = [d.parent.parent / "shared" / "bench" for d in (written, HERE)]
        candidates += [p / "shared" / "bench" for p in Path.cwd().parents]
    for folder in candidates:
        if (folder / "reference.csv").is_file():
            return folder
    looked = ", ".join(dict.fromkeys(str(c) for c in candidates))
    raise SystemExit(f"no reference.csv found (looked in {looked}); pass --data DIR or set "
                     "ZEL_BENCH_DATA, or use --set constrained, which needs no data")


def tsplib_documents(mode: str, data: Path):
    """(case, document) pairs of the TSPLIB set."""
    from pyzel import tsplib  # the one TSPLIB conversion

    chosen = bench_cases.build_cases(bench_cases.read_reference(data / "reference.csv"))
    if mode == "short":
        chosen = bench_cases.short_selection(chosen)
    for case in chosen + [bench_cases.unreferenced_case(OVER_LIMIT_INSTANCE)]:
        yield case, tsplib.to_instance(data / "tsplib" / f"{case.instance}.tsp", case.agents,
                                       case.objective, distances=case.distance)


def minmax_documents(args: argparse.Namespace, data: Path):
    """(case, document) pairs of Set I: node 1 the depot, as the TSPLIB set converts them."""
    from pyzel import tsplib  # the one TSPLIB conversion

    folder = data / "minmax"
    files = {p.stem.lower(): p for p in folder.glob("*.tsp")}  # the table writes kroa200
    names = {name.lower() for name in args.instances or
             (MINMAX_SHORT if args.mode == "short" else ())}
    for case in bench_cases.read_minmax(folder / "bks.csv", args.include_trivial):
        if (names and case.instance.lower() not in names) or \
                (args.agents and case.agents not in args.agents):
            continue
        doc = tsplib.to_instance(files[case.instance.lower()], case.agents, "min_max",
                                 distances=case.distance)
        yield case, doc


def vrplib_documents(args: argparse.Namespace, data: Path):
    """(case, document) pairs of a VRPLIB set: the fleet of the best solution's routes,
    its cost the reference of min-sum; min-max has none (gaps to the best found)."""
    import vrplib  # noqa: PLC0415  # the benchmark's own requirement
    from pyzel import vrp  # the one VRPLIB conversion

    names = args.instances or (VRPLIB_SHORT[args.set] if args.mode == "short" else ())
    for path in sorted((data / args.set).glob("*.vrp")):
        if names and path.stem not in names:
            continue
        best = float(vrplib.read_solution(str(path.with_suffix(".sol")))["cost"])
        for objective in PLANS[args.set]:
            if args.objectives and objective not in args.objectives:
                continue
            doc = vrp.to_instance(path, objective=objective)
            distance = "truncated" if args.set == "vrptw" else "rounded"
            known = objective == "min_sum"
            yield bench_cases.Case(path.stem, objective, len(doc["agents"]), distance,
                                   best if known else None, "best known" if known else "",
                                   family=args.set), doc


def constrained_documents(args: argparse.Namespace):
    """(case, document) pairs of a generated set: the constrained one or the hard one."""
    if args.set == "fleet":
        sizes = tuple(args.sizes or ((60,) if args.mode == "short" else generate.FLEET_SIZES))
        docs = [d for d in generate.fleet_set(args.seed, tuple(args.classes or generate.FLEET_CLASSES),
                                              sizes)
                if not args.objectives or d["options"]["objective"] in args.objectives]
    elif args.set == "hard":
        classes = tuple(args.classes or generate.HARD_SIZES)
        docs = generate.hard_set(args.seed, classes, tuple(args.sizes or ()) or None)
    else:
        sizes = tuple(args.sizes or SIZES[args.mode])
        docs = generate.constrained_set(args.seed, sizes, tuple(args.classes or generate.CLASSES))
    for doc in docs:
        known = generate.known_result(doc)["statistics"]
        constructed = known["max_cost" if doc["options"]["objective"] == "min_max" else "sum_cost"]
        yield bench_cases.generated_case(doc, constructed), doc


def rule_documents(args: argparse.Namespace):
    """(case, document) pairs of a rule set; `constructed` is the plan's objective, the
    penalties of the targets it leaves out included."""
    sizes = tuple(args.sizes or ((60,) if args.mode == "short" else generate_rules.SIZES))
    classes = tuple(args.classes or RULE_SETS[args.set])
    for doc in generate_rules.precedence_set(args.seed, sizes, classes):
        objective = doc["options"]["objective"]
        if not args.objectives or objective in args.objectives:
            constructed = routes.objective_value(generate.known_result(doc), objective)
            yield bench_cases.generated_case(doc, constructed), doc


def large_documents(args: argparse.Namespace):
    """(case, document) pairs of the large set; a280 is read from the TSPLIB data."""
    short = args.mode == "short"
    layouts = tuple(args.layouts or (("uniform",) if short else large.LAYOUTS))
    sizes = tuple(args.sizes or ((500,) if short else large.SIZES))
    agents = tuple(args.agents or ((5,) if short else large.AGENTS))
    a280 = find_data(args.data) / "tsplib" / "a280.tsp" if "a280" in layouts else None
    for family, doc in large.large_set(args.seed, sizes, agents, layouts, a280):
        case = bench_cases.generated_case(doc, None)
        yield bench_cases.Case(case.instance, case.objective, case.agents, case.distance, None,
                               "", family=family), doc


def run_all(args: argparse.Namespace) -> dict:
    if importlib.util.find_spec("pyzel") is None:
        raise SystemExit("pyzel is not installed: run `pip install .` in the repository first")
    solvers = installed_solvers(args.solvers)
    if args.set == "large" and args.solvers is None:
        solvers = [s for s in solvers if s != "zel"]  # the search refuses them all
    documents = {"tsplib": lambda: tsplib_documents(args.mode, find_data(args.data)),
                 "constrained": lambda: constrained_documents(args),
                 "hard": lambda: constrained_documents(args),
                 "minmax": lambda: minmax_documents(args, find_data(args.data)),
                 "large": lambda: large_documents(args),
                 "cvrp": lambda: vrplib_documents(args, find_data(args.data)),
                 "vrptw": lambda: vrplib_documents(args, find_data(args.data)),
                 "fleet": lambda: constrained_documents(args),
                 "precedence": lambda: rule_documents(args),
                 "overfleet": lambda: rule_documents(args)}[args.set]()
    started = time.time()
    records = []
    with tempfile.TemporaryDirectory(prefix="zel-bench-") as scratch, \
            ThreadPoolExecutor(max_workers=args.jobs) as pool:
        for case, doc in documents:
            instance_path = Path(scratch) / f"{case.key.replace('/', '_')}.json"
            if args.set in PLANS or args.to_limit:
                doc["options"].update(RUN_TO_LIMIT)
            instance_path.write_text(json.dumps(doc))
            n = len(doc["nodes"])
            chosen, labels = plan(args, solvers, case.objective)
            for label in labels:
                runs = [(solver, pool.submit(measure, solver, case, n, instance_path,
                                             limit_seconds(label, n), args.threads))
                        for solver in chosen
                        if not (solver in MIN_SUM_ONLY and case.objective != "min_sum")]
                for solver, run in runs:
                    record = run.result()
                    record["limit_rule"] = label
                    print(progress_line(record), flush=True)
                    records.append(record)
            instance_path.unlink()
    if args.set in RULE_SETS:
        report.gaps_to_better_peer(records)
    elif args.set not in ("tsplib", "minmax"):
        report.gaps_to_best_found(records)
    return {"set": args.set, "mode": args.mode, "seed": args.seed
            if args.set not in ("tsplib", "minmax", "cvrp", "vrptw") else None,
            "limits": sorted({r["limit_rule"] for r in records}, key=report.limit_order),
            "jobs": args.jobs, "threads": args.threads, "machine": machine(),
            "command": " ".join(sys.argv[1:]),
            "started": time.strftime("%Y-%m-%d %H:%M", time.localtime(started)),
            "minutes": (time.time() - started) / 60, "records": records}


def plan(args: argparse.Namespace, solvers: list[str], objective: str) -> tuple[list[str], list[str]]:
    """The solvers and limits of a case: a fleet set's plan for its objective, narrowed to
    the installed (or chosen) solvers; --limits replaces the plan's limits."""
    if args.set not in PLANS:
        return solvers, args.limits or SET_LIMITS.get(args.set, LIMITS)[args.mode]
    peers, limits = PLANS[args.set][objective]
    return [s for s in peers if s in solvers], args.limits or limits[args.mode]


def measure(solver: str, case: bench_cases.Case, n: int, instance: Path, limit: float,
            threads: int | None = None) -> dict:
    script, extra = WORKERS[solver]
    if threads is not None and solver.startswith("zel"):
        extra = [*extra, "--threads", str(threads)]
    raw, peak_mib = run_worker(script, extra, instance, limit)
    record = {**asdict(case), "n": n, "solver": solver, "limit": limit, **raw,
              "peak_mib": peak_mib}
    anytime = record.setdefault("anytime", [])
    record["first_time"] = anytime[0][0] if anytime else None
    record["gap"] = report.gap_percent(record.get("best"), case.reference) \
        if report.solved(record) else None
    for count, rate in (("n_generated", "gen_per_s"), ("n_expanded", "exp_per_s")):
        if record.get(count) is not None and record.get("solve_time"):
            record[rate] = record[count] / record["solve_time"]
    return record


def run_worker(script: Path, extra: list[str], instance: Path, limit: float) -> tuple[dict, float]:
    """Runs one solve in a child process; returns its record and its peak resident
    memory in MiB, read from the child's own resource usage when it is reaped."""
    with tempfile.TemporaryDirectory(prefix="zel-run-") as scratch:
        out, err = Path(scratch) / "record.json", Path(scratch) / "stderr.txt"
        with open(err, "wb") as err_handle:
            command = [sys.executable, str(script), str(instance), str(limit), str(out), *extra]
            proc = subprocess.Popen(command, stdout=subprocess.DEVNULL, stderr=err_handle, cwd=HERE)
            status, usage, hung = reap(proc, limit + GRACE_SECONDS)
        peak_mib = usage.ru_maxrss / 1024.0  # Linux reports KiB
        code = os.waitstatus_to_exitcode(status)
        if code == 0 and out.exists():
            record = json.loads(out.read_text())
            own = record.pop("own_peak_mib", None)  # without the runner's memory at the fork
            return record, own if own is not None else peak_mib
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
    gap = f"gap {report.fmt(r.get('gap'))}%  " if r.get("reference") is not None else ""
    return (f"{r['instance']:>10} {r['objective']:>7} k={r['agents']} {r['distance']:>7} "
            f"{r['limit']:>4g}s {report.SOLVER_NAMES[r['solver']]:>11}: {what:>14}  "
            f"{gap}first {report.fmt(r.get('first_time'), 3)} s  "
            f"peak {report.fmt(r['peak_mib'], 0)} MiB")


def machine() -> dict:
    cpu = platform.processor() or platform.machine()
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as handle:
            cpu = next(line.split(":", 1)[1].strip() for line in handle
                       if line.startswith("model name"))
    except (OSError, StopIteration):
        pass
    versions = {}
    for package in ("ortools", "pyvrp"):
        try:
            versions[package] = metadata.version(package)
        except metadata.PackageNotFoundError:  # the peers are optional
            versions[package] = "not installed"
    commit = subprocess.run(["git", "-C", str(HERE), "rev-parse", "--short", "HEAD"],
                            capture_output=True, text=True).stdout.strip() or "unknown"
    module = importlib.util.find_spec("_pyzel_core")
    built = time.strftime("%Y-%m-%d %H:%M", time.localtime(os.path.getmtime(module.origin))) \
        if module and module.origin else "not installed"
    return {"cpu": cpu, "cores": os.cpu_count(), "load": round(os.getloadavg()[0], 2),
            "python": platform.python_version(), **versions, "commit": commit,
            "module_built": built}


def write_report(meta: dict, block: str, out_dir: Path) -> None:
    records = meta["records"]
    anytime_png, gaps_png = out_dir / f"anytime-{block}.png", out_dir / f"gaps-{block}.png"
    report.plot_anytime(records, anytime_png)
    report.plot_gaps(records, gaps_png)
    section = report.results_section(meta, block, anytime_png.name, gaps_png.name)
    results = out_dir / "RESULTS.md"
    old = results.read_text(encoding="utf-8") if results.exists() else ""
    results.write_text(report.replace_block(old, block, section), encoding="utf-8")
    print(f"wrote {results}, {anytime_png.name} and {gaps_png.name}")


if __name__ == "__main__":
    main()
