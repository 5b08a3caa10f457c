"""The ``pyzel`` command line: solve, check, convert, validate and plot.

Exit status: 0 success; 1 a result that violates its instance (validate), an
instance without solution (solve) or warnings (check); 2 bad input, reported in one line.
"""

from __future__ import annotations

import argparse
import contextlib
import dataclasses
import io
import math
import os
import signal
import sys
from collections.abc import Iterator, Sequence
from pathlib import Path
from typing import Any, NoReturn

from . import __version__
from .diagnose import failure_reasons
from .document import Instance, check_result_shape, dumps, instance_from, objective_of, read_json
from .errors import InputError
from .report import print_reasons, print_summary, row_line, summary_table
from .schema import instance_warnings
from .solving import memory_limit_text

EXIT_OK = 0
EXIT_INVALID = 1
EXIT_BAD_INPUT = 2
EXIT_INTERRUPTED = 130  # as a shell reports a program ended by SIGINT
EXIT_TERMINATED = 143  # and by SIGTERM
SEARCH_MAX_NODES = 256  # beyond, the core solves with the improvement phase alone

_TSPLIB_SUFFIXES = (".tsp", ".atsp", ".vrp", ".hcp", ".sop")


class _Parser(argparse.ArgumentParser):
    """Usage mistakes end in one line, like every other bad input."""

    def error(self, message: str) -> NoReturn:
        self.exit(EXIT_BAD_INPUT, f"{self.prog}: error: {message} (see {self.prog} --help)\n")


def main(argv: Sequence[str] | None = None) -> int:
    # A file name that is not UTF-8 is printed back byte for byte, as the shell gave it.
    if isinstance(sys.stdout, io.TextIOWrapper):
        sys.stdout.reconfigure(errors="surrogateescape")
    args = build_parser().parse_args(argv)
    stdout, sys.stdout = sys.stdout, _ReaderMayLeave(sys.stdout)
    try:
        status: int = args.run(args)
        return status
    except InputError as err:
        print(f"pyzel: error: {err}", file=sys.stderr)
        if err.hint:
            print(f"pyzel: hint: {err.hint}", file=sys.stderr)
        return EXIT_BAD_INPUT
    except MemoryError:  # the solve names its instance; elsewhere one line says what ran out
        print(f"pyzel: error: out of memory ({memory_limit_text(None)})", file=sys.stderr)
        return EXIT_BAD_INPUT
    except KeyboardInterrupt:
        if argv is None:
            _ctrl_c_ends_quietly()
        print("pyzel: interrupted", file=sys.stderr)
        return EXIT_INTERRUPTED
    finally:
        sys.stdout.flush()
        sys.stdout = stdout
        if argv is None:
            _ctrl_c_ends_quietly()


def _ctrl_c_ends_quietly() -> None:
    """From here on the command only ends: everything to keep is written. A further
    Ctrl-C, which would raise amid the exit (in the progress bar's tear-down, say)
    and print a traceback there, is ignored; ignoring, unlike a handler of ours, also
    outlasts the interpreter's restoring the default action as it shuts down."""
    signal.signal(signal.SIGINT, signal.SIG_IGN)


class _ReaderMayLeave:
    """Standard output whose reader may go away (``pyzel solve ... | tee log``, then
    Ctrl-C, or ``| head``): from then on what is printed goes nowhere and the command
    goes on, so that its files are still written and its exit status is still the
    documented one."""

    def __init__(self, stream: Any) -> None:
        self._stream = stream
        self._gone = False

    def write(self, text: str) -> int:
        if not self._gone:
            try:
                return int(self._stream.write(text))
            except BrokenPipeError:
                self._reader_left()
        return len(text)

    def flush(self) -> None:
        if not self._gone:
            try:
                self._stream.flush()
            except BrokenPipeError:
                self._reader_left()

    def _reader_left(self) -> None:
        self._gone = True
        # What is still buffered, and the interpreter's last flush, go to the null device.
        with contextlib.suppress(OSError, ValueError):
            os.dup2(os.open(os.devnull, os.O_WRONLY), self._stream.fileno())

    def __getattr__(self, name: str) -> Any:
        return getattr(self._stream, name)


