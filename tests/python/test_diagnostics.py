"""What a user is told: the instance checked before a solve, the reasons of a failed
solve, bad files in one line, and pictures that show the routes as they are."""
import itertools
import json
import re

import pytest

import _pyzel_core as z
from conftest import EXAMPLES, ROOT, TRIANGLE, at, pyzel, variant, with_values
from pyzel import Model, Solution, solve_many
from pyzel.cli import main
from pyzel.diagnose import failure_reasons, infeasible
from pyzel.document import instance_from
from pyzel.errors import InstanceWarning
from pyzel.report import print_summary
from pyzel.schema import instance_warnings

HEAD = "NAME: t\nTYPE: TSP\nDIMENSION: 3\nEDGE_WEIGHT_TYPE: EUC_2D\nNODE_COORD_SECTION\n1 0 0\n"
EXPLICIT = "NAME: t\nTYPE: TSP\nDIMENSION: {}\nEDGE_WEIGHT_TYPE: EXPLICIT\nEDGE_WEIGHT_FORMAT: FULL_MATRIX\n" \
           "EDGE_WEIGHT_SECTION\n{}\nEOF\n"


@pytest.mark.parametrize("name, content, command, code", [
    ("deep.json", "[" * 100000 + "]" * 100000, "solve", 2),
    ("deep.json", "[" * 100000 + "]" * 100000, "validate", 2),
    ("nan.json", json.dumps(TRIANGLE).replace('"x": 3', '"x": NaN'), "solve", 2),
    ("bom.json", "\ufeff" + json.dumps(TRIANGLE), "solve", 0),
    (b"caf\xe9.json", json.dumps(TRIANGLE), "solve", 0),
    ("nan.tsp", HEAD + "2 nan 1\n3 1 1\nEOF\n", "convert", 2),
    ("huge.tsp", HEAD + "2 1e300 1\n3 -1e300 1\nEOF\n", "convert", 2),
    ("text.tsp", HEAD + "2 abc 1\n3 1 1\nEOF\n", "convert", 2),
    ("short.tsp", HEAD + "2 1\n3 1 1\nEOF\n", "convert", 2),
    ("latin1.tsp", (HEAD + "2 1 1\n3 1 2\nEOF\nCOMMENT: caf\xe9\n").encode("latin-1"), "convert", 2),
    ("utf16.tsp", (HEAD + "2 1 1\n3 1 2\nEOF\n").encode("utf-16"), "convert", 2),
    ("nan-weight.tsp", EXPLICIT.format(2, "0 nan nan 0"), "convert", 2),
    ("claims-30000.tsp", EXPLICIT.format(30000, "0 1 1 0"), "convert", 2),
    ("claims-200.tsp", EXPLICIT.format(200, "0 1 1 0"), "convert", 2),
], ids=lambda v: v if isinstance(v, str) and len(v) < 20 else "")
def test_bad_files_end_in_one_line_and_good_odd_ones_solve(tmp_path, name, content, command, code):
    path = bytes(tmp_path) + b"/" + (name if isinstance(name, bytes) else name.encode())
    with open(path, "wb") as handle:
        handle.write(content if isinstance(content, bytes) else content.encode())
    args = {"solve": ["solve", path], "validate": ["validate", path, path], "convert": ["convert", path, "--agents", "1"]}
    got, out, err = pyzel(*args[command], cwd=tmp_path, text=False)
    assert got == code and "Traceback" not in err, err
    if code == 2:
        assert err.count("\n") == 1 and err.startswith("pyzel: error: "), err
    else:
        assert path in out  # a name that is not UTF-8 is printed back as given


SEQUENCE = [{"kind": "sequence", "precedence": [{"before": 1, "after": 2}, {"before": 2, "after": 1, "type": "diff"}]}]
CARRIED = variant(nodes=[dict(n, demand=3, service=1) for n in TRIANGLE["nodes"]],
                  agents=[dict(TRIANGLE["agents"][0], capacity=4)])


