"""What `pyzel solve` does when it is interrupted, terminated, or loses a worker,
met as a user meets it: a process, signals, and what is left behind."""
import json
import os
import random
import signal
import subprocess
import sys
import time

import pytest

from conftest import EXAMPLES, child_env, in_child
from test_interrupt import large_instance


def start(*args, cwd):
    return subprocess.Popen([sys.executable, "-m", "pyzel", "solve", *args], cwd=cwd, env=child_env(),
                            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)


def workers(pid):
    """The worker processes `pid` has started."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            stat = open(f"/proc/{entry}/stat").read()
        except (OSError, ValueError):
            continue
        if entry.isdigit() and int(stat.rsplit(")", 1)[1].split()[1]) == pid:
            found.append(int(entry))
    return found


def wait_for_the_core(pid):
    """Until `pid` has loaded the core: its set-up is over, however loaded the machine."""
    for _ in range(400):
        if "_pyzel_core" in open(f"/proc/{pid}/maps").read():
            return
        time.sleep(0.05)
    raise AssertionError("the solve did not start")


def wait_for_workers(pid, n):
    for _ in range(100):
        if len(workers(pid)) >= n:
            return workers(pid)
        time.sleep(0.05)
    raise AssertionError(f"{n} workers did not start")


@pytest.fixture
def instances(tmp_path):
    doc = large_instance()
    doc["options"]["time_limit"] = 20  # a stop that failed shows as a hang
    for name in ("big1", "big2"):
        (tmp_path / f"{name}.json").write_text(json.dumps(doc))
    (tmp_path / "small.json").write_text((EXAMPLES / "time_windows.json").read_text())
    rng = random.Random(1)  # windows that keep the search from any solution for seconds
    doc["constraints"] = [{"kind": "timewindow", "items": [{"node": i, "start": 0, "end": rng.randint(150, 400)}
                                                            for i in range(1, 120)]}]
    (tmp_path / "hard.json").write_text(json.dumps(doc))
    doc["agents"].append({"id": 5, "type": "ghost", "start_node": 0, "end_node": 0})  # a cause, no proof
    (tmp_path / "ghost.json").write_text(json.dumps(doc))
    return tmp_path


@in_child
@pytest.mark.parametrize("case", ["ctrl-c one", "ctrl-c, reader gone", "ctrl-c twice", "ctrl-c before any",
                                  "ctrl-c before any, a cause", "ctrl-c batch", "sigterm batch", "worker killed"])
def test_signals_lose_no_finished_work_and_leave_no_worker(instances, case):
    args = {"ctrl-c one": ["big1.json", "--output", "r.json", "--progress"],
            "ctrl-c, reader gone": ["big1.json", "--output", "r.json"],  # | tee log, and Ctrl-C ends tee too
            "ctrl-c twice": ["big1.json", "big2.json", "--progress"],
            "ctrl-c before any": ["hard.json", "--exact", "--output", "r.json"],
            "ctrl-c before any, a cause": ["ghost.json", "--exact"],
            "ctrl-c batch": ["big1.json", "big2.json", "small.json", "--jobs", "2", "--output-dir", "out"],
            "sigterm batch": ["big1.json", "big2.json", "--jobs", "2"],
            "worker killed": ["small.json", "big1.json", "--jobs", "2", "--time-limit", "3"]}[case]
    child = start(*args, cwd=instances)
    try:
        if case == "ctrl-c twice":  # the second while the first is acted on, or during the exit
            wait_for_workers(child.pid, 1)
            for pause in (1.0, *[0.02] * 15):
                time.sleep(pause)
                child.send_signal(signal.SIGINT)
        elif case.startswith("ctrl-c") and case != "ctrl-c batch":
            wait_for_the_core(child.pid)
            time.sleep(1.0)
            if case == "ctrl-c, reader gone":
                child.stdout.close()
                child.stdout = None
            child.send_signal(signal.SIGINT)
        elif case == "worker killed":
            assert child.stdout.readline().startswith("[1/2] small.json: success")
            os.kill(wait_for_workers(child.pid, 1)[0], signal.SIGKILL)
        else:
            started = wait_for_workers(child.pid, 2)
            time.sleep(1.0)
            child.send_signal(signal.SIGINT if case == "ctrl-c batch" else signal.SIGTERM)
        out, err = child.communicate(timeout=30)  # generous: a hang detector, not a speed test
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    if case == "ctrl-c one":
        assert child.returncode == 130 and "status     success (interrupted)" in out, err
        assert " solutions" in err and json.loads((instances / "r.json").read_text())["status"] == "success"
    elif case == "ctrl-c, reader gone":
        assert (child.returncode, err) == (130, "") and json.loads((instances / "r.json").read_text())["status"]
    elif case == "ctrl-c twice":
        assert child.returncode == 130 and err.endswith("pyzel: interrupted\n") and "Traceback" not in err, err
    elif case == "ctrl-c before any":
        assert (child.returncode, out, err) == (130, "", "pyzel: interrupted before any solution was found\n")
        assert not (instances / "r.json").exists()
    elif case == "ctrl-c before any, a cause":
        assert child.returncode == 130 and err.endswith(
            'interrupted before any solution was found\nwhy no solution:\n  agent type "ghost" has no cost matrix'
            ' (the costs give: "t"): its agents can go nowhere\n'), err
    elif case == "ctrl-c batch":
        assert child.returncode == 130, err
        assert out.count("success") >= 4 and "interrupted: 1 not begun and cancelled" in out  # two lines, two rows
        assert sorted(p.name for p in (instances / "out").iterdir()) == ["big1.result.json", "big2.result.json"]
    elif case == "sigterm batch":
        assert child.returncode == 143 and "2 running workers ended" in err, err
        assert not any(os.path.exists(f"/proc/{pid}") for pid in started)
    else:
        assert child.returncode == 2
        assert "[2/2] big1.json: error: worker process ended by SIGKILL" in out and "1 solved" in out, out
