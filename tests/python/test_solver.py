import pytest

import _pyzel_core as z


def triangle(objective=z.ObjectiveType.MinMax):
    p = z.Problem()
    for i, (x, y) in enumerate([(0, 0), (3, 0), (0, 4)]):
        n = z.Node()
        n.id = i
        n.position.x = x
        n.position.y = y
        p.add_node(n)
    a = z.Agent()
    a.id = 0
    a.type = "a"
    p.add_agent(a, 0)
    p.set_cost_matrix("a", [[0, 3, 4], [3, 0, 5], [4, 5, 0]])
    p.options().objective = objective
    return p


def test_full_attribute_list_in_registration_order():
    names = [n for n in vars(z) if not n.startswith("__")]
    assert names == ["ObjectiveType", "NodeType", "Position", "Node", "Agent", "Options",
                     "AssignmentConstraint", "TimeWindowConstraint", "Problem", "Result",
                     "Solver", "solve_json_file", "solve_json_str"]


def test_result_has_no_constructor():
    with pytest.raises(TypeError):
        z.Result()


def test_solve_docstring():
    assert z.Solver.solve.__doc__.rstrip().endswith(
        "Run the ZEL solver. Returns 1 on success, 0 on failure.")


@pytest.mark.parametrize("objective", [z.ObjectiveType.MinMax, z.ObjectiveType.MinSum])
def test_object_road(objective):
    p = triangle(objective)
    s = z.Solver(p, p.options())
    assert s.solve() == 1
    r = s.get_result()
    assert r.paths in ({0: [0, 1, 2, 0]}, {0: [0, 2, 1, 0]})
    assert r.times == {0: 12.0}
    assert r.timeout is False
    process = s.get_result_process()
    assert len(process) % 2 == 0 and len(process) >= 2
    assert all(isinstance(t, float) and isinstance(res, z.Result) for t, res in process)
    times = [t for t, _ in process]
    assert times == sorted(times)
    assert r.last_update_time == process[-1][0]
    assert process[-1][1].times == r.times


def test_result_properties_are_read_only_and_fresh():
    p = triangle()
    s = z.Solver(p, p.options())
    s.solve()
    r = s.get_result()
    with pytest.raises(AttributeError):
        r.timeout = True
    paths = r.paths
    paths[0].append(99)
    assert 99 not in r.paths[0]


def test_solver_takes_its_own_copy():
    p = triangle()
    s = z.Solver(p, p.options())
    p.set_cost_matrix("a", [[0, 100, 100], [100, 0, 100], [100, 100, 0]])
    s.solve()
    assert s.get_result().times == {0: 12.0}


def test_options_argument_rules_over_problem_options():
    p = triangle()
    opts = z.Options()
    opts.time_limit = -1.0  # times out before the first pop
    s = z.Solver(p, opts)
    assert s.solve() == 0
    assert s.get_result().timeout is True
    assert s.get_result().paths == {}


def test_agent_filed_under_other_id_is_solved():
    p = triangle()
    b = z.Agent()
    b.id = 3
    b.type = "a"
    p.add_agent(b, 7)
    s = z.Solver(p, p.options())
    assert s.solve() == 1
    assert sorted(s.get_result().paths) == [0, 1]


def test_unknown_depot_raises_index_error():
    p = triangle()
    a = z.Agent()
    a.type = "a"
    a.end_node = 42
    p.add_agent(a, 1)
    with pytest.raises(IndexError, match="invalid unordered_map<K, T> key"):
        z.Solver(p, p.options())


def test_more_than_256_nodes_raise_from_solve():
    p = z.Problem()
    for i in range(257):
        n = z.Node()
        n.id = i
        p.add_node(n)
    a = z.Agent()
    a.type = "a"
    p.add_agent(a, 0)
    s = z.Solver(p, p.options())
    with pytest.raises(RuntimeError, match="256"):
        s.solve()
