"""Agents whose own depots are other agents' depots in the other role: each may
finish at its own depots, and post-optimisation may work on its route."""
import math
import random

import pytest

from conftest import solve_json
from pyzel.validate import check_result


def swapped(return_to_end, objective):
    # Agent 0 drives from 0 to 1 and agent 1 from 1 to 0; node 2 is the one target.
    return {
        "nodes": [{"id": 0, "x": 0, "y": 0}, {"id": 1, "x": 10, "y": 0}, {"id": 2, "x": 5, "y": 3}],
        "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 1},
                   {"id": 1, "type": "a", "start_node": 1, "end_node": 0}],
        "costs": {"a": [[0, 10, 6], [10, 0, 6], [6, 6, 0]]},
        "options": {"objective": objective, "return_to_end": return_to_end, "time_limit": 5},
    }


@pytest.mark.timeout(60)
@pytest.mark.parametrize("objective", ["min_max", "min_sum"])
@pytest.mark.parametrize("return_to_end", [False, True])
def test_swapped_depots_are_solved_and_post_optimised(capfd, return_to_end, objective):
    doc = swapped(return_to_end, objective)
    out = solve_json(doc)
    assert out["status"] == "success" and out["timeout"] is False
    assert check_result(doc, out) == []
    assert "invalid path" not in capfd.readouterr().err
    costs = sorted(route["cost"] for route in out["routes"])
    # Open: one agent takes the target and stops there or at home; closed: both must cross.
    assert costs == ([10, 12] if return_to_end else [0, 6])


@pytest.mark.timeout(60)
def test_targets_of_a_type_whose_agents_finished_end_the_branch():
    # Two depots in mixed roles; a third of the targets only for the one slow agent.
    # Once it has gone home those targets can never be served, and the search
    # must drop the branch instead of searching it out.
    rnd = random.Random(1)
    xy = [(rnd.uniform(0, 100), rnd.uniform(0, 100)) for _ in range(20)]
    slow_only = set(rnd.sample(range(2, 20), 6))
    doc = {
        "nodes": [{"id": i, "x": x, "y": y} for i, (x, y) in enumerate(xy)],
        "agents": [{"id": k, "type": t, "start_node": s, "end_node": e} for k, (s, e, t) in
                   enumerate([(0, 1, "fast"), (1, 0, "fast"), (0, 0, "fast"), (1, 1, "slow")])],
        "costs": {t: [[round(math.dist(p, q) / speed) for q in xy] for p in xy]
                  for t, speed in (("fast", 1.0), ("slow", 0.5))},
        "constraints": [{"kind": "assignment", "items": [
            {"node": i, "types": ["slow"] if i in slow_only else ["fast", "slow"]} for i in range(20)]}],
        "options": {"objective": "min_sum", "time_limit": 60, "max_expansions": 20000},
    }
    out = solve_json(doc)
    assert out["status"] == "success"
    assert check_result(doc, out) == []
