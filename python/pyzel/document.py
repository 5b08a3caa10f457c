"""Reading instance and result documents with the solver's own conversion rules,
and with one-line errors for anything that cannot be read; the fleet model's
round trip through the instance format; JSON text as pyzel writes it."""

from __future__ import annotations

import copy
import functools
import json
import math
import os
from collections.abc import Iterable
from dataclasses import dataclass, field
from typing import TYPE_CHECKING, Any

from .errors import InputError
from .fleet import Agent, AgentType, Depot, Node, Target
from .sequence import Pair, kind_of
from .metric import RuleMatrix, rule_problem
from .values import U64, is_int, is_number, number_rows

if TYPE_CHECKING:
    from .model import Model

MISSING_COST = 9999.0  # default of the "missing_cost" option: a cost at or above it is no arc
_LISTED_KINDS = ("assignment", "timewindow")  # the constraints whose items carry a node's types and window


def read_json(path: str | os.PathLike[str]) -> Any:
    """The parsed document of a JSON file."""
    try:
        # utf-8-sig: a byte-order mark is skipped, as the solver's own reader does.
        with open(path, encoding="utf-8-sig") as handle:
            text = handle.read()
    except OSError as err:
        raise InputError(f"{os.fspath(path)}: cannot read: {err.strerror or err}") from None
    except UnicodeDecodeError:
        raise InputError(f"{os.fspath(path)}: not a UTF-8 text file") from None
    try:
        return json.loads(text, parse_constant=_refuse_constant)
    except ValueError as err:  # JSONDecodeError, or a NaN or Infinity literal
        raise InputError(f"{os.fspath(path)}: not valid JSON: {err}") from None
    except RecursionError:
        raise InputError(f"{os.fspath(path)}: nested too deeply to read") from None


def _refuse_constant(name: str) -> None:
    # Python's reader takes NaN and Infinity, which are not JSON and which the solver refuses.
    raise ValueError(f"{name} is not a JSON number")


def objective_of(doc: dict[str, Any]) -> str:
    """"min_max" or "min_sum", as the solver reads the "objective" option."""
    options = doc.get("options", {})
    value = options.get("objective", "min_sum") if isinstance(options, dict) else "min_sum"
    return "min_max" if value in ("min_max", "MIN_MAX") else "min_sum"


def capacities_stated(doc: Any) -> bool:
    """Whether some agent of the document has a capacity above 0 and some target a demand
    above 0: then the capacities mean something, and pyzel enforces them."""
    if not isinstance(doc, dict) or not isinstance(doc.get("agents"), list) or not isinstance(doc.get("nodes"), list):
        return False
    agents = [a for a in doc["agents"] if isinstance(a, dict)]
    if not any(is_number(a.get("capacity")) and a["capacity"] >= 1 for a in agents):
        return False  # a capacity under 1 is read as 0: no limit
    depots = {a.get(key) for a in agents for key in ("start_node", "end_node")}
    return any(isinstance(n, dict) and is_number(n.get("demand")) and n["demand"] > 0
               and n.get("id") not in depots for n in doc["nodes"])


def sequence_stated(doc: Any) -> bool:
    """Whether the document states some "sequence" pair: then pyzel enforces them."""
    constraints = doc.get("constraints") if isinstance(doc, dict) else None
    return any(isinstance(c, dict) and c.get("kind") == "sequence" and isinstance(c.get("precedence"), list)
               and c["precedence"] for c in (constraints if isinstance(constraints, list) else []))


def penalties_stated(doc: Any) -> bool:
    """Whether some target of the document may be left out: a node has a "penalty", or the
    options give a "default_penalty"."""
    if not isinstance(doc, dict):
        return False
    options, nodes = doc.get("options"), doc.get("nodes")
    if isinstance(options, dict) and options.get("default_penalty") is not None:
        return True
    return any(isinstance(n, dict) and "penalty" in n for n in (nodes if isinstance(nodes, list) else []))


@dataclass
class AgentView:
    id: int
    type: str
    start: int  # node index
    end: int  # node index
    max_length: float  # 0 means no limit
    capacity: float = 0.0  # 0 means no limit


