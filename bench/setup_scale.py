"""Set-up cost of a large instance: 256 nodes, 255 agents of 255 types, one full matrix
per type. Prints the seconds and the peak memory the Solver's construction takes.
    python bench/setup_scale.py [NODES] [TYPES]

With --large, the road of an instance beyond the search: a uniform instance of NODES
nodes (default 2000) and 10 agents from bench/large.py, one full matrix, each step in
a fresh process so its peak memory is its own:
    python bench/setup_scale.py --large [NODES]
- parse: solve_json_str without "improve", refused once the document is parsed and
  loaded (the JSON library's parse of the matrix and the instance built from it);
- setup: the Solver built from Python objects with "improve" on;
- json road: solve_json_str with "improve" and a 1 ms limit: parse, setup, the
  phase's tables and its first solution (first: its time stamp in the anytime list).
Peak MiB is the process's own, Python and the document included; growth is what
the step added to it."""
import json
import resource
import subprocess
import sys
import time
from pathlib import Path

import _pyzel_core as z


def main(nodes=256, types=255):
    problem = z.Problem()
    for i in range(nodes):
        node = z.Node()
        node.id = i
        node.position.x, node.position.y = i % 16, i // 16
        problem.add_node(node)
    matrix = [[abs(i % 16 - j % 16) + abs(i // 16 - j // 16) for j in range(nodes)]
              for i in range(nodes)]
    for k in range(types):
        agent = z.Agent()
        agent.id, agent.type, agent.start_node, agent.end_node = k, f"t{k}", 0, 0
        problem.add_agent(agent, k)
        problem.set_cost_matrix(f"t{k}", matrix)
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    start = time.perf_counter()
    solver = z.Solver(problem, problem.options())
    seconds = time.perf_counter() - start
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    print(f"nodes={nodes} types={types} setup_seconds={seconds:.3f} "
          f"peak_mib={peak / 1024:.0f} setup_growth_mib={(peak - before) / 1024:.0f}")
    del solver


def large_step(step, nodes):
    sys.path.insert(0, str(Path(__file__).resolve().parent))
    import large

    doc = large.instance("uniform", nodes, 10, "min_max")
    text = json.dumps(doc)
    improving = json.dumps({**doc, "options": {**doc["options"], "improve": True}})
    if step == "setup":
        problem = z.Problem()
        for item in doc["nodes"]:
            node = z.Node()
            node.id = item["id"]
            node.position.x, node.position.y = item["x"], item["y"]
            problem.add_node(node)
        for item in doc["agents"]:
            agent = z.Agent()
            agent.id, agent.type, agent.start_node, agent.end_node = item["id"], "agent", 0, 0
            problem.add_agent(agent, item["id"])
        problem.set_cost_matrix("agent", doc["costs"]["agent"])
        problem.options().improve = True
    before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    start = time.perf_counter()
    first = None
    if step == "parse":
        try:
            z.solve_json_str(text, 1.0)
        except RuntimeError:
            pass
    elif step == "setup":
        solver = z.Solver(problem, problem.options())
    else:
        out = z.solve_json_str(improving, 1e-3)
        first = out["anytime"][0]["time"]
    seconds = time.perf_counter() - start
    peak = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    extra = f" first_solution_seconds={first:.3f}" if first is not None else ""
    print(f"step={step} nodes={nodes} seconds={seconds:.3f} peak_mib={peak / 1024:.0f} "
          f"growth_mib={(peak - before) / 1024:.0f}{extra}", flush=True)


def large_road(nodes=2000):
    for step in ("parse", "setup", "json-road"):
        subprocess.run([sys.executable, __file__, "--step", step, str(nodes)], check=True,
                       stderr=subprocess.DEVNULL)


if __name__ == "__main__":
    if sys.argv[1:2] == ["--large"]:
        large_road(*(int(a) for a in sys.argv[2:3]))
    elif sys.argv[1:2] == ["--step"]:
        large_step(sys.argv[2], int(sys.argv[3]))
    else:
        main(*(int(a) for a in sys.argv[1:3]))
