#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "graph/sparse_graph.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

namespace fs = std::filesystem;
using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

// Runs each test in its own empty working directory, as the dump is written relative to it.
class PathDump : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "zel_dump_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    work_ = pattern;
    fs::current_path(work_);
    // The line 0 - 1 - 2, one cost component.
    graph_.ChangeCostDim(1, 9999.0);
    for (int32_t u = 0; u < 3; ++u) {
      for (int32_t v = 0; v < 3; ++v) {
        if (u != v) graph_.AddArc(u, v, {static_cast<double>(std::abs(u - v))});
      }
    }
    points_.resize(3);
    for (Point& point : points_) point.types = {0};
    agents_.resize(1);
  }
  void TearDown() override {
    fs::current_path(home_);
    fs::remove_all(work_);
  }

  static std::string ReadFile(const fs::path& path) {
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }

  fs::path home_;
  fs::path work_;
  SparseGraph graph_;
  std::vector<Point> points_;
  std::vector<AgentEntry> agents_;
  SolverProbe solver_{Problem{}, Options{}};
};

TEST_F(PathDump, WritesSortedKeysAndPathsWithoutTheirLastNode) {
  CaptureStdout();
  ASSERT_EQ(solver_.SolveWith(&graph_, points_, agents_, {0}, {0}, 30.0, "line"), 1);
  EXPECT_EQ(GetCapturedStdout(), "Saved to paths/paths_astar/line_astar.json\n");
  ASSERT_EQ(solver_.get_result().paths.at(0), (std::vector<int32_t>{0, 1, 2, 0}));
  EXPECT_EQ(ReadFile("paths/paths_astar/line_astar.json"),
            "{\n"
            "  \"goals\": [\n    0\n  ],\n"
            "  \"max_path_length\": 2.0,\n"
            "  \"num_agents\": 1,\n"
            "  \"paths\": {\n    \"0\": [\n      0,\n      1,\n      2\n    ]\n  },\n"
            "  \"starts\": [\n    0\n  ],\n"
            "  \"total_costs\": [\n    2.0\n  ]\n"
            "}\n");
}

TEST_F(PathDump, MembersInTextOrderShortRoutesEmptyMissingCostsZero) {
  solver_.num_agents_ = 11;
  solver_.starts_.assign(11, 3);
  solver_.ends_.assign(11, 3);
  solver_.max_path_length_ = 9.5;
  for (int32_t k = 0; k < 11; ++k) {
    solver_.result_.paths[k] = {3, k, 3};
    if (k != 10) solver_.result_.times[k] = k;
  }
  solver_.result_.times[11] = 1.0;
  solver_.result_.paths[0] = {3, 5, 8, 3};
  solver_.result_.paths[4] = {3};
  solver_.name_ = "eleven";
  CaptureStdout();
  solver_.WritePathDump();
  GetCapturedStdout();

  const std::string text = ReadFile("paths/paths_astar/eleven_astar.json");
  const size_t one = text.find("\"1\": [");
  const size_t ten = text.find("\"10\": [");
  const size_t two = text.find("\"2\": [");
  ASSERT_NE(ten, std::string::npos);
  EXPECT_LT(one, ten);
  EXPECT_LT(ten, two);
  const nlohmann::json dump = nlohmann::json::parse(text);
  EXPECT_EQ(dump["paths"]["0"], nlohmann::json({3, 5, 8}));
  EXPECT_EQ(dump["paths"]["4"], nlohmann::json::array());
  EXPECT_EQ(dump["paths"].size(), 11u);
  EXPECT_EQ(dump["total_costs"].size(), 11u);
  EXPECT_EQ(dump["total_costs"][10], 0.0);
  EXPECT_EQ(dump["total_costs"][9], 9.0);
  EXPECT_EQ(dump["max_path_length"], 9.5);
}

TEST_F(PathDump, NothingWrittenWithoutANameOrWithoutASolution) {
  CaptureStdout();
  EXPECT_EQ(solver_.SolveWith(&graph_, points_, agents_, {0}, {0}, 30.0, ""), 1);
  EXPECT_EQ(solver_.SolveWith(&graph_, points_, agents_, {0}, {0}, -1.0, "late"), 0);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_FALSE(fs::exists("paths"));
}

TEST_F(PathDump, AFileThatCannotBeOpenedIsReportedAndTheSolveStillSucceeds) {
  CaptureStderr();
  EXPECT_EQ(solver_.SolveWith(&graph_, points_, agents_, {0}, {0}, 30.0, "no/such"), 1);
  EXPECT_EQ(GetCapturedStderr(),
            "Error: cannot open paths/paths_astar/no/such_astar.json for writing.\n");
}

TEST(SolverResults, ReadOutBeforeAnySearch) {
  SolverProbe solver(GridProblem({{0, 0}, {1, 0}}, {{0, "a", 0, 0}}), Options{});
  const Result result = solver.get_result();
  EXPECT_TRUE(result.paths.empty());
  EXPECT_TRUE(result.times.empty());
  EXPECT_EQ(result.n_generated, 0);
  EXPECT_EQ(result.n_expanded, 0);
  EXPECT_FALSE(result.timeout);
  EXPECT_EQ(result.last_update_time, 0.0);
  EXPECT_TRUE(solver.get_result_process().empty());
  EXPECT_EQ(solver.GetBounds().num_points, -1);
}

}  // namespace
}  // namespace quarn::test
