"""One ZEL solve, run in its own process so that its peak memory is its own.

    python bench/solve_zel.py INSTANCE.json TIME_LIMIT RECORD.json [--improve] [--threads N]

Writes the run's record as JSON to RECORD.json. The solver prints diagnostics on
both standard streams, which is why the record goes to a file. `--improve` adds
"improve": true to the document's options before it is handed over, `--threads N`
"threads": N (the improvement phase's walks at once).
"""

from __future__ import annotations

import json
import sys

import _pyzel_core

from routes import judge, outcome, own_peak_mib, read


def solve(doc: dict, time_limit: float, improve: bool = False, threads: int | None = None) -> dict:
    if improve:
        doc = {**doc, "options": {**doc.get("options", {}), "improve": True}}
    if threads is not None:
        doc = {**doc, "options": {**doc.get("options", {}), "threads": threads}}
    instance = read(doc)
    measure = "max_cost" if instance.objective == "min_max" else "sum_cost"
    try:
        out = _pyzel_core.solve_json_str(json.dumps(doc), time_limit)
    except (RuntimeError, ValueError, IndexError, MemoryError) as err:
        # An instance the solver refuses (more than 256 nodes, a cycle of pairs, an option
        # its road does not honour) is a result of the benchmark.
        return {"status": "error", "error": f"{type(err).__name__}: {err}"}
    stats = out["statistics"]
    record = {
        "status": out["status"],
        "timeout": out["timeout"],
        "solve_time": stats["solve_time"],
        "n_generated": stats["n_generated"],
        "n_expanded": stats["n_expanded"],
        "anytime": [[a["time"], a[measure]] for a in out["anytime"]],
    }
    if out["status"] == "success":
        paths = [r["path"] for r in out["routes"]]
        record.update(outcome(instance, paths).record(), paths=paths)
        record["reported_best"] = stats[measure] + out.get("penalty", 0.0)
        # The solver's own answer, its reported costs and left-out targets included.
        record["problems"] = judge(instance, out)
    return record


def main(argv: list[str]) -> None:
    instance_path, time_limit, record_path = argv[1], float(argv[2]), argv[3]
    with open(instance_path, encoding="utf-8") as handle:
        doc = json.load(handle)
    flags = argv[4:]
    threads = int(flags[flags.index("--threads") + 1]) if "--threads" in flags else None
    record = solve(doc, time_limit, improve="--improve" in flags, threads=threads)
    record["own_peak_mib"] = own_peak_mib()
    with open(record_path, "w", encoding="utf-8") as handle:
        json.dump(record, handle)


if __name__ == "__main__":
    main(sys.argv)
