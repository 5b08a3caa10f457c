"""Large instances with coordinates only: every cost is a rule, no matrix.

    python bench/coords.py generate OUT_DIR [--sizes 2000 5000 10000] [--agents 20]
                                            [--layouts uniform clustered] [--metric rounded]
    python bench/coords.py measure DOC... [--limit 1] [--setup]

`generate` writes the `uniform` and `clustered` layouts of bench/large.py (a depot in
the centre of a 1000 x 1000 square, every agent starting and ending there), both
objectives, with "improve" on. `measure` solves each document on the JSON road in a
child process under /usr/bin/time -v and prints one line each: the wall time of the
whole call (reading included), the core's solve_time, when the first plan was seen
(the progress reports' clock, which on this road starts with the call; they come ten
times a second), the objective, and the child's peak resident memory. `--setup` also
times building the Solver alone on the object road.

    python bench/coords.py compare MATRIX_DOC RULE_DOC [--iterations 2000]

`compare` solves a document with matrices (bench/large.py writes the same points with
their rounded matrix) and its coordinate twin under one iteration budget, with the
phase on and no clock: the objectives must be equal, and the times and peak memory
say what computing the costs as they are read gains or costs.
"""

from __future__ import annotations

import argparse
import json
import re
import subprocess
import sys
from pathlib import Path

from large import DEFAULT_SEED, OBJECTIVES, layout_points

SIZES = (2000, 5000, 10000)

CHILD = r"""
import json, sys, time
import _pyzel_core as z
path, limit, setup = sys.argv[1], float(sys.argv[2]), sys.argv[3] == "1"
first = []
def seen(report):
    if report["solutions"] and not first:
        first.append(report["elapsed"])
    return False
began = time.monotonic()
result = z.solve_json_file(path, limit, progress=seen)
call = time.monotonic() - began
out = {"call": call, "solve_time": result["statistics"]["solve_time"], "first_plan": first[0] if first else None,
       "status": result["status"], "timeout": result["timeout"],
       "objective": result["statistics"]["max_cost" if "min_max" in path else "sum_cost"]}
if setup:
    doc = json.load(open(path))
    p = z.Problem()
    for item in doc["nodes"]:
        node, where = z.Node(), z.Position()
        where.x, where.y = item["x"], item["y"]
        node.id, node.position = item["id"], where
        node.type = z.NodeType.DEPOT if item.get("type") == "depot" else z.NodeType.TARGET
        p.add_node(node)
    for item in doc["agents"]:
        a = z.Agent(); a.id, a.type, a.start_node, a.end_node = item["id"], item["type"], item["start_node"], item["end_node"]
        p.add_agent(a, a.id)
    for kind, rule in doc["costs"].items():
        p.set_cost_metric(kind, rule["metric"], rule.get("speed", 1.0))
    options = p.options()
    options.improve, options.quiet, options.time_limit = True, True, limit
    began = time.monotonic()
    solver = z.Solver(p, options)
    out["setup"] = time.monotonic() - began
print(json.dumps(out))
"""


def generate(out: Path, sizes: list[int], agents: list[int], layouts: list[str], metric: str, seed: int) -> None:
    out.mkdir(parents=True, exist_ok=True)
    for layout in layouts:
        for n in sizes:
            xy = layout_points(layout, n, seed)
            for k in agents:
                for objective in OBJECTIVES:
                    name = f"{layout}-{n}-k{k}"
                    doc = {
                        "name": name,
                        "nodes": [{"id": i, "x": x, "y": y, **({"type": "depot"} if i == 0 else {})}
                                  for i, (x, y) in enumerate(xy)],
                        "agents": [{"id": a, "type": "agent", "start_node": 0, "end_node": 0} for a in range(k)],
                        "costs": {"agent": {"metric": metric}},
                        "options": {"objective": objective, "improve": True, "quiet": True},
                    }
                    path = out / f"{name}-{objective}.json"
                    path.write_text(json.dumps(doc))
                    print(path)


def measure(paths: list[Path], limit: float, setup: bool) -> None:
    for path in paths:
        done = subprocess.run(["/usr/bin/time", "-v", sys.executable, "-c", CHILD, str(path), str(limit),
                               "1" if setup else "0"], capture_output=True, text=True, check=True)
        found = json.loads(done.stdout.strip().splitlines()[-1])
        peak = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", done.stderr).group(1))
        first = "-" if found["first_plan"] is None else f"{found['first_plan']:.2f}"
        extra = f" setup {found['setup']:.3f} s" if setup else ""
        print(f"{path.name}: call {found['call']:.3f} s, solve_time {found['solve_time']:.3f} s, first plan "
              f"{first} s, {found['status']} objective {found['objective']:.0f}, peak {peak / 1024:.0f} MiB{extra}",
              flush=True)


COMPARE = r"""
import json, resource, sys, time
import _pyzel_core as z
doc = json.load(open(sys.argv[1]))
doc["options"].update({"improve": True, "max_iterations": int(sys.argv[2]), "time_limit": 1e9, "quiet": True})
text = json.dumps(doc)
began = time.monotonic()
result = z.solve_json_str(text)
print(json.dumps({"call": time.monotonic() - began, "objective": result["statistics"]["max_cost" if "min_max" in
                  doc["options"]["objective"] else "sum_cost"], "peak": resource.getrusage(resource.RUSAGE_SELF).ru_maxrss}))
"""


def compare(matrix_doc: Path, rule_doc: Path, iterations: int) -> None:
    for path in (matrix_doc, rule_doc):
        done = subprocess.run([sys.executable, "-c", COMPARE, str(path), str(iterations)], capture_output=True,
                              text=True, check=True)
        found = json.loads(done.stdout.strip().splitlines()[-1])
        print(f"{path.parent.name}/{path.name}: {iterations} iterations in {found['call']:.2f} s, objective {found['objective']:.0f},"
              f" peak {found['peak'] / 1024:.0f} MiB", flush=True)


def main(argv: list[str]) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    make = commands.add_parser("generate")
    make.add_argument("out", type=Path)
    make.add_argument("--sizes", type=int, nargs="+", default=list(SIZES))
    make.add_argument("--agents", type=int, nargs="+", default=[20])
    make.add_argument("--layouts", nargs="+", choices=["uniform", "clustered"], default=["uniform", "clustered"])
    make.add_argument("--metric", choices=["euclidean", "rounded", "att"], default="rounded")
    make.add_argument("--seed", type=int, default=DEFAULT_SEED)
    run = commands.add_parser("measure")
    run.add_argument("docs", type=Path, nargs="+")
    run.add_argument("--limit", type=float, default=1.0)
    run.add_argument("--setup", action="store_true")
    pair = commands.add_parser("compare")
    pair.add_argument("matrix_doc", type=Path)
    pair.add_argument("rule_doc", type=Path)
    pair.add_argument("--iterations", type=int, default=2000)
    args = parser.parse_args(argv)
    if args.command == "compare":
        compare(args.matrix_doc, args.rule_doc, args.iterations)
    elif args.command == "generate":
        generate(args.out, args.sizes, args.agents, args.layouts, args.metric, args.seed)
    else:
        measure(args.docs, args.limit, args.setup)


if __name__ == "__main__":
    main(sys.argv[1:])
