"""Ctrl-C and other signal handlers break off a long search: the exception raised
by the handler leaves the call, and the interpreter goes on."""
import json
import random
import signal
import subprocess
import sys
import textwrap
import time

import pytest

import _pyzel_core as z
from conftest import build_problem, child_env, in_child, run_child


def large_instance():
    """120 scattered targets, five agents and a 600 s limit: far beyond what ends on its own."""
    rng = random.Random(3)
    pts = [(rng.randint(0, 100), rng.randint(0, 100)) for _ in range(120)]
    costs = [[abs(a[0] - b[0]) + abs(a[1] - b[1]) for b in pts] for a in pts]
    return {"nodes": [{"id": i, "x": x, "y": y} for i, (x, y) in enumerate(pts)],
            "agents": [{"id": k, "type": "t", "start_node": 0, "end_node": 0} for k in range(5)],
            "costs": {"t": costs}, "options": {"objective": "min_max", "time_limit": 600}}


def call_for(road, path):
    """The call that solves the large instance by `road` (its JSON also written to `path`);
    "... threads" runs the improvement phase with two walks."""
    doc = large_instance()
    if road.endswith(" threads"):
        road = road.removesuffix(" threads")
        doc["options"].update(improve=True, threads=2, improve_stall=10**12, max_expansions=2000)
    path.write_text(json.dumps(doc))
    if road == "solve":
        p = build_problem(doc)
        return z.Solver(p, p.options()).solve
    if road == "solve_json_str":
        return lambda: z.solve_json_str(path.read_text())
    return lambda: z.solve_json_file(str(path))


CHILD = textwrap.dedent("""
    import pathlib, signal, sys
    from test_interrupt import call_for
    signal.signal(signal.SIGINT, signal.default_int_handler)  # even if started ignoring it
    call = call_for(sys.argv[1], pathlib.Path("i.json"))
    print("solving", flush=True)
    try:
        call()
        print("finished", flush=True)
    except KeyboardInterrupt:
        print("interrupted", flush=True)
""")


@in_child
@pytest.mark.parametrize("road", ["solve", "solve_json_str", "solve_json_file", "solve threads", "solve_json_str threads"])
def test_sigint_raises_keyboard_interrupt_promptly(road, tmp_path):
    child = subprocess.Popen([sys.executable, "-c", CHILD, road], stdout=subprocess.PIPE,
                             stderr=subprocess.DEVNULL, text=True, env=child_env(), cwd=tmp_path)
    try:
        assert child.stdout.readline().strip() == "solving"
        time.sleep(1.0)
        assert child.poll() is None, "the search ended before the signal"
        child.send_signal(signal.SIGINT)
        rest, _ = child.communicate(timeout=30)  # generous: a hang detector, not a speed test
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert (rest.split(), child.returncode) == (["interrupted"], 0)


class Alarm(Exception):
    pass


@pytest.mark.parametrize("road", ["solve", "solve_json_str", "solve threads"])
def test_a_handler_exception_leaves_the_search_which_runs_again(road, tmp_path):
    def handler(signum, frame):
        raise Alarm()
    previous = signal.signal(signal.SIGALRM, handler)
    try:
        call = call_for(road, tmp_path / "i.json")
        for _ in range(2):  # the same solver searches again, until the next signal
            signal.setitimer(signal.ITIMER_REAL, 0.3)
            with pytest.raises(Alarm):
                call()
            if road == "solve":
                assert call.__self__.get_result().n_generated >= 0  # still readable
    finally:
        signal.setitimer(signal.ITIMER_REAL, 0)
        signal.signal(signal.SIGALRM, previous)


# A handler that reaches the solver being searched gets RuntimeError: a nested
# solve() once reset the tables beneath the search, which crashed when it went on.
# The search is then broken off as usual and the solver is readable afterwards.
# The solver's own 5 s limit bounds the search were the signal lost, and the
# nested search a build without the refusal would run.
REENTER = textwrap.dedent("""
    import signal
    from conftest import build_problem
    from test_interrupt import large_instance
    import _pyzel_core as z
    doc = large_instance()
    doc["options"]["time_limit"] = 5
    problem = build_problem(doc)
    solver = z.Solver(problem, problem.options())
    class Alarm(Exception):
        pass
    def handler(signum, frame):
        for name in ("solve", "get_result", "get_result_process"):
            try:
                getattr(solver, name)()
                print(name, "ran")
            except RuntimeError as error:
                print(name, "refused" if "search is running" in str(error) else error)
        raise Alarm()
    signal.signal(signal.SIGALRM, handler)
    signal.setitimer(signal.ITIMER_REAL, 0.3)
    try:
        solver.solve()
        print("finished")
    except Alarm:
        print("broken off")
    print("readable", solver.get_result().n_expanded > 0)
""")


@in_child
def test_a_handler_cannot_reenter_the_running_solver():
    lines, code = run_child(REENTER)
    assert (lines, code) == (["solve refused", "get_result refused", "get_result_process refused",
                              "broken off", "readable True"], 0)
