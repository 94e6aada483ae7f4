// Where the state of a run lives.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "monitor/core/platform.h"

namespace yagura {
namespace {

TEST(ProgramPathsTest, StateFolderChoice) {
  struct Case {
    const char* requested;
    bool writable;
    const char* xdg;
    const char* expected;
    StateFolderReason reason;
  };
  using R = StateFolderReason;
  const Case cases[] = {
      {"", true, "/data", "/opt/y/", R::kBesideExecutable},
      {"", false, "/data", "/data/yagura/", R::kExecutableFolderNotWritable},
      {"", false, "/data/", "/data/yagura/", R::kExecutableFolderNotWritable},
      {"", false, "", "/home/u/.local/share/yagura/", R::kExecutableFolderNotWritable},
      // A relative $XDG_DATA_HOME counts as unset.
      {"", false, "rel/data", "/home/u/.local/share/yagura/", R::kExecutableFolderNotWritable},
      // The switch wins, writable or not.
      {"/srv/state", true, "/data", "/srv/state/", R::kRequested},
      {"/srv/state/", false, "/data", "/srv/state/", R::kRequested},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.requested) + "|" + c.xdg + "|" + (c.writable ? "w" : "ro"));
    int asked = 0;
    const StateFolderChoice choice =
        ChooseStateFolder("/opt/y/", c.requested, c.xdg, "/home/u", [&](const std::string& f) {
          ++asked;
          EXPECT_EQ(f, "/opt/y/");
          return c.writable;
        });
    EXPECT_EQ(choice.folder, c.expected);
    EXPECT_EQ(choice.reason, c.reason);
    EXPECT_EQ(asked, *c.requested ? 0 : 1);
  }
}

TEST(ProgramPathsTest, WritableProbeLeavesNothingBehind) {
  char pattern[] = "/tmp/yagura_paths_XXXXXX";
  const std::filesystem::path dir = mkdtemp(pattern);
  EXPECT_TRUE(FolderIsWritable(dir.string()));
  EXPECT_TRUE(std::filesystem::is_empty(dir));
  EXPECT_FALSE(FolderIsWritable((dir / "missing").string()));
  std::filesystem::remove_all(dir);
}

TEST(ProgramPathsTest, ConverterAndReadMeStayBesideTheExecutable) {
  ProgramPaths paths;
  paths.folder = "/home/u/.local/share/yagura/";
  EXPECT_EQ(paths.ConverterPath(), "/home/u/.local/share/yagura/shoin/shoin");
  paths.programFolder = "/opt/y/";
  EXPECT_EQ(paths.File(".ini"), "/home/u/.local/share/yagura/yagura.ini");
  EXPECT_EQ(paths.DatFolder(), "/home/u/.local/share/yagura/dat/");
  EXPECT_EQ(paths.ConverterPath(), "/opt/y/shoin/shoin");
  EXPECT_EQ(paths.ReadMePath(), "/opt/y/ReadMe.txt");
}

}  // namespace
}  // namespace yagura
