#include "monitor/http/retrieve_dats.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>

#include "common/file_io.h"
#include "monitor/core/message_text.h"
#include "monitor/core/run_state.h"
#include "monitor/http/header_file.h"
#include "monitor_fixture.h"
#include "tests/servers/nginx_server.h"
#include "tests/servers/script_server.h"

namespace yagura {
namespace {

using testing::MonitorFixture;
using testing::NginxServer;

// What the client sent, as nginx logged it.
struct LoggedRequest {
  std::string method;
  std::string uri;
  int status = 0;
  std::string range;            // "-" when none was sent
  std::string ifModifiedSince;  // "-" when none was sent
};

// Post lines as a board writes them (CP932 bytes, LF line ends).
std::string Posts(int from, int to) {
  std::string bytes;
  for (int i = from; i <= to; ++i) {
    bytes += common::Utf8ToCp932("名無しさん<>sage<>2026/12/08 12:00:0" + std::to_string(i % 10) +
                                 " ID:abc<> 本文" + std::to_string(i) + " <>" +
                                 (i == 1 ? "スレタイ" : "") + "\n");
  }
  return bytes;
}

class RetrieveDatsTest : public MonitorFixture {
 protected:
  void SetUp() override {
    MonitorFixture::SetUp();
    ASSERT_TRUE(nginx_.Running()) << nginx_.ErrorLog();
    monitor_.form.txtURLBRD.SetText(nginx_.Url("/board/"));
    http_ = std::make_unique<HttpClient>(monitor_);
    mtime_ = std::time(nullptr) - 100000;
  }
  void TearDown() override {
    nginx_.Stop();
    MonitorFixture::TearDown();
  }
  // Puts a log on the server with a modification time later than any before.
  void Serve(const std::string& key, const std::string& bytes) {
    ASSERT_TRUE(nginx_.WriteFile("board/dat/" + key + ".dat", bytes, mtime_ += 10));
  }
  void Follow(const std::vector<std::string>& keys) {
    std::vector<std::string> entries;
    for (const std::string& key : keys) entries.push_back(key + ".dat<1レス>t (1)");
    monitor_.form.listDATDL[0].SetItems(entries);
  }
  bool Retrieve() {
    mark_ = nginx_.Requests().size();
    return RetrieveDats(monitor_, *http_, monitor_.paths.DatFolder());
  }
  // The requests of the last Retrieve(), once at least `expected` are logged.
  std::vector<LoggedRequest> Requests(size_t expected) {
    std::vector<LoggedRequest> sent;
    std::vector<NginxServer::Request> all = nginx_.Requests(mark_ + expected, 3000);
    for (size_t i = mark_; i < all.size(); ++i) {
      const std::string& line = all[i].requestLine;
      size_t blank = line.find(' ');
      std::string uri = line.substr(blank + 1, line.find(' ', blank + 1) - blank - 1);
      sent.push_back(
          {line.substr(0, blank), uri, all[i].status, all[i].range, all[i].ifModifiedSince});
    }
    return sent;
  }
  std::string Local(const std::string& key) {
    return common::ReadWholeFile(Path("dat/" + key + ".dat")).value_or("<missing>");
  }
  std::string LocalHead(const std::string& key) {
    return common::ReadWholeFile(Path("dat/" + key + ".dat.head")).value_or("<missing>");
  }
  // "METHOD uri range status" per logged request.
  std::vector<std::string> Sent(size_t expected) {
    std::vector<std::string> sent;
    for (const LoggedRequest& r : Requests(expected)) {
      sent.push_back(r.method + " " + r.uri + " " + r.range + " " + std::to_string(r.status));
    }
    return sent;
  }

