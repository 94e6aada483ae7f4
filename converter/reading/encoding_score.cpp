#include "converter/reading/encoding_score.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <vector>

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

// Non-ASCII bytes from each block of kBlock bytes to the end of the text: what
// a score can still gain is bounded by them.
constexpr size_t kBlock = 256;

class HighBytes {
 public:
  explicit HighBytes(std::string_view text) : from_((text.size() + kBlock - 1) / kBlock + 1, 0) {
    const auto* b = reinterpret_cast<const std::uint8_t*>(text.data());
    for (size_t block = from_.size() - 1; block-- > 0;) {
      const size_t end = std::min(text.size(), (block + 1) * kBlock);
      size_t k = block * kBlock, count = 0;
#if defined(__SSE2__)
      // A non-ASCII byte is negative as a signed one: each lane counts its own,
      // at most sixteen in a block, and the lanes are summed at the end.
      const __m128i zero = _mm_setzero_si128();
      __m128i lanes = zero;
      for (; end - k >= 16; k += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + k));
        lanes = _mm_sub_epi8(lanes, _mm_cmplt_epi8(bytes, zero));
      }
      const __m128i sums = _mm_sad_epu8(lanes, zero);
      count += static_cast<size_t>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
#endif
      for (; k < end; ++k) count += b[k] >> 7;
      from_[block] = from_[block + 1] + count;
    }
  }
  // Non-ASCII bytes at or after position k (and any before it in its block).
  size_t From(size_t k) const { return from_[k / kBlock]; }

 private:
  std::vector<size_t> from_;
};

// When a score may stop: once it is sure to end below `threshold`, even if
// every non-ASCII byte left gained `gainPerTwoHigh` / 2 points.
struct Cutoff {
  const HighBytes* high = nullptr;  // null: never stop
  long threshold = 0;
  long gainPerTwoHigh = 0;
};

struct Score {
  long value = 0;
  bool lost = false;  // stopped early: the end result is below the cutoff's threshold
};

// Walks the bytes from the start: `step` looks at the non-ASCII byte at
// position k, adds to `score` and returns how many bytes it consumed, or 0 to
// stop. An ASCII byte where a step would begin scores nothing in every
// encoding, so such bytes are skipped without a step.
template <typename Step>
Score ScoreBytes(std::string_view text, Step step, const Cutoff& cutoff = {}) {
  const auto* b = reinterpret_cast<const std::uint8_t*>(text.data());
  const size_t n = text.size();
  Score score;
  size_t checked = 0;  // block of the last cutoff check
  for (size_t k = 0;;) {
    if (k < n && b[k] < 0x80) k = SkipAscii(b, n, k);
    if (k >= n) break;
    if (cutoff.high && k / kBlock != checked) {
      checked = k / kBlock;
      const long most = (cutoff.gainPerTwoHigh * static_cast<long>(cutoff.high->From(k)) + 1) / 2;
      if (score.value + most < cutoff.threshold) {
        score.lost = true;
        break;
      }
    }
    size_t used = step(b, n, k, score.value);
    if (used == 0) break;
    k += used;
  }
  return score;
}

// A pair gains at most 5 (2, and 3 more for kana).
constexpr long kEucGainPerTwoHigh = 5;

Score EucScore(std::string_view text, const Cutoff& cutoff = {}) {
  return ScoreBytes(
      text,
      [](const std::uint8_t* b, size_t n, size_t k, long& score) -> size_t {
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
      },
      cutoff);
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
      }).value;
  return total / 2;
}

// A sequence gains one a byte.
constexpr long kUtf8GainPerTwoHigh = 2;

Score Utf8Score(std::string_view text, const Cutoff& cutoff = {}) {
  return ScoreBytes(
      text,
      [](const std::uint8_t* b, size_t n, size_t k, long& score) -> size_t {
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
      },
      cutoff);
}

}  // namespace

EncodingScores ScoreEncodings(std::string_view bytes) {
  return {EucScore(bytes).value, SjisScore(bytes), Utf8Score(bytes).value};
}

int IdentifyEncoding(std::string_view bytes) {
  // Shift_JIS is scored in full. A score that falls so far behind that the
  // rest of the bytes cannot bring it level is stopped: its exact value no
  // longer changes the decision, and the lowest score stands in for it.
  const HighBytes high(bytes);
  EncodingScores s;
  s.sjis = SjisScore(bytes);
  Score euc = EucScore(bytes, {&high, s.sjis, kEucGainPerTwoHigh});
  s.euc = euc.lost ? LONG_MIN : euc.value;
  Score utf8 = Utf8Score(bytes, {&high, std::max(s.sjis, s.euc), kUtf8GainPerTwoHigh});
  s.utf8 = utf8.lost ? LONG_MIN : utf8.value;
  return DecideEncoding(s);
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
