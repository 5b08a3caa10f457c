#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "graph/dense_cost_table.h"
#include "graph/sparse_graph.h"
#include "localsearch/cross_exchange.h"
#include "localsearch/improver.h"
#include "localsearch/insertion.h"
#include "localsearch/links.h"
#include "localsearch/local_model.h"
#include "localsearch/optional_targets.h"
#include "localsearch/or_opt.h"
#include "localsearch/parallel_improver.h"
#include "localsearch/relocate.h"
#include "localsearch/rng.h"
#include "localsearch/ruin.h"
#include "localsearch/swap.h"
#include "localsearch/time_insertion.h"
#include "localsearch/timing_segment.h"
#include "localsearch/two_opt.h"
#include "localsearch/two_opt_star.h"
#include "rules/route_rules.h"
#include "support/solution_checker.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

// A random instance compiled into route rules: whole-number Manhattan costs
// (one type, or two types with a second, dearer matrix), some windows loose
// enough that solutions exist, a few length limits, depots at nodes 0..depots-1.
struct RandomRules {
  SparseGraph graph;
  TimeWindowMap windows;
  DenseCostTable distances;
  RouteRules rules;
  std::unique_ptr<LocalModel> model;

  // `tight`: narrow windows, short limits and small capacities that construction
  // cannot keep; `nodes` and `fleet` (when positive) fix the size; `capacities`:
  // demands 1-4 everywhere (the depots' count nothing), enforced; `services`:
  // whole-number service times; `by_distance`: a distance table apart from the
  // costs, priced.
  RandomRules(uint64_t seed, bool return_to_end, bool with_windows, bool with_limits, int32_t types,
              bool tight = false, int32_t nodes = 0, int32_t fleet = 0, bool capacities = false,
              bool services = false, bool by_distance = false, bool pairs = false) {
    Rng rng(seed);
    int32_t n = 14 + static_cast<int32_t>(rng.Below(8));
    int32_t m = 2 + static_cast<int32_t>(rng.Below(3));
    if (nodes > 0) n = nodes;
    if (fleet > 0) m = fleet;
    std::vector<int32_t> xs(static_cast<size_t>(n));
    std::vector<int32_t> ys(static_cast<size_t>(n));
    for (int32_t v = 0; v < n; ++v) {
      xs[static_cast<size_t>(v)] = static_cast<int32_t>(rng.Below(30));
      ys[static_cast<size_t>(v)] = static_cast<int32_t>(rng.Below(30));
      graph.AddVertex(v);
    }
    graph.ChangeCostDim(static_cast<uint64_t>(types), 9999.0);
    for (int32_t u = 0; u < n; ++u) {
      for (int32_t v = 0; v < n; ++v) {
        if (u == v) continue;
        const double d = std::abs(xs[static_cast<size_t>(u)] - xs[static_cast<size_t>(v)]) +
                         std::abs(ys[static_cast<size_t>(u)] - ys[static_cast<size_t>(v)]);
        CostVector cost{d};
        if (types > 1) cost.push_back(d + 3.0);
        graph.AddArc(u, v, cost);
      }
    }
    std::vector<Point> points(static_cast<size_t>(n));
    for (Point& p : points) p.types = types > 1 ? std::vector<int32_t>{0, 1} : std::vector<int32_t>{0};
    // A few targets only the first type may take.
    if (types > 1) points[static_cast<size_t>(n - 1)].types = {0};
    std::vector<AgentEntry> agents(static_cast<size_t>(m));
    std::vector<int32_t> starts;
    std::vector<int32_t> ends;
    for (int32_t a = 0; a < m; ++a) {
      agents[static_cast<size_t>(a)].type = types > 1 ? a % types : 0;
      if (with_limits && a == 0) agents[0].time_limit = tight ? 60.0 : 200.0;
      starts.push_back(a % 2);
      ends.push_back(a % 2 == 0 ? 0 : 2);
    }
    if (with_windows) {
      for (int32_t v = 3; v < n; v += 3) {
        const double open = rng.Below(40);
        windows[v] = {open, open + (tight ? 10.0 : 150.0)};
      }
    }
    if (capacities) {
      double total = 0.0;
      for (int32_t v = 0; v < n; ++v) {
        points[static_cast<size_t>(v)].demand = 1.0 + rng.Below(4);
        if (v > 2) total += points[static_cast<size_t>(v)].demand;
      }
      for (AgentEntry& agent : agents) agent.capacity_limit = std::ceil(total / m * (tight ? 0.8 : 1.5));
      rules.SetEnforceCapacities(true);
    }
    rules.SetPoints(points);
    rules.SetAgents(agents);
    rules.SetStarts(starts);
    rules.SetEnds(ends);
    rules.SetTimeWindows(windows);
    rules.SetReturnToEnd(return_to_end);
    rules.TakeCostTable(DenseCostTable(graph));
    if (services) {
      std::vector<double> service(static_cast<size_t>(n));
      for (double& d : service) d = rng.Below(6);
      rules.SetServices(service);
    }
    if (by_distance) {
      // Straight-line-ish distances that disagree with the travel times.
      distances = DenseCostTable(n, types, 0.0);
      for (int32_t t = 0; t < types; ++t) {
        for (int32_t u = 0; u < n; ++u) {
          for (int32_t v = 0; v < n; ++v) {
            if (u != v) distances.Set(u, v, t, std::max(xs[static_cast<size_t>(u)], ys[static_cast<size_t>(v)]) + t);
          }
        }
      }
      rules.SetDistanceTable(&distances);
    }
    if (pairs) {
      // Plain and "same" pairs run up the numbering (so never in a cycle); "diff"
      // pairs join targets no "same" pair names.
      std::vector<IndexPair> list;
      for (int32_t v = 3; v + 2 < n; v += 4) {
        list.push_back({v, v + 2, PairKind::kPlain});
        list.push_back({v + 1, v + 3 < n ? v + 3 : v + 2, v % 8 == 3 ? PairKind::kSame : PairKind::kPlain});
      }
      list.push_back({n - 1, n - 2, PairKind::kDiff});
      rules.SetSequence(list);
    }
    model = std::make_unique<LocalModel>(rules, windows, by_distance);
  }
};