@dataclass
class Instance:
    """The parts of an instance document that the checker and the pictures need."""

    node_ids: list[int]
    positions: list[tuple[float, float]]
    typed_depots: set[int]  # node indices whose "type" says depot
    agents: list[AgentView]
    costs: dict[str, list[list[float]] | RuleMatrix]  # a rule's costs read as a matrix
    allowed: dict[int, set[str]] = field(default_factory=dict)  # node id -> agent types
    windows: dict[int, tuple[float, float]] = field(default_factory=dict)  # node id -> (start, end)
    return_to_end: bool = True
    objective: str = "min_sum"
    missing_cost: float = MISSING_COST  # a cost at or above it is no arc
    name: str = ""
    demands: list[float] = field(default_factory=list)  # by node index; empty: none given
    services: list[float] = field(default_factory=list)  # by node index; empty: none given
    distances: dict[str, list[list[float]]] = field(default_factory=dict)  # agent type -> matrix
    enforce_capacities: bool | None = None  # None: the document leaves the option out
    minimise: str = "duration"
    pairs: list[Pair] = field(default_factory=list)  # the "sequence" pairs, by node id
    enforce_sequence: bool | None = None  # None: the document leaves the option out
    penalties: list[float | None] = field(default_factory=list)  # by node index; empty: none given
    default_penalty: float | None = None

    @property
    def sequence_judged(self) -> bool:
        """Whether routes must keep the "sequence" pairs: unless the document turns the option
        off, as pyzel solves it."""
        return bool(self.pairs) and self.enforce_sequence is not False

    @property
    def optional_targets(self) -> bool:
        """Whether some target may be left out at a penalty (the result then lists them)."""
        return self.default_penalty is not None or any(p is not None for p in self.penalties)

    def penalty(self, v: int) -> float | None:
        """What leaving node index v out costs; None where it must be served (and for depots)."""
        if v in self._depots:
            return None
        own = self.penalties[v] if self.penalties else None
        return own if own is not None else self.default_penalty

    @property
    def capacities_judged(self) -> bool:
        """Whether routes must keep to their agents' capacities: unless the document turns the
        option off, as pyzel solves it (a document that leaves it out is solved with it on
        wherever it matters)."""
        return self.enforce_capacities is not False

    @property
    def by_distance(self) -> bool:
        """Whether a route's cost is its distance: min-sum with "minimise": "distance"."""
        return self.minimise == "distance" and self.objective == "min_sum"

    @property
    def measure(self) -> str:
        """What the objective counts, in words."""
        if self.objective == "min_max":
            return "longest route"
        return "sum of route distances" if self.by_distance else "sum of routes"

    def demand(self, v: int) -> float:
        """The demand a route carries for node index v; depots carry none."""
        return self.demands[v] if self.demands and v not in self._depots else 0.0

    def service(self, v: int) -> float:
        """The service duration at node index v; a depot's counts nothing (an agent's start or
        end, or a node whose "type" says depot)."""
        return self.services[v] if self.services and v not in self._depots and v not in self.typed_depots else 0.0

    @functools.cached_property
    def _depots(self) -> set[int]:
        return self.depots

    @property
    def depots(self) -> set[int]:
        """Node indices where an agent starts or ends."""
        return {a.start for a in self.agents} | {a.end for a in self.agents}

    def cost(self, agent_type: str, u: int, v: int) -> float:
        """The arc cost as the solver sees it: missing_cost where no matrix gives one."""
        matrix = self.costs.get(agent_type)
        if isinstance(matrix, RuleMatrix):
            return matrix.entry(u, v) if u != v else 0.0
        try:
            return float(matrix[u][v]) if matrix is not None else self.missing_cost
        except (IndexError, TypeError, ValueError):
            return self.missing_cost


