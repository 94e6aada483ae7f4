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

// The tables grow with the input up to the size that suits the window:
// filling larger ones for a small log cost more than its compression.
MatchFinder::MatchFinder(std::string_view data)
    : data_(data),
      hashShift_(32 - std::clamp(static_cast<int>(std::bit_width(data.size())), 8, kMaxHashBits)),
      head_(size_t{1} << (32 - hashShift_), kEmpty),
      chain_(kChainMask + 1, 0),
      nearHead_(head_.size(), kEmpty) {}

Match MatchFinder::Find(size_t pos, int maxChain, int niceLength, int atLeast) const {
  if (pos + 4 > data_.size()) {
    const int32_t near = pos + 3 <= data_.size() ? Recall(pos, nearHead_[NearHashAt(pos)]) : -1;
    return Search(pos, near, -1, maxChain, niceLength, atLeast);
  }
  const uint32_t next4 = Load32(data_.data() + pos);
  return Search(pos, Recall(pos, nearHead_[NearHash(next4 << 8)]), Recall(pos, head_[Hash(next4)]),
                maxChain, niceLength, atLeast);
}

Match MatchFinder::FindAndInsert(size_t pos, int maxChain, int niceLength, int atLeast) {
  if (pos + 4 > data_.size()) {
    Match m = Find(pos, maxChain, niceLength, atLeast);
    Insert(pos);
    return m;
  }
  // Both tables are read and updated once, the search then works from the
  // old heads.
  const uint32_t next4 = Load32(data_.data() + pos);
  uint16_t& near = nearHead_[NearHash(next4 << 8)];
  uint16_t& head = head_[Hash(next4)];
  const int32_t oldNear = Recall(pos, near), oldHead = Recall(pos, head);
  near = Stamp(pos);
  Link(pos, head);
  return Search(pos, oldNear, oldHead, maxChain, niceLength, atLeast);
}

Match MatchFinder::Search(size_t pos, int32_t near, int32_t candidate, int maxChain, int niceLength,
                          int atLeast) const {
  Match best;
  if (pos + kMinMatch > data_.size()) return best;
  const size_t limit = std::min<size_t>(kMaxMatch, data_.size() - pos);
  niceLength = std::min<int>(niceLength, static_cast<int>(limit));
  int bestLength = std::max(atLeast, kMinMatch - 1);
  if (static_cast<size_t>(bestLength) >= limit) return best;
  const char* cur = data_.data() + pos;

  // The nearest three-byte match; any longer one also starts with the same
  // four bytes and turns up on the chain below.
  if (bestLength < 3) {
    if (near >= 0) {
      const char* old = data_.data() + near;
      if (Load16(old) == Load16(cur) && old[2] == cur[2]) {
        bestLength = 3;
        best.length = 3;
        best.distance = static_cast<int>(pos - static_cast<size_t>(near));
      }
    }
  }
  if (limit < 4) return best;

  const uint32_t start = Load32(cur);
  // A longer match must agree at the two bytes ending at bestLength.
  uint16_t scanEnd = Load16(cur + bestLength - 1);
  if (candidate < 0) return best;
  while (maxChain-- > 0) {
    const size_t distance = pos - static_cast<size_t>(candidate);
    if (distance > static_cast<size_t>(kWindowSize)) break;
    const char* old = data_.data() + candidate;
    if (Load16(old + bestLength - 1) == scanEnd && Load32(old) == start) {
      const size_t len = CommonPrefix(old, cur, limit);
      if (static_cast<int>(len) > bestLength) {
        bestLength = static_cast<int>(len);
        best.length = bestLength;
        best.distance = static_cast<int>(distance);
        if (bestLength >= niceLength) break;
        scanEnd = Load16(cur + bestLength - 1);
      }
    }
    const uint16_t back = chain_[static_cast<size_t>(candidate) & kChainMask];
    if (back == 0 || back > candidate) break;  // the second only after aliasing
    candidate -= back;
  }
  return best;
}

}  // namespace lzh
