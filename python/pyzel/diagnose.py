"""Why a solve found no solution, where a cheap test can tell.

Each test reads the route rules of ``pyzel.validate`` (admission, arcs, windows
with waiting, service, length limits, capacities) and bounds every route from below: if even the
fastest way to a node (the direct trip, or a shorter detour when the costs allow
one) breaks a rule for every agent, no route can serve it. A target with a penalty
may be left out: that no agent can serve it proves nothing, unless a pair ties a
target that must be served to it. "sequence" pairs that contradict each other (a
cycle) leave no plan at all.
"""

from __future__ import annotations

import heapq
import math
from typing import Any

from .document import AgentView, Instance, instance_from
from .sequence import Pair, contradictions
from .metric import RuleMatrix
from .validate import TOL, admits, after_wait, leg_cost, window_close, within_limit

MAX_NODE_LINES = 10  # more blocked nodes than this are counted, not listed


def failure_reasons(doc: Any, result: Any = None) -> list[str]:
    """Readable lines on why ``result`` (the solve of ``doc``) has no solution: how
    the search ended, then every cause found; empty when the result is a success."""
    if result is not None and result.get("status") != "success" and "reasons" in result:
        return list(result["reasons"])  # not solved: the cheap tests proved it hopeless
    instance = doc if isinstance(doc, Instance) else instance_from(doc)
    lines: list[str] = []
    if result is not None:
        if result.get("status") == "success":
            return []
        if result.get("timeout"):
            lines.append(
                "the time limit (or the memory bound or an expansion budget) ended the search before it found a solution:"
                " a longer time limit may find one"
            )
        else:
            lines.append("the search was complete: no solution exists under the search's rules")
    causes = (_type_causes(instance) + _agent_causes(instance) + _pair_causes(instance) + _node_causes(instance)
              + _load_causes(instance))
    if not causes and result is not None and not result.get("timeout"):
        causes.append("no single node or agent explains it: the rules conflict only in combination")
    return lines + causes


def infeasible(instance: Instance) -> list[str]:
    """The targets no agent can serve, one line each, by the cheap tests: a proof that the
    instance has no solution, found before any search; empty when they prove nothing."""
    targets = len(instance.node_ids) - len(instance.depots)
    mandatory = sum(instance.penalty(v) is None for v in range(len(instance.node_ids)) if v not in instance.depots)
    if not instance.agents:
        return [f"no agents: none of the {targets} targets can be served"] if mandatory else []
    return _pair_causes(instance) + _node_causes(instance, proof=True) + _load_causes(instance)


def _pair_causes(instance: Instance) -> list[str]:
    """The "sequence" pairs that contradict each other, where the solve enforces them."""
    return contradictions(instance.pairs) if instance.sequence_judged else []


def _load_causes(instance: Instance) -> list[str]:
    """More demand than every agent together may carry, when each has a capacity; targets that
    may be left out count nothing."""
    if not instance.capacities_judged or not instance.demands or any(a.capacity <= 0 for a in instance.agents):
        return []
    demand = sum(instance.demand(v) for v in range(len(instance.node_ids)) if instance.penalty(v) is None)
    capacity = sum(a.capacity for a in instance.agents)
    if demand <= capacity + TOL:
        return []
    what = "the demands of the targets that must be served" if instance.optional_targets else "the targets' demands"
    return [f'{what} total {demand:g}, more than the agents\' capacities together ({capacity:g});'
            ' "enforce_capacities": false would ignore them']


def unsolved_result(instance: Instance, reasons: list[str], seconds: float) -> dict[str, Any]:
    """The result dictionary of an instance not solved because `reasons` prove it hopeless."""
    return {
        "status": "failed",
        "timeout": False,
        "routes": [{"agent_id": a.id, "path": [], "cost": 0.0} for a in instance.agents],
        "statistics": {"solve_time": seconds, "max_cost": 0.0, "sum_cost": 0.0, "n_generated": 0,
                       "n_expanded": 0, "last_update_time": 0.0},
        "anytime": [],
        "reasons": reasons,
    }


def _type_causes(instance: Instance) -> list[str]:
    known = ", ".join(f'"{t}"' for t in instance.costs) or "none"
    types = sorted({a.type for a in instance.agents} - set(instance.costs))
    return [f'agent type "{t}" has no cost matrix (the costs give: {known}): its agents can go nowhere' for t in types]


def _agent_causes(instance: Instance) -> list[str]:
    lines = []
    for agent in instance.agents:
        if agent.type not in instance.costs:
            continue
        name = f"agent {agent.id} (type {agent.type})"
        ends = [("start and end", agent.start)] if agent.start == agent.end else [("start", agent.start), ("end", agent.end)]
        for what, v in ends:
            if not admits(instance, agent, v):
                lines.append(f"{name}: its type may not visit its {what} node {_node(instance, v)}")
        if instance.return_to_end and agent.start != agent.end and math.isinf(_home_bounds(instance, agent)[agent.start]):
            lines.append(f"{name}: no arcs lead from its start node to its end node {_node(instance, agent.end)}")
    return lines


