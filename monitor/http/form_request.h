// The form upload: one multipart/form-data POST, built byte for byte here
// (text fields first, then the file), sent over the socket layer (or over
// TLS for an https address) and its answer kept in a response file for the
// caller to judge.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/core/monitor.h"
#include "monitor/http/socket_layer.h"

namespace yagura {

// "boundary_yyyymmddhhmmss" of the local time `now`.
std::string FormBoundary(std::time_t now);

// The text as single bytes: every character outside ASCII becomes one "?"
// (a byte that is not UTF-8 counts as one character).
std::string AsciiText(std::string_view utf8);

// What goes into one request.
struct FormRequestParts {
  std::string version;    // "HTTP/1.1"
  std::string url;        // host and path come from it
  std::string userAgent;  // the header's value
  std::string referer;    // "" for none
  std::string formData;   // "name=value&name=value"
  std::string fileSpec;   // field name, TAB, path of the file
  std::string boundary;
};

// The request bytes: head, text parts, file part head, the file's bytes
// unchanged, closing line. nullopt when the file cannot be read.
std::optional<std::string> BuildFormRequest(const FormRequestParts& parts);

class FormPoster {
 public:
  FormPoster(Monitor& monitor, SocketLayer& sockets) : monitor_(monitor), sockets_(sockets) {}

  // method "upload" (any case; the request line says POST). 0 when the
  // exchange completed and `responseFile` holds the answer (head, empty
  // line, body with any chunked framing removed); -1 otherwise, with the
  // response file untouched. An explicit port in the address wins over
  // `port`; an https address is sent over TLS.
  int FormRequest(std::string_view method, std::string_view version, std::string_view url,
                  std::uint16_t port, const std::string& responseFile, std::string_view formData,
                  std::string_view agentKey, std::string_view referer, std::string_view extra,
                  bool showErrors);

  // The longest an exchange may take from the first byte sent to the
  // server's close, however the server trickles; 0 for no bound.
  int exchangeLimitMilliseconds = 300000;
  // https only: a CA bundle trusted instead of the system's store (tests).
  std::string tlsCaFile;

 private:
  Monitor& monitor_;
  SocketLayer& sockets_;
};

}  // namespace yagura
