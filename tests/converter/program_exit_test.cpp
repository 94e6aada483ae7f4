// inidir.txt: what the caller finds in the program's folder after a run.
#include <filesystem>

#include <gtest/gtest.h>

#include "common/file_io.h"
#include "converter/program_exit.h"

namespace converter {
namespace {

TEST(ProgramExit, FolderReportedByVf) {
  struct Case {
    const char* input;
    const char* folder;
  };
  const Case cases[] = {
      {"/home/u/logs/board/1199682606.dat", "/home/u/logs/board/"},
      {"/home/u/jane/log/1199682606.dat", "/home/u/jane/"},
      {"/home/u/yagura/dat/1199682606.dat", "/home/u/yagura/"},
      {"/home/u/.navi2ch/1199682606.dat", "/home/u/"},
      {"/home/u/browser/Logs/linux/1199682606.dat", "/home/u/browser/"},
      {"/home/u/.2ch/linux/1199682606.dat", "/home/u/"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(ReportedFolderOfInput(c.input), c.folder);
  }
}

TEST(ProgramExit, InidirHoldsTheOutputFolderOnlyAfterSuccess) {
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("shoin_exit_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  Options cmd;
  cmd.programFolder = dir.string() + "/";
  cmd.outputFolder = "/srv/pages/";
  RunSummary summary;
  summary.lastConvertedInput = "/home/u/yagura/dat/1.dat";
  WriteInidir(cmd, summary, true);
  EXPECT_EQ(common::ReadWholeFile(cmd.programFolder + "inidir.txt"), "/srv/pages/\r\n");
  cmd.v = ReportMode::kVf;
  WriteInidir(cmd, summary, true);
  EXPECT_EQ(common::ReadWholeFile(cmd.programFolder + "inidir.txt"), "/home/u/yagura/\r\n");
  WriteInidir(cmd, summary, false);
  EXPECT_EQ(common::ReadWholeFile(cmd.programFolder + "inidir.txt"), "");
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace converter
