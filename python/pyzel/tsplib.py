"""TSPLIB files to ZEL's JSON instance format.

Files are read with the ``vrplib`` package (header, node coordinates, display
data). Distances are computed here: vrplib knows no ATT or GEO distances,
gives EUC_2D unrounded only, reads two of the nine explicit matrix layouts,
and computes Euclidean distances through the expansion |a|^2 + |b|^2 - 2ab,
whose cancellation error (around 1e-10 at coordinates of 1e4, far more at
1e5) can move a ceiling or a rounding by one.

Two distance modes:

- ``"rounded"``: TSPLIB's own function for the file's type (EUC_2D rounds to
  the nearest integer, CEIL_2D rounds up, ATT and GEO as TSPLIB defines them);
  these are the distances of published optimal tour lengths.
- ``"real"``: the same function without its integer step (plain Euclidean for
  EUC_2D and CEIL_2D, the scaled Euclidean of ATT, the great-circle distance of
  GEO).

Explicit matrices are taken as given in both modes.
"""

from __future__ import annotations

import math
import os
from dataclasses import dataclass
from typing import Any, Literal

import numpy as np
import vrplib  # type: ignore[import-untyped]  # ships no type information

from .errors import InputError

Distances = Literal["rounded", "real"]
Objective = Literal["min_max", "min_sum"]

DISTANCE_MODES: tuple[str, ...] = ("rounded", "real")
OBJECTIVES: tuple[str, ...] = ("min_max", "min_sum")
COORDINATE_TYPES: tuple[str, ...] = ("EUC_2D", "CEIL_2D", "ATT", "GEO")
EXPLICIT_FORMATS: tuple[str, ...] = (
    "FULL_MATRIX",
    "UPPER_ROW",
    "LOWER_ROW",
    "UPPER_DIAG_ROW",
    "LOWER_DIAG_ROW",
    "UPPER_COL",
    "LOWER_COL",
    "UPPER_DIAG_COL",
    "LOWER_DIAG_COL",
)

AGENT_TYPE = "agent"
LARGEST = 1e15  # beyond it distances lose whole-number precision in a double
_GEO_PI = 3.141592  # TSPLIB's own constant, needed to reproduce its GEO distances
_GEO_RADIUS = 6378.388


class TsplibError(InputError):
    """A TSPLIB file or a conversion request that cannot be turned into an instance."""


@dataclass
class TsplibData:
    """What a TSPLIB file says about its nodes and distances."""

    name: str
    dimension: int
    edge_weight_type: str
    positions: list[tuple[float, float]]
    explicit: list[list[float]] | None = None  # the full matrix of an EXPLICIT file


def read(path: str | os.PathLike[str]) -> TsplibData:
    """Reads a TSPLIB file; raises OSError for an unreadable file, TsplibError for bad content."""
    return parse(read_text(path), default_name=os.path.splitext(os.path.basename(path))[0])


def read_text(path: str | os.PathLike[str]) -> str:
    """The text of a file in ASCII or UTF-8; TsplibError for other encodings."""
    with open(path, "rb") as handle:
        raw = handle.read()
    if raw.startswith((b"\xff\xfe", b"\xfe\xff")):
        raise TsplibError("UTF-16 text: save the file as ASCII or UTF-8")
    try:
        text = raw.decode("utf-8-sig")
    except UnicodeDecodeError as err:
        raise TsplibError(f"not ASCII or UTF-8 text (byte {err.start}); save the file as UTF-8") from None
    return text


def parse(text: str, default_name: str = "tsplib") -> TsplibData:
    """Parses the text of a TSPLIB file."""
    text, weights = _split_edge_weight_section(text)
    try:
        raw = vrplib.parse.parse_vrplib(text, compute_edge_weights=False)
    except (ValueError, RuntimeError, IndexError, KeyError, TypeError) as err:
        raise TsplibError(f"not a TSPLIB file: {' '.join(str(err).split())}") from None
    if "dimension" not in raw:
        raise TsplibError("not a TSPLIB file: no DIMENSION")
    dimension = _positive_int(raw["dimension"], "DIMENSION")
    weight_type = str(raw.get("edge_weight_type", "")).upper()
    name = str(raw.get("name", default_name))
    if weight_type == "EXPLICIT":
        layout = str(raw.get("edge_weight_format", "")).upper()
        if weights is None:
            raise TsplibError("EXPLICIT file without EDGE_WEIGHT_SECTION")
        matrix = _explicit_matrix(weights, layout, dimension)
        shown = raw.get("display_data")
        positions = _coordinates(shown, dimension) if shown is not None else _circle(dimension)
        return TsplibData(name, dimension, weight_type, positions, matrix)
    if weight_type not in COORDINATE_TYPES:
        supported = ", ".join(COORDINATE_TYPES + ("EXPLICIT",))
        raise TsplibError(f"EDGE_WEIGHT_TYPE {weight_type or '(none)'} is not supported ({supported})")
    if "node_coord" not in raw:
        raise TsplibError(f"{weight_type} file without NODE_COORD_SECTION")
    return TsplibData(name, dimension, weight_type, _coordinates(raw["node_coord"], dimension))


