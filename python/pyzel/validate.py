"""Checks a result dictionary against the instance it answers: every target
visited once (or left out where its penalty allows, listed and counted), routes
from and to the agents' own depots, agent types, time windows on the start of
service, route-length limits with service, capacities, the "sequence" pairs
(with the waits "before" pairs cause across routes) and the reported costs in
the objective's measure (duration or distance)."""

from __future__ import annotations

import math
from typing import Any

from .document import AgentView, Instance, check_result_shape, instance_from
from .values import is_number

TOL = 1e-6


def check_result(doc: Any, result: Any) -> list[str]:
    """Every violation found, one readable line each; an empty list means valid.

    Raises InputError when the instance is malformed or the result does not
    answer it (wrong number of routes, node indices outside the instance).
    """
    instance = doc if isinstance(doc, Instance) else instance_from(doc)
    check_result_shape(result, instance)
    if result["status"] != "success":
        return [f"status is {result['status']}"]
    problems: list[str] = []
    served: dict[int, list[tuple[int, int]]] = {}  # node index -> (route, position) of each visit
    for k, (agent, route) in enumerate(zip(instance.agents, result["routes"])):
        if route["agent_id"] != agent.id:
            problems.append(f"agent {k}: agent_id {route['agent_id']} != {agent.id}")
        problems += _route_problems(instance, k, agent, route, served)
    times = _timed(instance, [r["path"] for r in result["routes"]], problems)
    for k, (agent, route) in enumerate(zip(instance.agents, result["routes"])):
        if route["path"]:
            problems += _cost_problems(instance, f"agent {k}", agent, route, *times[k])
    problems += _left_out_problems(instance, served, result)
    if instance.sequence_judged:
        problems += _pair_problems(instance, served, [t for t, _ in times])
    problems += _statistics_problems(instance, result)
    return problems


# The name the tests have always used.
route_problems = check_result


def _route_problems(instance: Instance, k: int, agent: AgentView, route: dict[str, Any],
                    served: dict[int, list[tuple[int, int]]]) -> list[str]:
    name = f"agent {k}"
    path = route["path"]
    s, e = agent.start, agent.end
    if not path:
        return [f"{name}: empty path"]
    problems = []
    if path[0] != s:
        problems.append(f"{name}: starts at {path[0]}, not {s}")
    if not (path[-1] == e or (not instance.return_to_end and path[-1] == s)):
        problems.append(f"{name}: ends at {path[-1]}, not {e}")
    depots = instance.depots
    for p, v in enumerate(path):
        # The start is where the instance places the agent, not a visit.
        if p > 0 and not admits(instance, agent, v):
            problems.append(f"{name}: type {agent.type} not allowed at node {v}")
        if v in depots and v not in (s, e):
            problems.append(f"{name}: enters foreign depot {v}")
        if 0 < p < len(path) - 1 and v in (s, e):
            problems.append(f"{name}: passes its own depot {v} mid-route")
        if v not in depots:
            served.setdefault(v, []).append((k, p))
    return problems


Times = list[tuple[float, float, float]]  # (arrival, start of service, departure) at each stop


def schedule(instance: Instance, agent: AgentView, path: list[int]) -> Times:
    """(arrival, start of service, departure) at each stop of a route: an early arrival waits
    for the window to open, service starts then and lasts the node's "service".

    Agents stand at their start at time 0, wait there for its window to open, and waiting
    and service are part of the route's duration. The route alone: `schedules` adds the
    waits that pairs across routes cause.
    """
    clock = _Clock(instance, "route", agent, path, [])
    while clock.visit(-math.inf):
        pass
    return clock.times


def schedules(instance: Instance, paths: list[list[int]]) -> list[Times]:
    """The times of every route at once (one path an agent): `schedule`, and where the
    "sequence" pairs are judged, service after a "before" pair's first target also waits
    until that target's service ends, on whichever route it is."""
    return [times for times, _ in _timed(instance, paths, [])]


