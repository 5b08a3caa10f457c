"""A fleet model in Python: depots, targets, agent types and agents under the user's own ids,
checked as they are added, written to and read from the JSON instance format, and solved on
the JSON road (``_pyzel_core.solve_json_str``)."""

from __future__ import annotations

import copy
import json
import math
import os
from collections.abc import Callable, Iterable, Mapping
from dataclasses import dataclass, field
from typing import TYPE_CHECKING, Any, Literal, TypeVar

from .document import _unsigned, dumps, instance_from, read_json
from .solution import Solution

if TYPE_CHECKING:
    from numpy.typing import ArrayLike

Objective = Literal["min_max", "min_sum"]
Window = tuple[float, float]
Progress = Callable[[dict[str, Any]], object]

_N = TypeVar("_N", bound="Node")
_OBJECTIVES = ("min_max", "min_sum")
_U64 = 1 << 64
_LISTED_KINDS = ("assignment", "timewindow")  # the constraints whose items carry a node's types and window


@dataclass
class Node:
    """A place of the model. ``types`` None lets every agent type visit; ``extra`` holds the
    document's other keys of the node ("z", "demand", a "type" spelling, your own), kept as read."""

    id: int
    x: float
    y: float
    window: Window | None = None
    types: list[str] | None = None
    extra: dict[str, Any] = field(default_factory=dict, repr=False)


@dataclass
class Depot(Node):
    """Where agents start and end."""


@dataclass
class Target(Node):
    """A node every solution visits exactly once."""


@dataclass
class AgentType:
    """A kind of agent with its own costs: ``matrix`` (by node order) or, without one, the
    Euclidean distance divided by ``speed``. Neither: a type the document gave no matrix."""

    name: str
    matrix: list[list[float]] | None = field(default=None, repr=False)
    speed: float | None = None


@dataclass
class Agent:
    """One vehicle: ``start`` and ``end`` are depot ids; ``max_length`` bounds its clock
    (travel plus waiting), None for no limit."""

    id: int
    type: str
    start: int
    end: int
    max_length: float | None = None
    extra: dict[str, Any] = field(default_factory=dict, repr=False)


