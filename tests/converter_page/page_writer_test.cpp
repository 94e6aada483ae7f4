#include "converter/page/page_writer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "common/encoding.h"
#include "tests/converter_page/test_thread.h"

namespace converter::page {
namespace {

using ::testing::HasSubstr;
using testing::MakeThread;
using testing::MakeThreadOf;
using ::testing::Not;
using testing::PostText;

PageSetup PlainSetup() {
  PageSetup setup;
  setup.folder = "/out/";
  setup.baseName = "1234567890";
  return setup;
}

// Yagura's /m=E2058000 /js=80F.
Options YaguraOptions() {
  Options cmd;
  cmd.m.namae = true;
  cmd.m.toukoubi = true;
  cmd.m.maildshow = true;
  cmd.m.size = true;
  cmd.m.notdelsp = false;
  cmd.m.link_backtoboard = false;
  cmd.m.link_moto = true;
  cmd.m.link_back = true;
  cmd.m.link_numlink = true;
  cmd.m.credit = false;
  cmd.js.enabled = true;
  cmd.js.method = true;
  cmd.js.respopup = cmd.js.mailpopup = cmd.js.idpopup = cmd.js.refpopup = true;
  return cmd;
}

int Count(const std::string& text, const std::string& needle) {
  int n = 0;
  for (size_t at = text.find(needle); at != std::string::npos; at = text.find(needle, at + 1)) ++n;
  return n;
}

struct SplitCase {
  int posts;
  long long every;
  int parts;
  int lastFirstPost;  // number of the first post of the last part
};

class Splitting : public ::testing::TestWithParam<SplitCase> {};

TEST_P(Splitting, PartsAndTheirPosts) {
  const SplitCase& c = GetParam();
  auto thread = MakeThreadOf(c.posts);
  Options cmd;
  cmd.partSize = c.every;
  BuiltPages pages = BuildPages(*thread, cmd, PlainSetup());
  ASSERT_EQ(pages.parts, c.parts);
  ASSERT_EQ(pages.files.size(), static_cast<size_t>(c.parts));
  EXPECT_EQ(pages.files[0].path, "/out/1234567890_01.html");
  const std::string& last = pages.files.back().bytes;
  EXPECT_THAT(last, HasSubstr("<dt><a name=\"R" + std::to_string(c.lastFirstPost) + "\">"));
  EXPECT_THAT(last, HasSubstr("<a name=\"R" + std::to_string(c.posts) + "\">"));
  EXPECT_EQ(Count(last, "<dt>"), c.posts - c.lastFirstPost + 1);
  // Every part links to its neighbours.
  EXPECT_THAT(pages.files[0].bytes,
              HasSubstr("<a href=\"1234567890_02.html\">次" + std::to_string(c.every) + "</a>"));
  EXPECT_THAT(last, HasSubstr("前" + std::to_string(c.every) + "</a>"));
}

INSTANTIATE_TEST_SUITE_P(Parts, Splitting,
                         ::testing::Values(SplitCase{1001, 100, 10, 901},
                                           SplitCase{1001, 300, 4, 901},
                                           SplitCase{1003, 100, 10, 901},
                                           SplitCase{1004, 100, 11, 1001},
                                           SplitCase{250, 100, 3, 201}));

TEST(PartFileName, WidthFollowsThePartCount) {
  EXPECT_EQ(PartFileName("t", 3, 99), "t_03.html");
  EXPECT_EQ(PartFileName("t", 3, 100), "t_0003.html");
  EXPECT_EQ(PartFileName("t", 3, 10000), "t_00003.html");
}

// A name that is only a trip gets its blank in every page encoding.
TEST(BuildPages, NameStartingWithATripGetsItsBlankInUtf8) {
  std::vector<PostText> posts(1);
  posts[0].name = "</b>◆4xAJeG.COM <b>";
  auto thread = MakeThread(posts, "");
  BuiltPages pages = BuildPages(*thread, Options(), PlainSetup());
  EXPECT_THAT(pages.files[0].bytes, HasSubstr("<b></b>◆4xAJeG.COM <b> </b></font>"));
}

TEST(BuildPages, HundredLinksAndLatestFifty) {
  auto thread = MakeThreadOf(250);
  BuiltPages pages = BuildPages(*thread, Options(), PlainSetup());
  const std::string& page = pages.files[0].bytes;
  EXPECT_THAT(page, HasSubstr("<a href=\"1234567890.html\">全部</a>\r\n <a href=\"#R1\">1-</a>\r\n "
                              "<a href=\"#R101\">101-</a>\r\n <a href=\"#R201\">201-</a>\r\n "
                              "<a href=\"#R201\">最新50</a>"));
  EXPECT_THAT(page, Not(HasSubstr("301-")));
  EXPECT_EQ(Count(page, "<dt>"), 250);
}

TEST(BuildPages, YaguraPageLayout) {
  std::vector<PostText> posts(3);
  posts[0].mail = "sage";
  posts[1].name = "アジェグ４倍 </b>◆4xAJeG.COM <b>";
  posts[2].body =
      " <a href=\"../test/read.cgi/x/1/1\" target=\"_blank\">&gt;&gt;1</a> <br> ttp://example/ ";
  auto thread = MakeThread(posts, "");
  BuiltPages pages = BuildPages(*thread, YaguraOptions(), PlainSetup());
  const std::string& page = pages.files[0].bytes;
  EXPECT_EQ(
      page.rfind(
          "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 "
          "Transitional//EN\">\r\n<html>\r\n<head>\r\n"
          "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=UTF-8\">\r\n"
          "<meta http-equiv=\"Content-Script-Type\" content=\"text/javascript\">\r\n"
          "<meta name=\"Author\" content=\"1234567890\">\r\n<title>(無題)</title>\r\n"
          "<script type=\"text/javascript\" defer>\r\n<!--\r\n//-->\r\n</script>\r\n</head>\r\n",
          0),
      0u);
  EXPECT_THAT(
      page,
      HasSubstr("<dt><a name=\"R1\">1</a> 名前：<font color=green><b>名無しさん</b></font>[sage]"
                "投稿日：2008/01/07(月) 14:10:06 ID:T0OW3SHo<dd>本文<br><br>\r\n"));
  EXPECT_THAT(page, HasSubstr("<b>アジェグ４倍 </b>◆4xAJeG.COM <b></b></font>"));
  EXPECT_THAT(page, HasSubstr("<dd><a href=\"#R1\">&gt;&gt;1</a><br><a href=\"http://example/\" "
                              "target=\"_blank\">ttp://example/</a><br><br>"));
  EXPECT_THAT(page,
              HasSubstr("<h1 style=\"color:red;font-size:larger;font-weight:normal;margin:-.5em 0 "
                        "0;\">(無題)</h1>\r\n<dl class=\"thread\">"));
  EXPECT_THAT(page, HasSubstr("<font color=red face=\"Arial\"><b>1 KB</b></font>"));
  EXPECT_THAT(page, Not(HasSubstr("Converted.")));  // credit off
}

TEST(BuildPages, CreditOnTheLastPartOnly) {
  auto thread = MakeThreadOf(250);
  Options cmd;
  cmd.partSize = 100;
  BuiltPages pages = BuildPages(*thread, cmd, PlainSetup());
  ASSERT_EQ(pages.files.size(), 3u);
  EXPECT_THAT(pages.files[0].bytes, Not(HasSubstr("Converted.")));
  EXPECT_THAT(pages.files[2].bytes,
              HasSubstr("0.35a Converted.</font></div>\r\n</body>\r\n</html>\r\n"));
  cmd.x = true;
  EXPECT_THAT(BuildPages(*thread, cmd, PlainSetup()).files[2].bytes, Not(HasSubstr("Converted.")));
}

// The credit's link text is a line end and the program's name; the version follows once.
TEST(BuildPages, AddressesInAttributesEscapeTheirAmpersands) {
  std::vector<PostText> posts(2);
  posts[1].body = "http://a.example/?x=1&y=2";
  auto thread = MakeThread(posts, "題", BoardKind::kMachi);
  thread->board.address = "http://machi.to/tokyo/";
  thread->board.threadAddress = "http://machi.to/bbs/read.cgi?BBS=tokyo&KEY=1234567890";
  const std::string page = BuildPages(*thread, Options(), PlainSetup()).files[0].bytes;
  EXPECT_THAT(page,
              HasSubstr("<meta name=\"Author\" "
                        "content=\"http://machi.to/bbs/read.cgi?BBS=tokyo&amp;KEY=1234567890\">"));
  EXPECT_THAT(page,
              HasSubstr("<a href=\"http://machi.to/bbs/read.cgi?BBS=tokyo&amp;KEY=1234567890\">"));
  EXPECT_THAT(page, HasSubstr("<a href=\"http://a.example/?x=1&amp;y=2\" target=\"_blank\">"));
  // No "&" in a tag begins anything but a reference.
  EXPECT_FALSE(std::regex_search(page, std::regex("<[^<>]*&(?![a-z]+;|#[0-9]+;)[^<>]*>")));
}

TEST(BuildPages, HeadNamesTheCharsetOfTheBytesWritten) {
  auto thread = MakeThread(std::vector<PostText>(1), "題", BoardKind::kTaiwan2ch);
  thread->outputKanjicode = 4;
  EXPECT_THAT(BuildPages(*thread, Options(), PlainSetup()).files[0].bytes,
              HasSubstr("charset=big5\">"));
  thread->outputKanjicode = 3;  // forced with /m
  EXPECT_THAT(BuildPages(*thread, Options(), PlainSetup()).files[0].bytes,
              HasSubstr("charset=UTF-8\">"));
}

TEST(BuildPages, CreditLineNamesTheVersionOnce) {
  const std::string page = BuildPages(*MakeThreadOf(2), Options(), PlainSetup()).files[0].bytes;
  EXPECT_THAT(page, HasSubstr("target=\"_blank\">\r\nSHOIN</a> 0.35a Converted.</font></div>"));
  EXPECT_EQ(Count(page, "0.35a"), 1);
}

TEST(BuildPages, OverLongPostIsBrokenAndTheOthersStay) {
  std::vector<PostText> posts(3);
  posts[1].body = std::string(150001, 'x');
  posts[2].body = "最後";
  auto thread = MakeThread(posts);
  BuiltPages pages = BuildPages(*thread, Options(), PlainSetup());
  const std::string& page = pages.files[0].bytes;
  EXPECT_THAT(
      page,
      HasSubstr("<a name=\"R2\">2</a> 名前：<font color=green><b>[ここ壊れてます]</b></font>："
                "[ここ壊れてます]<dd>[ここ壊れてます]<br><br>"));
  EXPECT_THAT(page, HasSubstr("<dd>最後<br><br>"));
  EXPECT_LT(page.size(), 10000u);
}

TEST(BuildPages, LongPostsGoWholeToTheCompanion) {
  std::vector<PostText> posts(2);
  posts[1].body = "1 <br> 2 <br> 3 <br> 4";
  auto thread = MakeThread(posts);
  Options cmd;
  cmd.m.notdelsp = false;
  cmd.m.limitoflinenumber = 2;
  BuiltPages pages = BuildPages(*thread, cmd, PlainSetup());
  ASSERT_TRUE(pages.overflow);
  ASSERT_EQ(pages.files.size(), 2u);
  EXPECT_THAT(pages.files[0].bytes,
              HasSubstr("<dd>1<br>2<font color=\"green\">（省略されました・・全てを読むには<a "
                        "href=\"1234567890_o.html#R2\">ここ</a>を押してください）</font><br><br>"));
  EXPECT_EQ(pages.files[1].path, "/out/1234567890_o.html");
  EXPECT_THAT(pages.files[1].bytes, HasSubstr("<dd>1<br>2<br>3<br>4<br><br>"));
  EXPECT_EQ(Count(pages.files[1].bytes, "<dt>"), 1);
}

// The companion holds only the cut posts: every in-page link of its bars and
// of the posts it holds leads into the main page, where the posts are.
TEST(BuildPages, CompanionLinksLeadIntoTheMainPage) {
  std::vector<PostText> posts(120);
  posts[110].body =
      "<a href=\"../test/read.cgi/x/1234567890/5\" target=\"_blank\">&gt;&gt;5</a> <br> 2 <br> 3";
  auto thread = MakeThread(posts);
  Options cmd;
  cmd.m.limitoflinenumber = 2;
  BuiltPages pages = BuildPages(*thread, cmd, PlainSetup());
  ASSERT_EQ(pages.files.size(), 2u);
  const std::string& main = pages.files[0].bytes;
  const std::string& companion = pages.files[1].bytes;
  EXPECT_THAT(main, HasSubstr("<a href=\"#R101\">101-</a>"));
  EXPECT_THAT(main, HasSubstr("<a href=\"#R5\">&gt;&gt;5</a>"));
  EXPECT_THAT(companion, HasSubstr("<a href=\"1234567890.html#R1\">1-</a>"));
  EXPECT_THAT(companion, HasSubstr("<a href=\"1234567890.html#R101\">101-</a>"));
  EXPECT_THAT(companion, HasSubstr("<a href=\"1234567890.html#R71\">最新50</a>"));
  EXPECT_THAT(companion, HasSubstr("<a href=\"1234567890.html#R5\">&gt;&gt;5</a>"));
  // The only anchor the companion holds is the cut post's own.
  std::regex local("href=\"#R?([0-9]+)\"");
  for (auto it = std::sregex_iterator(companion.begin(), companion.end(), local);
       it != std::sregex_iterator(); ++it) {
    EXPECT_EQ((*it)[1], "111") << (*it)[0];
  }
}

TEST(BuildPages, LogMarkupCannotRunScript) {
  std::vector<PostText> posts(1);
  posts[0].name = "<script>alert('name')</script>";
  posts[0].mail = "\"><script>alert('mail')</script>";
  posts[0].body = "<img src=x onerror=alert(1)> <br> <a href=\"javascript:alert(2)\">x</a>";
  auto thread = MakeThread(posts, "<script>alert('title')</script>");
  BuiltPages pages = BuildPages(*thread, Options(), PlainSetup());
  const std::string& page = pages.files[0].bytes;
  EXPECT_THAT(page, Not(HasSubstr("<script>")));
  EXPECT_THAT(page, Not(HasSubstr("<img")));
  EXPECT_THAT(page, Not(HasSubstr("<a href=\"javascript")));
  EXPECT_THAT(page, HasSubstr("mailto:&quot;&gt;&lt;script&gt;"));
}

TEST(BuildPages, OutputEncodingAndMissingCharacters) {
  std::vector<PostText> posts(1);
  posts[0].body = "漢字と😀と한국어";
  auto thread = MakeThread(posts, "題");
  thread->outputKanjicode = 1;  // Shift_JIS out of UTF-8 in
  BuiltPages pages = BuildPages(*thread, Options(), PlainSetup());
  const std::string& page = pages.files[0].bytes;
  EXPECT_THAT(page, HasSubstr("charset=Shift_JIS"));
  std::string expected;
  common::EncodeFromUtf8("<dd>漢字と&#128512;と&#54620;&#44397;&#50612;<br><br>",
                         common::Charset::kCp932, expected);
  EXPECT_THAT(page, HasSubstr(expected));
  std::string title;
  common::EncodeFromUtf8("<title>題</title>", common::Charset::kCp932, title);
  EXPECT_THAT(page, HasSubstr(title));
}

TEST(BuildPages, BoardLinksNeedTheBoardAddress) {
  auto thread = MakeThreadOf(3);
  EXPECT_THAT(BuildPages(*thread, Options(), PlainSetup()).files[0].bytes,
              Not(HasSubstr("元のスレッド")));
  thread->board.address = "http://pc11.2ch.net/linux/";
  thread->board.name = "Linux板";
  thread->board.threadAddress = "http://pc11.2ch.net/test/read.cgi/linux/1234567890/";
  const std::string page = BuildPages(*thread, Options(), PlainSetup()).files[0].bytes;
  EXPECT_THAT(page, HasSubstr("<a href=\"http://pc11.2ch.net/linux/\">Linux板に戻る</a>"));
  EXPECT_THAT(
      page,
      HasSubstr(
          "<a href=\"http://pc11.2ch.net/test/read.cgi/linux/1234567890/\">元のスレッド</a>"));
  EXPECT_THAT(page, HasSubstr("<meta name=\"Author\" "
                              "content=\"http://pc11.2ch.net/test/read.cgi/linux/1234567890/\">"));
}

TEST(BuildPages, BeMarkLinksToTheProfile) {
  std::vector<PostText> posts(1);
  posts[0].date = "2008/08/17(日) 15:30:19 ID:1hlWO7Vt BE:95537333-2BP(111)";
  auto thread = MakeThread(posts, "題", BoardKind::kBe2ch);
  EXPECT_THAT(BuildPages(*thread, Options(), PlainSetup()).files[0].bytes,
              HasSubstr("ID:1hlWO7Vt BE:95537333-2BP(111)<dd>"));  // no address, no link
  thread->board.threadAddress = "http://be.2ch.net/test/read.cgi/be/1218954619/";
  EXPECT_THAT(
      BuildPages(*thread, Options(), PlainSetup()).files[0].bytes,
      HasSubstr("BE:<a href=\"http://be.2ch.net/test/p.php?i=95537333&amp;u=d:http://be.2ch.net/"
                "test/read.cgi/be/1218954619/1\" target=\"_blank\">95537333-2BP(111)</a><dd>"));
  Options cmd;
  cmd.js.enabled = cmd.js.belink = true;
  const std::string page = BuildPages(*thread, cmd, PlainSetup()).files[0].bytes;
  EXPECT_THAT(page, HasSubstr("BE:<a href=\"javascript:be(95537333,1);\">95537333-2BP(111)</a>"));
  EXPECT_THAT(page, HasSubstr("function be(i,r){"));
}

TEST(BuildPages, NameInsideAMailLinkGetsNoLinkOfItsOwn) {
  std::vector<PostText> posts(2);
  posts[0].name = "http://a.example/ <a href=\"x\">&gt;&gt;2</a>";
  posts[0].mail = "age";
  posts[1].name = "http://a.example/";
  const std::string page = BuildPages(*MakeThread(posts), Options(), PlainSetup()).files[0].bytes;
  EXPECT_THAT(page, HasSubstr("<a href=\"mailto:age\"><b>http://a.example/ &gt;&gt;2</b></a>"));
  EXPECT_THAT(
      page,
      HasSubstr("<b><a href=\"http://a.example/\" target=\"_blank\">http://a.example/</a></b>"));
}

// The mail column is kept from post to post as well: a change of mail, to
// none and back, and a mail that needs escaping show in the post they belong to,
// in the link and as text.
TEST(BuildPages, RepeatedMailsFollowTheirPosts) {
  std::vector<PostText> posts(5);
  for (PostText& p : posts) p.name = "n";
  posts[0].mail = posts[1].mail = "sage";
  posts[3].mail = "a\"<b>";
  posts[4].mail = "sage";
  for (bool shown : {false, true}) {
    Options cmd;
    cmd.m.maildshow = shown;
    const std::string page = BuildPages(*MakeThread(posts), cmd, PlainSetup()).files[0].bytes;
    const std::vector<std::string> expected =
        shown ? std::vector<std::string>{"[sage]", "[sage]", "<b>n</b></font>[]", "[a\"&lt;b&gt;]",
                                         "[sage]"}
              : std::vector<std::string>{"mailto:sage\"", "mailto:sage\"",
                                         "<font color=green><b>n</b></font>",
                                         "mailto:a&quot;&lt;b&gt;\"", "mailto:sage\""};
    size_t at = 0;
    for (const std::string& column : expected) {
      at = page.find(column, at);
      ASSERT_NE(at, std::string::npos) << column << (shown ? " shown" : " linked");
      ++at;
    }
    EXPECT_EQ(Count(page, shown ? "[sage]" : "mailto:sage\""), 3);
  }
}

// A name written once is reused for the next post of the same name; the
// mail link around it, and a first empty name, must still count.
TEST(BuildPages, RepeatedNamesFollowTheirMailLinks) {
  std::vector<PostText> posts(4);
  for (PostText& p : posts) p.name = "http://a.example/";
  posts[0].mail = posts[2].mail = "age";
  const std::string page = BuildPages(*MakeThread(posts), Options(), PlainSetup()).files[0].bytes;
  const std::string inMail = "<a href=\"mailto:age\"><b>http://a.example/</b></a>";
  const std::string linked =
      "<b><a href=\"http://a.example/\" target=\"_blank\">http://a.example/</a></b>";
  size_t at = 0;
  for (const std::string* name : {&inMail, &linked, &inMail, &linked}) {
    at = page.find(*name, at);
    ASSERT_NE(at, std::string::npos) << *name;
    ++at;
  }

  std::vector<PostText> unnamed(2);
  unnamed[0].name = unnamed[1].name = "";
  Options cmd;
  cmd.m.readcgi7xx = true;
  const std::string old = BuildPages(*MakeThread(unnamed), cmd, PlainSetup()).files[0].bytes;
  EXPECT_THAT(old, HasSubstr("<a name=\"R1\">1</a> 名前：<font color=green><b> </b></font>"));
  EXPECT_THAT(old, HasSubstr("<a name=\"R2\">2</a> 名前：<font color=green><b> </b></font>"));
}

struct KindCase {
  const char* name;
  BoardKind kind;
  std::vector<std::string> fragments;
};

class BoardKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(BoardKinds, LayoutAndLabels) {
  auto thread = MakeThread(std::vector<PostText>(2), "題", GetParam().kind);
  thread->board.address = "http://example.test/board/";
  const std::string page = BuildPages(*thread, Options(), PlainSetup()).files[0].bytes;
  for (const std::string& fragment : GetParam().fragments) EXPECT_THAT(page, HasSubstr(fragment));
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, BoardKinds,
    ::testing::Values(
        KindCase{"TwoChannel",
                 BoardKind::k2ch,
                 {"<div style=\"margin-top:1em;\"><span style='float:left;'>\r\n<a "
                  "href=\"http://www.2ch.net/\">２ちゃんねる</a>\r\n "
                  "<a href=\"http://example.test/board/\">掲示板に戻る</a>",
                  "</h1>\r\n<dl class=\"thread\">"}},
        KindCase{"Machi",
                 BoardKind::kMachi,
                 {"<BODY TEXT=\"#000000\"", "レスを全部読む</a>",
                  "最新レス50</a>\r\n<br>\r\n<dl>\r\n<font size=+1 color=red>題</font>",
                  "</font>： 2008"}},
        KindCase{
            "World",
            BoardKind::kWorld2ch,
            {"Returns to bbs.</a>", "Read all</a>", "Last 50</a>", "Name: ", "vlink=\"#aa0088\""}},
        KindCase{"Be", BoardKind::kBe2ch, {"<dt title=1>", "<br style='clear:both;'>"}},
        // Two <br> after the bar: one of the kind, one of the Chinese page language.
        KindCase{
            "Taiwan", BoardKind::kTaiwan2ch, {"</a>\r\n<br><br>\r\n<font size=+1 color=red>"}}),
    [](const ::testing::TestParamInfo<KindCase>& info) { return std::string(info.param.name); });

TEST(BuildPages, ListTagsLeftOutAndIndexRecordEmbedded) {
  auto thread = MakeThreadOf(2);
  Options cmd;
  cmd.m.omitdldd = true;
  cmd.m.writehtmlindextag = true;
  PageSetup setup = PlainSetup();
  setup.indexRecord = "htmlindextag v1.1\t1234567890.html\t--x\t";
  const std::string page = BuildPages(*thread, cmd, setup).files[0].bytes;
  EXPECT_THAT(page, Not(HasSubstr("<dt>")));
  EXPECT_THAT(page, Not(HasSubstr("<!DOCTYPE")));
  EXPECT_THAT(page, HasSubstr("</font>：2008/01/07(月) 14:10:06 ID:T0OW3SHo<br>本文<br><br>"));
  // The record cannot end its comment early.
  EXPECT_THAT(page,
              HasSubstr("<!--\r\nhtmlindextag v1.1\t1234567890.html\t- -x\t\r\n-->\r\n</body>"));
}

}  // namespace
}  // namespace converter::page
