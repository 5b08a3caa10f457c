"""The generated sets of the fleet rules: sequence pairs ("precedence") and optional
targets ("overfleet"), 60 to 250 nodes, both objectives, feasible by construction.

    python bench/generate_rules.py OUT_DIR [--seed S] [--sizes 60 150 250] [--set overfleet]

As in generate.py, each instance is built around a plan: the targets are split among
the agents, each part ordered into a route (nearest neighbour, then 2-opt), the route
walked from time 0 (travel, service). Windows, pairs, shifts and penalties are then
derived from that walk, so the plan keeps every one of them without waiting for a pair,
and it is checked with `pyzel.validate` before the document is returned. The plan is
kept under "known_routes"; targets it leaves out are listed under "known_unassigned".
Coordinates are integers in [0, 1000], costs rounded Euclidean distances, service times
whole numbers.

Precedence classes (the option "enforce_sequence" on):
- pd: one depot; in each planned route a random 30-50 % of its targets are paired
  "same" (the earlier one is the pickup): pickup and delivery on one agent;
- chain: inspectors and testers at one depot, repairers (1.2 times slower) at another;
  three in five targets admit one type only; an inspection is followed by a repair
  (a plain pair, so by another agent), half of them by a test after the repair, each
  pair chosen where the planned repair starts after the planned inspection has ended;
- mix: one depot; a fifth of the targets in "same" pairs within a route, a fifth in
  "diff" pairs across routes, and a tenth in plain pairs across routes.
Windows hold the planned start of service on a share of the targets (0.1-0.3 of the
horizon wide: pd and mix 30 %, chain 20 %).

Overfleet classes (optional targets):
- over: one depot, shifts (each agent's "max_length" 3-10 % above its planned route),
  windows on 40 % of the targets; 5-10 % more targets cannot be served: half have a
  window that closes before any agent can arrive, half one that opens after every shift
  has ended. Every target may be left out at the option "default_penalty" (1,000);
- prize: prize-collecting with windows: every target carries its own "penalty" (a prize,
  0.5-3 times 1000/sqrt(n)) and a window 0.1-0.3 of the horizon wide; the plan serves a
  random 70-80 % of them (the windows of those hold its starts, the others lie anywhere
  in the horizon), and the depot closes 5 % after the plan's last return.
"""

from __future__ import annotations

import argparse
import json
import math
import random
import sys
from pathlib import Path

import generate
from generate import SIDE, document, matrix, points, route, split, timewindow_constraint

PRECEDENCE_CLASSES = ("pd", "chain", "mix")
OVERFLEET_CLASSES = ("over", "prize")
CLASSES = PRECEDENCE_CLASSES + OVERFLEET_CLASSES
SIZES = (60, 150, 250)
AGENTS = {60: 4, 150: 6, 250: 8}
SERVICE = (5, 20)
WINDOW_WIDTH = (0.1, 0.3)  # of the horizon
PAIRED_SHARE = (0.3, 0.5)  # pd: of a route's targets
CHAIN_TYPES = {"inspector": 1.0, "repairer": 1.2, "tester": 1.0}  # type -> travel time factor
CHAIN_ONE_TYPE_SHARE, CHAIN_SERVICE = 0.6, (10, 30)
MIX_SAME, MIX_DIFF, MIX_PLAIN = 0.2, 0.2, 0.1  # of the targets, in pairs of each kind
SHIFT_SLACK = (0.03, 0.10)
UNSERVABLE_SHARE = (0.05, 0.10)
OVER_PENALTY = 1000
PRIZE_SERVED, PRIZE_FACTOR, DEPOT_SLACK = (0.7, 0.8), (0.5, 3.0), 0.05


def precedence_set(seed: int = generate.DEFAULT_SEED, sizes: tuple[int, ...] = SIZES,
                   classes: tuple[str, ...] = PRECEDENCE_CLASSES) -> list[dict]:
    return [instance(cls, n, objective, seed) for cls in classes for n in sizes
            for objective in generate.OBJECTIVES]


def overfleet_set(seed: int = generate.DEFAULT_SEED, sizes: tuple[int, ...] = SIZES,
                  classes: tuple[str, ...] = OVERFLEET_CLASSES) -> list[dict]:
    return precedence_set(seed, sizes, classes)


