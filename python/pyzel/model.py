"""A fleet model in Python: depots, targets, agent types and agents under the user's own ids,
checked as they are added, written to and read from the JSON instance format, and solved on
the JSON road, as the command line solves."""

from __future__ import annotations

import copy
import json
import os
import warnings
from collections.abc import Iterable, Mapping
from typing import TYPE_CHECKING, Any, Literal, TypeVar, overload

from . import values
from .document import dumps, fleet_document, instance_from, read_fleet, read_json, read_unsigned
from .errors import InstanceWarning
from .fleet import Agent, AgentType, Depot, Node, Target, Window
from .metric import METRICS
from .schema import instance_warnings, non_finite
from .sequence import KINDS, Pair, PairKind, added_contradiction, kind_of
from .solution import Solution
from .solving import Progress, prepare, solve_document

if TYPE_CHECKING:
    from numpy.typing import ArrayLike

Objective = Literal["min_max", "min_sum"]
Minimise = Literal["duration", "distance"]
Metric = Literal["euclidean", "rounded", "att"]


class _TriStateOption:
    """An option that is True, False or left out (None): left out, ``solve`` decides from the model."""

    def __init__(self, key: str, doc: str) -> None:
        self.key = key
        self.__doc__ = doc

    @overload
    def __get__(self, model: None, owner: type | None = None) -> _TriStateOption: ...
    @overload
    def __get__(self, model: Model, owner: type | None = None) -> bool | None: ...
    def __get__(self, model: Model | None, owner: type | None = None) -> _TriStateOption | bool | None:
        if model is None:
            return self
        value = model.options.get(self.key)
        return value if isinstance(value, bool) else None

    def __set__(self, model: Model, value: bool | None) -> None:
        if value is None:
            model.options.pop(self.key, None)
        elif isinstance(value, bool):
            model.options[self.key] = value
        else:
            raise ValueError(f"{self.key} must be True, False or None, not {value!r}")

_N = TypeVar("_N", bound="Node")
_OBJECTIVES = ("min_max", "min_sum")
_MEASURES = ("duration", "distance")