def instance_from(doc: Any, name: str = "") -> Instance:
    """Reads an instance document; raises InputError naming the first malformed part."""
    if not isinstance(doc, dict):
        raise InputError("instance: the document must be a JSON object")
    nodes = _list(doc, "nodes", "instance")
    node_ids: list[int] = []
    positions: list[tuple[float, float]] = []
    typed_depots: set[int] = set()
    demands: list[float] = []
    services: list[float] = []
    penalties: list[float | None] = []
    for i, node in enumerate(nodes):
        where = f"node {i}"
        node = _object(node, where)
        node_ids.append(read_unsigned(node, "id", where))
        positions.append((_real(node, "x", where), _real(node, "y", where)))
        kind = node.get("type", "target")
        if not isinstance(kind, str):
            raise InputError(f'{where}: "type" must be a string')
        if kind.upper() == "DEPOT":
            typed_depots.add(i)
        demands.append(_real(node, "demand", where, 0.0))
        services.append(_real(node, "service", where, 0.0))
        penalties.append(_real(node, "penalty", where) if "penalty" in node else None)
    index = {node_id: i for i, node_id in enumerate(node_ids)}  # a later duplicate wins
    agents = [_agent(a, k, index) for k, a in enumerate(_list(doc, "agents", "instance"))]
    options = doc.get("options", {})
    if not isinstance(options, dict):
        raise InputError('instance: "options" must be an object')
    return_to_end = options.get("return_to_end", True)
    if not isinstance(return_to_end, bool):
        raise InputError('options: "return_to_end" must be true or false')
    missing_cost = _real(options, "missing_cost", "options", MISSING_COST)
    enforce = options.get("enforce_capacities")
    if enforce is not None and not isinstance(enforce, bool):
        raise InputError('options: "enforce_capacities" must be true or false')
    minimise = options.get("minimise", "duration")
    if minimise not in ("duration", "distance"):
        raise InputError('options: "minimise" must be "duration" or "distance"')
    sequence = options.get("enforce_sequence")
    if sequence is not None and not isinstance(sequence, bool):
        raise InputError('options: "enforce_sequence" must be true or false')
    default_penalty = options.get("default_penalty")
    if default_penalty is not None and not is_number(default_penalty):
        raise InputError('options: "default_penalty" must be a number or null')
    allowed, windows, pairs = _constraints(doc.get("constraints", []))
    return Instance(
        node_ids=node_ids,
        positions=positions,
        typed_depots=typed_depots,
        agents=agents,
        costs=_costs(doc.get("costs", {}), positions=positions),
        allowed=allowed,
        windows=windows,
        return_to_end=return_to_end,
        objective=objective_of(doc),
        missing_cost=missing_cost,
        name=str(doc.get("name", name)),
        demands=demands if any(demands) else [],
        services=services if any(services) else [],
        distances=_costs(doc.get("distances", {}), "distances"),
        enforce_capacities=enforce,
        minimise=minimise,
        pairs=pairs,
        enforce_sequence=sequence,
        penalties=penalties if any(p is not None for p in penalties) else [],
        default_penalty=None if default_penalty is None else float(default_penalty),
    )


def check_result_shape(result: Any, instance: Instance) -> None:
    """Raises InputError when a result dictionary does not answer this instance at all."""
    if not isinstance(result, dict):
        raise InputError("result: the document must be a JSON object")
    for key in ("status", "routes", "statistics"):
        if key not in result:
            raise InputError(f'result: no "{key}" key: not a result dictionary')
    routes = result["routes"]
    if not isinstance(routes, list):
        raise InputError('result: "routes" must be a list')
    if len(routes) != len(instance.agents):
        raise InputError(
            f"result does not belong to the instance: {len(routes)} routes for {len(instance.agents)} agents"
        )
    n = len(instance.node_ids)
    for k, route in enumerate(routes):
        if not isinstance(route, dict) or not {"agent_id", "path", "cost"} <= route.keys():
            raise InputError(f'result: route {k} needs "agent_id", "path" and "cost"')
        path = route["path"]
        if not isinstance(path, list) or not all(is_int(v) for v in path):
            raise InputError(f"result: route {k}: path must be a list of node indices")
        outside = [v for v in path if not 0 <= v < n]
        if outside:
            raise InputError(
                f"result does not belong to the instance: route {k} visits node index {outside[0]}, the instance has {n} nodes"
            )
        if not is_number(route["cost"]):
            raise InputError(f"result: route {k}: cost must be a number")
    stats = result["statistics"]
    if not isinstance(stats, dict) or not all(is_number(stats.get(key)) for key in ("max_cost", "sum_cost")):
        raise InputError('result: "statistics" needs numeric "max_cost" and "sum_cost"')
    _check_left_out_shape(result)
    anytime = result.get("anytime", [])
    if not isinstance(anytime, list) or not all(
        isinstance(e, dict) and all(is_number(e.get(key)) for key in ("time", "max_cost", "sum_cost"))
        for e in anytime
    ):
        raise InputError('result: "anytime" must be a list of {"time", "max_cost", "sum_cost"} entries')


