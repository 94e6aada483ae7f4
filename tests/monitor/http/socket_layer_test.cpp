#include "monitor/http/socket_layer.h"

#include <gtest/gtest.h>

#include "http_test_support.h"
#include "tests/servers/script_server.h"

namespace yagura::testing {
namespace {

class SocketLayerTest : public NginxMonitorTest {
 protected:
  void SetUp() override {
    NginxMonitorTest::SetUp();
    ASSERT_TRUE(sockets.SockStartup());
  }
  void TearDown() override {
    sockets.SockCleanup();
    NginxMonitorTest::TearDown();
  }
  SocketLayer sockets{m};
};

TEST_F(SocketLayerTest, ExchangeSplitsHeadAndBody) {
  ASSERT_TRUE(nginx_->WriteFile("up/answer.txt", "line one\r\n\r\nline three\r\n"));
  // The port in the host text wins over the port argument.
  const std::string host = "127.0.0.1:" + std::to_string(nginx_->Port());
  ASSERT_EQ(sockets.SockConnect(host, 80), 0);
  EXPECT_NE(sockets.Handle(), -1);
  ASSERT_EQ(sockets.SockExchange("GET /up/answer.txt HTTP/1.0\r\nHost: " + host + "\r\n\r\n"), 0);
  const SockResponseRecord& r = sockets.SockResponse();
  EXPECT_TRUE(r.Head.starts_with("HTTP/1.1 200 OK\r\n")) << r.Head;
  EXPECT_TRUE(r.Head.ends_with("\r\n"));
  EXPECT_FALSE(r.Head.ends_with("\r\n\r\n"));
  EXPECT_EQ(r.Body, "line one\r\n\r\nline three\r\n");
  EXPECT_EQ(r.Whole, r.Head + "\r\n" + r.Body);
  EXPECT_EQ(sockets.Handle(), -1);
  EXPECT_TRUE(boxes.shown.empty());
  EXPECT_GE(pump.count, 3);  // after connecting, sending and receiving
}

TEST_F(SocketLayerTest, ChunkedBodyIsDecodedOtherBodiesKeptAsReceived) {
  struct Case {
    std::string answer, body;
  } cases[] = {
      {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\na\r\n\r\n2\r\n\r\n\r\n0\r\n\r\n",
       "a\r\n\r\n"},
      {"HTTP/1.1 200 OK\r\n\r\n3\r\na\r\n\r\n0\r\n\r\n", "3\r\na\r\n\r\n0\r\n\r\n"},
  };
  for (const Case& c : cases) {
    ScriptServer server({Send(c.answer)});
    ASSERT_EQ(sockets.SockConnect("127.0.0.1", static_cast<uint16_t>(server.Port())), 0);
    ASSERT_EQ(sockets.SockExchange("", "POST /u.cgi HTTP/1.0\r\n\r\n"), 0);
    EXPECT_EQ(sockets.SockResponse().Body, c.body);
    EXPECT_EQ(server.Requests().at(0), "POST /u.cgi HTTP/1.0\r\n\r\n");
  }
}

TEST_F(SocketLayerTest, FailuresLeaveNoHandle) {
  const int closedPort = FreeLoopbackPort();
  EXPECT_EQ(sockets.SockConnect("127.0.0.1", static_cast<uint16_t>(closedPort)), -1);
  EXPECT_EQ(sockets.LastError(), 10061);
  EXPECT_EQ(sockets.Handle(), -1);
  EXPECT_TRUE(boxes.shown.empty());  // a refused connection is the caller's to report
  sockets.SockReportError();
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, "接続が拒否された。");
  EXPECT_EQ(boxes.shown[0].title, "WinSock32 API - Yagura");
  EXPECT_EQ(boxes.shown[0].icon, MessageIcon::kExclamation);

  boxes.shown.clear();
  EXPECT_EQ(sockets.SockConnect("no-such-host.invalid", 80), -1);
  ASSERT_EQ(boxes.shown.size(), 1u);  // host resolution reports at once
  EXPECT_EQ(boxes.shown[0].text, "ホストが見つからない。");
  EXPECT_EQ(sockets.Handle(), -1);

  EXPECT_EQ(sockets.SockExchange("GET / HTTP/1.0\r\n\r\n"), -1);  // no connection
}

TEST_F(SocketLayerTest, StallAndResetFailTheExchange) {
  sockets.receiveTimeoutMilliseconds = 300;
  struct Case {
    const char* name;
    std::vector<ScriptStep> script;
    int error;
  } cases[] = {
      {"stall", {Send("HTTP/1.1 200 OK\r\n"), Pause(3000)}, kWsaeTimedOut},
      {"reset", {Send("HTTP/1.1 200 OK\r\n"), Pause(50), Reset()}, 10054},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptServer server(c.script);
    ASSERT_EQ(sockets.SockConnect("127.0.0.1", static_cast<uint16_t>(server.Port())), 0);
    const int pumpsBefore = pump.count;
    EXPECT_EQ(sockets.SockExchange("GET / HTTP/1.0\r\n\r\n"), -1);
    EXPECT_EQ(sockets.LastError(), c.error);
    EXPECT_EQ(sockets.Handle(), -1);
    EXPECT_GT(pump.count, pumpsBefore);
  }
}

TEST(SocketLayerStartup, NothingConnectsBeforeStartup) {
  Monitor monitor;
  SocketLayer sockets(monitor);
  EXPECT_EQ(sockets.SockConnect("127.0.0.1", 80), -1);
  EXPECT_EQ(sockets.LastError(), kWsaeNotInitialised);
  EXPECT_EQ(sockets.RetryCount, 0);
  EXPECT_EQ(sockets.RetryWait, 5000);
}

}  // namespace
}  // namespace yagura::testing
