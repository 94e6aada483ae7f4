// The socket layer: one TCP connection (IPv4) at a time, one request and its
// whole response per connection, for the form upload. It pumps window events
// while it waits, so the window stays responsive. Error codes are those of
// the Windows socket library, so that the message table applies unchanged.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "monitor/core/monitor.h"

namespace yagura {

// Windows socket error codes used by the layer.
inline constexpr int kWsaeNotInitialised = 10093;
inline constexpr int kWsaeTimedOut = 10060;
inline constexpr int kWsaeNoBufs = 10055;
inline constexpr int kWsaHostNotFound = 11001;

// The message for a socket error code.
std::string SockErrorText(int code);
// The socket error code for a POSIX errno value (10000 + errno's Windows
// counterpart); an errno without one is returned as it is (an unknown code).
int WinsockCodeForErrno(int error);
// The socket error code for a getaddrinfo() result.
int WinsockCodeForResolver(int result);

// What the last exchange received.
struct SockResponseRecord {
  std::string Whole;  // every byte received, in order
  std::string Head;   // status and header lines, each ending CR LF
  std::string Body;   // after the empty line; decoded when chunked
};

class SocketLayer {
 public:
  explicit SocketLayer(Monitor& monitor) : monitor_(monitor) {}
  ~SocketLayer();
  SocketLayer(const SocketLayer&) = delete;
  SocketLayer& operator=(const SocketLayer&) = delete;

  bool SockStartup();
  bool SockCleanup();
  // 0 on success, -1 on failure. An explicit port in `host` ("name:8080")
  // takes the place of `port`.
  int SockConnect(const std::string& host, std::uint16_t port);
  // Sends `requestText`, or `requestBytes` when the text is empty, receives
  // until the server closes and fills SockResponse(). 0 on success, -1 on
  // failure; the connection is closed in every case.
  int SockExchange(std::string_view requestText, std::string_view requestBytes = {});
  // Shows the last error (if any) in a message box.
  void SockReportError();

  const SockResponseRecord& SockResponse() const { return response_; }
  int LastError() const { return lastError_; }
  int Handle() const { return handle_; }

  // Connection attempts of the form upload.
  std::int32_t RetryCount = 0;
  std::int32_t RetryWait = 5000;

  // Bounds that keep a silent or endless server from hanging the program.
  int connectTimeoutMilliseconds = 15000;
  int receiveTimeoutMilliseconds = 60000;
  size_t maxResponseBytes = 64u << 20;
  // The longest one exchange may take however the server trickles its
  // answer; 0 for no bound beyond the per-wait timeout.
  int exchangeLimitMilliseconds = 0;

 private:
  // Waits for `events` on the handle in short slices, pumping the window;
  // false when the time ran out (lastError_ is then the timeout code).
  bool WaitFor(short events, int timeoutMilliseconds);
  void CloseHandle();

  Monitor& monitor_;
  std::chrono::steady_clock::time_point exchangeDeadline_ =
      std::chrono::steady_clock::time_point::max();
  int handle_ = -1;
  int lastError_ = 0;
  bool started_ = false;
  SockResponseRecord response_;
};

}  // namespace yagura
