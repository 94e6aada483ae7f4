// The form upload's transport for https addresses: the same request bytes
// as over the socket layer, sent through a TLS connection that libcurl
// opens (connect-only mode) with the certificate verified. Like the socket
// layer it pumps window events while it waits and bounds every wait.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "monitor/core/monitor.h"
#include "monitor/http/socket_layer.h"

namespace yagura {

// Head, Body (dechunked when the head says so) and Whole of an answer.
SockResponseRecord SplitResponse(std::string whole);

class TlsConnection {
 public:
  explicit TlsConnection(Monitor& monitor);
  ~TlsConnection();
  TlsConnection(const TlsConnection&) = delete;
  TlsConnection& operator=(const TlsConnection&) = delete;

  // Connects and completes the TLS handshake; 0 or -1 (see ErrorText()).
  int Connect(const std::string& host, std::uint16_t port);
  // Sends the bytes, receives until the server closes; 0 or -1. The
  // connection is closed in every case.
  int Exchange(std::string_view requestBytes);

  const SockResponseRecord& Response() const { return response_; }
  // Why the last call failed ("" after a success).
  const std::string& ErrorText() const { return errorText_; }

  std::string caFile;  // "" for the system's CA store
  int connectTimeoutMilliseconds = 15000;
  int receiveTimeoutMilliseconds = 60000;
  int exchangeLimitMilliseconds = 0;  // 0: no bound on the whole exchange
  size_t maxResponseBytes = 64u << 20;

 private:
  void Close();

  Monitor& monitor_;
  void* multi_ = nullptr;  // CURLM*
  void* easy_ = nullptr;   // CURL*
  std::string errorText_;
  SockResponseRecord response_;
};

}  // namespace yagura
