"""Ctrl-C and other signal handlers break off a long search: the exception raised
by the handler leaves the call, and the interpreter goes on."""
import json
import os
import random
import signal
import subprocess
import sys
import textwrap
import time

import pytest

import _pyzel_core as z
from test_bad_input import build_problem

# Sanitized runs preload their runtime into every child; the subprocess tests are
# skipped there, the in-process ones still run.
needs_plain_subprocess = pytest.mark.skipif(
    os.environ.get("ZEL_SKIP_SUBPROCESS_TESTS") == "1",
    reason="subprocess tests are skipped in the sanitized run")


def large_instance(time_limit):
    """120 scattered targets and five agents: far beyond what ends on its own."""
    rng = random.Random(3)
    pts = [(rng.randint(0, 100), rng.randint(0, 100)) for _ in range(120)]
    costs = [[abs(a[0] - b[0]) + abs(a[1] - b[1]) for b in pts] for a in pts]
    return {"nodes": [{"id": i, "x": x, "y": y} for i, (x, y) in enumerate(pts)],
            "agents": [{"id": k, "type": "t", "start_node": 0, "end_node": 0} for k in range(5)],
            "costs": {"t": costs}, "options": {"objective": "min_max", "time_limit": time_limit}}


# The child builds its instance, says "solving", then solves with a 600 s limit.
CHILD = textwrap.dedent("""
    import json, signal, sys, time
    import _pyzel_core as z
    from test_interrupt import large_instance
    from test_bad_input import build_problem

    signal.signal(signal.SIGINT, signal.default_int_handler)  # even if started ignoring it
    road, path = sys.argv[1], sys.argv[2]
    doc = large_instance(600)
    text = json.dumps(doc)
    with open(path, "w") as f:
        f.write(text)
    if road == "solve":
        p = build_problem(doc)
        solver = z.Solver(p, p.options())
        call = solver.solve
    elif road == "solve_json_str":
        call = lambda: z.solve_json_str(text)
    else:
        call = lambda: z.solve_json_file(path)
    print("solving", flush=True)
    try:
        call()
        print("finished", flush=True)
    except KeyboardInterrupt:
        print("interrupted", flush=True)
""")


@needs_plain_subprocess
@pytest.mark.parametrize("road", ["solve", "solve_json_str", "solve_json_file"])
def test_sigint_raises_keyboard_interrupt_promptly(road, tmp_path):
    here = os.path.dirname(os.path.abspath(__file__))
    env = dict(os.environ, PYTHONPATH=os.pathsep.join([here, os.environ.get("PYTHONPATH", "")]))
    child = subprocess.Popen([sys.executable, "-c", CHILD, road, str(tmp_path / "i.json")],
                             stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                             env=env, cwd=tmp_path)
    try:
        assert child.stdout.readline().strip() == "solving"
        time.sleep(1.0)
        assert child.poll() is None, "the search ended before the signal"
        sent = time.monotonic()
        child.send_signal(signal.SIGINT)
        # Generous: a hang detector, not a speed test.
        rest, _ = child.communicate(timeout=30)
        latency = time.monotonic() - sent
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert rest.split() == ["interrupted"]
    assert child.returncode == 0
    print(f"{road}: exited {latency:.3f} s after SIGINT")


class Alarm(Exception):
    pass


@pytest.fixture
def alarm_after():
    """Arms SIGALRM to raise Alarm from its handler; disarms it afterwards."""
    def handler(signum, frame):
        raise Alarm()
    previous = signal.signal(signal.SIGALRM, handler)

    def arm(seconds):
        signal.setitimer(signal.ITIMER_REAL, seconds)
    yield arm
    signal.setitimer(signal.ITIMER_REAL, 0)
    signal.signal(signal.SIGALRM, previous)


def test_a_handler_exception_leaves_solve_and_the_solver_searches_again(alarm_after):
    p = build_problem(large_instance(600))
    solver = z.Solver(p, p.options())
    alarm_after(0.3)
    with pytest.raises(Alarm):
        solver.solve()
    assert solver.get_result().n_generated >= 0  # still readable
    # The same solver searches again, until the next signal breaks it off too.
    alarm_after(0.3)
    with pytest.raises(Alarm):
        solver.solve()


def test_a_handler_exception_leaves_the_json_road(alarm_after):
    text = json.dumps(large_instance(600))
    alarm_after(0.3)
    with pytest.raises(Alarm):
        z.solve_json_str(text)
