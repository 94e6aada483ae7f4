// The program as its callers meet it: screens, exit codes, inidir.txt and
// shoin_log.txt in its folder.
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "common/encoding.h"
#include "common/file_io.h"
#include "tests/converter/test_data.h"

namespace {

const std::string kBuiltProgram = std::string(TEST_PROGRAM_DIR) + "/shoin/shoin";

// Each test runs its own copy of the program, so that the files it leaves in
// its folder (inidir.txt, shoin_log.txt) belong to that test alone.
std::string kProgram;
std::string kFolder;

struct Outcome {
  int exitCode = -1;
  std::string output;
};

std::string Quote(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

Outcome RunShoin(const std::vector<std::string>& args) {
  std::string command = Quote(kProgram);
  for (const std::string& arg : args) command += " " + Quote(arg);
  command += " 2>&1";
  Outcome outcome;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return outcome;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) outcome.output.append(buffer, got);
  int status = pclose(pipe);
  outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

class ShoinBinary : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("shoin_binary_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_ / "program" / "shoin");
    kFolder = (dir_ / "program" / "shoin").string() + "/";
    kProgram = kFolder + "shoin";
    std::filesystem::copy_file(kBuiltProgram, kProgram);
    common::ReplaceFileAtomically(kFolder + "inidir.txt", "stale\r\n");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Inidir() { return common::ReadWholeFile(kFolder + "inidir.txt").value_or("<none>"); }

  std::filesystem::path dir_;
};

TEST_F(ShoinBinary, NoArgumentShowsTheShortUsage) {
  Outcome r = RunShoin({});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_EQ(r.output.rfind("shoin Ver. 0.35a\n2ch等のログデータ(*.dat)をHTML形式に変換します\n", 0),
            0u)
      << r.output;
  EXPECT_NE(r.output.find("主要なオプション:\n"), std::string::npos);
  EXPECT_EQ(Inidir(), "");  // written empty after a failure
}

TEST_F(ShoinBinary, HelpScreensAndRefusals) {
  Outcome r = RunShoin({"/h"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("/ts         :"), std::string::npos);
  r = RunShoin({"/i-h"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("/i オプションの詳細"), std::string::npos);
  r = RunShoin({"-zz9"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("-zz9 は無効なオプションです.\n"), std::string::npos);
  r = RunShoin({(dir_ / "missing.dat").string()});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.output.find("missing.dat:入力ファイルを開けません。\n"), std::string::npos);
}

TEST_F(ShoinBinary, NothingToConvertEndsWithTwo) {
  std::ofstream(dir_ / "notes.txt") << "just some text\n";
  Outcome r = RunShoin({(dir_ / "*.dat").string()});
  EXPECT_EQ(r.exitCode, 2);
  r = RunShoin({(dir_ / "notes.txt").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_NE(r.output.find("notes.txt\n:不明の形式です。変換できません.\n"), std::string::npos)
      << r.output;
  EXPECT_EQ(Inidir(), "");
}

// Two logs of one name in subfolders, their pages into an output folder the
// run creates: the second page still meets the first.
TEST_F(ShoinBinary, SamePageTwiceInAFreshOutputFolder) {
  for (const char* sub : {"a", "b"}) {
    std::filesystem::create_directories(dir_ / "in" / sub);
    std::ofstream(dir_ / "in" / sub / "1199682606.dat", std::ios::binary)
        << common::Utf8ToCp932("名無し<><>2008/01/07(月) 14:10:06<> 本文 <>題名\n");
  }
  const std::filesystem::path out = dir_ / "out";
  Outcome r = RunShoin({(dir_ / "in").string(), out.string(), "/s=c"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_TRUE(std::filesystem::exists(out / "1199682606.html"));
  const std::string warning = "は既に存在します。上書きします。";
  EXPECT_NE(r.output.find("注意:" + (out / "1199682606.html").string() + warning),
            std::string::npos)
      << r.output;
  EXPECT_EQ(r.output.find(warning), r.output.rfind(warning)) << r.output;
}

TEST_F(ShoinBinary, LogFileOnlyWithL) {
  std::ofstream(dir_ / "notes.txt") << "\r\n\r\n";
  Outcome r = RunShoin({(dir_ / "notes.txt").string(), "/l"});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(r.output.find("不明の形式"), std::string::npos);  // not on the console
  std::optional<std::string> log = common::ReadWholeFile(kFolder + "shoin_log.txt");
  ASSERT_TRUE(log.has_value());
  // The log file is in CP932 with CR LF line ends.
  EXPECT_NE(log->find(common::Utf8ToCp932("\r\n:不明の形式です。変換できません.\r\n")),
            std::string::npos);
}

TEST_F(ShoinBinary, YagurasCallReadsTheLogAndReports) {
  std::ofstream(dir_ / "1199682606.dat", std::ios::binary)
      << common::Utf8ToCp932("名無し<>sage<>2008/01/07(月) 14:10:06 ID:abc<> 本文 <>題名\n");
  Outcome r = RunShoin({(dir_ / "1199682606.dat").string(), dir_.string(), "/js=80F", "/m=E2058000",
                        "/o=E01B1E", "/v"});
  EXPECT_NE(r.output.find("変換を開始します\n"), std::string::npos) << r.output;
  EXPECT_EQ(r.output.find("不明の形式"), std::string::npos) << r.output;
  std::optional<std::string> log = common::ReadWholeFile(kFolder + "shoin_log.txt");
  ASSERT_TRUE(log.has_value());
  EXPECT_NE(log->find(common::Utf8ToCp932("変換を開始します\r\n")), std::string::npos);
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(Inidir(), common::Utf8ToCp932(dir_.string() + "/\r\n"));
  // The page goes next to the log, named after it.
  EXPECT_TRUE(std::filesystem::exists(dir_ / "1199682606.html"));
}

TEST_F(ShoinBinary, MoveWithCompanionsIntoTheOutputFolder) {
  namespace fs = std::filesystem;
  fs::create_directories(dir_ / "in");
  for (const char* name : {"1199682606", "1199682607"}) {
    std::ofstream(dir_ / "in" / (std::string(name) + ".dat"), std::ios::binary)
        << common::Utf8ToCp932("名無し<>sage<>2008/01/07(月) 14:10:06 ID:abc<> 本文 <>題名\n");
  }
  std::ofstream(dir_ / "in" / "1199682606.idx") << "[Board]\n";
  Outcome r = RunShoin({(dir_ / "in").string(), (dir_ / "out").string(), "/mv::r", "/v"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  // "::r" is the companion switch, not a folder named ":r".
  EXPECT_FALSE(fs::exists(dir_ / "out" / ":r"));
  EXPECT_TRUE(fs::is_empty(dir_ / "in"));
  for (const char* name : {"1199682606.dat", "1199682607.dat", "1199682606.idx"}) {
    EXPECT_TRUE(fs::exists(dir_ / "out" / name)) << name;
  }
  // The companion went with its log: it is not reported as unreadable later.
  EXPECT_EQ(r.output.find("ファイルを開けません"), std::string::npos) << r.output;
  size_t moved = r.output.find("3個のファイルを移動しました。\n");
  size_t done = r.output.find("変換が完了しました\n");
  ASSERT_NE(moved, std::string::npos) << r.output;
  EXPECT_LT(moved, done) << r.output;
}

// Many logs in one run share buffers and the folder's listing: each page
// must come out exactly as a run on that log alone makes it, whatever was
// converted before it (a long log before a short one) and whether the board
// information file beside it was found by probing or in the listing.
TEST_F(ShoinBinary, AFolderRunWritesEachPageAsARunOnThatLogAlone) {
  namespace fs = std::filesystem;
  REAL_LOG_OR_SKIP(longLog, "twoB-jbbs/aa-euc.dat");
  REAL_LOG_OR_SKIP(shortLog, "twoB-jbbs/jbbs.dat");
  REAL_LOG_OR_SKIP(idLog, "twoB-2ch/2ch_with_id.dat");
  fs::create_directories(dir_ / "in");
  auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(dir_ / "in" / name, std::ios::binary) << bytes;
  };
  write("1200000000.dat", longLog);
  write("1200000001.dat", shortLog);
  write("1200000002.dat", idLog);
  write("1200000002.inf", "Name=board from inf\r\nBOARDURL=http://news.2ch.net/newsplus/\r\n");
  write("1200000003.dat", idLog);
  // A first post longer than the head read to identify the log: its title
  // comes from the rest of the line.
  write("1200000004.dat", "name<>sage<>2008/01/07(月) 14:10:06 ID:abc<> " +
                              std::string(40000, 'x') +
                              " <>title past the head\n"
                              "name<>sage<>2008/01/07(月) 14:11:06 ID:abd<> second <>\n");
  const std::vector<std::string> names = {"1200000000", "1200000001", "1200000002", "1200000003",
                                          "1200000004"};
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{},
        std::vector<std::string>{"/js=80F", "/m=E2058000", "/o=E01B1E"}}) {
    fs::remove_all(dir_ / "all");
    fs::remove_all(dir_ / "one");
    std::vector<std::string> args = {(dir_ / "in").string(), (dir_ / "all").string()};
    args.insert(args.end(), options.begin(), options.end());
    ASSERT_EQ(RunShoin(args).exitCode, 0);
    for (const std::string& name : names) {
      args[0] = (dir_ / "in" / (name + ".dat")).string();
      args[1] = (dir_ / "one").string();
      ASSERT_EQ(RunShoin(args).exitCode, 0) << name;
      std::optional<std::string> inRun =
          common::ReadWholeFile((dir_ / "all" / (name + ".html")).string());
      std::optional<std::string> alone =
          common::ReadWholeFile((dir_ / "one" / (name + ".html")).string());
      ASSERT_TRUE(inRun && alone) << name;
      EXPECT_TRUE(*inRun == *alone) << name << " differs between the folder run and a run alone";
    }
    std::string withInf = *common::ReadWholeFile((dir_ / "all" / "1200000002.html").string());
    std::string withoutInf = *common::ReadWholeFile((dir_ / "all" / "1200000003.html").string());
    if (options.empty()) {
      EXPECT_NE(withInf.find("http://news.2ch.net/newsplus/"), std::string::npos);
      EXPECT_EQ(withoutInf.find("http://news.2ch.net/newsplus/"), std::string::npos);
    }
    std::string longTitle = *common::ReadWholeFile((dir_ / "all" / "1200000004.html").string());
    EXPECT_NE(longTitle.find("<title>title past the head</title>"), std::string::npos);
    EXPECT_NE(longTitle.find("second"), std::string::npos);
  }
}

// The title query as a user runs it: from the command line and from query.txt
// beside the program; exactly the matching threads become pages.
TEST_F(ShoinBinary, TitleQueryConvertsExactlyTheMatchingThreads) {
  namespace fs = std::filesystem;
  fs::create_directories(dir_ / "in");
  const std::pair<const char*, const char*> logs[] = {{"1199682601", "KDE スレッド7"},
                                                      {"1199682602", "ｋｄｅ 質問スレ"},
                                                      {"1199682603", "GNOME スレッド"},
                                                      {"1199682604", "K D E &amp; Qt"}};
  for (const auto& [key, title] : logs) {
    std::ofstream(dir_ / "in" / (std::string(key) + ".dat"), std::ios::binary)
        << common::Utf8ToCp932(std::string("名無し<><>2008/01/07(月) 14:10:06<> 本文 <>") + title +
                               "\n");
  }
  auto pages = [&] {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_ / "out")) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    fs::remove_all(dir_ / "out");
    return names;
  };
  Outcome r = RunShoin({(dir_ / "in").string(), (dir_ / "out").string(), "/q=\"+kde -質問\""});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_NE(r.output.find("検索式：+kde -質問\n"), std::string::npos) << r.output;
  EXPECT_NE(r.output.find("2個のスレッドを変換しました。"), std::string::npos) << r.output;
  EXPECT_EQ(pages(), (std::vector<std::string>{"1199682601.html", "1199682604.html"}));

  common::ReplaceFileAtomically(kFolder + "query.txt", common::Utf8ToCp932("ＧＮＯＭＥ　質問\r\n"));
  r = RunShoin({(dir_ / "in").string(), (dir_ / "out").string(), "/q"});
  EXPECT_EQ(r.exitCode, 0) << r.output;
  EXPECT_EQ(pages(), (std::vector<std::string>{"1199682602.html", "1199682603.html"}));

  // Nothing matches: nothing converted, exit code 2.
  r = RunShoin({(dir_ / "in").string(), (dir_ / "out").string(), "/q=zzz"});
  EXPECT_EQ(r.exitCode, 2) << r.output;
}

TEST_F(ShoinBinary, MemoryExhaustionIsTheOnlyFatalEnd) {
  // A valid head followed by a sparse 400 MB tail: reading it needs more
  // memory than the limit below allows.
  std::filesystem::path log = dir_ / "1199682606.dat";
  std::ofstream(log, std::ios::binary)
      << common::Utf8ToCp932("名無し<><>2008/01/07(月) 14:10:06<>本文<>題名\n");
  std::filesystem::resize_file(log, 400LL * 1024 * 1024);
  std::string command = "ulimit -v 300000; " + Quote(kProgram) + " " + Quote(log.string()) + " " +
                        Quote((dir_ / "out").string()) + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, got);
  int status = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 6) << output;
  EXPECT_NE(output.find("強制終了します。(121)\n"), std::string::npos) << output;
  EXPECT_EQ(Inidir(), "");
}

}  // namespace
