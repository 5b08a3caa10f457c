"""The instance document checked against the JSON Schema of the instance format
(``instance.schema.json``, shipped beside this module).

The solver reads instances leniently: it ignores keys it does not know, skips
constraints of unknown kinds and reads any objective other than min-max as
min-sum. A typo therefore changes the model without a word; these warnings name
it before a solve. They never change what the solver reads.
"""

from __future__ import annotations

import difflib
import functools
import json
import math
from importlib import resources
from typing import Any

from .document import capacities_stated, read_unsigned, sequence_stated
from .errors import InputError
from .values import is_number, number_rows

OBJECTIVES = ("min_max", "MIN_MAX", "min_sum", "MIN_SUM")  # the spellings the solver tells apart


@functools.cache
def instance_schema() -> dict[str, Any]:
    """The JSON Schema (draft 2020-12) of the instance format."""
    text = resources.files(__package__).joinpath("instance.schema.json").read_text(encoding="utf-8")
    schema: dict[str, Any] = json.loads(text)
    return schema


def instance_warnings(doc: Any) -> list[str]:
    """One readable line per departure from the instance format, ordered by where it
    is; an empty list means the document is what the solver expects."""
    from jsonschema import Draft202012Validator  # type: ignore[import-untyped]

    validator = Draft202012Validator(instance_schema())
    copies: dict[Where, list[Where]] = {}
    try:
        errors = list(validator.iter_errors(_light(doc, copies)))
    except RecursionError:
        raise InputError("the document is nested too deeply to check") from None
    found = [(path, error) for error in errors for path in _originals(tuple(error.absolute_path), copies)]
    found.sort(key=lambda f: [_sort_key(p) for p in f[0]])
    lines: list[str] = []
    for path, error in found:
        lines += _describe(error, path)
    return lines + _cross_references(doc) + _value_findings(doc)


# Where the format wants a number and nothing else: such a value never makes a finding, so
# list items that differ only there are checked once (a thousand nodes are few shapes).
_NUMBERS = {"id", "x", "y", "z", "demand", "service", "penalty", "node", "start", "end", "before", "after"}
Where = tuple[Any, ...]


def _light(doc: Any, copies: dict[Where, list[Where]]) -> Any:
    """What the validator needs to see of `doc`: each long list (nodes, constraint items)
    with one item of each shape, `copies` mapping it to the items it stands for, and the cost
    matrices emptied when every one is rows of numbers, which one pass tells at the speed
    of C. A malformed matrix is left for the validator to describe."""
    if not isinstance(doc, dict):
        return doc
    light = dict(doc)
    if isinstance(doc.get("nodes"), list):
        light["nodes"] = _shapes(doc["nodes"], ("nodes",), copies)
    if isinstance(doc.get("constraints"), list):
        light["constraints"] = [dict(c) if isinstance(c, dict) else c for c in doc["constraints"]]
        for k, constraint in enumerate(light["constraints"]):
            for key in ("items", "precedence"):
                if isinstance(constraint, dict) and isinstance(constraint.get(key), list):
                    constraint[key] = _shapes(constraint[key], ("constraints", k, key), copies)
    for key in ("costs", "distances"):
        # A rule object is small and stays; a matrix of numbers is emptied.
        matrices = doc.get(key)
        if isinstance(matrices, dict) and all(number_rows(m) or isinstance(m, dict) for m in matrices.values()):
            light[key] = {k: [] if number_rows(m) else m for k, m in matrices.items()}
        elif isinstance(matrices, list) and all(number_rows(m) or isinstance(m, dict) for m in matrices):
            light[key] = [[] if number_rows(m) else m for m in matrices]
    return light


def _shapes(items: list[Any], where: Where, copies: dict[Where, list[Where]]) -> list[Any]:
    kept: dict[str, int] = {}
    shapes: list[Any] = []
    for i, item in enumerate(items):
        shape = item
        if isinstance(item, dict):
            shape = {k: 0 if k in _NUMBERS and is_number(v) else v for k, v in item.items()}
        key = json.dumps(shape, default=repr)
        if key not in kept:
            kept[key] = len(shapes)
            shapes.append(item)
            copies[(*where, kept[key])] = []
        copies[(*where, kept[key])].append((*where, i))
    return shapes


