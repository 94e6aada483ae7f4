#include "converter/index/work_file.h"

#include <unistd.h>

#include <gtest/gtest.h>
#include <filesystem>

#include "common/file_io.h"

namespace converter::index {
namespace {

namespace fs = std::filesystem;

class WorkFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = (fs::temp_directory_path() / ("index_work_" + std::to_string(getpid()))).string() + "/";
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }
  std::string dir_;
};

TEST_F(WorkFile, SecondRunOnTheSameOutputIsRefusedWhileTheFirstHoldsIt) {
  IndexWorkFile first, second;
  std::vector<std::string> kept;
  ASSERT_EQ(first.Open(dir_, kept), IndexWorkFile::OpenResult::kOpened);
  EXPECT_EQ(second.Open(dir_, kept), IndexWorkFile::OpenResult::kLocked);
  first.Close(false);
  EXPECT_FALSE(common::FileExists(dir_ + "index.tmp"));
  EXPECT_EQ(second.Open(dir_, kept), IndexWorkFile::OpenResult::kOpened);
}

TEST_F(WorkFile, KeptLinesSurviveARunThatDoesNotKeepItsOwn) {
  std::vector<std::string> kept;
  {
    IndexWorkFile run;
    ASSERT_EQ(run.Open(dir_, kept), IndexWorkFile::OpenResult::kOpened);
    ASSERT_TRUE(run.Append("one\tスレ"));
    run.Close(true);
  }
  // A run that died mid-line left half a line behind.
  ASSERT_TRUE(common::AppendToFile(dir_ + "index.tmp", "half"));
  IndexWorkFile run;
  ASSERT_EQ(run.Open(dir_, kept), IndexWorkFile::OpenResult::kOpened);
  EXPECT_EQ(kept, std::vector<std::string>{"one\tスレ"});
  ASSERT_TRUE(run.Append("two"));
  run.Close(false);
  EXPECT_EQ(common::ReadWholeFile(dir_ + "index.tmp").value_or(""), "one\t\x83\x58\x83\x8C\r\n");
}

TEST_F(WorkFile, AFolderInItsPlaceCannotBeCreated) {
  fs::create_directories(dir_ + "index.tmp");
  std::vector<std::string> kept;
  IndexWorkFile run;
  EXPECT_EQ(run.Open(dir_, kept), IndexWorkFile::OpenResult::kNotCreatable);
}

}  // namespace
}  // namespace converter::index
