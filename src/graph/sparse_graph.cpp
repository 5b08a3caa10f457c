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

uint64_t PairKey(int32_t u, int32_t v) {
  return static_cast<uint64_t>(static_cast<uint32_t>(u)) << 32 | static_cast<uint32_t>(v);
}

}  // namespace

bool SparseGraph::HasVertex(int32_t v) const {
  return v >= 0 && static_cast<uint64_t>(v) < out_neighbors_.size();
}

int64_t SparseGraph::FindArc(int32_t u, int32_t v) const {
  if (!HasVertex(u)) return -1;
  auto found = first_arc_.find(PairKey(u, v));
  return found == first_arc_.end() ? -1 : static_cast<int64_t>(found->second);
}

CostVector SparseGraph::CostOf(uint32_t arc) const {
  const CostSlot& slot = slots_[arc];
  const auto begin = pool_.begin() + static_cast<std::ptrdiff_t>(slot.offset);
  return CostVector(begin, begin + slot.width);
}

std::vector<CostVector> SparseGraph::CostsOf(const std::vector<uint32_t>& arcs) const {
  std::vector<CostVector> costs;
  costs.reserve(arcs.size());
  for (uint32_t arc : arcs) costs.push_back(CostOf(arc));
  return costs;
}

// An arc keeps its place in the pool while its width stays; otherwise it moves to the end.
void SparseGraph::StoreCost(uint32_t arc, const CostVector& cost) {
  CostSlot& slot = slots_[arc];
  if (slot.width != cost.size()) {
    slot.offset = pool_.size();
    slot.width = static_cast<uint32_t>(cost.size());
    pool_.resize(pool_.size() + cost.size());
  }
  std::copy(cost.begin(), cost.end(), pool_.begin() + static_cast<std::ptrdiff_t>(slot.offset));
}

bool SparseGraph::HasArc(int32_t u, int32_t v) const { return FindArc(u, v) >= 0; }

std::vector<int32_t> SparseGraph::GetSuccs(int32_t v) const {
  return HasVertex(v) ? out_neighbors_[static_cast<size_t>(v)] : std::vector<int32_t>{};
}

std::vector<int32_t> SparseGraph::GetPreds(int32_t v) const {
  return HasVertex(v) ? in_neighbors_[static_cast<size_t>(v)] : std::vector<int32_t>{};
}

CostVector SparseGraph::GetArcCost(int32_t u, int32_t v) const {
  const int64_t arc = FindArc(u, v);
  return arc < 0 ? CostVector{} : CostOf(static_cast<uint32_t>(arc));
}

std::vector<CostVector> SparseGraph::GetSuccCosts(int32_t v) const {
  return HasVertex(v) ? CostsOf(out_arcs_[static_cast<size_t>(v)]) : std::vector<CostVector>{};
}

std::vector<CostVector> SparseGraph::GetPredCosts(int32_t v) const {
  return HasVertex(v) ? CostsOf(in_arcs_[static_cast<size_t>(v)]) : std::vector<CostVector>{};
}

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
  out_arcs_.resize(n);
  in_neighbors_.resize(n);
  in_arcs_.resize(n);
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
  const int64_t arc = FindArc(u, v);
  if (arc >= 0) {
    StoreCost(static_cast<uint32_t>(arc), cost);
  } else {
    AppendArc(u, v, cost);
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
  std::vector<double> pool(slots_.size() * dim, fill);
  for (size_t arc = 0; arc < slots_.size(); ++arc) {
    CostSlot& slot = slots_[arc];
    const size_t kept = std::min<size_t>(slot.width, dim);
    std::copy_n(pool_.begin() + static_cast<std::ptrdiff_t>(slot.offset), kept,
                pool.begin() + static_cast<std::ptrdiff_t>(arc * dim));
    slot.offset = arc * dim;
    slot.width = static_cast<uint32_t>(dim);
  }
  pool_ = std::move(pool);
  cost_dim_ = dim;
}

bool SparseGraph::SetArcCost(int32_t u, int32_t v, const CostVector& cost) {
  if (cost.size() != cost_dim_) {
    Fail("[ERROR] SparseGraph::SetArcCost new edge cost dimension does not match! Maybe call "
         "ChangeCostDim() at first.");
  }
  if (!HasVertex(u) || !HasVertex(v)) Fail("[ERROR] SparseGraph::SetArcCost vertex does not exist!");
  const int64_t arc = FindArc(u, v);
  if (arc < 0) Fail("[ERROR] SparseGraph::SetArcCost arc does not exist!");
  StoreCost(static_cast<uint32_t>(arc), cost);
  return true;
}

std::string SparseGraph::ToStr() const {
  std::string out = "=== SparseGraph Begin ===\n |V| = ";
  AppendInteger(out, NumVertex());
  out += " outgoing edges \n";
  for (size_t v = 0; v < out_neighbors_.size(); ++v) {
    AppendVertexLine(out, static_cast<int32_t>(v), out_neighbors_[v], CostsOf(out_arcs_[v]));
  }
  out += " incoming edges \n";
  for (size_t v = 0; v < in_neighbors_.size(); ++v) {
    AppendVertexLine(out, static_cast<int32_t>(v), in_neighbors_[v], CostsOf(in_arcs_[v]));
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
  out_arcs_.assign(n, {});
  in_neighbors_.assign(n, {});
  in_arcs_.assign(n, {});
  slots_.clear();
  pool_.clear();
  first_arc_.clear();
  num_arc_entries_ = 0;
  for (size_t k = 0; k < sources.size(); ++k) {
    AppendArc(sources[k], targets[k], costs[k]);
    if (both_directions) AppendArc(targets[k], sources[k], costs[k]);
  }
}

// A repeated pair is a second arc: the lists show it, lookups find the first.
uint32_t SparseGraph::AppendArc(int32_t u, int32_t v, const CostVector& cost) {
  const auto arc = static_cast<uint32_t>(slots_.size());
  slots_.push_back(CostSlot{});
  StoreCost(arc, cost);
  first_arc_.emplace(PairKey(u, v), arc);
  out_neighbors_[static_cast<size_t>(u)].push_back(v);
  out_arcs_[static_cast<size_t>(u)].push_back(arc);
  in_neighbors_[static_cast<size_t>(v)].push_back(u);
  in_arcs_[static_cast<size_t>(v)].push_back(arc);
  num_arc_entries_ += 2;
  return arc;
}

}  // namespace quarn
