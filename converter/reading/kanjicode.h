// Kanjicodes and text in an output encoding.
#pragma once

#include <string>
#include <string_view>

#include "common/encoding.h"

namespace converter {

// The charset of a Kanjicode (1 Shift_JIS, 2 EUC-JP, 3 UTF-8, 4 big5).
common::Charset CharsetOf(int kanjicode);

// Encodes UTF-8 text; a character the target lacks becomes a numeric
// character reference (&#NNNN;), so the browser still shows it.
std::string EncodeWithReferences(std::string_view utf8, common::Charset charset);

}  // namespace converter
