// The form in which titles and query terms are compared: every character at
// full width, letters in upper case, no blanks. "te st", "TEST" and "ｔｅｓｔ"
// all become "ＴＥＳＴ".
#pragma once

#include <string>
#include <string_view>

namespace converter::query {

// UTF-8 in and out. Printable ASCII becomes its full-width form ("\" the yen
// sign "￥", as the Shift_JIS byte 0x5C is shown), half-width katakana and
// punctuation their full-width forms (a voiced half-width kana stays two
// characters, the kana and "゛"), full-width a-z become A-Z, and blanks
// (ideographic and ASCII) and control characters are dropped. Nothing else is
// folded: kana type and compatibility forms (①, ㈱) stay as they are.
std::string NormaliseForQuery(std::string_view utf8);

// Title text with the entities a log writes (&amp; &lt; &gt; &quot; &#39;
// and numeric references) decoded, so that a search finds what a reader sees.
std::string DecodeEntities(std::string_view utf8);

}  // namespace converter::query
