#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <tuple>
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
  EXPECT_TRUE(frontier.Dominates(MakeLabel(5, {5, 1}, {0, 1})));  // equal labels
  EXPECT_TRUE(frontier.Dominates(MakeLabel(6, {5, 2}, {0})));
  EXPECT_FALSE(frontier.Dominates(MakeLabel(4, {4, 1}, {0, 1})));  // smaller g
  EXPECT_FALSE(frontier.Dominates(MakeLabel(5, {5, 0.5}, {0})));  // one agent cheaper
  EXPECT_FALSE(frontier.Dominates(MakeLabel(9, {9, 9}, {0, 1, 2})));  // a node more
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

TEST(LabelStore, ReadsBackEveryFieldAcrossChunks) {
  LabelStore store;
  store.Reset(3, 130);  // three visited words differ between labels, the fourth never
  auto make = [](int32_t id) {
    Label label = PoolLabel(3, 130, {id % 130, 129});
    label.id = id;
    label.positions = {id % 256, 255 - id % 256, 7};
    label.costs = {id * 0.5, -1.25, std::numeric_limits<double>::infinity()};
    label.finished = {0, static_cast<uint8_t>(id % 2), 1};
    label.remaining = 2 - id % 2;
    label.f = id + 0.25;
    label.g = -id;
    label.h = 1e300;
    label.last_agent = id % 3;
    return label;
  };
  const auto count = static_cast<int32_t>(store.chunk_records() * 2 + 5);
  for (int32_t id = 0; id < count; ++id) {
    store.Reserve(id);
    store.Write(id, make(id), id - 1);
  }
  EXPECT_EQ(store.size(), static_cast<size_t>(count));
  Label out = PoolLabel(1, 8);
  for (int32_t id : {0, count / 2, count - 1}) {
    store.Read(id, out);
    const Label want = make(id);
    EXPECT_EQ(std::tie(out.id, out.positions, out.costs, out.finished, out.remaining, out.f, out.g,
                       out.h, out.last_agent, out.visited.words, out.visited.size),
              std::tie(want.id, want.positions, want.costs, want.finished, want.remaining, want.f,
                       want.g, want.h, want.last_agent, want.visited.words, want.visited.size));
    EXPECT_EQ(std::make_tuple(store.parent(id), store.last_agent(id), store.position(id, 1),
                              store.cost(id, 0)),
              std::make_tuple(id - 1, id % 3, 255 - id % 256, id * 0.5));
  }
}

// Whatever a record cannot hold faithfully is refused, never truncated.
TEST(LabelStore, RefusesWhatItCannotHoldFaithfully) {
  LabelStore store;
  store.Reset(2, 8);
  EXPECT_THROW(store.Reserve(1), std::invalid_argument);  // ids come in turn
  store.Reserve(0);
  const Label good = PoolLabel(2, 8);
  store.Write(0, good, -1);
  const std::vector<void (*)(Label&)> spoils = {
      [](Label& l) { l.costs.push_back(0.0); },      // another agent count
      [](Label& l) { l.visited = VisitedSet(9); },   // another visited size
      [](Label& l) { l.positions[0] = 256; },        // position above a byte
      [](Label& l) { l.positions[1] = -1; },
      [](Label& l) { l.remaining = 1; },             // out of step with the flags
      [](Label& l) { l.last_agent = 256; },          // moving agent above a byte
  };
  for (size_t k = 0; k < spoils.size(); ++k) {
    Label bad = good;
    spoils[k](bad);
    EXPECT_THROW(store.Write(0, bad, -1), std::invalid_argument) << k;
  }
  EXPECT_THROW(store.Write(1, good, -1), std::invalid_argument) << "id not reserved";
}

TEST(PositionIndex, NumbersJointPositionsInOrderOfFirstSight) {
  PositionIndex index;
  index.Reset(3);
  EXPECT_EQ(index.Find({1, 2, 3}), -1);
  EXPECT_EQ(index.FindOrAdd({1, 2, 3}), 0);
  EXPECT_EQ(index.FindOrAdd({3, 2, 1}), 1);
  // Enough positions to grow the table several times; every one keeps its number.
  for (int32_t k = 0; k < 3000; ++k) EXPECT_EQ(index.FindOrAdd({k, -k, k % 7}), k + 2);
  for (int32_t k = 0; k < 3000; ++k) ASSERT_EQ(index.Find({k, -k, k % 7}), k + 2);
  EXPECT_EQ(index.FindOrAdd({1, 2, 3}), 0);
  EXPECT_EQ(index.PositionsOf(1), (std::vector<int32_t>{3, 2, 1}));
  EXPECT_EQ(index.size(), 3002u);
  EXPECT_THROW(index.Find({1, 2}), std::invalid_argument);
}

class SolverLists : public ::testing::Test {
 protected:
  SolverLists() : solver(GridProblem({{0, 0}, {1, 0}}, {AgentSpec{}}), Options{}) {
    solver.ResetSearch();
    solver.labels_.Reset(1, 4);
  }

  // A label of the pool with the given f, in the open list and, if asked, in focal.
  int32_t Add(double f, bool in_focal, std::vector<int32_t> visited = {}) {
    const int32_t id = solver.NewLabelId();
    Label label = PoolLabel(1, 4, visited);
    label.id = id;
    label.f = f;
    solver.labels_.Write(id, label, -1);
    solver.open_.insert(OpenEntry{f, id});
    if (in_focal) {
      solver.focal_.insert(FocalEntry{id, solver.CountVisited(label), 1, f, solver.SumCost(label)});
    }
    return id;
  }

