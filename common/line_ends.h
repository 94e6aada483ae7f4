// CR LF helpers: every text file the programs write ends its lines in CR LF.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace common {

inline constexpr std::string_view kCrLf = "\r\n";

// CR LF -> LF, then a lone CR -> LF, then LF -> CR LF.
std::string NormalizeToCrLf(std::string_view text);

// Splits at CR LF; a last line without CR LF is kept. An empty text gives no
// lines; "a\r\n" gives {"a"}.
std::vector<std::string_view> SplitCrLfLines(std::string_view text);

// Joins lines, each followed by CR LF.
std::string JoinCrLfLines(const std::vector<std::string>& lines);

// Number of LF bytes.
size_t CountLineFeeds(std::string_view bytes);

}  // namespace common
