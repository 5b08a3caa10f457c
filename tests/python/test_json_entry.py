"""The JSON road: the examples, the result dictionary, routes by agent index, the two
output streams, and instances that once stalled the search. Error texts and limits
are in test_bad_input."""
import copy
import json
import math
import re

import pytest

import _pyzel_core as z
from conftest import EXAMPLES, ROADS, TRIANGLE, build_problem, solve_json, solve_objects, variant
from solution_checker import route_problems


@pytest.mark.parametrize("name", ["single_depot_min_max.json", "multi_depot_two_types.json",
                                  "time_windows.json", "open_routes.json"])
def test_every_example_solution_is_valid(name):
    result = z.solve_json_file(str(EXAMPLES / name))
    assert route_problems(json.loads((EXAMPLES / name).read_text()), result) == []


@pytest.mark.parametrize("objective, measure", [("min_max", "max_cost"), ("min_sum", "sum_cost")])
def test_result_dictionary_layout_types_and_anytime(objective, measure):
    out = solve_json(variant(options={"objective": objective, "time_limit": 10}))
    assert list(out) == ["status", "timeout", "routes", "statistics", "anytime"]
    assert (out["status"], out["timeout"]) == ("success", False)
    route = out["routes"][0]
    assert list(route) == ["agent_id", "path", "cost"]
    assert route["path"] in ([0, 1, 2, 0], [0, 2, 1, 0]) and route["cost"] == 12.0
    assert isinstance(route["agent_id"], int) and isinstance(route["cost"], float)
    stats = out["statistics"]
    assert list(stats) == ["solve_time", "max_cost", "sum_cost", "n_generated", "n_expanded", "last_update_time"]
    assert [type(v) for v in stats.values()] == [float, float, float, int, int, float]
    assert stats["max_cost"] == stats["sum_cost"] == 12.0 and stats["n_generated"] >= 1
    for entry in out["anytime"]:
        assert list(entry) == ["time", "max_cost", "sum_cost"]
        assert all(isinstance(v, float) for v in entry.values())
    scores = [e[measure] for e in out["anytime"]]  # strictly improving in the objective's measure
    assert scores == sorted(set(scores), reverse=True) and scores[-1] == 12.0


def test_agents_with_sparse_ids_get_their_own_routes():
    doc = variant(agents=[{"id": k, "type": "a", "start_node": 0, "end_node": 0} for k in (10, 20)])
    out = solve_json(doc)
    assert [r["agent_id"] for r in out["routes"]] == [10, 20]
    assert route_problems(doc, out) == []


@pytest.mark.parametrize("road", ["json", "objects"])
def test_warnings_go_to_stderr_and_tw_summary_to_stdout_unless_quiet(capfd, road):
    doc = variant(nodes=TRIANGLE["nodes"] + [{"id": 3, "x": 50, "y": 50}],
                  costs={"a": [[0, 3, 4, 9999], [3, 0, 5, 9999], [4, 5, 0, 9999], [9999] * 4]},
                  constraints=[{"kind": "timewindow", "items": [{"node": 42, "start": 0, "end": 1}]}])
    routes = []
    for quiet in (False, True):
        if road == "json":
            doc["options"]["quiet"] = quiet
            routes.append(solve_json(doc)["routes"])
        else:
            p = build_problem(doc)
            p.options().quiet = quiet
            s = z.Solver(p, p.options())
            s.solve()
            routes.append(s.get_result().paths)
        out, err = capfd.readouterr()
        if quiet:
            assert (out, err) == ("", "")
            continue
        assert "[warning] node 0 has no assignment constraint; allowing all types\n" in err
        assert "[warning] time window node id 42 not found in nodes\n" in err
        assert "[TW-MST] blocked edges: 3 / 6 (set MTSP_DEBUG_TW_EDGES=1 for details)\n" in out
    assert routes[0] == routes[1]