def _check_left_out_shape(result: dict[str, Any]) -> None:
    """The keys of targets left out, where a result has them: ids, reasons beside them, a sum."""
    listed = result.get("unassigned", [])
    if not isinstance(listed, list) or not all(is_int(v) for v in listed):
        raise InputError('result: "unassigned" must be a list of node ids')
    reasons = result.get("unassigned_reasons", [None] * len(listed))
    if not isinstance(reasons, list) or len(reasons) != len(listed) or not all(
            r is None or isinstance(r, str) for r in reasons):
        raise InputError('result: "unassigned_reasons" must be a list beside "unassigned", a text or null each')
    if not is_number(result.get("penalty", 0.0)):
        raise InputError('result: "penalty" must be a number')


def _agent(agent: Any, k: int, index: dict[int, int]) -> AgentView:
    where = f"agent {k}"
    agent = _object(agent, where)
    agent_id = read_unsigned(agent, "id", where)
    kind = agent.get("type")
    if not isinstance(kind, str):
        raise InputError(f'{where}: "type" must be a string')
    ends = []
    for key in ("start_node", "end_node"):
        node_id = read_unsigned(agent, key, where)
        if node_id not in index:
            raise InputError(f'{where}: "{key}" {node_id} is not the id of any node')
        ends.append(index[node_id])
    limit = float(math.trunc(_real(agent, "max_length", where, 0.0)))
    capacity = float(math.trunc(_real(agent, "capacity", where, 0.0)))
    return AgentView(agent_id, kind, ends[0], ends[1], limit, capacity)


def _costs(costs: Any, key: str = "costs", positions: list[tuple[float, float]] | None = None) -> dict[str, Any]:
    """The matrices by type; with `positions`, a rule object reads as its RuleMatrix."""
    if isinstance(costs, list):
        costs = {str(i): matrix for i, matrix in enumerate(costs)}
    if not isinstance(costs, dict):
        raise InputError(f'instance: "{key}" must be an object of matrices')
    read: dict[str, Any] = {}
    for kind, matrix in costs.items():
        if positions is not None and isinstance(matrix, dict):
            problem = rule_problem(matrix)
            if problem:
                raise InputError(f'{key} "{kind}": {problem}')
            read[kind] = RuleMatrix(matrix["metric"], matrix.get("speed", 1.0), positions)
        elif not number_rows(matrix):
            raise InputError(f'{key} "{kind}": must be a list of rows of numbers')
        else:
            read[kind] = matrix
    return read


def _constraints(constraints: Any) -> tuple[dict[int, set[str]], dict[int, tuple[float, float]], list[Pair]]:
    if not isinstance(constraints, list):
        raise InputError('instance: "constraints" must be a list')
    allowed: dict[int, set[str]] = {}
    windows: dict[int, tuple[float, float]] = {}
    pairs: list[Pair] = []
    for c, constraint in enumerate(constraints):
        where = f"constraint {c}"
        constraint = _object(constraint, where)
        kind = constraint.get("kind")
        if kind == "assignment" and "items" in constraint:
            for item in _list(constraint, "items", where):
                item = _object(item, where)
                types = item.get("types")
                if not isinstance(types, list) or not all(isinstance(t, str) for t in types):
                    raise InputError(f'{where}: "types" must be a list of strings')
                allowed[read_unsigned(item, "node", where)] = set(types)
        elif kind == "timewindow" and "items" in constraint:
            for item in _list(constraint, "items", where):
                item = _object(item, where)
                end, start = _real(item, "end", where), _real(item, "start", where)
                windows[read_unsigned(item, "node", where)] = (start, end)
        elif kind == "sequence" and "precedence" in constraint:
            for item in _list(constraint, "precedence", where):
                item = _object(item, where)
                before, after = read_unsigned(item, "before", where), read_unsigned(item, "after", where)
                pairs.append(Pair(before, after, kind_of(item)))
    return allowed, windows, pairs


