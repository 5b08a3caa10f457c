"""An instance document as the peer solvers take it: whole numbers, node indices.

Both peers want integers, so every cost, window and limit is scaled by SCALE and
rounded (windows inwards, so a scaled answer is also an answer in the document's
unit). A missing arc (a cost of 9999 or more) costs FORBIDDEN, more than any
route can take, so a peer that uses one breaks a bound and is refused. On open
routes every arc into a depot is free: the only such move is the finishing one.
Every answer is then recomputed and checked in the document's own unit (routes.py).
"""

from __future__ import annotations

import json
import math
from typing import Any, Callable
from dataclasses import dataclass

from pyzel.document import MISSING_COST, Instance

from routes import own_peak_mib

SCALE = 1000


@dataclass
class PeerModel:
    instance: Instance
    targets: list[int]  # node indices that must be visited, in node order
    matrices: dict[str, list[list[int]]]  # per agent type, scaled; FORBIDDEN where no arc
    windows: dict[int, tuple[int, int]]  # node index -> scaled (opens, closes)
    allowed: dict[int, set[str]]  # node index -> agent types that may visit it (all if absent)
    limits: list[int | None]  # per agent, scaled route-length limit
    horizon: int  # no valid route's clock exceeds it
    forbidden: int  # above the horizon

    @property
    def types(self) -> list[str]:
        return list(dict.fromkeys(a.type for a in self.instance.agents))

    @property
    def has_windows(self) -> bool:
        return bool(self.windows)

    def may_visit(self, agent_type: str, node: int) -> bool:
        return agent_type in self.allowed.get(node, {agent_type})


def peer_model(instance: Instance) -> PeerModel:
    n = len(instance.node_ids)
    index = {node_id: i for i, node_id in enumerate(instance.node_ids)}
    depots = instance.depots
    raw = {t: [[instance.cost(t, i, j) for j in range(n)] for i in range(n)]
           for t in dict.fromkeys(a.type for a in instance.agents)}
    windows = {index[v]: (math.ceil(s * SCALE), math.floor(e * SCALE))
               for v, (s, e) in instance.windows.items() if v in index}
    longest = max((max((c for c in row if c < MISSING_COST), default=0) for m in raw.values()
                   for row in m), default=0)
    latest = max((s for s, _ in windows.values()), default=0)
    horizon = latest + n * round(longest * SCALE) + 1
    forbidden = horizon + 1
    matrices = {}
    for kind, m in raw.items():
        matrices[kind] = [[0 if i == j or (not instance.return_to_end and j in depots)
                           else forbidden if m[i][j] >= MISSING_COST else round(m[i][j] * SCALE)
                           for j in range(n)] for i in range(n)]
    allowed = {index[v]: types for v, types in instance.allowed.items() if v in index}
    limits = [round(a.max_length * SCALE) if a.max_length > 0 else None for a in instance.agents]
    return PeerModel(instance, [v for v in range(n) if v not in depots], matrices, windows,
                     allowed, limits, horizon, forbidden)


def run_solver_process(argv: list[str], solve: Callable[[dict, float], dict[str, Any]]) -> None:
    """A peer's subprocess entry: INSTANCE TIME_LIMIT RECORD_PATH -> the record as JSON."""
    instance_path, time_limit, record_path = argv[1], float(argv[2]), argv[3]
    with open(instance_path, encoding="utf-8") as handle:
        doc = json.load(handle)
    record = solve(doc, time_limit)
    record["own_peak_mib"] = own_peak_mib()
    with open(record_path, "w", encoding="utf-8") as handle:
        json.dump(record, handle)
