"""Arc costs at or above the "missing_cost" option (9999 by default) are no arc:
the search never travels one, validation rejects one, set-up warns of them."""
import pytest

from conftest import ROADS, solve_json, variant
from solution_checker import route_problems

pytestmark = pytest.mark.timeout(60)

NODES = [{"id": 0, "x": 0, "y": 0, "type": "depot"}, {"id": 1, "x": 1, "y": 0}]
ONE_WAY = variant(nodes=NODES, costs={"a": [[0, 9999], [0, 0]]}, options={"objective": "min_sum", "time_limit": 5})
METRES = variant(ONE_WAY, costs={"a": [[0, 12000], [12000, 0]]})  # 12 km in metres
RAISED = variant(METRES, options={"objective": "min_sum", "time_limit": 5, "missing_cost": 1e6})
MISSPELT = variant(ONE_WAY, cost=ONE_WAY["costs"], costs=None)


@pytest.mark.parametrize("road", ROADS)
@pytest.mark.parametrize("doc, cost", [(ONE_WAY, None), (MISSPELT, None), (METRES, None), (RAISED, 24000.0)],
                         ids=["at the threshold", "misspelt costs key", "metres", "metres, raised threshold"])
def test_only_arcs_below_the_threshold_are_travelled(road, doc, cost):
    out = ROADS[road](doc)
    if cost is None:
        assert out["status"] == "failed"
        return
    assert out["status"] == "success" and out["routes"][0]["path"] == [0, 1, 0]
    assert out["statistics"]["sum_cost"] == cost and route_problems(doc, out) == []
    # Validation reads the threshold from the document it judges.
    assert route_problems(METRES, out) == ["agent 0: no arc 0 -> 1 for type a", "agent 0: no arc 1 -> 0 for type a"]


WARNING = ('[warning] {} cost entries are at or above missing_cost ({}): they count as no arc; '
           'raise "missing_cost" if they are real costs\n')


@pytest.mark.parametrize("doc, line", [
    (variant(ONE_WAY, costs={"a": [[9999, 12000], [9999]]}), WARNING.format(2, 9999)),  # not the diagonal
    (variant(RAISED, costs={"a": [[0, 12000], [2e6]]}), WARNING.format(1, 1000000)),
    (RAISED, None), (MISSPELT, None)], ids=["not the diagonal", "raised", "none over", "none given"])
def test_set_up_warns_once_of_given_entries_at_the_threshold(capfd, doc, line):
    solve_json(doc)
    err = capfd.readouterr().err
    assert [l for l in err.splitlines(keepends=True) if "missing_cost" in l] == ([line] if line else [])
