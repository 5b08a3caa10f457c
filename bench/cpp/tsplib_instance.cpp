#include "tsplib_instance.h"

#include <cmath>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <utility>
#include <vector>

namespace quarn::bench {
namespace {

// Only the coordinates matter here; the header lines before them are skipped.
std::vector<std::pair<double, double>> ReadCoordinates(const std::string& path) {
  std::ifstream file(path);
  if (!file) throw std::runtime_error("cannot open " + path);
  std::string line;
  while (std::getline(file, line) && line.find("NODE_COORD_SECTION") == std::string::npos) {
  }
  std::vector<std::pair<double, double>> coords;
  while (std::getline(file, line)) {
    std::istringstream fields(line);
    std::string first;
    if (!(fields >> first) || first == "EOF") break;
    double x = 0.0;
    double y = 0.0;
    if (!(fields >> x >> y)) throw std::runtime_error("bad coordinate line in " + path + ": " + line);
    coords.emplace_back(x, y);
  }
  if (coords.empty()) throw std::runtime_error("no NODE_COORD_SECTION in " + path);
  return coords;
}

}  // namespace

Problem ReadTsplibInstance(const std::string& path, int agents) {
  const std::vector<std::pair<double, double>> coords = ReadCoordinates(path);
  const size_t n = coords.size();
  Problem problem;
  AssignmentConstraint everyone;
  for (size_t i = 0; i < n; ++i) {
    Node node;
    node.id = i;
    node.position = {coords[i].first, coords[i].second, 0.0};
    node.type = i == 0 ? NodeType::DEPOT : NodeType::TARGET;
    problem.add_node(node);
    everyone.set_assignment(i, {"vehicle"});
  }
  for (int k = 0; k < agents; ++k) {
    Agent agent;
    agent.id = static_cast<uint64_t>(k);
    agent.type = "vehicle";
    problem.add_agent(agent, agent.id);
  }
  CostMatrix matrix(n, std::vector<double>(n, 0.0));
  for (size_t i = 0; i < n; ++i) {
    for (size_t j = 0; j < n; ++j) {
      matrix[i][j] = std::hypot(coords[i].first - coords[j].first, coords[i].second - coords[j].second);
    }
  }
  problem.set_cost_matrix("vehicle", matrix);
  problem.set_assignment_constraint(everyone);
  return problem;
}

}  // namespace quarn::bench
