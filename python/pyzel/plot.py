"""Pictures of a solution: the routes over the node positions, one colour per
agent, depots marked, and the anytime curve beside them. Needs matplotlib
(``pip install .[plot]``)."""

from __future__ import annotations

import os
from typing import Any

from .document import Instance, check_result_shape, instance_from
from .errors import InputError

_LINEAR_UP_TO = 1e-3  # seconds drawn on a linear scale before the log scale takes over
INSTALL_HINT = "plotting needs matplotlib: pip install .[plot] (or pip install matplotlib)"


def have_matplotlib() -> bool:
    try:
        import matplotlib  # noqa: F401
    except ImportError:
        return False
    return True


def plot_solution(doc: Any, result: Any, path: str | os.PathLike[str], title: str | None = None) -> None:
    """Writes the picture to ``path`` (the format follows its suffix: .png, .svg, .pdf)."""
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
    try:
        figure.savefig(path)
    except OSError as err:
        raise InputError(f"{os.fspath(path)}: cannot write: {err.strerror or err}") from None
    except ValueError as err:  # a suffix that names no picture format
        raise InputError(f"{os.fspath(path)}: {err}") from None


def _draw_routes(ax: Any, instance: Instance, result: dict[str, Any]) -> None:
    xs = [p[0] for p in instance.positions]
    ys = [p[1] for p in instance.positions]
    depots = sorted(instance.depots | instance.typed_depots)
    targets = [v for v in range(len(xs)) if v not in set(depots)]
    ax.scatter([xs[v] for v in targets], [ys[v] for v in targets], s=14, c="0.35", zorder=3, label="target")
    colours = _colours(len(result["routes"]))
    for k, route in enumerate(result["routes"]):
        path = route["path"]
        if len(path) < 2:
            continue
        label = f"agent {route['agent_id']}: {route['cost']:.6g}" if k < 12 else None
        ax.plot([xs[v] for v in path], [ys[v] for v in path], "-", lw=1.6, color=colours[k], zorder=2, label=label)
    ax.scatter([xs[v] for v in depots], [ys[v] for v in depots], s=90, marker="s", c="black", zorder=4, label="depot")
    ax.set_aspect("equal", adjustable="datalim")
    stats = result["statistics"]
    ax.set_title(f"{result['status']}: max {stats['max_cost']:.6g}, sum {stats['sum_cost']:.6g}", fontsize=10)
    ax.legend(fontsize=7, loc="best", framealpha=0.8)


def _draw_anytime(ax: Any, instance: Instance, result: dict[str, Any]) -> None:
    anytime = result.get("anytime", [])
    key = "max_cost" if instance.objective == "min_max" else "sum_cost"
    measure = "longest route" if key == "max_cost" else "sum of routes"
    ax.set_title(f"anytime record ({measure})", fontsize=10)
    ax.set_xlabel("time [s]")
    ax.set_ylabel(measure)
    if not anytime:
        ax.text(0.5, 0.5, "no solution recorded", ha="center", va="center", transform=ax.transAxes)
        return
    times = [e["time"] for e in anytime]
    values = [e[key] for e in anytime]
    end = max(times[-1], result["statistics"].get("solve_time", times[-1]))
    # Each value holds until the next improvement, so the curve is a step to the end of the solve.
    ax.step(times + [end], values + [values[-1]], where="post", color="tab:blue")
    ax.plot(times, values, "o", ms=4, color="tab:blue")
    if end > 100 * _LINEAR_UP_TO:
        # Improvements crowd into the first milliseconds; a log scale beyond them spreads them out.
        ax.set_xscale("symlog", linthresh=_LINEAR_UP_TO)
        ax.set_xlim(left=0.0)
    ax.grid(True, alpha=0.3)


def _colours(n: int) -> list[Any]:
    from matplotlib import colormaps

    palette = colormaps["tab10" if n <= 10 else "tab20"]
    return [palette(k % palette.N) for k in range(n)]
