"""One ZEL solve, run in its own process so that its peak memory is its own.

    python bench/solve_zel.py INSTANCE.json TIME_LIMIT RECORD.json

Writes the run's record as JSON to RECORD.json. The solver prints diagnostics on
both standard streams, which is why the record goes to a file.
"""

from __future__ import annotations

import json
import sys

import _pyzel_core

from routes import coverage_problems, objective_value


def solve(doc: dict, text: str, time_limit: float) -> dict:
    objective = doc["options"]["objective"]
    matrix = next(iter(doc["costs"].values()))
    try:
        out = _pyzel_core.solve_json_str(text, time_limit)
    except (RuntimeError, IndexError, MemoryError) as err:
        # An instance the solver refuses (more than 256 nodes) is a result of the benchmark.
        return {"status": "error", "error": f"{type(err).__name__}: {err}"}
    stats = out["statistics"]
    routes = [r["path"] for r in out["routes"]]
    measure = "max_cost" if objective == "min_max" else "sum_cost"
    record = {
        "status": out["status"],
        "timeout": out["timeout"],
        "solve_time": stats["solve_time"],
        "n_generated": stats["n_generated"],
        "n_expanded": stats["n_expanded"],
        "anytime": [[a["time"], a[measure]] for a in out["anytime"]],
    }
    if out["status"] == "success":
        record["best"] = objective_value(matrix, routes, objective)
        record["reported_best"] = stats[measure]
        record["problems"] = coverage_problems(routes, len(matrix))
    return record


def main(argv: list[str]) -> None:
    instance_path, time_limit, record_path = argv[1], float(argv[2]), argv[3]
    with open(instance_path, encoding="utf-8") as handle:
        text = handle.read()
    record = solve(json.loads(text), text, time_limit)
    with open(record_path, "w", encoding="utf-8") as handle:
        json.dump(record, handle)


if __name__ == "__main__":
    main(sys.argv)
