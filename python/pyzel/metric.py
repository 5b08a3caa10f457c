"""Costs from coordinates: a type's rule in place of a matrix, as the core computes it."""

from __future__ import annotations

import math
from collections.abc import Sequence
from typing import Any, overload

from .values import is_number

METRICS = ("euclidean", "rounded", "att")


def rule_cost(metric: str, speed: float, dx: float, dy: float) -> float:
    """The metric's distance over the offsets (dx, dy), divided by ``speed``: "euclidean"
    (real), "rounded" (the nearest integer, half up) or "att" (pseudo-Euclidean)."""
    squared = dx * dx + dy * dy
    if metric == "euclidean":
        return math.sqrt(squared) / speed
    if metric == "rounded":
        return math.floor(math.sqrt(squared) + 0.5) / speed
    r = math.sqrt(squared / 10.0)
    t = math.floor(r + 0.5)
    return (t + 1.0 if t < r else float(t)) / speed


def rule_problem(rule: Any) -> str | None:
    """What is wrong with a document's rule object, or None."""
    if not isinstance(rule, dict) or rule.get("metric") not in METRICS:
        return 'a rule is {"metric": "euclidean", "rounded" or "att", "speed": a number > 0}'
    speed = rule.get("speed", 1.0)
    if not is_number(speed) or not math.isfinite(speed) or speed <= 0:
        return f"the speed must be a finite number greater than 0, not {speed!r}"
    extra = set(rule) - {"metric", "speed"}
    return f'unknown key "{sorted(extra)[0]}" in a rule' if extra else None


class RuleMatrix(Sequence[list[float]]):
    """The costs a rule gives, read as a matrix is; a row is computed when it is asked for,
    so a large instance never holds the square of its size."""

    def __init__(self, metric: str, speed: float, positions: list[tuple[float, float]]):
        self.metric, self.speed, self.positions = metric, float(speed), positions

    def __len__(self) -> int:
        return len(self.positions)

    @overload
    def __getitem__(self, u: int) -> list[float]: ...
    @overload
    def __getitem__(self, u: slice) -> Sequence[list[float]]: ...
    def __getitem__(self, u: int | slice) -> list[float] | Sequence[list[float]]:
        if isinstance(u, slice):
            return [self[i] for i in range(*u.indices(len(self)))]
        x, y = self.positions[u]
        return [self.entry_at(x - a, y - b) for a, b in self.positions]

    def entry(self, u: int, v: int) -> float:
        (x, y), (a, b) = self.positions[u], self.positions[v]
        return self.entry_at(x - a, y - b)

    def entry_at(self, dx: float, dy: float) -> float:
        return rule_cost(self.metric, self.speed, dx, dy)