def _object(value: Any, where: str) -> dict[str, Any]:
    if not isinstance(value, dict):
        raise InputError(f"{where}: must be a JSON object")
    return value


def _list(obj: dict[str, Any], key: str, where: str) -> list[Any]:
    if key not in obj:
        raise InputError(f'{where}: "{key}" is missing')
    value = obj[key]
    if not isinstance(value, list):
        raise InputError(f'{where}: "{key}" must be a list')
    return value


def _real(obj: dict[str, Any], key: str, where: str, default: float | None = None) -> float:
    if key not in obj and default is not None:
        return default
    if key not in obj:
        raise InputError(f'{where}: "{key}" is missing')
    value = obj[key]
    if not is_number(value):
        raise InputError(f'{where}: "{key}" must be a number')
    return float(value)


def read_unsigned(obj: dict[str, Any], key: str, where: str) -> int:
    # As the solver's loader reads ids: a whole number that fits 64 bits stays exact
    # (a negative one wraps); anything else is read as a floating value, truncated
    # toward zero, saturated at 2^64 - 1 above and wrapped like a 64-bit integer below.
    raw = obj.get(key)
    if isinstance(raw, int) and not isinstance(raw, bool) and -(2**63) <= raw < U64:
        return raw % U64
    value = _real(obj, key, where)
    if math.isnan(value):
        raise InputError(f'{where}: "{key}" must be a number')
    if value >= U64:
        return U64 - 1
    if value <= -(2.0**63):
        return 2**63
    return math.trunc(value) % U64


# --- the fleet model's documents ------------------------------------------------------------


def read_fleet(model: Model, doc: dict[str, Any]) -> Model:
    """Fills an empty `model` from an instance document that `instance_from` accepts; the
    constraint objects' layout and the document's own keys are kept for `fleet_document`."""
    format_keys = ("name", "nodes", "agents", "costs", "distances", "constraints", "options")
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
        node_id = read_unsigned(raw, "id", "node")
        extra = {k: v for k, v in raw.items() if k not in ("id", "x", "y", "demand", "service", "penalty")}
        window, types = values.get(("timewindow", node_id)), values.get(("assignment", node_id))
        if window is not None and window[0] > window[1]:
            raise ValueError(f"node {node_id}: window {window} starts after it ends")
        model.nodes.append((Depot if depot else Target)(node_id, raw["x"], raw["y"], window, types, extra,
                                                        raw.get("demand"), raw.get("service"), raw.get("penalty")))
    for name, matrix in _named(doc.get("costs", {})).items():
        if isinstance(matrix, dict):  # a rule: its speed stays absent when the document leaves it out
            model.agent_types[name] = AgentType(name, speed=matrix.get("speed"), metric=matrix["metric"])
        else:
            model.agent_types[name] = AgentType(name, matrix=matrix)
    for name, matrix in _named(doc.get("distances", {})).items():
        model.agent_types.setdefault(name, AgentType(name)).distances = matrix
    agent_keys = ("id", "type", "start_node", "end_node", "max_length", "capacity")
    for raw in doc["agents"]:
        extra = {k: v for k, v in raw.items() if k not in agent_keys}
        start, end = (read_unsigned(raw, key, "agent") for key in ("start_node", "end_node"))
        model.agents.append(Agent(read_unsigned(raw, "id", "agent"), raw["type"], start, end, raw.get("max_length"),
                                  extra, raw.get("capacity")))
    named = [a.type for a in model.agents] + [t for n in model.nodes for t in n.types or []]
    for name in named:
        model.agent_types.setdefault(name, AgentType(name))  # a type without a matrix goes nowhere
    return model


def _named(matrices: Any) -> dict[str, Any]:
    # The array form names its matrices "0", "1", ...; written back as an object.
    return {str(i): m for i, m in enumerate(matrices)} if isinstance(matrices, list) else dict(matrices)


def _items(constraints: list[Any]) -> Iterable[tuple[int, int, str, int]]:
    """(object, item, kind, node id) of every assignment and time-window item the solver reads."""
    for c, constraint in enumerate(constraints):
        for kind in _LISTED_KINDS:
            if _listing(constraint, kind):
                for item_no, item in enumerate(constraint["items"]):
                    yield c, item_no, kind, read_unsigned(item, "node", f"constraint {c}")


