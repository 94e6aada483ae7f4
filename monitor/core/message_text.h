// The fixed pieces of every log and status message: the three six-character
// prefixes and the time stamps.
#pragma once

#include <ctime>
#include <string>

namespace yagura {

// "（　´ω`）": the steps of the run cycle.
inline constexpr const char* kStepPrefix =
    "\xEF\xBC\x88\xE3\x80\x80\xC2\xB4\xCF\x89\x60\xEF\xBC\x89";
// "（；´ω`）": the details inside a step.
inline constexpr const char* kDetailPrefix =
    "\xEF\xBC\x88\xEF\xBC\x9B\xC2\xB4\xCF\x89\x60\xEF\xBC\x89";
// "（ヽ´ω`）": the stopped state.
inline constexpr const char* kRestPrefix =
    "\xEF\xBC\x88\xE3\x83\xBD\xC2\xB4\xCF\x89\x60\xEF\xBC\x89";

// Local time "hh:mm:ss" (24-hour).
std::string TimeText(std::time_t t);
// Local date and time "yyyy/mm/dd(ddd)hh:mm:ss", weekday from the C locale.
std::string LogDateTimeText(std::time_t t);

}  // namespace yagura
