#include <algorithm>
#include <charconv>
#include <utility>

#include <unistd.h>

#include <limits>
#include <set>

#include "plugins/min_sum_objective.h"
#include "solver/solver.h"

namespace quarn {

std::string PositionKey(const std::vector<int32_t>& positions) {
  std::string key;
  key.reserve(positions.size() * 4);
  char digits[16];
  for (int32_t position : positions) {
    auto end = std::to_chars(digits, digits + sizeof(digits), position).ptr;
    key.append(digits, end);
    key.push_back('_');
  }
  return key;
}

namespace {

// Bytes the allocator takes for a block of `bytes`: a word of bookkeeping,
// rounded up to 16, never less than 32.
uint64_t HeapBlock(uint64_t bytes) {
  if (bytes == 0) return 0;
  return std::max<uint64_t>(32, (bytes + 8 + 15) / 16 * 16);
}

// A red-black tree node: three links and a colour word ahead of the value.
template <typename T>
constexpr uint64_t TreeNode() {
  return HeapBlock(32 + sizeof(T));
}

}  // namespace

uint64_t HalfPhysicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return std::numeric_limits<uint64_t>::max();
  return static_cast<uint64_t>(pages) / 2 * static_cast<uint64_t>(page_size);
}

// Counts what the search holds per label, not the allocator's spare capacity:
// cheap enough for every iteration and close enough to stop before the machine swaps.
uint64_t Solver::MemoryInUse() const {
  const uint64_t label_heap = HeapBlock(num_agents_ * sizeof(int32_t)) +
                              HeapBlock(num_agents_ * sizeof(double)) +
                              HeapBlock(num_agents_ * sizeof(uint8_t));
  const uint64_t per_label = sizeof(Label) + label_heap;
  const uint64_t pool = labels_.size() * sizeof(Label) +
                        static_cast<uint64_t>(next_label_id_) * label_heap +
                        parents_.size() * sizeof(int32_t);
  const uint64_t lists = open_.size() * TreeNode<OpenEntry>() + focal_.size() * TreeNode<FocalEntry>();
  // A frontier: its object, its owner pointer and its index entry keyed by a short string.
  const uint64_t per_frontier = HeapBlock(sizeof(Frontier)) + sizeof(std::unique_ptr<Frontier>) +
                                HeapBlock(sizeof(std::pair<const std::string, int32_t>) + 16) +
                                HeapBlock(num_agents_ * 4);
  const uint64_t frontiers = frontiers_.size() * per_frontier + frontier_labels_ * per_label;
  return pool + lists + frontiers;
}

int32_t Solver::NewLabelId() {
  const int32_t id = next_label_id_++;
  if (static_cast<int64_t>(id) + 1 <= static_cast<int64_t>(pool_size_)) return id;
  // Grows in steps doubling up to the cap, then by the cap.
  pool_size_ += pool_step_;
  labels_.resize(pool_size_);
  parents_.resize(pool_size_, 0);
  if (pool_step_ < pool_cap_) pool_step_ *= 2;
  return id;
}

Frontier& Solver::FrontierOf(const std::string& key) {
  auto [entry, inserted] = frontier_index_.try_emplace(key, frontier_count_);
  if (inserted) {
    ++frontier_count_;
    frontiers_.push_back(std::make_unique<Frontier>());
  }
  return *frontiers_[static_cast<size_t>(entry->second)];
}

bool Solver::IsDominated(const Label& label) {
  const std::string key = PositionKey(label.positions);
  auto known = frontier_index_.find(key);
  if (known == frontier_index_.end()) {
    FrontierOf(key);
    return false;
  }
  return frontiers_[static_cast<size_t>(known->second)]->Dominates(label);
}

void Solver::AddToFrontier(const Label& label) {
  const int32_t removed = FrontierOf(PositionKey(label.positions)).Insert(label);
  frontier_labels_ = frontier_labels_ + 1 - static_cast<uint64_t>(removed);
}

