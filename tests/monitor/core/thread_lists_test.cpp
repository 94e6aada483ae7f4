#include "monitor/core/thread_lists.h"

#include <sys/stat.h>

#include "monitor/core/message_text.h"
#include "test_support.h"

namespace yagura {
namespace {

using testing::MonitorTest;

class ThreadListsTest : public MonitorTest {};

TEST_F(ThreadListsTest, EmptyListsAreTwoIdenticalHeadLines) {
  ASSERT_TRUE(SaveLists(m));
  const std::string head = ";--Yagura Version 0.3.86 メール送信済みスレッド情報リスト\r\n";
  EXPECT_EQ(ReadText("_Thread.lst"), head + head);
  EXPECT_EQ(ReadText("_Dat1001.lst"),
            ";--Yagura Version 0.3.86 dat落ちスレッド情報リスト\r\n"
            ";--Yagura Version 0.3.86 dat落ちスレッド情報リスト\r\n");
  EXPECT_NE(ReadText("_Gumtape.lst").find("メール送信済みガムテパスリスト"), std::string::npos);
}

TEST_F(ThreadListsTest, LowerBoxesSurviveARestart) {
  m.form.listTHREADSEND[1].AddItem("1234567890.dat<>新スレ (12)");
  m.form.listTHREADSEND[1].AddItem("1234567891.dat<>;--で始まるタイトル (3)");
  m.form.listDATDL[1].AddItem("1234567892.dat<1001レス>埋まったスレ (1001)");
  m.form.listTHREADSEND[0].AddItem("1234567893.dat<>not kept (1)");
  ASSERT_TRUE(SaveLists(m));

  Monitor other;
  other.paths = m.paths;
  ASSERT_TRUE(LoadLists(other));
  EXPECT_EQ(other.form.listTHREADSEND[1].Items(), m.form.listTHREADSEND[1].Items());
  EXPECT_EQ(other.form.listDATDL[1].Items(), m.form.listDATDL[1].Items());
  EXPECT_EQ(other.form.listTHREADSEND[0].Count(), 0);
  EXPECT_EQ(other.form.listGUMPASS[1].Count(), 0);
}

TEST_F(ThreadListsTest, LoadKeepsCommentLikeEntriesAndSkipsUnsafeKeys) {
  WriteText("_Dat1001.lst",
            ";--head\r\n"
            ";--x.dat<>a comment-like entry (1)\r\n"
            "1000000001.dat<5レス>ok (5)\r\n"
            "../../etc/passwd<5レス>bad (5)\r\n"
            "12a.dat<>bad (1)\r\n"
            "\r\n"
            "1000000002.dat<>ok (2)\n"
            ";--head\r\n");
  std::vector<std::string> skipped;
  ASSERT_TRUE(LoadLists(m, &skipped));
  EXPECT_EQ(m.form.listDATDL[1].Items(),
            (std::vector<std::string>{"1000000001.dat<5レス>ok (5)", "1000000002.dat<>ok (2)"}));
  // The comment-like entry is an entry, but its key is no dat key either.
  EXPECT_EQ(skipped.size(), 4u);
}

TEST(DatKey, OnlyDigitsAndDat) {
  EXPECT_TRUE(IsValidDatKey("1234567890.dat"));
  for (const char* bad : {"", ".dat", "12.DAT", "1 2.dat", "12.dat/", "-1.dat", "１２.dat"}) {
    EXPECT_FALSE(IsValidDatKey(bad)) << bad;
  }
  EXPECT_EQ(EntryKeyPart("123.dat<5レス>t (5)"), "123.dat");
  EXPECT_EQ(EntryKeyPart("no bracket"), "no bracket");
}

TEST_F(ThreadListsTest, DownloadPlanHasHeadEntriesAndTail) {
  m.form.listDATDL[0].AddItem("1.dat<3レス>t (3)");
  ASSERT_TRUE(SaveDownloadPlan(m));
  EXPECT_EQ(ReadText("_dat.lst"), std::string(kStepPrefix) +
                                      "ダウンロード予定datリスト(03:04:05)\r\n" +
                                      "1.dat<3レス>t (3)\r\n" + kStepPrefix + "終わり\r\n");
}

// An unchanged cycle only moves the plan's time: the file is rewritten in
// place. A changed list replaces it whole.
TEST_F(ThreadListsTest, PlanWithTheSameEntriesIsRewrittenInPlace) {
  auto inode = [&] {
    struct stat st {};
    EXPECT_EQ(::stat(Path("_dat.lst").c_str(), &st), 0);
    return st.st_ino;
  };
  const std::string head = std::string(kStepPrefix) + "ダウンロード予定datリスト(";
  const std::string tail = std::string(kStepPrefix) + "終わり\r\n";
  m.form.listDATDL[0].AddItem("1.dat<3レス>t (3)");
  ASSERT_TRUE(SaveDownloadPlan(m));
  const auto first = inode();
  clock.now += 3661;
  ASSERT_TRUE(SaveDownloadPlan(m));
  EXPECT_EQ(ReadText("_dat.lst"), head + "04:05:06)\r\n1.dat<3レス>t (3)\r\n" + tail);
  EXPECT_EQ(inode(), first);
  // Another entry of the same length is a change all the same.
  m.form.listDATDL[0].SetItems({"2.dat<3レス>t (3)"});
  ASSERT_TRUE(SaveDownloadPlan(m));
  EXPECT_EQ(ReadText("_dat.lst"), head + "04:05:06)\r\n2.dat<3レス>t (3)\r\n" + tail);
  EXPECT_NE(inode(), first);
}

TEST_F(ThreadListsTest, TwitterQueue) {
  EXPECT_EQ(LoadTwitterQueue(m), "\t");  // no file
  WriteText("_Twitter.dat", "");
  EXPECT_EQ(LoadTwitterQueue(m), "");
  WriteText("_Twitter.dat", "a\r\nb\t");
  EXPECT_EQ(LoadTwitterQueue(m), "a\r\nb\t");
  WriteText("_Twitter.dat", "one\tunfinished");
  EXPECT_EQ(LoadTwitterQueue(m), "one\t");
  WriteText("_Twitter.dat", "no tab at all");
  EXPECT_EQ(LoadTwitterQueue(m), "");

  common::RemoveFile(Path("_Twitter.dat"));
  ASSERT_TRUE(AppendTwitterAnnouncement(m, "新スレ\r\nhttp://x/"));
  ASSERT_TRUE(AppendTwitterAnnouncement(m, "二つ目"));
  EXPECT_EQ(ReadText("_Twitter.dat"), "新スレ\r\nhttp://x/\t二つ目\t");  // no line end added
  EXPECT_EQ(LoadTwitterQueue(m), "新スレ\r\nhttp://x/\t二つ目\t");
}

TEST(StripTags, Table) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"<b>bold</b> text", "bold text"},
      {"a<br>b<br>c", "abc"},
      {"no tags", ""},
      {"only < here", ""},
      {"only > here", ""},
      {"a > b <i>c</i>", "a > b c"},  // a ">" inside the text is text
      {"x<b>y<unclosed", "xy"},       // the trailing fragment is dropped
      {"<a href=\"x\">link</a><", "link"},
      {"<>", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(StripTags(c.text), c.expected) << c.text;
}

TEST_F(ThreadListsTest, StripTagsPumpsEvents) {
  EXPECT_EQ(StripTags(m, "<p>a</p><p>b</p>"), "ab");
  EXPECT_GE(pump.count, 4);
}

}  // namespace
}  // namespace yagura

