// The chunked transfer coding of HTTP/1.1, decoded from a whole body.
#pragma once

#include <string>
#include <string_view>

namespace yagura {

// The concatenated chunk data: size lines are hexadecimal (blanks trimmed,
// extensions after ";" ignored); decoding stops at the chunk of size 0,
// dropping the trailer. A body cut short gives the data that arrived.
std::string DecodeChunked(std::string_view body);

}  // namespace yagura
