#include "common/encoding.h"

#include <gtest/gtest.h>

namespace common {
namespace {

TEST(EncodingTest, Cp932RoundTripsJapaneseAndBackslash) {
  const std::string utf8 = "スレッド\\～①髙";  // 0x5C is a backslash, U+FF5E, NEC and IBM extensions
  std::string sjis;
  ASSERT_TRUE(EncodeFromUtf8(utf8, Charset::kCp932, sjis));
  EXPECT_EQ(sjis.substr(8, 1), "\\");
  EXPECT_EQ(Cp932ToUtf8(sjis), utf8);
}

TEST(EncodingTest, InvalidBytesDecodeToReplacementCharacter) {
  // 0x81 starts a double-byte character; 0x20 cannot follow it.
  std::string decoded = Cp932ToUtf8(std::string("a\x81 b", 4));
  EXPECT_NE(decoded.find("\xEF\xBF\xBD"), std::string::npos);
  EXPECT_EQ(decoded.front(), 'a');
  EXPECT_EQ(decoded.back(), 'b');
  EXPECT_NE(DecodeToUtf8("\xa4 x", Charset::kEucJp).find("\xEF\xBF\xBD"), std::string::npos);
  EXPECT_EQ(DecodeToUtf8("ok\xff", Charset::kUtf8), "ok\xEF\xBF\xBD");
}

TEST(EncodingTest, UnmappableCharacterIsSubstitutedAndReported) {
  std::string out;
  EXPECT_FALSE(EncodeFromUtf8("a😀b", Charset::kCp932, out));
  EXPECT_EQ(out, "a?b");
  EXPECT_FALSE(EncodeFromUtf8("x\xff", Charset::kUtf8, out));
}

TEST(EncodingTest, EucJpAndBig5RoundTrip) {
  for (Charset cs : {Charset::kEucJp, Charset::kUtf8}) {
    std::string bytes;
    ASSERT_TRUE(EncodeFromUtf8("東方系同人", cs, bytes));
    EXPECT_EQ(DecodeToUtf8(bytes, cs), "東方系同人");
  }
  std::string big5;
  ASSERT_TRUE(EncodeFromUtf8("中文", Charset::kBig5, big5));
  EXPECT_EQ(big5.size(), 4u);
  EXPECT_EQ(DecodeToUtf8(big5, Charset::kBig5), "中文");
}

TEST(EncodingTest, Utf16LengthCountsSurrogatePairs) {
  EXPECT_EQ(Utf16Length("ab"), 2u);
  EXPECT_EQ(Utf16Length("あい"), 2u);
  EXPECT_EQ(Utf16Length("😀"), 2u);
}

}  // namespace
}  // namespace common
