#include "converter/reading/encoding_score.h"

#include <algorithm>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace converter {
namespace {

// The first byte at or after k that is not ASCII, or n. Half a log's head is
// ASCII (names, dates, markup), so runs of it are passed sixteen at a time.
size_t SkipAscii(const std::uint8_t* b, size_t n, size_t k) {
#if defined(__SSE2__)
  while (n - k >= 16) {
    int high = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k)));
    if (high) return k + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(high)));
    k += 16;
  }
#endif
  while (k < n && b[k] < 0x80) ++k;
  return k;
}

// Walks the bytes from the start: `step` looks at the non-ASCII byte at
// position k, adds to `score` and returns how many bytes it consumed, or 0 to
// stop. An ASCII byte where a step would begin scores nothing in every
// encoding, so such bytes are skipped without a step.
template <typename Step>
long ScoreBytes(std::string_view text, Step step) {
  const auto* b = reinterpret_cast<const std::uint8_t*>(text.data());
  const size_t n = text.size();
  long score = 0;
  for (size_t k = 0;;) {
    if (k < n && b[k] < 0x80) k = SkipAscii(b, n, k);
    if (k >= n) break;
    size_t used = step(b, n, k, score);
    if (used == 0) break;
    k += used;
  }
  return score;
}

long EucScore(std::string_view text) {
  return ScoreBytes(text, [](const std::uint8_t* b, size_t n, size_t k, long& score) -> size_t {
    std::uint8_t c = b[k];
    if (k + 1 < n) {
      std::uint8_t d = b[k + 1];
      bool pair = (c >= 0xA1 && c != 0xFF && d > 0xA0 && d != 0xFF) ||
                  (c == 0x8E && d >= 0xA1 && d <= 0xDF);
      if (pair) {
        unsigned value = c << 8 | d;
        score += (c == 0x8E || (value >= 0xB0A1 && value <= 0xF4FE)) ? 1 : 2;
        if (c == 0xA4 || c == 0xA5) score += 3;  // hiragana and katakana rows
        return 2;
      }
    }
    if (c != 0x8F) score -= 15;
    return 1;
  });
}

bool IsSjisLead(std::uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }
bool IsSjisTrail(std::uint8_t c) { return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC); }

long SjisScore(std::string_view text) {
  long total =
      ScoreBytes(text, [](const std::uint8_t* b, size_t n, size_t k, long& score) -> size_t {
        std::uint8_t c = b[k];
        if (c >= 0xA1 && c <= 0xDF) {
          score += 1;  // half-width katakana
          return 1;
        }
        if (IsSjisLead(c) && k + 1 < n && IsSjisTrail(b[k + 1])) {
          unsigned value = c << 8 | b[k + 1];
          // Level-1 kanji, kana and symbols are common; level-2 kanji are rare.
          score += (value < 0x989F || value > 0xEAA4) ? 4 : 2;
          return 2;
        }
        score -= 30;
        return 1;
      });
  return total / 2;
}

long Utf8Score(std::string_view text) {
  return ScoreBytes(text, [](const std::uint8_t* b, size_t n, size_t k, long& score) -> size_t {
    std::uint8_t c = b[k];
    if (c >= 0xC2 && c <= 0xFD) {
      size_t length = c <= 0xDF ? 2 : c <= 0xEF ? 3 : c <= 0xF7 ? 4 : c <= 0xFB ? 5 : 6;
      size_t j = 1;
      while (j < length && k + j < n && b[k + j] >= 0x80 && b[k + j] <= 0xBF) ++j;
      if (j == length) {
        score += static_cast<long>(length);
        return length;
      }
      if (k + j >= n) return 0;  // cut by the end of the region
      score -= 10;               // the byte that broke the sequence is looked at again
      return j;
    }
    if ((c >= 0x80 && c <= 0xC1) || c >= 0xFE) score -= 1;
    return 1;
  });
}

}  // namespace

EncodingScores ScoreEncodings(std::string_view bytes) {
  return {EucScore(bytes), SjisScore(bytes), Utf8Score(bytes)};
}

int DecideEncoding(const EncodingScores& s) {
  if (s.sjis >= s.euc && s.sjis >= s.utf8) return 1;
  if (s.euc > s.sjis && s.euc > s.utf8) return 2;
  if (s.utf8 > s.sjis && s.utf8 > s.euc) return 3;
  return 0;
}

std::string_view EncodingRegion(std::string_view head, int headKb) {
  size_t length = (headKb == 0 || headKb > 150) ? 30720 : static_cast<size_t>(headKb) * 1024 / 5;
  length = std::min(length, head.size());
  size_t nul = head.substr(0, length).find('\0');
  if (nul != std::string_view::npos) length = nul;
  return head.substr(0, length);
}

}  // namespace converter
