// One reading of a response head (the status line and the header lines), for
// every caller: the HTTP client, the size check after a download and the
// status tests of the board refresh and the dat retrieval. Header names are
// compared ignoring case, as HTTP requires.
//
// The header files' own reader and writer (header_file.h) keep their exact,
// case-sensitive line starts: that is the documented format of those files.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace yagura {

// Status codes the monitor acts on.
inline constexpr int kHttpOk = 200;
inline constexpr int kHttpPartialContent = 206;
inline constexpr int kHttpNotModified = 304;
// The server answers 416 to a range request when the log shrank.
inline constexpr int kHttpRangeNotSatisfiable = 416;

class ResponseHead {
 public:
  // Lines end in CR LF (a bare LF is accepted); the first is the status
  // line, the head ends at the first empty line.
  static ResponseHead Parse(std::string_view text);

  const std::string& StatusLine() const { return statusLine_; }
  // The three digits after the protocol ("HTTP/1.1 206 Partial" -> 206); 0
  // when the status line has none.
  int StatusCode() const;
  // The value of the first header of that name (ignoring case), without the
  // blanks around it; nothing when the head has no such header.
  std::optional<std::string_view> Find(std::string_view name) const;
  // Content-Length as a number: nothing when absent or not a number.
  std::optional<long long> ContentLength() const;

 private:
  std::string statusLine_;
  std::vector<std::pair<std::string, std::string>> headers_;
};

// The status code of a status line; 0 when it has none.
int StatusCodeOf(std::string_view statusLine);

}  // namespace yagura
