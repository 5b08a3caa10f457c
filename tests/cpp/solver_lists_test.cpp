#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "solver/frontier.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

Label MakeLabel(double g, std::vector<double> costs, std::vector<int32_t> visited,
                int32_t size = 8) {
  Label label;
  label.g = g;
  label.costs = std::move(costs);
  label.visited = VisitedSet(size);
  for (int32_t node : visited) label.visited.set(node);
  return label;
}

TEST(Frontier, DominanceNeedsNoWorseGCostsAndAVisitedSuperset) {
  Frontier frontier;
  EXPECT_FALSE(frontier.Dominates(MakeLabel(5, {5, 1}, {0})));
  frontier.Insert(MakeLabel(5, {5, 1}, {0, 1}));
  struct Case {
    Label label;
    bool dominated;
  };
  const std::vector<Case> cases = {
      {MakeLabel(5, {5, 1}, {0, 1}), true},   // equal labels dominate each other
      {MakeLabel(6, {5, 2}, {0}), true},      // worse everywhere
      {MakeLabel(4, {4, 1}, {0, 1}), false},  // smaller g
      {MakeLabel(5, {5, 0.5}, {0}), false},   // one agent cheaper
      {MakeLabel(9, {9, 9}, {0, 1, 2}), false},  // visited a node the stored label has not
  };
  for (const Case& c : cases) EXPECT_EQ(frontier.Dominates(c.label), c.dominated);
}

TEST(Frontier, InsertRemovesWhatTheNewLabelDominates) {
  Frontier frontier;
  frontier.Insert(MakeLabel(5, {5}, {0}));
  frontier.Insert(MakeLabel(3, {3}, {1}));
  frontier.Insert(MakeLabel(7, {7}, {0, 1}));
  frontier.Insert(MakeLabel(2, {2}, {2}));
  frontier.Insert(MakeLabel(9, {9}, {}));
  ASSERT_EQ(frontier.size(), 5u);
  // Dominates the labels of g 5 and 9 only: 7 covers more, 3 and 2 are cheaper.
  EXPECT_EQ(frontier.Insert(MakeLabel(4, {4}, {0})), 2);
  std::vector<double> kept = frontier.g_values();
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kept, (std::vector<double>{2, 3, 4, 7}));
  EXPECT_THROW(frontier.Insert(MakeLabel(1, {1, 1}, {})), std::invalid_argument);
}

// The packed frontier against a plain list of labels and LabelDominates, over
// random labels with many ties and the odd NaN: the answers must be the same.
TEST(Frontier, AnswersAsAPlainListOfLabelsWould) {
  uint32_t state = 7;
  auto next = [&state](uint32_t range) {
    state = state * 1664525u + 1013904223u;
    return (state >> 8) % range;
  };
  size_t largest = 0;
  for (int round = 0; round < 40; ++round) {
    Frontier frontier(1);
    std::vector<Label> plain;
    // Small rounds keep many ties; long ones grow past the unsorted labels' limit.
    const int32_t nodes = round % 2 == 0 ? 6 : 12;
    const uint32_t costs = round % 2 == 0 ? 5 : 40;
    for (int step = 0; step < (round % 2 == 0 ? 60 : 400); ++step) {
      std::vector<int32_t> visited;
      for (int32_t node = 0; node < nodes; ++node) {
        if (next(2) == 0) visited.push_back(node);
      }
      const double a = next(costs);
      const double b = next(costs);
      Label label = MakeLabel(std::max(a, b), {a, b}, visited, nodes);
      if (round % 4 == 3 && next(10) == 0) label.g = std::nan("");
      bool expected = false;
      for (const Label& stored : plain) expected = expected || LabelDominates(stored, label);
      ASSERT_EQ(frontier.Dominates(label), expected) << "round " << round << " step " << step;
      if (expected || next(3) == 0) continue;
      const auto before = plain.size();
      plain.erase(std::remove_if(plain.begin(), plain.end(),
                                 [&](const Label& stored) { return LabelDominates(label, stored); }),
                  plain.end());
      plain.push_back(label);
      ASSERT_EQ(frontier.Insert(label), static_cast<int32_t>(before + 1 - plain.size()));
      ASSERT_EQ(frontier.size(), plain.size());
      largest = std::max(largest, plain.size());
    }
  }
  EXPECT_GT(largest, 100u) << "the frontier should have merged its unsorted labels";
}

// A label of `agents` unfinished agents, all at node 0, shaped for a pool of that many.
Label PoolLabel(size_t agents, int32_t nodes, std::vector<int32_t> visited = {}) {
  Label label = MakeLabel(0, std::vector<double>(agents, 0.0), visited, nodes);
  label.positions.assign(agents, 0);
  label.finished.assign(agents, 0);
  label.remaining = static_cast<int32_t>(agents);
  return label;
}