struct Variant {
  bool return_to_end;
  bool windows;
  bool limits;
  int32_t types;
  bool tight = false;
  int32_t nodes = 0;
  int32_t agents = 0;
  bool capacities = false;
  bool services = false;
  bool by_distance = false;
  bool pairs = false;
};

RandomRules Make(uint64_t seed, const Variant& v, bool tight = false) {
  return RandomRules(seed, v.return_to_end, v.windows, v.limits, v.types, tight, v.nodes, v.agents, v.capacities,
                     v.services, v.by_distance, v.pairs);
}

const Variant kVariants[] = {
    {true, false, false, 1}, {false, false, false, 1}, {true, true, false, 1},
    {false, true, true, 1},  {true, true, true, 2},    {false, false, true, 2},
    // Service times, and the distance objective, with and without windows.
    {true, true, true, 1, false, 0, 0, false, true},        {false, false, false, 2, false, 0, 0, false, true},
    {true, false, true, 2, false, 0, 0, false, true, true}, {false, true, false, 1, false, 0, 0, false, true, true},
};

// A feasible route's cost is what the rules make of it: its duration, or its distance.
void ExpectRouteMatchesRules(const LsSolution& s, const RouteRules& rules, int32_t r) {
  const LsRoute& route = s.route(r);
  double duration = 0.0;
  ASSERT_TRUE(rules.EvaluateRoute(route.path, r, duration)) << "route " << r;
  EXPECT_EQ(duration, route.charge.finish) << "route " << r;
  const double measure = s.model().by_distance() ? rules.DistanceOf(route.path, r) : duration;
  EXPECT_EQ(measure, route.cost) << "route " << r;
}

void ExpectRoutesMatchRules(const LsSolution& s, const RouteRules& rules) {
  for (int32_t r = 0; r < s.num_routes(); ++r) ExpectRouteMatchesRules(s, rules, r);
}

// The caches an edit re-times in part and those built on first read (the
// removal prices, the blocks) equal those of the same routes timed afresh, to the bit.
void ExpectCachesAsRefreshed(const LsSolution& sol) {
  LsSolution fresh(sol.model());
  fresh.SetPenalties(sol.penalties());
  for (int32_t r = 0; r < sol.num_routes(); ++r) fresh.path(r) = sol.route(r).path;
  fresh.RefreshAll();
  auto same = [](const TimingSegment& a, const TimingSegment& b) {
    return std::tie(a.earliest, a.latest, a.duration, a.time_warp, a.first, a.last) ==
           std::tie(b.earliest, b.latest, b.duration, b.time_warp, b.first, b.last);
  };
  for (int32_t r = 0; r < sol.num_routes(); ++r) {
    const LsRoute& a = sol.route(r);
    const LsRoute& b = fresh.route(r);
    EXPECT_EQ(a.cost, b.cost) << "route " << r;
    EXPECT_EQ(a.forward, b.forward) << "route " << r;
    EXPECT_EQ(a.backward, b.backward) << "route " << r;
    for (size_t p = 0; p < a.path.size(); ++p) {
      EXPECT_TRUE(same(a.prefix[p], b.prefix[p]) && same(a.suffix[p], b.suffix[p])) << "route " << r << " at " << p;
      if (p > 0 && p + 1 < a.path.size()) {
        const auto at = static_cast<int32_t>(p);
        EXPECT_EQ(sol.RemovalPrice(r, at), fresh.RemovalPrice(r, at)) << "route " << r << " at " << p;
      }
    }
    const auto& blocks = RouteBlocks(sol.model(), a);
    const auto& expected = RouteBlocks(sol.model(), b);
    ASSERT_EQ(blocks.size(), expected.size());
    for (size_t l = 0; l < blocks.size(); ++l) {
      EXPECT_TRUE(std::equal(blocks[l].begin(), blocks[l].end(), expected[l].begin(), expected[l].end(), same));
    }
  }
}