@pytest.mark.parametrize("doc, expected", [
    (at("options/objective", "MIN_SUM"), []),
    (at("options/objective", "minmax"), ['"minmax" is not one of min_max, MIN_MAX, min_sum, MIN_SUM (did you mean "min_max"?)']),
    (at("options/time_limt", 3), ['options: unknown key "time_limt" (did you mean "time_limit"?)']),
    (variant(constraints=[{"kind": "time_window", "items": []}]), ['unknown constraint kind "time_window" (did you mean "timewindow"?)']),
    (variant(constraints=[{"kind": "assignment", "item": []}]), ['without "items"', 'unknown key "item"']),
    (variant(costs={"b": [[0]]}), ['type "a" has no cost matrix', 'type "b", which no agent has', "not 3 rows of 3"]),
    (variant(nodes=[{"id": 0, "x": 0, "y": 0, "type": "deport"}] + TRIANGLE["nodes"][1:]), ['"deport" is neither depot']),
    # Nodes alike but for their numbers are checked once: each finding still names its own node.
    (variant(nodes=[TRIANGLE["nodes"][0]] + [dict(n, demnd=1) for n in TRIANGLE["nodes"][1:]]),
     ['nodes[1]: unknown key "demnd" (did you mean "demand"?)', 'nodes[2]: unknown key "demnd"']),
    (at("costs/a", [[0, 3, 4], [3, 0, "5"], [4, 5, 0]]), ["instance.costs: {'a': [[0, 3, 4], [3, 0, '5']"]),
    # Values the solver reads otherwise than they seem to say.
    (variant(agents=[dict(TRIANGLE["agents"][0], max_length=0.5)]), ["agents[0].max_length: 0.5 is read as 0: no limit"]),
    (variant(agents=[dict(TRIANGLE["agents"][0], max_length=-2)]), ["max_length: -2 is read as -2: no limit"]),
    (variant(nodes=TRIANGLE["nodes"][:2] + [dict(TRIANGLE["nodes"][2], id=1)]), ["nodes[2].id: 1 is the id of node 1 too"]),
    (variant(constraints=[{"kind": "timewindow", "items": [{"node": 2, "start": 10, "end": 2}]}]),
     ["items[0]: the window opens at 10, after it closes at 2: node 2 can never be served"]),
    (at("costs/a", [[0, 3, 4], [3, 0, 1e400], [4, 5, 0]]), ["costs.a[1][2]: inf is not a finite number"]),
    # Data no rule reads: capacities turned off, sequence pairs; pyzel enforces capacities left to it.
    (CARRIED, []),
    (variant(CARRIED, agents=[dict(CARRIED["agents"][0], capacity=2.5)]), ["agents[0].capacity: 2.5 is read as 2"]),
    (variant(CARRIED, options={"enforce_capacities": False}),
     ['options.enforce_capacities: false: the demands and capacities are not enforced']),
    (variant(CARRIED, options={"enforce_capacities": False}, agents=TRIANGLE["agents"]), []),
    (with_values(CARRIED, {"nodes/2/demand": -1, "nodes/0/demand": -1}), ["nodes[2].demand: -1: with capacities enforced"]),
    (variant(constraints=SEQUENCE), []),  # pyzel enforces them
    (variant(constraints=SEQUENCE, options={"enforce_sequence": False}),
     ['options.enforce_sequence: false: the "sequence" pairs are not enforced']),
    (variant(constraints=[{"kind": "sequence", "precedence": [{"before": 1, "after": 9}, {"before": 0, "after": 2}]}]),
     ["precedence[0].after: 9 is not the id of any node", "precedence[1].before: node 0 is a depot"]),
    (with_values(TRIANGLE, {"nodes/0/penalty": 5, "nodes/1/penalty": -1, "options/default_penalty": -2}),
     ["nodes[0].penalty: node 0 is a depot", "nodes[1].penalty: -1 is below 0", "default_penalty: -2 is below 0"]),
    (variant(distances={"a": [[0, 1]]}, options={"minimise": "distance"}), ["distances.a: not 3 rows of 3 numbers"]),
] + [(json.loads(p.read_text()), []) for p in sorted(EXAMPLES.glob("*.json"))],
    ids=lambda v: None if isinstance(v, list) else "")
