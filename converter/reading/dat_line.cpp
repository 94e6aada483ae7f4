#include "converter/reading/dat_line.h"

#include <cstring>

#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define SHOIN_LINES_AVX2 1
#endif

namespace converter {
namespace {

#if defined(SHOIN_LINES_AVX2)

// Hands `take` the LFs and separators of each sixty-four positions from `k`
// while more than that many bytes are left; stops where `take` found the
// line's end. Returns the first position not handed over.
template <typename Take>
__attribute__((target("avx2"))) size_t Blocks64(const char* data, size_t k, size_t n, Take& take) {
  const __m256i newline = _mm256_set1_epi8('\n');
  const __m256i lt = _mm256_set1_epi8('<');
  const __m256i gt = _mm256_set1_epi8('>');
  for (; n - k >= 65; k += 64) {
    const __m256i a0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + k));
    const __m256i b0 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + k + 1));
    const __m256i a1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + k + 32));
    const __m256i b1 = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(data + k + 33));
    const std::uint64_t ends =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a0, newline))) |
        std::uint64_t{
            static_cast<std::uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(a1, newline)))}
            << 32;
    const std::uint64_t pairs =
        static_cast<std::uint32_t>(_mm256_movemask_epi8(
            _mm256_and_si256(_mm256_cmpeq_epi8(a0, lt), _mm256_cmpeq_epi8(b0, gt)))) |
        std::uint64_t{static_cast<std::uint32_t>(_mm256_movemask_epi8(
            _mm256_and_si256(_mm256_cmpeq_epi8(a1, lt), _mm256_cmpeq_epi8(b1, gt))))}
            << 32;
    if (take(k, ends, pairs)) break;
  }
  return k;
}
#endif

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

void SplitCurrentForm(std::string_view line, DatFields& out) {
  out.count = 0;
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
}

DatFields SplitCurrentForm(std::string_view line) {
  DatFields out;
  SplitCurrentForm(line, out);
  return out;
}

void SplitOldForm(std::string_view line, DatFields& out) {
  out.count = 0;
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
}

DatFields SplitOldForm(std::string_view line) {
  DatFields out;
  SplitOldForm(line, out);
  return out;
}

DatFields SplitDatLine(std::string_view line, bool* oldForm) {
  bool current = line.find("<>") != std::string_view::npos;
  if (oldForm) *oldForm = !current;
  return current ? SplitCurrentForm(line) : SplitOldForm(line);
}

// Machines with AVX2 look at sixty-four positions a turn; the program itself
// is built for any x86-64.
bool WideLineBlocks() {
#if defined(SHOIN_LINES_AVX2)
  static const bool avx2 = __builtin_cpu_supports("avx2");
  return avx2;
#else
  return false;
#endif
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

bool CurrentFormLines::Next(std::string_view& line, DatFields& fields) {
  const size_t n = text_.size();
  if (pos_ >= n) return false;
  const char* const data = text_.data();
  const char* const begin = data + pos_;
  const char* fieldStart = begin;
  fields.count = 0;
  // A separator ends a field until the seventh; then only the LF is looked for.
  bool separators = true;
  size_t lf = n;  // the line's LF, n when the text ends without one
  size_t k = pos_;
  auto separatorAt = [&](size_t at) {
    fields.field[fields.count++] = std::string_view(fieldStart, data + at - fieldStart);
    fieldStart = data + at + 2;
    separators = fields.count < kMaxFields;
  };
#if defined(__SSE2__)
  const __m128i newline = _mm_set1_epi8('\n');
  const __m128i lt = _mm_set1_epi8('<');
  const __m128i gt = _mm_set1_epi8('>');
  // LFs and separators of the sixteen positions from `at` (the byte after
  // the sixteenth must be there).
  auto masks = [&](size_t at, unsigned& ends, unsigned& pairs) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + at + 1));
    ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(a, newline)));
    pairs = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, lt), _mm_cmpeq_epi8(b, gt))));
  };
  // Takes the separators before the first LF of a block; true when the line ended in it.
  auto take = [&](size_t at, std::uint64_t ends, std::uint64_t pairs) {
    // Two separators never overlap ("<>" cannot begin at a '>').
    if (ends) pairs &= (ends & -ends) - 1;
    for (; separators && pairs; pairs &= pairs - 1) {
      separatorAt(at + static_cast<size_t>(__builtin_ctzll(pairs)));
    }
    if (!ends) return false;
    lf = at + static_cast<size_t>(__builtin_ctzll(ends));
    return true;
  };
#if defined(SHOIN_LINES_AVX2)
  if (wide_) k = Blocks64(data, k, n, take);
#endif
  // Thirty-two positions a turn, then sixteen, then one at a time.
  for (; lf == n && n - k >= 33; k += 32) {
    unsigned ends0, pairs0, ends1, pairs1;
    masks(k, ends0, pairs0);
    masks(k + 16, ends1, pairs1);
    if (take(k, ends0 | ends1 << 16, pairs0 | pairs1 << 16)) break;
  }
  for (; lf == n && n - k >= 17; k += 16) {
    unsigned ends, pairs;
    masks(k, ends, pairs);
    if (take(k, ends, pairs)) break;
  }
#endif
  for (; lf == n && k < n; ++k) {
    if (data[k] == '\n') {
      lf = k;
    } else if (separators && data[k] == '<' && k + 1 < n && data[k + 1] == '>') {
      separatorAt(k);
      ++k;  // past the '>'
    }
  }
  size_t end = lf;
  if (end > pos_ && data[end - 1] == '\r') --end;
  // A separator never takes the CR, so the last field begins at or before it.
  if (fields.count < kMaxFields) {
    fields.field[fields.count++] = std::string_view(fieldStart, data + end - fieldStart);
  }
  line = std::string_view(begin, end - pos_);
  pos_ = lf < n ? lf + 1 : n;
  return true;
}

}  // namespace converter