def distance_matrix(data: TsplibData, distances: Distances = "rounded") -> list[list[float]]:
    """The full n-by-n distance matrix; whole numbers are Python ints in rounded mode."""
    if distances not in DISTANCE_MODES:
        raise TsplibError(f"distances must be one of {', '.join(DISTANCE_MODES)}, not {distances!r}")
    if data.explicit is not None:
        return [list(row) for row in data.explicit]
    xy = np.array(data.positions, dtype=float)
    rounded = distances == "rounded"
    if data.edge_weight_type == "GEO":
        matrix = _geo(xy, rounded)
    else:
        dx = xy[:, None, 0] - xy[None, :, 0]
        dy = xy[:, None, 1] - xy[None, :, 1]
        matrix = _planar(dx, dy, data.edge_weight_type, rounded)
    np.fill_diagonal(matrix, 0.0)
    if rounded:
        return [[int(v) for v in row] for row in matrix.tolist()]
    return [[float(v) for v in row] for row in matrix.tolist()]


def to_instance(
    source: str | os.PathLike[str] | TsplibData,
    agents: int,
    objective: Objective = "min_max",
    depot: int = 0,
    time_limit: float = 60.0,
    distances: Distances = "rounded",
) -> dict[str, Any]:
    """A JSON instance document: one depot (node index ``depot``) where every agent
    starts and ends, all agents of one type, the other nodes as targets.

    Node ids are the node indices 0..n-1 (TSPLIB numbers them from 1), agent ids 0..agents-1.
    """
    data = source if isinstance(source, TsplibData) else read(source)
    if isinstance(agents, bool) or not isinstance(agents, int) or agents < 1:
        raise TsplibError(f"agents must be a whole number of at least 1, not {agents!r}")
    if objective not in OBJECTIVES:
        raise TsplibError(f"objective must be one of {', '.join(OBJECTIVES)}, not {objective!r}")
    if isinstance(depot, bool) or not isinstance(depot, int) or not 0 <= depot < data.dimension:
        raise TsplibError(f"depot must be a node index from 0 to {data.dimension - 1}, not {depot!r}")
    if not 0 < time_limit < math.inf:
        raise TsplibError(f"time limit must be a positive finite number, not {time_limit!r}")
    nodes = [
        {"id": i, "x": x, "y": y, "type": "depot" if i == depot else "target"}
        for i, (x, y) in enumerate(data.positions)
    ]
    fleet = [
        {"id": k, "type": AGENT_TYPE, "start_node": depot, "end_node": depot} for k in range(agents)
    ]
    return {
        "name": data.name,
        "nodes": nodes,
        "agents": fleet,
        "costs": {AGENT_TYPE: distance_matrix(data, distances)},
        # Every node named, so the solver has no node to warn about as unassigned.
        "constraints": [
            {"kind": "assignment", "items": [{"node": i, "types": [AGENT_TYPE]} for i in range(len(nodes))]}
        ],
        "options": {"objective": objective, "time_limit": float(time_limit), "return_to_end": True},
    }


def _nint(values: np.ndarray) -> np.ndarray:
    # TSPLIB's nint is (int)(x + 0.5), not round-half-to-even.
    rounded: np.ndarray = np.floor(values + 0.5)
    return rounded


def _planar(dx: np.ndarray, dy: np.ndarray, weight_type: str, rounded: bool) -> np.ndarray:
    if weight_type == "ATT":
        exact: np.ndarray = np.sqrt((dx * dx + dy * dy) / 10.0)
        if not rounded:
            return exact
        near = _nint(exact)
        lifted: np.ndarray = np.where(near < exact, near + 1.0, near)
        return lifted
    exact = np.hypot(dx, dy)
    if not rounded:
        return exact
    return np.ceil(exact) if weight_type == "CEIL_2D" else _nint(exact)


def _geo_radians(values: np.ndarray) -> np.ndarray:
    # DDD.MM: whole degrees, then minutes; TSPLIB truncates toward zero for the degrees.
    degrees = np.trunc(values)
    minutes = values - degrees
    radians: np.ndarray = _GEO_PI * (degrees + 5.0 * minutes / 3.0) / 180.0
    return radians


def _geo(xy: np.ndarray, rounded: bool) -> np.ndarray:
    lat = _geo_radians(xy[:, 0])
    lon = _geo_radians(xy[:, 1])
    q1 = np.cos(lon[:, None] - lon[None, :])
    q2 = np.cos(lat[:, None] - lat[None, :])
    q3 = np.cos(lat[:, None] + lat[None, :])
    inner = np.clip(0.5 * ((1.0 + q1) * q2 - (1.0 - q1) * q3), -1.0, 1.0)
    exact: np.ndarray = _GEO_RADIUS * np.arccos(inner)
    return np.trunc(exact + 1.0) if rounded else exact