# Instances whose focal list once ran dry while the open list still held the
# labels that lead to the only feasible routes.
FOCAL_RUNS_DRY = [
    '{"nodes":[{"id":0,"x":8,"y":6},{"id":1,"x":6,"y":4},{"id":2,"x":6,"y":1},{"id":3,"x":3,"y":6},{"id":4,"x":0,"y":8},{"id":5,"x":3,"y":3}],"agents":[{"id":0,"type":"a","start_node":0,"end_node":0,"max_length":52}],"costs":{"a":[[0,4,7,5,10,8],[4,0,3,5,10,4],[7,3,0,8,13,5],[5,5,8,0,5,3],[10,10,13,5,0,8],[8,4,5,3,8,0]]},"constraints":[{"kind":"assignment","items":[{"node":0,"types":["a"]},{"node":1,"types":["a"]},{"node":2,"types":["a"]},{"node":3,"types":["a"]},{"node":4,"types":["a"]},{"node":5,"types":["a"]}]},{"kind":"timewindow","items":[{"node":4,"start":16,"end":28},{"node":5,"start":15,"end":24},{"node":1,"start":16,"end":33},{"node":2,"start":19,"end":30}]}],"options":{"objective":"min_max","time_limit":5}}',
    '{"nodes":[{"id":0,"x":2,"y":4},{"id":1,"x":2,"y":4},{"id":2,"x":9,"y":6},{"id":3,"x":6,"y":10},{"id":4,"x":8,"y":4},{"id":5,"x":4,"y":8},{"id":6,"x":2,"y":5},{"id":7,"x":6,"y":5}],"agents":[{"id":0,"type":"a","start_node":0,"end_node":0,"max_length":32}],"costs":{"a":[[0,0,9,10,6,6,1,5],[0,0,9,10,6,6,1,5],[9,9,0,7,3,7,8,4],[10,10,7,0,8,4,9,5],[6,6,3,8,0,8,7,3],[6,6,7,4,8,0,5,5],[1,1,8,9,7,5,0,4],[5,5,4,5,3,5,4,0]]},"constraints":[{"kind":"assignment","items":[{"node":0,"types":["a"]},{"node":1,"types":["a"]},{"node":2,"types":["a"]},{"node":3,"types":["a"]},{"node":4,"types":["a"]},{"node":5,"types":["a"]},{"node":6,"types":["a"]},{"node":7,"types":["a"]}]},{"kind":"timewindow","items":[{"node":5,"start":2,"end":17},{"node":2,"start":7,"end":19},{"node":7,"start":10,"end":30},{"node":6,"start":9,"end":27},{"node":1,"start":11,"end":32},{"node":4,"start":0,"end":28},{"node":3,"start":5,"end":22}]}],"options":{"objective":"min_max","time_limit":5}}',
]


@pytest.mark.parametrize("text", FOCAL_RUNS_DRY)
def test_search_goes_on_while_open_labels_remain(text):
    assert route_problems(json.loads(text), z.solve_json_str(text)) == []


TWO_TRUCKS = variant(agents=[{"id": k, "type": "a", "start_node": 0, "end_node": 0, "capacity": 1} for k in (0, 1)],
                     options={"objective": "min_sum", "time_limit": 10, "max_iterations": 200})


@pytest.mark.parametrize("road", ["json", "objects"])
@pytest.mark.parametrize("improve", [False, True])
@pytest.mark.parametrize("demand, enforce, status, sum_cost", [
    (5, True, "failed", None),    # nothing fits: no answer, on the search and the phase alike
    (5, False, "success", 12.0),  # kept and never read, as before the option
    (1, True, "success", 14.0),   # one target per truck instead of one tour for both
    (1, False, "success", 12.0),
])
def test_capacities_are_enforced_only_when_asked(road, improve, demand, enforce, status, sum_cost):
    doc = copy.deepcopy(TWO_TRUCKS)
    for node in doc["nodes"]:
        node["demand"] = demand
    doc["options"].update(improve=improve, enforce_capacities=enforce)
    out = solve_json(doc) if road == "json" else solve_objects(doc)
    assert out["status"] == status
    if sum_cost is not None:
        assert out["statistics"]["sum_cost"] == sum_cost


