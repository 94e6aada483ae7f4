// The archiver command entry as the dat-fall step calls it.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/file_io.h"
#include "lzh/unlha_command.h"
#include "tests/lzh/archive_check.h"

namespace {

using lzh_test::RunShell;
using lzh_test::ShellQuote;
using lzh_test::TempFolder;

// The dat-fall step's quoting: a path with a comma or a blank goes in
// double quotes, any other path as it is.
std::string QuoteIfNeeded(const std::string& path) {
  return path.find_first_of(", ") == std::string::npos ? path : "\"" + path + "\"";
}

std::string AddCommand(const std::string& archive, const std::string& folder,
                       const std::string& file) {
  return "a -x -a -n " + QuoteIfNeeded(archive) + " " + QuoteIfNeeded(folder) + " " +
         QuoteIfNeeded(file) + " ";
}

// The names stored in `archive`, one per line, as 7-Zip lists them.
std::vector<std::string> StoredNames(const std::string& archive) {
  std::vector<std::string> names;
  std::string listing = RunShell("7z l -slt " + ShellQuote(archive)).output;
  size_t at = 0;
  while ((at = listing.find("\nPath = ", at)) != std::string::npos) {
    at += 8;
    names.push_back(listing.substr(at, listing.find('\n', at) - at));
  }
  if (!names.empty()) names.erase(names.begin());  // the archive itself
  return names;
}

TEST(LzhUnlha, ArchivesTheFileWhateverThePathsHold) {
  struct Case {
    const char* label;
    std::string folder;  // under the temp folder
    std::string file;
  };
  const Case cases[] = {
      {"plain", "dat", "1379534723.dat"},
      {"blank in the folder", "my dat", "1379534723.dat"},
      {"comma in the folder", "a,b", "1379534723.dat"},
      {"blank and comma in the file", "dat", "log 1,2.dat"},
  };
  for (const Case& c : cases) {
    TempFolder temp;
    const std::string content = std::string(2000, 'k') + c.label;
    const std::string file = temp.Write(c.folder + "/" + c.file, content, 1379534723);
    const std::string folder = temp.path() + "/" + c.folder + "/";
    const std::string archive = folder + "out.lzh";
    std::string output;
    EXPECT_EQ(lzh::Unlha(AddCommand(archive, folder, c.file), output), lzh::kUnlhaOk)
        << c.label << ": " << output;
    EXPECT_EQ(StoredNames(archive), std::vector<std::string>{c.file}) << c.label;
    EXPECT_EQ(
        RunShell("7z e -so " + ShellQuote(archive) + " 2>/dev/null | cmp - " + ShellQuote(file))
            .exitCode,
        0)
        << c.label;
    // Nothing but the log and the archive is left in the folder.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2) << c.label;
  }
}

TEST(LzhUnlha, StoresFoldersBelowTheBaseFolder) {
  TempFolder temp;
  const std::string folder = temp.path() + "/base/";
  temp.Write("base/sub/x.dat", std::string(500, 'x'), 1000000000);
  struct Case {
    const char* switches;
    const char* stored;
  };
  for (const Case& c : {Case{"-x -a -n", "sub/x.dat"}, Case{"-x0 -a -n", "x.dat"}}) {
    const std::string archive = temp.path() + "/out.lzh";
    std::string output;
    ASSERT_EQ(
        lzh::Unlha(std::string("a ") + c.switches + " " + archive + " " + folder + " sub/x.dat ",
                   output),
        lzh::kUnlhaOk)
        << output;
    EXPECT_EQ(StoredNames(archive), std::vector<std::string>{c.stored}) << c.switches;
  }
}

TEST(LzhUnlha, ReplacesAnExistingArchive) {
  TempFolder temp;
  const std::string folder = temp.path() + "/dat/";
  temp.Write("dat/old.dat", std::string(900, 'o'), 1000000000);
  const std::string fresh = temp.Write("dat/new.dat", std::string(900, 'n') + "!", 1000000000);
  const std::string archive = folder + "new.lzh";
  std::string output;
  ASSERT_EQ(lzh::Unlha(AddCommand(archive, folder, "old.dat"), output), lzh::kUnlhaOk);
  ASSERT_EQ(lzh::Unlha(AddCommand(archive, folder, "new.dat"), output), lzh::kUnlhaOk);
  EXPECT_EQ(StoredNames(archive), std::vector<std::string>{"new.dat"});
  EXPECT_EQ(RunShell("lhasa pq " + ShellQuote(archive) + " | cmp - " + ShellQuote(fresh)).exitCode,
            0);

  // A file there that is no archive at all is replaced just the same.
  ASSERT_TRUE(common::ReplaceFileAtomically(archive, "not an archive"));
  ASSERT_EQ(lzh::Unlha(AddCommand(archive, folder, "new.dat"), output), lzh::kUnlhaOk);
  EXPECT_EQ(StoredNames(archive), std::vector<std::string>{"new.dat"});
}

TEST(LzhUnlha, FailsWithoutTouchingTheArchive) {
  TempFolder temp;
  const std::string folder = temp.path() + "/dat/";
  temp.Write("dat/present.dat", "present", 1000000000);
  const std::string archive = folder + "keep.lzh";
  ASSERT_TRUE(common::ReplaceFileAtomically(archive, "earlier archive"));
  struct Case {
    const char* label;
    std::string command;
    int result;
  };
  const Case cases[] = {
      {"missing file", AddCommand(archive, folder, "missing.dat"), lzh::kUnlhaFileMissing},
      {"a folder, not a file", AddCommand(archive, temp.path() + "/", "dat"),
       lzh::kUnlhaFileMissing},
      {"unknown switch", "a -q " + archive + " " + folder + " present.dat ", lzh::kUnlhaBadCommand},
      {"unknown command", "x " + archive + " " + folder + " present.dat ", lzh::kUnlhaBadCommand},
      {"unbalanced quote", "a \"" + archive + " " + folder + " present.dat ",
       lzh::kUnlhaBadCommand},
      {"no file", "a -x -a -n " + archive + " " + folder + " ", lzh::kUnlhaBadCommand},
      {"empty", "", lzh::kUnlhaBadCommand},
      {"archive path naming the file", AddCommand(folder + "present.dat", folder, "present.dat"),
       lzh::kUnlhaBadCommand},
      {"empty archive path", "a \"\" " + folder + " present.dat ", lzh::kUnlhaBadCommand},
  };
  for (const Case& c : cases) {
    std::string output;
    EXPECT_EQ(lzh::Unlha(c.command, output), c.result) << c.label;
    EXPECT_FALSE(output.empty()) << c.label;
    EXPECT_EQ(common::ReadWholeFile(archive).value_or(""), "earlier archive") << c.label;
    EXPECT_EQ(common::ReadWholeFile(folder + "present.dat").value_or(""), "present") << c.label;
  }
}

TEST(LzhUnlha, ReportsAnArchiveThatCannotBeWritten) {
  TempFolder temp;
  const std::string folder = temp.path() + "/";
  temp.Write("x.dat", "xxxx", 1000000000);
  std::string output;
  EXPECT_EQ(lzh::Unlha(AddCommand(folder + "no such folder/x.lzh", folder, "x.dat"), output),
            lzh::kUnlhaWriteFailed);
  EXPECT_FALSE(std::filesystem::exists(folder + "no such folder"));
}

TEST(LzhUnlha, VersionReadsAsHundredths) {
  EXPECT_EQ(lzh::FormatHundredths(lzh::UnlhaGetVersion()), "1.00");
  EXPECT_EQ(lzh::FormatHundredths(lzh::UnlhaGetSubVersion()), "0.01");
  EXPECT_EQ(lzh::UnlhaVersionText(), "1.00.0.01");
}

}  // namespace
