#include "monitor/core/list_index.h"

#include <gtest/gtest.h>

#include <random>

#include "monitor/core/thread_lists.h"

namespace yagura {
namespace {

// The refresh as the list box alone does it: the first entry of the key
// leaves, the new one goes to the end.
void RefreshInPlace(ListBox& list, const std::string& entry) {
  const std::string_view key = EntryKeyPart(entry);
  for (int i = 0; i < list.Count(); ++i) {
    if (EntryKeyPart(list.Item(i)) == key) {
      list.RemoveItem(i);
      break;
    }
  }
  list.AddItem(entry);
}

// Random refreshes over few keys (duplicates included, as a hand-edited list
// may hold them) end in the order the list box alone would have.
TEST(DownloadQueueTest, EndsInTheOrderOfRefreshesMadeOneByOne) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    ListBox expected, actual;
    std::vector<std::string> start;
    for (int i = 0, n = static_cast<int>(rng() % 8); i < n; ++i) {
      start.push_back(std::to_string(rng() % 5) + ".dat<1レス>t" + std::to_string(i) + " (1)");
    }
    expected.SetItems(start);
    actual.SetItems(start);
    DownloadQueue queue(actual);
    KeyIndex index(actual);
    for (int op = 0, n = static_cast<int>(rng() % 12); op < n; ++op) {
      const std::string key = std::to_string(rng() % 6) + ".dat";
      const std::string entry = key + "<2レス>u" + std::to_string(op) + " (2)";
      bool had = false;
      for (const std::string& e : expected.Items()) had = had || EntryKeyPart(e) == key;
      RefreshInPlace(expected, entry);
      EXPECT_EQ(queue.Refresh(key, entry), had);
    }
    queue.Flush();
    ASSERT_EQ(actual.Items(), expected.Items()) << "round " << round;
    for (int i = 0; i < actual.Count(); ++i) {
      EXPECT_LE(index.Find(EntryKeyPart(actual.Item(i))), i);
    }
    EXPECT_EQ(index.Find("9.dat"), -1);
  }
}

// Whoever reads or changes the list box meanwhile (the window, a nested list
// command) sees the refreshes made so far, as if made one by one.
TEST(DownloadQueueTest, ReadersSeeTheRefreshesMadeSoFar) {
  ListBox list;
  list.SetItems({"1.dat<1レス>a (1)", "2.dat<1レス>b (1)", "3.dat<1レス>c (1)"});
  DownloadQueue queue(list);
  EXPECT_TRUE(queue.Refresh("1.dat", "1.dat<2レス>a (2)"));
  EXPECT_EQ(list.Item(2), "1.dat<2レス>a (2)");
  EXPECT_EQ(list.ListIndex(), 2);
  list.RemoveItem(0);  // the user deleted "2.dat" from the menu
  EXPECT_FALSE(queue.Refresh("4.dat", "4.dat<1レス>d (1)"));
  EXPECT_TRUE(queue.Refresh("3.dat", "3.dat<5レス>c (5)"));
  queue.Flush();
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"1.dat<2レス>a (2)", "4.dat<1レス>d (1)",
                                                    "3.dat<5レス>c (5)"}));
  EXPECT_EQ(list.ListIndex(), 2);

  // Entries set anew (the list loaded again) drop what was recorded; the
  // refreshes after that are made as well.
  EXPECT_TRUE(queue.Refresh("4.dat", "4.dat<2レス>d (2)"));
  list.SetItems({"5.dat<1レス>e (1)"});
  EXPECT_FALSE(queue.Refresh("6.dat", "6.dat<1レス>f (1)"));
  EXPECT_EQ(list.Items(), (std::vector<std::string>{"5.dat<1レス>e (1)", "6.dat<1レス>f (1)"}));
}

}  // namespace
}  // namespace yagura