void Solver::ExtractSolution(int32_t label_id) {
  // Walk back to the root collecting (agent, node) moves, then prepend the starts.
  std::vector<std::pair<int32_t, int32_t>> trace;
  for (int32_t i = label_id; i >= 1; i = parents_[static_cast<size_t>(i)]) {
    const Label& label = labels_[static_cast<size_t>(i)];
    trace.emplace_back(label.last_agent, label.positions[static_cast<size_t>(label.last_agent)]);
  }
  for (uint64_t k = 0; k < num_agents_; ++k) {
    trace.emplace_back(static_cast<int32_t>(k), starts_[k]);
  }
  std::reverse(trace.begin(), trace.end());

  const Label& goal = labels_[static_cast<size_t>(label_id)];
  for (uint64_t k = 0; k < num_agents_; ++k) {
    result_.times[static_cast<int32_t>(k)] = goal.costs[k];
  }
  if (trace.empty()) return;
  std::vector<std::vector<int32_t>> paths(num_agents_);
  for (const auto& [agent, node] : trace) paths[static_cast<size_t>(agent)].push_back(node);
  for (uint64_t k = 0; k < num_agents_; ++k) {
    result_.paths[static_cast<int32_t>(k)] = std::move(paths[k]);
  }
}

bool Solver::IsGoal(const Label& label) const {
  return label.visited.all() && label.remaining == 0;
}

double Solver::SumCost(const Label& label) const {
  double sum = 0.0;
  for (double cost : label.costs) sum += cost;
  return sum;
}

void Solver::ResetCounter() { frontier_count_ = 0; }

int32_t Solver::CountVisited(const Label& label) const { return label.visited.count(); }

void Solver::ComputeInstanceStats() {
  if (found_ == 0) return;
  InstanceStats& stats = instance_stats_;
  stats.solution_found = found_;
  stats.num_points = static_cast<int32_t>(points_.size());
  stats.num_agents = static_cast<int32_t>(num_agents_);
  stats.type1_agents = 0;
  stats.type0_agents = 0;
  for (const AgentEntry& agent : agents_) {
    if (agent.type == 1) ++stats.type1_agents;
    if (agent.type == 0) ++stats.type0_agents;
  }
  stats.points_open_to_types_0_and_1 = 0;
  stats.points_open_to_type_0_only = 0;
  for (const Point& point : points_) {
    if (point.types == std::vector<int32_t>{0, 1}) ++stats.points_open_to_types_0_and_1;
    if (point.types == std::vector<int32_t>{0}) ++stats.points_open_to_type_0_only;
  }
  stats.cost_sum = 0.0;
  const auto entries = static_cast<int32_t>(result_.times.size());
  for (int32_t k = 0; k < entries; ++k) {
    auto it = result_.times.find(k);
    if (it != result_.times.end()) stats.cost_sum += it->second;
  }
  stats.max_cost = max_path_length_;
  stats.last_update_time = last_update_time_;
}

std::vector<double> Solver::CostsInAgentOrder(const Result& result) const {
  std::vector<double> costs(num_agents_, 0.0);
  for (uint64_t k = 0; k < num_agents_; ++k) {
    auto it = result.times.find(static_cast<int32_t>(k));
    if (it != result.times.end()) costs[k] = it->second;
  }
  return costs;
}

double Solver::LargestRouteCost(const Result& result) const {
  double largest = 0.0;
  for (const auto& entry : result.times) largest = std::max(largest, entry.second);
  return largest;
}

double Solver::IncumbentOf(const Result& result) const {
  // Under min-sum the f-values are sums, so only the solution's sum can bound them.
  if (dynamic_cast<const MinSumObjective*>(objective_.get()) != nullptr) {
    return objective_->Evaluate(CostsInAgentOrder(result));
  }
  return max_path_length_;
}

}  // namespace quarn
