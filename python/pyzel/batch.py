"""Many instances: each solve runs in a process of its own, so that one that
crashes or is killed from outside (as the OOM killer does) fails only its own
instance, and a stop request reaches every solve that is running.

The same worker function, `solve_in_child`, serves the local batch (threads that
each wait for their child) and the tasks of a Dask cluster (see `cluster`).
Run as ``python -m pyzel.batch``, this module is that child: it reads one request
on standard input and writes one answer on standard output.
"""

from __future__ import annotations

import json
import os
import signal
import subprocess
import sys
import threading
from collections.abc import Callable, Iterable, Iterator, Sequence
from concurrent.futures import ThreadPoolExecutor, as_completed
from pathlib import Path
from typing import Any

from .errors import InputError
from .solving import StopFlag, one_line, solve_document, with_options

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
            [sys.executable, "-m", "pyzel.batch"],
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


def iter_local(
    requests: Sequence[Request], jobs: int, should_stop: Callable[[], bool] | None = None
) -> Iterator[tuple[int, Answer]]:
    """(index, answer) of every request as it finishes, `jobs` at a time."""
    _closing.clear()
    # Threads suffice: each only waits for its child, which does the work.
    with ThreadPoolExecutor(max_workers=max(1, min(jobs, len(requests)))) as pool:
        futures = {pool.submit(solve_in_child, r, should_stop): i for i, r in enumerate(requests)}
        try:
            for future in as_completed(futures):
                yield futures[future], future.result()
        except BaseException:  # broken off (a second Ctrl-C, SIGTERM): the pool would wait for the children
            end_running()
            raise


def solve_many(
    documents: Iterable[dict[str, Any] | str | os.PathLike[str]],
    client: Any = None,
    *,
    jobs: int = 1,
    time_limit: float | None = None,
    options: dict[str, Any] | None = None,
) -> list[dict[str, Any]]:
    """The result dictionaries of many instances, in their order. Each instance is an
    instance document or the path of one; `options` replaces options in every one.
    With a Dask `client` (``pip install "pyzel[cluster]"``), the solves are tasks of
    its cluster, else `jobs` processes of this machine. An instance that fails (bad
    document, worker lost or killed) gives ``{"status": "error", "error": TEXT}``."""
    from .document import read_json

    requests = []
    for k, item in enumerate(documents):
        if isinstance(item, dict):
            name, doc = str(item.get("name", f"instance {k}")), item
        else:
            name, doc = os.fspath(item), read_json(item)
            if not isinstance(doc, dict):
                raise InputError(f"{name}: the document must be a JSON object")
        requests.append({"name": name, "doc": with_options(doc, options or {}), "time_limit": time_limit})
    if client is not None:
        from .cluster import iter_cluster

        answers = iter_cluster(client, requests)
    else:
        answers = iter_local(requests, jobs)
    results: list[dict[str, Any]] = [{}] * len(requests)
    for k, answer in answers:
        results[k] = answer["result"] if "result" in answer else {"status": "error", "error": answer_error(answer)}
    return results


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