def test_schema_warnings_name_each_typo(doc, expected):
    found = instance_warnings(doc)
    assert len(found) == len(expected) and all(e in f for e, f in zip(expected, found)), found


def test_check_and_solve_print_the_warnings(tmp_path):
    (tmp_path / "typo.json").write_text(json.dumps(at("options/objective", "minmax")))
    (tmp_path / "ok.json").write_text(json.dumps(TRIANGLE))
    (tmp_path / "none.json").write_text(json.dumps(variant(agents=[], costs={})))
    assert pyzel("check", "ok.json", cwd=tmp_path, text=False)[:2] == (0, b"ok.json: ok\n")
    assert pyzel("check", "none.json", cwd=tmp_path, text=False)[:2] == (
        1, b"none.json: infeasible: no agents: none of the 3 targets can be served\n")
    code, out, err = pyzel("check", "typo.json", "ok.json", cwd=tmp_path, text=False)
    assert code == 1 and out.count(b"\n") == 2 and b"typo.json: instance.options.objective" in out
    code, out, err = pyzel("solve", "typo.json", cwd=tmp_path, text=False)
    assert code == 0 and err.startswith('pyzel: warning: typo.json: instance.options.objective: "minmax"'), err


INFINITE_X = variant(nodes=[TRIANGLE["nodes"][0], dict(TRIANGLE["nodes"][1], x=1e400), TRIANGLE["nodes"][2]])


@pytest.mark.parametrize("doc", [at("options/objective", "minmax"), at("options/time_limt", 3),
                                 variant(costz={}), INFINITE_X], ids=["minmax", "time_limt", "costz", "1e400"])
def test_model_from_json_warns_what_check_prints(tmp_path, doc):
    (tmp_path / "doc.json").write_text(json.dumps(doc).replace("Infinity", "1e400"))  # read back as inf
    code, out, _ = pyzel("check", "doc.json", cwd=tmp_path, text=False)
    printed = [line.removeprefix("doc.json: ") for line in out.decode().splitlines()]
    assert code == 1 and printed, out
    if doc is INFINITE_X:  # the solver refuses it: so does the model
        with pytest.raises(ValueError, match=re.escape(printed[0])):
            Model.from_json(tmp_path / "doc.json")
        return
    with pytest.warns(InstanceWarning) as caught:
        Model.from_json(tmp_path / "doc.json")
    assert [str(w.message) for w in caught] == printed


# A window closing at 5 that no agent reaches before 70.7: said at once, never solved (the
# limit of 600 s makes a solve that starts a hang, which the tests' timeout ends).
FAR = variant(costs={"a": [[0, 70.7, 1], [70.7, 0, 70], [1, 70, 0]]}, options={"time_limit": 600},
              constraints=[{"kind": "timewindow", "items": [{"node": 1, "start": 0, "end": 5}]}])
FAR_REASON = "node 1 (index 1): no agent can serve it: its window closes at 5, the earliest arrival is at 70.7"
CYCLE = variant(FAR, constraints=[{"kind": "sequence", "precedence": [{"before": 1, "after": 2, "type": "same"},
                                                                      {"before": 2, "after": 1}]}])
CYCLE_REASON = "the pairs 1 same 2 before 1 form a cycle: none of them can be served first"


@pytest.mark.parametrize("doc, reason", [(FAR, FAR_REASON), (CYCLE, CYCLE_REASON)], ids=["far", "cycle"])
@pytest.mark.parametrize("road", ["pyzel solve", "pyzel check", "Model.solve", "solve_many"])
def test_an_instance_proven_infeasible_is_not_solved(tmp_path, road, doc, reason):
    (tmp_path / "far.json").write_text(json.dumps(doc))
    if road.startswith("pyzel"):
        code, out, err = pyzel(road.split()[1], "far.json", cwd=tmp_path, text=False)
        expected = ("why no solution:\n  " if road == "pyzel solve" else "far.json: infeasible: ") + reason
        assert code == 1 and out.decode().endswith(expected + "\n"), out + err.encode()
    elif road == "Model.solve":
        solution = Model.from_json(doc).solve()
        assert (solution.status, solution.timed_out, solution.reasons) == ("failed", False, [reason])
    else:
        (result,) = solve_many([tmp_path / "far.json"])
        assert (result["status"], result["reasons"]) == ("failed", [reason])


