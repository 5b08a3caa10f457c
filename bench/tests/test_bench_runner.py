"""The benchmark's own tests (run with the project's): the runner's pure parts: case selection, gaps, tables, the RESULTS.md block,
the generated instances, and tiny peer solves (skipped where a peer is absent)."""
import math
import pathlib
import sys

import pytest

from pyzel.validate import check_result, schedules

BENCH = pathlib.Path(__file__).resolve().parents[1]
sys.path.insert(0, str(BENCH))
import cases  # noqa: E402
import generate  # noqa: E402
import report  # noqa: E402
import run  # noqa: E402

pytestmark = pytest.mark.timeout(120)

REFERENCE = [cases.ReferenceRow(*row) for row in [
    ("eil51", "3", "min_max", "real", 159.57, "best known"),
    ("eil51", "any", "min_sum", "rounded", 426, "optimal"),
    ("eil51", "any", "min_sum", "real", 428.87, "best known"),
    ("eil51", "2", "min_sum_all_agents_work", "real", 435.18, "best known"),
    ("eil51", "3", "min_sum_all_agents_work", "real", 445.99, "best known"),
    ("kroA100", "any", "min_sum", "rounded", 21282, "optimal"),
]]


def test_cases_follow_the_reference_rows_and_the_short_selection_keeps_small_ones():
    built = {c.key: c for c in cases.build_cases(REFERENCE)}
    assert list(built) == ["eil51/min_max/3/real", "eil51/min_sum/2/real", "eil51/min_sum/3/real",
                           "eil51/min_sum/2/rounded", "kroA100/min_sum/2/rounded"]
    assert built["eil51/min_max/3/real"].reference == 159.57
    # The "any" row and the 2-agent all-work row are one run; with 3 agents "any" is a lower bound.
    two, three = built["eil51/min_sum/2/real"], built["eil51/min_sum/3/real"]
    assert (two.reference, two.standing, two.all_agents_work) == (428.87, "best known", 435.18)
    assert (three.reference, three.standing, three.all_agents_work) == (428.87, "lower bound", 445.99)
    assert built["eil51/min_sum/2/rounded"].standing == "optimal"
    chosen = cases.short_selection(list(built.values()))
    assert {c.instance for c in chosen} == {"eil51"} and all(c.agents <= 3 for c in chosen)


def test_gap_percent():
    assert math.isclose(report.gap_percent(110.0, 100.0), 10.0) and math.isclose(report.gap_percent(95.0, 100.0), -5.0)
    assert report.gap_percent(None, 100.0) is None and report.gap_percent(110.0, None) is None


def record(solver, **changes):
    return {"instance": "eil51", "objective": "min_max", "agents": 3, "distance": "real", "reference": 159.57,
            "standing": "best known", "all_agents_work": None, "n": 51, "solver": solver, "limit": 1.0,
            "status": "success", "first_time": 0.0123, "best": 170.0, "gap": 6.535, "gen_per_s": 123456.7,
            "exp_per_s": 4567.8, "peak_mib": 50.25, "anytime": [[0.0123, 170.0]], "problems": [], **changes}


def cells(table):
    """The rows of a Markdown table, each a dict by column header."""
    head, _, *rows = [[cell.strip() for cell in line.strip("|").split("|")] for line in table.splitlines()]
    return [dict(zip(head, row)) for row in rows]


def test_tables_mark_what_does_not_apply_what_failed_and_the_better_of_each_pair():
    records = [record("zel"), record("ortools"),
               record("zel", instance="a280", n=280, status="error", best=None, gap=None,
                      reference=None, error="RuntimeError: too many nodes", anytime=[])]
    zel, ortools, failed = cells(report.runs_table(records, "min_max"))
    assert [zel[k] for k in ("solver", "first solution s", "best", "best known", "gap %", "generated/s")] == [
        "ZEL exact", "0.012", "170.00", "159.57", "6.54", "123,457"]
    assert (ortools["solver"], ortools["generated/s"], ortools["expanded/s"]) == ("OR-Tools", "n/a", "n/a")
    assert failed["best"] == "not solvable"
    assert report.failures(records) == ["- a280 (280 nodes), ZEL exact: RuntimeError: too many nodes"]
    pairs = [record("zel", best=170.0, gap=6.5), record("ortools", best=165.0, gap=3.4),
             record("zel", agents=2, best=200.0, gap=1.0), record("ortools", agents=2, best=210.0, gap=6.0)]
    summary = [(r["solver"], r["runs"], r["mean gap %"], r["at the lowest cost"]) for r in cells(
        report.summary_table(pairs))]
    assert summary == [("ZEL exact", "2", "3.75", "1"), ("OR-Tools", "2", "4.70", "1")]


