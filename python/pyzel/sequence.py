"""The "sequence" pairs of an instance, by node id, and the contradictions that leave no plan
possible whatever the routes: a cycle of "before" and "same" pairs (a "same" pair, too, serves
its first target first), and a "diff" pair between two targets that "same" pairs tie to one
agent. Found before any solve, by `pyzel check`, the fleet model and the solve."""

from __future__ import annotations

from collections.abc import Iterable
from dataclasses import dataclass
from typing import Any, Literal

PairKind = Literal["before", "same", "diff"]
KINDS: tuple[PairKind, ...] = ("before", "same", "diff")
MAX_LINES = 10  # contradictions beyond this many are counted, not listed


@dataclass(frozen=True)
class Pair:
    """``before`` and ``after`` are node ids. "before": the service at ``after`` starts no
    earlier than the service at ``before`` ends, whichever agents serve them; "same": one
    agent serves both, ``before`` first; "diff": two different agents serve them."""

    before: int
    after: int
    kind: PairKind = "before"

    def __str__(self) -> str:
        return f"{self.before} {self.kind} {self.after}"


def kind_of(item: Any) -> PairKind:
    """The kind of a "precedence" item as the solver reads it: its "type" "same" or "diff",
    anything else (or nothing) a plain "before" pair."""
    spelt = item.get("type") if isinstance(item, dict) else None
    return "same" if spelt == "same" else "diff" if spelt == "diff" else "before"


def contradictions(pairs: Iterable[Pair]) -> list[str]:
    """One line per contradiction found, naming its nodes; empty when the pairs allow a plan."""
    pairs = list(pairs)
    lines = []
    # A "same" pair orders its targets as a "before" pair does: one cycle may mix them.
    lines = [_cycle_line(cycle) for cycle in _cycles([p for p in pairs if p.kind != "diff"])]
    group = _same_groups(pairs)
    lines += [_split_line(p) for p in pairs if p.kind == "diff" and _joined(group, p)]
    if len(lines) > MAX_LINES:
        lines = lines[:MAX_LINES] + [f"... and {len(lines) - MAX_LINES} more contradictions of the pairs"]
    return lines


def added_contradiction(pairs: list[Pair], pair: Pair) -> str | None:
    """The first contradiction that `pair` adds to `pairs` (a cycle it closes, a "diff" pair
    it ties to one agent), or None; a search from its second target, not of all the pairs."""
    if pair.kind != "diff":
        path = _path([p for p in pairs if p.kind != "diff"], pair.after, pair.before)
        if path is not None:
            return _cycle_line([pair] + path)
    before, after = _same_groups(pairs), _same_groups(pairs + [pair])
    fresh = [p for p in pairs if p.kind == "diff" and _joined(after, p) and not _joined(before, p)]
    if pair.kind == "diff" and _joined(after, pair):
        fresh.insert(0, pair)
    return _split_line(fresh[0]) if fresh else None


def _cycle_line(cycle: list[Pair]) -> str:
    steps = " ".join(f"{p.before} {p.kind}" for p in cycle) + f" {cycle[0].before}"
    return f"the pairs {steps} form a cycle: none of them can be served first"


def _split_line(p: Pair) -> str:
    if p.before == p.after:
        return f"the pair {p} asks two agents for node {p.before} alone"
    return f'the pair {p} asks two agents for nodes {p.before} and {p.after}, but "same" pairs tie them to one agent'


def _joined(group: dict[int, int], p: Pair) -> bool:
    return group.get(p.before, p.before) == group.get(p.after, p.after)


def _path(pairs: list[Pair], start: int, goal: int) -> list[Pair] | None:
    """The pairs of a way from `start` to `goal` along the pairs (breadth first), or None."""
    after: dict[int, list[Pair]] = {}
    for p in pairs:
        after.setdefault(p.before, []).append(p)
    came: dict[int, Pair | None] = {start: None}
    queue = [start]
    for v in queue:
        if v == goal:
            way = []
            while (edge := came[v]) is not None:
                way.append(edge)
                v = edge.before
            return way[::-1]
        for p in after.get(v, []):
            if p.after not in came:
                came[p.after] = p
                queue.append(p.after)
    return None


def _cycles(pairs: list[Pair]) -> list[list[Pair]]:
    """Cycles of the directed graph of the pairs, at least one through each strongly connected
    part that has any (a depth-first search reports the cycle of each edge back up its path)."""
    after: dict[int, list[Pair]] = {}
    for p in pairs:
        after.setdefault(p.before, []).append(p)
    state: dict[int, int] = {}  # 1 on the current path, 2 done
    found: list[list[Pair]] = []
    for root in after:
        if root in state:
            continue
        path: list[Pair] = []  # the edges down to the node on top of the stack
        nodes, stack = [root], [iter(after[root])]
        state[root] = 1
        while stack:
            edge = next(stack[-1], None)
            if edge is None:
                state[nodes.pop()] = 2
                stack.pop()
                if path:
                    path.pop()
            elif state.get(edge.after) == 1:
                found.append(path[nodes.index(edge.after):] + [edge])
            elif edge.after not in state:
                state[edge.after] = 1
                nodes.append(edge.after)
                path.append(edge)
                stack.append(iter(after.get(edge.after, [])))
    return found


def _same_groups(pairs: list[Pair]) -> dict[int, int]:
    """Each node of a "same" pair -> the representative of the targets one agent must serve."""
    parent: dict[int, int] = {}

    def root(v: int) -> int:
        while parent.setdefault(v, v) != v:
            parent[v] = parent[parent[v]]
            v = parent[v]
        return v

    for p in pairs:
        if p.kind == "same":
            parent[root(p.before)] = root(p.after)
    return {v: root(v) for v in list(parent)}