def build_parser() -> argparse.ArgumentParser:
    parser = _Parser(prog="pyzel", description="ZEL multiple travelling salesman solver.")
    parser.add_argument("--version", action="version", version=f"pyzel {__version__}")
    commands = parser.add_subparsers(dest="command", required=True, parser_class=_Parser, metavar="COMMAND")

    solve = commands.add_parser("solve", help="solve one or many JSON instances")
    solve.add_argument("instances", nargs="+", metavar="INSTANCE.json")
    solve.add_argument("--time-limit", type=float, metavar="S", help="seconds; replaces the instance's own limit")
    solve.add_argument("--output", metavar="RESULT.json", help="write the result dictionary (one instance); - for standard output")
    solve.add_argument("--plot", metavar="ROUTES.png", help="draw the routes and the anytime curve (one instance)")
    solve.add_argument("--output-dir", metavar="DIR", help="write NAME.result.json for every instance")
    solve.add_argument("--jobs", type=int, default=1, metavar="N", help="worker processes for many instances")
    solve.add_argument("--scheduler", metavar="ADDRESS", help="run the solves on this Dask scheduler's cluster")
    solve.add_argument("--verbose", action="store_true", help="show the solver's own diagnostic lines")
    solve.add_argument("--schedule", action="store_true",
                       help="print every stop's arrival, wait, start of service and departure (one instance)")
    solve.add_argument("--objective", choices=("min_max", "min_sum"), help="replaces the instance's objective")
    mode = solve.add_mutually_exclusive_group()
    mode.add_argument("--improve", dest="improve", action="store_const", const=True,
                      help="improve by local search once the search stalls (pyzel's default)")
    mode.add_argument("--exact", dest="improve", action="store_const", const=False,
                      help="the search alone, without the improvement phase")
    solve.add_argument("--seed", type=int, metavar="N", help="seed of the improvement phase")
    solve.add_argument("--budget", type=int, metavar="N",
                       help="iterations of the improvement phase (of each of its walks) and expansions of "
                            "the search; the same --seed, --budget and --threads give the same answer on any "
                            "machine (no time limit unless --time-limit is given too)")
    solve.add_argument("--threads", type=int, metavar="N",
                       help="walks of the improvement phase at once, one core each (default: the cores this "
                            "process may use; 1 per instance when --jobs or --scheduler runs instances side by side)")
    shown = solve.add_mutually_exclusive_group()
    shown.add_argument("--progress", action="store_true", help="show the progress line even off a terminal")
    shown.add_argument("--quiet", action="store_true", help="no progress line, even on a terminal")
    solve.set_defaults(run=_cmd_solve)

    convert = commands.add_parser("convert", help="turn a TSPLIB or VRPLIB file into a JSON instance")
    convert.add_argument("tsplib_file", metavar="INSTANCE.tsp|.vrp")
    convert.add_argument("--agents", "--vehicles", dest="agents", type=int, metavar="M",
                         help="number of agents (a VRPLIB file: default the routes of the .sol "
                              "beside it, else its VEHICLES, else total demand over capacity)")
    convert.add_argument("--objective", choices=("min_max", "min_sum"), default="min_max")
    convert.add_argument("--depot", type=int, default=0, metavar="INDEX", help="node index of the depot (from 0)")
    convert.add_argument("--time-limit", type=float, default=60.0, metavar="S")
    convert.add_argument(
        "--distances",
        choices=("rounded", "real", "truncated"),
        help="TSPLIB's rounded distances (default; a VRPLIB file with windows: truncated to one "
             "decimal), or the real ones without rounding",
    )
    convert.add_argument("-o", "--output", metavar="OUT.json", help="write here instead of standard output")
    convert.set_defaults(run=_cmd_convert)

    check = commands.add_parser("check", help="check instances against the instance format before solving")
    check.add_argument("instances", nargs="+", metavar="INSTANCE.json")
    check.set_defaults(run=_cmd_check)

    validate = commands.add_parser("validate", help="check a result against its instance")
    validate.add_argument("instance", metavar="INSTANCE.json")
    validate.add_argument("result", metavar="RESULT.json")
    validate.add_argument("--schedule", action="store_true",
                          help="print every stop's arrival, wait, start of service and departure")
    validate.set_defaults(run=_cmd_validate)

    plot = commands.add_parser("plot", help="draw a result's routes and anytime curve")
    plot.add_argument("instance", metavar="INSTANCE.json")
    plot.add_argument("result", metavar="RESULT.json")
    plot.add_argument("-o", "--output", required=True, metavar="ROUTES.png")
    plot.add_argument("--title", help="the picture's title (default: the instance name)")
    plot.set_defaults(run=_cmd_plot)
    return parser


