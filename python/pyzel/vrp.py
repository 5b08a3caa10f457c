"""VRPLIB files (capacitated fleets, with or without time windows) to ZEL's JSON
instance format.

The nodes and their distances are read as for TSPLIB (``pyzel.tsplib``: the same
coordinate types and explicit layouts); ``vrplib`` reads the fleet's sections:
``CAPACITY``, ``DEMAND_SECTION``, ``TIME_WINDOW_SECTION``, ``SERVICE_TIME`` (one
value for every customer) or ``SERVICE_TIME_SECTION``, ``DEPOT_SECTION`` and
``VEHICLES``.

The distance conventions of the published values:

- ``"rounded"`` (the default without windows, the X set's): TSPLIB's own
  function, EUC_2D rounded to the nearest integer;
- ``"truncated"`` (the default with windows, the 1,000-customer sets'): the
  Euclidean distance truncated to one decimal, for distances and durations alike;
- ``"real"``: no integer step.

The fleet, most specific first: the count asked for, else the route count of the
solution file beside the instance (same name, ``.sol``), else ``VEHICLES``, else the
fewest vehicles whose capacities hold the total demand (a bound: bin packing may
need more).
"""

from __future__ import annotations

import math
import os
import re
from dataclasses import dataclass
from pathlib import Path
from typing import Any, Literal

import numpy as np
import vrplib  # type: ignore[import-untyped]  # ships no type information

from . import tsplib
from .tsplib import AGENT_TYPE, TsplibError

Distances = Literal["rounded", "truncated", "real"]
DISTANCE_MODES: tuple[str, ...] = ("rounded", "truncated", "real")
_VRP_TYPE = re.compile(r"^\s*TYPE\s*:\s*(\w+)", re.MULTILINE | re.IGNORECASE)
_VRP_KEYS = re.compile(r"^\s*(CAPACITY|DEMAND_SECTION)\b", re.MULTILINE | re.IGNORECASE)


@dataclass
class VrpData:
    """What a VRPLIB file says about its nodes, distances and fleet."""

    nodes: tsplib.TsplibData
    depot: int  # node index
    capacity: int  # every vehicle's; 0 means no limit
    demands: list[float]  # per node index
    windows: list[tuple[float, float]] | None  # per node index, None without a section
    services: list[float]  # per node index
    vehicles: int | None  # VEHICLES, when the file states it


def is_vrp_text(text: str) -> bool:
    """Whether a TSPLIB-style text describes a fleet (a CVRP or VRPTW file)."""
    kind = _VRP_TYPE.search(text)
    return bool(kind and "VRP" in kind[1].upper()) or bool(_VRP_KEYS.search(text))


def parse(text: str, default_name: str = "vrp") -> VrpData:
    nodes = tsplib.parse(text, default_name)
    stripped, _ = tsplib._split_edge_weight_section(text)
    try:
        raw = vrplib.parse.parse_vrplib(stripped, compute_edge_weights=False)
    except (ValueError, RuntimeError, IndexError, KeyError, TypeError) as err:
        raise TsplibError(f"not a VRPLIB file: {' '.join(str(err).split())}") from None
    n = nodes.dimension
    depots = [int(d) for d in np.atleast_1d(raw.get("depot", [0]))]
    if len(depots) != 1 or not 0 <= depots[0] < n:
        raise TsplibError(f"DEPOT_SECTION must name one depot from 1 to {n}, not {[d + 1 for d in depots]}")
    capacity = raw.get("capacity", 0)
    if isinstance(capacity, (list, np.ndarray)):  # one value per vehicle: they must agree
        values = {float(c) for c in np.atleast_1d(capacity)}
        if len(values) != 1:
            raise TsplibError("vehicles of different capacities are not supported")
        capacity = values.pop()
    if not float(capacity).is_integer() or capacity < 0:
        raise TsplibError(f"CAPACITY must be a whole number of at least 0, not {capacity}")
    demands = _per_node(raw.get("demand", 0), n, "DEMAND_SECTION")
    services = _per_node(raw.get("service_time", 0), n, "SERVICE_TIME")
    windows = None
    if "time_window" in raw:
        section = np.asarray(raw["time_window"], dtype=float)
        if section.shape != (n, 2):
            raise TsplibError(f"TIME_WINDOW_SECTION has {len(section)} rows, DIMENSION is {n}")
        windows = [(float(a), float(b)) for a, b in section]
    vehicles = raw.get("vehicles")
    return VrpData(nodes, depots[0], int(capacity), demands, windows, services,
                   int(vehicles) if vehicles is not None else None)


def read(path: str | os.PathLike[str]) -> VrpData:
    """Reads a VRPLIB file; raises OSError for an unreadable file, TsplibError for bad content."""
    return parse(tsplib.read_text(path), default_name=Path(path).stem)


