#include "graph/sparse_graph.h"

#include <algorithm>
#include <charconv>
#include <stdexcept>

#include "model/diagnostics.h"

namespace quarn {

namespace {

// Diagnostics go to standard output and are flushed at once, so a host that
// captures the stream sees them before the exception unwinds. A graph belongs to
// no solve, so no quiet option reaches it; the exception carries the text anyway.
[[noreturn]] void Fail(const std::string& printed, const std::string& thrown) {
  Diagnostics().Out(printed);
  throw std::runtime_error(thrown);
}

[[noreturn]] void Fail(const std::string& message) { Fail(message, message); }

// Position of the first occurrence of value, or the list's size when absent.
size_t IndexOf(const std::vector<int32_t>& list, int32_t value) {
  return static_cast<size_t>(std::find(list.begin(), list.end(), value) - list.begin());
}

template <typename Integer>
void AppendInteger(std::string& out, Integer value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof(buffer), value);
  out.append(buffer, result.ptr);
}

// Same text as "%f", but independent of the process locale.
void AppendFixed(std::string& out, double value) {
  char buffer[400];  // the largest finite double has 309 integer digits
  auto result = std::to_chars(buffer, buffer + sizeof(buffer), value, std::chars_format::fixed, 6);
  out.append(buffer, result.ptr);
}

void AppendCostVector(std::string& out, const CostVector& cost) {
  out += '[';
  for (size_t k = 0; k < cost.size(); ++k) {
    if (k > 0) out += ',';
    AppendFixed(out, cost[k]);
  }
  out += ']';
}

void AppendVertexLine(std::string& out, int32_t v, const std::vector<int32_t>& neighbors,
                      const std::vector<CostVector>& costs) {
  out += " -- ";
  AppendInteger(out, v);
  out += ":[";
  for (size_t k = 0; k < neighbors.size(); ++k) {
    AppendInteger(out, neighbors[k]);
    out += '(';
    AppendCostVector(out, costs[k]);
    out += "),";
  }
  out += "]\n";
}

template <typename T>
T CopyAt(const std::vector<T>& table, const SparseGraph& graph, int32_t v) {
  if (!graph.HasVertex(v)) return T{};
  return table[static_cast<size_t>(v)];
}

}  // namespace

bool SparseGraph::HasVertex(int32_t v) const {
  return v >= 0 && static_cast<uint64_t>(v) < out_neighbors_.size();
}

bool SparseGraph::HasArc(int32_t u, int32_t v) const {
  if (!HasVertex(u)) return false;
  const auto& outs = out_neighbors_[static_cast<size_t>(u)];
  return IndexOf(outs, v) < outs.size();
}

std::vector<int32_t> SparseGraph::GetSuccs(int32_t v) const { return CopyAt(out_neighbors_, *this, v); }

std::vector<int32_t> SparseGraph::GetPreds(int32_t v) const { return CopyAt(in_neighbors_, *this, v); }

CostVector SparseGraph::GetArcCost(int32_t u, int32_t v) const {
  if (!HasVertex(u)) return {};
  const auto& outs = out_neighbors_[static_cast<size_t>(u)];
  size_t k = IndexOf(outs, v);
  if (k == outs.size()) return {};
  return out_costs_[static_cast<size_t>(u)][k];
}

std::vector<CostVector> SparseGraph::GetSuccCosts(int32_t v) const { return CopyAt(out_costs_, *this, v); }

std::vector<CostVector> SparseGraph::GetPredCosts(int32_t v) const { return CopyAt(in_costs_, *this, v); }

uint64_t SparseGraph::NumVertex() const { return out_neighbors_.size(); }

uint64_t SparseGraph::NumArcEntries() const { return num_arc_entries_; }

uint64_t SparseGraph::NumEdge() const {
  if (num_arc_entries_ % 2 != 0) Fail("[ERROR] SparseGraph::NumEdge is not an integer but a fraction");
  return num_arc_entries_ / 2;
}

uint64_t SparseGraph::CostDim() const { return cost_dim_; }

std::vector<int32_t> SparseGraph::AllVertices() const {
  std::vector<int32_t> vertices(out_neighbors_.size());
  for (size_t v = 0; v < vertices.size(); ++v) vertices[v] = static_cast<int32_t>(v);
  return vertices;
}

void SparseGraph::AddVertex(int32_t v) {
  if (v < 0 || HasVertex(v)) return;
  size_t n = static_cast<size_t>(v) + 1;
  out_neighbors_.resize(n);
  out_costs_.resize(n);
  in_neighbors_.resize(n);
  in_costs_.resize(n);
}

void SparseGraph::AddEdge(int32_t u, int32_t v, const CostVector& cost) {
  AddArc(u, v, cost);
  AddArc(v, u, cost);
}

