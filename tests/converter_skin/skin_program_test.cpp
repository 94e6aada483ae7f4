// The shoin program in skin mode: loading the templates with their messages
// and exit codes, template encodings, and the sample skin on every real log,
// checked by tidy and in Chromium.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>

#include "common/encoding.h"
#include "common/file_io.h"

namespace {

namespace fs = std::filesystem;

const std::string kShoin = std::string(TEST_PROGRAM_DIR) + "/shoin/shoin";
const std::string kE2e = std::string(TEST_SOURCE_DIR) + "/tests/e2e";
const std::string kSampleSkin = std::string(TEST_SOURCE_DIR) + "/converter/skins/modern";

std::string Quote(const std::string& s) {
  return "'" + std::regex_replace(s, std::regex("'"), "'\\''") + "'";
}

struct RunResult {
  int code = -1;
  std::string output;
};

RunResult Shoin(const std::string& arguments) {
  RunResult run;
  std::string command = Quote(kShoin) + " " + arguments + " 2>&1";
  std::FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return run;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
  int status = pclose(pipe);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

class SkinProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kShoin)) << kShoin << " is not built";
    work_ = fs::temp_directory_path() / ("skin_program_" + std::to_string(getpid()));
    fs::remove_all(work_);
    fs::create_directories(work_ / "out");
    // A small Shift_JIS log of three posts.
    std::string log =
        "名無し<>sage<>2008/01/07(月) 14:10:06 ID:abc<> 一つ目 <>スキンの<b>テスト</b>\n"
        "太郎<><>2008/01/07(月) 14:11:06 ID:def<> <a href=\"../test/read.cgi/x/1199682606/1\" "
        "target=\"_blank\">&gt;&gt;1</a> 二つ目 <>\n"
        "花子<><>2008/01/07(月) 14:12:06 ID:ghi<> 三つ目 <>\n";
    std::ofstream(work_ / "1199682606.dat", std::ios::binary) << common::Utf8ToCp932(log);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(work_);
  }

  void WriteFile(const fs::path& path, const std::string& bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
  }

  RunResult Convert(const fs::path& skin, const std::string& extra = "") {
    return Shoin(Quote((work_ / "1199682606.dat").string()) + " " +
                 Quote((work_ / "out").string()) + " " + Quote("/p=" + skin.string()) + " " +
                 extra);
  }

  std::string Page() {
    return common::ReadWholeFile((work_ / "out" / "1199682606.html").string()).value_or("");
  }

  fs::path work_;
};

TEST_F(SkinProgram, OnlyAPostTemplateGivesThePostEntriesAlone) {
  WriteFile(work_ / "skin" / "newres.html", "<PLAINNUMBER/>:<MESSAGE/>\r\n");
  RunResult run = Convert(work_ / "skin");
  EXPECT_EQ(run.code, 0) << run.output;
  // The default page format keeps the blanks around a body (notdelsp).
  EXPECT_EQ(Page(), common::Utf8ToCp932("1: 一つ目\r\n2: <a href=\"#1\">&gt;&gt;1</a> 二つ目\r\n"
                                        "3: 三つ目\r\n"));
  std::string skin = (work_ / "skin").string() + "/";
  EXPECT_NE(run.output.find("スキンファイルを読み込みます\n" + skin +
                            "header.htmlを読み込み中... not found\n" + skin +
                            "newres.htmlを読み込み中... Ok\n" + skin +
                            "footer.htmlを読み込み中... not found\n"),
            std::string::npos)
      << run.output;
  EXPECT_NE(run.output.find("1199682606.dat => "), std::string::npos);
}

TEST_F(SkinProgram, ResHtmlOnlyWithUr) {
  WriteFile(work_ / "skin" / "Res.html", "<PLAINNUMBER/>;");
  RunResult run = Convert(work_ / "skin");
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.output.find("スキンファイルを開くことができません。"), std::string::npos);
  EXPECT_FALSE(fs::exists(work_ / "out" / "1199682606.html"));
  run = Convert(work_ / "skin", "/ur");
  EXPECT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(Page(), "1;2;3;");
  // No skin folder given at all.
  run = Shoin(Quote((work_ / "1199682606.dat").string()) + " '/p=\"\"'");
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.output.find("スキンファイルのパスを指定してください。"), std::string::npos);
}

