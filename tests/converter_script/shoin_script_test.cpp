// The shoin program's pages for each /js form: what the head holds, where the
// script file goes and how pages in the root and one level down refer to it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "common/encoding.h"
#include "common/file_io.h"

namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::Not;

const std::string kShoin = std::string(TEST_PROGRAM_DIR) + "/shoin/shoin";

std::string Quote(const std::string& s) {
  return "'" + std::regex_replace(s, std::regex("'"), "'\\''") + "'";
}

class ShoinScript : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kShoin)) << kShoin << " is not built";
    work_ = fs::temp_directory_path() / ("shoin_script_" + std::to_string(getpid()));
    fs::remove_all(work_);
    fs::create_directories(work_ / "cur");
    std::string log =
        "名無し<>sage<>2008/01/07(月) 14:10:06 ID:abc<> 本文 <>スレッド\n"
        "名無し<><>2008/01/07(月) 14:11:06 ID:def<> <a href=\"../test/read.cgi/x/1199684400/1\" "
        "target=\"_blank\">&gt;&gt;1</a> <>\n";
    std::string bytes;
    common::EncodeFromUtf8(log, common::Charset::kCp932, bytes);
    dat_ = (work_ / "1199684400.dat").string();
    ASSERT_TRUE(common::ReplaceFileAtomically(dat_, bytes));
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(work_);
  }
  // Runs shoin from the folder "cur"; returns the page (UTF-8).
  std::string Convert(const std::string& out, const std::string& options,
                      const std::string& page = "1199684400.html") {
    std::string command = "cd " + Quote((work_ / "cur").string()) + " && " + Quote(kShoin) + " " +
                          Quote(dat_) + " " + Quote((work_ / out).string()) + " " + options +
                          " >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return common::Cp932ToUtf8(common::ReadWholeFile((work_ / out / page).string()).value_or(""));
  }
  fs::path work_;
  std::string dat_;
};

TEST_F(ShoinScript, YaguraCallEmbedsTheScriptWithoutComments) {
  std::string html = Convert("out", "/js=80F /m=E2058000 /o=E01B1E");
  size_t open = html.find("<script type=\"text/javascript\" defer>\r\n<!--\r\n");
  size_t close = html.find("//-->\r\n</script>");
  ASSERT_NE(open, std::string::npos);
  ASSERT_NE(close, std::string::npos);
  std::string script = html.substr(open, close - open);
  EXPECT_THAT(script, HasSubstr("pop.opt.schpanel = 0;"));
  EXPECT_THAT(script, HasSubstr("pop.opt.respopup = 1;"));
  EXPECT_THAT(script, HasSubstr("pop.opt.idpopup = 1;"));
  EXPECT_THAT(script, Not(HasSubstr("<cmt>")));
  EXPECT_THAT(script, Not(HasSubstr("   ")));  // no indentation
  EXPECT_THAT(html, Not(HasSubstr("src=")));
  EXPECT_FALSE(fs::exists(work_ / "out" / "shoin_popup.js"));
}

TEST_F(ShoinScript, SearchPanelAloneTurnsThePopUpsOff) {
  std::string html = Convert("out", "/js=880");
  EXPECT_THAT(html, HasSubstr("pop.opt.schpanel = 1;"));
  for (const char* name : {"idpopup", "mailpopup", "refpopup", "respopup"}) {
    EXPECT_THAT(html, HasSubstr(std::string("pop.opt.") + name + " = 0;"));
  }
}

TEST_F(ShoinScript, SearchBoxOfMAloneIsEmbedded) {
  std::string html = Convert("out", "/m=810D98000");
  EXPECT_THAT(html, HasSubstr("pop.opt.schpanel = 1;"));
  EXPECT_THAT(html, HasSubstr("pop.opt.respopup = 0;"));
  EXPECT_THAT(html, Not(HasSubstr("src=")));
  EXPECT_FALSE(fs::exists(work_ / "out" / "shoin_popup.js"));
}

TEST_F(ShoinScript, NoScriptAtAll) {
  std::string html = Convert("out", "/js=000");
  EXPECT_THAT(html, Not(HasSubstr("<script")));
  EXPECT_THAT(html, Not(HasSubstr("pop.")));
}

TEST_F(ShoinScript, ScriptFileInTheOutputRootFromEveryLevel) {
  std::string root = Convert("out", "/js=00F");
  EXPECT_THAT(root, HasSubstr("<script type=\"text/javascript\" src=\"shoin_popup.js\"></script>"));
  EXPECT_THAT(root, Not(HasSubstr("pop.opt")));
  std::string file =
      common::ReadWholeFile((work_ / "out" / "shoin_popup.js").string()).value_or("");
  EXPECT_THAT(file, HasSubstr("\r\n  pop.opt.refpopup = 1;\r\n"));
  // /a=f puts the page one level down, in a folder named after the key.
  std::string down = Convert("out", "/js=00F /a=f", "1199/1199684400.html");
  EXPECT_THAT(down,
              HasSubstr("<script type=\"text/javascript\" src=\"../shoin_popup.js\"></script>"));
  EXPECT_FALSE(fs::exists(work_ / "out" / "1199" / "shoin_popup.js"));
  EXPECT_FALSE(fs::exists(work_ / "cur" / "shoin_popup.js"));
}

TEST_F(ShoinScript, ScriptFileOfTheCurrentFolderIsCopiedAndReferredTo) {
  ASSERT_TRUE(common::ReplaceFileAtomically((work_ / "cur" / "mine.js").string(), "var mine;\r\n"));
  std::string html = Convert("out", "/js=00F");
  EXPECT_THAT(html, HasSubstr("src=\"mine.js\""));
  EXPECT_EQ(common::ReadWholeFile((work_ / "out" / "mine.js").string()).value_or(""),
            "var mine;\r\n");
  EXPECT_FALSE(fs::exists(work_ / "out" / "shoin_popup.js"));
  // Target 1: the page refers to the file where it lies.
  std::string there = Convert("out2", "/js=40F");
  EXPECT_THAT(there, HasSubstr("src=\"file://" + (work_ / "cur" / "mine.js").string() + "\""));
  EXPECT_FALSE(fs::exists(work_ / "out2" / "mine.js"));
}

TEST_F(ShoinScript, EnglishPageGetsEnglishTexts) {
  std::string html = Convert("out", "/js=88F /f=7");
  EXPECT_THAT(html, HasSubstr("\"(Not found)\""));
  EXPECT_THAT(html, HasSubstr("value=\"Search\""));
  EXPECT_THAT(html, Not(HasSubstr("検索")));
}

}  // namespace