def test_replace_block_keeps_the_rest_of_the_file():
    speed = "## Speed\n\nlabels per second ...\n"
    first = report.replace_block("# Benchmark results\n\n" + speed, "short", "## Short\nold")
    assert first.index("## Short") < first.index("## Speed")
    second = report.replace_block(first, "short", "## Short\nnew")
    assert "old" not in second and "new" in second and second.endswith(speed)
    both = report.replace_block(second, "full", "## Full")
    assert both.count("<!-- bench:short:begin -->") == 1 and "## Full" in both and speed in both
    assert report.replace_block("", "short", "x").startswith("# Benchmark results\n")


def test_gaps_to_best_found_ignore_unsolved_runs_and_keep_a_published_reference():
    unknown = {"reference": None, "standing": ""}
    runs = [record("zel", best=100.0, **unknown),
            record("ortools", best=90.0, problems=["node 3 visited 0 times"], **unknown),
            record("zel", limit=10.0, best=95.0, **unknown), record("ortools", status="failed", best=None, **unknown),
            record("zel", instance="X-n101-k25", best=99.0, reference=98.0, gap=1.0)]
    report.gaps_to_best_found(runs)
    assert [r["reference"] for r in runs] == [95.0] * 4 + [98.0]
    assert [None if r["gap"] is None else round(r["gap"], 2) for r in runs] == [5.26, None, 0.0, None, 1.0]


@pytest.mark.parametrize("cls", list(generate.BUILDERS))
def test_generated_instances_are_deterministic_and_carry_their_class(cls):
    doc = generate.instance(cls, 30, "min_sum", seed=7)  # raises if its known routes fail
    windows = [i for c in doc["constraints"] if c["kind"] == "timewindow" for i in c["items"]]
    horizon = max(generate.clock(doc["costs"][a["type"]], r)[-1]
                  for a, r in zip(doc["agents"], doc["known_routes"]))
    assert doc == generate.instance(cls, 30, "min_sum", seed=7) != generate.instance(cls, 30, "min_sum", 8)
    kinds = {c["kind"] for c in doc["constraints"]}
    ends = [(a["start_node"], a["end_node"]) for a in doc["agents"]]
    assert {"tw": lambda: "timewindow" in kinds,
            "types": lambda: len(doc["costs"]) == 2 and "assignment" in kinds,
            "shared": lambda: any(s != e for s, e in ends) and {s for s, _ in ends} == {e for _, e in ends},
            "open": lambda: doc["options"]["return_to_end"] is False,
            "limits": lambda: all(a["max_length"] > 0 for a in doc["agents"]),
            "tight": lambda: len(doc["costs"]) == 2 and len(windows) >= 0.7 * 29 and all(
                0.02 * horizon - 1 <= w["end"] - w["start"] <= 0.06 * horizon + 1 for w in windows),
            "allrules": lambda: len(doc["costs"]) == 3 and windows and "assignment" in kinds
            and doc["options"]["return_to_end"] is False and all(a["max_length"] > 0 for a in doc["agents"])
            and {s for s, _ in ends} == {e for _, e in ends} and all(s != e for s, e in ends),
            "cap": lambda: doc["options"]["enforce_capacities"] and all(
                n.get("demand", 0) > 0 and n.get("service", 0) > 0 for n in doc["nodes"][1:]),
            "captw": lambda: windows and doc["distances"] and doc["options"].get("minimise") == "distance"}[cls]()


VRP = ("NAME : tiny\nTYPE : CVRP\nDIMENSION : 4\nEDGE_WEIGHT_TYPE : EUC_2D\nCAPACITY : 5\nNODE_COORD_SECTION\n"
       "1 0 0\n2 3 4\n3 6 8\n4 0 -2\nDEMAND_SECTION\n1 0\n2 3\n3 2\n4 4\nDEPOT_SECTION\n1\n-1\nEOF\n")