def _node_causes(instance: Instance, proof: bool = False) -> list[str]:
    """The targets no agent can serve. As a `proof` every agent counts (one without costs
    goes nowhere), and one whose costs go below 0 only by its type: shortest paths bound
    nothing then."""
    agents = [a for a in instance.agents if proof or a.type in instance.costs]
    if not agents:
        return []
    # Agents alike in type, depots and limit share their bounds (a converted fleet is all alike).
    alike: dict[tuple[str, int, int, float, float], AgentView] = {}
    for a in agents:
        alike.setdefault((a.type, a.start, a.end, a.max_length, a.capacity), a)
    depots, tied = instance.depots, _ordered_pairs(instance)
    # The direct trip there and back serves most targets: only the others need shortest paths.
    # One that may be left out proves something only through a pair that ties a target to it.
    doubtful = [v for v in range(len(instance.node_ids))
                if v not in depots and (instance.penalty(v) is None or any(v in (a, b) for a, b, _ in tied))
                and not any(_served_directly(instance, a, v) for a in alike.values())]
    if not doubtful:
        return []
    why: dict[int, list[Reason | None]] = {v: [] for v in doubtful}
    for a in alike.values():  # each kind of agent may serve some; those left no agent serves
        if not doubtful:
            break
        if proof and _negative(instance, a.type):
            for v in doubtful:
                why[v].append(None if admits(instance, a, v) else ("type", 0.0, f"type {a.type} may not visit it"))
        else:
            (fastest, late), home = _arrival_bounds(instance, a), _home_bounds(instance, a)
            for v in doubtful:
                why[v].append(_why_not(instance, a, v, fastest[v], late[v], home[v]))
        doubtful = [v for v in doubtful if why[v][-1] is not None]
    lines = [f"node {_node(instance, v)}: no agent can serve it: {_summary(why[v])}" for v in doubtful
             if instance.penalty(v) is None]
    lines += _tied_causes(instance, set(doubtful), tied)
    if len(lines) > MAX_NODE_LINES:
        lines = lines[:MAX_NODE_LINES] + [f"... and {len(lines) - MAX_NODE_LINES} more nodes no agent can serve"]
    return lines


def _ordered_pairs(instance: Instance) -> list[tuple[int, int, Pair]]:
    """The "before" and "same" pairs by node index, where the solve keeps them: each serves
    its second target only if it serves the first."""
    if not instance.sequence_judged:
        return []
    index = {node_id: v for v, node_id in enumerate(instance.node_ids)}
    return [(index[p.before], index[p.after], p) for p in instance.pairs
            if p.kind != "diff" and p.before in index and p.after in index]


def _tied_causes(instance: Instance, blocked: set[int], tied: list[tuple[int, int, Pair]]) -> list[str]:
    """The targets that must be served but that a pair ties to one no agent can serve: the
    second of a pair waits for the first; a "same" pair is served whole or not at all."""
    lost: dict[int, tuple[Pair, int]] = {}  # node index -> the pair and the partner that rule it out
    changed = True
    while changed:
        changed = False
        for a, b, pair in tied:
            for gone, partner in ((a, b), (b, a)) if pair.kind == "same" else ((a, b),):
                if (gone in blocked or gone in lost) and partner not in blocked and partner not in lost:
                    lost[partner] = (pair, gone)
                    changed = True
    return [f"node {_node(instance, v)}: no agent can serve it: the pair {pair} ties it to node"
            f" {_node(instance, other)}, which none can" for v, (pair, other) in lost.items()
            if instance.penalty(v) is None]


def _served_directly(instance: Instance, agent: AgentView, v: int) -> bool:
    """Whether the trip start -> v -> end keeps every rule (then the shortest paths,
    which can only be shorter, find nothing against v either)."""
    if not admits(instance, agent, v) or over_capacity(instance, agent, v):
        return False
    there = leg_cost(instance, agent, agent.start, v)
    back = leg_cost(instance, agent, v, agent.end) if instance.return_to_end else 0.0
    if there >= instance.missing_cost or back >= instance.missing_cost or there > window_close(instance, v) + TOL:
        return False
    return within_limit(agent, after_wait(instance, v, there) + instance.service(v) + back)


def over_capacity(instance: Instance, agent: AgentView, v: int) -> bool:
    """Whether node index v alone asks more than the agent may carry."""
    return instance.capacities_judged and 0 < agent.capacity < instance.demand(v) - TOL


def _negative(instance: Instance, agent_type: str) -> bool:
    matrix = instance.costs.get(agent_type)
    if isinstance(matrix, RuleMatrix):  # distances are never below 0
        return False
    return matrix is not None and any(row and min(row) < 0 for row in matrix)


