"""One solve in this process: the options pyzel sets, the stop flag that Ctrl-C
raises, the progress report, and the solver's own diagnostic lines kept off the
streams."""

from __future__ import annotations

import contextlib
import json
import math
import os
import signal
import sys
import tempfile
from collections.abc import Callable, Iterator
from typing import Any

from .errors import InputError

Progress = Callable[[dict[str, Any]], Any]


def core_takes_progress() -> bool:
    """Whether the compiled module reports progress and stops on request (else Ctrl-C
    can only break the solve off, losing what it found)."""
    import _pyzel_core

    return "progress" in (_pyzel_core.solve_json_str.__doc__ or "")


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
    core's reports. Without the core's progress keyword both are left unused and
    Ctrl-C breaks the solve off (KeyboardInterrupt)."""
    import _pyzel_core

    kwargs: dict[str, Any] = {}
    if (should_stop or progress) and core_takes_progress():

        def report(info: dict[str, Any]) -> bool:
            if progress is not None:
                progress(info)
            return bool(should_stop and should_stop())

        kwargs["progress"] = report
    # The core silences its own diagnostic lines with the option "quiet"; one that
    # has no such option is silenced from outside.
    own_quiet = quiet and hasattr(_pyzel_core.Options(), "quiet")
    try:
        text = json.dumps(with_options(doc, {"quiet": True}) if own_quiet else doc)
    except (TypeError, ValueError) as err:
        raise InputError(f"{where}: {one_line(err)}") from None
    try:
        with _silenced(quiet and not own_quiet):
            result: dict[str, Any] = _pyzel_core.solve_json_str(text, time_limit or -1, **kwargs)
    except (RuntimeError, IndexError, ValueError) as err:
        raise InputError(f"{where}: {one_line(err)}") from None
    return result


@contextlib.contextmanager
def _silenced(quiet: bool) -> Iterator[None]:
    """Sends what the compiled solver writes to the process's own streams to nowhere."""
    if not quiet:
        yield
        return
    sys.stdout.flush()
    sys.stderr.flush()
    saved = [os.dup(1), os.dup(2)]
    try:
        with tempfile.TemporaryFile() as sink:
            os.dup2(sink.fileno(), 1)
            os.dup2(sink.fileno(), 2)
            yield
    finally:
        os.dup2(saved[0], 1)
        os.dup2(saved[1], 2)
        os.close(saved[0])
        os.close(saved[1])


def one_line(err: BaseException) -> str:
    """An error's text on one line."""
    text = " ".join(str(err).split())
    return text or type(err).__name__
