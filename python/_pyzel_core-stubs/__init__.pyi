"""Type stubs of the compiled module ``_pyzel_core`` (ZEL MTSP Solver — C++ core bindings)."""

from collections.abc import Callable, Sequence
from typing import Any, ClassVar, Literal, SupportsFloat, SupportsIndex, SupportsInt, TypedDict

import numpy as np
from numpy.typing import ArrayLike, NDArray

_Int = SupportsInt | SupportsIndex
_Float = SupportsFloat | SupportsIndex

class _Progress(TypedDict):
    """What a progress callback is given (a plain dict; this name exists only in the stubs)."""

    elapsed: float  # seconds since the solve began
    objective: float | None  # the best so far, scored as the anytime list is; None before the first
    phase: Literal["search", "improve"]
    solutions: int  # improving solutions found so far

# Called at most ten times a second, the interpreter lock held; a truthy return stops the
# solve as its time limit does, and an exception it raises leaves the solve.
_ProgressCallback = Callable[[_Progress], object]

class ObjectiveType:
    """Minimise the longest route (``MinMax``, 0) or the sum of the routes (``MinSum``, 1)."""

    MinMax: ClassVar[ObjectiveType]
    MinSum: ClassVar[ObjectiveType]
    __members__: ClassVar[dict[str, ObjectiveType]]
    def __init__(self, value: _Int) -> None: ...
    @property
    def name(self) -> str: ...
    @property
    def value(self) -> int: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self, /) -> int: ...
    def __int__(self, /) -> int: ...
    def __index__(self, /) -> int: ...
    def __getstate__(self, /) -> int: ...
    def __setstate__(self, state: _Int, /) -> None: ...

class Minimise:
    """What min-sum adds up: the routes' durations (``Duration``, 0) or their distances
    (``Distance``, 1; only with ``improve``). Min-max always takes the longest duration."""

    Duration: ClassVar[Minimise]
    Distance: ClassVar[Minimise]
    __members__: ClassVar[dict[str, Minimise]]
    def __init__(self, value: _Int) -> None: ...
    @property
    def name(self) -> str: ...
    @property
    def value(self) -> int: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self, /) -> int: ...
    def __int__(self, /) -> int: ...
    def __index__(self, /) -> int: ...
    def __getstate__(self, /) -> int: ...
    def __setstate__(self, state: _Int, /) -> None: ...

class NodeType:
    """A depot (``DEPOT``, 0) or a target (``TARGET``, 1)."""

    DEPOT: ClassVar[NodeType]
    TARGET: ClassVar[NodeType]
    __members__: ClassVar[dict[str, NodeType]]
    def __init__(self, value: _Int) -> None: ...
    @property
    def name(self) -> str: ...
    @property
    def value(self) -> int: ...
    def __eq__(self, other: object, /) -> bool: ...
    def __ne__(self, other: object, /) -> bool: ...
    def __hash__(self, /) -> int: ...
    def __int__(self, /) -> int: ...
    def __index__(self, /) -> int: ...
    def __getstate__(self, /) -> int: ...
    def __setstate__(self, state: _Int, /) -> None: ...

class Position:
    x: float
    y: float
    z: float
    def __init__(self) -> None: ...

class Node:
    id: int
    position: Position  # reading gives a view of the node's own position
    type: NodeType
    demand: float
    service: float  # time spent at a target before leaving; a depot's counts nothing
    penalty: float | None  # the cost of leaving the target out; None: it must be served
    def __init__(self) -> None: ...

class Agent:
    id: int
    type: str
    start_node: int
    end_node: int
    capacity_limit: float
    time_limit: float  # the route-length limit; 0 means none
    def __init__(self) -> None: ...

class Options:
    return_to_end: bool
    objective: ObjectiveType
    time_limit: float
    memory_limit: int
    improve: bool
    seed: int
    max_iterations: int
    improve_stall: int  # phase iterations without a better solution before it ends; 0: scaled to the instance
    max_expansions: int
    threads: int  # walks of the improvement phase at once, one thread each; < 1: Solver raises ValueError
    missing_cost: float  # an arc cost at or above it means no arc
    quiet: bool  # True: none of the solver's own diagnostic lines on stdout or stderr
    enforce_capacities: bool  # True: each route's total target demand stays within its agent's capacity (0: none)
    minimise: Minimise  # Distance: min-sum counts distance; needs improve (else ValueError)
    default_penalty: float | None  # the penalty of every target without its own; needs improve (else ValueError)
    enforce_sequence: bool  # True: the problem's precedence/same/diff pairs are kept; needs improve (else ValueError)
    def __init__(self) -> None: ...

