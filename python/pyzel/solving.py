"""The one road from a document and the user's options to a solve: the table of
pyzel's defaults, the solve in this process, the stop flag that Ctrl-C raises, and
the progress report. The command line, `Model.solve` and `solve_many` all take it."""

from __future__ import annotations

import contextlib
import json
import math
import os
import resource
import signal
import time
from collections.abc import Callable, Iterator, Mapping
from pathlib import Path
from typing import Any

from . import values
from .diagnose import infeasible, unsolved_result
from .document import Instance, capacities_stated, instance_from, objective_of, penalties_stated, sequence_stated
from .errors import InputError

Progress = Callable[[dict[str, Any]], Any]


# Where neither the user nor the document says: the improvement phase is on, with as many
# walks at once ("threads") as this process may use cores, and so is "enforce_capacities"
# when some agent has a capacity and some target a demand (see `capacities_stated`), and
# "enforce_sequence" when the document states pairs. A budget sets both budgets and lifts the clock unless a time limit is given too; None for
# any of the user's options keeps the document's own.
DEFAULTS: dict[str, Any] = {"improve": True}


def available_cores() -> int:
    """The cores this process may run on (its affinity where the system tells it)."""
    try:
        return max(1, len(os.sched_getaffinity(0)))
    except (AttributeError, OSError):
        return max(1, os.cpu_count() or 1)


DISTANCE_NEEDS_IMPROVE = 'the option "minimise": "distance" is honoured by the improvement phase: set "improve": true'
SEQUENCE_NEEDS_IMPROVE = 'the option "enforce_sequence" is honoured by the improvement phase: set "improve": true'
PENALTIES_NEED_IMPROVE = 'penalties are honoured by the improvement phase: set "improve": true'


def with_options(doc: dict[str, Any], overrides: dict[str, Any]) -> dict[str, Any]:
    """The document with some options replaced; the document given is left as it is."""
    if not overrides:
        return doc
    options = doc.get("options", {})
    merged = dict(options) if isinstance(options, dict) else {}
    merged.update(overrides)
    return {**doc, "options": merged}


def prepare(
    doc: dict[str, Any],
    *,
    time_limit: float | None = None,
    improve: bool | None = None,
    seed: int | None = None,
    budget: int | None = None,
    options: Mapping[str, Any] | None = None,
    threads: int | None = None,
) -> tuple[dict[str, Any], float | None]:
    """The document to solve and the time limit to solve it with (None: the document's
    own): pyzel's defaults where the document says nothing, then `options`, then the
    named ones. `budget` is the search's expansions and the improvement phase's
    iterations (of each of its `threads` walks) alike; alone, with a given number of
    threads, it ends the solve where it ends on any machine."""
    if time_limit is not None:
        time_limit = values.positive(time_limit, "time_limit")
    given = doc.get("options")
    defaults = dict(DEFAULTS, threads=available_cores())
    if capacities_stated(doc):
        defaults["enforce_capacities"] = True
    if sequence_stated(doc):
        defaults["enforce_sequence"] = True
    overrides = {k: v for k, v in defaults.items() if not (isinstance(given, dict) and k in given)}
    overrides.update(options or {})
    if improve is not None:
        overrides["improve"] = values.flag(improve, "improve")
    if seed is not None:
        overrides["seed"] = values.count(seed, "seed", 0)
    if threads is not None:
        overrides["threads"] = values.count(threads, "threads", 1)
    if budget is not None:
        overrides["max_iterations"] = overrides["max_expansions"] = values.count(budget, "budget", 1)
        if time_limit is None:
            time_limit = math.inf
    doc = with_options(doc, overrides)
    chosen = doc.get("options", {})
    if isinstance(chosen, dict) and not chosen.get("improve"):
        # The exact search knows none of these rules; the core refuses them alike.
        if chosen.get("minimise") == "distance" and objective_of(doc) == "min_sum":
            raise InputError(DISTANCE_NEEDS_IMPROVE)
        if chosen.get("enforce_sequence") is True and sequence_stated(doc):
            raise InputError(SEQUENCE_NEEDS_IMPROVE)
        if penalties_stated(doc):
            raise InputError(PENALTIES_NEED_IMPROVE)
    return doc, time_limit


def enforced_rules(doc: Any) -> list[str]:
    """What the options of a document to solve make the solver enforce beyond its routes,
    windows and limits, in a few words each (for the summary)."""
    options = doc.get("options") if isinstance(doc, dict) else None
    if not isinstance(options, dict):
        return []
    rules = ['capacities enforced ("enforce_capacities")'] if options.get("enforce_capacities") is True else []
    if options.get("enforce_sequence") is True:
        rules.append('sequence pairs enforced ("enforce_sequence")')
    if options.get("minimise") == "distance" and objective_of(doc) == "min_sum":
        rules.append('distance minimised ("minimise": "distance")')
    return rules


def phase_threads(doc: Any) -> int | None:
    """The walks the improvement phase of a document to solve runs at once; None
    without the phase."""
    options = doc.get("options") if isinstance(doc, dict) else None
    if not isinstance(options, dict) or options.get("improve") is not True:
        return None
    threads = options.get("threads", 1)
    return threads if isinstance(threads, int) and not isinstance(threads, bool) else None


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
    where: str | None = None,
    should_stop: Callable[[], bool] | None = None,
    progress: Progress | None = None,
    quiet: bool = True,
    instance: Instance | None = None,
) -> dict[str, Any]:
    """The result dictionary of one document as `prepare` gives it (`instance`: the
    document as read already, when the caller has it). `should_stop` is
    asked as the solve goes and ends it like its time limit when true, as does a
    truthy answer of `progress`, which receives the core's reports; `quiet` silences
    the core's own diagnostic lines. Errors name `where`, when given. An instance the
    cheap tests of `diagnose` prove infeasible is not solved: its result is "failed" at
    once, with the proof under "reasons"."""
    import _pyzel_core

    def report(info: Any) -> bool:  # the dict the stubs call _Progress
        stop = bool(progress(info)) if progress is not None else False
        return stop or bool(should_stop and should_stop())

    def failed(err: BaseException) -> InputError:
        return InputError(f"{where}: {one_line(err)}" if where else one_line(err))

    hopeless = _proven_infeasible(doc, instance)
    if hopeless is not None:
        return hopeless
    watched = should_stop is not None or progress is not None
    try:
        text = json.dumps(with_options(doc, {"quiet": True}) if quiet else doc)
    except (TypeError, ValueError) as err:
        raise failed(err) from None
    try:
        result: dict[str, Any] = _pyzel_core.solve_json_str(text, -1 if time_limit is None else time_limit,
                                                            progress=report if watched else None)
    except (RuntimeError, IndexError, ValueError) as err:
        raise failed(err) from None
    except MemoryError:  # the core's std::bad_alloc, or ours
        raise InputError(f"{where + ': ' if where else ''}out of memory ({memory_limit_text(doc)})") from None
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


def _proven_infeasible(doc: dict[str, Any], instance: Instance | None) -> dict[str, Any] | None:
    began = time.monotonic()
    try:
        instance = instance or instance_from(doc)
    except InputError:
        return None  # the core names what it cannot read
    reasons = infeasible(instance)
    return unsolved_result(instance, reasons, time.monotonic() - began) if reasons else None


def one_line(err: BaseException) -> str:
    """An error's text on one line."""
    text = " ".join(str(err).split())
    return text or type(err).__name__
