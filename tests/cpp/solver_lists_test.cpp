#include <gtest/gtest.h>

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
  ASSERT_EQ(frontier.labels.size(), 5u);
  // Dominates the labels of g 5 and 9 only: 7 covers more, 3 and 2 are cheaper.
  EXPECT_EQ(frontier.Insert(MakeLabel(4, {4}, {0})), 2);
  ASSERT_EQ(frontier.labels.size(), 4u);
  std::vector<double> kept;
  for (const Label& label : frontier.labels) kept.push_back(label.g);
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kept, (std::vector<double>{2, 3, 4, 7}));
  EXPECT_EQ(frontier.labels.back().g, 4);
}

class SolverLists : public ::testing::Test {
 protected:
  SolverLists() : solver(GridProblem({{0, 0}, {1, 0}}, {{0, "a", 0, 0}}), Options{}) {}

  // A label of the pool with the given f, in the open list.
  int32_t AddOpen(double f, std::vector<int32_t> visited = {}) {
    const int32_t id = solver.NewLabelId();
    Label& label = solver.labels_[static_cast<size_t>(id)];
    label = MakeLabel(0, {0}, visited, 4);
    label.id = id;
    label.f = f;
    label.remaining = 1;
    solver.open_.insert(OpenEntry{f, id});
    return id;
  }

  void AddFocal(int32_t id) {
    const Label& label = solver.labels_[static_cast<size_t>(id)];
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
    for (const OpenEntry& entry : solver.open_) ids.push_back(entry.id);
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

TEST_F(SolverLists, LabelPoolGrowsInDoublingStepsUpToTheCap) {
  const std::vector<std::pair<int32_t, size_t>> growth = {
      {0, 1024}, {1023, 1024}, {1024, 3072}, {3071, 3072}, {3072, 7168}, {7168, 11264}};
  int32_t next = 0;
  for (const auto& [id, size] : growth) {
    while (next < id) EXPECT_EQ(solver.NewLabelId(), next++);
    EXPECT_EQ(solver.NewLabelId(), next++);
    EXPECT_EQ(solver.labels_.size(), size) << "after id " << id;
    EXPECT_EQ(solver.parents_.size(), size);
  }
}

TEST(PositionKey, JoinsNodeIndicesWithTrailingUnderscores) {
  EXPECT_EQ(PositionKey({3, 0, 12}), "3_0_12_");
  EXPECT_EQ(PositionKey({-1}), "-1_");
  EXPECT_EQ(PositionKey({}), "");
}

TEST_F(SolverLists, FrontierPerPositionKeyCreatedOnFirstSight) {
  Label label = MakeLabel(4, {4}, {0});
  label.positions = {1};
  EXPECT_FALSE(solver.IsDominated(label));
  EXPECT_EQ(solver.frontier_count_, 1);
  ASSERT_EQ(solver.frontiers_.size(), 1u);
  EXPECT_EQ(solver.frontier_index_.at("1_"), 0);
  EXPECT_TRUE(solver.frontiers_[0]->labels.empty());

  solver.AddToFrontier(label);
  EXPECT_EQ(solver.frontiers_[0]->labels.size(), 1u);
  EXPECT_TRUE(solver.IsDominated(label));
  Label cheaper = MakeLabel(3, {3}, {0});
  cheaper.positions = {1};
  EXPECT_FALSE(solver.IsDominated(cheaper));

  Label elsewhere = label;
  elsewhere.positions = {0};
  EXPECT_FALSE(solver.IsDominated(elsewhere));
  EXPECT_EQ(solver.frontier_index_.at("0_"), 1);
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
  for (size_t k = 0; k < steps.size(); ++k) {
    const int32_t id = solver.NewLabelId();
    Label& label = solver.labels_[static_cast<size_t>(id)];
    label.id = id;
    label.last_agent = steps[k].last_agent;
    label.positions = steps[k].positions;
    label.costs = steps[k].costs;
    solver.parents_[static_cast<size_t>(id)] = id - 1;
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
