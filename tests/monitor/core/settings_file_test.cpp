#include "monitor/core/settings_file.h"

#include <sys/stat.h>

#include "common/line_ends.h"
#include "monitor/core/initialize_window.h"
#include "monitor/core/startup.h"
#include "test_support.h"

namespace yagura {
namespace {

using testing::MonitorTest;

class SettingsFileTest : public MonitorTest {
 protected:
  void SetUp() override {
    MonitorTest::SetUp();
    InitializeWindow(m);
  }
  std::vector<std::string> SavedLines() {
    std::string text = ReadText(".ini");
    std::vector<std::string> lines;
    for (auto l : common::SplitCrLfLines(text)) lines.emplace_back(l);
    return lines;
  }
};

TEST_F(SettingsFileTest, WritesTheFortyFourLinesInCp932WithCrLfAndMode0600) {
  m.form.txtURLBRD.SetText("http://news.example.net/news/");
  m.form.txtWORD1[1].SetText("地震");
  m.form.chkB[1].SetValue(1);
  m.form.txtMAILTO.SetText("");
  ASSERT_TRUE(SaveSettings(m));

  auto bytes = common::ReadWholeFile(Path(".ini"));
  ASSERT_TRUE(bytes);
  EXPECT_NE(bytes->find(common::Utf8ToCp932("wordb1=地震\r\n")), std::string::npos);
  EXPECT_EQ(common::CountLineFeeds(*bytes), 44u);
  EXPECT_EQ(bytes->substr(bytes->size() - 2), "\r\n");

  auto lines = SavedLines();
  ASSERT_EQ(lines.size(), 44u);
  EXPECT_EQ(lines[0], ";---Yagura Version 0.3.86 設定ファイル");
  EXPECT_EQ(lines[43], lines[0]);
  EXPECT_EQ(lines[2], "brdurl=http://news.example.net/news/");
  EXPECT_EQ(lines[4], "checktime= 1");
  EXPECT_EQ(lines[13], ";ワードBの設定");
  EXPECT_EQ(lines[17], "checkb2=1");
  EXPECT_EQ(lines[30], "cgitype=0");
  EXPECT_EQ(lines[32], "cgipass=" + ScrambleText("enc", "削除用PASSWORD"));
  EXPECT_EQ(lines[36], "mailto=%none%");
  EXPECT_EQ(lines[42].substr(0, 13), "mailsmtppass=");

  struct stat st {};
  ASSERT_EQ(stat(Path(".ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SettingsFileTest, SavedSettingsLoadBackIntoFreshControls) {
  m.form.txtURLBRD.SetText("https://a.example/b/");
  m.form.cmbTIME.SetListIndex(4);
  m.form.txtWORD2[2].SetText("ワード=で区切り");
  m.form.chkA[0].SetValue(2);
  m.form.txtMAILPOP3PASS.SetText("s3cret!");
  m.form.txtMAILSMTPPASS.SetText("送信元のパスワード");  // shifted bytes are no valid text
  m.form.txtCGIURL.SetText("postkey=x&cgiurl=http://u.example/up.cgi?a=b");
  ASSERT_TRUE(SaveSettings(m));

  Monitor other;
  other.paths = m.paths;
  InitializeWindow(other);
  ASSERT_TRUE(LoadSettings(other));
  EXPECT_EQ(other.form.txtURLBRD.Text(), "https://a.example/b/");
  EXPECT_EQ(other.form.cmbTIME.ListIndex(), 4);
  EXPECT_EQ(other.form.txtWORD2[2].Text(), "ワード=で区切り");
  EXPECT_EQ(other.form.chkA[0].Value(), 2);
  EXPECT_EQ(other.form.txtMAILPOP3PASS.Text(), "s3cret!");
  EXPECT_EQ(other.form.txtMAILSMTPPASS.Text(), "送信元のパスワード");
  EXPECT_EQ(other.form.txtCGIURL.Text(), "postkey=x&cgiurl=http://u.example/up.cgi?a=b");
}

TEST_F(SettingsFileTest, KeyRulesOfTheFile) {
  WriteText(".ini",
            "brdurl=\r\n"      // empty: the hint stays
            "checktime=2\r\n"  // without the blank
            "worda1=猫\r\n"
            "wordz1=ignored\r\n"
            "wordb3=ignored\r\n"
            "checkc4=1\r\n"    // chkD of pair C
            "checka2=1.4\r\n"  // rounded
            "mailto=%none%\r\n"
            "twitterid=someone\r\n"
            "twitterpw=" +
                ScrambleText("enc", "pw") +
                "\r\n"
                "cgiindexurl=http://x.example/?a=1&b=2\r\n"
                "unknown line\r\n"
                ";comment=1\r\n");
  ASSERT_TRUE(LoadSettings(m));
  EXPECT_EQ(m.form.txtURLBRD.Text(), kBoardUrlHint);
  EXPECT_EQ(m.form.cmbTIME.SelectedText(), "90秒ごとに確認");
  EXPECT_EQ(m.form.txtWORD1[0].Text(), "猫");
  EXPECT_EQ(m.form.chkD[2].Value(), 1);
  EXPECT_EQ(m.form.chkB[0].Value(), 1);
  EXPECT_EQ(m.form.txtMAILTO.Text(), "");
  EXPECT_EQ(m.form.txtTWITTERID.Text(), "someone");
  EXPECT_EQ(m.form.txtTWITTERPW.Text(), "pw");
  EXPECT_EQ(m.form.txtCGIINDEXURL.Text(), "http://x.example/?a=1&b=2");

  // The interval goes back with its blank; Twitter lines are never written.
  ASSERT_TRUE(SaveSettings(m));
  std::string saved = ReadText(".ini");
  EXPECT_NE(saved.find("\r\nchecktime= 2\r\n"), std::string::npos);
  EXPECT_EQ(saved.find("twitter"), std::string::npos);
}

TEST_F(SettingsFileTest, BadLinesAreSkippedAndReportedWhileGoodLinesAfterThemApply) {
  WriteText(".ini",
            "brdurl=http://a.example/b/\r\n"
            "checka1=7\r\n"  // not 0, 1 or 2
            "worda1=before\r\n"
            "mailfrom\r\n"     // no "="
            "checktime=9\r\n"  // index out of range
            "worda2=after\r\n"
            "mailfrom=me@example.org\r\n");
  std::vector<std::string> problems;
  EXPECT_FALSE(LoadSettings(m, &problems));
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_EQ(problems[0].substr(0, 7), "line 2:");
  EXPECT_EQ(m.form.txtURLBRD.Text(), "http://a.example/b/");
  EXPECT_EQ(m.form.txtWORD2[0].Text(), "after");
  EXPECT_EQ(m.form.txtMAILFROM.Text(), "me@example.org");
  EXPECT_EQ(m.form.chkA[0].Value(), 0);
  EXPECT_EQ(m.form.cmbTIME.ListIndex(), 1);
}

TEST_F(SettingsFileTest, RecoveryRewritesTheFileWithoutItsBadLinesOnly) {
  WriteText(".ini", "brdurl=http://a.example/b/\r\ncheckb2=x9\r\ncheckb2=5\r\nwordb1=keep\r\n");
  std::vector<std::string> notices;
  LoadSettingsWithRecovery(m, notices);
  EXPECT_EQ(notices.size(), 1u);
  EXPECT_FALSE(m.settingsNotWritable);
  std::string saved = ReadText(".ini");
  EXPECT_NE(saved.find("brdurl=http://a.example/b/\r\n"), std::string::npos);
  EXPECT_NE(saved.find("wordb1=keep\r\n"), std::string::npos);
  EXPECT_NE(saved.find("checkb2=0\r\n"), std::string::npos);  // "x9" reads as 0
  EXPECT_EQ(saved.find("checkb2=5"), std::string::npos);
  EXPECT_TRUE(boxes.shown.empty());
}

TEST_F(SettingsFileTest, MissingFileIsCreatedFromTheControls) {
  std::vector<std::string> notices;
  LoadSettingsWithRecovery(m, notices);
  EXPECT_TRUE(notices.empty());
  EXPECT_NE(ReadText(".ini").find("brdurl=" + std::string(kBoardUrlHint)), std::string::npos);
}

TEST_F(SettingsFileTest, UncreatableFileShowsTheBoxOnceAndStopsSaving) {
  // A folder in the file's place can be neither read nor replaced, even by root.
  ASSERT_TRUE(std::filesystem::create_directory(Path(".ini")));
  std::vector<std::string> notices;
  LoadSettingsWithRecovery(m, notices);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text,
            "設定ファイルを作成できません。\r\n設定ファイルの作成をスキップします。");
  EXPECT_EQ(boxes.shown[0].title, "設定ファイル作成エラー - Yagura");
  EXPECT_TRUE(m.settingsNotWritable);
  EXPECT_TRUE(SaveSettings(m));  // a no-op now
}

TEST(ScrambleText, ShiftsCodesAndChecksTheMode) {
  struct Case {
    const char* mode;
    const char* text;
    const char* expected;
  } cases[] = {
      {"enc", "a", "W"}, {"dec", "W", "a"},   {"ENC", "abc", "WXY"}, {"Dec", "WXY", "abc"},
      {"en", "abc", ""}, {"encx", "abc", ""}, {"xyz", "abc", ""},    {"enc", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ScrambleText(c.mode, c.text), c.expected) << c.mode << " " << c.text;
  }
  const std::string password = "Pa55-word_~{}";
  EXPECT_EQ(ScrambleText("dec", ScrambleText("enc", password)), password);
  // A code below 10 has no character 10 lower.
  EXPECT_FALSE(ScrambleTextChecked("enc", "\t"));
  EXPECT_EQ(ScrambleText("enc", "\t"), "");
}

}  // namespace
}  // namespace yagura