def test_vrplib_set_fixes_the_fleet_at_the_solution_and_plans_each_objective(tmp_path):
    (tmp_path / "cvrp").mkdir()
    (tmp_path / "cvrp" / "tiny.vrp").write_text(VRP)
    (tmp_path / "cvrp" / "tiny.sol").write_text("Route #1: 1 2\nRoute #2: 3\nCost 24\n")
    args = run.argparse.Namespace(set="cvrp", mode="full", instances=None, objectives=None, limits=None)
    got = {c.objective: (c.agents, c.reference, d["options"]["enforce_capacities"])
           for c, d in run.vrplib_documents(args, tmp_path)}
    assert got == {"min_sum": (2, 24.0, True), "min_max": (2, None, True)}
    assert run.plan(args, ["zel", "zel-improve", "pyvrp"], "min_sum") == (["zel-improve", "pyvrp"], ["10", "60"])
    assert run.plan(args, ["zel-improve", "ortools"], "min_max") == (["zel-improve", "ortools"], ["10"])


FLEET_DOC = {"nodes": [{"id": 0, "x": 0, "y": 0, "type": "depot"}, {"id": 1, "x": 0, "y": 0, "demand": 3, "service": 4},
                       {"id": 2, "x": 0, "y": 0, "demand": 4, "service": 1}],
             "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 0, "capacity": 7}],
             "costs": {"a": [[0, 2, 3], [2, 0, 2], [3, 2, 0]]}, "distances": {"a": [[0, 5, 6], [5, 0, 1], [6, 1, 0]]},
             "constraints": [{"kind": "timewindow", "items": [{"node": 2, "start": 10, "end": 12}]}],
             "options": {"objective": "min_sum", "enforce_capacities": True, "minimise": "distance"}}


@pytest.mark.parametrize("change, cost, fault", [
    ({}, 12.0, None),  # arrive 2, serve to 6, reach 2 at 8, wait to 10, serve to 11, home at 14; distance 12
    ({"objective": "min_max"}, 14.0, None),  # min-max counts the clock whatever "minimise" says
    ({"capacity": 6}, 12.0, ("capacity", "7", "6")),
    ({"end": 7.5}, 12.0, ("node 2 at 8", "7.5")),  # the window holds the start, service moves the clock
    ({"max_length": 13}, 12.0, ("14", "13")),
])
def test_runner_prices_and_checks_service_loads_and_distance(change, cost, fault):
    import copy
    import routes

    doc = copy.deepcopy(FLEET_DOC)
    doc["options"]["objective"] = change.get("objective", "min_sum")
    doc["agents"][0].update({k: v for k, v in change.items() if k in ("capacity", "max_length")})
    doc["constraints"][0]["items"][0]["end"] = change.get("end", 12)
    best, problems = routes.assess(routes.read(doc), [[0, 1, 2, 0]])
    assert best == cost
    # pyzel's checker judges: the line names the rule's figures.
    assert (fault is None and problems == []) or any(all(f in p for f in fault) for p in problems), problems
    if fault is None:  # a solver's report is held to the same measure: the duration is not the cost here
        result = routes.as_result(routes.read(doc), [[0, 1, 2, 0]])
        result["routes"][0]["duration" if cost == 12.0 else "distance"] += 1
        assert check_result(routes.read(doc), result) != []


def write_set_i(folder, rows):
    (folder / "minmax").mkdir()
    (folder / "minmax" / "bks.csv").write_text(
        "instance,n,m,distance,best_known,source,lkh3,mils,lower_bound,optimal_by_bound\n" + "".join(
            f"{name},2,{m},{dist},{best},x,{lkh3},,{bound},{flag}\n" for name, m, dist, best, lkh3, bound, flag in rows))
    for name, dist, b in {(r[0], r[2], r[3]) for r in rows}:
        kind = "ATT" if dist == "ATT" else "EUC_2D"
        (folder / "minmax" / f"{name.upper()}.tsp").write_text(
            f"NAME : {name}\nTYPE : TSP\nDIMENSION : 2\nEDGE_WEIGHT_TYPE : {kind}\nNODE_COORD_SECTION\n"
            "1 7810 6053\n2 7798 5709\nEOF\n")


@pytest.mark.parametrize("include_trivial, expected", [
    (False, [("att", 3, "rounded", 109.0)]),
    # A blank flag does not keep a pair whose value equals the bound.
    (True, [("att", 3, "rounded", 109.0), ("euc", 3, "real", 344.20924), ("euc", 5, "real", 344.20924)]),
])
def test_set_i_pairs_their_metric_and_the_trivial_bound(tmp_path, include_trivial, expected):
    write_set_i(tmp_path, [("att", 3, "ATT", 240.0, 241.0, 218.0, "False"),
                           ("euc", 3, "real", 688.42, "", 688.42, ""), ("euc", 5, "real", 688.42, "", 688.42, "True")])
    args = run.argparse.Namespace(instances=None, mode="full", agents=None, include_trivial=include_trivial)
    pairs = list(run.minmax_documents(args, tmp_path))
    got = [(c.instance, c.agents, c.distance, round(d["costs"]["agent"][0][1], 5)) for c, d in pairs]
    assert got == expected  # ATT: ceil-ish of sqrt(d²/10) = 108.85 -> 109; the real metric is not rounded
    assert (pairs[0][0].reference, pairs[0][0].lkh3, pairs[0][0].mils) == (240.0, 241.0, None)


