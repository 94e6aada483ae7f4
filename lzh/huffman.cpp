#include "lzh/huffman.h"

#include <algorithm>
#include <array>
#include <numeric>

namespace lzh {

std::vector<uint8_t> BuildCodeLengths(const std::vector<uint32_t>& frequencies, int maxLength) {
  const size_t n = frequencies.size();
  std::vector<uint8_t> lengths(n, 0);

  // Used symbols by rising frequency (ties by symbol, for a stable result).
  std::vector<uint32_t> leaves;
  for (size_t i = 0; i < n; ++i)
    if (frequencies[i] != 0) leaves.push_back(static_cast<uint32_t>(i));
  if (leaves.size() < 2) return lengths;
  std::stable_sort(leaves.begin(), leaves.end(),
                   [&](uint32_t a, uint32_t b) { return frequencies[a] < frequencies[b]; });

  // Two-queue Huffman construction: nodes 0..m-1 are the sorted leaves,
  // m.. the internal nodes in the order they are made (their weights rise).
  const size_t m = leaves.size();
  std::vector<uint64_t> weight(2 * m - 1);
  std::vector<uint32_t> parent(2 * m - 1, 0);
  for (size_t i = 0; i < m; ++i) weight[i] = frequencies[leaves[i]];
  size_t nextLeaf = 0, nextInner = m, made = m;
  auto takeSmallest = [&]() {
    if (nextLeaf < m && (nextInner >= made || weight[nextLeaf] <= weight[nextInner]))
      return nextLeaf++;
    return nextInner++;
  };
  for (; made < 2 * m - 1; ++made) {
    size_t a = takeSmallest();
    size_t b = takeSmallest();
    weight[made] = weight[a] + weight[b];
    parent[a] = parent[b] = static_cast<uint32_t>(made);
  }

  // Depths from the root down (parents always come after their children).
  std::vector<int> depth(2 * m - 1, 0);
  std::array<uint32_t, kMaxCodeLength + 2> countOfLength{};
  for (size_t i = 2 * m - 1; i-- > 0;) {
    if (i != 2 * m - 2) depth[i] = depth[parent[i]] + 1;
  }
  for (size_t i = 0; i < m; ++i) ++countOfLength[std::min(depth[i], maxLength)];

  // Clamping made the code over-full; move leaves down from shorter lengths
  // until the Kraft sum is exactly 1 again.
  uint64_t kraft = 0;
  for (int len = 1; len <= maxLength; ++len)
    kraft += uint64_t{countOfLength[len]} << (maxLength - len);
  const uint64_t full = uint64_t{1} << maxLength;
  while (kraft > full) {
    --countOfLength[maxLength];
    for (int len = maxLength - 1; len > 0; --len) {
      if (countOfLength[len] != 0) {
        --countOfLength[len];
        countOfLength[len + 1] += 2;
        break;
      }
    }
    --kraft;
  }

  // Longest codes go to the rarest symbols.
  size_t leaf = 0;
  for (int len = maxLength; len > 0; --len)
    for (uint32_t k = 0; k < countOfLength[len]; ++k)
      lengths[leaves[leaf++]] = static_cast<uint8_t>(len);
  return lengths;
}

std::vector<uint16_t> MakeCanonicalCodes(const std::vector<uint8_t>& lengths) {
  std::array<uint32_t, kMaxCodeLength + 2> count{};
  for (uint8_t len : lengths) ++count[len];
  count[0] = 0;
  std::array<uint32_t, kMaxCodeLength + 2> next{};
  uint32_t code = 0;
  for (int len = 1; len <= kMaxCodeLength; ++len) {
    next[len] = code;
    code = (code + count[len]) << 1;
  }
  std::vector<uint16_t> codes(lengths.size(), 0);
  for (size_t i = 0; i < lengths.size(); ++i)
    if (lengths[i] != 0) codes[i] = static_cast<uint16_t>(next[lengths[i]]++);
  return codes;
}

}  // namespace lzh