def _originals(path: Where, copies: dict[Where, list[Where]]) -> list[Where]:
    """The paths in the document of a finding at `path` in what the validator saw."""
    for size in (2, 4):
        if path[:size] in copies:
            return [(*original, *path[size:]) for original in copies[path[:size]]]
    return [path]


def _describe(error: Any, path: Where) -> list[str]:
    where = _location(path)
    value = error.instance
    if error.validator == "additionalProperties":
        known = list(error.schema.get("properties", {}))
        extra = [key for key in value if key not in known]
        return [f'{where}: unknown key "{key}"{_suggestion(key, known)}; the solver ignores it' for key in extra]
    if error.validator == "enum" and where.endswith(".objective") and isinstance(value, str):
        return [
            f"{where}: {json.dumps(value)} is not one of {', '.join(OBJECTIVES)}{_suggestion(value, OBJECTIVES)};"
            " the solver reads it as min_sum"
        ]
    if error.validator == "enum" and where.endswith(".kind"):
        kinds = error.validator_value
        return [
            f"{where}: unknown constraint kind {json.dumps(value)}{_suggestion(value, kinds)}; the solver skips this constraint"
        ]
    if error.validator == "required" and "then" in error.schema_path and "kind" in value:
        missing = error.validator_value[0]
        return [f'{where}: a "{value.get("kind")}" constraint without "{missing}"; the solver skips it']
    if error.validator == "pattern" and where.endswith(".type"):
        return [f"{where}: node type {json.dumps(value)} is neither depot nor target; the solver reads it as a target"]
    return [f"{where}: {error.message}"]


def _sort_key(part: Any) -> str:
    return f"{part:012d}" if isinstance(part, int) else str(part)


def _location(path: Any) -> str:
    text = "instance"
    for part in path:
        text += f"[{part}]" if isinstance(part, int) else f".{part}"
    return text


def _suggestion(word: Any, choices: Any) -> str:
    if not isinstance(word, str):
        return ""
    by_lower = {str(c).lower(): str(c) for c in reversed(list(choices))}  # the first spelling wins
    close = difflib.get_close_matches(word.lower(), list(by_lower), n=1, cutoff=0.6)
    return f' (did you mean "{by_lower[close[0]]}"?)' if close else ""


def _cross_references(doc: Any) -> list[str]:
    """What the schema cannot say: agent types and cost matrices that do not meet."""
    if not isinstance(doc, dict) or not isinstance(doc.get("agents"), list):
        return []
    costs, distances = _matrices(doc, "costs"), _matrices(doc, "distances")
    if costs is None:
        return []
    types = sorted({a["type"] for a in doc["agents"] if isinstance(a, dict) and isinstance(a.get("type"), str)})
    lines = [
        f'agent type "{t}" has no cost matrix or rule{_suggestion(t, costs)}: its agents can go nowhere'
        for t in types
        if t not in costs
    ]
    for key, matrices in (("costs", costs), ("distances", distances or {})):
        lines += [
            f'instance.{key}: {"a rule" if isinstance(m, dict) else "a matrix"} for type "{t}", which no agent has'
            f"{_suggestion(t, types)}; the solver refuses it"
            for t, m in matrices.items()
            if t not in types
        ]
    nodes = doc.get("nodes")
    n = len(nodes) if isinstance(nodes, list) else 0
    for key, matrices in (("costs", costs), ("distances", distances or {})):
        for t, matrix in matrices.items():
            if isinstance(matrix, list) and (len(matrix) != n or any(isinstance(r, list) and len(r) != n for r in matrix)):
                lines.append(f"instance.{key}.{t}: not {n} rows of {n} numbers; "
                             + ("the entries it lacks count as no arc" if key == "costs" else "the solver refuses it"))
    return lines


