// The scripts' texts as pieces with layout markers, made at build time from
// popup.js and be_page.js (see make_pieces.cmake).
#pragma once

#include <string_view>
#include <vector>

namespace converter::script {

// The pop-up script, in its fixed order of pieces.
std::vector<std::string_view> PopupPieces();

// The script of Be board pages.
std::vector<std::string_view> BePagePieces();

}  // namespace converter::script
