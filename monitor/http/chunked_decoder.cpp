#include "monitor/http/chunked_decoder.h"

#include <optional>

namespace yagura {
namespace {

enum class ChunkState { kSizeLine, kData, kDataEnd, kDone };

std::optional<size_t> ParseChunkSize(std::string_view line) {
  size_t semicolon = line.find(';');
  if (semicolon != std::string_view::npos) line = line.substr(0, semicolon);
  size_t first = line.find_first_not_of(" \t");
  if (first == std::string_view::npos) return std::nullopt;
  line = line.substr(first, line.find_last_not_of(" \t") - first + 1);
  size_t size = 0;
  for (char c : line) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else {
      return std::nullopt;
    }
    if (size > (SIZE_MAX >> 4)) return std::nullopt;
    size = size * 16 + static_cast<size_t>(digit);
  }
  return size;
}

}  // namespace

std::string DecodeChunked(std::string_view body) {
  std::string data;
  ChunkState state = ChunkState::kSizeLine;
  size_t pos = 0;
  size_t chunkSize = 0;
  while (state != ChunkState::kDone) {
    switch (state) {
      case ChunkState::kSizeLine: {
        size_t crlf = body.find("\r\n", pos);
        if (crlf == std::string_view::npos) return data;
        auto size = ParseChunkSize(body.substr(pos, crlf - pos));
        if (!size) return data;  // not a size line: what came so far is all
        pos = crlf + 2;
        chunkSize = *size;
        state = chunkSize == 0 ? ChunkState::kDone : ChunkState::kData;
        break;
      }
      case ChunkState::kData: {
        // Chunk data are taken by count: a CR LF inside them is data.
        size_t available = body.size() - pos;
        data.append(body.substr(pos, std::min(chunkSize, available)));
        if (available < chunkSize) return data;
        pos += chunkSize;
        state = ChunkState::kDataEnd;
        break;
      }
      case ChunkState::kDataEnd:
        if (body.substr(pos, 2) == "\r\n") pos += 2;
        state = ChunkState::kSizeLine;
        break;
      case ChunkState::kDone:
        break;
    }
  }
  return data;
}

}  // namespace yagura