class Model:
    """A fleet built call by call, or read from an instance document.

    Every reference (a depot id, an agent type, a window) is checked by the call that makes it
    and a bad one raises ValueError naming it. ``from_json(doc).to_json()`` equals ``doc``.
    """

    def __init__(self, objective: Objective = "min_sum", return_to_end: bool = True, name: str | None = None):
        self.name = name
        self.nodes: list[Node] = []
        self.agent_types: dict[str, AgentType] = {}
        self.agents: list[Agent] = []
        self.options: dict[str, Any] = {}  # the document's "options", as read or set
        self.extra: dict[str, Any] = {}  # the document's own top-level keys ("known_routes", ...)
        self.objective = objective
        self.return_to_end = return_to_end
        self._constraints: list[Any] = []  # a read document's constraint objects, their layout kept
        self._keys: set[str] = set()  # the format's top-level keys a read document had

    def __repr__(self) -> str:
        depots = sum(isinstance(n, Depot) for n in self.nodes)
        return (
            f"Model(name={self.name!r}, objective={self.objective!r}, return_to_end={self.return_to_end}, "
            f"nodes={len(self.nodes)}, depots={depots}, agent_types={list(self.agent_types)}, "
            f"agents={len(self.agents)})"
        )

    # --- the options the format names --------------------------------------------------------

    @property
    def objective(self) -> Objective:
        return "min_max" if self.options.get("objective", "min_sum") in ("min_max", "MIN_MAX") else "min_sum"

    @objective.setter
    def objective(self, value: Objective) -> None:
        if value not in _OBJECTIVES:
            raise ValueError(f"objective must be 'min_max' or 'min_sum', not {value!r}")
        self.options["objective"] = value

    @property
    def return_to_end(self) -> bool:
        return bool(self.options.get("return_to_end", True))

    @return_to_end.setter
    def return_to_end(self, value: bool) -> None:
        if not isinstance(value, bool):
            raise ValueError(f"return_to_end must be True or False, not {value!r}")
        self.options["return_to_end"] = value

    # --- building ------------------------------------------------------------------------------

    def add_depot(self, x: float, y: float, id: int | None = None) -> Depot:
        return self._add_node(Depot(self._new_node_id(id), *_point(x, y)))

    def add_target(
        self,
        x: float,
        y: float,
        id: int | None = None,
        window: Window | None = None,
        types: Iterable[str | AgentType] | None = None,
    ) -> Target:
        node_id = self._new_node_id(id)
        where = f"target {node_id}"
        return self._add_node(Target(node_id, *_point(x, y), _window(window, where), self._type_names(types, where)))

    def add_agent_type(
        self, name: str, matrix: ArrayLike | list[list[float]] | None = None, speed: float | None = None
    ) -> AgentType:
        """Costs from ``matrix`` (numpy array or list of rows, in the order nodes were added) or,
        without one, the Euclidean distance between coordinates divided by ``speed`` (default 1)."""
        if not isinstance(name, str) or not name:
            raise ValueError(f"an agent type needs a non-empty name, not {name!r}")
        if name in self.agent_types:
            raise ValueError(f"agent type {name!r} is already defined")
        if matrix is not None and speed is not None:
            raise ValueError(f"agent type {name!r}: give a matrix or a speed, not both")
        if matrix is not None:
            kind = AgentType(name, matrix=_square(matrix, f"agent type {name!r}"))
        else:
            kind = AgentType(name, speed=_positive(1.0 if speed is None else speed, f"agent type {name!r}: speed"))
        self.agent_types[name] = kind
        return kind

    def add_agent(
        self,
        type: str | AgentType,
        start: int | Depot,
        end: int | Depot | None = None,
        max_length: float | None = None,
        id: int | None = None,
    ) -> Agent:
        """An agent of a defined type from depot ``start`` to depot ``end`` (default: back to start)."""
        agent_id = self._new_agent_id(id)
        where = f"agent {agent_id}"
        kind = self._type_name(type, where)
        ends = [self._depot_id(d, where) for d in (start, start if end is None else end)]
        limit = None if max_length is None else _positive(max_length, f"{where}: max_length")
        agent = Agent(agent_id, kind, ends[0], ends[1], limit)
        self.agents.append(agent)
        return agent

    # --- documents -----------------------------------------------------------------------------

    @classmethod
    def from_json(cls, source: Mapping[str, Any] | str | os.PathLike[str]) -> Model:
        """A model of an instance document: a parsed document, JSON text, or a file's path."""
        if isinstance(source, Mapping):
            doc = copy.deepcopy(dict(source))
        elif isinstance(source, str) and source.lstrip().startswith("{"):
            doc = json.loads(source)
        else:
            doc = read_json(source)
        instance_from(doc)  # a malformed document fails here, naming its first problem
        return _read(cls(), doc)

    @classmethod
    def from_tsplib(
        cls,
        path: str | os.PathLike[str],
        agents: int,
        objective: Objective = "min_max",
        depot: int = 0,
        distances: Literal["rounded", "real"] = "rounded",
    ) -> Model:
        """A TSPLIB file as ``pyzel convert`` reads it: one depot, ``agents`` agents of one type."""
        from . import tsplib

        return cls.from_json(tsplib.to_instance(path, agents, objective=objective, depot=depot, distances=distances))

    def to_json(self, path: str | os.PathLike[str] | None = None) -> dict[str, Any]:
        """The instance document (also written to ``path`` when given)."""
        doc: dict[str, Any] = {} if self.name is None else {"name": self.name}
        doc["nodes"] = [_node_doc(n) for n in self.nodes]
        doc["agents"] = [_agent_doc(a) for a in self.agents]
        costs = self._costs()
        if costs or "costs" in self._keys:
            doc["costs"] = costs
        constraints = self._constraint_docs()
        if constraints or "constraints" in self._keys:
            doc["constraints"] = constraints
        if self.options or "options" in self._keys:
            doc["options"] = copy.deepcopy(self.options)
        doc.update(copy.deepcopy(self.extra))
        if path is not None:
            with open(path, "w", encoding="utf-8") as handle:
                handle.write(dumps(doc))
        return doc

    # --- solving -------------------------------------------------------------------------------

    def solve(
        self,
        time_limit: float | None = None,
        improve: bool = True,
        seed: int = 0,
        budget: int | None = None,
        progress: Progress | None = None,
    ) -> Solution:
        """Solves on the JSON road, quiet, with the improvement phase on unless ``improve=False``.

        ``time_limit`` in seconds replaces the document's own (60 s by default); ``budget`` is
        the improvement phase's iterations ("max_iterations"), or the search's expansions
        ("max_expansions") with ``improve=False``: with it a run is repeatable. ``progress``
        is called with the solver's progress dictionaries; a truthy return stops the solve.
        """
        doc = self.to_json()
        self._check_solvable()
        options = doc.setdefault("options", {})
        options.update(quiet=True, improve=bool(improve), seed=_count(seed, "seed", 0))
        if budget is not None:
            options["max_iterations" if improve else "max_expansions"] = _count(budget, "budget", 1)
        if time_limit is not None and not time_limit > 0:
            raise ValueError(f"time_limit must be greater than 0 seconds, not {time_limit!r}")
        result = solve_document(doc, -1 if time_limit is None else time_limit, progress)
        return Solution.from_result(doc, result)

    # --- helpers -------------------------------------------------------------------------------

    def _add_node(self, node: _N) -> _N:
        self.nodes.append(node)
        return node

    def _new_node_id(self, node_id: int | None) -> int:
        used = {n.id for n in self.nodes}
        return _new_id(node_id, used, "node")

    def _new_agent_id(self, agent_id: int | None) -> int:
        return _new_id(agent_id, {a.id for a in self.agents}, "agent")

    def _type_names(self, types: Iterable[str | AgentType] | None, where: str) -> list[str] | None:
        if types is None:
            return None
        names = [self._type_name(t, where) for t in ([types] if isinstance(types, str) else types)]
        if not names:
            raise ValueError(f"{where}: types must name at least one agent type")
        return names

    def _type_name(self, kind: str | AgentType, where: str) -> str:
        name = kind.name if isinstance(kind, AgentType) else kind
        if name not in self.agent_types:
            known = ", ".join(map(repr, self.agent_types)) or "none yet"
            raise ValueError(f"{where}: unknown agent type {name!r} (defined: {known})")
        return name

    def _depot_id(self, depot: int | Depot, where: str) -> int:
        node_id = depot.id if isinstance(depot, Node) else depot
        node = next((n for n in self.nodes if n.id == node_id), None)
        if node is None:
            raise ValueError(f"{where}: unknown depot id {node_id!r}")
        if not isinstance(node, Depot):
            raise ValueError(f"{where}: node {node_id} is a target, not a depot")
        return node.id

    def _costs(self) -> dict[str, Any]:
        used = {a.type for a in self.agents}
        costs: dict[str, Any] = {}
        for kind in self.agent_types.values():
            if kind.matrix is not None:
                costs[kind.name] = copy.deepcopy(kind.matrix)
            elif kind.speed is not None and kind.name in used:  # the solver refuses a matrix nobody uses
                speed = kind.speed
                costs[kind.name] = [[math.dist((a.x, a.y), (b.x, b.y)) / speed for b in self.nodes] for a in self.nodes]
        return costs

    def _check_solvable(self) -> None:
        used = {a.type for a in self.agents}
        for kind in self.agent_types.values():
            if kind.matrix is None:
                continue
            if kind.name not in used:
                raise ValueError(f"agent type {kind.name!r} has a matrix but no agent; the solver needs one")
            if len(kind.matrix) != len(self.nodes):
                raise ValueError(
                    f"agent type {kind.name!r}: the matrix has {len(kind.matrix)} rows for {len(self.nodes)} nodes"
                )

    def _constraint_docs(self) -> list[Any]:
        """The read document's constraint objects, each item refilled from the model's nodes;
        windows and types not in them go into the last object of their kind, or a new one."""
        by_id = {n.id: n for n in self.nodes}
        last: dict[tuple[str, int], tuple[int, int]] = {}  # a later item replaces an earlier one
        for c, item_no, kind, node_id in _items(self._constraints):
            last[(kind, node_id)] = (c, item_no)
        docs = copy.deepcopy(self._constraints)
        written: set[tuple[str, int]] = set()
        for c, item_no, kind, node_id in reversed(list(_items(docs))):
            node = by_id.get(node_id)
            if node is None:
                continue  # no such node: the solver skips the item too
            value = _item_value(kind, node)
            if value is None:
                del docs[c]["items"][item_no]  # every entry of the node, so that none comes back
            elif last[(kind, node_id)] == (c, item_no):  # earlier ones it replaces stay as they were
                docs[c]["items"][item_no].update(value)
                written.add((kind, node_id))
        for kind in _LISTED_KINDS:
            new = [{"node": n.id, **value} for n in self.nodes
                   if (kind, n.id) not in written and (value := _item_value(kind, n)) is not None]
            if new:
                home = next((d for d in reversed(docs) if _listing(d, kind)), None)
                if home is None:
                    docs.append({"kind": kind, "items": new})
                else:
                    home["items"].extend(new)
        return docs


