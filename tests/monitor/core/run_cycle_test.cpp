#include "monitor/core/run_cycle.h"

#include <cmath>
#include <filesystem>
#include <new>

#include "monitor/core/activity_log.h"
#include "monitor/core/exception_boundary.h"
#include "monitor/core/initialize_window.h"
#include "monitor/core/message_text.h"
#include "monitor/core/run_state.h"
#include "test_support.h"

namespace yagura {
namespace {

using testing::MonitorTest;

class RunCycleTest : public MonitorTest {
 protected:
  void SetUp() override {
    MonitorTest::SetUp();
    InitializeWindow(m);
    UnlockSettings(m);
    m.form.txtURLBRD.SetText("http://news.example.net/news/");
    m.form.cmbTIME.SetListIndex(0);  // 30 seconds
    m.steps.refreshSubject = [this](const std::string&) {
      ++refreshes;
      return refreshOk;
    };
    m.steps.retrieveDats = [this](const std::string& folder) {
      EXPECT_EQ(folder, this->folder + "dat/");
      ++downloads;
      if (duringDownload) duringDownload();
      return downloadOk;
    };
    m.unloadWindow = [this] { ++unloads; };
  }
  void Tick(double seconds = 0.1) {
    clock.uptime = std::round((clock.uptime + seconds) * 10000) / 10000;  // four decimals
    Timer1_Timer(m);
  }
  bool LogHas(std::string_view text) const {
    return common::Cp932ToUtf8(common::ReadWholeFile(Path(".log")).value_or("")).find(text) !=
           std::string::npos;
  }

