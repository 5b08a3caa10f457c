"""One PyVRP solve of a ZEL instance document, in its own process; min-sum only.

    python bench/solve_pyvrp.py INSTANCE.json TIME_LIMIT RECORD.json

PyVRP has no min-max objective, so a min-max document is answered "not applicable".
The model (peers.py scales the document to whole numbers):
- every node a location; the agents' depots are depots, every other node a client,
  with its window (waiting is allowed, service takes no time);
- one vehicle type per agent (one vehicle each) with the agent's start and end depots,
  a shift starting at exactly 0 (so the route duration is the agent's clock), a shift
  end at its length limit (else the horizon);
- one routing profile per agent (shared by the agents of a type when no agent has a
  start token), distance and duration both its type's matrix; an
  arc into a client the type may not visit, or a missing arc, has a prohibitive
  distance and duration (FORBIDDEN) and the maximum distance is below it, so a route
  that takes one is infeasible;
- cost per unit of duration 1, per unit of distance 0: the objective is the sum of the
  clocks, waiting included. On open routes the arcs into depots cost nothing.
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

from peers import SCALE, PeerModel, peer_model, run_solver_process
from routes import assess, read


def build_data(pm: PeerModel) -> tuple[ProblemData, list[int]]:
    """The problem data and the node index of each client (-1 for a start token)."""
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
    clients = [Client(location=node, **_window(pm, node)) for node in pm.targets]
    clients += [Client(location=n + i) for i in range(len(tokens))]
    # Agents whose matrices are the same share one profile: without start tokens, all
    # agents of a type; one matrix per agent would cost the square of the nodes per agent.
    keys = [instance.agents[k].type if not tokens else k for k in range(len(instance.agents))]
    first = {key: k for k, key in reversed(list(enumerate(keys)))}
    order = list(dict.fromkeys(keys))
    profiles = [_profile(pm, first[key], tokens) for key in order]
    vehicles = []
    for k, (agent, limit) in enumerate(zip(instance.agents, pm.limits)):
        end_by = min(limit, pm.horizon) if limit is not None else pm.horizon
        vehicles.append(VehicleType(
            num_available=1, start_depot=depot_index[agent.start],
            end_depot=depot_index[agent.end], tw_early=0, start_late=0, tw_late=end_by,
            shift_duration=end_by, max_distance=pm.horizon, unit_distance_cost=0,
            unit_duration_cost=1, profile=order.index(keys[k])))
    data = ProblemData(locations, clients, depots, vehicles, profiles, profiles)
    return data, list(pm.targets) + [-1] * len(tokens)


def _profile(pm: PeerModel, k: int, tokens: list[int]) -> np.ndarray:
    """Agent k's matrix: its type's, barred clients and other agents' tokens forbidden."""
    agent = pm.instance.agents[k]
    n = len(pm.instance.node_ids)
    m = np.full((n + len(tokens), n + len(tokens)), pm.forbidden, dtype=np.int64)
    m[:n, :n] = pm.matrices[agent.type]
    m[:, [v for v in pm.targets if not pm.may_visit(agent.type, v)]] = pm.forbidden
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


def read_routes(pm: PeerModel, solution, client_nodes: list[int]) -> list[list[int]]:
    """One path per agent, [] for an unused vehicle (an idle agent)."""
    paths: list[list[int]] = [[] for _ in pm.instance.agents]
    for r in solution.routes():
        agent = pm.instance.agents[r.vehicle_type()]
        visits = [client_nodes[a.idx] for a in r if a.is_client() and client_nodes[a.idx] >= 0]
        paths[r.vehicle_type()] = [agent.start, *visits, agent.end]
    return paths


class Progress(IteratedLocalSearchCallbacks):
    """Records time and recomputed cost of each new feasible best solution."""

    def __init__(self, pm: PeerModel, client_nodes: list[int], start: float):
        self.pm, self.client_nodes, self.start = pm, client_nodes, start
        self.anytime: list[list[float]] = []

    def on_start(self, ils) -> None:
        self.on_best(ils.initial_solution)

    def on_best(self, best) -> None:
        if not best.is_feasible():
            return
        cost, problems = assess(self.pm.instance, read_routes(self.pm, best, self.client_nodes))
        if not problems and (not self.anytime or cost < self.anytime[-1][1]):
            self.anytime.append([time.perf_counter() - self.start, cost])


def solve(doc: dict, time_limit: float) -> dict:
    instance = read(doc)
    if instance.objective != "min_sum":
        return {"status": "not applicable", "error": "PyVRP has no min-max objective",
                "anytime": []}
    pm = peer_model(instance)
    data, client_nodes = build_data(pm)
    start = time.perf_counter()
    progress = Progress(pm, client_nodes, start)
    params = pyvrp.SolveParams(ils=IteratedLocalSearchParams(callbacks=progress))
    result = pyvrp.solve(data, MaxRuntime(time_limit), collect_stats=False, display=False,
                         params=params)
    solve_time = time.perf_counter() - start
    record = {"status": "success" if result.is_feasible() else "failed",
              "solve_time": solve_time, "n_generated": None, "n_expanded": None,
              "anytime": progress.anytime}
    if result.is_feasible():
        record["best"], record["problems"] = assess(instance, read_routes(pm, result.best,
                                                                          client_nodes))
        record["reported_best"] = result.cost() / SCALE  # its own objective, for comparison
    return record


if __name__ == "__main__":
    run_solver_process(sys.argv, solve)
