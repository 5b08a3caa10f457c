"""The progress callback on both roads: what it is told, how often, that a truthy answer
stops the solve with its best result, that its exception leaves the solve, and that a
callback that never stops changes nothing."""
import json
import threading

import pytest

from conftest import EXAMPLES, ROADS
from solution_checker import route_problems
from test_bad_input import grid_doc
from test_interrupt import large_instance


@pytest.mark.parametrize("road", ["json", "objects"])
@pytest.mark.parametrize(("improve", "threads"), [(False, 1), (True, 1), (True, 2)])
def test_a_truthy_answer_stops_a_long_solve_with_a_valid_result(road, improve, threads):
    doc = large_instance()  # 600 s limit
    # The phase must not end on its own (its stall rule) before a progress call comes in it.
    doc["options"].update(improve=improve, quiet=True, improve_stall=10**12, threads=threads)
    calls, callers = [], set()

    def progress(state):
        callers.add(threading.get_ident())
        calls.append(state)
        # Stops once a solution is known: from the second call on, or in the improvement phase.
        ready = state["phase"] == "improve" if improve else len(calls) >= 2
        return ready and state["solutions"] > 0

    out = ROADS[road](doc, progress=progress)
    assert (out["status"], out["timeout"], route_problems(doc, out)) == ("success", True, [])
    assert callers == {threading.get_ident()}
    assert all(list(c) == ["elapsed", "objective", "phase", "solutions"] for c in calls)
    assert [c["phase"] for c in calls][-1] == ("improve" if improve else "search")
    assert all(later["elapsed"] - earlier["elapsed"] >= 0.1 - 1e-9 for earlier, later in zip(calls, calls[1:]))
    found = [c for c in calls if c["solutions"] > 0]
    assert found and all(isinstance(c["objective"], float) for c in found)
    assert [c["objective"] for c in found] == sorted((c["objective"] for c in found), reverse=True)
    assert found[-1]["objective"] >= out["statistics"]["max_cost"]


@pytest.mark.parametrize("road", ["json", "objects"])
def test_beyond_256_nodes_the_phase_alone_reports_and_stops(road):
    doc = grid_doc(300)
    doc["options"].update(improve=True, time_limit=600, quiet=True)
    calls = []
    out = ROADS[road](doc, progress=lambda state: calls.append(state) or state["solutions"] > 0)
    assert (out["status"], out["timeout"], route_problems(doc, out)) == ("success", True, [])
    assert calls[-1]["phase"] == "improve" and calls[-1]["solutions"] > 0 and out["statistics"]["n_expanded"] == 0


class Stop(Exception):
    pass


@pytest.mark.parametrize("road", ["json", "objects"])
def test_an_exception_in_the_callback_leaves_the_solve(road):
    def progress(state):
        raise Stop()
    with pytest.raises(Stop):
        ROADS[road](large_instance(), progress=progress)


@pytest.mark.parametrize("road", ["json", "objects"])
def test_a_callback_that_never_stops_changes_nothing(road):
    doc = json.loads((EXAMPLES / "time_windows.json").read_text())
    doc["options"]["max_expansions"] = 3000  # ends on its own, whatever the clock
    plain, watched = ROADS[road](doc), ROADS[road](doc, progress=lambda state: None)
    for out in (plain, watched):
        for key in ("solve_time", "last_update_time"):  # read from the clock
            out["statistics"].pop(key, None)
        out.pop("anytime", None)
    assert plain == watched