def only_a_visits(*node_ids):
    return [{"kind": "assignment", "items": [{"node": v, "types": ["a"]} for v in node_ids]}]


LIMITED = [{"id": 0, "type": "a", "start_node": 0, "end_node": 0, "max_length": 7}]


@pytest.mark.parametrize("doc, expected", [
    (variant(constraints=only_a_visits(0, 1) + [{"kind": "assignment", "items": [{"node": 2, "types": ["b"]}]}]),
     ["search was complete", "node 2 (index 2): no agent can serve it: type a may not visit it"]),
    (variant(constraints=[{"kind": "timewindow", "items": [{"node": 2, "start": 0, "end": 3}]}]),
     ["search was complete", "node 2 (index 2): no agent can serve it: its window closes at 3, the earliest arrival is at 4"]),
    (variant(agents=LIMITED), ["search was complete", "round trip takes at least 8, over the length limit 7"]),
    (variant(agents=LIMITED, options={"max_expansions": 1}), ["time limit", "round trip takes at least 8"]),
    (variant(costs={}), ["search was complete", 'agent type "a" has no cost matrix']),
    (variant(constraints=[{"kind": "assignment", "items": [{"node": 0, "types": ["b"]}]}]),
     ["search was complete", "may not visit its start and end node 0"]),
    # Each node alone is served within 11; both together are not.
    (variant(agents=[dict(LIMITED[0], max_length=11)]), ["search was complete", "only in combination"]),
])
def test_failed_solves_say_why(doc, expected):
    result = z.solve_json_str(json.dumps(doc), 1)
    found = failure_reasons(doc, result)
    assert result["status"] == "failed" and len(found) == len(expected), found
    assert all(e in f for e, f in zip(expected, found)), found


# Capacities judged as pyzel solves: on unless the document turns them off; the depot's demand counts nothing.
@pytest.mark.parametrize("doc, expected", [
    (variant(CARRIED, agents=[dict(CARRIED["agents"][0], capacity=2)]),
     ["node 1 (index 1): no agent can serve it: its demand 3 is over every capacity (at most 2)",
      "node 2 (index 2): no agent can serve it: its demand 3", "the targets' demands total 6, more than"]),
    (variant(CARRIED, agents=[dict(CARRIED["agents"][0], capacity=2)], options={"enforce_capacities": False}), []),
    (variant(CARRIED, agents=[dict(CARRIED["agents"][0], capacity=5)]),
     ["the targets' demands total 6, more than the agents' capacities together (5)"]),
    (variant(CARRIED, agents=[dict(CARRIED["agents"][0], capacity=5), dict(CARRIED["agents"][0], id=1)]), []),
    # Service counts in the length limit: the round trip of 8 through node 2, served for 1, is over 8.
    (variant(CARRIED, agents=[dict(LIMITED[0], max_length=8)]),
     ["node 2 (index 2): no agent can serve it: the round trip takes at least 9, over the length limit 8"]),
    # A target that may be left out is no proof: neither its window nor its demand.
    (with_values(FAR, {"nodes/1/penalty": 0}), []),
    (variant(FAR, options={"default_penalty": 10}), []),
    (with_values(CARRIED, {"agents/0/capacity": 5, "nodes/2/penalty": 9}), []),
    # ... but a target that must be served and that a pair ties to it cannot be.
    *[(variant(with_values(FAR, {"nodes/1/penalty": 0}), constraints=FAR["constraints"] + [
        {"kind": "sequence", "precedence": [pair]}]),
       ["node 2 (index 2): no agent can serve it: the pair " + text + " ties it to node 1 (index 1), which none can"])
      for pair, text in [({"before": 1, "after": 2}, "1 before 2"), ({"before": 2, "after": 1, "type": "same"}, "2 same 1")]],
    (variant(FAR, options={"default_penalty": 10}, constraints=[{"kind": "sequence", "precedence": [
        {"before": 1, "after": 2}, {"before": 2, "after": 1}, {"before": 2, "after": 1, "type": "same"}]}]),
     ["the pairs 1 before 2 before 1 form a cycle", "the pairs 1 before 2 same 1 form a cycle"]),
    (variant(constraints=[{"kind": "sequence", "precedence": [{"before": 1, "after": 2}, {"before": 2, "after": 1}]}],
             options={"enforce_sequence": False}), []),
])
def test_capacities_and_service_prove_infeasibility(doc, expected):
    found = infeasible(instance_from(doc))
    assert len(found) == len(expected) and all(e in f for e, f in zip(expected, found)), found


