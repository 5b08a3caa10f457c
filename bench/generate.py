"""The generated constrained instances: five classes, three sizes, both objectives; and
the hard set, where a feasible plan is itself hard to find.

    python bench/generate.py OUT_DIR [--seed S] [--sizes 60 120 200] [--hard]

Every instance is feasible by construction. Its targets are first split among the
agents and each part is ordered into a route (nearest neighbour, then 2-opt); the
windows and limits are then derived around those routes, loose enough that they
still pass, and the routes are checked with `pyzel.validate` before the document
is returned. The routes are kept in the document under "known_routes" (a key the
solver ignores), so anyone can check the certificate again.

Coordinates are integers in [0, SIDE]; costs are Euclidean distances rounded to the
nearest whole number (TSPLIB's EUC_2D). Classes:

- tw: one depot; about a third of the targets get a tight window, half a wide one,
  the rest none; a tenth of them open after the known route arrives, so it waits;
- types: trucks at one depot and vans at another; vans are slower (their own matrix,
  VAN_SLOWDOWN times the distance), a share of the targets admits trucks only and
  another share vans only;
- shared: several depots, agents whose start and end differ, every depot the start
  of some agent and the end of another;
- open: open routes (the finishing move costs nothing), two depots;
- limits: per-agent route-length limits a little above unequal known routes, so the
  short ones bind for either objective.

The hard set (`hard_set`), each class at its own two sizes:

- tight (120, 240 nodes): one depot, trucks and slower vans; nine targets in ten have a
  window 2-6 % of the horizon wide round the known arrival;
- allrules (100, 250): three types with their own speeds, a tenth of the targets
  admitting one type only, windows on half the targets, open routes, depots shared in
  opposite roles (agents from each depot to the next and back), length limits;
- tw (600, 1,000): the tw class above, beyond the exact search's 256 nodes.

The min-max and min-sum documents of one class and size are the same instance.
"""

from __future__ import annotations

import argparse
import json
import math
import random
import sys
from pathlib import Path

CLASSES = ("tw", "types", "shared", "open", "limits")
SIZES = (60, 120, 200)
OBJECTIVES = ("min_max", "min_sum")
DEFAULT_SEED = 2024
SIDE = 1000
AGENTS = {60: 3, 120: 4, 200: 5}
VAN_SLOWDOWN = 1.3
ONE_TYPE_SHARE = 0.2  # of the targets, admitting trucks only; as many again vans only
LIMIT_SLACK = (0.03, 0.10)  # a limit lies this fraction above its known route
HARD_SIZES = {"tight": (120, 240), "allrules": (100, 250), "tw": (600, 1000)}
HARD_AGENTS = {("tight", 120): 4, ("tight", 240): 6, ("allrules", 100): 6,
               ("allrules", 250): 9, ("tw", 600): 10, ("tw", 1000): 15}
TIGHT_SHARE, TIGHT_WIDTH = 0.9, (0.02, 0.06)  # of the targets; of the horizon
ALLRULES_TYPES = {"truck": 1.0, "van": 1.3, "bike": 1.6}  # type -> travel time factor
ALLRULES_WINDOW_SHARE, ALLRULES_WIDTH = 0.5, (0.05, 0.25)
ALLRULES_ONE_TYPE_SHARE = 0.1
FLEET_CLASSES = ("cap", "captw")
FLEET_SIZES = (60, 200, 400)
FLEET_AGENTS = {60: 4, 200: 10, 400: 16}
FLEET_DEMAND, FLEET_SERVICE = (1, 30), (5, 30)
FLEET_SLACK = (0.0, 0.05)  # the capacity lies this fraction above the heaviest part
TRAVEL_FACTOR = 1.5  # captw: durations against distances
FLEET_WINDOW_SHARE, FLEET_WINDOW_WIDTH, FLEET_DEPOT_SLACK = 0.6, (0.05, 0.25), 0.1


def constrained_set(seed: int = DEFAULT_SEED, sizes: tuple[int, ...] = SIZES,
                    classes: tuple[str, ...] = CLASSES) -> list[dict]:
    """Every document of the set, by class, then size, then objective."""
    return [instance(cls, n, objective, seed)
            for cls in classes for n in sizes for objective in OBJECTIVES]


