"""Many instances: each solve runs in a process of its own (see `worker`), `jobs` at
a time on this machine or as the tasks of a Dask cluster (see `cluster`)."""

from __future__ import annotations

import os
from collections.abc import Callable, Iterable, Iterator, Sequence
from concurrent.futures import ThreadPoolExecutor, as_completed
from typing import Any

from .errors import InputError
from .solving import prepare
from .worker import Answer, Request, answer_error, end_running, solve_in_child, start_batch


def iter_local(
    requests: Sequence[Request], jobs: int, should_stop: Callable[[], bool] | None = None
) -> Iterator[tuple[int, Answer]]:
    """(index, answer) of every request as it finishes, `jobs` at a time."""
    start_batch()
    # Threads suffice: each only waits for its child, which does the work.
    with ThreadPoolExecutor(max_workers=max(1, min(jobs, len(requests)))) as pool:
        futures = {pool.submit(solve_in_child, r, should_stop): i for i, r in enumerate(requests)}
        try:
            for future in as_completed(futures):
                yield futures[future], future.result()
        except BaseException:  # broken off (a second Ctrl-C, SIGTERM): the pool would wait for the children
            end_running()
            raise


def iter_answers(
    requests: Sequence[Request], client: Any = None, jobs: int = 1, should_stop: Callable[[], bool] | None = None
) -> Iterator[tuple[int, Answer]]:
    """(index, answer) of every request as it finishes: on the cluster of a Dask
    `client`, else `jobs` at a time on this machine."""
    if client is None:
        return iter_local(requests, jobs, should_stop)
    from .cluster import iter_cluster

    return iter_cluster(client, requests, should_stop)


def solve_many(
    documents: Iterable[dict[str, Any] | str | os.PathLike[str]],
    client: Any = None,
    *,
    jobs: int = 1,
    time_limit: float | None = None,
    improve: bool | None = None,
    seed: int | None = None,
    budget: int | None = None,
    options: dict[str, Any] | None = None,
    threads: int | None = None,
) -> list[dict[str, Any]]:
    """The result dictionaries of many instances, in their order. Each instance is an
    instance document or the path of one, solved with pyzel's defaults (as ``pyzel
    solve``: the improvement phase on unless the document says otherwise); `options`
    replaces options in every one, the named ones after it.
    With a Dask `client` (``pip install "pyzel[cluster]"``), the solves are tasks of
    its cluster, else `jobs` processes of this machine. Each solve's improvement phase
    runs `threads` walks at once; by default one when instances run side by side (a
    cluster, or `jobs` above 1), which then share the cores, else as many as this
    process may use cores. An instance that fails (bad document, worker lost or
    killed) gives ``{"status": "error", "error": TEXT}``."""
    from .document import read_json

    if threads is None and (client is not None or jobs > 1):
        threads = 1
    requests = []
    for k, item in enumerate(documents):
        if isinstance(item, dict):
            name, doc = str(item.get("name", f"instance {k}")), item
        else:
            name, doc = os.fspath(item), read_json(item)
            if not isinstance(doc, dict):
                raise InputError(f"{name}: the document must be a JSON object")
        doc, limit = prepare(doc, time_limit=time_limit, improve=improve, seed=seed, budget=budget, options=options,
                             threads=threads)
        requests.append({"name": name, "doc": doc, "time_limit": limit})
    results: list[dict[str, Any]] = [{}] * len(requests)
    for k, answer in iter_answers(requests, client, jobs):
        results[k] = answer["result"] if "result" in answer else {"status": "error", "error": answer_error(answer)}
    return results
