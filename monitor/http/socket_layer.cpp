#include "monitor/http/socket_layer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "monitor/http/chunked_decoder.h"
#include "monitor/http/host_port.h"
#include "monitor/http/text_search.h"

namespace yagura {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t kReceiveBlockBytes = 4096;
// Waits are cut into slices this long, with the window pumped between them.
constexpr int kWaitSliceMilliseconds = 40;

}  // namespace

SocketLayer::~SocketLayer() { CloseHandle(); }

void SocketLayer::CloseHandle() {
  if (handle_ != -1) ::close(handle_);
  handle_ = -1;
}

void SocketLayer::SockReportError() {
  if (lastError_ == 0) return;
  monitor_.ShowMessage(SockErrorText(lastError_), std::string("WinSock32 API - ") + kProgramTitle,
                       MessageIcon::kExclamation);
}

bool SocketLayer::SockStartup() {
  lastError_ = 0;
  started_ = true;
  handle_ = -1;
  SockReportError();
  return true;
}

bool SocketLayer::SockCleanup() {
  lastError_ = 0;
  if (handle_ != -1) {
    if (::shutdown(handle_, SHUT_RDWR) != 0 && errno != ENOTCONN) {
      lastError_ = WinsockCodeForErrno(errno);
    }
  }
  CloseHandle();
  const bool wasStarted = started_;
  started_ = false;
  if (!wasStarted) lastError_ = kWsaeNotInitialised;
  SockReportError();
  return wasStarted;
}

bool SocketLayer::WaitFor(short events, int timeoutMilliseconds) {
  const auto deadline = std::min(
      exchangeDeadline_, SteadyClock::now() + std::chrono::milliseconds(timeoutMilliseconds));
  while (true) {
    pollfd fd{handle_, events, 0};
    int ready = ::poll(&fd, 1, kWaitSliceMilliseconds);
    if (ready > 0) return true;
    if (ready < 0 && errno != EINTR) {
      lastError_ = WinsockCodeForErrno(errno);
      return false;
    }
    monitor_.PumpOnce();
    if (SteadyClock::now() >= deadline) {
      lastError_ = kWsaeTimedOut;
      return false;
    }
  }
}

int SocketLayer::SockConnect(const std::string& host, std::uint16_t port) {
  lastError_ = 0;
  if (!started_) {
    lastError_ = kWsaeNotInitialised;
    return -1;
  }
  if (handle_ == -1) {
    handle_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (handle_ == -1) lastError_ = WinsockCodeForErrno(errno);
    SockReportError();
  }
  if (handle_ == -1) return -1;

  const HostPort target = SplitHostPort(host, port);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(target.port));
  bool resolved = ::inet_pton(AF_INET, target.name.c_str(), &address.sin_addr) == 1;
  if (!resolved) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    int result = ::getaddrinfo(target.name.c_str(), nullptr, &hints, &found);
    if (result == 0 && found) {
      address.sin_addr = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
      resolved = true;
    } else {
      lastError_ = WinsockCodeForResolver(result == 0 ? EAI_NONAME : result);
    }
    if (found) ::freeaddrinfo(found);
  }
  SockReportError();

  bool connected = false;
  if (resolved) {
    lastError_ = 0;
    if (::connect(handle_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      connected = true;
    } else if (errno == EINPROGRESS) {
      if (WaitFor(POLLOUT, connectTimeoutMilliseconds)) {
        int error = 0;
        socklen_t length = sizeof error;
        ::getsockopt(handle_, SOL_SOCKET, SO_ERROR, &error, &length);
        connected = error == 0;
        if (!connected) lastError_ = WinsockCodeForErrno(error);
      }
    } else {
      lastError_ = WinsockCodeForErrno(errno);
    }
  }
  if (!connected) {
    CloseHandle();
    monitor_.PumpOnce();
    return -1;
  }
  monitor_.PumpOnce();
  return 0;
}

int SocketLayer::SockExchange(std::string_view requestText, std::string_view requestBytes) {
  response_ = {};
  lastError_ = 0;
  int result = -1;
  exchangeDeadline_ =
      exchangeLimitMilliseconds > 0
          ? SteadyClock::now() + std::chrono::milliseconds(exchangeLimitMilliseconds)
          : SteadyClock::time_point::max();
  if (handle_ != -1) {
    std::string_view request = requestText.empty() ? requestBytes : requestText;
    bool sent = true;
    while (!request.empty()) {
      ssize_t n = ::send(handle_, request.data(), request.size(), MSG_NOSIGNAL);
      if (n > 0) {
        request.remove_prefix(static_cast<size_t>(n));
      } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        if (!WaitFor(POLLOUT, receiveTimeoutMilliseconds)) {
          sent = false;
          break;
        }
      } else {
        lastError_ = WinsockCodeForErrno(errno);
        sent = false;
        break;
      }
    }
    monitor_.PumpOnce();

    bool closedByServer = false;
    if (sent) {
      char block[kReceiveBlockBytes];
      while (true) {
        ssize_t n = ::recv(handle_, block, sizeof block, 0);
        if (n > 0) {
          response_.Whole.append(block, static_cast<size_t>(n));
          monitor_.PumpOnce();
          if (response_.Whole.size() > maxResponseBytes) {
            lastError_ = kWsaeNoBufs;
            break;
          }
          if (SteadyClock::now() >= exchangeDeadline_) {
            lastError_ = kWsaeTimedOut;
            break;
          }
        } else if (n == 0) {
          closedByServer = true;
          break;
        } else if (errno == EAGAIN || errno == EINTR) {
          if (!WaitFor(POLLIN, receiveTimeoutMilliseconds)) break;
        } else {
          lastError_ = WinsockCodeForErrno(errno);
          break;
        }
      }
    }
    if (closedByServer) {
      result = 0;
      const std::string& whole = response_.Whole;
      size_t end = whole.find("\r\n\r\n");
      if (end == std::string::npos) {
        response_.Head = whole;
      } else {
        response_.Head = whole.substr(0, end + 2);
        response_.Body = whole.substr(end + 4);
      }
      if (FindIgnoringCase(response_.Head, "Transfer-Encoding: chunked") != std::string::npos) {
        response_.Body = DecodeChunked(response_.Body);
      }
    }
  }
  exchangeDeadline_ = SteadyClock::time_point::max();
  if (handle_ != -1) {
    const int exchangeError = lastError_;
    lastError_ = 0;
    // A connection the server already reset is no longer connected: nothing to shut down.
    if (::shutdown(handle_, SHUT_RDWR) != 0 && errno != ENOTCONN) {
      lastError_ = WinsockCodeForErrno(errno);
    }
    SockReportError();
    lastError_ = 0;
    if (::close(handle_) != 0) lastError_ = WinsockCodeForErrno(errno);
    SockReportError();
    handle_ = -1;
    if (lastError_ == 0) lastError_ = exchangeError;
  }
  return result;
}

}  // namespace yagura
