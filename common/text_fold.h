// Text comparison that ignores letter case, character width and kana type,
// as a user expects when searching titles: "abc" finds "ＡＢＣ", "ｶﾞｷﾞ" finds
// "がぎ".
#pragma once

#include <string>
#include <string_view>

namespace common {

// Folds only case, width and kana type: full-width ASCII and half-width
// katakana (with their voiced marks) to one width, letters to one case,
// katakana to hiragana. Not compatibility folding: ① stays ①, ㈱ stays ㈱.
// UTF-8 in and out.
std::string FoldForSearch(std::string_view utf8);

// True when the folded needle occurs in the folded haystack; an empty needle
// is found everywhere.
bool ContainsFolded(std::string_view haystack, std::string_view needle);

}  // namespace common
