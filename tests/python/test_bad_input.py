"""Bad input through both roads (a JSON document, and the same instance built
object by object): every case ends in a clear exception or in a valid result,
and nothing takes the interpreter down. Time limits stay at or below 1 s."""
import copy
import json
import re

import pytest

import _pyzel_core as z
from solution_checker import route_problems

NAN, INF = float("nan"), float("inf")
U64_MAX = 2**64 - 1
MISSING = 9999.0
INDEX_ERROR = "invalid unordered_map<K, T> key"

# Three nodes, one agent; both tours cost 12, so only their direction differs.
TRIANGLE = {
    "nodes": [{"id": 0, "x": 0, "y": 0, "type": "depot"}, {"id": 1, "x": 3, "y": 0},
              {"id": 2, "x": 0, "y": 4}],
    "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 0}],
    "costs": {"a": [[0, 3, 4], [3, 0, 5], [4, 5, 0]]},
    "options": {"objective": "min_max", "time_limit": 1},
}

# Every key of the format once, for the wrong-type table.
RICH = {
    "nodes": [{"id": 0, "x": 0, "y": 0, "z": 0, "type": "depot", "demand": 0},
              {"id": 1, "x": 3, "y": 0}, {"id": 2, "x": 0, "y": 4}],
    "agents": [{"id": 0, "type": "a", "start_node": 0, "end_node": 0, "capacity": 5,
                "max_length": 100}],
    "costs": {"a": [[0, 3, 4], [3, 0, 5], [4, 5, 0]]},
    "constraints": [
        {"kind": "assignment", "items": [{"node": 1, "types": ["a"]}]},
        {"kind": "timewindow", "items": [{"node": 2, "start": 0, "end": 100}]},
        {"kind": "sequence", "precedence": [{"before": 1, "after": 2, "type": "same"}]},
    ],
    "options": {"objective": "min_max", "time_limit": 1, "return_to_end": True},
}


def variant(base=TRIANGLE, **top):
    doc = copy.deepcopy(base)
    doc.update(copy.deepcopy(top))
    return doc


def with_value(doc, path, value):
    doc = copy.deepcopy(doc)
    target = doc
    for key in path[:-1]:
        target = target[key]
    target[path[-1]] = value
    return doc


# --- the two roads -----------------------------------------------------------

def solve_json(doc, time_limit=-1):
    return z.solve_json_str(json.dumps(doc), time_limit)


def _costs(doc):
    costs = doc.get("costs", {})
    return {str(i): m for i, m in enumerate(costs)} if isinstance(costs, list) else costs


def build_problem(doc):
    """The instance of `doc`, built call by call as a Python caller would."""
    p = z.Problem()
    for item in doc["nodes"]:
        n = z.Node()
        n.id = item["id"]
        n.position.x, n.position.y = item["x"], item["y"]
        n.position.z = item.get("z", 0.0)
        n.demand = item.get("demand", 0.0)
        is_depot = str(item.get("type", "")).upper() == "DEPOT"
        n.type = z.NodeType.DEPOT if is_depot else z.NodeType.TARGET
        p.add_node(n)
    for item in doc["agents"]:
        a = z.Agent()
        a.id, a.type = item["id"], item["type"]
        a.start_node, a.end_node = item["start_node"], item["end_node"]
        a.capacity_limit = item.get("capacity", 0.0)
        a.time_limit = item.get("max_length", 0.0)
        p.add_agent(a, a.id)
    for agent_type, matrix in _costs(doc).items():
        p.set_cost_matrix(agent_type, matrix)
    assignment, windows = z.AssignmentConstraint(), z.TimeWindowConstraint()
    for c in doc.get("constraints", []):
        for item in c.get("items", []):
            if c["kind"] == "assignment":
                assignment.set_assignment(item["node"], item["types"])
            elif c["kind"] == "timewindow":
                windows.set_timewindow(item["node"], item["start"], item["end"])
    p.set_assignment_constraint(assignment)
    p.set_timewindow_constraint(windows)
    opts = doc.get("options", {})
    p.options().return_to_end = opts.get("return_to_end", True)
    minmax = opts.get("objective", "min_sum") in ("min_max", "MIN_MAX")
    p.options().objective = z.ObjectiveType.MinMax if minmax else z.ObjectiveType.MinSum
    p.options().time_limit = opts.get("time_limit", 60.0)
    return p