def hard_set(seed: int = DEFAULT_SEED, classes: tuple[str, ...] = tuple(HARD_SIZES),
             sizes: tuple[int, ...] | None = None) -> list[dict]:
    """The hard set by class, then size (each class's own unless `sizes`), then objective."""
    return [instance(cls, n, objective, seed, HARD_AGENTS.get((cls, n)))
            for cls in classes for n in (sizes or HARD_SIZES.get(cls, SIZES))
            for objective in OBJECTIVES]


def fleet_set(seed: int = DEFAULT_SEED, classes: tuple[str, ...] = FLEET_CLASSES,
              sizes: tuple[int, ...] = FLEET_SIZES) -> list[dict]:
    """The fleet classes (capacities, service times, windows) by class, size, objective."""
    return [instance(cls, n, objective, seed, FLEET_AGENTS.get(n, max(2, n // 25)))
            for cls in classes for n in sizes for objective in OBJECTIVES]


def instance(cls: str, n: int, objective: str, seed: int = DEFAULT_SEED,
             agents: int | None = None) -> dict:
    """One document: `n` nodes (depots included), checked against its known routes."""
    doc = built(BUILDERS, cls, n, seed, agents or AGENTS.get(n, max(2, n // 40)))
    doc["options"] = {"objective": objective, "return_to_end": cls not in OPEN_CLASSES}
    if cls in FLEET_CLASSES:
        doc["options"]["enforce_capacities"] = True
        if "distances" in doc and objective == "min_sum":
            doc["options"]["minimise"] = "distance"
    return checked(doc)


def built(builders: dict, cls: str, n: int, seed: int, agents: int | None) -> dict:
    """The class's document of `n` nodes, named; the objective does not change the instance."""
    if cls not in builders:
        raise ValueError(f"unknown class {cls!r}; known: {', '.join(builders)}")
    rng = random.Random(f"{seed}:{cls}:{n}")
    doc = builders[cls](rng, n, agents)
    doc["name"] = f"{cls}-{n}"
    return doc


def checked(doc: dict) -> dict:
    """The document, once its known routes keep every rule."""
    problems = certificate_problems(doc)
    if problems:  # a generator fault, never a property of the instance
        raise AssertionError(f"{doc['name']}: known routes fail: {problems[:3]}")
    return doc


# ---- geometry and routes --------------------------------------------------------------------

def points(rng: random.Random, count: int) -> list[tuple[int, int]]:
    """`count` distinct integer points in the square."""
    chosen: set[tuple[int, int]] = set()
    while len(chosen) < count:
        chosen.add((rng.randint(0, SIDE), rng.randint(0, SIDE)))
    return rng.sample(sorted(chosen), count)


def matrix(xy: list[tuple[int, int]], factor: float = 1.0) -> list[list[int]]:
    return [[int(factor * math.dist(a, b) + 0.5) for b in xy] for a in xy]


def split(rng: random.Random, targets: list[int], xy: list[tuple[int, int]],
          weights: list[float], allowed: list[set[int]] | None = None) -> list[list[int]]:
    """The targets among the agents: each agent has an anchor on a ring round the centre,
    a target goes to the nearest anchor with room left (quotas follow `weights`) whose
    agent it admits (`allowed[v]`: agent indices, all when None)."""
    k = len(weights)
    turn = rng.random() * 2 * math.pi
    anchors = [(SIDE / 2 + 0.3 * SIDE * math.cos(turn + 2 * math.pi * a / k),
                SIDE / 2 + 0.3 * SIDE * math.sin(turn + 2 * math.pi * a / k)) for a in range(k)]
    room = [math.ceil(len(targets) * w / sum(weights)) + 1 for w in weights]
    parts: list[list[int]] = [[] for _ in range(k)]
    # The most constrained targets first, so a one-type target finds its agents with room.
    order = sorted(targets, key=lambda v: len(allowed[v]) if allowed else 0)
    for v in order:
        fits = [a for a in range(k) if room[a] > 0 and (allowed is None or a in allowed[v])]
        fits = fits or [a for a in range(k) if allowed is None or a in allowed[v]]
        best = min(fits, key=lambda a: math.dist(xy[v], anchors[a]))
        parts[best].append(v)
        room[best] -= 1
    return parts


def route(cost: list[list[int]], start: int, end: int, part: list[int]) -> list[int]:
    """start, the part in nearest-neighbour order improved by 2-opt, end."""
    left, path = set(part), [start]
    while left:
        nxt = min(left, key=lambda v: (cost[path[-1]][v], v))
        path.append(nxt)
        left.remove(nxt)
    path.append(end)
    return two_opt(cost, path)


def two_opt(cost: list[list[int]], path: list[int]) -> list[int]:
    """Reverses inner segments while that shortens the path (symmetric costs)."""
    improved = True
    while improved:
        improved = False
        for i in range(1, len(path) - 2):
            for j in range(i + 1, len(path) - 1):
                a, b, c, d = path[i - 1], path[i], path[j], path[j + 1]
                if cost[a][c] + cost[b][d] < cost[a][b] + cost[c][d]:
                    path[i:j + 1] = reversed(path[i:j + 1])
                    improved = True
    return path


def clock(cost: list[list[int]], path: list[int], windows: dict[int, tuple[int, int]] | None = None,
          open_route: bool = False) -> list[int]:
    """The agent's time at each node of the path: travel plus waiting for windows to open;
    on an open route the finishing move is free."""
    times, t = [0], 0
    for p in range(1, len(path)):
        if not (open_route and p == len(path) - 1):
            t += cost[path[p - 1]][path[p]]
        if windows and path[p] in windows:
            t = max(t, windows[path[p]][0])
        times.append(t)
    return times


# ---- documents --------------------------------------------------------------------------------

def document(xy: list[tuple[int, int]], depots: int, agents: list[tuple[str, int, int]],
             costs: dict[str, list[list[int]]], routes: list[list[int]]) -> dict:
    """Nodes 0..depots-1 are the depots; `agents`: (type, start, end) node indices."""
    return {
        "nodes": [{"id": i, "x": x, "y": y, **({"type": "depot"} if i < depots else {})}
                  for i, (x, y) in enumerate(xy)],
        "agents": [{"id": k, "type": kind, "start_node": s, "end_node": e}
                   for k, (kind, s, e) in enumerate(agents)],
        "costs": costs,
        "constraints": [],
        "known_routes": routes,
    }


def build_tw(rng: random.Random, n: int, k: int) -> dict:
    xy = [(SIDE // 2, SIDE // 2)] + points(rng, n - 1)
    cost = matrix(xy)
    targets = list(range(1, n))
    routes = [route(cost, 0, 0, part) for part in split(rng, targets, xy, [1.0] * k)]
    horizon = max(clock(cost, r)[-1] for r in routes)
    tight, wide = horizon // 10, horizon // 2
    windows: dict[int, tuple[int, int]] = {}
    for r in routes:
        t = 0
        for u, v in zip(r, r[1:-1]):  # windows are decided in route order, so waits carry on
            t += cost[u][v]
            draw = rng.random()
            if draw < 0.1:  # opens after the known arrival: the known route waits here
                opens = t + rng.randint(1, tight)
                windows[v] = (opens, opens + tight)
            elif draw < 0.35:
                opens = t - rng.randint(0, tight)
                windows[v] = (max(0, opens), opens + tight)
            elif draw < 0.85:
                opens = t - rng.randint(0, wide)
                windows[v] = (max(0, opens), opens + wide)
            if v in windows:
                t = max(t, windows[v][0])
    doc = document(xy, 1, [("agent", 0, 0)] * k, {"agent": cost}, routes)
    doc["constraints"].append({"kind": "timewindow", "items": [
        {"node": v, "start": s, "end": e} for v, (s, e) in sorted(windows.items())]})
    return doc


def build_types(rng: random.Random, n: int, k: int) -> dict:
    xy = points(rng, n)
    trucks = max(1, (k + 1) // 2)
    kinds = ["truck"] * trucks + ["van"] * (k - trucks)
    costs = {"truck": matrix(xy), "van": matrix(xy, VAN_SLOWDOWN)}
    targets = list(range(2, n))
    only = rng.sample(targets, 2 * round(ONE_TYPE_SHARE * len(targets)))
    half = len(only) // 2
    admits = {v: {"truck", "van"} for v in targets}
    admits.update({v: {"truck"} for v in only[:half]})
    admits.update({v: {"van"} for v in only[half:]})
    allowed = [set()] * 2 + [{a for a in range(k) if kinds[a] in admits[v]} for v in targets]
    depot_of = [0 if kind == "truck" else 1 for kind in kinds]
    parts = split(rng, targets, xy, [1.0] * k, allowed)
    routes = [route(costs[kinds[a]], depot_of[a], depot_of[a], parts[a]) for a in range(k)]
    doc = document(xy, 2, [(kinds[a], depot_of[a], depot_of[a]) for a in range(k)], costs, routes)
    items = [{"node": d, "types": ["truck", "van"]} for d in (0, 1)]
    items += [{"node": v, "types": sorted(admits[v])} for v in targets]
    doc["constraints"].append({"kind": "assignment", "items": items})
    return doc


def build_shared(rng: random.Random, n: int, k: int) -> dict:
    k += 1  # one agent more, so that every depot is both a start and an end
    depots = max(3, k - 1)
    xy = points(rng, n)
    cost = matrix(xy)
    # A ring of depots with one route between each neighbour pair, the rest round trips:
    # every depot starts one agent and ends another, and some host a round trip as well.
    ends = [(d, (d + 1) % depots) for d in range(depots)]
    ends += [(rng.randrange(depots),) * 2 for _ in range(k - depots)]
    targets = list(range(depots, n))
    parts = split(rng, targets, xy, [1.0] * k)
    routes = [route(cost, s, e, part) for (s, e), part in zip(ends, parts)]
    return document(xy, depots, [("agent", s, e) for s, e in ends], {"agent": cost}, routes)


def build_open(rng: random.Random, n: int, k: int) -> dict:
    xy = points(rng, n)
    cost = matrix(xy)
    homes = [a % 2 for a in range(k)]
    parts = split(rng, list(range(2, n)), xy, [1.0] * k)
    # The free finishing move goes back to the start; 2-opt works on the closed tour.
    routes = [route(cost, h, h, part) for h, part in zip(homes, parts)]
    return document(xy, 2, [("agent", h, h) for h in homes], {"agent": cost}, routes)


def build_limits(rng: random.Random, n: int, k: int) -> dict:
    xy = points(rng, n)
    cost = matrix(xy)
    homes = [a % 2 for a in range(k)]
    weights = [1.0 + 1.5 * a for a in range(k)]  # unequal routes: the short limits bind
    parts = split(rng, list(range(2, n)), xy, weights)
    routes = [route(cost, h, h, part) for h, part in zip(homes, parts)]
    doc = document(xy, 2, [("agent", h, h) for h in homes], {"agent": cost}, routes)
    for agent, r in zip(doc["agents"], routes):
        agent["max_length"] = math.ceil(clock(cost, r)[-1] * (1 + rng.uniform(*LIMIT_SLACK)))
    return doc


def windows_along(rng: random.Random, cost: list[list[int]], path: list[int], share: float,
                  width: tuple[float, float], horizon: int) -> dict[int, tuple[int, int]]:
    """Windows on about `share` of the path's targets, each `width` (fractions of the
    horizon) wide and holding the known arrival, so the known route never waits."""
    windows, t = {}, 0
    for u, v in zip(path, path[1:-1]):
        t += cost[u][v]
        if rng.random() < share:
            wide = max(1, round(horizon * rng.uniform(*width)))
            opens = max(0, t - rng.randint(0, wide))
            windows[v] = (opens, opens + wide)
    return windows


def timewindow_constraint(windows: dict[int, tuple[int, int]]) -> dict:
    return {"kind": "timewindow", "items": [
        {"node": v, "start": s, "end": e} for v, (s, e) in sorted(windows.items())]}


def build_tight(rng: random.Random, n: int, k: int) -> dict:
    xy = [(SIDE // 2, SIDE // 2)] + points(rng, n - 1)
    kinds = ["truck"] * ((k + 1) // 2) + ["van"] * (k // 2)
    costs = {"truck": matrix(xy), "van": matrix(xy, VAN_SLOWDOWN)}
    routes = [route(costs[kind], 0, 0, part)
              for kind, part in zip(kinds, split(rng, list(range(1, n)), xy, [1.0] * k))]
    horizon = max(clock(costs[kind], r)[-1] for kind, r in zip(kinds, routes))
    windows: dict[int, tuple[int, int]] = {}
    for kind, r in zip(kinds, routes):
        windows.update(windows_along(rng, costs[kind], r, TIGHT_SHARE, TIGHT_WIDTH, horizon))
    doc = document(xy, 1, [(kind, 0, 0) for kind in kinds], costs, routes)
    doc["constraints"].append(timewindow_constraint(windows))
    return doc


def build_allrules(rng: random.Random, n: int, k: int) -> dict:
    xy = points(rng, n)
    names = list(ALLRULES_TYPES)
    k = max(k, len(names))  # each type has an agent, so its one-type targets have one too
    kinds = [names[a % len(names)] for a in range(k)]
    costs = {kind: matrix(xy, factor) for kind, factor in ALLRULES_TYPES.items()}
    depots = 3
    # The agents go round the depots, one from each to the next, the next lap the other
    # way: every depot is some agent's start and another's end.
    ends = [(a % depots, (a + 1) % depots)[:: 1 if a // depots % 2 == 0 else -1]
            for a in range(k)]
    targets = list(range(depots, n))
    admits = {v: set(names) for v in targets}
    for v in rng.sample(targets, round(ALLRULES_ONE_TYPE_SHARE * len(targets))):
        admits[v] = {rng.choice(names)}
    allowed = [set()] * depots + [{a for a in range(k) if kinds[a] in admits[v]} for v in targets]
    parts = split(rng, targets, xy, [1.0] * k, allowed)
    routes = [route(costs[kind], s, e, part) for kind, (s, e), part in zip(kinds, ends, parts)]
    horizon = max(clock(costs[kind], r, open_route=True)[-1] for kind, r in zip(kinds, routes))
    windows: dict[int, tuple[int, int]] = {}
    for kind, r in zip(kinds, routes):
        windows.update(windows_along(rng, costs[kind], r, ALLRULES_WINDOW_SHARE, ALLRULES_WIDTH,
                                     horizon))
    doc = document(xy, depots, [(kind, s, e) for kind, (s, e) in zip(kinds, ends)], costs, routes)
    doc["constraints"].append(timewindow_constraint(windows))
    items = [{"node": d, "types": names} for d in range(depots)]
    items += [{"node": v, "types": sorted(admits[v])} for v in targets]
    doc["constraints"].append({"kind": "assignment", "items": items})
    for agent, kind, r in zip(doc["agents"], kinds, routes):
        used = clock(costs[kind], r, windows, open_route=True)[-1]
        agent["max_length"] = math.ceil(used * (1 + rng.uniform(*LIMIT_SLACK))) or 1
    return doc


def build_cap(rng: random.Random, n: int, k: int, windows: bool = False) -> dict:
    """One depot in the centre, demands and service times at every target, one capacity
    for the fleet: the targets swept by angle into k parts of near-equal demand, the
    capacity a little above the heaviest part. With windows: durations are distances
    times TRAVEL_FACTOR, windows hold the known start of service on a share of the
    targets, the depot closes a little after the last known return, and min-sum counts
    distance."""
    xy = [(SIDE // 2, SIDE // 2)] + points(rng, n - 1)
    distance = matrix(xy)
    cost = matrix(xy, TRAVEL_FACTOR) if windows else distance
    targets = list(range(1, n))
    demand = {v: rng.randint(*FLEET_DEMAND) for v in targets}
    service = {v: rng.randint(*FLEET_SERVICE) for v in targets}
    centre = SIDE / 2
    order = sorted(targets, key=lambda v: math.atan2(xy[v][1] - centre, xy[v][0] - centre))
    turn = rng.randrange(len(order))
    order = order[turn:] + order[:turn]
    total, parts, so_far = sum(demand.values()), [[] for _ in range(k)], 0
    for v in order:
        parts[min(k - 1, so_far * k // total)].append(v)
        so_far += demand[v]
    capacity = math.ceil(max(sum(demand[v] for v in p) for p in parts) * (1 + rng.uniform(*FLEET_SLACK)))
    routes = [route(cost, 0, 0, part) for part in parts]
    doc = document(xy, 1, [("agent", 0, 0)] * k, {"agent": cost}, routes)
    for v in targets:
        doc["nodes"][v].update(demand=demand[v], service=service[v])
    for agent in doc["agents"]:
        agent["capacity"] = capacity
    if windows:
        starts, ends = {}, []
        for r in routes:
            t = 0
            for u, v in zip(r, r[1:]):
                t += cost[u][v]
                starts[v] = t
                t += service.get(v, 0)
            ends.append(t)
        horizon = max(ends)
        chosen: dict[int, tuple[int, int]] = {}
        for v in targets:
            if rng.random() < FLEET_WINDOW_SHARE:
                wide = max(1, round(horizon * rng.uniform(*FLEET_WINDOW_WIDTH)))
                opens = max(0, starts[v] - rng.randint(0, wide))
                chosen[v] = (opens, opens + wide)
        chosen[0] = (0, math.ceil(horizon * (1 + FLEET_DEPOT_SLACK)))
        doc["constraints"].append(timewindow_constraint(chosen))
        doc["distances"] = {"agent": distance}
    return doc


BUILDERS = {"tw": build_tw, "types": build_types, "shared": build_shared, "open": build_open,
            "limits": build_limits, "tight": build_tight, "allrules": build_allrules,
            "cap": build_cap, "captw": lambda rng, n, k: build_cap(rng, n, k, windows=True)}
OPEN_CLASSES = ("open", "allrules")
RULE_CLASSES = ("pd", "chain", "mix", "over", "prize")  # generate_rules.py: pairs and penalties


# ---- the certificate --------------------------------------------------------------------------

def known_result(doc: dict) -> dict:
    """The known routes as a result dictionary, costs from the agents' clocks."""
    if doc["name"].split("-")[0] in FLEET_CLASSES + RULE_CLASSES:  # service, loads, pairs, penalties
        import routes as fleet_routes

        return fleet_routes.as_result(fleet_routes.read(doc), doc["known_routes"])
    windows = {item["node"]: (item["start"], item["end"]) for c in doc["constraints"]
               if c["kind"] == "timewindow" for item in c["items"]}
    open_route = not doc["options"]["return_to_end"]
    routes = []
    for agent, path in zip(doc["agents"], doc["known_routes"]):
        cost = clock(doc["costs"][agent["type"]], path, windows, open_route)[-1]
        routes.append({"agent_id": agent["id"], "path": path, "cost": float(cost)})
    costs = [r["cost"] for r in routes]
    return {"status": "success", "routes": routes,
            "statistics": {"max_cost": max(costs), "sum_cost": sum(costs)}}


def certificate_problems(doc: dict) -> list[str]:
    import routes as fleet_routes

    return fleet_routes.judge(fleet_routes.read(doc), known_result(doc))


def main(argv: list[str]) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out", type=Path)
    parser.add_argument("--seed", type=int, default=DEFAULT_SEED)
    parser.add_argument("--sizes", type=int, nargs="+", default=None)
    parser.add_argument("--hard", action="store_true", help="the hard set instead")
    args = parser.parse_args(argv)
    args.out.mkdir(parents=True, exist_ok=True)
    sizes = tuple(args.sizes) if args.sizes else None
    docs = (hard_set(args.seed, sizes=sizes) if args.hard
            else constrained_set(args.seed, sizes or SIZES))
    for doc in docs:
        path = args.out / f"{doc['name']}-{doc['options']['objective']}.json"
        path.write_text(json.dumps(doc) + "\n", encoding="utf-8")
        print(path)


if __name__ == "__main__":
    main(sys.argv[1:])
