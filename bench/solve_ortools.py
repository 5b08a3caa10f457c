"""One OR-Tools routing solve of a ZEL instance document, in its own process.

    python bench/solve_ortools.py INSTANCE.json TIME_LIMIT RECORD.json

The model (peers.py scales the document to whole numbers):
- one vehicle per agent, with the agent's start and end depots;
- one transit matrix per agent type, the arc costs of that type's vehicles;
- a time dimension when the instance needs one (min-max, windows, length limits or
  missing arcs): slack is waiting, the start cumul is 0, a window bounds the cumul of
  its node, a vehicle's capacity is its length limit (else the horizon);
- allowed vehicles per node for the assignment constraints;
- a load dimension when capacities are enforced (a vehicle's capacity its agent's);
- service: the time dimension's transit out of a node adds the node's service;
- "minimise": "distance" (min-sum): arc costs from the distance matrices, no slack cost;
- min-max: the global span of the time dimension (coefficient 100: it dominates, arc
  costs break ties); min-sum: arc costs, plus the slack cost of waiting where there are
  windows, so the objective is the sum of the agents' clocks.
First solution by path cheapest arc, then guided local search until the time limit, on
one thread. Every cost recorded is recomputed from the routes in the document's unit.
"""

from __future__ import annotations

import sys
import time

from ortools.constraint_solver import pywrapcp, routing_enums_pb2

from peers import PeerModel, peer_model, run_solver_process
from routes import assess, read

SPAN_COEFFICIENT = 100  # the span dominates; arc costs only break ties between equal spans
FIRST_SOLUTION = routing_enums_pb2.FirstSolutionStrategy.PATH_CHEAPEST_ARC


def build_model(pm: PeerModel):
    agents = pm.instance.agents
    n = len(pm.instance.node_ids)
    manager = pywrapcp.RoutingIndexManager(n, len(agents), [a.start for a in agents],
                                           [a.end for a in agents])
    routing = pywrapcp.RoutingModel(manager)
    transit = {kind: routing.RegisterTransitMatrix(m) for kind, m in pm.matrices.items()}
    per_vehicle = [transit[a.type] for a in agents]
    # The clock moves on by the service at the node it leaves.
    serviced = any(pm.services)
    clocks = {kind: routing.RegisterTransitMatrix([[c + pm.services[i] if c < pm.forbidden else c
                                                    for c in row] for i, row in enumerate(m)])
              for kind, m in pm.matrices.items()} if serviced else transit
    lengths = ({kind: routing.RegisterTransitMatrix(m) for kind, m in pm.distances.items()}
               if pm.distances is not None else transit)
    for v, a in enumerate(agents):
        routing.SetArcCostEvaluatorOfVehicle(lengths[a.type], v)
        if pm.instance.return_to_end and agents[v].start != agents[v].end:
            routing.SetVehicleUsedWhenEmpty(True, v)  # its idle route start -> end is paid
    for node in pm.targets:
        vehicles = [v for v, a in enumerate(agents) if pm.may_visit(a.type, node)]
        if len(vehicles) < len(agents):
            allow_only(routing, vehicles, len(agents), manager.NodeToIndex(node))
    if pm.has_capacities:
        load = routing.RegisterUnaryTransitVector(pm.demands)
        bound = sum(pm.demands)
        routing.AddDimensionWithVehicleCapacity(
            load, 0, [c if c is not None else bound for c in pm.capacities], True, "load")
    objective = pm.instance.objective
    needs_time = (objective == "min_max" or pm.has_windows or any(pm.limits)
                  or any(pm.forbidden in row for m in pm.matrices.values() for row in m))
    if not needs_time:
        if pm.has_capacities:
            drop_at_a_price(routing, manager, pm, 2 * pm.horizon)
        return manager, routing
    if pm.has_windows or any(pm.limits) or pm.has_capacities:
        # A fixed fleet under windows or limits often leaves the first-solution heuristics
        # without any complete answer: a node may be dropped at a price above anything
        # dropping it could save (arcs, waiting and span cost a few horizons at most), so
        # the search starts from a partial answer and works towards a complete one.
        drop_at_a_price(routing, manager, pm, 2 * (SPAN_COEFFICIENT + 1) * pm.horizon)
    capacities = [limit if limit is not None else pm.horizon for limit in pm.limits]
    slack = pm.horizon if pm.has_windows else 0
    routing.AddDimensionWithVehicleTransitAndCapacity([clocks[a.type] for a in agents], slack,
                                                      capacities, True, "time")
    clock = routing.GetDimensionOrDie("time")
    for node, (opens, closes) in pm.windows.items():
        if node in pm.targets:
            clock.CumulVar(manager.NodeToIndex(node)).SetRange(opens, closes)
    for v, a in enumerate(agents):
        if a.end in pm.windows:
            clock.CumulVar(routing.End(v)).SetMax(pm.windows[a.end][1])
    if objective == "min_max":
        clock.SetGlobalSpanCostCoefficient(SPAN_COEFFICIENT)
    elif pm.has_windows and pm.distances is None:
        clock.SetSlackCostCoefficientForAllVehicles(1)
    return manager, routing