def as_result_dict(doc, solver):
    """The object road's answer in the JSON road's layout, for the one checker."""
    r = solver.get_result()
    paths, times = r.paths, r.times
    routes = [{"agent_id": a["id"], "path": paths.get(k, []), "cost": times.get(k, 0.0)}
              for k, a in enumerate(doc["agents"])]
    costs = [route["cost"] for route in routes]
    return {"status": "success" if paths else "failed", "timeout": r.timeout, "routes": routes,
            "statistics": {"max_cost": max([0.0] + costs), "sum_cost": sum(costs),
                           "n_expanded": r.n_expanded}}


def solve_objects(doc):
    p = build_problem(doc)
    s = z.Solver(p, p.options())
    s.solve()
    return as_result_dict(doc, s)


ROADS = {"json": solve_json, "objects": solve_objects}


@pytest.fixture(params=sorted(ROADS))
def road(request):
    return request.param


# --- outcomes ----------------------------------------------------------------

class Raises:
    def __init__(self, exc, pattern):
        self.exc, self.pattern = exc, pattern

    def check(self, solve, doc):
        with pytest.raises(self.exc, match=self.pattern):
            solve(doc)


class Valid:
    """A result that the checker accepts; `cost`, `path` and `agent_id` pin it further."""

    def __init__(self, cost=None, path=None, checked_doc=None, agent_id=None):
        self.cost, self.path, self.checked_doc = cost, path, checked_doc
        self.agent_id = agent_id

    def check(self, solve, doc):
        out = solve(doc)
        assert out["status"] == "success"
        if self.agent_id is not None:
            assert out["routes"][0]["agent_id"] == self.agent_id
            out["routes"][0]["agent_id"] = self.checked_doc["agents"][0]["id"]
        assert route_problems(self.checked_doc or doc, out) == []
        if self.cost is not None:
            assert out["routes"][0]["cost"] == self.cost
        if self.path is not None:
            assert out["routes"][0]["path"] == self.path


class Unsolved:
    """No solution, reported as such; `timeout` tells whether the clock ended it."""

    def __init__(self, timeout=False):
        self.timeout = timeout

    def check(self, solve, doc):
        out = solve(doc)
        assert out["status"] == "failed"
        assert out["timeout"] is self.timeout
        assert all(r["path"] == [] and r["cost"] == 0.0 for r in out["routes"])


class MissingCostsAre9999:
    """Entries a matrix does not give cost 9999.0; extra entries are ignored."""

    def check(self, solve, doc):
        out = solve(doc)
        matrix = (doc.get("costs") or {}).get("a", [])
        assert out["status"] == "success"
        for route in out["routes"]:
            path = route["path"]
            expected = sum(cost_or_missing(matrix, u, v) for u, v in zip(path, path[1:]) if u != v)
            assert route["cost"] == expected


def cost_or_missing(matrix, u, v):
    try:
        return matrix[u][v]
    except IndexError:
        return MISSING


TOUR = Valid(cost=12.0)
# For documents the checker reads differently from the loader (ids beyond a
# double's precision, null lists): the same tour as the plain triangle's.
SAME_AS_TRIANGLE = Valid(cost=12.0, checked_doc=TRIANGLE)


# --- malformed text ----------------------------------------------------------

PARSE = r"^\[json\.exception\.parse_error\.101\] parse error at line 1, column \d+: syntax error"