class _Clock:
    """One route's clock, advanced a stop at a time: arrival, waiting for the window (and for
    pairs), service, the limit; the broken rules go into `problems`."""

    def __init__(self, instance: Instance, name: str, agent: AgentView, path: list[int], problems: list[str]):
        self.instance, self.name, self.agent, self.path, self.problems = instance, name, agent, path, problems
        self.times: Times = []
        self.t = self.distance = 0.0

    @property
    def next(self) -> int:
        """The position of the next stop; the length of the path when all are done."""
        return len(self.times)

    def visit(self, ready: float) -> bool:
        """Serves the next stop, starting no earlier than `ready`; False when none is left."""
        instance, path, p = self.instance, self.path, len(self.times)
        if p == len(path):
            return False
        v = path[p]
        if p > 0:
            cost = leg_cost(instance, self.agent, path[p - 1], v)
            if cost >= instance.missing_cost:
                self.problems.append(f"{self.name}: no arc {path[p - 1]} -> {v} for type {self.agent.type}")
            self.t += cost
            self.distance += leg_distance(instance, self.agent, path[p - 1], v)
        arrival = self.t
        closes = window_close(instance, v)
        if arrival > closes + TOL:
            self.problems.append(f"{self.name}: reaches node {v} at {arrival:g}, its window closes at {closes:g}")
        start = after_wait(instance, v, arrival)
        if ready > start:
            start = ready
            if start > closes + TOL >= arrival:
                self.problems.append(f"{self.name}: service at node {v} waits for a pair until {start:g},"
                                     f" after its window closes at {closes:g}")
        self.t = start + instance.service(v)
        if not within_limit(self.agent, self.t):
            self.problems.append(f"{self.name}: time {self.t:g} at node {v} is over its limit "
                                 f"{self.agent.max_length:g} (max_length)")
        self.times.append((arrival, start, self.t))
        return True


def _timed(instance: Instance, paths: list[list[int]], problems: list[str]) -> list[tuple[Times, float]]:
    """Each route's times and distance. Routes tied by "before" pairs advance together: a stop
    is served once the targets it waits for are (a topological order of the stops); where the
    waits go round in a cycle, the first route held up goes on without the wait, named."""
    clocks = [_Clock(instance, f"agent {k}", agent, path, problems)
              for k, (agent, path) in enumerate(zip(instance.agents, paths))]
    waits = _waits(instance)
    if not waits:  # the common road: each route alone
        for clock in clocks:
            while clock.visit(-math.inf):
                pass
        return [(c.times, c.distance) for c in clocks]
    visits: dict[int, list[tuple[int, int]]] = {}
    for k, path in enumerate(paths):
        for p, v in enumerate(path):
            visits.setdefault(v, []).append((k, p))
    done: dict[tuple[int, int], float] = {}  # stop -> the end of its service
    while True:
        moved = True
        while moved:
            moved = False
            for k, clock in enumerate(clocks):
                while clock.next < len(clock.path):
                    v = clock.path[clock.next]
                    first = [e for a in waits.get(v, ()) for e in visits.get(a, ())]
                    if any(e not in done for e in first):
                        break
                    clock.visit(max((done[e] for e in first), default=-math.inf))
                    done[(k, clock.next - 1)] = clock.t
                    moved = True
        held = [(k, c) for k, c in enumerate(clocks) if c.next < len(c.path)]
        if not held:
            return [(c.times, c.distance) for c in clocks]
        k, clock = held[0]
        v = clock.path[clock.next]
        late = sorted({instance.node_ids[a] for a in waits.get(v, ()) for e in visits.get(a, ()) if e not in done})
        problems.append(f"agent {k}: node {v} waits for node id{'s' if len(late) > 1 else ''} "
                        f"{', '.join(map(str, late))} (\"before\" pairs), which wait for it in turn: a cycle")
        ready = max((done[e] for a in waits.get(v, ()) for e in visits.get(a, ()) if e in done), default=-math.inf)
        clock.visit(ready)
        done[(k, clock.next - 1)] = clock.t