class SolverLists : public ::testing::Test {
 protected:
  SolverLists() : solver(GridProblem({{0, 0}, {1, 0}}, {{0, "a", 0, 0}}), Options{}) {
    solver.ResetSearch();
    solver.labels_.Reset(1, 4);
  }

  // A label of the pool with the given f, in the open list.
  int32_t AddOpen(double f, std::vector<int32_t> visited = {}) {
    const int32_t id = solver.NewLabelId();
    Label label = PoolLabel(1, 4, visited);
    label.id = id;
    label.f = f;
    solver.labels_.Write(id, label, -1);
    solver.open_.insert(OpenEntry{f, id});
    return id;
  }

  void AddFocal(int32_t id) {
    Label label;
    solver.labels_.Read(id, label);
    solver.focal_.insert(FocalEntry{id, solver.CountVisited(label), label.remaining, label.f,
                                    solver.SumCost(label)});
  }

  std::vector<int32_t> FocalIds() const {
    std::vector<int32_t> ids;
    for (const FocalEntry& entry : solver.focal_) ids.push_back(entry.id);
    return ids;
  }

  std::vector<int32_t> OpenIds() const {
    std::vector<int32_t> ids;
    for (const OpenEntry& entry : solver.open_.Sorted()) ids.push_back(entry.id);
    return ids;
  }

  SolverProbe solver;
};

TEST_F(SolverLists, OpenListOrdersByFThenId) {
  solver.open_.insert(OpenEntry{5.0, 7});
  solver.open_.insert(OpenEntry{5.0, 3});
  solver.open_.insert(OpenEntry{4.5, 9});
  EXPECT_EQ(OpenIds(), (std::vector<int32_t>{9, 3, 7}));
}

TEST_F(SolverLists, FocalListDropsAnEntryEquivalentUnderTheComparator) {
  solver.focal_.insert(FocalEntry{1, 3, 1, 10.0, 4.0});
  solver.focal_.insert(FocalEntry{2, 3, 1, 10.0, 4.0});
  solver.focal_.insert(FocalEntry{3, 4, 1, 12.0, 9.0});
  EXPECT_EQ(FocalIds(), (std::vector<int32_t>{3, 1}));
}

TEST_F(SolverLists, RisingBoundAddsOpenEntriesInTheNewBand) {
  const int32_t f9 = AddOpen(9.0);
  const int32_t f10 = AddOpen(10.0);
  const int32_t f11 = AddOpen(11.0, {0, 1});
  const int32_t f12 = AddOpen(12.0, {0});
  AddOpen(13.0);
  AddFocal(f9);
  AddFocal(f10);
  solver.focal_bound_ = 10.0;

  solver.UpdateFocal(10.0, 12.0);
  EXPECT_EQ(solver.focal_bound_, 12.0);
  EXPECT_EQ(FocalIds(), (std::vector<int32_t>{f11, f12, f9, f10}));
  const FocalEntry& added = *solver.focal_.begin();
  EXPECT_EQ(added.visited_count, 2);
  EXPECT_EQ(added.remaining, 1);
  EXPECT_EQ(added.cost_sum, 0.0);
}

TEST_F(SolverLists, FallingBoundRemovesFocalEntriesAboveIt) {
  const int32_t a = AddOpen(10.0);
  const int32_t b = AddOpen(10.5);
  const int32_t c = AddOpen(9.5);
  AddFocal(a);
  AddFocal(b);
  AddFocal(c);
  solver.UpdateFocal(12.0, 10.0);
  EXPECT_EQ(solver.focal_bound_, 10.0);
  EXPECT_EQ(FocalIds(), (std::vector<int32_t>{c, a}));
  EXPECT_EQ(solver.open_.size(), 3u);
}

TEST_F(SolverLists, IncumbentPrunesFocalStrictlyAndOpenWithSlack) {
  const int32_t keep = AddOpen(19.0);
  const int32_t slack = AddOpen(20.1);
  AddOpen(20.3);
  AddFocal(keep);
  AddFocal(slack);
  solver.PruneByIncumbent(20.0);
  EXPECT_EQ(solver.incumbent_, 20.0);
  EXPECT_EQ(FocalIds(), (std::vector<int32_t>{keep}));
  EXPECT_EQ(OpenIds(), (std::vector<int32_t>{keep, slack}));
}

