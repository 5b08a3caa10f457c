"""Builds a small instance object by object, solves it and reads the routes back.

Run it with `python examples/object_road.py`; it is also type-checked with mypy in the tests.
"""

from __future__ import annotations

import math

import _pyzel_core as zel

# One depot at the origin and six targets on a circle of radius 10.
POINTS: list[tuple[float, float]] = [(0.0, 0.0)] + [
    (10 * math.cos(k * math.pi / 3), 10 * math.sin(k * math.pi / 3)) for k in range(6)
]


def build_problem(agents: int) -> zel.Problem:
    problem = zel.Problem()
    for i, (x, y) in enumerate(POINTS):
        node = zel.Node()
        node.id = i
        node.position.x = x  # the position is a view of the node's own record
        node.position.y = y
        node.type = zel.NodeType.DEPOT if i == 0 else zel.NodeType.TARGET
        problem.add_node(node)
    for k in range(agents):
        agent = zel.Agent()
        agent.id = k
        agent.type = "van"
        agent.start_node = 0
        agent.end_node = 0
        problem.add_agent(agent, k)  # the second argument is the id the problem files it under
    # One matrix per agent type: whole-number Euclidean distances.
    matrix = [[float(round(math.dist(p, q))) for q in POINTS] for p in POINTS]
    problem.set_cost_matrix("van", matrix)
    windows = zel.TimeWindowConstraint()
    windows.set_timewindow(3, 0.0, 40.0)  # node 3 must be reached by time 40
    problem.set_timewindow_constraint(windows)
    options = problem.options()  # a live view: changes reach the problem
    options.objective = zel.ObjectiveType.MinMax
    options.time_limit = 2.0
    options.quiet = True  # no diagnostic lines of the solver's own between the printed results
    return problem


def solve(problem: zel.Problem) -> tuple[dict[int, list[int]], dict[int, float], list[tuple[float, float]]]:
    solver = zel.Solver(problem, problem.options())
    found: int = solver.solve()
    if not found:
        raise RuntimeError("no solution")
    result: zel.Result = solver.get_result()
    history = [(time, max(r.times.values(), default=0.0)) for time, r in solver.get_result_process()]
    return result.paths, result.times, history


def main() -> None:
    paths, times, history = solve(build_problem(agents=2))
    for agent in sorted(paths):
        route = " -> ".join(str(v) for v in paths[agent])
        print(f"agent {agent}: {route} (cost {times[agent]:g})")
    print(f"longest route {max(times.values()):g}; {len(history)} anytime entries")


if __name__ == "__main__":
    main()