  int refreshes = 0, downloads = 0, unloads = 0;
  bool refreshOk = true, downloadOk = true;
  std::function<void()> duringDownload;
};

TEST_F(RunCycleTest, CycleStartsOnTheFirstTickWithThirtyWholeSeconds) {
  Tick();  // stopped: the wait follows the clock
  cmdRUN_Click(m);
  ASSERT_EQ(m.form.cmdRUN.Tag(), kRunStateRunning);
  EXPECT_TRUE(m.form.cmdNOW.Enabled());
  EXPECT_EQ(m.form.Timer1.Tag(), "30");
  for (int i = 0; i < 299; ++i) Tick();  // 29.9 s
  EXPECT_EQ(refreshes, 0);
  EXPECT_EQ(m.form.progressBar.Value(), 29);
  EXPECT_EQ(m.form.progressBar.ToolTip(), "29");
  Tick();
  EXPECT_EQ(refreshes, 1);
  // The wait restarts at the end of the cycle.
  for (int i = 0; i < 299; ++i) Tick();
  EXPECT_EQ(refreshes, 1);
  Tick();
  EXPECT_EQ(refreshes, 2);
}

TEST_F(RunCycleTest, AutorunBeforeTheFirstTickRunsAtOnce) {
  cmdRUN_Click(m);
  Tick();
  EXPECT_EQ(refreshes, 1);
  EXPECT_TRUE(m.form.cmdNOW.Enabled());
  EXPECT_EQ(m.form.cmdRUN.Caption(), std::string(kStepPrefix) + "実行待機中...(03:04:05)");
  EXPECT_EQ(m.form.tray.Tip(), "03:04:05>正常終了@今すぐ実行中");
  EXPECT_EQ(m.form.Form1.Caption(), "実行待機中... - Yagura Version 0.3.86");
}

TEST_F(RunCycleTest, FullCycleLogsEveryStepInOrderWithItsTrayTip) {
  m.form.listDATDL[0].AddItem("1.dat<1レス>t (1)");
  m.form.listTHREADSEND[0].AddItem("1.dat<>t (1)");
  m.steps.searchTitles = [](const std::string&) { return true; };
  m.steps.sendThreadMail = [] { return false; };  // a failed mail goes on
  std::vector<std::string> lines, tips;
  m.onLogLine = [&](std::string_view line) {
    lines.emplace_back(line);
    tips.push_back(m.form.tray.Tip());
  };
  cmdRUN_Click(m);
  Tick();
  const std::string s = kStepPrefix;
  const std::vector<std::string> expected = {
      s + "実行待機中...(03:04:05)",
      s + "subject.txtを更新しています...(03:04:05)",
      s + "subject.txtを更新しました(03:04:05)",
      s + "スレッドタイトルを検索しています...(03:04:05)",
      s + "スレッドタイトルを検索しました(03:04:05)",
      s + "スレッド情報をメールで送信しています...(03:04:05)",
      s + "スレッド情報のメール送信に失敗しました(03:04:05)",
      s + "datをダウンロードしています...(03:04:05)",
      s + "datをダウンロードしました(03:04:05)",
      s + "実行待機中...(03:04:05)",
  };
  EXPECT_EQ(lines, expected);
  // The tip each step showed while it was logged.
  ASSERT_EQ(tips.size(), expected.size());
  EXPECT_EQ(tips[1], "03:04:05>今すぐ実行中...");
  EXPECT_EQ(tips[3], "03:04:05>subject.txt更新@今すぐ実行中");
  EXPECT_EQ(tips[5], "03:04:05>スレタイ検索@今すぐ実行中");
  EXPECT_EQ(tips[7], "03:04:05>スレ情報をメール送信@今すぐ実行中");
  EXPECT_EQ(tips[9], "03:04:05>正常終了@今すぐ実行中");
  EXPECT_EQ(m.form.tray.Tip(), "03:04:05>正常終了@今すぐ実行中");
  EXPECT_EQ(m.form.Form1.Caption(), "実行待機中... - Yagura Version 0.3.86");
  // The cycle's temporary files are gone; the plan file stays.
  EXPECT_TRUE(common::FileExists(Path("_dat.lst")));
}

TEST_F(RunCycleTest, NestedTicksDuringACycleOnlyRestartTheWait) {
  m.form.listDATDL[0].AddItem("1.dat<1レス>t (1)");
  // Every pump of the cycle lets a tick run, long after the interval.
  cmdRUN_Click(m);
  pump.onPump = [this] { Tick(100); };
  Tick();
  EXPECT_EQ(refreshes, 1);
  EXPECT_EQ(downloads, 1);
  EXPECT_TRUE(m.form.cmdNOW.Enabled());
  EXPECT_EQ(ReadText("_dat.lst").find(std::string(kStepPrefix) + "ダウンロード予定datリスト("), 0u);
}

TEST_F(RunCycleTest, StopDuringAStepTakesEffectAtTheNextStopCheck) {
  m.form.listDATDL[0].AddItem("1.dat<1レス>t (1)");
  m.form.listTHREADSEND[0].AddItem("1.dat<>t (1)");
  bool mailed = false;
  m.steps.sendThreadMail = [&] {
    mailed = true;
    return true;
  };
  m.steps.searchTitles = [this](const std::string&) {
    // The user presses stop while the step logs its details.
    pump.onPump = [this] {
      pump.onPump = nullptr;
      cmdRUN_Click(m);
    };
    WriteLog(m, std::string(kDetailPrefix) + "detail");
    return true;
  };
  cmdRUN_Click(m);
  Tick();
  EXPECT_FALSE(mailed);
  EXPECT_EQ(downloads, 0);
  EXPECT_EQ(m.form.cmdRUN.Tag(), kRunStateStopped);
  EXPECT_EQ(m.form.cmdRUN.Caption(), std::string(kRestPrefix) + "お休み中(03:04:05)");
  EXPECT_FALSE(m.form.cmdNOW.Enabled());
  EXPECT_TRUE(m.form.txtURLBRD.Enabled());
  EXPECT_EQ(m.form.Form1.Caption(), "お休み中 - Yagura Version 0.3.86");
  EXPECT_TRUE(LogHas("スレッドタイトルを検索しました"));
}

TEST_F(RunCycleTest, StopDuringTheDownloadLetsItFinishFirst) {
  m.form.listDATDL[0].AddItem("1.dat<1レス>t (1)");
  duringDownload = [this] { cmdRUN_Click(m); };
  cmdRUN_Click(m);
  Tick();
  EXPECT_EQ(downloads, 1);
  EXPECT_EQ(m.form.cmdRUN.Tag(), kRunStateStopped);
  EXPECT_FALSE(m.form.cmdNOW.Enabled());
  EXPECT_TRUE(LogHas("datをダウンロードしました"));
  EXPECT_NE(m.form.tray.Tip().find("お休み中"), std::string::npos);
}

TEST_F(RunCycleTest, StopAndStartAgainDuringAStepStartsNoSecondCycleInsideIt) {
  m.form.listDATDL[0].AddItem("1.dat<1レス>t (1)");
  int nestedCycles = 0;
  duringDownload = [this, &nestedCycles] {
    if (downloads > 1) {
      ++nestedCycles;
      return;
    }
    cmdRUN_Click(m);  // stop
    cmdRUN_Click(m);  // and start again while the download still runs
    EXPECT_EQ(m.form.cmdRUN.Tag(), kRunStateRunning);
    EXPECT_FALSE(m.form.cmdNOW.Enabled());  // the cycle is still under way
    for (int i = 0; i < 700; ++i) Tick();   // 70 s of ticks inside the step
  };
  cmdRUN_Click(m);
  Tick();
  EXPECT_EQ(nestedCycles, 0);
  EXPECT_EQ(downloads, 1);
  // The cycle went on to its end and the run waits for the next one.
  EXPECT_EQ(m.form.cmdRUN.Tag(), kRunStateRunning);
  EXPECT_TRUE(m.form.cmdNOW.Enabled());
  EXPECT_TRUE(LogHas("datをダウンロードしました"));
  for (int i = 0; i < 300; ++i) Tick();
  EXPECT_EQ(downloads, 2);
}

// The plan file keeps the download list across a restart: the threads the
// title search added are in it before the downloads start, so a monitor
// killed during the downloads still knows them; a failed download step
// leaves it as the search wrote it.
TEST_F(RunCycleTest, PlanIsKeptBeforeTheDownloadsAndFailedDownloadTakesTheErrorTail) {
  m.steps.searchTitles = [this](const std::string&) {
    m.form.listDATDL[0].AddItem("1.dat<1レス>t (1)");
    return true;
  };
  std::string planDuringDownload;
  duringDownload = [&] {
    planDuringDownload = common::Cp932ToUtf8(common::ReadWholeFile(Path("_dat.lst")).value_or(""));
  };
  downloadOk = false;
  cmdRUN_Click(m);
  Tick();
  EXPECT_NE(planDuringDownload.find("\r\n1.dat<1レス>t (1)\r\n"), std::string::npos)
      << planDuringDownload;
  EXPECT_TRUE(LogHas("datのダウンロードに失敗しました(03:04:05)"));
  EXPECT_EQ(m.form.tray.Tip(), "03:04:05>エラー@今すぐ実行中");
  EXPECT_TRUE(m.form.cmdNOW.Enabled());  // waiting for the next cycle
  EXPECT_EQ(m.form.cmdRUN.Tag(), kRunStateRunning);
}

TEST_F(RunCycleTest, FailedRefreshSkipsSearchButStillDownloads) {
  m.form.listDATDL[0].AddItem("1.dat<1レス>t (1)");
  bool searched = false;
  m.steps.searchTitles = [&](const std::string&) { return searched = true; };
  refreshOk = false;
  cmdRUN_Click(m);
  Tick();
  EXPECT_FALSE(searched);
  EXPECT_EQ(downloads, 1);
  EXPECT_TRUE(LogHas("subject.txtの更新に失敗しました"));
}

TEST_F(RunCycleTest, ClosingWhileRunningEndsOnTheSameTick) {
  m.form.Form1.SetVisible(true);
  cmdRUN_Click(m);
  Tick();
  SetExitRequest(m, ExitRequest::kRequested);
  Tick();
  EXPECT_EQ(m.form.cmdRUN.Tag(), kRunStateStopped);
  EXPECT_FALSE(m.form.Form1.Visible());
  EXPECT_FALSE(m.form.Timer1.Enabled());
  EXPECT_EQ(m.form.MENU_FILE.Tag(), kExitAllowed);
  EXPECT_EQ(unloads, 1);
  EXPECT_TRUE(LogHas(std::string(kRestPrefix) + "お休み中"));
}

TEST_F(RunCycleTest, ClosingDuringACycleUnloadsAndTheCycleStops) {
  m.form.listDATDL[0].AddItem("1.dat<1レス>t (1)");
  duringDownload = [this] {
    SetExitRequest(m, ExitRequest::kRequested);
    Tick();  // the nested tick runs the shutdown
  };
  cmdRUN_Click(m);
  Tick();
  EXPECT_EQ(unloads, 1);
  EXPECT_EQ(m.form.cmdRUN.Tag(), kRunStateStopped);
  EXPECT_EQ(m.form.MENU_FILE.Tag(), kExitAllowed);
}

TEST_F(RunCycleTest, SettingsChecksRefuseARunWithTheirMessage) {
  struct Case {
    const char* url;
    int box;  // chkB value of pair B
    const char* word;
    bool starts;
    const char* message;
  } cases[] = {
      {"http://a.example/b", 0, "", false,
       "板URLの設定が正しくありません。\r\n\r\n現在の設定一覧\r\n板URL：\r\nhttp://a.example/b"},
      {"HTTP://a.example/b/", 0, "", false, nullptr},
      {"https://a.example/b/", 0, "", true, nullptr},
      {"http://a.example/b/", 0, "", true, nullptr},
      {"http://127.0.0.1:8080/b/", 0, "", true, nullptr},
      // Addresses no thread address can be derived from.
      {"http://a.example/sub/b/", 0, "", false,
       "板URLの設定が正しくありません。\r\n\r\n現在の設定一覧\r\n板URL：\r\nhttp://a.example/sub/"
       "b/"},
      {"http://a.example/", 0, "", false, nullptr},
      {"http:///b/", 0, "", false, nullptr},
      {"http://a.example//", 0, "", false, nullptr},
      {"http://a.example/b/", 1, "", false,
       "ワードBの設定が空欄になっています。\r\n\r\n現在の設定一覧\r\nワードB1：\r\n\r\nワードB2：\r"
       "\nw2"},
      {"http://a.example/b/", 2, "w1", true, nullptr},
  };
  for (const Case& c : cases) {
    boxes.shown.clear();
    SetRunState(m, RunState::kStopped);
    m.form.txtURLBRD.SetText(c.url);
    m.form.chkB[1].SetValue(c.box);
    m.form.txtWORD1[1].SetText(c.word);
    m.form.txtWORD2[1].SetText("w2");
    cmdRUN_Click(m);
    EXPECT_EQ(m.form.cmdRUN.Tag() == kRunStateRunning, c.starts) << c.url << " " << c.box;
    EXPECT_EQ(boxes.shown.size(), c.starts ? 0u : 1u) << c.url;
    if (c.message) {
      ASSERT_EQ(boxes.shown.size(), 1u);
      EXPECT_EQ(boxes.shown[0].text, c.message);
      EXPECT_EQ(boxes.shown[0].title, "Yagura");
      EXPECT_EQ(boxes.shown[0].icon, MessageIcon::kExclamation);
    }
  }
}

TEST_F(RunCycleTest, StoppedTicksKeepTheBarEmptyAndShowTheStatusLine) {
  m.form.listDATDL[0].AddItem("1.dat<1レス>t (1)");
  m.form.listDATDL[1].SetItems({"2.dat<>a (1)", "3.dat<>b (1)"});
  clock.uptime = 3723.25;
  Timer1_Timer(m);
  EXPECT_EQ(m.form.progressBar.Max(), 1);
  EXPECT_EQ(m.form.progressBar.Value(), 0);
  EXPECT_EQ(m.form.MENU_STATUS.Caption(), "DL対象:1 dat落ち:2 OS稼働日数:1時間2分3.25秒(0.04日)");
}

TEST(StatusLine, Seconds) {
  EXPECT_EQ(StatusLineText(0.5, 0, 0), "DL対象:0 dat落ち:0 OS稼働日数:0時間0分0秒(0.00日)");
  EXPECT_EQ(StatusLineText(59.0001, 0, 0),
            "DL対象:0 dat落ち:0 OS稼働日数:0時間0分59.0001秒(0.00日)");
  EXPECT_EQ(StatusLineText(90061.1, 3, 4), "DL対象:3 dat落ち:4 OS稼働日数:25時間1分1.1秒(1.04日)");
}

TEST_F(RunCycleTest, TidyingLeavesNoSelection) {
  m.form.listTHREADSEND[0].SetItems({"a", "b"});
  m.form.listDATDL[1].SetItems({"a", "b"});
  m.form.listDATDL[1].SetListIndex(0);
  std::vector<int> seen;
  struct Watch : FormObserver {
    std::vector<int>* seen;
    const ListBox* list;
    void ControlChanged(const Control& c) override {
      if (&c == list) seen->push_back(list->ListIndex());
    }
  } watch;
  watch.seen = &seen;
  watch.list = &m.form.listDATDL[1];
  m.form.AddObserver(&watch);
  TidyLists(m);
  m.form.RemoveObserver(&watch);
  EXPECT_EQ(seen, (std::vector<int>{1, -1}));  // scrolled to the last entry first
  EXPECT_EQ(m.form.listTHREADSEND[0].ListIndex(), -1);
}

}  // namespace
}  // namespace yagura

