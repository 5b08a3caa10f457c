"""Route costs recomputed from the instance's own matrix, the same way for both solvers."""

from __future__ import annotations


def route_length(matrix: list[list[float]], route: list[int]) -> float:
    return sum(matrix[a][b] for a, b in zip(route, route[1:]))


def objective_value(matrix: list[list[float]], routes: list[list[int]], objective: str) -> float:
    lengths = [route_length(matrix, r) for r in routes]
    return max(lengths, default=0.0) if objective == "min_max" else sum(lengths)


def coverage_problems(routes: list[list[int]], n: int, depot: int = 0) -> list[str]:
    """What is wrong with routes that must start and end at the depot and visit every
    other node exactly once; an empty route is an idle agent."""
    problems = []
    seen: dict[int, int] = {}
    for k, route in enumerate(routes):
        if route and (route[0] != depot or route[-1] != depot):
            problems.append(f"route {k} does not start and end at the depot")
        for node in route[1:-1]:
            seen[node] = seen.get(node, 0) + 1
    missing = [v for v in range(n) if v != depot and v not in seen]
    twice = sorted(v for v, count in seen.items() if count > 1 or v == depot)
    if missing:
        problems.append(f"{len(missing)} targets unvisited")
    if twice:
        problems.append(f"nodes visited more than once: {twice[:5]}")
    return problems
