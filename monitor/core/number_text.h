// Numbers read from texts the way the settings file and the interval box
// expect them: the leading numeric part of a text, 0 when there is none.
#pragma once

#include <string_view>

namespace yagura {

// Leading numeric text (blanks, sign, digits, a fraction) as a number; "12a"
// is 12, " 2" is 2, "x" and "" are 0.
double LeadingNumber(std::string_view text);

// LeadingNumber rounded to the nearest integer (halves to even), clamped to
// the int range.
int LeadingInteger(std::string_view text);

}  // namespace yagura