def test_set_i_documents_reproduce_the_tables_trivial_bounds():
    """The metric of every instance (att532's ATT among them) against the table's 2·max d(depot, i)."""
    try:
        data = run.find_data(None)
    except SystemExit:
        data = pathlib.Path("/nonexistent")
    if not (data / "minmax" / "bks.csv").is_file():
        pytest.skip("no Set I data beside the repository")
    bounds = {r.split(",")[0]: float(r.split(",")[8]) for r in (data / "minmax" / "bks.csv").read_text().splitlines()[1:]}
    args = run.argparse.Namespace(instances=None, mode="full", agents=[3], include_trivial=True)
    got = {c.instance: round(2 * max(d["costs"]["agent"][0]), 2) for c, d in run.minmax_documents(args, data)}
    assert got == bounds


@pytest.mark.parametrize("given, label, seconds", [
    ("n/10", "n/10", 53.2), ("n/2.50", "n/2.5", 212.8), ("10", "10", 10.0), ("0.5", "0.5", 0.5),
    ("n/0", None, None), ("-1", None, None), ("n/", None, None), ("inf", None, None), ("m/10", None, None)])
def test_limits_in_seconds_or_per_node(given, label, seconds):
    if label is None:
        with pytest.raises(run.argparse.ArgumentTypeError):
            run.limit_label(given)
    else:
        assert run.limit_label(given) == label and math.isclose(run.limit_seconds(label, 532), seconds)


@pytest.mark.parametrize("anytime, changes, expected", [
    ([[0.1, 120.0], [0.5, 101.5], [2.0, 100.9], [3.0, 100.0]], {}, 2.0),
    ([[0.1, 101.0]], {}, 0.1),  # exactly 1 % above counts
    ([[0.1, 120.0], [4.0, 102.0]], {}, None),
    ([[0.1, 100.0]], {"problems": ["node 3 visited 0 times"]}, None),  # an invalid answer reached nothing
])
def test_time_to_within_one_percent(anytime, changes, expected):
    assert report.time_to_within(record("zel-improve", reference=100.0, anytime=anytime, **changes)) == expected


def test_time_buys_counts_the_cases_a_longer_limit_improves():
    def pair(agents, short, long, solver="zel-improve"):
        return [record(solver, agents=agents, limit=1.0, best=short, status="success" if short else "failed",
                       reference=100.0), record(solver, agents=agents, limit=10.0, best=long, reference=100.0)]
    runs = (pair(2, 100.0, 100.0) + pair(3, 105.0, 101.0) + pair(4, 105.0, 105.0) + pair(5, None, 110.0)
            + pair(6, 103.0, 104.0) + pair(2, 110.0, 100.0, "ortools"))
    assert report.time_buys(runs) == [
        {"solver": "zel-improve", "shorter": "1", "longer": "10", "not_at_reference": 4, "longer_better": 2},
        {"solver": "ortools", "shorter": "1", "longer": "10", "not_at_reference": 1, "longer_better": 1}]


@pytest.mark.parametrize("peer", ["solve_ortools", "solve_pyvrp"])
@pytest.mark.parametrize("cls", list(generate.BUILDERS))
def test_peer_answers_pass_the_checker(peer, cls):
    """Windows, types, depots, open routes and limits reach each peer's model: its answer
    passes pyzel.validate, and PyVRP's own objective is the recomputed one."""
    module = pytest.importorskip(peer)
    out = module.solve(generate.instance(cls, 16, "min_sum", seed=3), 0.5)
    assert out["status"] == "success" and out["problems"] == []
    assert out["anytime"][-1][1] == out["best"] == out.get("reported_best", out["best"])