MALFORMED = [
    ("empty", "", PARSE),
    ("unclosed object", "{", PARSE),
    ("unclosed array", "[1,", PARSE),
    ("bad literal", "nul", PARSE),
    ("single quotes", "{'nodes': []}", PARSE),
    ("trailing garbage", '{"nodes": [], "agents": []} x', PARSE),
    ("trailing comma", '{"nodes": [], "agents": [],}', PARSE),
    ("comment", '{"nodes": [], "agents": []} // note', PARSE),
    ("NaN literal", '{"nodes": [{"id": 0, "x": NaN, "y": 0}], "agents": []}', PARSE),
    ("number overflow", '{"nodes": [{"id": 0, "x": 1e999, "y": 0}], "agents": []}',
     r"out_of_range\.406\] number overflow parsing '1e999'"),
    ("NUL byte", "\x00{}", PARSE),
    ("deep nesting", "[" * 100000 + "]" * 100000, r"type_error\.304\] cannot use at\(\) with array"),
    ("array document", "[]", r"type_error\.304\] cannot use at\(\) with array"),
    ("number document", "1", r"type_error\.304\] cannot use at\(\) with number"),
    ("null document", "null", r"type_error\.304\] cannot use at\(\) with null"),
    ("no nodes", "{}", r"out_of_range\.403\] key 'nodes' not found"),
    ("no agents", '{"nodes": []}', r"out_of_range\.403\] key 'agents' not found"),
]


@pytest.mark.parametrize("entry", ["str", "file"])
@pytest.mark.parametrize("name,text,message", MALFORMED, ids=[m[0] for m in MALFORMED])
def test_malformed_text_raises_the_library_error(name, text, message, entry, tmp_path):
    if entry == "str":
        call = lambda: z.solve_json_str(text, 0.5)  # noqa: E731
    else:
        path = tmp_path / "instance.json"
        path.write_bytes(text.encode("utf-8"))
        call = lambda: z.solve_json_file(str(path), 0.5)  # noqa: E731
    with pytest.raises(RuntimeError, match=message):
        call()


def test_a_byte_order_mark_is_skipped():
    out = z.solve_json_str("\ufeff" + json.dumps(TRIANGLE))
    assert out["status"] == "success"


def test_text_that_cannot_be_utf_8_is_a_type_error():
    with pytest.raises(TypeError, match="incompatible function arguments"):
        z.solve_json_str("\ud800")


@pytest.mark.parametrize("path", ["/nonexistent/instance.json", "/", "bad\x00name"])
def test_unreadable_paths(path):
    with pytest.raises(RuntimeError, match="^Cannot open file: "):
        z.solve_json_file(path)


# --- wrong JSON types at every key ---------------------------------------------

JSON_VALUES = {"null": None, "boolean": True, "string": "s", "array": [], "object": {},
               "number": 1.5}

# Every scalar key of the format and the JSON type it must have.
SCALAR_KEYS = [
    (("nodes", 0, "id"), "number"), (("nodes", 0, "x"), "number"), (("nodes", 0, "y"), "number"),
    (("nodes", 0, "z"), "number"), (("nodes", 0, "type"), "string"),
    (("nodes", 0, "demand"), "number"),
    (("agents", 0, "id"), "number"), (("agents", 0, "type"), "string"),
    (("agents", 0, "start_node"), "number"), (("agents", 0, "end_node"), "number"),
    (("agents", 0, "capacity"), "number"), (("agents", 0, "max_length"), "number"),
    (("costs", "a", 0), "array"), (("costs", "a", 0, 0), "number"),
    (("constraints", 0, "kind"), "string"),
    (("constraints", 0, "items", 0, "node"), "number"),
    (("constraints", 0, "items", 0, "types"), "array"),
    (("constraints", 0, "items", 0, "types", 0), "string"),
    (("constraints", 1, "items", 0, "node"), "number"),
    (("constraints", 1, "items", 0, "start"), "number"),
    (("constraints", 1, "items", 0, "end"), "number"),
    (("constraints", 2, "precedence", 0, "before"), "number"),
    (("constraints", 2, "precedence", 0, "after"), "number"),
    (("constraints", 2, "precedence", 0, "type"), "string"),
    (("options", "return_to_end"), "boolean"), (("options", "objective"), "string"),
    (("options", "time_limit"), "number"),
]

