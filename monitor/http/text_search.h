// Small text helpers of the HTTP layer: ASCII case-insensitive search and the
// leading number of a header value.
#pragma once

#include <string>
#include <string_view>

namespace yagura {

// Position of the first `needle` in `text` ignoring ASCII case, or npos.
size_t FindIgnoringCase(std::string_view text, std::string_view needle, size_t from = 0);
bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix);
std::string ToUpperAscii(std::string_view text);

// The number at the start of `text` after blanks ("1234 bytes" gives 1234);
// 0 when there is none. Values beyond the range saturate.
long long LeadingCount(std::string_view text);

}  // namespace yagura
