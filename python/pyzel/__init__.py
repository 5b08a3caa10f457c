"""pyzel: the ZEL multiple travelling salesman solver for Python users.

The solver itself is the compiled module ``_pyzel_core``; this package adds the
fleet model (``pyzel.Model``, solved into a ``pyzel.Solution``), the command line
(``pyzel``), TSPLIB conversion (``pyzel.tsplib``), the result checker
(``pyzel.validate``) and pictures (``pyzel.plot``).
"""

__version__ = "0.1.0"

from .model import Agent, AgentType, Depot, Model, Node, Target  # noqa: E402
from .solution import Improvement, Route, Solution, Stop  # noqa: E402

__all__ = ["Agent", "AgentType", "Depot", "Improvement", "Model", "Node", "Route", "Solution", "Stop", "Target"]
