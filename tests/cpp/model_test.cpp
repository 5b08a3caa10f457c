#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "model/numeric_cast.h"
#include "model/problem.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

TEST(ProblemTest, AgentsAreFiledUnderTheGivenIdAndTypesInOrderOfFirstAppearance) {
  Problem p;
  p.add_agent(MakeAgent({3, "b"}), 7);
  p.add_agent(MakeAgent({5, "a"}), 5);
  p.add_agent(MakeAgent({5, "b"}), 5);  // the same id again: listed twice, mapped to the later
  EXPECT_EQ(p.agents_ordered().size(), 3u);
  EXPECT_EQ(p.num_agents(), 2u);
  EXPECT_EQ(p.agents_by_id().count(3), 0u);
  EXPECT_EQ(p.agents_by_id().at(7).id, 3u);
  EXPECT_EQ(p.agent_index_by_id().at(5), 2);
  EXPECT_EQ(p.agent_type_index_by_id().at(5), 0);
  EXPECT_EQ(p.type_names(), (std::vector<std::string>{"b", "a"}));
  EXPECT_EQ(p.type_index_by_name().at("a"), 1);
}

TEST(ProblemTest, AllowedTypesSkipsUnknownNamesAndWarnsWithoutAnEntry) {
  const std::string warning = " has no assignment constraint; allowing all types\n";
  Problem none;
  EXPECT_EQ(Capture([&] { EXPECT_TRUE(none.allowed_types(18446744073709551615ull).empty()); }).err,
            "[warning] node 18446744073709551615" + warning);
  Problem p;
  for (uint64_t id : {0, 1, 2}) p.add_agent(MakeAgent({id, std::string(1, "xyz"[id])}), id);
  AssignmentConstraint c;
  c.set_assignment(9, {"y", "zzz", "y"});
  p.set_assignment_constraint(c);
  EXPECT_EQ(Capture([&] {
              EXPECT_EQ(p.allowed_types(9), std::vector<int32_t>{1});
              EXPECT_EQ(p.allowed_types(4), (std::vector<int32_t>{0, 1, 2}));
            }).err,
            "[warning] node 4" + warning);
  p.set_assignment_constraint(AssignmentConstraint{});  // a second constraint replaces the first
  EXPECT_EQ(p.assignment().allowed_types_by_node.count(9), 0u);
}

constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(NumericCastTest, TruncatesWhereTheValueFitsSaturatesOrWraps) {
  constexpr int32_t kMax32 = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin32 = std::numeric_limits<int32_t>::min();
  const std::pair<double, int32_t> to_int32[] = {
      {2.9, 2}, {-2.9, -2}, {2147483647.9, kMax32}, {2147483648.0, kMax32}, {kInf, kMax32},
      {-2147483648.9, kMin32}, {-2147483649.0, kMin32}, {-kInf, kMin32}, {std::nan(""), 0}};
  for (const auto& [in, out] : to_int32) EXPECT_EQ(SaturatingToInt32(in), out) << in;
  // Negative ids wrap like the integer they truncate to.
  constexpr uint64_t kMax64 = std::numeric_limits<uint64_t>::max();
  const std::pair<double, uint64_t> to_uint64[] = {
      {7.9, 7}, {-1.5, kMax64}, {-2.0, kMax64 - 1}, {18446744073709551616.0, kMax64},
      {kInf, kMax64}, {-1e300, uint64_t{1} << 63}, {-kInf, uint64_t{1} << 63}, {std::nan(""), 0}};
  for (const auto& [in, out] : to_uint64) EXPECT_EQ(WrappingToUint64(in), out) << in;
}

}  // namespace
}  // namespace quarn::test
