#include "converter/page/text_sink.h"

#include <gtest/gtest.h>

#include <string>

namespace converter::page {
namespace {

// Pieces of every length across the steps in which room is made: the
// string holds exactly what a plain append would, after what it held.
TEST(TextSink, AppendsLikeTheStringItself) {
  for (const std::string& start : {std::string(), std::string("<dl>"), std::string(5000, 'h')}) {
    std::string written = start;
    std::string expected = start;
    {
      TextSink sink(written);
      for (size_t n = 0; n < 700; ++n) {
        std::string piece(n % 97, static_cast<char>('a' + n % 26));
        sink.append(piece);
        sink += '|';
        expected += piece + "|";
        ASSERT_EQ(sink.size(), expected.size());
        ASSERT_EQ(sink.View(start.size()), std::string_view(expected).substr(start.size()));
      }
    }
    EXPECT_EQ(written, expected);
  }
}

TEST(TextSink, TakesBackWhatItWrote) {
  std::string text = "<dt>";
  TextSink sink(text);
  sink += "1 <b>name</b> ";
  EXPECT_EQ(sink.back(), ' ');
  sink.pop_back();
  size_t body = sink.size();
  sink += "a body to rewrite";
  EXPECT_EQ(sink.View(body), "a body to rewrite");
  sink.Truncate(body);
  sink.Truncate(body + 100);  // never longer than written
  sink += "<br><br>";
  sink.Finish();
  EXPECT_EQ(text, "<dt>1 <b>name</b><br><br>");
  sink += "\n";  // goes on after Finish
  sink.Finish();
  EXPECT_EQ(text, "<dt>1 <b>name</b><br><br>\n");
}

}  // namespace
}  // namespace converter::page