class Model:
    """A fleet built call by call, or read from an instance document.

    Every reference (a depot id, an agent type, a window) is checked by the call that makes it
    and a bad one raises ValueError naming it. ``from_json(doc).to_json()`` equals ``doc``.
    An agent type without a matrix of its own is written as a cost rule over the nodes'
    coordinates (``{"metric": "euclidean", "speed": 1.0}``), which the solver computes as it
    reads, so a fleet of many thousand stops needs no matrix; missing arcs need one.
    """

    def __init__(
        self,
        objective: Objective = "min_sum",
        return_to_end: bool = True,
        name: str | None = None,
        *,
        minimise: Minimise | None = None,
        enforce_capacities: bool | None = None,
        default_penalty: float | None = None,
        enforce_sequence: bool | None = None,
    ):
        self.name = name
        self.nodes: list[Node] = []
        self.agent_types: dict[str, AgentType] = {}
        self.agents: list[Agent] = []
        self.options: dict[str, Any] = {}  # the document's "options", as read or set
        self.extra: dict[str, Any] = {}  # the document's own top-level keys ("known_routes", ...)
        self.objective = objective
        self.return_to_end = return_to_end
        if minimise is not None:
            self.minimise = minimise
        self.enforce_capacities = enforce_capacities
        self.default_penalty = default_penalty
        self.enforce_sequence = enforce_sequence
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

    @property
    def minimise(self) -> Minimise:
        """What a route's cost counts under min-sum: its "duration" (the default) or its
        "distance" (the types' ``distances``, else their travel times); min-max always
        minimises the longest duration."""
        return "distance" if self.options.get("minimise") == "distance" else "duration"

    @minimise.setter
    def minimise(self, value: Minimise) -> None:
        if value not in _MEASURES:
            raise ValueError(f"minimise must be 'duration' or 'distance', not {value!r}")
        self.options["minimise"] = value

    enforce_capacities = _TriStateOption(
        "enforce_capacities",
        """Whether routes keep to their agents' capacities; None (the default) leaves it to
        ``solve``, which enforces them when some agent has a capacity and some target a demand.""",
    )
    enforce_sequence = _TriStateOption(
        "enforce_sequence",
        """Whether routes keep the pairs of ``add_precedence``; None (the default) leaves it to
        ``solve``, which enforces them when the model has some.""",
    )

    @property
    def default_penalty(self) -> float | None:
        """The penalty of every target without its own: each may then be left out at that cost.
        None (the default): only targets with a penalty may be left out."""
        value = self.options.get("default_penalty")
        return None if value is None else float(value)

    @default_penalty.setter
    def default_penalty(self, value: float | None) -> None:
        if value is None:
            self.options.pop("default_penalty", None)
        else:
            self.options["default_penalty"] = _at_least_0(value, "default_penalty")

    @property
    def pairs(self) -> list[Pair]:
        """The precedence pairs, in the order the document lists them (``add_precedence``)."""
        return [Pair(read_unsigned(item, "before", "pair"), read_unsigned(item, "after", "pair"), kind_of(item))
                for item in self._precedence_items()]

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
        demand: float | None = None,
        service: float | None = None,
        penalty: float | None = None,
    ) -> Target:
        """A target; ``demand`` (at least 0) counts against the capacity of the agent that
        serves it, ``service`` (at least 0) is the time it takes, from the start of service;
        ``penalty`` (at least 0) lets the solve leave it out at that cost."""
        node_id = self._new_node_id(id)
        where = f"target {node_id}"
        amounts = [None if v is None else _at_least_0(v, f"{where}: {key}")
                   for key, v in (("demand", demand), ("service", service), ("penalty", penalty))]
        target = Target(node_id, *_point(x, y), values.window(window, where), self._type_names(types, where))
        target.demand, target.service, target.penalty = amounts
        return self._add_node(target)

    def add_precedence(self, before: int | Node, after: int | Node, kind: PairKind = "before") -> Pair:
        """A rule between two targets (node ids or records): "before", the service at ``after``
        starts no earlier than the service at ``before`` ends, whichever agents serve them;
        "same", one agent serves both, ``before`` first; "diff", two different agents serve
        them. A pair that would close a cycle, or contradict the pairs made, is refused."""
        if kind not in KINDS:
            raise ValueError(f"a pair's kind is 'before', 'same' or 'diff', not {kind!r}")
        ids = [self._target_id(n, f"pair {kind}") for n in (before, after)]
        if ids[0] == ids[1]:
            raise ValueError(f"a pair needs two targets, not node {ids[0]} twice")
        pair = Pair(ids[0], ids[1], kind)
        contradiction = added_contradiction(self.pairs, pair)
        if contradiction is not None:
            raise ValueError(contradiction)
        item: dict[str, Any] = {"before": pair.before, "after": pair.after}
        if kind != "before":
            item["type"] = kind
        home = next((c for c in reversed(self._constraints) if _sequence(c)), None)
        if home is None:
            self._constraints.append({"kind": "sequence", "precedence": [item]})
        else:
            home["precedence"].append(item)
        return pair

    def add_agent_type(
        self,
        name: str,
        matrix: ArrayLike | list[list[float]] | None = None,
        speed: float | None = None,
        distances: ArrayLike | list[list[float]] | None = None,
        metric: Metric | None = None,
    ) -> AgentType:
        """Costs from ``matrix`` (numpy array or list of rows, in the order nodes were added) or,
        without one, the ``metric``'s distance between coordinates ("euclidean" by default,
        "rounded" or "att") divided by ``speed`` (default 1). Such a type is written to the
        document as that rule, not as a matrix, so the core computes its costs from the
        coordinates and a large fleet stays small; arcs that do not exist need a matrix.
        The costs are durations; ``distances`` (in the same order), what a route's distance counts."""
        if not isinstance(name, str) or not name:
            raise ValueError(f"an agent type needs a non-empty name, not {name!r}")
        if name in self.agent_types:
            raise ValueError(f"agent type {name!r} is already defined")
        if matrix is not None and (speed is not None or metric is not None):
            raise ValueError(f"agent type {name!r}: give a matrix or a speed and metric, not both")
        if metric is not None and metric not in METRICS:
            raise ValueError(f"agent type {name!r}: metric must be one of {', '.join(METRICS)}, not {metric!r}")
        if matrix is not None:
            kind = AgentType(name, matrix=values.square(matrix, f"agent type {name!r}"))
        else:
            kind = AgentType(name, speed=values.positive(1.0 if speed is None else speed, f"agent type {name!r}: speed"),
                             metric=metric or "euclidean")
        if distances is not None:
            kind.distances = values.square(distances, f"agent type {name!r}: distances")
        self.agent_types[name] = kind
        return kind

    def add_agent(
        self,
        type: str | AgentType,
        start: int | Depot,
        end: int | Depot | None = None,
        max_length: float | None = None,
        id: int | None = None,
        capacity: float | None = None,
    ) -> Agent:
        """An agent of a defined type from depot ``start`` to depot ``end`` (default: back to start);
        ``max_length`` and ``capacity``, when given, are whole numbers greater than 0 (a fraction
        is refused)."""
        agent_id = self._new_agent_id(id)
        where = f"agent {agent_id}"
        kind = self._type_name(type, where)
        ends = [self._depot_id(d, where) for d in (start, start if end is None else end)]
        # The solver reads whole numbers: 0.5 would be 0, no limit at all.
        limit, load = (None if v is None else values.whole(values.positive(v, f"{where}: {key}"), f"{where}: {key}")
                       for key, v in (("max_length", max_length), ("capacity", capacity)))
        agent = Agent(agent_id, kind, ends[0], ends[1], limit, capacity=load)
        self.agents.append(agent)
        return agent

    # --- documents -----------------------------------------------------------------------------

    @classmethod
    def from_json(cls, source: Mapping[str, Any] | str | os.PathLike[str]) -> Model:
        """A model of an instance document: a parsed document, JSON text, or a file's path.
        Each departure from the instance format that ``pyzel check`` names is an
        ``InstanceWarning``; a number that is not finite (1e400, NaN) a ValueError."""
        if isinstance(source, Mapping):
            doc = copy.deepcopy(dict(source))
        elif isinstance(source, str) and source.lstrip().startswith("{"):
            doc = json.loads(source)
        else:
            doc = read_json(source)
        instance_from(doc)  # a malformed document fails here, naming its first problem
        refused = non_finite(doc)
        if refused:
            raise ValueError(refused[0])
        for line in instance_warnings(doc):  # what pyzel check says of it
            warnings.warn(line, InstanceWarning, stacklevel=2)
        return read_fleet(cls(), doc)

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
        doc = fleet_document(self)
        if path is not None:
            with open(path, "w", encoding="utf-8") as handle:
                handle.write(dumps(doc))
        return doc

    # --- solving -------------------------------------------------------------------------------

    def solve(
        self,
        time_limit: float | None = None,
        improve: bool | None = None,
        seed: int | None = None,
        budget: int | None = None,
        progress: Progress | None = None,
        threads: int | None = None,
    ) -> Solution:
        """Solves on the JSON road, quiet, with pyzel's defaults (as ``pyzel solve``).

        None leaves each to the model's options: ``time_limit`` in seconds (60 s by default),
        ``improve`` (the improvement phase, on by default), ``seed``. ``budget`` is the
        search's expansions and the improvement phase's iterations ("max_expansions" and
        "max_iterations"); without ``time_limit`` no clock ends the solve, so it is
        repeatable for a given ``threads``: the walks of the improvement phase run at once
        (by default as many as this process may use cores; the budget counts the
        iterations of each). ``progress`` is called with the solver's progress dictionaries; a
        truthy return stops the solve. An instance that cheap tests prove infeasible is
        not solved: the solution is "failed", with the proof in its ``reasons``.

        Capacities are enforced unless ``enforce_capacities`` is False, as soon as some agent
        has one and some target a demand; the pairs of ``add_precedence`` unless
        ``enforce_sequence`` is False. ``minimise="distance"`` under min-sum, the pairs and
        penalties need the improvement phase: with ``improve=False`` they raise ValueError.
        """
        self._check_solvable()
        doc, limit = prepare(self.to_json(), time_limit=time_limit, improve=improve, seed=seed, budget=budget,
                             threads=threads)
        result = solve_document(doc, limit, progress=progress)
        return Solution.from_result(doc, result)

    # --- helpers -------------------------------------------------------------------------------

    def _add_node(self, node: _N) -> _N:
        self.nodes.append(node)
        return node

    def _new_node_id(self, node_id: int | None) -> int:
        used = {n.id for n in self.nodes}
        return values.new_id(node_id, used, "node")

    def _new_agent_id(self, agent_id: int | None) -> int:
        return values.new_id(agent_id, {a.id for a in self.agents}, "agent")

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

    def _target_id(self, node: int | Node, where: str) -> int:
        node_id = node.id if isinstance(node, Node) else node
        found = next((n for n in self.nodes if n.id == node_id), None)
        if found is None:
            raise ValueError(f"{where}: unknown node id {node_id!r}")
        if isinstance(found, Depot):
            raise ValueError(f"{where}: node {node_id} is a depot, not a target")
        return found.id

    def _precedence_items(self) -> list[dict[str, Any]]:
        return [item for c in self._constraints if _sequence(c) for item in c["precedence"]]

    def _depot_id(self, depot: int | Depot, where: str) -> int:
        node_id = depot.id if isinstance(depot, Node) else depot
        node = next((n for n in self.nodes if n.id == node_id), None)
        if node is None:
            raise ValueError(f"{where}: unknown depot id {node_id!r}")
        if not isinstance(node, Depot):
            raise ValueError(f"{where}: node {node_id} is a target, not a depot")
        return node.id

    def _check_solvable(self) -> None:
        used = {a.type for a in self.agents}
        for kind in self.agent_types.values():
            for what, matrix in (("matrix", kind.matrix), ("distances", kind.distances)):
                if matrix is None:
                    continue
                if kind.name not in used:
                    raise ValueError(f"agent type {kind.name!r} has a {what} but no agent; the solver needs one")
                if len(matrix) != len(self.nodes):
                    raise ValueError(
                        f"agent type {kind.name!r}: the {what} has {len(matrix)} rows for {len(self.nodes)} nodes"
                    )


def _sequence(constraint: Any) -> bool:
    return (isinstance(constraint, dict) and constraint.get("kind") == "sequence"
            and isinstance(constraint.get("precedence"), list))


def _point(x: Any, y: Any) -> tuple[float, float]:
    return values.finite(x, "x"), values.finite(y, "y")


def _at_least_0(value: Any, what: str) -> float:
    number = values.finite(value, what)
    if number < 0:
        raise ValueError(f"{what} must be at least 0, not {value!r}")
    return number


__all__ = ["Agent", "AgentType", "Depot", "Metric", "Minimise", "Model", "Node", "Objective", "Pair", "Target", "Window"]

