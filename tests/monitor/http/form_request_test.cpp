#include "monitor/http/form_request.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "common/file_io.h"
#include "monitor/core/message_text.h"
#include "monitor/http/http_client.h"
#include "tests/monitor/core/test_support.h"
#include "tests/servers/lighttpd_uploader.h"
#include "tests/servers/nginx_server.h"
#include "tests/servers/script_server.h"

namespace yagura::testing {
namespace {

constexpr const char* kBoundary = "boundary_20090131235959";
const std::string kFileHead =
    "--boundary_20090131235959\r\n"
    "Content-Disposition: form-data; name=\"upfile\"; filename=\"f.lzh\"\r\n"
    "Content-Type: application/octet-stream\r\n\r\n";
const std::string kClosing = "\r\n--boundary_20090131235959--\r\n";

std::string TextPart(const std::string& name, const std::string& value) {
  return std::string("--") + kBoundary + "\r\nContent-Disposition: form-data; name=\"" + name +
         "\"\r\n\r\n" + value + "\r\n";
}

// The bytes after the empty line, and the Content-Length the head gives.
std::pair<std::string, long long> BodyAndLength(const std::string& request) {
  const size_t end = request.find("\r\n\r\n");
  const size_t at = request.find("Content-Length: ");
  return {request.substr(end + 4), std::atoll(request.c_str() + at + 16)};
}

std::string Sha256(const std::string& path) {
  std::string command = "sha256sum '" + path + "'";
  FILE* pipe = popen(command.c_str(), "r");
  char hex[65] = "";
  if (pipe) {
    if (std::fscanf(pipe, "%64s", hex) != 1) hex[0] = 0;
    pclose(pipe);
  }
  return hex;
}

LighttpdUploader::Options TlsOptions(LighttpdUploader::Tls tls) {
  LighttpdUploader::Options options;
  options.tls = tls;
  return options;
}

class FormRequestTest : public MonitorTest {
 protected:
  static void SetUpTestSuite() { uploader_ = std::make_unique<LighttpdUploader>(); }
  static void TearDownTestSuite() { uploader_.reset(); }
  void SetUp() override {
    MonitorTest::SetUp();
    ASSERT_TRUE(sockets.SockStartup());
    responseFile = folder + "yagura.tmp";
  }
  void TearDown() override {
    sockets.SockCleanup();
    MonitorTest::TearDown();
  }
  std::string WriteUpload(const std::string& name, const std::string& bytes) {
    const std::string path = folder + name;
    EXPECT_TRUE(common::ReplaceFileAtomically(path, bytes));
    return path;
  }
  int Post(const std::string& url, const std::string& formData, const std::string& path,
           const std::string& referer = "") {
    return poster.FormRequest("upload", "HTTP/1.1", url, 80, responseFile, formData, "", referer,
                              "upfile\t" + path, false);
  }
  std::string Response() const { return common::ReadWholeFile(responseFile).value_or("<missing>"); }

