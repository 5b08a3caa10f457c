"""Route costs recomputed from the instance document, and every answer checked by
`pyzel.validate`, the same way for every solver.

A route's cost is its agent's clock at the end: travel from the agent's own matrix
plus waiting for windows to open, starting at 0; on open routes the finishing move
is free. An idle agent's route is [start, end].
"""

from __future__ import annotations

from typing import Any

from pyzel.document import AgentView, Instance, instance_from
from pyzel.validate import check_result


def own_peak_mib() -> float | None:
    """This process's peak resident memory since it started its program (Linux's VmHWM).
    The runner's ru_maxrss of a child also holds the runner's own memory at the fork, which
    a large generated set makes larger than many solves; None where there is no /proc."""
    try:
        with open("/proc/self/status", encoding="ascii") as handle:
            line = next(line for line in handle if line.startswith("VmHWM:"))
    except (OSError, StopIteration):
        return None
    return int(line.split()[1]) / 1024.0  # kB


def read(doc: dict) -> Instance:
    return instance_from(doc)


def route_cost(instance: Instance, agent: AgentView, path: list[int]) -> float:
    t = 0.0
    for u, v in zip(path, path[1:]):
        if not (u == v or (not instance.return_to_end and v in (agent.start, agent.end))):
            t += instance.cost(agent.type, u, v)
        window = instance.windows.get(instance.node_ids[v])
        if window:
            t = max(t, window[0])
    return t


def as_result(instance: Instance, paths: list[list[int]]) -> dict[str, Any]:
    """A result dictionary for these paths (one per agent, [] for an idle one), with the
    costs recomputed; what `pyzel.validate.check_result` reads."""
    routes = []
    for agent, path in zip(instance.agents, paths):
        path = path or [agent.start, agent.end]
        routes.append({"agent_id": agent.id, "path": path,
                       "cost": route_cost(instance, agent, path)})
    costs = [r["cost"] for r in routes]
    return {"status": "success", "routes": routes,
            "statistics": {"max_cost": max(costs, default=0.0), "sum_cost": sum(costs)}}


def objective_value(result: dict[str, Any], objective: str) -> float:
    return result["statistics"]["max_cost" if objective == "min_max" else "sum_cost"]


def assess(instance: Instance, paths: list[list[int]]) -> tuple[float, list[str]]:
    """The objective of these paths and everything wrong with them (empty when valid)."""
    result = as_result(instance, paths)
    return objective_value(result, instance.objective), check_result(instance, result)
