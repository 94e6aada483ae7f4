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

// Only case, width and kana type fold: compatibility forms stay what they
// are, so a word never finds a character that merely contains it.
TEST(TextFoldTest, FoldsOnlyCaseWidthAndKanaType) {
  const struct {
    const char* haystack;
    const char* needle;
    bool found;
  } cases[] = {
      {"ＫＤＥスレ", "kde", true},
      {"kdeスレ", "ＫＤＥ", true},
      {"ｋｄｅスレ", "KDE", true},
      {"ｶﾞ", "ガ", true},
      {"ｶﾞ", "が", true},
      {"が", "ｶﾞ", true},
      {"ﾎﾏﾎﾏ", "ホマホマ", true},
      {"ホマホマ", "ほまほま", true},
      {"ﾊﾟﾝ", "ぱん", true},
      {"ｳﾞｧ", "ゔぁ", true},
      {"カ゛", "が", true},  // a separate full-width voiced mark
      {"全角　空白", "全角 空白", true},
      {"①番目の㈱スレ", "1", false},
      {"①番目の㈱スレ", "株", false},
      {"10㎏", "kg", false},
      {"待て…", "...", false},
      {"ﾊﾟﾝ", "はん", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ContainsFolded(c.haystack, c.needle), c.found) << c.haystack << " / " << c.needle;
  }
}

}  // namespace
}  // namespace common
