"""Set-up cost of a large instance: 256 nodes, 255 agents of 255 types, one full matrix
per type. Prints the seconds and the peak memory the Solver's construction takes.
    python bench/setup_scale.py [NODES] [TYPES]"""
import resource
import sys
import time

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


if __name__ == "__main__":
    main(*(int(a) for a in sys.argv[1:3]))
