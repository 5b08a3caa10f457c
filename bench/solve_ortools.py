"""One OR-Tools routing solve of a ZEL instance document, in its own process.

    python bench/solve_ortools.py INSTANCE.json TIME_LIMIT RECORD.json

The peer: min-max through a global span cost on the distance dimension,
min-sum through arc costs; first solution by path cheapest arc, then guided
local search until the time limit. OR-Tools wants whole-number costs, so the
matrix is scaled by SCALE and rounded; every cost recorded is recomputed from
the routes with the document's own matrix, in its own unit.
"""

from __future__ import annotations

import json
import sys
import time

from ortools.constraint_solver import pywrapcp, routing_enums_pb2

from routes import coverage_problems, objective_value

SCALE = 1000
SPAN_COEFFICIENT = 100  # the span dominates; arc costs only break ties between equal spans


def build_model(matrix: list[list[float]], agents: int, depot: int, objective: str):
    manager = pywrapcp.RoutingIndexManager(len(matrix), agents, depot)
    routing = pywrapcp.RoutingModel(manager)
    scaled = [[round(d * SCALE) for d in row] for row in matrix]
    transit = routing.RegisterTransitMatrix(scaled)
    routing.SetArcCostEvaluatorOfAllVehicles(transit)
    span = None
    if objective == "min_max":
        # No route is longer than the sum of every node's longest outgoing arc.
        horizon = sum(max(row) for row in scaled)
        routing.AddDimension(transit, 0, horizon, True, "distance")
        span = routing.GetDimensionOrDie("distance")
        span.SetGlobalSpanCostCoefficient(SPAN_COEFFICIENT)
    return manager, routing, span


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
        routes.append(route if len(route) > 2 else [])
    return routes


def solve(doc: dict, time_limit: float) -> dict:
    objective = doc["options"]["objective"]
    matrix = next(iter(doc["costs"].values()))
    agents = len(doc["agents"])
    depot = doc["agents"][0]["start_node"]
    manager, routing, span = build_model(matrix, agents, depot, objective)

    anytime: list[list[float]] = []
    best_scaled = [float("inf")]

    def scaled_measure() -> int:
        # Cheap to read at every solution: the routes are only walked when it improves.
        if span is None:
            return routing.CostVar().Value()
        return max(span.CumulVar(routing.End(v)).Value() for v in range(agents))

    def on_solution() -> None:
        measure = scaled_measure()
        if measure < best_scaled[0]:
            best_scaled[0] = measure
            routes = read_routes(manager, routing, agents, lambda var: var.Value())
            cost = objective_value(matrix, routes, objective)
            anytime.append([time.perf_counter() - start, cost])

    routing.AddAtSolutionCallback(on_solution)
    params = pywrapcp.DefaultRoutingSearchParameters()
    params.first_solution_strategy = routing_enums_pb2.FirstSolutionStrategy.PATH_CHEAPEST_ARC
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
        record["best"] = objective_value(matrix, routes, objective)
        record["problems"] = coverage_problems(routes, len(matrix), depot)
    return record


def main(argv: list[str]) -> None:
    instance_path, time_limit, record_path = argv[1], float(argv[2]), argv[3]
    with open(instance_path, encoding="utf-8") as handle:
        doc = json.load(handle)
    record = solve(doc, time_limit)
    with open(record_path, "w", encoding="utf-8") as handle:
        json.dump(record, handle)


if __name__ == "__main__":
    main(sys.argv)
