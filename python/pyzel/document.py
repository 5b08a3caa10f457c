"""Reading instance and result documents with the solver's own conversion rules,
and with one-line errors for anything that cannot be read."""

from __future__ import annotations

import json
import math
import os
from dataclasses import dataclass, field
from typing import Any

from .errors import InputError

MISSING_COST = 9999.0  # default of the "missing_cost" option: a cost at or above it is no arc
_U64 = 1 << 64


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


@dataclass
class AgentView:
    id: int
    type: str
    start: int  # node index
    end: int  # node index
    max_length: float  # 0 means no limit


@dataclass
class Instance:
    """The parts of an instance document that the checker and the pictures need."""

    node_ids: list[int]
    positions: list[tuple[float, float]]
    typed_depots: set[int]  # node indices whose "type" says depot
    agents: list[AgentView]
    costs: dict[str, list[list[float]]]
    allowed: dict[int, set[str]] = field(default_factory=dict)  # node id -> agent types
    windows: dict[int, tuple[float, float]] = field(default_factory=dict)  # node id -> (start, end)
    return_to_end: bool = True
    objective: str = "min_sum"
    missing_cost: float = MISSING_COST  # a cost at or above it is no arc
    name: str = ""

    @property
    def depots(self) -> set[int]:
        """Node indices where an agent starts or ends."""
        return {a.start for a in self.agents} | {a.end for a in self.agents}

    def cost(self, agent_type: str, u: int, v: int) -> float:
        """The arc cost as the solver sees it: missing_cost where no matrix gives one."""
        matrix = self.costs.get(agent_type)
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
    for i, node in enumerate(nodes):
        where = f"node {i}"
        node = _object(node, where)
        node_ids.append(_unsigned(node, "id", where))
        positions.append((_real(node, "x", where), _real(node, "y", where)))
        kind = node.get("type", "target")
        if not isinstance(kind, str):
            raise InputError(f'{where}: "type" must be a string')
        if kind.upper() == "DEPOT":
            typed_depots.add(i)
    index = {node_id: i for i, node_id in enumerate(node_ids)}  # a later duplicate wins
    agents = [_agent(a, k, index) for k, a in enumerate(_list(doc, "agents", "instance"))]
    options = doc.get("options", {})
    if not isinstance(options, dict):
        raise InputError('instance: "options" must be an object')
    return_to_end = options.get("return_to_end", True)
    if not isinstance(return_to_end, bool):
        raise InputError('options: "return_to_end" must be true or false')
    missing_cost = _real(options, "missing_cost", "options", MISSING_COST)
    allowed, windows = _constraints(doc.get("constraints", []))
    return Instance(
        node_ids=node_ids,
        positions=positions,
        typed_depots=typed_depots,
        agents=agents,
        costs=_costs(doc.get("costs", {})),
        allowed=allowed,
        windows=windows,
        return_to_end=return_to_end,
        objective=objective_of(doc),
        missing_cost=missing_cost,
        name=str(doc.get("name", name)),
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
        if not isinstance(path, list) or not all(_is_int(v) for v in path):
            raise InputError(f"result: route {k}: path must be a list of node indices")
        outside = [v for v in path if not 0 <= v < n]
        if outside:
            raise InputError(
                f"result does not belong to the instance: route {k} visits node index {outside[0]}, the instance has {n} nodes"
            )
        if not _is_number(route["cost"]):
            raise InputError(f"result: route {k}: cost must be a number")
    stats = result["statistics"]
    if not isinstance(stats, dict) or not all(_is_number(stats.get(key)) for key in ("max_cost", "sum_cost")):
        raise InputError('result: "statistics" needs numeric "max_cost" and "sum_cost"')
    anytime = result.get("anytime", [])
    if not isinstance(anytime, list) or not all(
        isinstance(e, dict) and all(_is_number(e.get(key)) for key in ("time", "max_cost", "sum_cost"))
        for e in anytime
    ):
        raise InputError('result: "anytime" must be a list of {"time", "max_cost", "sum_cost"} entries')


def _agent(agent: Any, k: int, index: dict[int, int]) -> AgentView:
    where = f"agent {k}"
    agent = _object(agent, where)
    agent_id = _unsigned(agent, "id", where)
    kind = agent.get("type")
    if not isinstance(kind, str):
        raise InputError(f'{where}: "type" must be a string')
    ends = []
    for key in ("start_node", "end_node"):
        node_id = _unsigned(agent, key, where)
        if node_id not in index:
            raise InputError(f'{where}: "{key}" {node_id} is not the id of any node')
        ends.append(index[node_id])
    limit = float(math.trunc(_real(agent, "max_length", where, 0.0)))
    return AgentView(agent_id, kind, ends[0], ends[1], limit)


def _costs(costs: Any) -> dict[str, list[list[float]]]:
    if isinstance(costs, list):
        costs = {str(i): matrix for i, matrix in enumerate(costs)}
    if not isinstance(costs, dict):
        raise InputError('instance: "costs" must be an object of matrices')
    for kind, matrix in costs.items():
        if not isinstance(matrix, list) or not all(
            isinstance(row, list) and all(_is_number(v) for v in row) for row in matrix
        ):
            raise InputError(f'costs "{kind}": must be a list of rows of numbers')
    return costs


def _constraints(constraints: Any) -> tuple[dict[int, set[str]], dict[int, tuple[float, float]]]:
    if not isinstance(constraints, list):
        raise InputError('instance: "constraints" must be a list')
    allowed: dict[int, set[str]] = {}
    windows: dict[int, tuple[float, float]] = {}
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
                allowed[_unsigned(item, "node", where)] = set(types)
        elif kind == "timewindow" and "items" in constraint:
            for item in _list(constraint, "items", where):
                item = _object(item, where)
                end, start = _real(item, "end", where), _real(item, "start", where)
                windows[_unsigned(item, "node", where)] = (start, end)
    return allowed, windows


def _is_number(value: Any) -> bool:
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def _is_int(value: Any) -> bool:
    return isinstance(value, int) and not isinstance(value, bool)


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
    if not _is_number(value):
        raise InputError(f'{where}: "{key}" must be a number')
    return float(value)


def _unsigned(obj: dict[str, Any], key: str, where: str) -> int:
    # As the solver's loader reads ids: a whole number that fits 64 bits stays exact
    # (a negative one wraps); anything else is read as a floating value, truncated
    # toward zero, saturated at 2^64 - 1 above and wrapped like a 64-bit integer below.
    raw = obj.get(key)
    if isinstance(raw, int) and not isinstance(raw, bool) and -(2**63) <= raw < _U64:
        return raw % _U64
    value = _real(obj, key, where)
    if math.isnan(value):
        raise InputError(f'{where}: "{key}" must be a number')
    if value >= _U64:
        return _U64 - 1
    if value <= -(2.0**63):
        return 2**63
    return math.trunc(value) % _U64


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
