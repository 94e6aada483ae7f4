// Longest-match search over the -lh5- window: hash chains on the next three
// bytes, walked newest first, with a bound on the number of links followed so
// that highly repetitive input cannot make the search quadratic.
#pragma once

#include <cstdint>
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

  // Enters position `pos` into the chains. Positions must be inserted in
  // rising order, each once; the last two positions are never entered.
  void Insert(size_t pos);

  // The longest match for `pos` (which must not be inserted yet) among the
  // earlier positions in the window, following at most `maxChain` links and
  // stopping early at a match of `niceLength`. Only matches longer than
  // `atLeast` are reported.
  Match Find(size_t pos, int maxChain, int niceLength, int atLeast = kMinMatch - 1) const;

 private:
  static constexpr int kHashBits = 15;
  static constexpr size_t kChainMask = 2 * kWindowSize - 1;  // twice the window, see Insert

  uint32_t HashAt(size_t pos) const;

  std::string_view data_;
  std::vector<int32_t> head_;   // newest position per hash, -1 when none
  std::vector<int32_t> chain_;  // previous position with the same hash, by pos & kChainMask
};

}  // namespace lzh
