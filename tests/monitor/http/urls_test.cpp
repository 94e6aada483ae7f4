// URL derivations, User-Agent keys, the chunked decoder and the socket error
// table: plain text rules.
#include <gtest/gtest.h>

#include "monitor/core/board_urls.h"
#include "monitor/http/chunked_decoder.h"
#include "monitor/http/host_port.h"
#include "monitor/http/http_client.h"
#include "monitor/http/socket_layer.h"

#include <netdb.h>

#include <cerrno>

namespace yagura {
namespace {

TEST(BoardUrls, ThreadPageAndDatUrlFollowTheBoard) {
  EXPECT_EQ(ThreadPageUrl("http://s1.2ch.net/b/", "1234567890.dat"),
            "http://s1.2ch.net/test/read.cgi/b/1234567890/");
  EXPECT_EQ(DatUrlFromPage("http://s1.2ch.net/test/read.cgi/b/1234567890/"),
            "http://s1.2ch.net/b/dat/1234567890.dat");
  // The board's scheme and port stay with the server: an https board's logs
  // and pages are https addresses too.
  EXPECT_EQ(ThreadPageUrl("https://127.0.0.1:8080/b/", "5.dat"),
            "https://127.0.0.1:8080/test/read.cgi/b/5/");
  EXPECT_EQ(DatUrlFromPage("https://127.0.0.1:8080/test/read.cgi/b/5/"),
            "https://127.0.0.1:8080/b/dat/5.dat");
  EXPECT_EQ(DatUrlFromPage("http://127.0.0.1:8080/test/read.cgi/b/5/"),
            "http://127.0.0.1:8080/b/dat/5.dat");
  // Any prefix before read.cgi/ is accepted.
  EXPECT_EQ(DatUrlFromPage("http://s1/bbs/read.cgi/b/77/"), "http://s1/b/dat/77.dat");
}

TEST(Urls, HostAndPath) {
  struct Case {
    const char* url;
    const char* host;
    const char* path;
  } cases[] = {
      {"http://s1.2ch.net/a/b", "s1.2ch.net", "/a/b"},
      {"http://s1.2ch.net", "s1.2ch.net", ""},
      {"http://s1.2ch.net/", "s1.2ch.net", "/"},
      {"http://127.0.0.1:8080/board/", "127.0.0.1:8080", "/board/"},
      {"http://h//double", "h", "/double"},
      {"no scheme", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(UrlHost(c.url), c.host) << c.url;
    EXPECT_EQ(UrlPath(c.url), c.path) << c.url;
  }
}

TEST(Urls, ExplicitPortIsSplitOff) {
  struct Case {
    const char* host;
    const char* name;
    int port;
  } cases[] = {
      {"s1.2ch.net", "s1.2ch.net", 80},
      {"127.0.0.1:8080", "127.0.0.1", 8080},
      {"h:", "h:", 80},
      {"h:99999", "h:99999", 80},
      {"[::1]:81", "::1", 81},
      {"[::1]", "::1", 80},
  };
  for (const Case& c : cases) {
    HostPort hp = SplitHostPort(c.host, 80);
    EXPECT_EQ(hp.name, c.name) << c.host;
    EXPECT_EQ(hp.port, c.port) << c.host;
  }
}

TEST(UserAgent, KeysMatchInAnyCase) {
  EXPECT_EQ(UserAgentFor("2ch"), "Monazilla/1.00 (Yagura/0.3.86)");
  EXPECT_EQ(UserAgentFor("2CH"), "Monazilla/1.00 (Yagura/0.3.86)");
  EXPECT_EQ(UserAgentFor("ie6xp"), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
  EXPECT_EQ(UserAgentFor("IE55me"), "Mozilla/4.0 (compatible; MSIE 5.5; Windows 98; Win 9x 4.90)");
  EXPECT_EQ(UserAgentFor(""),
            "Mozilla/4.0 (compatible; MSIE 5.5; Windows 98; Win 9x 4.90) Yagura/0.3.86");
  EXPECT_EQ(UserAgentFor("Custom/1.0 x"), "Custom/1.0 x");
}

TEST(ChunkedDecoder, DecodesByCountSoCrLfInsideDataSurvives) {
  struct Case {
    const char* body;
    const char* data;
  } cases[] = {
      {"5\r\nab\r\nc\r\n3\r\n\r\nx\r\n0\r\n\r\n", "ab\r\nc\r\nx"},
      {" a ;ext=1\r\n0123456789\r\n0\r\nTrailer: t\r\n\r\n", "0123456789"},
      {"4\r\nabcd\r\n0\r\n\r\nafter", "abcd"},
      {"6\r\nabc", "abc"},  // cut short: what arrived
      {"", ""},
      {"zz\r\nabc\r\n", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DecodeChunked(c.body), c.data) << c.body;
}

TEST(SocketErrors, TableAndPosixMapping) {
  EXPECT_EQ(SockErrorText(10061), "接続が拒否された。");
  EXPECT_EQ(SockErrorText(11001), "ホストが見つからない。");
  EXPECT_EQ(SockErrorText(10093), "WSAStartup関数を呼び出していないか、失敗しています。");
  EXPECT_EQ(SockErrorText(12345), "不明なエラー。(12345)");
  struct Case {
    int error, code;
  } errnos[] = {{ECONNREFUSED, 10061}, {ETIMEDOUT, 10060},    {ECONNRESET, 10054},
                {ENETUNREACH, 10051},  {EHOSTUNREACH, 10065}, {EADDRINUSE, 10048},
                {ENOTCONN, 10057},     {EPIPE, 10053}};
  for (const Case& c : errnos) EXPECT_EQ(WinsockCodeForErrno(c.error), c.code) << c.error;
  EXPECT_EQ(WinsockCodeForResolver(EAI_NONAME), 11001);
  EXPECT_EQ(WinsockCodeForResolver(EAI_AGAIN), 11002);
  EXPECT_EQ(WinsockCodeForResolver(EAI_FAIL), 11003);
}

}  // namespace
}  // namespace yagura
