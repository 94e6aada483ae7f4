// The program with board information from a companion file that names
// folders leading elsewhere: every page still lands under the output folder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/file_io.h"

namespace {

namespace fs = std::filesystem;

const std::string kShoin = std::string(TEST_PROGRAM_DIR) + "/shoin/shoin";
const std::string kLog = std::string(TEST_REALDATA_DIR) + "/js2ch-news4vip/1379534723.dat";

TEST(PlacementProgram, FolderNamesFromACompanionFileStayUnderTheOutputFolder) {
  if (!fs::exists(kLog)) GTEST_SKIP() << kLog << " is absent";
  const std::string companions[] = {
      "Server=..\r\nPath=/..\r\nName=..\r\n",
      "Server=../../..\r\nPath=a/b/..\r\n",
      "<?xml version=\"1.0\"?><Server>..</Server><ID>.\n.</ID>",
  };
  for (const std::string& companion : companions) {
    SCOPED_TRACE(companion);
    const fs::path root = fs::temp_directory_path() / ("shoin_place_" + std::to_string(getpid()));
    fs::remove_all(root);
    fs::create_directories(root / "deep" / "er" / "in");
    const fs::path in = root / "deep" / "er" / "in";
    fs::copy_file(kLog, in / "1379534723.dat");
    ASSERT_TRUE(common::ReplaceFileAtomically((in / "1379534723.idx").string(), companion));
    const fs::path out = root / "deep" / "er" / "out";
    const std::string command = "'" + kShoin + "' '" + (in / "1379534723.dat").string() + "' '" +
                                out.string() + "' /a=sbn >/dev/null 2>&1";
    std::system(command.c_str());
    int pages = 0;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (entry.path().extension() != ".html") continue;
      ++pages;
      const std::string path = entry.path().lexically_normal().string();
      EXPECT_EQ(path.rfind(out.string() + "/", 0), 0u) << path;
      EXPECT_EQ(path.find_first_of("\n\r"), std::string::npos) << path;
    }
    EXPECT_GE(pages, 1);
    fs::remove_all(root);
  }
}

}  // namespace
