"""Two builds of ZEL's improvement phase side by side, solve by solve, so that both
see the same machine load (each solve alternates between them).

    python bench/compare_builds.py run --build base=/tmp/base/.venv/bin/python \\
        --build new=.venv/bin/python --limit 1 --match eil51 berlin52 eil76 rat99
    python bench/compare_builds.py run ... --limit 10 --match setI-lin318
    python bench/compare_builds.py report

Cases, each run once per seed (default 0 and 1) and build, one solve per process:
`tsplib` rows of the reference table for eil51, berlin52, eil76 and rat99
(key `INSTANCE-OBJECTIVE-AGENTS-DISTANCE`), the Set I min-max pairs of
../shared/bench/minmax for mtsp100, kroA200 and lin318 at 3 and 5 agents
(`setI-INSTANCE-M`), and the generated constrained set at every size (`con-NAME`).
`--match` keeps the cases whose key starts with one of the given prefixes.
Records are appended to bench/out/compare.jsonl; `report` prints the mean gap per
group, limit and build (to the best known, or for generated instances to the best
any recorded run found), then the per-case means.
"""

from __future__ import annotations

import argparse
import csv
import json
import os
import statistics
import subprocess
import sys
import tempfile
from collections import defaultdict
from pathlib import Path

import cases as bench_cases
import generate

HERE = Path(__file__).resolve().parent
RECORDS = HERE / "out" / "compare.jsonl"
TSPLIB = ("eil51", "berlin52", "eil76", "rat99")
SET_I = (("mtsp100", 3), ("mtsp100", 5), ("kroA200", 3), ("kroA200", 5), ("lin318", 3), ("lin318", 5))


def all_cases(data: Path):
    """(key, group, reference, document) for every case, documents built lazily."""
    from pyzel import tsplib

    for c in bench_cases.build_cases(bench_cases.read_reference(data / "reference.csv")):
        if c.instance in TSPLIB:
            yield (f"{c.instance}-{c.objective}-{c.agents}-{c.distance}", f"tsplib-{c.objective}",
                   c.reference, lambda c=c: tsplib.to_instance(data / "tsplib" / f"{c.instance}.tsp",
                                                              c.agents, c.objective, distances=c.distance))
    with open(data / "minmax" / "bks.csv", newline="", encoding="utf-8") as handle:
        known = {(r["instance"].lower(), int(r["m"])): float(r["best_known"]) for r in csv.DictReader(handle)}
    for name, m in SET_I:
        yield (f"setI-{name}-{m}", "setI-min_max", known[(name.lower(), m)],
               lambda name=name, m=m: tsplib.to_instance(data / "minmax" / f"{name}.tsp", m, "min_max",
                                                         distances="real"))
    for doc in generate.constrained_set(generate.DEFAULT_SEED, generate.SIZES, generate.CLASSES):
        objective = doc["options"]["objective"]
        yield f"con-{doc['name']}-{objective}", f"constrained-{objective}", None, lambda doc=doc: doc


def run(args: argparse.Namespace) -> None:
    # Absolute, not resolved: a venv's interpreter is a link whose place selects the venv.
    builds = {name: os.path.abspath(python) for name, python in (b.split("=", 1) for b in args.build)}
    RECORDS.parent.mkdir(exist_ok=True)
    with open(RECORDS, "a", encoding="utf-8") as out, tempfile.TemporaryDirectory() as scratch:
        for key, group, reference, make in all_cases(args.data):
            if args.match and not key.startswith(tuple(args.match)):
                continue
            doc = make()
            for seed in args.seeds:
                instance, record_path = Path(scratch) / "instance.json", Path(scratch) / "record.json"
                instance.write_text(json.dumps({**doc, "options": {**doc.get("options", {}), "seed": seed}}))
                for name, python in builds.items():
                    record_path.unlink(missing_ok=True)
                    subprocess.run([python, str(HERE / "solve_zel.py"), str(instance), str(args.limit),
                                    str(record_path), "--improve"], cwd=HERE, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, timeout=args.limit + 60, check=False)
                    raw = json.loads(record_path.read_text()) if record_path.exists() else {"status": "crashed"}
                    solved = raw.get("status") == "success" and not raw.get("problems")
                    record = {"key": key, "group": group, "reference": reference, "build": name,
                              "seed": seed, "limit": args.limit, "best": raw.get("best") if solved else None,
                              "iterations": raw.get("n_expanded")}
                    out.write(json.dumps(record) + "\n")
                    out.flush()
                    print(key, name, seed, args.limit, record["best"], flush=True)


def report(_: argparse.Namespace) -> None:
    records = [json.loads(line) for line in RECORDS.read_text().splitlines()]
    best_found: dict[str, float] = {}
    for r in records:
        if r["best"] is not None:
            best_found[r["key"]] = min(best_found.get(r["key"], r["best"]), r["best"])
    gaps, unsolved, per_case = defaultdict(list), defaultdict(int), defaultdict(list)
    for r in records:
        row = (r["group"], r["limit"], r["build"])
        if r["best"] is None:
            unsolved[row] += 1
            continue
        reference = r["reference"] or best_found[r["key"]]
        gap = 100.0 * (r["best"] - reference) / reference
        gaps[row].append(gap)
        per_case[(r["key"], r["limit"], r["build"])].append(gap)
    print(f"{'group':22} {'limit':>6} {'build':10} {'runs':>4} {'mean %':>8} {'worst %':>8} unsolved")
    for row in sorted(set(gaps) | set(unsolved)):
        values = gaps.get(row) or [float("nan")]
        print(f"{row[0]:22} {row[1]:6g} {row[2]:10} {len(gaps.get(row, [])):4d} "
              f"{statistics.mean(values):8.3f} {max(values):8.2f} {unsolved.get(row, 0)}")
    builds = sorted({r["build"] for r in records})
    print(f"\n{'case':36} {'limit':>6} " + " ".join(f"{b:>9}" for b in builds))
    for key, limit in sorted({(k, lim) for k, lim, _ in per_case}):
        means = [per_case.get((key, limit, b)) for b in builds]
        print(f"{key:36} {limit:6g} " + " ".join(f"{statistics.mean(m):9.3f}" if m else f"{'-':>9}"
                                                 for m in means))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    sub = parser.add_subparsers(dest="command", required=True)
    go = sub.add_parser("run")
    go.add_argument("--build", action="append", required=True, help="NAME=PYTHON, in the order run")
    go.add_argument("--limit", type=float, default=1.0)
    go.add_argument("--seeds", type=int, nargs="+", default=[0, 1])
    go.add_argument("--match", nargs="*", default=[], help="key prefixes (default: every case)")
    go.add_argument("--data", type=Path, help="as for run.py (default: shared/bench beside the repository)")
    sub.add_parser("report")
    args = parser.parse_args()
    if args.command == "run":
        from run import find_data

        args.data = find_data(args.data)
    (run if args.command == "run" else report)(args)


if __name__ == "__main__":
    sys.exit(main())
