#include "converter/page/page_converter.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/file_io.h"
#include "tests/converter_page/test_thread.h"

namespace converter::page {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

class Converting : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("page_converter_" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "in");
    fs::create_directories(root_ / "out");
    cmd_.inputPath = (root_ / "in").string();
    cmd_.outputFolder = (root_ / "out").string() + "/";
    cmd_.programFolder = (root_ / "in").string() + "/";
  }
  void TearDown() override { fs::remove_all(root_); }

  // A thread read from a dat file of its own in the input folder.
  std::unique_ptr<Thread> Thread3(const std::string& key = "1234567890") {
    auto thread = testing::MakeThreadOf(3);
    thread->path = (root_ / "in" / (key + ".dat")).string();
    thread->baseName = key;
    common::ReplaceFileAtomically(thread->path, "log");
    thread->modifiedTime = 1000000000;
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    utimensat(AT_FDCWD, thread->path.c_str(), times, 0);
    return thread;
  }

  // Runs the converter on `thread`, returning what it printed.
  std::string Convert(const Thread& thread, PageOutcome* outcome = nullptr) {
    ::testing::internal::CaptureStdout();
    {
      Reporter reporter(true, "");
      PageOutcome result = converter_(thread, cmd_, reporter);
      if (outcome) *outcome = result;
    }
    return ::testing::internal::GetCapturedStdout();
  }

  std::string Out(const std::string& relative) const { return (root_ / "out" / relative).string(); }

  fs::path root_;
  Options cmd_;
  PageConverter converter_;
};

TEST_F(Converting, PageIsNamedAfterTheDatAndReported) {
  auto thread = Thread3();
  PageOutcome outcome;
  std::string said = Convert(*thread, &outcome);
  EXPECT_TRUE(outcome.converted);
  EXPECT_EQ(outcome.outputPath, Out("1234567890.html"));
  EXPECT_TRUE(fs::exists(outcome.outputPath));
  EXPECT_THAT(said, HasSubstr(thread->path + " => " + Out("1234567890.html")));
}

TEST_F(Converting, ResultLineShowsTheTitleAsAReaderSeesIt) {
  auto thread = Thread3();
  thread->title = "A &amp; B &gt;&gt;1";
  // The title is shown only on a line of at most 70 characters.
  thread->path = "t.dat";
  fs::path out = fs::temp_directory_path() / ("o" + std::to_string(getpid()));
  cmd_.outputFolder = out.string() + "/";
  std::string said = Convert(*thread);
  fs::remove_all(out);
  EXPECT_THAT(said, HasSubstr(" title:A & B >>1\n"));
}

TEST_F(Converting, TitleFormatMarkersAndForbiddenSigns) {
  auto thread = Thread3();
  thread->title = "a/b:c?題";
  thread->board.folderName = "linux";
  cmd_.titleFormatGiven = true;
  cmd_.fileNameFormat = "%boarddirname%_%03num%_%threadtitle%_%sfilename%";
  Convert(*thread);
  EXPECT_TRUE(fs::exists(Out("linux_001_a-b-c-題_1234567890.html")));
  Convert(*thread);
  EXPECT_TRUE(fs::exists(Out("linux_002_a-b-c-題_1234567890.html")));
}

TEST_F(Converting, ExistingOutputRules) {
  auto thread = Thread3();
  Convert(*thread);
  EXPECT_THAT(Convert(*thread),
              HasSubstr("注意:" + Out("1234567890.html") + "は既に存在します。上書きします。"));
  // Under /u a page as new as the log stays.
  cmd_.u = true;
  PageOutcome outcome;
  std::string said = Convert(*thread, &outcome);
  EXPECT_FALSE(outcome.converted);
  EXPECT_THAT(said, HasSubstr("受け側の同名のファイルの日付が同じか新しいので上書きしません。"));
  // An older page is replaced.
  struct timespec old[2] = {{900000000, 0}, {900000000, 0}};
  utimensat(AT_FDCWD, Out("1234567890.html").c_str(), old, 0);
  Convert(*thread, &outcome);
  EXPECT_TRUE(outcome.converted);
}

