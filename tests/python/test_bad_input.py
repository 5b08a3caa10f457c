"""Bad input through both roads (a JSON document, and the same instance built object
by object): every case ends in a clear exception or in a valid result, and nothing
takes the interpreter down. One row per kind of input and outcome; the numeric
conversions themselves are pinned value by value in the C++ tests."""
import json
import re

import pytest

import _pyzel_core as z
from conftest import EXAMPLES, ROADS, TRIANGLE, at, solve_json, variant, with_values
from solution_checker import route_problems

NAN, INF = float("nan"), float("inf")
U64_MAX = 2**64 - 1


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
        assert against is False or route_problems(against or doc, out) == []
        first = out["routes"][0]
        assert cost in (None, first["cost"]) and path in (None, first["path"]), first
    return check


def unsolved(timeout=False):
    """No solution, reported as such; `timeout`: the clock ended the search (at once)."""
    def check(call, doc):
        out = call()
        assert (out["status"], out["timeout"]) == ("failed", timeout)
        assert [(r["path"], r["cost"]) for r in out["routes"]] == [([], 0.0)] * len(doc["agents"])
        assert out["statistics"]["max_cost"] == out["statistics"]["sum_cost"] == 0.0
        if doc["agents"]:  # without agents the root itself is a (failed) solution of cost 0
            assert out.get("anytime", []) == []
        assert not timeout or out["statistics"]["n_expanded"] == 0
    return check


TOUR = valid(cost=12.0)
REVERSE = valid(cost=12.0, path=[0, 2, 1, 0])
def unknown(what):
    """The checked lookup's text, then the agent and id, or the type, it did not find."""
    return raises(IndexError, r"^invalid unordered_map<K, T> key: " + re.escape(what) + "$")


NO_DEPOT = unknown("agent 0 has start_node 0, which is no node id")
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


# --- wrong JSON types ----------------------------------------------------------------

# Every key of the format once (keys the table sets that RICH lacks are added by it).
RICH = variant(agents=[agent(capacity=5, max_length=100)], constraints=[
    {"kind": "assignment", "items": [{"node": 1, "types": ["a"]}]},
    {"kind": "timewindow", "items": [{"node": 2, "start": 0, "end": 100}]},
    {"kind": "sequence", "precedence": [{"before": 1, "after": 2, "type": "same"}]}])
# One row per kind of value and message; the loader's C++ tests pin which key is read first.
WRONG_TYPES = [
    ("nodes/0/x", "s", "type_error.302] type must be number, but is string"),
    ("agents/0/type", 1.5, "type_error.302] type must be string, but is number"),
    ("constraints/0/items/0/types", {}, "type_error.302] type must be array, but is object"),
    ("options/return_to_end", None, "type_error.302] type must be boolean, but is null"),
    # A boolean is no number, also where the number is read as a whole one.
    ("agents/0/max_length", True, "type_error.302] type must be number, but is boolean"),
    ("constraints/1/items/0", {}, "out_of_range.403] key 'end' not found"),
    ("agents/0", [], "type_error.304] cannot use at() with array"),
    ("options", [], "type_error.306] cannot use value() with array"),
]


@pytest.mark.parametrize("key,value,message", WRONG_TYPES, ids=[f"{k}={v!r}" for k, v, _ in WRONG_TYPES])
def test_a_wrong_json_type_names_the_expected_type(key, value, message):
    with pytest.raises(RuntimeError) as info:
        solve_json(with_values(RICH, {key: value}))
    assert str(info.value) == "[json.exception." + message


# Lists are read with a range loop: null and {} hold no elements. (JSON road only.)
LIST_SHAPES = [
    ("nodes=null", at("nodes", None), (NO_DEPOT, None)),  # the agent's depot is then no node
    ("nodes=7", at("nodes", 7), (raises(RuntimeError, r"cannot use at\(\) with number"), None)),
    ("costs=null", at("costs", None), (unsolved(), None)),  # ungiven entries are no arc
    ("costs=s", at("costs", "s"), (raises(RuntimeError, "type must be array, but is string"), None)),
    ("constraints={}", at("constraints", {}), (valid(cost=12.0, against=TRIANGLE), None)),
    ("every key of the format", RICH, valid()),  # the document the wrong types start from
]


# --- the same document through both roads --------------------------------------------

