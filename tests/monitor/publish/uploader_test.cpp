#include "monitor/publish/uploader.h"

#include <gtest/gtest.h>

#include <memory>

#include "common/encoding.h"
#include "common/file_io.h"
#include "monitor/core/message_text.h"
#include "tests/monitor/core/test_support.h"
#include "tests/servers/lighttpd_uploader.h"
#include "tests/servers/script_server.h"

namespace yagura::testing {
namespace {

constexpr const char* kKey = "sekret";
const std::string kArchive("LZH\0\x1a\r\n\xff archive", 17);
const std::string kPage = "<html><body>スレ</body></html>\r\n";

// "（；´ω`）" + text + "(03:04:05)".
std::string D(const std::string& text) { return std::string(kDetailPrefix) + text + "(03:04:05)"; }

// The log lines of `attempts` failed attempts of one file, then the summary.
std::vector<std::string> FailedUploads(const std::string& label, const std::string& fileKind,
                                       const std::string& failure, int attempts = 5) {
  std::vector<std::string> lines;
  for (int i = 1; i <= attempts; ++i) {
    lines.push_back(D("\"123.dat\"の" + fileKind + "をSn Uploaderへアップロードしています..."));
    lines.push_back(D(fileKind + "のアップロードに失敗しました[" + failure + "]"));
    if (i < 5) {
      lines.push_back(D(label + "のアップロードに失敗したのでもう一度アップロードしてみます..."));
    }
  }
  lines.push_back(D(label + "のアップロード失敗[123.dat]\"猫スレ\""));
  lines.push_back(D("5回アップロードしましたが全て失敗しました"));
  return lines;
}

std::vector<std::string> Uploaded(const std::string& fileKind) {
  return {D("\"123.dat\"の" + fileKind + "をSn Uploaderへアップロードしています..."),
          D(fileKind + "をアップロードしました")};
}

std::vector<std::string> Joined(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

class UploaderTest : public MonitorTest {
 protected:
  static void SetUpTestSuite() {
    LighttpdUploader::Options options;
    options.key = kKey;
    options.maxBytes = 4000;
    uploader_ = std::make_unique<LighttpdUploader>(options);
  }
  static void TearDownTestSuite() { uploader_.reset(); }
  void SetUp() override {
    MonitorTest::SetUp();
    ASSERT_TRUE(sockets.SockStartup());
    m.onLogLine = [this](std::string_view line) { log.emplace_back(line); };
    m.form.txtURLBRD.SetText("http://news.example/cat/");
    m.form.txtCGIPASS.SetText("delpw");
    datPath = folder + "dat/123.dat";
    std::filesystem::create_directories(folder + "dat");
    ASSERT_TRUE(common::ReplaceFileAtomically(datPath, "dat\n"));
    ASSERT_TRUE(common::ReplaceFileAtomically(folder + "dat/123.lzh", kArchive));
    ASSERT_TRUE(common::ReplaceFileAtomically(folder + "dat/123.html", common::Utf8ToCp932(kPage)));
  }
  void TearDown() override {
    sockets.SockCleanup();
    MonitorTest::TearDown();
  }
  bool Upload(const std::string& setting) {
    m.form.txtCGIURL.SetText(setting);
    log.clear();
    return UploadArchiveAndPage(m, poster, "猫スレ", datPath);
  }
  static std::string KeyedUrl(const std::string& prefix = "postkey=") {
    return prefix + kKey + "&cgiurl=" + uploader_->Url();
  }

  static std::unique_ptr<LighttpdUploader> uploader_;
  SocketLayer sockets{m};
  FormPoster poster{m, sockets};
  std::string datPath;
  std::vector<std::string> log;
};

std::unique_ptr<LighttpdUploader> UploaderTest::uploader_;

TEST(UploaderAddressTest, SettingsSplitOrRefused) {
  struct Case {
    std::string setting;
    UploaderAddressProblem problem;
    std::string url, keyField;
  } cases[] = {
      {"http://up.example/up.cgi", UploaderAddressProblem::kNone, "http://up.example/up.cgi", ""},
      {"https://up.example:8443/s/up.cgi", UploaderAddressProblem::kNone,
       "https://up.example:8443/s/up.cgi", ""},
      {"postkey=k1&cgiurl=http://up.example/up.cgi", UploaderAddressProblem::kNone,
       "http://up.example/up.cgi", "postkey=k1"},
      // The prefix in any case; the key field keeps the capitals as typed.
      {"POSTKEY=K=1&cgiurl=http://up.example/up.cgi?a=b", UploaderAddressProblem::kNone,
       "http://up.example/up.cgi?a=b", "POSTKEY=K=1"},
      {"PostKey=k&cgiurl=https://up.example/up.cgi", UploaderAddressProblem::kNone,
       "https://up.example/up.cgi", "PostKey=k"},
      // Other text before the address: used unchanged.
      {"see http://up.example/up.cgi", UploaderAddressProblem::kNone,
       "see http://up.example/up.cgi", ""},
      {"", UploaderAddressProblem::kEmpty, "", ""},
      {"ftp://up.example/up.cgi", UploaderAddressProblem::kIncorrect, "", ""},
      // A key without the "&cgiurl=http" mark cannot be split off.
      {"postkey=k1&url=http://up.example/up.cgi", UploaderAddressProblem::kIncorrect, "", ""},
      {"postkey=k1&CGIURL=http://up.example/up.cgi", UploaderAddressProblem::kIncorrect, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.setting);
    UploaderAddress address;
    EXPECT_EQ(SplitUploaderAddress(c.setting, address), c.problem);
    EXPECT_EQ(address.url, c.url);
    EXPECT_EQ(address.keyField, c.keyField);
  }
  EXPECT_EQ(UploaderReferer("http://up.example/s/up.cgi"), "http://up.example/s/");
  EXPECT_EQ(UploadFormData("pw", "html", "http://b/test/read.cgi/c/1/", "POSTKEY=k"),
            "pass=pw&comment=html http://b/test/read.cgi/c/1/&jcode=漢字&POSTKEY=k");
}

TEST_F(UploaderTest, AnswerChecksInOrder) {
  const std::string ok = "HTTP/1.1 200 OK\r\nX: 1\r\n\r\n";
  const std::string block = "<br><br><div align=center>";
  const std::string link = "<a href=x>click here!</a></font><br>";
  struct Case {
    const char* name;
    std::optional<std::string> answer;  // nullopt: no response file
    std::string failure;                // "" for a success
  } cases[] = {
      {"taken", ok + "<html>" + block + link + "</div></body></html>", ""},
      {"no answer", std::nullopt, "サーバ接続エラー"},
      {"status 500", "HTTP/1.1 500 Internal Server Error\r\n\r\n" + block + link + "</html>",
       "HTTPレスポンスエラー:HTTP/1.1 500 Internal Server Error"},
      {"no CR LF", "HTTP/1.1 200 OK " + block + link + "</html>",
       "HTTPレスポンスエラー:HTTP/1.1 200 OK " + block + link + "</html>"},
      // A long line is cut, never inside a character.
      {"no CR LF, long", "HTTP/1.1 200 OK" + std::string(102, ' ') + "ああ\n" + block,
       "HTTPレスポンスエラー:HTTP/1.1 200 OK" + std::string(102, ' ') + "あ"},
      {"no empty line", "HTTP/1.1 200 OK\r\n" + block + link + "</html>",
       "html解析エラー1:\"<br><br><div align=center>\""},
      {"block only in the head", "HTTP/1.1 200 OK\r\nX: " + block + "\r\n\r\n" + link + "</html>",
       "html解析エラー1:\"<br><br><div align=center>\""},
      {"no page end", ok + block + link, "html解析エラー2:\"</html>\""},
      {"page end before the block", ok + "</html>" + block + link, "html解析エラー2:\"</html>\""},
      {"link after the page end", ok + block + "</html>" + link,
       "アップロードエラー:\">click here!</a></font><br>\""},
      {"refusal page", ok + "<html><h1>ERROR</h1></html>",
       "html解析エラー1:\"<br><br><div align=center>\""},
  };
  const std::string file = folder + "answer.tmp";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    common::RemoveFile(file);
    if (c.answer) {
      ASSERT_TRUE(common::ReplaceFileAtomically(file, common::Utf8ToCp932(*c.answer)));
    }
    const auto verdict = JudgeUploadAnswer(file, "LZHファイル");
    if (c.failure.empty()) {
      EXPECT_EQ(verdict, std::nullopt);
    } else {
      EXPECT_EQ(verdict, "LZHファイルのアップロードに失敗しました[" + c.failure + "]");
    }
  }
}

TEST_F(UploaderTest, BothFilesReachTheRealUploaderWithTheirFields) {
  ASSERT_TRUE(uploader_->Running()) << uploader_->ErrorLog();
  const std::string before = uploader_->UploadLog();
  // The key prefix in capitals is sent as typed.
  EXPECT_TRUE(Upload(KeyedUrl("POSTKEY=")));
  EXPECT_EQ(log, Joined(Uploaded("LZHファイル"), Uploaded("htmlファイル")));

  const std::string address = "http://news.example/test/read.cgi/cat/123/";
  const std::string sent = uploader_->UploadLog().substr(before.size());
  EXPECT_EQ(sent.substr(0, sent.find("sha256=")),
            "field pass=delpw\nfield comment=dat " + address +
                "\nfield jcode=??\nfield POSTKEY=sekret\nfile upfile=123.lzh size=17 ");
  EXPECT_NE(sent.find("--\nfield pass=delpw\nfield comment=html " + address +
                      "\nfield jcode=??\nfield POSTKEY=sekret\nfile upfile=123.html size=" +
                      std::to_string(common::Utf8ToCp932(kPage).size()) + " "),
            std::string::npos)
      << sent;
  const auto stored = uploader_->StoredFiles();
  std::vector<std::string> bytes;
  for (const auto& [name, content] : stored) bytes.push_back(content);
  EXPECT_NE(std::find(bytes.begin(), bytes.end(), kArchive), bytes.end());
  EXPECT_NE(std::find(bytes.begin(), bytes.end(), common::Utf8ToCp932(kPage)), bytes.end());
  // The last answer stays in the response file.
  const std::string answer = common::ReadWholeFile(Path(".tmp")).value_or("");
  EXPECT_NE(answer.find("upfile=123.html"), std::string::npos);
}

TEST_F(UploaderTest, RefusalsCostFiveAttemptsForEachFile) {
  ASSERT_TRUE(uploader_->Running()) << uploader_->ErrorLog();
  const std::string refused = "html解析エラー1:\"<br><br><div align=center>\"";
  // No key, then a wrong one: five attempts for the archive, five for the page.
  for (const std::string& setting :
       {uploader_->Url(), "postkey=wrong&cgiurl=" + uploader_->Url()}) {
    SCOPED_TRACE(setting);
    const size_t requestsBefore = uploader_->UploadLog().size();
    EXPECT_FALSE(Upload(setting));
    EXPECT_EQ(log, Joined(FailedUploads("LZH", "LZHファイル", refused),
                          FailedUploads("html", "htmlファイル", refused)));
    const std::string sent = uploader_->UploadLog().substr(requestsBefore);
    size_t refusals = 0;
    for (size_t at = sent.find("--\n"); at != std::string::npos; at = sent.find("--\n", at + 1)) {
      ++refusals;
    }
    EXPECT_EQ(refusals, 10u);
  }
  // A file larger than the uploader takes.
  ASSERT_TRUE(common::ReplaceFileAtomically(folder + "dat/123.html", std::string(5000, 'x')));
  EXPECT_FALSE(Upload(KeyedUrl()));
  EXPECT_EQ(log, Joined(Uploaded("LZHファイル"), FailedUploads("html", "htmlファイル", refused)));
}

TEST_F(UploaderTest, MissingFilesAndUnusableAddresses) {
  ASSERT_TRUE(uploader_->Running()) << uploader_->ErrorLog();
  common::RemoveFile(folder + "dat/123.lzh");
  EXPECT_TRUE(Upload(KeyedUrl()));
  EXPECT_EQ(log,
            Joined({D("アップロードするLZHファイルが見つかりません")}, Uploaded("htmlファイル")));

  common::RemoveFile(folder + "dat/123.html");
  EXPECT_FALSE(Upload(KeyedUrl()));
  EXPECT_EQ(log, std::vector<std::string>({D("アップロードするLZHファイルが見つかりません"),
                                           D("アップロードするhtmlファイルが見つかりません")}));

  struct Case {
    std::string setting, message;
  } cases[] = {
      {"", "Sn UploaderのURLが設定されていません"},
      {"up.example/up.cgi", "Sn UploaderのURLが正しくありません"},
      {"postkey=sekret http://up.example/up.cgi", "Sn UploaderのURLが正しくありません"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(Upload(c.setting));
    EXPECT_EQ(log, std::vector<std::string>{D(c.message)});
  }
}

TEST_F(UploaderTest, HttpsUploaderWithTheUploadKey) {
  LighttpdUploader::Options options;
  options.key = kKey;
  options.tls = LighttpdUploader::Tls::kTestCa;
  LighttpdUploader secure(options);
  ASSERT_TRUE(secure.Running()) << secure.ErrorLog();
  m.form.txtCGIURL.SetText(std::string("postkey=") + kKey + "&cgiurl=" + secure.Url());
  log.clear();
  // The program's own hand-over, trusting the test CA.
  EXPECT_TRUE(MakeUploadThreadFiles(sockets, secure.CaFile())(m, "猫スレ", datPath));
  EXPECT_EQ(log, Joined(Uploaded("LZHファイル"), Uploaded("htmlファイル")));
  ASSERT_EQ(secure.StoredFiles().size(), 2u);
  EXPECT_EQ(secure.StoredFiles().begin()->second, kArchive);
}

TEST_F(UploaderTest, FaultyAnswersAreFailedAttempts) {
  sockets.receiveTimeoutMilliseconds = 150;
  const std::string ok = "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n";
  struct Case {
    const char* name;
    std::vector<ScriptStep> script;
    std::string failure;
  } cases[] = {
      {"status 500",
       {Send("HTTP/1.1 500 Internal Server Error\r\n\r\n<br><br><div align=center>"
             ">click here!</a></font><br></html>")},
       "HTTPレスポンスエラー:HTTP/1.1 500 Internal Server Error"},
      {"no markers",
       {Send(ok + "<html>thanks</html>")},
       "html解析エラー1:\"<br><br><div align=center>\""},
      {"link after the page end",
       {Send(ok + "<br><br><div align=center></html>>click here!</a></font><br>")},
       "アップロードエラー:\">click here!</a></font><br>\""},
      {"no CR LF", {Send("HTTP/1.1 200 OK")}, "HTTPレスポンスエラー:HTTP/1.1 200 OK"},
      {"reset", {Send(ok), Pause(20), Reset()}, "サーバ接続エラー"},
      {"stall", {Send(ok), Pause(3000)}, "サーバ接続エラー"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptServer server(c.script);
    common::RemoveFile(Path(".tmp"));
    EXPECT_FALSE(Upload(server.Url("/sn/up.cgi")));
    EXPECT_EQ(log, Joined(FailedUploads("LZH", "LZHファイル", c.failure),
                          FailedUploads("html", "htmlファイル", c.failure)));
    // The peer serves one connection at a time: a stall holds the rest back.
    const auto requests = server.Requests();
    if (c.name != std::string("stall")) {
      ASSERT_EQ(requests.size(), 10u);
    }
    EXPECT_TRUE(requests[0].starts_with(
        "POST /sn/up.cgi HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"));
    EXPECT_NE(requests[0].find("\r\nReferer: " + server.Url("/sn/") + "\r\n"), std::string::npos);
  }
}

}  // namespace
}  // namespace yagura::testing
