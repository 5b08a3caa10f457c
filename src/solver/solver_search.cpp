#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <new>
#include <optional>
#include <unordered_set>
#include <utility>

#include "plugins/default_heuristic.h"
#include "plugins/default_objective.h"
#include "plugins/min_sum_objective.h"
#include "solver/solver.h"

namespace quarn {
namespace {

constexpr double kInitialWeight = 100.0;
constexpr double kWeightShrinkSteps = 5.0;
constexpr double kSmallestWeightStep = 0.001;
constexpr double kNoWorseTolerance = 1e-9;

}  // namespace

int32_t Solver::solve() {
  ResetSearch();
  ChooseFastPaths();
  InstallDeadline();
  InstallProgress();
  timer_.Start();
  // Beyond the exact search's reach the phase runs alone, from its own first
  // solution, for the whole limit; the search's counters stay 0.
  if (BeyondSearch() || PhaseOnly()) {
    RunImprovement();
  } else {
    SearchThenImprove();
  }
  if (found_ == 0) return 0;
  if (!name_.empty()) WritePathDump();
  return 1;
}

void Solver::SearchThenImprove() {
  ResetCounter();
  PushRoot();
  try {
    if (max_passes_ >= 1) {
      RunPasses();
      if (found_ == 0 && !result_.timeout) RetryWithExactDominance();
    }
  } catch (const std::bad_alloc&) {
    // Out of memory before the bound was reached: end as the bound ends a search,
    // with the last complete solution, which a half-written extraction may not be.
    result_.timeout = true;
    if (!anytime_.empty()) {
      result_.paths = anytime_.back().second.paths;
      result_.times = anytime_.back().second.times;
    }
  }
  if (improve_) RunImprovement();
}

// Every solve is a fresh search: nothing of an earlier one may leak into it.
void Solver::ResetSearch() {
  anytime_.clear();
  exact_visited_dominance_ = false;
  handed_over_ = false;
  ResetLists();
  incumbent_ = -1.0;
  found_ = 0;
  max_path_length_ = -1.0;
  result_ = Result{};
  instance_stats_ = InstanceStats{};
  last_update_time_ = 0.0;
}

void Solver::ResetLists() {
  labels_.Reset(num_agents_, 0, search_loads_);
  next_label_id_ = 0;
  open_.clear();
  focal_ = FocalList(FocalOrder(focal_comparator_.get()));
  frontier_index_.Reset(num_agents_);
  frontiers_.clear();
  frontier_count_ = 0;
  frontier_bytes_ = 0;
  focal_weights_.assign(1, kInitialWeight);
  focal_bound_ = 0.0;
}

// Only a search that found nothing and ended on its own comes here. The second
// search keeps the clock, the counters and so the budgets of the first.
void Solver::RetryWithExactDominance() {
  exact_visited_dominance_ = true;
  ResetLists();
  PushRoot();
  // The key now holds the visited words too, whose count the root has fixed.
  frontier_index_.Reset(num_agents_ + 2 * labels_.visited_words());
  RunPasses();
}

// Exact types only: a subclass may change what the estimate or f means.
void Solver::ChooseFastPaths() {
  fast_heuristic_ = ExactPlugin<DefaultHeuristic>(heuristic_.get());
  const ObjectivePlugin* objective = objective_.get();
  objective_kind_ = ExactPlugin<DefaultObjective>(objective)  ? ObjectiveKind::kMinMax
                    : ExactPlugin<MinSumObjective>(objective) ? ObjectiveKind::kMinSum
                                                              : ObjectiveKind::kOther;
}

std::optional<Label> Solver::MakeRoot() const {
  Label root;
  root.positions = starts_;
  // An agent's clock starts when it leaves its start, as on every route the rules
  // judge; one whose start window closed before time 0, or that leaves beyond its
  // length limit, has no route at all.
  root.costs.assign(num_agents_, 0.0);
  for (uint64_t k = 0; k < num_agents_; ++k) {
    if (!rules_.Depart(static_cast<int32_t>(k), root.costs[k])) return std::nullopt;
  }
  root.finished.assign(num_agents_, 0);
  if (search_loads_) root.loads.assign(num_agents_, 0.0);
  for (uint64_t k = 0; k < num_agents_; ++k) {
    if (!constraint_checker_->CheckBudget(root, static_cast<int32_t>(k)).feasible) return std::nullopt;
  }
  root.remaining = static_cast<int32_t>(num_agents_);
  root.last_agent = 0;
  // Throws above 256 vertices, before anything of the search is built.
  const uint64_t vertices = graph_->NumVertex();
  const uint64_t widest = static_cast<uint64_t>(std::numeric_limits<int32_t>::max());
  root.visited = VisitedSet(static_cast<int32_t>(std::min(vertices, widest)));
  for (int32_t node : unreachable_) root.visited.set(node);
  MarkUnusedDepots(root.visited);
  return root;
}

// Depots that no finishing move is bound to visit count as visited from the start,
// or a goal could never be reached. A depot where some agent finishes while standing
// at home stays open: that move must set its bit, or the child would equal its
// parent and be pruned as dominated.
void Solver::MarkUnusedDepots(VisitedSet& visited) const {
  if (return_to_end_) {
    // An agent never re-enters its start unless the start is also an end.
    for (int32_t start : starts_) {
      if (!rules_.IsEndDepot(start)) visited.set(start);
    }
    return;
  }
  // Open routes: an agent with distinct depots stops at only one of them.
  std::unordered_set<int32_t> homes;
  for (uint64_t k = 0; k < num_agents_; ++k) {
    if (starts_[k] == ends_[k]) homes.insert(starts_[k]);
  }
  for (uint64_t k = 0; k < num_agents_; ++k) {
    if (starts_[k] == ends_[k]) continue;
    if (homes.count(starts_[k]) == 0) visited.set(starts_[k]);
    if (homes.count(ends_[k]) == 0) visited.set(ends_[k]);
  }
}

void Solver::PushRoot() {
  std::optional<Label> made = MakeRoot();
  if (!made) return;
  Label& root = *made;
  // The root fixes the shape of every label of the search.
  labels_.Reset(num_agents_, root.visited.size, search_loads_);
  root.id = NewLabelId();
  root.g = objective_->Evaluate(root.costs);
  root.h = heuristic_->Estimate(root);
  root.f = objective_->Combine(root, root.h, static_cast<int32_t>(num_agents_));
  labels_.Write(root.id, root, -1);
  ++result_.n_generated;

  focal_bound_ = root.f * focal_weights_[0];
  open_.insert(OpenEntry{root.f, root.id});
  open_.SetSplit(focal_bound_);
  // The root enters the focal list whatever the bound says.
  focal_.insert(MakeFocalEntry(root));
}

void Solver::RunPasses() {
  int32_t pass = 0;
  while (!result_.timeout) {
    while (!focal_.empty() && RunIteration(pass) == Iteration::kContinue) {
    }
    if (result_.timeout || open_.empty()) return;
    ++pass;
    AppendPassWeight();
    // The cap bounds the passes that improve a solution. Before the first one a
    // pass can end with only a few labels taken (the focal list keeps one of
    // entries it cannot tell apart, and a bound w * f at f <= 0 admits nothing
    // new), so ending there would report a solvable instance as searched out.
    if (pass >= max_passes_ && found_ != 0) return;
    RefillFocal(pass);
  }
}

// A label that entered the open list beside an equivalent focal entry, or while
// the bound was low, can be left only in the open list. Were the focal list then
// empty, every later pass would end at once and a solvable instance could end
// unsolved; so an empty focal list is filled again from the open list.
void Solver::RefillFocal(int32_t pass) {
  if (!focal_.empty() || open_.empty()) return;
  const double head = open_.front().f;
  const double bound = focal_weights_[static_cast<size_t>(pass)] * head;
  bool first = true;
  open_.VisitUpTo(std::max(bound, head), [&](const OpenEntry& entry) {
    // The head always goes in, whatever sign its f has.
    if (!first && entry.f > bound) return false;
    first = false;
    labels_.Read(entry.id, lookup_);
    focal_.insert(MakeFocalEntry(lookup_));
    return true;
  });
  focal_bound_ = bound;
  open_.SetSplit(focal_bound_);
}

Solver::Iteration Solver::RunIteration(int32_t pass) {
  // Checked before the pop, so an expansion once begun always completes.
  if (ShouldStop()) {
    result_.timeout = true;
    return Iteration::kEndPass;
  }

  const int32_t id = focal_.front().id;
  focal_.pop_front();
  labels_.Read(id, current_);
  const Label& cur = current_;
  open_.erase(OpenEntry{cur.f, cur.id});

  if (IsDominated(cur)) return Iteration::kContinue;
  if (found_ != 0 && cur.f >= incumbent_) return Iteration::kContinue;
  UpdateBound(pass);
  AddToFrontier(cur);
  if (IsGoal(cur)) {
    HandleGoal(cur);
    return Iteration::kEndPass;
  }

  ++result_.n_expanded;
  const int32_t agent = expansion_->SelectAgent(cur);
  if (agent < 0 || static_cast<uint64_t>(agent) >= num_agents_) {
    diagnostics_.Err("can't find next expanded agent");
    return Iteration::kEndPass;
  }
  GenerateSuccessors(cur, agent);
  UpdateBound(pass);
  return Iteration::kContinue;
}

// The interrupt check runs first, so a caller can break off a long search at once.
bool Solver::ShouldStop() {
  if (stop_.SearchDone(static_cast<uint64_t>(result_.n_expanded))) return true;
  handed_over_ = improve_ && SearchStalled();
  return handed_over_;
}

void Solver::UpdateBound(int32_t pass) {
  if (open_.empty()) return;
  const double bound = focal_weights_[static_cast<size_t>(pass)] * open_.front().f;
  if (bound != focal_bound_) UpdateFocal(focal_bound_, bound);
}

void Solver::GenerateSuccessors(const Label& cur, int32_t agent) {
  // MayEnter turns down every visited node but the agent's own depots, so only
  // the others are offered to it, in ascending order as before.
  const auto n = static_cast<int32_t>(std::min<size_t>(points_.size(), VisitedSet::kCapacity));
  std::array<uint64_t, 4> candidates{};
  for (size_t w = 0; w < candidates.size(); ++w) candidates[w] = ~cur.visited.words[w];
  for (int32_t depot : {starts_[static_cast<size_t>(agent)], ends_[static_cast<size_t>(agent)]}) {
    if (depot >= 0 && depot < n) candidates[static_cast<size_t>(depot >> 6)] |= uint64_t{1} << (depot & 63);
  }
  child_ = cur;
  for (int32_t w = 0; w * 64 < n; ++w) {
    uint64_t bits = candidates[static_cast<size_t>(w)];
    if (n - w * 64 < 64) bits &= (uint64_t{1} << (n - w * 64)) - 1;
    for (; bits != 0; bits &= bits - 1) {
      TryMove(cur, agent, w * 64 + __builtin_ctzll(bits));
    }
  }
}

// child_ equals cur on entry and again on return.
void Solver::TryMove(const Label& cur, int32_t agent, int32_t node) {
  if (!MayEnter(cur, agent, node)) return;
  if (CompleteChild(child_, agent, node) && !(found_ != 0 && child_.f >= incumbent_)) {
    StoreChild(child_, cur.id);
  }
  ResetChild(cur, agent);
}

// Undoes CompleteChild and StoreChild, which change only these fields, so the
// next move starts from a copy of the parent without copying it whole.
void Solver::ResetChild(const Label& cur, int32_t agent) {
  const auto a = static_cast<size_t>(agent);
  child_.id = cur.id;
  child_.visited = cur.visited;
  child_.last_agent = cur.last_agent;
  child_.finished[a] = cur.finished[a];
  child_.remaining = cur.remaining;
  child_.costs[a] = cur.costs[a];
  child_.positions[a] = cur.positions[a];
  if (!child_.loads.empty()) child_.loads[a] = cur.loads[a];
  child_.g = cur.g;
  child_.h = cur.h;
  child_.f = cur.f;
}

bool Solver::MayEnter(const Label& cur, int32_t agent, int32_t node) const {
  const int32_t start = starts_[static_cast<size_t>(agent)];
  const int32_t end = ends_[static_cast<size_t>(agent)];
  if (cur.visited.test(node) && node != start && node != end) return false;
  if (constraint_checker_->IsForbidden(agent, node)) return false;
  if (return_to_end_ && node == start && start != end) return false;
  // An agent may always finish at its own depots, whatever other agents do there;
  // only other agents' depots are closed to it.
  if (node == end || (!return_to_end_ && node == start)) return true;
  if (!return_to_end_ && rules_.IsStartDepot(node)) return false;
  return !rules_.IsEndDepot(node);
}

// Applies the move of `agent` to `node` to `child` (a copy of its parent), asking
// the plug-ins in a fixed order; false when the child is to be discarded.
bool Solver::CompleteChild(Label& child, int32_t agent, int32_t node) {
  const auto a = static_cast<size_t>(agent);
  const int32_t start = starts_[a];
  const int32_t end = ends_[a];
  child.visited.set(node);
  child.last_agent = agent;

  const bool finishing = node == end || (!return_to_end_ && node == start);
  if (finishing) {
    if (child.finished[a] == 0) {
      child.finished[a] = 1;
      --child.remaining;
    }
    if (child.remaining == 0 && !child.visited.all()) return false;
    if (constraint_checker_->IsDeadEnd(child)) return false;
  }

  const int32_t from = child.positions[a];
  if (from != node) {
    const std::optional<double> arc = ArcCost(from, node, agents_[a].type);
    // On open routes the move that stops an agent at a depot costs nothing, and
    // is no travel, so a missing cost does not bar it.
    const bool paid = return_to_end_ || (node != start && node != end);
    if (!arc || (paid && *arc >= missing_cost_)) return false;
    if (paid) child.costs[a] += *arc;
  }

  const ArrivalCheck arrival = constraint_checker_->CheckArrival(child, agent, node);
  if (!arrival.feasible) return false;
  if (arrival.time) child.costs[a] = *arrival.time;
  if (!child.loads.empty()) child.loads[a] += rules_.Demand(node);
  // The clock is the agent's: it leaves once the service is done.
  if (rules_.has_services()) child.costs[a] += rules_.Service(node);
  if (!constraint_checker_->CheckBudget(child, agent).feasible) return false;

  child.positions[a] = node;
  if (IsDominated(child)) return false;

  child.g = objective_->Evaluate(child.costs);
  if (child.remaining > 0) {
    child.h = EstimateChild(child);
    child.f = objective_->Combine(child, child.h, child.remaining);
  } else {
    child.h = 0.0;
    child.f = child.g;
  }
  return true;
}

// Once a solution exists, a child whose f reaches the incumbent is discarded
// whatever its exact estimate; the standard heuristic may then stop summing
// early. Only with the standard objectives, whose f never falls as h grows.
double Solver::EstimateChild(const Label& child) const {
  if (found_ == 0 || fast_heuristic_ == nullptr || objective_kind_ == ObjectiveKind::kOther) {
    return heuristic_->Estimate(child);
  }
  return fast_heuristic_->Estimate(child, DiscardingEstimate(child));
}

// The least h (near enough) from which on Combine reaches the incumbent,
// confirmed by Combine itself; +infinity when none is found.
double Solver::DiscardingEstimate(const Label& child) const {
  double guess = incumbent_ - child.g;
  if (objective_kind_ == ObjectiveKind::kMinMax) {
    // Combine's average solved for h.
    const double remaining = static_cast<double>(child.remaining);
    guess = incumbent_ * remaining - DefaultObjective::ActiveCostSum(child);
  }
  for (int32_t attempt = 0; attempt < 4 && std::isfinite(guess); ++attempt) {
    if (objective_->Combine(child, guess, child.remaining) >= incumbent_) return guess;
    // Rounding left the guess a little short.
    guess += std::abs(guess) * 1e-15 + std::numeric_limits<double>::denorm_min();
  }
  return std::numeric_limits<double>::infinity();
}

void Solver::StoreChild(Label& child, int32_t parent_id) {
  const int32_t id = NewLabelId();
  child.id = id;
  labels_.Write(id, child, parent_id);
  ++result_.n_generated;

  open_.insert(OpenEntry{child.f, id});
  if (focal_bound_ >= child.f) focal_.insert(MakeFocalEntry(child));
}

void Solver::HandleGoal(const Label& goal) {
  found_ = 1;
  ExtractSolution(goal.id);
  RecordAnytime();
  post_optimizer_->Optimize(graph_, points_, agents_, result_);
  KeepNoWorseThan(anytime_.back().second);
  RecordAnytime();
  max_path_length_ = LargestRouteCost(result_);
  ComputeInstanceStats();
  PruneByIncumbent(IncumbentOf(result_));
}

void Solver::RecordAnytime() {
  const double now = timer_.GetDuration();
  anytime_.emplace_back(now, result_);
  last_update_time_ = now;
}

// The post-optimizers pursue min-max; under another objective they may make the
// solution worse, and then the extracted one stands.
void Solver::KeepNoWorseThan(const Result& extracted) {
  const double before = objective_->Evaluate(CostsInAgentOrder(extracted, num_agents_));
  const double after = objective_->Evaluate(CostsInAgentOrder(result_, num_agents_));
  if (after > before + kNoWorseTolerance) {
    result_.paths = extracted.paths;
    result_.times = extracted.times;
  }
}

void Solver::AppendPassWeight() {
  const double fmin = open_.front().f;
  const double ratio = incumbent_ / fmin;
  const double step = (ratio - 1.0) / kWeightShrinkSteps;
  // Without a solution, or with a ratio that means nothing, the search turns optimal.
  if (found_ == 0 || !std::isfinite(ratio) || !std::isfinite(step) ||
      step < kSmallestWeightStep) {
    focal_weights_.push_back(1.0);
    diagnostics_.Out("w = 1");
    return;
  }
  focal_weights_.push_back(ratio - step);
  instance_stats_.bound_ratio = ratio;
}

}  // namespace quarn