// A folder the run created holds only what the run wrote: its pages are
// not looked for before being written, yet a page written twice in one run
// (a whole one, or the first part of a split one) is still reported.
TEST_F(Converting, ExistingOutputInFoldersTheRunCreated) {
  fs::remove_all(root_ / "out");
  auto whole = Thread3();
  auto split = testing::MakeThreadOf(250);
  split->path = (root_ / "in" / "1234567891.dat").string();
  split->baseName = "1234567891";
  split->modifiedTime = 1000000000;
  cmd_.partSize = 100;
  for (const Thread* thread : {whole.get(), split.get()}) {
    const std::string page =
        thread == whole.get() ? Out("1234567890.html") : Out("1234567891/1234567891_01.html");
    SCOPED_TRACE(page);
    EXPECT_THAT(Convert(*thread), ::testing::Not(HasSubstr("既に存在します")));
    ASSERT_TRUE(fs::exists(page));
    EXPECT_THAT(Convert(*thread), HasSubstr("注意:" + page + "は既に存在します。上書きします。"));
  }
  // Under /u the page written earlier in the run stays.
  cmd_.u = true;
  PageOutcome outcome;
  EXPECT_THAT(Convert(*whole, &outcome), HasSubstr("上書きしません。"));
  EXPECT_FALSE(outcome.converted);
}

TEST_F(Converting, SplitThreadGoesIntoItsOwnFolder) {
  auto thread = testing::MakeThreadOf(250);
  thread->path = (root_ / "in" / "1234567890.dat").string();
  cmd_.partSize = 100;
  std::string said = Convert(*thread);
  for (const char* part : {"_01", "_02", "_03"}) {
    EXPECT_TRUE(fs::exists(Out(std::string("1234567890/1234567890") + part + ".html"))) << part;
  }
  EXPECT_THAT(said, HasSubstr("(分割)"));
}

TEST_F(Converting, FolderLettersAndFileTimes) {
  auto thread = Thread3();
  thread->board.server = "pc11.2ch.net";
  thread->board.folderName = "linux";
  cmd_.folderLetters = "Bsbf";
  cmd_.ct = true;
  Convert(*thread);
  std::string page = Out("２ちゃんねる/pc11.2ch.net/linux/1234/1234567890.html");
  ASSERT_TRUE(fs::exists(page));
  struct stat st;
  ASSERT_EQ(stat(page.c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1000000000);
}

TEST_F(Converting, MoveWithoutPathTakesTheDatToThePage) {
  auto thread = Thread3();
  cmd_.move = true;
  Convert(*thread);
  EXPECT_FALSE(fs::exists(thread->path));
  EXPECT_TRUE(fs::exists(Out("1234567890.dat")));
  ::testing::internal::CaptureStdout();
  {
    Reporter reporter(true, "");
    converter_.Finish(cmd_, reporter);
  }
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "1個のファイルを移動しました。\n");
}

TEST_F(Converting, RedirectorPrefixComesFromRedirectTxt) {
  std::string prefix = ReadRedirectPrefix(cmd_.programFolder);
  EXPECT_FALSE(prefix.empty());
  EXPECT_TRUE(fs::exists(cmd_.programFolder + "redirect.txt"));
  common::ReplaceFileAtomically(cmd_.programFolder + "redirect.txt", "jump.test/?\r\nsecond\r\n");
  EXPECT_EQ(ReadRedirectPrefix(cmd_.programFolder), "jump.test/?");
}

TEST_F(Converting, UncreatableFolderSkipsTheThread) {
  auto thread = Thread3();
  common::ReplaceFileAtomically(Out("２ちゃんねる"), "a file in the way");
  cmd_.folderLetters = "B";
  PageOutcome outcome;
  std::string said = Convert(*thread, &outcome);
  EXPECT_FALSE(outcome.converted);
  EXPECT_THAT(said, HasSubstr(":フォルダを作成できません."));
}

}  // namespace
}  // namespace converter::page