void SparseGraph::AddArc(int32_t u, int32_t v, CostVector cost) {
  if (u < 0 || v < 0) Fail("[ERROR] SparseGraph::AddArc vertex index is negative");
  AddVertex(u);
  AddVertex(v);
  if (cost_dim_ == 0) {
    cost_dim_ = cost.size();
  } else if (cost.size() != cost_dim_) {
    Fail("[ERROR] SparseGraph::AddArc cdim does not match: " + std::to_string(cost_dim_) + " != " +
             std::to_string(cost.size()),
         "[ERROR] SparseGraph::AddArc cdim does not match");
  }
  auto& outs = out_neighbors_[static_cast<size_t>(u)];
  size_t k = IndexOf(outs, v);
  if (k < outs.size()) {
    out_costs_[static_cast<size_t>(u)][k] = cost;
  } else {
    outs.push_back(v);
    out_costs_[static_cast<size_t>(u)].push_back(cost);
    ++num_arc_entries_;
  }
  auto& ins = in_neighbors_[static_cast<size_t>(v)];
  k = IndexOf(ins, u);
  if (k < ins.size()) {
    in_costs_[static_cast<size_t>(v)][k] = std::move(cost);
  } else {
    ins.push_back(u);
    in_costs_[static_cast<size_t>(v)].push_back(std::move(cost));
    ++num_arc_entries_;
  }
}

void SparseGraph::CreateFromEdges(std::vector<int32_t> sources, std::vector<int32_t> targets,
                                  std::vector<CostVector> costs) {
  Rebuild(sources, targets, costs, true, "CreateFromEdges");
}

void SparseGraph::CreateFromArcs(std::vector<int32_t> sources, std::vector<int32_t> targets,
                                 std::vector<CostVector> costs) {
  Rebuild(sources, targets, costs, false, "CreateFromArcs");
}

void SparseGraph::ChangeCostDim(uint64_t dim, double fill) {
  for (auto* table : {&out_costs_, &in_costs_}) {
    for (auto& costs : *table) {
      for (auto& cost : costs) cost.resize(dim, fill);
    }
  }
  cost_dim_ = dim;
}

bool SparseGraph::SetArcCost(int32_t u, int32_t v, const CostVector& cost) {
  const std::string arc_missing = "[ERROR] SparseGraph::SetArcCost arc does not exist!";
  if (cost.size() != cost_dim_) {
    Fail("[ERROR] SparseGraph::SetArcCost new edge cost dimension does not match! Maybe call "
         "ChangeCostDim() at first.");
  }
  if (!HasVertex(u) || !HasVertex(v)) Fail("[ERROR] SparseGraph::SetArcCost vertex does not exist!");
  const auto& outs = out_neighbors_[static_cast<size_t>(u)];
  size_t k = IndexOf(outs, v);
  if (k == outs.size()) Fail(arc_missing);
  out_costs_[static_cast<size_t>(u)][k] = cost;
  const auto& ins = in_neighbors_[static_cast<size_t>(v)];
  k = IndexOf(ins, u);
  if (k == ins.size()) Fail(arc_missing);
  in_costs_[static_cast<size_t>(v)][k] = cost;
  return true;
}

std::string SparseGraph::ToStr() const {
  std::string out = "=== SparseGraph Begin ===\n |V| = ";
  AppendInteger(out, NumVertex());
  out += " outgoing edges \n";
  for (size_t v = 0; v < out_neighbors_.size(); ++v) {
    AppendVertexLine(out, static_cast<int32_t>(v), out_neighbors_[v], out_costs_[v]);
  }
  out += " incoming edges \n";
  for (size_t v = 0; v < in_neighbors_.size(); ++v) {
    AppendVertexLine(out, static_cast<int32_t>(v), in_neighbors_[v], in_costs_[v]);
  }
  out += "=== SparseGraph End ===";
  return out;
}

void SparseGraph::Rebuild(const std::vector<int32_t>& sources, const std::vector<int32_t>& targets,
                          const std::vector<CostVector>& costs, bool both_directions, const char* caller) {
  const std::string prefix = std::string("[ERROR] SparseGraph::") + caller;
  // Checked before anything is cleared, so a bad call leaves the graph as it was.
  if (targets.size() < sources.size() || costs.size() < sources.size()) {
    Fail(prefix + " targets or costs are shorter than sources");
  }
  int64_t largest = 0;
  for (size_t k = 0; k < sources.size(); ++k) {
    if (sources[k] < 0 || targets[k] < 0) Fail(prefix + " vertex index is negative");
    largest = std::max<int64_t>({largest, sources[k], targets[k]});
  }
  size_t n = static_cast<size_t>(largest) + 1;
  out_neighbors_.assign(n, {});
  out_costs_.assign(n, {});
  in_neighbors_.assign(n, {});
  in_costs_.assign(n, {});
  num_arc_entries_ = 0;
  for (size_t k = 0; k < sources.size(); ++k) {
    AppendArc(sources[k], targets[k], costs[k]);
    if (both_directions) AppendArc(targets[k], sources[k], costs[k]);
  }
}

void SparseGraph::AppendArc(int32_t u, int32_t v, const CostVector& cost) {
  out_neighbors_[static_cast<size_t>(u)].push_back(v);
  out_costs_[static_cast<size_t>(u)].push_back(cost);
  in_neighbors_[static_cast<size_t>(v)].push_back(u);
  in_costs_[static_cast<size_t>(v)].push_back(cost);
  num_arc_entries_ += 2;
}

}  // namespace quarn