class AssignmentConstraint:
    def __init__(self) -> None: ...
    def set_assignment(self, node: _Int, types: Sequence[str] | NDArray[np.str_]) -> None: ...

class TimeWindowConstraint:
    def __init__(self) -> None: ...
    def set_timewindow(self, node: _Int, start: _Float, end: _Float) -> None: ...

class Problem:
    def __init__(self) -> None: ...
    def add_node(self, node: Node) -> None: ...
    def add_agent(self, agent: Agent, id: _Int) -> None: ...
    def set_cost_matrix(self, agent_type: str, matrix: ArrayLike) -> None:
        """``matrix``: rows of numbers, or a two-dimensional numpy array."""
    def set_cost_metric(self, agent_type: str, metric: str, speed: float = 1.0) -> None:
        """Costs of one agent type from the nodes' x and y: the "euclidean", "rounded" or
        "att" distance divided by speed; replaces the type's cost matrix."""
    def set_distance_matrix(self, agent_type: str, matrix: ArrayLike) -> None:
        """Distances beside the durations, shaped as the cost matrix; a type without one
        measures distance by its durations."""
    def set_assignment_constraint(self, constraint: AssignmentConstraint) -> None: ...
    def set_timewindow_constraint(self, constraint: TimeWindowConstraint) -> None: ...
    def options(self) -> Options: ...
    def nodes(self) -> list[Node]: ...
    def agents_ordered(self) -> list[Agent]: ...
    # (before, after) node ids: plain, "same" and "diff" pairs; read only with Options.enforce_sequence
    precedence_pairs: list[tuple[int, int]]
    same_pairs: list[tuple[int, int]]
    diff_pairs: list[tuple[int, int]]

class Result:
    """Comes only from ``Solver.get_result`` and ``Solver.get_result_process``."""

    @property
    def n_generated(self) -> int: ...
    @property
    def n_expanded(self) -> int: ...
    @property
    def timeout(self) -> bool: ...
    @property
    def last_update_time(self) -> float: ...
    @property
    def paths(self) -> dict[int, list[int]]: ...
    @property
    def times(self) -> dict[int, float]: ...
    @property
    def durations(self) -> dict[int, float]:
        """Each agent's finishing time; empty unless the problem gives distances."""
    @property
    def distances(self) -> dict[int, float]:
        """Each agent's route distance; empty unless the problem gives distances."""
    @property
    def unassigned(self) -> list[int]:
        """The targets left out (node indices, as in ``paths``), ascending."""
    @property
    def unassigned_reasons(self) -> list[str | None]:
        """Parallel to ``unassigned``: why no agent can serve it, or None where no cheap test tells."""
    @property
    def penalty(self) -> float:
        """The sum of the left-out targets' penalties."""

class Solver:
    def __init__(self, problem: Problem, options: Options) -> None: ...
    def solve(self, progress: _ProgressCallback | None = None) -> int:
        """Run the ZEL solver. Returns 1 on success, 0 on failure.
        progress: None, or a callable given a dict (elapsed, objective, phase, solutions)
        at most ten times a second; a truthy return stops the solve as its time limit does."""
    def get_result(self) -> Result: ...
    def get_result_process(self) -> list[tuple[float, Result]]: ...

def solve_json_file(
    input_path: str | bytes, time_limit: float = -1, progress: _ProgressCallback | None = None
) -> dict[str, Any]:
    """Solve an MTSP instance from a JSON file path.
    Returns a dict with keys: status, routes, statistics, anytime, timeout.
    progress: None, or a callable given a dict (elapsed, objective, phase, solutions)
    at most ten times a second; a truthy return stops the solve as its time limit does."""

def solve_json_str(
    json_str: str | bytes, time_limit: float = -1, progress: _ProgressCallback | None = None
) -> dict[str, Any]:
    """Solve an MTSP instance from a JSON string.
    Returns a dict with keys: status, routes, statistics, anytime, timeout.
    progress: None, or a callable given a dict (elapsed, objective, phase, solutions)
    at most ten times a second; a truthy return stops the solve as its time limit does."""
