#include "localsearch/local_search.h"

#include <algorithm>
#include <utility>

#include "localsearch/cross_exchange.h"
#include "localsearch/optional_targets.h"
#include "localsearch/links.h"
#include "localsearch/or_opt.h"
#include "localsearch/relocate.h"
#include "localsearch/swap.h"
#include "localsearch/two_opt.h"
#include "localsearch/two_opt_star.h"

namespace quarn {
namespace {

constexpr double kImprovement = -1e-9;
constexpr uint32_t kStopCheckEvery = 64;

}  // namespace

LocalSearch::LocalSearch(const Neighbours& neighbours,
                         std::vector<std::unique_ptr<MoveOperator>> operators, bool requeue_near)
    : neighbours_(&neighbours),
      requeue_near_(requeue_near),
      operators_(std::move(operators)),
      counts_(operators_.size()) {
  for (size_t o = 0; o < operators_.size(); ++o) counts_[o].name = operators_[o]->name();
}

std::vector<std::unique_ptr<MoveOperator>> LocalSearch::AllOperators() {
  std::vector<std::unique_ptr<MoveOperator>> operators;
  operators.push_back(std::make_unique<Relocate>());
  operators.push_back(std::make_unique<Swap>());
  operators.push_back(std::make_unique<TwoOpt>());
  operators.push_back(std::make_unique<OrOpt>());
  operators.push_back(std::make_unique<TwoOptStar>());
  operators.push_back(std::make_unique<CrossExchange>());
  return operators;
}

void LocalSearch::Run(LsSolution& s, const LsObjective& objective, Rng& rng,
                      const std::vector<int32_t>& seeds, const StopCheck* stop) {
  const LocalModel& model = s.model();
  queued_.assign(static_cast<size_t>(model.num_nodes()), 0);
  queue_.clear();
  auto push = [&](int32_t v) {
    if (queued_[static_cast<size_t>(v)] == 0 && s.route_of(v) >= 0) {
      queued_[static_cast<size_t>(v)] = 1;
      queue_.push_back(v);
    }
  };
  for (int32_t v : seeds.empty() ? model.customers() : seeds) push(v);
  // A seeded shuffle, so the order does not follow the node numbering.
  for (size_t i = queue_.size(); i > 1; --i) {
    std::swap(queue_[i - 1], queue_[rng.Below(static_cast<uint32_t>(i))]);
  }
  const bool links = model.has_links();
  const bool clock_runs_back = model.has_negative_arcs() && !links;
  uint32_t pops = 0;
  size_t head = 0;
  const bool optional = model.has_optional();
  auto push_route = [&](int32_t r) {
    for (int32_t v : s.route(r).path) {
      if (model.IsCustomer(v)) push(v);
    }
  };
  // Open routes choose their final depot here: a route may end at its start.
  const bool open = !model.return_to_end();
  while (head < queue_.size() || optional || open) {
    if (head == queue_.size()) {
      // At a local optimum the left-out targets that now pay go back in, and
      // the descent goes on from their routes.
      const double before = objective.Of(s);
      if (optional) {
        for (int32_t r : InsertPaying(s, objective, -kImprovement, requeue_near_ ? neighbours_ : nullptr)) {
          push_route(r);
        }
      }
      for (int32_t r : SwitchFinalDepots(s, objective, -kImprovement)) push_route(r);
      if (head == queue_.size() || !(objective.Of(s) < before)) return;
    }
    if (stop != nullptr && ++pops % kStopCheckEvery == 0 && stop->Expired()) return;
    const int32_t u = queue_[head++];
    queued_[static_cast<size_t>(u)] = 0;
    if (s.route_of(u) < 0) continue;
    Move best;
    best.delta = kImprovement;
    size_t chosen = operators_.size();
    int32_t partner = -1;
    const int32_t type = model.type(s.route(s.route_of(u)).agent);
    for (int32_t v : neighbours_->Near(type, u)) {
      if (s.route_of(v) < 0) continue;
      for (size_t o = 0; o < operators_.size(); ++o) {
        ++counts_[o].evaluated;
        const MoveOperator& op = *operators_[o];
        if (links ? OfferLinked(s, objective, op, [&](Move& m) { return op.Evaluate(s, objective, u, v, m); }, best)
                  : op.Evaluate(s, objective, u, v, best)) {
          chosen = o;
          partner = v;
        }
      }
    }
    // Idle agents are no one's neighbours: every one that may take u is tried.
    for (int32_t r = 0; r < s.num_routes(); ++r) {
      if (s.route(r).targets() != 0 || !model.Admits(r, u)) continue;
      for (size_t o = 0; o < operators_.size(); ++o) {
        ++counts_[o].evaluated;
        const MoveOperator& op = *operators_[o];
        if (links ? OfferLinked(s, objective, op, [&](Move& m) { return op.EvaluateIdle(s, objective, u, r, m); },
                                best)
                  : op.EvaluateIdle(s, objective, u, r, best)) {
          chosen = o;
          partner = u;
        }
      }
    }
    if (optional && DropDelta(s, objective, u) < best.delta) {
      const int32_t r = s.route_of(u);
      const double before = objective.Of(s);
      DropTarget(s, u);
      if (!(objective.Of(s) < before)) return;
      push_route(r);
      continue;
    }
    if (chosen == operators_.size()) continue;
    const double before = objective.Of(s);
    // Where arcs run the clock back, a move is priced by the routes' finish and
    // a route by its clock's highest: the routes as they were are kept to go back to.
    const int32_t other = best.r2 != best.r1 ? best.r2 : -1;
    if (clock_runs_back) {
      kept_[0] = s.route(best.r1).path;
      if (other >= 0) kept_[1] = s.route(other).path;
    }
    operators_[chosen]->Apply(s, best);
    ++counts_[chosen].applied;
    ++moves_applied_;
    // A move priced as a gain that the routes' own costs do not confirm would be
    // taken back and forth for ever (seen with negative arcs): it is taken
    // back where it can be, and the descent ends.
    if (!(objective.Of(s) < before)) {
      if (clock_runs_back) {
        s.path(best.r1) = kept_[0];
        if (other >= 0) s.path(other) = kept_[1];
        s.Refresh(best.r1);
        if (other >= 0) s.Refresh(other);
      }
      return;
    }
    if (requeue_near_) {
      for (int32_t w : {u, partner}) {
        push(w);
        for (int32_t x : neighbours_->Near(type, w)) push(x);
      }
    } else {
      for (int32_t r : {best.r1, best.r2}) {
        if (r >= 0) push_route(r);
      }
    }
    // Keep the list from growing without bound: compact the consumed part.
    if (head > 4096 && head * 2 > queue_.size()) {
      queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(head));
      head = 0;
    }
  }
}

}  // namespace quarn
