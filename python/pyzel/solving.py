"""One solve in this process: the options pyzel sets, the stop flag that Ctrl-C
raises, and the progress report."""

from __future__ import annotations

import contextlib
import json
import math
import os
import resource
import signal
from collections.abc import Callable, Iterator
from pathlib import Path
from typing import Any

from .errors import InputError

Progress = Callable[[dict[str, Any]], Any]


def with_options(doc: dict[str, Any], overrides: dict[str, Any]) -> dict[str, Any]:
    """The document with some options replaced; the document given is left as it is."""
    if not overrides:
        return doc
    options = doc.get("options", {})
    merged = dict(options) if isinstance(options, dict) else {}
    merged.update(overrides)
    return {**doc, "options": merged}


def effective_time_limit(time_limit: float | None, overrides: dict[str, Any]) -> float | None:
    """A budget decides where the solve ends, so that it ends alike on any machine:
    the clock then stops it only when a time limit is given as well."""
    if time_limit is None and "max_iterations" in overrides:
        return math.inf
    return time_limit


class StopFlag:
    """Raised by a signal (Ctrl-C, by default), read by the progress callback, which
    then stops the solve as its time limit would, keeping its best solution."""

    def __init__(self, second_breaks_off: bool = False) -> None:
        self.raised = False
        self.signum: int | None = None
        self._second_breaks_off = second_breaks_off  # for a user who will not wait

    def __call__(self, signum: int, frame: Any) -> None:
        if self.raised and self._second_breaks_off:
            raise KeyboardInterrupt
        self.raised = True
        self.signum = signum

    @contextlib.contextmanager
    def installed(self, *signums: int) -> Iterator[StopFlag]:
        previous = {s: signal.signal(s, self) for s in signums}
        try:
            yield self
        finally:
            for s, handler in previous.items():
                signal.signal(s, handler)


def solve_document(
    doc: dict[str, Any],
    time_limit: float | None,
    *,
    where: str,
    should_stop: Callable[[], bool] | None = None,
    progress: Progress | None = None,
    quiet: bool = True,
) -> dict[str, Any]:
    """The result dictionary of one instance document. `should_stop` is asked as the
    solve goes and ends it like its time limit when true; `progress` receives the
    core's reports; `quiet` silences the core's own diagnostic lines."""
    import _pyzel_core

    def report(info: Any) -> bool:  # the dict the stubs call _Progress
        if progress is not None:
            progress(info)
        return bool(should_stop and should_stop())

    watched = should_stop is not None or progress is not None
    try:
        text = json.dumps(with_options(doc, {"quiet": True}) if quiet else doc)
    except (TypeError, ValueError) as err:
        raise InputError(f"{where}: {one_line(err)}") from None
    try:
        result: dict[str, Any] = _pyzel_core.solve_json_str(text, time_limit or -1,
                                                            progress=report if watched else None)
    except (RuntimeError, IndexError, ValueError) as err:
        raise InputError(f"{where}: {one_line(err)}") from None
    except MemoryError:  # the core's std::bad_alloc, or ours
        raise InputError(f"{where}: out of memory ({memory_limit_text(doc)})") from None
    return result


def memory_limit_text(doc: Any) -> str:
    """The memory limit a solve of `doc` ran under, in words: its own "memory_limit",
    or what the automatic one is drawn from (the address-space and cgroup limits, the
    machine's memory), whichever is smallest."""
    options = doc.get("options") if isinstance(doc, dict) else None
    asked = options.get("memory_limit") if isinstance(options, dict) else None
    if isinstance(asked, int) and not isinstance(asked, bool) and asked > 0:
        return f'memory limit "memory_limit": {asked} MiB'
    bounds = []
    with contextlib.suppress(OSError, ValueError):
        bounds.append((os.sysconf("SC_PHYS_PAGES") * os.sysconf("SC_PAGE_SIZE"), "physical memory"))
    soft, _ = resource.getrlimit(resource.RLIMIT_AS)
    if soft != resource.RLIM_INFINITY:
        bounds.append((soft, "address-space limit (ulimit -v)"))
    for path in ("/sys/fs/cgroup/memory.max", "/sys/fs/cgroup/memory/memory.limit_in_bytes"):
        with contextlib.suppress(OSError, ValueError):
            bounds.append((int(Path(path).read_text()), "cgroup memory limit"))
            break
    if not bounds:
        return "automatic memory limit"
    size, what = min(bounds)
    return f"automatic memory limit, drawn from the {what} of {size >> 20} MiB"


def one_line(err: BaseException) -> str:
    """An error's text on one line."""
    text = " ".join(str(err).split())
    return text or type(err).__name__
