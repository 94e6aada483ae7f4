// The match finder at the edges of the window and of the input: every match
// it reports must be real, and the ones that must be found are.
#include <gtest/gtest.h>

#include <random>

#include "lzh/match_finder.h"

namespace {

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// Enters every position before `pos` and searches there.
lzh::Match FindAfterAll(const std::string& data, size_t pos, bool andInsert) {
  lzh::MatchFinder finder(data);
  finder.InsertRange(0, pos);
  return andInsert ? finder.FindAndInsert(pos, 64, 256) : finder.Find(pos, 64, 256);
}

TEST(LzhMatchFinder, FindsWhatTheWindowHoldsAndNothingBeyond) {
  const std::string head = RandomBytes(40, 1);
  struct Case {
    const char* label;
    std::string data;
    size_t pos;
    int length, distance;  // 0, 0 when nothing may be found
  };
  const Case cases[] = {
      {"a whole window back", head + RandomBytes(8192 - 40, 2) + head, 8192, 40, 8192},
      {"one byte beyond the window", head + RandomBytes(8193 - 40, 3) + head, 8193, 0, 0},
      {"three bytes at the very end", "abcxyzabc", 6, 3, 6},
      {"four bytes at the very end", "abcdxyzabcd", 7, 4, 7},
      {"two bytes are too few", "abxyab", 4, 0, 0},
      {"the longest, not the nearest", "abcdefgh-abcdXX-abcdeZ", 16, 5, 16},
      {"a run of one byte", std::string(300, 'a'), 1, 256, 1},
  };
  for (const Case& c : cases) {
    for (bool andInsert : {false, true}) {
      const lzh::Match m = FindAfterAll(c.data, c.pos, andInsert);
      EXPECT_EQ(m.length, c.length) << c.label;
      EXPECT_EQ(m.distance, c.distance) << c.label;
    }
  }
}

// Over text with repeats at every distance, each reported match copies
// bytes that are really there, within the window.
TEST(LzhMatchFinder, ReportsOnlyRealMatches) {
  std::mt19937 rng(5);
  std::string data = RandomBytes(9000, 6);
  while (data.size() < 60'000) {
    const size_t from = data.size() - 1 - rng() % 8192, len = 3 + rng() % 40;
    for (size_t k = 0; k < len; ++k) data.push_back(data[from + k]);
    data.push_back(static_cast<char>(rng()));
  }
  lzh::MatchFinder finder(data);
  int found = 0;
  for (size_t pos = 0; pos < data.size(); ++pos) {
    const lzh::Match m = finder.FindAndInsert(pos, 8, 64);
    if (m.length == 0) continue;
    ++found;
    ASSERT_GE(m.length, lzh::kMinMatch) << pos;
    ASSERT_LE(m.length, lzh::kMaxMatch) << pos;
    ASSERT_GE(m.distance, 1) << pos;
    ASSERT_LE(m.distance, lzh::kWindowSize) << pos;
    ASSERT_LE(pos + static_cast<size_t>(m.length), data.size()) << pos;
    ASSERT_EQ(data.compare(pos, m.length, data, pos - m.distance, m.length), 0) << pos;
  }
  EXPECT_GT(found, 10'000);
}

}  // namespace