# Every object of the format and the key the loader reads first from it.
OBJECT_KEYS = [
    (("nodes", 0), "id"), (("agents", 0), "id"), (("constraints", 0), "kind"),
    (("constraints", 0, "items", 0), "node"), (("constraints", 1, "items", 0), "end"),
    (("constraints", 2, "precedence", 0), "before"),
]


def wrong_type_cases():
    for path, wanted in SCALAR_KEYS:
        for name in JSON_VALUES:
            if name != wanted:
                message = f"type_error.302] type must be {wanted}, but is {name}"
                yield path, name, message
    for path, first_key in OBJECT_KEYS:
        for name in JSON_VALUES:
            if name == "object":
                yield path, name, f"out_of_range.403] key '{first_key}' not found"
            else:
                yield path, name, f"type_error.304] cannot use at() with {name}"
    for name in JSON_VALUES:
        if name != "object":
            yield ("options",), name, f"type_error.306] cannot use value() with {name}"


WRONG_TYPES = list(wrong_type_cases())


@pytest.mark.parametrize("path,name,message", WRONG_TYPES,
                         ids=["/".join(map(str, p)) + "=" + n for p, n, _ in WRONG_TYPES])
def test_a_wrong_json_type_names_the_expected_type(path, name, message):
    doc = with_value(RICH, path, JSON_VALUES[name])
    with pytest.raises(RuntimeError, match=re.escape("[json.exception." + message)):
        solve_json(doc)


def test_the_rich_document_itself_is_solved():
    out = solve_json(RICH)
    assert route_problems(RICH, out) == []


# Lists read with a range loop: null and {} hold no elements, a scalar is one element.
LIST_SHAPES = [
    ("nodes", None, Raises(IndexError, INDEX_ERROR)),
    ("nodes", 7, Raises(RuntimeError, r"cannot use at\(\) with number")),
    ("agents", {}, Raises(IndexError, INDEX_ERROR)),  # the matrix then names an unknown type
    ("costs", None, MissingCostsAre9999()),
    ("costs", {}, MissingCostsAre9999()),
    ("costs", "s", Raises(RuntimeError, "type must be array, but is string")),
    ("constraints", None, SAME_AS_TRIANGLE),
    ("constraints", {}, SAME_AS_TRIANGLE),
    ("constraints", "s", Raises(RuntimeError, r"cannot use at\(\) with string")),
]


@pytest.mark.parametrize("key,value,outcome", LIST_SHAPES,
                         ids=[f"{k}={json.dumps(v)}" for k, v, _ in LIST_SHAPES])
def test_a_list_key_of_another_shape(key, value, outcome):
    outcome.check(solve_json, with_value(TRIANGLE, (key,), value))


# --- numbers at the limits of their types ---------------------------------------

def depot_id(node_id, agent_id=U64_MAX):
    doc = with_value(TRIANGLE, ("nodes", 0, "id"), node_id)
    doc["agents"][0].update(start_node=agent_id, end_node=agent_id)
    return doc


TYPE_ERROR = Raises(TypeError, "incompatible function arguments")

