"""The text reports of the command line: a solve's summary and routes, the anytime
record, and the lines and table of a batch."""

from __future__ import annotations

from typing import Any, TextIO

from .document import Instance


def print_summary(path: str, instance: Instance, result: dict[str, Any], interrupted: bool = False,
                  rules: list[str] | None = None, threads: int | None = None) -> None:
    """`rules`: what the options made the solver enforce, one line together; `threads`:
    the improvement phase's walks at once (None: no phase)."""
    stats = result["statistics"]
    key = "max_cost" if instance.objective == "min_max" else "sum_cost"
    targets = len(instance.node_ids) - len(instance.depots)
    print(f"instance   {path}: {len(instance.node_ids)} nodes ({targets} targets), {len(instance.agents)} agents, {instance.objective}")
    if rules:
        print(f"rules      {', '.join(rules)}")
    if "reasons" in result:
        print("status     failed (not solved: no solution can exist)")
        return
    ended = "time limit reached" if result["timeout"] else "search complete"
    if interrupted:
        ended = "interrupted"
    print(f"status     {result['status']} ({ended})")
    left_out = result.get("unassigned", [])
    if result["status"] == "success" and "penalty" in result:
        print(f"objective  {stats[key] + result['penalty']:.6g} ({instance.measure} plus penalties)")
    elif result["status"] == "success":
        print(f"objective  {stats[key]:.6g} ({instance.measure})")
    print(f"max cost   {stats['max_cost']:.6g}")
    print(f"sum cost   {stats['sum_cost']:.6g}")
    if "penalty" in result:
        print(f"penalty    {result['penalty']:.6g} ({len(left_out)} target{'s' if len(left_out) != 1 else ''} left out)")
    print(f"counters   {stats['n_generated']} generated, {stats['n_expanded']} expanded")
    if threads is not None:
        print(f"threads    {threads} (improvement phase)")
    print(f"time       {stats['solve_time']:.3f} s solving, last improvement at {stats['last_update_time']:.3f} s")
    print("routes (node ids):")
    for route, agent in zip(result["routes"], instance.agents):
        ids = " ".join(str(instance.node_ids[v]) for v in route["path"]) or "-"
        print(f"  agent {route['agent_id']} ({agent.type}): cost {route['cost']:.6g}: {ids}")
    if left_out:
        print("left out (node ids, with the reason where a cheap test knows it):")
        reasons = result.get("unassigned_reasons") or [None] * len(left_out)
        for node_id, reason in zip(left_out, reasons):
            print(f"  node {node_id}: {reason or 'the search left it out (no cheap test says it cannot be served)'}")
    print_anytime(result.get("anytime", []))


def print_anytime(anytime: list[dict[str, Any]], limit: int = 20) -> None:
    print(f"anytime record ({len(anytime)} improving solutions):")
    if not anytime:
        return
    print(f"  {'time [s]':>10} {'max_cost':>12} {'sum_cost':>12}")
    if len(anytime) > limit:
        print(f"  ... {len(anytime) - limit} earlier")
    for entry in anytime[-limit:]:
        print(f"  {entry['time']:>10.3f} {entry['max_cost']:>12.6g} {entry['sum_cost']:>12.6g}")


def print_reasons(reasons: list[str], file: TextIO | None = None) -> None:
    print("why no solution:", file=file)
    for reason in reasons:
        print(f"  {reason}", file=file)


def row_line(row: dict[str, Any]) -> str:
    if "error" in row:
        return f"{row['instance']}: error: {row['error']}"
    line = (
        f"{row['instance']}: {row['status']}, max {row['max_cost']:.6g}, sum {row['sum_cost']:.6g}, "
        f"{row['solve_time']:.2f} s{_ended(row, ' (time limit)', ' (interrupted)')}"
    )
    if row.get("left_out"):
        line += f", {row['left_out']} left out"
    return line + (f" -> {row['output']}" if "output" in row else "")


def _ended(row: dict[str, Any], timeout: str, interrupted: str) -> str:
    return interrupted if row.get("interrupted") else timeout if row["timeout"] else ""


def summary_table(rows: list[dict[str, Any]]) -> str:
    width = max([len("instance")] + [len(r["instance"]) for r in rows])
    lines = [f"{'instance':<{width}}  {'status':<8} {'max_cost':>12} {'sum_cost':>12} {'time [s]':>9}  timeout"]
    for r in rows:
        if "error" in r:
            lines.append(f"{r['instance']:<{width}}  {'error':<8} {'-':>12} {'-':>12} {'-':>9}  -")
            continue
        lines.append(
            f"{r['instance']:<{width}}  {r['status']:<8} {r['max_cost']:>12.6g} {r['sum_cost']:>12.6g} "
            f"{r['solve_time']:>9.2f}  {_ended(r, 'yes', 'interrupted') or 'no'}"
        )
    solved = sum(1 for r in rows if r.get("status") == "success")
    errors = sum(1 for r in rows if "error" in r)
    lines.append(f"{solved} solved, {len(rows) - solved - errors} without solution, {errors} failed with an error")
    return "\n".join(lines)