  std::vector<int32_t> FocalIds() const {
    std::vector<int32_t> ids;
    for (const FocalEntry& entry : solver.focal_) ids.push_back(entry.id);
    return ids;
  }

  SolverProbe solver;
};

TEST_F(SolverLists, FocalListDropsAnEntryEquivalentUnderTheComparator) {
  solver.focal_.insert(FocalEntry{1, 3, 1, 10.0, 4.0});
  solver.focal_.insert(FocalEntry{2, 3, 1, 10.0, 4.0});
  solver.focal_.insert(FocalEntry{3, 4, 1, 12.0, 9.0});
  EXPECT_EQ(FocalIds(), (std::vector<int32_t>{3, 1}));
}

TEST_F(SolverLists, FocalFollowsTheBoundUpAndDown) {
  const int32_t f9 = Add(9.0, true);
  const int32_t f10 = Add(10.0, true);
  const int32_t f11 = Add(11.0, false, {0, 1});
  const int32_t f12 = Add(12.0, false, {0});
  Add(13.0, false);
  solver.focal_bound_ = 10.0;
  solver.UpdateFocal(10.0, 12.0);  // adds the open entries in the new band
  EXPECT_EQ(solver.focal_bound_, 12.0);
  EXPECT_EQ(FocalIds(), (std::vector<int32_t>{f11, f12, f9, f10}));
  const FocalEntry& added = *solver.focal_.begin();
  EXPECT_EQ(std::make_tuple(added.visited_count, added.remaining, added.cost_sum),
            std::make_tuple(2, 1, 0.0));
  solver.UpdateFocal(12.0, 10.0);  // removes the focal entries above it
  EXPECT_EQ(solver.focal_bound_, 10.0);
  EXPECT_EQ(FocalIds(), (std::vector<int32_t>{f9, f10}));
  EXPECT_EQ(solver.open_.size(), 5u);
}

TEST_F(SolverLists, IncumbentPrunesFocalStrictlyAndOpenWithSlack) {
  const int32_t keep = Add(19.0, true);
  const int32_t slack = Add(20.1, true);
  Add(20.3, false);
  solver.PruneByIncumbent(20.0);
  EXPECT_EQ(solver.incumbent_, 20.0);
  EXPECT_EQ(FocalIds(), (std::vector<int32_t>{keep}));
  std::vector<int32_t> open;
  for (const OpenEntry& entry : solver.open_.Sorted()) open.push_back(entry.id);
  EXPECT_EQ(open, (std::vector<int32_t>{keep, slack}));
}

TEST_F(SolverLists, FrontierPerJointPositionCreatedOnFirstSight) {
  Label label = MakeLabel(4, {4}, {0});
  label.positions = {1};
  EXPECT_FALSE(solver.IsDominated(label));
  ASSERT_EQ(solver.frontiers_.size(), 1u);
  EXPECT_EQ(solver.frontier_index_.Find({1}), 0);
  EXPECT_EQ(solver.frontiers_[0]->size(), 0u);
  solver.AddToFrontier(label);
  EXPECT_EQ(solver.frontiers_[0]->size(), 1u);
  EXPECT_TRUE(solver.IsDominated(label));
  Label elsewhere = label;
  elsewhere.positions = {0};
  EXPECT_FALSE(solver.IsDominated(elsewhere));
  EXPECT_EQ(solver.frontier_index_.Find({0}), 1);
  EXPECT_EQ(solver.frontier_count_, 2);
}

TEST(SolverLabels, ExtractSolutionFollowsParentsFromTheStarts) {
  SolverProbe solver(GridProblem({{0, 0}, {1, 0}, {2, 0}, {3, 0}}, {{0, "a", 0, 0}, {1, "a", 1, 1}}),
                     Options{});
  // (moving agent, positions, costs) of a chain of labels, each the parent of the next.
  const std::vector<std::tuple<int32_t, std::vector<int32_t>, std::vector<double>>> chain = {
      {0, {0, 1}, {0, 0}}, {0, {2, 1}, {2, 0}}, {1, {2, 3}, {2, 2}}, {0, {0, 3}, {5, 2}}};
  solver.labels_.Reset(2, 4);
  for (const auto& [agent, positions, costs] : chain) {
    const int32_t id = solver.NewLabelId();
    Label label = PoolLabel(2, 4);
    label.last_agent = agent;
    label.positions = positions;
    label.costs = costs;
    solver.labels_.Write(id, label, id - 1);
  }
  solver.ExtractSolution(3);
  EXPECT_EQ(solver.result_.paths, (std::unordered_map<int32_t, std::vector<int32_t>>{
                                      {0, {0, 2, 0}}, {1, {1, 3}}}));
  EXPECT_EQ(solver.result_.times, (std::unordered_map<int32_t, double>{{0, 5.0}, {1, 2.0}}));
  solver.ExtractSolution(0);  // the root alone: every agent at its start
  EXPECT_EQ(solver.result_.paths, (std::unordered_map<int32_t, std::vector<int32_t>>{
                                      {0, {0}}, {1, {1}}}));
  EXPECT_EQ(solver.result_.times.at(0), 0.0);
}

}  // namespace
}  // namespace quarn::test