@pytest.mark.parametrize("objective, optimum, edges", [("min_sum", 14, 4), ("min_max", 12, 3)])
def test_ortools_peer_reports_costs_in_the_instance_unit(objective, optimum, edges):
    pytest.importorskip("ortools")
    import solve_ortools

    # Real-valued distances: the costs come back unscaled, recomputed from the routes.
    square = [[0, 3, 5, 4], [3, 0, 4, 5], [5, 4, 0, 3], [4, 5, 3, 0]]
    doc = {"nodes": [{"id": i, "x": 0, "y": 0} for i in range(4)],
           "agents": [{"id": k, "type": "agent", "start_node": 0, "end_node": 0} for k in range(2)],
           "costs": {"agent": [[v + 0.25 * (v > 0) for v in r] for r in square]},
           "options": {"objective": objective}}
    out = solve_ortools.solve(doc, 0.2)
    assert out["status"] == "success" and out["problems"] == []
    assert math.isclose(out["best"], optimum + 0.25 * edges)
    assert out["anytime"] and out["anytime"][-1][1] >= out["best"] - 1e-9
    assert out["n_generated"] is None


import generate_rules  # noqa: E402
import routes  # noqa: E402


def plan_faults(doc, paths, left=()):
    """Every rule the routes break, walked here on its own terms: windows on the start of
    service, shifts, the depot's closing, coverage (`left`: the targets left out) and the pairs;
    a plain pair's second service waits for the first (the bench's own times)."""
    instance = routes.read(doc)
    paths = [path or [a["start_node"], a["end_node"]] for a, path in zip(doc["agents"], paths)]
    windows = {i["node"]: (i["start"], i["end"]) for c in doc["constraints"] if c["kind"] == "timewindow"
               for i in c["items"]}
    where, faults = {}, []
    for k, (agent, path, row) in enumerate(zip(doc["agents"], paths, schedules(instance, paths))):
        for p, (v, (_, start, end)) in enumerate(zip(path, row)):
            if p and start > windows.get(v, (0, math.inf))[1]:
                faults.append(f"window of {v}")
            if 0 < p < len(path) - 1:
                where[v] = (k, p, start, end)
        if row[-1][2] > (agent.get("max_length") or math.inf):
            faults.append(f"shift of agent {k}")
    targets = set(range(len(doc["nodes"]))) - instance.depots
    if set(where) | set(left) != targets or set(where) & set(left):
        faults.append("coverage")
    for a, b, kind in routes.rules(instance).pairs:
        if (b in where and a not in where and kind != "diff") or (kind == "same" and (a in where) != (b in where)):
            faults.append(f"{kind} {a}->{b}: one served alone")
        elif a in where and b in where and {"same": where[a][:2] > where[b][:2] or where[a][0] != where[b][0],
                                            "diff": where[a][0] == where[b][0],
                                            "before": where[b][2] < where[a][3]}[kind]:
            faults.append(f"{kind} {a}->{b}")
    return faults


@pytest.mark.parametrize("cls", list(generate_rules.BUILDERS))
def test_rule_plans_keep_every_pair_window_and_shift(cls):
    doc = generate_rules.instance(cls, 40, "min_sum", seed=5)
    left = doc.get("known_unassigned", [])
    assert doc == generate_rules.instance(cls, 40, "min_sum", seed=5)
    assert plan_faults(doc, doc["known_routes"], left) == []
    pairs = routes.rules(routes.read(doc)).pairs
    kinds = {kind for _, _, kind in pairs}
    targets = len(doc["nodes"]) - len(routes.read(doc).depots)
    admits = {i["node"]: i["types"] for c in doc["constraints"] if c["kind"] == "assignment" for i in c["items"]}
    assert {"pd": lambda: kinds == {"same"} and 0.25 <= 2 * len(pairs) / targets <= 0.55,
            "chain": lambda: kinds == {"before"} and pairs and all(
                len(admits[a]) == len(admits[b]) == 1 and admits[a] != admits[b] for a, b, _ in pairs),
            "mix": lambda: kinds == {"same", "diff", "before"},
            "over": lambda: 0.05 <= len(left) / targets <= 0.11 and doc["options"]["default_penalty"] > 0,
            "prize": lambda: left and all("penalty" in node for node in doc["nodes"][1:])}[cls]()
    if cls == "over":  # the targets left out cannot be served at all: too late or too early
        cost, shift = doc["costs"]["agent"], max(a["max_length"] for a in doc["agents"])
        windows = {i["node"]: (i["start"], i["end"]) for i in doc["constraints"][0]["items"]}
        assert all(cost[0][v] > windows[v][1] or windows[v][0] > shift for v in left)


