#include "monitor/http/http_client.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "common/file_io.h"
#include "monitor/core/run_state.h"
#include "monitor/http/text_search.h"

namespace yagura {
namespace {

using SteadyClock = std::chrono::steady_clock;

// The raw headers had to fit a buffer of this size (with its terminating NUL).
constexpr size_t kHeaderBufferBytes = 4096;
// The window is pumped at least this often while a transfer runs.
constexpr auto kPumpInterval = std::chrono::milliseconds(25);

constexpr const char* kRefusedHeaderText = "エラー(戻り値=0)";

std::string VersionedTitle() {
  return std::string(kProgramTitle) + "/" + std::to_string(kVersionMajor) + "." +
         std::to_string(kVersionMinor) + "." + std::to_string(kVersionRevision);
}

std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  std::string result;
  size_t pos = 0;
  while (true) {
    size_t hit = text.find(from, pos);
    if (hit == std::string::npos) break;
    result.append(text, pos, hit - pos);
    result.append(to);
    pos = hit + from.size();
  }
  result.append(text, pos);
  return result;
}

}  // namespace

// What one transfer collects; the callbacks write into it.
struct HttpClient::Transfer {
  std::string headerText;  // status and header lines, each ending CR LF, then CR LF
  bool headersDone = false;
  bool headersTooLong = false;
  std::string body;
  size_t maxBodyBytes = 0;
  bool bodyTooLarge = false;
  bool connected = false;
  SteadyClock::time_point lastActivity;
  bool aborted = false;
  bool timedOut = false;
  bool certificateRefused = false;  // the server's certificate did not verify
};

