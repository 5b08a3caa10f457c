"""The result checker on a hand-made instance: a valid result and valid variants of it,
then one fault at a time."""
import pytest

from pyzel.errors import InputError
from pyzel.validate import check_result


def instance():
    return {"nodes": [{"id": i, "x": float(i), "y": 0.0, "type": "depot" if i == 0 else "target"} for i in range(5)],
            "agents": [{"id": k, "type": "van", "start_node": 0, "end_node": 0} for k in range(2)],
            "costs": {"van": [[0, 5, 10, 5, 10], [5, 0, 5, 6, 9], [10, 5, 0, 9, 12], [5, 6, 9, 0, 5],
                              [10, 9, 12, 5, 0]]},
            "options": {"objective": "min_max"}}


def result():
    return {"status": "success", "timeout": False,
            "routes": [{"agent_id": 0, "path": [0, 1, 2, 0], "cost": 20.0},
                       {"agent_id": 1, "path": [0, 3, 4, 0], "cost": 20.0}],
            "statistics": {"solve_time": 0.1, "max_cost": 20.0, "sum_cost": 40.0, "n_generated": 9,
                           "n_expanded": 4, "last_update_time": 0.0},
            "anytime": [{"time": 0.0, "max_cost": 20.0, "sum_cost": 40.0}]}


def window(doc, node, start, end):
    doc.setdefault("constraints", []).append({"kind": "timewindow", "items": [{"node": node, "start": start, "end": end}]})


def route(res, k, path, cost, **keys):
    res["routes"][k].update(path=path, cost=cost, **keys)
    costs = [r["cost"] for r in res["routes"]]
    res["statistics"].update(max_cost=max(costs), sum_cost=sum(costs))


def node(doc, v, **keys):
    doc["nodes"][v].update(keys)


def by_distance(doc, res, k=None, **reported):
    """Distances twice the durations, but 1 -> 2, which is 1; the objective counts them."""
    doc["distances"] = {"van": [[2 * c for c in row] for row in doc["costs"]["van"]]}
    doc["distances"]["van"][1][2] = 1
    doc["options"].update(objective="min_sum", minimise="distance")
    route(res, 0, [0, 1, 2, 0], 31.0, duration=20.0, distance=31.0)
    route(res, 1, [0, 3, 4, 0], 40.0, duration=20.0, distance=40.0)
    if k is not None:
        res["routes"][k].update(reported)


def pairs(doc, *items):
    """"sequence" pairs "2<3" (before), "1=2" (same), "1!2" (diff)."""
    kinds = {"<": None, "=": "same", "!": "diff"}
    made = [{"before": int(i[0]), "after": int(i[2]), **({"type": kinds[i[1]]} if kinds[i[1]] else {})} for i in items]
    doc.setdefault("constraints", []).append({"kind": "sequence", "precedence": made})


def leave_out(doc, res, penalty=7, reported=7, listed=(2,)):
    """Node 2 optional at `penalty` and left out; the anytime list scores the penalty too."""
    if penalty is not None:
        node(doc, 2, penalty=penalty)
    route(res, 0, [0, 1, 0], 10.0)
    res.update(unassigned=list(listed), unassigned_reasons=[None] * len(listed), penalty=reported)
    res["anytime"][-1]["max_cost"] = 20.0 + reported


