"""One PyVRP solve of a ZEL instance document, in its own process; min-sum only.

    python bench/solve_pyvrp.py INSTANCE.json TIME_LIMIT RECORD.json

PyVRP has no min-max objective and no sequence pairs, so such a document is answered
"not applicable".
The model (peers.py scales the document to whole numbers):
- every node a location; the agents' depots are depots, every other node a client,
  with its window (waiting is allowed), its service duration and, when capacities are
  enforced, its demand as a delivery; an optional target is an optional client whose
  prize is its penalty (an uncollected prize counts in the objective, as the penalty does);
- one vehicle type per group of agents alike in type, depots, limit and capacity (as
  many vehicles as agents) with their start and end depots, a shift starting at
  exactly 0 (so the route duration is the agent's clock), a shift end at the least of
  the length limit, the end depot's window and the horizon;
- one routing profile per agent (shared by the agents of a type when no agent has a
  start token), distance and duration both its type's matrix; an
  arc into a client the type may not visit, or a missing arc, has a prohibitive
  distance and duration (FORBIDDEN) and the maximum distance is below it, so a route
  that takes one is infeasible;
- cost per unit of duration 1, per unit of distance 0: the objective is the sum of the
  clocks, waiting included; with "minimise": "distance" the reverse, over the
  document's distance matrices. On open routes the arcs into depots cost nothing.
An unused vehicle costs nothing in PyVRP, while in the document an idle agent whose
start and end differ still travels between them (on closed routes): such an agent gets
a start token, a client placed at its start that only it can reach, so it is always
used and pays that trip.
"""

from __future__ import annotations

import sys
import time

import numpy as np
import pyvrp
from pyvrp import Client, Depot, Location, ProblemData, VehicleType
from pyvrp.IteratedLocalSearch import IteratedLocalSearchCallbacks, IteratedLocalSearchParams
from pyvrp.stop import MaxRuntime

from peers import PeerModel, peer_model, run_solver_process
from routes import assess, outcome, read


def build_data(pm: PeerModel) -> tuple[ProblemData, list[int], list[list[int]]]:
    """The problem data, the node index of each client (-1 for a start token) and the
    agents of each vehicle type."""
    instance = pm.instance
    n = len(instance.node_ids)
    depot_nodes = sorted(instance.depots)
    depot_index = {node: i for i, node in enumerate(depot_nodes)}
    # An agent that must travel from its start to a different end even when idle gets a
    # start token: a client only it can reach, from its start, at no cost, so it is
    # always used and its idle route costs the trip from start to end, as in the document.
    tokens = [k for k, a in enumerate(instance.agents)
              if instance.return_to_end and a.start != a.end]
    locations = [Location(x=x, y=y) for x, y in instance.positions]
    locations += [locations[instance.agents[k].start] for k in tokens]
    depots = [Depot(location=node) for node in depot_nodes]
    loads = bool(pm.demands)  # one load dimension when capacities are enforced
    clients = [Client(location=node, service_duration=pm.services[node],
                      **({"delivery": [pm.demands[node]]} if loads else {}), **_window(pm, node),
                      **({"prize": pm.penalties[node], "required": False} if node in pm.penalties else {}))
               for node in pm.targets]
    clients += [Client(location=n + i, **({"delivery": [0]} if loads else {}))
                for i in range(len(tokens))]
    # Agents whose matrices are the same share one profile: without start tokens, all
    # agents of a type; one matrix per agent would cost the square of the nodes per agent.
    keys = [instance.agents[k].type if not tokens else k for k in range(len(instance.agents))]
    first = {key: k for k, key in reversed(list(enumerate(keys)))}
    order = list(dict.fromkeys(keys))
    durations = [_profile(pm, first[key], tokens, pm.matrices, pm.forbidden) for key in order]
    by_distance = pm.distances is not None
    longest = max((v for m in (pm.distances or {}).values() for row in m for v in row
                   if v < pm.forbidden), default=0)
    reach = (n + len(tokens)) * longest + 1  # no route's distance exceeds it
    distances = ([_profile(pm, first[key], tokens, pm.distances, reach + 1) for key in order]
                 if by_distance else durations)
    # Agents alike in every respect are one vehicle type with as many vehicles: the
    # solver's own view of a homogeneous fleet.
    fleet: dict[tuple, list[int]] = {}
    for k, agent in enumerate(instance.agents):
        end_by = min(pm.limits[k] if pm.limits[k] is not None else pm.horizon, pm.horizon,
                     pm.depot_close.get(agent.end, pm.horizon))
        key = (order.index(keys[k]), agent.start, agent.end, end_by,
               pm.capacities[k] if loads else None)
        fleet.setdefault(key, []).append(k)
    total = sum(pm.demands) + 1
    vehicles = [VehicleType(
        num_available=len(members), start_depot=depot_index[start], end_depot=depot_index[end],
        tw_early=0, start_late=0, tw_late=end_by, shift_duration=end_by,
        max_distance=reach if by_distance else pm.horizon,
        unit_distance_cost=1 if by_distance else 0, unit_duration_cost=0 if by_distance else 1,
        profile=profile, **({"capacity": [cap if cap is not None else total]} if loads else {}))
        for (profile, start, end, end_by, cap), members in fleet.items()]
    data = ProblemData(locations, clients, depots, vehicles, distances, durations)
    return data, list(pm.targets) + [-1] * len(tokens), list(fleet.values())


