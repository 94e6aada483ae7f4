#include "converter/reading/kanjicode.h"

namespace converter {
namespace {

// Code point of the UTF-8 character at text[i]; `length` receives its size.
unsigned DecodeOne(std::string_view text, size_t i, size_t& length) {
  unsigned char c = static_cast<unsigned char>(text[i]);
  length = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  if (i + length > text.size()) length = 1;
  if (length == 1) return c < 0x80 ? c : 0xFFFD;
  unsigned value = c & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) value = (value << 6) | (text[i + k] & 0x3F);
  return value;
}

}  // namespace

common::Charset CharsetOf(int kanjicode) {
  switch (kanjicode) {
    case 2:
      return common::Charset::kEucJp;
    case 3:
      return common::Charset::kUtf8;
    case 4:
      return common::Charset::kBig5;
    default:
      return common::Charset::kCp932;
  }
}

std::string EncodeWithReferences(std::string_view utf8, common::Charset charset) {
  std::string out;
  if (common::EncodeFromUtf8(utf8, charset, out)) return out;
  // Something had no mapping: redo it character by character.
  out.clear();
  std::string one;
  for (size_t i = 0; i < utf8.size();) {
    size_t length = 0;
    unsigned codePoint = DecodeOne(utf8, i, length);
    std::string_view piece = utf8.substr(i, length);
    i += length;
    if (codePoint < 0x80) {
      out.append(piece);
      continue;
    }
    one.clear();
    if (common::EncodeFromUtf8(piece, charset, one)) {
      out += one;
    } else {
      out += "&#" + std::to_string(codePoint) + ";";
    }
  }
  return out;
}

}  // namespace converter
