"""Bad input through both roads (a JSON document, and the same instance built object
by object): every case ends in a clear exception or in a valid result, and nothing
takes the interpreter down. One row per kind of input and outcome; the numeric
conversions themselves are pinned value by value in the C++ tests."""
import copy
import json

import pytest

import _pyzel_core as z
from conftest import EXAMPLES, ROADS, TRIANGLE, solve_json, variant
from solution_checker import route_problems

NAN, INF = float("nan"), float("inf")
U64_MAX = 2**64 - 1


def with_value(doc, key, value):
    """`doc` with the value at the slash-separated `key` replaced."""
    doc = copy.deepcopy(doc)
    *path, last = [int(k) if k.isdigit() else k for k in key.split("/")]
    target = doc
    for k in path:
        target = target[k]
    target[last] = value
    return doc


def at(key, value):
    return with_value(TRIANGLE, key, value)


def agent(**fields):
    return {"id": 0, "type": "a", "start_node": 0, "end_node": 0, **fields}


# --- outcomes: each checks `call()`, whose answer is a result dict ----------------------

def raises(exc, pattern):
    def check(call, doc):
        with pytest.raises(exc, match=pattern):
            call()
    return check


def valid(cost=None, path=None, against=None):
    """Accepted by the checker against `against` (None: the document; False: not
    checked, for a cost it cannot recompute); `cost` and `path` pin the first route."""
    def check(call, doc):
        out = call()
        assert out["status"] == "success"
        if against is not False:
            assert route_problems(against or doc, out) == []
        if cost is not None:
            assert out["routes"][0]["cost"] == cost
        if path is not None:
            assert out["routes"][0]["path"] == path
    return check


def unsolved(timeout=False):
    """No solution, reported as such; `timeout`: the clock ended the search (at once)."""
    def check(call, doc):
        out = call()
        assert (out["status"], out["timeout"]) == ("failed", timeout)
        assert len(out["routes"]) == len(doc["agents"])
        assert all(r["path"] == [] and r["cost"] == 0.0 for r in out["routes"])
        assert out["statistics"]["max_cost"] == out["statistics"]["sum_cost"] == 0.0
        if doc["agents"]:  # without agents the root itself is a (failed) solution of cost 0
            assert out.get("anytime", []) == []
        if timeout:
            assert out["statistics"]["n_expanded"] == 0
    return check


TOUR = valid(cost=12.0)
REVERSE = valid(cost=12.0, path=[0, 2, 1, 0])
INDEX_ERROR = raises(IndexError, r"^invalid unordered_map<K, T> key$")
TYPE_ERROR = raises(TypeError, "incompatible function arguments")


# --- malformed text -----------------------------------------------------------------

MALFORMED = [
    ("NaN literal", '{"nodes": [{"id": 0, "x": NaN, "y": 0}], "agents": []}',
     r"^\[json\.exception\.parse_error\.101\] parse error at line 1, column \d+: syntax error"),
    ("number overflow", '{"nodes": [{"id": 0, "x": 1e999, "y": 0}], "agents": []}',
     r"^\[json\.exception\.out_of_range\.406\] number overflow parsing '1e999'$"),
    ("deep nesting", "[" * 100000 + "]" * 100000,
     r"^\[json\.exception\.type_error\.304\] cannot use at\(\) with array$"),
    ("no nodes", "{}", r"^\[json\.exception\.out_of_range\.403\] key 'nodes' not found$"),
]


@pytest.mark.parametrize("entry", ["str", "file"])
@pytest.mark.parametrize("name,text,message", MALFORMED, ids=[m[0] for m in MALFORMED])
def test_malformed_text_raises_the_library_error(name, text, message, entry, tmp_path):
    path = tmp_path / "instance.json"
    path.write_bytes(text.encode("utf-8"))
    with pytest.raises(RuntimeError, match=message):
        z.solve_json_str(text, 0.5) if entry == "str" else z.solve_json_file(str(path), 0.5)


# Bytes that are not UTF-8 are malformed like any other document: the parser's
# message shows the bytes it stopped at as escapes. They come as bytes, from a
# file, or as text read with surrogateescape, which gives back the same bytes.
NOT_UTF_8 = [
    (b"\xff", r"column 1: syntax error while parsing value - invalid literal; last read: '\\xff'$"),
    (b'{"nodes": [], "name": "a\xe9"}',
     r"""column 26: syntax error while parsing value - invalid string: ill-formed UTF-8 byte; last read: '"a\\xe9"'$"""),
]


