// The mail transport against real servers (Dovecot for POP3, aiosmtpd for
// SMTP) and, for replies they will not give, against a scripted SMTP peer.
#include "monitor/publish/mail_transport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "mail_test_support.h"
#include "monitor/core/startup.h"
#include "monitor/publish/mime_message.h"
#include "publish_fixture.h"
#include "tests/servers/mail_server.h"
#include "tests/servers/nginx_server.h"

namespace yagura_test {
namespace {

using yagura::MailRequest;
using yagura::MailTransport;
using yagura::MessageIcon;
using yagura::testing::MailServer;
using yagura::testing::SmtpScriptServer;

using Rules = std::vector<SmtpScriptServer::Rule>;

MailServer::Options WithoutApop() {
  MailServer::Options options;
  options.noApop = true;
  return options;
}
MailServer::Options LoginRequired() {
  MailServer::Options options;
  options.authRequired = true;
  return options;
}

const std::string kInfoApop = "APOPを使わないでもう一度認証処理を行います。";
const std::string kInfoSmtp = "SMTP AUTHを使わないでもう一度認証処理を行います。";

class MailTransportTest : public PublishFixture {
 protected:
  void SetUp() override {
    PublishFixture::SetUp();
    monitor_.messageBoxes = &boxes_;
    transport_.limits.connectMilliseconds = 3000;
    transport_.limits.replyMilliseconds = 3000;
    transport_.limits.sessionMilliseconds = 20000;
  }

  MailRequest Request(int port, const std::string& mode, const std::string& password = "secret") {
    MailRequest request;
    request.host = "127.0.0.1";
    request.port = port;
    request.user = "tester";
    request.password = password;
    request.authMode = mode;
    request.to = "to@example.com";
    request.from = "from@example.com";
    request.subject = "件名";
    request.body = "本文\r\n";
    request.extraHeader = "X-Mailer: " + yagura::BaseTitleText() + "\r\n";
    return request;
  }

