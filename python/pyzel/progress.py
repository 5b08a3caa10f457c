"""The live progress line that `pyzel solve` keeps on standard error while it works."""

from __future__ import annotations

import importlib
import os
import sys
import threading
from typing import IO, Any


def wanted(forced: bool, quiet: bool) -> bool:
    """On a terminal unless told otherwise: a line redrawn in place is noise in a log."""
    return forced or (not quiet and sys.stderr.isatty())


def _tqdm() -> Any:
    return importlib.import_module("tqdm").tqdm  # imported when drawn; untyped


def _stream() -> IO[str]:
    # A stream of its own on the terminal, so that the line is still seen while the
    # solver's own output is sent to nowhere.
    sys.stderr.flush()
    return os.fdopen(os.dup(sys.stderr.fileno()), "w", buffering=1)


class SolveLine:
    """One solve: elapsed time, best objective so far, phase and solutions found,
    from the core's progress reports. Removed when closed, before the summary."""

    def __init__(self, name: str) -> None:
        tqdm = _tqdm()
        self._name = name
        self._stream = _stream()
        self._bar = tqdm(total=None, file=self._stream, bar_format="{desc}", leave=False, mininterval=0)

    def __call__(self, info: dict[str, Any]) -> None:
        objective = info.get("objective")
        best = "-" if objective is None else f"{objective:.6g}"
        self._bar.set_description_str(
            f"{self._name}  {info.get('elapsed', 0.0):5.1f} s  best {best}  {info.get('phase', ''):<7}  "
            f"{info.get('solutions', 0)} solutions"
        )

    def close(self) -> None:
        try:
            self._bar.close()
        finally:  # a second Ctrl-C amid the close must not leave the stream to the collector
            self._stream.close()


class BatchLine:
    """A batch: instances done, running and failed so far, below the lines of those done."""

    def __init__(self, total: int) -> None:
        tqdm = _tqdm()
        self._bar = tqdm(total=total, file=sys.stderr, leave=False, dynamic_ncols=True,
                         bar_format="{n_fmt}/{total_fmt} instances done{postfix}  {elapsed}  |{bar}|")
        self._failed = 0
        # Redrawn between the instances too, so that the clock goes on.
        self._closed = threading.Event()
        self._ticker = threading.Thread(target=self._tick, daemon=True)
        self._ticker.start()

    def _tick(self) -> None:
        while not self._closed.wait(0.5):
            self._bar.refresh()

    def finished(self, line: str, failed: bool) -> None:
        _tqdm().write(line, file=sys.stdout)
        self._failed += failed
        if self._failed:
            self._bar.set_postfix_str(f", {self._failed} failed", refresh=False)
        self._bar.update(1)

    def close(self) -> None:
        self._closed.set()
        self._ticker.join()
        self._bar.close()