TEST(LabelStore, ReadsBackEveryFieldAcrossChunks) {
  LabelStore store;
  store.Reset(3, 130);  // three visited words differ between labels, the fourth never
  const auto count = static_cast<int32_t>(store.chunk_records() * 2 + 5);
  for (int32_t id = 0; id < count; ++id) {
    store.Reserve(id);
    Label label = PoolLabel(3, 130, {id % 130, 129});
    label.positions = {id % 256, 255 - id % 256, 7};
    label.costs = {id * 0.5, -1.25, std::numeric_limits<double>::infinity()};
    label.finished = {0, static_cast<uint8_t>(id % 2), 1};
    label.remaining = 2 - id % 2;
    label.f = id + 0.25;
    label.g = -id;
    label.h = 1e300;
    label.last_agent = id % 3;
    store.Write(id, label, id - 1);
  }
  Label out = PoolLabel(1, 8);
  for (int32_t id : {0, count / 2, count - 1}) {
    store.Read(id, out);
    Label expected = PoolLabel(3, 130, {id % 130, 129});
    EXPECT_EQ(out.id, id);
    EXPECT_EQ(out.positions, (std::vector<int32_t>{id % 256, 255 - id % 256, 7}));
    EXPECT_EQ(out.costs, (std::vector<double>{id * 0.5, -1.25, std::numeric_limits<double>::infinity()}));
    EXPECT_EQ(out.finished, (std::vector<uint8_t>{0, static_cast<uint8_t>(id % 2), 1}));
    EXPECT_EQ(out.remaining, 2 - id % 2);
    EXPECT_EQ(out.visited.words, expected.visited.words);
    EXPECT_EQ(out.visited.size, 130);
    EXPECT_EQ(out.f, id + 0.25);
    EXPECT_EQ(out.g, -id);
    EXPECT_EQ(out.h, 1e300);
    EXPECT_EQ(out.last_agent, id % 3);
    EXPECT_EQ(store.parent(id), id - 1);
    EXPECT_EQ(store.last_agent(id), id % 3);
    EXPECT_EQ(store.position(id, 1), 255 - id % 256);
    EXPECT_EQ(store.cost(id, 0), id * 0.5);
  }
  EXPECT_EQ(store.size(), static_cast<size_t>(count));
  EXPECT_GE(store.bytes(), store.size() * store.record_bytes());
}

TEST(LabelStore, RefusesWhatItCannotHoldFaithfully) {
  LabelStore store;
  store.Reset(2, 8);
  EXPECT_THROW(store.Reserve(1), std::invalid_argument);  // ids come in turn
  store.Reserve(0);
  Label good = PoolLabel(2, 8);
  store.Write(0, good, -1);
  struct Case {
    const char* what;
    void (*spoil)(Label&);
  };
  const std::vector<Case> cases = {
      {"agents", [](Label& l) { l.costs.push_back(0.0); }},
      {"visited size", [](Label& l) { l.visited = VisitedSet(9); }},
      {"position above a byte", [](Label& l) { l.positions[0] = 256; }},
      {"negative position", [](Label& l) { l.positions[1] = -1; }},
      {"remaining out of step with the flags", [](Label& l) { l.remaining = 1; }},
      {"moving agent above a byte", [](Label& l) { l.last_agent = 256; }},
  };
  for (const Case& c : cases) {
    Label bad = good;
    c.spoil(bad);
    EXPECT_THROW(store.Write(0, bad, -1), std::invalid_argument) << c.what;
  }
  EXPECT_THROW(store.Write(1, good, -1), std::invalid_argument) << "id not reserved";
}

TEST(PositionIndex, NumbersJointPositionsInOrderOfFirstSight) {
  PositionIndex index;
  index.Reset(3);
  EXPECT_EQ(index.Find({1, 2, 3}), -1);
  EXPECT_EQ(index.FindOrAdd({1, 2, 3}), 0);
  EXPECT_EQ(index.FindOrAdd({3, 2, 1}), 1);
  EXPECT_EQ(index.FindOrAdd({1, 2, 3}), 0);
  // Enough positions to grow the table several times; every one keeps its number.
  for (int32_t k = 0; k < 3000; ++k) EXPECT_EQ(index.FindOrAdd({k, -k, k % 7}), k + 2);
  for (int32_t k = 0; k < 3000; ++k) ASSERT_EQ(index.Find({k, -k, k % 7}), k + 2);
  EXPECT_EQ(index.Find({3, 2, 1}), 1);
  EXPECT_EQ(index.PositionsOf(1), (std::vector<int32_t>{3, 2, 1}));
  EXPECT_EQ(index.size(), 3002u);
  EXPECT_THROW(index.Find({1, 2}), std::invalid_argument);
}

