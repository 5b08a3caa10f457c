"""Shared instances and the two roads into the solver: a JSON document, and the same
instance built object by object as a Python caller would."""
import copy
import json
import os
import pathlib
import subprocess
import sys

import pytest

import _pyzel_core as z

HERE = pathlib.Path(__file__).resolve().parent
ROOT = HERE.parents[1]
EXAMPLES = ROOT / "examples"
sys.path.insert(0, str(HERE))

# Three nodes, one agent; both tours cost 12, so only their direction differs.
TRIANGLE = {
    "nodes": [{"id": 0, "x": 0, "y": 0, "type": "depot"}, {"id": 1, "x": 3, "y": 0},
              {"id": 2, "x": 0, "y": 4}],
    "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 0}],
    "costs": {"a": [[0, 3, 4], [3, 0, 5], [4, 5, 0]]},
    "options": {"objective": "min_max", "time_limit": 1},
}


# Tests that run code in a child, where a crash fails the test instead of killing
# pytest. Sanitized runs preload their runtime into every child; these are skipped
# there, the in-process tests still run.
in_child = pytest.mark.skipif(os.environ.get("ZEL_SKIP_SUBPROCESS_TESTS") == "1",
                              reason="subprocess tests are skipped in the sanitized run")


def child_env():
    """The environment of a child that imports the test modules."""
    return dict(os.environ, PYTHONPATH=os.pathsep.join([str(HERE), os.environ.get("PYTHONPATH", "")]))


def run_child(code, *args, timeout=60):
    """Runs `code` in a fresh interpreter: its stdout lines and its return code (a crash
    shows as a negative one)."""
    done = subprocess.run([sys.executable, "-c", code, *args], capture_output=True, text=True,
                          env=child_env(), timeout=timeout)
    return done.stdout.splitlines(), done.returncode


def pyzel(*args, cwd, text=True):
    """Runs the command line in its own process, as a user would: its exit status, stdout
    (bytes unless `text`) and stderr."""
    done = subprocess.run([sys.executable, "-m", "pyzel", *args], cwd=cwd, capture_output=True, timeout=50)
    return done.returncode, done.stdout.decode() if text else done.stdout, done.stderr.decode(errors="replace")


def variant(base=TRIANGLE, **top):
    doc = copy.deepcopy(base)
    doc.update(copy.deepcopy(top))
    return doc


def with_values(doc, changes):
    """`doc` with the value at each slash-separated key of `changes` replaced."""
    doc = copy.deepcopy(doc)
    for key, value in changes.items():
        *path, last = [int(k) if k.isdigit() else k for k in key.split("/")]
        target = doc
        for k in path:
            target = target[k]
        target[last] = value
    return doc


def at(key, value):
    return with_values(TRIANGLE, {key: value})


def shared_tsplib(name):
    """A TSPLIB file of the benchmark data, which lies in shared/ beside the project."""
    path = ROOT.parent / "shared" / "bench" / "tsplib" / name
    if not path.exists():
        pytest.skip(f"shared TSPLIB file {path} not found")
    return path


def solve_json(doc, time_limit=-1, progress=None):
    return z.solve_json_str(json.dumps(doc), time_limit, progress=progress)


def build_problem(doc):
    """The instance of `doc`, built call by call."""
    p = z.Problem()
    for item in doc["nodes"]:
        n = z.Node()
        n.id = item["id"]
        n.position.x, n.position.y, n.position.z = item["x"], item["y"], item.get("z", 0.0)
        n.demand = item.get("demand", 0.0)
        n.type = z.NodeType.DEPOT if item.get("type") == "depot" else z.NodeType.TARGET
        n.penalty = item.get("penalty")
        p.add_node(n)
    for item in doc["agents"]:
        a = z.Agent()
        a.id, a.type = item["id"], item["type"]
        a.start_node, a.end_node = item["start_node"], item["end_node"]
        a.capacity_limit, a.time_limit = item.get("capacity", 0.0), item.get("max_length", 0.0)
        p.add_agent(a, a.id)
    costs = doc.get("costs") or {}
    for agent_type, matrix in (enumerate(costs) if isinstance(costs, list) else costs.items()):
        if isinstance(matrix, dict):
            p.set_cost_metric(str(agent_type), matrix["metric"], matrix.get("speed", 1.0))
        else:
            p.set_cost_matrix(str(agent_type), matrix)
    assignment, windows = z.AssignmentConstraint(), z.TimeWindowConstraint()
    for c in doc.get("constraints") or []:
        for item in c.get("items", []):
            if c["kind"] == "assignment":
                assignment.set_assignment(item["node"], item["types"])
            elif c["kind"] == "timewindow":
                windows.set_timewindow(item["node"], item["start"], item["end"])
        kinds = {"same": "same_pairs", "diff": "diff_pairs"}
        for item in c.get("precedence", []) if c["kind"] == "sequence" else []:
            name = kinds.get(item.get("type"), "precedence_pairs")
            setattr(p, name, getattr(p, name) + [(item["before"], item["after"])])
    p.set_assignment_constraint(assignment)
    p.set_timewindow_constraint(windows)
    opts = doc.get("options", {})
    p.options().return_to_end = opts.get("return_to_end", True)
    minmax = opts.get("objective") == "min_max"
    p.options().objective = z.ObjectiveType.MinMax if minmax else z.ObjectiveType.MinSum
    p.options().time_limit = opts.get("time_limit", 60.0)
    for key in ("improve", "seed", "max_iterations", "max_expansions", "missing_cost", "enforce_capacities", "quiet",
                "default_penalty", "enforce_sequence", "threads", "improve_stall"):
        if key in opts:
            setattr(p.options(), key, opts[key])
    return p


def solve_objects(doc, progress=None):
    """The object road's answer in the JSON road's layout, for the one checker."""
    p = build_problem(doc)
    s = z.Solver(p, p.options())
    s.solve(progress=progress)
    r = s.get_result()
    routes = [{"agent_id": a["id"], "path": r.paths.get(k, []), "cost": r.times.get(k, 0.0)}
              for k, a in enumerate(doc["agents"])]
    costs = [route["cost"] for route in routes]
    out = {"status": "success" if r.paths else "failed", "timeout": r.timeout, "routes": routes,
           "statistics": {"max_cost": max(costs, default=0.0), "sum_cost": sum(costs),
                          "n_expanded": r.n_expanded}}
    if "default_penalty" in doc.get("options", {}) or any("penalty" in n for n in doc["nodes"]):
        left = sorted(zip((doc["nodes"][v]["id"] for v in r.unassigned), r.unassigned_reasons))
        out.update(unassigned=[v for v, _ in left], unassigned_reasons=[why for _, why in left], penalty=r.penalty)
    return out


ROADS = {"json": solve_json, "objects": solve_objects}
