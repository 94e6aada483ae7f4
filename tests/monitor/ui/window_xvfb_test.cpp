// The window on an X server with a window manager: every control inside the
// window with its caption whole at each of the three sizes, stopped and
// running (screenshots kept for a look), and a stop click repainted at once
// while a slow transfer runs.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "common/file_io.h"
#include "monitor/core/run_cycle.h"
#include "monitor/core/run_state.h"
#include "monitor/core/startup.h"
#include "monitor/core/window_commands.h"
#include "monitor/ui/main_window.h"
#include "monitor/ui/monitor_host.h"
#include "tests/monitor/ui/layout_check.h"
#include "tests/servers/script_server.h"
#include "tests/support/monitor_fakes.h"

namespace yagura {
namespace {

using testing::TempFolder;

class WindowXvfbTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "window_xvfb_test";
    static char* argv[] = {name, nullptr};
    // Left to the end of the process: X connections do not survive static
    // destruction.
    app = new QApplication(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
  }
  void SetUp() override {
    ASSERT_TRUE(qgetenv("DISPLAY").size() > 0) << "run this test through run_under_xvfb.sh";
    ASSERT_FALSE(QFontDatabase::families(QFontDatabase::Japanese).isEmpty())
        << "no Japanese font: run tools/install_packages.sh";
    std::filesystem::create_directories(SCREENSHOT_DIR);
  }
  static void Settle(int ms = 100) { QTest::qWait(ms); }
  static QApplication* app;
};
QApplication* WindowXvfbTest::app = nullptr;

// A slow board: the subject list trickles in.
std::vector<testing::ScriptStep> SlowSubjectList() {
  return {testing::Send("HTTP/1.1 200 OK\r\nContent-Length: 4000\r\n\r\n"),
          testing::Send("1234567890.dat<>t (1)\n"), testing::Pause(1500), testing::Close()};
}

TEST_F(WindowXvfbTest, EveryControlFitsAtEachSizeStoppedAndRunning) {
  TempFolder folder;
  ASSERT_TRUE(common::ReplaceFileAtomically(folder.Path() + "yagura.ini",
                                            "brdurl=http://127.0.0.1:9/b/\r\n"));
  MonitorHost host("", std::make_unique<StderrMessageBoxes>());
  Monitor& m = host.monitor();
  m.paths.folder = folder.Path();
  m.paths.exeName = "yagura";
  m.form.Form1.SetVisible(false);
  MainWindow window(m);
  host.Load();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  for (const char* state : {"stopped", "running"}) {
    if (std::string(state) == "running") {
      cmdRUN_Click(m);
      ASSERT_EQ(m.form.cmdRUN.Tag(), kRunStateRunning);
      // A caption as long as the cycle writes while it retrieves.
      m.form.cmdRUN.SetCaption("（　´ω`）dat取得中...[3/12] 1234567890.dat(12:34:56)");
    }
    const std::pair<const char*, WindowSize> sizes[] = {{"large", kLargeWindowSize},
                                                        {"compact", kCompactWindowSize},
                                                        {"design", kDesignWindowSize}};
    for (const auto& [name, size] : sizes) {
      SCOPED_TRACE(std::string(name) + " " + state);
      m.form.Form1.SetSize(size.width, size.height);
      Settle();
      EXPECT_EQ(window.size(), QSize(size.width, size.height));
      for (const std::string& p : testing::LayoutProblemsOfEveryPage(&window, [] { Settle(50); })) {
        ADD_FAILURE() << p;
      }
      const QString base = QString("%1/window_%2_%3").arg(SCREENSHOT_DIR, name, state);
      EXPECT_TRUE(window.grab().save(base + ".png"));
      // With the window manager's frame, as the user sees it, when the
      // window manager has put one on in time (the shot is for a look only).
      (void)QTest::qWaitFor([&] { return window.frameGeometry().size() != window.size(); }, 1000);
      QScreen* screen = QGuiApplication::primaryScreen();
      const QRect frame = window.frameGeometry();
      const QPixmap framed =
          screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
      EXPECT_TRUE(framed.save(base + "_framed.png"));
      if (window.Tabs()) {
        for (int i = 1; i < window.Tabs()->count(); ++i) {
          window.Tabs()->setCurrentIndex(i);
          Settle(50);
          EXPECT_TRUE(window.grab().save(base + QString("_tab%1.png").arg(i)));
        }
        window.Tabs()->setCurrentIndex(0);
      }
    }
  }
  cmdRUN_Click(m);
  host.Unload();
}

TEST_F(WindowXvfbTest, StopDuringASlowTransferRepaintsAtOnce) {
  testing::ScriptServer board(SlowSubjectList());
  ASSERT_TRUE(board.Running());
  TempFolder folder;
  ASSERT_TRUE(common::ReplaceFileAtomically(folder.Path() + "yagura.ini",
                                            "brdurl=" + board.Url("/b/") + "\r\n"));
  MonitorHost host("", std::make_unique<StderrMessageBoxes>());
  Monitor& m = host.monitor();
  m.paths.folder = folder.Path();
  m.paths.exeName = "yagura";
  m.form.Form1.SetVisible(false);
  MainWindow window(m);
  host.Load();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  host.StartTicks();
  QTest::mouseClick(window.RunButton(), Qt::LeftButton);
  ASSERT_EQ(m.form.cmdRUN.Tag(), kRunStateRunning);

  // Records when the run button paints after the stop click.
  struct PaintWatch : QObject {
    QElapsedTimer clock;
    qint64 stoppedAt = -1;
    qint64 paintedAt = -1;
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint && stoppedAt >= 0 && paintedAt < 0) {
        paintedAt = clock.elapsed();
      }
      return false;
    }
  } watch;
  watch.clock.start();
  window.RunButton()->installEventFilter(&watch);

  bool transferRunning = false;
  // The cycle runs nested in this click until the transfer ends; the stop
  // click arrives through the events the transfer pumps.
  QTimer::singleShot(0, &window, [&] { QTest::mouseClick(window.NowButton(), Qt::LeftButton); });
  QTimer::singleShot(500, &window, [&] {
    transferRunning = m.cycleInProgress;
    watch.stoppedAt = watch.clock.elapsed();
    QTest::mouseClick(window.RunButton(), Qt::LeftButton);
  });
  EXPECT_TRUE(QTest::qWaitFor(
      [&] { return watch.paintedAt >= 0 && watch.stoppedAt >= 0 && !m.cycleInProgress; }, 10000));
  EXPECT_TRUE(transferRunning) << "the stop came after the transfer: " << m.form.txtLOG.Text();
  EXPECT_GE(watch.paintedAt, 0);
  EXPECT_LT(watch.paintedAt - watch.stoppedAt, 100);
  RecordProperty("repaint_after_stop_ms", static_cast<int>(watch.paintedAt - watch.stoppedAt));
  EXPECT_EQ(m.form.cmdRUN.Tag(), kRunStateStopped);
  EXPECT_NE(ToUtf8(window.RunButton()->text()).find("お休み中"), std::string::npos);
  window.RunButton()->removeEventFilter(&watch);
  host.Unload();
}

}  // namespace
}  // namespace yagura
