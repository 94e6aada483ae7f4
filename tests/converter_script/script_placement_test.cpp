// Where the pop-up script goes: embedded, a file written once into the output
// root or the current folder, a user's script file copied whole, and the
// page's reference to it from every folder level.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "common/encoding.h"
#include "common/file_io.h"
#include "converter/options/packed_values.h"
#include "converter/script/script_placement.h"

namespace {

namespace fs = std::filesystem;
using converter::script::PlacedScript;
using converter::script::ScriptPlacement;
using ::testing::HasSubstr;

class Placement : public ::testing::Test {
 protected:
  void SetUp() override {
    work_ = fs::temp_directory_path() / ("script_placement_" + std::to_string(getpid()));
    fs::remove_all(work_);
    fs::create_directories(work_ / "cur");
    fs::create_directories(work_ / "out" / "sub");
    current_ = (work_ / "cur").string() + "/";
    cmd_.outputFolder = (work_ / "out").string() + "/";
    cmd_.m.retcodeLF = false;
  }
  void TearDown() override {
    chmod((work_ / "out").c_str(), 0755);
    if (!HasFailure()) fs::remove_all(work_);
  }
  void Js(const char* value) { converter::ApplyJsValue(value, cmd_); }
  // Runs the placement for pages in the root and one level down; returns the
  // messages it reported.
  std::string Place(PlacedScript& root, PlacedScript& sub) {
    std::string logPath = (work_ / "log.txt").string();
    {
      converter::Reporter reporter(false, logPath);
      ScriptPlacement placement(current_);
      root = placement.ForPage(cmd_, cmd_.outputFolder, reporter);
      sub = placement.ForPage(cmd_, cmd_.outputFolder + "sub/", reporter);
    }
    return common::Cp932ToUtf8(common::ReadWholeFile(logPath).value_or(""));
  }
  std::string Read(const fs::path& path) { return common::ReadWholeFile(path).value_or(""); }

