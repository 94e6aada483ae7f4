#include "common/line_ends.h"

#include <gtest/gtest.h>

namespace common {
namespace {

TEST(LineEndsTest, NormalizesEveryLineEndToCrLf) {
  EXPECT_EQ(NormalizeToCrLf("a\r\nb\rc\nd"), "a\r\nb\r\nc\r\nd");
  EXPECT_EQ(NormalizeToCrLf("\r\r\n\n"), "\r\n\r\n\r\n");
}

TEST(LineEndsTest, SplitsAndJoins) {
  auto lines = SplitCrLfLines("a\r\n\r\nb");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "");
  EXPECT_EQ(lines[2], "b");
  EXPECT_TRUE(SplitCrLfLines("").empty());
  EXPECT_EQ(JoinCrLfLines({"x", ""}), "x\r\n\r\n");
  EXPECT_EQ(CountLineFeeds("a\nb\n"), 2u);
}

}  // namespace
}  // namespace common
