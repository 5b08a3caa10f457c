#include <gtest/gtest.h>

#include <iterator>
#include <limits>
#include <set>

#include "solver/block_list.h"
#include "records/list_entries.h"
#include "solver/open_list.h"
#include "support/solver_test_kit.h"

namespace quarn::test {
namespace {

// Orders by key only, so entries with one key and different tags are
// equivalent: the second of them must be refused, as std::set refuses it.
struct Entry { int32_t key = 0, tag = 0; };

struct KeyLess {
  bool operator()(const Entry& a, const Entry& b) const { return a.key < b.key; }
};

// Each entry's key and tag, in iteration order.
template <typename Range>
std::vector<std::pair<int32_t, int32_t>> Contents(const Range& range) {
  std::vector<std::pair<int32_t, int32_t>> out;
  for (const Entry& entry : range) out.emplace_back(entry.key, entry.tag);
  return out;
}

// Random operations on a BlockList and a std::set side by side; sizes pass
// through many block splits and drops.
template <size_t kMaxBlock>
void CompareWithSet() {
  Lcg next{1};
  BlockList<Entry, KeyLess, kMaxBlock> list;
  std::set<Entry, KeyLess> set;
  for (int step = 0; step < 40000; ++step) {
    const int32_t op = next(100);
    const Entry value{next(3000), next(1000)};
    if (op < 60) {
      ASSERT_EQ(list.insert(value), set.insert(value).second);
    } else if (op < 90) {
      ASSERT_EQ(list.erase(value), set.erase(value));
    } else if (op < 93) {
      // Bounds, iteration from them, and the tail cut behind a bound.
      auto got = list.upper_bound(value);
      auto want = set.upper_bound(value);
      for (int k = 0; k < 5 && want != set.end(); ++k, ++got, ++want) {
        ASSERT_NE(got, list.end());
        ASSERT_EQ(got->key, want->key);
      }
      if (op == 90 && next(10) == 0) {
        list.erase_to_end(list.upper_bound(value));
        set.erase(set.upper_bound(value), set.end());
      }
    } else if (op < 95) {
      const int32_t mod = 2 + next(5);
      auto odd = [mod](const Entry& e) { return e.key % mod == 1; };
      list.erase_if(odd);
      for (auto it = set.begin(); it != set.end();) it = odd(*it) ? set.erase(it) : std::next(it);
    } else if (!set.empty()) {
      ASSERT_EQ(list.front().key, set.begin()->key);
      list.pop_front();
      set.erase(set.begin());
    }
    if (step % 997 == 0) {
      ASSERT_EQ(Contents(list), Contents(set));
    }
  }
  EXPECT_EQ(Contents(list), Contents(set));
  EXPECT_EQ(list.size(), set.size());
  EXPECT_GE(list.bytes(), list.size() * sizeof(Entry));
  list.clear();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.begin(), list.end());
}

TEST(BlockList, BehavesAsAnOrderedSetWithTheSameComparator) {
  CompareWithSet<4>();
  CompareWithSet<64>();
}

std::vector<int32_t> IdsOf(const std::vector<OpenEntry>& entries) {
  std::vector<int32_t> ids;
  for (const OpenEntry& entry : entries) ids.push_back(entry.id);
  return ids;
}

// The open list against a std::set of the same entries, while the split moves
// up and down under every kind of change, as the focal bound does.
TEST(OpenList, AnswersAsAnOrderedSetWhereverTheSplitLies) {
  constexpr int32_t kLast = std::numeric_limits<int32_t>::max();
  Lcg next{3};
  OpenList open;
  // The order itself: f, then id.
  for (const OpenEntry& entry : {OpenEntry{5.0, 7}, OpenEntry{5.0, 3}, OpenEntry{4.5, 9}}) {
    open.insert(entry);
  }
  EXPECT_EQ(IdsOf(open.Sorted()), (std::vector<int32_t>{9, 3, 7}));
  open.clear();
  std::set<OpenEntry, OpenEntryLess> set;
  int32_t next_id = 0;
  for (int step = 0; step < 30000; ++step) {
    const int32_t op = next(100);
    const double f = next(400) * 0.5;
    if (op < 55) {
      open.insert(OpenEntry{f, next_id});
      set.insert(OpenEntry{f, next_id});
      ++next_id;
    } else if (op < 80 && !set.empty()) {
      // Mostly entries that exist, wherever they lie.
      auto it = set.begin();
      std::advance(it, next(static_cast<uint32_t>(set.size())));
      const OpenEntry victim = next(5) == 0 ? OpenEntry{f, next(next_id + 1)} : *it;
      ASSERT_EQ(open.erase(victim), set.erase(victim));
    } else if (op < 92) {
      open.SetSplit(f);
    } else if (op < 95) {
      std::vector<OpenEntry> seen;
      open.VisitBetween(f, f + 20.0, [&](const OpenEntry& e) { seen.push_back(e); });
      std::vector<OpenEntry> want(set.upper_bound({f, kLast}), set.upper_bound({f + 20.0, kLast}));
      ASSERT_EQ(IdsOf(seen), IdsOf(want));
    } else if (op < 98) {
      std::vector<OpenEntry> seen;
      const auto stop = static_cast<size_t>(next(30));
      open.VisitUpTo(f, [&](const OpenEntry& e) {
        seen.push_back(e);
        return seen.size() < stop;
      });
      // Each visit counts, so at least one entry is seen when any qualifies.
      std::vector<OpenEntry> want;
      for (const OpenEntry& e : set) {
        if (e.f > f || want.size() == std::max<size_t>(stop, 1)) break;
        want.push_back(e);
      }
      ASSERT_EQ(IdsOf(seen), IdsOf(want));
    } else if (next(4) == 0) {
      open.EraseAbove(f);
      set.erase(set.upper_bound(OpenEntry{f, kLast}), set.end());
    }
    ASSERT_EQ(open.size(), set.size());
    ASSERT_EQ(open.empty() ? -1 : open.front().id, set.empty() ? -1 : set.begin()->id);
    if (step % 1009 == 0) {
      ASSERT_EQ(IdsOf(open.Sorted()), IdsOf({set.begin(), set.end()}));
    }
  }
  open.clear();
  EXPECT_TRUE(open.empty());
}

}  // namespace
}  // namespace quarn::test
