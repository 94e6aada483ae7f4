#include "monitor/core/search_titles.h"

#include <gtest/gtest.h>

#include <functional>

#include "common/file_io.h"
#include "monitor/core/message_text.h"
#include "monitor/core/run_state.h"
#include "monitor_fixture.h"

namespace yagura {
namespace {

using testing::MonitorFixture;

class SearchTitlesTest : public MonitorFixture {
 protected:
  void SetPair(int i, std::string w1, std::string w2, bool a, bool b, bool c = false) {
    monitor_.form.txtWORD1[i].SetText(std::move(w1));
    monitor_.form.txtWORD2[i].SetText(std::move(w2));
    monitor_.form.chkA[i].SetValue(a ? 1 : 0);
    monitor_.form.chkB[i].SetValue(b ? 1 : 0);
    monitor_.form.chkC[i].SetValue(c ? 1 : 0);
  }
  // Lines end in LF, as a board serves them.
  bool Search(const std::string& subjectLines) {
    WriteCp932(Path("yagura_subject.txt"), subjectLines);
    return SearchTitles(monitor_, Path("yagura_subject.txt"));
  }
  const std::vector<std::string>& Mails() { return monitor_.form.listTHREADSEND[0].Items(); }
  const std::vector<std::string>& Downloads() { return monitor_.form.listDATDL[0].Items(); }
  const std::vector<std::string>& Fallen() { return monitor_.form.listDATDL[1].Items(); }
  std::vector<std::pair<std::string, std::string>> handedOver_;
  void RecordHandOver() {
    monitor_.processDroppedThread = [this](const std::string& title, const std::string& path) {
      handedOver_.emplace_back(title, path);
      return true;
    };
  }
};

struct MatchCase {
  const char* word1;
  const char* word2;
  const char* title;
  bool matches;
};

TEST_F(SearchTitlesTest, MatchingIgnoresCaseWidthAndKanaType) {
  const MatchCase cases[] = {
      {"abc", "xyz", "ABC and XYZ", true},
      {"abc", "xyz", "ＡＢＣとＸＹＺ", true},            // full-width letters
      {"ｶﾀｶﾅ", "ﾃｽﾄ", "カタカナのテスト", true},         // half-width katakana word
      {"カタカナ", "テスト", "ｶﾀｶﾅのﾃｽﾄ", true},         // half-width katakana title
      {"かたかな", "てすと", "カタカナのテスト", true},  // hiragana against katakana
      {"ガギ", "x", "ｶﾞｷﾞx", true},                      // voiced marks compose
      {"ab", "bc", "abc", true},                         // overlapping words
      {"abc", "xyz", "ABC only", false},
      {"abd", "x", "ABC x", false},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(c.title);
    monitor_.form.listDATDL[0].Clear();
    SetPair(0, c.word1, c.word2, false, true);
    ASSERT_TRUE(Search(std::string("100.dat<>") + c.title + " (5)\n"));
    EXPECT_EQ(Downloads().size(), c.matches ? 1u : 0u);
  }
}

TEST_F(SearchTitlesTest, CheckBoxesChooseTheLists) {
  struct {
    bool a, b, c;
    size_t mails, downloads;
  } cases[] = {{false, true, false, 0, 1}, {false, false, true, 0, 0}, {true, false, false, 1, 0}};
  for (const auto& c : cases) {
    monitor_.form.listTHREADSEND[0].Clear();
    monitor_.form.listDATDL[0].Clear();
    SetPair(0, "foo", "bar", c.a, c.b, c.c);
    ASSERT_TRUE(Search("123.dat<>foo bar (55)\n"));
    EXPECT_EQ(Mails().size(), c.mails);
    EXPECT_EQ(Downloads().size(), c.downloads);
  }
  // The last case queued a mail: the lists were saved at once.
  EXPECT_TRUE(common::FileExists(Path("yagura_Thread.lst")));
  EXPECT_EQ(Mails(), std::vector<std::string>{"123.dat<>foo bar (55)"});
}

TEST_F(SearchTitlesTest, ThreadMatchingTwoPairsIsQueuedOncePerList) {
  monitor_.form.balloonEnabled = true;
  SetPair(0, "foo", "bar", true, true);
  SetPair(1, "bar", "baz", true, true);
  ASSERT_TRUE(Search("123.dat<>foo bar baz (55)\n"));
  EXPECT_EQ(Mails(), std::vector<std::string>{"123.dat<>foo bar baz (55)"});
  EXPECT_EQ(Downloads(), std::vector<std::string>{"123.dat<55レス>foo bar baz (55)"});
  EXPECT_EQ(PaneCount("をスレッド情報メール送信予定リストに追加しました"), 1);
  EXPECT_EQ(PaneCount("\"123.dat\"をdatダウンロード予定リストに追加しました"), 1);
  EXPECT_EQ(
      tray_.balloons,
      (std::vector<std::string>{
          monitor_.form.baseTitle + "|メール送信予定リストに追加。\r\n123.dat<>foo bar baz (55)",
          monitor_.form.baseTitle +
              "|datダウンロード予定リストに追加。\r\n123.dat<55レス>foo bar baz (55)"}));
}

TEST_F(SearchTitlesTest, RisingCountRefreshesEntryAtTheEndWithoutLogLine) {
  SetPair(0, "foo", "bar", false, true);
  monitor_.form.listDATDL[0].SetItems(
      {"123.dat<55レス>foo bar (55)", "456.dat<3レス>foo bar x (3)"});
  ASSERT_TRUE(Search("123.dat<>foo bar (60)\n456.dat<>foo bar x (3)\n"));
  // Both matched again: each was removed and appended in board order.
  EXPECT_EQ(Downloads(), (std::vector<std::string>{"123.dat<60レス>foo bar (60)",
                                                   "456.dat<3レス>foo bar x (3)"}));
  Search("456.dat<>foo bar x (4)\n123.dat<>foo bar (60)\n");
  EXPECT_EQ(Downloads(), (std::vector<std::string>{"456.dat<4レス>foo bar x (4)",
                                                   "123.dat<60レス>foo bar (60)"}));
  EXPECT_EQ(PaneCount("をdatダウンロード予定リストに追加しました"), 0);
}

TEST_F(SearchTitlesTest, EntryDifferingFromItsLineCountsAsDropped) {
  RecordHandOver();
  // The words no longer match, so the entry is not refreshed to count 56.
  SetPair(0, "gone", "word", false, true);
  monitor_.form.listDATDL[0].SetItems(
      {"1.dat<5レス>old (5)", "2.dat<7レス>two (7)", "3.dat<1レス>three (1)"});
  ASSERT_TRUE(Search("1.dat<>old (56)\n3.dat<>THREE (1)\n"));
  // Entries 1 and 2 dropped one after the other; 3 is listed (case ignored).
  EXPECT_EQ(Downloads(), std::vector<std::string>{"3.dat<1レス>three (1)"});
  EXPECT_EQ(Fallen(), (std::vector<std::string>{"1.dat<5レス>old (5)", "2.dat<7レス>two (7)"}));
  ASSERT_EQ(handedOver_.size(), 2u);
  EXPECT_EQ(handedOver_[0], std::make_pair(std::string("old"), Path("dat/1.dat")));
  EXPECT_EQ(handedOver_[1], std::make_pair(std::string("two"), Path("dat/2.dat")));
  EXPECT_EQ(PaneCount("\"old\"[1.dat]はdat落ちしています"), 1);
  EXPECT_EQ(monitor_.form.listDATDL[0].ListIndex(), -1);
  // The dat-fall list file follows at once.
  EXPECT_NE(common::ReadWholeFile(Path("yagura_Dat1001.lst")).value().find("2.dat<7"),
            std::string::npos);
}

TEST_F(SearchTitlesTest, DropWithoutDatFallStepIsOnlyLoggedAndMoved) {
  monitor_.form.listDATDL[0].SetItems({"1.dat<5レス>old (5)"});
  ASSERT_TRUE(Search("2.dat<>other (1)\n"));
  EXPECT_EQ(Fallen(), std::vector<std::string>{"1.dat<5レス>old (5)"});
  EXPECT_EQ(PaneCount("\"old\"[1.dat]はdat落ちしています"), 1);
}

TEST_F(SearchTitlesTest, ListedPrefixAndLastLineWithoutLineEndStillCountAsOnBoard) {
  RecordHandOver();
  monitor_.form.listDATDL[0].SetItems({"1.dat<5レス>a (5)", "2.dat<6レス>b (6)"});
  // Line 1 merely begins with the rebuilt line; line 2 has no line end.
  ASSERT_TRUE(Search("1.dat<>a (5) extra\n2.dat<>b (6)"));
  EXPECT_EQ(Downloads().size(), 2u);
  EXPECT_TRUE(handedOver_.empty());
}

TEST_F(SearchTitlesTest, ThreadSeenAgainLeavesTheDatFallList) {
  SetPair(0, "foo", "bar", false, true);
  monitor_.form.listDATDL[1].SetItems({"9.dat<1レス>x (1)", "123.dat<55レス>foo bar (55)"});
  ASSERT_TRUE(Search("123.dat<>foo bar (56)\n"));
  EXPECT_EQ(Fallen(), std::vector<std::string>{"9.dat<1レス>x (1)"});
  EXPECT_EQ(Downloads(), std::vector<std::string>{"123.dat<56レス>foo bar (56)"});
}

TEST_F(SearchTitlesTest, FullOrBigLogOnTheBoardIsReportedAndStaysQueued) {
  RecordHandOver();
  monitor_.form.listDATDL[0].SetItems(
      {"1.dat<1001レス>full (1001)", "2.dat<9レス>big (9)", "3.dat<1000レス>ok (1000)"});
  ASSERT_TRUE(common::ReplaceFileAtomically(Path("dat/1.dat"), std::string(1001, '\n')));
  ASSERT_TRUE(common::ReplaceFileAtomically(Path("dat/2.dat"), std::string(513 * 1024, 'x')));
  ASSERT_TRUE(common::ReplaceFileAtomically(Path("dat/3.dat"), std::string(1000, '\n')));
  const std::string board = "1.dat<>full (1001)\n2.dat<>big (9)\n3.dat<>ok (1000)\n";
  for (int cycle = 0; cycle < 2; ++cycle) ASSERT_TRUE(Search(board));
  EXPECT_EQ(PaneCount("\"full\"[1.dat]には書き込めませんがdat落ちしていないのでLZH圧縮、html化、"
                      "アップロードをスキップします"),
            2);
  EXPECT_EQ(PaneCount("\"big\"[2.dat]には書き込めません"), 2);
  EXPECT_EQ(PaneCount("\"ok\"[3.dat]"), 0);
  EXPECT_EQ(Downloads().size(), 3u);
  EXPECT_TRUE(handedOver_.empty());
}

// The line counts are kept between searches: a log that changed is counted
// again, whether it grew in place or was replaced.
TEST_F(SearchTitlesTest, LogThatChangesBetweenSearchesIsCountedAgain) {
  monitor_.form.listDATDL[0].SetItems({"3.dat<1000レス>ok (1000)"});
  const std::string log = Path("dat/3.dat");
  const std::string board = "3.dat<>ok (1000)\n";
  const std::string full = "\"ok\"[3.dat]には書き込めません";
  ASSERT_TRUE(common::ReplaceFileAtomically(log, std::string(1000, '\n')));
  ASSERT_TRUE(Search(board));
  EXPECT_EQ(PaneCount(full), 0);
  ASSERT_TRUE(common::AppendToFile(log, "\n"));  // the same file, one line longer
  ASSERT_TRUE(Search(board));
  EXPECT_EQ(PaneCount(full), 1);
  ASSERT_TRUE(Search(board));
  EXPECT_EQ(PaneCount(full), 2);
  ASSERT_TRUE(common::ReplaceFileAtomically(log, std::string(999, '\n') + "x"));
  ASSERT_TRUE(Search(board));
  EXPECT_EQ(PaneCount(full), 2);
  ASSERT_TRUE(common::RemoveFile(log));
  ASSERT_TRUE(Search(board));
  EXPECT_EQ(PaneCount(full), 2);
}

TEST_F(SearchTitlesTest, KeysOtherThanDigitsAreRefusedInBothPasses) {
  RecordHandOver();
  SetPair(0, "t", "t", true, true);
  monitor_.form.listDATDL[0].SetItems({"../../x.dat<1レス>t (1)"});
  ASSERT_TRUE(
      Search("../../x.dat<>t (1)\n12a.dat<>t (1)\n.dat<>t (1)\nno separator\n"
             "5.dat<>no count\n"));
  EXPECT_TRUE(Mails().empty());
  EXPECT_EQ(Downloads(), std::vector<std::string>{"../../x.dat<1レス>t (1)"});
  EXPECT_TRUE(handedOver_.empty());
  EXPECT_EQ(PaneCount("subject.txt中の1行の解析に失敗3"), 3);
  EXPECT_EQ(PaneCount("subject.txt中の1行の解析に失敗1[\"<>\"が存在しない:no separator]"), 1);
  EXPECT_EQ(PaneCount("subject.txt中の1行の解析に失敗2[\" (\"が存在しない:5.dat<>no count]"), 1);
  EXPECT_EQ(PaneCount("subject.txt解析に失敗3"), 1);
}

TEST_F(SearchTitlesTest, TextWithoutLineFeedHasNoLineToExamine) {
  SetPair(0, "foo", "bar", true, true);
  ASSERT_TRUE(Search("123.dat<>foo bar (1)"));
  EXPECT_TRUE(Mails().empty());
  EXPECT_TRUE(Downloads().empty());
  EXPECT_TRUE(SearchTitles(monitor_, Path("yagura_subject.txt")));
  EXPECT_FALSE(SearchTitles(monitor_, Path("missing.txt")));
}

TEST_F(SearchTitlesTest, ProgressShowsInTheWindowTitle) {
  std::vector<std::string> titles;
  pump_.onPump = [&](int) {
    const std::string& t = monitor_.form.Form1.Caption();
    if (t.find("%完了") != std::string::npos && (titles.empty() || titles.back() != t)) {
      titles.push_back(t);
    }
  };
  std::string board;
  for (int i = 1; i <= 20; ++i) board += std::to_string(i) + ".dat<>t (1)\n";
  ASSERT_TRUE(Search(board));
  EXPECT_EQ(titles.front(),
            "スレッドタイトルを検索しています...10%完了 - " + monitor_.form.baseTitle);
  // The last line leaves one line break of 20 in the remaining text: 95%.
  EXPECT_EQ(titles.back(),
            "スレッドタイトルを検索しています...90%完了 - " + monitor_.form.baseTitle);
  EXPECT_EQ(titles.size(), 9u);
  EXPECT_EQ(monitor_.form.Form1.Caption(),
            "dat落ちスレッドを検索しています... - " + monitor_.form.baseTitle);
}

TEST_F(SearchTitlesTest, StopDuringEitherPassEndsTheSearch) {
  SetPair(0, "t", "t", false, true);
  std::string board;
  for (int i = 1; i <= 10; ++i) board += std::to_string(i) + ".dat<>t (1)\n";
  // Pass 1: stop while the third line is examined.
  pump_.onPump = [&](int) {
    if (Downloads().size() == 3) SetRunState(monitor_, RunState::kStopped);
  };
  EXPECT_FALSE(Search(board));
  EXPECT_EQ(Downloads().size(), 3u);
  EXPECT_EQ(monitor_.form.cmdRUN.Caption().rfind(kRestPrefix, 0), 0u);
  EXPECT_EQ(monitor_.form.Form1.Caption(), "お休み中 - " + monitor_.form.baseTitle);

  // Pass 2: stop at the second entry; the later drops are not handed over.
  RecordHandOver();
  SetPair(0, "none", "none", false, true);
  SetRunState(monitor_, RunState::kRunning);
  pump_.onPump = [&](int) {
    if (PaneCount("はdat落ちしています") == 2) SetRunState(monitor_, RunState::kStopped);
  };
  EXPECT_FALSE(Search("99.dat<>x (1)\n"));
  EXPECT_EQ(handedOver_.size(), 2u);
  EXPECT_EQ(Downloads().size(), 1u);
}

// A stop or an exit that ended the conversion leaves the page unmade: the
// thread stays followed (in the download plan too) so that the next search
// processes it again, and the search ends there.
TEST_F(SearchTitlesTest, ProcessingCutShortKeepsTheThreadFollowed) {
  const std::function<void(Monitor&)> interruptions[] = {
      [](Monitor& m) { SetRunState(m, RunState::kStopped); },
      [](Monitor& m) { SetExitRequest(m, ExitRequest::kRequested); },
  };
  for (const auto& interrupt : interruptions) {
    SetRunState(monitor_, RunState::kRunning);
    SetExitRequest(monitor_, ExitRequest::kNone);
    int calls = 0;
    monitor_.processDroppedThread = [&](const std::string&, const std::string&) {
      ++calls;
      interrupt(monitor_);
      monitor_.datFallCutShort = true;
      return false;
    };
    monitor_.form.listDATDL[1].Clear();
    monitor_.form.listDATDL[0].SetItems({"1.dat<5レス>one (5)", "2.dat<7レス>two (7)"});
    EXPECT_FALSE(Search("3.dat<>other (1)\n"));
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(Downloads(),
              (std::vector<std::string>{"1.dat<5レス>one (5)", "2.dat<7レス>two (7)"}));
    EXPECT_TRUE(Fallen().empty());
  }
}

// A line cut before its closing parenthesis, or with text between the key
// and the "<>", is not queued: its entry would never match the line again and
// the thread would be taken for dropped.
TEST_F(SearchTitlesTest, MalformedLinesAreSkippedNotTakenForDropped) {
  SetPair(0, "foo", "bar", false, true);
  RecordHandOver();
  ASSERT_TRUE(Search("123.dat<>foo bar (5\n"));
  EXPECT_TRUE(Downloads().empty());
  EXPECT_TRUE(handedOver_.empty());
  // Text between the key and the "<>" makes no key.
  ASSERT_TRUE(Search("123.dat<1)9.dat<>foo bar (5)\n"));
  EXPECT_TRUE(Downloads().empty());
  ASSERT_TRUE(Search("123.dat<>foo bar (5\v)\n"));
  ASSERT_TRUE(Search("123.dat<>foo bar (5\v)\n"));
  EXPECT_EQ(Downloads().size(), 1u);
  EXPECT_TRUE(handedOver_.empty());
}

// A count holding the entry's own marks still rebuilds the board's line: the
// thread was just queued from that line and is not dropped, however many of
// them one list holds.
TEST_F(SearchTitlesTest, CountHoldingMarksIsNotTakenForDropped) {
  SetPair(0, "foo", "bar", false, true);
  RecordHandOver();
  const char* counts[] = {"3>x", "4<y>", "5レス>", "", "6 (7"};
  std::string lines;
  for (int i = 0; i < 5; ++i) {
    lines += std::to_string(100 + i) + ".dat<>foo bar (" + counts[i] + ")\n";
  }
  ASSERT_TRUE(Search(lines));
  EXPECT_EQ(Downloads().size(), 5u);
  EXPECT_TRUE(handedOver_.empty());
  EXPECT_EQ(PaneCount("dat落ちしています"), 0);
  // An entry of the old form (first ">" after the key) still counts as gone.
  monitor_.form.listDATDL[0].SetItems({"9.dat<2>レス>x (2)"});
  ASSERT_TRUE(Search("8.dat<>other (1)\n"));
  EXPECT_EQ(handedOver_.size(), 1u);
}

// Lines may end in LF, CR LF or a lone CR, mixed; a last line without an end
// is not examined but still counts as listed.
TEST_F(SearchTitlesTest, EveryLineEndSeparatesLines) {
  SetPair(0, "foo", "bar", false, true);
  RecordHandOver();
  const char* boards[] = {"1.dat<>foo bar (1)\n2.dat<>foo bar (2)\n3.dat<>foo bar (3)",
                          "1.dat<>foo bar (1)\r\n2.dat<>foo bar (2)\r3.dat<>foo bar (3)",
                          "1.dat<>foo bar (1)\r2.dat<>foo bar (2)\r\n\r\n3.dat<>foo bar (3)"};
  for (const char* board : boards) {
    SCOPED_TRACE(board);
    monitor_.form.listDATDL[0].SetItems({"3.dat<3レス>foo bar (3)"});
    ASSERT_TRUE(Search(board));
    EXPECT_EQ(Downloads(),
              (std::vector<std::string>{"3.dat<3レス>foo bar (3)", "1.dat<1レス>foo bar (1)",
                                        "2.dat<2レス>foo bar (2)"}));
    EXPECT_TRUE(handedOver_.empty());
  }
}

}  // namespace
}  // namespace yagura