def distance_matrix(data: VrpData, distances: Distances) -> list[list[float]]:
    if distances not in DISTANCE_MODES:
        raise TsplibError(f"distances must be one of {', '.join(DISTANCE_MODES)}, not {distances!r}")
    if distances != "truncated":
        return tsplib.distance_matrix(data.nodes, distances)
    if data.nodes.explicit is not None:
        return [[math.floor(v * 10) / 10 for v in row] for row in data.nodes.explicit]
    if data.nodes.edge_weight_type != "EUC_2D":
        raise TsplibError(f"truncated distances need EUC_2D coordinates, not {data.nodes.edge_weight_type}")
    xy = np.array(data.nodes.positions, dtype=float)
    squared = (xy[:, None, 0] - xy[None, :, 0]) ** 2 + (xy[:, None, 1] - xy[None, :, 1]) ** 2
    # sqrt(100 d^2) is exact wherever a tenth is: whole coordinates never round across one.
    tenths = np.floor(np.sqrt(100.0 * squared))
    return [[int(t) / 10 for t in row] for row in tenths.tolist()]


def default_distances(data: VrpData) -> Distances:
    return "truncated" if data.windows is not None else "rounded"


def fleet_size(data: VrpData, path: str | os.PathLike[str] | None, vehicles: int | None) -> tuple[int, str]:
    """The vehicle count and where it comes from (for the summary line)."""
    if vehicles is not None:
        return vehicles, "asked for"
    solution = Path(path).with_suffix(".sol") if path is not None else None
    if solution is not None and solution.is_file():
        try:
            routes = vrplib.read_solution(str(solution))["routes"]
        except (OSError, ValueError, KeyError, IndexError) as err:
            raise TsplibError(f"{solution.name}: cannot read its routes: {err}") from None
        if routes:
            return len(routes), f"the routes of {solution.name}"
    if data.vehicles is not None:
        return data.vehicles, "VEHICLES"
    total = sum(data.demands)
    if data.capacity > 0 and total > 0:
        return max(1, math.ceil(total / data.capacity)), "total demand over capacity"
    raise TsplibError("the file states no fleet: give the number of vehicles (--vehicles N)")


def to_instance(
    source: str | os.PathLike[str] | VrpData,
    vehicles: int | None = None,
    objective: tsplib.Objective = "min_max",
    time_limit: float = 60.0,
    distances: Distances | None = None,
) -> dict[str, Any]:
    """A JSON instance document: the file's depot where every vehicle starts and ends,
    the customers as targets with their demands, service times and windows, capacities
    enforced. With windows the objective counts distance (as the published values do):
    ``"distances"`` beside the durations and ``"minimise": "distance"``.

    Node ids are the node indices 0..n-1 (VRPLIB numbers them from 1).
    """
    path = None if isinstance(source, VrpData) else source
    data = source if isinstance(source, VrpData) else read(source)
    if vehicles is not None and (isinstance(vehicles, bool) or not isinstance(vehicles, int) or vehicles < 1):
        raise TsplibError(f"vehicles must be a whole number of at least 1, not {vehicles!r}")
    if objective not in tsplib.OBJECTIVES:
        raise TsplibError(f"objective must be one of {', '.join(tsplib.OBJECTIVES)}, not {objective!r}")
    if not 0 < time_limit < math.inf:
        raise TsplibError(f"time limit must be a positive finite number, not {time_limit!r}")
    count, _ = fleet_size(data, path, vehicles)
    matrix = distance_matrix(data, distances or default_distances(data))
    depot = data.depot
    doc: dict[str, Any] = {
        "name": data.nodes.name,
        "nodes": [{"id": i, "x": x, "y": y, "type": "depot" if i == depot else "target"}
                  for i, (x, y) in enumerate(data.nodes.positions)],
        "agents": [{"id": k, "type": AGENT_TYPE, "start_node": depot, "end_node": depot}
                   for k in range(count)],
        "costs": {AGENT_TYPE: matrix},
        "constraints": [{"kind": "assignment",
                         "items": [{"node": i, "types": [AGENT_TYPE]} for i in range(data.nodes.dimension)]}],
        "options": {"objective": objective, "time_limit": float(time_limit), "return_to_end": True},
    }
    for i, node in enumerate(doc["nodes"]):
        if i != data.depot:  # a depot's demand and service count nothing
            node["demand"] = _number(data.demands[i])
            if data.services[i] > 0:
                node["service"] = _number(data.services[i])
    for agent in doc["agents"]:
        agent["capacity"] = data.capacity
    if data.windows is not None:
        items = [{"node": i, "start": _number(a), "end": _number(b)} for i, (a, b) in enumerate(data.windows)]
        doc["constraints"].append({"kind": "timewindow", "items": items})
    doc["options"]["enforce_capacities"] = True
    if data.windows is not None and objective == "min_sum":
        doc["distances"] = {AGENT_TYPE: matrix}
        doc["options"]["minimise"] = "distance"
    return doc


def _per_node(value: Any, n: int, what: str) -> list[float]:
    values = np.asarray(value, dtype=float)
    if values.ndim == 0:  # one value for every customer
        values = np.full(n, float(values))
    if values.shape != (n,):
        raise TsplibError(f"{what} has {values.size} values, DIMENSION is {n}")
    if not np.all(np.isfinite(values)) or np.any(values < 0):
        raise TsplibError(f"{what}: every value must be a finite number of at least 0")
    return [float(v) for v in values]


def _number(value: float) -> int | float:
    return int(value) if float(value).is_integer() else value
