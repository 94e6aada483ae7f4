// Static Huffman codes as the -lh5- blocks use them: code lengths limited to
// 16 bits, and canonical codes assigned in order of length, then of symbol,
// which is how every reader rebuilds the codes from the lengths alone.
#pragma once

#include <cstdint>
#include <vector>

namespace lzh {

constexpr int kMaxCodeLength = 16;

// Code lengths for `frequencies`, none longer than `maxLength`. Symbols of
// frequency 0 get length 0. The code is complete (the Kraft sum is exactly
// 1), because the readers' table builders refuse incomplete ones. With fewer
// than two used symbols every length is 0: the block format has a separate
// form for a tree of one symbol.
std::vector<uint8_t> BuildCodeLengths(const std::vector<uint32_t>& frequencies,
                                      int maxLength = kMaxCodeLength);

// Canonical codes for `lengths` (the code of a symbol of length 0 is unused).
std::vector<uint16_t> MakeCanonicalCodes(const std::vector<uint8_t>& lengths);

}  // namespace lzh