# Durations are symmetric (a tour of 12 plus 5 of service); the distances make
# one way round 3 and the other 30.
SERVED = {"nodes": [{"id": 0, "x": 0, "y": 0, "type": "depot", "service": 9},
                    {"id": 1, "x": 1, "y": 0, "service": 2}, {"id": 2, "x": 0, "y": 1, "service": 3}],
          "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 0}],
          "costs": {"a": [[0, 3, 4], [3, 0, 5], [4, 5, 0]]}, "distances": {"a": [[0, 10, 1], [1, 0, 10], [10, 1, 0]]}}


@pytest.mark.parametrize("options, cost", [({}, 17.0), ({"objective": "min_max", "minimise": "distance"}, 17.0),
                                           ({"minimise": "distance", "improve": True, "max_iterations": 50}, 3.0)])
def test_service_and_distances_on_the_json_road(options, cost):
    out = solve_json(dict(SERVED, options=dict(options, time_limit=10)))
    route, walk = out["routes"][0], out["routes"][0]["path"]
    assert route["cost"] == out["statistics"]["sum_cost"] == cost and route["duration"] == 17.0
    assert route["distance"] == sum(SERVED["distances"]["a"][u][v] for u, v in zip(walk, walk[1:]))
    plain = solve_json({k: v for k, v in SERVED.items() if k != "distances"})["routes"][0]
    assert list(plain) == ["agent_id", "path", "cost"] and plain["cost"] == 17.0


PAIRED = {"nodes": SERVED["nodes"][:1] + [{"id": 1, "x": 1, "y": 0}, {"id": 2, "x": 0, "y": 1}],
          "agents": [{"id": k, "type": "a", "start_node": 0, "end_node": 0} for k in (0, 1)],
          "costs": SERVED["costs"]}


# One tour of 12 (either way round) or two trips of 6 and 8; a plain pair across the
# two trips would cost a wait (1 at 4, not 3: 15 in all).
@pytest.mark.parametrize("road", ["json", "objects"])
@pytest.mark.parametrize("pairs, enforce, paths, error", [
    ([{"before": 2, "after": 1}], True, [[0, 2, 1, 0], [0, 0]], None),
    ([{"before": 1, "after": 2, "type": "same"}], True, [[0, 1, 2, 0], [0, 0]], None),
    ([{"before": 1, "after": 2, "type": "diff"}], True, [[0, 1, 0], [0, 2, 0]], None),
    ([{"before": 1, "after": 2}, {"before": 2, "after": 1}], False, None, None),  # stored, never read
    ([{"before": 1, "after": 2}, {"before": 2, "after": 1}], True, None, "the sequence pairs form a cycle: 1 -> 2 -> 1"),
    ([{"before": 1, "after": 7}], True, None, "a sequence pair names node 7, which is no node id"),
])
def test_sequence_pairs_are_kept_only_when_asked(road, pairs, enforce, paths, error):
    doc = dict(PAIRED, constraints=[{"kind": "sequence", "precedence": pairs}],
               options={"improve": True, "max_iterations": 200, "enforce_sequence": enforce, "time_limit": 10})
    solve = solve_json if road == "json" else solve_objects
    if error:
        with pytest.raises(ValueError, match=error):
            solve(doc)
        return
    found = sorted(r["path"] for r in solve(doc)["routes"])
    assert found == sorted(paths) if paths else found in ([[0, 0], [0, 1, 2, 0]], [[0, 0], [0, 2, 1, 0]])
    if enforce:
        doc["options"]["improve"] = False
        with pytest.raises(ValueError, match='the option "enforce_sequence" is honoured by the improvement phase: '
                                             'set "improve": true'):
            solve(doc)


def test_distance_objective_without_the_phase_is_refused():
    with pytest.raises(ValueError, match='the option "minimise": "distance" is honoured by the improvement '
                                         'phase: set "improve": true'):
        solve_json(dict(SERVED, options={"minimise": "distance"}))


