#include "monitor/publish/dat_fall.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "common/file_io.h"
#include "common/line_ends.h"
#include "monitor/core/board_urls.h"
#include "monitor/core/message_text.h"
#include "monitor/core/run_cycle.h"
#include "monitor/core/run_state.h"
#include "monitor/core/thread_lists.h"
#include "publish_fixture.h"

namespace yagura {
namespace {

using namespace std::chrono_literals;
using yagura_test::CheckArchive;

constexpr const char* kBoardUrl = "http://hayabusa.2ch.net/news4vip/";

TEST(ArchiverCommandLineTest, QuotesPathsWithCommaOrBlank) {
  struct Case {
    const char* archive;
    const char* folder;
    const char* file;
    const char* line;
  };
  const Case cases[] = {
      {"/p/dat/1.lzh", "/p/dat", "1.dat", "a -x -a -n /p/dat/1.lzh /p/dat/ 1.dat "},
      {"/p/dat/1.lzh", "/p/dat/", "1.dat", "a -x -a -n /p/dat/1.lzh /p/dat/ 1.dat "},
      {"/p/dat/1.lzh", "/p/dat  ", "1.dat", "a -x -a -n /p/dat/1.lzh /p/dat/ 1.dat "},
      {"/my p/dat/1.lzh", "/my p/dat", "1.dat",
       "a -x -a -n \"/my p/dat/1.lzh\" \"/my p/dat/\" 1.dat "},
      {"/a,b/1.lzh", "/a,b", "x y.dat", "a -x -a -n \"/a,b/1.lzh\" \"/a,b/\" \"x y.dat\" "},
  };
  for (const Case& c : cases) EXPECT_EQ(ArchiverCommandLine(c.archive, c.folder, c.file), c.line);
}

TEST(DeriveDatFallNamesTest, ReplacesOnlyTheFinalExtension) {
  struct Case {
    const char* datPath;
    DatFallNames names;
  };
  const Case cases[] = {
      {"/p/dat/123.dat", {"123.dat", "/p/dat", "/p/dat/123.lzh", "/p/dat/123.html"}},
      {"/p.dat/dat/123.dat",
       {"123.dat", "/p.dat/dat", "/p.dat/dat/123.lzh", "/p.dat/dat/123.html"}},
      {"/p/dat/123.dat.dat",
       {"123.dat.dat", "/p/dat", "/p/dat/123.dat.lzh", "/p/dat/123.dat.html"}},
      // Never the log itself: the archive is deleted before compression.
      {"/p/dat/123.txt", {"123.txt", "/p/dat", "/p/dat/123.txt.lzh", "/p/dat/123.txt.html"}},
  };
  for (const Case& c : cases) {
    DatFallNames got = DeriveDatFallNames(c.datPath);
    EXPECT_EQ(got.datFileName, c.names.datFileName) << c.datPath;
    EXPECT_EQ(got.datFolder, c.names.datFolder) << c.datPath;
    EXPECT_EQ(got.archivePath, c.names.archivePath) << c.datPath;
    EXPECT_EQ(got.pagePath, c.names.pagePath) << c.datPath;
  }
  EXPECT_EQ(
      ConverterCommandLine("/p q/shoin/shoin", "/p q/dat/1.dat", "/p q/dat"),
      "\"/p q/shoin/shoin\" \"/p q/dat/1.dat\" \"/p q/dat\" /js=80F /m=E2058000 /o=E01B1E /v");
}

TEST(MatchingWordPairTest, FirstPairWithBothWordsInTheTitle) {
  struct Case {
    const char* title;
    std::array<const char*, 6> words;  // A1 A2 B1 B2 C1 C2
    int pair;
  };
  const Case cases[] = {
      {"猫と犬の話", {"猫", "犬", "", "", "", ""}, 0},
      // Word 1 of B alone does not count; C has both.
      {"猫と犬の話", {"鳥", "魚", "猫", "馬", "犬", "話"}, 2},
      {"猫と犬の話", {"猫", "話", "", "", "猫", "犬"}, 0},
      // A pair with an empty word never matches.
      {"猫と犬の話", {"猫", "", "犬", "", "話", "猫"}, 2},
      // The words as the title search matches them, when no pair has them
      // as written; a pair that has them as written comes first.
      {"Linux Thread", {"linux", "thread", "", "", "", ""}, 0},
      {"ﾈｺ画像スレ", {"ねこ", "画像", "", "", "", ""}, 0},
      {"ＬＩＮＵＸ質問", {"linux", "質問", "ＬＩＮＵＸ", "質問", "", ""}, 1},
      {"ＬＩＮＵＸ質問", {"linux", "回答", "", "", "", ""}, -1},
      {"猫と犬の話", {"猫", "鳥", "", "", "", ""}, -1},
  };
  for (const Case& c : cases) {
    Form form;
    for (int i = 0; i < 3; ++i) {
      form.txtWORD1[i].SetText(c.words[i * 2]);
      form.txtWORD2[i].SetText(c.words[i * 2 + 1]);
    }
    EXPECT_EQ(MatchingWordPair(form, c.title), c.pair) << c.title << " " << c.pair;
  }
}

class DatFallTest : public yagura_test::PublishFixture {
 protected:
  void SetUp() override {
    PublishFixture::SetUp();
    monitor_.form.txtURLBRD.SetText(kBoardUrl);
    monitor_.form.txtWORD1[0].SetText("実況");
    monitor_.form.txtWORD2[0].SetText("スレ");
    tools_.archiver = BuiltInArchiver();
    tools_.converterPath = monitor_.paths.ConverterPath();
  }

