#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <memory>
#include <utility>

#include "plugins/min_sum_objective.h"
#include "solver/solver.h"

namespace quarn {

uint64_t HalfPhysicalMemory() {
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return std::numeric_limits<uint64_t>::max();
  return static_cast<uint64_t>(pages) / 2 * static_cast<uint64_t>(page_size);
}

namespace {

constexpr uint64_t kNoLimit = std::numeric_limits<uint64_t>::max();

// The first number in a file such as /sys/fs/cgroup/memory.max; kNoLimit for
// "max", a missing file or anything unreadable.
uint64_t ReadLimitFile(const char* path) {
  std::ifstream in(path);
  unsigned long long value = 0;
  if (!(in >> value)) return kNoLimit;
  return static_cast<uint64_t>(value);
}

// Half the headroom below `limit` once `used` is taken: the search's estimate
// counts only its own containers, the allocator and the host need the rest.
uint64_t HalfHeadroom(uint64_t limit, uint64_t used) {
  if (limit == kNoLimit) return kNoLimit;
  return limit > used ? (limit - used) / 2 : 0;
}

uint64_t ProcessPages(int field) {
  std::ifstream in("/proc/self/statm");
  unsigned long long value = 0;
  for (int k = 0; k <= field; ++k) {
    if (!(in >> value)) return 0;
  }
  const long page_size = sysconf(_SC_PAGE_SIZE);
  return page_size > 0 ? static_cast<uint64_t>(value) * static_cast<uint64_t>(page_size) : 0;
}

}  // namespace

uint64_t AutomaticMemoryLimit() {
  uint64_t bound = HalfPhysicalMemory();
  rlimit address_space{};
  if (getrlimit(RLIMIT_AS, &address_space) == 0 && address_space.rlim_cur != RLIM_INFINITY) {
    bound = std::min(bound, HalfHeadroom(address_space.rlim_cur, ProcessPages(0)));
  }
  // cgroup v2, then v1; a v1 "no limit" reads as a huge number, which changes nothing.
  uint64_t cgroup = ReadLimitFile("/sys/fs/cgroup/memory.max");
  if (cgroup == kNoLimit) cgroup = ReadLimitFile("/sys/fs/cgroup/memory/memory.limit_in_bytes");
  uint64_t cgroup_used = ReadLimitFile("/sys/fs/cgroup/memory.current");
  if (cgroup_used == kNoLimit) cgroup_used = ProcessPages(1);
  bound = std::min(bound, HalfHeadroom(cgroup, cgroup_used));
  return bound;
}

// Counts what the search holds, from figures its containers keep at hand:
// cheap enough for every iteration, close enough to stop before the machine swaps.
uint64_t Solver::MemoryInUse() const {
  const uint64_t frontiers = frontiers_.capacity() * sizeof(std::unique_ptr<Frontier>) +
                             frontiers_.size() * sizeof(Frontier) + frontier_bytes_ +
                             frontier_index_.bytes();
  return labels_.bytes() + open_.bytes() + focal_.bytes() + frontiers;
}

int32_t Solver::NewLabelId() {
  const int32_t id = next_label_id_++;
  labels_.Reserve(id);
  return id;
}

// The joint position, with the position of every finished agent written as
// -1 - position. Labels are compared only when the same agents have finished:
// a finishing move that leaves positions, costs and visited set as they were
// (an idle agent closing its route at home) must not be pruned as dominated by
// its own parent, or a solvable instance could end unsolved.
const std::vector<int32_t>& Solver::DominanceKey(const Label& label) {
  dominance_key_.assign(label.positions.begin(), label.positions.end());
  const size_t n = std::min(dominance_key_.size(), label.finished.size());
  for (size_t a = 0; a < n; ++a) {
    if (label.finished[a] != 0) dominance_key_[a] = -1 - dominance_key_[a];
  }
  if (exact_visited_dominance_) {
    for (size_t w = 0; w < labels_.visited_words(); ++w) {
      const uint64_t word = label.visited.words[w];
      dominance_key_.push_back(static_cast<int32_t>(static_cast<uint32_t>(word)));
      dominance_key_.push_back(static_cast<int32_t>(static_cast<uint32_t>(word >> 32)));
    }
  }
  return dominance_key_;
}

Frontier& Solver::FrontierOf(const std::vector<int32_t>& key) {
  const auto k = static_cast<size_t>(frontier_index_.FindOrAdd(key));
  if (k == frontiers_.size()) {
    ++frontier_count_;
    frontiers_.push_back(std::make_unique<Frontier>(labels_.visited_words()));
  }
  return *frontiers_[k];
}

bool Solver::IsDominated(const Label& label) {
  const std::vector<int32_t>& key = DominanceKey(label);
  const int32_t known = frontier_index_.Find(key);
  if (known < 0) {
    FrontierOf(key);
    return false;
  }
  return frontiers_[static_cast<size_t>(known)]->Dominates(label);
}

void Solver::AddToFrontier(const Label& label) {
  Frontier& frontier = FrontierOf(DominanceKey(label));
  const uint64_t before = frontier.bytes();
  frontier.Insert(label);
  frontier_bytes_ += frontier.bytes() - before;
}

void Solver::ExtractSolution(int32_t label_id) {
  // Walk back to the root collecting (agent, node) moves, then prepend the starts.
  std::vector<std::pair<int32_t, int32_t>> trace;
  for (int32_t i = label_id; i >= 1; i = labels_.parent(i)) {
    const int32_t agent = labels_.last_agent(i);
    trace.emplace_back(agent, labels_.position(i, agent));
  }
  for (uint64_t k = 0; k < num_agents_; ++k) {
    trace.emplace_back(static_cast<int32_t>(k), starts_[k]);
  }
  std::reverse(trace.begin(), trace.end());

  for (uint64_t k = 0; k < num_agents_; ++k) {
    result_.times[static_cast<int32_t>(k)] = labels_.cost(label_id, static_cast<int32_t>(k));
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
  for (int32_t k = 0; k < entries; ++k) stats.cost_sum += CostOf(result_, k);
  stats.max_cost = max_path_length_;
  stats.last_update_time = last_update_time_;
}

double Solver::LargestRouteCost(const Result& result) const {
  double largest = 0.0;
  for (const auto& entry : result.times) largest = std::max(largest, entry.second);
  return largest;
}

double Solver::IncumbentOf(const Result& result) const {
  // Under min-sum the f-values are sums, so only the solution's sum can bound them.
  if (ExactPlugin<MinSumObjective>(objective_.get()) != nullptr) {
    return objective_->Evaluate(CostsInAgentOrder(result, num_agents_));
  }
  return max_path_length_;
}

}  // namespace quarn
