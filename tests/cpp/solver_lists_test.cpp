#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <stdexcept>
#include <tuple>

#include "solver/frontier.h"
#include "solver/label_store.h"
#include "solver/position_index.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

// A label of two agents whose g is the larger of their costs.
Label CostLabel(double a, double b, const std::vector<int32_t>& visited, int32_t nodes = 8) {
  Label label = MakeLabel(nodes, {0, 0}, {a, b}, {}, visited);
  label.g = std::max(a, b);
  return label;
}

TEST(Frontier, DominanceNeedsNoWorseGCostsAndAVisitedSuperset) {
  Frontier frontier;
  EXPECT_FALSE(frontier.Dominates(CostLabel(5, 1, {0})));
  frontier.Insert(CostLabel(5, 1, {0, 1}));
  EXPECT_TRUE(frontier.Dominates(CostLabel(5, 1, {0, 1})));  // equal labels
  EXPECT_TRUE(frontier.Dominates(CostLabel(5, 2, {0})));
  EXPECT_FALSE(frontier.Dominates(CostLabel(4, 1, {0, 1})));   // smaller g
  EXPECT_FALSE(frontier.Dominates(CostLabel(5, 0.5, {0})));  // one agent cheaper
  EXPECT_FALSE(frontier.Dominates(CostLabel(9, 9, {0, 1, 2})));  // a node more
}

// The packed frontier against a plain list of labels and LabelDominates, over
// random labels with many ties and the odd NaN: the answers must be the same.
TEST(Frontier, AnswersAsAPlainListOfLabelsWould) {
  Lcg next{7};
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
      Label label = CostLabel(a, b, visited, nodes);
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
Label PoolLabel(size_t agents, int32_t nodes, const std::vector<int32_t>& visited = {}) {
  return MakeLabel(nodes, std::vector<int32_t>(agents, 0), {}, {}, visited);
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

}  // namespace
}  // namespace quarn::test
