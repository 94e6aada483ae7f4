#include "lzh/crc16.h"

#include <array>
#include <cstring>

namespace lzh {
namespace {

// Slicing by 8: table k gives the CRC of a byte followed by k zero bytes,
// so eight bytes are folded in per step.
using Tables = std::array<std::array<uint16_t, 256>, 8>;

constexpr Tables MakeTables() {
  Tables t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned r = i;
    for (int bit = 0; bit < 8; ++bit) r = (r & 1) ? (r >> 1) ^ 0xA001u : r >> 1;
    t[0][i] = static_cast<uint16_t>(r);
  }
  for (unsigned i = 0; i < 256; ++i)
    for (size_t k = 1; k < 8; ++k)
      t[k][i] = static_cast<uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
  return t;
}

constexpr Tables kTables = MakeTables();

}  // namespace

uint16_t UpdateCrc16(uint16_t crc, std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t n = bytes.size();
  while (n >= 8) {
    const unsigned b0 = (p[0] ^ crc) & 0xFF, b1 = (p[1] ^ (crc >> 8)) & 0xFF;
    crc = static_cast<uint16_t>(kTables[7][b0] ^ kTables[6][b1] ^ kTables[5][p[2]] ^
                                kTables[4][p[3]] ^ kTables[3][p[4]] ^ kTables[2][p[5]] ^
                                kTables[1][p[6]] ^ kTables[0][p[7]]);
    p += 8;
    n -= 8;
  }
  while (n-- > 0) crc = static_cast<uint16_t>(kTables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8));
  return crc;
}

}  // namespace lzh