# Depot 0, targets 1-4 on a line, one agent with a length limit of 30: 2's window
# closes before time 0, only type "b" may visit 3, and 4 is 40 there and back.
OVER = {"nodes": [{"id": i, "x": x, "y": 0} for i, x in enumerate([0, 1, 2, 3, 20])],
        "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 0, "max_length": 30}],
        "costs": {"a": [[abs(x - y) for y in (0, 1, 2, 3, 20)] for x in (0, 1, 2, 3, 20)]},
        "constraints": [{"kind": "assignment", "items": [{"node": i, "types": ["b" if i == 3 else "a"]}
                                                         for i in range(5)]},
                        {"kind": "timewindow", "items": [{"node": 2, "start": -5, "end": -1}]}]}


WINDOW, TYPE, LENGTH = "no window reachable", "no agent type may visit it", "the length limit"


# Left out with the reasons the cheap tests give, the rest served, never "failed";
# a target cheaper to leave than to serve is left out with no reason.
@pytest.mark.parametrize("road", ["json", "objects"])
@pytest.mark.parametrize("penalties, options, path, left, reasons, penalty", [
    ({}, {"default_penalty": 100}, [0, 1, 0], [2, 3, 4], [WINDOW, TYPE, LENGTH], 300.0),
    ({1: 1}, {"default_penalty": 100, "objective": "min_max"}, [0, 0], [1, 2, 3, 4], [None, WINDOW, TYPE, LENGTH],
     301.0),
    ({2: 7, 3: 7, 4: 7}, {}, [0, 1, 0], [2, 3, 4], [WINDOW, TYPE, LENGTH], 21.0)])
def test_over_constrained_fleet_gets_a_partial_plan_with_reasons(road, penalties, options, path, left, reasons,
                                                                   penalty):
    nodes = [dict(n, type="depot") if n["id"] == 0 else dict(n, penalty=penalties[n["id"]])
             if n["id"] in penalties else n for n in OVER["nodes"]]
    doc = dict(OVER, nodes=nodes, options=dict(options, improve=True, max_iterations=30, time_limit=10))
    out = ROADS[road](doc)
    assert out["status"] == "success" and out["routes"][0]["path"] == path
    assert (out["unassigned"], out["unassigned_reasons"], out["penalty"]) == (left, reasons, penalty)
    if road == "json":
        assert out["anytime"][-1]["max_cost"] == out["statistics"]["max_cost"] + penalty  # the objective
        plain = solve_json(dict(doc, nodes=OVER["nodes"], options=dict(doc["options"], default_penalty=None)))
        assert "unassigned" not in plain and plain["status"] == "failed"


# Refused at once on either road; NaN and infinity only a Python object can hold.
@pytest.mark.parametrize("road, penalties, options, message", [
    ("json", {0: 5}, {}, "node 0 is a depot: a depot cannot carry a penalty"),
    ("json", {1: -1}, {}, "node 1's penalty is -1: a penalty is a finite number of 0 or more"),
    ("json", {}, {"default_penalty": -2}, 'the option "default_penalty" is -2'),
    ("objects", {1: math.nan}, {}, "node 1's penalty is nan"),
    ("objects", {4: math.inf}, {}, "node 4's penalty is inf"),
    ("json", {1: 1}, {"improve": False}, 'penalties are honoured by the improvement phase: set "improve": true'),
    ("objects", {}, {"improve": False, "default_penalty": 0}, "penalties are honoured by the improvement phase")])
def test_bad_penalties_are_refused_before_any_search(road, penalties, options, message):
    nodes = [dict(n, penalty=penalties[n["id"]]) if n["id"] in penalties else n for n in OVER["nodes"]]
    with pytest.raises(ValueError, match=re.escape(message)):
        ROADS[road](dict(OVER, nodes=nodes, options=dict({"improve": True, "time_limit": 10}, **options)))
