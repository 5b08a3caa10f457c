"""Batches on a Dask distributed cluster (``pip install "pyzel[cluster]"``).

Every instance is one task, and the task runs the batch's own worker function:
the solve goes on in a child process of the Dask worker, on one core, so the
worker stays responsive while it waits and a solve killed from outside fails
only its own task. Results come back as they finish.
"""

from __future__ import annotations

import importlib
import uuid
from collections.abc import Callable, Iterator, Sequence
from typing import Any

from .worker import Answer, Request, solve_in_child
from .errors import InputError
from .solving import one_line

INSTALL_HINT = "a cluster needs Dask's distributed scheduler: pip install dask distributed"
_POLL_SECONDS = 0.5


def _distributed() -> Any:
    return importlib.import_module("distributed")  # untyped


def connect(address: str) -> Any:
    """A client of the scheduler at `address` (for example tcp://10.0.0.5:8786)."""
    try:
        distributed = _distributed()
    except ImportError:
        raise InputError(INSTALL_HINT) from None
    try:
        return distributed.Client(address, timeout=10)
    except (OSError, TimeoutError, ValueError) as err:
        raise InputError(f"--scheduler {address}: cannot connect: {one_line(err)}") from None


def cluster_task(request: Request, stop_event: str) -> Answer:
    """One instance on a Dask worker: the batch's worker function, asked to stop
    when the client sets the named event."""
    event = _distributed().Event(stop_event)
    return solve_in_child(request, should_stop=event.is_set)


def iter_cluster(
    client: Any, requests: Sequence[Request], should_stop: Callable[[], bool] | None = None
) -> Iterator[tuple[int, Answer]]:
    """(index, answer) of every request as it finishes on the cluster. Once
    `should_stop` turns true, the running solves stop with their best solution and
    those not begun are cancelled."""
    distributed = _distributed()
    run = uuid.uuid4().hex
    event_name = f"pyzel-stop-{run}"
    futures = {
        client.submit(cluster_task, r, event_name, key=f"pyzel-{run}-{k}", pure=False): k
        for k, r in enumerate(requests)
    }
    pending = set(futures)
    stop_event = None
    try:
        while pending:
            try:
                done, pending = distributed.wait(pending, timeout=_POLL_SECONDS, return_when="FIRST_COMPLETED")
            except TimeoutError:
                done = set()
            for future in done:
                try:
                    answer = future.result()
                except Exception as err:  # a worker lost with the task, or a task that failed
                    lost = type(err).__name__ == "KilledWorker"
                    answer = {"error": "worker lost: the Dask workers that ran it died" if lost else one_line(err)}
                yield futures[future], answer
            if stop_event is None and should_stop is not None and should_stop():
                stop_event = distributed.Event(event_name, client=client)
                stop_event.set()  # left set: a task that starts later is cancelled by it
    finally:
        if pending and stop_event is None:  # broken off: the running solves stop too
            distributed.Event(event_name, client=client).set()
        client.cancel(list(pending))