# --- solve -------------------------------------------------------------------------------------


def _cmd_solve(args: argparse.Namespace) -> int:
    if args.time_limit is not None and not 0 < args.time_limit < math.inf:
        raise InputError("--time-limit must be greater than 0 and finite")
    if args.jobs < 1:
        raise InputError("--jobs must be at least 1")
    if args.plot:
        _require_matplotlib()
    for flag, least in (("seed", 0), ("budget", 1), ("threads", 1)):
        value = getattr(args, flag)
        if value is not None and value < least:
            raise InputError(f"--{flag} must be at least {least}")
    if len(args.instances) == 1 and not args.scheduler:
        return _solve_one(args)
    if args.output or args.plot or args.schedule:
        raise InputError("--output, --plot and --schedule take a single instance; use --output-dir for many")
    return _solve_batch(args)


def _solve_one(args: argparse.Namespace) -> int:
    from . import progress
    from .solving import StopFlag, enforced_rules, phase_threads, solve_document

    path = args.instances[0]
    targets = _result_targets(path, args)
    for target in ([args.output] if args.output else []) + ([args.plot] if args.plot else []):
        _check_writable(target, path, folder_made=False)
    if args.output_dir:
        _check_writable(_result_path(path, args.output_dir), path, folder_made=True)
    doc, time_limit, instance = _read_solve_instance(path, args)
    line = progress.SolveLine(Path(path).name) if progress.wanted(args.progress, args.quiet) else None
    flag = StopFlag(second_breaks_off=True)
    try:
        # A first Ctrl-C stops the search as its time limit would, so that what it found is kept.
        with flag.installed(signal.SIGINT):
            result = solve_document(doc, time_limit, where=path, should_stop=lambda: flag.raised,
                                    progress=line, quiet=not args.verbose, instance=instance)
    except InputError as err:
        options = doc.get("options")
        if len(instance.node_ids) > SEARCH_MAX_NODES and not (isinstance(options, dict) and options.get("improve")):
            raise InputError(str(err), hint="the improvement phase takes larger instances: solve without "
                                            '--exact (or with "improve": true in the options)') from None
        raise
    finally:
        if line is not None:
            line.close()
    if flag.raised and result["status"] != "success":
        print("pyzel: interrupted before any solution was found", file=sys.stderr)
        causes = failure_reasons(instance)
        if causes:
            print_reasons(causes, file=sys.stderr)
        return EXIT_INTERRUPTED
    # The files first: they must not depend on a reader of standard output (| tee, then Ctrl-C).
    for target in targets:
        if target != "-":
            _write_text(target, dumps(result))
    if args.plot:
        from .plot import plot_solution

        plot_solution(instance, result, args.plot, title=instance.name or Path(path).stem)
    # With the result on standard output, everything else goes to standard error.
    real_stdout = sys.stdout
    with contextlib.redirect_stdout(sys.stderr) if args.output == "-" else contextlib.nullcontext():
        print_summary(path, instance, result, interrupted=flag.raised, rules=enforced_rules(doc),
                      threads=phase_threads(doc))
        if result["status"] != "success":
            print_reasons(failure_reasons(instance, result))
        elif args.schedule:
            _print_schedule(instance, result)
        for target in targets:
            if target == "-":
                real_stdout.write(dumps(result))
                real_stdout.flush()
            else:
                print(f"result written to {target}")
        if args.plot:
            print(f"picture written to {args.plot}")
    if flag.raised:
        return EXIT_INTERRUPTED
    return EXIT_OK if result["status"] == "success" else EXIT_INVALID


def _print_warnings(path: str, doc: Any) -> None:
    """What `pyzel check` finds, on standard error: the solve goes on as the solver reads the document."""
    for line in instance_warnings(doc):
        print(f"pyzel: warning: {path}: {line}", file=sys.stderr)


