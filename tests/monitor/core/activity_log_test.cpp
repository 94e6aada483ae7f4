#include "monitor/core/activity_log.h"

#include "monitor/core/message_text.h"
#include "test_support.h"

namespace yagura {
namespace {

using testing::MonitorTest;

class ActivityLogTest : public MonitorTest {};

TEST_F(ActivityLogTest, RecordIsDateTimeLineAndMessageLineInCp932) {
  WriteLog(m, "テスト");
  WriteLog(m, "DEBUG[x] only in the file");
  auto bytes = common::ReadWholeFile(Path(".log"));
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes,
            common::Utf8ToCp932("2010/01/02(Sat)03:04:05\r\nテスト\r\n"
                                "2010/01/02(Sat)03:04:05\r\nDEBUG[x] only in the file\r\n"));
  EXPECT_EQ(m.form.txtLOG.Text(), "\r\nテスト");
  EXPECT_EQ(pump.count, 2);
}

TEST(EscapeControls, ServerBytesBecomeVisible) {
  struct {
    std::string in, out;
  } cases[] = {
      {"plain 日本語\ttab", "plain 日本語\ttab"}, {"two\r\nlines\n", "two\r\nlines\n"},
      {"\x1b[2Jcleared", "\\x1B[2Jcleared"},      {std::string("nul\0byte", 8), "nul\\x00byte"},
      {"lone\rcr\x7f", "lone\\x0Dcr\\x7F"},
  };
  for (const auto& c : cases) EXPECT_EQ(EscapeControls(c.in), c.out);
}

TEST_F(ActivityLogTest, ControlBytesReachThePaneFileAndConsoleEscaped) {
  std::string seen;
  m.onLogLine = [&](std::string_view line) { seen = std::string(line); };
  WriteLog(m, std::string("title\x1b]0;owned\x07 (5)\0", 20));
  EXPECT_EQ(seen, "title\\x1B]0;owned\\x07 (5)\\x00");
  auto file = common::ReadWholeFile(Path(".log"));
  ASSERT_TRUE(file);
  EXPECT_NE(file->find("title\\x1B]0;owned\\x07 (5)\\x00\r\n"), std::string::npos);
  EXPECT_EQ(m.form.txtLOG.Text().find('\x1b'), std::string::npos);
}

TEST_F(ActivityLogTest, WorkInProgressSetsTheWindowTitle) {
  m.form.Form1.SetCaption("before");
  WriteLog(m, std::string(kStepPrefix) + "subject.txtを更新しました(03:04:05)");
  EXPECT_EQ(m.form.Form1.Caption(), "before");
  WriteLog(m, std::string(kStepPrefix) + "subject.txtを更新しています...(03:04:05)");
  EXPECT_EQ(m.form.Form1.Caption(), "subject.txtを更新しています... - Yagura Version 0.3.86");
  WriteLog(m, "DEBUG[a]（x）作業中...(1)");
  EXPECT_EQ(m.form.Form1.Caption(), "作業中... - Yagura Version 0.3.86");
}

TEST_F(ActivityLogTest, FullPaneDropsWholeLinesFromTheTop) {
  // 16250 UTF-16 units: lines of 98 kana + CR LF (100 units), the last 50.
  std::string line;
  for (int i = 0; i < 98; ++i) line += "あ";
  std::string pane;
  for (int i = 0; i < 162; ++i) pane += std::to_string(i % 10) + line.substr(3) + "\r\n";
  pane += std::string(50, 'x');
  ASSERT_EQ(common::Utf16Length(pane), 16250u);
  m.form.txtLOG.SetText(pane);
  WriteLog(m, std::string(30, 'y'));
  const std::string& text = m.form.txtLOG.Text();
  EXPECT_LE(common::Utf16Length(text) * 2, kLogPaneLimitBytes);
  // 32 units more than the limit: one whole line (100 units) goes.
  EXPECT_EQ(common::Utf16Length(text), 16250u + 32 - 100);
  EXPECT_EQ(text.substr(0, 1), "1");
  EXPECT_EQ(text.substr(text.size() - 32), "\r\n" + std::string(30, 'y'));
}

TEST_F(ActivityLogTest, OverlongMessageKeepsItsTailWhenNoLineEndIsLeft) {
  m.form.txtLOG.SetText(std::string(16249, 'a'));
  WriteLog(m, "zz");  // the whole old line goes with its line end
  EXPECT_EQ(m.form.txtLOG.Text(), "zz");
  WriteLog(m, std::string(16000, 'b') + "ある" + std::string(300, 'c'));
  const std::string& text = m.form.txtLOG.Text();
  EXPECT_EQ(common::Utf16Length(text), 16250u);
  EXPECT_EQ(text.substr(text.size() - 300), std::string(300, 'c'));
  EXPECT_TRUE(common::IsValidUtf8(text));
}

TEST_F(ActivityLogTest, RotatesAt52429BytesNotAt52428) {
  for (long long size : {52428LL, 52429LL}) {
    common::RemoveFile(Path("_old.log"));
    ASSERT_TRUE(common::ReplaceFileAtomically(Path(".log"), std::string(size, 'o')));
    WriteLog(m, "m");
    const long long record =
        static_cast<long long>(std::string("2010/01/02(Sat)03:04:05\r\nm\r\n").size());
    if (size == 52428) {
      EXPECT_EQ(common::FileSize(Path(".log")), size + record);
      EXPECT_FALSE(common::FileExists(Path("_old.log")));
    } else {
      EXPECT_EQ(common::FileSize(Path(".log")), record);
      EXPECT_EQ(common::FileSize(Path("_old.log")), size);
    }
  }
}

// The log file stays open between records; a record still lands in whatever
// file the log's path names when it is written.
TEST_F(ActivityLogTest, RecordGoesToTheFileAtTheLogPathAfterOthersMovedIt) {
  const std::string record = "2010/01/02(Sat)03:04:05\r\n";
  WriteLog(m, "a");
  ASSERT_TRUE(common::RemoveFile(Path(".log")));  // deleted by the user
  WriteLog(m, "b");
  EXPECT_EQ(common::ReadWholeFile(Path(".log")).value_or(""), record + "b\r\n");
  // Replaced by another file (an editor saving it).
  ASSERT_TRUE(common::ReplaceFileAtomically(Path(".log"), "edited\r\n"));
  WriteLog(m, "c");
  EXPECT_EQ(common::ReadWholeFile(Path(".log")).value_or(""), "edited\r\n" + record + "c\r\n");
  // Moved away: the moved file gets nothing more.
  std::filesystem::rename(Path(".log"), Path("_moved.log"));
  WriteLog(m, "d");
  EXPECT_EQ(common::ReadWholeFile(Path(".log")).value_or(""), record + "d\r\n");
  EXPECT_EQ(common::ReadWholeFile(Path("_moved.log")).value_or(""),
            "edited\r\n" + record + "c\r\n");
}

TEST_F(ActivityLogTest, UnwritableLogFileIsRetriedForAboutTenSecondsThenGivenUp) {
  ASSERT_TRUE(std::filesystem::create_directory(Path(".log")));  // a folder: never writable
  const double start = clock.uptime;
  ::testing::internal::CaptureStderr();
  WriteLog(m, "first");
  const double waited = clock.uptime - start;
  WriteLog(m, "second");  // given up already: one try, no wait
  std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_GE(waited, 10.0);
  EXPECT_LE(waited, 11.0);
  EXPECT_EQ(clock.uptime - start, waited);
  EXPECT_NE(err.find("cannot write the log file"), std::string::npos);
  EXPECT_EQ(err.find("cannot write", err.find("cannot write") + 1), std::string::npos);
  EXPECT_EQ(m.form.txtLOG.Text(), "\r\nfirst\r\nsecond");
  EXPECT_GT(pump.count, 10);  // the window kept pumping while it waited

  // Once the file can be written again, messages reach it.
  std::filesystem::remove(Path(".log"));
  WriteLog(m, "third");
  EXPECT_EQ(common::ReadWholeFile(Path(".log")).value_or(""),
            "2010/01/02(Sat)03:04:05\r\nthird\r\n");
}

TEST_F(ActivityLogTest, WaitWithEventsSleepsWholeHalfSeconds) {
  struct Case {
    int ms;
    double slept;
  } cases[] = {{0, 0}, {100, 0.5}, {500, 0.5}, {1000, 1.0}, {1001, 1.5}, {-5, 0.5}};
  for (const Case& c : cases) {
    const double start = clock.uptime;
    const int pumps = pump.count;
    WaitWithEvents(m, c.ms);
    EXPECT_DOUBLE_EQ(clock.uptime - start, c.slept) << c.ms;
    EXPECT_EQ(pump.count - pumps, static_cast<int>(c.slept * 2)) << c.ms;
  }
}

TEST_F(ActivityLogTest, LogLineHookSeesEveryMessage) {
  std::vector<std::string> seen;
  m.onLogLine = [&](std::string_view s) { seen.emplace_back(s); };
  WriteLog(m, "a");
  WriteLog(m, "DEBUG[b]");
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "DEBUG[b]"}));
}

}  // namespace
}  // namespace yagura
