#include "monitor/http/http_client.h"

#include <gtest/gtest.h>

#include <chrono>

#include "http_test_support.h"
#include "monitor/core/run_state.h"
#include "monitor/http/socket_layer.h"
#include "tests/servers/script_server.h"

namespace yagura::testing {
namespace {

using std::chrono::steady_clock;

constexpr std::time_t kModified = 1262304000;  // 2010-01-01 00:00:00 UTC
constexpr const char* kModifiedText = "Fri, 01 Jan 2010 00:00:00 GMT";

std::string SubjectText() {
  std::string text;
  for (int i = 0; i < 50; ++i) {
    text += std::to_string(1262300000 + i) + ".dat<>thread " + std::to_string(i) + " (12)\n";
  }
  return text;
}

class HttpRequestTest : public NginxMonitorTest {
 protected:
  void SetUp() override {
    NginxMonitorTest::SetUp();
    ASSERT_TRUE(nginx_->WriteFile("board/subject.txt", SubjectText(), kModified));
    ASSERT_TRUE(nginx_->WriteFile("board/index.html", "<html>board top</html>\n"));
    ASSERT_TRUE(nginx_->WriteFile("board/empty.txt", ""));
    head = folder + "out.head";
    body = folder + "out.txt";
  }
  // The next request the server logged after those already looked at.
  NginxServer::Request NextLogged() {
    auto requests = nginx_->Requests(loggedBefore + 1);
    EXPECT_GT(requests.size(), loggedBefore);
    if (requests.size() <= loggedBefore) return {};
    return requests[loggedBefore++];
  }
  void SkipEarlierLog() { loggedBefore = nginx_->Requests().size(); }

