"""pyzel.Model and pyzel.Solution: exact round trips through the instance format, the same
answers as the JSON road, schedules that obey the instance, errors at the call that made them,
and the fleet example (run, checked and type-checked)."""
import json
import math
import os
import random
import re
import runpy
import subprocess
import sys

import pytest

import _pyzel_core as z
from conftest import EXAMPLES, HERE, ROOT, in_child
import pyzel
from pyzel import Model, tsplib
from pyzel.cli import main
from pyzel.solving import available_cores, enforced_rules, prepare

sys.path.insert(0, str(ROOT / "bench"))
import generate  # noqa: E402

pytestmark = pytest.mark.filterwarnings("ignore::pyzel.errors.InstanceWarning")  # "known_routes" is no format key
DOCUMENTS = {p.name: json.loads(p.read_text()) for p in sorted(EXAMPLES.glob("*.json"))}
DOCUMENTS.update({f"{d['name']}-{d['options']['objective']}": d for d in generate.constrained_set()})
BURMA = HERE / "data" / "burma14.tsp"
DOCUMENTS["burma14-tsplib"] = tsplib.to_instance(BURMA, agents=3)


def delivery(minimise="distance"):
    """Two vans of capacity 10 from one depot, eight customers of demand 3 served for 2, a
    distance matrix apart from the durations; whole numbers throughout."""
    model = Model(minimise=minimise)
    depot = model.add_depot(0, 0, id=100)
    for k in range(8):
        model.add_target(10 * (k % 4) + 5, 10 * (k // 4) - 5, id=k + 1, demand=3, service=2,
                         window=(0, 200) if k == 3 else None)
    points = [(n.x, n.y) for n in model.nodes]
    model.add_agent_type("van", matrix=[[round(math.dist(p, q)) for q in points] for p in points],
                         distances=[[round(math.dist(p, q) * 1.5) for q in points] for p in points])
    for k in range(3):
        model.add_agent("van", depot, capacity=10, id=k)
    return model


DOCUMENTS["delivery"] = delivery().to_json()


@pytest.mark.parametrize("name", DOCUMENTS)
def test_documents_round_trip_exactly(name):
    doc = DOCUMENTS[name]
    assert Model.from_json(doc).to_json() == doc
    assert Model.from_json(json.dumps(doc)).to_json() == doc
    if name == "burma14-tsplib":
        assert Model.from_tsplib(BURMA, agents=3).to_json() == doc


@pytest.mark.parametrize("name", [n for n in DOCUMENTS if n.endswith(".json")])
@pytest.mark.parametrize("improve, budget", [(False, 500), (True, 300)])
def test_model_answers_as_the_json_road(name, improve, budget):
    doc = json.loads(json.dumps(DOCUMENTS[name]))
    solution = Model.from_json(doc).solve(time_limit=30, improve=improve, seed=3, budget=budget, threads=2)
    doc["options"].update(quiet=True, improve=improve, seed=3, max_iterations=budget, max_expansions=budget,
                          threads=2)
    assert untimed(solution.to_dict()) == untimed(z.solve_json_str(json.dumps(doc), 30))
    assert solution.check() == []


# One road, one table of defaults: the improvement phase on with the process's cores, a
# budget for both phases and no clock.
@pytest.mark.parametrize("road", ["Model.solve", "solve_many", "pyzel solve"])
def test_every_entry_point_solves_with_the_same_defaults(road, tmp_path):
    doc = DOCUMENTS["tw-60-min_max"]
    if road == "Model.solve":
        result = Model.from_json(doc).solve(budget=300).to_dict()
    elif road == "solve_many":
        (result,) = pyzel.solve_many([doc], budget=300)
    else:
        (tmp_path / "in.json").write_text(json.dumps(doc))
        assert main(["solve", str(tmp_path / "in.json"), "--budget", "300", "--quiet", "--output",
                     str(tmp_path / "out.json")]) == 0
        result = json.loads((tmp_path / "out.json").read_text())
    options = dict(doc["options"], improve=True, max_iterations=300, max_expansions=300, quiet=True,
                   threads=available_cores())
    assert untimed(result) == untimed(z.solve_json_str(json.dumps(dict(doc, options=options)), math.inf))


def untimed(result):
    for key in ("solve_time", "last_update_time"):
        del result["statistics"][key]
    result["anytime"] = [(e["max_cost"], e["sum_cost"]) for e in result["anytime"]]
    return result


@pytest.mark.parametrize("seed", range(5))
def test_schedules_follow_travel_windows_and_costs(seed):
    rng = random.Random(seed)
    model = Model(objective=rng.choice(["min_max", "min_sum"]), return_to_end=seed % 2 == 0)
    depots = [model.add_depot(rng.randint(0, 50), rng.randint(0, 50)) for _ in range(2)]
    for _ in range(8):
        opens = rng.choice([None, rng.randint(0, 80)])
        model.add_target(rng.randint(0, 50), rng.randint(0, 50), window=None if opens is None else (opens, opens + 150))
    points = [(n.x, n.y) for n in model.nodes]
    model.add_agent_type("a", matrix=[[round(math.dist(p, q)) for q in points] for p in points])
    for depot in depots:
        model.add_agent("a", depot)
    solution = model.solve(time_limit=30, budget=200)
    assert solution.status == "success" and solution.check() == []
    doc, index = model.to_json(), {n.id: i for i, n in enumerate(model.nodes)}
    windows = {n.id: n.window for n in model.nodes if n.window}
    for route in solution.routes:
        stops = route.schedule
        assert [s.node for s in stops] == route.nodes and stops[0].arrival == 0
        for before, stop in zip(stops, stops[1:]):
            free = not model.return_to_end and stop is stops[-1]
            leg = 0 if free else doc["costs"]["a"][index[before.node]][index[stop.node]]
            assert stop.arrival == pytest.approx(before.departure + leg)
            opens, closes = windows.get(stop.node, (0, float("inf")))
            assert stop.arrival <= closes and stop.departure == pytest.approx(max(stop.arrival, opens))
            assert stop.wait == pytest.approx(stop.departure - stop.arrival)
        assert stops[-1].departure == pytest.approx(route.cost)


def fleet():
    model = Model()
    model.add_depot(0, 0, id=10)
    model.add_target(3, 4, id=20)
    model.add_agent_type("truck")
    return model


# Each call fails naming what is wrong, and a refused call changes nothing.
@pytest.mark.parametrize("call, error, text", [
    (lambda m: m.add_agent("truck", 99), ValueError, "unknown depot id 99"),
    (lambda m: m.add_agent("truck", 20), ValueError, "node 20 is a target"),
    (lambda m: m.add_agent("bike", 10), ValueError, "unknown agent type 'bike'"),
    (lambda m: m.add_target(1, 1, types=["truck", "bike"]), ValueError, "unknown agent type 'bike'"),
    (lambda m: m.add_target(1, 1, id=21, window=(30, 10)), ValueError, r"target 21: window \(30, 10\) starts after it ends"),
    (lambda m: m.add_depot(1, 1, id=20), ValueError, "node id 20 is already used"),
    (lambda m: m.add_agent_type("truck"), ValueError, "agent type 'truck' is already defined"),
    (lambda m: m.add_agent_type("van", matrix=[[0, 1]]), ValueError, "must be square"),
    (lambda m: m.add_agent("truck", 10, max_length=0.5), ValueError, "agent 0: max_length must be a whole number"),
    (lambda m: m.add_target(1e400, 0), ValueError, "x must be a finite number, not inf"),
    (lambda m: m.add_target(1, 1, window=(0, float("nan"))), ValueError, "window end must be a finite number"),
    (lambda m: m.add_target("1", 0), TypeError, "x must be a number, not '1'"),
    (lambda m: m.solve(improve="no"), TypeError, "improve must be True or False, not 'no'"),
    (lambda m: m.solve(time_limit=float("nan")), ValueError, "time_limit must be a finite number"),
    (lambda m: m.solve(budget=2.5), TypeError, "budget must be a whole number"),
    (lambda m: m.solve(seed=-1), ValueError, "seed must be a whole number of at least 0"),
    (lambda m: m.add_agent("truck", 10, capacity=0), ValueError, "agent 0: capacity must be greater than 0"),
    (lambda m: m.add_target(1, 1, id=21, demand=-1), ValueError, "target 21: demand must be at least 0"),
    (lambda m: m.add_target(1, 1, id=21, service=float("inf")), ValueError, "target 21: service must be a finite"),
    (lambda m: m.add_agent_type("van", distances=[[0, 1]]), ValueError, "'van': distances: the matrix must be square"),
    (lambda m: setattr(m, "minimise", "km"), ValueError, "minimise must be 'duration' or 'distance'"),
    (lambda m: setattr(m, "enforce_capacities", "yes"), ValueError, "enforce_capacities must be True, False or None"),
    (lambda m: setattr(m, "enforce_sequence", 1), ValueError, "enforce_sequence must be True, False or None"),
    (lambda m: setattr(m, "default_penalty", float("nan")), ValueError, "default_penalty must be a finite number"),
    (lambda m: m.add_target(1, 1, id=21, penalty=-1), ValueError, "target 21: penalty must be at least 0"),
    (lambda m: m.add_precedence(20, 20), ValueError, "a pair needs two targets, not node 20 twice"),
    (lambda m: m.add_precedence(20, 99, kind="same"), ValueError, "pair same: unknown node id 99"),
    (lambda m: m.add_precedence(10, 20), ValueError, "node 10 is a depot, not a target"),
    (lambda m: m.add_precedence(20, 20, kind="after"), ValueError, "kind is 'before', 'same' or 'diff', not 'after'"),
])
def test_bad_calls_fail_naming_the_fault_and_change_nothing(call, error, text):
    model = fleet()
    before = model.to_json()
    with pytest.raises(error, match=text):
        call(model)
    assert model.to_json() == before


def test_fleet_rules_are_written_into_the_document():
    model = delivery()
    doc = model.to_json()
    assert (doc["options"]["minimise"], model.enforce_capacities) == ("distance", None)
    assert doc["nodes"][1] == {"id": 1, "x": 5, "y": -5, "demand": 3, "service": 2}
    assert doc["agents"][0]["capacity"] == 10 and doc["distances"]["van"][0][1] == 11
    model.enforce_capacities = False
    assert model.to_json()["options"]["enforce_capacities"] is False
    with pytest.raises(ValueError, match='"minimise": "distance" is honoured by the improvement phase'):
        model.solve(improve=False)


@pytest.mark.parametrize("minimise", ["duration", "distance"])
def test_a_delivery_fleet_keeps_its_capacities_and_says_so(tmp_path, capsys, minimise):
    model = delivery(minimise)
    solution = model.solve(budget=500, seed=2)
    assert solution.status == "success" and solution.check() == []
    assert all(r.distance is not None and r.schedule[-1].departure == r.duration for r in solution.routes)
    doc, result = str(tmp_path / "d.json"), str(tmp_path / "r.json")
    model.to_json(doc)
    assert main(["solve", doc, "--budget", "500", "--quiet", "--output", result]) == 0
    assert '\nrules      capacities enforced ("enforce_capacities")' in capsys.readouterr().out
    assert main(["validate", doc, result]) == 0


# pyzel's one table of defaults: capacities enforced where the document states some and leaves the option out.
@pytest.mark.parametrize("change, enforced", [
    (lambda d: None, True),
    (lambda d: d["options"].update(enforce_capacities=False), False),
    (lambda d: [a.update(capacity=0.5) for a in d["agents"]], None),  # read as 0: no limit
    (lambda d: [n.pop("demand") for n in d["nodes"][1:]], None),
    (lambda d: [n.update(demand=0) for n in d["nodes"][1:]] + [d["nodes"][0].update(demand=4)], None),  # a depot's
])
def test_capacities_are_enforced_where_the_document_states_them(change, enforced):
    doc = delivery().to_json()
    change(doc)
    assert prepare(doc)[0]["options"].get("enforce_capacities") == enforced


def paired(**options):
    """Pickup 1 and delivery 2 by one van, 3 inspected before another repairs 4, 5 optional at 40."""
    model = Model(**options)
    depot = model.add_depot(0, 0, id=10)
    for k, (x, y) in enumerate([(4, 3), (8, 6), (-3, 4), (-6, 8), (30, -40)], start=1):
        model.add_target(x, y, id=k, penalty=40 if k == 5 else None, window=(0, 20) if k == 5 else None)
    points = [(n.x, n.y) for n in model.nodes]
    model.add_agent_type("van", matrix=[[round(math.dist(p, q)) for q in points] for p in points])
    for k in range(2):
        model.add_agent("van", depot, id=k)
    model.add_precedence(1, 2, kind="same")
    model.add_precedence(3, 4)
    model.add_precedence(3, 4, kind="diff")
    return model


def test_pairs_and_penalties_are_written_into_the_document():
    model = paired(default_penalty=50)
    before = model.to_json()
    for pair, message in [((4, 3), "the pairs 4 before 3 before 4 form a cycle"),
                          ((2, 1, "same"), "the pairs 2 same 1 same 2 form a cycle"),
                          ((1, 2, "diff"), '"same" pairs tie them to one agent'),
                          ((3, 4, "same"), "the pair 3 diff 4 asks two agents for nodes 3 and 4")]:
        with pytest.raises(ValueError, match=re.escape(message)):
            model.add_precedence(*pair)
    doc = model.to_json()
    assert doc == before and doc["options"]["default_penalty"] == 50 and doc["nodes"][5]["penalty"] == 40
    assert doc["constraints"][0] == {"kind": "sequence", "precedence": [
        {"before": 1, "after": 2, "type": "same"}, {"before": 3, "after": 4}, {"before": 3, "after": 4, "type": "diff"}]}
    read = Model.from_json(doc)
    assert read.to_json() == doc and read.pairs == model.pairs and read.default_penalty == 50
    read.add_precedence(pyzel.Target(2, 0, 0), 4)  # into the document's own sequence object
    assert read.to_json()["constraints"][0]["precedence"][-1] == {"before": 2, "after": 4}


# Pairs stated are enforced unless the document says otherwise; the exact search knows neither rule.
@pytest.mark.parametrize("options, improve, expected", [
    ({}, None, True),
    ({"enforce_sequence": False}, None, False),
    ({"enforce_sequence": False}, False, False),
    ({}, False, 'the option "enforce_sequence" is honoured by the improvement phase: set "improve": true'),
    ({"enforce_sequence": False, "default_penalty": 3}, False, 'penalties are honoured by the improvement phase'),
])
def test_pairs_are_enforced_where_the_document_states_them(options, improve, expected):
    doc = paired().to_json()
    doc["nodes"][5].pop("penalty")
    doc["options"].update(options)
    if isinstance(expected, str):
        with pytest.raises(ValueError, match=re.escape(expected)):
            prepare(doc, improve=improve)
        return
    chosen = prepare(doc, improve=improve)[0]
    assert chosen["options"].get("enforce_sequence") == expected
    assert ('sequence pairs enforced ("enforce_sequence")' in enforced_rules(chosen)) == expected


needs_pairs = pytest.mark.skipif(not hasattr(z.Options(), "enforce_sequence"), reason="a core without pairs")
needs_penalties = pytest.mark.skipif(not hasattr(z.Options(), "default_penalty"), reason="a core without penalties")


@needs_pairs
@needs_penalties
@pytest.mark.parametrize("objective", ["min_max", "min_sum"])
def test_a_fleet_with_pairs_leaves_out_what_it_cannot_serve_and_says_why(tmp_path, capsys, objective):
    model = paired(objective=objective)
    solution = model.solve(budget=300, seed=1)
    assert solution.status == "success" and solution.check() == []
    assert (solution.unassigned, solution.unassigned_reasons, solution.penalty) == ([5], ["no window reachable"], 40)
    key = "max_cost" if objective == "min_max" else "sum_cost"
    assert solution.objective == solution.result["statistics"][key] + 40
    doc, result = str(tmp_path / "d.json"), str(tmp_path / "r.json")
    model.to_json(doc)
    assert main(["solve", doc, "--budget", "300", "--quiet", "--output", result]) == 0
    out = capsys.readouterr().out
    assert 'rules      sequence pairs enforced ("enforce_sequence")' in out and "  node 5: no window reachable" in out
    assert main(["validate", doc, result]) == 0 and "4 of 5 targets each visited once, 1 left out (penalty 40)" in \
        capsys.readouterr().out


def test_numpy_numbers_are_taken_as_python_ones():
    np = pytest.importorskip("numpy")
    model = fleet()
    model.add_target(np.float32(6), np.int64(8), id=np.int64(21), window=(np.int64(0), np.float64(50)))
    model.add_agent("truck", np.int64(10), max_length=np.int64(100), id=np.uint8(3))
    solution = model.solve(seed=np.int64(1), budget=np.int32(50))
    assert solution.status == "success" and solution.check() == []
    assert json.loads(json.dumps(model.to_json())) == model.to_json()


def test_progress_reaches_the_solver():
    calls = []
    model = Model.from_json(EXAMPLES / "time_windows.json")
    solution = model.solve(time_limit=5, progress=lambda report: calls.append(report) or True)
    assert solution.timed_out and calls and {"elapsed", "objective", "phase", "solutions"} <= calls[0].keys()


def test_solve_is_quiet(capfd):
    Model.from_json(DOCUMENTS["tw-60-min_max"]).solve(improve=False, budget=200)  # warns without quiet
    assert capfd.readouterr() == ("", "")


def test_fleet_example_prints_a_valid_solution_and_its_schedule(capsys):
    scope = runpy.run_path(str(EXAMPLES / "fleet.py"), run_name="__main__")
    solution, model = scope["solution"], scope["model"]
    assert solution.status == "success" and solution.check() == []
    out = capsys.readouterr().out
    assert solution.table() in out and sum(len(r.schedule) for r in solution.routes) == len(solution.rows())
    assert Model.from_json(model.to_json()).to_json() == model.to_json()


@in_child
def test_examples_pass_mypy_strict(tmp_path):
    pytest.importorskip("mypy")
    # The stubs and the package of this tree, not whatever is installed.
    (tmp_path / "_pyzel_core").symlink_to(ROOT / "python" / "_pyzel_core-stubs")
    env = dict(os.environ, MYPYPATH=os.pathsep.join([str(tmp_path), str(ROOT / "python")]))
    done = subprocess.run([sys.executable, "-m", "mypy", "--strict", *map(str, sorted(EXAMPLES.glob("*.py")))],
                          cwd=tmp_path, env=env, capture_output=True, text=True, timeout=55)
    assert done.returncode == 0, done.stdout + done.stderr

