"""The large set: a280 and generated instances beyond the exact search's 256 nodes.

    python bench/large.py OUT_DIR [--seed S] [--sizes 500 1000 2000] [--agents 5 10 20]

Layouts: `uniform` (targets uniform in the square) and `clustered` (targets round
n/100 centres, normal with a spread of SIDE/30, cut to the square), one depot in
the centre where every agent starts and ends; `a280` is the TSPLIB instance with
its first node as the depot (EUC_2D, rounded). Costs are Euclidean distances
rounded to the nearest whole number; no windows or limits. The points depend on the
layout, the size and the seed only, so one instance is solved with every agent
count and both objectives. There is no best-known value: gaps are taken to the
best cost any solver found.
"""

from __future__ import annotations

import argparse
import json
import random
import sys
from functools import lru_cache
from pathlib import Path

import generate

LAYOUTS = ("a280", "uniform", "clustered")
SIZES = (500, 1000, 2000)
AGENTS = (5, 10, 20)
OBJECTIVES = ("min_max", "min_sum")
DEFAULT_SEED = 2024
CLUSTER_SPREAD = generate.SIDE / 30


def large_set(seed: int = DEFAULT_SEED, sizes: tuple[int, ...] = SIZES,
              agents: tuple[int, ...] = AGENTS, layouts: tuple[str, ...] = LAYOUTS,
              a280: Path | None = None):
    """(family, document) pairs by layout, size, agent count and objective; a280 needs
    the path of its TSPLIB file."""
    for layout in layouts:
        for n in ((280,) if layout == "a280" else sizes):
            for k in agents:
                for objective in OBJECTIVES:
                    family = "a280" if layout == "a280" else f"{layout}-{n}"
                    yield family, instance(layout, n, k, objective, seed, a280)


def instance(layout: str, n: int, agents: int, objective: str, seed: int = DEFAULT_SEED,
             a280: Path | None = None) -> dict:
    if layout == "a280":
        from pyzel import tsplib  # the one TSPLIB conversion

        if a280 is None:
            raise ValueError("a280 needs the path of a280.tsp")
        doc = tsplib.to_instance(a280, agents, objective, distances="rounded")
        doc["name"] = f"a280-k{agents}"
        return doc
    xy, costs = _geometry(layout, n, seed)
    doc = generate.document(list(xy), 1, [("agent", 0, 0)] * agents, {"agent": costs}, [])
    del doc["known_routes"]
    doc["name"] = f"{layout}-{n}-k{agents}"
    doc["options"] = {"objective": objective, "return_to_end": True}
    return doc


@lru_cache(maxsize=2)
def _geometry(layout: str, n: int, seed: int) -> tuple[tuple[tuple[int, int], ...], list]:
    xy = layout_points(layout, n, seed)
    return xy, generate.matrix(list(xy))


def layout_points(layout: str, n: int, seed: int = DEFAULT_SEED) -> tuple[tuple[int, int], ...]:
    """The depot in the centre, then n - 1 distinct targets of the layout."""
    rng = random.Random(f"{seed}:{layout}:{n}")
    centre = (generate.SIDE // 2, generate.SIDE // 2)
    if layout == "uniform":
        targets = [p for p in generate.points(rng, n) if p != centre][: n - 1]
    elif layout == "clustered":
        centres = generate.points(rng, max(3, n // 100))
        chosen: set[tuple[int, int]] = {centre}
        targets = []
        while len(targets) < n - 1:
            cx, cy = rng.choice(centres)
            p = (min(max(round(rng.gauss(cx, CLUSTER_SPREAD)), 0), generate.SIDE),
                 min(max(round(rng.gauss(cy, CLUSTER_SPREAD)), 0), generate.SIDE))
            if p not in chosen:
                chosen.add(p)
                targets.append(p)
    else:
        raise ValueError(f"unknown layout {layout!r}; known: {', '.join(LAYOUTS)}")
    return tuple([centre] + targets)


def main(argv: list[str]) -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("out", type=Path)
    parser.add_argument("--seed", type=int, default=DEFAULT_SEED)
    parser.add_argument("--sizes", type=int, nargs="+", default=list(SIZES))
    parser.add_argument("--agents", type=int, nargs="+", default=list(AGENTS))
    parser.add_argument("--layouts", nargs="+", choices=[l for l in LAYOUTS if l != "a280"],
                        default=["uniform", "clustered"])
    args = parser.parse_args(argv)
    args.out.mkdir(parents=True, exist_ok=True)
    for _, doc in large_set(args.seed, tuple(args.sizes), tuple(args.agents), tuple(args.layouts)):
        path = args.out / f"{doc['name']}-{doc['options']['objective']}.json"
        path.write_text(json.dumps(doc))
        print(path)


if __name__ == "__main__":
    main(sys.argv[1:])
