"""The ``pyzel`` command line: solve, check, convert, validate and plot.

Exit status: 0 success; 1 a result that violates its instance (validate), an
instance without solution (solve) or warnings (check); 2 bad input, reported in one line.
"""

from __future__ import annotations

import argparse
import io
import json
import multiprocessing
import os
import sys
from collections.abc import Sequence
from concurrent.futures import ProcessPoolExecutor, as_completed
from pathlib import Path
from typing import Any, NoReturn

from . import __version__
from .diagnose import failure_reasons
from .document import Instance, check_result_shape, dumps, instance_from, read_json
from .errors import InputError
from .schema import instance_warnings

EXIT_OK = 0
EXIT_INVALID = 1
EXIT_BAD_INPUT = 2


class _Parser(argparse.ArgumentParser):
    """Usage mistakes end in one line, like every other bad input."""

    def error(self, message: str) -> NoReturn:
        self.exit(EXIT_BAD_INPUT, f"{self.prog}: error: {message} (see {self.prog} --help)\n")


def main(argv: Sequence[str] | None = None) -> int:
    # A file name that is not UTF-8 is printed back byte for byte, as the shell gave it.
    if isinstance(sys.stdout, io.TextIOWrapper):
        sys.stdout.reconfigure(errors="surrogateescape")
    args = build_parser().parse_args(argv)
    try:
        status: int = args.run(args)
        return status
    except InputError as err:
        print(f"pyzel: error: {err}", file=sys.stderr)
        return EXIT_BAD_INPUT
    except KeyboardInterrupt:
        print("pyzel: interrupted", file=sys.stderr)
        return 130
    except BrokenPipeError:
        # The reader went away (pyzel ... | head): stop quietly, as a program ended by SIGPIPE would.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        return 141


def build_parser() -> argparse.ArgumentParser:
    parser = _Parser(prog="pyzel", description="ZEL multiple travelling salesman solver.")
    parser.add_argument("--version", action="version", version=f"pyzel {__version__}")
    commands = parser.add_subparsers(dest="command", required=True, parser_class=_Parser, metavar="COMMAND")

    solve = commands.add_parser("solve", help="solve one or many JSON instances")
    solve.add_argument("instances", nargs="+", metavar="INSTANCE.json")
    solve.add_argument("--time-limit", type=float, metavar="S", help="seconds; replaces the instance's own limit")
    solve.add_argument("--output", metavar="RESULT.json", help="write the result dictionary (one instance)")
    solve.add_argument("--plot", metavar="ROUTES.png", help="draw the routes and the anytime curve (one instance)")
    solve.add_argument("--output-dir", metavar="DIR", help="write NAME.result.json for every instance")
    solve.add_argument("--jobs", type=int, default=1, metavar="N", help="worker processes for many instances")
    solve.add_argument("--verbose", action="store_true", help="show the solver's own diagnostic lines")
    solve.add_argument("--improve", action="store_true", help="improve by local search once the search stalls")
    solve.add_argument("--seed", type=int, metavar="N", help="seed of the improvement phase")
    solve.add_argument("--budget", type=int, metavar="N", help="iterations of the improvement phase")
    solve.set_defaults(run=_cmd_solve)

    convert = commands.add_parser("convert", help="turn a TSPLIB file into a JSON instance")
    convert.add_argument("tsplib_file", metavar="INSTANCE.tsp")
    convert.add_argument("--agents", type=int, required=True, metavar="M", help="number of agents")
    convert.add_argument("--objective", choices=("min_max", "min_sum"), default="min_max")
    convert.add_argument("--depot", type=int, default=0, metavar="INDEX", help="node index of the depot (from 0)")
    convert.add_argument("--time-limit", type=float, default=60.0, metavar="S")
    convert.add_argument(
        "--distances",
        choices=("rounded", "real"),
        default="rounded",
        help="TSPLIB's rounded distances (default) or the real ones without rounding",
    )
    convert.add_argument("-o", "--output", metavar="OUT.json", help="write here instead of standard output")
    convert.set_defaults(run=_cmd_convert)

    check = commands.add_parser("check", help="check instances against the instance format before solving")
    check.add_argument("instances", nargs="+", metavar="INSTANCE.json")
    check.set_defaults(run=_cmd_check)

    validate = commands.add_parser("validate", help="check a result against its instance")
    validate.add_argument("instance", metavar="INSTANCE.json")
    validate.add_argument("result", metavar="RESULT.json")
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
    if args.time_limit is not None and not args.time_limit > 0:
        raise InputError("--time-limit must be greater than 0")
    if args.jobs < 1:
        raise InputError("--jobs must be at least 1")
    if args.plot:
        _require_matplotlib()
    if len(args.instances) == 1:
        return _solve_one(args)
    if args.output or args.plot:
        raise InputError("--output and --plot take a single instance; use --output-dir for many")
    return _solve_batch(args)