TEST_F(SkinProgram, TemplatesOfOtherEncodingsJoinTheSkinsEncoding) {
  const std::string bom = "\xEF\xBB\xBF";
  // A Shift_JIS header sets the skin's encoding; the UTF-8 post template with
  // a byte-order mark is converted to it and loses the mark.
  WriteFile(work_ / "sjis" / "header.html", common::Utf8ToCp932("<h1>見出し</h1>\n"));
  WriteFile(work_ / "sjis" / "newres.html", bom + "<p>投稿<PLAINNUMBER/></p>\n");
  RunResult run = Convert(work_ / "sjis");
  EXPECT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(Page(), common::Utf8ToCp932("<h1>見出し</h1>\n<p>投稿1</p>\n<p>投稿2</p>\n"
                                        "<p>投稿3</p>\n"));
  // The reverse: a UTF-8 header with the mark sets UTF-8; the Shift_JIS post
  // template and the Shift_JIS log are converted to it.
  WriteFile(work_ / "utf8" / "header.html", bom + "<h1>見出し</h1>\n");
  WriteFile(work_ / "utf8" / "newres.html", common::Utf8ToCp932("<p>投稿<MESSAGE/></p>\n"));
  run = Convert(work_ / "utf8");
  EXPECT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(Page(),
            "<h1>見出し</h1>\n<p>投稿 一つ目</p>\n<p>投稿 <a href=\"#1\">&gt;&gt;1</a> "
            "二つ目</p>\n<p>投稿 三つ目</p>\n");
  // A forced output encoding wins over the skin's.
  run = Convert(work_ / "utf8", "/m=810D90002");
  EXPECT_EQ(run.code, 0) << run.output;
  EXPECT_EQ(Page(),
            common::Utf8ToCp932("<h1>見出し</h1>\n<p>投稿 一つ目</p>\n<p>投稿 <a href=\"#1\">"
                                "&gt;&gt;1</a> 二つ目</p>\n<p>投稿 三つ目</p>\n"));
}

// Every real log through the sample skin: tidy finds no error, Chromium
// shows every post and the title, and no script of a log runs.
TEST_F(SkinProgram, SampleSkinOnRealLogsInTidyAndChromium) {
  const fs::path realdata(TEST_REALDATA_DIR);
  if (!fs::is_directory(realdata)) GTEST_SKIP() << "real data folder " << realdata << " is absent";
  struct Log {
    const char* relative;
    const char* tidyEncoding;
  };
  const Log logs[] = {
      {"js2ch-news4vip/1379534723.dat", "-shiftjis"},
      {"twoB-2ch/2ch_with_id.dat", "-shiftjis"},
      {"twoB-2ch/2ch_with_id_and_be.dat", "-shiftjis"},
      {"twoB-2ch/example(81-100).dat", "-shiftjis"},
      {"twoB-2ch/log-falled.dat", "-shiftjis"},
      {"twoB-jbbs/jbbs.dat", "-raw"},
      {"twoB-jbbs/aa.dat", "-raw"},
      {"twoB-jbbs/aa-euc.dat", "-raw"},
  };
  std::string manifest = "[";
  for (const Log& log : logs) {
    SCOPED_TRACE(log.relative);
    fs::path source = realdata / log.relative;
    fs::path out = work_ / "real" / source.parent_path().filename();
    RunResult run = Shoin(Quote(source.string()) + " " + Quote(out.string()) + " " +
                          Quote("/p=" + kSampleSkin) + " /m=E2058000");
    ASSERT_EQ(run.code, 0) << run.output;
    fs::path page = out / (source.stem().string() + ".html");
    ASSERT_TRUE(fs::exists(page));
    int tidy = std::system(("tidy -q -errors " + std::string(log.tidyEncoding) + " " +
                            Quote(page.string()) + " >/dev/null 2>&1")
                               .c_str());
    EXPECT_LT(WEXITSTATUS(tidy), 2) << "tidy found errors in " << page;
    std::string bytes = common::ReadWholeFile(source.string()).value_or("");
    int posts = static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n'));
    // The title as the page's <title> holds it (escaped), for the browser to decode.
    std::string html = common::ReadWholeFile(page.string()).value_or("");
    bool euc = std::string(log.tidyEncoding) == "-raw";
    std::string text =
        common::DecodeToUtf8(html, euc ? common::Charset::kEucJp : common::Charset::kCp932);
    size_t open = text.find("<title>") + 7;
    std::string title = text.substr(open, text.find("</title>") - open);
    EXPECT_EQ(text.find("<NAME/>"), std::string::npos);  // every marker replaced
    EXPECT_EQ(std::regex_search(text, std::regex("<[A-Z_]+/>")), false);
    title = std::regex_replace(title, std::regex(R"(["\\])"), "\\$&");
    manifest += std::string(manifest.size() > 1 ? "," : "") + "{\"file\":\"" + page.string() +
                "\",\"posts\":" + std::to_string(posts) + ",\"title\":\"" + title + "\"}";
  }
  manifest += "]";
  ASSERT_TRUE(common::ReplaceFileAtomically((work_ / "manifest.json").string(), manifest));
  if (!fs::exists(kE2e + "/node_modules/playwright-core")) {
    ASSERT_EQ(std::system(("cd " + Quote(kE2e) +
                           " && npm install --no-audit --no-fund --silent >/dev/null 2>&1")
                              .c_str()),
              0);
  }
  int status = std::system(
      ("cd " + Quote(kE2e) + " && node page_check.js " + Quote((work_ / "manifest.json").string()))
          .c_str());
  EXPECT_EQ(status, 0);
}

}  // namespace
