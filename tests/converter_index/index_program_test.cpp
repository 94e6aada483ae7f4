// The index pages of small logs through the program: sort keys and digit
// switches, user templates, merging of earlier runs, the locked and the
// uncreatable work file, and logs that try to carry script into an index.
#include <fcntl.h>
#include <sys/file.h>

#include <gtest/gtest.h>

#include "index_test_support.h"

namespace {

using namespace index_test;

const std::string kBuilt = std::string(TEST_PROGRAM_DIR) + "/shoin/shoin";

class IndexProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kBuilt)) << kBuilt << " is not built";
    work_ = fs::temp_directory_path() /
            ("index_program_" + std::to_string(getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(work_);
    fs::create_directories(work_ / "bin");
    program_ = (work_ / "bin" / "shoin").string();
    fs::copy_file(kBuilt, program_);
    fs::permissions(program_, fs::perms::owner_all);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(work_);
  }

  // Three logs: a (5 posts, from Jan 3), b (60 posts, from Jan 1 to Jan 3,
  // all but its first 5 sage), c (10 posts, from Jan 2).
  std::string ThreeLogs(const std::string& name = "in") {
    fs::path in = work_ / name;
    fs::create_directories(in);
    Write(in / "1199000001.dat", MakeLog("スレa", 5, 3));
    Write(in / "1199000002.dat", MakeLog("スレb", 60, 1, 55));
    Write(in / "1199000003.dat", MakeLog("スレc", 10, 2));
    return in.string();
  }
  void Write(const fs::path& path, const std::string& bytes) {
    ASSERT_TRUE(common::ReplaceFileAtomically(path.string(), bytes));
  }
  Outcome Run(std::vector<std::string> args) { return RunProgram(program_, args); }

  fs::path work_;
  std::string program_;
};

TEST_F(IndexProgram, SortKeysOrdersAndDigitsOverThreeLogs) {
  std::string in = ThreeLogs();
  const std::string a = "1199000001.html", b = "1199000002.html", c = "1199000003.html";
  struct Case {
    const char* option;
    std::string order;
    const char* firstText;
  } cases[] = {
      {"/i", a + "," + c + "," + b, "1：スレa(5)"},  // b's last non-sage post is on Jan 1
      {"/i=L", b + "," + a + "," + c, "1：スレb(60)"},
      {"/i=r", a + "," + c + "," + b, "1：スレa(5)"},  // fewest posts first
      {"/i=ru", b + "," + c + "," + a, "1：スレb(60)"},
      {"/i=fu", b + "," + c + "," + a, "1：スレb(60)"},
      {"/i=nd", c + "," + b + "," + a, "1：スレc(10)"},
      {"/i=r00", a + "," + c + "," + b, "スレa"},  // neither rank nor post count
      {"/I=r10", a + "," + c + "," + b, "1：スレa"},
  };
  int n = 0;
  for (const Case& k : cases) {
    SCOPED_TRACE(k.option);
    std::string out = (work_ / ("out" + std::to_string(++n))).string();
    Outcome run = Run({in, out, k.option, "/z"});
    ASSERT_EQ(run.exitCode, 0) << run.output;
    std::string index = out + "/index.html";
    EXPECT_EQ(Hrefs(index), k.order);
    auto links = Links(index);
    ASSERT_FALSE(links.empty());
    EXPECT_EQ(links.front().second, k.firstText);
    EXPECT_FALSE(fs::exists(out + "/index.tmp"));
  }
}