TWO_AGENTS = {"nodes": [{"id": 0, "x": 0, "y": 0, "type": "depot"}, {"id": 1, "x": 0, "y": 0, "service": 5},
                        {"id": 2, "x": 0, "y": 0, "service": 1}, {"id": 3, "x": 0, "y": 0}],
              "agents": [{"id": k, "type": "a", "start_node": 0, "end_node": 0} for k in range(2)],
              "costs": {"a": [[0, 4, 1, 2], [4, 0, 3, 2], [1, 3, 0, 1], [2, 2, 1, 0]]}}


@pytest.mark.parametrize("pairs, penalty, paths, objective, served", [
    # 1 is served from 4 to 9 (home at 13); 2 is reached at 1 and waits for it: done at 10, home at 13.
    ([(1, 2)], None, [[0, 1, 0], [0, 2, 3, 0]], (26, 13), 3),
    ([(2, 1)], None, [[0, 1, 0], [0, 2, 3, 0]], (18, 13), 3),  # 1 after 2 (done at 2): no wait
    ([(2, 1), (1, 3)], None, [[0, 1, 0], [0, 2, 3, 0]], (24, 13), 3),  # back and forth: 3 waits to 9
    ([], 7, [[0, 1, 0], [0, 3, 0]], (13 + 4 + 7, 13 + 7), 2),  # 2 left out at its penalty
    ([], 7, [[0, 1, 2, 3, 0], []], (16, 16), 3),  # an idle agent costs nothing
])
def test_runner_prices_a_pairs_waits_and_the_penalties_left(pairs, penalty, paths, objective, served):
    import copy

    doc = copy.deepcopy(TWO_AGENTS)
    doc["constraints"] = [generate_rules.sequence_constraint([(a, b, None) for a, b in pairs])]
    if penalty is not None:
        doc["options"] = {"default_penalty": penalty}
    for name, want in zip(("min_sum", "min_max"), objective):
        doc.setdefault("options", {})["objective"] = name
        got = routes.outcome(routes.read(doc), paths)
        # The checker judges the waits too: an answer priced with them is valid.
        assert (got.best, got.served, got.penalty, got.problems) == \
            (want, served, penalty if served == 2 else 0.0, [])


@pytest.mark.parametrize("peer", ["solve_ortools", "solve_pyvrp"])
@pytest.mark.parametrize("cls", list(generate_rules.BUILDERS))
def test_peers_keep_the_pairs_and_leave_out_only_what_costs_a_penalty(peer, cls):
    module = pytest.importorskip(peer)
    doc = generate_rules.instance(cls, 14, "min_sum", seed=3)
    out = module.solve(doc, 1.0)
    if peer == "solve_pyvrp" and cls in generate_rules.PRECEDENCE_CLASSES:
        assert out["status"] == "not applicable"  # it has no pairs
        return
    assert out["status"] == "success" and out["problems"] == []
    left = [v for v in range(len(doc["nodes"])) if doc["nodes"][v].get("type") != "depot"
            and all(v not in p for p in out["paths"])]
    assert plan_faults(doc, out["paths"], left) == []
    assert out["served"] + len(left) == out["targets"] and out["anytime"][-1][1] == out["best"]


def test_rule_sets_gap_to_the_better_peer_at_the_same_limit_and_count_what_is_left_out():
    rule = {"family": "over", "instance": "over-60", "reference": None, "standing": "", "served": 50, "targets": 59,
            "penalty": 9000.0, "constructed": 13607.0}
    runs = [record("zel-improve", best=90.0, **rule), record("ortools", best=100.0, **rule),
            record("pyvrp", best=95.0, **rule), record("pyvrp", best=80.0, **{**rule, "problems": ["x"]}),
            record("ortools", limit=10.0, best=85.0, **rule), record("zel-improve", limit=10.0, best=88.0, **rule)]
    report.gaps_to_better_peer(runs)
    assert [(r["reference"], None if r["gap"] is None else round(r["gap"], 2)) for r in runs] == [
        (95.0, -5.26), (95.0, 5.26), (95.0, 0.0), (95.0, None), (85.0, 0.0), (85.0, 3.53)]
    rows = cells(report.rules_table(runs, "min_max"))
    assert [(r["solver"], r["served"], r["left out"], r["gap %"]) for r in rows[:4]] == [
        ("ZEL improve", "50", "9", "-5.26"), ("OR-Tools", "50", "9", "5.26"), ("PyVRP", "50", "9", "0.00"),
        ("PyVRP", "–", "–", "–")]
