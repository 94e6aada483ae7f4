#include "converter/index/index_entry.h"

#include <gtest/gtest.h>

#include "converter/index/index_pages.h"

namespace converter::index {
namespace {

IndexEntry Sample() {
  IndexEntry e;
  e.pageFile = "1234567890.html";
  e.inputFile = "1234567890.dat";
  e.parts = "0";
  e.inputTime = "1700000000";
  e.pageFolder = "srv/board/";
  e.letterPath = "srv/board/";
  e.title = "タイトル\x08with tab";
  e.posts = 123;
  e.firstPostTime = "20080101120000";
  e.lastPostTime = "20080102120000";
  e.lastNonSageTime = "20080101130000";
  e.kindName = "2ch";
  e.server = "srv";
  e.boardAddress = "http://srv/board/";
  e.boardFolder = "board";
  e.boardName = "板";
  e.encodings = "Shift_JIS,UTF-8";
  e.message = "本文 <br> 二行目\x07";
  return e;
}

TEST(IndexRecord, WrittenLineReadsBackTheSameEntry) {
  IndexEntry e = Sample();
  std::string line = IndexRecordText(e);
  EXPECT_EQ(line.rfind("htmlindextag v1.1\t", 0), 0u);
  EXPECT_EQ(line.back(), '\t');
  EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 22);
  std::optional<IndexEntry> back = ParseIndexRecord(line + "\r\n");
  ASSERT_TRUE(back);
  EXPECT_EQ(IndexRecordText(*back), line);
  EXPECT_EQ(back->OutputEncoding(), "UTF-8");
  EXPECT_EQ(back->Identity(), e.Identity());
}

TEST(IndexRecord, RefusesLinesThatAreNoRecordOrPointOutside) {
  std::string good = IndexRecordText(Sample());
  auto replaced = [&](size_t field, const std::string& value) {
    std::string line = good;
    size_t start = 0;
    for (size_t i = 0; i < field; ++i) start = line.find('\t', start) + 1;
    size_t end = line.find('\t', start);
    return line.replace(start, end - start, value);
  };
  struct Case {
    const char* why;
    std::string line;
  } cases[] = {
      {"empty", ""},
      {"other tag", replaced(0, "htmlindextag v1.0")},
      {"too few fields", good.substr(0, good.find("本文"))},
      {"page file with a folder", replaced(1, "../x.html")},
      {"no page file", replaced(1, "")},
      {"page folder above the root", replaced(6, "../../etc/")},
      {"letter path above the root", replaced(7, "a/../../")},
      {"post count not a number", replaced(9, "12x")},
  };
  for (const Case& c : cases) EXPECT_FALSE(ParseIndexRecord(c.line)) << c.why;
}

TEST(IndexRecord, SplitThreadIsListedInTheFolderAboveItsParts) {
  IndexEntry e = Sample();
  e.parts = "3";
  e.pageFolder = "srv/board/1234567890/";
  e.pageFile = "1234567890_01.html";
  EXPECT_EQ(e.ListFolder(), "srv/board/");
  e.pageFolder = "srv/board/";  // /a=c keeps parts beside the others
  EXPECT_EQ(e.ListFolder(), "srv/board/");
  e.parts = "0";
  e.pageFolder = "x/";
  EXPECT_EQ(e.ListFolder(), "x/");
}

TEST(IndexHtml, TitlesAndPostsCarryNoMarkupOfTheLog) {
  struct Case {
    std::string in, title, message;
  } cases[] = {
      {"<script>alert(1)</script>", "&lt;script&gt;alert(1)&lt;/script&gt;", "alert(1)"},
      {"a <br> b", "a &lt;br&gt; b", "a <br> b"},
      {"<a href=\"../test/read.cgi/x/1/2\" target=\"_blank\">&gt;&gt;2</a>",
       "&lt;a href=\"../test/read.cgi/x/1/2\" target=\"_blank\"&gt;&amp;gt;&amp;gt;2&lt;/a&gt;",
       "&gt;&gt;2"},
      {"<img src=x onerror=alert(1)>x", "&lt;img src=x onerror=alert(1)&gt;x", "x"},
      {"1 < 2 > 0", "1 &lt; 2 &gt; 0", "1 &lt; 2 &gt; 0"},
      {"", "(無題)", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(MessageHtml(c.in), c.message) << c.in;
    std::string title = TitleHtml(c.in);
    EXPECT_EQ(title.find('<'), std::string::npos) << c.in;
    if (c.in.empty()) {
      EXPECT_EQ(title, c.title);
    }
  }
}

TEST(IndexHtml, HrefPartsKeepTheirMeaning) {
  EXPECT_EQ(HrefPart("example(81-100).html"), "example(81-100).html");
  EXPECT_EQ(HrefPart("a b#c?d%e\"f.html"), "a%20b%23c%3Fd%25e%22f.html");
  EXPECT_EQ(HrefPart("２ちゃんねる/"), "２ちゃんねる/");
}

}  // namespace
}  // namespace converter::index
