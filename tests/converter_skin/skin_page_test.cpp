// Pages from skin templates: marker values, escaping of everything taken
// from a log, empty posts, parts, and the link pieces shared with the
// standard page.
#include "converter/skin/skin_page.h"

#include <gtest/gtest.h>

#include <regex>

#include "converter/options/command_line.h"
#include "converter/page/page_writer.h"
#include "tests/converter_page/test_thread.h"

namespace converter::skin {
namespace {

using page::testing::MakeThread;
using page::testing::MakeThreadOf;
using page::testing::PostText;

Skin MakeSkin(std::string header, std::string post, std::string footer) {
  Skin skin;
  skin.folder = "/skins/plain/";
  skin.header.utf8 = std::move(header);
  skin.post.utf8 = std::move(post);
  skin.footer.utf8 = std::move(footer);
  return skin;
}

// Options as the command line leaves them in skin mode.
Options SkinOptions(std::vector<std::string> extra = {}) {
  Options cmd;
  std::vector<std::string> args = {"/tmp/1234567890.dat", "/tmp/out", "/p=/skins/plain"};
  args.insert(args.end(), extra.begin(), extra.end());
  PathContext context{"/tmp", "/tmp", "/tmp"};
  ParseCommandLine(args, context, cmd);
  return cmd;
}

page::BuiltPages Build(const Thread& thread, const Skin& skin, const Options& cmd) {
  page::PageSetup setup;
  setup.folder = "/tmp/out/";
  setup.baseName = thread.baseName;
  return BuildSkinPages(thread, cmd, setup, skin);
}

std::string Page(const Thread& thread, const Skin& skin, const Options& cmd = SkinOptions()) {
  page::BuiltPages pages = Build(thread, skin, cmd);
  return pages.files.empty() ? "" : pages.files.front().bytes;
}

TEST(SkinPage, PostMarkers) {
  std::vector<PostText> posts(12);
  posts[11] = {"太郎", "", "2008/01/07(月) 14:10:06 ID:T0OW3SHo", " 本文 <br> 二行目 "};
  posts[10] = {"花子", "sage", "2008/01/07(月) 14:10:06", "x"};
  auto thread = MakeThread(posts);
  Skin skin = MakeSkin("", "<NUMBER/>|<PLAINNUMBER/>|<MAILNAME/>|<DATE/>|<ID/>|<MESSAGE/>\n", "");
  std::string page = Page(*thread, skin);
  // Post 12, empty mail: the bold name alone; the ID apart from the date.
  EXPECT_NE(page.find("<a href=\"menu:12\" name=\"12\">12</a>|12|<b>太郎</b>|"
                      "2008/01/07(月) 14:10:06|T0OW3SHo| 本文 <br> 二行目\n"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find("|11|<a href=\"mailto:sage\"><b>花子</b></a>|"), std::string::npos);

  // Without <ID/> in the template the date keeps its ID; NAME and MAIL.
  skin = MakeSkin("", "<NAME/>/<MAIL/>/<DATE/>\n", "");
  page = Page(*thread, skin);
  EXPECT_NE(page.find("<b>太郎</b>//2008/01/07(月) 14:10:06 ID:T0OW3SHo\n"), std::string::npos);
  EXPECT_NE(page.find("<b>花子</b>/sage/"), std::string::npos);

  // In-page links follow bit 9.4: with it set they are #R<n>, and so is the anchor.
  posts[11].body = "<a href=\"../test/read.cgi/x/1/11\" target=\"_blank\">&gt;&gt;11</a>";
  thread = MakeThread(posts);
  skin = MakeSkin("", "<NUMBER/><MESSAGE/>\n", "");
  page = Page(*thread, skin, SkinOptions({"/m=810D90001"}));
  EXPECT_NE(page.find("<a href=\"menu:11\" name=\"R11\">11</a>"), std::string::npos);
  EXPECT_NE(page.find("href=\"#R11\""), std::string::npos);
  page = Page(*thread, skin);
  EXPECT_NE(page.find("<a href=\"menu:11\" name=\"11\">11</a>"), std::string::npos);
  EXPECT_NE(page.find("href=\"#11\""), std::string::npos);
}

TEST(SkinPage, BeFields) {
  auto thread =
      MakeThread({{"n", "", "2008/08/17(日) 15:30:19 ID:1hlWO7Vt BE:95537333-2BP(111)", "b"}});
  thread->board.threadAddress = "http://x.2ch.net/test/read.cgi/be/1234567890/";
  Skin skin = MakeSkin("", "<DATE/>|<BE/>|<BEID/>|<BASEBEID/>|<BELEVEL/>|<BESTRING/>\n", "");
  std::string page = Page(*thread, skin);
  EXPECT_NE(page.find("2008/08/17(日) 15:30:19 ID:1hlWO7Vt|BE:<a href=\"http://be.2ch.net/test/"
                      "p.php?i=95537333&amp;u=d:http://x.2ch.net/test/read.cgi/be/1234567890/1\""
                      " target=\"_blank\">95537333-2BP(111)</a>|95537333|95537333|2BP|"
                      "95537333-2BP(111)\n"),
            std::string::npos)
      << page;
  // Without a Be marker the date keeps the Be part, linked as on a standard page.
  skin = MakeSkin("", "<DATE/>\n", "");
  page = Page(*thread, skin);
  EXPECT_NE(page.find("ID:1hlWO7Vt BE:<a href="), std::string::npos) << page;
}

TEST(SkinPage, NothingFromALogCarriesScript) {
  auto thread =
      MakeThread({{"<script>alert(1)</script>", "\"><script>alert(2)</script>",
                   "2008/01/07(月) 14:10:06 ID:<script>x</script> BE:1-\"onmouseover=alert(3)",
                   "<script>alert(4)</script><img src=x onerror=alert(5)>"}},
                 "<script>alert(6)</script>&amp;");
  thread->board.name = "<script>alert(7)</script>";
  thread->board.address = "http://x/\"><script>alert(8)</script>";
  thread->board.threadAddress = "javascript:alert(9)\"><script>";
  Skin skin = MakeSkin(
      "<title><THREADNAME/></title><BOARDNAME/><a href=\"<BOARDURL/>\"></a>"
      "<a href=\"<THREADURL/>\"></a><LINK_BACKTOBOARD/><LINK_SOURCETHREAD/>\n",
      "<NAME/><MAILNAME/><MAIL/><DATE/><ID/><BE/><span title=\"<BESTRING/>\" "
      "class=\"<BELEVEL/>\"></span><MESSAGE/>\n",
      "");
  std::string page = Page(*thread, skin);
  EXPECT_EQ(page.find("<script"), std::string::npos) << page;
  EXPECT_EQ(page.find("<img"), std::string::npos) << page;
  // No attribute of a tag of the page comes from the log.
  EXPECT_FALSE(std::regex_search(page, std::regex("<[^<>]*[\"\\s]on[a-z]+="))) << page;
  // The title's own entities stay entities.
  EXPECT_NE(page.find("&lt;script&gt;alert(6)&lt;/script&gt;&amp;</title>"), std::string::npos)
      << page;
}

TEST(SkinPage, PostsWithoutAnyFieldWriteNothing) {
  auto thread = MakeThread({{"a", "", "d", "b"}, {"", "", "", ""}, {"c", "", "d", "e"}});
  Skin skin = MakeSkin("[", "<PLAINNUMBER/>,", "]");
  page::BuiltPages pages = Build(*thread, skin, SkinOptions());
  ASSERT_EQ(pages.files.size(), 1u);
  EXPECT_EQ(pages.files[0].bytes, "[1,3,]");
  EXPECT_EQ(pages.postsWritten, 2);
  EXPECT_EQ(pages.files[0].path, "/tmp/out/1234567890.html");
}

TEST(SkinPage, ThreadMarkers) {
  auto thread = MakeThreadOf(120);
  thread->board.name = "Linux板";
  thread->board.address = "http://pc11.2ch.net/linux/";
  thread->board.threadAddress = "http://pc11.2ch.net/test/read.cgi/linux/1234567890/";
  thread->fileSize = 5000;
  thread->sizeKb = 4;
  Skin skin = MakeSkin(
      "<GETRESCOUNT/>,<ALLRESCOUNT/>,<NEWRESCOUNT/>,<BOARDNAME/>,<BBSNAME/>,<BOARDURL/>,"
      "<THREADNAME/>,<SIZE/>,<SIZEKB/>,<CHARSET/>,<SKINPATH/>,<INDEXPATH/>,<BACKPATH/>,"
      "<NEXTPATH/>\n",
      "", "<LINK_CREDIT/>");
  std::string page = Page(*thread, skin);
  EXPECT_EQ(page.substr(0, page.find('\n') + 1),
            "120,120,0,Linux板,２ちゃんねる,http://pc11.2ch.net/linux/,テスト,5000,4,UTF-8,"
            "file:///skins/plain/,,,\n");
  EXPECT_NE(page.find("SHOIN</a> 0.35a Converted."), std::string::npos);
  // With an upload address the skin is found there.
  page = Page(*thread, MakeSkin("<SKINPATH/>", "", ""), SkinOptions({"/w=http://up.example/skin"}));
  EXPECT_EQ(page, "http://up.example/skin/");
  // /x drops the credit.
  EXPECT_EQ(Page(*thread, MakeSkin("", "", "<LINK_CREDIT/>"), SkinOptions({"/x"})), "");
}

// The link markers are the standard bar's pieces: together they make its bar.
TEST(SkinPage, LinkPiecesAreThoseOfTheStandardBar) {
  auto thread = MakeThreadOf(250);
  thread->board.name = "Linux板";
  thread->board.address = "http://pc11.2ch.net/linux/";
  thread->board.threadAddress = "http://pc11.2ch.net/test/read.cgi/linux/1234567890/";
  Options cmd = SkinOptions({"/m=810D90000"});
  Skin skin = MakeSkin(
      "<LINK_BACKTOINDEX/>|<LINK_BACKTOBOARD/>|<LINK_SOURCETHREAD/>|<LINK_ALL/>|"
      "<LINK_RESNUMBER/>|<LINK_BACK/>|<LINK_NEXT/>|<LINK_LASTFIFTY/>",
      "", "");
  std::string page = Page(*thread, skin, cmd);
  EXPECT_EQ(page,
            "|<a href=\"http://www.2ch.net/\">２ちゃんねる</a>\r\n"
            " <a href=\"http://pc11.2ch.net/linux/\">Linux板に戻る</a>\r\n"
            "|<a href=\"http://pc11.2ch.net/test/read.cgi/linux/1234567890/\">元のスレッド</a>\r\n"
            "|<a href=\"1234567890.html\">全部</a>\r\n"
            "|<a href=\"#1\">1-</a>\r\n <a href=\"#101\">101-</a>\r\n <a href=\"#201\">201-</a>\r\n"
            "|||<a href=\"#201\">最新50</a>\r\n");

  // Split: one page per part with the part links and paths.
  Skin parts =
      MakeSkin("<BACKPATH/>,<NEXTPATH/>|<LINK_BACK/>|<LINK_NEXT/>|", "<PLAINNUMBER/> ", "");
  page::BuiltPages pages = Build(*thread, parts, SkinOptions({"/d=100"}));
  ASSERT_EQ(pages.files.size(), 3u);
  EXPECT_TRUE(pages.split);
  EXPECT_EQ(pages.files[1].path, "/tmp/out/1234567890_02.html");
  EXPECT_EQ(pages.files[1].bytes.substr(0, pages.files[1].bytes.find('|')),
            "1234567890_01.html,1234567890_03.html");
  EXPECT_NE(pages.files[1].bytes.find("<a href=\"1234567890_01.html\">前100</a>"),
            std::string::npos);
  EXPECT_EQ(pages.files[2].bytes.substr(0, 20), "1234567890_02.html,|");
  EXPECT_NE(pages.files[2].bytes.find("201 202"), std::string::npos);
}

TEST(SkinPage, LongPostsGoWholeToTheCompanion) {
  std::vector<PostText> posts(60);
  posts[1].body = "1 <br> 2 <br> 3";
  auto thread = MakeThread(posts);
  Skin skin = MakeSkin("<LINK_LASTFIFTY/>|", "<PLAINNUMBER/>:<MESSAGE/>;", "|<LINK_CREDIT/>");
  page::BuiltPages pages = Build(*thread, skin, SkinOptions({"/m=810D90100"}));
  ASSERT_TRUE(pages.overflow);
  ASSERT_EQ(pages.files.size(), 2u);
  EXPECT_NE(
      pages.files[0].bytes.find("2:1 <br> 2 <font color=\"green\">（省略されました・・全てを読む"
                                "には<a href=\"1234567890_o.html#2\">ここ</a>"),
      std::string::npos)
      << pages.files[0].bytes;
  EXPECT_EQ(pages.files[1].path, "/tmp/out/1234567890_o.html");
  EXPECT_EQ(pages.files[1].bytes,
            "<a href=\"1234567890.html#11\">最新50</a>\r\n|2:1 <br> 2 <br> 3;|");
}

TEST(SkinPage, PageEncodingIsTheSkinsOrTheForcedOne) {
  auto thread = MakeThread({{"名無し", "", "2008/01/07(月) 14:10:06", "本文"}}, "テスト");
  thread->inputKanjicode = 3;
  thread->outputKanjicode = 3;
  Skin skin = MakeSkin("<CHARSET/>:見出し:", "<MESSAGE/>", "");
  skin.kanjicode = 1;  // a Shift_JIS skin
  EXPECT_EQ(Page(*thread, skin), common::Utf8ToCp932("Shift_JIS:見出し:本文"));
  skin.kanjicode = 2;
  std::string euc;
  common::EncodeFromUtf8("EUC-JP:見出し:本文", common::Charset::kEucJp, euc);
  EXPECT_EQ(Page(*thread, skin), euc);
  skin.kanjicode = 0;  // the thread's
  EXPECT_EQ(Page(*thread, skin), "UTF-8:見出し:本文");
}

}  // namespace
}  // namespace converter::skin
