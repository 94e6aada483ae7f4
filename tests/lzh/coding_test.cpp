// The building blocks of the -lh5- stream: the CRC and the Huffman codes.
#include <gtest/gtest.h>

#include <numeric>

#include "lzh/crc16.h"
#include "lzh/huffman.h"

namespace {

TEST(LzhCrc16, MatchesTheArcCheckValues) {
  struct Case {
    std::string_view bytes;
    uint16_t crc;
  };
  const Case cases[] = {{"", 0x0000}, {"123456789", 0xBB3D}, {"a", 0xE8C1}};
  for (const Case& c : cases) EXPECT_EQ(lzh::Crc16(c.bytes), c.crc) << c.bytes;
}

TEST(LzhCrc16, PiecewiseEqualsWhole) {
  std::string data;
  for (int i = 0; i < 1000; ++i) data.push_back(static_cast<char>(i * 37 + i / 7));
  const uint16_t whole = lzh::Crc16(data);
  for (size_t cut : {size_t{0}, size_t{1}, size_t{7}, size_t{8}, size_t{13}, size_t{999}}) {
    uint16_t crc = lzh::UpdateCrc16(0, std::string_view(data).substr(0, cut));
    EXPECT_EQ(lzh::UpdateCrc16(crc, std::string_view(data).substr(cut)), whole) << cut;
  }
}

// Sum of 2^-length over used symbols, in units of 2^-16.
uint64_t KraftSum(const std::vector<uint8_t>& lengths) {
  uint64_t sum = 0;
  for (uint8_t len : lengths)
    if (len != 0) sum += uint64_t{1} << (16 - len);
  return sum;
}

TEST(LzhHuffman, CodesAreCompleteAndWithinSixteenBits) {
  std::vector<uint32_t> fibonacci(30);  // unlimited Huffman would go 29 deep
  fibonacci[0] = fibonacci[1] = 1;
  for (size_t i = 2; i < fibonacci.size(); ++i) fibonacci[i] = fibonacci[i - 1] + fibonacci[i - 2];
  std::vector<uint32_t> sparse(510, 0);
  sparse[3] = 5;
  sparse[300] = 1;
  sparse[509] = 1000;
  struct Case {
    const char* label;
    std::vector<uint32_t> freq;
  };
  const Case cases[] = {{"fibonacci", fibonacci},
                        {"two symbols", {0, 4, 0, 9}},
                        {"equal", std::vector<uint32_t>(19, 3)},
                        {"sparse", sparse}};
  for (const Case& c : cases) {
    std::vector<uint8_t> lengths = lzh::BuildCodeLengths(c.freq);
    EXPECT_EQ(KraftSum(lengths), uint64_t{1} << 16) << c.label;
    for (size_t i = 0; i < lengths.size(); ++i) {
      EXPECT_LE(lengths[i], 16) << c.label;
      EXPECT_EQ(lengths[i] == 0, c.freq[i] == 0) << c.label << " symbol " << i;
    }
  }
}

TEST(LzhHuffman, RarerSymbolsNeverGetShorterCodes) {
  std::vector<uint32_t> freq = {50, 1, 7, 7, 300, 2, 0, 90, 1, 1};
  std::vector<uint8_t> lengths = lzh::BuildCodeLengths(freq);
  for (size_t a = 0; a < freq.size(); ++a)
    for (size_t b = 0; b < freq.size(); ++b)
      if (freq[a] != 0 && freq[b] != 0 && freq[a] < freq[b]) {
        EXPECT_GE(lengths[a], lengths[b]);
      }
}

TEST(LzhHuffman, FewerThanTwoSymbolsGetNoLengths) {
  for (const std::vector<uint32_t>& freq :
       {std::vector<uint32_t>{0, 0, 0}, std::vector<uint32_t>{0, 8, 0}})
    for (uint8_t len : lzh::BuildCodeLengths(freq)) EXPECT_EQ(len, 0);
}

TEST(LzhHuffman, CanonicalCodesCountUpByLengthThenSymbol) {
  // Lengths 2,1,3,3 give b=0, a=10, c=110, d=111.
  std::vector<uint16_t> codes = lzh::MakeCanonicalCodes({2, 1, 3, 3, 0});
  EXPECT_EQ(codes[1], 0b0);
  EXPECT_EQ(codes[0], 0b10);
  EXPECT_EQ(codes[2], 0b110);
  EXPECT_EQ(codes[3], 0b111);
}

}  // namespace
