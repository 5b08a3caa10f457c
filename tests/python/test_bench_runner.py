"""The benchmark runner's pure parts: case selection, gaps, tables, the RESULTS.md block,
and one tiny OR-Tools solve (skipped where the benchmark's requirements are absent)."""

import math
import pathlib
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[2] / "bench"))

import cases  # noqa: E402
import report  # noqa: E402
from routes import coverage_problems, objective_value  # noqa: E402


def row(instance, agents, objective, distance, value, standing="best known"):
    return cases.ReferenceRow(instance, agents, objective, distance, value, standing)


REFERENCE = [
    row("eil51", "3", "min_max", "real", 159.57),
    row("eil51", "any", "min_sum", "rounded", 426, "optimal"),
    row("eil51", "any", "min_sum", "real", 428.87),
    row("eil51", "2", "min_sum_all_agents_work", "real", 435.18),
    row("eil51", "3", "min_sum_all_agents_work", "real", 445.99),
    row("kroA100", "any", "min_sum", "rounded", 21282, "optimal"),
]


def test_cases_follow_the_reference_rows():
    built = {c.key: c for c in cases.build_cases(REFERENCE)}
    assert list(built) == ["eil51/min_max/3/real", "eil51/min_sum/2/real", "eil51/min_sum/3/real",
                           "eil51/min_sum/2/rounded", "kroA100/min_sum/2/rounded"]
    assert built["eil51/min_max/3/real"].reference == 159.57
    # The "any" row and the 2-agent all-work row are one run.
    two = built["eil51/min_sum/2/real"]
    assert (two.reference, two.standing, two.all_agents_work) == (428.87, "best known", 435.18)
    three = built["eil51/min_sum/3/real"]
    assert (three.reference, three.standing) == (428.87, "lower bound")
    assert three.all_agents_work == 445.99
    assert built["eil51/min_sum/2/rounded"].standing == "optimal"


def test_short_selection_keeps_the_small_instances_and_agent_counts():
    chosen = cases.short_selection(cases.build_cases(REFERENCE))
    assert {c.instance for c in chosen} == {"eil51"}
    assert all(c.agents <= 3 for c in chosen)


@pytest.mark.parametrize("best, reference, expected", [
    (110.0, 100.0, 10.0), (95.0, 100.0, -5.0), (100.0, 100.0, 0.0),
    (None, 100.0, None), (110.0, None, None),
])
def test_gap_percent(best, reference, expected):
    got = report.gap_percent(best, reference)
    assert got == expected if expected is None else math.isclose(got, expected)


def record(solver, **changes):
    base = {"instance": "eil51", "objective": "min_max", "agents": 3, "distance": "real",
            "reference": 159.57, "standing": "best known", "all_agents_work": None, "n": 51,
            "solver": solver, "limit": 1.0, "status": "success", "first_time": 0.0123,
            "best": 170.0, "gap": 6.535, "gen_per_s": 123456.7, "exp_per_s": 4567.8,
            "peak_mib": 50.25, "anytime": [[0.0123, 170.0]], "problems": []}
    return {**base, **changes}


def test_run_table_marks_what_does_not_apply_and_what_failed():
    records = [record("zel"), record("ortools"),
               record("zel", instance="a280", n=280, status="error", best=None, gap=None,
                      reference=None, error="RuntimeError: too many nodes", anytime=[])]
    lines = report.runs_table(records, "min_max").splitlines()
    assert lines[0].startswith("| instance | n | agents |")
    assert lines[1].endswith("--:|")
    assert lines[2] == ("| eil51 | 51 | 3 | real | 1 | ZEL | 0.012 | 170.00 | 159.57 | 6.54 "
                        "| 123,457 | 4,568 | 50.2 |")
    assert "| OR-Tools |" in lines[3] and "| n/a | n/a |" in lines[3]
    assert "| not solvable |" in lines[4]
    assert report.failures(records) == ["- a280 (280 nodes), ZEL: RuntimeError: too many nodes"]


def test_summary_counts_the_lower_cost_of_each_pair():
    records = [record("zel", best=170.0, gap=6.5), record("ortools", best=165.0, gap=3.4),
               record("zel", agents=2, best=200.0, gap=1.0),
               record("ortools", agents=2, best=210.0, gap=6.0)]
    lines = report.summary_table(records).splitlines()
    assert lines[2] == "| min_max | ZEL | 1 | 2 | 2 | 3.75 | 3.75 | 1 |"
    assert lines[3] == "| min_max | OR-Tools | 1 | 2 | 2 | 4.70 | 4.70 | 1 |"


def test_replace_block_keeps_the_rest_of_the_file():
    speed = "## Speed\n\nlabels per second ...\n"
    first = report.replace_block("# Benchmark results\n\n" + speed, "short", "## Short\nold")
    assert first.index("## Short") < first.index("## Speed")
    second = report.replace_block(first, "short", "## Short\nnew")
    assert "old" not in second and "new" in second and second.endswith(speed)
    both = report.replace_block(second, "full", "## Full")
    assert both.count("<!-- bench:short:begin -->") == 1 and "## Full" in both and speed in both
    assert report.replace_block("", "short", "x").startswith("# Benchmark results\n")


SQUARE = [[0, 3, 5, 4], [3, 0, 4, 5], [5, 4, 0, 3], [4, 5, 3, 0]]


@pytest.mark.parametrize("routes, problems", [
    ([[0, 1, 2, 3, 0], []], []),
    ([[0, 1, 0], [0, 3, 0]], ["1 targets unvisited"]),
    ([[0, 1, 2, 0], [0, 2, 3, 0]], ["nodes visited more than once: [2]"]),
    ([[1, 2, 3, 0]], ["route 0 does not start and end at the depot", "1 targets unvisited"]),
])
def test_coverage_problems(routes, problems):
    assert coverage_problems(routes, 4) == problems


def test_objective_values_from_the_matrix():
    routes = [[0, 1, 0], [0, 2, 3, 0]]
    assert objective_value(SQUARE, routes, "min_max") == 12
    assert objective_value(SQUARE, routes, "min_sum") == 18


@pytest.mark.parametrize("objective, optimum, edges", [("min_sum", 14, 4), ("min_max", 12, 3)])
def test_ortools_peer_reports_costs_in_the_instance_unit(objective, optimum, edges):
    pytest.importorskip("ortools")
    import solve_ortools

    # Real-valued distances: the costs come back unscaled, recomputed from the routes.
    matrix = [[v + 0.25 * (v > 0) for v in r] for r in SQUARE]
    doc = {"agents": [{"id": k, "start_node": 0} for k in range(2)],
           "costs": {"agent": matrix}, "options": {"objective": objective}}
    out = solve_ortools.solve(doc, 0.2)
    assert out["status"] == "success" and out["problems"] == []
    assert math.isclose(out["best"], optimum + 0.25 * edges)
    assert out["anytime"] and out["anytime"][-1][1] >= out["best"] - 1e-9
    assert out["n_generated"] is None