namespace {

size_t OnHeaderLine(char* data, size_t size, size_t count, void* user) {
  auto& t = *static_cast<HttpClient::Transfer*>(user);
  const size_t length = size * count;
  t.lastActivity = SteadyClock::now();
  if (t.headersDone) return length;  // trailers of a chunked body
  std::string_view line(data, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  t.headerText.append(line);
  t.headerText += "\r\n";
  if (t.headerText.size() + 1 > kHeaderBufferBytes) {
    t.headersTooLong = true;
    return 0;  // aborts the transfer
  }
  if (line.empty()) {
    // An interim 1xx answer is followed by the real one.
    if (t.headerText.size() >= 12 && t.headerText.compare(9, 1, "1") == 0) {
      t.headerText.clear();
    } else {
      t.headersDone = true;
    }
  }
  return length;
}

size_t OnBodyBytes(char* data, size_t size, size_t count, void* user) {
  auto& t = *static_cast<HttpClient::Transfer*>(user);
  const size_t length = size * count;
  t.lastActivity = SteadyClock::now();
  if (t.body.size() + length > t.maxBodyBytes) {
    t.bodyTooLarge = true;
    return 0;  // aborts the transfer
  }
  t.body.append(data, length);
  return length;
}

// Called once the connection stands, just before the request goes out: the
// receive timeout counts from here.
int OnConnected(void* user, char*, char*, int, int) {
  auto& t = *static_cast<HttpClient::Transfer*>(user);
  t.connected = true;
  t.lastActivity = SteadyClock::now();
  return CURL_PREREQFUNC_OK;
}

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

// A header line the library would refuse: no name, or no colon after it.
bool IsAcceptableHeaderLine(std::string_view line) {
  size_t colon = line.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  for (char c : line.substr(0, colon)) {
    if (c <= ' ' || c == 0x7F) return false;
  }
  for (char c : line) {
    if (c == '\r' || c == '\n' || c == '\0') return false;
  }
  return true;
}

// curl drops a header whose value is empty ("Name:"); "Name;" sends it empty.
std::string CurlHeaderForm(std::string_view line) {
  size_t colon = line.find(':');
  std::string_view value = line.substr(colon + 1);
  if (value.find_first_not_of(" \t") == std::string_view::npos) {
    return std::string(line.substr(0, colon)) + ";";
  }
  return std::string(line);
}

std::string_view HeaderName(std::string_view line) { return line.substr(0, line.find(':')); }

}  // namespace

std::string HttpFailureText(HttpFailure failure, const std::string& file) {
  switch (failure) {
    case HttpFailure::kNone:
    case HttpFailure::kConnection:
      return "サーバへの接続に失敗しました";
    case HttpFailure::kAborted:
      return "停止の指示で受信を中止しました";
    case HttpFailure::kTimedOut:
      return "受信が制限時間内に終わらないので中止しました";
    case HttpFailure::kBodyTooLarge:
      return "受信データが大きすぎるので中止しました";
    case HttpFailure::kHeadersTooLong:
      return "レスポンスヘッダが長すぎます";
    case HttpFailure::kNotStored:
      return "\"" + file + "\"に書き込めません";
    case HttpFailure::kCertificate:
      return "サーバの証明書を確認できないので接続しませんでした";
  }
  return {};
}

std::string UserAgentFor(std::string_view key) {
  const std::string upper = ToUpperAscii(key);
  if (upper == "2CH") return "Monazilla/1.00 (" + VersionedTitle() + ")";
  if (upper == "IE55ME") return "Mozilla/4.0 (compatible; MSIE 5.5; Windows 98; Win 9x 4.90)";
  if (upper == "IE6XP") return "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)";
  if (upper.empty()) {
    return "Mozilla/4.0 (compatible; MSIE 5.5; Windows 98; Win 9x 4.90) " + VersionedTitle();
  }
  return std::string(key);
}

std::string UrlHost(std::string_view url) {
  size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return {};
  std::string_view rest = url.substr(scheme + 3);
  return std::string(rest.substr(0, rest.find('/')));
}

std::string UrlPath(std::string_view url) {
  size_t scheme = url.find("://");
  if (scheme == std::string_view::npos) return {};
  size_t slash = url.find('/', scheme + 3);
  if (slash == std::string_view::npos) return {};
  std::string_view rest = url.substr(slash + 1);
  if (rest.starts_with('/')) return std::string(rest);
  return "/" + std::string(rest);
}

struct HttpClient::Handles {
  std::unique_ptr<CURL, EasyDeleter> easy{curl_easy_init()};
  std::unique_ptr<CURLM, MultiDeleter> multi{curl_multi_init()};
  bool Valid() const { return easy && multi; }
};

// The kept handles while they are free, else a pair made for this request
// alone. The kept easy handle starts each request from libcurl's defaults.
class HttpClient::HandleLease {
 public:
  explicit HandleLease(HttpClient& client) : client_(client) {
    if (!client_.keptInUse_) {
      if (!client_.kept_) client_.kept_ = std::make_unique<Handles>();
      if (client_.kept_->Valid()) {
        client_.keptInUse_ = true;
        handles_ = client_.kept_.get();
        curl_easy_reset(handles_->easy.get());
        return;
      }
    }
    own_ = std::make_unique<Handles>();
    handles_ = own_.get();
  }
  ~HandleLease() {
    if (!own_) client_.keptInUse_ = false;
  }
  HandleLease(const HandleLease&) = delete;
  HandleLease& operator=(const HandleLease&) = delete;

  bool Valid() const { return handles_->Valid(); }
  CURL* Easy() const { return handles_->easy.get(); }
  CURLM* Multi() const { return handles_->multi.get(); }

