"""Route costs recomputed from the instance document, and every answer checked by
`pyzel.validate`, the same way for every solver.

A route's cost is its agent's clock at the end: travel from the agent's own matrix,
waiting for windows to open and the targets' service, starting at 0; on open routes
the finishing move is free. Under min-sum with "minimise": "distance" it is the sum
of the route's distances instead. An idle agent's route is [start, end].

The fleet rules (loads within capacities, service in the clock, windows on the start
of service, the reported duration and distance) are the checker's too.

Sequence pairs and optional targets: a plain pair (a, b) holds service at b until the
service at a has ended, whichever routes serve them; that wait counts in b's route clock
as waiting for a window does. A target left out costs its penalty (the node's "penalty",
else the option "default_penalty"), and the objective is the routes' one plus the
penalties of the targets left out. The answer goes to the checker with its "unassigned"
list and "penalty", and the checker judges the pairs and the targets left out.
"""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any

from pyzel.document import Instance, instance_from
from pyzel.validate import check_result, leg_distance, schedules


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
class Rules:
    """A document's sequence pairs and penalties, by node index."""

    penalties: dict[int, float] = field(default_factory=dict)  # optional targets only
    pairs: list[tuple[int, int, str]] = field(default_factory=list)  # (before, after, kind)

    @property
    def optional(self) -> bool:
        return bool(self.penalties)

    def kind(self, kind: str) -> list[tuple[int, int]]:
        """The pairs of one kind: "before" (plain), "same" or "diff"."""
        return [(a, b) for a, b, k in self.pairs if k == kind]


def rules_of(doc: dict, instance: Instance) -> Rules:
    index = {node_id: i for i, node_id in enumerate(instance.node_ids)}
    default = doc.get("options", {}).get("default_penalty")
    penalties = {}
    for i, node in enumerate(doc["nodes"]):
        own = node.get("penalty", default)
        if own is not None and i not in instance.depots:
            penalties[i] = float(own)
    pairs = [(index[p["before"]], index[p["after"]],
              p.get("type") if p.get("type") in ("same", "diff") else "before")
             for c in doc.get("constraints", []) if c.get("kind") == "sequence"
             for p in c["precedence"]]
    return Rules(penalties, pairs)


def read(doc: dict) -> Instance:
    """The document as pyzel's checker reads it, fleet rules included; its pairs and
    penalties ride along (`rules`)."""
    instance = instance_from(doc)
    instance.__dict__["bench_rules"] = rules_of(doc, instance)
    return instance


def rules(instance: Instance) -> Rules:
    return instance.__dict__.get("bench_rules") or Rules()


def as_result(instance: Instance, paths: list[list[int]]) -> dict[str, Any]:
    """A result dictionary for these paths (one per agent, [] for an idle one), with the
    costs recomputed by the checker's clock (a plain pair's waits included); what `pyzel.validate.check_result` reads. With optional targets it lists those left
    out ("unassigned", no reasons known) and their "penalty"."""
    paths = [path or [agent.start, agent.end] for agent, path in zip(instance.agents, paths)]
    times = schedules(instance, paths)
    routes = []
    for agent, path, row in zip(instance.agents, paths, times):
        duration = row[-1][2] if row else 0.0
        distance = sum(leg_distance(instance, agent, u, v) for u, v in zip(path, path[1:]))
        route = {"agent_id": agent.id, "path": path, "cost": distance if instance.by_distance else duration}
        if instance.distances:
            route.update(duration=duration, distance=distance)
        routes.append(route)
    costs = [r["cost"] for r in routes]
    result = {"status": "success", "routes": routes,
              "statistics": {"max_cost": max(costs, default=0.0), "sum_cost": sum(costs)}}
    optional = rules(instance).penalties
    if optional:
        served = {v for path in paths for v in path}
        left = [v for v in range(len(instance.node_ids)) if v not in instance.depots and v not in served]
        result.update(unassigned=[instance.node_ids[v] for v in left], unassigned_reasons=[None] * len(left),
                      penalty=sum(optional.get(v, 0.0) for v in left))  # a must-serve one: the checker's
    return result


def objective_value(result: dict[str, Any], objective: str) -> float:
    """The routes' objective plus the penalties of the targets left out."""
    return result["statistics"]["max_cost" if objective == "min_max" else "sum_cost"] + result.get("penalty", 0.0)


def judge(instance: Instance, result: dict[str, Any]) -> list[str]:
    """The checker's word on an answer: every violation, pairs and penalties included."""
    return check_result(instance, result)


@dataclass
class Outcome:
    best: float  # the objective, penalties included
    problems: list[str]
    served: int  # targets on some route
    targets: int
    penalty: float  # of the targets left out

    def record(self) -> dict[str, Any]:
        return {"best": self.best, "problems": self.problems, "served": self.served,
                "targets": self.targets, "penalty": self.penalty}


def outcome(instance: Instance, paths: list[list[int]]) -> Outcome:
    result = as_result(instance, paths)
    served = len({v for path in paths for v in path} - instance.depots)
    targets = len(instance.node_ids) - len(instance.depots)
    return Outcome(objective_value(result, instance.objective), judge(instance, result), served,
                   targets, result.get("penalty", 0.0))


def assess(instance: Instance, paths: list[list[int]]) -> tuple[float, list[str]]:
    """The objective of these paths and everything wrong with them (empty when valid)."""
    out = outcome(instance, paths)
    return out.best, out.problems