  std::string head, body;
  size_t loggedBefore = 0;
};

TEST_F(HttpRequestTest, GetStoresBodyAndExactHeaderFile) {
  SkipEarlierLog();
  const std::string url = nginx_->Url("/board/subject.txt");  // a URL with an explicit port
  const int n = client.HttpRequest("get", url, head, body, "2ch");
  ASSERT_EQ(n, static_cast<int>(SubjectText().size()));
  EXPECT_EQ(Contents(body), SubjectText());
  EXPECT_EQ(client.LastStatusLine(), "HTTP/1.1 200 OK");
  const std::string headers = Contents(head);
  EXPECT_TRUE(headers.starts_with("HTTP/1.1 200 OK\r\n")) << headers;
  EXPECT_TRUE(headers.ends_with("\r\n")) << headers;
  EXPECT_FALSE(headers.ends_with("\r\n\r\n")) << headers;
  EXPECT_NE(headers.find("\r\nContent-Length: " + std::to_string(n) + "\r\n"), std::string::npos);
  EXPECT_NE(headers.find("\r\nLast-Modified: " + std::string(kModifiedText) + "\r\n"),
            std::string::npos);

  // Byte for byte what the server sent, as a raw exchange shows it (Date aside).
  SocketLayer raw(m);
  raw.SockStartup();
  ASSERT_EQ(raw.SockConnect(UrlHost(url), 80), 0);
  ASSERT_EQ(raw.SockExchange("GET /board/subject.txt HTTP/1.0\r\nConnection: close\r\n\r\n"), 0);
  auto withoutDate = [](std::string text) {
    size_t date = text.find("\r\nDate: ");
    if (date != std::string::npos) text.erase(date, text.find("\r\n", date + 2) - date);
    return text;
  };
  EXPECT_EQ(withoutDate(headers), withoutDate(raw.SockResponse().Head));

  NginxServer::Request logged = NextLogged();
  EXPECT_EQ(logged.requestLine, "GET /board/subject.txt HTTP/1.0");
  EXPECT_EQ(logged.userAgent, "Monazilla/1.00 (Yagura/0.3.86)");
  EXPECT_EQ(logged.range, "-");
  EXPECT_EQ(logged.ifModifiedSince, "-");
}

TEST_F(HttpRequestTest, GetOfTheBoardFolderServesItsTopPage) {
  SkipEarlierLog();
  EXPECT_EQ(client.HttpRequest("GET", nginx_->Url("/board/"), head, body, "IE6XP"), 23);
  EXPECT_EQ(Contents(body), "<html>board top</html>\n");
  NginxServer::Request logged = NextLogged();
  EXPECT_EQ(logged.requestLine, "GET /board/ HTTP/1.0");
  EXPECT_EQ(logged.userAgent, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
}

TEST_F(HttpRequestTest, HeadWritesOnlyTheHeaderFile) {
  SkipEarlierLog();
  ASSERT_TRUE(common::ReplaceFileAtomically(body, "old"));
  EXPECT_EQ(client.HttpRequest("head", nginx_->Url("/board/"), head, body, "2ch"), 0);
  EXPECT_EQ(Contents(body), "old");
  EXPECT_TRUE(Contents(head).starts_with("HTTP/1.1 200 OK\r\n"));
  EXPECT_EQ(NextLogged().requestLine, "HEAD /board/ HTTP/1.0");
}

TEST_F(HttpRequestTest, ZeroContentLengthLeavesTheBodyFileAlone) {
  ASSERT_TRUE(common::ReplaceFileAtomically(body, "old"));
  EXPECT_EQ(client.HttpRequest("get", nginx_->Url("/board/empty.txt"), head, body, "2ch"), 0);
  EXPECT_EQ(Contents(body), "old");
  EXPECT_NE(Contents(head).find("\r\nContent-Length: 0\r\n"), std::string::npos);
}

TEST_F(HttpRequestTest, ConditionalAndRangeRequestsAreAnsweredByStatus) {
  const std::string size = std::to_string(SubjectText().size());
  struct Case {
    const char* name;
    std::string extraHeaders;
    const char* status;
    std::string loggedRange, loggedSince;
    bool bodyWritten;
  } cases[] = {
      {"unchanged since", "If-Modified-Since: " + std::string(kModifiedText) + "\r\n",
       "HTTP/1.1 304 Not Modified", "-", kModifiedText, false},
      {"unchanged with range",
       "If-Modified-Since: " + std::string(kModifiedText) + "\r\nRange: bytes=10-\r\n",
       "HTTP/1.1 304 Not Modified", "bytes=10-", kModifiedText, false},
      {"range", "Range: bytes=10-\r\n", "HTTP/1.1 206 Partial Content", "bytes=10-", "-", true},
      {"range past the end", "Range: bytes=" + size + "0-\r\n",
       "HTTP/1.1 416 Requested Range Not Satisfiable", "bytes=" + size + "0-", "-", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SkipEarlierLog();
    ASSERT_TRUE(common::ReplaceFileAtomically(body, "old"));
    const int n = client.HttpRequest("get", nginx_->Url("/board/subject.txt"), head, body, "2ch",
                                     "", "", "", c.extraHeaders);
    EXPECT_EQ(client.LastStatusLine(), c.status);
    NginxServer::Request logged = NextLogged();
    EXPECT_EQ(logged.range, c.loggedRange);
    EXPECT_EQ(logged.ifModifiedSince, c.loggedSince);
    if (!c.bodyWritten) {
      EXPECT_EQ(n, 0);
      EXPECT_EQ(Contents(body), "old");
    }
  }
  // The partial answer carries exactly the bytes from offset 10 on.
  client.HttpRequest("get", nginx_->Url("/board/subject.txt"), head, body, "2ch", "", "", "",
                     "Range: bytes=10-\r\n");
  EXPECT_EQ(Contents(body), SubjectText().substr(10));
  EXPECT_NE(Contents(head).find("\r\nContent-Range: bytes 10-"), std::string::npos);
}

TEST_F(HttpRequestTest, StatusCodesAreNotFailures) {
  SkipEarlierLog();
  EXPECT_GT(client.HttpRequest("get", nginx_->Url("/board/missing.txt"), head, body, "2ch"), 0);
  EXPECT_EQ(client.LastStatusLine(), "HTTP/1.1 404 Not Found");
  EXPECT_TRUE(Contents(head).starts_with("HTTP/1.1 404 Not Found\r\n"));
  // A redirect is reported, not followed.
  EXPECT_GE(client.HttpRequest("get", nginx_->Url("/moved/"), head, body, "2ch"), 0);
  EXPECT_EQ(client.LastStatusLine(), "HTTP/1.1 302 Moved Temporarily");
  EXPECT_NE(Contents(head).find("\r\nLocation: http://127.0.0.1/elsewhere/\r\n"),
            std::string::npos);
  EXPECT_EQ(nginx_->Requests(loggedBefore + 2).size(), loggedBefore + 2);
}

TEST_F(HttpRequestTest, FailureBeforeTheHeadersLeavesTheFilesAlone) {
  ASSERT_TRUE(common::ReplaceFileAtomically(head, "old head"));
  ASSERT_TRUE(common::ReplaceFileAtomically(body, "old body"));
  const int closedPort = FreeLoopbackPort();
  const std::string urls[] = {
      "http://127.0.0.1:" + std::to_string(closedPort) + "/board/subject.txt",
      "http://no-such-host.invalid/board/",
      "not a url",
  };
  for (const std::string& url : urls) {
    EXPECT_EQ(client.HttpRequest("get", url, head, body, "2ch"), -1) << url;
    EXPECT_EQ(client.LastStatusLine(), "") << url;
  }
  EXPECT_EQ(Contents(head), "old head");
  EXPECT_EQ(Contents(body), "old body");
}

TEST_F(HttpRequestTest, CertificatesAreVerified) {
  NginxServer::Options options;
  options.tls = true;
  NginxServer secure(options);
  ASSERT_TRUE(secure.Running()) << secure.ErrorLog();
  ASSERT_TRUE(secure.WriteFile("board/subject.txt", "x"));
  // A self-signed certificate is no trusted authority's.
  EXPECT_EQ(client.HttpRequest("get", secure.Url("/board/subject.txt"), head, body, "2ch"), -1);
  EXPECT_FALSE(common::FileExists(head));
  EXPECT_FALSE(common::FileExists(body));
}

// What nginx does not do: a peer of our own.
class HttpFaultTest : public MonitorTest {
 protected:
  void SetUp() override {
    MonitorTest::SetUp();
    head = folder + "out.head";
    body = folder + "out.txt";
    client.receiveTimeoutMilliseconds = 300;
  }
  std::string Contents(const std::string& path) {
    return common::ReadWholeFile(path).value_or("<missing>");
  }
  HttpClient client{m};
  std::string head, body;
};

TEST_F(HttpFaultTest, RequestHeaderBlockInItsOrder) {
  ScriptServer server({Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")});
  EXPECT_EQ(client.HttpRequest("get", server.Url("/b/subject.txt"), head, body, "", "http://ref/",
                               "Cookie: a=1", "", "X-First: 1\r\nbad line\r\nX-Empty: \r\n"),
            2);
  ASSERT_EQ(server.Requests().size(), 1u);
  const std::string host = "127.0.0.1:" + std::to_string(server.Port());
  EXPECT_EQ(server.Requests()[0],
            "GET /b/subject.txt HTTP/1.0\r\n"
            "Host: " +
                host +
                "\r\n"
                "User-Agent: Mozilla/4.0 (compatible; MSIE 5.5; Windows 98; Win 9x 4.90) "
                "Yagura/0.3.86\r\n"
                "Referer: http://ref/\r\n"
                "Cookie: a=1\r\n"
                "X-First: 1\r\n"
                "X-Empty:\r\n"
                "Connection: close\r\n\r\n");
  // The refused line is reported and the request goes on without it.
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "エラー(戻り値=0)");
  EXPECT_EQ(boxes.shown[0].title, "Yagura");
}

// The client keeps its libcurl handles from one request to the next: nothing
// of an earlier request (method, extra lines, a proxy, a failure) may carry
// over into a later one.
TEST_F(HttpFaultTest, EachRequestStartsAfresh) {
  ScriptServer server({Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")});
  ScriptServer silent({Pause(2000)});
  const std::string host = "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n";
  const std::string agent = "User-Agent: " + UserAgentFor("2ch") + "\r\n";
  EXPECT_EQ(client.HttpRequest("head", server.Url("/a"), head, "", "2ch", "http://ref/",
                               "Cookie: a=1", "", "Range: bytes=5-\r\n"),
            0);
  // A proxy that refuses: the request fails, and the proxy stays with it.
  EXPECT_EQ(
      client.HttpRequest("get", server.Url("/b"), head, body, "2ch", "", "", "http://127.0.0.1:1"),
      -1);
  EXPECT_EQ(client.HttpRequest("get", silent.Url("/c"), head, body, "2ch"), -1);
  EXPECT_EQ(client.LastFailure(), HttpFailure::kConnection);
  EXPECT_EQ(client.HttpRequest("get", server.Url("/d"), head, body, "2ch"), 2);
  EXPECT_EQ(Contents(body), "ok");
  const std::vector<std::string> requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], "HEAD /a HTTP/1.0\r\n" + host + agent +
                             "Referer: http://ref/\r\nCookie: a=1\r\nRange: bytes=5-\r\n"
                             "Connection: close\r\n\r\n");
  EXPECT_EQ(requests[1], "GET /d HTTP/1.0\r\n" + host + agent + "Connection: close\r\n\r\n");
}

TEST_F(HttpFaultTest, BrokenAnswers) {
  const std::string okHead = "HTTP/1.1 200 OK\r\n";
  struct Case {
    const char* name;
    std::vector<ScriptStep> script;
    int result;
    std::string body;  // "<missing>" when not written
  } cases[] = {
      {"lying length", {Send(okHead + "Content-Length: 100\r\n\r\n0123456789")}, 10, "0123456789"},
      {"cut short by a reset",
       {Send(okHead + "Content-Length: 100\r\n\r\n01234"), Pause(100), Reset()},
       5,
       "01234"},
      {"stall in the body",
       {Send(okHead + "Content-Length: 100\r\n\r\nabc"), Pause(3000)},
       3,
       "abc"},
      {"stall before the headers",
       {Send("HTTP/1.1 200 OK\r\nServer: x\r\n"), Pause(3000)},
       -1,
       "<missing>"},
      {"reset before an answer", {Reset()}, -1, "<missing>"},
      {"closed without an answer", {Close()}, -1, "<missing>"},
      {"headers over 4096 bytes",
       {Send(okHead + "X-Long: " + std::string(4100, 'a') + "\r\nContent-Length: 2\r\n\r\nok")},
       -1,
       "<missing>"},
      {"chunks holding CR LF",
       {Send(okHead +
             "Transfer-Encoding: chunked\r\n\r\n5\r\nab\r\nc\r\n4\r\n\r\n\r\n\r\n0\r\n\r\n")},
       9,
       "ab\r\nc\r\n\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(body);
    std::filesystem::remove(head);
    ScriptServer server(c.script);
    const auto start = steady_clock::now();
    EXPECT_EQ(client.HttpRequest("get", server.Url("/x"), head, body, "2ch"), c.result);
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(Contents(body), c.body);
    EXPECT_EQ(common::FileExists(head), c.result != -1);
  }
}

TEST_F(HttpFaultTest, HeadersMustFitTheirBuffer) {
  // 4096 bytes with the terminating NUL: 4095 bytes of headers, empty line included.
  for (size_t total : {4095u, 4096u}) {
    const std::string start = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nX-Pad: ";
    const std::string pad(total - start.size() - 4, 'p');
    ScriptServer server({Send(start + pad + "\r\n\r\nok")});
    EXPECT_EQ(client.HttpRequest("get", server.Url("/x"), head, body, "2ch"), total < 4096 ? 2 : -1)
        << total;
  }
}

TEST_F(HttpFaultTest, BareLineFeedsInHeadersBecomeCrLf) {
  ScriptServer server({Send("HTTP/1.0 200 OK\nContent-Length: 2\nServer: old\n\nok")});
  EXPECT_EQ(client.HttpRequest("get", server.Url("/x"), head, body, "2ch"), 2);
  EXPECT_EQ(Contents(head), "HTTP/1.0 200 OK\r\nContent-Length: 2\r\nServer: old\r\n");
}

TEST_F(HttpFaultTest, OversizedBodyFailsWithoutWritingIt) {
  client.maxBodyBytes = 1000;
  ScriptServer server(
      {Send("HTTP/1.1 200 OK\r\nContent-Length: 2000\r\n\r\n" + std::string(2000, 'x'))});
  ASSERT_TRUE(common::ReplaceFileAtomically(body, "old"));
  EXPECT_EQ(client.HttpRequest("get", server.Url("/x"), head, body, "2ch"), -1);
  EXPECT_EQ(client.LastFailure(), HttpFailure::kBodyTooLarge);
  EXPECT_EQ(Contents(body), "old");
  client.maxBodyBytes = 2000;  // exactly at the cap is fine
  EXPECT_EQ(client.HttpRequest("get", server.Url("/x"), head, body, "2ch"), 2000);
}

// A server that drips a byte at a time keeps the receive timeout quiet; the
// overall limit (base plus time per 100 KB announced) ends the transfer.
TEST_F(HttpFaultTest, DrippingServerMeetsTheOverallLimit) {
  std::vector<ScriptStep> drip = {Send("HTTP/1.1 200 OK\r\nContent-Length: 204800\r\n\r\n")};
  for (int i = 0; i < 100; ++i) {
    drip.push_back(Pause(100));
    drip.push_back(Send("x"));
  }
  ScriptServer server(drip);
  client.overallBaseMilliseconds = 400;
  client.overallPer100KilobytesMilliseconds = 300;  // 204800 bytes: 600 ms more
  const auto start = steady_clock::now();
  EXPECT_EQ(client.HttpRequest("get", server.Url("/x"), head, body, "2ch"), -1);
  const auto took = steady_clock::now() - start;
  EXPECT_EQ(client.LastFailure(), HttpFailure::kTimedOut);
  EXPECT_GE(took, std::chrono::milliseconds(1000));
  EXPECT_LT(took, std::chrono::milliseconds(3000));
  EXPECT_FALSE(common::FileExists(body));
}

// A stop of the running cycle or an exit request, arriving through the
// pump, ends a stalled transfer within a second.
TEST_F(HttpFaultTest, StopOrExitAbortsATransferUnderWay) {
  client.receiveTimeoutMilliseconds = 30000;
  const struct {
    const char* name;
    std::function<void(Monitor&)> request;
  } cases[] = {
      {"stop", [](Monitor& monitor) { SetRunState(monitor, RunState::kStopped); }},
      {"exit", [](Monitor& monitor) { SetExitRequest(monitor, ExitRequest::kRequested); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptServer server({Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nab"), Pause(20000)});
    SetRunState(m, RunState::kRunning);
    SetExitRequest(m, ExitRequest::kNone);
    m.cycleInProgress = true;
    const auto start = steady_clock::now();
    pump.onPump = [&] {
      if (steady_clock::now() - start > std::chrono::milliseconds(200)) c.request(m);
    };
    EXPECT_EQ(client.HttpRequest("get", server.Url("/x"), head, body, "2ch"), -1);
    EXPECT_EQ(client.LastFailure(), HttpFailure::kAborted);
    EXPECT_LT(steady_clock::now() - start, std::chrono::milliseconds(1200));
  }
  // Outside a cycle a stopped monitor still fetches (the state did not change).
  m.cycleInProgress = false;
  SetExitRequest(m, ExitRequest::kNone);
  pump.onPump = nullptr;
  ScriptServer ok({Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")});
  EXPECT_EQ(client.HttpRequest("get", ok.Url("/x"), head, body, "2ch"), 2);
}

TEST_F(HttpFaultTest, WindowIsPumpedDuringAStall) {
  client.receiveTimeoutMilliseconds = 5000;
  ScriptServer server({Pause(600), Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")});
  std::vector<steady_clock::time_point> pumps;
  pump.onPump = [&] { pumps.push_back(steady_clock::now()); };
  EXPECT_EQ(client.HttpRequest("get", server.Url("/x"), head, body, "2ch"), 2);
  // The gap itself is measured by the benchmark; here: the pump never stops for long.
  ASSERT_GE(pumps.size(), 5u);
  for (size_t i = 1; i < pumps.size(); ++i) {
    EXPECT_LT(pumps[i] - pumps[i - 1], std::chrono::milliseconds(400));
  }
}

TEST_F(HttpFaultTest, NestedRequestInsideThePumpKeepsEachResult) {
  client.receiveTimeoutMilliseconds = 5000;
  ScriptServer slow({Pause(300), Send("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nslow")});
  ScriptServer fast({Send("HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\nfast")});
  bool nested = false;
  int nestedResult = 0;
  pump.onPump = [&] {
    if (nested) return;
    nested = true;
    nestedResult = client.HttpRequest("get", fast.Url("/x"), "", folder + "nested.txt", "2ch");
  };
  EXPECT_EQ(client.HttpRequest("get", slow.Url("/x"), head, body, "2ch"), 4);
  EXPECT_EQ(nestedResult, 4);
  EXPECT_EQ(Contents(body), "slow");
  EXPECT_EQ(Contents(folder + "nested.txt"), "fast");
  EXPECT_EQ(client.LastStatusLine(), "HTTP/1.1 200 OK");
}

}  // namespace
}  // namespace yagura::testing
