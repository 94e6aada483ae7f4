// The usage screens and the help pages of the options that pack switches.
#pragma once

#include <string>
#include <string_view>

#include "converter/options/options.h"

namespace converter {

inline constexpr std::string_view kProgramName = "shoin";
inline constexpr std::string_view kVersion = "0.35a";

// The screen shown when the program is started without any argument.
std::string ShortUsage(Mode mode);
// The screen of "shoin /h": every option line.
std::string LongUsage(Mode mode);
// The help page of an option ("a", "f", "i", "js", "m", "mv", "o", "q", "s",
// "t", "ts"); "" when the option has none.
std::string HelpPage(std::string_view option, Mode mode);

}  // namespace converter