 private:
  HttpClient& client_;
  Handles* handles_ = nullptr;
  std::unique_ptr<Handles> own_;
};

// libcurl counts its global initialisations: each client holds one.
HttpClient::HttpClient(Monitor& monitor) : monitor_(monitor) {
  curl_global_init(CURL_GLOBAL_DEFAULT);
}

HttpClient::~HttpClient() {
  kept_.reset();  // before the global cleanup
  curl_global_cleanup();
}

int HttpClient::HttpRequest(std::string_view method, std::string_view url,
                            const std::string& headerFile, const std::string& bodyFile,
                            std::string_view agentKey, std::string_view referer,
                            std::string_view cookie, std::string_view proxy,
                            std::string_view extraHeaders) {
  HttpRequestSpec request;
  request.method = method;
  request.url = url;
  request.headerFile = headerFile;
  request.bodyFile = bodyFile;
  request.agentKey = agentKey;
  request.referer = referer;
  request.cookie = cookie;
  request.proxy = proxy;
  request.extraHeaders = extraHeaders;
  return Send(request);
}

std::vector<std::string> HttpClient::BuildHeaderBlock(const HttpRequestSpec& request) {
  // The request header block, in its order, ending with "Connection: close".
  std::vector<std::string> block;
  if (request.referer.starts_with("http")) block.push_back("Referer: " + request.referer);
  if (request.cookie.starts_with("Cookie: ")) {
    std::string_view line = request.cookie;
    if (line.ends_with("\r\n")) line.remove_suffix(2);
    block.emplace_back(line);
  }
  for (std::string_view rest = request.extraHeaders; !rest.empty();) {
    size_t crlf = rest.find("\r\n");
    std::string_view line = rest.substr(0, crlf);
    rest = crlf == std::string_view::npos ? std::string_view() : rest.substr(crlf + 2);
    if (!line.empty()) block.emplace_back(line);
  }
  block.emplace_back("Connection: close");

  std::vector<std::string> accepted;
  for (const std::string& line : block) {
    if (!IsAcceptableHeaderLine(line)) {
      monitor_.ShowMessage(kRefusedHeaderText, kProgramTitle, MessageIcon::kNone);
      continue;
    }
    // Added with "replace": a later line of the same name takes the earlier one's place.
    bool replaced = false;
    for (std::string& earlier : accepted) {
      if (FindIgnoringCase(HeaderName(earlier), HeaderName(line)) == 0 &&
          HeaderName(earlier).size() == HeaderName(line).size()) {
        earlier = line;
        replaced = true;
        break;
      }
    }
    if (!replaced) accepted.push_back(line);
  }
  return accepted;
}

bool HttpClient::StopArrived() const {
  return (monitor_.cycleInProgress && monitor_.runState == RunState::kStopped) ||
         monitor_.exitRequest != ExitRequest::kNone;
}

void HttpClient::RunPumped(void* multiHandle, Transfer& t) {
  CURLM* multi = static_cast<CURLM*>(multiHandle);
  const auto receiveTimeout = std::chrono::milliseconds(receiveTimeoutMilliseconds);
  const auto start = SteadyClock::now();
  auto lastPump = start;
  long long announced = -1;  // Content-Length, once the headers are in
  int running = 1;
  while (true) {
    const bool performed = curl_multi_perform(multi, &running) == CURLM_OK;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg == CURLMSG_DONE && message->data.result == CURLE_PEER_FAILED_VERIFICATION) {
        t.certificateRefused = true;
      }
    }
    if (!performed || running == 0) break;
    const auto now = SteadyClock::now();
    // The receive timeout: silence after the connection stood. A stall after
    // the headers keeps what arrived, like any broken read.
    if (t.connected && now - t.lastActivity > receiveTimeout) break;
    if (t.headersDone && announced < 0) {
      announced = ResponseHead::Parse(t.headerText).ContentLength().value_or(0);
    }
    const long long expected =
        std::max<long long>(announced, static_cast<long long>(t.body.size()));
    const long long limit = std::min<long long>(
        overallCapMilliseconds,
        overallBaseMilliseconds + expected / 102400 * overallPer100KilobytesMilliseconds);
    if (now - start > std::chrono::milliseconds(limit)) {
      t.timedOut = true;
      break;
    }
    if (now - lastPump >= kPumpInterval) {
      monitor_.PumpOnce();
      lastPump = SteadyClock::now();
      if (StopArrived()) {
        t.aborted = true;
        break;
      }
    }
    // Sleep until the socket is ready or the next pump is due.
    const auto untilPump = std::chrono::duration_cast<std::chrono::milliseconds>(
        kPumpInterval - (SteadyClock::now() - lastPump));
    curl_multi_poll(multi, nullptr, 0, std::max(1, static_cast<int>(untilPump.count())), nullptr);
  }
}

bool HttpClient::Store(const HttpRequestSpec& request, const std::string& path,
                       std::string_view bytes) {
  return request.scratchFiles ? scratchFiles_.Replace(path, bytes)
                              : common::ReplaceFileAtomically(path, bytes);
}