// Every operator's price of every move it offers equals the walk's evaluation
// of the routes it then produces (the rules' too, where the routes keep them),
// and every cached whole-route segment charges what the walk charges. Each pair
// `stride` apart is tried.
int64_t CheckOperatorPrices(const RandomRules& inst, const Penalties& penalties, bool min_max, int32_t stride,
                            double cap_share = 0.0) {
  const Relocate relocate;
  const Swap swap;
  const TwoOpt two_opt;
  const OrOpt or_opt;
  const TwoOptStar two_opt_star;
  const CrossExchange cross;
  const std::vector<std::pair<const char*, const MoveOperator*>> operators = {
      {"relocate", &relocate}, {"swap", &swap},          {"2-opt", &two_opt},
      {"or-opt", &or_opt},     {"2-opt*", &two_opt_star}, {"cross", &cross}};
  const LocalModel& model = *inst.model;
  LsObjective objective;
  objective.min_max = min_max;
  LsSolution s(model);
  s.SetPenalties(penalties);
  RegretInsertion(s, objective);
  EXPECT_EQ(s.required_missing(), 0);
  if (cap_share > 0.0) {
    // Some routes above the cap and some below, the longest past the steep kink.
    objective.cap = s.max() * (1.0 - cap_share);
    objective.cap_weight = 0.5;
    objective.steep = s.max() * (1.0 - cap_share / 2.0);
    objective.steep_weight = 10.0;
  }
  // Prices read under one set of weights are not served under the next.
  ExpectCachesAsRefreshed(s);
  s.SetPenalties(Penalties{penalties.time_warp * 2.0, penalties.excess * 2.0, penalties.load * 2.0, penalties.link});
  ExpectCachesAsRefreshed(s);
  s.SetPenalties(penalties);
  // With pairs the routes are timed together: the rules' own schedule of the
  // whole plan is the full re-evaluation.
  auto expect_linked = [&](const LsSolution& sol) {
    std::vector<const std::vector<int32_t>*> paths;
    for (const LsRoute& route : sol.routes()) paths.push_back(&route.path);
    const LinkedTiming timing = inst.rules.ScheduleRoutes(paths);
    for (int32_t r = 0; r < sol.num_routes(); ++r) {
      const LsRoute& route = sol.route(r);
      const auto k = static_cast<size_t>(r);
      EXPECT_EQ(timing.finish[k], route.charge.finish) << "route " << r;
      EXPECT_EQ(timing.warp[k], route.charge.time_warp) << "route " << r;
      EXPECT_EQ(timing.broken[k], route.charge.link) << "route " << r;
    }
  };
  int64_t checked = 0;
  auto expect_consistent = [&](const LsSolution& sol) {
    if (checked % 8 == 0) ExpectCachesAsRefreshed(sol);  // one in eight keeps the test short
    if (model.has_links()) return expect_linked(sol);
    for (int32_t r = 0; r < sol.num_routes(); ++r) {
      const LsRoute& route = sol.route(r);
      double load = 0.0;
      double distance = 0.0;
      for (size_t p = 0; p < route.path.size(); ++p) {
        load += model.demand(route.path[p]);
        if (p > 0) distance += model.Distance(r, route.path[p - 1], route.path[p]);
      }
      const RouteCharge charge = ChargeOf(model, r, route.prefix.back(), load, distance);
      EXPECT_EQ(charge.finish, route.charge.finish) << "route " << r;
      EXPECT_EQ(charge.time_warp, route.charge.time_warp) << "route " << r;
      EXPECT_EQ(charge.excess, route.charge.excess) << "route " << r;
      EXPECT_EQ(charge.load_excess, route.charge.load_excess) << "route " << r;
      if (model.by_distance()) {
        EXPECT_EQ(charge.distance, route.charge.distance) << "route " << r;
      }
      if (route.feasible()) ExpectRouteMatchesRules(sol, inst.rules, r);
    }
  };
  expect_consistent(s);
  const std::vector<int32_t>& targets = model.customers();
  for (size_t iu = 0; iu < targets.size(); iu += static_cast<size_t>(stride)) {
    for (size_t iv = iu % 3; iv < targets.size(); iv += static_cast<size_t>(stride)) {
      const int32_t u = targets[iu];
      const int32_t v = targets[iv];
      if (u == v || s.route_of(u) < 0 || s.route_of(v) < 0) continue;
      for (const auto& [name, op] : operators) {
        Move best;
        best.delta = kLsInfinity;
        if (model.has_links()) {
          LsSolution& priced = s;
          const auto evaluate = [&](Move& m) { return op->Evaluate(priced, objective, u, v, m); };
          if (!OfferLinked(priced, objective, *op, evaluate, best)) continue;
          EXPECT_LE(LinkedBound(s, objective, best), best.delta + 1e-9);
        } else {
          const bool found = op->Evaluate(s, objective, u, v, best);
          // The travel bounds skip only moves the full price rejects: the same best without them
          // (every other pair keeps the test short).
          if ((iu + iv) % 2 == 0) {
            Move full;
            full.delta = kLsInfinity;
            inst.model->SetTravelBounds(false);
            EXPECT_EQ(op->Evaluate(s, objective, u, v, full), found) << name;
            inst.model->SetTravelBounds(true);
            EXPECT_TRUE(full.delta == best.delta && full.r1 == best.r1 && full.r2 == best.r2 && full.i == best.i &&
                        full.j == best.j && full.a == best.a && full.b == best.b && full.reversed == best.reversed)
                << name;
          }
          if (!found) continue;
        }
        LsSolution applied = s;
        op->Apply(applied, best);
        SCOPED_TRACE(name);
        expect_consistent(applied);
        if (!model.has_links()) {
          EXPECT_EQ(applied.route(best.r1).cost, best.cost1);
          if (best.r2 >= 0) {
            EXPECT_EQ(applied.route(best.r2).cost, best.cost2);
          }
        }
        EXPECT_NEAR(objective.Of(applied) - objective.Of(s), best.delta, 1e-6);
        ++checked;
      }
    }
  }
  // The cheapest insertion of each target taken out is the same with the travel bounds and without.
  for (int32_t u : targets) {
    if (s.route_of(u) < 0) continue;
    LsSolution out = s;
    DropTarget(out, u);
    const InsertionSpot bounded = CheapestInsertion(out, objective, u);
    inst.model->SetTravelBounds(false);
    const InsertionSpot full = CheapestInsertion(out, objective, u);
    inst.model->SetTravelBounds(true);
    EXPECT_TRUE(bounded.route == full.route && bounded.gap == full.gap && bounded.cost == full.cost) << u;
  }
  // Leaving an optional target out is priced from the cached removal, putting
  // it back by the insertion price, each against its penalty.
  for (int32_t u : targets) {
    const double drop = DropDelta(s, objective, u);
    if (!model.IsOptional(u) || s.route_of(u) < 0) {
      EXPECT_EQ(drop, kLsInfinity);
      continue;
    }
    if (!(drop < kLsInfinity)) continue;
    const int32_t r = s.route_of(u);
    LsSolution dropped = s;
    DropTarget(dropped, u);
    expect_consistent(dropped);
    EXPECT_EQ(dropped.route(r).cost, s.RemovalPrice(r, s.pos_of(u)));
    EXPECT_NEAR(objective.Of(dropped) - objective.Of(s), drop, 1e-6);
    const InsertionSpot spot = CheapestInsertion(dropped, objective, u);
    EXPECT_GE(spot.route, 0);
    if (spot.route < 0) continue;
    LsSolution back = dropped;
    InsertAt(back, u, spot);
    back.CollectUnassigned();
    ExpectCachesAsRefreshed(back);
    EXPECT_NEAR(objective.Of(back) - objective.Of(dropped), spot.delta - model.left_out_penalty(u), 1e-6);
    ++checked;
  }
  return checked;
}