def _matrices(doc: dict[str, Any], key: str) -> dict[str, Any] | None:
    matrices = doc.get(key, {})
    if isinstance(matrices, list):
        matrices = {str(i): matrix for i, matrix in enumerate(matrices)}
    return matrices if isinstance(matrices, dict) else None


def non_finite(doc: Any) -> list[str]:
    """Numbers too large for a double (1e400 reads as infinity) or not numbers at all (NaN,
    which only a Python document can hold): the solver refuses a document with any."""
    lines: list[str] = []
    costs = doc.get("costs") if isinstance(doc, dict) else None
    rest = {k: v for k, v in doc.items() if k != "costs"} if isinstance(doc, dict) else doc
    _walk_numbers(rest, "instance", lines)
    named = costs.items() if isinstance(costs, dict) else enumerate(costs) if isinstance(costs, list) else []
    for name, matrix in named:
        if not number_rows(matrix):
            _walk_numbers(matrix, _location(["costs", name]), lines)
            continue
        for r, row in enumerate(matrix):
            if row and not (math.isfinite(min(row)) and math.isfinite(max(row))):  # NaN fails both or neither
                _walk_numbers(row, _location(["costs", name, r]), lines)
    return lines


def _walk_numbers(value: Any, where: str, lines: list[str]) -> None:
    if isinstance(value, float) and not math.isfinite(value):
        lines.append(f"{where}: {value} is not a finite number; the solver refuses the document")
    elif isinstance(value, dict):
        for key, item in value.items():
            _walk_numbers(item, f"{where}.{key}", lines)
    elif isinstance(value, list):
        for k, item in enumerate(value):
            _walk_numbers(item, f"{where}[{k}]", lines)


def _value_findings(doc: Any) -> list[str]:
    """Values of the right type that the solver reads otherwise than they seem to say."""
    if not isinstance(doc, dict):
        return []
    lines = non_finite(doc)
    agents, nodes = doc.get("agents"), doc.get("nodes")
    for k, agent in enumerate(agents if isinstance(agents, list) else []):
        for key in ("max_length", "capacity"):
            limit: Any = agent.get(key) if isinstance(agent, dict) else None
            if not is_number(limit) or not math.isfinite(limit) or limit == math.trunc(limit) and limit >= 0:
                continue
            read = math.trunc(limit)
            meaning = "no limit" if read <= 0 else f"a limit of {read}"
            lines.append(f"instance.agents[{k}].{key}: {limit:g} is read as {read}: {meaning}")
    first: dict[int, int] = {}
    for i, node in enumerate(nodes if isinstance(nodes, list) else []):
        node_id = _id(node.get("id") if isinstance(node, dict) else None)
        if node_id is not None and first.setdefault(node_id, i) != i:
            lines.append(f"instance.nodes[{i}].id: {node_id} is the id of node {first[node_id]} too; ids must be unique")
    constraints = doc.get("constraints")
    lines += unenforced(doc) + _penalty_findings(doc) + _pair_findings(doc)
    for c, constraint in enumerate(constraints if isinstance(constraints, list) else []):
        items = constraint.get("items") if isinstance(constraint, dict) else None
        if not isinstance(items, list) or constraint.get("kind") != "timewindow":
            continue
        for i, item in enumerate(items):
            if not isinstance(item, dict):
                continue
            start: Any = item.get("start")
            end: Any = item.get("end")
            if is_number(start) and is_number(end) and start > end:
                lines.append(f"instance.constraints[{c}].items[{i}]: the window opens at {start:g}, after it closes"
                             f" at {end:g}: node {item.get('node')} can never be served")
    return lines


