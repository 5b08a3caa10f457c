import json

import pytest

import _pyzel_core as z
from conftest import load_example
from solution_checker import route_problems

EXAMPLES = ["single_depot_min_max.json", "multi_depot_two_types.json",
            "time_windows.json", "open_routes.json"]

TRIANGLE = {
    "nodes": [{"id": 0, "x": 0, "y": 0, "type": "depot"}, {"id": 1, "x": 3, "y": 0},
              {"id": 2, "x": 0, "y": 4}],
    "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 0}],
    "costs": {"a": [[0, 3, 4], [3, 0, 5], [4, 5, 0]]},
    "options": {"objective": "min_max", "time_limit": 10},
}


def solve_doc(doc, time_limit=-1):
    return z.solve_json_str(json.dumps(doc), time_limit)


@pytest.mark.parametrize("name", EXAMPLES)
def test_every_example_solution_is_valid(name, examples_dir):
    doc = load_example(name)
    result = z.solve_json_file(str(examples_dir / name))
    assert route_problems(doc, result) == []


def test_result_dictionary_layout_and_types():
    out = solve_doc(TRIANGLE)
    assert list(out) == ["status", "timeout", "routes", "statistics", "anytime"]
    assert out["status"] == "success"
    assert out["timeout"] is False
    route = out["routes"][0]
    assert list(route) == ["agent_id", "path", "cost"]
    assert route["path"] == [0, 1, 2, 0] or route["path"] == [0, 2, 1, 0]
    assert route["cost"] == 12.0
    assert isinstance(route["agent_id"], int) and isinstance(route["cost"], float)
    stats = out["statistics"]
    assert list(stats) == ["solve_time", "max_cost", "sum_cost", "n_generated", "n_expanded",
                           "last_update_time"]
    assert [type(stats[k]) for k in stats] == [float, float, float, int, int, float]
    assert stats["max_cost"] == stats["sum_cost"] == 12.0
    assert stats["n_generated"] >= 1
    for entry in out["anytime"]:
        assert list(entry) == ["time", "max_cost", "sum_cost"]
        assert all(isinstance(v, float) for v in entry.values())
    assert out["anytime"][-1]["max_cost"] == 12.0


def test_agents_with_sparse_ids_get_their_own_routes():
    doc = json.loads(json.dumps(TRIANGLE))
    doc["agents"] = [{"id": 10, "type": "a", "start_node": 0, "end_node": 0},
                     {"id": 20, "type": "a", "start_node": 0, "end_node": 0}]
    out = solve_doc(doc)
    assert [r["agent_id"] for r in out["routes"]] == [10, 20]
    assert route_problems(doc, out) == []
    assert sum(len(r["path"]) for r in out["routes"]) > 0


def test_no_agents_gives_failed_with_empty_routes():
    out = solve_doc({"nodes": [{"id": 0, "x": 0, "y": 0}], "agents": []})
    assert out["routes"] == []
    assert out["statistics"]["max_cost"] == 0.0
    assert out["statistics"]["sum_cost"] == 0.0


def test_unsolvable_instance_reports_failed_with_empty_paths():
    doc = json.loads(json.dumps(TRIANGLE))
    doc["constraints"] = [{"kind": "assignment", "items": [
        {"node": 0, "types": ["a"]}, {"node": 1, "types": ["a"]}, {"node": 2, "types": []}]}]
    out = solve_doc(doc)
    assert out["status"] == "failed"
    assert out["routes"] == [{"agent_id": 0, "path": [], "cost": 0.0}]
    assert out["anytime"] == []


@pytest.mark.parametrize("override, expected", [(-1, 10.0), (0, 10.0), (-5, 10.0), (0.5, 0.5)])
def test_time_limit_override_only_when_positive(override, expected):
    # A negative document limit makes the search time out at once, so the
    # outcome tells which limit was in force.
    doc = json.loads(json.dumps(TRIANGLE))
    doc["options"]["time_limit"] = -1.0
    out = solve_doc(doc, override)
    assert out["timeout"] is (override <= 0)


def test_default_time_limit_argument_is_an_int_minus_one():
    assert "time_limit: float = -1" in z.solve_json_str.__doc__
    assert "time_limit: float = -1" in z.solve_json_file.__doc__


@pytest.mark.parametrize(
    "func, text",
    [(z.solve_json_file, "Solve an MTSP instance from a JSON file path.\n"
                         "Returns a dict with keys: status, routes, statistics, anytime, timeout."),
     (z.solve_json_str, "Solve an MTSP instance from a JSON string.\n"
                        "Returns a dict with keys: status, routes, statistics, anytime, timeout.")])
def test_function_docstrings(func, text):
    assert func.__doc__.rstrip().endswith(text)


@pytest.mark.parametrize(
    "text, message",
    [('{"nodes": []}', "[json.exception.out_of_range.403] key 'agents' not found"),
     ("[]", "[json.exception.type_error.304] cannot use at() with array"),
     ('{"nodes": [], "agents": [{"id": 0, "type": 1}]}',
      "[json.exception.type_error.302] type must be string, but is number")])
def test_loader_errors_arrive_as_runtime_error(text, message):
    with pytest.raises(RuntimeError) as info:
        z.solve_json_str(text)
    assert str(info.value) == message


def test_syntax_error_arrives_as_runtime_error():
    with pytest.raises(RuntimeError, match=r"^\[json.exception.parse_error.101\]"):
        z.solve_json_str("{")