TEST_F(IndexProgram, ArrivalOrderIsTheOrderOfConversion) {
  std::string in = ThreeLogs();
  std::string out = (work_ / "out").string();
  Outcome run = Run({in, out, "/i=x"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  std::string converted;
  std::regex line("/([0-9]+\\.html)");
  for (auto it = std::sregex_iterator(run.output.begin(), run.output.end(), line);
       it != std::sregex_iterator(); ++it) {
    converted += (converted.empty() ? "" : ",") + (*it)[1].str();
  }
  EXPECT_EQ(Hrefs(out + "/index.html"), converted);
}

TEST_F(IndexProgram, OneFileGivesAnIndexOfOneEntry) {
  std::string in = ThreeLogs();
  std::string out = (work_ / "out").string();
  Outcome run = Run({in + "/1199000003.dat", out, "/i"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_EQ(Hrefs(out + "/index.html"), "1199000003.html");
  EXPECT_NE(run.output.find("インデックスファイルを作成しました。(" + out + "/index.html)"),
            std::string::npos)
      << run.output;
}

TEST_F(IndexProgram, UserTemplatesWithEveryMarkerAndAFallbackForAMissingFile) {
  std::string in = ThreeLogs();
  fs::path list = work_ / "bin" / "template" / "index_threadlist";
  fs::create_directories(list);
  Write(list / "header.html",
        "<html><head><meta charset=\"<CHARSET/>\"><title><INDEXTITLE/></title></head><body>"
        "[<THREADCOUNT/>|<INDEXROOT/>|<INDEXPATH/>|<BBSNAME/>]<RET/>"
        "<ONLYBOARDTITLE>BT</ONLYBOARDTITLE><ul><RET/>");
  Write(list / "body.html",
        "<li><a href=\"<THREADPATH/><FILENAME/>\"><NUMBER/>=<THREADTITLE/></a> "
        "<ONLYRESCOUNT>#<RESCOUNT/></ONLYRESCOUNT><ONLYMESSAGE>{<MESSAGE/>}</ONLYMESSAGE><RET/>");
  // footer.html is missing: the built-in one ends the page.
  std::string out = (work_ / "out").string();
  Outcome run = Run({in, out, "/i=r1101", "/n=私の索引"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("footer.htmlを読み込み中...not found"), std::string::npos);
  EXPECT_NE(run.output.find("body.htmlを読み込み中... Ok"), std::string::npos);
  EXPECT_NE(
      run.output.find("インデックスファイル作成のためにSHOIN標準のテンプレートを使用します(ｼﾝﾌﾟﾙ)"),
      std::string::npos);
  std::string page = common::Cp932ToUtf8(common::ReadWholeFile(out + "/index.html").value_or(""));
  EXPECT_NE(page.find("<meta charset=\"Shift_JIS\"><title>私の索引</title>"), std::string::npos)
      << page;
  EXPECT_NE(page.find("[3|||other]\r\n<ul>"), std::string::npos)
      << page;  // kind "other", no board title (digit 3)
  EXPECT_NE(page.find("<li><a href=\"1199000001.html\">1=スレa</a> #5{本文です}\r\n"),
            std::string::npos)
      << page;
  EXPECT_NE(page.find("</body>\r\n</html>\r\n"), std::string::npos);
  EXPECT_EQ(Hrefs(out + "/index.html"), "1199000001.html,1199000003.html,1199000002.html");
}

TEST_F(IndexProgram, TwoRunsKeepingIndexTmpGiveTheIndexOfOneRun) {
  std::string all = ThreeLogs("all");
  fs::path first = work_ / "first", second = work_ / "second";
  fs::create_directories(first);
  fs::create_directories(second);
  fs::copy_file(all + "/1199000001.dat", first / "1199000001.dat");
  fs::copy_file(all + "/1199000002.dat", first / "1199000002.dat");
  fs::copy_file(all + "/1199000003.dat", second / "1199000003.dat");

  std::string whole = (work_ / "whole").string();
  ASSERT_EQ(Run({all, whole, "/i=l1100000010"}).exitCode, 0);
  std::string merged = (work_ / "merged").string();
  ASSERT_EQ(Run({first.string(), merged, "/i=l1100000110"}).exitCode, 0);
  EXPECT_TRUE(fs::exists(merged + "/index.tmp"));
  // The second run converts one thread again: it is listed once.
  fs::copy_file(all + "/1199000001.dat", second / "1199000001.dat");
  Outcome run = Run({second.string(), merged, "/i=l1100000110"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("index.tmpからインデックス情報を取り込みます"), std::string::npos);
  EXPECT_NE(run.output.find("2件のインデックスファイル情報の取り込みを完了しました"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(common::ReadWholeFile(merged + "/index.html"),
            common::ReadWholeFile(whole + "/index.html"));

  // An index-only run (input NULL) rebuilds the same index from index.tmp.
  fs::remove(merged + "/index.html");
  run = Run({"NULL", merged, "/i=l1100000110"});
  EXPECT_EQ(common::ReadWholeFile(merged + "/index.html"),
            common::ReadWholeFile(whole + "/index.html"))
      << run.output;
}

TEST_F(IndexProgram, ARunReadingEarlierPagesGivesTheIndexOfOneRun) {
  std::string all = ThreeLogs("all");
  fs::path first = work_ / "first", second = work_ / "second";
  fs::create_directories(first);
  fs::create_directories(second);
  fs::copy_file(all + "/1199000001.dat", first / "1199000001.dat");
  fs::copy_file(all + "/1199000002.dat", first / "1199000002.dat");
  fs::copy_file(all + "/1199000003.dat", second / "1199000003.dat");
  const std::string withRecord = "/m=810D90020";  // writehtmlindextag

  std::string whole = (work_ / "whole").string();
  ASSERT_EQ(Run({all, whole, withRecord, "/i"}).exitCode, 0);
  std::string merged = (work_ / "merged").string();
  ASSERT_EQ(Run({first.string(), merged, withRecord}).exitCode, 0);
  Outcome run = Run({second.string(), merged, withRecord, "/i=l1100001010"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("3個のhtmlファイルからインデックスファイル情報を取り込みました"),
            std::string::npos)
      << run.output;
  EXPECT_EQ(common::ReadWholeFile(merged + "/index.html"),
            common::ReadWholeFile(whole + "/index.html"));
}

TEST_F(IndexProgram, AnotherRunHoldingIndexTmpMeansNoIndexAndNoLinkToOne) {
  std::string in = ThreeLogs();
  fs::path out = work_ / "out";
  fs::create_directories(out);
  int fd = open((out / "index.tmp").c_str(), O_RDWR | O_CREAT, 0644);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(flock(fd, LOCK_EX), 0);
  Outcome run = Run({in, out.string(), "/i"});
  close(fd);
  EXPECT_EQ(run.exitCode, 0);
  EXPECT_NE(run.output.find("index.tmpは既にロックされています。"), std::string::npos)
      << run.output;
  EXPECT_FALSE(fs::exists(out / "index.html"));
  std::string page = common::ReadWholeFile((out / "1199000001.html").string()).value_or("");
  ASSERT_FALSE(page.empty());
  EXPECT_EQ(page.find("href=\"index.html\""), std::string::npos);
}

TEST_F(IndexProgram, IndexTmpNotCreatableStopsTheRunBeforeAnyPage) {
  std::string in = ThreeLogs();
  fs::path out = work_ / "out";
  fs::create_directories(out / "index.tmp");
  Outcome run = Run({in, out.string(), "/i"});
  EXPECT_EQ(run.exitCode, 6);
  EXPECT_NE(run.output.find("index.tmpが作成できません"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("(701)"), std::string::npos);
  EXPECT_EQ(std::distance(fs::directory_iterator(out), fs::directory_iterator()), 1);
}

TEST_F(IndexProgram, ScriptInATitleOrFirstPostNeverReachesTheIndex) {
  fs::path in = work_ / "in";
  fs::create_directories(in);
  Write(
      in / "1199000009.dat",
      MakeLog(
          "<script>window.__pwned=true</script>題", 3, 1, 0,
          "<img src=x onerror=\"window.__pwned=true\">本文<script>alert(1)</script> <br> 二行目"));
  std::string out = (work_ / "out").string();
  ASSERT_EQ(Run({in.string(), out, "/I=l1101"}).exitCode, 0);
  std::string page = common::Cp932ToUtf8(common::ReadWholeFile(out + "/index.html").value_or(""));
  EXPECT_EQ(page.find("<script"), std::string::npos) << page;
  EXPECT_EQ(page.find("<img"), std::string::npos) << page;
  EXPECT_NE(page.find("&lt;script&gt;window.__pwned=true&lt;/script&gt;題"), std::string::npos);
  EXPECT_NE(page.find("本文alert(1) <br> 二行目"), std::string::npos) << page;
}

}  // namespace

namespace {

using namespace index_test;

class IndexTree : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kBuilt)) << kBuilt << " is not built";
    work_ = fs::temp_directory_path() /
            ("index_tree_" + std::to_string(getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(work_);
    fs::create_directories(work_ / "bin");
    fs::create_directories(work_ / "in");
    program_ = (work_ / "bin" / "shoin").string();
    fs::copy_file(kBuilt, program_);
    // A ten-digit key, two nine-digit keys and a log without a key.
    for (const char* name : {"1199000001", "912345678", "912345679", "nokey"}) {
      ASSERT_TRUE(
          common::ReplaceFileAtomically((work_ / "in" / (std::string(name) + ".dat")).string(),
                                        MakeLog(std::string("スレ") + name, 3, 1)));
    }
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(work_);
  }
  std::string Page(const std::string& relative) {
    return common::Cp932ToUtf8(
        common::ReadWholeFile((work_ / "out" / relative).string()).value_or(""));
  }
  fs::path work_;
  std::string program_;
};

TEST_F(IndexTree, ArchiveNumbersWithUserTreeTemplatesAndEveryTreeMarker) {
  fs::path tree = work_ / "bin" / "template" / "index_tree";
  fs::create_directories(tree);
  auto write = [&](const char* name, const std::string& text) {
    ASSERT_TRUE(common::ReplaceFileAtomically((tree / name).string(), text));
  };
  write("header.html", "<html><head><title><INDEXTITLE/></title></head><body><BOARDTITLE/><RET/>");
  write("body_header.html", "<table><tr><th><ITEM_HEADER/></th></tr><RET/>");
  write("body.html",
        "<tr><td><a href=\"<TARGETPATH/><FILENAME/>\"><ITEM/></a>=<FILECOUNT/></td></tr><RET/>");
  write("body_footer.html",
        "</table><ITEMCOUNT/>/<ALLFILECOUNT/>|<LINK_INDEXNINE/>|<LINK_INDEXZERO/><RET/>");
  write("footer.html", "</body></html><RET/>");
  Outcome run =
      RunProgram(program_, {(work_ / "in").string(), (work_ / "out").string(), "/i", "/a=F"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  std::string top = Page("index.html");
  EXPECT_NE(top.find("<title>スレッドキー別一覧</title>"), std::string::npos) << top;
  EXPECT_NE(top.find("<th>倉庫番号</th>"), std::string::npos) << top;
  EXPECT_NE(top.find("<a href=\"000/index.html\">000</a>=1"), std::string::npos) << top;
  EXPECT_NE(top.find("<a href=\"1199/index.html\">1199</a>=1"), std::string::npos) << top;
  EXPECT_NE(top.find("<a href=\"912/index.html\">912</a>=2"), std::string::npos) << top;
  EXPECT_NE(top.find("</table>3/4|<a href=\"index9.html\">倉庫番号999999999以前</a>|"
                     "<a href=\"index0.html\">スレッド番号不明</a>"),
            std::string::npos)
      << top;
  std::string nine = Hrefs((work_ / "out" / "index9.html").string());
  EXPECT_TRUE(nine == "912/912345678.html,912/912345679.html" ||
              nine == "912/912345679.html,912/912345678.html")
      << nine;
  EXPECT_EQ(Hrefs((work_ / "out" / "index0.html").string()), "000/nokey.html");
  EXPECT_NE(Page("1199/index.html").find("<title>スレッドキー5桁のリスト</title>"),
            std::string::npos);
  EXPECT_EQ(Hrefs((work_ / "out" / "1199" / "11990" / "index.html").string()), "1199000001.html");
}

TEST_F(IndexTree, ArchiveBelowAnotherLetterGoesIntoKakolog) {
  Outcome run =
      RunProgram(program_, {(work_ / "in").string(), (work_ / "out").string(), "/I", "/a=bF"});
  ASSERT_EQ(run.exitCode, 0) << run.output;
  // The board letter falls back to the log's folder name.
  EXPECT_EQ(Hrefs((work_ / "out" / "index.html").string()), "in/index.html");
  EXPECT_EQ(Hrefs((work_ / "out" / "in" / "index.html").string()), "kako/kakolog.html");
  EXPECT_NE(Hrefs((work_ / "out" / "in" / "kako" / "kakolog.html").string()).find("912/index.html"),
            std::string::npos);
  EXPECT_TRUE(fs::exists(work_ / "out" / "in" / "kako" / "index9.html"));
}

}  // namespace