@pytest.mark.parametrize("entry", ["bytes", "str", "file"])
@pytest.mark.parametrize("document,message", NOT_UTF_8, ids=["outside a string", "inside a string"])
def test_text_not_utf_8_is_a_parse_error(document, message, entry, tmp_path):
    path = tmp_path / "instance.json"
    path.write_bytes(document)
    with pytest.raises(RuntimeError, match=r"^\[json\.exception\.parse_error\.101\] parse error at line 1, " + message):
        if entry == "file":
            z.solve_json_file(str(path))
        else:
            z.solve_json_str(document if entry == "bytes" else document.decode("utf-8", "surrogateescape"))


def test_a_byte_order_mark_is_skipped_and_a_lone_surrogate_is_a_parse_error():
    assert z.solve_json_str("\ufeff" + json.dumps(TRIANGLE))["status"] == "success"
    with pytest.raises(RuntimeError, match=r"^\[json\.exception\.parse_error\.101\] .* last read: '\\xed'$"):
        z.solve_json_str("\ud800")


@pytest.mark.parametrize("path", ["/nonexistent/instance.json", "/", "bad\x00name",
                                  str(EXAMPLES / "time_windows.json") + "\x00.txt", b"/nonexistent/\xff"])
def test_unreadable_paths_and_directories(path):
    # A readable file before a NUL is refused too: the name given is not that file.
    with pytest.raises(RuntimeError) as info:
        z.solve_json_file(path)
    if isinstance(path, bytes):  # shown with its bytes that are not UTF-8 escaped
        path = path.decode("utf-8", "backslashreplace")
    assert str(info.value) == "Cannot open file: " + path.split("\x00")[0]  # a C string ends at NUL


# --- wrong JSON types at every key ----------------------------------------------------

# Every key of the format once (keys the table sets that RICH lacks are added by it).
RICH = variant(agents=[agent(capacity=5, max_length=100)], constraints=[
    {"kind": "assignment", "items": [{"node": 1, "types": ["a"]}]},
    {"kind": "timewindow", "items": [{"node": 2, "start": 0, "end": 100}]},
    {"kind": "sequence", "precedence": [{"before": 1, "after": 2, "type": "same"}]}])
JSON_VALUES = {"boolean": True, "null": None, "string": "s", "array": [], "object": {}, "number": 1.5}
TYPED_KEYS = {
    "number": "nodes/0/id nodes/0/x nodes/0/y nodes/0/z nodes/0/demand agents/0/id agents/0/start_node "
              "agents/0/end_node costs/a/0/0 constraints/0/items/0/node constraints/1/items/0/node "
              "constraints/1/items/0/start constraints/1/items/0/end constraints/2/precedence/0/before "
              "constraints/2/precedence/0/after options/time_limit",
    "string": "nodes/0/type agents/0/type constraints/0/kind constraints/0/items/0/types/0 "
              "constraints/2/precedence/0/type options/objective",
    "array": "costs/a/0 constraints/0/items/0/types",
    "boolean": "options/return_to_end",
}
# Each object of the format and the key the loader reads first from it.
OBJECT_KEYS = {"nodes/0": "id", "agents/0": "id", "constraints/0": "kind",
               "constraints/0/items/0": "node", "constraints/1/items/0": "end",
               "constraints/2/precedence/0": "before"}


def wrong_type_cases():
    keys = [(key, wanted) for wanted, keys in TYPED_KEYS.items() for key in keys.split()]
    for i, (key, wanted) in enumerate(keys):  # every other JSON type, in turn
        others = [name for name in JSON_VALUES if name != wanted]
        name = others[i % len(others)]
        yield key, name, f"type_error.302] type must be {wanted}, but is {name}"
    for key in ("agents/0/capacity", "agents/0/max_length"):  # the library's int conversion takes booleans
        yield key, "boolean", "type_error.302] type must be number, but is boolean"
    for i, (key, first) in enumerate(OBJECT_KEYS.items()):
        yield key, "object", f"out_of_range.403] key '{first}' not found"
        name = ["null", "boolean", "string", "array", "number"][i % 5]
        yield key, name, f"type_error.304] cannot use at() with {name}"
    yield "options", "array", "type_error.306] cannot use value() with array"


WRONG_TYPES = list(wrong_type_cases())


@pytest.mark.parametrize("key,name,message", WRONG_TYPES, ids=[f"{k}={n}" for k, n, _ in WRONG_TYPES])
def test_a_wrong_json_type_names_the_expected_type(key, name, message):
    with pytest.raises(RuntimeError) as info:
        solve_json(with_value(RICH, key, JSON_VALUES[name]))
    assert str(info.value) == "[json.exception." + message


