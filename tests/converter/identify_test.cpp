// Identification and reading of logs of each form and board kind.
#include <sys/stat.h>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "common/encoding.h"
#include "converter/options/options.h"
#include "converter/options/packed_values.h"
#include "converter/options/reporter.h"
#include "converter/reading/board_info.h"
#include "converter/reading/board_kind.h"
#include "converter/reading/identify.h"
#include "converter/reading/thread_reader.h"
#include "test_data.h"

namespace converter {
namespace {

class ReadingTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("shoin_reading_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Write(const std::string& name, const std::string& bytes) {
    std::filesystem::path path = dir_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path.string();
  }

  // Identifies and reads a file as the run does.
  Identification Load(const std::string& path, Thread& thread) {
    thread.path = path;
    thread.key = KeyOfFileName(std::filesystem::path(path).filename().string());
    Identification id = IdentifyFile(cmd_, thread);
    if (id == Identification::kDat) {
      ProgramBoardFiles none;
      Reporter quiet(false, "");
      FindBoardInfo(cmd_, none, thread, quiet);
      EXPECT_EQ(ReadThread(thread).status, ReadStatus::kOk);
    }
    return id;
  }

  std::filesystem::path dir_;
  Options cmd_;
};

// Faults a user met: each log below once lost or corrupted something on its page.
TEST_F(ReadingTest, LongFirstPostNulBytesAndByteOrderMark) {
  // A first post longer than the identification head (30 KB) keeps the title,
  // already for the title query, which looks before the log is read.
  std::string body(40000, 'x');
  std::string log =
      common::Utf8ToCp932("名無し<><>2008/01/07(月) 14:10:06 ID:abc<> " + body +
                          " <>長いスレッド\n名無し<><>2008/01/07(月) 14:11:06<> 二 <>\n");
  std::string path = Write("1199682606.dat", log);
  Thread thread;
  thread.path = path;
  ASSERT_EQ(IdentifyFile(cmd_, thread), Identification::kDat);
  EXPECT_EQ(thread.title, "長いスレッド");
  Thread read;
  ASSERT_EQ(Load(path, read), Identification::kDat);
  EXPECT_EQ(read.title, "長いスレッド");
  ASSERT_EQ(read.posts.size(), 2u);
  EXPECT_EQ(read.posts[0].body.size(), body.size() + 2);

  // A NUL byte inside a post becomes a blank, as in the head.
  Thread nul;
  ASSERT_EQ(
      Load(Write("1199682607.dat", common::Utf8ToCp932("名無し<><>2008/01/07(月) 14:10:06<> a") +
                                       std::string(1, '\0') + "b <>t\n"),
           nul),
      Identification::kDat);
  ASSERT_EQ(nul.posts.size(), 1u);
  EXPECT_EQ(nul.posts[0].body, " a b ");

  // A UTF-8 log that begins with a byte-order mark: the mark is not part of the first name.
  Thread marked;
  ASSERT_EQ(Load(Write("1199682608.dat",
                       "\xEF\xBB\xBF名無し<><>2008/01/07(月) 14:10:06<> 本文 "
                       "<>題名\n名無し<><>2008/01/07(月) 14:11:06<> 二 <>\n"),
                 marked),
            Identification::kDat);
  EXPECT_EQ(marked.inputKanjicode, 3);
  ASSERT_EQ(marked.posts.size(), 2u);
  EXPECT_EQ(marked.posts[0].name, "名無し");
  EXPECT_EQ(marked.title, "題名");
}

TEST_F(ReadingTest, RealLogsOfEachFormAndKind) {
  struct Case {
    const char* log;
    int kanjicode;
    DatForm form;
    BoardKind kind;
    int posts;
    const char* title;
  };
  const Case cases[] = {
      {"twoB-2ch/2ch_with_id.dat", 1, DatForm::kPlain, BoardKind::kOther, 586, "KDE スレッド7"},
      {"twoB-2ch/2ch_with_id_and_be.dat", 1, DatForm::kPlain, BoardKind::kOther, 612,
       "（　＾＾ω）ﾎﾏﾎﾏ6"},
      {"js2ch-news4vip/1379534723.dat", 1, DatForm::kPlain, BoardKind::kOther, 75,
       "一番面白い避難訓練の「おはし」を考えた奴が優勝"},
      {"twoB-2ch/example(81-100).dat", 1, DatForm::kPlain, BoardKind::kOther, 20, ""},
      {"twoB-2ch/log-falled.dat", 1, DatForm::kPlain, BoardKind::kOther, 4, "D言語 Part21"},
      {"twoB-jbbs/jbbs.dat", 2, DatForm::kNumbered, BoardKind::kShitaraba, 226,
       "鶉の羽の下（管理運営・意見・要望など）の7.5"},
      {"twoB-jbbs/aa-euc.dat", 2, DatForm::kNumbered, BoardKind::kShitaraba, 981, nullptr},
      {"twoB-jbbs/unmatch-count-dat.txt", 2, DatForm::kNumbered, BoardKind::kShitaraba, 235,
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.log);
    REAL_LOG_OR_SKIP(bytes, c.log);
    Thread thread;
    ASSERT_EQ(Load(testing::RealPath(c.log), thread), Identification::kDat);
    EXPECT_EQ(thread.inputKanjicode, c.kanjicode);
    EXPECT_EQ(thread.form, c.form);
    EXPECT_EQ(thread.kind, c.kind);
    EXPECT_EQ(thread.postCount, c.posts);
    EXPECT_EQ(thread.posts.size(), static_cast<size_t>(c.posts));
    if (c.title) {
      std::string title = thread.title;
      while (!title.empty() && title.back() == ' ') title.pop_back();
      EXPECT_EQ(title, c.title);
    }
    long long cr = std::count(bytes.begin(), bytes.end(), '\r');
    EXPECT_EQ(thread.sizeKb,
              std::max<long long>(1, (static_cast<long long>(bytes.size()) - cr) / 1024));
    EXPECT_NE(thread.traits, nullptr);
  }
}

TEST_F(ReadingTest, PostsOfARealLog) {
  REAL_LOG_OR_SKIP(bytes, "twoB-jbbs/unmatch-count-dat.txt");
  Thread thread;
  ASSERT_EQ(Load(testing::RealPath("twoB-jbbs/unmatch-count-dat.txt"), thread),
            Identification::kDat);
  // Deleted posts leave gaps: the numbers follow the log.
  EXPECT_EQ(thread.posts.back().number, 251);
  EXPECT_FALSE(thread.posts.front().id.empty());
  EXPECT_GT(thread.firstPostTime, 0u);
  EXPECT_GE(thread.lastPostTime, thread.firstPostTime);
  for (const Post& post : thread.posts) EXPECT_FALSE(post.broken) << post.number;
}

TEST_F(ReadingTest, PostFieldsAndTimes) {
  REAL_LOG_OR_SKIP(bytes, "js2ch-news4vip/1379534723.dat");
  Thread thread;
  std::string path = Write("1379534723.dat", bytes);
  ASSERT_EQ(Load(path, thread), Identification::kDat);
  EXPECT_EQ(thread.key, 1379534723u);
  const Post& first = thread.posts.front();
  EXPECT_EQ(first.number, 1);
  EXPECT_EQ(thread.DecodeField(first.name), "以下、名無しにかわりましてVIPがお送りします");
  EXPECT_EQ(first.time, 2013091905052377ULL);
  EXPECT_EQ(std::string(first.id), "TZ0akNcn0");
  EXPECT_EQ(thread.firstPostTime, 2013091905052377ULL);
  // The board folder is the log's folder when nothing else is known.
  EXPECT_EQ(thread.board.folderName, dir_.filename().string());
  EXPECT_EQ(thread.board.threadAddress, "");
}

TEST_F(ReadingTest, OldCommaFormReadsLikeTheCurrentForm) {
  std::string line1 =
      common::Utf8ToCp932("名無し,sage,2001/05/05(土) 12:00,本文＠｀続き &amp 記号,古いスレッド\n");
  std::string line2 = common::Utf8ToCp932("名無し,,2001/05/05(土) 12:01,二つ目,\n");
  Thread thread;
  ASSERT_EQ(Load(Write("987654321.dat", line1 + line2), thread), Identification::kDat);
  EXPECT_EQ(thread.separator, FieldSeparator::kOldComma);
  EXPECT_EQ(thread.form, DatForm::kPlain);
  EXPECT_EQ(thread.title, "古いスレッド");
  ASSERT_EQ(thread.posts.size(), 2u);
  EXPECT_EQ(thread.DecodeField(thread.posts[0].body), "本文,続き & 記号");
  EXPECT_TRUE(thread.posts[0].sage);
  EXPECT_EQ(thread.key, 987654321u);
}

TEST_F(ReadingTest, FilesThatAreNoLogs) {
  Thread a, b, c, d;
  EXPECT_EQ(Load(Write("crlf.dat", "\r\n\r\n\r\n"), a), Identification::kUnknownForm);
  EXPECT_EQ(Load(Write("empty.dat", ""), b), Identification::kEmpty);
  EXPECT_EQ(Load(Write("old.html", "<dt><a name=\"a1\">1</a> 名前：</dt>\n"), c),
            Identification::kEarlierHtml);
  EXPECT_EQ(Load((dir_ / "missing.dat").string(), d), Identification::kNotOpenable);
}

TEST_F(ReadingTest, BrokenPostsAndNulBytes) {
  std::string log = "n<>m<>2008/01/07(月) 14:10:06<>body<>t\n";
  log += "only<>two\n";
  log += "n<>m<>2008/01/07(月) 14:10:07<>" + std::string(150001, 'x') + "<>\n";
  log += std::string("n<>m<>2008/01/07(月) 14:10:08<>nul\0byte<>\n", 42);
  Thread thread;
  ASSERT_EQ(Load(Write("1199682606.dat", common::Utf8ToCp932(log)), thread), Identification::kDat);
  ASSERT_EQ(thread.posts.size(), 4u);
  EXPECT_FALSE(thread.posts[0].broken);
  EXPECT_TRUE(thread.posts[1].broken);
  EXPECT_TRUE(thread.posts[2].broken);
  EXPECT_FALSE(thread.posts[3].broken);
  EXPECT_EQ(thread.posts[3].number, 4);
}

// A short read ends a regular file only once it gave the bytes it had when
// opened: a log that grows or shrinks between identification and reading,
// and a pipe that gives a log in pieces, are read to their end.
TEST_F(ReadingTest, LogsThatChangeWhileReadAndPipes) {
  auto posts = [](int from, int count) {
    std::string log;
    for (int k = from; k < from + count; ++k) {
      log += "n<>m<>2008/01/07(月) 14:10:06<>post " + std::to_string(k) + " " +
             std::string(200, 'x') + "<>\n";
    }
    return log;
  };
  struct Case {
    const char* what;
    int before;  // posts when identified
    int after;   // posts when read (appended, or the file cut to them)
    int read;    // posts read
  };
  // A head that held the whole log has read it: what comes later waits for
  // the next conversion.
  for (const Case& c : {Case{"grows past the head", 200, 400, 400},
                        Case{"grows after a head that held it all", 20, 40, 20},
                        Case{"shrinks after the head", 400, 300, 300}}) {
    SCOPED_TRACE(c.what);
    std::string path = Write("1199682606.dat", posts(1, c.before));
    Thread thread;
    thread.path = path;
    ASSERT_EQ(IdentifyFile(cmd_, thread), Identification::kDat);
    if (c.after > c.before) {
      std::ofstream(path, std::ios::binary | std::ios::app)
          << posts(c.before + 1, c.after - c.before);
    } else {
      std::filesystem::resize_file(path, posts(1, c.after).size());
    }
    ASSERT_EQ(ReadThread(thread).status, ReadStatus::kOk);
    ASSERT_EQ(thread.posts.size(), static_cast<size_t>(c.read));
    EXPECT_EQ(thread.posts.back().body,
              "post " + std::to_string(c.read) + " " + std::string(200, 'x'));
    EXPECT_EQ(thread.fileSize, static_cast<long long>(posts(1, c.read).size()));
  }

  // A pipe gives what it holds at the time: the writer pauses within the
  // log and after the head.
  const std::string fifo = (dir_ / "1199682607.dat").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string log = posts(1, 300);
  std::thread writer([&] {
    std::ofstream out(fifo, std::ios::binary);
    for (size_t at = 0; at < log.size(); at += 40000) {
      out << log.substr(at, 40000) << std::flush;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  });
  Thread piped;
  Identification id = Load(fifo, piped);
  writer.join();
  ASSERT_EQ(id, Identification::kDat);
  EXPECT_EQ(piped.posts.size(), 300u);
  EXPECT_EQ(piped.fileSize, static_cast<long long>(log.size()));
}

TEST_F(ReadingTest, CountingStartsAtTheDecidingLine) {
  std::string log = "KAKO,,archive header\n";
  log += "a<>b<>no date here<>d<>e\n";
  log += common::Utf8ToCp932("n<>m<>2008/01/07(月) 14:10:06<>body<>題\n");
  log += common::Utf8ToCp932("n<>m<>2008/01/07(月) 14:10:07<>body<>\n");
  Thread thread;
  ASSERT_EQ(Load(Write("1199682606.dat", log), thread), Identification::kDat);
  EXPECT_TRUE(thread.oldArchive);
  EXPECT_EQ(thread.title, "題");
  EXPECT_EQ(thread.postCount, 2);
  ASSERT_EQ(thread.posts.size(), 2u);
  EXPECT_EQ(thread.posts[0].time, 2008010714100600ULL);
}

TEST_F(ReadingTest, IgnoringTheLogCheckTakesEverythingAsA2chDat) {
  cmd_.o.ignoreLogCheck = true;
  Thread thread;
  ASSERT_EQ(Load(Write("x.dat", "a<>b<>not a date<>d<>title\n"), thread), Identification::kDat);
  EXPECT_EQ(thread.title, "title");
  EXPECT_EQ(thread.inputKanjicode, 1);
}

TEST_F(ReadingTest, BoardInformationFromIdxAndBoardFiles) {
  REAL_LOG_OR_SKIP(menu, "bbsmenu-5ch-2022/bbsmenu.html");
  std::string log = common::Utf8ToCp932("n<>m<>2008/01/07(月) 14:10:06<>b<>t\n");
  std::string path = Write("browser/linux/1199682606.dat", log);
  Write("browser/board.html", menu);
  cmd_.o = OSwitches{};
  Thread thread;
  ASSERT_EQ(Load(path, thread), Identification::kDat);
  EXPECT_EQ(thread.board.folderName, "linux");
  EXPECT_EQ(thread.board.server, "mao.5ch.net");
  EXPECT_EQ(thread.kind, BoardKind::k2ch);
  EXPECT_EQ(thread.board.threadAddress, "http://mao.5ch.net/test/read.cgi/linux/1199682606/");

  // An .idx beside the log comes first in the default order.
  Write("browser/linux/1199682606.idx", "[Board]\r\nServer=pc11.2ch.net\r\nName=Linux板\r\n");
  Thread second;
  ASSERT_EQ(Load(path, second), Identification::kDat);
  EXPECT_EQ(second.board.server, "pc11.2ch.net");
  EXPECT_EQ(second.board.address, "http://pc11.2ch.net/linux/");

  // Yagura's /o reads neither.
  ApplyOWord(0xE01B1E, cmd_.o);
  Thread third;
  ASSERT_EQ(Load(path, third), Identification::kDat);
  EXPECT_EQ(third.board.server, "");
  EXPECT_EQ(third.kind, BoardKind::kOther);
}

TEST_F(ReadingTest, DateStyleAndForcedKinds) {
  // まちＢＢＳ writes the number first and the ID in the date field.
  std::string machi =
      common::Utf8ToCp932("1<>名無し<><>2005/05/05(木) 12:00:00 ID:abcdEF<>本文<>まちのスレ\n");
  Thread thread;
  ASSERT_EQ(Load(Write("1115262000.dat", machi), thread), Identification::kDat);
  EXPECT_EQ(thread.form, DatForm::kNumbered);
  EXPECT_EQ(thread.kind, BoardKind::kMachi);
  EXPECT_EQ(thread.title, "まちのスレ");

  cmd_.forcedKind = '2';
  Thread forced;
  ASSERT_EQ(Load(Write("1115262000.dat", machi), forced), Identification::kDat);
  EXPECT_EQ(forced.kind, BoardKind::kBbspink);

  cmd_.forcedKind = '8';
  std::string big5;
  common::EncodeFromUtf8("名無<>sage<>2005/05/05 12:00:00<>內容<>台灣\n", common::Charset::kBig5,
                         big5);
  Thread taiwan;
  ASSERT_EQ(Load(Write("1115262001.dat", big5), taiwan), Identification::kDat);
  EXPECT_EQ(taiwan.inputKanjicode, 4);
  EXPECT_EQ(taiwan.title, "台灣");
  EXPECT_EQ(taiwan.language, 1);
}

TEST_F(ReadingTest, FieldsInTheOutputEncoding) {
  Thread thread;
  thread.inputKanjicode = 1;
  thread.outputKanjicode = 3;
  EXPECT_EQ(thread.ToOutputEncoding(common::Utf8ToCp932("名前")), "名前");
  thread.inputKanjicode = 3;
  thread.outputKanjicode = 1;
  // A character Shift_JIS lacks becomes a numeric reference.
  EXPECT_EQ(thread.ToOutputEncoding("a\xF0\x9F\x98\x80"
                                    "b"),
            "a&#128512;b");
  thread.outputKanjicode = 3;
  EXPECT_EQ(thread.ToOutputEncoding("same"), "same");
}

TEST_F(ReadingTest, BoardFilesOfTheProgramFolder) {
  std::string brd = common::Utf8ToCp932(
      "2\t0\r\nニュース\t0\r\n\tnews.2ch.net\tnewsplus\tニュース速報+\r\n"
      "\tpc11.2ch.net\tlinux\tLinux板\r\n");
  Write("prog/2channel.brd", brd);
  Write("prog/others.brd",
        common::Utf8ToCp932("他\t0\r\n\thokkaido.machi.to\thokkaidou\t北海道\r\n"));
  cmd_.programFolder = (dir_ / "prog").string() + "/";
  ApplyOWord(0x401B1E, cmd_.o);  // browser files off
  ProgramBoardFiles files;
  Reporter quiet(false, "");
  LoadProgramBoardFiles(cmd_, files, quiet);
  ASSERT_EQ(files.twoChannel.size(), 2u);
  const BoardEntry* linux = files.twoChannel.Find("linux");
  ASSERT_NE(linux, nullptr);
  EXPECT_EQ(linux->server, "pc11.2ch.net");
  EXPECT_EQ(linux->name, "Linux板");

  Thread thread;
  thread.path = Write("logs/hokkaidou/1115262000.dat",
                      common::Utf8ToCp932("1<>n<><>2005/05/05(木) 12:00:00 ID:a<>b<>t\n"));
  thread.key = 1115262000;
  ASSERT_EQ(IdentifyFile(cmd_, thread), Identification::kDat);
  FindBoardInfo(cmd_, files, thread, quiet);
  EXPECT_EQ(thread.board.name, "北海道");
  EXPECT_EQ(thread.kind, BoardKind::kMachi);
  EXPECT_EQ(thread.board.threadAddress,
            "http://hokkaido.machi.to/bbs/read.pl?BBS=hokkaidou&KEY=1115262000");
}

TEST(BoardKinds, HostPatterns) {
  struct Case {
    const char* address;
    const char* folder;
    BoardKind kind;
  };
  const Case cases[] = {
      {"http://pc11.2ch.net/linux/", "linux", BoardKind::k2ch},
      {"https://mao.5ch.net/linux/", "linux", BoardKind::k2ch},
      {"https://egg.5ch.io/x/", "x", BoardKind::k2ch},
      {"http://be.2ch.net/be/", "be", BoardKind::kBe2ch},
      {"http://qb5.2ch.net/be/", "be", BoardKind::kBe2ch},
      {"http://pie.bbspink.com/erochara/", "erochara", BoardKind::kBbspink},
      {"http://hokkaido.machi.to/hokkaidou/", "hokkaidou", BoardKind::kMachi},
      {"http://jbbs.shitaraba.net/game/1234/", "1234", BoardKind::kShitaraba},
      {"http://jbbs.livedoor.jp/game/1234/", "1234", BoardKind::kShitaraba},
      {"http://www.shitaraba.com/bbs/", "bbs", BoardKind::kShitarabaOld},
      {"http://www2.milkcafe.net/game/", "game", BoardKind::kMilkcafe},
      {"http://world.2ch.net/lobby/", "lobby", BoardKind::kWorld2ch},
      {"http://example.com/board/", "board", BoardKind::kOther},
      {"http://not2ch.net/x/", "x", BoardKind::kOther},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    EXPECT_EQ(KindOfAddress(c.address, c.folder), c.kind);
  }
}

TEST(BoardKinds, ThreadAddresses) {
  BoardInfo board;
  board.server = "hokkaido.machi.to";
  board.folderName = "tawara";
  EXPECT_EQ(TraitsOf(BoardKind::kMachi).ThreadAddress(board, 1234567890),
            "http://hokkaido.machi.to/bbs/read.cgi?BBS=tawara&KEY=1234567890");
  board.server = "jbbs.shitaraba.net";
  board.category = "game";
  board.folderName = "1234";
  EXPECT_EQ(TraitsOf(BoardKind::kShitaraba).ThreadAddress(board, 1234567890),
            "http://jbbs.shitaraba.net/bbs/read.cgi/game/1234/1234567890/");
  board.address = "http://www2.milkcafe.net/game/";
  EXPECT_EQ(TraitsOf(BoardKind::kMilkcafe).ThreadAddress(board, 1234567890),
            "http://www2.milkcafe.net/game/read.php?key=1234567890");
  EXPECT_EQ(TraitsOf(BoardKind::kWorld2ch).Language(), 2);
  EXPECT_EQ(TraitsOf(BoardKind::kTaiwan2ch).Language(), 1);
}

TEST(LogNames, KeysAndLogNames) {
  EXPECT_EQ(KeyOfFileName("1199682606.dat"), 1199682606u);
  EXPECT_EQ(KeyOfFileName("987654321.dat"), 987654321u);
  EXPECT_EQ(KeyOfFileName("924090402.dat"), 0u);
  EXPECT_EQ(KeyOfFileName("123456789.dat"), 0u);
  EXPECT_EQ(KeyOfFileName("2ch_with_id.dat"), 0u);
  EXPECT_TRUE(IsLogFileName("1199682606.dat"));
  EXPECT_TRUE(IsLogFileName("9240904021.dat"));
  EXPECT_FALSE(IsLogFileName("123456789.dat"));
}

}  // namespace
}  // namespace converter
