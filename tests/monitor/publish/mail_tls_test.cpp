// Mail over TLS: STARTTLS with aiosmtpd, TLS from the start with Dovecot,
// both with certificates of a test CA. A certificate that does not verify is
// a failed connection, never a fall back to plain text.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "mail_test_support.h"
#include "monitor/publish/mail_transport.h"
#include "monitor/publish/thread_mail.h"
#include "publish_fixture.h"
#include "tests/servers/mail_server.h"

namespace yagura_test {
namespace {

using yagura::testing::MailServer;

class MailTlsTest : public PublishFixture {
 protected:
  static void SetUpTestSuite() {
    char pattern[] = "/tmp/yagura_test_ca_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    caFolder_ = pattern;
    std::filesystem::permissions(caFolder_, std::filesystem::perms(0755));
    certificatesMade_ = yagura::testing::MakeTestCertificates(caFolder_);
  }
  static void TearDownTestSuite() {
    std::error_code ignored;
    std::filesystem::remove_all(caFolder_, ignored);
  }
  void SetUp() override {
    PublishFixture::SetUp();
    ASSERT_TRUE(certificatesMade_) << "openssl could not make the test CA";
    monitor_.messageBoxes = &boxes_;
    transport_.limits.connectMilliseconds = 3000;
    transport_.limits.replyMilliseconds = 3000;
  }
  MailServer::Options Tls() const {
    MailServer::Options options;
    options.tlsCert = caFolder_ + "/server.pem";
    options.tlsKey = caFolder_ + "/server.key";
    return options;
  }
  yagura::MailRequest Request(int port) const {
    yagura::MailRequest request;
    request.host = "127.0.0.1";
    request.port = port;
    request.user = "tester";
    request.password = "secret";
    request.authMode = "LOGIN";
    request.to = "to@example.com";
    request.from = "from@example.com";
    request.subject = "TLS";
    request.body = "本文\r\n";
    return request;
  }

  static inline std::string caFolder_;
  static inline bool certificatesMade_ = false;
  RecordingBoxes boxes_;
  yagura::MailTransport transport_{monitor_};
};

TEST_F(MailTlsTest, SmtpUsesStartTlsWhenOffered) {
  MailServer smtp(MailServer::Kind::kSmtp, Tls());
  ASSERT_TRUE(smtp.Running()) << smtp.StartError();
  transport_.limits.caFile = caFolder_ + "/ca.pem";
  EXPECT_TRUE(transport_.SendMail(Request(smtp.Port()), true)) << transport_.LastError();
  EXPECT_EQ(smtp.Events(), (std::vector<std::string>{"EHLO", "EHLO TLS", "AUTH ok LOGIN tester",
                                                     "MAIL ok", "DATA to@example.com"}));
}

TEST_F(MailTlsTest, UnverifiedSmtpCertificateFailsWithoutPlainFallback) {
  MailServer smtp(MailServer::Kind::kSmtp, Tls());
  ASSERT_TRUE(smtp.Running()) << smtp.StartError();
  // The system's store does not know the test CA.
  EXPECT_FALSE(transport_.SendMail(Request(smtp.Port()), true));
  EXPECT_EQ(transport_.sessions, 1);
  ASSERT_EQ(boxes_.texts.size(), 1u) << boxes_.All();
  EXPECT_EQ(boxes_.texts[0], "nMail.dllのSMTPサーバ接続処理に失敗しました[NMailSmtpConnectPortNo]");
  EXPECT_NE(transport_.LastError().find("certificate"), std::string::npos)
      << transport_.LastError();
  EXPECT_EQ(smtp.Events(), std::vector<std::string>{"EHLO"});
}

TEST_F(MailTlsTest, Pop3OnItsTlsPortSpeaksTlsFromTheStart) {
  MailServer pop(MailServer::Kind::kPop3, Tls());
  ASSERT_TRUE(pop.Running()) << pop.StartError();
  transport_.limits.pop3sPort = pop.Port();
  EXPECT_FALSE(transport_.PopBeforeSmtp("127.0.0.1", pop.Port(), "tester", "secret", false, true));
  EXPECT_NE(transport_.LastError().find("certificate"), std::string::npos)
      << transport_.LastError();
  transport_.limits.caFile = caFolder_ + "/ca.pem";
  EXPECT_TRUE(transport_.PopBeforeSmtp("127.0.0.1", pop.Port(), "tester", "secret", false, true))
      << transport_.LastError();
}

TEST_F(MailTlsTest, ThreadMailLogsWhyTheCertificateFailed) {
  MailServer pop(MailServer::Kind::kPop3, {});
  MailServer smtp(MailServer::Kind::kSmtp, Tls());
  ASSERT_TRUE(pop.Running()) << pop.StartError();
  ASSERT_TRUE(smtp.Running()) << smtp.StartError();
  yagura::Form& f = monitor_.form;
  f.txtMAILFROM.SetText("yagura@example.com");
  f.txtMAILTO.SetText("me@example.com");
  f.txtMAILPOP3HOSTPORT.SetText("127.0.0.1:" + std::to_string(pop.Port()));
  f.txtMAILPOP3USER.SetText("tester");
  f.txtMAILPOP3PASS.SetText("secret");
  f.txtMAILSMTPHOSTPORT.SetText("127.0.0.1:" + std::to_string(smtp.Port()));
  yagura::HttpClient http(monitor_);
  yagura::ThreadMail mail(monitor_, http, transport_);
  EXPECT_FALSE(mail.SendThreadInformationMail());
  EXPECT_TRUE(smtp.ReceivedMails().empty());
  const std::string failed = DetailLine(monitor_, "メール送信に失敗しました");
  auto at = std::find(log_.begin(), log_.end(), failed);
  ASSERT_NE(at, log_.end());
  ASSERT_NE(at + 1, log_.end());
  EXPECT_NE((at + 1)->find("SMTP: "), std::string::npos) << *(at + 1);
  EXPECT_NE((at + 1)->find("certificate"), std::string::npos) << *(at + 1);
}

}  // namespace
}  // namespace yagura_test