def instance(cls: str, n: int, objective: str, seed: int = generate.DEFAULT_SEED,
             agents: int | None = None) -> dict:
    """One document of `n` nodes, checked against its plan."""
    doc = generate.built(BUILDERS, cls, n, seed, agents or AGENTS.get(n, max(3, n // 30)))
    doc["options"] = {"objective": objective, "return_to_end": True, **doc.pop("extra_options", {})}
    if any(c["kind"] == "sequence" for c in doc["constraints"]):
        doc["options"]["enforce_sequence"] = True
    return generate.checked(doc)


def walk(cost: list[list[int]], path: list[int], service: dict[int, int]) -> tuple[dict, dict, int]:
    """The planned starts and ends of service along a path from time 0, and its clock."""
    starts, ends, t = {}, {}, 0
    for u, v in zip(path, path[1:]):
        t += cost[u][v]
        starts[v] = t
        t += service.get(v, 0)
        ends[v] = t
    return starts, ends, t


def windows_holding(rng: random.Random, starts: dict[int, int], nodes: list[int], share: float,
                    horizon: int) -> dict[int, tuple[int, int]]:
    """Windows on about `share` of `nodes`, each holding its planned start."""
    windows = {}
    for v in nodes:
        if rng.random() < share:
            wide = max(1, round(horizon * rng.uniform(*WINDOW_WIDTH)))
            opens = max(0, starts[v] - rng.randint(0, wide))
            windows[v] = (opens, opens + wide)
    return windows


def sequence_constraint(pairs: list[tuple[int, int, str | None]]) -> dict:
    return {"kind": "sequence", "precedence": [
        {"before": a, "after": b, **({"type": kind} if kind else {})} for a, b, kind in pairs]}


def central(rng: random.Random, n: int, k: int, targets: list[int] | None = None,
            service: tuple[int, int] = SERVICE):
    """One depot in the middle, k agents of one type, service at every target, the plan
    over `targets` (all when None): (xy, cost, service, routes, starts, ends, clocks)."""
    xy = [(SIDE // 2, SIDE // 2)] + points(rng, n - 1)
    cost = matrix(xy)
    service_of = {v: rng.randint(*service) for v in range(1, n)}
    chosen = targets if targets is not None else list(range(1, n))
    routes = [route(cost, 0, 0, part) for part in split(rng, chosen, xy, [1.0] * k)]
    starts, ends, clocks = {}, {}, []
    for r in routes:
        s, e, t = walk(cost, r, service_of)
        starts.update(s)
        ends.update(e)
        clocks.append(t)
    return xy, cost, service_of, routes, starts, ends, clocks


def with_service(doc: dict, service: dict[int, int]) -> dict:
    for v, s in service.items():
        doc["nodes"][v]["service"] = s
    return doc


def build_pd(rng: random.Random, n: int, k: int) -> dict:
    xy, cost, service, routes, starts, _, clocks = central(rng, n, k)
    windows = windows_holding(rng, starts, list(range(1, n)), 0.3, max(clocks))
    pairs = []
    for r in routes:
        stops = r[1:-1]
        chosen = rng.sample(stops, 2 * round(rng.uniform(*PAIRED_SHARE) * len(stops) / 2))
        position = {v: p for p, v in enumerate(stops)}
        for a, b in zip(chosen[::2], chosen[1::2]):
            pairs.append((*sorted((a, b), key=position.get), "same"))
    doc = with_service(document(xy, 1, [("agent", 0, 0)] * k, {"agent": cost}, routes), service)
    doc["constraints"] += [timewindow_constraint(windows), sequence_constraint(pairs)]
    return doc


def build_chain(rng: random.Random, n: int, k: int) -> dict:
    names = list(CHAIN_TYPES)
    k = max(k, len(names))
    kinds = [names[a % len(names)] for a in range(k)]
    home = {"inspector": 0, "repairer": 1, "tester": 0}
    xy = points(rng, n)
    costs = {kind: matrix(xy, factor) for kind, factor in CHAIN_TYPES.items()}
    targets = list(range(2, n))
    admits = {v: set(names) for v in targets}
    single = rng.sample(targets, round(CHAIN_ONE_TYPE_SHARE * len(targets)))
    for i, v in enumerate(single):
        admits[v] = {names[i % len(names)]}
    allowed = [set()] * 2 + [{a for a in range(k) if kinds[a] in admits[v]} for v in targets]
    service = {v: rng.randint(*CHAIN_SERVICE) for v in targets}
    parts = split(rng, targets, xy, [1.0] * k, allowed)
    routes = [route(costs[kinds[a]], home[kinds[a]], home[kinds[a]], parts[a]) for a in range(k)]
    starts, ends, clocks = {}, {}, []
    for a, r in enumerate(routes):
        s, e, t = walk(costs[kinds[a]], r, service)
        starts.update(s)
        ends.update(e)
        clocks.append(t)
    only = {kind: [v for v in single if admits[v] == {kind}] for kind in names}
    free = {kind: set(vs) for kind, vs in only.items()}
    pairs = []

    def follow(a: int, kind: str) -> int | None:
        after = sorted(v for v in free[kind] if starts[v] >= ends[a])
        if not after:
            return None
        b = rng.choice(after)
        free[kind].discard(b)
        pairs.append((a, b, None))
        return b

    for inspection in rng.sample(only["inspector"], len(only["inspector"])):
        repair = follow(inspection, "repairer")
        if repair is not None and rng.random() < 0.5:
            follow(repair, "tester")
    windows = windows_holding(rng, starts, targets, 0.2, max(clocks))
    doc = with_service(document(xy, 2, [(kind, home[kind], home[kind]) for kind in kinds], costs, routes),
                       service)
    items = [{"node": d, "types": names} for d in (0, 1)]
    items += [{"node": v, "types": sorted(admits[v])} for v in targets]
    doc["constraints"] += [{"kind": "assignment", "items": items}, timewindow_constraint(windows),
                           sequence_constraint(pairs)]
    return doc


def build_mix(rng: random.Random, n: int, k: int) -> dict:
    xy, cost, service, routes, starts, ends, clocks = central(rng, n, k)
    targets = list(range(1, n))
    windows = windows_holding(rng, starts, targets, 0.3, max(clocks))
    on = {v: a for a, r in enumerate(routes) for v in r[1:-1]}
    position = {v: p for r in routes for p, v in enumerate(r)}
    free = set(targets)
    pairs = []
    for r in routes:  # "same": both on one planned route, in its order
        stops = [v for v in r[1:-1] if v in free]
        chosen = rng.sample(stops, 2 * min(len(stops) // 2, round(MIX_SAME * len(stops) / 2)))
        for a, b in zip(chosen[::2], chosen[1::2]):
            pairs.append((*sorted((a, b), key=position.get), "same"))
            free -= {a, b}
    for kind, share in (("diff", MIX_DIFF), (None, MIX_PLAIN)):
        wanted, tries = round(share * len(targets) / 2), 0
        while wanted and tries < 50 * len(targets):
            tries += 1
            a, b = rng.sample(sorted(free), 2)
            if on[a] == on[b] or (kind is None and starts[b] < ends[a]):
                continue
            pairs.append((a, b, kind))
            free -= {a, b}
            wanted -= 1
    doc = with_service(document(xy, 1, [("agent", 0, 0)] * k, {"agent": cost}, routes), service)
    doc["constraints"] += [timewindow_constraint(windows), sequence_constraint(pairs)]
    return doc


def build_over(rng: random.Random, n: int, k: int) -> dict:
    unservable = max(2, round(rng.uniform(*UNSERVABLE_SHARE) * (n - 1)))
    servable = list(range(1, n - unservable))
    xy, cost, service, routes, starts, _, clocks = central(rng, n, k, servable)
    windows = windows_holding(rng, starts, servable, 0.4, max(clocks))
    shifts = [math.ceil(t * (1 + rng.uniform(*SHIFT_SLACK))) for t in clocks]
    late = max(shifts)
    for i, v in enumerate(range(n - unservable, n)):
        if i % 2 == 0 and cost[0][v] >= 2:  # closes before anyone can get there
            windows[v] = (0, cost[0][v] // 2)
        else:  # opens after every shift has ended
            opens = late + 1 + rng.randint(0, 100)
            windows[v] = (opens, opens + 100)
    doc = with_service(document(xy, 1, [("agent", 0, 0)] * k, {"agent": cost}, routes), service)
    for agent, shift in zip(doc["agents"], shifts):
        agent["max_length"] = shift
    doc["constraints"].append(timewindow_constraint(windows))
    doc["known_unassigned"] = list(range(n - unservable, n))
    doc["extra_options"] = {"default_penalty": OVER_PENALTY}
    return doc


def build_prize(rng: random.Random, n: int, k: int) -> dict:
    targets = list(range(1, n))
    served = sorted(rng.sample(targets, round(rng.uniform(*PRIZE_SERVED) * len(targets))))
    xy, cost, service, routes, starts, _, clocks = central(rng, n, k, served)
    horizon = max(clocks)
    windows = windows_holding(rng, starts, served, 1.0, horizon)
    for v in sorted(set(targets) - set(served)):
        wide = max(1, round(horizon * rng.uniform(*WINDOW_WIDTH)))
        opens = rng.randint(0, horizon - wide)
        windows[v] = (opens, opens + wide)
    windows[0] = (0, math.ceil(horizon * (1 + DEPOT_SLACK)))
    doc = with_service(document(xy, 1, [("agent", 0, 0)] * k, {"agent": cost}, routes), service)
    unit = SIDE / math.sqrt(n)
    for v in targets:
        doc["nodes"][v]["penalty"] = round(rng.uniform(*PRIZE_FACTOR) * unit)
    doc["constraints"].append(timewindow_constraint(windows))
    doc["known_unassigned"] = sorted(set(targets) - set(served))
    return doc


BUILDERS = {"pd": build_pd, "chain": build_chain, "mix": build_mix, "over": build_over,
            "prize": build_prize}


def main(argv: list[str]) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out", type=Path)
    parser.add_argument("--seed", type=int, default=generate.DEFAULT_SEED)
    parser.add_argument("--sizes", type=int, nargs="+", default=list(SIZES))
    parser.add_argument("--set", choices=("precedence", "overfleet"), default="precedence")
    args = parser.parse_args(argv)
    args.out.mkdir(parents=True, exist_ok=True)
    make = precedence_set if args.set == "precedence" else overfleet_set
    for doc in make(args.seed, tuple(args.sizes)):
        path = args.out / f"{doc['name']}-{doc['options']['objective']}.json"
        path.write_text(json.dumps(doc) + "\n", encoding="utf-8")
        print(path)


if __name__ == "__main__":
    main(sys.argv[1:])
