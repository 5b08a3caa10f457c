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
- sequence pairs: "same" as pickup and delivery (one vehicle, cumul order), "diff" as
  differing vehicle variables, plain as a node precedence of the time dimension (the
  second service starts once the first has ended), whichever vehicles serve them;
- optional targets: a disjunction at the target's penalty (min-max: times the span's
  coefficient), the arc costs then carrying the service a left-out target saves;
- "minimise": "distance" (min-sum): arc costs from the distance matrices, no slack cost;
- min-max: the global span of the time dimension (coefficient 100: it dominates, arc
  costs break ties); min-sum: arc costs, plus the slack cost of waiting where there are
  windows, so the objective is the sum of the agents' clocks.
First solution by path cheapest arc (with pairs or penalties: local cheapest insertion), then guided local search until the time limit, on
one thread. Every cost recorded is recomputed from the routes in the document's unit.
"""

from __future__ import annotations

import sys
import time

from ortools.constraint_solver import pywrapcp, routing_enums_pb2

from peers import PeerModel, peer_model, run_solver_process
from routes import assess, outcome, read

SPAN_COEFFICIENT = 100  # the span dominates; arc costs only break ties between equal spans
FIRST_SOLUTION = routing_enums_pb2.FirstSolutionStrategy.PATH_CHEAPEST_ARC
# Pairs and optional targets: insertion one node (or pair) at a time, which on the rule sets
# leaves fewer targets out at the limit than the path or parallel insertion.
RULES_FIRST_SOLUTION = routing_enums_pb2.FirstSolutionStrategy.LOCAL_CHEAPEST_INSERTION


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
    # With optional targets the service of one left out is saved: the arc costs carry it.
    lengths = ({kind: routing.RegisterTransitMatrix(m) for kind, m in pm.distances.items()}
               if pm.distances is not None else clocks if pm.penalties else transit)
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
    # A left-out target's penalty counts as the objective does: times the span's weight.
    weight = SPAN_COEFFICIENT if objective == "min_max" else 1
    needs_time = (objective == "min_max" or pm.has_windows or any(pm.limits) or bool(pm.pairs)
                  or any(pm.forbidden in row for m in pm.matrices.values() for row in m))
    if not needs_time:
        if pm.has_capacities or pm.penalties:
            drop_at_a_price(routing, manager, pm, 2 * pm.horizon, weight)
        return manager, routing
    if pm.has_windows or any(pm.limits) or pm.has_capacities or pm.pairs or pm.penalties:
        # A fixed fleet under windows or limits often leaves the first-solution heuristics
        # without any complete answer: a node may be dropped at a price above anything
        # dropping it could save (arcs, waiting and span cost a few horizons at most), so
        # the search starts from a partial answer and works towards a complete one.
        drop_at_a_price(routing, manager, pm, 2 * (SPAN_COEFFICIENT + 1) * pm.horizon, weight)
    capacities = [limit if limit is not None else pm.horizon for limit in pm.limits]
    waits = pm.has_windows or any(kind == "before" for _, _, kind in pm.pairs)
    slack = pm.horizon if waits else 0
    routing.AddDimensionWithVehicleTransitAndCapacity([clocks[a.type] for a in agents], slack,
                                                      capacities, True, "time")
    clock = routing.GetDimensionOrDie("time")
    for node, (opens, closes) in pm.windows.items():
        if node not in pm.targets:
            continue
        if opens > min(closes, max(capacities)) and node in pm.penalties:
            # Opens after every vehicle's end: the cumul's range would fail the model at once.
            routing.ActiveVar(manager.NodeToIndex(node)).SetValue(0)
        else:
            clock.CumulVar(manager.NodeToIndex(node)).SetRange(opens, closes)
    for v, a in enumerate(agents):
        if a.end in pm.windows:
            clock.CumulVar(routing.End(v)).SetMax(pm.windows[a.end][1])
    if objective == "min_max":
        clock.SetGlobalSpanCostCoefficient(SPAN_COEFFICIENT)
    elif waits and pm.distances is None:
        clock.SetSlackCostCoefficientForAllVehicles(1)
    add_pairs(routing, manager, pm, clock)
    return manager, routing


def add_pairs(routing, manager, pm: PeerModel, clock) -> None:
    """"same": pickup and delivery (one vehicle, the first served first, both or neither);
    "diff": the vehicles differ where the first is served; plain: a node precedence of the
    time dimension (when both are served, the second's service starts once the first's has
    ended: the cumul is the start of service), and an optional second only with the first."""
    solver = routing.solver()
    for a, b, kind in pm.pairs:
        first, second = manager.NodeToIndex(a), manager.NodeToIndex(b)
        if kind == "same":
            routing.AddPickupAndDelivery(first, second)
            solver.Add(routing.VehicleVar(first) == routing.VehicleVar(second))
            solver.Add(clock.CumulVar(first) <= clock.CumulVar(second))
        elif kind == "diff":  # a left-out node's vehicle is -1: two left out are "equal"
            solver.Add(solver.IsDifferentVar(routing.VehicleVar(first), routing.VehicleVar(second))
                       >= routing.ActiveVar(first))
        else:
            clock.AddNodePrecedence(first, second, pm.services[a])
            if b in pm.penalties:  # a must-serve one is served in any answer
                solver.Add(routing.ActiveVar(second) <= routing.ActiveVar(first))


def drop_at_a_price(routing, manager, pm: PeerModel, penalty: int, weight: int) -> None:
    """Lets the search start from a partial answer: a node may be dropped at a price above
    anything dropping it could save; an optional target at its own penalty (times `weight`)."""
    for node in pm.targets:
        price = pm.penalties[node] * weight if node in pm.penalties else penalty
        routing.AddDisjunction([manager.NodeToIndex(node)], price)


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
    params.first_solution_strategy = RULES_FIRST_SOLUTION if pm.pairs or pm.penalties else FIRST_SOLUTION
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
        record.update(outcome(instance, routes).record(), paths=routes)
    return record


if __name__ == "__main__":
    run_solver_process(sys.argv, solve)
