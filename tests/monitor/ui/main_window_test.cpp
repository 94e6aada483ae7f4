// The window under the offscreen platform, bound to the form model.
#include "monitor/ui/main_window.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <filesystem>

#include "monitor/core/activity_log.h"
#include "monitor/core/initialize_window.h"
#include "monitor/core/run_state.h"
#include "monitor/ui/qt_platform.h"

namespace yagura {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "main_window_test";
    static char* argv[] = {name, nullptr};
    app = new QApplication(argc, argv);
  }
  void SetUp() override {
    char pattern[] = "/tmp/yagura_window_XXXXXX";
    folder = mkdtemp(pattern);
    m.paths.folder = folder + "/";
    m.pump = &pump;
    m.form.baseTitle = "Yagura Version 0.3.86";
    InitializeWindow(m);
    UnlockSettings(m);
  }
  void TearDown() override { std::filesystem::remove_all(folder); }

  static QApplication* app;
  std::string folder;
  QtEventPump pump;
  Monitor m;
};
QApplication* MainWindowTest::app = nullptr;

TEST_F(MainWindowTest, TypingABoardUrlChangesTheModel) {
  MainWindow window(m);
  window.show();
  QLineEdit* edit = window.BoardUrlEdit();
  EXPECT_EQ(ToUtf8(edit->text()), kBoardUrlHint);
  edit->setFocus();
  edit->selectAll();
  // Non-ASCII text must go one character at a time (keyClicks asserts).
  for (QChar c : QString::fromUtf8("http://板.example/ニュース/")) {
    QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, QString(c), Qt::NoModifier);
  }
  EXPECT_EQ(m.form.txtURLBRD.Text(), "http://板.example/ニュース/");
}

TEST_F(MainWindowTest, ModelChangesShowAtOnce) {
  MainWindow window(m);
  m.form.txtURLBRD.SetText("http://a.example/b/");
  EXPECT_EQ(window.BoardUrlEdit()->text(), "http://a.example/b/");
  WriteLog(m, "（　´ω`）作業中...(01:02:03)");
  EXPECT_TRUE(window.LogPane()->toPlainText().endsWith(QString::fromUtf8("作業中...(01:02:03)")));
  EXPECT_EQ(ToUtf8(window.windowTitle()), "作業中... - Yagura Version 0.3.86");
  m.form.listDATDL[1].AddItem("1.dat<1レス>t (1)");
  ASSERT_EQ(window.List(1, 1)->count(), 1);
  EXPECT_EQ(ToUtf8(window.List(1, 1)->item(0)->text()), "1.dat<1レス>t (1)");
  m.form.cmdRUN.SetCaption("動作中");
  EXPECT_EQ(ToUtf8(window.RunButton()->text()), "動作中");
  m.form.txtURLBRD.SetEnabled(false);
  EXPECT_FALSE(window.BoardUrlEdit()->isEnabled());
}

TEST_F(MainWindowTest, ClosingOnlyRequestsTheExit) {
  MainWindow window(m);
  window.show();
  EXPECT_FALSE(window.close());
  EXPECT_EQ(m.form.MENU_FILE.Tag(), kExitRequested);
  SetExitRequest(m, ExitRequest::kAllowed);
  EXPECT_TRUE(window.close());
}

TEST_F(MainWindowTest, HiddenWindowIsShownWhenThereIsNoTray) {
  MainWindow window(m);
  m.form.Form1.SetVisible(false);  // as "/autorun" leaves it
  window.ShowIfUnreachable();
  if (window.HasTray()) {
    EXPECT_FALSE(window.isVisible());
  } else {
    EXPECT_TRUE(m.form.Form1.Visible());
    EXPECT_TRUE(window.isVisible());
  }
}

TEST_F(MainWindowTest, FirstShowCentresTheWindowOnTheScreen) {
  MainWindow window(m);
  window.show();
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_EQ(window.x(), std::max(area.left(), area.left() + (area.width() - window.width()) / 2));
  EXPECT_EQ(window.y(), std::max(area.top(), area.top() + (area.height() - window.height()) / 2));
}

TEST_F(MainWindowTest, RunButtonStartsTheRun) {
  MainWindow window(m);
  m.form.txtURLBRD.SetText("http://a.example/b/");
  QTest::mouseClick(window.RunButton(), Qt::LeftButton);
  EXPECT_EQ(m.form.cmdRUN.Tag(), kRunStateRunning);
  EXPECT_FALSE(window.BoardUrlEdit()->isEnabled());
}

TEST_F(MainWindowTest, ListMenuDeletesTheSelectedEntryAndSavesTheLists) {
  MainWindow window(m);
  m.form.listDATDL[1].SetItems({"1.dat<1レス>a&b (1)", "2.dat<1レス>c (1)"});
  window.List(1, 1)->setCurrentRow(1);
  ASSERT_EQ(m.form.listDATDL[1].ListIndex(), 1);
  std::unique_ptr<QMenu> menu = window.MakeListMenu(1, 1);
  QList<QAction*> actions = menu->actions();
  ASSERT_EQ(actions.size(), 3);
  EXPECT_EQ(ToUtf8(actions[0]->text()), "2.dat<1レス>c (1)");
  EXPECT_EQ(ToUtf8(actions[1]->text()), "dat落ちリストから削除(&D)");
  EXPECT_TRUE(actions[1]->isEnabled());
  actions[1]->trigger();
  EXPECT_EQ(m.form.listDATDL[1].Items(), (std::vector<std::string>{"1.dat<1レス>a&b (1)"}));
  EXPECT_EQ(window.List(1, 1)->count(), 1);
  EXPECT_TRUE(std::filesystem::exists(m.paths.File("_Dat1001.lst")));

  // The download list shows the entry only; an "&" in a title is no mnemonic.
  m.form.listDATDL[0].SetItems({"1.dat<1レス>a&b (1)"});
  m.form.listDATDL[0].SetListIndex(0);
  menu = window.MakeListMenu(1, 0);
  ASSERT_EQ(menu->actions().size(), 1);
  EXPECT_EQ(ToUtf8(menu->actions()[0]->text()), "1.dat<1レス>a&&b (1)");
}

}  // namespace
}  // namespace yagura
