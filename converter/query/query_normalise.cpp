#include "converter/query/query_normalise.h"

#include <cstdint>
#include <cstdlib>

namespace converter::query {
namespace {

// Full-width forms of the half-width katakana block U+FF61..U+FF9F.
constexpr char16_t kFullKana[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9,
    0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1,
    0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5,
    0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9,
    0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C};

// Next code point of UTF-8 text; a malformed byte is taken as U+FFFD.
char32_t NextCodePoint(std::string_view text, size_t& at) {
  unsigned char c = static_cast<unsigned char>(text[at]);
  int length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
  if (length == 0 || at + static_cast<size_t>(length) > text.size()) {
    ++at;
    return 0xFFFD;
  }
  char32_t code = length == 1 ? c : c & (0x7F >> length);
  for (int k = 1; k < length; ++k) {
    unsigned char next = static_cast<unsigned char>(text[at + static_cast<size_t>(k)]);
    if ((next & 0xC0) != 0x80) {
      ++at;
      return 0xFFFD;
    }
    code = (code << 6) | (next & 0x3F);
  }
  at += static_cast<size_t>(length);
  return code;
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

char32_t Normalised(char32_t code) {
  if (code == 0x5C) return 0xFFE5;                        // "\" is the yen sign in Shift_JIS
  if (code > 0x20 && code < 0x7F) code += 0xFF01 - 0x21;  // ASCII to full width
  if (code >= 0xFF61 && code <= 0xFF9F) return kFullKana[code - 0xFF61];
  if (code >= 0xFF41 && code <= 0xFF5A) return code - 0x20;  // ａ-ｚ to Ａ-Ｚ
  return code;
}

}  // namespace

std::string NormaliseForQuery(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  for (size_t at = 0; at < utf8.size();) {
    char32_t code = NextCodePoint(utf8, at);
    if (code <= 0x20 || code == 0x7F || code == 0x3000) continue;  // blanks and controls
    AppendUtf8(out, Normalised(code));
  }
  return out;
}

std::string DecodeEntities(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    if (text[at] != '&') {
      out += text[at++];
      continue;
    }
    size_t semicolon = text.find(';', at);
    if (semicolon == std::string_view::npos || semicolon - at > 10) {
      out += text[at++];
      continue;
    }
    std::string_view name = text.substr(at + 1, semicolon - at - 1);
    char32_t code = 0;
    if (name == "amp")
      code = '&';
    else if (name == "lt")
      code = '<';
    else if (name == "gt")
      code = '>';
    else if (name == "quot")
      code = '"';
    else if (name == "apos")
      code = '\'';
    else if (name == "nbsp")
      code = ' ';
    else if (name.size() > 1 && name[0] == '#') {
      std::string digits(name.substr(1));
      bool hex = digits[0] == 'x' || digits[0] == 'X';
      char* end = nullptr;
      unsigned long value = std::strtoul(digits.c_str() + (hex ? 1 : 0), &end, hex ? 16 : 10);
      if (end && *end == '\0' && value > 0 && value < 0x110000 &&
          !(value >= 0xD800 && value < 0xE000)) {
        code = static_cast<char32_t>(value);
      }
    }
    if (code == 0) {
      out += text[at++];
      continue;
    }
    AppendUtf8(out, code);
    at = semicolon + 1;
  }
  return out;
}

}  // namespace converter::query