def _solve_one(args: argparse.Namespace) -> int:
    path = args.instances[0]
    doc, instance = _read_instance(path)
    _print_warnings(path, doc)
    result = _solve(path, args.time_limit, quiet=not args.verbose, overrides=_option_overrides(args))
    _print_summary(path, instance, result)
    if result["status"] != "success":
        print("why no solution:")
        for line in failure_reasons(instance, result):
            print(f"  {line}")
    for target in _result_targets(path, args):
        _write_text(target, dumps(result))
        print(f"result written to {target}")
    if args.plot:
        from .plot import plot_solution

        plot_solution(instance, result, args.plot, title=instance.name or Path(path).stem)
        print(f"picture written to {args.plot}")
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
    paths = args.instances
    if args.output_dir:
        stems = [Path(p).stem for p in paths]
        clash = next((s for s in stems if stems.count(s) > 1), None)
        if clash is not None:
            raise InputError(f"two instances are named {clash}; their results would overwrite each other")
        _make_dir(args.output_dir)
    rows: list[dict[str, Any]] = []
    # Each solve holds the interpreter lock throughout, so only processes run them side by side.
    context = multiprocessing.get_context("spawn")
    with ProcessPoolExecutor(max_workers=min(args.jobs, len(paths)), mp_context=context) as pool:
        overrides = _option_overrides(args)
        futures = {pool.submit(solve_job, p, args.time_limit, args.output_dir, overrides): p for p in paths}
        for done, future in enumerate(as_completed(futures), start=1):
            try:
                row = future.result()
            except Exception as err:  # a worker that died takes no other instance with it
                row = {"instance": futures[future], "error": f"worker process failed: {err}"}
            rows.append(row)
            print(f"[{done}/{len(paths)}] {_row_line(row)}", flush=True)
    order = {p: i for i, p in enumerate(paths)}
    rows.sort(key=lambda r: order[r["instance"]])
    print()
    print(_summary_table(rows))
    if any("error" in r for r in rows):
        return EXIT_BAD_INPUT
    return EXIT_OK if all(r["status"] == "success" for r in rows) else EXIT_INVALID


def solve_job(
    path: str, time_limit: float | None, output_dir: str | None, overrides: dict[str, Any] | None = None
) -> dict[str, Any]:
    """Solves one instance of a batch inside a worker process; never raises."""
    row: dict[str, Any] = {"instance": path}
    try:
        _print_warnings(path, _read_instance(path)[0])
        result = _solve(path, time_limit, quiet=True, overrides=overrides)
        stats = result["statistics"]
        row.update(
            status=result["status"],
            timeout=result["timeout"],
            max_cost=stats["max_cost"],
            sum_cost=stats["sum_cost"],
            solve_time=stats["solve_time"],
        )
        if output_dir:
            row["output"] = _result_path(path, output_dir)
            _write_text(row["output"], dumps(result))
    except Exception as err:
        row["error"] = str(err) if isinstance(err, InputError) else f"{path}: {_one_line(err)}"
    return row


def _option_overrides(args: argparse.Namespace) -> dict[str, Any]:
    """The instance options the solve flags replace; empty when none is given."""
    overrides: dict[str, Any] = {}
    if args.improve:
        overrides["improve"] = True
    for flag, key in (("seed", "seed"), ("budget", "max_iterations")):
        value = getattr(args, flag)
        if value is not None:
            if value < 0:
                raise InputError(f"--{flag} must be at least 0")
            overrides[key] = value
    return overrides


def _solve(
    path: str, time_limit: float | None, quiet: bool, overrides: dict[str, Any] | None = None
) -> dict[str, Any]:
    import _pyzel_core

    # The core's own diagnostic lines are silenced by its option "quiet".
    overrides = {**(overrides or {}), **({"quiet": True} if quiet else {})}
    try:
        doc = read_json(path) if overrides else None
        if isinstance(doc, dict) and isinstance(doc.setdefault("options", {}), dict):
            doc["options"].update(overrides)
            result: dict[str, Any] = _pyzel_core.solve_json_str(json.dumps(doc), time_limit or -1)
        else:
            result = _pyzel_core.solve_json_file(os.fsencode(path), time_limit or -1)
    except (RuntimeError, IndexError, ValueError) as err:
        raise InputError(f"{path}: {_one_line(err)}") from None
    return result


