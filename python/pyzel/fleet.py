"""The parts of a fleet model: nodes (depots and targets), agent types and agents, as
plain records under the user's own ids."""

from __future__ import annotations

from dataclasses import dataclass, field
from typing import Any

Window = tuple[float, float]


@dataclass
class Node:
    """A place of the model. ``types`` None lets every agent type visit; ``extra`` holds the
    document's other keys of the node ("z", a "type" spelling, your own), kept as read.
    ``demand`` (what a route carries for it) and ``service`` (its duration) are None when not
    given; a depot's count nothing. ``penalty``: what leaving the target out costs; None: it
    must be served (unless the model's ``default_penalty`` gives one)."""

    id: int
    x: float
    y: float
    window: Window | None = None
    types: list[str] | None = None
    extra: dict[str, Any] = field(default_factory=dict, repr=False)
    demand: float | None = None
    service: float | None = None
    penalty: float | None = None


@dataclass
class Depot(Node):
    """Where agents start and end."""


@dataclass
class Target(Node):
    """A node every solution visits exactly once, or leaves out at its penalty."""


@dataclass
class AgentType:
    """A kind of agent with its own costs: ``matrix`` (by node order) or, without one, the
    ``metric``'s distance between the nodes' coordinates ("euclidean", "rounded" or "att")
    divided by ``speed`` (1 when None). Neither: a type the document gave no costs.
    The costs are durations; ``distances`` (by node order), when given, are what the
    objective counts under "minimise": "distance"."""

    name: str
    matrix: list[list[float]] | None = field(default=None, repr=False)
    speed: float | None = None
    distances: list[list[float]] | None = field(default=None, repr=False)
    metric: str | None = None


@dataclass
class Agent:
    """One vehicle: ``start`` and ``end`` are depot ids; ``max_length`` bounds its clock
    (travel, waiting and service), ``capacity`` the demand its route serves; None for no limit."""

    id: int
    type: str
    start: int
    end: int
    max_length: float | None = None
    extra: dict[str, Any] = field(default_factory=dict, repr=False)
    capacity: float | None = None
