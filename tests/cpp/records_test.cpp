#include <gtest/gtest.h>

#include <stdexcept>

#include "solver/label.h"
#include "solver/result.h"
#include "solver/time_window_map.h"
#include "solver/visited_set.h"

namespace quarn {
namespace {

TEST(VisitedSetTest, BitsAtAndBeyondTheSizeAreSet) {
  VisitedSet s(64);
  for (int32_t i = 0; i < 64; ++i) EXPECT_FALSE(s.test(i)) << i;
  for (int32_t i = 64; i < 256; ++i) EXPECT_TRUE(s.test(i)) << i;
  EXPECT_FALSE(s.all());
  EXPECT_EQ(s.count(), 0);
}

TEST(VisitedSetTest, FullSizeStartsEmpty) {
  VisitedSet s(256);
  for (int32_t i = 0; i < 256; ++i) EXPECT_FALSE(s.test(i));
  for (int32_t i = 0; i < 256; ++i) s.set(i);
  EXPECT_TRUE(s.all());
  EXPECT_EQ(s.count(), 256);
}

TEST(VisitedSetTest, AllAndCount) {
  EXPECT_TRUE(VisitedSet(0).all());
  EXPECT_EQ(VisitedSet(0).count(), 0);
  VisitedSet s(3);
  s.set(0);
  s.set(2);
  EXPECT_FALSE(s.all());
  EXPECT_EQ(s.count(), 2);
  s.set(1);
  EXPECT_TRUE(s.all());
  s.reset(1);
  EXPECT_FALSE(s.all());
}

TEST(VisitedSetTest, SubsetComparesEveryWord) {
  VisitedSet a(200), b(200);
  a.set(130);
  EXPECT_FALSE(a.IsSubsetOf(b));
  EXPECT_TRUE(b.IsSubsetOf(a));
  b.set(130);
  EXPECT_TRUE(a.IsSubsetOf(b));
}

TEST(VisitedSetTest, MoreThan256NodesThrowsAClearError) {
  try {
    VisitedSet s(257);
    FAIL() << "no exception";
  } catch (const std::runtime_error& e) {
    std::string what = e.what();
    EXPECT_NE(what.find("257"), std::string::npos) << what;
    EXPECT_NE(what.find("256"), std::string::npos) << what;
  }
}

TEST(LabelTest, CopiesAreIndependent) {
  Label a;
  a.positions = {1, 2};
  a.costs = {0.0, 0.0};
  a.finished = {0, 0};
  a.visited = VisitedSet(4);
  Label b = a;
  b.positions[0] = 3;
  b.costs[1] = 5.0;
  b.visited.set(2);
  b.finished[0] = 1;
  EXPECT_EQ(a.positions[0], 1);
  EXPECT_EQ(a.costs[1], 0.0);
  EXPECT_FALSE(a.visited.test(2));
  EXPECT_EQ(a.finished[0], 0);
}

TEST(ResultTest, NewResultIsEmpty) {
  Result r;
  EXPECT_TRUE(r.paths.empty());
  EXPECT_TRUE(r.times.empty());
  EXPECT_EQ(r.n_generated, 0);
  EXPECT_EQ(r.n_expanded, 0);
  EXPECT_FALSE(r.timeout);
  EXPECT_EQ(r.last_update_time, 0.0);
}

struct WindowCase {
  double arrival;
  bool ok;
  double out;
};

class ApplyWindowTest : public testing::TestWithParam<WindowCase> {};

TEST_P(ApplyWindowTest, WaitsForOpeningAndRejectsLateArrival) {
  TimeWindowMap windows{{1, {5.0, 8.0}}};
  double out = -1.0;
  EXPECT_EQ(ApplyWindow(windows, 1, GetParam().arrival, out), GetParam().ok);
  if (GetParam().ok) {
    EXPECT_EQ(out, GetParam().out);
  }
}

INSTANTIATE_TEST_SUITE_P(Arrivals, ApplyWindowTest,
                         testing::Values(WindowCase{3.0, true, 5.0}, WindowCase{5.0, true, 5.0},
                                         WindowCase{8.0, true, 8.0}, WindowCase{8.5, false, 0.0}));

TEST(ApplyWindowTest, NodeWithoutWindowKeepsTheTime) {
  double out = 0.0;
  EXPECT_TRUE(ApplyWindow({}, 3, 1e9, out));
  EXPECT_EQ(out, 1e9);
}

}  // namespace
}  // namespace quarn