# --- the JSON road ---------------------------------------------------------------------------------


def solve_document(doc: Mapping[str, Any], time_limit: float = -1, progress: Progress | None = None) -> dict[str, Any]:
    """``_pyzel_core.solve_json_str`` on a document; ``progress`` needs a module that takes it."""
    import _pyzel_core

    text = json.dumps(doc)
    if progress is None:
        return _pyzel_core.solve_json_str(text, time_limit)
    if "progress" not in (_pyzel_core.solve_json_str.__doc__ or ""):
        raise NotImplementedError(
            f"progress callbacks need a _pyzel_core that reports progress; the one at "
            f"{_pyzel_core.__file__} does not: solve without progress= or install a newer build"
        )
    # The stubs type the report as a TypedDict, which a callback taking dict[str, Any] (what
    # the core passes) does not accept; the call itself is the same.
    solve: Callable[..., dict[str, Any]] = _pyzel_core.solve_json_str
    return solve(text, time_limit, progress=progress)


# --- reading a document ------------------------------------------------------------------------------


def _read(model: Model, doc: dict[str, Any]) -> Model:
    format_keys = ("name", "nodes", "agents", "costs", "constraints", "options")
    model._keys = {k for k in format_keys if k in doc}
    model.options = doc.get("options", {})
    model.extra = {k: v for k, v in doc.items() if k not in format_keys}
    if isinstance(doc.get("name"), str):
        model.name = doc["name"]
    elif "name" in doc:
        model.extra["name"] = doc["name"]
    model._constraints = doc.get("constraints", [])
    values: dict[tuple[str, int], Any] = {}
    for c, item_no, kind, node_id in _items(model._constraints):
        item = model._constraints[c]["items"][item_no]
        values[(kind, node_id)] = list(item["types"]) if kind == "assignment" else (item["start"], item["end"])
    for raw in doc["nodes"]:
        depot = isinstance(raw.get("type"), str) and raw["type"].upper() == "DEPOT"
        node_id = _unsigned(raw, "id", "node")
        extra = {k: v for k, v in raw.items() if k not in ("id", "x", "y")}
        window, types = values.get(("timewindow", node_id)), values.get(("assignment", node_id))
        if window is not None and window[0] > window[1]:
            raise ValueError(f"node {node_id}: window {window} starts after it ends")
        model.nodes.append((Depot if depot else Target)(node_id, raw["x"], raw["y"], window, types, extra))
    costs = doc.get("costs", {})
    if isinstance(costs, list):  # the array form names its matrices "0", "1", ...; written back as an object
        costs = {str(i): m for i, m in enumerate(costs)}
    for name, matrix in costs.items():
        model.agent_types[name] = AgentType(name, matrix=matrix)
    for raw in doc["agents"]:
        extra = {k: v for k, v in raw.items() if k not in ("id", "type", "start_node", "end_node", "max_length")}
        start, end = (_unsigned(raw, key, "agent") for key in ("start_node", "end_node"))
        model.agents.append(Agent(_unsigned(raw, "id", "agent"), raw["type"], start, end, raw.get("max_length"), extra))
    named = [a.type for a in model.agents] + [t for n in model.nodes for t in n.types or []]
    for name in named:
        model.agent_types.setdefault(name, AgentType(name))  # a type without a matrix goes nowhere
    return model


