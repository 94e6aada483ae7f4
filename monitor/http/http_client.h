// The plain request: GET or HEAD of a URL into a body file and a header file,
// over libcurl, with the request line and header lines a board expects.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_io.h"
#include "monitor/core/monitor.h"
#include "monitor/http/response_head.h"

namespace yagura {

// The User-Agent sent for a key ("2ch", "IE55ME", "IE6XP", "" or any text).
std::string UserAgentFor(std::string_view key);

// The text between the first "://" and the next "/" (a port stays part of it).
std::string UrlHost(std::string_view url);
// "/" + everything after the first "/" that follows "://"; "" without one.
std::string UrlPath(std::string_view url);

// Why the last request failed (when it returned -1).
enum class HttpFailure {
  kNone,
  kConnection,      // no answer: refused, unreachable, reset, silent
  kAborted,         // a stop or exit request arrived meanwhile
  kTimedOut,        // the transfer outlasted its overall limit
  kBodyTooLarge,    // the body went over maxBodyBytes
  kHeadersTooLong,  // the headers did not fit their buffer
  kNotStored,       // the header or body file could not be written
  kCertificate,     // https: the server's certificate did not verify
};
// A log text for a failure other than kConnection (whose messages the
// callers word themselves).
std::string HttpFailureText(HttpFailure failure, const std::string& file = {});

// What one plain request asks for.
struct HttpRequestSpec {
  std::string method;        // "get" or "head", any case
  std::string url;           // "http://" or "https://" address
  std::string headerFile;    // where the response headers go; "" for nowhere
  std::string bodyFile;      // where the body goes; "" for nowhere
  std::string agentKey;      // see UserAgentFor
  std::string referer;       // sent when it starts with "http"
  std::string cookie;        // sent when it starts with "Cookie: "
  std::string proxy;         // "" for the environment's proxy
  std::string extraHeaders;  // further lines, each ending CR LF
  // The files only hold this exchange for the cycle's own use: they are
  // overwritten in place (common::ScratchFiles), not replaced safely.
  bool scratchFiles = false;
};

class HttpClient {
 public:
  explicit HttpClient(Monitor& monitor);
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Returns -1 when the request failed before the response headers arrived;
  // otherwise the number of body bytes (0 for HEAD and for
  // "Content-Length: 0"). Status codes are not failures: callers read
  // LastHead(). The event pump keeps running meanwhile.
  int Send(const HttpRequestSpec& request);

  // The same request with its parts in a row.
  int HttpRequest(std::string_view method, std::string_view url, const std::string& headerFile,
                  const std::string& bodyFile, std::string_view agentKey,
                  std::string_view referer = {}, std::string_view cookie = {},
                  std::string_view proxy = {}, std::string_view extraHeaders = {});

  // The first line of the most recent response's headers ("" when none came).
  const std::string& LastStatusLine() const { return lastHead_.StatusLine(); }
  // The most recent response's head (empty when none came).
  const ResponseHead& LastHead() const { return lastHead_; }
  HttpFailure LastFailure() const { return lastFailure_; }

  // Limits; tests shorten the timeouts.
  long connectTimeoutMilliseconds = 15000;
  long receiveTimeoutMilliseconds = 30000;
  size_t maxBodyBytes = 64u << 20;
  // The overall limit of a transfer: the base, plus this much per 100 KB the
  // server announced (or sent), never more than the cap. A server that
  // drips bytes keeps the receive timeout quiet, but not this one.
  long overallBaseMilliseconds = 60000;
  long overallPer100KilobytesMilliseconds = 1000;
  long overallCapMilliseconds = 30 * 60 * 1000;
  // A certificate authority file trusted besides the system's store (tests
  // give their server's own); empty for the system's store alone.
  std::string extraCaFile;

  // What one transfer collects (the transfer callbacks fill it).
  struct Transfer;

 private:
  // The request's header lines in their order, the refused ones left out
  // (each shown in a message box).
  std::vector<std::string> BuildHeaderBlock(const HttpRequestSpec& request);
  // Runs the transfer to its end, pumping the window; the event loop of the
  // call that behaves as if it blocked.
  void RunPumped(void* multi, Transfer& transfer);
  // Writes one of the request's files.
  bool Store(const HttpRequestSpec& request, const std::string& path, std::string_view bytes);
  // Writes the header file and the body file; the call's result.
  int StoreResult(const HttpRequestSpec& request, bool isHead, Transfer& transfer);

  // A stop of the running cycle or an exit request arrived.
  bool StopArrived() const;

  // The easy and multi handle kept for the client's life: making them anew
  // for every request costs more than a probe answered 304. A request made
  // while they are in use (nested in the pump) gets handles of its own.
  struct Handles;
  class HandleLease;
  std::unique_ptr<Handles> kept_;
  bool keptInUse_ = false;

  // The scratch files of range requests, kept open between requests.
  common::ScratchFiles scratchFiles_;

  Monitor& monitor_;
  ResponseHead lastHead_;
  HttpFailure lastFailure_ = HttpFailure::kNone;
};

}  // namespace yagura