Reason = tuple[str, float, str]  # kind, the bound it reports (least is shown), text


def _why_not(instance: Instance, agent: AgentView, v: int, fastest: float, late: float, home: float) -> Reason | None:
    """Why the agent cannot serve node index v (None when the cheap tests allow it)."""
    if not admits(instance, agent, v):
        return "type", 0.0, f"type {agent.type} may not visit it"
    if over_capacity(instance, agent, v):
        return ("capacity", -agent.capacity,
                f"its demand {instance.demand(v):g} is over every capacity (at most {agent.capacity:g})")
    closes = window_close(instance, v)
    if math.isinf(fastest) and late > closes + TOL:
        return "window", late, f"its window closes at {closes:g}, the earliest arrival is at {late:g}"
    if math.isinf(fastest) and math.isfinite(late):
        what = "reaching and serving it" if instance.service(v) else "reaching it"
        return "limit", late, f"{what} takes at least {late:g}, over the length limit {agent.max_length:g}"
    if math.isinf(fastest):
        return "arcs", 0.0, f"no arcs of type {agent.type} reach it"
    if math.isinf(home):
        return "home", 0.0, f"no arcs of type {agent.type} lead back from it"
    if not within_limit(agent, fastest + home):
        trip = fastest + home
        return "limit", trip, f"the round trip takes at least {trip:g}, over the length limit {agent.max_length:g}"
    return None


def _summary(why: list[Reason | None]) -> str:
    # One line per kind of reason, with the bound of the agent that comes closest.
    best: dict[str, Reason] = {}
    for reason in why:
        if reason is not None and (reason[0] not in best or reason[1] < best[reason[0]][1]):
            best[reason[0]] = reason
    return "; ".join(reason[2] for reason in best.values())


def _node(instance: Instance, v: int) -> str:
    return f"{instance.node_ids[v]} (index {v})"


def _arrival_bounds(instance: Instance, agent: AgentView) -> tuple[list[float], list[float]]:
    """The earliest time the agent can reach each node index within its window and its
    length limit, and the earliest arrival at all, also too late: shortest paths from
    its start over the arcs it may use, waiting for windows; a late arrival goes no further."""
    n = len(instance.node_ids)
    depots = instance.depots
    reachable = [v for v in range(n) if admits(instance, agent, v)]
    closes = [window_close(instance, v) + TOL for v in range(n)]
    service = [instance.service(v) for v in range(n)]
    opens = [after_wait(instance, v, -math.inf) for v in range(n)]
    earliest = [math.inf] * n
    late = [math.inf] * n
    earliest[agent.start] = 0.0
    queue = [(0.0, agent.start)]
    while queue:
        t, u = heapq.heappop(queue)
        if t > earliest[u]:
            continue
        if u != agent.start and u in depots:
            continue  # a route does not pass through a depot
        row = _leg_row(instance, agent, u)
        for v in reachable:
            if row[v] >= instance.missing_cost or v == u:
                continue
            arrival = t + row[v]
            if arrival <= closes[v]:
                arrival = max(arrival, opens[v]) + service[v]  # leaving it, in truth
                if within_limit(agent, arrival):
                    if arrival < earliest[v]:
                        earliest[v] = arrival
                        heapq.heappush(queue, (arrival, v))
                    continue
            late[v] = min(late[v], arrival)
    return earliest, late


def _home_bounds(instance: Instance, agent: AgentView) -> list[float]:
    """The least cost from each node index to the end of the agent's route (windows
    left aside: waiting only adds); open routes stop anywhere for free."""
    n = len(instance.node_ids)
    if not instance.return_to_end:
        return [0.0] * n
    depots = instance.depots
    matrix = instance.costs.get(agent.type) or []
    passable = {u: matrix[u] if u < len(matrix) else [] for u in range(n)
                if u == agent.start or (u not in depots and admits(instance, agent, u))}
    least = [math.inf] * n
    least[agent.end] = 0.0
    queue = [(0.0, agent.end)]
    while queue:
        c, v = heapq.heappop(queue)
        if c > least[v]:
            continue
        for u, row in passable.items():
            cost = row[v] if v < len(row) else instance.missing_cost
            if u != v and cost < instance.missing_cost and c + cost < least[u]:
                least[u] = c + cost
                heapq.heappush(queue, (c + cost, u))
    return least


def _leg_row(instance: Instance, agent: AgentView, u: int) -> list[float]:
    """``leg_cost`` from node index u to every node index, read at once."""
    n = len(instance.node_ids)
    matrix = instance.costs.get(agent.type)
    given = matrix[u][:n] if matrix is not None and u < len(matrix) else []
    row = [float(c) for c in given] + [instance.missing_cost] * (n - len(given))
    for v in {u} if instance.return_to_end else {u, agent.start, agent.end}:
        row[v] = 0.0
    return row
