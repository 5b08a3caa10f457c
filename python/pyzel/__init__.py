"""pyzel: the ZEL multiple travelling salesman solver for Python users.

The solver itself is the compiled module ``_pyzel_core``; this package adds the
fleet model (``pyzel.Model``, solved into a ``pyzel.Solution``), the command line
(``pyzel``), TSPLIB conversion (``pyzel.tsplib``), the result checker
(``pyzel.validate``), pictures (``pyzel.plot``) and batches on this machine or a
Dask cluster (``pyzel.solve_many``).
"""

from __future__ import annotations

from .batch import solve_many
from .model import Agent, AgentType, Depot, Model, Node, Target
from .sequence import Pair
from .solution import Improvement, Route, Solution, Stop

__all__ = ["Agent", "AgentType", "Depot", "Improvement", "Model", "Node", "Pair", "Route", "Solution", "Stop",
           "Target", "solve_many"]


def __getattr__(name: str) -> str:
    # The version stands only in pyproject.toml: read from the installed metadata, or from the
    # source tree's pyproject.toml when the package runs from there (PYTHONPATH=python).
    if name != "__version__":
        raise AttributeError(f"module {__name__!r} has no attribute {name!r}")
    import importlib.metadata
    import tomllib
    from pathlib import Path

    pyproject = Path(__file__).resolve().parents[2] / "pyproject.toml"
    try:
        with pyproject.open("rb") as f:
            project = tomllib.load(f).get("project", {})
        if project.get("name") == "pyzel":
            return str(project["version"])
    except (OSError, tomllib.TOMLDecodeError, KeyError):
        pass
    try:
        return importlib.metadata.version("pyzel")
    except importlib.metadata.PackageNotFoundError:
        return "unknown"
