#include "converter/reading/thread.h"

#include <algorithm>

#include "common/encoding.h"

namespace converter {

namespace {

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

}  // namespace

std::string Thread::DecodeField(std::string_view raw) const {
  return common::DecodeToUtf8(raw, CharsetOf(inputKanjicode));
}

std::string Thread::ToOutputEncoding(std::string_view raw) const {
  if (CharsetOf(inputKanjicode) == CharsetOf(outputKanjicode)) return std::string(raw);
  std::string out;
  // A character the output encoding lacks becomes a numeric reference, so nothing is lost on the
  // page.
  std::string utf8 = DecodeField(raw);
  if (common::EncodeFromUtf8(utf8, CharsetOf(outputKanjicode), out)) return out;
  out.clear();
  std::string piece;
  size_t k = 0;
  while (k < utf8.size()) {
    unsigned char c = static_cast<unsigned char>(utf8[k]);
    size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    length = std::min(length, utf8.size() - k);
    std::string_view ch(utf8.data() + k, length);
    if (common::EncodeFromUtf8(ch, CharsetOf(outputKanjicode), piece)) {
      out += piece;
    } else {
      // Code point of the character for the reference.
      unsigned cp = length == 1 ? c : c & (0xFF >> (length + 1));
      for (size_t j = 1; j < length; ++j) cp = cp << 6 | (static_cast<unsigned char>(ch[j]) & 0x3F);
      out += "&#" + std::to_string(cp) + ";";
    }
    k += length;
  }
  return out;
}

}  // namespace converter