def _result_targets(path: str, args: argparse.Namespace) -> list[str]:
    targets = [args.output] if args.output else []
    if args.output_dir:
        targets.append(_result_path(path, args.output_dir))
    return targets


def _solve_batch(args: argparse.Namespace) -> int:
    from . import progress
    from .batch import iter_answers
    from .solving import StopFlag
    from .worker import end_running

    paths = args.instances
    if args.output_dir:
        stems = [Path(p).stem for p in paths]
        clash = next((s for s in stems if stems.count(s) > 1), None)
        if clash is not None:
            raise InputError(f"two instances are named {clash}; their results would overwrite each other")
        _make_dir(args.output_dir)
        if not os.access(args.output_dir, os.W_OK):
            raise InputError(f"{args.output_dir}: cannot write: Permission denied")
    client = None
    if args.scheduler:
        from .cluster import connect

        if args.jobs != 1:
            raise InputError("--jobs and --scheduler exclude each other: the cluster's workers run the solves")
        client = connect(args.scheduler)
    rows: list[dict[str, Any]] = []
    requests, request_paths = [], []
    for path in paths:
        try:
            doc, time_limit, _ = _read_solve_instance(path, args)
        except InputError as err:
            rows.append({"instance": path, "error": str(err)})
            continue
        requests.append({"name": path, "doc": doc, "time_limit": time_limit})
        request_paths.append(path)
    line = progress.BatchLine(len(paths)) if progress.wanted(args.progress, args.quiet) else None

    reported = 0

    def report(row: dict[str, Any]) -> None:
        nonlocal reported
        reported += 1
        text = f"[{reported}/{len(paths)}] {row_line(row)}"
        if line is not None:
            line.finished(text, "error" in row)
        else:
            print(text, flush=True)

    for row in rows:
        report(row)
    flag = StopFlag(second_breaks_off=True)
    cancelled = 0
    try:
        with flag.installed(signal.SIGINT), _ending_workers_on_sigterm(end_running):
            for k, answer in iter_answers(requests, client, args.jobs, lambda: flag.raised):
                if answer.get("cancelled"):
                    cancelled += 1
                    continue
                rows.append(_batch_row(request_paths[k], answer, args.output_dir))
                report(rows[-1])
    finally:
        if line is not None:
            line.close()
        if client is not None:
            client.close()
    order = {p: i for i, p in enumerate(paths)}
    rows.sort(key=lambda r: order[r["instance"]])
    print()
    print(summary_table(rows))
    if cancelled:
        print(f"interrupted: {cancelled} not begun and cancelled")
    if flag.raised:
        return EXIT_INTERRUPTED
    if any("error" in r for r in rows):
        return EXIT_BAD_INPUT
    return EXIT_OK if all(r["status"] == "success" for r in rows) else EXIT_INVALID


@contextlib.contextmanager
def _ending_workers_on_sigterm(end_running: Any) -> Iterator[None]:
    """SIGTERM ends the workers with us: none is left holding a core or our pipes."""

    def handler(signum: int, frame: Any) -> None:
        ended = end_running()
        print(f"pyzel: terminated; {ended} running worker{'s' if ended != 1 else ''} ended", file=sys.stderr)
        raise SystemExit(EXIT_TERMINATED)

    previous = signal.signal(signal.SIGTERM, handler)
    try:
        yield
    finally:
        signal.signal(signal.SIGTERM, previous)


def _batch_row(path: str, answer: dict[str, Any], output_dir: str | None) -> dict[str, Any]:
    from .worker import answer_error

    row: dict[str, Any] = {"instance": path}
    if "result" not in answer:
        row["error"] = answer_error(answer)
        return row
    result = answer["result"]
    stats = result["statistics"]
    row.update(
        status=result["status"],
        timeout=result["timeout"],
        interrupted=bool(answer.get("interrupted")),
        max_cost=stats["max_cost"],
        sum_cost=stats["sum_cost"],
        solve_time=stats["solve_time"],
    )
    if "unassigned" in result:
        row["left_out"] = len(result["unassigned"])
    if output_dir:
        target = _result_path(path, output_dir)
        try:
            _write_text(target, dumps(result))
            row["output"] = target
        except InputError as err:
            row["error"] = str(err)
    return row


