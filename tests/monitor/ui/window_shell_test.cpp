// The desktop program as its user meets it, under the offscreen platform:
// start-up switches, locking, window sizes, tray, menus and closing.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include "common/file_io.h"
#include "monitor/core/initialize_window.h"
#include "monitor/core/list_menus.h"
#include "monitor/core/run_cycle.h"
#include "monitor/core/run_state.h"
#include "monitor/core/startup.h"
#include "monitor/core/window_commands.h"
#include "monitor/ui/main_window.h"
#include "monitor/ui/qt_platform.h"
#include "tests/monitor/ui/layout_check.h"
#include "tests/support/monitor_fakes.h"

namespace yagura {
namespace {

using testing::FakeClock;
using testing::RecordedBoxes;
using testing::TempFolder;

constexpr const char* kNormalGreeting =
    "（´ω｀）起動しました。注意書きを読んで正しくお使い下さい。";
constexpr const char* kAdminGreeting = "（´ω｀）管理者モードで起動しました。";

class WindowShellTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "window_shell_test";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
  }
  void SetUp() override {
    m.paths.folder = temp.Path();
    m.pump = &pump;
    m.clock = &clock;
    m.messageBoxes = &boxes;
    ASSERT_TRUE(
        common::ReplaceFileAtomically(m.paths.File(".ini"), "brdurl=http://a.example/b/\r\n"));
  }
  // The window's widgets whose caption is `caption`.
  template <typename W>
  static std::vector<W*> Captioned(QWidget& window, const char* caption) {
    std::vector<W*> found;
    for (W* w : window.findChildren<W*>()) {
      QString text;
      if constexpr (std::is_same_v<W, QGroupBox>) {
        text = w->title();
      } else {
        text = w->text();
      }
      if (text == QString::fromUtf8(caption)) found.push_back(w);
    }
    return found;
  }
  static QSize SizeOf(WindowSize s) { return QSize(s.width, s.height); }

  TempFolder temp;
  QtEventPump pump;
  FakeClock clock;
  RecordedBoxes boxes;
  Monitor m;
};