TEST_F(SolverLists, FrontierPerJointPositionCreatedOnFirstSight) {
  Label label = MakeLabel(4, {4}, {0});
  label.positions = {1};
  EXPECT_FALSE(solver.IsDominated(label));
  EXPECT_EQ(solver.frontier_count_, 1);
  ASSERT_EQ(solver.frontiers_.size(), 1u);
  EXPECT_EQ(solver.frontier_index_.Find({1}), 0);
  EXPECT_EQ(solver.frontiers_[0]->size(), 0u);

  solver.AddToFrontier(label);
  EXPECT_EQ(solver.frontiers_[0]->size(), 1u);
  EXPECT_TRUE(solver.IsDominated(label));
  Label cheaper = MakeLabel(3, {3}, {0});
  cheaper.positions = {1};
  EXPECT_FALSE(solver.IsDominated(cheaper));

  Label elsewhere = label;
  elsewhere.positions = {0};
  EXPECT_FALSE(solver.IsDominated(elsewhere));
  EXPECT_EQ(solver.frontier_index_.Find({0}), 1);
  EXPECT_EQ(solver.frontier_count_, 2);
}

TEST(SolverLabels, ExtractSolutionFollowsParentsFromTheStarts) {
  SolverProbe solver(GridProblem({{0, 0}, {1, 0}, {2, 0}, {3, 0}}, {{0, "a", 0, 0}, {1, "a", 1, 1}}),
                     Options{});
  struct Step {
    int32_t last_agent;
    std::vector<int32_t> positions;
    std::vector<double> costs;
  };
  const std::vector<Step> steps = {
      {0, {0, 1}, {0, 0}}, {0, {2, 1}, {2, 0}}, {1, {2, 3}, {2, 2}}, {0, {0, 3}, {5, 2}}};
  solver.labels_.Reset(2, 4);
  for (size_t k = 0; k < steps.size(); ++k) {
    const int32_t id = solver.NewLabelId();
    Label label = PoolLabel(2, 4);
    label.last_agent = steps[k].last_agent;
    label.positions = steps[k].positions;
    label.costs = steps[k].costs;
    solver.labels_.Write(id, label, id - 1);
  }

  solver.ExtractSolution(3);
  EXPECT_EQ(solver.result_.paths.at(0), (std::vector<int32_t>{0, 2, 0}));
  EXPECT_EQ(solver.result_.paths.at(1), (std::vector<int32_t>{1, 3}));
  EXPECT_EQ(solver.result_.times.at(0), 5.0);
  EXPECT_EQ(solver.result_.times.at(1), 2.0);

  solver.ExtractSolution(0);  // the root alone: every agent at its start
  EXPECT_EQ(solver.result_.paths.at(0), (std::vector<int32_t>{0}));
  EXPECT_EQ(solver.result_.paths.at(1), (std::vector<int32_t>{1}));
  EXPECT_EQ(solver.result_.times.at(0), 0.0);
}

TEST(SolverLabels, InstanceStatsFilledOnlyOnceASolutionExists) {
  SolverProbe solver(GridProblem({{0, 0}, {1, 0}, {2, 0}},
                                 {{0, "a", 0, 0}, {1, "b", 0, 0}, {2, "a", 0, 0}},
                                 {{1, {"a"}}}),
                     Options{});
  solver.result_.times = {{0, 3.0}, {1, 4.0}, {2, 5.0}};
  solver.ComputeInstanceStats();
  InstanceStats before = solver.GetBounds();
  EXPECT_EQ(before.solution_found, 0);
  EXPECT_EQ(before.num_points, -1);
  EXPECT_EQ(before.cost_sum, -1.0);

  solver.found_ = 1;
  solver.max_path_length_ = 5.0;
  solver.last_update_time_ = 1.5;
  solver.ComputeInstanceStats();
  InstanceStats stats = solver.GetBounds();
  EXPECT_EQ(stats.solution_found, 1);
  EXPECT_EQ(stats.num_points, 3);
  EXPECT_EQ(stats.num_agents, 3);
  EXPECT_EQ(stats.type0_agents, 2);
  EXPECT_EQ(stats.type1_agents, 1);
  EXPECT_EQ(stats.points_open_to_types_0_and_1, 2);
  EXPECT_EQ(stats.points_open_to_type_0_only, 1);
  EXPECT_EQ(stats.cost_sum, 12.0);
  EXPECT_EQ(stats.max_cost, 5.0);
  EXPECT_EQ(stats.last_update_time, 1.5);
  EXPECT_EQ(stats.bound_ratio, -1.0);
}

}  // namespace
}  // namespace quarn::test
