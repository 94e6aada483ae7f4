// The plain request: GET or HEAD of a URL into a body file and a header file,
// over libcurl, with the request line and header lines a board expects.
#pragma once

#include <string>
#include <string_view>

#include "monitor/core/monitor.h"

namespace yagura {

// The User-Agent sent for a key ("2ch", "IE55ME", "IE6XP", "" or any text).
std::string UserAgentFor(std::string_view key);

// The text between the first "://" and the next "/" (a port stays part of it).
std::string UrlHost(std::string_view url);
// "/" + everything after the first "/" that follows "://"; "" without one.
std::string UrlPath(std::string_view url);

class HttpClient {
 public:
  explicit HttpClient(Monitor& monitor);
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // method "get" or "head" (any case). Returns -1 when the request failed
  // before the response headers arrived; otherwise the number of body bytes
  // (0 for HEAD and for "Content-Length: 0"). Status codes are not failures:
  // callers read LastStatusLine(). The event pump keeps running meanwhile.
  int HttpRequest(std::string_view method, std::string_view url, const std::string& headerFile,
                  const std::string& bodyFile, std::string_view agentKey,
                  std::string_view referer = {}, std::string_view cookie = {},
                  std::string_view proxy = {}, std::string_view extraHeaders = {});

  // The first line of the most recent response's headers ("" when none came).
  const std::string& LastStatusLine() const { return lastStatusLine_; }

  // Limits; tests shorten the timeouts.
  long connectTimeoutMilliseconds = 15000;
  long receiveTimeoutMilliseconds = 30000;
  size_t maxBodyBytes = 64u << 20;

 private:
  Monitor& monitor_;
  std::string lastStatusLine_;
};

}  // namespace yagura
