// The mail transport: POP before SMTP and one mail over SMTP, with the
// retries the monitor relies on, over libcurl's POP3 and SMTP support.
//
// libcurl runs a whole session (connect, log in, transfer, quit) as one
// transfer. The lower layer (Pop3Session, SmtpSession) watches which
// commands went out and which replies came back, and reports the session as
// the results of the three calls a mail library would have made: connect,
// authenticate and close (POP3) or send (SMTP), each a handle or count
// (0 or more), 1, or one of the negative codes below.
//
// Every connection and every reply has a time limit, and the event pump runs
// while a session is under way, so a silent server never freezes the window.
// Ports 465 (SMTP) and 995 (POP3) speak TLS from the start; on other ports
// STARTTLS is used when the server offers it. Certificates are checked; a
// failed check is a failed connection, never a fall back to plain text.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/core/monitor.h"

namespace yagura {

// The results the callers act on.
inline constexpr int kMailFailed = -1;
inline constexpr int kMailAuthRefused = -2;  // the login was refused
inline constexpr int kMailTimedOut = -4;
inline constexpr int kMailMechanismMissing = -8;  // the server offers no usable AUTH mechanism
inline constexpr int kMailOtherError = -10;
inline constexpr int kSmtpAuthRejected = -535;  // "535 Authentication credentials invalid"

// Our layer's version for the component report: 100 is written 1.00.
inline constexpr int kMailLayerVersion = 100;
// "yagura-mail (libcurl 7.88.1)".
std::string MailLayerName();

// SMTP authentication modes, from the mode text compared in upper case:
// "NONE" 0, "PLAIN" 1, "LOGIN" 2, "CRAM-MD5" 4, anything else 7 (the best
// mechanism both sides know).
int SmtpAuthModeNumber(std::string_view mode);

struct MailLimits {
  long connectMilliseconds = 30000;   // TCP (and TLS) connection
  long replyMilliseconds = 30000;     // each server reply
  long sessionMilliseconds = 300000;  // the whole session, however busy the server
  // Certificates are checked against this CA file instead of the system's
  // store when set (tests use a CA of their own).
  std::string caFile;
  // The ports that speak TLS from the start (tests move them).
  int smtpsPort = 465;
  int pop3sPort = 995;
};

struct Pop3Outcome {
  int connect = kMailFailed;       // 1 when connected
  int authenticate = kMailFailed;  // the number of mails in the box when logged in
  int close = kMailFailed;         // 1 when the session ended cleanly
  std::string error;               // libcurl's words on a failure
};

struct SmtpOutcome {
  int connect = kMailFailed;
  int authenticate = kMailFailed;  // 0 when logged in or when no login was asked
  int send = kMailFailed;          // 1 when the server took the mail; -<reply code> when refused
  std::string error;
};

// One POP3 session: log in (with APOP when asked), STAT, QUIT.
Pop3Outcome Pop3Session(const std::string& host, int port, const std::string& user,
                        const std::string& password, bool apop, const MailLimits& limits,
                        const std::function<void()>& pump);

// One SMTP session: log in with the mode (none for 0), then hand over the
// message (already built, CR LF line ends; libcurl does the dot-stuffing).
SmtpOutcome SmtpSession(const std::string& host, int port, const std::string& user,
                        const std::string& password, int authMode, const std::string& from,
                        const std::vector<std::string>& recipients, const std::string& message,
                        const MailLimits& limits, const std::function<void()>& pump);

// What one mail carries.
struct MailRequest {
  std::string host;
  int port = 0;
  std::string user;
  std::string password;
  std::string authMode;  // "NONE", "PLAIN", "LOGIN", "CRAM-MD5", any case
  std::string to;        // addresses separated by ","
  std::string cc;
  std::string bcc;
  std::string from;
  std::string subject;
  std::string body;
  std::string extraHeader;  // complete header lines, each ended by CR LF
  std::string attachment;   // a file to attach: not supported, the send fails
};

// The operations the monitor calls, each a Boolean; with `report` on, a
// failure shows the warning box naming the failed call.
class MailTransport {
 public:
  explicit MailTransport(Monitor& monitor) : monitor_(monitor) {}

  bool StartMailLibrary(bool report);
  bool EndMailLibrary(bool report);
  // POP before SMTP; a refused APOP login is tried again without APOP.
  bool PopBeforeSmtp(const std::string& host, int port, const std::string& user,
                     const std::string& password, bool apop, bool report);
  // A refused login (-2 or -535) is tried again on a new connection without
  // authentication; a refused "NONE" is not tried again.
  bool SendMail(const MailRequest& request, bool report);

  // libcurl's words on the most recent failure ("" after a success), for a
  // log line of the caller.
  const std::string& LastError() const { return lastError_; }
  // How many sessions were opened (POP3 and SMTP), for tests.
  int sessions = 0;

  MailLimits limits;

 private:
  void Warn(std::string_view text, bool report) const;
  void Notice(std::string_view text, bool report) const;

  Monitor& monitor_;
  std::string lastError_;
};

// The warning texts of each call's results ("" for a result without one).
std::string Pop3ConnectWarning(int result);
std::string Pop3AuthenticateWarning(int result);
std::string Pop3CloseWarning(int result);
std::string SmtpConnectWarning(int result);
std::string SmtpAuthenticateWarning(int result);
std::string SmtpSendWarning(int result);

}  // namespace yagura