def depot_id(node_id, read=U64_MAX):
    """The depot's id is `node_id`; the agent names it as the loader reads it, `read`."""
    return variant(nodes=[{**TRIANGLE["nodes"][0], "id": node_id}] + TRIANGLE["nodes"][1:],
                   agents=[agent(start_node=read, end_node=read)])


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
    # Ids at the limits of their types: the loader wraps or saturates, and the checker
    # reads them the same way. A Python caller cannot pass an id outside 64 bits.
    ("largest id", depot_id(U64_MAX), TOUR),
    ("negative id", depot_id(-1), (valid(cost=12.0), TYPE_ERROR)),
    *[(f"id {raw} read as {read}", depot_id(raw, read), (valid(cost=12.0), None)) for raw, read in [
        (2**64, U64_MAX), (-(2**63) - 1, 2**63), (-1.5, U64_MAX), (7.9, 7), (1e300, U64_MAX), (-1e300, 2**63)]],
    ("agent id beyond 64 bits", at("agents/0/id", 2**64), (valid(cost=12.0), TYPE_ERROR)),
    # Allowed types are looked up by the whole id: node 2's low 32 bits are node 1's id.
    ("assignment by a 64-bit id", with_values(TRIANGLE, {
        "nodes/2/id": 2**32 + 1, "agents": [agent(), agent(id=1, type="b")],
        "costs": {"a": TRIANGLE["costs"]["a"], "b": TRIANGLE["costs"]["a"]},
        "constraints": [{"kind": "assignment", "items": [{"node": 0, "types": ["a", "b"]},
                         {"node": 1, "types": ["a"]}, {"node": 2**32 + 1, "types": ["b"]}]}]}), valid()),
    # Huge values where they bind nothing; -1e300 saturates to a negative route limit, which means none.
    ("huge coordinates, capacity and limits", with_values(TRIANGLE, {
        "nodes/1/x": 1e308, "nodes/2/y": -1e308, "agents": [agent(capacity=1e300, max_length=-1e300)],
        "options/time_limit": 1e308}), TOUR),
    ("route limit below the tour", at("agents/0/max_length", 11), unsolved()),
    # A negative demand would let a load fall by serving more: refused, but only when enforced.
    ("negative demand, enforced", with_values(TRIANGLE, {"nodes/1/demand": -1, "options/enforce_capacities": True}),
     raises(ValueError, r"^node 1 has demand -1\.0+: with capacities enforced a demand must be 0 or more$")),
    ("negative demand", at("nodes/1/demand", -1), TOUR),
    *[(f"threads {n}", at("options/threads", n), raises(ValueError, r'^the option "threads" must be at least 1$'))
      for n in (0, -1)],
    ("time limit -1e308", at("options/time_limit", -1e308), unsolved(timeout=True)),
    ("costs near the largest double", at("costs/a", [[0, 1e308, 4], [3, 0, 1e308], [4, 5, 0]]), REVERSE),
    # Cost matrices of the wrong shape or sign.
    ("short rows", at("costs/a", [[0, 3], [3], []]), unsolved()),  # node 2 has no way out
    ("more and longer rows than nodes", at("costs/a", [[0, 3, 4, 7], [3, 0, 5, 1], [4, 5, 0], [1, 1, 1], [2]]), TOUR),
    ("matrix of a type no agent has", variant(costs={"a": TRIANGLE["costs"]["a"], "b": [[0]]}),
     unknown('a cost matrix is given for type "b", which no agent has')),
    ("matrices as a list", variant(agents=[agent(type="0")], costs=[TRIANGLE["costs"]["a"]]), TOUR),
    ("negative costs", at("costs/a", [[0, -3, -4], [-3, 0, -5], [-4, -5, 0]]), valid(cost=-12.0)),
    # Windows, unknown ids, duplicates.
    ("window start after end", windows((1, 10, 2)), unsolved()),
    ("constraints on unknown nodes", variant(constraints=[
        {"kind": "timewindow", "items": [{"node": 99, "start": 0, "end": 1}]},
        {"kind": "assignment", "items": [{"node": 99, "types": ["a"]}]},
        {"kind": "sequence", "precedence": [{"before": 98, "after": 99}]}]), TOUR),
    ("assignment of an unknown type", variant(constraints=[
        {"kind": "assignment", "items": [{"node": 1, "types": ["zz"]}]}]), unsolved()),
    ("unknown start node", variant(agents=[agent(start_node=99)]), unknown("agent 0 has start_node 99, which is no node id")),
    ("unknown end node", variant(agents=[agent(end_node=99)]), unknown("agent 0 has end_node 99, which is no node id")),
    ("duplicate node ids", variant(nodes=TRIANGLE["nodes"] + [{"id": 1, "x": 9, "y": 9}],
                                   costs={"a": [[0, 3, 4, 9], [3, 0, 5, 9], [4, 5, 0, 9], [9, 9, 9, 0]]}), valid()),
    ("duplicate agent id of another type", variant(
        agents=[agent(), agent(type="b")], costs={"a": TRIANGLE["costs"]["a"], "b": TRIANGLE["costs"]["a"]}), valid()),
    # Empty and tiny instances, and the node limit.
    ("empty instance", {"nodes": [], "agents": []}, unsolved()),
    ("agents without nodes", {"nodes": [], "agents": [agent()]}, NO_DEPOT),
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


# --- NaN and infinities, which only the Python objects can carry (json.dumps writes
# NaN, which no JSON parser reads: see the malformed text above) -----------------------

LIKE_TRIANGLE = valid(cost=12.0, against=TRIANGLE)
NON_FINITE = [
    ("unused fields", with_values(TRIANGLE, {"nodes/1/x": NAN, "nodes/1/z": INF, "nodes/2/demand": -INF,
                                             "agents/0/capacity": NAN}), (None, LIKE_TRIANGLE)),
    *[(f"route limit={v}", at("agents/0/max_length", v), (None, LIKE_TRIANGLE)) for v in (NAN, INF)],
    # A cost must be a finite number, as no JSON document can hold another.
    *[(f"arc={value}", at("costs/a/0/1", float(value)),
       (None, raises(ValueError, rf"^cost matrix of type 'a': the cost from node index 0 to 1 is {value}, not a finite")))
      for value in ("nan", "inf", "-inf")],
    # Windows: a NaN bound constrains nothing; infinite bounds mean what they say.
    ("window start=nan, end=inf", windows((1, NAN, INF)), (None, LIKE_TRIANGLE)),
    ("window start=inf", windows((1, INF, INF)), (None, unsolved())),
    # The time limit: NaN grants no search time, +inf no limit (the search ends on its
    # own, or at the memory bound).
    ("time limit=nan", at("options/time_limit", NAN), (None, unsolved(timeout=True))),
    ("time limit=nan, improve", with_values(TRIANGLE, {"options/time_limit": NAN, "options/improve": True}),
     (None, unsolved(timeout=True))),
    ("time limit=inf", at("options/time_limit", INF), (None, LIKE_TRIANGLE)),
]


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
