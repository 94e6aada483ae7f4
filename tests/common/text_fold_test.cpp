#include "common/text_fold.h"

#include <gtest/gtest.h>

namespace common {
namespace {

TEST(TextFoldTest, IgnoresCaseWidthAndKanaType) {
  EXPECT_TRUE(ContainsFolded("【ABC】スレ", "abc"));
  EXPECT_TRUE(ContainsFolded("ＡＢＣスレ", "abc"));
  EXPECT_TRUE(ContainsFolded("ｶﾞｷﾞ祭り", "ガギ"));
  EXPECT_TRUE(ContainsFolded("がぎ祭り", "ガギ"));
  EXPECT_TRUE(ContainsFolded("ガギ祭り", "がぎ"));
  EXPECT_FALSE(ContainsFolded("ガギ祭り", "ぐ"));
  EXPECT_TRUE(ContainsFolded("anything", ""));
}

}  // namespace
}  // namespace common
