#include "lzh/lh5_encoder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "lzh/bit_writer.h"
#include "lzh/huffman.h"
#include "lzh/match_finder.h"

namespace lzh {
namespace {

constexpr int kCharCodes = 256 + kMaxMatch - kMinMatch + 1;  // NC = 510
constexpr int kPositionCodes = 14;                           // NP: distance bit lengths 0..13
constexpr int kLengthCodes = 19;          // NT: c-tree length 0..16 plus three zero-run codes
constexpr int kLengthCountBits = 5;       // TBIT
constexpr int kCharCountBits = 9;         // CBIT
constexpr int kPositionCountBits = 4;     // PBIT for an 8 KB window
constexpr size_t kMaxBlockCodes = 65535;  // the block header counts codes in 16 bits

int BitLength(uint32_t v) { return v == 0 ? 0 : 32 - __builtin_clz(v); }

// Rough worth of a match for the lazy decision: each byte covered saves
// about kByteWeight bits, its distance costs about its bit length. Putting
// off a match by one byte costs a literal.
constexpr int kByteWeight = 4;
constexpr int kLiteralWeight = 2;
int Gain(const Match& m) {
  return m.length * kByteWeight - BitLength(static_cast<uint32_t>(m.distance));
}

// The codes of one block, and the Huffman coding of it.
class BlockCoder {
 public:
  BlockCoder(std::string& out, size_t blockCodes)
      : bits_(out),
        blockCodes_(std::clamp<size_t>(blockCodes, 1, kMaxBlockCodes)),
        // Left unfilled: each slot is written before it is read.
        symbols_(std::make_unique_for_overwrite<uint16_t[]>(blockCodes_)),
        positions_(std::make_unique_for_overwrite<uint16_t[]>(blockCodes_)) {}

  void Literal(unsigned char c) { Add(c, 0); }
  // `distance` 1..8192 is stored as distance - 1.
  void Copy(int length, int distance) {
    Add(static_cast<uint16_t>(256 + length - kMinMatch), static_cast<uint16_t>(distance - 1));
  }

  void Finish() {
    if (count_ != 0) EmitBlock();
    bits_.Flush();
  }

 private:
  void Add(uint16_t symbol, uint16_t position) {
    symbols_[count_] = symbol;
    positions_[count_] = position;
    ++charFreq_[symbol];
    if (symbol >= 256) ++posFreq_[BitLength(position)];
    if (++count_ == blockCodes_) EmitBlock();
  }

  void EmitBlock();
  void WriteTreeLengths(const std::vector<uint8_t>& lengths, int countBits, int special);
  void WriteCharLengths(const std::vector<uint8_t>& charLengths,
                        const std::vector<uint8_t>& ptLengths,
                        const std::vector<uint16_t>& ptCodes);
  static std::vector<uint32_t> CountLengthFrequencies(const std::vector<uint8_t>& charLengths);

