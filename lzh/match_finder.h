// Longest-match search over the -lh5- window. Matches of four bytes and more
// are found on hash chains of the next four bytes, walked newest first with a
// bound on the links followed, so that highly repetitive input cannot make
// the search quadratic. Three-byte matches only pay when they are near, so a
// table without chains keeps just the newest position of each three bytes.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace lzh {

constexpr int kWindowSize = 8192;  // -lh5-: 13-bit distances
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 256;

struct Match {
  int length = 0;    // 0 when nothing of at least kMinMatch bytes was found
  int distance = 0;  // 1..kWindowSize
};

class MatchFinder {
 public:
  explicit MatchFinder(std::string_view data);

  // Enters position `pos` into the tables. Positions must be entered in
  // rising order, each at most once; skipped positions are simply never
  // found as match sources.
  void Insert(size_t pos) {
    if (pos + 4 <= data_.size()) {
      InsertUnchecked(pos);
    } else if (pos + 3 <= data_.size()) {
      nearHead_[NearHashAt(pos)] = Stamp(pos);
    }
  }
  // Enters every position of [from, to).
  void InsertRange(size_t from, size_t to) {
    const size_t fast = data_.size() >= 4 ? std::min(to, data_.size() - 3) : 0;
    for (; from < fast; ++from) InsertUnchecked(from);
    for (; from < to; ++from) Insert(from);
  }

  // The longest match for `pos` (which must not be entered yet) among the
  // earlier positions in the window, following at most `maxChain` links and
  // stopping early at a match of `niceLength`. Only matches longer than
  // `atLeast` are reported.
  Match Find(size_t pos, int maxChain, int niceLength, int atLeast = kMinMatch - 1) const;
  // Find, then Insert(pos), hashing the position once.
  Match FindAndInsert(size_t pos, int maxChain, int niceLength, int atLeast = kMinMatch - 1);

 private:
  static constexpr int kMaxHashBits = 14;  // twice as many slots as the window holds positions
  static constexpr size_t kChainMask = kWindowSize - 1;

  // The heads hold positions in 16 bits, which keeps the tables small
  // enough to stay in the cache: a position is recalled only when it lies
  // inside the window. An old one that aliases into the window is merely a
  // candidate that fails the byte compare, or a real match.
  static uint16_t Stamp(size_t pos) { return static_cast<uint16_t>(pos); }
  static constexpr uint16_t kEmpty = static_cast<uint16_t>(0x10000 - kWindowSize - 1);
  // How far back `stamp` lies from `pos`, 0 when outside the window.
  static size_t Back(size_t pos, uint16_t stamp) {
    const size_t back = static_cast<uint16_t>(pos - stamp);
    return back <= static_cast<size_t>(kWindowSize) && back <= pos ? back : 0;
  }
  static int32_t Recall(size_t pos, uint16_t stamp) {
    const size_t back = Back(pos, stamp);
    return back != 0 ? static_cast<int32_t>(pos - back) : -1;
  }

  static uint32_t Load32(const char* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
  }
  // Fibonacci hashing of the next four bytes, and of the next three (the
  // fourth shifted out).
  uint32_t Hash(uint32_t next4) const { return (next4 * 2654435761u) >> hashShift_; }
  uint32_t NearHashAt(size_t pos) const {
    const auto* p = reinterpret_cast<const unsigned char*>(data_.data() + pos);
    return NearHash((uint32_t{p[0]} << 8) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 24));
  }
  // Of three bytes in the high end of `v`.
  uint32_t NearHash(uint32_t v) const { return (v * 2654435761u) >> hashShift_; }
  // `pos` with at least four bytes from it.
  void InsertUnchecked(size_t pos) {
    const uint32_t next4 = Load32(data_.data() + pos);
    nearHead_[NearHash(next4 << 8)] = Stamp(pos);
    Link(pos, head_[Hash(next4)]);
  }
  // Makes `pos` the newest position of the chain whose head is `head`.
  void Link(size_t pos, uint16_t& head) {
    // The link is the distance back to the previous position of the same
    // hash, 0 when there is none inside the window. A ring of one window is
    // enough: a slot is reused only by the position a whole window later,
    // which has not been entered while the older one is still in reach.
    // (FindAndInsert enters its position first; a walk that then reaches the
    // position a whole window back reads the new link, which leads beyond
    // the window and so ends the walk.)
    chain_[pos & kChainMask] = static_cast<uint16_t>(Back(pos, head));
    head = Stamp(pos);
  }
  // The search from the newest three-byte match `near` and the chain from
  // `candidate` (either -1 when there is none).
  Match Search(size_t pos, int32_t near, int32_t candidate, int maxChain, int niceLength,
               int atLeast) const;

  std::string_view data_;
  int hashShift_;                   // 32 less the bits of the hashes
  std::vector<uint16_t> head_;      // newest position per four-byte hash, or kEmpty
  std::vector<uint16_t> chain_;     // link back from each position, by pos & kChainMask
  std::vector<uint16_t> nearHead_;  // newest position per three-byte hash, or kEmpty
};

}  // namespace lzh
