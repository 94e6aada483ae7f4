// Conversion between the byte encodings of board files and UTF-8 text.
#pragma once

#include <string>
#include <string_view>

namespace common {

enum class Charset {
  kCp932,  // Microsoft Shift_JIS (windows-31j): board files, state files
  kEucJp,
  kUtf8,
  kBig5,
};

// ICU converter name of a charset.
const char* CharsetName(Charset charset);

// Decodes bytes into UTF-8. A byte sequence that has no mapping becomes
// U+FFFD, one per bad sequence, so nothing vanishes silently.
std::string DecodeToUtf8(std::string_view bytes, Charset charset);

// Encodes UTF-8 text. A character that does not exist in the target becomes
// `substitute` (bytes of the target encoding); invalid UTF-8 counts as such a
// character. Returns false when any substitution was made.
bool EncodeFromUtf8(std::string_view utf8, Charset charset, std::string& out,
                    std::string_view substitute = "?");

// Convenience forms for the code page of every text file the programs write.
inline std::string Cp932ToUtf8(std::string_view bytes) {
  return DecodeToUtf8(bytes, Charset::kCp932);
}
std::string Utf8ToCp932(std::string_view utf8);

// True when `bytes` is well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

// Number of UTF-16 code units of UTF-8 text (invalid bytes count one each).
size_t Utf16Length(std::string_view utf8);

}  // namespace common