def _split_edge_weight_section(text: str) -> tuple[str, list[float] | None]:
    """Takes the EDGE_WEIGHT_SECTION out of the text and reads it as one stream of
    numbers: TSPLIB lets rows wrap anywhere, which vrplib's reader does not follow."""
    lines = text.splitlines()
    start = next(
        (i for i, line in enumerate(lines) if line.strip().upper().startswith("EDGE_WEIGHT_SECTION")),
        None,
    )
    if start is None:
        return text, None
    end = start + 1
    while end < len(lines):
        upper = lines[end].strip().upper()
        if "_SECTION" in upper or upper.startswith("EOF"):
            break
        end += 1
    head = lines[start].strip()[len("EDGE_WEIGHT_SECTION"):].lstrip(" :")
    tokens = " ".join([head] + lines[start + 1 : end]).split()
    try:
        numbers = [float(token) for token in tokens]
    except ValueError as err:
        raise TsplibError(f"EDGE_WEIGHT_SECTION: {err}") from None
    _check_finite(numbers, "EDGE_WEIGHT_SECTION")
    return "\n".join(lines[:start] + lines[end:]), numbers


def _explicit_matrix(values: list[float], layout: str, n: int) -> list[list[float]]:
    if layout not in EXPLICIT_FORMATS:
        raise TsplibError(f"EDGE_WEIGHT_FORMAT {layout or '(none)'} is not supported ({', '.join(EXPLICIT_FORMATS)})")
    # Counted before any cell is listed: a short file may claim a huge DIMENSION.
    needed = n * n if layout == "FULL_MATRIX" else n * (n + 1) // 2 if "_DIAG_" in layout else n * (n - 1) // 2
    if len(values) != needed:
        raise TsplibError(f"EDGE_WEIGHT_SECTION has {len(values)} numbers, {layout} of dimension {n} needs {needed}")
    cells = _layout_cells(layout, n)
    matrix = [[0.0] * n for _ in range(n)]
    for (i, j), value in zip(cells, values):
        number = int(value) if value.is_integer() else value
        matrix[i][j] = number
        matrix[j][i] = number
    return matrix


def _layout_cells(layout: str, n: int) -> list[tuple[int, int]]:
    """The (row, column) of each number of the section, in the order the file lists them."""
    if layout == "FULL_MATRIX":
        return [(i, j) for i in range(n) for j in range(n)]
    diagonal = "_DIAG_" in layout
    # A column-wise upper triangle lists the same cells as a row-wise lower one, mirrored.
    lower_rows = layout.startswith("LOWER") == layout.endswith("_ROW")
    if lower_rows:
        cells = [(i, j) for i in range(n) for j in range(i + 1 if diagonal else i)]
    else:
        cells = [(i, j) for i in range(n) for j in range(i if diagonal else i + 1, n)]
    return cells


def _positive_int(value: Any, what: str) -> int:
    if isinstance(value, bool) or not isinstance(value, int) or value < 1:
        raise TsplibError(f"{what} must be a positive whole number, not {value!r}")
    return value


def _coordinates(section: Any, dimension: int) -> list[tuple[float, float]]:
    rows = list(section)
    if len(rows) != dimension:
        raise TsplibError(f"coordinate section has {len(rows)} rows, DIMENSION is {dimension}")
    positions = []
    for i, row in enumerate(rows):
        if len(row) < 2:
            raise TsplibError(f"coordinate row of node {i + 1} has {len(row)} number{'s' if len(row) != 1 else ''}, needs 2")
        try:
            x, y = float(row[0]), float(row[1])
        except ValueError:
            raise TsplibError(f"coordinate row of node {i + 1}: {' '.join(map(str, row))!r} is not numbers") from None
        positions.append((x, y))
    _check_finite([v for xy in positions for v in xy], "coordinate section")
    return positions


def _check_finite(values: list[float], where: str) -> None:
    # The JSON instance has no NaN or infinity, and the solver reads no such literal.
    bad = next((v for v in values if not abs(v) <= LARGEST), None)
    if bad is not None and math.isfinite(bad):
        raise TsplibError(f"{where}: {bad:g} is larger than {LARGEST:g}, where distances lose whole-number precision")
    if bad is not None:
        raise TsplibError(f"{where}: {bad} is not a finite number")


def _circle(n: int) -> list[tuple[float, float]]:
    # Files without coordinates still get positions, so that pictures can be drawn.
    return [(math.cos(2 * math.pi * i / n), math.sin(2 * math.pi * i / n)) for i in range(n)]
