#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

namespace fs = std::filesystem;

// Runs each test in its own empty working directory, as the dump is written relative to it.
class PathDump : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = fs::current_path();
    std::string pattern = (fs::temp_directory_path() / "zel_dump_XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    work_ = pattern;
    fs::current_path(work_);
  }
  void TearDown() override {
    fs::current_path(home_);
    fs::remove_all(work_);
  }

  int32_t Solve(double time_limit, const std::string& name) {
    return solver_.SolveWith(&line_.graph, line_.points, line_.agents, {0}, {0}, time_limit, name);
  }

  static std::string ReadFile(const fs::path& path) {
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
  }

  fs::path home_;
  fs::path work_;
  LineInput line_;
  Solver solver_{Problem{}, Options{}};
};

TEST_F(PathDump, WritesSortedKeysAndPathsWithoutTheirLastNode) {
  EXPECT_EQ(Capture([&] { ASSERT_EQ(Solve(30.0, "line"), 1); }).out,
            "Saved to paths/paths_astar/line_astar.json\n");
  // SolveWith searches open routes: the stop at the start is free.
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

// Eleven agents on the line, most of them idle: the members "1", "10", "2", ...
// come in text order, each route without its last node, a shorter one empty.
TEST_F(PathDump, EveryAgentInTextOrderEachRouteWithoutItsLastNode) {
  const LineInput eleven(11);
  const std::vector<int32_t> depots(11, 0);
  Capture([&] {
    ASSERT_EQ(solver_.SolveWith(&eleven.graph, eleven.points, eleven.agents, depots, depots, 30.0,
                                "eleven"), 1);
  });
  const std::string text = ReadFile("paths/paths_astar/eleven_astar.json");
  const size_t ten = text.find("\"10\": [");
  ASSERT_NE(ten, std::string::npos);
  EXPECT_LT(text.find("\"1\": ["), ten);
  EXPECT_LT(ten, text.find("\"2\": ["));
  const nlohmann::json dump = nlohmann::json::parse(text);
  const Result result = solver_.get_result();
  ASSERT_EQ(dump["paths"].size(), 11u);
  ASSERT_EQ(dump["total_costs"].size(), 11u);
  for (int32_t k = 0; k < 11; ++k) {
    const std::vector<int32_t>& route = result.paths.at(k);
    const size_t kept = route.size() < 2 ? 0 : route.size() - 1;
    EXPECT_EQ(dump["paths"][std::to_string(k)],
              nlohmann::json(std::vector<int32_t>(route.begin(), route.begin() + kept)))
        << k;
    EXPECT_EQ(dump["total_costs"][k], result.times.at(k)) << k;
  }
}

TEST_F(PathDump, NothingWrittenWithoutANameOrASolutionAndAFailedOpenIsReported) {
  const Output quiet = Capture([&] {
    EXPECT_EQ(Solve(30.0, ""), 1);
    EXPECT_EQ(Solve(-1.0, "late"), 0);
  });
  EXPECT_EQ(quiet.out, "");
  EXPECT_FALSE(fs::exists("paths"));
  const Output failed = Capture([&] { EXPECT_EQ(Solve(30.0, "no/such"), 1); });
  EXPECT_EQ(failed.err, "Error: cannot open paths/paths_astar/no/such_astar.json for writing.\n");
}

}  // namespace
}  // namespace quarn::test