  static bool Has(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  RecordingBoxes boxes_;
  MailTransport transport_{monitor_};
};

// POP before SMTP.

TEST_F(MailTransportTest, PopBeforeSmtpLogsInWithApopWhenOffered) {
  MailServer pop(MailServer::Kind::kPop3, {});
  ASSERT_TRUE(pop.Running()) << pop.StartError();
  EXPECT_TRUE(transport_.PopBeforeSmtp("127.0.0.1", pop.Port(), "tester", "secret", true, true));
  EXPECT_EQ(transport_.sessions, 1);
  EXPECT_TRUE(boxes_.texts.empty());
}

TEST_F(MailTransportTest, RefusedApopIsTriedAgainWithoutIt) {
  MailServer pop(MailServer::Kind::kPop3, WithoutApop());
  ASSERT_TRUE(pop.Running()) << pop.StartError();
  EXPECT_TRUE(transport_.PopBeforeSmtp("127.0.0.1", pop.Port(), "tester", "secret", true, true));
  EXPECT_EQ(transport_.sessions, 2);
  ASSERT_EQ(boxes_.texts.size(), 2u) << boxes_.All();
  EXPECT_EQ(boxes_.texts[0],
            "nMail.dllのPOP3ユーザ認証処理で認証に失敗しました[NMailPop3Authenticate]");
  EXPECT_EQ(boxes_.texts[1], kInfoApop);
  EXPECT_EQ(boxes_.icons[1], MessageIcon::kInformation);
}

TEST_F(MailTransportTest, WrongPop3PasswordFailsWithoutRetry) {
  MailServer pop(MailServer::Kind::kPop3, {});
  ASSERT_TRUE(pop.Running()) << pop.StartError();
  EXPECT_FALSE(transport_.PopBeforeSmtp("127.0.0.1", pop.Port(), "tester", "wrong", false, true));
  EXPECT_EQ(transport_.sessions, 1);
  ASSERT_EQ(boxes_.texts.size(), 1u) << boxes_.All();
  EXPECT_EQ(boxes_.texts[0],
            "nMail.dllのPOP3ユーザ認証処理で認証に失敗しました[NMailPop3Authenticate]");
  EXPECT_EQ(boxes_.icons[0], MessageIcon::kExclamation);
}

TEST_F(MailTransportTest, ClosedPortFailsToConnectAndReportingOffShowsNothing) {
  const int port = yagura::testing::FreeLoopbackPort();
  EXPECT_FALSE(transport_.PopBeforeSmtp("127.0.0.1", port, "u", "p", true, false));
  EXPECT_TRUE(boxes_.texts.empty());
  EXPECT_FALSE(transport_.LastError().empty());
  EXPECT_FALSE(transport_.PopBeforeSmtp("127.0.0.1", port, "u", "p", true, true));
  ASSERT_EQ(boxes_.texts.size(), 1u) << boxes_.All();
  EXPECT_EQ(boxes_.texts[0], "nMail.dllのPOP3サーバ接続処理に失敗しました[NMailPop3ConnectPortNo]");
}

TEST_F(MailTransportTest, HostNameThatCouldBendTheAddressIsRefused) {
  for (const std::string host : {"a/b", "user@host", "", "a b"}) {
    EXPECT_FALSE(transport_.PopBeforeSmtp(host, 110, "u", "p", false, false)) << host;
    EXPECT_FALSE(transport_.SendMail(Request(25, "NONE"), false)) << host;
  }
}

// SMTP with a real server.

TEST_F(MailTransportTest, SendsWithEachLoginModeAndAnyCase) {
  MailServer smtp(MailServer::Kind::kSmtp, LoginRequired());
  ASSERT_TRUE(smtp.Running()) << smtp.StartError();
  struct Case {
    std::string mode;
    std::string event;
  };
  for (const Case& c : std::vector<Case>{{"login", "AUTH ok LOGIN tester"},
                                         {"LOGIN", "AUTH ok LOGIN tester"},
                                         {"Plain", "AUTH ok PLAIN tester"}}) {
    EXPECT_EQ(yagura::SmtpAuthModeNumber(c.mode), c.mode == "Plain" ? 1 : 2);
    const size_t before = smtp.Events().size();
    EXPECT_TRUE(transport_.SendMail(Request(smtp.Port(), c.mode), true)) << c.mode;
    const auto events = smtp.Events();
    ASSERT_GT(events.size(), before);
    EXPECT_EQ(std::vector<std::string>(events.begin() + before, events.end()),
              (std::vector<std::string>{"EHLO", c.event, "MAIL ok", "DATA to@example.com"}))
        << c.mode;
  }
  EXPECT_EQ(smtp.ReceivedMails().size(), 3u);
  EXPECT_TRUE(boxes_.texts.empty());
}

TEST_F(MailTransportTest, RefusedLoginIsTriedAgainWithoutAuthentication) {
  MailServer smtp(MailServer::Kind::kSmtp, {});
  ASSERT_TRUE(smtp.Running()) << smtp.StartError();
  EXPECT_TRUE(transport_.SendMail(Request(smtp.Port(), "LOGIN", "wrong"), true));
  EXPECT_EQ(transport_.sessions, 2);
  EXPECT_EQ(smtp.Events(), (std::vector<std::string>{"EHLO", "AUTH refused LOGIN tester", "EHLO",
                                                     "MAIL ok", "DATA to@example.com"}));
  ASSERT_EQ(boxes_.texts.size(), 2u) << boxes_.All();
  // 535 has no text of its own.
  EXPECT_EQ(boxes_.texts[0],
            "nMail.dllのSMTPユーザ認証処理で不明なエラーが発生しました[NMailSmtpAuthenticate]");
  EXPECT_EQ(boxes_.texts[1], kInfoSmtp);
  EXPECT_EQ(smtp.ReceivedMails().size(), 1u);
}

TEST_F(MailTransportTest, RefusedNoneIsNotTriedAgain) {
  MailServer smtp(MailServer::Kind::kSmtp, LoginRequired());
  ASSERT_TRUE(smtp.Running()) << smtp.StartError();
  EXPECT_FALSE(transport_.SendMail(Request(smtp.Port(), "none"), true));
  EXPECT_EQ(transport_.sessions, 1);
  EXPECT_EQ(smtp.Events(), (std::vector<std::string>{"EHLO", "MAIL refused"}));
  // 530 is not in the table: nothing is shown.
  EXPECT_TRUE(boxes_.texts.empty());
  EXPECT_TRUE(smtp.ReceivedMails().empty());
}

// The mail as a client reads it.

TEST_F(MailTransportTest, MailArrivesWithEveryCharacterIntact) {
  MailServer smtp(MailServer::Kind::kSmtp, {});
  ASSERT_TRUE(smtp.Running()) << smtp.StartError();
  MailRequest request = Request(smtp.Port(), "LOGIN");
  // Characters CP932 has and ISO-2022-JP does not, a subject long enough to
  // be folded, and lines that begin with a dot.
  request.subject =
      "12スレッドを発見@2026/12/08(火)21:02:26 - Yagura ①㈱髙﨑 "
      "とても長い件名がここに続いていきます、まだまだ続きます。";
  request.body =
      "1 名前:名無しさん\r\nメール:(空欄)\r\n①②㈱髙﨑～∥－￢\r\n.\r\n..two dots\r\n"
      "last line without a break";
  ASSERT_TRUE(transport_.SendMail(request, true));
  const auto mails = smtp.ReceivedMails();
  ASSERT_EQ(mails.size(), 1u);
  // Every line of the raw mail ends in CR LF and is ASCII.
  for (size_t i = 0; i < mails[0].size(); ++i) {
    ASSERT_LT(static_cast<unsigned char>(mails[0][i]), 0x80) << "at " << i;
    if (mails[0][i] == '\n') {
      ASSERT_EQ(mails[0][i - 1], '\r') << "at " << i;
    }
  }
  const ParsedMail parsed = ParseWithPython(mails[0]);
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.subject, request.subject);
  // base64 keeps the body byte for byte, CR LF included.
  EXPECT_EQ(parsed.body, request.body);
  EXPECT_EQ(parsed.from, "from@example.com");
  EXPECT_EQ(parsed.to, "to@example.com");
  EXPECT_EQ(parsed.xMailer, yagura::BaseTitleText());
  EXPECT_EQ(parsed.contentType, "text/plain;utf-8");
  EXPECT_TRUE(parsed.hasDate);
  EXPECT_TRUE(parsed.hasMessageId);
}

TEST_F(MailTransportTest, HeaderValuesCannotAddHeaderLines) {
  yagura::MimeMessageParts parts;
  parts.to = "a@example.com\r\nBcc: victim@example.com";
  parts.subject = "s\r\nX-Evil: 1";
  parts.extraHeader = "X-Mailer: m\r\nnot a header\r\n: empty name\r\n";
  const std::string message = yagura::BuildMimeMessage(parts);
  EXPECT_EQ(message.find("\r\nBcc:"), std::string::npos);
  EXPECT_EQ(message.find("\r\nX-Evil:"), std::string::npos);
  EXPECT_EQ(message.find("not a header"), std::string::npos);
  EXPECT_NE(message.find("\r\nX-Mailer: m\r\n"), std::string::npos);
}

TEST(MimeMessageTest, Base64OfEachTailLength) {
  struct Case {
    std::string in, out;
  };
  for (const Case& c : std::vector<Case>{
           {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"\xFF\xFE", "//4="}}) {
    EXPECT_EQ(yagura::Base64(c.in), c.out) << c.in;
  }
}

// Replies a real server will not give on request.

TEST_F(MailTransportTest, EachRefusalOfTheSendShowsItsText) {
  struct Case {
    std::string command;
    int code;
    std::string reason;  // "" for a code without a text
  };
  const std::vector<Case> cases = {
      {"MAIL", 421, "(サービス利用できず -421)"},
      {"RCPT", 450, "(メールボックス使用不可 -450)"},
      {"DATA", 451, "(サーバー処理エラー -451)"},
      {"MAIL", 452, "(システム容量不足エラー -452)"},
      {"MAIL", 500, "(コマンドの文法エラー -500)"},
      {"RCPT", 501, "(パラメータか引数の文法エラー -501)"},
      {"DATA", 502, "(未実装コマンド -502)"},
      {"DATA", 503, "(コマンドのシーケンス異常 -503)"},
      {"RCPT", 550, "(送信先のメールアドレスが存在しない -550)"},
      {"RCPT", 551, "(ユーザーが存在しないか、転送先無し -551)"},
      {".", 552, "(容量オーバーエラー -552)"},
      {"MAIL", 553, "(メールボックス名が正しくない -553)"},
      {".", 554, "(トランザクション失敗 554)"},
      {".", 555, ""},
  };
  for (const Case& c : cases) {
    SmtpScriptServer peer(Rules{{c.command, std::to_string(c.code) + " refused"}});
    boxes_.Clear();
    EXPECT_FALSE(transport_.SendMail(Request(peer.Port(), "LOGIN"), true)) << c.code;
    if (c.reason.empty()) {
      EXPECT_TRUE(boxes_.texts.empty()) << c.code;
    } else {
      ASSERT_EQ(boxes_.texts.size(), 1u) << boxes_.All() << c.code;
      EXPECT_EQ(boxes_.texts[0],
                "nMail.dllのメール送信処理に失敗しました" + c.reason + "[NMailSmtpSendMailEx]");
    }
    EXPECT_EQ(peer.Connections(), 1) << c.code;
  }
}

TEST_F(MailTransportTest, RejectedAuthenticationCodesDecideTheRetry) {
  struct Case {
    std::string reply;
    int connections;
    bool sent;
    std::string text;
  };
  const std::vector<Case> cases = {
      {"535 5.7.8 bad credentials", 2, true,
       "nMail.dllのSMTPユーザ認証処理で不明なエラーが発生しました[NMailSmtpAuthenticate]"},
      {"534 5.7.9 mechanism too weak", 2, true,
       "nMail.dllのSMTPユーザ認証処理で認証に失敗しました[NMailSmtpAuthenticate]"},
  };
  for (const Case& c : cases) {
    // The first connection's AUTH is refused; the peer answers every later
    // AUTH the same way, but the retry sends none.
    SmtpScriptServer peer(Rules{{"AUTH", c.reply}});
    boxes_.Clear();
    EXPECT_EQ(transport_.SendMail(Request(peer.Port(), "LOGIN"), true), c.sent) << c.reply;
    EXPECT_EQ(peer.Connections(), c.connections) << c.reply;
    ASSERT_EQ(boxes_.texts.size(), 2u) << boxes_.All() << c.reply;
    EXPECT_EQ(boxes_.texts[0], c.text);
    EXPECT_EQ(boxes_.texts[1], kInfoSmtp);
  }
}

TEST_F(MailTransportTest, ServerWithoutTheMechanismIsNotTriedAgain) {
  SmtpScriptServer peer(Rules{{"EHLO", "250-script\r\n250 AUTH CRAM-MD5"}});
  EXPECT_FALSE(transport_.SendMail(Request(peer.Port(), "PLAIN"), true));
  EXPECT_EQ(peer.Connections(), 1);
  ASSERT_EQ(boxes_.texts.size(), 1u) << boxes_.All();
  EXPECT_EQ(boxes_.texts[0],
            "nMail.dllのSMTPユーザ認証処理でサーバが認証形式に対応していません"
            "[NMailSmtpAuthenticate]");
}

TEST_F(MailTransportTest, SilentServerTimesOutWhileEventsArePumped) {
  transport_.limits.replyMilliseconds = 1000;
  struct Case {
    std::string command;
    std::string text;
  };
  for (const Case& c : std::vector<Case>{
           {"EHLO", "nMail.dllのSMTPサーバ接続処理がタイムアウトしました[NMailSmtpConnectPortNo]"},
           {"MAIL", "nMail.dllのメール送信処理がタイムアウトしました[NMailSmtpSendMailEx]"},
           {".", "nMail.dllのメール送信処理がタイムアウトしました[NMailSmtpSendMailEx]"}}) {
    SmtpScriptServer peer(Rules{{c.command, "", true}});
    boxes_.Clear();
    const int pumpsBefore = pump_.calls;
    EXPECT_FALSE(transport_.SendMail(Request(peer.Port(), "LOGIN"), true)) << c.command;
    ASSERT_EQ(boxes_.texts.size(), 1u) << boxes_.All() << c.command;
    EXPECT_EQ(boxes_.texts[0], c.text);
    // The window went on: about 40 pumps a second while waiting.
    EXPECT_GT(pump_.calls - pumpsBefore, 10) << c.command;
  }
}

TEST_F(MailTransportTest, ResetDuringTheSendFails) {
  SmtpScriptServer peer(Rules{{".", "", false, true}});
  EXPECT_FALSE(transport_.SendMail(Request(peer.Port(), "LOGIN"), true));
  ASSERT_EQ(boxes_.texts.size(), 1u) << boxes_.All();
  EXPECT_EQ(boxes_.texts[0], "nMail.dllのメール送信処理に失敗しました[NMailSmtpSendMailEx]");
}

TEST_F(MailTransportTest, StartUpReportNamesOurLayerAndItsVersion) {
  yagura::ShellComponents components;
  components.mailLayerName = [] { return yagura::MailLayerName(); };
  components.mailVersion = [] { return yagura::kMailLayerVersion; };
  const std::string report = yagura::ComponentReport(monitor_, components);
  EXPECT_NE(report.find("\r\nyagura-mail (libcurl "), std::string::npos) << report;
  EXPECT_NE(report.find(") Version 1.00\r\n"), std::string::npos) << report;
  EXPECT_TRUE(transport_.StartMailLibrary(true));
  EXPECT_TRUE(transport_.EndMailLibrary(true));
  EXPECT_TRUE(boxes_.texts.empty());
}

TEST_F(MailTransportTest, AttachmentIsRefusedAsNotSupported) {
  MailRequest request = Request(25, "NONE");
  request.attachment = "/etc/hostname";
  EXPECT_FALSE(transport_.SendMail(request, false));
  EXPECT_EQ(transport_.sessions, 0);
  EXPECT_NE(transport_.LastError().find("添付"), std::string::npos);
}

}  // namespace
}  // namespace yagura_test