def _waits(instance: Instance) -> dict[int, list[int]]:
    """Node index -> the node indices whose service its own waits for (the "before" pairs)."""
    if not instance.sequence_judged:
        return {}
    index = {node_id: v for v, node_id in enumerate(instance.node_ids)}
    depots = instance.depots
    waits: dict[int, list[int]] = {}
    for pair in instance.pairs:
        a, b = index.get(pair.before), index.get(pair.after)
        if pair.kind == "before" and a is not None and b is not None and not {a, b} & depots:
            waits.setdefault(b, []).append(a)
    return waits


def _cost_problems(instance: Instance, name: str, agent: AgentView, route: dict[str, Any], times: Times,
                   distance: float) -> list[str]:
    problems: list[str] = []
    duration = times[-1][2] if times else 0.0
    measure, recomputed = ("distance", distance) if instance.by_distance else ("duration", duration)
    if abs(route["cost"] - recomputed) > TOL:
        problems.append(f"{name}: reported cost {route['cost']} != recomputed {recomputed} (its {measure})")
    for key, value in (("duration", duration), ("distance", distance)):
        if key in route and (not is_number(route[key]) or abs(route[key] - value) > TOL):
            problems.append(f'{name}: reported "{key}" {route[key]} != recomputed {value}')
    if instance.capacities_judged and agent.capacity > 0:
        load = sum(instance.demand(v) for v in route["path"][1:])
        if load > agent.capacity + TOL:
            problems.append(f'{name}: capacity: carries {load:g}, over its capacity {agent.capacity:g}'
                            ' ("enforce_capacities")')
    return problems


def _left_out_problems(instance: Instance, served: dict[int, list[tuple[int, int]]], result: dict[str, Any]) -> list[str]:
    """Each target served once, or left out where it may be: listed under "unassigned", its
    penalty counted in "penalty"."""
    problems = []
    depots, ids = instance.depots, instance.node_ids
    left_out = []
    for v in range(len(ids)):
        count = len(served.get(v, []))
        if v in depots or count == 1:
            continue
        if count == 0 and instance.penalty(v) is not None:
            left_out.append(v)
        elif count == 0 and instance.optional_targets:
            problems.append(f"node {v} visited 0 times: node id {ids[v]} has no penalty, it must be served")
        else:
            problems.append(f"node {v} visited {count} times")
    listed = result.get("unassigned")
    if listed is None:
        problems += [f'node {v} visited 0 times: node id {ids[v]} may be left out, but the result has no'
                     ' "unassigned" list' for v in left_out]
        return problems
    if listed != sorted(set(listed)):
        problems.append(f'"unassigned" {listed} is not in ascending order, each id once')
    index = {node_id: v for v, node_id in enumerate(ids)}
    for node_id in sorted(set(listed)):
        where = index.get(node_id)
        if where is None or where in depots:
            problems.append(f'"unassigned" lists node id {node_id}, which is no target of the instance')
        elif served.get(where):
            problems.append(f'"unassigned" lists node id {node_id}, which agent {served[where][0][0]} serves')
    problems += [f'node id {ids[v]} is left out but not listed in "unassigned"' for v in left_out
                 if ids[v] not in listed]
    penalty = sum(instance.penalty(v) or 0.0 for v in left_out)
    reported = result.get("penalty", 0.0)
    if abs(reported - penalty) > TOL:
        problems.append(f'reported "penalty" {reported} != the left-out targets\' penalties {penalty}')
    return problems


