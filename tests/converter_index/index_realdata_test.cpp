// The real logs in several folder layouts: every index and tree page passes
// tidy, and every link of every index page, tree page and thread page lands
// in Chromium (tests/e2e/index_crawl.js), every page reached from the top.
#include <gtest/gtest.h>

#include "index_test_support.h"

namespace {

using namespace index_test;

const std::string kShoin = std::string(TEST_PROGRAM_DIR) + "/shoin/shoin";
const std::string kE2e = std::string(TEST_SOURCE_DIR) + "/tests/e2e";

const char* const kLogs[] = {
    "js2ch-news4vip/1379534723.dat",
    "twoB-2ch/2ch_with_id.dat",
    "twoB-2ch/2ch_with_id_and_be.dat",
    "twoB-2ch/example(81-100).dat",
    "twoB-2ch/log-falled.dat",
    "twoB-jbbs/jbbs.dat",
    "twoB-jbbs/aa.dat",
    "twoB-jbbs/aa-euc.dat",
};

bool IsIndexPage(const std::string& name) {
  return name == "index.html" || name == "threadlist.html" || name == "kakolog.html" ||
         name == "index9.html" || name == "index0.html";
}

TEST(IndexRealLogs, EveryLayoutPassesTidyAndEveryLinkLandsInChromium) {
  if (!fs::is_directory(TEST_REALDATA_DIR)) {
    GTEST_SKIP() << "real data folder " << TEST_REALDATA_DIR << " is absent";
  }
  ASSERT_TRUE(fs::exists(kShoin));
  fs::path work = fs::temp_directory_path() / ("index_realdata_" + std::to_string(getpid()));
  fs::remove_all(work);
  // The logs in two folders of their own, as a user keeps them.
  for (const char* log : kLogs) {
    fs::path source = fs::path(TEST_REALDATA_DIR) / log;
    fs::path target = work / "in" / source.parent_path().filename() / source.filename();
    fs::create_directories(target.parent_path());
    fs::copy_file(source, target);
  }
  struct Layout {
    const char* name;
    std::vector<std::string> options;
  } layouts[] = {
      {"flat", {"/i"}},
      {"folders", {"/I:", "/m=810D90010"}},  // reproduced input folders, board title
      {"Bsbf", {"/I:r1111", "/a=Bsbf"}},
      {"sbF", {"/i=L1101", "/a=sbF"}},
      {"Fsb", {"/i", "/a=Fsb"}},
      {"split", {"/I", "/a=nd", "/d=100"}},
  };
  if (!fs::exists(kE2e + "/node_modules/playwright-core")) {
    ASSERT_EQ(std::system(
                  ("cd " + Quote(kE2e) + " && npm install --no-audit --no-fund --silent").c_str()),
              0);
  }
  std::string roots;
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.name);
    fs::path out = work / layout.name;
    std::vector<std::string> args = {(work / "in").string(), out.string(), "/s"};
    if (std::string(layout.name) == "folders") args.push_back("/a=r");
    args.insert(args.end(), layout.options.begin(), layout.options.end());
    Outcome run = RunProgram(kShoin, args);
    ASSERT_EQ(run.exitCode, 0) << run.output;
    int pages = 0;
    for (const auto& file : fs::recursive_directory_iterator(out)) {
      std::string name = file.path().filename().string();
      if (!IsIndexPage(name)) continue;
      ++pages;
      // tidy exits with 2 on errors, 1 on warnings only.
      int status = std::system(
          ("tidy -q -errors -raw " + Quote(file.path().string()) + " >/dev/null 2>&1").c_str());
      EXPECT_LT(WEXITSTATUS(status), 2) << file.path();
    }
    EXPECT_GT(pages, 0);
    roots += " " + Quote(out.string());
  }
  // One browser walks every output.
  int status = std::system(("cd " + Quote(kE2e) + " && node index_crawl.js" + roots).c_str());
  EXPECT_EQ(WEXITSTATUS(status), 0);
  if (!::testing::Test::HasFailure()) fs::remove_all(work);
}

}  // namespace
