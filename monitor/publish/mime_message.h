// The mail as it goes over the wire: RFC 5322 headers, the subject as
// RFC 2047 encoded words, the body in UTF-8 with base64, CR LF line ends.
// UTF-8 holds every character of a board's logs (CP932 has ①, ㈱ and 髙,
// which ISO-2022-JP does not), so nothing is lost on the way.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace yagura {

struct MimeMessageParts {
  std::string from;
  std::string to;
  std::string cc;
  std::string subject;      // UTF-8
  std::string body;         // UTF-8; any line ends
  std::string extraHeader;  // complete header lines, each ended by CR LF
  std::time_t date = 0;
  std::string messageId;  // "<...>"
};

std::string BuildMimeMessage(const MimeMessageParts& parts);

// A header value: as it stands when it is short printable ASCII, else
// "=?UTF-8?B?...?=" words of at most 75 characters, folded with CR LF and a
// blank, never splitting a character.
std::string EncodeHeaderText(std::string_view utf8);

std::string Base64(std::string_view bytes);

// "Tue, 08 Dec 2026 21:02:26 +0900" in local time.
std::string MailDateText(std::time_t t);

// "<time.random@domain of the sender>" ("localhost" without one).
std::string NewMessageId(std::string_view from, std::time_t t);

}  // namespace yagura