// Penalties on every other target, whole numbers from 0 up.
void MakeOptional(RandomRules& inst) {
  std::vector<double> penalty(static_cast<size_t>(inst.model->num_nodes()), kLsInfinity);
  for (int32_t v : inst.model->customers()) {
    if (v % 2 == 1) penalty[static_cast<size_t>(v)] = v % 9 * 4.0;
  }
  inst.model->SetLeftOutPenalties(penalty);
}

// Hard rules on the small variants; soft ones (time warp, excess and load
// charged) on tight instances; long single routes, where moves within a route
// are priced from the travel and load sums (no windows) or bounded by them (windows).
// One seed per test, so that each stays well within the timeout under the sanitizers.
class MoveOperatorPrices : public ::testing::TestWithParam<uint64_t> {};
INSTANTIATE_TEST_SUITE_P(Seeds, MoveOperatorPrices, ::testing::Range<uint64_t>(1, 13));

TEST_P(MoveOperatorPrices, EqualTheWalkAfterApplying) {
  const uint64_t seed = GetParam();
  const Penalties hard;
  const Penalties soft{3.0, 2.0, 4.0};
  const Variant tight[] = {{true, true, true, 1, true},
                           {false, true, true, 2, true},
                           {true, false, false, 1, true, 0, 0, true},
                           {false, true, true, 2, true, 0, 0, true},
                           {true, true, true, 1, true, 0, 0, false, true, true}};
  const Variant long_routes[] = {{true, false, false, 1, false, 160, 1}, {false, false, true, 1, false, 160, 2},
                                 {true, true, false, 1, false, 120, 1}, {true, false, false, 1, true, 160, 3, true},
                                 {false, false, true, 1, false, 160, 2, false, true, true}};
  // Target pairs: moves on routes holding one are priced by timing the whole plan.
  const Variant linked[] = {{true, true, false, 1, false, 0, 0, false, true, false, true},
                            {false, false, true, 2, false, 0, 0, false, true, false, true},
                            {true, true, true, 1, true, 0, 0, true, true, false, true}};
  int64_t checked = 0;
  for (bool min_max : {false, true}) {
    for (const Variant& v : kVariants) {
      RandomRules inst = Make(seed, v);
      checked += CheckOperatorPrices(inst, hard, min_max, 1);
      // The total priced with each route's length above a cap.
      if (min_max && seed <= 4) checked += CheckOperatorPrices(inst, hard, true, 1, 0.1);
    }
    for (const Variant& v : tight) {
      RandomRules inst = Make(seed, v, true);
      checked += CheckOperatorPrices(inst, soft, min_max, 1);
    }
    for (const Variant& v : linked) {
      if (seed > 4) break;
      RandomRules inst = Make(seed, v, v.tight);
      checked += CheckOperatorPrices(inst, Penalties{3.0, 2.0, 4.0, 5.0}, min_max, 2);
    }
  }
  if (seed <= 2) {
    for (const Variant& v : long_routes) {
      RandomRules inst = Make(seed, v, v.tight);
      checked += CheckOperatorPrices(inst, v.windows || v.tight ? soft : hard, false, 13);
    }
  }
  EXPECT_GT(checked, 5000);
}

// With every other target optional the operators' prices hold, and so do those
// of leaving a target out and of putting it back.
TEST(MoveOperators, PricesHoldWithOptionalTargets) {
  const Variant cases[] = {kVariants[2], kVariants[7], {false, true, true, 2, true},
                           {true, false, false, 1, true, 0, 0, true}};
  int64_t checked = 0;
  for (uint64_t seed = 1; seed <= 6; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    for (bool min_max : {false, true}) {
      for (const Variant& v : cases) {
        RandomRules inst = Make(seed, v, v.tight);
        MakeOptional(inst);
        checked += CheckOperatorPrices(inst, v.tight ? Penalties{3.0, 2.0, 4.0} : Penalties{}, min_max, 1);
      }
    }
  }
  EXPECT_GT(checked, 20000);
}

// A refresh re-times a route from its first difference, and a target detached
// and put back where it was differs only in its lost record.
TEST(LsSolutionCaches, RefreshKeepsRecordsOfTargetsPutBack) {
  RandomRules inst = Make(1, kVariants[2]);
  LsSolution s(*inst.model);
  RegretInsertion(s, LsObjective{});
  for (int32_t v : inst.model->customers()) {
    const int32_t r = s.route_of(v);
    const int32_t pos = s.pos_of(v);
    if (r < 0) continue;
    s.Detach(v);
    s.path(r).insert(s.path(r).begin() + pos, v);
    s.Refresh(r);
    EXPECT_TRUE(s.route_of(v) == r && s.pos_of(v) == pos) << v;
  }
  ExpectCachesAsRefreshed(s);
}