namespace yagura {
namespace {

// A library exception inside a handler stops where the event loop called it:
// one log line, and the monitor goes on running its cycles.
TEST_F(RunCycleTest, ExceptionInACycleIsLoggedAndTheRunGoesOn) {
  cmdRUN_Click(m);
  const struct {
    const char* name;
    std::function<void()> raise;
    const char* what;
  } cases[] = {
      {"bad_alloc", [] { throw std::bad_alloc(); }, "std::bad_alloc"},
      {"filesystem",
       [] {
         throw std::filesystem::filesystem_error(
             "cannot copy", std::make_error_code(std::errc::no_space_on_device));
       },
       "cannot copy"},
      {"other", [] { throw 42; }, "unknown exception"},
  };
  m.form.listDATDL[0].AddItem("1.dat<1レス>t (1)");
  int expectedDownloads = 0;
  for (const auto& c : cases) {
    duringDownload = c.raise;
    const bool returned = CallAtBoundary(m, "Timer1_Timer", [this] { cmdNOW_Click(m); });
    EXPECT_FALSE(returned) << c.name;
    EXPECT_EQ(downloads, ++expectedDownloads) << c.name;
    EXPECT_TRUE(LogHas("Timer1_Timerで例外が発生しました: ")) << c.name;
    EXPECT_TRUE(LogHas(c.what)) << c.name;
    EXPECT_FALSE(m.cycleInProgress) << c.name;
    EXPECT_EQ(m.form.cmdRUN.Tag(), kRunStateRunning) << c.name;
    EXPECT_TRUE(m.form.cmdNOW.Enabled()) << c.name;
  }
  // The next cycle comes as usual.
  duringDownload = nullptr;
  for (int i = 0; i < 300 && downloads == expectedDownloads; ++i) {
    CallAtBoundary(m, "Timer1_Timer", [this] { Tick(); });
  }
  EXPECT_EQ(downloads, expectedDownloads + 1);
}

}  // namespace
}  // namespace yagura
