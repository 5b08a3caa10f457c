"""The module's object surface: enums, defaults, views into a problem, and the object
road from a Problem to a Result (the names themselves are checked against the stubs)."""
import textwrap

import pytest

import _pyzel_core as z
from conftest import TRIANGLE, build_problem, in_child, run_child, variant


@pytest.mark.parametrize("member, value", [(z.ObjectiveType.MinMax, 0), (z.ObjectiveType.MinSum, 1),
                                           (z.NodeType.DEPOT, 0), (z.NodeType.TARGET, 1)])
def test_enum_values_and_conversions(member, value):
    assert int(member) == member.value == member.__index__() == value
    assert type(member)(value) == member
    assert not hasattr(z, member.name)  # members stay in their enum


def test_defaults():
    pos, n, a, o = z.Position(), z.Node(), z.Agent(), z.Options()
    assert (pos.x, pos.y, pos.z, n.id, n.type, n.demand) == (0.0, 0.0, 0.0, 0, z.NodeType.TARGET, 0.0)
    assert (a.id, a.type, a.start_node, a.end_node, a.capacity_limit, a.time_limit) == (0, "", 0, 0, 0.0, 0.0)
    assert (o.return_to_end, o.objective, o.time_limit) == (True, z.ObjectiveType.MinSum, 60.0)
    assert (o.improve, o.seed, o.max_iterations, o.max_expansions, o.improve_stall) == (False, 0, 0, 0, 0)
    o.improve, o.seed, o.max_iterations, o.max_expansions, o.improve_stall = True, 7, 30, 400, 9  # no field crossed
    assert (o.improve, o.seed, o.max_iterations, o.max_expansions, o.improve_stall) == (True, 7, 30, 400, 9)


def test_views_are_live_survive_appends_and_keep_the_problem_alive():
    p, n, a, pos = z.Problem(), z.Node(), z.Agent(), z.Position()
    n.id, a.type = 1, "t"
    pos.y = 7.0
    n.position = pos  # a copy of pos...
    pos.y = 1.0
    n.position.x = 2.5  # ...and a view into the node
    assert (n.position.x, n.position.y) == (2.5, 7.0)
    p.add_node(n)
    p.add_agent(a, 0)
    nodes, agents, opts = p.nodes(), p.agents_ordered(), p.options()
    for i in range(2, 2000):  # appends must not move the records the views refer to
        n.id = i
        p.add_node(n)
    nodes[0].demand = 4.0
    opts.objective, opts.time_limit = z.ObjectiveType.MinMax, 5
    assert (p.nodes()[0].id, p.nodes()[0].demand, len(p.nodes())) == (1, 4.0, 1999)
    assert (p.options().objective, p.options().time_limit) == (z.ObjectiveType.MinMax, 5.0)
    del p
    assert (nodes[0].demand, agents[0].type, opts.time_limit) == (4.0, "t", 5.0)


def test_methods_take_keywords_and_reject_unconvertible_arguments():
    c, w, p = z.AssignmentConstraint(), z.TimeWindowConstraint(), z.Problem()
    c.set_assignment(node=1, types=["a", "b"])
    w.set_timewindow(node=1, start=0.0, end=5.0)
    p.set_assignment_constraint(constraint=c)
    p.set_timewindow_constraint(constraint=w)
    p.set_cost_matrix(agent_type="a", matrix=[[0.0, 1.0], [1.0, 0.0]])
    for call in (lambda: p.add_node("not a node"), lambda: p.set_cost_matrix("a", [[0.0, "x"]]),
                 lambda: p.add_agent(z.Agent(), -1), lambda: setattr(z.Options(), "seed", "seven"), z.Result):
        with pytest.raises(TypeError):
            call()


@pytest.mark.parametrize("objective", ["min_max", "min_sum"])
def test_object_road(objective):
    p = build_problem(variant(options={"objective": objective}))
    s = z.Solver(p, p.options())
    assert s.solve() == 1
    r = s.get_result()
    assert (r.paths in ({0: [0, 1, 2, 0]}, {0: [0, 2, 1, 0]}), r.times, r.timeout) == (True, {0: 12.0}, False)
    process = s.get_result_process()  # two entries per solution found
    assert len(process) % 2 == 0 and len(process) >= 2
    assert all(isinstance(t, float) and isinstance(res, z.Result) for t, res in process)
    assert [t for t, _ in process] == sorted(t for t, _ in process)
    assert r.last_update_time == process[-1][0] and process[-1][1].times == r.times
    with pytest.raises(AttributeError):
        r.timeout = True
    r.paths[0].append(99)  # each read converts afresh
    assert 99 not in r.paths[0]


def test_the_solver_copies_the_problem_and_obeys_its_options_argument():
    p = build_problem(TRIANGLE)
    s = z.Solver(p, p.options())
    p.set_cost_matrix("a", [[0, 100, 100], [100, 0, 100], [100, 100, 0]])
    s.solve()
    assert s.get_result().times == {0: 12.0}
    opts = z.Options()
    opts.time_limit = -1.0  # times out before the first pop
    s = z.Solver(p, opts)
    assert (s.solve(), s.get_result().timeout, s.get_result().paths) == (0, True, {})


# Objects made by Cls.__new__(Cls), whose __init__ never ran, used as self and as
# an argument: each use raises TypeError. Several once read garbage or crashed.
UNINITIALISED = {
    "ObjectiveType": ["int(new(z.ObjectiveType))", "z.Options().objective = new(z.ObjectiveType)"],
    "NodeType": ["new(z.NodeType).name", "z.Node().type = new(z.NodeType)"],
    "Position": ["new(z.Position).x", "new(z.Position).y = 1.0", "z.Node().position = new(z.Position)"],
    "Node": ["new(z.Node).position", "z.Problem().add_node(new(z.Node))"],
    "Agent": ["new(z.Agent).type", "z.Problem().add_agent(new(z.Agent), 0)"],
    "Options": ["new(z.Options).objective", "z.Solver(z.Problem(), new(z.Options))"],
    "AssignmentConstraint": ["new(z.AssignmentConstraint).set_assignment(1, ['a'])",
                             "z.Problem().set_assignment_constraint(new(z.AssignmentConstraint))"],
    "TimeWindowConstraint": ["new(z.TimeWindowConstraint).set_timewindow(1, 0.0, 1.0)",
                             "z.Problem().set_timewindow_constraint(new(z.TimeWindowConstraint))"],
    "Problem": ["new(z.Problem).add_node(z.Node())", "new(z.Problem).nodes()",
                "z.Solver(new(z.Problem), z.Options())"],
    "Result": ["new(z.Result).paths", "new(z.Result).n_generated"],
    "Solver": ["new(z.Solver).solve()", "new(z.Solver).get_result()", "new(z.Solver).get_result_process()"],
}
USE_UNINITIALISED = textwrap.dedent("""
    import sys
    import _pyzel_core as z
    new = lambda cls: cls.__new__(cls)
    for statement in sys.argv[1:]:
        try:
            exec(statement)
            print("ran:", statement)
        except TypeError as error:
            print("refused" if "is not initialised" in str(error) else error)
""")


@in_child
@pytest.mark.parametrize("name", UNINITIALISED)
def test_an_object_never_initialised_raises_type_error(name):
    statements = UNINITIALISED[name]
    assert run_child(USE_UNINITIALISED, *statements) == (["refused"] * len(statements), 0)
