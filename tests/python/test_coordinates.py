"""Costs from coordinates: a rule gives what the matrix it implies gives, on both roads;
bad rules are refused naming their type; pyzel writes, reads and checks rules."""
import math
import random

import pytest

import _pyzel_core as z
import pyzel
from pyzel.document import dumps, instance_from
from pyzel.errors import InputError
from conftest import ROADS
from pyzel.metric import rule_cost
from pyzel.schema import instance_warnings
from solution_checker import check_result

pytestmark = pytest.mark.timeout(120)


def fleet(n, rules, options, seed=3):
    """n nodes on a 100 x 100 square, node 0 the depot of three agents of two types."""
    pick = random.Random(seed)
    nodes = [{"id": i, "x": pick.randrange(100), "y": pick.randrange(100)} for i in range(n)]
    nodes[0]["type"] = "depot"
    agents = [{"id": k, "type": "ab"[k % 2], "start_node": 0, "end_node": 0} for k in range(3)]
    return {"nodes": nodes, "agents": agents, "costs": rules,
            "options": {"time_limit": 1e6, "quiet": True, **options}}


def implied(doc):
    """The document with every rule replaced by the matrix it implies."""
    xy = [(node["x"], node["y"]) for node in doc["nodes"]]
    costs = {t: [[rule_cost(r["metric"], r.get("speed", 1.0), x - u, y - v) for u, v in xy] for x, y in xy]
             for t, r in doc["costs"].items()}
    return {**doc, "costs": costs}


# Each road, each metric; the search alone, with the phase after it, and the phase alone
# beyond the search's reach (where no table is built for the rules).
@pytest.mark.parametrize("road", ["json", "objects"])
@pytest.mark.parametrize("metric, nodes, options", [
    ("euclidean", 7, {}),
    ("rounded", 7, {"objective": "min_max"}),
    ("att", 12, {"improve": True, "max_iterations": 30, "max_expansions": 5000}),
    ("rounded", 300, {"improve": True, "max_iterations": 20, "objective": "min_max"}),
    ("att", 300, {"improve": True, "max_iterations": 20, "return_to_end": False}),
])
def test_a_rule_solves_as_its_matrix(road, metric, nodes, options):
    doc = fleet(nodes, {"a": {"metric": metric}, "b": {"metric": metric, "speed": 2}}, options)
    by_rule, by_matrix = ROADS[road](doc), ROADS[road](implied(doc))
    assert by_rule["routes"] == by_matrix["routes"]
    assert by_rule["status"] == "success"
    if road == "json":
        assert check_result(doc, by_rule) == []


@pytest.mark.parametrize("metric, speed, says", [
    ("manhattan", 1.0, 'not "manhattan"'),
    ("euclidean", 0.0, "not 0"),
    ("rounded", -2.0, "not -2"),
    ("att", math.inf, "not inf"),
    ("att", math.nan, "not nan"),
])
def test_bad_rules_are_refused_naming_the_type(metric, speed, says):
    with pytest.raises(ValueError, match=f"'truck'.*{says}"):
        z.Problem().set_cost_metric("truck", metric, speed)
    if math.isfinite(speed):
        doc = fleet(4, {"truck": {"metric": metric, "speed": speed}}, {})
        with pytest.raises(ValueError, match=f"'truck'.*{says}"):
            z.solve_json_str(dumps(doc))
        assert instance_warnings(doc)  # pyzel check names it before a solve
        with pytest.raises(InputError, match="truck"):
            instance_from(doc)


def test_the_model_writes_rules_and_pyzel_reads_them():
    model = pyzel.Model(objective="min_max")
    depot = model.add_depot(0, 0)
    for x, y in [(3, 4), (6, 8), (-3, 4)]:
        model.add_target(x, y)
    model.add_agent_type("car", speed=2)
    model.add_agent_type("walker", metric="rounded")
    model.add_agent("car", depot)
    model.add_agent("walker", depot)
    doc = model.to_json()
    assert doc["costs"] == {"car": {"metric": "euclidean", "speed": 2}, "walker": {"metric": "rounded", "speed": 1.0}}
    assert instance_warnings(doc) == []
    assert pyzel.Model.from_json(doc).to_json() == doc
    assert instance_from(doc).cost("car", 0, 2) == 5.0
    solution = model.solve(budget=50)
    assert solution.status == "success"