  fs::path work_;
  std::string current_;
  converter::Options cmd_;
};

TEST_F(Placement, EmbeddedFormForThePageHead) {
  Js("80F");
  PlacedScript root, sub;
  EXPECT_EQ(Place(root, sub), "");
  EXPECT_THAT(root.embedded, HasSubstr("pop.opt.schpanel = 0;"));
  EXPECT_THAT(root.embedded, HasSubstr("\r\n"));
  EXPECT_EQ(root.embedded, sub.embedded);
  EXPECT_EQ(root.fileReference, "");
  EXPECT_TRUE(fs::is_empty(work_ / "out" / "sub"));
  EXPECT_FALSE(fs::exists(work_ / "out" / "shoin_popup.js"));
}

TEST_F(Placement, NothingWhenEverySwitchIsOff) {
  Js("000");
  PlacedScript root, sub;
  Place(root, sub);
  EXPECT_EQ(root.embedded + root.fileReference, "");
  // The Be-link switch alone asks for no pop-up script either.
  cmd_.js = {};
  Js("840");
  cmd_.js.enabled = true;
  Place(root, sub);
  EXPECT_EQ(root.embedded + root.fileReference, "");
}

TEST_F(Placement, BuiltInFileWrittenOnceIntoTheOutputRoot) {
  Js("00F");
  PlacedScript root, sub;
  EXPECT_EQ(Place(root, sub), "");
  EXPECT_EQ(root.fileReference, "shoin_popup.js");
  EXPECT_EQ(sub.fileReference, "../shoin_popup.js");
  EXPECT_EQ(root.embedded, "");
  std::string file = Read(work_ / "out" / "shoin_popup.js");
  EXPECT_THAT(file, HasSubstr("\r\n  pop.opt.respopup = 1;\r\n"));
  EXPECT_THAT(file, HasSubstr("// Pop-up script"));
  for (char c : file) ASSERT_EQ(static_cast<unsigned char>(c) & 0x80, 0);
  EXPECT_FALSE(fs::exists(work_ / "out" / "sub" / "shoin_popup.js"));
  // Deep pages climb at most 19 levels.
  std::string deep = cmd_.outputFolder;
  for (int i = 0; i < 25; ++i) deep += "d/";
  std::string up;
  for (int i = 0; i < 19; ++i) up += "../";
  EXPECT_EQ(converter::script::UpToRoot(cmd_.outputFolder, deep), up);
}

TEST_F(Placement, ScriptFileOfTheCurrentFolderIsCopiedWhole) {
  Js("00F");
  // Longer than any old buffer: a cut script would break every page.
  std::string big = "// mine\n" + std::string(2 * 1024 * 1024, ' ') + "var x = 1;\n";
  ASSERT_TRUE(common::ReplaceFileAtomically(current_ + "b mine.js", big));
  ASSERT_TRUE(common::ReplaceFileAtomically(current_ + "c.js", "var c;"));
  ASSERT_TRUE(common::ReplaceFileAtomically(current_ + "a.txt", "text"));
  PlacedScript root, sub;
  EXPECT_EQ(Place(root, sub), "");
  EXPECT_EQ(root.fileReference, "b%20mine.js");
  EXPECT_EQ(sub.fileReference, "../b%20mine.js");
  EXPECT_EQ(Read(work_ / "out" / "b mine.js"), big);
  EXPECT_FALSE(fs::exists(work_ / "out" / "shoin_popup.js"));
}

TEST_F(Placement, SkinScriptFileWhenTheCurrentFolderHasNone) {
  Js("00F");
  fs::create_directories(work_ / "cur" / "skin" / "b");
  fs::create_directories(work_ / "cur" / "skin" / "a");
  ASSERT_TRUE(common::ReplaceFileAtomically(current_ + "skin/b/shoin_popup.js", "var skin;"));
  PlacedScript root, sub;
  Place(root, sub);
  EXPECT_EQ(root.fileReference, "shoin_popup.js");
  EXPECT_EQ(Read(work_ / "out" / "shoin_popup.js"), "var skin;");
}

TEST_F(Placement, OutputRootThatIsTheCurrentFolderKeepsItsFile) {
  Js("00F");
  cmd_.outputFolder = current_;
  ASSERT_TRUE(common::ReplaceFileAtomically(current_ + "own.js", "var own;"));
  PlacedScript root, sub;
  EXPECT_EQ(Place(root, sub), "");
  EXPECT_EQ(root.fileReference, "own.js");
  EXPECT_EQ(Read(work_ / "cur" / "own.js"), "var own;");
}

TEST_F(Placement, CurrentFolderTargetIsReferredToByFileAddress) {
  Js("40F");
  PlacedScript root, sub;
  EXPECT_EQ(Place(root, sub), "");
  EXPECT_EQ(root.fileReference, "file://" + current_ + "shoin_popup.js");
  EXPECT_EQ(sub.fileReference, root.fileReference);
  EXPECT_TRUE(fs::exists(work_ / "cur" / "shoin_popup.js"));
  EXPECT_FALSE(fs::exists(work_ / "out" / "shoin_popup.js"));
  EXPECT_EQ(converter::script::FileAddress("/a b/#x%.js"), "file:///a%20b/%23x%25.js");
}

TEST_F(Placement, UnwritableFoldersAreReported) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  Js("00F");
  chmod((work_ / "out").c_str(), 0555);
  PlacedScript root, sub;
  EXPECT_EQ(Place(root, sub), "\r\n注意:shoin_popupのコピーに失敗しました。\r\n");
  EXPECT_EQ(root.fileReference, "shoin_popup.js");
}

TEST_F(Placement, UnwritableCurrentFolderLeavesThePageWithoutReference) {
  Js("40F");
  // A folder in place of the file: cannot be written, even by root.
  fs::create_directories(work_ / "cur" / "shoin_popup.js.tmp");
  fs::remove_all(work_ / "cur");
  PlacedScript root, sub;
  EXPECT_EQ(Place(root, sub), "\r\n注意:shoin_popup.jsが組み込めませんでした。\r\n");
  EXPECT_EQ(root.fileReference, "");
  EXPECT_EQ(root.embedded, "");
}

}  // namespace
