#include "bindings/bind_model.h"

#include <pybind11/stl.h>

#include "bindings/uninitialised.h"
#include "model/problem.h"

namespace py = pybind11;

namespace quarn::bindings {
namespace {

void BindEnums(py::module_& m) {
  py::enum_<ObjectiveType>(m, "ObjectiveType")
      .value("MinMax", ObjectiveType::MinMax)
      .value("MinSum", ObjectiveType::MinSum);
  GuardUninitialised<ObjectiveType>();
  py::enum_<Minimise>(m, "Minimise")
      .value("Duration", Minimise::Duration)
      .value("Distance", Minimise::Distance);
  GuardUninitialised<Minimise>();
  py::enum_<NodeType>(m, "NodeType")
      .value("DEPOT", NodeType::DEPOT)
      .value("TARGET", NodeType::TARGET);
  GuardUninitialised<NodeType>();
}

void BindRecords(py::module_& m) {
  py::class_<Position>(m, "Position")
      .def(py::init<>())
      .def_readwrite("x", &Position::x)
      .def_readwrite("y", &Position::y)
      .def_readwrite("z", &Position::z);
  GuardUninitialised<Position>();
  py::class_<Node>(m, "Node")
      .def(py::init<>())
      .def_readwrite("id", &Node::id)
      .def_readwrite("position", &Node::position)
      .def_readwrite("type", &Node::type)
      .def_readwrite("demand", &Node::demand)
      .def_readwrite("service", &Node::service)
      .def_readwrite("penalty", &Node::penalty);
  GuardUninitialised<Node>();
  py::class_<Agent>(m, "Agent")
      .def(py::init<>())
      .def_readwrite("id", &Agent::id)
      .def_readwrite("type", &Agent::type)
      .def_readwrite("start_node", &Agent::start_node)
      .def_readwrite("end_node", &Agent::end_node)
      .def_readwrite("capacity_limit", &Agent::capacity_limit)
      .def_readwrite("time_limit", &Agent::time_limit);
  GuardUninitialised<Agent>();
  py::class_<Options>(m, "Options")
      .def(py::init<>())
      .def_readwrite("return_to_end", &Options::return_to_end)
      .def_readwrite("objective", &Options::objective)
      .def_readwrite("time_limit", &Options::time_limit)
      .def_readwrite("memory_limit", &Options::memory_limit)
      .def_readwrite("improve", &Options::improve)
      .def_readwrite("quiet", &Options::quiet)
      .def_readwrite("enforce_capacities", &Options::enforce_capacities)
      .def_readwrite("enforce_sequence", &Options::enforce_sequence)
      .def_readwrite("seed", &Options::seed)
      .def_readwrite("max_iterations", &Options::max_iterations)
      .def_readwrite("improve_stall", &Options::improve_stall)
      .def_readwrite("max_expansions", &Options::max_expansions)
      .def_readwrite("threads", &Options::threads)
      .def_readwrite("missing_cost", &Options::missing_cost)
      .def_readwrite("minimise", &Options::minimise)
      .def_readwrite("default_penalty", &Options::default_penalty);
  GuardUninitialised<Options>();
}

void BindConstraints(py::module_& m) {
  py::class_<AssignmentConstraint>(m, "AssignmentConstraint")
      .def(py::init<>())
      .def("set_assignment", &AssignmentConstraint::set_assignment, py::arg("node"),
           py::arg("types"));
  GuardUninitialised<AssignmentConstraint>();
  py::class_<TimeWindowConstraint>(m, "TimeWindowConstraint")
      .def(py::init<>())
      .def("set_timewindow", &TimeWindowConstraint::set_timewindow, py::arg("node"),
           py::arg("start"), py::arg("end"));
  GuardUninitialised<TimeWindowConstraint>();
}

void BindProblem(py::module_& m) {
  // nodes() and agents_ordered() hand out references into the problem's
  // storage, which never moves on append; reference_internal keeps the
  // problem alive while any of them exists.
  py::class_<Problem>(m, "Problem")
      .def(py::init<>())
      .def("add_node", &Problem::add_node, py::arg("node"))
      .def("add_agent", &Problem::add_agent, py::arg("agent"), py::arg("id"))
      .def("set_cost_matrix", &Problem::set_cost_matrix, py::arg("agent_type"), py::arg("matrix"))
      .def("set_cost_metric", &Problem::set_cost_metric, py::arg("agent_type"), py::arg("metric"),
           py::arg("speed") = 1.0,
           "Costs of one agent type from the nodes' x and y: the \"euclidean\", \"rounded\" or\n"
           "\"att\" distance divided by speed; replaces the type's cost matrix.")
      .def("set_distance_matrix", &Problem::set_distance_matrix, py::arg("agent_type"),
           py::arg("matrix"))
      .def("set_assignment_constraint", &Problem::set_assignment_constraint,
           py::arg("constraint"))
      .def("set_timewindow_constraint", &Problem::set_timewindow_constraint,
           py::arg("constraint"))
      .def("options", py::overload_cast<>(&Problem::options),
           py::return_value_policy::reference_internal)
      .def("nodes", &Problem::nodes, py::return_value_policy::reference_internal)
      .def("agents_ordered", &Problem::agents_ordered,
           py::return_value_policy::reference_internal)
      // (before, after) node ids; read only with Options.enforce_sequence.
      .def_readwrite("precedence_pairs", &Problem::precedence_pairs)
      .def_readwrite("same_pairs", &Problem::same_pairs)
      .def_readwrite("diff_pairs", &Problem::diff_pairs);
  GuardUninitialised<Problem>();
}

}  // namespace

void BindModel(py::module_& m) {
  BindEnums(m);
  BindRecords(m);
  BindConstraints(m);
  BindProblem(m);
}

}  // namespace quarn::bindings