LIMITS = [
    ("largest id", depot_id(U64_MAX), SAME_AS_TRIANGLE, SAME_AS_TRIANGLE),
    ("negative id wraps", depot_id(-1), SAME_AS_TRIANGLE, TYPE_ERROR),
    ("id beyond 64 bits saturates", depot_id(2.0**64), SAME_AS_TRIANGLE, TYPE_ERROR),
    ("fractional id truncates", depot_id(7.9, 7), SAME_AS_TRIANGLE, TYPE_ERROR),
    ("agent id beyond 64 bits saturates", with_value(TRIANGLE, ("agents", 0, "id"), 2**64),
     Valid(cost=12.0, checked_doc=TRIANGLE, agent_id=U64_MAX),
     TYPE_ERROR),
    ("huge coordinates",
     with_value(with_value(TRIANGLE, ("nodes", 1, "x"), 1e308), ("nodes", 2, "y"), -1e308),
     TOUR, TOUR),
    ("huge capacity and route limit",
     variant(agents=[{"id": 0, "type": "a", "start_node": 0, "end_node": 0, "capacity": 1e300,
                      "max_length": 1e300}]), TOUR, TOUR),
    ("route limit below the tour",
     with_value(TRIANGLE, ("agents", 0, "max_length"), 11), Unsolved(), Unsolved()),
    ("huge negative route limit means none",
     with_value(TRIANGLE, ("agents", 0, "max_length"), -1e300), TOUR, TOUR),
    ("time limit 1e308", with_value(TRIANGLE, ("options", "time_limit"), 1e308), TOUR, TOUR),
    ("time limit -1e308", with_value(TRIANGLE, ("options", "time_limit"), -1e308),
     Unsolved(timeout=True), Unsolved(timeout=True)),
    ("costs near the largest double",
     with_value(TRIANGLE, ("costs", "a"), [[0, 1e308, 4], [3, 0, 1e308], [4, 5, 0]]),
     Valid(cost=12.0, path=[0, 2, 1, 0]), Valid(cost=12.0, path=[0, 2, 1, 0])),
]


@pytest.mark.parametrize("name,doc,on_json,on_objects", LIMITS, ids=[c[0] for c in LIMITS])
def test_numbers_at_the_limits(name, doc, on_json, on_objects, road):
    (on_json if road == "json" else on_objects).check(ROADS[road], doc)


# --- NaN and infinities through the Python objects -------------------------------

def objects_with(edit, doc=TRIANGLE):
    """Solves `doc` on the object road after `edit(problem)`; the result dict."""
    p = build_problem(doc)
    edit(p)
    s = z.Solver(p, p.options())
    s.solve()
    return as_result_dict(doc, s)


def set_window(node, start, end):
    def edit(p):
        tw = z.TimeWindowConstraint()
        tw.set_timewindow(node, start, end)
        p.set_timewindow_constraint(tw)
    return edit


def set_arc(u, v, value):
    def edit(p):
        m = [row[:] for row in TRIANGLE["costs"]["a"]]
        m[u][v] = value
        p.set_cost_matrix("a", m)
    return edit


def set_node(field, value):
    def edit(p):
        node = p.nodes()[1]
        if field == "demand":
            node.demand = value
        else:
            setattr(node.position, field, value)
    return edit


def set_agent(field, value):
    return lambda p: setattr(p.agents_ordered()[0], field, value)


# (name, edit, outcome): "tour" = the usual 12.0 tour; "unsolved" = no solution.
NON_FINITE = [
    *[(f"{f}={v}", set_node(f, v), "tour") for f in ("x", "y", "z", "demand")
      for v in (NAN, INF, -INF)],
    *[(f"{f}={v}", set_agent(f, v), "tour") for f in ("capacity_limit", "time_limit")
      for v in (NAN, INF, -INF)],
    # A NaN or +inf arc is no arc: the tour runs the other way round.
    ("arc=nan", set_arc(0, 1, NAN), "reverse"),
    ("arc=inf", set_arc(0, 1, INF), "reverse"),
    # Windows: a NaN bound constrains nothing; infinite bounds mean what they say.
    ("window start=nan", set_window(1, NAN, 100), "tour"),
    ("window end=nan", set_window(1, 0, NAN), "tour"),
    ("window start=-inf", set_window(1, -INF, 100), "tour"),
    ("window end=inf", set_window(1, 0, INF), "tour"),
    ("window start=inf", set_window(1, INF, INF), "unsolved"),
    ("window end=-inf", set_window(1, -INF, -INF), "unsolved"),
]


@pytest.mark.parametrize("name,edit,outcome", NON_FINITE, ids=[c[0] for c in NON_FINITE])
def test_non_finite_values_through_the_objects(name, edit, outcome):
    out = objects_with(edit)
    if outcome == "unsolved":
        assert (out["status"], out["timeout"]) == ("failed", False)
        return
    assert out["status"] == "success"
    assert route_problems(TRIANGLE, out) == []
    assert out["routes"][0]["cost"] == 12.0
    if outcome == "reverse":
        assert out["routes"][0]["path"] == [0, 2, 1, 0]


