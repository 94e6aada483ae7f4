#include "common/file_io.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

namespace common {
namespace {

class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("file_io_test_" + std::to_string(::getpid()));
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
  struct stat st{};
  ASSERT_EQ(::stat(Path("secret").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  ASSERT_TRUE(ReplaceFileAtomically(Path("secret"), "y", 0644));
  ASSERT_EQ(::stat(Path("secret").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
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
