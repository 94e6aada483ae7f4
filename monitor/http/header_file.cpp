#include "monitor/http/header_file.h"

#include <string_view>
#include <vector>

#include "common/file_io.h"
#include "monitor/http/response_head.h"
#include "monitor/http/text_search.h"

namespace yagura {
namespace {

// The header file's lines are recognised by their exact, case-sensitive
// start: the documented format of these files, kept as it is.
constexpr std::string_view kStatusStart = "HTTP/";
constexpr std::string_view kDateStart = "Date: ";
constexpr std::string_view kLastModifiedStart = "Last-Modified: ";
constexpr std::string_view kContentLengthStart = "Content-Length: ";
constexpr std::string_view kReadResStart = "X-ReadRes: ";

// Lines end in CR LF; a bare LF is accepted as well. Nothing after the last
// line end is a line only when it is not empty.
std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (lf == std::string_view::npos) break;
    text.remove_prefix(lf + 1);
  }
  return lines;
}

// "-" removes the line, "" keeps it, anything else replaces it.
std::string_view ApplyRule(std::string_view line, const std::string& argument) {
  if (argument == "-") return {};
  if (argument.empty()) return line;
  return argument;
}

}  // namespace

HeaderFields ReadHeaderFile(const std::string& path) {
  auto bytes = common::ReadWholeFile(path);
  if (!bytes) return {};
  return ParseHeaderFields(*bytes);
}

HeaderFields ParseHeaderFields(std::string_view text) {
  HeaderFields fields;
  for (std::string_view line : SplitLines(text)) {
    if (line.starts_with(kStatusStart)) {
      fields.status = line;
    } else if (line.starts_with(kDateStart)) {
      fields.date = line;
    } else if (line.starts_with(kLastModifiedStart)) {
      fields.lastModified = line;
    } else if (line.starts_with(kContentLengthStart)) {
      fields.contentLength = line;
    } else if (line.starts_with(kReadResStart)) {
      fields.readRes = line;
    }
  }
  return fields;
}

int WriteHeaderFile(const std::string& path, const std::string& status, const std::string& date,
                    const std::string& lastModified, const std::string& contentLength,
                    const std::string& readRes) {
  common::ReplaceFileAtomically(path, EditHeaderText(common::ReadWholeFile(path), status, date,
                                                     lastModified, contentLength, readRes));
  return 1;
}

std::string EditHeaderText(const std::optional<std::string>& existing, const std::string& status,
                           const std::string& date, const std::string& lastModified,
                           const std::string& contentLength, const std::string& readRes) {
  std::string output;
  bool readResHandled = false;
  if (const auto& bytes = existing) {
    for (std::string_view line : SplitLines(*bytes)) {
      if (readRes.empty()) readResHandled = true;
      std::string_view result = line;
      if (line.starts_with(kReadResStart)) {
        readResHandled = true;
        result = ApplyRule(line, readRes);
      } else if (line.starts_with(kStatusStart)) {
        result = ApplyRule(line, status);
      } else if (line.starts_with(kDateStart)) {
        result = ApplyRule(line, date);
      } else if (line.starts_with(kLastModifiedStart)) {
        result = ApplyRule(line, lastModified);
      } else if (line.starts_with(kContentLengthStart)) {
        result = ApplyRule(line, contentLength);
      }
      if (!result.empty()) {
        output += result;
        output += "\r\n";
      }
    }
  }
  // A file without lines (or missing) gets the read-count argument's line,
  // even an empty one: such a file is created holding a single CR LF.
  if (!readResHandled) {
    output += readRes;
    output += "\r\n";
  }
  return output;
}

ContentLengthCheck CheckContentLength(const std::string& headerPath, const std::string& bodyPath) {
  ContentLengthCheck check;
  check.actual = common::FileSize(bodyPath);
  auto bytes = common::ReadWholeFile(headerPath);
  if (!bytes) return check;
  check.headerFileExists = true;
  const ResponseHead head = ResponseHead::Parse(*bytes);
  const auto length = head.Find("Content-Length");
  if (!length) return check;
  check.hasContentLength = true;
  check.lengthText = *length;
  check.expected = LeadingCount(check.lengthText);
  return check;
}

}  // namespace yagura