  static std::unique_ptr<LighttpdUploader> uploader_;
  SocketLayer sockets{m};
  FormPoster poster{m, sockets};
  std::string responseFile;
};

std::unique_ptr<LighttpdUploader> FormRequestTest::uploader_;

TEST(FormBoundaryTest, LocalTimeDigits) {
  setenv("TZ", "JST-9", 1);
  tzset();
  EXPECT_EQ(FormBoundary(1233413999), "boundary_20090131235959");  // 14:59:59 UTC
  setenv("TZ", "UTC", 1);
  tzset();
  EXPECT_EQ(FormBoundary(1233413999), "boundary_20090131145959");
}

TEST(AsciiTextTest, EveryNonAsciiCharacterIsOneQuestionMark) {
  EXPECT_EQ(AsciiText("jcode=漢字"), "jcode=??");
  EXPECT_EQ(AsciiText("ｶﾞ😀é"), "????");
  EXPECT_EQ(AsciiText(std::string("a\x82\xa0z")), "a??z");  // stray bytes: one each
  EXPECT_EQ(AsciiText("plain"), "plain");
}

TEST_F(FormRequestTest, RequestBytesExactly) {
  const std::string path = WriteUpload("f.lzh", std::string("LZ\0\r\n\x80", 6));
  FormRequestParts parts{"HTTP/1.1",  "http://up.example:8080/cgi/up.cgi?x=1",
                         "Agent/1.0", "http://up.example:8080/cgi/",
                         "a=1&b=2",   "upfile\t" + path,
                         kBoundary};
  const std::string expectedBody = TextPart("a", "1") + TextPart("b", "2") + kFileHead +
                                   std::string("LZ\0\r\n\x80", 6) + kClosing;
  const std::string expected =
      "POST /cgi/up.cgi?x=1 HTTP/1.1\r\n"
      "Host: up.example:8080\r\n"
      "User-Agent: Agent/1.0\r\n"
      "Referer: http://up.example:8080/cgi/\r\n"
      "Content-Type: multipart/form-data; boundary=boundary_20090131235959\r\n"
      "Content-Length: " +
      std::to_string(expectedBody.size()) +
      "\r\n"
      "Connection: close\r\n\r\n" +
      expectedBody;
  EXPECT_EQ(BuildFormRequest(parts), expected);
}

TEST_F(FormRequestTest, FormDataAndFileCases) {
  struct Case {
    const char* name;
    std::string formData, file, expectedParts;
  } cases[] = {
      {"value with =", "a=b=c", "x", TextPart("a", "b=c")},
      {"no = at all", "abc&def", "x", ""},
      {"pair without = skipped", "a=1&junk&b=2", "x", TextPart("a", "1") + TextPart("b", "2")},
      {"empty file", "a=1", "", TextPart("a", "1")},
      {"empty form data", "", "x", ""},
      {"CR LF removed", "a=1\r\n&b=\r\n2", "x", TextPart("a", "1") + TextPart("b", "2")},
      {"non-ASCII sent as ?", "名前=値だよ&jcode=漢字", "x",
       TextPart("??", "???") + TextPart("jcode", "??")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = WriteUpload("f.lzh", c.file);
    FormRequestParts parts{"HTTP/1.1", "http://h/u.cgi",  "UA",     "",
                           c.formData, "upfile\t" + path, kBoundary};
    std::optional<std::string> request = BuildFormRequest(parts);
    ASSERT_TRUE(request);
    auto [body, length] = BodyAndLength(*request);
    EXPECT_EQ(body, c.expectedParts + kFileHead + c.file + kClosing);
    EXPECT_EQ(static_cast<long long>(body.size()), length);
    EXPECT_EQ(request->find("Referer"), std::string::npos);
  }
}

TEST_F(FormRequestTest, RealCgiParsesWhatWasSent) {
  ASSERT_TRUE(uploader_->Running()) << uploader_->ErrorLog();
  std::string binary;
  for (int i = 0; i < 70000; ++i) binary.push_back(static_cast<char>((i * 7) % 256));
  struct Case {
    const char* name;
    std::string formData, file, parsed;
  } cases[] = {
      {"fields in order", "pass=pw&comment=dat http://b/test/read.cgi/x/1/&jcode=漢字", binary,
       "field pass=pw\nfield comment=dat http://b/test/read.cgi/x/1/\nfield jcode=??\n"},
      {"value with =", "a=b=c", "x\r\n--", "field a=b=c\n"},
      {"empty file, no fields", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = WriteUpload("thread.lzh", c.file);
    ASSERT_EQ(Post(uploader_->Url(), c.formData, path), 0) << uploader_->ErrorLog();
    const std::string answer = Response();
    EXPECT_TRUE(answer.starts_with("HTTP/1.1 200 OK\r\n")) << answer;
    EXPECT_NE(answer.find("\r\n\r\n<html>"), std::string::npos) << answer;
    EXPECT_NE(answer.find("<pre id=\"parsed\">\n" + c.parsed + "file upfile=thread.lzh size=" +
                          std::to_string(c.file.size()) + " sha256=" + Sha256(path) + "\n"),
              std::string::npos)
        << answer;
    EXPECT_NE(answer.find(">click here!</a></font><br>"), std::string::npos);
  }
  // Every file arrived byte for byte.
  auto stored = uploader_->StoredFiles();
  ASSERT_GE(stored.size(), 3u);
  EXPECT_NE(
      std::find_if(stored.begin(), stored.end(), [&](const auto& f) { return f.second == binary; }),
      stored.end());
}

TEST_F(FormRequestTest, ScriptedPeerReceivesExactlyTheBuiltBytes) {
  ScriptServer server(
      {Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
            "5\r\nab\r\nc\r\n0\r\n\r\n")});
  clock.now = 1233413999;  // 2009-01-31 14:59:59 UTC
  const std::string path = WriteUpload("f.lzh", "bytes");
  const std::string url = server.Url("/cgi/up.cgi");
  ASSERT_EQ(Post(url, "a=1", path, "http://127.0.0.1/cgi/"), 0);
  FormRequestParts parts{"HTTP/1.1",
                         url,
                         UserAgentFor(""),
                         "http://127.0.0.1/cgi/",
                         "a=1",
                         "upfile\t" + path,
                         "boundary_20090131145959"};
  EXPECT_EQ(server.Requests().at(0), BuildFormRequest(parts).value());
  // Head, empty line, the body with its chunked framing removed.
  EXPECT_EQ(Response(), "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nab\r\nc");
  EXPECT_GE(pump.count, 3);
}

TEST_F(FormRequestTest, FailuresLeaveTheResponseFileUntouched) {
  sockets.receiveTimeoutMilliseconds = 300;
  const std::string path = WriteUpload("f.lzh", "bytes");
  const int closedPort = FreeLoopbackPort();
  struct Case {
    const char* name;
    std::vector<ScriptStep> script;  // empty: nothing listens
    std::string method, version, file;
  } cases[] = {
      {"refused", {}, "upload", "HTTP/1.1", path},
      {"stall", {Send("HTTP/1.1 200 OK\r\n"), Pause(5000)}, "upload", "HTTP/1.1", path},
      {"reset", {Send("HTTP/1.1 200 OK\r\n"), Pause(50), Reset()}, "upload", "HTTP/1.1", path},
      {"missing file", {Send("HTTP/1.1 200 OK\r\n\r\n")}, "upload", "HTTP/1.1", folder + "no.lzh"},
      {"a folder is no file", {Send("HTTP/1.1 200 OK\r\n\r\n")}, "upload", "HTTP/1.1", folder},
      {"empty method", {Send("HTTP/1.1 200 OK\r\n\r\n")}, "", "HTTP/1.1", path},
      {"empty version", {Send("HTTP/1.1 200 OK\r\n\r\n")}, "UPLOAD", "", path},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(common::ReplaceFileAtomically(responseFile, "old answer"));
    std::unique_ptr<ScriptServer> server;
    std::string url = "http://127.0.0.1:" + std::to_string(closedPort) + "/up.cgi";
    if (!c.script.empty()) {
      server = std::make_unique<ScriptServer>(c.script);
      url = server->Url("/up.cgi");
    }
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(poster.FormRequest(c.method, c.version, url, 80, responseFile, "a=1", "", "",
                                 "upfile\t" + c.file, false),
              -1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    EXPECT_EQ(Response(), "old answer");
    EXPECT_EQ(sockets.Handle(), -1);
    // Nothing is sent without a usable file, method and version.
    if (server && c.script.size() == 1) {
      EXPECT_TRUE(server->Requests().empty());
    }
  }
  EXPECT_TRUE(boxes.shown.empty());  // the caller reports
}

TEST_F(FormRequestTest, ConnectAttemptsFollowRetryCountAndShowErrorsOnRequest) {
  sockets.RetryCount = 2;
  sockets.RetryWait = 500;
  const std::string path = WriteUpload("f.lzh", "bytes");
  const std::string url = "http://127.0.0.1:" + std::to_string(FreeLoopbackPort()) + "/up.cgi";
  EXPECT_EQ(poster.FormRequest("upload", "HTTP/1.1", url, 80, responseFile, "", "", "",
                               "upfile\t" + path, true),
            -1);
  ASSERT_EQ(boxes.shown.size(), 3u);  // one box per failed attempt
  EXPECT_EQ(boxes.shown[0].text, "接続が拒否された。");
  EXPECT_DOUBLE_EQ(clock.uptime, 1001);  // two waits of 500 ms on the clock
}

TEST_F(FormRequestTest, AnswerWithoutEmptyLineIsKeptAsItCame) {
  const std::string path = WriteUpload("f.lzh", "bytes");
  for (std::string answer : {"HTTP/1.1 200 OK\r\nX: y\r\n", "garbage without line end", ""}) {
    SCOPED_TRACE(answer);
    ScriptServer server({Send(answer)});
    ASSERT_EQ(Post(server.Url("/up.cgi"), "a=1", path), 0);
    EXPECT_EQ(Response(), answer);
  }
}

TEST_F(FormRequestTest, TricklingServerIsCutOffByTheExchangeLimit) {
  std::vector<ScriptStep> trickle = {Send("HTTP/1.1 200 OK\r\n")};
  for (int i = 0; i < 40; ++i) {
    trickle.push_back(Pause(100));
    trickle.push_back(Send("x"));
  }
  ScriptServer server(trickle);
  poster.exchangeLimitMilliseconds = 500;
  const std::string path = WriteUpload("f.lzh", "bytes");
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(Post(server.Url("/up.cgi"), "a=1", path), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(1500));
  EXPECT_EQ(sockets.exchangeLimitMilliseconds, 0);  // the layer's own setting is back
}

TEST_F(FormRequestTest, HttpsWithTrustedCaAndRefusedSelfSignedCertificate) {
  LighttpdUploader trusted(TlsOptions(LighttpdUploader::Tls::kTestCa));
  LighttpdUploader selfSigned(TlsOptions(LighttpdUploader::Tls::kSelfSigned));
  ASSERT_TRUE(trusted.Running()) << trusted.ErrorLog();
  ASSERT_TRUE(selfSigned.Running()) << selfSigned.ErrorLog();
  const std::string path = WriteUpload("page.html", "<html>page</html>\r\n");

  poster.tlsCaFile = trusted.CaFile();
  ASSERT_EQ(Post(trusted.Url(), "pass=pw", path), 0)
      << trusted.ErrorLog()
      << common::Cp932ToUtf8(common::ReadWholeFile(Path(".log")).value_or(""));
  EXPECT_TRUE(Response().starts_with("HTTP/1.1 200 OK\r\n")) << Response();
  EXPECT_NE(Response().find("field pass=pw\nfile upfile=page.html size=19"), std::string::npos);
  ASSERT_EQ(trusted.StoredFiles().size(), 1u);
  EXPECT_EQ(trusted.StoredFiles().begin()->second, "<html>page</html>\r\n");

  // The test CA vouches for the first server only.
  ASSERT_TRUE(common::ReplaceFileAtomically(responseFile, "old answer"));
  EXPECT_EQ(Post(selfSigned.Url(), "pass=pw", path), -1);
  EXPECT_EQ(Response(), "old answer");
  EXPECT_TRUE(selfSigned.StoredFiles().empty());
  const std::string log = common::Cp932ToUtf8(common::ReadWholeFile(Path(".log")).value_or(""));
  EXPECT_NE(log.find(std::string(kDetailPrefix) + "https接続に失敗しました[127.0.0.1:" +
                     std::to_string(selfSigned.Port()) + ": SSL peer certificate"),
            std::string::npos)
      << log;
}

}  // namespace
}  // namespace yagura::testing