def _items(constraints: list[Any]) -> Iterable[tuple[int, int, str, int]]:
    """(object, item, kind, node id) of every assignment and time-window item the solver reads."""
    for c, constraint in enumerate(constraints):
        for kind in _LISTED_KINDS:
            if _listing(constraint, kind):
                for item_no, item in enumerate(constraint["items"]):
                    yield c, item_no, kind, _unsigned(item, "node", f"constraint {c}")


def _listing(constraint: Any, kind: str) -> bool:
    return isinstance(constraint, dict) and constraint.get("kind") == kind and isinstance(constraint.get("items"), list)


# --- writing a document ------------------------------------------------------------------------------


def _item_value(kind: str, node: Node) -> dict[str, Any] | None:
    if kind == "assignment":
        return None if node.types is None else {"types": list(node.types)}
    return None if node.window is None else {"start": node.window[0], "end": node.window[1]}


def _node_doc(node: Node) -> dict[str, Any]:
    doc: dict[str, Any] = {"id": node.id, "x": node.x, "y": node.y, **copy.deepcopy(node.extra)}
    spelling = doc.get("type")
    is_depot = isinstance(spelling, str) and spelling.upper() == "DEPOT"
    if isinstance(node, Depot) and not is_depot:
        doc["type"] = "depot"
    elif not isinstance(node, Depot) and is_depot:
        del doc["type"]
    return doc


