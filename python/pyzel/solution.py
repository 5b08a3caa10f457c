"""A solve's answer in the user's terms: routes by agent and node ids, each with its schedule,
the anytime history, and the result dictionary itself for the checker and the pictures."""

from __future__ import annotations

import copy
import os
from collections.abc import Mapping
from dataclasses import dataclass, field
from typing import Any

from .diagnose import failure_reasons
from .document import Instance, instance_from
from .validate import check_result, schedules


@dataclass(frozen=True)
class Stop:
    """One node of a route: ``wait`` (for its window to open, or for the service a "before"
    pair puts first to end) is ``start - arrival``, and service lasts from ``start`` to
    ``departure``."""

    node: int  # node id
    arrival: float
    wait: float
    start: float  # of service
    departure: float


@dataclass(frozen=True)
class Route:
    """An agent's route from its start to its end depot; ``cost`` is its finishing time, or
    its distance when the model minimises distance under min-sum."""

    agent_id: int
    agent_type: str
    nodes: list[int]  # node ids; empty when the solve found no solution
    cost: float
    schedule: list[Stop] = field(repr=False)
    duration: float | None = None  # the finishing time and the distance, where the document
    distance: float | None = None  # gives "distances" (the result's route keys)


@dataclass(frozen=True)
class Improvement:
    """An entry of the anytime history: a better solution found at ``time`` seconds."""

    time: float
    objective: float
    max_cost: float
    sum_cost: float


@dataclass(frozen=True)
class Solution:
    """``objective`` is the longest route (min-max) or the sum of the routes (min-sum), plus
    ``penalty``, the penalties of the targets left out (``unassigned``, node ids, with
    ``unassigned_reasons`` beside them: a short reason each, or None where none is cheaply
    known); None without a solution. ``timed_out`` says a limit or budget ended the solve;
    ``reasons`` says why there is no solution (``pyzel.diagnose.failure_reasons``)."""

    status: str  # "success" or "failed"
    objective: float | None
    timed_out: bool
    routes: list[Route]
    history: list[Improvement] = field(repr=False)
    document: dict[str, Any] = field(repr=False)  # the instance as solved, options included
    result: dict[str, Any] = field(repr=False)
    reasons: list[str] = field(default_factory=list)  # why there is no solution, when there is none
    unassigned: list[int] = field(default_factory=list)  # node ids of the targets left out, ascending
    unassigned_reasons: list[str | None] = field(default_factory=list)
    penalty: float = 0.0  # the sum of the penalties of the targets left out

    @classmethod
    def from_result(cls, document: Mapping[str, Any], result: Mapping[str, Any]) -> Solution:
        """The answer to ``document`` that ``solve_json_str`` returned as ``result``."""
        instance = instance_from(document)
        key = "max_cost" if instance.objective == "min_max" else "sum_cost"
        routes = _routes(instance, result)
        history = [Improvement(e["time"], e[key], e["max_cost"], e["sum_cost"]) for e in result.get("anytime", [])]
        found = result["status"] == "success"
        penalty = float(result.get("penalty", 0.0))
        return cls(
            status=result["status"],
            objective=result["statistics"][key] + penalty if found else None,
            timed_out=result["timeout"],
            routes=routes,
            history=history,
            document=copy.deepcopy(dict(document)),
            result=copy.deepcopy(dict(result)),
            reasons=[] if found else failure_reasons(instance, result),
            unassigned=list(result.get("unassigned", [])),
            unassigned_reasons=list(result.get("unassigned_reasons", [None] * len(result.get("unassigned", [])))),
            penalty=penalty,
        )

    def check(self) -> list[str]:
        """The checker's problem lines (``pyzel.validate.check_result``); empty means valid."""
        return check_result(self.document, self.result)

    def to_dict(self) -> dict[str, Any]:
        """The result dictionary, exactly as the solver returned it."""
        return copy.deepcopy(self.result)

    def plot(self, path: str | os.PathLike[str], title: str | None = None) -> None:
        """Draws the routes and the anytime curve to ``path`` (needs matplotlib)."""
        from .plot import plot_solution

        plot_solution(self.document, self.result, path, title=title)

    def rows(self) -> list[dict[str, Any]]:
        """The schedule, one dictionary a stop: agent, node, arrival, wait, start (of service),
        departure (the end of service)."""
        return _rows(self.routes)

    def table(self) -> str:
        """The schedule as a plain-text table."""
        return schedule_table(self.rows())


def schedule_rows(instance: Instance, result: Mapping[str, Any]) -> list[dict[str, Any]]:
    """The rows of ``Solution.rows`` for a result dictionary and the instance it answers."""
    return _rows(_routes(instance, result))


def _routes(instance: Instance, result: Mapping[str, Any]) -> list[Route]:
    routes = []
    timed = schedules(instance, [route["path"] for route in result["routes"]])
    for agent, route, times in zip(instance.agents, result["routes"], timed):
        path, cost = route["path"], route["cost"]
        stops = [Stop(instance.node_ids[v], a, s - a, s, d) for v, (a, s, d) in zip(path, times)]
        routes.append(Route(route["agent_id"], agent.type, [instance.node_ids[v] for v in path], cost, stops,
                            route.get("duration"), route.get("distance")))
    return routes


def _rows(routes: list[Route]) -> list[dict[str, Any]]:
    return [
        {"agent": r.agent_id, "type": r.agent_type, "node": s.node,
         "arrival": s.arrival, "wait": s.wait, "start": s.start, "departure": s.departure}
        for r in routes for s in r.schedule
    ]


def schedule_table(rows: list[dict[str, Any]]) -> str:
    """Schedule rows (``Solution.rows``) as a plain-text table."""
    head = ["agent", "type", "node", "arrival", "wait", "start", "departure"]
    cells = [[f"{float(row[h]):.2f}" if h in head[3:] else str(row[h]) for h in head] for row in rows]
    widths = [max([len(h)] + [len(c[i]) for c in cells]) for i, h in enumerate(head)]
    return "\n".join("  ".join(c.rjust(w) for c, w in zip(line, widths)) for line in [head, *cells])