  NginxServer nginx_;
  size_t mark_ = 0;
  std::unique_ptr<HttpClient> http_;
  long long mtime_ = 0;
};

TEST_F(RetrieveDatsTest, FirstDownloadIsWholeThenAnUnchangedLogCostsOneHead) {
  // A log that happens to hold "<div " without "</div>" is still a log.
  const std::string log = Posts(1, 5) + common::Utf8ToCp932("名無し<><>日付<> <div class=x <>\n");
  Serve("100", log);
  Follow({"100"});
  ASSERT_TRUE(Retrieve());
  EXPECT_EQ(Sent(1), std::vector<std::string>{"GET /board/dat/100.dat - 200"});
  EXPECT_EQ(Local("100"), log);
  const HeaderFields stored = ReadHeaderFile(Path("dat/100.dat.head"));
  EXPECT_EQ(stored.contentLength, "Content-Length: " + std::to_string(log.size()));
  EXPECT_EQ(PaneCount("GET " + nginx_.Url("/board/dat/100.dat...(")), 1);
  EXPECT_EQ(monitor_.form.listDATDL[0].ListIndex(), -1);

  const std::string head = LocalHead("100");
  ASSERT_TRUE(Retrieve());
  std::vector<LoggedRequest> requests = Requests(1);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "HEAD");
  EXPECT_EQ(requests[0].status, 304);
  // From one byte before the local end: the log's last line feed overlaps.
  EXPECT_EQ(requests[0].range, "bytes=" + std::to_string(log.size() - 1) + "-");
  EXPECT_EQ("Last-Modified: " + requests[0].ifModifiedSince, stored.lastModified);
  EXPECT_EQ(Local("100"), log);
  EXPECT_EQ(LocalHead("100"), head);
}

// The header files are read again only when they changed: one written by
// someone else between cycles is the one the next probe goes by.
TEST_F(RetrieveDatsTest, HeaderFileChangedBetweenCyclesIsReadAgain) {
  Serve("100", Posts(1, 5));
  Follow({"100"});
  ASSERT_TRUE(Retrieve());
  ASSERT_TRUE(Retrieve());
  ASSERT_EQ(Requests(1).size(), 1u);
  EXPECT_EQ(Requests(1)[0].status, 304);
  const std::string older = "Thu, 01 Jan 2009 00:00:00 GMT";
  ASSERT_TRUE(common::ReplaceFileAtomically(
      Path("dat/100.dat.head"), "HTTP/1.1 200 OK\r\nLast-Modified: " + older +
                                    "\r\nContent-Length: " + std::to_string(Posts(1, 5).size()) +
                                    "\r\n"));
  ASSERT_TRUE(Retrieve());
  std::vector<LoggedRequest> requests = Requests(2);
  ASSERT_GE(requests.size(), 1u);
  EXPECT_EQ(requests[0].method, "HEAD");
  EXPECT_EQ(requests[0].ifModifiedSince, older);
}

TEST_F(RetrieveDatsTest, ThreeNewPostsAreAppendedAndTheHeaderFollows) {
  Serve("100", Posts(1, 5));
  Follow({"100"});
  ASSERT_TRUE(Retrieve());
  const std::string oldLastModified = ReadHeaderFile(Path("dat/100.dat.head")).lastModified;
  Serve("100", Posts(1, 8));
  monitor_.form.balloonEnabled = true;
  ASSERT_TRUE(Retrieve());
  const std::string range = "bytes=" + std::to_string(Posts(1, 5).size() - 1) + "-";
  EXPECT_EQ(Sent(2), (std::vector<std::string>{"HEAD /board/dat/100.dat " + range + " 206",
                                               "GET /board/dat/100.dat " + range + " 206"}));
  EXPECT_EQ(Local("100"), Posts(1, 8));
  EXPECT_EQ(PaneCount(std::string(kDetailPrefix) + "新着 3件をダウンロードしました("), 1);
  EXPECT_EQ(PaneCount("GET(差分) "), 1);
  const HeaderFields stored = ReadHeaderFile(Path("dat/100.dat.head"));
  EXPECT_EQ(stored.contentLength, "Content-Length: " + std::to_string(Posts(1, 8).size()));
  EXPECT_NE(stored.lastModified, oldLastModified);
  EXPECT_EQ(stored.status, "HTTP/1.1 200 OK");
  ASSERT_EQ(tray_.balloons.size(), 1u);
  EXPECT_EQ(tray_.balloons[0], monitor_.form.baseTitle + "|新着 3件:100.dat<1レス>t (1)");
  // The next cycle asks from the new end.
  ASSERT_TRUE(Retrieve());
  ASSERT_EQ(Requests(1).size(), 1u);
  EXPECT_EQ(Requests(1)[0].status, 304);
}

TEST_F(RetrieveDatsTest, ShortenedLogIsAnswered416AndFetchedAgain) {
  Serve("100", Posts(1, 6));
  Follow({"100"});
  ASSERT_TRUE(Retrieve());
  // A deleted post is rewritten shorter.
  const std::string rewritten =
      Posts(1, 2) + common::Utf8ToCp932("あぼーん<>あぼーん<>あぼーん<>あぼーん<>\n") + Posts(4, 6);
  ASSERT_LT(rewritten.size(), Posts(1, 6).size());
  Serve("100", rewritten);
  ASSERT_TRUE(Retrieve());
  EXPECT_EQ(Sent(2), (std::vector<std::string>{"HEAD /board/dat/100.dat bytes=" +
                                                   std::to_string(Posts(1, 6).size() - 1) + "- 416",
                                               "GET /board/dat/100.dat - 200"}));
  EXPECT_EQ(Local("100"), rewritten);
  EXPECT_EQ(PaneCount("あぼーんを検出したっぽいのでdatを全部取得します"), 1);
}

TEST_F(RetrieveDatsTest, HtmlPageInsteadOfALogIsNotKept) {
  struct {
    const char* body;
    bool withLocalCopy;
  } cases[] = {{"<html><body>gone</body></html>", false},
               {"<!DOCTYPE x><div class=\"a\">moved</div>", false},
               // Shorter than the local log: the probe gets 416, then the page.
               {"<html>gone</html>", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.body);
    if (c.withLocalCopy) {
      Serve("100", Posts(1, 3));
      Follow({"100"});
      ASSERT_TRUE(Retrieve());
    }
    Serve("100", c.body);
    Follow({"100"});
    ASSERT_TRUE(Retrieve());
    // A log from before stays (the dat-fall processing needs it once the
    // thread leaves the list), without the header a range request needs.
    EXPECT_EQ(Local("100"), c.withLocalCopy ? Posts(1, 3) : "<missing>");
    EXPECT_FALSE(common::FileExists(Path("dat/100.dat.head")));
  }
  EXPECT_EQ(PaneCount("\"100.dat\"はdat落ちしている可能性があります"), 3);
  // The page keeps being served: the kept log is fetched whole again, never
  // extended by the tail of a page longer than itself.
  Serve("100", "<html>" + std::string(200, 'x') + "</html>");
  ASSERT_TRUE(Retrieve());
  EXPECT_EQ(Sent(1), std::vector<std::string>{"GET /board/dat/100.dat - 200"});
  EXPECT_EQ(Local("100"), Posts(1, 3));
}

TEST_F(RetrieveDatsTest, LocalLogWithoutHeaderFileIsDownloadedInFull) {
  Serve("100", Posts(1, 4));
  ASSERT_TRUE(common::ReplaceFileAtomically(Path("dat/100.dat"), Posts(1, 2)));
  Follow({"100"});
  ASSERT_TRUE(Retrieve());
  EXPECT_EQ(Sent(1), std::vector<std::string>{"GET /board/dat/100.dat - 200"});
  EXPECT_EQ(Local("100"), Posts(1, 4));
}

TEST_F(RetrieveDatsTest, ErrorPageNeverBecomesTheLog) {
  Follow({"404"});
  ASSERT_TRUE(Retrieve());
  EXPECT_EQ(PaneCount("\"404.dat\"のダウンロードに失敗しました"), 1);
  EXPECT_FALSE(common::FileExists(Path("dat/404.dat")));
  EXPECT_FALSE(common::FileExists(Path("dat/404.dat.head")));
  // A log longer than the error page: a range request from the end of a
  // stored error page would have appended its tail to the page.
  Serve("404", Posts(1, 20));
  ASSERT_TRUE(Retrieve());
  EXPECT_EQ(Sent(1), std::vector<std::string>{"GET /board/dat/404.dat - 200"});
  EXPECT_EQ(Local("404"), Posts(1, 20));
}

// A rewritten log (416) whose full download then fails keeps the local copy.
TEST_F(MonitorFixture, FailedFullDownloadKeepsThePreviousLog) {
  NginxServer nginx(NginxServer::Options{
      "location = /board/dat/100.dat { if ($request_method = GET) { return 503; } }"});
  ASSERT_TRUE(nginx.Running()) << nginx.ErrorLog();
  ASSERT_TRUE(nginx.WriteFile("board/dat/100.dat", Posts(1, 2)));
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Length: 999\r\nLast-Modified: Tue, 08 Dec 2026 01:00:00 GMT\r\n";
  ASSERT_TRUE(common::ReplaceFileAtomically(Path("dat/100.dat"), Posts(1, 6)));
  ASSERT_TRUE(common::ReplaceFileAtomically(Path("dat/100.dat.head"), head));
  monitor_.form.txtURLBRD.SetText(nginx.Url("/board/"));
  monitor_.form.listDATDL[0].SetItems({"100.dat<6レス>t (6)"});
  HttpClient http(monitor_);
  ASSERT_TRUE(RetrieveDats(monitor_, http, monitor_.paths.DatFolder()));
  EXPECT_EQ(PaneCount("あぼーんを検出したっぽいのでdatを全部取得します"), 1);
  EXPECT_EQ(PaneCount("\"100.dat\"のダウンロードに失敗しました"), 1);
  EXPECT_EQ(common::ReadWholeFile(Path("dat/100.dat")).value_or(""), Posts(1, 6));
  EXPECT_EQ(common::ReadWholeFile(Path("dat/100.dat.head")).value_or(""), head);
}

// What the server answers from one byte before the local end decides: the
// log's last line feed and new posts are appended; anything else is a log
// that changed under us and is fetched whole, with the page test.
TEST_F(RetrieveDatsTest, RangeAnswerMustStartWithTheLogsLastLineFeed) {
  const std::string page = "<html><body>" + std::string(300, 'x') + "</body></html>";
  const std::string samesize = [] {
    std::string bytes = Posts(1, 4);
    bytes[bytes.size() - 3] = 'Z';  // rewritten in place, same size
    return bytes;
  }();
  // A post replaced by a shorter line, and new posts after it: the byte
  // where the local log ended is no longer a line feed.
  const std::string abon =
      Posts(1, 1) + common::Utf8ToCp932("あぼーん<>あぼーん<>あぼーん<>あぼーん<>\n") + Posts(3, 9);
  ASSERT_NE(abon[Posts(1, 4).size() - 1], '\n');
  const struct {
    const char* name;
    std::string served;
    std::vector<std::string> sent;  // after the first download of Posts(1, 4)
    std::string local;              // the log afterwards
    const char* logged;
  } cases[] = {
      {"page longer than the log",
       page,
       {"HEAD 206", "GET 206", "GET 200"},
       Posts(1, 4),
       "\"100.dat\"はdat落ちしている可能性があります"},
      {"log rewritten at the same size",
       samesize,
       {"HEAD 206", "GET 200"},
       samesize,
       "あぼーんを検出したっぽいのでdatを全部取得します"},
      {"post deleted and new ones added",
       abon,
       {"HEAD 206", "GET 206", "GET 200"},
       abon,
       "あぼーんを検出したっぽいのでdatを全部取得します"},
      {"new posts",
       Posts(1, 6),
       {"HEAD 206", "GET 206"},
       Posts(1, 6),
       "新着 2件をダウンロードしました"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove_all(Path("dat"));
    Serve("100", Posts(1, 4));
    Follow({"100"});
    ASSERT_TRUE(Retrieve());
    ASSERT_EQ(Local("100"), Posts(1, 4));
    Serve("100", c.served);
    monitor_.form.txtLOG.SetText("");
    ASSERT_TRUE(Retrieve());
    std::vector<std::string> sent;
    for (const LoggedRequest& r : Requests(c.sent.size())) {
      sent.push_back(r.method + " " + std::to_string(r.status));
    }
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(Local("100"), c.local);
    EXPECT_EQ(PaneCount(c.logged), 1);
  }
}

// An https board: the log is asked for over TLS (the test server's own
// certificate trusted as an authority), whole and then by range.
TEST_F(MonitorFixture, HttpsBoardLogsAreFetchedOverTls) {
  NginxServer::Options options;
  options.tls = true;
  NginxServer secure(options);
  ASSERT_TRUE(secure.Running()) << secure.ErrorLog();
  ASSERT_TRUE(secure.WriteFile("board/dat/100.dat", Posts(1, 3), std::time(nullptr) - 1000));
  monitor_.form.txtURLBRD.SetText(secure.Url("/board/"));
  ASSERT_EQ(monitor_.form.txtURLBRD.Text().rfind("https://", 0), 0u);
  monitor_.form.listDATDL[0].SetItems({"100.dat<3レス>t (3)"});
  HttpClient http(monitor_);
  http.extraCaFile = secure.CertificatePath();
  ASSERT_TRUE(RetrieveDats(monitor_, http, monitor_.paths.DatFolder()));
  EXPECT_EQ(common::ReadWholeFile(Path("dat/100.dat")).value_or(""), Posts(1, 3));
  EXPECT_EQ(PaneCount("GET " + secure.Url("/board/dat/100.dat...(")), 1);
  ASSERT_TRUE(secure.WriteFile("board/dat/100.dat", Posts(1, 5), std::time(nullptr)));
  ASSERT_TRUE(RetrieveDats(monitor_, http, monitor_.paths.DatFolder()));
  EXPECT_EQ(common::ReadWholeFile(Path("dat/100.dat")).value_or(""), Posts(1, 5));
  EXPECT_EQ(PaneCount("新着 2件をダウンロードしました"), 1);
}

// A log that cannot be stored is said to be so, not blamed on the server.
TEST_F(RetrieveDatsTest, UnwritableLogIsReportedAsSuch) {
  Serve("100", Posts(1, 3));
  Follow({"100"});
  std::filesystem::create_directories(Path("dat/100.dat/in the way"));
  ASSERT_TRUE(Retrieve());
  EXPECT_EQ(PaneCount("\"100.dat\":\"" + Path("dat/100.dat") + "\"に書き込めません"), 1);
  EXPECT_EQ(PaneCount("接続に失敗しました"), 0);
  EXPECT_EQ(Sent(1), std::vector<std::string>{"GET /board/dat/100.dat - 200"});  // no retry
}

TEST_F(RetrieveDatsTest, StopWhileTheThirdOfFiveThreadsIsFetched) {
  for (const char* key : {"1", "2", "3", "4", "5"}) Serve(key, Posts(1, 2));
  Follow({"1", "2", "3", "4", "5"});
  pump_.onPump = [&](int) {
    if (monitor_.form.listDATDL[0].ListIndex() == 2) SetRunState(monitor_, RunState::kStopped);
  };
  EXPECT_FALSE(Retrieve());
  EXPECT_EQ(Sent(3),
            (std::vector<std::string>{"GET /board/dat/1.dat - 200", "GET /board/dat/2.dat - 200",
                                      "GET /board/dat/3.dat - 200"}));
  EXPECT_TRUE(common::FileExists(Path("dat/3.dat")));
  EXPECT_FALSE(common::FileExists(Path("dat/4.dat")));
  EXPECT_EQ(monitor_.form.cmdRUN.Caption().rfind(kRestPrefix, 0), 0u);
  EXPECT_EQ(monitor_.form.Form1.Caption(), "お休み中 - " + monitor_.form.baseTitle);
}

TEST_F(RetrieveDatsTest, ConnectionFailureIsRetriedOncePerRequestKind) {
  const std::string deadBoard =
      "http://127.0.0.1:" + std::to_string(testing::FreeLoopbackPort()) + "/board/";
  monitor_.form.txtURLBRD.SetText(deadBoard);
  Follow({"7", "8"});
  // 8 has both files: the probe is tried.
  ASSERT_TRUE(common::ReplaceFileAtomically(Path("dat/8.dat"), Posts(1, 1)));
  ASSERT_TRUE(common::ReplaceFileAtomically(Path("dat/8.dat.head"), "HTTP/1.1 200 OK\r\n"));
  ASSERT_TRUE(Retrieve());
  EXPECT_EQ(PaneCount("GET " + deadBoard.substr(0, deadBoard.size() - 6) + "board/dat/7.dat...("),
            2);
  EXPECT_EQ(PaneCount("へのGET接続に失敗しました"), 1);
  EXPECT_EQ(PaneCount("HEAD "), 2);
  EXPECT_EQ(PaneCount("へのHEAD接続に失敗しました"), 1);
  EXPECT_EQ(Local("8"), Posts(1, 1));
}

TEST_F(RetrieveDatsTest, EntriesWithoutADigitKeyAreRefusedAndEmptyListIsDone) {
  monitor_.form.listDATDL[0].SetItems({"../../x.dat<1レス>t (1)", "abc"});
  ASSERT_TRUE(Retrieve());
  EXPECT_TRUE(Requests(0).empty());
  EXPECT_EQ(PaneCount("はdatファイル名として不正なのでスキップします"), 2);
  monitor_.form.listDATDL[0].Clear();
  EXPECT_TRUE(Retrieve());
  EXPECT_FALSE(RetrieveDats(monitor_, *http_, "/proc/no/such/dat/"));
}

TEST(CountDatLinesTest, CountsLineFeeds) {
  EXPECT_EQ(CountDatLines("/nonexistent/file.dat"), 0);
  EXPECT_EQ(StatusCodeOf("HTTP/1.1 206 Partial Content"), 206);
  EXPECT_EQ(StatusCodeOf("HTTP/1.1 304"), 304);
  EXPECT_EQ(StatusCodeOf("HTTP/1.1"), 0);
}

// Answers no real server gives for a range request: a part shorter than its
// Content-Length, and a 200 that ignores the range.
class RetrieveDatsFaultTest : public MonitorFixture {
 protected:
  void Prepare(const testing::ScriptServer& server) {
    monitor_.form.txtURLBRD.SetText(server.Url("/board/"));
    monitor_.form.listDATDL[0].SetItems({"100.dat<1レス>t (1)"});
    ASSERT_TRUE(common::ReplaceFileAtomically(Path("dat/100.dat"), "old\n"));
    ASSERT_TRUE(common::ReplaceFileAtomically(
        Path("dat/100.dat.head"),
        "HTTP/1.1 200 OK\r\nLast-Modified: Tue, 08 Dec 2026 01:00:00 GMT\r\n"));
  }
};

TEST_F(RetrieveDatsFaultTest, PartShorterThanItsLengthLeavesTheLogUnchanged) {
  testing::ScriptServer server({testing::Send(
      "HTTP/1.1 206 Partial Content\r\nContent-Length: 10\r\nConnection: close\r\n\r\nab\n")});
  ASSERT_TRUE(server.Running());
  Prepare(server);
  HttpClient http(monitor_);
  ASSERT_TRUE(RetrieveDats(monitor_, http, monitor_.paths.DatFolder()));
  ASSERT_EQ(server.Requests().size(), 2u);
  EXPECT_NE(server.Requests()[0].find("If-Modified-Since: Tue, 08 Dec 2026 01:00:00 GMT\r\n"),
            std::string::npos);
  EXPECT_NE(server.Requests()[1].find("Range: bytes=3-\r\n"), std::string::npos);
  EXPECT_EQ(PaneCount("datファイルの差分ダウンロードに失敗しました[ファイルサイズが一致しない]"),
            1);
  EXPECT_EQ(common::ReadWholeFile(Path("dat/100.dat")).value(), "old\n");
}

// A full download whose body is shorter than its Content-Length keeps what
// came (for the dat-fall processing) but not its header file, so the next
// cycle asks for the whole log again instead of the bytes after the cut.
TEST_F(MonitorFixture, FullDownloadCutShortIsFetchedWholeNextTime) {
  testing::ScriptServer server({testing::Send(
      "HTTP/1.1 200 OK\r\nContent-Length: 100\r\nLast-Modified: Tue, 08 Dec 2026 01:00:00 "
      "GMT\r\nConnection: close\r\n\r\n" +
      Posts(1, 1))});
  ASSERT_TRUE(server.Running());
  monitor_.form.txtURLBRD.SetText(server.Url("/board/"));
  monitor_.form.listDATDL[0].SetItems({"100.dat<1レス>t (1)"});
  HttpClient http(monitor_);
  for (int cycle = 1; cycle <= 2; ++cycle) {
    SCOPED_TRACE(cycle);
    ASSERT_TRUE(RetrieveDats(monitor_, http, monitor_.paths.DatFolder()));
    ASSERT_EQ(server.Requests().size(), static_cast<size_t>(cycle));
    EXPECT_EQ(server.Requests().back().rfind("GET ", 0), 0u);
    EXPECT_EQ(server.Requests().back().find("Range:"), std::string::npos);
    EXPECT_EQ(PaneCount("datのダウンロードに失敗しました[ファイルサイズが一致しない]"), cycle);
    EXPECT_FALSE(common::FileExists(Path("dat/100.dat.head")));
  }
}

TEST_F(RetrieveDatsFaultTest, ProbeAnsweredWithoutRangeIsAnUnknownError) {
  testing::ScriptServer server(
      {testing::Send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\nnew\n")});
  ASSERT_TRUE(server.Running());
  Prepare(server);
  HttpClient http(monitor_);
  ASSERT_TRUE(RetrieveDats(monitor_, http, monitor_.paths.DatFolder()));
  EXPECT_EQ(server.Requests().size(), 1u);
  EXPECT_EQ(PaneCount("不明なエラーが発生しました[HTTP/1.1 200 OK]"), 1);
  EXPECT_EQ(common::ReadWholeFile(Path("dat/100.dat")).value(), "old\n");
}

}  // namespace
}  // namespace yagura