  BitWriter bits_;
  size_t blockCodes_;
  std::unique_ptr<uint16_t[]> symbols_;    // c symbols
  std::unique_ptr<uint16_t[]> positions_;  // distance - 1, for c symbols >= 256
  size_t count_ = 0;                       // codes of the block so far
  std::vector<uint32_t> charFreq_ = std::vector<uint32_t>(kCharCodes, 0);  // of the block so far
  std::vector<uint32_t> posFreq_ = std::vector<uint32_t>(kPositionCodes, 0);
};

size_t UsedCount(const std::vector<uint32_t>& freq) {
  return static_cast<size_t>(
      std::count_if(freq.begin(), freq.end(), [](uint32_t f) { return f != 0; }));
}
uint32_t FirstUsed(const std::vector<uint32_t>& freq) {
  auto it = std::find_if(freq.begin(), freq.end(), [](uint32_t f) { return f != 0; });
  return it == freq.end() ? 0 : static_cast<uint32_t>(it - freq.begin());
}
size_t TrimmedCount(const std::vector<uint8_t>& lengths) {
  size_t n = lengths.size();
  while (n > 0 && lengths[n - 1] == 0) --n;
  return n;
}

// How the lengths of the c tree become pt symbols: a length k is symbol k+2;
// runs of zero lengths are 0 (one), 1 + 4 bits (3..18), 2 + 9 bits (20..).
template <typename Emit>
void WalkCharLengths(const std::vector<uint8_t>& charLengths, Emit emit) {
  const size_t n = TrimmedCount(charLengths);
  size_t i = 0;
  while (i < n) {
    int k = charLengths[i++];
    if (k != 0) {
      emit(k + 2, 0, 0);
      continue;
    }
    size_t run = 1;
    while (i < n && charLengths[i] == 0) {
      ++i;
      ++run;
    }
    if (run <= 2) {
      for (size_t r = 0; r < run; ++r) emit(0, 0, 0);
    } else if (run <= 18) {
      emit(1, 4, static_cast<uint32_t>(run - 3));
    } else if (run == 19) {
      emit(0, 0, 0);
      emit(1, 4, 15);
    } else {
      emit(2, kCharCountBits, static_cast<uint32_t>(run - 20));
    }
  }
}

std::vector<uint32_t> BlockCoder::CountLengthFrequencies(const std::vector<uint8_t>& charLengths) {
  std::vector<uint32_t> freq(kLengthCodes, 0);
  WalkCharLengths(charLengths, [&](int symbol, int, uint32_t) { ++freq[symbol]; });
  return freq;
}

// A pt-style length list: its count, then each length in 3 bits (7 and more
// as 111 followed by ones and a closing zero). After the entry at `special`
// a 2-bit count of following zero lengths (at most 3) is written.
void BlockCoder::WriteTreeLengths(const std::vector<uint8_t>& lengths, int countBits, int special) {
  const size_t n = TrimmedCount(lengths);
  bits_.Put(countBits, static_cast<uint32_t>(n));
  size_t i = 0;
  while (i < n) {
    int k = lengths[i++];
    if (k <= 6) {
      bits_.Put(3, static_cast<uint32_t>(k));
    } else {
      bits_.Put(k - 3, 0xFFFEu);  // k-4 ones, then a zero
    }
    if (static_cast<int>(i) == special) {
      size_t zeros = 0;
      while (i + zeros < 6 && i + zeros < n && lengths[i + zeros] == 0) ++zeros;
      bits_.Put(2, static_cast<uint32_t>(zeros));
      i += zeros;
    }
  }
}

void BlockCoder::WriteCharLengths(const std::vector<uint8_t>& charLengths,
                                  const std::vector<uint8_t>& ptLengths,
                                  const std::vector<uint16_t>& ptCodes) {
  bits_.Put(kCharCountBits, static_cast<uint32_t>(TrimmedCount(charLengths)));
  WalkCharLengths(charLengths, [&](int symbol, int extraBits, uint32_t extra) {
    bits_.Put(ptLengths[symbol], ptCodes[symbol]);
    bits_.Put(extraBits, extra);
  });
}

void BlockCoder::EmitBlock() {
  const std::vector<uint32_t>& charFreq = charFreq_;
  const std::vector<uint32_t>& posFreq = posFreq_;
  bits_.Put(16, static_cast<uint32_t>(count_));

  std::vector<uint8_t> charLengths = BuildCodeLengths(charFreq);
  if (UsedCount(charFreq) >= 2) {
    std::vector<uint32_t> ptFreq = CountLengthFrequencies(charLengths);
    std::vector<uint8_t> ptLengths = BuildCodeLengths(ptFreq);
    if (UsedCount(ptFreq) >= 2) {
      WriteTreeLengths(ptLengths, kLengthCountBits, 3);
    } else {
      bits_.Put(kLengthCountBits, 0);
      bits_.Put(kLengthCountBits, FirstUsed(ptFreq));
    }
    WriteCharLengths(charLengths, ptLengths, MakeCanonicalCodes(ptLengths));
  } else {
    // A single c symbol: empty pt and c lists, each followed by the one value.
    bits_.Put(kLengthCountBits, 0);
    bits_.Put(kLengthCountBits, 0);
    bits_.Put(kCharCountBits, 0);
    bits_.Put(kCharCountBits, FirstUsed(charFreq));
  }

  std::vector<uint8_t> posLengths = BuildCodeLengths(posFreq);
  if (UsedCount(posFreq) >= 2) {
    WriteTreeLengths(posLengths, kPositionCountBits, -1);
  } else {
    bits_.Put(kPositionCountBits, 0);
    bits_.Put(kPositionCountBits, FirstUsed(posFreq));
  }

  // Each code's length and bits in one word, for the loop below.
  std::array<uint32_t, kCharCodes> charCode;
  std::array<uint32_t, kPositionCodes> posCode;
  const std::vector<uint16_t> charCodes = MakeCanonicalCodes(charLengths);
  const std::vector<uint16_t> posCodes = MakeCanonicalCodes(posLengths);
  for (size_t c = 0; c < charCode.size(); ++c)
    charCode[c] = uint32_t{charLengths[c]} << 16 | charCodes[c];
  for (size_t b = 0; b < posCode.size(); ++b)
    posCode[b] = uint32_t{posLengths[b]} << 16 | posCodes[b];
  for (size_t i = 0; i < count_; ++i) {
    const uint16_t c = symbols_[i];
    bits_.Put(static_cast<int>(charCode[c] >> 16), charCode[c] & 0xFFFF);
    if (c >= 256) {
      const uint32_t p = positions_[i];
      const int bitLength = BitLength(p);
      // The distance code, then the bits below the leading one: at most
      // 16 + 12 bits, one field.
      const int extraBits = std::max(bitLength - 1, 0);
      bits_.Put(static_cast<int>(posCode[bitLength] >> 16) + extraBits,
                (posCode[bitLength] & 0xFFFF) << extraBits | (p & ((1u << extraBits) - 1)));
    }
  }
  count_ = 0;
  std::fill(charFreq_.begin(), charFreq_.end(), 0);
  std::fill(posFreq_.begin(), posFreq_.end(), 0);
}

}  // namespace

std::string CompressLh5(std::string_view input, const Lh5Options& options) {
  std::string out;
  if (input.empty()) return out;
  out.reserve(input.size() / 2 + 64);
  BlockCoder coder(out, static_cast<size_t>(options.blockCodes));
  MatchFinder finder(input);
  const size_t n = input.size();

  auto search = [&](size_t pos, int atLeast) {
    const int chain =
        atLeast >= options.goodLength ? std::max(1, options.maxChain / 4) : options.maxChain;
    return finder.FindAndInsert(pos, chain, options.niceLength, atLeast);
  };

  // Lazy matching: a match found at `pos` is held back while the match at the
  // next byte is worth more (longer, or as long and much nearer), in which
  // case the byte goes out as a literal.
  size_t pos = 0;
  Match current = search(0, kMinMatch - 1);
  while (pos < n) {
    if (current.length < kMinMatch) {
      coder.Literal(static_cast<unsigned char>(input[pos]));
      ++pos;
      if (pos < n) current = search(pos, kMinMatch - 1);
      continue;
    }
    if (current.length < options.lazyLength && pos + 1 < n) {
      Match next = search(pos + 1, current.length - 1);
      if (next.length >= current.length && Gain(next) > Gain(current) + kLiteralWeight) {
        coder.Literal(static_cast<unsigned char>(input[pos]));
        ++pos;
        current = next;
        continue;
      }
      // pos + 1 is already in the chains.
      finder.InsertRange(pos + 2, pos + static_cast<size_t>(current.length));
    } else {
      finder.InsertRange(pos + 1, pos + static_cast<size_t>(current.length));
    }
    coder.Copy(current.length, current.distance);
    pos += static_cast<size_t>(current.length);
    current = pos < n ? search(pos, kMinMatch - 1) : Match{};
  }
  coder.Finish();
  return out;
}

}  // namespace lzh
