#include "monitor/http/tls_connection.h"

#include <curl/curl.h>
#include <poll.h>

#include <chrono>
#include <mutex>

#include "monitor/http/chunked_decoder.h"
#include "monitor/http/host_port.h"
#include "monitor/http/text_search.h"

namespace yagura {
namespace {

using SteadyClock = std::chrono::steady_clock;

// Waits are cut into slices this long, with the window pumped between them.
constexpr int kWaitSliceMilliseconds = 40;
constexpr size_t kReceiveBlockBytes = 16384;

void InitializeCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CURL* Easy(void* handle) { return static_cast<CURL*>(handle); }

std::string CurlErrorText(CURLcode code, const char* detail) {
  std::string text = curl_easy_strerror(code);
  if (detail && *detail) text += ": " + std::string(detail);
  return text;
}

}  // namespace

SockResponseRecord SplitResponse(std::string whole) {
  SockResponseRecord response;
  response.Whole = std::move(whole);
  size_t end = response.Whole.find("\r\n\r\n");
  if (end == std::string::npos) {
    response.Head = response.Whole;
  } else {
    response.Head = response.Whole.substr(0, end + 2);
    response.Body = response.Whole.substr(end + 4);
  }
  if (FindIgnoringCase(response.Head, "Transfer-Encoding: chunked") != std::string::npos) {
    response.Body = DecodeChunked(response.Body);
  }
  return response;
}

TlsConnection::TlsConnection(Monitor& monitor) : monitor_(monitor) { InitializeCurlOnce(); }

TlsConnection::~TlsConnection() { Close(); }

void TlsConnection::Close() {
  if (multi_) {
    if (easy_) curl_multi_remove_handle(static_cast<CURLM*>(multi_), Easy(easy_));
    curl_multi_cleanup(static_cast<CURLM*>(multi_));
  }
  if (easy_) curl_easy_cleanup(Easy(easy_));
  multi_ = nullptr;
  easy_ = nullptr;
}

int TlsConnection::Connect(const std::string& host, std::uint16_t port) {
  Close();
  errorText_.clear();
  const HostPort target = SplitHostPort(host, port);
  CURL* easy = curl_easy_init();
  if (!easy) {
    errorText_ = "libcurl could not start";
    return -1;
  }
  easy_ = easy;
  char detail[CURL_ERROR_SIZE] = "";
  const bool bracketed = target.name.find(':') != std::string::npos;
  const std::string url = "https://" + (bracketed ? "[" + target.name + "]" : target.name) + ":" +
                          std::to_string(target.port) + "/";
  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  curl_easy_setopt(easy, CURLOPT_CONNECT_ONLY, 1L);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, detail);
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  // The socket layer talks to the uploader directly; so does this.
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "*");
  curl_easy_setopt(easy, CURLOPT_IPRESOLVE, CURL_IPRESOLVE_V4);
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeoutMilliseconds));
  // Our bytes are HTTP/1.x: the server must not pick HTTP/2 in the handshake.
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!caFile.empty()) curl_easy_setopt(easy, CURLOPT_CAINFO, caFile.c_str());

  // The handshake runs in the multi interface, so the window is pumped
  // between short waits. The connection belongs to the multi handle: both
  // stay until Close().
  CURLM* multi = curl_multi_init();
  multi_ = multi;
  curl_multi_add_handle(multi, easy);
  CURLcode result = CURLE_COULDNT_CONNECT;
  for (bool done = false; !done;) {
    int running = 0;
    if (curl_multi_perform(multi, &running) != CURLM_OK) break;
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
      if (message->msg == CURLMSG_DONE) {
        result = message->data.result;
        done = true;
      }
    }
    if (done || running == 0) break;
    curl_multi_poll(multi, nullptr, 0, kWaitSliceMilliseconds, nullptr);
    monitor_.PumpOnce();
  }
  monitor_.PumpOnce();
  if (result != CURLE_OK) {
    errorText_ = CurlErrorText(result, detail);
    Close();
    return -1;
  }
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, nullptr);
  return 0;
}

int TlsConnection::Exchange(std::string_view requestBytes) {
  response_ = {};
  errorText_.clear();
  if (!easy_) {
    errorText_ = "not connected";
    return -1;
  }
  CURL* easy = Easy(easy_);
  curl_socket_t socket = CURL_SOCKET_BAD;
  curl_easy_getinfo(easy, CURLINFO_ACTIVESOCKET, &socket);
  const auto started = SteadyClock::now();
  const auto limit = exchangeLimitMilliseconds > 0
                         ? started + std::chrono::milliseconds(exchangeLimitMilliseconds)
                         : SteadyClock::time_point::max();

  // Waits until the socket is ready for `events`; false when a bound ran out.
  auto wait = [&](short events) {
    const auto deadline =
        std::min(limit, SteadyClock::now() + std::chrono::milliseconds(receiveTimeoutMilliseconds));
    while (true) {
      pollfd fd{socket, events, 0};
      if (::poll(&fd, 1, kWaitSliceMilliseconds) > 0) return true;
      monitor_.PumpOnce();
      if (SteadyClock::now() >= deadline) {
        errorText_ = SockErrorText(kWsaeTimedOut);
        return false;
      }
    }
  };

  bool ok = socket != CURL_SOCKET_BAD;
  if (!ok) errorText_ = "no connection";
  while (ok && !requestBytes.empty()) {
    size_t sent = 0;
    CURLcode code = curl_easy_send(easy, requestBytes.data(), requestBytes.size(), &sent);
    if (code == CURLE_OK) {
      requestBytes.remove_prefix(sent);
      if (SteadyClock::now() >= limit) {
        errorText_ = SockErrorText(kWsaeTimedOut);
        ok = false;
      }
    } else if (code == CURLE_AGAIN) {
      ok = wait(POLLOUT);
    } else {
      errorText_ = CurlErrorText(code, nullptr);
      ok = false;
    }
  }
  monitor_.PumpOnce();

  std::string whole;
  bool closedByServer = false;
  char block[kReceiveBlockBytes];
  while (ok) {
    size_t received = 0;
    CURLcode code = curl_easy_recv(easy, block, sizeof block, &received);
    if (code == CURLE_OK && received == 0) {
      closedByServer = true;
      break;
    }
    if (code == CURLE_OK) {
      whole.append(block, received);
      monitor_.PumpOnce();
      if (whole.size() > maxResponseBytes) {
        errorText_ = SockErrorText(kWsaeNoBufs);
        break;
      }
      if (SteadyClock::now() >= limit) {
        errorText_ = SockErrorText(kWsaeTimedOut);
        break;
      }
    } else if (code == CURLE_AGAIN) {
      ok = wait(POLLIN);
    } else {
      errorText_ = CurlErrorText(code, nullptr);
      break;
    }
  }
  Close();
  if (!closedByServer) return -1;
  response_ = SplitResponse(std::move(whole));
  return 0;
}

}  // namespace yagura