def _read_solve_instance(path: str, args: argparse.Namespace) -> tuple[dict[str, Any], float | None, Instance]:
    """The document to solve, with pyzel's defaults and the flags' options, its time
    limit, and the instance it describes."""
    from .solving import prepare

    if Path(path).suffix.lower() in _TSPLIB_SUFFIXES:
        raise InputError(
            f"{path}: a TSPLIB file, not a JSON instance; turn it into one first: "
            f"pyzel convert {path}{'' if Path(path).suffix.lower() == '.vrp' else ' --agents M'} "
            f"-o {Path(path).stem}.json"
        )
    try:
        doc, instance = _read_instance(path)
    except MemoryError:
        raise InputError(f"{path}: out of memory ({memory_limit_text(None)})") from None
    _print_warnings(path, doc)
    options = {"objective": args.objective} if args.objective else {}
    threads = args.threads
    if threads is None and (args.scheduler or (len(args.instances) > 1 and args.jobs > 1)):
        threads = 1  # instances side by side share the cores
    try:
        doc, time_limit = prepare(doc, time_limit=args.time_limit, improve=args.improve, seed=args.seed,
                                  budget=args.budget, options=options, threads=threads)
    except InputError as err:
        raise InputError(f"{path}: {err}", hint="solve without --exact") from None
    chosen = doc["options"]  # of the options, only these show in the summary and the diagnosis
    return doc, time_limit, dataclasses.replace(instance, objective=objective_of(doc),
                                                enforce_capacities=chosen.get("enforce_capacities"),
                                                enforce_sequence=chosen.get("enforce_sequence"))


def _check_writable(target: str, input_path: str, folder_made: bool) -> None:
    """Refuses, before the solve, an output that would overwrite the instance or
    that cannot be written; its folder must exist unless the option makes it
    (--output-dir)."""
    if target == "-":
        return
    if os.path.exists(target) and os.path.exists(input_path) and os.path.samefile(target, input_path):
        raise InputError(f"{target}: is the instance itself; choose another output file")
    if os.path.isdir(target):
        raise InputError(f"{target}: cannot write: Is a directory")
    parent = os.path.dirname(os.path.abspath(target))
    if not folder_made and not os.path.exists(parent):
        raise InputError(f"{target}: cannot write: No such directory {os.path.dirname(target)}")
    while not os.path.exists(parent):
        parent = os.path.dirname(parent)
    if not os.path.isdir(parent):
        raise InputError(f"{target}: cannot write: {parent} is not a directory")
    if not os.access(target if os.path.exists(target) else parent, os.W_OK):
        raise InputError(f"{target}: cannot write: Permission denied")


# --- check, convert, validate, plot --------------------------------------------------------------


def _cmd_check(args: argparse.Namespace) -> int:
    from .diagnose import infeasible

    found = 0
    for path in args.instances:
        doc = read_json(path)
        lines = instance_warnings(doc)
        try:  # the cheap tests a solve runs first
            lines += [f"infeasible: {line}" for line in infeasible(instance_from(doc))]
        except InputError:
            pass  # a document the solver cannot read: the warnings say where
        for line in lines:
            print(f"{path}: {line}")
        if not lines:
            print(f"{path}: ok")
        found += len(lines)
    return EXIT_INVALID if found else EXIT_OK


def _cmd_convert(args: argparse.Namespace) -> int:
    try:
        from . import tsplib, vrp
    except ImportError as err:
        raise InputError(f"convert needs {err.name or 'numpy and vrplib'}: pip install numpy vrplib") from None

    try:
        if vrp.is_vrp_text(tsplib.read_text(args.tsplib_file)):
            return _convert_vrp(args, vrp)
        data = tsplib.read(args.tsplib_file)
        if args.agents is None:
            raise InputError("a TSPLIB file needs the number of agents: --agents M")
        doc = tsplib.to_instance(
            data,
            agents=args.agents,
            objective=args.objective,
            depot=args.depot,
            time_limit=args.time_limit,
            distances=args.distances or "rounded",
        )
    except OSError as err:
        raise InputError(f"{args.tsplib_file}: cannot read: {err.strerror or err}") from None
    except tsplib.TsplibError as err:
        raise InputError(f"{args.tsplib_file}: {err}") from None
    _write_converted(args, doc)
    if args.output:
        print(
            f"{args.output}: {data.dimension} nodes, {args.agents} agents, {args.objective}, "
            f"{args.distances or 'rounded'} {data.edge_weight_type} distances, depot {args.depot}"
        )
    return EXIT_OK


