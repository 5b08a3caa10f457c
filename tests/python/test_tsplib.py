"""TSPLIB conversion against known distances and known optimal tour lengths."""
import json
import math

import pytest

from conftest import HERE, shared_tsplib
from pyzel import tsplib, vrp

BERLIN52_OPTIMAL_TOUR = [
    1, 49, 32, 45, 19, 41, 8, 9, 10, 43, 33, 51, 11, 52, 14, 13, 47, 26, 27, 28, 12, 25, 4, 6, 15, 5,
    24, 48, 38, 37, 40, 39, 36, 35, 34, 44, 46, 16, 29, 50, 20, 23, 30, 2, 7, 42, 21, 17, 3, 18, 31, 22,
]
BURMA14_OPTIMAL_TOUR = [1, 2, 14, 3, 4, 5, 6, 12, 7, 13, 8, 11, 9, 10]


@pytest.mark.parametrize("path, tour, optimum", [
    (lambda: shared_tsplib("berlin52.tsp"), BERLIN52_OPTIMAL_TOUR, 7542),
    (lambda: HERE / "data" / "burma14.tsp", BURMA14_OPTIMAL_TOUR, 3323),  # GEO
], ids=["berlin52-EUC_2D", "burma14-GEO"])
def test_known_optimal_tour_lengths_under_rounded_distances(path, tour, optimum):
    matrix = tsplib.distance_matrix(tsplib.read(path()), "rounded")
    assert all(isinstance(v, int) for row in matrix for v in row)
    assert sum(matrix[u - 1][v - 1] for u, v in zip(tour, tour[1:] + tour[:1])) == optimum


@pytest.mark.parametrize("weight_type, points, rounded, real", [
    ("ATT", [(0, 0), (10, 0)], 4, math.sqrt(10.0)),  # sqrt(100 / 10) rounds to 3, below it: 4
    ("ATT", [(0, 0), (15, 5)], 5, 5.0),  # sqrt(250 / 10) = 5 exactly stays 5
    ("CEIL_2D", [(0, 0), (1, 1)], 2, math.sqrt(2.0)),
    # An exact whole distance far from the origin must not be lifted by a rounding error.
    ("CEIL_2D", [(98765.3, 43210.1), (98795.3, 43250.1)], 50, 50.0),
    ("EUC_2D", [(0, 0), (0.5, 0)], 1, 0.5),  # TSPLIB's nint rounds halves up
])
def test_coordinate_distance_functions(weight_type, points, rounded, real):
    lines = [f"NAME: t\nTYPE: TSP\nDIMENSION: 2\nEDGE_WEIGHT_TYPE: {weight_type}\nNODE_COORD_SECTION"]
    data = tsplib.parse("\n".join(lines + [f"{i + 1} {x} {y}" for i, (x, y) in enumerate(points)] + ["EOF\n"]))
    assert tsplib.distance_matrix(data, "rounded")[0][1] == rounded
    assert tsplib.distance_matrix(data, "real")[1][0] == pytest.approx(real, abs=1e-9)


@pytest.mark.parametrize("layout, numbers", [
    ("FULL_MATRIX", "0 1 2 3\n1 0 4 5 2\n4 0 6\n3 5 6 0"),  # rows may wrap anywhere
    ("UPPER_ROW", "1 2 3\n4 5\n6"), ("LOWER_ROW", "1\n2 4\n3 5 6"),
    ("UPPER_DIAG_ROW", "0 1 2 3\n0 4 5\n0 6\n0"), ("LOWER_DIAG_ROW", "0\n1 0\n2 4 0\n3 5 6 0"),
    ("UPPER_COL", "1\n2 4\n3 5 6"), ("LOWER_COL", "1 2 3\n4 5\n6"),
    ("UPPER_DIAG_COL", "0\n1 0\n2 4 0\n3 5 6 0"), ("LOWER_DIAG_COL", "0 1 2 3\n0 4 5\n0 6\n0"),
])
def test_explicit_layouts(layout, numbers):
    data = tsplib.parse(f"NAME: x\nTYPE: TSP\nDIMENSION: 4\nEDGE_WEIGHT_TYPE: EXPLICIT\n"
                        f"EDGE_WEIGHT_FORMAT: {layout}\nEDGE_WEIGHT_SECTION\n{numbers}\nEOF\n")
    for mode in ("rounded", "real"):
        assert tsplib.distance_matrix(data, mode) == [[0, 1, 2, 3], [1, 0, 4, 5], [2, 4, 0, 6], [3, 5, 6, 0]]
    assert len(data.positions) == 4  # laid out on a circle for pictures


def test_to_instance_layout():
    doc = tsplib.to_instance(shared_tsplib("eil51.tsp"), agents=3, objective="min_sum", depot=4, time_limit=2.5)
    assert [n["id"] for n in doc["nodes"]] == list(range(51))
    assert [(n["x"], n["y"]) for n in doc["nodes"][:2]] == [(37.0, 52.0), (49.0, 49.0)]
    assert [n["type"] for n in doc["nodes"]].count("depot") == 1 and doc["nodes"][4]["type"] == "depot"
    assert doc["agents"] == [{"id": k, "type": "agent", "start_node": 4, "end_node": 4} for k in range(3)]
    assert doc["options"] == {"objective": "min_sum", "time_limit": 2.5, "return_to_end": True}
    assert len(doc["costs"]["agent"]) == 51
    assert doc["constraints"] == [{"kind": "assignment", "items": [{"node": i, "types": ["agent"]} for i in range(51)]}]
    json.dumps(doc)  # plain JSON types only