def unenforced(doc: dict[str, Any]) -> list[str]:
    """Data the document carries that no rule of its solve reads: demands and capacities with
    "enforce_capacities" turned off, and "sequence" pairs with "enforce_sequence" turned off."""
    lines = []
    options = doc.get("options")
    enforce = options.get("enforce_capacities") if isinstance(options, dict) else None
    if enforce is False and capacities_stated(doc):
        lines.append('instance.options.enforce_capacities: false: the demands and capacities are not enforced;'
                     ' routes may carry more than their agents\' capacities')
    elif enforce is True or enforce is None and capacities_stated(doc):
        agents, nodes = (v if isinstance(v := doc.get(key), list) else [] for key in ("agents", "nodes"))
        depots = {a.get(key) for a in agents if isinstance(a, dict) for key in ("start_node", "end_node")}
        lines += [f"instance.nodes[{i}].demand: {n['demand']:g}: with capacities enforced a demand must be 0 or more;"
                  " the solver refuses the document" for i, n in enumerate(nodes)
                  if isinstance(n, dict) and is_number(n.get("demand")) and n["demand"] < 0 and n.get("id") not in depots]
    if isinstance(options, dict) and options.get("enforce_sequence") is False and sequence_stated(doc):
        lines.append('instance.options.enforce_sequence: false: the "sequence" pairs are not enforced;'
                     " the routes may break them")
    return lines


def _penalty_findings(doc: dict[str, Any]) -> list[str]:
    """Penalties the solver refuses: below 0, or on a depot, which is never left out."""
    agents, nodes = (v if isinstance(v := doc.get(key), list) else [] for key in ("agents", "nodes"))
    depots = {_id(a.get(key)) for a in agents if isinstance(a, dict) for key in ("start_node", "end_node")}
    lines = []
    for i, node in enumerate(nodes):
        if not isinstance(node, dict) or not is_number(node.get("penalty")):
            continue
        typed = isinstance(node.get("type"), str) and node["type"].upper() == "DEPOT"
        if node["penalty"] < 0:
            lines.append(f"instance.nodes[{i}].penalty: {node['penalty']:g} is below 0; the solver refuses the document")
        elif typed or _id(node.get("id")) in depots:
            lines.append(f"instance.nodes[{i}].penalty: node {node.get('id')} is a depot, which is never left out;"
                         " the solver refuses the document")
    options = doc.get("options")
    default: Any = options.get("default_penalty") if isinstance(options, dict) else None
    if is_number(default) and default < 0:
        lines.append(f"instance.options.default_penalty: {default:g} is below 0; the solver refuses the document")
    return lines


def _pair_findings(doc: dict[str, Any]) -> list[str]:
    """Pairs naming a node the document does not have (the solver refuses them when it
    enforces the pairs) or a depot, which is no target to serve."""
    options = doc.get("options")
    if isinstance(options, dict) and options.get("enforce_sequence") is False:
        return []  # not read: the warning of `unenforced` says so
    agents, nodes, constraints = (v if isinstance(v := doc.get(key), list) else []
                                  for key in ("agents", "nodes", "constraints"))
    ids = {_id(n.get("id")) for n in nodes if isinstance(n, dict)}
    depots = {_id(a.get(key)) for a in agents if isinstance(a, dict) for key in ("start_node", "end_node")}
    lines = []
    for c, constraint in enumerate(constraints):
        items = constraint.get("precedence") if isinstance(constraint, dict) else None
        if not isinstance(items, list) or constraint.get("kind") != "sequence":
            continue
        for i, item in enumerate(items):
            for key in ("before", "after"):
                node_id = _id(item.get(key)) if isinstance(item, dict) else None
                where = f"instance.constraints[{c}].precedence[{i}].{key}"
                if node_id is not None and node_id not in ids:
                    lines.append(f"{where}: {node_id} is not the id of any node; the solver refuses the document")
                elif node_id is not None and node_id in depots:
                    lines.append(f"{where}: node {node_id} is a depot, not a target to serve")
    return lines


def _id(value: Any) -> int | None:
    try:
        return read_unsigned({"id": value}, "id", "node") if is_number(value) else None
    except (InputError, OverflowError, ValueError):
        return None
