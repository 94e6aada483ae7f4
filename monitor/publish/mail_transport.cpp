#include "monitor/publish/mail_transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

#include "monitor/core/platform.h"
#include "monitor/publish/mime_message.h"

namespace yagura {
namespace {

constexpr auto kPumpInterval = std::chrono::milliseconds(25);

struct EasyDeleter {
  void operator()(CURL* e) const { curl_easy_cleanup(e); }
};
struct ListDeleter {
  void operator()(curl_slist* l) const { curl_slist_free_all(l); }
};

// Where a session got to, from the commands libcurl sent.
enum class Stage { kConnecting, kAuthenticating, kTransferring };

struct SessionWatch {
  Stage stage = Stage::kConnecting;
  bool greeted = false;
  int lastReply = 0;   // the last SMTP reply code (0 before any)
  int mailCount = -1;  // from "+OK n m" of STAT
  bool smtp = false;
  // libcurl sends QUIT on its way out, also after a failure; the replies to
  // it must not hide the reply that failed.
  bool quitting = false;
};

bool StartsWith(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != prefix[i]) return false;
  }
  return true;
}

int OnDebug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  auto* watch = static_cast<SessionWatch*>(user);
  const std::string_view text(data, size);
  if (type == CURLINFO_HEADER_OUT) {
    if (watch->smtp) {
      if (StartsWith(text, "AUTH")) watch->stage = Stage::kAuthenticating;
      if (StartsWith(text, "MAIL FROM")) watch->stage = Stage::kTransferring;
    } else {
      if (StartsWith(text, "USER") || StartsWith(text, "APOP") || StartsWith(text, "AUTH")) {
        watch->stage = Stage::kAuthenticating;
      }
      if (StartsWith(text, "STAT")) watch->stage = Stage::kTransferring;
    }
    if (StartsWith(text, "QUIT")) watch->quitting = true;
  } else if (type == CURLINFO_HEADER_IN && !watch->quitting) {
    watch->greeted = true;
    if (watch->smtp && size >= 3 && std::isdigit(static_cast<unsigned char>(text[0])) &&
        std::isdigit(static_cast<unsigned char>(text[1])) &&
        std::isdigit(static_cast<unsigned char>(text[2]))) {
      watch->lastReply = (text[0] - '0') * 100 + (text[1] - '0') * 10 + (text[2] - '0');
    }
  }
  return 0;
}

// The POP3 STAT answer ("+OK 3 1234") comes in as a header line.
size_t OnPop3Header(char* data, size_t size, size_t count, void* user) {
  auto* watch = static_cast<SessionWatch*>(user);
  std::string_view line(data, size * count);
  if (watch->stage == Stage::kTransferring && StartsWith(line, "+OK ")) {
    line.remove_prefix(4);
    int n = 0;
    bool any = false;
    for (char c : line) {
      if (c < '0' || c > '9') break;
      n = n * 10 + (c - '0');
      any = true;
      if (n > 1000000000) break;
    }
    if (any) watch->mailCount = n;
  }
  return size * count;
}

size_t DiscardBody(char*, size_t size, size_t count, void*) { return size * count; }

struct MessageReader {
  const std::string* message;
  size_t offset = 0;
};

size_t ReadMessage(char* buffer, size_t size, size_t count, void* user) {
  auto* reader = static_cast<MessageReader*>(user);
  const size_t n = std::min(size * count, reader->message->size() - reader->offset);
  std::memcpy(buffer, reader->message->data() + reader->offset, n);
  reader->offset += n;
  return n;
}

// A server name we put into a URL: letters, digits, "-", "." and "_", or an
// IPv6 address in brackets. Anything else ("/", "@", blanks) could make
// libcurl go somewhere the user did not mean.
bool IsPlainHostName(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  if (host.front() == '[' && host.back() == ']') {
    return std::all_of(host.begin() + 1, host.end() - 1, [](char c) {
      return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.';
    });
  }
  return std::all_of(host.begin(), host.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_';
  });
}

void SetCommonOptions(CURL* e, const MailLimits& limits, SessionWatch& watch, char* errorBuffer) {
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, limits.connectMilliseconds);
  curl_easy_setopt(e, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                   std::max(1L, (limits.replyMilliseconds + 999) / 1000));
  curl_easy_setopt(e, CURLOPT_TIMEOUT_MS, limits.sessionMilliseconds);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!limits.caFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, limits.caFile.c_str());
  curl_easy_setopt(e, CURLOPT_VERBOSE, 1L);  // the debug callback sees the commands
  curl_easy_setopt(e, CURLOPT_DEBUGFUNCTION, OnDebug);
  curl_easy_setopt(e, CURLOPT_DEBUGDATA, &watch);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, errorBuffer);
}