def test_a_minus_infinite_arc_is_taken_and_reported():
    out = objects_with(set_arc(0, 1, -INF))
    assert out["status"] == "success"
    assert out["routes"][0]["path"] == [0, 1, 2, 0]
    assert out["routes"][0]["cost"] == -INF


# The time limit: NaN grants no search time, +inf none of a limit (the search ends
# on its own, or at the memory bound), -inf times out at once like any negative value.
@pytest.mark.parametrize("limit,timeout", [(NAN, True), (INF, False), (-INF, True)],
                         ids=["nan", "inf", "-inf"])
def test_non_finite_time_limit_of_the_options(limit, timeout):
    def edit(p):
        p.options().time_limit = limit
    out = objects_with(edit)
    assert out["timeout"] is timeout
    if timeout:
        assert out["status"] == "failed" and out["statistics"]["n_expanded"] == 0
    else:
        assert route_problems(TRIANGLE, out) == []


@pytest.mark.parametrize("limit", [NAN, INF, -INF, 0, -1], ids=["nan", "inf", "-inf", "0", "-1"])
def test_the_time_limit_argument_overrides_only_above_zero(limit):
    # Only a value above 0 overrides, and NaN is not above 0: the document's 1 s stays.
    doc = with_value(TRIANGLE, ("options", "time_limit"), 1)
    out = solve_json(doc, limit)
    assert out["timeout"] is False
    assert route_problems(doc, out) == []


# --- cost matrices of the wrong shape -------------------------------------------

def matrix(rows):
    return with_value(TRIANGLE, ("costs", "a"), rows)


MATRICES = [
    ("short rows", matrix([[0, 3], [3], []]), MissingCostsAre9999()),
    ("no rows", matrix([]), MissingCostsAre9999()),
    ("empty rows", matrix([[], [], []]), MissingCostsAre9999()),
    ("long rows", matrix([[0, 3, 4, 7, 8], [3, 0, 5, 1], [4, 5, 0]]), TOUR),
    ("more rows than nodes", matrix([[0, 3, 4], [3, 0, 5], [4, 5, 0], [1, 1, 1], [2]]), TOUR),
    ("oversized", matrix([[0 if i == j else 3 + (i + j) % 2 for j in range(200)]
                          for i in range(200)]), Valid()),
    ("matrix of an unknown type", variant(costs={"a": TRIANGLE["costs"]["a"], "b": [[0]]}),
     Raises(IndexError, INDEX_ERROR)),
    ("matrices as a list", variant(
        agents=[{"id": 0, "type": "0", "start_node": 0, "end_node": 0}],
        costs=[TRIANGLE["costs"]["a"]]), TOUR),
    ("negative costs", matrix([[0, -3, -4], [-3, 0, -5], [-4, -5, 0]]), Valid(cost=-12.0)),
    ("mixed signs", matrix([[0, -3, 4], [3, 0, -5], [4, -5, 0]]), Valid()),
]


@pytest.mark.parametrize("name,doc,outcome", MATRICES, ids=[c[0] for c in MATRICES])
def test_cost_matrices(name, doc, outcome, road):
    outcome.check(ROADS[road], doc)


# --- windows, unknown ids, duplicates ------------------------------------------

def constrained(*constraints):
    return variant(constraints=list(constraints))


def windows(*items):
    return {"kind": "timewindow", "items": [dict(zip(("node", "start", "end"), i)) for i in items]}


def assignment(*items):
    return {"kind": "assignment", "items": [{"node": n, "types": t} for n, t in items]}


def agent(**fields):
    record = {"id": 0, "type": "a", "start_node": 0, "end_node": 0}
    record.update(fields)
    return record


