#include "common/text_fold.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <vector>

namespace common {
namespace {

// Half-width katakana and marks U+FF61..U+FF9F as their full-width forms.
constexpr char16_t kHalfWidthKana[] = {
    0x3002, 0x300C, 0x300D, 0x3001, 0x30FB, 0x30F2, 0x30A1, 0x30A3, 0x30A5, 0x30A7, 0x30A9,
    0x30E3, 0x30E5, 0x30E7, 0x30C3, 0x30FC, 0x30A2, 0x30A4, 0x30A6, 0x30A8, 0x30AA, 0x30AB,
    0x30AD, 0x30AF, 0x30B1, 0x30B3, 0x30B5, 0x30B7, 0x30B9, 0x30BB, 0x30BD, 0x30BF, 0x30C1,
    0x30C4, 0x30C6, 0x30C8, 0x30CA, 0x30CB, 0x30CC, 0x30CD, 0x30CE, 0x30CF, 0x30D2, 0x30D5,
    0x30D8, 0x30DB, 0x30DE, 0x30DF, 0x30E0, 0x30E1, 0x30E2, 0x30E4, 0x30E6, 0x30E8, 0x30E9,
    0x30EA, 0x30EB, 0x30EC, 0x30ED, 0x30EF, 0x30F3, 0x309B, 0x309C};

bool IsVoicedMark(UChar32 c) { return c == 0x3099 || c == 0x309B || c == 0xFF9E; }
bool IsSemiVoicedMark(UChar32 c) { return c == 0x309A || c == 0x309C || c == 0xFF9F; }

// The katakana that take the voiced mark: カ..ト (every second one, ッ
// excepted), ハ..ホ (every third), and ウ.
bool TakesVoicedMark(UChar32 c) {
  if (c >= 0x30AB && c <= 0x30C2) return (c - 0x30AB) % 2 == 0;
  if (c >= 0x30C4 && c <= 0x30C8) return (c - 0x30C4) % 2 == 0;
  if (c >= 0x30CF && c <= 0x30DB) return (c - 0x30CF) % 3 == 0;
  return c == 0x30A6;
}
bool TakesSemiVoicedMark(UChar32 c) { return c >= 0x30CF && c <= 0x30DB && (c - 0x30CF) % 3 == 0; }

// One width: full-width ASCII and the ideographic space to ASCII, half-width
// katakana to full-width katakana.
UChar32 OneWidth(UChar32 c) {
  if (c >= 0xFF01 && c <= 0xFF5E) return c - 0xFF01 + 0x21;
  if (c == 0x3000) return 0x20;
  if (c >= 0xFF61 && c <= 0xFF9F) return kHalfWidthKana[c - 0xFF61];
  return c;
}

// Hiragana to katakana for the mark composition (ゔ and the voiced kana
// are at the same offset).
UChar32 ToKatakana(UChar32 c) { return c >= 0x3041 && c <= 0x3096 ? c + 0x60 : c; }

}  // namespace

std::string FoldForSearch(std::string_view utf8) {
  const icu::UnicodeString text = icu::UnicodeString::fromUTF8(
      icu::StringPiece(utf8.data(), static_cast<int32_t>(utf8.size())));
  std::vector<UChar32> out;
  out.reserve(static_cast<size_t>(text.length()));
  for (int32_t i = 0; i < text.length(); i = text.moveIndex32(i, 1)) {
    const UChar32 raw = text.char32At(i);
    UChar32 c = OneWidth(raw);
    // A voiced or semi-voiced mark joins the kana before it (ｶﾞ is ガ).
    if (!out.empty() && (IsVoicedMark(raw) || IsSemiVoicedMark(raw))) {
      const UChar32 base = ToKatakana(out.back());
      const bool hiragana = base != out.back();
      if (IsVoicedMark(raw) && TakesVoicedMark(base)) {
        const UChar32 voiced = base == 0x30A6 ? 0x30F4 : base + 1;
        out.back() = hiragana ? voiced - 0x60 : voiced;
        continue;
      }
      if (IsSemiVoicedMark(raw) && TakesSemiVoicedMark(base)) {
        out.back() = hiragana ? base + 2 - 0x60 : base + 2;
        continue;
      }
    }
    c = u_foldCase(c, U_FOLD_CASE_DEFAULT);
    out.push_back(c);
  }
  icu::UnicodeString folded;
  for (UChar32 c : out) {
    // Katakana to hiragana (ヴ to ゔ as well).
    folded.append(c >= 0x30A1 && c <= 0x30F6 ? c - 0x60 : c);
  }
  std::string result;
  folded.toUTF8String(result);
  return result;
}

bool ContainsFolded(std::string_view haystack, std::string_view needle) {
  if (needle.empty()) return true;
  return FoldForSearch(haystack).find(FoldForSearch(needle)) != std::string::npos;
}

}  // namespace common