namespace yagura {
namespace {

class ListWalkTest : public testing::MonitorTest {};

// A nested list command inside the pump may shorten the list being walked.
TEST_F(ListWalkTest, SelectWithEventsSeesTheListAsThePumpLeftIt) {
  ListBox& list = m.form.listDATDL[0];
  list.SetItems({"1.dat<>a (1)", "2.dat<>b (1)", "3.dat<>c (1)"});
  EXPECT_EQ(SelectWithEvents(m, list, 1), "2.dat<>b (1)");
  EXPECT_EQ(list.ListIndex(), 1);
  EXPECT_EQ(pump.count, 1);
  pump.onPump = [&] { list.RemoveItem(0); };
  EXPECT_EQ(SelectWithEvents(m, list, 1), "3.dat<>c (1)");  // moved up
  pump.onPump = [&] { list.Clear(); };
  EXPECT_FALSE(SelectWithEvents(m, list, 0));
  const int pumps = pump.count;
  EXPECT_FALSE(SelectWithEvents(m, list, 5));  // past the end: no select, no pump
  EXPECT_EQ(pump.count, pumps);

  list.SetItems({"x", "y", "x"});
  EXPECT_EQ(IndexOfEntry(list, "x", 0), 0);
  EXPECT_EQ(IndexOfEntry(list, "x", 1), 2);  // moved: its last place
  EXPECT_EQ(IndexOfEntry(list, "z", 0), -1);
}

}  // namespace
}  // namespace yagura
