#include <gtest/gtest.h>

#include <cstdint>
#include <utility>
#include <vector>

#include "records/stop_check.h"
#include "records/time_window_map.h"
#include "records/visited_set.h"

namespace quarn {
namespace {

// Reports come at the first check and then once a tenth of a second of the clock
// has passed; the report that answers true expires every check from then on.
TEST(StopCheckTest, ProgressReportsAreSpacedByTheClockAndCanStop) {
  double now = 0.0;
  std::vector<double> reported;
  StopCheck stop;
  stop.SetDeadline([&] { return now; }, 100.0);
  stop.SetProgress([&](double elapsed) { reported.push_back(elapsed); return elapsed >= 0.25; }, 0.1);
  const std::vector<std::pair<double, bool>> checks = {
      {0.0, false}, {0.05, false}, {0.1, false}, {0.15, false}, {0.25, true}, {0.26, true}, {5.0, true}};
  for (const auto& [time, expired] : checks) {
    now = time;
    EXPECT_EQ(stop.Expired(), expired) << time;
  }
  EXPECT_EQ(reported, (std::vector<double>{0.0, 0.1, 0.25}));
}

TEST(VisitedSetTest, BitsAtAndBeyondTheSizeAreSet) {
  for (int32_t size : {0, 3, 64, 200, 256}) {
    VisitedSet s(size);
    for (int32_t i = 0; i < 256; ++i) ASSERT_EQ(s.test(i), i >= size) << size << " bit " << i;
    EXPECT_EQ(s.all(), size == 0) << size;
    EXPECT_EQ(s.count(), 0) << size;
    for (int32_t i = 0; i < size; ++i) s.set(i);
    EXPECT_TRUE(s.all()) << size;
    EXPECT_EQ(s.count(), size) << size;
    if (size > 0) {
      s.reset(size - 1);
      EXPECT_FALSE(s.all()) << size;
    }
  }
}

TEST(VisitedSetTest, SubsetComparesEveryWord) {
  VisitedSet a(200), b(200);
  a.set(130);
  EXPECT_FALSE(a.IsSubsetOf(b));
  EXPECT_TRUE(b.IsSubsetOf(a));
  b.set(130);
  EXPECT_TRUE(a.IsSubsetOf(b));
}

// The array form agrees with the map's rule everywhere, keys outside the array included
// (the rule itself is pinned where the checker and route validation apply it).
TEST(DenseTimeWindowsTest, AppliesTheRuleOfTheMap) {
  const TimeWindowMap windows = {{0, {2.0, 5.0}}, {3, {0.0, 1.0}}, {-4, {1.0, 3.0}},
                                 {1 << 20, {6.0, 8.0}}};
  const DenseTimeWindows dense(windows);
  for (int32_t node : {-4, -1, 0, 1, 3, 4, 1 << 20, (1 << 20) + 1}) {
    for (double t : {-1.0, 1.0, 2.0, 3.0, 5.0, 5.5, 7.0, 8.0, 9.0}) {
      double expected = -7.0;
      double got = -8.0;
      const bool ok = ApplyWindow(windows, node, t, expected);
      EXPECT_EQ(dense.Apply(node, t, got), ok) << "node " << node << " t " << t;
      EXPECT_EQ(got, expected) << "node " << node << " t " << t;
    }
  }
  double out = 0.0;
  EXPECT_TRUE(DenseTimeWindows().Apply(0, 4.0, out));
  EXPECT_EQ(out, 4.0);
}

}  // namespace
}  // namespace quarn
