#include "lzh/match_finder.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace lzh {
namespace {

static_assert(std::endian::native == std::endian::little,
              "the 8-byte compare counts from the low byte");

uint16_t Load16(const char* p) {
  uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}

// Number of equal leading bytes of `a` and `b`, at most `limit`.
size_t CommonPrefix(const char* a, const char* b, size_t limit) {
  size_t len = 0;
  while (len + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + len, 8);
    std::memcpy(&y, b + len, 8);
    if (x != y) return len + static_cast<size_t>(__builtin_ctzll(x ^ y) >> 3);
    len += 8;
  }
  while (len < limit && a[len] == b[len]) ++len;
  return len;
}

}  // namespace

MatchFinder::MatchFinder(std::string_view data)
    : data_(data), head_(size_t{1} << kHashBits, -1), chain_(kChainMask + 1, -1) {}

uint32_t MatchFinder::HashAt(size_t pos) const {
  const auto* p = reinterpret_cast<const unsigned char*>(data_.data() + pos);
  uint32_t v = uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16);
  return (v * 2654435761u) >> (32 - kHashBits);
}

void MatchFinder::Insert(size_t pos) {
  if (pos + kMinMatch > data_.size()) return;
  uint32_t h = HashAt(pos);
  // The chain ring holds twice the window, so the slot of any position still
  // inside the window has not been reused when it is followed.
  chain_[pos & kChainMask] = head_[h];
  head_[h] = static_cast<int32_t>(pos);
}

Match MatchFinder::Find(size_t pos, int maxChain, int niceLength, int atLeast) const {
  Match best;
  if (pos + kMinMatch > data_.size()) return best;
  const size_t limit = std::min<size_t>(kMaxMatch, data_.size() - pos);
  niceLength = std::min<int>(niceLength, static_cast<int>(limit));
  int bestLength = std::max(atLeast, kMinMatch - 1);
  if (static_cast<size_t>(bestLength) >= limit) return best;
  const char* cur = data_.data() + pos;
  const uint16_t start = Load16(cur);
  // A longer match must agree at the two bytes ending at bestLength.
  uint16_t scanEnd = Load16(cur + bestLength - 1);
  int32_t candidate = head_[HashAt(pos)];
  while (candidate >= 0 && maxChain-- > 0) {
    const size_t distance = pos - static_cast<size_t>(candidate);
    if (distance > static_cast<size_t>(kWindowSize)) break;
    const char* old = data_.data() + candidate;
    if (Load16(old + bestLength - 1) == scanEnd && Load16(old) == start) {
      const size_t len = CommonPrefix(old, cur, limit);
      if (static_cast<int>(len) > bestLength) {
        bestLength = static_cast<int>(len);
        best.length = bestLength;
        best.distance = static_cast<int>(distance);
        if (bestLength >= niceLength) break;
        scanEnd = Load16(cur + bestLength - 1);
      }
    }
    candidate = chain_[static_cast<size_t>(candidate) & kChainMask];
  }
  return best;
}

}  // namespace lzh
