"""The result checker on a hand-made instance: a valid result, then one fault at a time."""

import copy

import pytest

from pyzel.errors import InputError
from pyzel.validate import check_result

MATRIX = [
    [0, 5, 10, 5, 10],
    [5, 0, 5, 6, 9],
    [10, 5, 0, 9, 12],
    [5, 6, 9, 0, 5],
    [10, 9, 12, 5, 0],
]


def instance():
    return {
        "nodes": [{"id": i, "x": float(i), "y": 0.0, "type": "depot" if i == 0 else "target"} for i in range(5)],
        "agents": [
            {"id": 0, "type": "van", "start_node": 0, "end_node": 0},
            {"id": 1, "type": "van", "start_node": 0, "end_node": 0},
        ],
        "costs": {"van": copy.deepcopy(MATRIX)},
        "options": {"objective": "min_max"},
    }


def result():
    return {
        "status": "success",
        "timeout": False,
        "routes": [
            {"agent_id": 0, "path": [0, 1, 2, 0], "cost": 20.0},
            {"agent_id": 1, "path": [0, 3, 4, 0], "cost": 20.0},
        ],
        "statistics": {"solve_time": 0.1, "max_cost": 20.0, "sum_cost": 40.0, "n_generated": 9,
                       "n_expanded": 4, "last_update_time": 0.0},
        "anytime": [{"time": 0.0, "max_cost": 20.0, "sum_cost": 40.0}],
    }


def window(doc, node, start, end):
    doc.setdefault("constraints", []).append({"kind": "timewindow", "items": [{"node": node, "start": start, "end": end}]})


def set_route(res, k, path, cost):
    res["routes"][k].update(path=path, cost=cost)


def test_valid_result_has_no_problems():
    assert check_result(instance(), result()) == []


def test_waiting_for_a_window_is_valid_and_counted():
    doc, res = instance(), result()
    window(doc, 2, 15, 30)  # reached at 10, waits until 15, home at 25
    set_route(res, 0, [0, 1, 2, 0], 25.0)
    res["statistics"].update(max_cost=25.0, sum_cost=45.0)
    assert check_result(doc, res) == []


@pytest.mark.parametrize("cost, valid", [(20.0, True), (25.0, True), (22.0, False)])
def test_a_start_depot_window_is_read_with_or_without_waiting(cost, valid):
    # The search starts at time 0; route improvement waits at the start for the window.
    doc, res = instance(), result()
    window(doc, 0, 5, 50)
    set_route(res, 0, [0, 1, 2, 0], cost)
    res["statistics"].update(max_cost=max(cost, 20.0), sum_cost=cost + 20.0)
    assert (check_result(doc, res) == []) == valid


def test_open_routes_end_at_the_start_for_free():
    doc, res = instance(), result()
    doc["options"]["return_to_end"] = False
    set_route(res, 0, [0, 1, 2, 0], 10.0)
    set_route(res, 1, [0, 3, 4, 0], 10.0)
    res["statistics"].update(max_cost=10.0, sum_cost=20.0)
    assert check_result(doc, res) == []


def drop_target(doc, res):
    set_route(res, 0, [0, 1, 0], 10.0)


def visit_twice(doc, res):
    set_route(res, 1, [0, 3, 4, 2, 0], 27.0)


def wrong_start(doc, res):
    set_route(res, 0, [1, 2, 0], 15.0)


def wrong_end(doc, res):
    set_route(res, 0, [0, 1, 2], 10.0)


def wrong_cost(doc, res):
    res["routes"][0]["cost"] = 19.0


def wrong_statistics(doc, res):
    res["statistics"]["sum_cost"] = 39.0


def window_missed(doc, res):
    window(doc, 2, 0, 9)


def over_limit(doc, res):
    doc["agents"][0]["max_length"] = 19.9  # read as 19


def type_not_allowed(doc, res):
    doc["constraints"] = [{"kind": "assignment", "items": [{"node": 4, "types": ["drone"]}]}]


def foreign_depot(doc, res):
    doc["agents"][1].update(start_node=4, end_node=4)
    set_route(res, 1, [4, 3, 4], 10.0)
    set_route(res, 0, [0, 1, 2, 4, 0], 32.0)


def own_depot_mid_route(doc, res):
    set_route(res, 0, [0, 1, 0, 2, 0], 30.0)


def missing_arc(doc, res):
    doc["costs"]["van"][1][2] = 9999.0


def wrong_agent_id(doc, res):
    res["routes"][1]["agent_id"] = 7


def no_solution(doc, res):
    res["status"] = "failed"


@pytest.mark.parametrize(
    "fault, expected",
    [
        (drop_target, "node 2 visited 0 times"),
        (visit_twice, "node 2 visited 2 times"),
        (wrong_start, "agent 0: starts at 1, not 0"),
        (wrong_end, "agent 0: ends at 2, not 0"),
        (wrong_cost, "agent 0: reported cost 19.0 != recomputed 20.0"),
        (wrong_statistics, "statistics sum_cost"),
        (window_missed, "agent 0: reaches node 2 at 10, its window closes at 9"),
        (over_limit, "agent 0: time 20 at node 0 is over its limit 19"),
        (type_not_allowed, "agent 1: type van not allowed at node 4"),
        (foreign_depot, "agent 0: enters foreign depot 4"),
        (own_depot_mid_route, "agent 0: passes its own depot 0 mid-route"),
        (missing_arc, "agent 0: no arc 1 -> 2 for type van"),
        (wrong_agent_id, "agent 1: agent_id 7 != 1"),
        (no_solution, "status is failed"),
    ],
    ids=lambda v: getattr(v, "__name__", ""),
)
def test_each_fault_is_named(fault, expected):
    doc, res = instance(), result()
    fault(doc, res)
    problems = check_result(doc, res)
    assert any(expected in line for line in problems), problems


@pytest.mark.parametrize(
    "change, message",
    [
        (lambda doc, res: res["routes"].pop(), "1 routes for 2 agents"),
        (lambda doc, res: set_route(res, 0, [0, 1, 9, 0], 20.0), "node index 9"),
        (lambda doc, res: res.pop("statistics"), 'no "statistics"'),
        (lambda doc, res: doc.pop("agents"), '"agents" is missing'),
        (lambda doc, res: doc["agents"][0].update(start_node=42), '"start_node" 42 is not the id of any node'),
        (lambda doc, res: doc["nodes"][1].update(x="far"), 'node 1: "x" must be a number'),
    ],
    ids=["route-count", "node-outside", "not-a-result", "no-agents", "unknown-start", "text-coordinate"],
)
def test_results_that_do_not_answer_the_instance_raise(change, message):
    doc, res = instance(), result()
    change(doc, res)
    with pytest.raises(InputError, match=message):
        check_result(doc, res)


@pytest.mark.parametrize(
    "raw, read",
    [(2**64 - 1, 2**64 - 1), (-1, 2**64 - 1), (2**64, 2**64 - 1), (-(2**63), 2**63),
     (-(2**63) - 1, 2**63), (-1.5, 2**64 - 1), (1.9, 1), (1e300, 2**64 - 1), (-1e300, 2**63)])
def test_ids_are_read_as_the_loader_reads_them(raw, read):
    from pyzel import document
    assert document._unsigned({"id": raw}, "id", "node 0") == read
