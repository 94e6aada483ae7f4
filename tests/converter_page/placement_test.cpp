#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "common/file_io.h"
#include "converter/placement/file_mover.h"
#include "converter/placement/page_folder.h"

namespace converter::placement {
namespace {

namespace fs = std::filesystem;

struct FolderCase {
  const char* name;
  std::string letters;
  std::string expected;  // below the output root
};

class FolderLetters : public ::testing::TestWithParam<FolderCase> {};

TEST_P(FolderLetters, FollowTheOrderGiven) {
  ThreadPlace place;
  place.boardKindName = "２ちゃんねる";
  place.server = "S";
  place.boardDir = "B";
  place.boardName = " Linux板 ";
  place.key = "1199684206";
  place.firstPostTime = "2008010714100600";
  place.datPath = "/in/linux/1199684206.dat";
  Layout layout;
  layout.letters = GetParam().letters;
  EXPECT_EQ(BuildPageFolder("/out", layout, place).folder, "/out/" + GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Letters, FolderLetters,
                         ::testing::Values(FolderCase{"Bsbf", "Bsbf", "２ちゃんねる/S/B/1199/"},
                                           FolderCase{"sbF", "sbF", "S/B/kako/1199/11996/"},
                                           FolderCase{"Fsb", "Fsb", "1199/11996/S/B/"},
                                           FolderCase{"nd", "nd", "Linux板/200801/"},
                                           FolderCase{"None", "", ""}),
                         [](const ::testing::TestParamInfo<FolderCase>& info) {
                           return std::string(info.param.name);
                         });

TEST(BuildPageFolder, UnknownPartsAndShortKeys) {
  ThreadPlace place;
  place.key = "998877665";
  place.datPath = "/in/dat/998877665.dat";
  Layout layout;
  layout.letters = "BbfFd";
  // Without board information the dat's folder stands in for the board folder.
  EXPECT_EQ(BuildPageFolder("/out/", layout, place).folder,
            "/out/unknown/dat/998/kako/998/unknown/");
  place.key.clear();
  layout.letters = "f";
  EXPECT_EQ(BuildPageFolder("/out/", layout, place).folder, "/out/000/");
}

TEST(BuildPageFolder, ReproducesTheInputTree) {
  ThreadPlace place;
  place.datPath = "/in/a/b/1.dat";
  Layout layout;
  layout.reproduce = true;
  layout.inputRoot = "/in/";
  EXPECT_EQ(BuildPageFolder("/out", layout, place).folder, "/out/a/b/");
  layout.single = true;
  EXPECT_EQ(BuildPageFolder("/out", layout, place).folder, "/out/");
}

// Names from a companion .idx or a board file are anyone's text: none of
// them may lead out of the output root or make a name with control bytes.
TEST(BuildPageFolder, NamesFromDataStayUnderTheOutputRoot) {
  struct {
    const char* server;
    const char* board;
    const char* expected;  // below the output root
  } cases[] = {
      {"..", "..", "unknown/unknown/"},        {".", " .. ", "unknown/unknown/"},
      {"../../etc", "b", "..-..-etc/b/"},      {"/abs", "\\..", "-abs/-../"},
      {"a\nb", "c\rd\x1b[0m", "a-b/c-d-[0m/"}, {"...", "\t..\t", ".../unknown/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.server) + " | " + c.board);
    ThreadPlace place;
    place.server = c.server;
    place.boardDir = c.board;
    place.boardName = c.board;
    place.datPath = "/in/x/1.dat";
    Layout layout;
    layout.letters = "sb";
    EXPECT_EQ(BuildPageFolder("/out/", layout, place).folder, std::string("/out/") + c.expected);
    layout.letters = "sn";
    EXPECT_EQ(BuildPageFolder("/out", layout, place).folder, std::string("/out/") + c.expected);
  }
}

TEST(CleanFolderName, ReplacesSignsAndTrimsBlanks) {
  EXPECT_EQ(CleanFolderName("  a\\b/c:d;e,f*g?h\"i<j>k|l  "), "a-b-c-d-e-f-g-h-i-j-k-l");
  EXPECT_EQ(CleanFolderName("表示"), "表示");
}

class Mover : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("placement_test_" + std::to_string(getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_ / "in");
    fs::create_directories(root_ / "out" / "sub");
  }
  void TearDown() override {
    std::error_code ec;
    fs::permissions(root_ / "locked", fs::perms::owner_all, ec);
    fs::remove_all(root_);
  }
  std::string Write(const std::string& relative, const std::string& text) {
    std::string path = (root_ / relative).string();
    common::ReplaceFileAtomically(path, text);
    return path;
  }
  std::string P(const std::string& relative) const { return (root_ / relative).string(); }

  fs::path root_;
  std::vector<std::string> messages_;
  MessageSink sink_ = [this](const std::string& m) { messages_.push_back(m); };
};

TEST_F(Mover, WithoutPathMovesIntoThePageFolder) {
  std::string dat = Write("in/123.dat", "log");
  FileMover mover("", false, false, sink_);
  ASSERT_TRUE(mover.Move(dat, P("out/sub/"), P("out/")));
  EXPECT_FALSE(fs::exists(dat));
  EXPECT_EQ(common::ReadWholeFile(P("out/sub/123.dat")).value_or(""), "log");
  EXPECT_EQ(mover.Summary(), "1個のファイルを移動しました。\r\n");
}

TEST_F(Mover, PathKeepsThePageFolderAndCompanionsFollow) {
  std::string dat = Write("in/123.dat", "log");
  Write("in/123.idx", "idx");
  Write("in/123.dat.opt", "opt");
  struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  utimensat(AT_FDCWD, dat.c_str(), old, 0);
  FileMover mover(P("moved"), true, false, sink_);
  ASSERT_TRUE(mover.Move(dat, P("out/sub/"), P("out/")));
  EXPECT_TRUE(fs::exists(P("moved/sub/123.dat")));
  EXPECT_TRUE(fs::exists(P("moved/sub/123.idx")));
  EXPECT_TRUE(fs::exists(P("moved/sub/123.dat.opt")));
  EXPECT_EQ(mover.moved(), 3);
  // A move keeps the source's time.
  struct stat st;
  ASSERT_EQ(stat(P("moved/sub/123.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

TEST_F(Mover, AcrossFileSystemsReplacesTheTargetWholeAndKeepsTheTime) {
  // /dev/shm is another file system than the temporary folder here, so the
  // move has to copy; the copy must land whole, with the source's time.
  const fs::path shm = fs::path("/dev/shm") / ("placement_test_" + std::to_string(getpid()));
  std::error_code ec;
  fs::create_directories(shm, ec);
  if (ec) GTEST_SKIP() << "no /dev/shm here";
  const std::string dat = (shm / "7.dat").string();
  ASSERT_TRUE(common::ReplaceFileAtomically(dat, "new log"));
  struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  utimensat(AT_FDCWD, dat.c_str(), old, 0);
  Write("out/7.dat", "older copy");
  FileMover mover("", false, false, sink_);
  EXPECT_TRUE(mover.Move(dat, P("out/"), P("out/")));
  fs::remove_all(shm, ec);
  EXPECT_EQ(common::ReadWholeFile(P("out/7.dat")).value_or(""), "new log");
  EXPECT_FALSE(fs::exists(P("out/7.dat.part")));
  struct stat st;
  ASSERT_EQ(stat(P("out/7.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
}

TEST_F(Mover, NewerTargetUnderUOnlyDeletesTheSource) {
  std::string dat = Write("in/1.dat", "new log");
  fs::create_directories(root_ / "moved");
  Write("moved/1.dat", "kept");
  struct timespec older[2] = {{1000000000, 0}, {1000000000, 0}};
  utimensat(AT_FDCWD, dat.c_str(), older, 0);
  FileMover mover(P("moved"), false, true, sink_);
  ASSERT_TRUE(mover.Move(dat, P("out/"), P("out/")));
  EXPECT_FALSE(fs::exists(dat));
  EXPECT_EQ(common::ReadWholeFile(P("moved/1.dat")).value_or(""), "kept");
}

TEST_F(Mover, FirstFailureStopsEveryLaterMove) {
  if (geteuid() == 0) {
    // root ignores permission bits; use a file where the folder should be.
    Write("locked", "not a folder");
  } else {
    fs::create_directories(root_ / "locked");
    fs::permissions(root_ / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  }
  std::string first = Write("in/1.dat", "a");
  std::string second = Write("in/2.dat", "b");
  FileMover mover(P("locked/x"), false, false, sink_);
  EXPECT_FALSE(mover.Move(first, P("out/"), P("out/")));
  EXPECT_FALSE(mover.Move(second, P("out/"), P("out/")));
  EXPECT_TRUE(fs::exists(first));
  EXPECT_TRUE(fs::exists(second));
  EXPECT_TRUE(mover.stopped());
  EXPECT_EQ(mover.Summary(), "ファイルの移動は中断されました。\r\n");
  ASSERT_FALSE(messages_.empty());
  EXPECT_EQ(messages_.back(), "注意：ファイルの移動ができません。中止します。\r\n");
}

TEST(CreateFolders, ReportsAFolderThatCannotBeMade) {
  std::vector<std::string> messages;
  EXPECT_FALSE(
      CreateFolders("/proc/no/such/", [&](const std::string& m) { messages.push_back(m); }));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "/proc/no/such/  :フォルダを作成できません.\r\n");
}

}  // namespace
}  // namespace converter::placement
