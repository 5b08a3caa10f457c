"""One solve of a batch in a process of its own, so that one that crashes or is
killed from outside (as the OOM killer does) fails only its own instance, and a
stop request reaches every solve that is running.

The same worker function, `solve_in_child`, serves the local batch (threads that
each wait for their child, see `batch`) and the tasks of a Dask cluster (see
`cluster`). Run as ``python -m pyzel.worker``, this module is that child: it reads
one request on standard input and writes one answer on standard output.
"""

from __future__ import annotations

import json
import os
import signal
import subprocess
import sys
import threading
from collections.abc import Callable
from pathlib import Path
from typing import Any

from .errors import InputError
from .solving import StopFlag, one_line, solve_document

Request = dict[str, Any]  # {"name": str, "doc": the instance document, "time_limit": float | None}
Answer = dict[str, Any]  # {"result": dict} or {"error": str} or {"cancelled": True}; "interrupted": bool

# How often a waiting worker asks whether to stop: the delay Ctrl-C takes to reach the solves.
_POLL_SECONDS = 0.2
_running: set[subprocess.Popen[str]] = set()
_running_lock = threading.Lock()
_closing = threading.Event()


def solve_in_child(request: Request, should_stop: Callable[[], bool] | None = None) -> Answer:
    """Solves one request in a new process and waits for its answer; never raises.
    When `should_stop` turns true the solve is stopped as its time limit would stop
    it, and its best solution is still the answer; a request not yet begun is
    then cancelled."""
    if _closing.is_set() or (should_stop is not None and should_stop()):
        return {"cancelled": True}
    try:
        child = subprocess.Popen(
            [sys.executable, "-m", "pyzel.worker"],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            stderr=subprocess.PIPE,
            text=True,
            env=_child_env(),
            start_new_session=True,  # a Ctrl-C at the terminal reaches the children once, through us
        )
    except OSError as err:
        return {"error": f"cannot start a worker process: {err.strerror or err}"}
    with _running_lock:
        _running.add(child)
    try:
        out, errors = _wait(child, json.dumps(request), should_stop)
    finally:
        with _running_lock:
            _running.discard(child)
    if child.returncode < 0:
        return {"error": f"worker process ended by {signal.Signals(-child.returncode).name}"}
    try:
        answer: Answer = json.loads(out)
        return answer
    except ValueError:
        last = (errors.strip().splitlines() or ["no answer"])[-1]
        return {"error": f"worker process failed (exit status {child.returncode}): {last}"}


def _wait(child: subprocess.Popen[str], payload: str, should_stop: Callable[[], bool] | None) -> tuple[str, str]:
    stop_sent = False
    pending: str | None = payload  # handed over once; later calls go on with the rest
    while True:
        try:
            return child.communicate(pending, timeout=_POLL_SECONDS)
        except subprocess.TimeoutExpired:
            pending = None
            if not stop_sent and should_stop is not None and should_stop():
                child.send_signal(signal.SIGINT)
                stop_sent = True


def end_running() -> int:
    """Kills every worker process still running and lets no new one start: the
    number killed."""
    _closing.set()
    with _running_lock:
        children = list(_running)
    for child in children:
        child.kill()
    return len(children)


def start_batch() -> None:
    """Lets worker processes start again after `end_running`."""
    _closing.clear()


def answer_error(answer: Answer) -> str:
    return "cancelled" if answer.get("cancelled") else str(answer.get("error", "no answer"))


def _child_env() -> dict[str, str]:
    """The environment of a worker: it imports the very package and module we run."""
    import _pyzel_core

    here = [str(Path(__file__).resolve().parents[1]), str(Path(_pyzel_core.__file__).resolve().parent)]
    rest = os.environ.get("PYTHONPATH", "")
    return dict(os.environ, PYTHONPATH=os.pathsep.join(here + ([rest] if rest else [])))


def _answer(request: Request) -> Answer:
    parent = os.getppid()
    flag = StopFlag()
    with flag.installed(signal.SIGINT):
        try:
            # A worker whose parent has gone stops too, rather than hold a core for nobody.
            result = solve_document(request["doc"], request["time_limit"], where=request["name"],
                                    should_stop=lambda: flag.raised or os.getppid() != parent)
        except InputError as err:
            return {"error": str(err), "interrupted": flag.raised}
    return {"result": result, "interrupted": flag.raised}


def _main() -> None:
    # Standard output carries the answer alone, whatever else may write there.
    answer_stream = os.fdopen(os.dup(1), "w")
    os.dup2(os.open(os.devnull, os.O_WRONLY), 1)
    try:
        answer = _answer(json.load(sys.stdin))
    except Exception as err:  # the parent reads the failure, never a traceback
        answer = {"error": one_line(err)}
    answer_stream.write(json.dumps(answer))
    answer_stream.close()


if __name__ == "__main__":
    _main()
