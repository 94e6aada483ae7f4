#include "common/text_fold.h"

#include <unicode/normalizer2.h>
#include <unicode/unistr.h>

namespace common {

std::string FoldForSearch(std::string_view utf8) {
  UErrorCode status = U_ZERO_ERROR;
  const icu::Normalizer2* fold = icu::Normalizer2::getNFKCCasefoldInstance(status);
  icu::UnicodeString text = icu::UnicodeString::fromUTF8(
      icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  if (U_SUCCESS(status)) {
    icu::UnicodeString folded = fold->normalize(text, status);
    if (U_SUCCESS(status)) text = folded;
  }
  for (int32_t i = 0; i < text.length(); ++i) {
    char16_t c = text.charAt(i);
    if (c >= 0x30A1 && c <= 0x30F6) text.setCharAt(i, static_cast<char16_t>(c - 0x60));
  }
  std::string out;
  text.toUTF8String(out);
  return out;
}

bool ContainsFolded(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return true;
  return FoldForSearch(haystack).find(FoldForSearch(needle)) != std::string::npos;
}

}  // namespace common