REFERENCES = [
    ("window start after end", constrained(windows((1, 10, 2))), Unsolved()),
    ("depot window start after end", constrained(windows((0, 10, 2))), Unsolved()),
    ("window on an unknown node", constrained(windows((99, 0, 1))), TOUR),
    ("assignment of an unknown node", constrained(assignment((99, ["a"]))), TOUR),
    ("assignment of an unknown type", constrained(assignment((1, ["zz"]))), Unsolved()),
    ("precedence of unknown nodes", constrained(
        {"kind": "sequence", "precedence": [{"before": 98, "after": 99}]}), TOUR),
    ("unknown start node", variant(agents=[agent(start_node=99)]),
     Raises(IndexError, INDEX_ERROR)),
    ("unknown end node", variant(agents=[agent(end_node=99)]), Raises(IndexError, INDEX_ERROR)),
    ("duplicate node ids", variant(
        nodes=TRIANGLE["nodes"] + [{"id": 1, "x": 9, "y": 9}],
        costs={"a": [[0, 3, 4, 9], [3, 0, 5, 9], [4, 5, 0, 9], [9, 9, 9, 0]]}), Valid()),
    ("duplicate agent ids", variant(agents=[agent(), agent()]), Valid()),
    ("duplicate agent id of another type", variant(
        agents=[agent(), agent(type="b")],
        costs={"a": TRIANGLE["costs"]["a"], "b": TRIANGLE["costs"]["a"]}), Valid()),
]


@pytest.mark.parametrize("name,doc,outcome", REFERENCES, ids=[c[0] for c in REFERENCES])
def test_windows_references_and_duplicates(name, doc, outcome, road):
    outcome.check(ROADS[road], doc)


def test_a_window_on_an_unknown_node_is_reported(road, capfd):
    ROADS[road](constrained(windows((99, 0, 1))))
    assert "[warning] time window node id 99 not found in nodes" in capfd.readouterr().err


# --- empty and oversized instances ------------------------------------------------

def test_an_empty_instance_is_unsolved_without_routes(road):
    out = ROADS[road]({"nodes": [], "agents": []})
    assert (out["status"], out["routes"], out["statistics"]["max_cost"]) == ("failed", [], 0.0)


def test_agents_without_nodes_name_the_missing_depot(road):
    with pytest.raises(IndexError, match=INDEX_ERROR):
        ROADS[road]({"nodes": [], "agents": [agent()]})


def test_a_lone_depot_is_a_zero_cost_route(road):
    doc = variant(nodes=TRIANGLE["nodes"][:1], costs={"a": [[0]]})
    out = ROADS[road](doc)
    assert out["routes"][0]["path"] == [0, 0] and out["routes"][0]["cost"] == 0.0


def grid_doc(n, time_limit=0.2):
    pts = [(i % 16, i // 16) for i in range(n)]
    costs = [[abs(a[0] - b[0]) + abs(a[1] - b[1]) for b in pts] for a in pts]
    return {"nodes": [{"id": i, "x": x, "y": y} for i, (x, y) in enumerate(pts)],
            "agents": [agent(id=k) for k in range(2)], "costs": {"a": costs},
            "options": {"objective": "min_max", "time_limit": time_limit}}


def test_256_nodes_are_searched(road):
    out = ROADS[road](grid_doc(256))
    if out["status"] == "success":
        assert route_problems(grid_doc(256), out) == []
    else:
        assert out["timeout"] is True


def test_257_nodes_raise_a_clear_error(road):
    with pytest.raises(RuntimeError, match=r"at most 256 nodes.*257"):
        ROADS[road](grid_doc(257))


def test_a_257_node_solver_is_built_and_fails_only_in_solve():
    p = build_problem(grid_doc(257))
    s = z.Solver(p, p.options())
    with pytest.raises(RuntimeError, match="256"):
        s.solve()
    assert s.get_result().paths == {}


def test_more_agents_than_targets_sharing_a_home(road):
    doc = variant(agents=[agent(id=k) for k in range(4)])
    out = ROADS[road](doc)
    assert route_problems(doc, out) == []