@pytest.fixture
def figure_of():
    pytest.importorskip("matplotlib")
    from pyzel.plot import solution_figure

    def draw(doc, result):
        figure = solution_figure(doc, result)
        figure.canvas.draw()
        return figure
    return draw


def test_open_routes_are_drawn_without_their_free_way_back(figure_of):
    doc = variant(options={"return_to_end": False})
    result = z.solve_json_str(json.dumps(doc), 1)
    assert result["routes"][0]["path"][-1] == 0  # the route ends at its start: the free move
    routes_ax = figure_of(doc, result).axes[0]
    (line,) = routes_ax.get_lines()
    assert line.get_xydata()[-1].tolist() != [0.0, 0.0] and len(line.get_xydata()) == 3
    labels = {t.get_text() for t in routes_ax.texts}
    assert labels == {"0", "1", "2"}
    assert "agent 0 (a): 8" in [t.get_text() for t in routes_ax.get_legend().get_texts()]


@pytest.mark.parametrize("end", [0.0, 2.3e-5, 2.3e-4, 0.0011, 0.05, 3.0])
def test_anytime_axis_labels_never_overlap(figure_of, end):
    result = {"status": "success", "timeout": False, "routes": [{"agent_id": 0, "path": [0, 1, 2, 0], "cost": 12.0}],
              "statistics": {"max_cost": 12.0, "sum_cost": 12.0, "solve_time": end},
              "anytime": [{"time": end / 7, "max_cost": 14.0, "sum_cost": 14.0},
                          {"time": end / 3, "max_cost": 12.0, "sum_cost": 12.0}]}
    figure = figure_of(TRIANGLE, result)
    renderer = figure.canvas.get_renderer()
    boxes = [t.get_window_extent(renderer) for t in figure.axes[1].get_xticklabels() if t.get_text()]
    assert len(boxes) >= 3 and not any(a.overlaps(b) for a, b in itertools.combinations(boxes, 2))


def test_left_out_targets_are_counted_listed_and_drawn(tmp_path, capsys):
    doc = with_values(TRIANGLE, {"nodes/2/penalty": 6})
    result = {"status": "success", "timeout": False, "routes": [{"agent_id": 0, "path": [0, 1, 0], "cost": 6.0}],
              "statistics": {"solve_time": 0.1, "max_cost": 6.0, "sum_cost": 6.0, "n_generated": 0, "n_expanded": 0,
                             "last_update_time": 0.0},
              "anytime": [{"time": 0.0, "max_cost": 12.0, "sum_cost": 12.0}],
              "unassigned": [2], "unassigned_reasons": ["the length limit"], "penalty": 6.0}
    solution = Solution.from_result(doc, result)
    assert (solution.objective, solution.unassigned, solution.unassigned_reasons) == (12.0, [2], ["the length limit"])
    print_summary("t.json", instance_from(doc), result)
    out = capsys.readouterr().out
    assert "objective  12 (longest route plus penalties)" in out and "penalty    6 (1 target left out)" in out
    assert out.index("  agent 0 (a): cost 6: 0 1 0") < out.index("  node 2: the length limit")
    (tmp_path / "d.json").write_text(json.dumps(doc))
    (tmp_path / "r.json").write_text(json.dumps(result))
    assert main(["validate", str(tmp_path / "d.json"), str(tmp_path / "r.json")]) == 0
    assert "1 of 2 targets each visited once, 1 left out (penalty 6)" in capsys.readouterr().out
    pytest.importorskip("matplotlib")
    from pyzel.plot import solution_figure

    legend = solution_figure(doc, result).axes[0].get_legend().get_texts()
    assert "left out (1)" in [t.get_text() for t in legend]