@pytest.mark.parametrize("change, expected", [
    (lambda d, r: None, None),
    # A "before" pair makes node 3 wait until node 2, on the other route, is served at 10: home at 25.
    (lambda d, r: pairs(d, "2<3"), "agent 1: reported cost 20.0 != recomputed 25.0"),
    (lambda d, r: (pairs(d, "2<3"), route(r, 1, [0, 3, 4, 0], 25.0)), None),
    (lambda d, r: (pairs(d, "2<3"), d["options"].update(enforce_sequence=False)), None),
    (lambda d, r: (pairs(d, "2<3"), window(d, 3, 0, 8), route(r, 1, [0, 3, 4, 0], 25.0)),
     "agent 1: service at node 3 waits for a pair until 10, after its window closes at 8"),
    (lambda d, r: (pairs(d, "2<3", "4<1"), route(r, 1, [0, 3, 4, 0], 25.0)),
     "pair 4 before 1: service at node 1 starts at 5 (agent 0), before the service at node 4 ends at 15 (agent 1)"),
    (lambda d, r: pairs(d, "1=2", "1!3"), None),
    (lambda d, r: pairs(d, "2=1"), "pair 2 same 1: agent 0 serves node 1 before node 2"),
    (lambda d, r: pairs(d, "1=3"), "pair 1 same 3: agents 0 and 1 serve them, not one agent"),
    (lambda d, r: pairs(d, "1!2"), "pair 1 diff 2: agent 0 serves both"),
    # Optional targets: left out only where a penalty allows, listed and counted.
    (lambda d, r: leave_out(d, r), None),
    (lambda d, r: (d["options"].update(default_penalty=7), leave_out(d, r, penalty=None)), None),
    (lambda d, r: leave_out(d, r, reported=6), 'reported "penalty" 6 != the left-out targets\' penalties 7'),
    (lambda d, r: (node(d, 4, penalty=1), leave_out(d, r, penalty=None, reported=0, listed=())),
     "node 2 visited 0 times: node id 2 has no penalty, it must be served"),
    (lambda d, r: leave_out(d, r, reported=0, listed=()), 'node id 2 is left out but not listed in "unassigned"'),
    (lambda d, r: (node(d, 1, penalty=1), leave_out(d, r, listed=(1, 2))), '"unassigned" lists node id 1, which agent 0'),
    (lambda d, r: (leave_out(d, r), r["anytime"][-1].update(max_cost=20.0)),
     "the last anytime entry's max_cost 20.0 != the objective 27.0"),
    (lambda d, r: (leave_out(d, r), pairs(d, "2<1")), "pair 2 before 1: agent 0 serves node 1, node 2 is left out"),
    (lambda d, r: (leave_out(d, r), pairs(d, "1=2")), "pair 1 same 2: agent 0 serves node 1, node 2 is left out"),
    (lambda d, r: (leave_out(d, r), pairs(d, "1!2", "3<2")), None),
    # Reached at 10, waits for the window until 15, home at 25.
    (lambda d, r: (window(d, 2, 15, 30), route(r, 0, [0, 1, 2, 0], 25.0)), None),
    # Agents leave their start when its window opens: home at 25, not 20.
    (lambda d, r: window(d, 0, 5, 50), "agent 0: reported cost 20.0 != recomputed 25.0"),
    (lambda d, r: (window(d, 0, 5, 50), route(r, 0, [0, 1, 2, 0], 25.0), route(r, 1, [0, 3, 4, 0], 25.0)), None),
    (lambda d, r: window(d, 0, -5, -1), "agent 0: reaches node 0 at 0, its window closes at -1"),
    # Open routes end at the start for free.
    (lambda d, r: (d["options"].update(return_to_end=False), route(r, 0, [0, 1, 2, 0], 10.0),
                   route(r, 1, [0, 3, 4, 0], 10.0)), None),
    (lambda d, r: route(r, 0, [0, 1, 0], 10.0), "node 2 visited 0 times"),
    (lambda d, r: route(r, 1, [0, 3, 4, 2, 0], 27.0), "node 2 visited 2 times"),
    (lambda d, r: route(r, 0, [1, 2, 0], 15.0), "agent 0: starts at 1, not 0"),
    (lambda d, r: route(r, 0, [0, 1, 2], 10.0), "agent 0: ends at 2, not 0"),
    (lambda d, r: r["routes"][0].update(cost=19.0), "agent 0: reported cost 19.0 != recomputed 20.0"),
    (lambda d, r: r["statistics"].update(sum_cost=39.0), "statistics sum_cost"),
    (lambda d, r: window(d, 2, 0, 9), "agent 0: reaches node 2 at 10, its window closes at 9"),
    (lambda d, r: d["agents"][0].update(max_length=19.9), "agent 0: time 20 at node 0 is over its limit 19"),
    (lambda d, r: d.update(constraints=[{"kind": "assignment", "items": [{"node": 4, "types": ["drone"]}]}]),
     "agent 1: type van not allowed at node 4"),
    (lambda d, r: (d["agents"][1].update(start_node=4, end_node=4), route(r, 1, [4, 3, 4], 10.0),
                   route(r, 0, [0, 1, 2, 4, 0], 32.0)), "agent 0: enters foreign depot 4"),
    (lambda d, r: route(r, 0, [0, 1, 0, 2, 0], 30.0), "agent 0: passes its own depot 0 mid-route"),
    (lambda d, r: d["costs"]["van"][1].__setitem__(2, 9999.0), "agent 0: no arc 1 -> 2 for type van"),
    (lambda d, r: r["routes"][1].update(agent_id=7), "agent 1: agent_id 7 != 1"),
    (lambda d, r: r.update(status="failed"), "status is failed"),
    # Capacities: the demand of the targets served, depots' counting nothing; off only when the document says so.
    (lambda d, r: (node(d, 1, demand=2), node(d, 2, demand=2), d["agents"][0].update(capacity=3)),
     'agent 0: capacity: carries 4, over its capacity 3 ("enforce_capacities")'),
    (lambda d, r: (node(d, 1, demand=2), node(d, 2, demand=2), d["agents"][0].update(capacity=3),
                   d["options"].update(enforce_capacities=False)), None),
    (lambda d, r: (node(d, 0, demand=9), node(d, 1, demand=3), d["agents"][0].update(capacity=3.9)), None),
    # Service: in the clock after the start of service, which waits for the window.
    (lambda d, r: node(d, 1, service=2), "agent 0: reported cost 20.0 != recomputed 22.0 (its duration)"),
    (lambda d, r: (node(d, 1, service=2), node(d, 0, service=50), route(r, 0, [0, 1, 2, 0], 22.0)), None),
    (lambda d, r: (node(d, 2, service=3), window(d, 2, 15, 30), route(r, 0, [0, 1, 2, 0], 28.0)), None),
    (lambda d, r: (node(d, 1, service=5), window(d, 2, 0, 12), route(r, 0, [0, 1, 2, 0], 25.0)),
     "agent 0: reaches node 2 at 15, its window closes at 12"),
    (lambda d, r: (node(d, 1, service=1), d["agents"][0].update(max_length=20), route(r, 0, [0, 1, 2, 0], 21.0)),
     "agent 0: time 21 at node 0 is over its limit 20 (max_length)"),
    # An open route ends when its last service does.
    (lambda d, r: (node(d, 2, service=3), d["options"].update(return_to_end=False), route(r, 0, [0, 1, 2, 0], 13.0),
                   route(r, 1, [0, 3, 4, 0], 10.0)), None),
    # Distance: the cost under min-sum with "minimise": "distance"; "duration" and "distance" as reported.
    (lambda d, r: by_distance(d, r), None),
    (lambda d, r: by_distance(d, r, 0, distance=32.0), 'agent 0: reported "distance" 32.0 != recomputed 31.0'),
    (lambda d, r: by_distance(d, r, 1, duration=21.0), 'agent 1: reported "duration" 21.0 != recomputed 20.0'),
    (lambda d, r: (by_distance(d, r), route(r, 0, [0, 1, 2, 0], 20.0)),
     "agent 0: reported cost 20.0 != recomputed 31.0 (its distance)"),
    (lambda d, r: (by_distance(d, r), d["options"].update(objective="min_max")),
     "agent 0: reported cost 31.0 != recomputed 20.0 (its duration)"),
])
def test_each_fault_is_named(change, expected):
    doc, res = instance(), result()
    change(doc, res)
    problems = check_result(doc, res)
    if expected is None:
        assert problems == []
    else:
        assert any(expected in line for line in problems), problems


@pytest.mark.parametrize("change, message", [
    (lambda d, r: r["routes"].pop(), "1 routes for 2 agents"),
    (lambda d, r: route(r, 0, [0, 1, 9, 0], 20.0), "node index 9"),
    (lambda d, r: r.pop("statistics"), 'no "statistics"'),
    (lambda d, r: d.pop("agents"), '"agents" is missing'),
    (lambda d, r: d["agents"][0].update(start_node=42), '"start_node" 42 is not the id of any node'),
    (lambda d, r: d["nodes"][1].update(x="far"), 'node 1: "x" must be a number'),
    (lambda d, r: r.update(unassigned=[2], unassigned_reasons=[]), '"unassigned_reasons" must be a list beside'),
    (lambda d, r: pairs(d, "1<2") or d["constraints"][0]["precedence"][0].pop("after"), '"after" is missing'),
])
def test_results_that_do_not_answer_the_instance_raise(change, message):
    doc, res = instance(), result()
    change(doc, res)
    with pytest.raises(InputError, match=message):
        check_result(doc, res)