// Runs the transfer on a worker thread while this (the window's) thread
// pumps events. libcurl's SMTP and POP3 code waits for some replies in a
// blocking loop (the reply to the end of the mail, QUIT), which the multi
// interface would not let us interrupt; the worker touches nothing but its
// own easy handle, and the callbacks' data is read only after it ended.
std::atomic<int> transfersUnderWay{0};

CURLcode Perform(CURL* e, const std::function<void()>& pump) {
  struct Count {
    Count() { ++transfersUnderWay; }
    ~Count() { --transfersUnderWay; }
  } count;
  std::promise<CURLcode> promise;
  std::future<CURLcode> done = promise.get_future();
  std::thread worker([e, &promise] { promise.set_value(curl_easy_perform(e)); });
  while (done.wait_for(kPumpInterval) != std::future_status::ready) {
    if (pump) pump();
  }
  worker.join();
  return done.get();
}

bool IsTimeout(CURLcode code) { return code == CURLE_OPERATION_TIMEDOUT; }

std::string ErrorText(CURLcode code, const char* buffer) {
  std::string text = buffer[0] ? buffer : curl_easy_strerror(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text + " (libcurl " + std::to_string(static_cast<int>(code)) + ")";
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

std::vector<std::string> SplitAddresses(std::initializer_list<std::string_view> fields) {
  std::vector<std::string> addresses;
  for (std::string_view field : fields) {
    size_t from = 0;
    while (from <= field.size()) {
      size_t comma = field.find(',', from);
      if (comma == std::string_view::npos) comma = field.size();
      std::string_view one = field.substr(from, comma - from);
      while (!one.empty() && (one.front() == ' ' || one.front() == '\t')) one.remove_prefix(1);
      while (!one.empty() && (one.back() == ' ' || one.back() == '\t')) one.remove_suffix(1);
      if (!one.empty()) addresses.emplace_back(one);
      from = comma + 1;
    }
  }
  return addresses;
}

}  // namespace

std::string MailLayerName() {
  const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
  return std::string("yagura-mail (libcurl ") + (info ? info->version : "?") + ")";
}

int SmtpAuthModeNumber(std::string_view mode) {
  const std::string upper = Upper(mode);
  if (upper == "NONE") return 0;
  if (upper == "PLAIN") return 1;
  if (upper == "LOGIN") return 2;
  if (upper == "CRAM-MD5") return 4;
  return 7;
}

Pop3Outcome Pop3Session(const std::string& host, int port, const std::string& user,
                        const std::string& password, bool apop, const MailLimits& limits,
                        const std::function<void()>& pump) {
  Pop3Outcome outcome;
  if (!IsPlainHostName(host) || port <= 0 || port > 65535) {
    outcome.error = "POP3サーバ名かポート番号が正しくありません[" + host + "]";
    return outcome;
  }
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) return outcome;
  CURL* e = easy.get();
  SessionWatch watch;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  const bool implicitTls = port == limits.pop3sPort;
  const std::string url =
      std::string(implicitTls ? "pop3s://" : "pop3://") + host + ":" + std::to_string(port) + "/";
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "pop3,pop3s");
  if (!implicitTls) curl_easy_setopt(e, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
  SetCommonOptions(e, limits, watch, errorBuffer);
  curl_easy_setopt(e, CURLOPT_USERNAME, user.c_str());
  curl_easy_setopt(e, CURLOPT_PASSWORD, password.c_str());
  if (apop) curl_easy_setopt(e, CURLOPT_LOGIN_OPTIONS, "AUTH=+APOP");
  // STAT answers in one line, which libcurl hands to the header callback;
  // without NOBODY it would wait for a body that never comes.
  curl_easy_setopt(e, CURLOPT_CUSTOMREQUEST, "STAT");
  curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnPop3Header);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &watch);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, DiscardBody);

  const CURLcode code = Perform(e, pump);
  if (code == CURLE_OK) {
    outcome.connect = 1;
    outcome.authenticate = std::max(0, watch.mailCount);
    outcome.close = 1;
    return outcome;
  }
  outcome.error = ErrorText(code, errorBuffer);
  const int failure = IsTimeout(code) ? kMailTimedOut : kMailFailed;
  if (code == CURLE_LOGIN_DENIED) {
    // A wrong password, or APOP asked of a server that does not offer it.
    outcome.connect = 1;
    outcome.authenticate = kMailAuthRefused;
  } else if (watch.stage == Stage::kConnecting) {
    outcome.connect = failure;
  } else if (watch.stage == Stage::kAuthenticating) {
    outcome.connect = 1;
    outcome.authenticate = failure;
  } else if (watch.mailCount < 0) {
    // STAT went unanswered.
    outcome.connect = 1;
    outcome.authenticate = IsTimeout(code) ? kMailTimedOut : kMailOtherError;
  } else {
    outcome.connect = 1;
    outcome.authenticate = watch.mailCount;
    outcome.close = IsTimeout(code) ? kMailTimedOut : kMailOtherError;
  }
  return outcome;
}

