"""Route costs recomputed from the instance document, and every answer checked by
`pyzel.validate`, the same way for every solver.

A route's cost is its agent's clock at the end: travel from the agent's own matrix,
waiting for windows to open and the targets' service, starting at 0; on open routes
the finishing move is free. Under min-sum with "minimise": "distance" it is the sum
of the route's distances instead. An idle agent's route is [start, end].

The fleet rules (loads within capacities, service in the clock, windows on the start
of service, the reported duration and distance) are the checker's too.
"""

from __future__ import annotations

from typing import Any

from pyzel.document import Instance, instance_from
from pyzel.validate import check_result, leg_distance, schedule



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
    """The document as pyzel's checker reads it, fleet rules included."""
    return instance_from(doc)


def measures(instance: Instance, k: int, path: list[int]) -> tuple[float, float]:
    """The duration (the clock at the end, waiting and service included) and the distance
    of agent k's route, by the checker's own rules."""
    agent = instance.agents[k]
    times = schedule(instance, agent, path)
    distance = sum(leg_distance(instance, agent, u, v) for u, v in zip(path, path[1:]))
    return (times[-1][2] if times else 0.0), distance


def as_result(instance: Instance, paths: list[list[int]]) -> dict[str, Any]:
    """A result dictionary for these paths (one per agent, [] for an idle one), with the
    costs recomputed; what `pyzel.validate.check_result` reads."""
    routes = []
    for k, (agent, path) in enumerate(zip(instance.agents, paths)):
        path = path or [agent.start, agent.end]
        duration, distance = measures(instance, k, path)
        route = {"agent_id": agent.id, "path": path, "cost": distance if instance.by_distance else duration}
        if instance.distances:
            route.update(duration=duration, distance=distance)
        routes.append(route)
    costs = [r["cost"] for r in routes]
    return {"status": "success", "routes": routes,
            "statistics": {"max_cost": max(costs, default=0.0), "sum_cost": sum(costs)}}


def objective_value(result: dict[str, Any], objective: str) -> float:
    return result["statistics"]["max_cost" if objective == "min_max" else "sum_cost"]


def assess(instance: Instance, paths: list[list[int]]) -> tuple[float, list[str]]:
    """The objective of these paths and everything wrong with them (empty when valid)."""
    result = as_result(instance, paths)
    return objective_value(result, instance.objective), check_result(instance, result)