def _pair_problems(instance: Instance, served: dict[int, list[tuple[int, int]]], times: list[Times]) -> list[str]:
    """Each "sequence" pair kept, named with the routes that break it."""
    index = {node_id: v for v, node_id in enumerate(instance.node_ids)}
    problems = []
    for pair in instance.pairs:
        a, b = index.get(pair.before), index.get(pair.after)
        if a is None or b is None or {a, b} & instance.depots:
            continue  # not a pair of targets: `pyzel check` names it
        at_a, at_b = (served.get(v, [None])[0] for v in (a, b))
        name = f"pair {pair}"
        if at_a is None and at_b is None:
            continue
        if at_a is None and at_b is not None and pair.kind != "diff":
            problems.append(f"{name}: agent {at_b[0]} serves node {pair.after}, node {pair.before} is left out")
        if at_b is None and at_a is not None and pair.kind == "same":
            problems.append(f"{name}: agent {at_a[0]} serves node {pair.before}, node {pair.after} is left out")
        if at_a is None or at_b is None:
            continue
        (ka, pa), (kb, pb) = at_a, at_b
        if pair.kind == "before":
            ends, starts = times[ka][pa][2], times[kb][pb][1]
            if starts < ends - TOL:
                problems.append(f"{name}: service at node {pair.after} starts at {starts:g} (agent {kb}),"
                                f" before the service at node {pair.before} ends at {ends:g} (agent {ka})")
        elif pair.kind == "same" and ka != kb:
            problems.append(f"{name}: agents {ka} and {kb} serve them, not one agent")
        elif pair.kind == "same" and pb < pa:
            problems.append(f"{name}: agent {ka} serves node {pair.after} before node {pair.before}")
        elif pair.kind == "diff" and ka == kb:
            problems.append(f"{name}: agent {ka} serves both")
    return problems


# --- the route rules, one function each; the failure diagnosis reads the same ones -------------


def admits(instance: Instance, agent: AgentView, v: int) -> bool:
    """Whether the agent's type may visit node index v: a node without assignment admits every type."""
    allowed = instance.allowed.get(instance.node_ids[v])
    return allowed is None or agent.type in allowed


def leg_cost(instance: Instance, agent: AgentView, u: int, v: int) -> float:
    """The cost, and travel time, of the move u -> v; missing_cost or more means no arc."""
    # Staying put costs nothing; so does stopping at a depot when routes are open.
    if u == v or (not instance.return_to_end and v in (agent.start, agent.end)):
        return 0.0
    return instance.cost(agent.type, u, v)


def leg_distance(instance: Instance, agent: AgentView, u: int, v: int) -> float:
    """The distance of the move u -> v: its type's "distances", else its travel time."""
    matrix = instance.distances.get(agent.type)
    if matrix is None:
        return leg_cost(instance, agent, u, v)
    if u == v or (not instance.return_to_end and v in (agent.start, agent.end)):
        return 0.0  # the moves that cost no time go nowhere
    try:
        return float(matrix[u][v])
    except IndexError:
        return 0.0  # as the solver reads an entry its matrix lacks


def window_close(instance: Instance, v: int) -> float:
    """The latest arrival at node index v (infinite without a window)."""
    window = instance.windows.get(instance.node_ids[v])
    return window[1] if window else math.inf


def after_wait(instance: Instance, v: int, t: float) -> float:
    """The time service at node index v can begin for an arrival at t: early arrivals wait."""
    window = instance.windows.get(instance.node_ids[v])
    return max(t, window[0]) if window else t


def within_limit(agent: AgentView, t: float) -> bool:
    return agent.max_length <= 0 or t <= agent.max_length + TOL


def _statistics_problems(instance: Instance, result: dict[str, Any]) -> list[str]:
    costs = [r["cost"] for r in result["routes"]]
    stats = result["statistics"]
    problems = []
    longest = max(costs, default=0.0)  # the routes may all cost less than nothing
    if abs(stats["max_cost"] - longest) > TOL:
        problems.append(f"statistics max_cost {stats['max_cost']} differs from the routes' {longest}")
    if abs(stats["sum_cost"] - sum(costs)) > TOL:
        problems.append(f"statistics sum_cost {stats['sum_cost']} differs from the routes' {sum(costs)}")
    anytime = result.get("anytime")
    if "penalty" in result and anytime:
        # With targets left out, the anytime list scores the routes plus their penalties.
        key = "max_cost" if instance.objective == "min_max" else "sum_cost"
        objective = stats[key] + result["penalty"]
        if abs(anytime[-1][key] - objective) > TOL * max(1.0, abs(objective)):
            problems.append(f'the last anytime entry\'s {key} {anytime[-1][key]} != the objective {objective}'
                            f' (the routes\' {stats[key]} plus the "penalty" {result["penalty"]})')
    return problems