SmtpOutcome SmtpSession(const std::string& host, int port, const std::string& user,
                        const std::string& password, int authMode, const std::string& from,
                        const std::vector<std::string>& recipients, const std::string& message,
                        const MailLimits& limits, const std::function<void()>& pump) {
  SmtpOutcome outcome;
  if (!IsPlainHostName(host) || port <= 0 || port > 65535) {
    outcome.error = "SMTPサーバ名かポート番号が正しくありません[" + host + "]";
    return outcome;
  }
  std::unique_ptr<CURL, EasyDeleter> easy(curl_easy_init());
  if (!easy) return outcome;
  CURL* e = easy.get();
  SessionWatch watch;
  watch.smtp = true;
  char errorBuffer[CURL_ERROR_SIZE] = {};
  const bool implicitTls = port == limits.smtpsPort;
  const std::string url =
      std::string(implicitTls ? "smtps://" : "smtp://") + host + ":" + std::to_string(port) + "/";
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  if (!implicitTls) curl_easy_setopt(e, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
  SetCommonOptions(e, limits, watch, errorBuffer);
  if (authMode != 0) {
    curl_easy_setopt(e, CURLOPT_USERNAME, user.c_str());
    curl_easy_setopt(e, CURLOPT_PASSWORD, password.c_str());
    const char* mechanism = authMode == 1   ? "AUTH=PLAIN"
                            : authMode == 2 ? "AUTH=LOGIN"
                            : authMode == 4 ? "AUTH=CRAM-MD5"
                                            : "AUTH=*";
    curl_easy_setopt(e, CURLOPT_LOGIN_OPTIONS, mechanism);
  }
  const std::string envelopeFrom = from.empty() ? std::string() : "<" + from + ">";
  if (!envelopeFrom.empty()) curl_easy_setopt(e, CURLOPT_MAIL_FROM, envelopeFrom.c_str());
  std::unique_ptr<curl_slist, ListDeleter> rcpt;
  for (const std::string& to : recipients) {
    curl_slist* next = curl_slist_append(rcpt.get(), ("<" + to + ">").c_str());
    if (!next) return outcome;
    rcpt.release();
    rcpt.reset(next);
  }
  curl_easy_setopt(e, CURLOPT_MAIL_RCPT, rcpt.get());
  MessageReader reader{&message};
  curl_easy_setopt(e, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(e, CURLOPT_READFUNCTION, ReadMessage);
  curl_easy_setopt(e, CURLOPT_READDATA, &reader);
  curl_easy_setopt(e, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(message.size()));

  const CURLcode code = Perform(e, pump);
  if (code == CURLE_OK) {
    outcome.connect = 1;
    outcome.authenticate = 0;
    outcome.send = 1;
    return outcome;
  }
  outcome.error = ErrorText(code, errorBuffer);
  const int failure = IsTimeout(code) ? kMailTimedOut : kMailFailed;
  if (code == CURLE_LOGIN_DENIED) {
    outcome.connect = 1;
    if (watch.stage == Stage::kConnecting) {
      // libcurl gave up before sending AUTH: no mechanism both sides know.
      outcome.authenticate = kMailMechanismMissing;
    } else {
      outcome.authenticate = watch.lastReply == 535 ? kSmtpAuthRejected : kMailAuthRefused;
    }
  } else if (watch.stage == Stage::kConnecting) {
    outcome.connect = failure;
  } else if (watch.stage == Stage::kAuthenticating) {
    outcome.connect = 1;
    outcome.authenticate = IsTimeout(code) ? kMailTimedOut : kMailOtherError;
  } else {
    outcome.connect = 1;
    outcome.authenticate = 0;
    // A refusal carries the server's reply code: -550 for "550 no such user".
    if (IsTimeout(code)) {
      outcome.send = kMailTimedOut;
    } else if (watch.lastReply >= 400 && watch.lastReply <= 599) {
      outcome.send = -watch.lastReply;
    } else {
      outcome.send = kMailFailed;
    }
  }
  return outcome;
}

// The warning texts.

std::string Pop3ConnectWarning(int result) {
  if (result == kMailFailed) {
    return "nMail.dllのPOP3サーバ接続処理に失敗しました[NMailPop3ConnectPortNo]";
  }
  if (result == kMailTimedOut) {
    return "nMail.dllのPOP3サーバ接続処理がタイムアウトしました[NMailPop3ConnectPortNo]";
  }
  return {};
}

std::string Pop3AuthenticateWarning(int result) {
  switch (result) {
    case kMailFailed:
      return "nMail.dllのPOP3ユーザ認証処理に失敗しました[NMailPop3Authenticate]";
    case kMailAuthRefused:
      return "nMail.dllのPOP3ユーザ認証処理で認証に失敗しました[NMailPop3Authenticate]";
    case kMailTimedOut:
      return "nMail.dllのPOP3ユーザ認証処理がタイムアウトしました[NMailPop3Authenticate]";
    case kMailOtherError:
      return "nMail.dllのPOP3ユーザ認証処理でその他のエラーが発生しました[NMailPop3Authenticate]";
    default:
      return {};
  }
}

std::string Pop3CloseWarning(int result) {
  switch (result) {
    case kMailFailed:
      return "nMail.dllのPOP3サーバから切断処理に失敗しました[NMailPop3Close]";
    case kMailTimedOut:
      return "nMail.dllのPOP3サーバから切断処理がタイムアウトしました[NMailPop3Close]";
    case kMailOtherError:
      return "nMail.dllのPOP3サーバから切断処理でその他のエラーが発生しました[NMailPop3Close]";
    default:
      return {};
  }
}

std::string SmtpConnectWarning(int result) {
  if (result == kMailFailed) {
    return "nMail.dllのSMTPサーバ接続処理に失敗しました[NMailSmtpConnectPortNo]";
  }
  if (result == kMailTimedOut) {
    return "nMail.dllのSMTPサーバ接続処理がタイムアウトしました[NMailSmtpConnectPortNo]";
  }
  return {};
}

std::string SmtpAuthenticateWarning(int result) {
  if (result >= 0) return {};
  switch (result) {
    case kMailFailed:
      return "nMail.dllのSMTPユーザ認証処理に失敗しました[NMailSmtpAuthenticate]";
    case kMailAuthRefused:
      return "nMail.dllのSMTPユーザ認証処理で認証に失敗しました[NMailSmtpAuthenticate]";
    case kMailTimedOut:
      return "nMail.dllのSMTPユーザ認証処理がタイムアウトしました[NMailSmtpAuthenticate]";
    case kMailMechanismMissing:
      return "nMail.dllのSMTPユーザ認証処理でサーバが認証形式に対応していません["
             "NMailSmtpAuthenticate]";
    case kMailOtherError:
      return "nMail.dllのSMTPユーザ認証処理でその他のエラーが発生しました[NMailSmtpAuthenticate]";
    default:
      return "nMail.dllのSMTPユーザ認証処理で不明なエラーが発生しました[NMailSmtpAuthenticate]";
  }
}

std::string SmtpSendWarning(int result) {
  constexpr std::string_view kHead = "nMail.dllのメール送信処理に失敗しました";
  constexpr std::string_view kTail = "[NMailSmtpSendMailEx]";
  auto with = [&](std::string_view reason) {
    return std::string(kHead) + std::string(reason) + std::string(kTail);
  };
  switch (result) {
    case kMailFailed:
      return with("");
    case kMailTimedOut:
      return "nMail.dllのメール送信処理がタイムアウトしました[NMailSmtpSendMailEx]";
    case -20:
      return with("(設定してある一時休止サイズを受信したので処理を戻した)");
    case -421:
      return with("(サービス利用できず -421)");
    case -450:
      return with("(メールボックス使用不可 -450)");
    case -451:
      return with("(サーバー処理エラー -451)");
    case -452:
      return with("(システム容量不足エラー -452)");
    case -500:
      return with("(コマンドの文法エラー -500)");
    case -501:
      return with("(パラメータか引数の文法エラー -501)");
    case -502:
      return with("(未実装コマンド -502)");
    case -503:
      return with("(コマンドのシーケンス異常 -503)");
    case -550:
      return with("(送信先のメールアドレスが存在しない -550)");
    case -551:
      return with("(ユーザーが存在しないか、転送先無し -551)");
    case -552:
      return with("(容量オーバーエラー -552)");
    case -553:
      return with("(メールボックス名が正しくない -553)");
    case -554:
      return with("(トランザクション失敗 554)");
    default:
      return {};
  }
}

// The operations.

void MailTransport::Warn(std::string_view text, bool report) const {
  if (report && !text.empty()) monitor_.ShowMessage(text, kProgramTitle, MessageIcon::kExclamation);
}

void MailTransport::Notice(std::string_view text, bool report) const {
  if (report) monitor_.ShowMessage(text, kProgramTitle, MessageIcon::kInformation);
}

bool MailTransport::StartMailLibrary(bool report) {
  const bool ok = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  if (!ok) Warn("nMail.dllの初期化処理に失敗しました[NMailInitializeWinSock]", report);
  return ok;
}

bool MailTransport::EndMailLibrary(bool) {
  // libcurl counts its starts; the last end releases it. Nothing can fail.
  // A shutdown that runs nested inside a mail transfer (the window's events
  // are pumped meanwhile) must not pull libcurl away from the worker still
  // using it: the process is ending, and its end releases everything.
  if (transfersUnderWay == 0) curl_global_cleanup();
  return true;
}

bool MailTransport::PopBeforeSmtp(const std::string& host, int port, const std::string& user,
                                  const std::string& password, bool apop, bool report) {
  auto pump = [this] { monitor_.PumpOnce(); };
  for (;;) {
    ++sessions;
    const Pop3Outcome outcome = Pop3Session(host, port, user, password, apop, limits, pump);
    lastError_ = outcome.error;
    if (outcome.connect < 0) {
      Warn(Pop3ConnectWarning(outcome.connect), report);
      return false;
    }
    if (outcome.authenticate < 0) {
      Warn(Pop3AuthenticateWarning(outcome.authenticate), report);
      if (outcome.authenticate == kMailAuthRefused && apop) {
        apop = false;
        Notice("APOPを使わないでもう一度認証処理を行います。", report);
        continue;
      }
      return false;
    }
    if (outcome.close != 1) {
      Warn(Pop3CloseWarning(outcome.close), report);
      return false;
    }
    return true;
  }
}

bool MailTransport::SendMail(const MailRequest& request, bool report) {
  lastError_.clear();
  if (!request.attachment.empty()) {
    // Not built: a mail that silently lost its attachment would look sent.
    lastError_ = "添付ファイル付きのメールは送信できません";
    Warn(SmtpSendWarning(kMailFailed), report);
    return false;
  }
  std::string mode = Upper(request.authMode);
  const std::vector<std::string> recipients = SplitAddresses({request.to, request.cc, request.bcc});
  MimeMessageParts parts;
  parts.from = request.from;
  parts.to = request.to;
  parts.cc = request.cc;  // blind copies go into the envelope only
  parts.subject = request.subject;
  parts.body = request.body;
  parts.extraHeader = request.extraHeader;
  parts.date = monitor_.Now();
  parts.messageId = NewMessageId(request.from, parts.date);
  const std::string message = BuildMimeMessage(parts);
  auto pump = [this] { monitor_.PumpOnce(); };
  for (;;) {
    ++sessions;
    const SmtpOutcome outcome =
        SmtpSession(request.host, request.port, request.user, request.password,
                    SmtpAuthModeNumber(mode), request.from, recipients, message, limits, pump);
    lastError_ = outcome.error;
    if (outcome.connect < 0) {
      Warn(SmtpConnectWarning(outcome.connect), report);
      return false;
    }
    if (outcome.authenticate < 0) {
      Warn(SmtpAuthenticateWarning(outcome.authenticate), report);
      if (mode != "NONE" &&
          (outcome.authenticate == kMailAuthRefused || outcome.authenticate == kSmtpAuthRejected)) {
        mode = "NONE";
        Notice("SMTP AUTHを使わないでもう一度認証処理を行います。", report);
        continue;
      }
      return false;
    }
    if (outcome.send != 1) {
      Warn(SmtpSendWarning(outcome.send), report);
      return false;
    }
    return true;
  }
}

}  // namespace yagura
