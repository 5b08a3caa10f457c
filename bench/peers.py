"""An instance document as the peer solvers take it: whole numbers, node indices.

Both peers want integers, so every cost, window and limit is scaled by the least of
1, 10, 100 and SCALE that makes them all whole (SCALE, rounded, where none does;
windows inwards, so a scaled answer is also an answer in the document's unit). A
document in whole numbers stays as it is: a scale far above the data's own makes
PyVRP's penalty weights reach their bound before a capacity or a window holds. A missing arc (a cost of 9999 or more) costs FORBIDDEN, more than any
route can take, so a peer that uses one breaks a bound and is refused. On open
routes every arc into a depot is free: the only such move is the finishing one.
Every answer is then recomputed and checked in the document's own unit (routes.py).
Service durations and penalties are scaled as costs are; demands and capacities stay as they are when
all are whole numbers, else they are scaled too (demands up, capacities down).
"""

from __future__ import annotations

import json
import math
from typing import Any, Callable
from dataclasses import dataclass, field

import numpy as np

from pyzel.document import MISSING_COST, Instance

from routes import own_peak_mib, rules

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
    scale: int  # the factor of every cost, window, limit and service
    forbidden: int  # above the horizon
    services: list[int] = field(default_factory=list)  # per node index, scaled; 0 at depots
    demands: list[int] = field(default_factory=list)  # per node index; empty when not enforced
    capacities: list[int | None] = field(default_factory=list)  # per agent; None = no limit
    distances: dict[str, list[list[int]]] | None = None  # per agent type, scaled: min-sum by distance
    depot_close: dict[int, int] = field(default_factory=dict)  # depot node index -> scaled window end
    penalties: dict[int, int] = field(default_factory=dict)  # optional target -> scaled penalty
    pairs: list[tuple[int, int, str]] = field(default_factory=list)  # (before, after, kind)

    @property
    def has_capacities(self) -> bool:
        return any(c is not None for c in self.capacities)

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
    service = [instance.service(v) for v in range(n)]
    fleet_rules = rules(instance)
    scale = finest_scale([*raw.values(), *instance.distances.values(),
                          [v for w in instance.windows.values() for v in w],
                          service, [a.max_length for a in instance.agents],
                          list(fleet_rules.penalties.values())])
    windows = {index[v]: (math.ceil(s * scale), math.floor(e * scale))
               for v, (s, e) in instance.windows.items() if v in index}
    longest = max((max((c for c in row if c < MISSING_COST), default=0) for m in raw.values()
                   for row in m), default=0)
    latest = max((s for s, _ in windows.values()), default=0)
    services = [round(t * scale) for t in service]
    horizon = latest + n * round(longest * scale) + sum(services) + 1
    if fleet_rules.kind("before"):
        horizon *= 2  # a pair's wait is for another route's service, itself within a horizon
    forbidden = horizon + 1
    matrices = {kind: _scaled(instance, m, forbidden, scale) for kind, m in raw.items()}
    allowed = {index[v]: types for v, types in instance.allowed.items() if v in index}
    limits = [round(a.max_length * scale) if a.max_length > 0 else None for a in instance.agents]
    demands: list[int] = []
    capacities: list[int | None] = [None] * len(instance.agents)
    if instance.enforce_capacities is True:
        demand = [instance.demand(v) for v in range(n)]
        capacity = [a.capacity for a in instance.agents]
        whole = all(float(v).is_integer() for v in demand + capacity)
        unit = 1 if whole else SCALE
        demands = [math.ceil(d * unit) for d in demand]
        capacities = [math.floor(c * unit) if c > 0 else None for c in capacity]
    distances = None
    if instance.by_distance:
        distances = {kind: _scaled(instance, instance.distances.get(kind, m), forbidden, scale)
                     for kind, m in raw.items()}
    closes = {v: e for v, (_, e) in windows.items() if v in depots}
    penalties = {v: round(p * scale) for v, p in fleet_rules.penalties.items()}
    return PeerModel(instance, [v for v in range(n) if v not in depots], matrices, windows,
                     allowed, limits, horizon, scale, forbidden, services, demands, capacities,
                     distances, closes, penalties, list(fleet_rules.pairs))


def finest_scale(groups: list) -> int:
    """The least of 1, 10, 100 that makes every value whole (missing arcs aside), else SCALE."""
    values = np.concatenate([np.ravel(np.asarray(g, dtype=float)) for g in groups if len(g)] or [[0.0]])
    values = values[values < MISSING_COST]
    for scale in (1, 10, 100):
        scaled = values * scale
        if np.all(np.abs(scaled - np.round(scaled)) <= 1e-6 * np.maximum(1.0, np.abs(scaled))):
            return scale
    return SCALE


def _scaled(instance: Instance, m: list[list[float]], forbidden: int, scale: int) -> list[list[int]]:
    n, depots = len(m), instance.depots
    return [[0 if i == j or (not instance.return_to_end and j in depots)
             else forbidden if m[i][j] >= MISSING_COST else round(m[i][j] * scale)
             for j in range(n)] for i in range(n)]


def run_solver_process(argv: list[str], solve: Callable[[dict, float], dict[str, Any]]) -> None:
    """A peer's subprocess entry: INSTANCE TIME_LIMIT RECORD_PATH -> the record as JSON."""
    instance_path, time_limit, record_path = argv[1], float(argv[2]), argv[3]
    with open(instance_path, encoding="utf-8") as handle:
        doc = json.load(handle)
    record = solve(doc, time_limit)
    record["own_peak_mib"] = own_peak_mib()
    with open(record_path, "w", encoding="utf-8") as handle:
        json.dump(record, handle)
