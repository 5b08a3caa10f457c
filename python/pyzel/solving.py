"""One solve in this process: the options pyzel sets, the stop flag that Ctrl-C
raises, and the progress report."""

from __future__ import annotations

import contextlib
import json
import math
import signal
from collections.abc import Callable, Iterator
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
    return result


def one_line(err: BaseException) -> str:
    """An error's text on one line."""
    text = " ".join(str(err).split())
    return text or type(err).__name__