@pytest.mark.parametrize(
    "change",
    [lambda d: d["agents"][0].update(end_node=99),
     lambda d: d["agents"][0].update(start_node=99),
     lambda d: d["costs"].update(nobody=[[0]])])
def test_checked_lookups_arrive_as_index_error(change):
    doc = json.loads(json.dumps(TRIANGLE))
    change(doc)
    with pytest.raises(IndexError, match=r"^invalid unordered_map<K, T> key$"):
        solve_doc(doc)


@pytest.mark.parametrize("make_path", [lambda tmp: tmp / "missing.json", lambda tmp: tmp])
def test_unreadable_file_or_directory(make_path, tmp_path):
    path = str(make_path(tmp_path))
    with pytest.raises(RuntimeError) as info:
        z.solve_json_file(path)
    assert str(info.value) == "Cannot open file: " + path


def test_warnings_go_to_stderr_and_tw_summary_to_stdout(capfd):
    doc = json.loads(json.dumps(TRIANGLE))
    doc["nodes"].append({"id": 3, "x": 50, "y": 50})
    doc["costs"]["a"] = [[0, 3, 4, 9999], [3, 0, 5, 9999], [4, 5, 0, 9999], [9999] * 4]
    doc["constraints"] = [{"kind": "timewindow", "items": [{"node": 42, "start": 0, "end": 1}]}]
    solve_doc(doc)
    out, err = capfd.readouterr()
    assert "[warning] node 0 has no assignment constraint; allowing all types\n" in err
    assert "[warning] time window node id 42 not found in nodes\n" in err
    assert ("[TW-MST] blocked edges: 3 / 6 (set MTSP_DEBUG_TW_EDGES=1 for details)\n"
            in out)


@pytest.mark.parametrize(
    "objective, expected",
    [("min_max", [12.0]), ("min_sum", [12.0])])
def test_anytime_is_strictly_improving(objective, expected):
    doc = json.loads(json.dumps(TRIANGLE))
    doc["options"]["objective"] = objective
    out = solve_doc(doc)
    key = "sum_cost" if objective == "min_sum" else "max_cost"
    scores = [e[key] for e in out["anytime"]]
    assert scores == sorted(scores, reverse=True)
    assert len(set(scores)) == len(scores)
    assert scores[-1] == expected[-1]


# Instances whose focal list once ran dry while the open list still held the
# labels that lead to the only feasible routes.
FOCAL_RUNS_DRY = [
    '{"nodes":[{"id":0,"x":8,"y":6},{"id":1,"x":6,"y":4},{"id":2,"x":6,"y":1},{"id":3,"x":3,"y":6},{"id":4,"x":0,"y":8},{"id":5,"x":3,"y":3}],"agents":[{"id":0,"type":"a","start_node":0,"end_node":0,"max_length":52}],"costs":{"a":[[0,4,7,5,10,8],[4,0,3,5,10,4],[7,3,0,8,13,5],[5,5,8,0,5,3],[10,10,13,5,0,8],[8,4,5,3,8,0]]},"constraints":[{"kind":"assignment","items":[{"node":0,"types":["a"]},{"node":1,"types":["a"]},{"node":2,"types":["a"]},{"node":3,"types":["a"]},{"node":4,"types":["a"]},{"node":5,"types":["a"]}]},{"kind":"timewindow","items":[{"node":4,"start":16,"end":28},{"node":5,"start":15,"end":24},{"node":1,"start":16,"end":33},{"node":2,"start":19,"end":30}]}],"options":{"objective":"min_max","time_limit":5}}',
    '{"nodes":[{"id":0,"x":2,"y":4},{"id":1,"x":2,"y":4},{"id":2,"x":9,"y":6},{"id":3,"x":6,"y":10},{"id":4,"x":8,"y":4},{"id":5,"x":4,"y":8},{"id":6,"x":2,"y":5},{"id":7,"x":6,"y":5}],"agents":[{"id":0,"type":"a","start_node":0,"end_node":0,"max_length":32}],"costs":{"a":[[0,0,9,10,6,6,1,5],[0,0,9,10,6,6,1,5],[9,9,0,7,3,7,8,4],[10,10,7,0,8,4,9,5],[6,6,3,8,0,8,7,3],[6,6,7,4,8,0,5,5],[1,1,8,9,7,5,0,4],[5,5,4,5,3,5,4,0]]},"constraints":[{"kind":"assignment","items":[{"node":0,"types":["a"]},{"node":1,"types":["a"]},{"node":2,"types":["a"]},{"node":3,"types":["a"]},{"node":4,"types":["a"]},{"node":5,"types":["a"]},{"node":6,"types":["a"]},{"node":7,"types":["a"]}]},{"kind":"timewindow","items":[{"node":5,"start":2,"end":17},{"node":2,"start":7,"end":19},{"node":7,"start":10,"end":30},{"node":6,"start":9,"end":27},{"node":1,"start":11,"end":32},{"node":4,"start":0,"end":28},{"node":3,"start":5,"end":22}]}],"options":{"objective":"min_max","time_limit":5}}',
]


@pytest.mark.parametrize("text", FOCAL_RUNS_DRY)
def test_search_goes_on_while_open_labels_remain(text):
    doc = json.loads(text)
    out = z.solve_json_str(text)
    assert route_problems(doc, out) == []