def drop_at_a_price(routing, manager, pm: PeerModel, penalty: int) -> None:
    """Lets the search start from a partial answer: a node may be dropped at a price above
    anything dropping it could save."""
    for node in pm.targets:
        routing.AddDisjunction([manager.NodeToIndex(node)], penalty)


def allow_only(routing, vehicles: list[int], agents: int, index: int) -> None:
    try:
        routing.SetAllowedVehiclesForIndex(vehicles, index)
    except TypeError:  # some wheels do not bind its absl::Span argument: the same by hand
        routing.VehicleVar(index).RemoveValues([v for v in range(agents) if v not in vehicles])


def read_routes(manager, routing, agents: int, value) -> list[list[int]]:
    """The routes of the current solution; `value` reads a variable (during the search
    from the bound variable, afterwards from the returned assignment)."""
    routes = []
    for v in range(agents):
        index, route = routing.Start(v), []
        while not routing.IsEnd(index):
            route.append(manager.IndexToNode(index))
            index = value(routing.NextVar(index))
        route.append(manager.IndexToNode(index))
        routes.append(route)
    return routes


def solve(doc: dict, time_limit: float) -> dict:
    instance = read(doc)
    pm = peer_model(instance)
    agents = len(instance.agents)
    manager, routing = build_model(pm)

    anytime: list[list[float]] = []
    best_objective = [float("inf")]

    def on_solution() -> None:
        # Cheap to read at every solution: the routes are only walked when it improves.
        objective = routing.CostVar().Value()
        if objective < best_objective[0]:
            best_objective[0] = objective
            cost, problems = assess(instance, read_routes(manager, routing, agents,
                                                          lambda var: var.Value()))
            if not problems and (not anytime or cost < anytime[-1][1]):
                anytime.append([time.perf_counter() - start, cost])

    routing.AddAtSolutionCallback(on_solution)
    params = pywrapcp.DefaultRoutingSearchParameters()
    params.first_solution_strategy = FIRST_SOLUTION
    params.local_search_metaheuristic = (
        routing_enums_pb2.LocalSearchMetaheuristic.GUIDED_LOCAL_SEARCH)
    params.time_limit.FromMilliseconds(round(time_limit * 1000))
    start = time.perf_counter()
    solution = routing.SolveWithParameters(params)
    solve_time = time.perf_counter() - start
    record = {"status": "success" if solution else "failed", "solve_time": solve_time,
              "n_generated": None, "n_expanded": None, "anytime": anytime}
    if solution:
        routes = read_routes(manager, routing, agents, solution.Value)
        record["best"], record["problems"] = assess(instance, routes)
    return record


if __name__ == "__main__":
    run_solver_process(sys.argv, solve)
