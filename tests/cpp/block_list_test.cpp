#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <set>
#include <vector>

#include "solver/block_list.h"
#include "solver/list_entries.h"

namespace quarn {
namespace {

// Orders by key only, so entries with one key and different tags are
// equivalent: the second of them must be refused, as std::set refuses it.
struct Entry {
  int32_t key = 0;
  int32_t tag = 0;
};

struct KeyLess {
  bool operator()(const Entry& a, const Entry& b) const { return a.key < b.key; }
};

template <typename List, typename Set>
void ExpectSameContents(const List& list, const Set& set) {
  ASSERT_EQ(list.size(), set.size());
  ASSERT_EQ(list.empty(), set.empty());
  auto it = list.begin();
  for (const auto& expected : set) {
    ASSERT_NE(it, list.end());
    EXPECT_EQ(it->key, expected.key);
    EXPECT_EQ(it->tag, expected.tag);
    ++it;
  }
  EXPECT_EQ(it, list.end());
}

// Random operations on a BlockList and a std::set side by side; sizes pass
// through several block splits and drops.
TEST(BlockList, BehavesAsAnOrderedSetWithTheSameComparator) {
  uint32_t state = 1;
  auto next = [&state](uint32_t range) {
    state = state * 1664525u + 1013904223u;
    return static_cast<int32_t>((state >> 8) % range);
  };
  BlockList<Entry, KeyLess> list;
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
    if (step % 997 == 0) ExpectSameContents(list, set);
  }
  ExpectSameContents(list, set);
  EXPECT_GE(list.bytes(), list.size() * sizeof(Entry));
  list.clear();
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(list.begin(), list.end());
}

TEST(BlockList, OpenEntriesOrderByFThenId) {
  BlockList<OpenEntry, OpenEntryLess> open;
  open.insert(OpenEntry{5.0, 7});
  open.insert(OpenEntry{5.0, 3});
  open.insert(OpenEntry{4.5, 9});
  EXPECT_FALSE(open.insert(OpenEntry{5.0, 3}));
  std::vector<int32_t> ids;
  for (const OpenEntry& entry : open) ids.push_back(entry.id);
  EXPECT_EQ(ids, (std::vector<int32_t>{9, 3, 7}));
  open.erase_to_end(open.upper_bound(OpenEntry{4.75, 0}));
  ASSERT_EQ(open.size(), 1u);
  EXPECT_EQ(open.front().id, 9);
}

}  // namespace
}  // namespace quarn
