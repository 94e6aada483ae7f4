#include "converter/index/sorting.h"

#include <gtest/gtest.h>

namespace converter::index {
namespace {

// Entries named by their title; "c" and "d" share every key but the title.
std::vector<IndexEntry> Table() {
  auto make = [](std::string title, std::string first, std::string last, std::string nonSage,
                 int posts) {
    IndexEntry e;
    e.title = std::move(title);
    e.firstPostTime = std::move(first);
    e.lastPostTime = std::move(last);
    e.lastNonSageTime = std::move(nonSage);
    e.posts = posts;
    return e;
  };
  return {
      make("b", "20080102000000", "20080301000000", "20080105000000", 50),
      make("a", "20080103000000", "20080201000000", "20080106000000", 900),
      make("c", "20080101000000", "20080401000000", "20080104000000", 10),
      make("d", "20080101000000", "20080401000000", "20080104000000", 10),
      make("あ", "", "", "", 1),  // no readable dates
  };
}

std::string Order(char key, char order) {
  std::vector<IndexEntry> entries = Table();
  std::vector<const IndexEntry*> list;
  for (const IndexEntry& e : entries) list.push_back(&e);
  SortEntries(list, key, order);
  std::string titles;
  for (const IndexEntry* e : list) titles += (titles.empty() ? "" : ",") + e->title;
  return titles;
}

TEST(SortEntries, EveryKeyAndOrderWithEqualKeysInArrivalOrder) {
  struct Case {
    char key, order;
    const char* expected;
  } cases[] = {
      {'n', 'u', "a,b,c,d,あ"},  // Shift_JIS bytes: kana after ASCII
      {'n', 'd', "あ,d,c,b,a"}, {'f', 'u', "あ,c,d,b,a"}, {'f', 'd', "a,b,c,d,あ"},
      {'l', 'u', "あ,c,d,b,a"}, {'l', 'd', "a,b,c,d,あ"}, {'L', 'u', "あ,a,b,c,d"},
      {'L', 'd', "c,d,b,a,あ"}, {'r', 'd', "あ,c,d,b,a"},  // r: d gives the fewest posts first
      {'r', 'u', "a,b,c,d,あ"}, {'x', 'u', "b,a,c,d,あ"}, {'x', 'd', "b,a,c,d,あ"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Order(c.key, c.order), c.expected) << c.key << c.order;
  }
}

}  // namespace
}  // namespace converter::index
