// The conversion run: walk, filters, totals and closing messages, with a
// page writer that only records what it is handed.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "common/encoding.h"
#include "common/file_io.h"
#include "converter/options/command_line.h"
#include "converter/options/packed_values.h"
#include "converter/reading/filters.h"
#include "converter/app/run_conversion.h"

namespace converter {
namespace {

class RunLoopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("shoin_run_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_ / "logs" / "sub");
    Log("logs/1199682606.dat", "KDE スレッド7", 3, "2008/01/07(月) 14:10:06");
    Log("logs/1379534723.dat", "避難訓練の「おはし」", 120, "2013/09/19(木) 05:05:23.77");
    Log("logs/sub/1205956389.dat", "東方系同人", 5, "2008/03/20(木) 04:53:09");
    Log("logs/notes.dat", "", 0, "");
    std::ofstream(dir_ / "logs" / "empty.dat");
    std::ofstream(dir_ / "logs" / "readme.txt") << "no log here\n";
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  void Log(const std::string& name, const std::string& title, int posts, const std::string& date) {
    std::string text;
    for (int k = 0; k < posts; ++k) {
      text += "名無し<>" + std::string(k % 2 ? "sage" : "") + "<>" + date + " ID:abc<> 本文" +
              std::to_string(k) + " <>" + (k == 0 ? title : "") + "\n";
    }
    if (posts == 0) text = "just words\nand more\n";
    std::ofstream(dir_ / name, std::ios::binary) << common::Utf8ToCp932(text);
  }

  // Parses the arguments and runs; the log file collects the messages.
  int Run(std::vector<std::string> args, bool converts = true) {
    Options& cmd = cmd_;
    cmd = Options{};
    cmd.programFolder = dir_.string() + "/";
    PathContext context{dir_.string(), dir_.string(), dir_.string()};
    ParseResult parsed = ParseCommandLine(args, context, cmd);
    EXPECT_TRUE(parsed.run) << parsed.messages;
    std::filesystem::remove(dir_ / "run.log");
    written_.clear();
    int code;
    {
      Reporter reporter(false, (dir_ / "run.log").string());
      code = RunConversion(
          cmd, reporter,
          [&](const Thread& thread, const Options&, Reporter&) {
            written_.push_back(std::filesystem::path(thread.path).filename().string());
            PageOutcome outcome;
            outcome.converted = converts;
            outcome.bytesWritten = 10;
            return outcome;
          },
          &summary_);
    }
    log_ = common::Cp932ToUtf8(common::ReadWholeFile((dir_ / "run.log").string()).value_or(""));
    return code;
  }
  bool Said(const std::string& text) const { return log_.find(text) != std::string::npos; }

  std::filesystem::path dir_;
  Options cmd_;
  RunSummary summary_;
  std::vector<std::string> written_;
  std::string log_;
};

TEST_F(RunLoopTest, FolderRunConvertsTheLogsAndReportsTheRest) {
  EXPECT_EQ(Run({(dir_ / "logs").string(), "/v"}), 0);
  EXPECT_EQ(written_, (std::vector<std::string>{"1199682606.dat", "1379534723.dat"}));
  EXPECT_TRUE(Said("フォルダを検索中です。しばらくお待ちください。\r\n"));
  EXPECT_TRUE(Said("変換を開始します\r\n"));
  EXPECT_TRUE(Said("empty.dat\r\n:0バイトのファイルです。\r\n"));
  EXPECT_TRUE(Said("notes.dat\r\n:不明の形式です。変換できません.\r\n"));
  EXPECT_TRUE(Said("readme.txt\r\n:不明の形式です。変換できません.\r\n"));
  EXPECT_TRUE(Said("2個のスレッドを変換しました。\r\n"));
  EXPECT_TRUE(Said("変換が完了しました\r\n"));
  EXPECT_EQ(summary_.converted, 2);
  EXPECT_EQ(summary_.lastConvertedInput, (dir_ / "logs" / "1379534723.dat").string());
}

TEST_F(RunLoopTest, SubfoldersAndLogNames) {
  EXPECT_EQ(Run({(dir_ / "logs").string(), "/s", "/z"}), 0);
  EXPECT_EQ(written_,
            (std::vector<std::string>{"1199682606.dat", "1379534723.dat", "1205956389.dat"}));
  EXPECT_FALSE(Said("不明の形式"));  // /z left the other names out
}

TEST_F(RunLoopTest, LinkBackUpTheTreeIsWalkedOnce) {
  std::filesystem::create_directory_symlink("..", dir_ / "logs" / "sub" / "up");
  EXPECT_EQ(Run({(dir_ / "logs").string(), "/s", "/z"}), 0);
  EXPECT_EQ(written_,
            (std::vector<std::string>{"1199682606.dat", "1379534723.dat", "1205956389.dat"}));
}

TEST_F(RunLoopTest, PatternAndPostRange) {
  EXPECT_EQ(Run({(dir_ / "logs" / "1*.dat").string(), "/r=100-"}), 0);
  EXPECT_EQ(written_, std::vector<std::string>{"1379534723.dat"});
  EXPECT_TRUE(Said("投稿数による絞り込み:100-\r\n"));
  EXPECT_TRUE(
      Said("1199682606.dat  :スレッドの投稿数が指定の範囲に無いので変換しませんでした。\r\n"));
  EXPECT_EQ(Run({(dir_ / "logs" / "1*.dat").string(), "/r=-50"}), 0);
  EXPECT_EQ(written_, std::vector<std::string>{"1199682606.dat"});
  EXPECT_TRUE(Said("投稿数による絞り込み:1-50\r\n"));
}

TEST_F(RunLoopTest, DateFilterOnPostTimes) {
  EXPECT_EQ(Run({(dir_ / "logs").string(), "/s", "/ts=20080101-20081231,f"}), 0);
  EXPECT_EQ(written_, (std::vector<std::string>{"1199682606.dat", "1205956389.dat"}));
  EXPECT_EQ(Run({(dir_ / "logs").string(), "/s", "/ts=h05-h06"}), 0);
  EXPECT_EQ(written_, std::vector<std::string>{"1379534723.dat"});
  // A range past midnight: 23:00 to 04:59 holds 04:53 only.
  EXPECT_EQ(Run({(dir_ / "logs").string(), "/s", "/ts=h23-h04"}), 0);
  EXPECT_EQ(written_, std::vector<std::string>{"1205956389.dat"});
}

TEST(DateFilterMatch, PatternsAgainstTimes) {
  struct Case {
    const char* filter;
    std::uint64_t time;
    bool matches;
  };
  const Case cases[] = {
      {"20060101-20070731", 20070731235959ULL, true},
      {"20060101-20070731", 20070801000000ULL, false},
      {"-Y2001", 20011231235959ULL, true},
      {"-Y2001", 20020101000000ULL, false},
      {"h1730-", 20080101173000ULL, true},
      {"h1730-", 20080101172959ULL, false},
      {"h235930-000030", 20080101235945ULL, true},
      {"h235930-000030", 20080102000015ULL, true},
      {"h235930-000030", 20080102000031ULL, false},
      {"M01D01", 19991231235959ULL, false},
      {"M01D01", 20100101120000ULL, true},
      // 26 o'clock is two in the morning of the next day.
      {"h2500-h2700", 20080301003000ULL, false},
      {"h2500-h2700", 20080301013000ULL, true},
      {"h2500-h2700", 20080301023000ULL, true},
      {"h2500-h2700", 20080101020000ULL, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.filter) + " " + std::to_string(c.time));
    DateFilter ts;
    ApplyDateFilter(c.filter, ts);
    EXPECT_EQ(MatchesDateFilter(ts, c.time), c.matches);
  }
  DateFilter ts;
  ApplyDateFilter("h00-", ts);
  EXPECT_FALSE(MatchesDateFilter(ts, 0));  // no time, no match
}

TEST_F(RunLoopTest, TitleQueryHook) {
  EXPECT_EQ(Run({(dir_ / "logs").string(), "/s", "/q=\"ｋｄｅ\""}), 0);
  EXPECT_EQ(written_, std::vector<std::string>{"1199682606.dat"});
  EXPECT_TRUE(Said("1個のスレッドを変換しました。\r\n"));
  EXPECT_EQ(Run({(dir_ / "logs").string(), "/s", "/q=\"-東方 +スレ\""}), 0);
  EXPECT_EQ(written_, std::vector<std::string>{"1199682606.dat"});
  // A bare /q without query.txt converts everything after saying so.
  EXPECT_EQ(Run({(dir_ / "logs").string(), "/q"}), 0);
  EXPECT_TRUE(Said("/q  :query.txtが存在しないか、読み込みに失敗しました。\r\n"));
  EXPECT_EQ(written_.size(), 2u);
  // The query cannot work without the log check.
  EXPECT_EQ(Run({(dir_ / "logs").string(), "/q=x", "/o=100000"}), 2);
  EXPECT_TRUE(summary_.pauseBeforeExit);
  EXPECT_TRUE(written_.empty());
}

TEST_F(RunLoopTest, NothingConverted) {
  EXPECT_EQ(Run({(dir_ / "logs" / "*.none").string(), "/v"}), 2);
  EXPECT_TRUE(Said("変換対象ファイルが見つかりませんでした。\r\n"));
  EXPECT_EQ(Run({(dir_ / "logs").string()}, /*converts=*/false), 2);
  EXPECT_EQ(written_.size(), 2u);
  EXPECT_EQ(summary_.converted, 0);
}

TEST_F(RunLoopTest, ForcedEncodingsAreReported) {
  EXPECT_EQ(Run({(dir_ / "logs" / "1199682606.dat").string(), "/o=01001E", "/m=000000006"}), 0);
  EXPECT_TRUE(Said("入力ファイルの漢字コードがShift_JISに指定されました\r\n"));
  EXPECT_TRUE(Said("出力ファイルの漢字コードがUTF-8に指定されました\r\n"));
}

}  // namespace
}  // namespace converter
