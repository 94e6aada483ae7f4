#include "converter/reading/dat_line.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace converter {
namespace {

// First "<>" in [p, end), or null. Bodies hold many '<' ("<br>", anchors),
// so the pair is looked for sixteen bytes at a time.
const char* FindSeparator(const char* p, const char* end) {
#if defined(__SSE2__)
  const __m128i lt = _mm_set1_epi8('<');
  const __m128i gt = _mm_set1_epi8('>');
  while (end - p >= 17) {
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    int mask = _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, lt), _mm_cmpeq_epi8(b, gt)));
    if (mask) return p + __builtin_ctz(mask);
    p += 16;
  }
#endif
  for (; p + 1 < end; ++p) {
    if (p[0] == '<' && p[1] == '>') return p;
  }
  return nullptr;
}

}  // namespace

DatFields SplitCurrentForm(std::string_view line) {
  DatFields out;
  const char* end = line.data() + line.size();
  const char* start = line.data();
  while (out.count < kMaxFields) {
    const char* separator = FindSeparator(start, end);
    if (!separator) {
      out.field[out.count++] = std::string_view(start, end - start);
      break;
    }
    out.field[out.count++] = std::string_view(start, separator - start);
    start = separator + 2;
    if (start == end && out.count < kMaxFields) {
      out.field[out.count++] = std::string_view(start, 0);
      break;
    }
  }
  return out;
}

DatFields SplitOldForm(std::string_view line) {
  DatFields out;
  int separators = 0;
  size_t start = 0;
  while (out.count < kMaxFields) {
    size_t comma = separators < 8 ? line.find(',', start) : std::string_view::npos;
    if (comma == std::string_view::npos) {
      out.field[out.count++] = line.substr(start);
      break;
    }
    ++separators;
    out.field[out.count++] = line.substr(start, comma - start);
    start = comma + 1;
  }
  return out;
}

DatFields SplitDatLine(std::string_view line, bool* oldForm) {
  bool current = line.find("<>") != std::string_view::npos;
  if (oldForm) *oldForm = !current;
  return current ? SplitCurrentForm(line) : SplitOldForm(line);
}

bool NextLine(std::string_view text, size_t& pos, std::string_view& line) {
  if (pos >= text.size()) return false;
  const char* begin = text.data() + pos;
  const char* lf = static_cast<const char*>(std::memchr(begin, '\n', text.size() - pos));
  size_t length = lf ? static_cast<size_t>(lf - begin) : text.size() - pos;
  pos += length + (lf ? 1 : 0);
  if (length > 0 && begin[length - 1] == '\r') --length;
  line = std::string_view(begin, length);
  return true;
}

}  // namespace converter