int HttpClient::StoreResult(const HttpRequestSpec& request, bool isHead, Transfer& t) {
  if (t.aborted || t.timedOut || t.bodyTooLarge || t.headersTooLong || !t.headersDone) {
    lastFailure_ = t.aborted              ? HttpFailure::kAborted
                   : t.timedOut           ? HttpFailure::kTimedOut
                   : t.bodyTooLarge       ? HttpFailure::kBodyTooLarge
                   : t.headersTooLong     ? HttpFailure::kHeadersTooLong
                   : t.certificateRefused ? HttpFailure::kCertificate
                                          : HttpFailure::kConnection;
    return -1;
  }

  // The headers end in CR LF CR LF; the header text keeps one CR LF.
  const std::string headerText = ReplaceAll(std::move(t.headerText), "\r\n\r\n", "\r\n");
  lastHead_ = ResponseHead::Parse(headerText);

  const int received = static_cast<int>(t.body.size());
  const bool storeBody = !isHead && lastHead_.Find("Content-Length") != "0" &&
                         !request.bodyFile.empty() && received > 0;
  // The body is stored before the headers: a full disk or a crash between
  // the two leaves the old header file, whose older time makes the next
  // request fetch the body again, never new headers over an old body (the
  // next range request would be answered 304 and the log would stay short).
  // A body that cannot be stored is no download at all.
  if (storeBody && !Store(request, request.bodyFile, t.body)) {
    lastFailure_ = HttpFailure::kNotStored;
    return -1;
  }
  if (!request.headerFile.empty() && !Store(request, request.headerFile, headerText)) {
    lastFailure_ = HttpFailure::kNotStored;
    return -1;
  }
  if (isHead || lastHead_.Find("Content-Length") == "0") return 0;
  return received;
}

int HttpClient::Send(const HttpRequestSpec& request) {
  lastHead_ = {};
  lastFailure_ = HttpFailure::kConnection;
  const std::string verb = ToUpperAscii(request.method);
  if (verb != "GET" && verb != "HEAD") return -1;
  const std::string_view url = request.url;
  const bool secure = url.starts_with("https");
  const std::string host = UrlHost(url);
  if (host.empty()) return -1;
  std::string path = UrlPath(url);
  // The request line names "/" when the URL ends at the host.
  const std::string target = (secure ? "https://" : "http://") + host + (path.empty() ? "/" : path);

  // No accept types: curl's default "Accept: */*" is dropped.
  curl_slist* list = curl_slist_append(nullptr, "Accept:");
  for (const std::string& line : BuildHeaderBlock(request)) {
    if (curl_slist* grown = curl_slist_append(list, CurlHeaderForm(line).c_str())) list = grown;
  }
  std::unique_ptr<curl_slist, SlistDeleter> headers(list);

  HandleLease handles(*this);
  if (!handles.Valid()) return -1;
  Transfer t;
  t.maxBodyBytes = maxBodyBytes;
  t.lastActivity = SteadyClock::now();
  const std::string agent = UserAgentFor(request.agentKey);
  CURL* e = handles.Easy();
  CURLM* multi = handles.Multi();
  curl_easy_setopt(e, CURLOPT_URL, target.c_str());
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
  curl_easy_setopt(e, CURLOPT_USERAGENT, agent.c_str());
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_FORBID_REUSE, 1L);
  curl_easy_setopt(e, CURLOPT_FRESH_CONNECT, 1L);
  // Kept handles keep nothing from one request for the next, as handles of
  // its own did: the host is resolved, the trusted certificates are loaded
  // (a changed CA file counts at once) and the TLS handshake is made anew.
  curl_easy_setopt(e, CURLOPT_DNS_CACHE_TIMEOUT, 0L);
  curl_easy_setopt(e, CURLOPT_CA_CACHE_TIMEOUT, 0L);
  curl_easy_setopt(e, CURLOPT_SSL_SESSIONID_CACHE, 0L);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, connectTimeoutMilliseconds);
  // Certificates are checked against the system's CA store; a failure fails the request.
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!extraCaFile.empty()) curl_easy_setopt(e, CURLOPT_CAINFO, extraCaFile.c_str());
  if (!request.proxy.empty()) curl_easy_setopt(e, CURLOPT_PROXY, request.proxy.c_str());
  if (verb == "HEAD") curl_easy_setopt(e, CURLOPT_NOBODY, 1L);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, OnHeaderLine);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &t);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, OnBodyBytes);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &t);
  curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, OnConnected);
  curl_easy_setopt(e, CURLOPT_PREREQDATA, &t);

  if (curl_multi_add_handle(multi, e) != CURLM_OK) return -1;
  RunPumped(multi, t);
  curl_multi_remove_handle(multi, e);
  // A request nested in the pump may have set the head meanwhile.
  lastHead_ = {};
  lastFailure_ = HttpFailure::kNone;
  const int result = StoreResult(request, verb == "HEAD", t);
  return result;
}

}  // namespace yagura