TEST_F(WindowShellTest, StartUpFollowsTheCommandLine) {
  struct Case {
    const char* line;
    bool running, visible, minimized;
    WindowSize size;
    bool administrator;
  } cases[] = {
      {"", false, true, false, kLargeWindowSize, false},
      {"/AutoRun", true, false, false, kLargeWindowSize, false},
      {"/autorun /windowmini", true, true, true, kLargeWindowSize, false},
      {"/windowmode", false, true, false, kCompactWindowSize, false},
      {"/tmp/autorunx", true, false, false, kLargeWindowSize, false},
      {"/ownermode", false, true, false, kLargeWindowSize, true},
      {"/OwnerMode", false, true, false, kLargeWindowSize, false},
      {"/WINDOWMODE /ownermode /windowMini", false, true, true, kCompactWindowSize, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    Monitor fresh;
    fresh.paths = m.paths;
    fresh.pump = &pump;
    fresh.clock = &clock;
    fresh.messageBoxes = &boxes;
    fresh.commandLine = c.line;
    fresh.form.Form1.SetVisible(false);  // as the window front starts it
    MainWindow window(fresh);
    FormLoad(fresh, {});
    QApplication::processEvents();
    EXPECT_EQ(fresh.form.cmdRUN.Tag(), c.running ? kRunStateRunning : kRunStateStopped);
    EXPECT_EQ(window.isVisible(), c.visible);
    EXPECT_EQ(fresh.form.Form1.Minimized(), c.minimized);
    if (c.visible) {
      EXPECT_EQ(window.isMinimized(), c.minimized);
    }
    EXPECT_EQ(window.size(), SizeOf(c.size));
    EXPECT_EQ(window.CurrentArrangement(),
              c.size == kLargeWindowSize ? Arrangement::kLarge : Arrangement::kCompact);
    const QString pane = window.LogPane()->toPlainText();
    EXPECT_TRUE(pane.startsWith(QString::fromUtf8(BaseTitleText().c_str()))) << pane.toStdString();
    EXPECT_TRUE(
        pane.contains(QString::fromUtf8(c.administrator ? kAdminGreeting : kNormalGreeting)));
    EXPECT_EQ(fresh.form.chkD[0].Enabled(), c.administrator && !c.running);
    FormUnload(fresh, {});
  }
}

TEST_F(WindowShellTest, LockingFollowsTheRunAndTheAdministratorMode) {
  struct Case {
    bool administrator, running;
    bool wordsEnabled, uploadBoxesEnabled, windowModeEnabled, nowEnabled;
    int uploaderValue;
  } cases[] = {
      {false, false, true, false, true, false, 2},
      {true, false, true, true, true, false, 2},
      {false, true, false, false, false, true, 1},
      {true, true, false, false, false, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message()
                 << "administrator " << c.administrator << " running " << c.running);
    Monitor fresh;
    fresh.paths = m.paths;
    fresh.pump = &pump;
    fresh.clock = &clock;
    fresh.commandLine = c.administrator ? "/ownermode" : "";
    InitializeWindow(fresh);
    MainWindow window(fresh);
    // The settings file may have switched them on; only the mode may keep them.
    fresh.form.chkD[1].SetValue(1);
    fresh.form.chkE[1].SetValue(1);
    fresh.form.chkC[1].SetValue(1);
    UnlockSettings(fresh);
    if (c.running) LockSettings(fresh);
    EXPECT_EQ(fresh.form.chkD[1].Value(), c.administrator ? 1 : 0);
    EXPECT_EQ(fresh.form.chkE[1].Value(), c.administrator ? 1 : 0);
    EXPECT_EQ(fresh.form.chkC[1].Value(), 0);
    EXPECT_EQ(fresh.form.chkCGISnUploader.Value(), c.uploaderValue);
    EXPECT_EQ(window.BoardUrlEdit()->isEnabled(), c.wordsEnabled);
    EXPECT_EQ(window.NowButton()->isEnabled(), c.nowEnabled);
    EXPECT_EQ(window.WindowModeMenu()->isEnabled(), c.windowModeEnabled);
    for (const char* caption :
         {"dat落ち後：CGIでアップロード", "スレ/パスの情報をTwitterにも投稿"}) {
      for (QCheckBox* box : Captioned<QCheckBox>(window, caption)) {
        EXPECT_EQ(box->isEnabled(), c.uploadBoxesEnabled) << caption;
      }
    }
    for (QCheckBox* box : Captioned<QCheckBox>(window, "検出時：ガムテパス情報をメールで送信")) {
      EXPECT_FALSE(box->isEnabled());
      EXPECT_EQ(box->checkState(), Qt::Unchecked);
    }
    auto uploader = Captioned<QGroupBox>(window, "アップロードCGIの設定(&S)");
    ASSERT_EQ(uploader.size(), 1u);
    EXPECT_EQ(uploader[0]->isEnabled(), c.uploadBoxesEnabled);
  }
}

TEST_F(WindowShellTest, ControlsCarryTheirCaptionsAndTooltips) {
  InitializeWindow(m);
  MainWindow window(m);
  EXPECT_EQ(ToUtf8(window.BoardUrlEdit()->toolTip()),
            std::string("板URLを入力してください\"") + kBoardUrlHint + "\"");
  auto words = Captioned<QGroupBox>(window, "ワードBの設定(&B)");
  ASSERT_EQ(words.size(), 1u);
  EXPECT_EQ(ToUtf8(words[0]->toolTip()), "ワードB1/2がスレタイに含まれるスレッドが処理対象です");
  auto twitter = Captioned<QGroupBox>(window, "Twitterの設定(&T)");
  ASSERT_EQ(twitter.size(), 1u);
  EXPECT_FALSE(twitter[0]->isVisibleTo(&window));
  EXPECT_EQ(Captioned<QCheckBox>(window, "\"Sn Uploader\"CGIでアップロード").size(), 1u);
  EXPECT_EQ(Captioned<QPushButton>(window, "今すぐ実行").size(), 1u);
  std::vector<std::string> help;
  for (QAction* a : window.HelpMenu()->actions()) help.push_back(ToUtf8(a->text()));
  EXPECT_EQ(help, (std::vector<std::string>{"ヘルプ ReadMe.txt(&H)...", "ホームページ(&W)...",
                                            "バージョン情報(&A)...", "ウインドウモード変更(&M)"}));
  EXPECT_EQ(ToUtf8(window.FileMenu()->title()), "ファイル(&F)");
  EXPECT_EQ(ToUtf8(window.FileMenu()->actions().at(0)->text()), "終了(&X)");
  EXPECT_EQ(ToUtf8(window.StatusMenu()->text()), "ステータス");
}

TEST_F(WindowShellTest, WindowModeAlternatesCompactAndLargeAndNeverReturnsToDesign) {
  InitializeWindow(m);
  MainWindow window(m);
  m.form.Form1.SetSize(kDesignWindowSize.width, kDesignWindowSize.height);
  window.show();
  EXPECT_EQ(window.size(), SizeOf(kDesignWindowSize));
  const WindowSize expected[] = {kCompactWindowSize, kLargeWindowSize, kCompactWindowSize,
                                 kLargeWindowSize, kCompactWindowSize};
  for (const WindowSize& s : expected) {
    window.WindowModeMenu()->trigger();
    QApplication::processEvents();
    EXPECT_EQ(window.size(), SizeOf(s));
    EXPECT_EQ(m.form.Form1.Width(), s.width);
    EXPECT_EQ(window.Tabs() != nullptr, s == kCompactWindowSize);
    // The progress bar is fitted anew to each arrangement.
    EXPECT_GT(window.Progress()->width(), s.width / 2);
    EXPECT_TRUE(window.Progress()->isVisible());
  }
  // A size the user dragged counts as "any other size": the command goes large.
  window.resize(700, 500);
  QApplication::processEvents();
  window.WindowModeMenu()->trigger();
  EXPECT_EQ(window.size(), SizeOf(kLargeWindowSize));
}

TEST_F(WindowShellTest, EveryControlFitsAtEachSize) {
  InitializeWindow(m);
  UnlockSettings(m);
  MainWindow window(m);
  window.show();
  for (WindowSize s : {kLargeWindowSize, kCompactWindowSize, kDesignWindowSize}) {
    SCOPED_TRACE(::testing::Message() << s.width << "x" << s.height);
    m.form.Form1.SetSize(s.width, s.height);
    QApplication::processEvents();
    ASSERT_EQ(window.size(), SizeOf(s));
    for (const std::string& p :
         testing::LayoutProblemsOfEveryPage(&window, [] { QApplication::processEvents(); })) {
      ADD_FAILURE() << p;
    }
  }
}

TEST_F(WindowShellTest, TrayClicksToggleTheWindowAndTheTipIsCut) {
  InitializeWindow(m);
  MainWindow window(m);
  m.form.Form1.SetVisible(true);
  struct Step {
    QSystemTrayIcon::ActivationReason reason;
    bool visibleAfter;
  } steps[] = {
      {QSystemTrayIcon::Trigger, false},     {QSystemTrayIcon::Context, false},
      {QSystemTrayIcon::DoubleClick, false}, {QSystemTrayIcon::Trigger, true},
      {QSystemTrayIcon::MiddleClick, true},
  };
  for (const Step& s : steps) {
    window.TrayActivated(s.reason);
    EXPECT_EQ(window.isVisible(), s.visibleAfter) << s.reason;
  }
  // A minimized window comes back at a left click.
  m.form.Form1.SetMinimized(true);
  window.TrayActivated(QSystemTrayIcon::Trigger);
  EXPECT_FALSE(m.form.Form1.Minimized());
  EXPECT_TRUE(m.form.Form1.Visible());
  EXPECT_FALSE(window.isMinimized());
  // The right button opens the File menu.
  EXPECT_EQ(window.TrayIcon()->contextMenu(), window.FileMenu());

  struct Tip {
    std::string tip, shown;
  } tips[] = {
      {std::string(127, 'a'), std::string(127, 'a')},
      {std::string(128, 'a'), std::string(127, 'a')},
      {"作業中", "作業中"},
  };
  std::string japanese;
  for (int i = 0; i < 130; ++i) japanese += "字";
  std::string cut;
  for (int i = 0; i < 127; ++i) cut += "字";
  for (const Tip& t : tips) EXPECT_EQ(TrayTipText(t.tip), t.shown);
  EXPECT_EQ(TrayTipText(japanese), cut);
  EXPECT_EQ(TrayTipText(std::string(126, 'a') + "😀x"), std::string(126, 'a') + "😀");
  m.form.tray.SetTip(japanese);
  EXPECT_EQ(window.TrayIcon()->toolTip().size(), 127);
}

TEST_F(WindowShellTest, StatusToggleTellsOnAndOff) {
  InitializeWindow(m);
  m.form.baseTitle = BaseTitleText();
  MainWindow window(m);
  window.StatusMenu()->trigger();
  window.StatusMenu()->trigger();
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_EQ(boxes.shown[0].title, "隠し機能が有効になりました - " + BaseTitleText());
  EXPECT_EQ(boxes.shown[0].text,
            "あちゃー、クリックしちゃったかー。\r\n"
            "バルーン表示機能が有効になりました。この機能を無効にするにはもう一度クリックしてくださ"
            "い。\r\n"
            "この機能の有効/無効設定は保存されず、起動時に常に無効化されます。");
  EXPECT_EQ(boxes.shown[1].title, "隠し機能が無効になりました - " + BaseTitleText());
  EXPECT_EQ(boxes.shown[1].text, "バルーン表示機能が無効になりました。");
  EXPECT_TRUE(
      window.LogPane()->toPlainText().contains(QString::fromUtf8("○バルーン表示機能:有効")));
  EXPECT_TRUE(
      window.LogPane()->toPlainText().contains(QString::fromUtf8("×バルーン表示機能:無効")));
  EXPECT_FALSE(m.form.balloonEnabled);
}

TEST_F(WindowShellTest, HelpCommandsOpenOrSayWhyNot) {
  InitializeWindow(m);
  m.form.baseTitle = BaseTitleText();
  MainWindow window(m);
  std::vector<std::string> opened;
  bool opens = true;
  window.SetShellOpen([&](const std::string& target) {
    opened.push_back(target);
    return opens;
  });
  QList<QAction*> help = window.HelpMenu()->actions();
  const std::string readMe = m.paths.folder + "ReadMe.txt";
  struct Case {
    int action;
    bool fileThere, opens;
    std::string box;  // "" for none
  } cases[] = {
      {0, false, true, "ReadMe.txt を開くことができませんでした。"},
      {0, true, true, ""},
      {0, true, false, "ReadMe.txt を開くことができませんでした。"},
      {1, false, true, ""},
      {1, false, false, std::string(kHomePageAddress) + " を開くことができませんでした。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.action << c.fileThere << c.opens);
    boxes.shown.clear();
    opened.clear();
    opens = c.opens;
    if (c.fileThere) {
      ASSERT_TRUE(common::ReplaceFileAtomically(readMe, "x"));
    } else {
      common::RemoveFile(readMe);
    }
    help[c.action]->trigger();
    if (c.box.empty()) {
      EXPECT_TRUE(boxes.shown.empty());
    } else {
      ASSERT_EQ(boxes.shown.size(), 1u);
      EXPECT_EQ(boxes.shown[0].text, c.box);
      EXPECT_EQ(boxes.shown[0].icon, MessageIcon::kCritical);
    }
    if (c.fileThere || c.action == 1) {
      ASSERT_EQ(opened.size(), 1u);
      EXPECT_EQ(opened[0], c.action == 0 ? readMe : std::string(kHomePageAddress));
    }
  }
  boxes.shown.clear();
  help[2]->trigger();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].title, "バージョン情報 - Yagura");
  EXPECT_EQ(boxes.shown[0].text.rfind(BaseTitleText() + "\r\n\r\nCopyright", 0), 0u);
}

TEST_F(WindowShellTest, ClosingWhileStoppedClosesAtTheNextTick) {
  InitializeWindow(m);
  UnlockSettings(m);
  MainWindow window(m);
  window.show();
  bool unloaded = false;
  m.unloadWindow = [&] {
    unloaded = true;
    window.close();
  };
  EXPECT_FALSE(window.close());
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(m.form.MENU_FILE.Tag(), kExitRequested);
  // File > Exit does the same.
  window.FileMenu()->actions().at(0)->trigger();
  EXPECT_EQ(m.form.MENU_FILE.Tag(), kExitRequested);
  Timer1_Timer(m);
  EXPECT_TRUE(unloaded);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(m.form.MENU_FILE.Tag(), kExitAllowed);
}

}  // namespace
}  // namespace yagura
