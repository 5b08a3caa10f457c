// Iterations per second of the improvement phase on a random instance without
// capacities: N nodes (beyond the search's reach, so the phase runs alone), 8
// agents at node 0, rounded Euclidean costs, min-sum, a fixed iteration budget
// and no stall rule, so two builds do exactly the same work.
//
//   zel_phase_speed [N] [ITERATIONS] [windows|fleet]
//
// `fleet` adds to the windows demands of 1 to 10, a service of 5 at every
// target and capacities enforced with a fifth to spare.
//
// Then one line per descent operator: how often it was priced and applied.
//
// Only the public model and solver are used, so the file also builds against
// an older tree: g++ -O2 -std=c++17 -I TREE/src phase_speed.cpp BUILD/libzel_core.a
// (where the tree has no demands, `fleet` is refused; without the counts, none are printed).
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

#include "model/problem.h"
#include "solver/solver.h"

namespace {

// Demand, service and capacity where the tree knows them; false where not.
template <class N>
auto SetDemand(N& node, double demand, double service, int) -> decltype(node.demand = demand, node.service = service, true) {
  node.demand = demand;
  node.service = service;
  return true;
}
template <class N>
bool SetDemand(N&, double, double, long) { return false; }
template <class A>
auto SetCapacity(A& agent, double capacity, int) -> decltype(agent.capacity_limit = capacity, void()) {
  agent.capacity_limit = capacity;
}
template <class A>
void SetCapacity(A&, double, long) {}
template <class O>
auto EnforceCapacities(O& options, int) -> decltype(options.enforce_capacities = true, void()) {
  options.enforce_capacities = true;
}
template <class O>
void EnforceCapacities(O&, long) {}
// The descent operators' counts where the tree keeps them.
template <class S>
auto PrintOperatorCounts(const S& solver, int) -> decltype(solver.operator_counts(), void()) {
  for (const auto& count : solver.operator_counts()) {
    std::printf("  %-9s evaluated=%llu applied=%llu\n", count.name.c_str(),
                static_cast<unsigned long long>(count.evaluated), static_cast<unsigned long long>(count.applied));
  }
}
template <class S>
void PrintOperatorCounts(const S&, long) {}

}  // namespace

int main(int argc, char** argv) {
  const int n = argc > 1 ? std::atoi(argv[1]) : 400;
  const uint64_t iterations = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 3000;
  const bool fleet = argc > 3 && std::string(argv[3]) == "fleet";
  const bool windows = fleet || (argc > 3 && std::string(argv[3]) == "windows");
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<int> coord(0, 1000);
  std::mt19937_64 demand_rng(11);
  std::uniform_int_distribution<int> demand(1, 10);
  double total_demand = 0.0;
  quarn::Problem problem;
  std::vector<std::pair<int, int>> xy;
  for (int i = 0; i < n; ++i) {
    quarn::Node node;
    node.id = static_cast<uint64_t>(i);
    xy.emplace_back(coord(rng), coord(rng));
    node.position = {static_cast<double>(xy.back().first), static_cast<double>(xy.back().second), 0.0};
    if (fleet && i > 0) {
      const double d = demand(demand_rng);
      total_demand += d;
      if (!SetDemand(node, d, 5.0, 0)) {
        std::fprintf(stderr, "this tree has no demands\n");
        return 1;
      }
    }
    problem.add_node(node);
  }
  quarn::CostMatrix matrix(static_cast<size_t>(n), std::vector<double>(static_cast<size_t>(n), 0.0));
  for (size_t i = 0; i < xy.size(); ++i) {
    for (size_t j = 0; j < xy.size(); ++j) {
      matrix[i][j] = std::round(std::hypot(xy[i].first - xy[j].first, xy[i].second - xy[j].second));
    }
  }
  for (int k = 0; k < 8; ++k) {
    quarn::Agent agent;
    agent.id = static_cast<uint64_t>(k);
    agent.type = "a";
    if (fleet) SetCapacity(agent, std::ceil(total_demand / 8.0 * 1.2), 0);
    problem.add_agent(agent, agent.id);
  }
  problem.set_cost_matrix("a", matrix);
  if (windows) {
    quarn::TimeWindowConstraint tw;
    for (int i = 1; i < n; i += 3) tw.set_timewindow(static_cast<uint64_t>(i), 0.0, 20000.0 + 10.0 * i);
    problem.set_timewindow_constraint(tw);
  }
  quarn::Options options;
  options.objective = quarn::ObjectiveType::MinSum;
  options.improve = true;
  options.quiet = true;
  if (fleet) EnforceCapacities(options, 0);
  options.max_iterations = iterations;
  options.improve_stall = std::numeric_limits<uint64_t>::max() / 2;
  options.time_limit = std::numeric_limits<double>::infinity();
  quarn::Solver solver(problem, options);
  const auto begin = std::chrono::steady_clock::now();
  solver.solve();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  const quarn::Result result = solver.get_result();
  double sum = 0.0;
  for (const auto& entry : result.times) sum += entry.second;
  std::printf("n=%d iterations=%llu seconds=%.3f iterations_per_s=%.0f sum=%.0f\n", n,
              static_cast<unsigned long long>(iterations), seconds, static_cast<double>(iterations) / seconds, sum);
  PrintOperatorCounts(solver, 0);
}
