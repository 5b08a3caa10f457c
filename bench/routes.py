"""Route costs recomputed from the instance document, and every answer checked by
`pyzel.validate`, the same way for every solver.

A route's cost is its agent's clock at the end: travel from the agent's own matrix,
waiting for windows to open and the targets' service, starting at 0; on open routes
the finishing move is free. Under min-sum with "minimise": "distance" it is the sum
of the route's distances instead. An idle agent's route is [start, end].

The fleet rules (loads within capacities, service in the clock, windows on the start
of service) are checked here as well, for as long as the installed `pyzel.validate`
does not judge them itself (FLEET_AWARE says whether it does).
"""

from __future__ import annotations

import math
from dataclasses import dataclass, field
from typing import Any

from pyzel.document import AgentView, Instance, instance_from
from pyzel.validate import check_result

TOL = 1e-6


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


@dataclass
class Fleet:
    """What a document says beyond the routing core's first rules, per node index or agent."""

    demand: list[float]
    service: list[float]  # 0 at depots: a depot's service counts nothing
    capacity: list[float]  # per agent; 0 means no limit
    distances: dict[str, list[list[float]]] = field(default_factory=dict)
    enforce_capacities: bool = False
    by_distance: bool = False  # min-sum counting distance

    @property
    def active(self) -> bool:
        return self.enforce_capacities or any(self.service) or bool(self.distances) or self.by_distance


@dataclass
class FleetInstance(Instance):
    fleet: Fleet = field(default_factory=lambda: Fleet([], [], []))


def read(doc: dict) -> FleetInstance:
    instance = instance_from(doc)
    fleet = fleet_of(doc, instance)
    return FleetInstance(**{k: getattr(instance, k) for k in instance.__dataclass_fields__}, fleet=fleet)


def fleet_of(doc: dict, instance: Instance) -> Fleet:
    depots = instance.depots
    nodes = doc["nodes"]
    number = lambda v: float(v) if isinstance(v, (int, float)) and not isinstance(v, bool) else 0.0  # noqa: E731
    demand = [0.0 if i in depots else number(node.get("demand", 0)) for i, node in enumerate(nodes)]
    service = [0.0 if i in depots else number(node.get("service", 0)) for i, node in enumerate(nodes)]
    capacity = [float(math.trunc(number(a.get("capacity", 0)))) for a in doc["agents"]]
    options = doc.get("options", {})
    return Fleet(demand, service, capacity, dict(doc.get("distances", {})),
                 options.get("enforce_capacities") is True,
                 instance.objective == "min_sum" and options.get("minimise") == "distance")


@dataclass
class Walk:
    duration: float  # the clock at the end
    distance: float
    load: float
    problems: list[str]


def walk(instance: Instance, k: int, path: list[int]) -> Walk:
    """The route of agent k under every rule the document states."""
    agent = instance.agents[k]
    fleet = fleet_of_instance(instance)
    travel = instance.costs.get(agent.type)
    lengths = fleet.distances.get(agent.type, travel)
    t = distance = load = 0.0
    problems = []
    for p, v in enumerate(path):
        if p > 0:
            u = path[p - 1]
            if not (u == v or (not instance.return_to_end and v in (agent.start, agent.end))):
                t += instance.cost(agent.type, u, v)
                distance += float(lengths[u][v]) if lengths is not None else 0.0
        window = instance.windows.get(instance.node_ids[v])
        if window and t > window[1] + TOL:
            problems.append(f"agent {k}: window: reaches node {v} at {t:g}, it closes at {window[1]:g}")
        if window:
            t = max(t, window[0])
        if fleet.service:  # nothing at depots
            t += fleet.service[v]
        if fleet.demand:
            load += fleet.demand[v]
        if agent.max_length > 0 and t > agent.max_length + TOL:
            problems.append(f"agent {k}: max_length: time {t:g} at node {v} is over {agent.max_length:g}")
    cap = fleet.capacity[k] if fleet.capacity else 0.0
    if fleet.enforce_capacities and cap > 0 and load > cap + TOL:
        problems.append(f"agent {k}: capacity: load {load:g} is over {cap:g}")
    return Walk(t, distance, load, problems)


def fleet_of_instance(instance: Instance) -> Fleet:
    fleet = getattr(instance, "fleet", None)
    return fleet if fleet is not None else Fleet([], [], [])


def route_cost(instance: Instance, k: int, path: list[int]) -> float:
    w = walk(instance, k, path)
    return w.distance if fleet_of_instance(instance).by_distance else w.duration


def as_result(instance: Instance, paths: list[list[int]]) -> dict[str, Any]:
    """A result dictionary for these paths (one per agent, [] for an idle one), with the
    costs recomputed; what `pyzel.validate.check_result` reads."""
    fleet = fleet_of_instance(instance)
    routes = []
    for k, (agent, path) in enumerate(zip(instance.agents, paths)):
        path = path or [agent.start, agent.end]
        w = walk(instance, k, path)
        route = {"agent_id": agent.id, "path": path,
                 "cost": w.distance if fleet.by_distance else w.duration}
        if fleet.distances:
            route.update(duration=w.duration, distance=w.distance)
        routes.append(route)
    costs = [r["cost"] for r in routes]
    return {"status": "success", "routes": routes,
            "statistics": {"max_cost": max(costs, default=0.0), "sum_cost": sum(costs)}}


def objective_value(result: dict[str, Any], objective: str) -> float:
    return result["statistics"]["max_cost" if objective == "min_max" else "sum_cost"]


# What an unaware checker says about service and distances that it does not model.
_UNAWARE_LINES = ("reported cost", "window closes", "is over its limit", "statistics ")


def fleet_problems(instance: Instance, result: dict[str, Any]) -> list[str]:
    """Every fault of a result: the checker's, and this file's fleet rules and costs
    while the checker does not judge them."""
    fleet = fleet_of_instance(instance)
    problems = check_result(instance, result)
    if not fleet.active:
        return problems
    if not FLEET_AWARE:
        problems = [p for p in problems if not any(mark in p for mark in _UNAWARE_LINES)]
    if result.get("status") != "success":
        return problems
    for k, route in enumerate(result["routes"]):
        w = walk(instance, k, route["path"])
        problems += [] if FLEET_AWARE else w.problems
        expected = {"cost": w.distance if fleet.by_distance else w.duration}
        if fleet.distances:
            expected.update(duration=w.duration, distance=w.distance)
        for key, value in expected.items():
            if key in route and abs(route[key] - value) > TOL * max(1.0, abs(value)):
                problems.append(f"agent {k}: reported {key} {route[key]} != recomputed {value}")
    return problems


def assess(instance: Instance, paths: list[list[int]]) -> tuple[float, list[str]]:
    """The objective of these paths and everything wrong with them (empty when valid)."""
    result = as_result(instance, paths)
    return objective_value(result, instance.objective), fleet_problems(instance, result)


def _checker_judges_service() -> bool:
    """Whether pyzel.validate counts service in the clock: one target with 5 of service."""
    doc = {"nodes": [{"id": 0, "x": 0, "y": 0, "type": "depot"}, {"id": 1, "x": 1, "y": 0, "service": 5}],
           "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 0}],
           "costs": {"a": [[0, 1], [1, 0]]}}
    result = {"status": "success", "routes": [{"agent_id": 0, "path": [0, 1, 0], "cost": 7.0}],
              "statistics": {"max_cost": 7.0, "sum_cost": 7.0}}
    try:
        return not check_result(doc, result)
    except Exception:  # noqa: BLE001  # an older checker may refuse the key: not aware
        return False


FLEET_AWARE = _checker_judges_service()
