// Mail servers for tests.
//
// MailServer runs tests/servers/mail_servers.py (aiosmtpd for SMTP, Dovecot
// for POP3, both real) as a child on a free port of 127.0.0.1 and stops it
// when the object goes: the script ends when its stdin closes, so it also
// ends when the test process dies.
//
//   MailServer smtp(MailServer::Kind::kSmtp, {.user = "tester", .password = "secret"});
//   ASSERT_TRUE(smtp.Running()) << smtp.StartError();
//   ... send to 127.0.0.1:smtp.Port() ...
//   auto mails = smtp.ReceivedMails();  // the .eml files, in order
//
// SmtpScriptServer is a small SMTP peer of our own for replies a real server
// will not give on request: any reply code to any command, a stall, a reset.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace yagura::testing {

class MailServer {
 public:
  enum class Kind { kSmtp, kPop3 };
  struct Options {
    std::string user = "tester";
    std::string password = "secret";
    bool authRequired = false;  // SMTP: no mail without a login
    bool noApop = false;        // POP3: APOP not offered
    std::string tlsCert;        // SMTP: STARTTLS; POP3: TLS from the start
    std::string tlsKey;
  };

  MailServer(Kind kind, Options options);
  ~MailServer();
  MailServer(const MailServer&) = delete;
  MailServer& operator=(const MailServer&) = delete;

  bool Running() const { return port_ > 0; }
  int Port() const { return port_; }
  const std::string& StartError() const { return startError_; }
  // The server's folder (mails, logs, configuration).
  const std::string& Folder() const { return folder_; }
  // SMTP: the received mails as sent, in order.
  std::vector<std::string> ReceivedMails() const;
  // SMTP: the lines of sessions.log ("EHLO", "AUTH ok LOGIN tester", ...).
  std::vector<std::string> Events() const;

  void Stop();

 private:
  std::string folder_;
  std::string startError_;
  int port_ = 0;
  pid_t pid_ = -1;
  int stdinFd_ = -1;
};

// Writes a test CA and a server certificate for 127.0.0.1 into `folder`
// (ca.pem, server.pem, server.key); false when openssl failed.
bool MakeTestCertificates(const std::string& folder);

// The path of mail_servers.py in the source tree.
std::string MailServersScript();

class SmtpScriptServer {
 public:
  struct Rule {
    std::string command;  // upper-case prefix of a client line ("MAIL", "RCPT"); "." ends DATA
    std::string reply;    // sent with CR LF; "" with `stall` or `reset`
    bool stall = false;   // say nothing more
    bool reset = false;   // close with a TCP reset
  };
  // `rules` come before the defaults: EHLO offers AUTH LOGIN PLAIN, AUTH
  // answers 235 at once, MAIL, RCPT and the end of DATA 250, DATA 354.
  explicit SmtpScriptServer(std::vector<Rule> rules, std::string greeting = "220 script ESMTP");
  ~SmtpScriptServer();
  SmtpScriptServer(const SmtpScriptServer&) = delete;
  SmtpScriptServer& operator=(const SmtpScriptServer&) = delete;

  int Port() const { return port_; }
  // Every line the clients sent, in order.
  std::vector<std::string> Lines() const;
  int Connections() const { return connections_; }

 private:
  void Serve();
  void Play(int connection);

  std::vector<Rule> rules_;
  std::string greeting_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::thread thread_;
};

}  // namespace yagura::testing
