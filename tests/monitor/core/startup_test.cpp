#include "monitor/core/startup.h"

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "monitor/core/initialize_window.h"
#include "monitor/core/run_cycle.h"
#include "monitor/core/run_state.h"
#include "monitor/core/search_titles.h"
#include "monitor/core/window_commands.h"
#include "test_support.h"

namespace yagura {
namespace {

using testing::MonitorTest;

class StartupTest : public MonitorTest {};

TEST(CommandLine, OptionsAnywhereInAnyCase) {
  struct Case {
    const char* line;
    bool mode, autoRun, mini;
  } cases[] = {
      {"", false, false, false},
      {"/AutoRun", false, true, false},
      {"/autorun /windowmini", false, true, true},
      {"/windowmode", true, false, false},
      {"C:/x/autorunx /autorunx", false, true, false},
  };
  for (const Case& c : cases) {
    CommandLineOptions o = ParseCommandLine(c.line);
    EXPECT_EQ(o.windowMode, c.mode) << c.line;
    EXPECT_EQ(o.autoRun, c.autoRun) << c.line;
    EXPECT_EQ(o.windowMini, c.mini) << c.line;
  }
}

TEST_F(StartupTest, FormLoadWithoutArgumentsShowsTheStoppedWindowAndTheReport) {
  WriteText("_subject.txt", "left by a crash");
  WriteText(".tmp", "x");
  WriteText("_Thread.lst", ";--t\r\n5.dat<>kept (1)\r\n;--t\r\n");
  ShellComponents components;
  components.mailVersion = [] { return 171; };
  FormLoad(m, components);

  EXPECT_TRUE(m.form.Form1.Visible());
  EXPECT_EQ(m.form.cmdRUN.Tag(), kRunStateStopped);
  EXPECT_FALSE(m.form.cmdNOW.Enabled());
  EXPECT_EQ(m.form.Form1.Caption(), "Yagura Version 0.3.86");
  EXPECT_EQ(m.form.tray.Tip(), "Yagura Version 0.3.86");
  EXPECT_TRUE(m.form.tray.Added());
  EXPECT_FALSE(common::FileExists(Path("_subject.txt")));
  EXPECT_FALSE(common::FileExists(Path(".tmp")));
  EXPECT_TRUE(common::FileExists(Path(".ini")));  // created by the recovery
  EXPECT_EQ(m.form.listTHREADSEND[1].Items(), std::vector<std::string>{"5.dat<>kept (1)"});
  EXPECT_EQ(m.form.txtLOG.Text(),
            "Yagura Version 0.3.86\r\n"
            "nMail.DLL Version 1.71\r\n"
            "UNLHA32.DLL ×未インストール、またはバージョン情報の取得に失敗\r\n"
            "SHOIN.EXE ×見つかりません\r\n"
            "※注意書き\r\n"
            "・同じワードをワードA/B/Cに登録するとうまく動かない。\r\n"
            "・スレ圧縮でスレ一覧から監視スレが消えるとdat落ちと判定される。("
            "一覧に出てくれば監視継続)\r\n"
            "・鯖が移転した時などは手動で板URLを変更するとうまくいくかもしれない。\r\n"
            "・2ch側で障害があると動作がおかしくなる。\r\n"
            "\r\n"
            "（´ω｀）起動しました。注意書きを読んで正しくお使い下さい。\r\n");
  EXPECT_FALSE(m.form.chkD[0].Enabled());  // not in administrator mode
}

TEST_F(StartupTest, ReportFindsTheConverterAndTheArchiverInAdministratorMode) {
  std::filesystem::create_directories(folder + "shoin");
  ASSERT_TRUE(common::ReplaceFileAtomically(m.paths.ConverterPath(), "#!/bin/sh\n", 0755));
  m.commandLine = "/ownermode";
  m.form.baseTitle = "T";
  ShellComponents components;
  components.archiverVersion = [] { return "1.00"; };
  std::string report = ComponentReport(m, components);
  EXPECT_NE(report.find("nMail.DLL ×未インストール"), std::string::npos);
  EXPECT_NE(report.find("UNLHA32.DLL Version 1.00\r\n"), std::string::npos);
  EXPECT_NE(report.find("SHOIN.EXE ○見つかりました\r\n"), std::string::npos);
  EXPECT_NE(report.find("（´ω｀）管理者モードで起動しました。\r\n"), std::string::npos);
}

TEST_F(StartupTest, AutorunStartsMonitoringWithoutShowingTheWindow) {
  WriteText(".ini", "brdurl=http://a.example/b/\r\n");
  m.commandLine = "/autorun";
  FormLoad(m, {});
  EXPECT_EQ(m.form.cmdRUN.Tag(), kRunStateRunning);
  EXPECT_FALSE(m.form.Form1.Visible());
}

TEST_F(StartupTest, BadSettingsLineIsReportedInThePaneAfterTheReport) {
  WriteText(".ini", "brdurl=http://a.example/b/\r\ncheckb1=3\r\n");
  FormLoad(m, {});
  EXPECT_NE(m.form.txtLOG.Text().find("設定ファイルの不正な行を読み飛ばしました: line 2"),
            std::string::npos);
  EXPECT_EQ(m.form.txtURLBRD.Text(), "http://a.example/b/");
}

// A settings file we cannot read as ours keeps every word, address and
// password in it: the monitor runs without saving settings instead.
TEST_F(StartupTest, ForeignSettingsFileIsLeftAlone) {
  const std::string utf16(
      "\xFF\xFE"
      "b\0r\0d\0u\0r\0l\0=\0x\0\r\0\n\0",
      22);
  for (bool asFolder : {false, true}) {
    SCOPED_TRACE(asFolder ? "a folder" : "UTF-16");
    Monitor fresh;
    fresh.paths = m.paths;
    fresh.clock = &clock;
    fresh.pump = &pump;
    fresh.messageBoxes = &boxes;
    std::filesystem::remove_all(Path(".ini"));
    if (asFolder) {
      std::filesystem::create_directory(Path(".ini"));
    } else {
      ASSERT_TRUE(common::ReplaceFileAtomically(Path(".ini"), utf16));
    }
    FormLoad(fresh, {});
    EXPECT_TRUE(fresh.settingsNotWritable);
    EXPECT_NE(fresh.form.txtLOG.Text().find("上書きせず"), std::string::npos);
    FormUnload(fresh, {});
    if (asFolder) {
      EXPECT_TRUE(std::filesystem::is_directory(Path(".ini")));
    } else {
      EXPECT_EQ(common::ReadWholeFile(Path(".ini")), utf16);
    }
  }
}

TEST(InterruptedWrites, NamesOfOurAtomicWrites) {
  struct {
    const char* name;
    bool ours;
  } cases[] = {
      {"yagura.ini.tmp1234_567", true},
      {"1234567890.dat.tmp1_0", true},
      {"yagura.tmp", false},
      {"yagura.ini.tmp1234", false},
      {"yagura.ini.tmp1234_", false},
      {"yagura.ini.tmp_5", false},
      {"yagura.ini.tmpab_5", false},
      {".tmp1_2", false},
      {"notes.tmp1_2.txt", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsInterruptedWriteName(c.name), c.ours) << c.name;
}

TEST_F(StartupTest, StartUpRemovesWhatInterruptedWritesLeft) {
  // The id of a process that has ended.
  pid_t child = fork();
  if (child == 0) _exit(0);
  ASSERT_GT(child, 0);
  waitpid(child, nullptr, 0);
  const std::string dead = std::to_string(child);
  std::filesystem::create_directories(folder + "dat");
  std::filesystem::create_directories(folder + "shoin");
  for (const std::string& name : std::vector<std::string>{
           "yagura.ini.tmp" + dead + "_12", "dat/1234567890.dat.tmp" + dead + "_3",
           "dat/1234567890.html.tmp" + dead + "_0", "shoin/inidir.txt.tmp" + dead + "_7",
           "yagura.ini.tmp1_4", "dat/notes.tmp", "dat/1234567890.dat"}) {
    ASSERT_TRUE(common::ReplaceFileAtomically(folder + name, "x"));
  }
  FormLoad(m, {});
  EXPECT_FALSE(common::FileExists(folder + "yagura.ini.tmp" + dead + "_12"));
  EXPECT_FALSE(common::FileExists(folder + "dat/1234567890.dat.tmp" + dead + "_3"));
  // What a converter killed with the monitor left: a page and its own setting.
  EXPECT_FALSE(common::FileExists(folder + "dat/1234567890.html.tmp" + dead + "_0"));
  EXPECT_FALSE(common::FileExists(folder + "shoin/inidir.txt.tmp" + dead + "_7"));
  EXPECT_TRUE(common::FileExists(folder + "yagura.ini.tmp1_4"));  // process 1 still runs
  EXPECT_TRUE(common::FileExists(folder + "dat/notes.tmp"));
  EXPECT_TRUE(common::FileExists(folder + "dat/1234567890.dat"));
}

TEST_F(StartupTest, FormUnloadSavesSettingsAndListsAndRemovesTemporaryFiles) {
  FormLoad(m, {});
  m.form.txtURLBRD.SetText("http://changed.example/x/");
  m.form.listDATDL[1].AddItem("9.dat<1レス>gone (1)");
  WriteText(".post", "x");
  WriteText("_dat.lst", "x");
  bool ended = false;
  ShellComponents components;
  components.endMail = [&] { return ended = true; };
  FormUnload(m, components);
  EXPECT_TRUE(ended);
  EXPECT_NE(ReadText(".ini").find("brdurl=http://changed.example/x/\r\n"), std::string::npos);
  EXPECT_NE(ReadText("_Dat1001.lst").find("9.dat<1レス>gone (1)\r\n"), std::string::npos);
  EXPECT_FALSE(common::FileExists(Path(".post")));
  // The download plan is written, not removed: it carries the download list over.
  EXPECT_EQ(ReadText("_dat.lst").find("x"), std::string::npos);
  EXPECT_FALSE(m.form.tray.Added());
}

// A followed thread that drops while the monitor is stopped is handed to the
// dat-fall processing by the first title search after the restart, once.
TEST_F(StartupTest, FollowedThreadsSurviveARestart) {
  FormLoad(m, {});
  m.form.listDATDL[0].AddItem("1000000001.dat<5レス>dropped overnight (5)");
  m.form.listDATDL[0].AddItem("1000000002.dat<3レス>still listed (3)");
  m.form.listDATDL[1].AddItem("1000000003.dat<9レス>already handled (9)");
  m.form.listDATDL[0].AddItem("1000000003.dat<9レス>already handled (9)");
  FormUnload(m, {});

  Monitor restarted;
  restarted.paths = m.paths;
  restarted.clock = &clock;
  restarted.pump = &pump;
  restarted.messageBoxes = &boxes;
  FormLoad(restarted, {});
  EXPECT_EQ(restarted.form.listDATDL[0].Items(),
            (std::vector<std::string>{"1000000001.dat<5レス>dropped overnight (5)",
                                      "1000000002.dat<3レス>still listed (3)"}));
  // Killed now: the plan is still there for the next start.
  EXPECT_NE(ReadText("_dat.lst").find("1000000001.dat"), std::string::npos);

  std::vector<std::string> handed;
  restarted.processDroppedThread = [&](const std::string& title, const std::string&) {
    handed.push_back(title);
    return true;
  };
  SetRunState(restarted, RunState::kRunning);
  WriteText("_subject.txt", "1000000002.dat<>still listed (3)\n");
  ASSERT_TRUE(SearchTitles(restarted, Path("_subject.txt")));
  ASSERT_TRUE(SearchTitles(restarted, Path("_subject.txt")));
  EXPECT_EQ(handed, std::vector<std::string>{"dropped overnight"});
  EXPECT_EQ(restarted.form.listDATDL[0].Count(), 1);
}

TEST_F(StartupTest, InitialTextsFollowTheWindowNotTheSettingsHints) {
  InitializeWindow(m);
  EXPECT_EQ(m.form.txtWORD1[0].Text(), "");
  EXPECT_EQ(m.form.txtWORD1[0].ToolTip(), "ワードA1");
  EXPECT_EQ(m.form.txtURLBRD.ToolTip(),
            std::string("板URLを入力してください\"") + kBoardUrlHint + "\"");
  EXPECT_EQ(m.form.cmbTIME.Count(), 5);
  EXPECT_EQ(m.form.cmbTIME.SelectedText(), "60秒ごとに確認");
  EXPECT_EQ(m.form.Timer1.Tag(), "30");
  EXPECT_FALSE(m.form.frameTWITTER.Visible());
  EXPECT_EQ(m.form.txtCGIPASS.Text(), "削除用PASSWORD");
  EXPECT_EQ(m.form.frameWORD[2].Caption(), "ワードCの設定(&C)");
}

TEST_F(StartupTest, BalloonFeatureSwitchesLogsAndTells) {
  MENU_STATUS_Click(m);
  EXPECT_TRUE(m.form.balloonEnabled);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].title, "隠し機能が有効になりました - Yagura Version 0.3.86");
  EXPECT_EQ(boxes.shown[0].text.substr(0, 12), "あちゃー");
  MENU_STATUS_Click(m);
  EXPECT_FALSE(m.form.balloonEnabled);
  EXPECT_EQ(boxes.shown[1].text, "バルーン表示機能が無効になりました。");
  EXPECT_EQ(m.form.txtLOG.Text(), "\r\n○バルーン表示機能:有効\r\n×バルーン表示機能:無効");
}

TEST_F(StartupTest, ClosingIsCancelledUntilTheExitIsAllowed) {
  EXPECT_TRUE(Form_QueryUnload(m));
  EXPECT_EQ(m.form.MENU_FILE.Tag(), kExitRequested);
  SetExitRequest(m, ExitRequest::kAllowed);
  EXPECT_FALSE(Form_QueryUnload(m));
}

}  // namespace
}  // namespace yagura
