#include "monitor/publish/mime_message.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <random>

#include "common/line_ends.h"

namespace yagura {
namespace {

constexpr size_t kBodyLineChars = 76;      // base64 lines (RFC 2045)
constexpr size_t kEncodedWordBytes = 45;   // 60 base64 characters: words stay under 75
constexpr size_t kPlainHeaderLimit = 900;  // a plain value longer than this is encoded

// A header value must not end the header: CR and LF become blanks, so a
// setting cannot add lines of its own to the mail.
std::string OneLine(std::string_view text) {
  std::string line(text);
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return line;
}

bool IsPlainAscii(std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c > 0x7E) return false;
  }
  return true;
}

// The length of the UTF-8 sequence starting with `lead` (1 for a stray byte).
size_t SequenceLength(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF7) return 4;
  if (lead >= 0xE0) return 3;
  if (lead >= 0xC0) return 2;
  return 1;
}

// "Name: value" lines of the extra header; anything else is dropped, and so
// are headers this layer writes itself.
std::string CheckedExtraHeader(std::string_view extra) {
  std::string kept;
  const std::string lines = common::NormalizeToCrLf(extra);
  for (std::string_view line : common::SplitCrLfLines(lines)) {
    const size_t colon = line.find(':');
    if (colon == 0 || colon == std::string_view::npos) continue;
    bool nameOk = true;
    for (char c : line.substr(0, colon)) {
      if (c <= ' ' || c > '~') nameOk = false;
    }
    if (!nameOk) continue;
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    kept += std::string(line.substr(0, colon)) + ": " + EncodeHeaderText(value) + "\r\n";
  }
  return kept;
}

}  // namespace

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8) |
                       static_cast<unsigned char>(bytes[i + 2]);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i + 1 == bytes.size()) {
    const unsigned v = static_cast<unsigned char>(bytes[i]) << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == bytes.size()) {
    const unsigned v = (static_cast<unsigned char>(bytes[i]) << 16) |
                       (static_cast<unsigned char>(bytes[i + 1]) << 8);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

std::string EncodeHeaderText(std::string_view utf8) {
  const std::string value = OneLine(utf8);
  if (IsPlainAscii(value) && value.size() <= kPlainHeaderLimit &&
      value.find("=?") == std::string::npos) {
    return value;
  }
  std::string encoded;
  size_t from = 0;
  while (from < value.size()) {
    size_t end = from;
    while (end < value.size()) {
      const size_t next = end + SequenceLength(static_cast<unsigned char>(value[end]));
      if (next - from > kEncodedWordBytes || next > value.size()) break;
      end = next;
    }
    if (end == from) end = std::min(value.size(), from + 1);
    if (!encoded.empty()) encoded += "\r\n ";
    encoded += "=?UTF-8?B?" + Base64(std::string_view(value).substr(from, end - from)) + "?=";
    from = end;
  }
  return encoded;
}

std::string MailDateText(std::time_t t) {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm tm{};
  localtime_r(&t, &tm);
  const long offset = tm.tm_gmtoff / 60;
  const long absOffset = offset < 0 ? -offset : offset;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                kDays[tm.tm_wday % 7], tm.tm_mday, kMonths[tm.tm_mon % 12], tm.tm_year + 1900,
                tm.tm_hour, tm.tm_min, tm.tm_sec, offset < 0 ? '-' : '+', absOffset / 60,
                absOffset % 60);
  return buffer;
}

std::string NewMessageId(std::string_view from, std::time_t t) {
  std::string domain = "localhost";
  if (size_t at = from.rfind('@'); at != std::string_view::npos && at + 1 < from.size()) {
    std::string candidate;
    for (char c : from.substr(at + 1)) {
      if (std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-') candidate += c;
    }
    if (!candidate.empty()) domain = candidate;
  }
  std::random_device device;
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%lld.%08x%08x", static_cast<long long>(t), device(),
                device());
  return "<" + std::string(buffer) + ".yagura@" + domain + ">";
}

std::string BuildMimeMessage(const MimeMessageParts& parts) {
  std::string message;
  message += "Date: " + MailDateText(parts.date) + "\r\n";
  if (!parts.messageId.empty()) message += "Message-ID: " + OneLine(parts.messageId) + "\r\n";
  if (!parts.from.empty()) message += "From: " + OneLine(parts.from) + "\r\n";
  message += "To: " + OneLine(parts.to) + "\r\n";
  if (!parts.cc.empty()) message += "Cc: " + OneLine(parts.cc) + "\r\n";
  message += "Subject: " + EncodeHeaderText(parts.subject) + "\r\n";
  message += "MIME-Version: 1.0\r\n";
  message += "Content-Type: text/plain; charset=UTF-8\r\n";
  message += "Content-Transfer-Encoding: base64\r\n";
  message += CheckedExtraHeader(parts.extraHeader);
  message += "\r\n";
  const std::string encoded = Base64(common::NormalizeToCrLf(parts.body));
  for (size_t i = 0; i < encoded.size(); i += kBodyLineChars) {
    message.append(encoded, i, kBodyLineChars);
    message += "\r\n";
  }
  return message;
}

}  // namespace yagura