def test_the_rich_document_itself_is_solved():
    assert route_problems(RICH, solve_json(RICH)) == []


# Lists are read with a range loop: null and {} hold no elements. (JSON road only.)
LIST_SHAPES = [
    ("nodes=null", at("nodes", None), (INDEX_ERROR, None)),  # the agent's depot is then no node
    ("nodes=7", at("nodes", 7), (raises(RuntimeError, r"cannot use at\(\) with number"), None)),
    ("costs=null", at("costs", None), (unsolved(), None)),  # ungiven entries are no arc
    ("costs=s", at("costs", "s"), (raises(RuntimeError, "type must be array, but is string"), None)),
    ("constraints={}", at("constraints", {}), (valid(cost=12.0, against=TRIANGLE), None)),
]


# --- the same document through both roads --------------------------------------------

def depot_id(node_id):
    return variant(nodes=[{**TRIANGLE["nodes"][0], "id": node_id}] + TRIANGLE["nodes"][1:],
                   agents=[agent(start_node=U64_MAX, end_node=U64_MAX)])


def windows(*items):
    return variant(constraints=[{"kind": "timewindow", "items": [
        dict(zip(("node", "start", "end"), item)) for item in items]}])


def grid_doc(n):
    pts = [(i % 16, i // 16) for i in range(n)]
    costs = [[abs(a[0] - b[0]) + abs(a[1] - b[1]) for b in pts] for a in pts]
    return {"nodes": [{"id": i, "x": x, "y": y} for i, (x, y) in enumerate(pts)],
            "agents": [agent(id=k) for k in range(2)], "costs": {"a": costs},
            "options": {"objective": "min_max", "time_limit": 0.2}}


# (name, document, outcome on both roads, or a pair: on the JSON road, on the objects).
CASES = [
    # Ids and numbers at the limits of their types; a Python caller cannot pass an id
    # outside 64 bits, which the loader wraps or saturates.
    ("largest id", depot_id(U64_MAX), TOUR),
    ("negative id", depot_id(-1), (valid(cost=12.0, against=TRIANGLE), TYPE_ERROR)),
    ("agent id beyond 64 bits", at("agents/0/id", 2**64),
     (valid(cost=12.0, against=at("agents/0/id", U64_MAX)), TYPE_ERROR)),
    ("huge coordinates", with_value(at("nodes/1/x", 1e308), "nodes/2/y", -1e308), TOUR),
    # -1e300 saturates to a negative limit, which means none.
    ("huge capacity and route limits", variant(agents=[agent(capacity=1e300, max_length=-1e300)]), TOUR),
    ("route limit below the tour", at("agents/0/max_length", 11), unsolved()),
    ("time limit 1e308", at("options/time_limit", 1e308), TOUR),
    ("time limit -1e308", at("options/time_limit", -1e308), unsolved(timeout=True)),
    ("costs near the largest double", at("costs/a", [[0, 1e308, 4], [3, 0, 1e308], [4, 5, 0]]), REVERSE),
    # Cost matrices of the wrong shape or sign.
    ("short rows", at("costs/a", [[0, 3], [3], []]), unsolved()),  # node 2 has no way out
    ("more and longer rows than nodes", at("costs/a", [[0, 3, 4, 7], [3, 0, 5, 1], [4, 5, 0], [1, 1, 1], [2]]), TOUR),
    ("matrix of a type no agent has", variant(costs={"a": TRIANGLE["costs"]["a"], "b": [[0]]}), INDEX_ERROR),
    ("matrices as a list", variant(agents=[agent(type="0")], costs=[TRIANGLE["costs"]["a"]]), TOUR),
    ("negative costs", at("costs/a", [[0, -3, -4], [-3, 0, -5], [-4, -5, 0]]), valid(cost=-12.0)),
    # Windows, unknown ids, duplicates.
    ("window start after end", windows((1, 10, 2)), unsolved()),
    ("window on an unknown node", windows((99, 0, 1)), TOUR),
    ("assignment of an unknown node", variant(constraints=[
        {"kind": "assignment", "items": [{"node": 99, "types": ["a"]}]}]), TOUR),
    ("assignment of an unknown type", variant(constraints=[
        {"kind": "assignment", "items": [{"node": 1, "types": ["zz"]}]}]), unsolved()),
    ("precedence of unknown nodes", variant(constraints=[
        {"kind": "sequence", "precedence": [{"before": 98, "after": 99}]}]), TOUR),
    ("unknown start node", variant(agents=[agent(start_node=99)]), INDEX_ERROR),
    ("unknown end node", variant(agents=[agent(end_node=99)]), INDEX_ERROR),
    ("duplicate node ids", variant(nodes=TRIANGLE["nodes"] + [{"id": 1, "x": 9, "y": 9}],
                                   costs={"a": [[0, 3, 4, 9], [3, 0, 5, 9], [4, 5, 0, 9], [9, 9, 9, 0]]}), valid()),
    ("duplicate agent id of another type", variant(
        agents=[agent(), agent(type="b")], costs={"a": TRIANGLE["costs"]["a"], "b": TRIANGLE["costs"]["a"]}), valid()),
    # Empty and tiny instances, and the node limit.
    ("empty instance", {"nodes": [], "agents": []}, unsolved()),
    ("agents without nodes", {"nodes": [], "agents": [agent()]}, INDEX_ERROR),
    ("a lone depot", variant(nodes=TRIANGLE["nodes"][:1], costs={"a": [[0]]}), valid(cost=0.0, path=[0, 0])),
    ("more agents than targets", variant(agents=[agent(id=k) for k in range(4)]), valid()),
    ("257 nodes", grid_doc(257), raises(RuntimeError, r"at most 256 nodes.*257")),
]


@pytest.mark.parametrize("road", ROADS)
def test_256_nodes_are_searched(road):
    out = ROADS[road](grid_doc(256))
    if out["status"] == "success":
        assert route_problems(grid_doc(256), out) == []
    else:
        assert out["timeout"] is True


# --- NaN and infinities, which only the Python objects can carry ---------------------

LIKE_TRIANGLE = valid(cost=12.0, against=TRIANGLE)
NOT_JSON = raises(RuntimeError, r"^\[json\.exception\.parse_error\.101\]")  # json.dumps writes NaN
NON_FINITE = [(name, doc, (NOT_JSON, outcome)) for name, doc, outcome in [
    *[(f"{key}={v}", at(key, v), LIKE_TRIANGLE) for v in (NAN, INF, -INF) for key in
      ("nodes/1/x", "nodes/1/z", "nodes/1/demand", "agents/0/capacity", "agents/0/max_length")],
    # A NaN or +inf arc is no arc: the tour runs the other way round; -inf is an arc.
    ("arc=nan", at("costs/a/0/1", NAN), REVERSE),
    ("arc=inf", at("costs/a/0/1", INF), REVERSE),
    ("arc=-inf", at("costs/a/0/1", -INF), valid(cost=-INF, path=[0, 1, 2, 0], against=False)),
    # Windows: a NaN bound constrains nothing; infinite bounds mean what they say.
    ("window start=nan", windows((1, NAN, 100)), LIKE_TRIANGLE),
    ("window end=inf", windows((1, 0, INF)), LIKE_TRIANGLE),
    ("window start=inf", windows((1, INF, INF)), unsolved()),
    # The time limit: NaN grants no search time, +inf no limit (the search ends on its
    # own, or at the memory bound), -inf times out at once like any negative value.
    ("time limit=nan", at("options/time_limit", NAN), unsolved(timeout=True)),
    ("time limit=inf", at("options/time_limit", INF), LIKE_TRIANGLE),
    ("time limit=-inf", at("options/time_limit", -INF), unsolved(timeout=True)),
]]


def on_roads(cases):
    for name, doc, outcome in cases:
        for road, check in zip(("json", "objects"), outcome if isinstance(outcome, tuple) else (outcome, outcome)):
            if check:
                yield pytest.param(road, doc, check, id=f"{name}/{road}")


@pytest.mark.parametrize("road,doc,outcome", list(on_roads(LIST_SHAPES + CASES + NON_FINITE)))
def test_bad_documents(road, doc, outcome):
    outcome(lambda: ROADS[road](doc), doc)


# A negative document limit times out at once, so the outcome tells which limit held:
# only an argument above 0 overrides it, and NaN is not above 0.
@pytest.mark.parametrize("limit,timeout", [(0.5, False), (INF, False), (0, True), (-1, True),
                                           (NAN, True), (-INF, True)])
def test_the_time_limit_argument_overrides_only_above_zero(limit, timeout):
    out = solve_json(at("options/time_limit", -1.0), limit)
    assert out["timeout"] is timeout
    if not timeout:
        assert route_problems(TRIANGLE, out) == []
