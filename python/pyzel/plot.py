"""Pictures of a solution: the routes over the node positions, one colour per
agent (with its type), depots, time windows and left-out targets marked, node ids
on small instances, and the anytime curve beside them. Needs matplotlib
(``pip install .[plot]``)."""

from __future__ import annotations

import os
from typing import Any

from .document import AgentView, Instance, check_result_shape, instance_from
from .errors import InputError
from .validate import leg_cost

_LINEAR_UP_TO = 1e-3  # seconds drawn on a linear scale before the log scale takes over
LABELLED_UP_TO = 60  # nodes: up to this many, each is labelled with its id
INSTALL_HINT = "plotting needs matplotlib: pip install .[plot] (or pip install matplotlib)"


def have_matplotlib() -> bool:
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        return False
    return True


def plot_solution(doc: Any, result: Any, path: str | os.PathLike[str], title: str | None = None) -> None:
    """Writes the picture to ``path`` (the format follows its suffix: .png, .svg, .pdf)."""
    figure = solution_figure(doc, result, title)
    try:
        figure.savefig(path)
    except OSError as err:
        raise InputError(f"{os.fspath(path)}: cannot write: {err.strerror or err}") from None
    except ValueError as err:  # a suffix that names no picture format
        raise InputError(f"{os.fspath(path)}: {err}") from None


def solution_figure(doc: Any, result: Any, title: str | None = None) -> Any:
    """The picture as a matplotlib Figure: the routes left, the anytime curve right."""
    try:
        # The figure is drawn without pyplot, so no window system or global state is touched.
        from matplotlib.backends.backend_agg import FigureCanvasAgg
        from matplotlib.figure import Figure
    except ImportError:
        raise InputError(INSTALL_HINT) from None
    instance = doc if isinstance(doc, Instance) else instance_from(doc)
    check_result_shape(result, instance)
    figure = Figure(figsize=(11, 5), dpi=100, layout="constrained")
    FigureCanvasAgg(figure)
    routes_ax, curve_ax = figure.subplots(1, 2, width_ratios=[3, 2])
    _draw_routes(routes_ax, instance, result)
    _draw_anytime(curve_ax, instance, result)
    figure.suptitle(title or instance.name or "solution")
    return figure


def _draw_routes(ax: Any, instance: Instance, result: dict[str, Any]) -> None:
    xs = [p[0] for p in instance.positions]
    ys = [p[1] for p in instance.positions]
    depots = sorted(instance.depots | instance.typed_depots)
    targets = [v for v in range(len(xs)) if v not in set(depots)]
    ax.scatter([xs[v] for v in targets], [ys[v] for v in targets], s=14, c="0.35", zorder=3, label="target")
    timed = [v for v in range(len(xs)) if instance.node_ids[v] in instance.windows]
    if timed:
        ax.scatter([xs[v] for v in timed], [ys[v] for v in timed], s=70, facecolors="none", edgecolors="black",
                   linewidths=1.4, zorder=3, label="time window")
    colours = _colours(len(result["routes"]))
    for k, (agent, route) in enumerate(zip(instance.agents, result["routes"])):
        path = _drawn_path(instance, agent, route["path"])
        if len(path) < 2:
            continue
        label = f"agent {route['agent_id']} ({agent.type}): {route['cost']:.6g}" if k < 12 else None
        ax.plot([xs[v] for v in path], [ys[v] for v in path], "-", lw=1.6, color=colours[k], zorder=2, label=label)
    ax.scatter([xs[v] for v in depots], [ys[v] for v in depots], s=90, marker="s", c="black", zorder=4, label="depot")
    index = {node_id: v for v, node_id in enumerate(instance.node_ids)}
    left_out = [index[i] for i in result.get("unassigned", []) if i in index]
    if left_out:  # served by no route: a cross over the target's dot
        ax.scatter([xs[v] for v in left_out], [ys[v] for v in left_out], s=80, marker="x", c="tab:red",
                   linewidths=1.8, zorder=5, label=f"left out ({len(left_out)})")
    if len(xs) <= LABELLED_UP_TO:
        _label_nodes(ax, instance)
    ax.set_aspect("equal", adjustable="datalim")
    stats = result["statistics"]
    penalty = f", penalty {result['penalty']:.6g}" if "penalty" in result else ""
    ax.set_title(f"{result['status']}: max {stats['max_cost']:.6g}, sum {stats['sum_cost']:.6g}{penalty}", fontsize=10)
    ax.legend(fontsize=7, loc="best", framealpha=0.8)


def _drawn_path(instance: Instance, agent: AgentView, path: list[int]) -> list[int]:
    """The node indices a route's line passes: an open route stops where its last paid
    move ends, without the free move back to a depot."""
    if len(path) >= 2 and leg_cost(instance, agent, path[-2], path[-1]) == 0.0 and not instance.return_to_end:
        return path[:-1]
    return path


def _label_nodes(ax: Any, instance: Instance) -> None:
    for v, (x, y) in enumerate(instance.positions):
        node_id = instance.node_ids[v]
        text = str(node_id)
        if node_id in instance.windows:
            opens, closes = instance.windows[node_id]
            text += f" [{opens:g}, {closes:g}]"
        if instance.service(v):
            text += f" +{instance.service(v):g}"  # the service's duration, after the window's start
        ax.annotate(text, (x, y), xytext=(4, 4), textcoords="offset points", fontsize=7, color="0.25", zorder=5)


def _draw_anytime(ax: Any, instance: Instance, result: dict[str, Any]) -> None:
    from matplotlib.ticker import MaxNLocator

    anytime = result.get("anytime", [])
    key = "max_cost" if instance.objective == "min_max" else "sum_cost"
    measure = instance.measure + (" plus penalties" if "penalty" in result else "")
    ax.set_title(f"anytime record ({measure})", fontsize=10)
    ax.set_ylabel(measure)
    if not anytime:
        ax.set_xlabel("time [s]")
        ax.text(0.5, 0.5, "no solution recorded", ha="center", va="center", transform=ax.transAxes)
        return
    end = max(anytime[-1]["time"], result["statistics"].get("solve_time", anytime[-1]["time"]))
    unit, scale = _time_unit(end)
    ax.set_xlabel(f"time [{unit}]")
    times = [e["time"] * scale for e in anytime]
    values = [e[key] for e in anytime]
    end *= scale
    # Each value holds until the next improvement, so the curve is a step to the end of the solve.
    ax.step(times + [end], values + [values[-1]], where="post", color="tab:blue")
    ax.plot(times, values, "o", ms=4, color="tab:blue")
    if unit == "s" and end > 100 * _LINEAR_UP_TO:
        # Improvements crowd into the first milliseconds; a log scale beyond them spreads them out.
        ax.set_xscale("symlog", linthresh=_LINEAR_UP_TO)
        ax.set_xlim(left=0.0)
    else:
        # Few ticks in round units: sub-millisecond solves otherwise get long labels that overlap.
        ax.xaxis.set_major_locator(MaxNLocator(nbins=5))
        ax.set_xlim(0.0, end if end > 0 else 1.0)
    ax.grid(True, alpha=0.3)


def _time_unit(end: float) -> tuple[str, float]:
    """The unit the anytime axis counts in: seconds unless the whole solve is shorter."""
    if end >= 100 * _LINEAR_UP_TO:
        return "s", 1.0
    if end >= _LINEAR_UP_TO:
        return "ms", 1e3
    return "µs", 1e6


def _colours(n: int) -> list[Any]:
    from matplotlib import colormaps

    palette = colormaps["tab10" if n <= 10 else "tab20"]
    return [palette(k % palette.N) for k in range(n)]