  std::string Line(const std::string& text) const {
    return yagura_test::DetailLine(monitor_, text);
  }
  std::string Tag(const std::string& title, const std::string& key) const {
    return "\"" + title + "\"[" + key + ".dat]";
  }
  std::string Queue() { return LoadTwitterQueue(monitor_); }
  std::string ExpectedAnnouncement(const std::string& title, size_t posts,
                                   const std::string& key) const {
    return "dat落ち " + title + "(" + std::to_string(posts) + "レス) #2ch\r\n" +
           ThreadPageUrl(kBoardUrl, key + ".dat");
  }

  DatFallTools tools_;
};

TEST_F(DatFallTest, VanishedDatOnlyTellsSo) {
  monitor_.form.balloonEnabled = true;
  monitor_.form.chkE[0].SetValue(1);
  const std::string title = "実況スレ";
  EXPECT_FALSE(ProcessDroppedThread(monitor_, title, DatPath("111"), tools_));
  EXPECT_EQ(log_, std::vector<std::string>{Line("LZH圧縮、html化しようとしましたが、" +
                                                Tag(title, "111") +
                                                "のdatファイルが存在しないのでスキップします")});
  EXPECT_FALSE(common::FileExists(folder_ + "dat/111.lzh"));
  EXPECT_FALSE(common::FileExists(folder_ + "dat/111.html"));
  EXPECT_FALSE(common::FileExists(monitor_.paths.File("_Twitter.dat")));
  EXPECT_TRUE(tray_.balloons.empty());
}

// The real archiver and the real converter on a real log.
TEST_F(DatFallTest, ArchivesConvertsAndAnnouncesARealLog) {
  if (InstallConverter().empty())
    GTEST_SKIP() << "shoin is not built: " TEST_PROGRAM_DIR "/shoin/shoin";
  const std::string key = "1379534723";
  const std::string real = std::string(TEST_REALDATA_DIR) + "/js2ch-news4vip/" + key + ".dat";
  if (std::filesystem::is_directory(TEST_REALDATA_DIR)) {
    // The folder is there: a log it should hold and does not is a fault of
    // the test data, not a reason to test less.
    ASSERT_TRUE(common::FileExists(real)) << "missing real log " << real;
    std::filesystem::copy_file(real, DatPath(key));
  } else {
    WriteDat(key, 120);  // the real logs are not beside this checkout
  }
  const size_t posts = common::CountLineFeeds(common::ReadWholeFile(DatPath(key)).value());
  monitor_.form.balloonEnabled = true;
  monitor_.form.chkE[0].SetValue(1);
  const std::string title = "【実況】ＶＩＰの実況スレ";

  EXPECT_TRUE(ProcessDroppedThread(monitor_, title, DatPath(key), tools_));

  const std::string tag = Tag(title, key);
  const std::string announced = Line("Twitterに投稿するdat落ち情報を集めました");
  EXPECT_EQ(log_, (std::vector<std::string>{
                      Line(tag + "をLZH圧縮しています..."), Line("LZH圧縮しました"),
                      Line(tag + "をhtml化しています..."), Line("html化しました"), announced}));
  EXPECT_EQ(monitor_.form.cmdRUN.Caption(), announced);
  EXPECT_EQ(tray_.balloons,
            std::vector<std::string>{monitor_.form.baseTitle +
                                     "|dat落ちした(スレ一覧に存在しなくなった)ようです。\r\n" +
                                     key + ".dat<>" + title});
  EXPECT_EQ(CheckArchive(folder_ + "dat/" + key + ".lzh", key + ".dat", DatPath(key)), "");
  EXPECT_GT(common::FileSize(folder_ + "dat/" + key + ".html"), 0);
  EXPECT_EQ(Queue(), ExpectedAnnouncement(title, posts, key) + "\t");
}

// A page left from an earlier run counts even though the converter writes
// nothing; an archive left over is replaced.
TEST_F(DatFallTest, LeftoverPageCountsAndLeftoverArchiveIsReplaced) {
  WriteScript("shoin/shoin", "exit 0");
  WriteDat("222", 3);
  ASSERT_TRUE(common::ReplaceFileAtomically(folder_ + "dat/222.html", "old page"));
  ASSERT_TRUE(common::ReplaceFileAtomically(folder_ + "dat/222.lzh", "not an archive"));

  EXPECT_TRUE(ProcessDroppedThread(monitor_, "実況スレ", DatPath("222"), tools_));

  const std::string tag = Tag("実況スレ", "222");
  EXPECT_EQ(log_, (std::vector<std::string>{
                      Line(tag + "をLZH圧縮しています..."), Line("LZH圧縮しました"),
                      Line(tag + "をhtml化しています..."), Line("html化しました")}));
  EXPECT_EQ(CheckArchive(folder_ + "dat/222.lzh", "222.dat", DatPath("222")), "");
}

// 1000 line feeds announce 1000 posts; only the first line of each
// announcement carries the tag, and announcements queue up.
TEST_F(DatFallTest, AnnouncementsCountLineFeedsAndTagOnlyTheFirstLine) {
  monitor_.form.chkE[0].SetValue(1);
  WriteDat("1000", 1000);
  WriteDat("1001", 1);
  EXPECT_TRUE(ProcessDroppedThread(monitor_, "実況スレ1", DatPath("1000"), tools_));
  EXPECT_TRUE(ProcessDroppedThread(monitor_, "実況スレ2", DatPath("1001"), tools_));
  const std::string first = ExpectedAnnouncement("実況スレ1", 1000, "1000");
  EXPECT_NE(first.find("(1000レス) #2ch\r\nhttp://"), std::string::npos) << first;
  EXPECT_EQ(first.find("#2ch", first.find("\r\n")), std::string::npos) << first;
  EXPECT_EQ(Queue(), first + "\t" + ExpectedAnnouncement("実況スレ2", 1, "1001") + "\t");
  // The converter is not installed here: its absence is told and skipped.
  EXPECT_EQ(log_[2], Line(Tag("実況スレ1", "1000") + "のhtml化をスキップします"));
}

// A thread processed again (the monitor was killed before it reached the
// dat-fall list) is not announced twice; another one still queues behind.
TEST_F(DatFallTest, ThreadProcessedAgainIsAnnouncedOnce) {
  monitor_.form.chkE[0].SetValue(1);
  WriteDat("1000", 3);
  WriteDat("1001", 2);
  for (const char* key : {"1000", "1001", "1000", "1001"}) {
    EXPECT_TRUE(
        ProcessDroppedThread(monitor_, std::string("実況スレ") + key, DatPath(key), tools_));
  }
  EXPECT_EQ(Queue(), ExpectedAnnouncement("実況スレ1000", 3, "1000") + "\t" +
                         ExpectedAnnouncement("実況スレ1001", 2, "1001") + "\t");
}

TEST_F(DatFallTest, WithoutArchiverCompressionIsSkippedOnceThenConverted) {
  int archiverCalls = 0;
  tools_.archiver.versionText = [] { return std::string(); };
  tools_.archiver.unlha = [&](const std::string&, std::string&) { return ++archiverCalls, 0; };
  if (InstallConverter().empty()) {
    // Without the real converter, a stand-in that writes the page.
    WriteScript("shoin/shoin", "d=\"$1\"; : > \"${d%.dat}.html\"");
  }
  WriteDat("333", 2);

  EXPECT_FALSE(ProcessDroppedThread(monitor_, "実況スレ", DatPath("333"), tools_));

  const std::string tag = Tag("実況スレ", "333");
  EXPECT_EQ(log_, (std::vector<std::string>{Line(tag + "のLZH圧縮をスキップします"),
                                            Line(tag + "をhtml化しています..."),
                                            Line("html化しました")}));
  EXPECT_EQ(archiverCalls, 0);
  EXPECT_TRUE(common::FileExists(folder_ + "dat/333.html"));
}

TEST_F(DatFallTest, FiveFailedAttemptsOfEachEndInTwoSummaryLines) {
  int archiverCalls = 0;
  tools_.archiver.unlha = [&](const std::string&, std::string&) { return ++archiverCalls, 1; };
  WriteScript("shoin/shoin", "exit 0");  // writes no page
  WriteDat("444", 2);
  const std::string title = "実況スレ";

  EXPECT_FALSE(ProcessDroppedThread(monitor_, title, DatPath("444"), tools_));

  const std::string tag = Tag(title, "444");
  std::vector<std::string> expected;
  for (int i = 1; i <= 5; ++i) {
    expected.push_back(Line(tag + "をLZH圧縮しています..."));
    if (i < 5) expected.push_back(Line("LZH圧縮に失敗したのでもう一度LZH圧縮してみます..."));
  }
  expected.push_back(Line("LZH圧縮失敗[444.dat]\"" + title + "\""));
  expected.push_back(Line("5回LZH圧縮しましたが全て失敗しました"));
  for (int i = 1; i <= 5; ++i) {
    expected.push_back(Line(tag + "をhtml化しています..."));
    if (i < 5) expected.push_back(Line("html化に失敗したのでもう一度html化してみます..."));
  }
  expected.push_back(Line("html化失敗[444.dat]\"" + title + "\""));
  expected.push_back(Line("5回html化しましたが全て失敗しました"));
  EXPECT_EQ(log_, expected);
  EXPECT_EQ(archiverCalls, 5);
}

// A converter that never exits is ended at the limit and the attempt fails,
// even though it wrote the page before it hung; it is not started again.
TEST_F(DatFallTest, HungConverterIsEndedAndCountsAsFailed) {
  WriteScript("shoin/shoin", "d=\"$1\"; : > \"${d%.dat}.html\"; sleep 1000");
  tools_.converterWait.timeLimit = 200ms;
  WriteDat("555", 2);

  ProcessDroppedThread(monitor_, "実況スレ", DatPath("555"), tools_);

  const std::string tag = Tag("実況スレ", "555");
  const std::string timedOut =
      Line(tag + "のhtml化が200ミリ秒たっても終わらないので、SHOINを終了させました");
  EXPECT_EQ(std::count(log_.begin(), log_.end(), timedOut), 1);
  EXPECT_NE(std::find(log_.begin(), log_.end(), Line("html化失敗[555.dat]\"実況スレ\"")),
            log_.end());
}

// An exit while the converter runs ends it; a thread without its page is
// not announced, and the title search is told to keep it.
TEST_F(DatFallTest, ExitDuringTheConversionPublishesNothing) {
  monitor_.form.chkE[0].SetValue(1);
  WriteScript("shoin/shoin", "sleep 1000");
  WriteDat("777", 2);
  pump_.onPump = [&] {
    if (!log_.empty() && log_.back().find("html化しています") != std::string::npos) {
      SetExitRequest(monitor_, ExitRequest::kRequested);
    }
  };

  EXPECT_FALSE(ProcessDroppedThread(monitor_, "実況スレ", DatPath("777"), tools_));

  EXPECT_TRUE(monitor_.datFallCutShort);
  EXPECT_EQ(log_.back(), Line(Tag("実況スレ", "777") + "のhtml化を中断しました"));
  EXPECT_FALSE(common::FileExists(folder_ + "dat/777.html"));
  EXPECT_EQ(Queue().find("実況スレ"), std::string::npos);
}

// The stop button pressed while the converter runs is honoured once every
// sub-step has run.
TEST_F(DatFallTest, StopPressedDuringTheStepEndsInTheStopTail) {
  monitor_.commandLine = "/ownermode";  // keeps the announcement box through the stop
  monitor_.form.chkE[0].SetValue(1);
  LockSettings(monitor_);
  SetRunState(monitor_, RunState::kRunning);
  WriteScript("shoin/shoin", "sleep 0.2; d=\"$1\"; : > \"${d%.dat}.html\"");
  WriteDat("666", 2);
  bool pressed = false;
  pump_.onPump = [&] {
    bool converting = !log_.empty() && log_.back().find("html化しています") != std::string::npos;
    if (converting && !pressed) {
      pressed = true;
      cmdRUN_Click(monitor_);
    }
  };

  EXPECT_TRUE(ProcessDroppedThread(monitor_, "実況スレ", DatPath("666"), tools_));

  EXPECT_TRUE(pressed);
  EXPECT_EQ(log_.back(), Line("Twitterに投稿するdat落ち情報を集めました"));
  EXPECT_TRUE(common::FileExists(folder_ + "dat/666.lzh"));
  EXPECT_TRUE(common::FileExists(folder_ + "dat/666.html"));
  EXPECT_NE(Queue(), "\t");
  EXPECT_EQ(monitor_.form.cmdRUN.Caption(),
            std::string(kRestPrefix) + "お休み中(" + monitor_.Time() + ")");
  EXPECT_EQ(monitor_.form.Form1.Caption(), "お休み中 - " + monitor_.form.baseTitle);
  EXPECT_EQ(monitor_.form.cmdRUN.Tag(), kRunStateStopped);
}

TEST_F(DatFallTest, UploadFollowsThePairAndTheUploaderBox) {
  struct Case {
    const char* name;
    int chkD;
    int chkCGI;
    bool hasUpload;
    bool uploadResult;
    bool called;
    bool result;
  };
  const Case cases[] = {
      {"page uploaded", 1, 1, true, true, true, true},
      {"page upload failed", 1, 1, true, false, true, false},
      {"uploader box grey", 1, 2, true, true, false, true},
      {"pair box off", 0, 1, true, false, false, true},
      {"no uploader plugged in", 1, 1, false, false, false, false},
  };
  WriteDat("777", 2);
  const std::string title = "実況スレ";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    log_.clear();
    monitor_.form.chkD[0].SetValue(c.chkD);
    monitor_.form.chkCGISnUploader.SetValue(c.chkCGI);
    std::vector<std::string> calls;
    tools_.upload = nullptr;
    if (c.hasUpload) {
      tools_.upload = [&](Monitor&, const std::string& t, const std::string& datPath) {
        calls.push_back(t + "|" + datPath);
        return c.uploadResult;
      };
    }
    EXPECT_EQ(ProcessDroppedThread(monitor_, title, DatPath("777"), tools_), c.result);
    EXPECT_EQ(calls.size(), c.called ? 1u : 0u);
    if (c.called) {
      EXPECT_EQ(calls[0], title + "|" + DatPath("777"));
    }
    const std::string unavailable = Line("アップロード機能が使えないので、" + Tag(title, "777") +
                                         "のアップロードをスキップします");
    EXPECT_EQ(log_.back() == unavailable, !c.hasUpload);
  }
}

// Words edited since the thread was found: nothing is published for it.
TEST_F(DatFallTest, TitleMatchingNoPairSkipsAnnouncementAndUpload) {
  for (int i = 0; i < 3; ++i) {
    monitor_.form.chkD[i].SetValue(1);
    monitor_.form.chkE[i].SetValue(1);
  }
  monitor_.form.chkCGISnUploader.SetValue(1);
  monitor_.form.txtWORD2[0].SetText("別の語");
  bool uploaded = false;
  tools_.upload = [&](Monitor&, const std::string&, const std::string&) { return uploaded = true; };
  WriteDat("888", 2);

  EXPECT_TRUE(ProcessDroppedThread(monitor_, "実況スレ", DatPath("888"), tools_));

  EXPECT_EQ(log_.back(),
            Line(Tag("実況スレ", "888") +
                 "に合う単語の組がないので、Twitterへの投稿とアップロードをスキップします"));
  EXPECT_FALSE(uploaded);
  EXPECT_EQ(Queue(), "\t");
}

// The wiring the start-up uses: the built-in archiver and the converter
// under the program folder.
TEST_F(DatFallTest, WiredStepUsesTheProgramFolder) {
  WriteScript("shoin/shoin", "d=\"$1\"; : > \"${d%.dat}.html\"");
  monitor_.processDroppedThread = MakeProcessDroppedThread(monitor_);
  WriteDat("999", 5);
  EXPECT_TRUE(monitor_.processDroppedThread("実況スレ", DatPath("999")));
  EXPECT_EQ(CheckArchive(folder_ + "dat/999.lzh", "999.dat", DatPath("999")), "");
  EXPECT_TRUE(common::FileExists(folder_ + "dat/999.html"));
}

}  // namespace
}  // namespace yagura
