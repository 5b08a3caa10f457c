"""Which runs the benchmark makes, read off the table of best-known values.

One case is one instance solved with one objective, one agent count and one
distance convention; every case is run by each solver at each time limit.

- every `min_max` row gives a min-max case at its agent count (real distances);
- every `min_sum_all_agents_work` row gives a min-sum case at its agent count;
- every `min_sum` row ("any" agents) gives a min-sum case at 2 agents: with
  one agent allowed to stay idle, the single-tour value is then the optimum
  open to both solvers, so the row is a target, not only a bound.

A min-sum case is measured against the `min_sum` row of its distance (the
total when agents may stay idle: a lower bound for every agent count), and
shows the `min_sum_all_agents_work` value beside it where one exists.
"""

from __future__ import annotations

import csv
from dataclasses import dataclass
from pathlib import Path

ANY_AGENTS_COUNT = 2


@dataclass(frozen=True)
class Case:
    instance: str
    objective: str  # "min_max" or "min_sum"
    agents: int
    distance: str  # "real" or "rounded", as pyzel.tsplib names them
    reference: float | None  # best-known value or bound the gap is taken to
    standing: str  # "optimal", "best known", "lower bound" or "" when none
    all_agents_work: float | None = None  # min-sum only: total when every agent works
    family: str = "tsplib"  # "tsplib", or the class of a generated instance (tw, types, ...)
    constructed: float | None = None  # generated only: the objective of its known routes
    lkh3: float | None = None  # Set I only: the two published values, where given
    mils: float | None = None

    @property
    def key(self) -> str:
        return f"{self.instance}/{self.objective}/{self.agents}/{self.distance}"


@dataclass(frozen=True)
class ReferenceRow:
    instance: str
    agents: str
    objective: str
    distance: str
    value: float
    standing: str


def read_reference(path: Path) -> list[ReferenceRow]:
    with open(path, newline="", encoding="utf-8") as handle:
        return [
            ReferenceRow(r["instance"], r["agents"], r["objective"], r["distance"],
                         float(r["value"]), r["standing"])
            for r in csv.DictReader(handle)
        ]


def build_cases(rows: list[ReferenceRow]) -> list[Case]:
    """The cases in a stable order: by instance as the table lists them, then min-max
    before min-sum, then distance, then agent count."""
    bounds = {(r.instance, r.distance): r for r in rows if r.objective == "min_sum"}
    work = {(r.instance, int(r.agents), r.distance): r.value
            for r in rows if r.objective == "min_sum_all_agents_work"}
    cases: dict[str, Case] = {}
    for r in rows:
        if r.objective == "min_max":
            case = Case(r.instance, "min_max", int(r.agents), r.distance, r.value, r.standing)
        elif r.objective in ("min_sum", "min_sum_all_agents_work"):
            agents = ANY_AGENTS_COUNT if r.agents == "any" else int(r.agents)
            case = _min_sum_case(r.instance, agents, r.distance, bounds, work)
        else:
            raise ValueError(f"unknown objective {r.objective!r} in the reference table")
        cases.setdefault(case.key, case)
    order = {name: i for i, name in enumerate(dict.fromkeys(r.instance for r in rows))}
    return sorted(cases.values(), key=lambda c: (order[c.instance], c.objective != "min_max",
                                                  c.distance, c.agents))


def _min_sum_case(instance: str, agents: int, distance: str,
                  bounds: dict[tuple[str, str], ReferenceRow],
                  work: dict[tuple[str, int, str], float]) -> Case:
    bound = bounds.get((instance, distance))
    reference = bound.value if bound else None
    # Above 2 agents the single tour is out of reach for a solver that lets only one idle.
    standing = "" if bound is None else bound.standing if agents <= 2 else "lower bound"
    return Case(instance, "min_sum", agents, distance, reference, standing,
                work.get((instance, agents, distance)))


# Set I: a distance column of "ATT" is TSPLIB's ATT metric with its integer step, the
# published values' convention; "real" is the plain Euclidean distance.
MINMAX_DISTANCES = {"real": "real", "ATT": "rounded"}
BOUND_TOLERANCE = 0.005  # the table gives values to the cent


def read_minmax(path: Path, include_trivial: bool = False) -> list[Case]:
    """The Set I pairs of `bks.csv` as min-max cases, in the table's order. A pair whose
    best known equals the trivial bound 2·max d(depot, i) is proven optimal and tests
    little: left out unless `include_trivial` (told by the values, since the table's
    flag is blank on some rows)."""
    chosen = []
    with open(path, newline="", encoding="utf-8") as handle:
        for r in csv.DictReader(handle):
            best, bound = float(r["best_known"]), float(r["lower_bound"])
            trivial = best <= bound + BOUND_TOLERANCE
            if trivial and not include_trivial:
                continue
            if r["distance"] not in MINMAX_DISTANCES:
                raise ValueError(f"unknown distance {r['distance']!r} in {path}")
            published = {k: float(r[k]) if r[k] else None for k in ("lkh3", "mils")}
            chosen.append(Case(r["instance"], "min_max", int(r["m"]),
                               MINMAX_DISTANCES[r["distance"]], best,
                               "optimal" if trivial else "best known", family="minmax",
                               **published))
    return chosen


def generated_case(doc: dict, constructed: float) -> Case:
    """A generated instance: no reference value; gaps are taken to the best any solver
    found on it, once every run is in."""
    family = doc["name"].split("-")[0]
    return Case(doc["name"], doc["options"]["objective"], len(doc["agents"]), "rounded", None,
                "", family=family, constructed=constructed)


def unreferenced_case(instance: str) -> Case:
    """A case for an instance without reference values (kept to show how it is handled)."""
    return Case(instance, "min_max", 3, "real", None, "")


def short_selection(cases: list[Case]) -> list[Case]:
    """The quick mode: the two smallest instances at 2 and 3 agents."""
    return [c for c in cases if c.instance in ("eil51", "berlin52") and c.agents <= 3]