@pytest.mark.parametrize("kwargs, message", [
    ({"agents": 0}, "agents"), ({"agents": 2, "depot": 51}, "depot"),
    ({"agents": 2, "objective": "fastest"}, "objective"), ({"agents": 2, "distances": "exact"}, "distances"),
    ({"agents": 2, "time_limit": 0}, "time limit"),
])
def test_to_instance_rejects_bad_requests(kwargs, message):
    with pytest.raises(tsplib.TsplibError, match=message):
        tsplib.to_instance(shared_tsplib("eil51.tsp"), **kwargs)


@pytest.mark.parametrize("text, message", [
    ("NAME: x\nDIMENSION: 2\nEDGE_WEIGHT_TYPE: MAN_2D\nNODE_COORD_SECTION\n1 0 0\n2 1 1\nEOF\n", "MAN_2D"),
    ("NAME: x\nDIMENSION: 3\nEDGE_WEIGHT_TYPE: EUC_2D\nNODE_COORD_SECTION\n1 0 0\n2 1 1\nEOF\n", "DIMENSION"),
    ("NAME: x\nDIMENSION: 3\nEDGE_WEIGHT_TYPE: EXPLICIT\nEDGE_WEIGHT_FORMAT: UPPER_ROW\n"
     "EDGE_WEIGHT_SECTION\n1 2\nEOF\n", "needs 3"),
    ("just some words\n", "not a TSPLIB file"),
], ids=["unsupported-type", "short-coordinates", "short-matrix", "not-tsplib"])
def test_bad_files(text, message):
    with pytest.raises(tsplib.TsplibError, match=message):
        tsplib.parse(text)


# VRPLIB: node 3 lies 2.5 from the depot (rounded up to 3), 3.99 from node 2 (4 rounded, 3.9 truncated).
CVRP = ("NAME : small\nTYPE : CVRP\nDIMENSION : 3\nEDGE_WEIGHT_TYPE : EUC_2D\nCAPACITY : 10\nNODE_COORD_SECTION\n"
        "1 0 0\n2 1.5 -1.99\n3 1.5 2\nDEMAND_SECTION\n1 0\n2 4\n3 7\nDEPOT_SECTION\n1\n-1\nEOF\n")
VRPTW = CVRP.replace("CVRP", "VRPTW").replace("CAPACITY", "VEHICLES : 5\nCAPACITY").replace(
    "DEPOT_SECTION", "TIME_WINDOW_SECTION\n1 0 100\n2 5 20\n3 0 50\nSERVICE_TIME_SECTION\n1 0\n2 10\n3 2.5\nDEPOT_SECTION")


@pytest.mark.parametrize("text, solution, asked, fleet, matrix, options", [
    (CVRP, "Route #1: 1\nRoute #2: 2\nRoute #3: 1\nCost 10\n", None, 3, [[0, 2, 3], [2, 0, 4], [3, 4, 0]], {}),
    (VRPTW, None, None, 5, [[0, 2.4, 2.5], [2.4, 0, 3.9], [2.5, 3.9, 0]], {"minimise": "distance"}),
    (VRPTW, "Route #1: 1 2\nCost 7.4\n", 2, 2, None, {"minimise": "distance"}),  # asked beats the .sol
    (CVRP, None, None, 2, None, {}),  # 11 of demand over a capacity of 10
], ids=["cvrp-fleet-of-sol", "vrptw-fleet-of-vehicles", "vrptw-asked", "cvrp-implied"])
def test_vrplib_conventions_and_fleet(tmp_path, text, solution, asked, fleet, matrix, options):
    path = tmp_path / "small.vrp"
    path.write_text(text)
    if solution:
        path.with_suffix(".sol").write_text(solution)
    doc = vrp.to_instance(path, vehicles=asked, objective="min_sum")
    assert [a["capacity"] for a in doc["agents"]] == [10] * fleet
    assert [(n["type"], n.get("demand"), n.get("service")) for n in doc["nodes"]][:2] == [
        ("depot", None, None), ("target", 4, 10 if "TIME_WINDOW" in text else None)]
    assert doc["options"] == {"objective": "min_sum", "time_limit": 60.0, "return_to_end": True,
                              "enforce_capacities": True, **options}
    if matrix:
        assert doc["costs"]["agent"] == matrix and doc.get("distances", {"agent": matrix})["agent"] == matrix
    windows = [c for c in doc["constraints"] if c["kind"] == "timewindow"]
    assert bool(windows) == ("TIME_WINDOW" in text) and ("distances" in doc) == bool(options)


@pytest.mark.parametrize("text, message", [
    (CVRP.replace("DEPOT_SECTION\n1\n", "DEPOT_SECTION\n1\n2\n"), "one depot"),
    (CVRP.replace("2 4\n3 7", "2 4"), "DEMAND_SECTION"),
    (CVRP.replace("CAPACITY : 10\n", "").replace("DEMAND_SECTION\n1 0\n2 4\n3 7\n", ""), "--vehicles"),
], ids=["two-depots", "short-demands", "no-fleet"])
def test_vrplib_refusals(tmp_path, text, message):
    path = tmp_path / "bad.vrp"
    path.write_text(text)
    with pytest.raises(tsplib.TsplibError, match=message):
        vrp.to_instance(path)