def _convert_vrp(args: argparse.Namespace, vrp: Any) -> int:
    """A VRPLIB fleet: its own depot, vehicles and distance convention."""
    data = vrp.read(args.tsplib_file)
    count, source = vrp.fleet_size(data, args.tsplib_file, args.agents)
    distances = args.distances or vrp.default_distances(data)
    doc = vrp.to_instance(data, vehicles=count, objective=args.objective, time_limit=args.time_limit,
                          distances=distances)
    _write_converted(args, doc)
    where = args.output or "standard output"
    print(f"{where}: {data.nodes.dimension} nodes, {count} vehicles ({source}), capacity {data.capacity}, "
          f"{args.objective}, {distances} distances{', windows' if data.windows else ''}",
          file=sys.stdout if args.output else sys.stderr)
    return EXIT_OK


def _write_converted(args: argparse.Namespace, doc: dict[str, Any]) -> None:
    text = dumps(doc)
    if args.output:
        _write_text(args.output, text)
    else:
        sys.stdout.write(text)


def _cmd_validate(args: argparse.Namespace) -> int:
    from .validate import check_result

    _, instance = _read_instance(args.instance)
    result = _read_result(args.result, instance)
    problems = check_result(instance, result)
    if args.schedule and result["status"] == "success":
        _print_schedule(instance, result)
    if problems:
        for line in problems:
            print(line)
        print(f"invalid: {len(problems)} problem{'s' if len(problems) > 1 else ''} in {args.result}")
        return EXIT_INVALID
    stats = result["statistics"]
    targets, left_out = len(instance.node_ids) - len(instance.depots), len(result.get("unassigned", []))
    served = f"{targets} targets each visited once" if not left_out else (
        f"{targets - left_out} of {targets} targets each visited once, {left_out} left out"
        f" (penalty {result.get('penalty', 0.0):.6g})")
    print(f"valid: {len(instance.agents)} agents, {served}, max {stats['max_cost']:.6g}, sum {stats['sum_cost']:.6g}")
    return EXIT_OK


def _cmd_plot(args: argparse.Namespace) -> int:
    _require_matplotlib()
    from .plot import plot_solution

    _, instance = _read_instance(args.instance)
    result = _read_result(args.result, instance)
    plot_solution(instance, result, args.output, title=args.title or instance.name or Path(args.instance).stem)
    print(f"picture written to {args.output}")
    return EXIT_OK


# --- helpers -------------------------------------------------------------------------------------


def _print_schedule(instance: Instance, result: dict[str, Any]) -> None:
    from .solution import schedule_rows, schedule_table

    print("schedule (node ids; wait for the window or a pair, then service from start to departure):")
    print(schedule_table(schedule_rows(instance, result)))


def _read_instance(path: str) -> tuple[Any, Instance]:
    doc = read_json(path)
    try:
        return doc, instance_from(doc, name=Path(path).stem)
    except InputError as err:
        raise InputError(f"{path}: {err}") from None


def _read_result(path: str, instance: Instance) -> dict[str, Any]:
    result = read_json(path)
    try:
        check_result_shape(result, instance)
    except InputError as err:
        raise InputError(f"{path}: {err}") from None
    return dict(result)


def _require_matplotlib() -> None:
    from .plot import INSTALL_HINT, have_matplotlib

    if not have_matplotlib():
        raise InputError(INSTALL_HINT)


def _result_path(instance_path: str, output_dir: str) -> str:
    return os.path.join(output_dir, Path(instance_path).stem + ".result.json")


def _make_dir(path: str) -> None:
    try:
        os.makedirs(path, exist_ok=True)
    except OSError as err:
        raise InputError(f"{path}: cannot create directory: {err.strerror or err}") from None


def _write_text(path: str, text: str) -> None:
    try:
        parent = os.path.dirname(path)
        if parent:
            os.makedirs(parent, exist_ok=True)
        with open(path, "w", encoding="utf-8") as handle:
            handle.write(text)
    except OSError as err:
        raise InputError(f"{path}: cannot write: {err.strerror or err}") from None