// Construction places every target on generated instances with loose windows,
// and ruin then takes out only assigned targets, which recreate puts back; a
// ruin centred on the longest route cuts there first.
TEST(Construction, RegretInsertionAndRecreateGiveValidRoutes) {
  std::vector<Variant> variants(std::begin(kVariants), std::end(kVariants));
  variants.push_back({true, false, false, 1, false, 0, 0, true});
  variants.push_back({false, true, false, 2, false, 0, 0, true});
  for (uint64_t seed = 1; seed <= 20; ++seed) {
    for (const Variant& variant : variants) {
      Variant loose = variant;
      loose.limits = false;
      RandomRules inst = Make(seed, loose);
      LsSolution s(*inst.model);
      LsObjective objective;
      objective.min_max = seed % 2 == 0;
      Neighbours neighbours(*inst.model, 8);
      // The windows' order under hard rules, on all gaps and on the near ones.
      for (const Neighbours* near : {static_cast<const Neighbours*>(nullptr), static_cast<const Neighbours*>(&neighbours)}) {
        LsSolution timed(*inst.model);
        TimeOrderedInsertion(timed, objective, near, std::vector<double>(static_cast<size_t>(inst.model->num_nodes()), 0.0));
        ExpectRoutesMatchRules(timed, inst.rules);
        EXPECT_LT(timed.unassigned().size(), inst.model->customers().size()) << "seed " << seed;
      }
      RegretInsertion(s, objective);
      EXPECT_TRUE(s.unassigned().empty()) << "seed " << seed;
      ExpectRoutesMatchRules(s, inst.rules);
      Rng rng(seed);
      const std::vector<int32_t> removed = RuinAdjacentStrings(s, neighbours, RuinSettings{}, rng);
      EXPECT_FALSE(removed.empty());
      EXPECT_EQ(s.unassigned().size(), removed.size());
      for (int32_t v : s.unassigned()) {
        const InsertionSpot spot = CheapestInsertion(s, objective, v, &rng, 0.01);
        if (spot.route >= 0) InsertAt(s, v, spot);
      }
      ExpectRoutesMatchRules(s, inst.rules);
      // Centred on the longest route, a ruin cuts there first.
      s.CollectUnassigned();
      if (s.unassigned().empty() && s.feasible()) {
        int32_t top = -1;
        for (int32_t r = 0; r < s.num_routes(); ++r) {
          if (s.route(r).targets() > 0 && (top < 0 || s.route(r).cost > s.route(top).cost)) top = r;
        }
        LsSolution centred = s;
        RuinSettings longest;
        longest.longest_route = 1.0;
        const std::vector<int32_t> cut = RuinAdjacentStrings(centred, neighbours, longest, rng);
        ASSERT_FALSE(cut.empty());
        EXPECT_EQ(s.route_of(cut.front()), top) << "seed " << seed;  // the first string is the seed's
      }
    }
  }
}

// The improver honours each way of being stopped: the iteration budget, a
// clock (here a counter, so the test never waits), and the interrupt; run as
// several walks too, where the budget counts one walk's iterations and an
// interrupt on the calling thread ends every walk.
class ImproverStops : public ::testing::TestWithParam<int32_t> {};
INSTANTIATE_TEST_SUITE_P(Walks, ImproverStops, ::testing::Values(1, 2, 3));

TEST_P(ImproverStops, WhereTheStopCheckSays) {
  RandomRules inst(7, true, true, true, 1);
  ImproveSettings settings;
  ParallelImprover improver(*inst.model, settings, GetParam(), 10);
  const std::vector<std::vector<int32_t>> none;

  StopCheck budget;
  budget.SetIterationBudget(25);
  EXPECT_TRUE(improver.Run(none, budget, nullptr));
  EXPECT_EQ(improver.iterations(), 25u);

  StopCheck clock;
  auto ticks = std::make_shared<int>(0);
  clock.SetDeadline([ticks] { return static_cast<double>((*ticks)++); }, 40.0);
  improver.Run(none, clock, nullptr);
  EXPECT_LE(*ticks, 42);
  // Walks are asked at their meetings, ten iterations apart, and more often while they run.
  EXPECT_LE(improver.iterations(), GetParam() == 1 ? 41u : 410u);

  StopCheck interrupt;
  auto calls = std::make_shared<int>(0);
  interrupt.SetInterrupt([calls] {
    if (++*calls > 30) throw std::runtime_error("interrupted");
  });
  EXPECT_THROW(improver.Run(none, interrupt, nullptr), std::runtime_error);
}

// Walks that meet at fixed iteration counts give the same reports on every run,
// whatever the threads' timing; every report keeps the rules, beats the one
// before it, and comes on the calling thread.
TEST(ParallelImprover, SameReportsOnEveryRunOnTheCallingThread) {
  const Variant cases[] = {{true, true, true, 1}, {false, true, true, 2, false, 0, 0, true}};
  for (uint64_t seed = 1; seed <= 2; ++seed) {
    for (const Variant& v : cases) {
      for (int32_t walks : {2, 3}) {
        SCOPED_TRACE("seed " + std::to_string(seed) + ", walks " + std::to_string(walks));
        RandomRules inst = Make(seed, v, v.tight);
        ImproveSettings settings;
        settings.seed = seed;
        settings.min_max = seed % 2 == 0;
        settings.first_cycle = 40;
        settings.restart_after = 15;  // kicks too run the same on every run
        const LsObjective objective{settings.min_max, settings.alpha};
        std::vector<std::vector<std::tuple<uint64_t, double, double>>> reports(2);
        for (auto& seen : reports) {
          ParallelImprover improver(*inst.model, settings, walks, 25);
          StopCheck stop;
          stop.SetIterationBudget(60);  // not a multiple of the interval: the last round is shorter
          const auto caller = std::this_thread::get_id();
          improver.Run({}, stop, [&](const LsSolution& best) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            EXPECT_TRUE(best.unassigned().empty());
            ExpectRoutesMatchRules(best, inst.rules);
            if (!seen.empty()) {
              EXPECT_TRUE(objective.Better(best.max(), best.sum(), std::get<2>(seen.back()), std::get<1>(seen.back())));
            }
            seen.emplace_back(improver.iterations(), best.sum(), best.max());
          });
          EXPECT_EQ(improver.iterations(), 60u);
        }
        EXPECT_FALSE(reports[0].empty());
        EXPECT_EQ(reports[0], reports[1]);
      }
    }
  }
}

