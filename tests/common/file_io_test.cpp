#include "common/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "common/unique_fd.h"

namespace common {
namespace {

class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("file_io_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Path(const char* name) const { return (dir_ / name).string(); }
  std::filesystem::path dir_;
};

TEST_F(FileIoTest, ReplaceWritesExactBytesAndLeavesNoTemporaryFile) {
  std::string bytes("a\0b\r\n", 5);
  ASSERT_TRUE(ReplaceFileAtomically(Path("f"), bytes, 0600));
  EXPECT_EQ(ReadWholeFile(Path("f")).value(), bytes);
  ASSERT_TRUE(ReplaceFileAtomically(Path("f"), "new"));
  EXPECT_EQ(ReadWholeFile(Path("f")).value(), "new");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(FileIoTest, NewFileGetsModeAndExistingFileKeepsIt) {
  ASSERT_TRUE(ReplaceFileAtomically(Path("secret"), "x", 0600));
  struct stat st {};
  ASSERT_EQ(::stat(Path("secret").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_TRUE(ReplaceFileAtomically(Path("secret"), "y", 0644));
  ASSERT_EQ(::stat(Path("secret").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
}

// A scratch file is overwritten in place: shorter content leaves no rest of
// the longer one, and the file keeps its inode (no new file per exchange).
TEST_F(FileIoTest, ScratchFileIsOverwrittenInPlace) {
  struct stat before {
  }, after{};
  ASSERT_TRUE(ReplaceScratchFile(Path("s"), "a longer first answer"));
  ASSERT_EQ(::stat(Path("s").c_str(), &before), 0);
  for (const char* bytes : {"short", "a longer second answer!", "x"}) {
    ASSERT_TRUE(ReplaceScratchFile(Path("s"), bytes));
    EXPECT_EQ(ReadWholeFile(Path("s")).value(), bytes);
  }
  ASSERT_EQ(::stat(Path("s").c_str(), &after), 0);
  EXPECT_EQ(before.st_ino, after.st_ino);
  EXPECT_FALSE(ReplaceScratchFile(Path("no/such/folder/s"), "x"));
  // The unflushed atomic replace is still atomic: no temporary file stays.
  ASSERT_TRUE(ReplaceFileAtomically(Path("plan"), "entries", 0644, Durability::kUnflushed));
  EXPECT_EQ(ReadWholeFile(Path("plan")).value(), "entries");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 2);
}

// Kept open between writes, the scratch files still land where their path
// points when others remove, replace or rewrite them meanwhile.
TEST_F(FileIoTest, KeptScratchFilesFollowTheirPaths) {
  ScratchFiles files;
  const std::string a = Path("a"), b = Path("b");
  ASSERT_TRUE(files.Replace(a, "a longer first answer"));
  ASSERT_TRUE(files.Replace(b, "other"));
  ASSERT_TRUE(files.Replace(a, "short"));
  EXPECT_EQ(ReadWholeFile(a).value(), "short");
  ASSERT_TRUE(RemoveFile(a));
  ASSERT_TRUE(files.Replace(a, "after removal"));
  EXPECT_EQ(ReadWholeFile(a).value(), "after removal");
  ASSERT_TRUE(ReplaceFileAtomically(a, "someone else's longer text"));
  ASSERT_TRUE(files.Replace(a, "after replacement"));
  EXPECT_EQ(ReadWholeFile(a).value(), "after replacement");
  // Rewritten in place by the plain function: the rest is still cut.
  ASSERT_TRUE(ReplaceScratchFile(a, "rewritten in place, longer"));
  ASSERT_TRUE(files.Replace(a, "x"));
  EXPECT_EQ(ReadWholeFile(a).value(), "x");
  EXPECT_EQ(ReadWholeFile(b).value(), "other");
  EXPECT_FALSE(files.Replace(Path("no/such/folder/s"), "x"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 2);
}

TEST_F(FileIoTest, FailuresAreReportedNotThrown) {
  EXPECT_FALSE(ReadWholeFile(Path("missing")).has_value());
  EXPECT_FALSE(ReplaceFileAtomically(Path("no/such/folder/f"), "x"));
  EXPECT_EQ(FileSize(Path("missing")), -1);
  EXPECT_FALSE(RemoveFile(Path("missing")));
  ASSERT_TRUE(AppendToFile(Path("log"), "a"));
  ASSERT_TRUE(AppendToFile(Path("log"), "b"));
  EXPECT_EQ(ReadWholeFile(Path("log")).value(), "ab");
  EXPECT_EQ(FileSize(Path("log")), 2);
}

}  // namespace
}  // namespace common

namespace common {
namespace {

// Large enough that the pipe takes it in several writes and reads.
TEST(UniqueFdTest, WritesAndReadsEveryByteThroughAPipeAndClosesOnce) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  UniqueFd reader(ends[0]);
  UniqueFd writer(ends[1]);
  std::string bytes(200000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
  std::optional<std::string> received;
  std::thread readAll([&] { received = ReadAll(reader.Get()); });
  EXPECT_TRUE(WriteAll(writer.Get(), bytes));
  UniqueFd moved = std::move(writer);
  EXPECT_FALSE(writer.Valid());
  EXPECT_TRUE(moved.Close());  // the end of the pipe for the reader
  readAll.join();
  EXPECT_EQ(received, bytes);
  EXPECT_FALSE(WriteAll(-1, "x"));
  EXPECT_FALSE(ReadAll(-1));
}

}  // namespace
}  // namespace common
