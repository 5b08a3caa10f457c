"""Checks a result dictionary against the instance it answers: every target
visited once, routes from and to the agents' own depots, agent types, time
windows on the start of service, route-length limits with service, capacities
and the reported costs in the objective's measure (duration or distance)."""

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
    seen: dict[int, int] = {}
    for k, (agent, route) in enumerate(zip(instance.agents, result["routes"])):
        if route["agent_id"] != agent.id:
            problems.append(f"agent {k}: agent_id {route['agent_id']} != {agent.id}")
        problems += _route_problems(instance, k, agent, route, seen)
    depots = instance.depots
    for v in range(len(instance.node_ids)):
        if v not in depots and seen.get(v, 0) != 1:
            problems.append(f"node {v} visited {seen.get(v, 0)} times")
    problems += _statistics_problems(result)
    return problems


# The name the tests have always used.
route_problems = check_result


def _route_problems(instance: Instance, k: int, agent: AgentView, route: dict[str, Any], seen: dict[int, int]) -> list[str]:
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
            seen[v] = seen.get(v, 0) + 1
    return problems + _time_problems(instance, name, agent, route)


def schedule(instance: Instance, agent: AgentView, path: list[int]) -> list[tuple[float, float, float]]:
    """(arrival, start of service, departure) at each stop of a route: an early arrival waits
    for the window to open, service starts then and lasts the node's "service".

    Agents stand at their start at time 0, wait there for its window to open, and waiting
    and service are part of the route's duration.
    """
    return _walk(instance, "route", agent, path, [])[0]


def _time_problems(instance: Instance, name: str, agent: AgentView, route: dict[str, Any]) -> list[str]:
    problems: list[str] = []
    times, distance = _walk(instance, name, agent, route["path"], problems)
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


def _walk(
    instance: Instance, name: str, agent: AgentView, path: list[int], problems: list[str]
) -> tuple[list[tuple[float, float, float]], float]:
    """The schedule of a route and its distance; the broken rules go into `problems`."""
    times: list[tuple[float, float, float]] = []
    t = distance = 0.0
    for p, v in enumerate(path):
        if p > 0:
            cost = leg_cost(instance, agent, path[p - 1], v)
            if cost >= instance.missing_cost:
                problems.append(f"{name}: no arc {path[p - 1]} -> {v} for type {agent.type}")
            t += cost
            distance += leg_distance(instance, agent, path[p - 1], v)
        arrival = t
        closes = window_close(instance, v)
        if t > closes + TOL:
            problems.append(f"{name}: reaches node {v} at {t:g}, its window closes at {closes:g}")
        start = after_wait(instance, v, t)
        t = start + instance.service(v)
        if not within_limit(agent, t):
            problems.append(f"{name}: time {t:g} at node {v} is over its limit {agent.max_length:g} (max_length)")
        times.append((arrival, start, t))
    return times, distance


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


def _statistics_problems(result: dict[str, Any]) -> list[str]:
    costs = [r["cost"] for r in result["routes"]]
    stats = result["statistics"]
    problems = []
    longest = max(costs, default=0.0)  # the routes may all cost less than nothing
    if abs(stats["max_cost"] - longest) > TOL:
        problems.append(f"statistics max_cost {stats['max_cost']} differs from the routes' {longest}")
    if abs(stats["sum_cost"] - sum(costs)) > TOL:
        problems.append(f"statistics sum_cost {stats['sum_cost']} differs from the routes' {sum(costs)}")
    return problems