// Under soft windows, limits and capacities every solution the improver reports
// keeps every rule, and a shorter budget walks the same path as the start of a
// longer one: the reports up to its last iteration are the same.
TEST(Improver, ReportsOnlyFeasibleSolutionsAndLongerBudgetsContinue) {
  const Variant cases[] = {{true, true, true, 1, true}, {false, true, true, 2, true}, {true, false, false, 1},
                           {false, true, false, 2, false, 0, 0, true}};
  for (uint64_t seed = 1; seed <= 4; ++seed) {
    for (const Variant& v : cases) {
      SCOPED_TRACE("seed " + std::to_string(seed));
      RandomRules inst = Make(seed, v, v.tight);
      ImproveSettings settings;
      settings.seed = seed;
      settings.min_max = seed % 2 == 0;
      settings.first_cycle = 40;
      settings.restart_after = seed > 2 ? 15 : 0;  // a kicked walk reports only feasible plans too
      std::vector<std::vector<std::tuple<uint64_t, double, double>>> reports(2);
      const uint64_t budgets[] = {50, 120};
      for (size_t run = 0; run < 2; ++run) {
        Improver improver(*inst.model, settings);
        StopCheck stop;
        stop.SetIterationBudget(budgets[run]);
        improver.Run({}, stop, [&](const LsSolution& best) {
          EXPECT_TRUE(best.unassigned().empty());
          ExpectRoutesMatchRules(best, inst.rules);
          reports[run].emplace_back(improver.iterations(), best.sum(), best.max());
        });
      }
      std::vector<std::tuple<uint64_t, double, double>> prefix;
      for (const auto& report : reports[1]) {
        if (std::get<0>(report) <= budgets[0]) prefix.push_back(report);
      }
      EXPECT_EQ(reports[0], prefix);
    }
  }
}

// Three agents of three types, one target each: no route can hold two targets
// in time, and the cheapest plan moves every target one agent on. No single
// move keeps the rules on the way there, so the descent under hard windows
// stays put; under soft ones it passes through broken routes and a harder
// descent then repairs them into the optimum.
TEST(LocalSearch, ReachesTheOptimumOnlyThroughBrokenRoutes) {
  SparseGraph graph;
  for (int32_t v = 0; v < 4; ++v) graph.AddVertex(v);
  graph.ChangeCostDim(3, 9999.0);
  for (int32_t u = 0; u < 4; ++u) {
    for (int32_t v = 0; v < 4; ++v) {
      if (u == v) continue;
      CostVector cost(3, 8.0);  // between targets
      for (int32_t t = 0; t < 3; ++t) {
        const int32_t target = u == 0 ? v - 1 : v == 0 ? u - 1 : -1;
        if (target >= 0) cost[static_cast<size_t>(t)] = target == t ? 6.0 : target == (t + 1) % 3 ? 5.0 : 10.0;
      }
      graph.AddArc(u, v, cost);
    }
  }
  TimeWindowMap windows;
  for (int32_t v = 1; v < 4; ++v) windows[v] = {0.0, 12.0};
  std::vector<Point> points(4);
  for (Point& p : points) p.types = {0, 1, 2};
  std::vector<AgentEntry> agents(3);
  for (int32_t a = 0; a < 3; ++a) agents[static_cast<size_t>(a)].type = a;
  RouteRules rules;
  rules.SetPoints(points);
  rules.SetAgents(agents);
  rules.SetStarts({0, 0, 0});
  rules.SetEnds({0, 0, 0});
  rules.SetTimeWindows(windows);
  rules.SetReturnToEnd(true);
  rules.TakeCostTable(DenseCostTable(graph));
  const LocalModel model(rules, windows);
  const Neighbours neighbours(model, 8);
  LsObjective objective;
  for (bool soft : {false, true}) {
    LsSolution s(model);
    for (int32_t a = 0; a < 3; ++a) {
      s.path(a) = {0, a + 1, 0};
      s.Refresh(a);
    }
    s.CollectUnassigned();
    ASSERT_EQ(s.sum(), 36.0);
    LocalSearch local(neighbours, LocalSearch::AllOperators());
    Rng rng(1);
    if (soft) {
      s.SetPenalties(Penalties{3.0, 3.0});
      local.Run(s, objective, rng, {});
      s.SetPenalties(Penalties{1000.0, 1000.0});
    }
    local.Run(s, objective, rng, {});
    EXPECT_TRUE(s.feasible());
    EXPECT_EQ(s.sum(), soft ? 30.0 : 36.0) << (soft ? "soft" : "hard");
  }
}

// One type that may serve every node; every agent leaves node 0 and comes back.
RouteRules DepotZeroRules(const SparseGraph& graph, size_t nodes, const std::vector<AgentEntry>& agents) {
  std::vector<Point> points(nodes);
  for (Point& p : points) p.types = {0};
  RouteRules rules;
  rules.SetPoints(points);
  rules.SetAgents(agents);
  rules.SetStarts(std::vector<int32_t>(agents.size(), 0));
  rules.SetEnds(std::vector<int32_t>(agents.size(), 0));
  rules.SetReturnToEnd(true);
  rules.TakeCostTable(DenseCostTable(graph));
  return rules;
}

