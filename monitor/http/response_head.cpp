#include "monitor/http/response_head.h"

#include <charconv>

namespace yagura {
namespace {

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view TrimBlanks(std::string_view text) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string_view::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

}  // namespace

int StatusCodeOf(std::string_view statusLine) {
  if (!statusLine.starts_with("HTTP/")) return 0;
  const size_t blank = statusLine.find(' ');
  if (blank == std::string_view::npos) return 0;
  std::string_view code = statusLine.substr(blank + 1);
  code = code.substr(0, code.find(' '));
  if (code.size() != 3) return 0;
  int value = 0;
  auto [end, error] = std::from_chars(code.data(), code.data() + code.size(), value);
  return error == std::errc() && end == code.data() + code.size() ? value : 0;
}

ResponseHead ResponseHead::Parse(std::string_view text) {
  ResponseHead head;
  bool first = true;
  while (!text.empty()) {
    const size_t lf = text.find('\n');
    std::string_view line = text.substr(0, lf);
    text = lf == std::string_view::npos ? std::string_view() : text.substr(lf + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) break;
    if (first) {
      head.statusLine_ = line;
      first = false;
      continue;
    }
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;  // not a header line
    head.headers_.emplace_back(line.substr(0, colon), TrimBlanks(line.substr(colon + 1)));
  }
  return head;
}

int ResponseHead::StatusCode() const { return StatusCodeOf(statusLine_); }

std::optional<std::string_view> ResponseHead::Find(std::string_view name) const {
  for (const auto& [headerName, value] : headers_) {
    if (EqualIgnoringCase(headerName, name)) return std::string_view(value);
  }
  return std::nullopt;
}

std::optional<long long> ResponseHead::ContentLength() const {
  const auto text = Find("Content-Length");
  if (!text || text->empty()) return std::nullopt;
  long long value = 0;
  auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), value);
  if (error != std::errc() || end != text->data() + text->size() || value < 0) return std::nullopt;
  return value;
}

}  // namespace yagura
