#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/checked_at.h"
#include "model/numeric_cast.h"
#include "model/problem.h"

namespace quarn {
namespace {

Agent MakeAgent(uint64_t id, const std::string& type) {
  Agent a;
  a.id = id;
  a.type = type;
  return a;
}

TEST(ProblemTest, NewProblemHasDefaultOptions) {
  Problem p;
  EXPECT_TRUE(p.options().return_to_end);
  EXPECT_EQ(p.options().objective, ObjectiveType::MinSum);
  EXPECT_EQ(p.options().time_limit, 60.0);
  EXPECT_EQ(p.num_nodes(), 0u);
  EXPECT_EQ(p.num_agents(), 0u);
}

TEST(ProblemTest, AddingAnIdTwiceKeepsBothInOrderButMapsSeeTheLater) {
  Problem p;
  p.add_agent(MakeAgent(5, "a"), 5);
  p.add_agent(MakeAgent(5, "b"), 5);
  EXPECT_EQ(p.agents_ordered().size(), 2u);
  EXPECT_EQ(p.num_agents(), 1u);
  EXPECT_EQ(p.agent_index_by_id().at(5), 1);
  EXPECT_EQ(p.agent_type_index_by_id().at(5), 1);
  EXPECT_EQ(p.agents_by_id().at(5).type, "b");
  EXPECT_EQ(p.type_index_by_name().at("a"), 0);
  EXPECT_EQ(p.type_index_by_name().at("b"), 1);
}

TEST(ProblemTest, AgentIsFiledUnderTheGivenId) {
  Problem p;
  p.add_agent(MakeAgent(3, "a"), 7);
  EXPECT_EQ(p.agents_by_id().count(7), 1u);
  EXPECT_EQ(p.agents_by_id().count(3), 0u);
  EXPECT_EQ(p.agents_ordered()[0].id, 3u);
}

TEST(ProblemTest, TypesAreIndexedInOrderOfFirstAppearance) {
  Problem p;
  p.add_agent(MakeAgent(0, "b"), 0);
  p.add_agent(MakeAgent(1, "a"), 1);
  p.add_agent(MakeAgent(2, "b"), 2);
  EXPECT_EQ(p.type_names(), (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(p.type_index_by_name().at("b"), 0);
  EXPECT_EQ(p.type_index_by_name().at("a"), 1);
}

TEST(ProblemTest, AllowedTypesSkipsUnknownNamesAndDuplicatesSilently) {
  Problem p;
  p.add_agent(MakeAgent(0, "a"), 0);
  AssignmentConstraint c;
  c.set_assignment(9, {"a", "zzz", "a"});
  p.set_assignment_constraint(c);
  testing::internal::CaptureStderr();
  EXPECT_EQ(p.allowed_types(9), std::vector<int32_t>{0});
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(ProblemTest, AllowedTypesWithoutEntryWarnsAndAllowsAllAscending) {
  Problem p;
  p.add_agent(MakeAgent(0, "x"), 0);
  p.add_agent(MakeAgent(1, "y"), 1);
  p.add_agent(MakeAgent(2, "z"), 2);
  testing::internal::CaptureStderr();
  EXPECT_EQ(p.allowed_types(4), (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "[warning] node 4 has no assignment constraint; allowing all types\n");
}

TEST(ProblemTest, AllowedTypesWithoutAgentsWarnsAndReturnsNothing) {
  Problem p;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(p.allowed_types(18446744073709551615ull).empty());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "[warning] node 18446744073709551615 has no assignment constraint; allowing all types\n");
}

TEST(ProblemTest, SettingConstraintsReplacesInsteadOfMerging) {
  Problem p;
  AssignmentConstraint first;
  first.set_assignment(1, {"a"});
  AssignmentConstraint second;
  second.set_assignment(2, {"b"});
  p.set_assignment_constraint(first);
  p.set_assignment_constraint(second);
  EXPECT_EQ(p.assignment().allowed_types_by_node.count(1), 0u);
  EXPECT_EQ(p.assignment().allowed_types_by_node.count(2), 1u);

  TimeWindowConstraint w;
  w.set_timewindow(3, 1.0, 2.0);
  w.set_timewindow(3, 5.0, 4.0);  // later wins, start after end is kept as given
  EXPECT_EQ(w.windows_by_node.at(3), std::make_pair(5.0, 4.0));
}

TEST(ProblemTest, DuplicateNodeIdsAreKept) {
  Problem p;
  Node n;
  n.id = 4;
  p.add_node(n);
  p.add_node(n);
  EXPECT_EQ(p.num_nodes(), 2u);
  EXPECT_EQ(p.nodes().size(), 2u);
}

TEST(ProblemTest, ViewsStayValidAndLiveWhileAdding) {
  Problem p;
  Node n;
  n.id = 1;
  p.add_node(n);
  p.add_agent(MakeAgent(1, "a"), 1);
  const Node& first_node = p.nodes()[0];
  const Agent& first_agent = p.agents_ordered()[0];
  for (uint64_t i = 2; i < 5000; ++i) {
    n.id = i;
    p.add_node(n);
    p.add_agent(MakeAgent(i, "a"), i);
  }
  EXPECT_EQ(first_node.id, 1u);
  EXPECT_EQ(first_agent.id, 1u);
  EXPECT_EQ(&first_node, &p.nodes()[0]);
}

TEST(ProblemTest, CopyIsIndependent) {
  Problem p;
  p.add_agent(MakeAgent(0, "a"), 0);
  Problem copy = p;
  p.add_agent(MakeAgent(1, "b"), 1);
  p.options().time_limit = 1.0;
  EXPECT_EQ(copy.agents_ordered().size(), 1u);
  EXPECT_EQ(copy.type_names().size(), 1u);
  EXPECT_EQ(copy.options().time_limit, 60.0);
}

struct Int32Case {
  double in;
  int32_t out;
};

class SaturatingToInt32Test : public testing::TestWithParam<Int32Case> {};

TEST_P(SaturatingToInt32Test, TruncatesOrSaturates) {
  EXPECT_EQ(SaturatingToInt32(GetParam().in), GetParam().out);
}

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr int32_t kMax32 = std::numeric_limits<int32_t>::max();
constexpr int32_t kMin32 = std::numeric_limits<int32_t>::min();

INSTANTIATE_TEST_SUITE_P(
    Values, SaturatingToInt32Test,
    testing::Values(Int32Case{2.9, 2}, Int32Case{-2.9, -2}, Int32Case{0.0, 0},
                    Int32Case{2147483647.9, kMax32}, Int32Case{2147483648.0, kMax32},
                    Int32Case{1e300, kMax32}, Int32Case{kInf, kMax32},
                    Int32Case{-2147483648.9, kMin32}, Int32Case{-2147483649.0, kMin32},
                    Int32Case{-kInf, kMin32}, Int32Case{std::nan(""), 0}));

struct Uint64Case {
  double in;
  uint64_t out;
};

class WrappingToUint64Test : public testing::TestWithParam<Uint64Case> {};

TEST_P(WrappingToUint64Test, TruncatesWrapsOrSaturates) {
  EXPECT_EQ(WrappingToUint64(GetParam().in), GetParam().out);
}

constexpr uint64_t kMax64 = std::numeric_limits<uint64_t>::max();

INSTANTIATE_TEST_SUITE_P(
    Values, WrappingToUint64Test,
    testing::Values(Uint64Case{7.9, 7}, Uint64Case{-1.5, kMax64}, Uint64Case{-2.0, kMax64 - 1},
                    Uint64Case{1e300, kMax64}, Uint64Case{kInf, kMax64},
                    Uint64Case{18446744073709551616.0, kMax64},
                    Uint64Case{-1e300, uint64_t{1} << 63}, Uint64Case{-kInf, uint64_t{1} << 63},
                    Uint64Case{std::nan(""), 0}));

TEST(CheckedAtTest, MissingKeyThrowsTheSystemsText) {
  std::unordered_map<uint64_t, int> m{{1, 10}};
  EXPECT_EQ(CheckedAt(m, uint64_t{1}), 10);
  try {
    CheckedAt(m, uint64_t{2});
    FAIL() << "no exception";
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "invalid unordered_map<K, T> key");
  }
}

}  // namespace
}  // namespace quarn