// Where arcs are missing, a target may be reachable only behind another: here
// neither target has a route of its own (1 -> 0 and 0 -> 2 are missing), so
// one-by-one insertion leaves both out and only the two as a chain fit.
TEST(Construction, TargetsReachableOnlyInTurnGoInTogether) {
  SparseGraph graph;
  for (int32_t v = 0; v < 3; ++v) graph.AddVertex(v);
  graph.ChangeCostDim(1, 9999.0);
  graph.AddArc(0, 1, CostVector(1, 1.0));
  graph.AddArc(1, 2, CostVector(1, 5.0));
  graph.AddArc(2, 0, CostVector(1, 6.0));
  const RouteRules rules = DepotZeroRules(graph, 3, std::vector<AgentEntry>(2));
  const LocalModel model(rules, TimeWindowMap{});
  for (bool min_max : {false, true}) {
    LsSolution s(model);
    LsObjective objective;
    objective.min_max = min_max;
    RegretInsertion(s, objective);
    ASSERT_EQ(s.required_missing(), 2);
    InsertChains(s, objective);
    EXPECT_EQ(s.required_missing(), 0);
    EXPECT_TRUE(s.feasible());
    EXPECT_EQ(s.sum(), 12.0);
  }
}

// The same where the partner is on another agent's route: target 2 is for type
// b alone, which reaches it only behind target 1, served cheaper by type a.
TEST(Construction, APartnerIsTakenOffAnotherRoute) {
  SparseGraph graph;
  for (int32_t v = 0; v < 3; ++v) graph.AddVertex(v);
  graph.ChangeCostDim(2, 9999.0);
  graph.AddArc(0, 1, CostVector{1.0, 2.0});
  graph.AddArc(1, 0, CostVector{1.0, 2.0});
  graph.AddArc(1, 2, CostVector{9999.0, 2.0});
  graph.AddArc(2, 0, CostVector{9999.0, 2.0});
  std::vector<Point> points(3);
  points[0].types = points[1].types = {0, 1};
  points[2].types = {1};
  std::vector<AgentEntry> agents(2);
  agents[1].type = 1;
  RouteRules rules;
  rules.SetPoints(points);
  rules.SetAgents(agents);
  rules.SetStarts({0, 0});
  rules.SetEnds({0, 0});
  rules.SetReturnToEnd(true);
  rules.TakeCostTable(DenseCostTable(graph));
  const LocalModel model(rules, TimeWindowMap{});
  LsSolution s(model);
  const LsObjective objective;
  RegretInsertion(s, objective);
  ASSERT_EQ(s.route(0).path, (std::vector<int32_t>{0, 1, 0}));
  ASSERT_EQ(s.required_missing(), 1);
  InsertChains(s, objective);
  EXPECT_EQ(s.required_missing(), 0);
  EXPECT_TRUE(s.feasible());
  EXPECT_EQ(s.route(1).path, (std::vector<int32_t>{0, 1, 2, 0}));
}

// An arc that runs the clock back: 0 1 2 0 finishes at 4, within the limit of
// 18, but reaches 2 at 19. The phase's segments judge the limit by the finish,
// the rules all along; its best (and every plan it reports) is one the rules keep.
TEST(Improver, BestKeepsTheLimitAllAlongWhereArcsRunTheClockBack) {
  SparseGraph graph;
  for (int32_t v = 0; v < 3; ++v) graph.AddVertex(v);
  graph.ChangeCostDim(1, 9999.0);
  const double arcs[3][3] = {{0, 5, 17}, {5, 0, 14}, {-15, 14, 0}};
  for (int32_t u = 0; u < 3; ++u) {
    for (int32_t v = 0; v < 3; ++v) {
      if (u != v) graph.AddArc(u, v, CostVector(1, arcs[u][v]));
    }
  }
  std::vector<AgentEntry> agents(2);
  for (AgentEntry& agent : agents) agent.time_limit = 18.0;
  const RouteRules rules = DepotZeroRules(graph, 3, agents);
  const LocalModel model(rules, TimeWindowMap{});
  ASSERT_TRUE(model.has_negative_arcs());
  ImproveSettings settings;
  settings.seed = 1;
  Improver improver(model, settings);
  StopCheck stop;
  stop.SetIterationBudget(30);
  const bool found = improver.Run({}, stop, [&](const LsSolution& best) { ExpectRoutesMatchRules(best, rules); });
  if (found) ExpectRoutesMatchRules(improver.best(), rules);
}

Problem RandomGridProblem(uint64_t seed, int32_t agents, bool windows, bool limits) {
  Rng rng(seed);
  std::vector<std::pair<int, int>> coords;
  const int32_t n = 10 + static_cast<int32_t>(rng.Below(4));
  for (int32_t v = 0; v < n; ++v) coords.emplace_back(rng.Below(20), rng.Below(20));
  std::vector<AgentSpec> fleet;
  for (int32_t a = 0; a < agents; ++a) {
    AgentSpec agent;
    agent.id = static_cast<uint64_t>(a);
    agent.start = static_cast<uint64_t>(a % 2);
    agent.end = static_cast<uint64_t>(a % 2);
    agent.time_limit = limits && a == 0 ? 120.0 : 0.0;
    fleet.push_back(agent);
  }
  Problem problem = GridProblem(coords, fleet);
  if (windows) {
    TimeWindowConstraint tw;
    for (int32_t v = 3; v < n; v += 4) tw.set_timewindow(static_cast<uint64_t>(v), 5.0, 200.0);
    problem.set_timewindow_constraint(tw);
  }
  return problem;
}