def _listing(constraint: Any, kind: str) -> bool:
    return isinstance(constraint, dict) and constraint.get("kind") == kind and isinstance(constraint.get("items"), list)


# --- writing a document ------------------------------------------------------------------------------


def fleet_document(model: Model) -> dict[str, Any]:
    """The instance document of a model: ``read_fleet(Model(), doc)`` gives back ``doc``."""
    doc: dict[str, Any] = {} if model.name is None else {"name": model.name}
    doc["nodes"] = [_node_doc(n) for n in model.nodes]
    doc["agents"] = [_agent_doc(a) for a in model.agents]
    costs = _fleet_costs(model)
    if costs or "costs" in model._keys:
        doc["costs"] = costs
    distances = {k.name: copy.deepcopy(k.distances) for k in model.agent_types.values() if k.distances is not None}
    if distances or "distances" in model._keys:
        doc["distances"] = distances
    constraints = _constraint_docs(model)
    if constraints or "constraints" in model._keys:
        doc["constraints"] = constraints
    if model.options or "options" in model._keys:
        doc["options"] = copy.deepcopy(model.options)
    doc.update(copy.deepcopy(model.extra))
    return doc


def _fleet_costs(model: Model) -> dict[str, Any]:
    used = {a.type for a in model.agents}
    costs: dict[str, Any] = {}
    for kind in model.agent_types.values():
        if kind.matrix is not None:
            costs[kind.name] = copy.deepcopy(kind.matrix)
        elif kind.metric is not None and kind.name in used:  # the solver refuses costs nobody uses
            rule: dict[str, Any] = {"metric": kind.metric}
            if kind.speed is not None:
                rule["speed"] = kind.speed
            costs[kind.name] = rule
    return costs


def _constraint_docs(model: Model) -> list[Any]:
    """The read document's constraint objects, each item refilled from the model's nodes;
    windows and types not in them go into the last object of their kind, or a new one."""
    by_id = {n.id: n for n in model.nodes}
    last: dict[tuple[str, int], tuple[int, int]] = {}  # a later item replaces an earlier one
    for c, item_no, kind, node_id in _items(model._constraints):
        last[(kind, node_id)] = (c, item_no)
    docs = copy.deepcopy(model._constraints)
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
        new = [{"node": n.id, **value} for n in model.nodes
               if (kind, n.id) not in written and (value := _item_value(kind, n)) is not None]
        if new:
            home = next((d for d in reversed(docs) if _listing(d, kind)), None)
            if home is None:
                docs.append({"kind": kind, "items": new})
            else:
                home["items"].extend(new)
    return docs



def _item_value(kind: str, node: Node) -> dict[str, Any] | None:
    if kind == "assignment":
        return None if node.types is None else {"types": list(node.types)}
    return None if node.window is None else {"start": node.window[0], "end": node.window[1]}


def _node_doc(node: Node) -> dict[str, Any]:
    doc: dict[str, Any] = {"id": node.id, "x": node.x, "y": node.y, **copy.deepcopy(node.extra)}
    for key, value in (("demand", node.demand), ("service", node.service), ("penalty", node.penalty)):
        if value is not None:
            doc[key] = value
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
    if agent.capacity is not None:
        doc["capacity"] = agent.capacity
    doc.update(copy.deepcopy(agent.extra))
    return doc


# --- JSON text --------------------------------------------------------------------------------


def dumps(value: Any) -> str:
    """JSON text with one line per node, agent, matrix row or route: readable and still compact."""
    return _dump(value, 0) + "\n"


def _dump(value: Any, level: int) -> str:
    children = list(value.values()) if isinstance(value, dict) else value if isinstance(value, list) else []
    if not any(isinstance(c, (dict, list)) and c for c in children):
        return json.dumps(value, separators=(", ", ": "))
    pad = "  " * (level + 1)
    if isinstance(value, dict):
        items = [f"{pad}{json.dumps(k)}: {_dump(v, level + 1)}" for k, v in value.items()]
        return "{\n" + ",\n".join(items) + "\n" + "  " * level + "}"
    items = [pad + _dump(v, level + 1) for v in value]
    return "[\n" + ",\n".join(items) + "\n" + "  " * level + "]"
