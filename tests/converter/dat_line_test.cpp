// Lines and fields of a log: the one-pass splitter against line by line
// splitting, on real logs and on lines that put separators, CRs and LFs on
// every side of its blocks of sixteen to sixty-four bytes.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "converter/reading/dat_line.h"
#include "test_data.h"

namespace converter {
namespace {

// Each line as NextLine and SplitCurrentForm give it, then as the one-pass
// splitter does; the first difference fails.
void ExpectSameLines(std::string_view text, size_t start, bool wide) {
  size_t pos = start;
  std::string_view line;
  CurrentFormLines lines(text, start, wide);
  std::string_view oneLine;
  DatFields oneFields;
  int number = 0;
  while (NextLine(text, pos, line)) {
    SCOPED_TRACE("line " + std::to_string(++number));
    ASSERT_TRUE(lines.Next(oneLine, oneFields));
    ASSERT_EQ(lines.pos(), pos);
    ASSERT_EQ(oneLine.data(), line.data());
    ASSERT_EQ(oneLine.size(), line.size());
    DatFields fields = SplitCurrentForm(line);
    ASSERT_EQ(oneFields.count, fields.count);
    for (int k = 0; k < fields.count; ++k) {
      EXPECT_EQ(oneFields.field[k].data(), fields.field[k].data()) << "field " << k;
      EXPECT_EQ(oneFields.field[k].size(), fields.field[k].size()) << "field " << k;
    }
  }
  EXPECT_FALSE(lines.Next(oneLine, oneFields));
}

TEST(DatLines, OnePassSplitsAsLineByLine) {
  const char* const pieces[] = {"<>",   "<",      ">",    "<<>",  "<>>",      "\r",  "\n",
                                "\r\n", "<>\r\n", "<\n>", "name", "\x82\xA0", "<br>"};
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string text;
    const int parts = static_cast<int>(random() % 30);
    for (int p = 0; p < parts; ++p) {
      if (random() % 4 == 0) {
        text.append(random() % 70, 'x');  // runs across the block edges
      } else {
        text += pieces[random() % std::size(pieces)];
      }
    }
    SCOPED_TRACE(::testing::PrintToString(text));
    for (bool wide : {false, WideLineBlocks()}) {
      ExpectSameLines(text, 0, wide);
      if (!text.empty()) ExpectSameLines(text, random() % text.size(), wide);
    }
    if (HasFatalFailure()) return;
  }
  // Lines of more than seven fields drop the rest after the seventh separator.
  ExpectSameLines("1<>2<>3<>4<>5<>6<>7<>8<>9\n<><><><><><><><>\n1<>2<>3<>4<>5<>6<>\r\n", 0,
                  WideLineBlocks());
  for (const char* log : {"twoB-2ch/2ch_with_id_and_be.dat", "twoB-jbbs/aa-euc.dat"}) {
    REAL_LOG_OR_SKIP(bytes, log);
    ExpectSameLines(bytes, 0, false);
    ExpectSameLines(bytes, 0, WideLineBlocks());
  }
}

}  // namespace
}  // namespace converter