def _profile(pm: PeerModel, k: int, tokens: list[int], matrices: dict, forbidden: int) -> np.ndarray:
    """Agent k's matrix: its type's, barred clients and other agents' tokens forbidden."""
    agent = pm.instance.agents[k]
    n = len(pm.instance.node_ids)
    m = np.full((n + len(tokens), n + len(tokens)), forbidden, dtype=np.int64)
    m[:n, :n] = np.minimum(np.asarray(matrices[agent.type], dtype=np.int64), forbidden)
    m[:, [v for v in pm.targets if not pm.may_visit(agent.type, v)]] = forbidden
    for i, owner in enumerate(tokens):
        m[n + i, :n] = m[agent.start, :n]  # leaving the token is leaving the start
        if owner == k:
            m[agent.start, n + i] = 0
    np.fill_diagonal(m, 0)
    return m


def _window(pm: PeerModel, node: int) -> dict:
    if node not in pm.windows:
        return {}
    opens, closes = pm.windows[node]
    return {"tw_early": max(0, opens), "tw_late": closes}


def read_routes(pm: PeerModel, solution, client_nodes: list[int],
                members: list[list[int]]) -> list[list[int]]:
    """One path per agent, [] for an unused vehicle (an idle agent); the routes of a
    vehicle type go to its agents in order."""
    paths: list[list[int]] = [[] for _ in pm.instance.agents]
    taken = [0] * len(members)
    for r in solution.routes():
        kind = r.vehicle_type()
        k = members[kind][taken[kind]]
        taken[kind] += 1
        agent = pm.instance.agents[k]
        visits = [client_nodes[a.idx] for a in r if a.is_client() and client_nodes[a.idx] >= 0]
        paths[k] = [agent.start, *visits, agent.end]
    return paths


class Progress(IteratedLocalSearchCallbacks):
    """Records time and recomputed cost of each new feasible best solution."""

    def __init__(self, pm: PeerModel, client_nodes: list[int], members: list[list[int]],
                 start: float):
        self.pm, self.client_nodes, self.members, self.start = pm, client_nodes, members, start
        self.anytime: list[list[float]] = []

    def on_start(self, ils) -> None:
        self.on_best(ils.initial_solution)

    def on_best(self, best) -> None:
        if not best.is_feasible():
            return
        cost, problems = assess(self.pm.instance, read_routes(self.pm, best, self.client_nodes, self.members))
        if not problems and (not self.anytime or cost < self.anytime[-1][1]):
            self.anytime.append([time.perf_counter() - self.start, cost])


def solve(doc: dict, time_limit: float) -> dict:
    instance = read(doc)
    if instance.objective != "min_sum":
        return {"status": "not applicable", "error": "PyVRP has no min-max objective",
                "anytime": []}
    pm = peer_model(instance)
    if pm.pairs:
        return {"status": "not applicable", "error": "PyVRP has no sequence pairs", "anytime": []}
    data, client_nodes, members = build_data(pm)
    start = time.perf_counter()
    progress = Progress(pm, client_nodes, members, start)
    params = pyvrp.SolveParams(ils=IteratedLocalSearchParams(callbacks=progress))
    result = pyvrp.solve(data, MaxRuntime(time_limit), collect_stats=False, display=False,
                         params=params)
    solve_time = time.perf_counter() - start
    record = {"status": "success" if result.is_feasible() else "failed",
              "solve_time": solve_time, "n_generated": None, "n_expanded": None,
              "anytime": progress.anytime}
    if result.is_feasible():
        paths = read_routes(pm, result.best, client_nodes, members)
        record.update(outcome(instance, paths).record(), paths=paths)
        record["reported_best"] = result.cost() / pm.scale  # its own objective, for comparison
    return record


if __name__ == "__main__":
    run_solver_process(sys.argv, solve)
