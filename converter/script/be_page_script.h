// What pages of Be boards carry whether or not pop-ups are enabled: the page
// script (level filter, folding, profile links, cookies), its style and the
// level buttons of the link bar.
#pragma once

#include <string>
#include <string_view>

namespace converter::script {

constexpr std::string_view kBePageStyle =
    "<style type=\"text/css\"><!-- dl{ line-height: 1.2; } --></style>";

// The script (UTF-8, embedded form) with the thread's address as the base of
// the profile links; only the signs an address needs are kept of it.
std::string BePageScript(std::string_view threadAddress, std::string_view eol);

// The level buttons for the right-floating part of the link bar (UTF-8).
std::string BeLevelButtons(std::string_view eol);

}  // namespace converter::script
