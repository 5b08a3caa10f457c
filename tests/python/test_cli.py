"""The pyzel command line: success and failure paths, batches, and the road from a
TSPLIB file to a validated, pictured solution."""
import json
import re
import shutil
import sys
from importlib import metadata

import pytest

from conftest import EXAMPLES, TRIANGLE, pyzel, shared_tsplib, variant
from pyzel.cli import main
from test_interrupt import large_instance

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


@pytest.fixture
def work(tmp_path):
    for name in ("single_depot_min_max.json", "time_windows.json"):
        shutil.copy(EXAMPLES / name, tmp_path / name)
    (tmp_path / "broken.json").write_text('{"nodes": [')
    (tmp_path / "noagents.json").write_text('{"nodes": []}')
    (tmp_path / "n257.json").write_text(json.dumps(
        {"nodes": [{"id": i, "x": i, "y": 0} for i in range(257)], "costs": {"a": [[1] * 257] * 257},
         "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 0}]}))
    three = {"status": "success", "routes": [{"agent_id": k, "path": [0], "cost": 0} for k in range(3)],
             "statistics": {"max_cost": 0, "sum_cost": 0}}
    (tmp_path / "three_routes.json").write_text(json.dumps(three))
    (tmp_path / "tiny.tsp").write_text("NAME: t\nDIMENSION: 3\nEDGE_WEIGHT_TYPE: EUC_2D\nNODE_COORD_SECTION\n"
                                       "1 0 0\n2 3 4\n3 6 8\nEOF\n")
    return tmp_path


def test_tsplib_to_validated_picture_end_to_end(tmp_path):
    pytest.importorskip("matplotlib")
    code, out, err = pyzel("convert", shared_tsplib("eil51.tsp"), "--agents", "3", "-o", "eil51.json", cwd=tmp_path)
    assert (code, err) == (0, ""), err
    code, out, err = pyzel("solve", "eil51.json", "--time-limit", "1", "--output", "result.json",
                           "--plot", "routes.png", "--verbose", cwd=tmp_path)
    assert code == 0 and "assignment" not in err, err  # every converted node is assigned
    assert "status     success" in out and "anytime record" in out
    assert (tmp_path / "routes.png").read_bytes()[:8] == PNG_SIGNATURE
    code, out, err = pyzel("validate", "eil51.json", "result.json", cwd=tmp_path)
    assert code == 0 and out.startswith("valid: 3 agents, 50 targets"), out + err
    (entry,) = [e for e in metadata.entry_points(group="console_scripts") if e.name == "pyzel"]
    assert entry.load() is main


def test_solve_writes_a_result_that_validate_accepts_and_names_each_violation_in(work, capsys):
    instance, written = str(work / "time_windows.json"), str(work / "r.json")
    assert main(["solve", instance, "--output", written]) == 0
    out = capsys.readouterr().out
    for line in ("status     success", "objective  ", "counters   ", "threads    ", "routes (node ids):",
                 "  agent 0 (courier): cost "):
        assert line in out
    result = json.loads((work / "r.json").read_text())
    assert list(result) == ["status", "timeout", "routes", "statistics", "anytime"]
    assert main(["validate", instance, written]) == 0
    result["routes"][0]["cost"] += 1.0
    result["routes"][1]["path"] = result["routes"][1]["path"][:1] + result["routes"][1]["path"][2:]
    (work / "bad.json").write_text(json.dumps(result))
    capsys.readouterr()
    assert main(["validate", instance, str(work / "bad.json")]) == 1
    lines = capsys.readouterr().out.splitlines()
    assert any(line.startswith("agent 0: reported cost") for line in lines)
    assert any(line.startswith("node ") and "visited 0 times" in line for line in lines)
    assert lines[-1].startswith("invalid: ")


def test_batch_reports_a_broken_instance_and_finishes_the_others(work, capsys):
    names = ["single_depot_min_max.json", "broken.json", "time_windows.json"]
    code = main(["solve", *[str(work / n) for n in names], "--jobs", "2", "--time-limit", "1",
                 "--output-dir", str(work / "out")])
    out = capsys.readouterr().out
    assert code == 2
    progress = [line for line in out.splitlines() if line.startswith("[")]
    assert sorted(line[:5] for line in progress) == ["[1/3]", "[2/3]", "[3/3]"]
    assert any("broken.json: error: " in line and "not valid JSON" in line for line in progress)
    assert "2 solved, 0 without solution, 1 failed with an error" in out
    assert sorted(p.name for p in (work / "out").iterdir()) == ["single_depot_min_max.result.json",
                                                                 "time_windows.result.json"]


@pytest.mark.parametrize("args, message", [
    (["solve", "missing.json"], "missing.json: cannot read: No such file"),
    (["solve", "broken.json"], "broken.json: not valid JSON"),
    (["solve", "noagents.json"], 'noagents.json: instance: "agents" is missing'),
    (["solve", "time_windows.json", "--time-limit", "0"], "--time-limit must be greater than 0"),
    (["solve", "time_windows.json", "--time-limit", "inf"], "--time-limit must be greater than 0 and finite"),
    (["solve", "time_windows.json", "--budget", "0"], "--budget must be at least 1"),  # 0 would be no budget
    (["solve", "time_windows.json", "--threads", "0"], "--threads must be at least 1"),
    (["solve", "time_windows.json", "broken.json", "--output", "r.json"], "--output, --plot and --schedule take a single"),
    (["solve", "time_windows.json", "--output", "./time_windows.json"], "is the instance itself"),
    (["solve", "time_windows.json", "--output", "broken.json/r.json"], "broken.json is not a directory"),
    (["solve", "time_windows.json", "--output", "nowhere/r.json"], "r.json: cannot write: No such directory nowhere"),
    (["solve", "n257.json", "--exact"],
     "at most 256 nodes, but the instance has 257\npyzel: hint: the improvement phase takes larger"),
    (["solve", "tiny.tsp"], "pyzel convert tiny.tsp --agents M -o tiny.json"),
    (["validate", "time_windows.json", "three_routes.json"],
     "result does not belong to the instance: 3 routes for 2 agents"),
    (["validate", "time_windows.json", "time_windows.json"], 'no "status" key'),
    (["convert", "time_windows.json", "--agents", "2"], "not a TSPLIB file"),
    (["convert", "tiny.tsp", "--agents", "2", "--depot", "5"], "depot must be a node index from 0 to 2"),
    (["convert", "tiny.tsp"], "a TSPLIB file needs the number of agents: --agents M"),
    (["convert", "tiny.tsp", "--agents", "2", "--distances", "truncated"], "distances must be one of rounded, real"),
    (["solve", "tiny.vrp"], "pyzel convert tiny.vrp -o tiny.json"),
    (["frobnicate"], "invalid choice"),
], ids=lambda v: v[0] if isinstance(v, list) else None)
def test_bad_input_is_one_line_and_exit_status_2(work, args, message):
    code, out, err = pyzel(*args, cwd=work)
    assert code == 2
    assert err.count("\n") == 1 + ("pyzel: hint: " in err) and message in err, err
    assert "Traceback" not in err and not (work / "nowhere").exists()


def test_solve_prints_node_ids_agent_types_and_the_result_on_standard_output_when_asked(tmp_path, capsys):
    doc = variant(nodes=[dict(n, id=10 + i) for i, n in enumerate(TRIANGLE["nodes"])],
                  agents=[dict(TRIANGLE["agents"][0], id=7, start_node=10, end_node=10)])
    (tmp_path / "t.json").write_text(json.dumps(doc))
    assert main(["solve", str(tmp_path / "t.json"), "--objective", "min_sum", "--output", "-"]) == 0
    out, err = capsys.readouterr()
    assert json.loads(out)["routes"][0]["path"] in ([0, 1, 2, 0], [0, 2, 1, 0])
    assert "1 agents, min_sum" in err and re.search(r"agent 7 \(a\): cost 12: 10 1[12] 1[12] 10", err)


@pytest.mark.parametrize("mode", ["--improve --threads 2", "--exact"])
def test_seed_and_budget_give_the_same_routes_in_every_run(tmp_path, mode):
    doc = large_instance()  # far from ending on its own, and with a limit the budget outlasts
    doc["options"]["time_limit"] = 0.01
    (tmp_path / "big.json").write_text(json.dumps(doc))
    runs = [pyzel("solve", "big.json", *mode.split(), "--seed", "5", "--budget", "1000", "--output", f"{k}.json", cwd=tmp_path)
            for k in range(2)]
    assert [code for code, _, _ in runs] == [0, 0], runs
    first, second = (json.loads((tmp_path / f"{k}.json").read_text()) for k in range(2))
    assert first["routes"] == second["routes"] and first["statistics"]["n_expanded"] == 1000


def test_convert_writes_a_solvable_instance_to_standard_output(capsys):
    assert main(["convert", str(shared_tsplib("berlin52.tsp")), "--agents", "2", "--objective", "min_sum",
                 "--distances", "real", "--time-limit", "3"]) == 0
    doc = json.loads(capsys.readouterr().out)
    assert len(doc["nodes"]) == 52 and len(doc["agents"]) == 2
    assert doc["options"] == {"objective": "min_sum", "time_limit": 3.0, "return_to_end": True}
    assert doc["costs"]["agent"][0][1] == pytest.approx(666.1080993352356)


@pytest.mark.parametrize("name, fleet, published", [("cvrp/X-n101-k25", 26, 27591), ("vrptw/C1_10_1", 100, 42444.8)])
def test_convert_reads_vrplib_with_the_published_distance_convention(capsys, name, fleet, published):
    """The best known solution beside the file sets the fleet and costs what it is published at."""
    path = shared_tsplib("eil51.tsp").parents[1] / f"{name}.vrp"
    if not path.is_file():
        pytest.skip(f"{path} not found")
    assert main(["convert", str(path), "--objective", "min_sum"]) == 0
    out, err = capsys.readouterr()
    doc = json.loads(out)
    assert f"{fleet} vehicles (the routes of {path.stem}.sol)" in err and len(doc["agents"]) == fleet
    lengths = doc.get("distances", doc["costs"])["agent"]
    routes = [[0, *map(int, line.split(":")[1].split()), 0] for line in path.with_suffix(".sol").read_text().splitlines()
              if line.startswith("Route")]
    assert sum(lengths[u][v] for r in routes for u, v in zip(r, r[1:])) == pytest.approx(published, abs=1e-6)


@pytest.mark.parametrize("command", ["solve", "plot", "convert"])
def test_an_optional_dependency_missing_says_how_to_get_it(work, monkeypatch, capsys, command):
    missing = "numpy" if command == "convert" else "matplotlib"
    monkeypatch.setitem(sys.modules, missing, None)  # makes `import missing` fail
    monkeypatch.delitem(sys.modules, "pyzel.tsplib", raising=False)
    monkeypatch.delattr(sys.modules["pyzel"], "tsplib", raising=False)
    instance, picture = str(work / "time_windows.json"), str(work / "p.png")
    args = {"solve": ["solve", instance, "--plot", picture], "plot": ["plot", instance, instance, "-o", picture],
            "convert": ["convert", str(work / "tiny.tsp"), "--agents", "2"]}
    assert main(args[command]) == 2
    assert ("pip install numpy vrplib" if command == "convert" else "pip install .[plot]") in capsys.readouterr().err
    assert not (work / "p.png").exists()


def test_plot_command_draws_a_png(work, capsys):
    pytest.importorskip("matplotlib")
    instance, written = str(work / "single_depot_min_max.json"), str(work / "r.json")
    assert main(["solve", instance, "--time-limit", "1", "--output", written]) == 0
    assert main(["plot", instance, written, "-o", str(work / "routes.png"), "--title", "demo"]) == 0
    assert (work / "routes.png").read_bytes()[:8] == PNG_SIGNATURE
    capsys.readouterr()
    assert main(["plot", instance, written, "-o", str(work / "routes.xyz")]) == 2
    assert "Format 'xyz' is not supported" in capsys.readouterr().err
