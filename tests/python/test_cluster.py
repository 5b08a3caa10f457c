"""Batches on a Dask cluster of two worker processes on this machine: results as
they finish, the same table and files as a local batch, and a lost worker that
fails only its own instance."""
import json
import os
import signal
import subprocess
import sys
import time

import pytest

from conftest import EXAMPLES, child_env, in_child
from test_interrupt import large_instance

dask = pytest.importorskip("dask")
distributed = pytest.importorskip("distributed")
pytestmark = in_child  # the cluster's workers are processes


@pytest.fixture(scope="module")
def client():
    # No second try on another worker: a worker that dies fails its task at once; and a
    # worker holds only the task it runs, not one queued behind it.
    with dask.config.set({"distributed.scheduler.allowed-failures": 0,
                          "distributed.scheduler.worker-saturation": 1.0}), \
            distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                     dashboard_address=None) as cluster, distributed.Client(cluster) as c:
        yield c


def test_solve_many_on_the_cluster_answers_as_this_machine_does(client):
    import pyzel

    docs = [json.loads((EXAMPLES / name).read_text()) for name in ("time_windows.json", "open_routes.json")]
    here, there = pyzel.solve_many(docs, jobs=2), pyzel.solve_many(docs, client=client)
    assert [r["routes"] for r in there] == [r["routes"] for r in here] and there[0]["status"] == "success"


def test_a_lost_worker_fails_only_its_instance(client, tmp_path):
    big = large_instance()
    big["options"]["time_limit"] = 3
    (tmp_path / "big.json").write_text(json.dumps(big))
    for name in ("time_windows.json", "open_routes.json"):
        (tmp_path / name).write_text((EXAMPLES / name).read_text())
    child = subprocess.Popen([sys.executable, "-m", "pyzel", "solve", "time_windows.json", "big.json",
                              "open_routes.json", "--scheduler", client.scheduler.address, "--output-dir", "out"],
                             cwd=tmp_path, env=child_env(), stdout=subprocess.PIPE, text=True)
    try:
        pids = client.run(os.getpid)
        for _ in range(200):  # until the big one runs, then its worker dies as under the OOM killer
            running = [w for w, keys in client.processing().items() if any(k.endswith("-1") for k in keys)]
            if running:
                os.kill(pids[running[0]], signal.SIGKILL)
                break
            time.sleep(0.05)
        out, _ = child.communicate(timeout=50)
    finally:
        if child.poll() is None:
            child.kill()
            child.wait()
    assert child.returncode == 2 and running, out
    assert "big.json: error: worker lost" in out and "2 solved, 0 without solution, 1 failed" in out
    assert sorted(p.name for p in (tmp_path / "out").iterdir()) == ["open_routes.result.json",
                                                                     "time_windows.result.json"]