def _print_summary(path: str, instance: Instance, result: dict[str, Any]) -> None:
    stats = result["statistics"]
    key = "max_cost" if instance.objective == "min_max" else "sum_cost"
    targets = len(instance.node_ids) - len(instance.depots)
    print(f"instance   {path}: {len(instance.node_ids)} nodes ({targets} targets), {len(instance.agents)} agents, {instance.objective}")
    ended = "time limit reached" if result["timeout"] else "search complete"
    print(f"status     {result['status']} ({ended})")
    if result["status"] == "success":
        print(f"objective  {stats[key]:.6g} ({'longest route' if key == 'max_cost' else 'sum of routes'})")
    print(f"max cost   {stats['max_cost']:.6g}")
    print(f"sum cost   {stats['sum_cost']:.6g}")
    print(f"counters   {stats['n_generated']} generated, {stats['n_expanded']} expanded")
    print(f"time       {stats['solve_time']:.3f} s solving, last improvement at {stats['last_update_time']:.3f} s")
    print("routes (node indices):")
    for route in result["routes"]:
        print(f"  agent {route['agent_id']}: cost {route['cost']:.6g}: {' '.join(map(str, route['path'])) or '-'}")
    _print_anytime(result.get("anytime", []))


def _print_anytime(anytime: list[dict[str, Any]], limit: int = 20) -> None:
    print(f"anytime record ({len(anytime)} improving solutions):")
    if not anytime:
        return
    print(f"  {'time [s]':>10} {'max_cost':>12} {'sum_cost':>12}")
    if len(anytime) > limit:
        print(f"  ... {len(anytime) - limit} earlier")
    for entry in anytime[-limit:]:
        print(f"  {entry['time']:>10.3f} {entry['max_cost']:>12.6g} {entry['sum_cost']:>12.6g}")


def _row_line(row: dict[str, Any]) -> str:
    if "error" in row:
        return f"{row['instance']}: error: {row['error']}"
    line = (
        f"{row['instance']}: {row['status']}, max {row['max_cost']:.6g}, sum {row['sum_cost']:.6g}, "
        f"{row['solve_time']:.2f} s{' (time limit)' if row['timeout'] else ''}"
    )
    return line + (f" -> {row['output']}" if "output" in row else "")


def _summary_table(rows: list[dict[str, Any]]) -> str:
    width = max([len("instance")] + [len(r["instance"]) for r in rows])
    lines = [f"{'instance':<{width}}  {'status':<8} {'max_cost':>12} {'sum_cost':>12} {'time [s]':>9}  timeout"]
    for r in rows:
        if "error" in r:
            lines.append(f"{r['instance']:<{width}}  {'error':<8} {'-':>12} {'-':>12} {'-':>9}  -")
            continue
        lines.append(
            f"{r['instance']:<{width}}  {r['status']:<8} {r['max_cost']:>12.6g} {r['sum_cost']:>12.6g} "
            f"{r['solve_time']:>9.2f}  {'yes' if r['timeout'] else 'no'}"
        )
    solved = sum(1 for r in rows if r.get("status") == "success")
    errors = sum(1 for r in rows if "error" in r)
    lines.append(f"{solved} solved, {len(rows) - solved - errors} without solution, {errors} failed with an error")
    return "\n".join(lines)


# --- check, convert, validate, plot --------------------------------------------------------------


def _cmd_check(args: argparse.Namespace) -> int:
    found = 0
    for path in args.instances:
        lines = instance_warnings(read_json(path))
        for line in lines:
            print(f"{path}: {line}")
        if not lines:
            print(f"{path}: ok")
        found += len(lines)
    return EXIT_INVALID if found else EXIT_OK


def _cmd_convert(args: argparse.Namespace) -> int:
    try:
        from . import tsplib
    except ImportError as err:
        raise InputError(f"convert needs {err.name or 'numpy and vrplib'}: pip install pyzel[tsplib]") from None

    try:
        data = tsplib.read(args.tsplib_file)
    except OSError as err:
        raise InputError(f"{args.tsplib_file}: cannot read: {err.strerror or err}") from None
    except tsplib.TsplibError as err:
        raise InputError(f"{args.tsplib_file}: {err}") from None
    doc = tsplib.to_instance(
        data,
        agents=args.agents,
        objective=args.objective,
        depot=args.depot,
        time_limit=args.time_limit,
        distances=args.distances,
    )
    text = dumps(doc)
    if not args.output:
        sys.stdout.write(text)
        return EXIT_OK
    _write_text(args.output, text)
    print(
        f"{args.output}: {data.dimension} nodes, {args.agents} agents, {args.objective}, "
        f"{args.distances} {data.edge_weight_type} distances, depot {args.depot}"
    )
    return EXIT_OK


def _cmd_validate(args: argparse.Namespace) -> int:
    from .validate import check_result

    _, instance = _read_instance(args.instance)
    result = _read_result(args.result, instance)
    problems = check_result(instance, result)
    if problems:
        for line in problems:
            print(line)
        print(f"invalid: {len(problems)} problem{'s' if len(problems) > 1 else ''} in {args.result}")
        return EXIT_INVALID
    stats = result["statistics"]
    print(
        f"valid: {len(instance.agents)} agents, {len(instance.node_ids) - len(instance.depots)} targets each "
        f"visited once, max {stats['max_cost']:.6g}, sum {stats['sum_cost']:.6g}"
    )
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


def _one_line(err: BaseException) -> str:
    text = " ".join(str(err).split())
    return text or type(err).__name__
