import pytest

import _pyzel_core as z


def test_module_docstring_has_em_dash():
    assert z.__doc__ == "ZEL MTSP Solver \u2014 C++ core bindings"


def test_model_attributes_in_registration_order():
    names = [n for n in vars(z) if not n.startswith("__")]
    model = ["ObjectiveType", "NodeType", "Position", "Node", "Agent", "Options",
             "AssignmentConstraint", "TimeWindowConstraint", "Problem"]
    assert names[: len(model)] == model


@pytest.mark.parametrize(
    "enum, member, value",
    [(z.ObjectiveType, "MinMax", 0), (z.ObjectiveType, "MinSum", 1),
     (z.NodeType, "DEPOT", 0), (z.NodeType, "TARGET", 1)],
)
def test_enum_values_and_conversions(enum, member, value):
    m = getattr(enum, member)
    assert int(m) == value
    assert m.value == value
    assert enum(value) == m
    assert m.__index__() == value


def test_enum_members_are_not_module_attributes():
    assert not hasattr(z, "MinMax")
    assert not hasattr(z, "DEPOT")


@pytest.mark.parametrize(
    "cls, expected",
    [
        (z.Position, {"x": 0.0, "y": 0.0, "z": 0.0}),
        (z.Node, {"id": 0, "type": z.NodeType.TARGET, "demand": 0.0}),
        (z.Agent, {"id": 0, "type": "", "start_node": 0, "end_node": 0,
                   "capacity_limit": 0.0, "time_limit": 0.0}),
        (z.Options, {"return_to_end": True, "objective": z.ObjectiveType.MinSum,
                     "time_limit": 60.0}),
    ],
)
def test_defaults(cls, expected):
    obj = cls()
    for name, value in expected.items():
        assert getattr(obj, name) == value


def test_problem_options_are_a_live_view():
    p = z.Problem()
    assert p.options().time_limit == 60.0
    p.options().objective = z.ObjectiveType.MinMax
    p.options().time_limit = 5
    assert p.options().objective == z.ObjectiveType.MinMax
    assert p.options().time_limit == 5.0


def test_node_position_is_a_view_and_assignment_copies():
    n = z.Node()
    n.position.x = 2.5
    assert n.position.x == 2.5
    pos = z.Position()
    pos.y = 7.0
    n.position = pos
    pos.y = 1.0
    assert n.position.y == 7.0


def test_unsigned_64_bit_ids():
    n = z.Node()
    n.id = 2**64 - 1
    assert n.id == 2**64 - 1
    with pytest.raises(TypeError):
        n.id = -1
    with pytest.raises(TypeError):
        n.id = 2**64


def test_add_agent_files_under_the_given_id():
    p = z.Problem()
    a = z.Agent()
    a.id = 3
    a.type = "truck"
    p.add_agent(a, 7)
    assert [x.id for x in p.agents_ordered()] == [3]


def test_views_refer_to_the_problems_records_and_survive_appends():
    p = z.Problem()
    n = z.Node()
    n.id = 1
    p.add_node(n)
    nodes = p.nodes()
    for i in range(2, 2000):
        n.id = i
        p.add_node(n)
    assert nodes[0].id == 1
    nodes[0].demand = 4.0
    assert p.nodes()[0].demand == 4.0
    assert len(p.nodes()) == 1999


def test_views_keep_the_problem_alive():
    p = z.Problem()
    a = z.Agent()
    a.type = "t"
    p.add_agent(a, 0)
    agents = p.agents_ordered()
    opts = p.options()
    del p
    assert agents[0].type == "t"
    assert opts.time_limit == 60.0


def test_constraint_methods_accept_keywords():
    c = z.AssignmentConstraint()
    c.set_assignment(node=1, types=["a", "b"])
    w = z.TimeWindowConstraint()
    w.set_timewindow(node=1, start=0.0, end=5.0)
    p = z.Problem()
    p.set_assignment_constraint(constraint=c)
    p.set_timewindow_constraint(constraint=w)
    p.set_cost_matrix(agent_type="a", matrix=[[0.0, 1.0], [1.0, 0.0]])


@pytest.mark.parametrize(
    "call",
    [
        lambda p: p.add_node("not a node"),
        lambda p: p.set_cost_matrix("a", [[0.0, "x"]]),
        lambda p: p.add_agent(z.Agent(), -1),
    ],
)
def test_unconvertible_arguments_raise_type_error(call):
    with pytest.raises(TypeError):
        call(z.Problem())