def _agent_doc(agent: Agent) -> dict[str, Any]:
    doc: dict[str, Any] = {"id": agent.id, "type": agent.type, "start_node": agent.start, "end_node": agent.end}
    if agent.max_length is not None:
        doc["max_length"] = agent.max_length
    doc.update(copy.deepcopy(agent.extra))
    return doc


# --- checks of single values ---------------------------------------------------------------------------


def _new_id(value: int | None, used: set[int], what: str) -> int:
    if value is None:
        return max(used, default=-1) + 1
    if isinstance(value, bool) or not isinstance(value, int) or not 0 <= value < _U64:
        raise ValueError(f"{what} id must be a whole number from 0 to 2**64 - 1, not {value!r}")
    if value in used:
        raise ValueError(f"{what} id {value} is already used")
    return value


def _number(value: Any, what: str) -> float:
    if isinstance(value, bool) or not isinstance(value, (int, float)) or not math.isfinite(value):
        raise ValueError(f"{what} must be a finite number, not {value!r}")
    number: float = value  # kept as given, so whole numbers stay whole in the document
    return number


def _positive(value: Any, what: str) -> float:
    number = _number(value, what)
    if number <= 0:
        raise ValueError(f"{what} must be greater than 0, not {value!r}")
    return number


def _count(value: Any, what: str, least: int) -> int:
    if isinstance(value, bool) or not isinstance(value, int) or value < least:
        raise ValueError(f"{what} must be a whole number of at least {least}, not {value!r}")
    return value


def _point(x: Any, y: Any) -> tuple[float, float]:
    return _number(x, "x"), _number(y, "y")


def _window(window: Any, where: str) -> Window | None:
    if window is None:
        return None
    try:
        start, end = window
    except (TypeError, ValueError):
        raise ValueError(f"{where}: window must be a pair (start, end), not {window!r}") from None
    start, end = _number(start, f"{where}: window start"), _number(end, f"{where}: window end")
    if start > end:
        raise ValueError(f"{where}: window ({start:g}, {end:g}) starts after it ends")
    return start, end


def _square(matrix: Any, where: str) -> list[list[float]]:
    rows = matrix.tolist() if hasattr(matrix, "tolist") else matrix  # a numpy array, without importing numpy
    try:
        table = [[_number(v, f"{where}: matrix entry") for v in row] for row in rows]
    except TypeError:
        raise ValueError(f"{where}: the matrix must be a list of rows of numbers") from None
    if any(len(row) != len(table) for row in table):
        raise ValueError(f"{where}: the matrix must be square, {len(table)} rows of {len(table)} numbers")
    return table


__all__ = ["Agent", "AgentType", "Depot", "Model", "Node", "Objective", "Target", "Window", "solve_document"]