struct SolveCase {
  ObjectiveType objective;
  bool return_to_end;
  bool windows;
  bool limits;
  bool services = false;  // 0..3 on every target
  Minimise minimise = Minimise::Duration;
  int32_t threads = 1;
};

// With "improve" on, a budgeted solve is a pure function of its seed (the
// operators' counts too), and every answer keeps every rule; anytime entries
// only ever get better.
TEST(ImprovePhase, DeterministicAndValidUnderABudget) {
  const SolveCase cases[] = {{ObjectiveType::MinSum, true, false, false},
                             {ObjectiveType::MinMax, true, true, false},
                             {ObjectiveType::MinMax, false, false, true},
                             {ObjectiveType::MinSum, false, true, true},
                             {ObjectiveType::MinMax, false, true, true, true},
                             {ObjectiveType::MinSum, true, true, false, true, Minimise::Distance},
                             {ObjectiveType::MinSum, false, true, true, true, Minimise::Duration, 2}};
  for (const SolveCase& c : cases) {
    for (uint64_t seed = 1; seed <= 3; ++seed) {
      Options options = MakeOptions(c.objective, c.return_to_end, 1e6);
      options.improve = true;
      options.seed = seed;
      options.max_iterations = 150;
      options.max_expansions = 3000;
      options.minimise = c.minimise;
      options.threads = c.threads;
      std::vector<Result> results;
      std::vector<std::vector<double>> anytime_costs;
      std::vector<std::vector<uint64_t>> counts;
      for (int run = 0; run < 2; ++run) {
        Problem problem = RandomGridProblem(seed, 3, c.windows, c.limits);
        if (c.services) problem = Served(problem, {0, 0, 1, 2, 3, 0, 1, 2, 3, 0, 1, 2, 3});
        Solver solver(problem, options);
        Output out = Capture([&] { solver.solve(); });
        ASSERT_FALSE(out.error);
        results.push_back(solver.get_result());
        std::vector<double> costs;
        for (const AnytimeEntry& entry : solver.get_result_process()) {
          costs.push_back(c.objective == ObjectiveType::MinSum ? SumOf(entry.second) : MaxOf(entry.second));
        }
        anytime_costs.push_back(costs);
        EXPECT_EQ(Violations(problem, options, results.back()), "");
        counts.emplace_back();
        for (const OperatorCount& count : solver.operator_counts()) {
          EXPECT_LE(count.applied, count.evaluated) << count.name;
          counts.back().insert(counts.back().end(), {count.evaluated, count.applied});
        }
        EXPECT_EQ(counts.back().size(), 12u);
      }
      EXPECT_EQ(counts[0], counts[1]);
      EXPECT_EQ(results[0].paths, results[1].paths);
      EXPECT_EQ(results[0].times, results[1].times);
      EXPECT_EQ(anytime_costs[0], anytime_costs[1]);
      for (size_t i = 1; i < anytime_costs[0].size(); ++i) {
        EXPECT_LE(anytime_costs[0][i], anytime_costs[0][i - 1] + 1e-9);
      }
    }
  }
}

// Mostly negative arcs on open routes: a descent once took a move priced as a gain
// that raised the routes' cost, and its reverse, for ever, and with no time limit
// (`pyzel solve --budget 50`) the solve never returned.
TEST(ImprovePhase, BudgetsHoldOnNegativeArcs) {
  const std::vector<AgentSpec> fleet = {{0, "a", 0, 1}, {1, "a", 1, 0}, {2, "a", 2, 2}};
  Problem problem = GridProblem(std::vector<std::pair<int, int>>(10), fleet);
  problem.set_cost_matrix(
      "a", {{0, 17, -18, -14, 7, -19, 12, -6, -20, -19}, {19, 0, -12, 13, 14, 16, 20, 15, 12, -14},
            {13, 20, 0, -3, -18, -10, 18, 8, 10, -14}, {-19, 6, -7, 0, 8, -6, -5, -12, -14, -8},
            {1, 6, 6, -3, 0, 14, -11, 17, -16, -6}, {-20, 10, -14, -10, -8, 0, 7, 19, 3, -18},
            {-15, 1, -12, -6, 13, 1, 0, -1, 20, 14}, {-6, -13, 7, -12, -15, 14, -11, 0, 8, -20},
            {2, -19, 6, -4, -8, -2, 11, 12, 0, -2}, {3, -18, 16, 7, -1, 8, -5, 15, -17, 0}});
  Options options = MakeOptions(ObjectiveType::MinSum, false, std::numeric_limits<double>::infinity());
  options.improve = true;
  options.max_iterations = options.max_expansions = 50;
  Solver solver(problem, options);
  int32_t found = 0;
  ASSERT_FALSE(Capture([&] { found = solver.solve(); }).error);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(Violations(problem, options, solver.get_result()), "");
}

// With no expansions at all the search finds nothing, and the phase builds the
// first solution itself.
TEST(ImprovePhase, BuildsItsOwnSolutionWhenTheSearchHasNone) {
  Options options = MakeOptions(ObjectiveType::MinMax, true, 1e6);
  options.improve = true;
  options.max_iterations = 50;
  options.max_expansions = 1;
  const Problem problem = RandomGridProblem(11, 2, true, false);
  Solver solver(problem, options);
  int32_t found = 0;
  Output out = Capture([&] { found = solver.solve(); });
  ASSERT_FALSE(out.error);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(Violations(problem, options, solver.get_result()), "");
}

}  // namespace
}  // namespace quarn::test
