// Response header files (".head"): the raw status and header lines of a
// response, each ending in CR LF, written beside the downloaded body.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace yagura {

// The lines the monitor looks at; "-" means absent.
struct HeaderFields {
  std::string status = "-";         // "HTTP/..."
  std::string date = "-";           // "Date: ..."
  std::string lastModified = "-";   // "Last-Modified: ..."
  std::string contentLength = "-";  // "Content-Length: ..."
  std::string readRes = "-";        // "X-ReadRes: ..."
};

HeaderFields ReadHeaderFile(const std::string& path);
// The same from the file's text.
HeaderFields ParseHeaderFields(std::string_view text);

// Each field: "-" removes the line, "" keeps it, any other text replaces it.
// Replaces the file atomically; always returns 1.
int WriteHeaderFile(const std::string& path, const std::string& status, const std::string& date,
                    const std::string& lastModified, const std::string& contentLength,
                    const std::string& readRes);

// What WriteHeaderFile writes, given the file's present text (nullopt when
// there is none).
std::string EditHeaderText(const std::optional<std::string>& existing, const std::string& status,
                           const std::string& date, const std::string& lastModified,
                           const std::string& contentLength, const std::string& readRes);

// The size check shared by the board refresh and the dat retrieval.
struct ContentLengthCheck {
  bool headerFileExists = false;
  bool hasContentLength = false;
  std::string lengthText;  // the text after "Content-Length: " up to CR LF
  long long expected = 0;  // its leading number, 0 when none
  long long actual = -1;   // size of the body file, -1 when missing
  bool Matches() const { return hasContentLength && expected == actual; }
};
ContentLengthCheck CheckContentLength(const std::string& headerPath, const std::string& bodyPath);

}  // namespace yagura
