// CRC-16 as LZH archives use it (the ARC CRC: polynomial 0x8005 reflected,
// i.e. 0xA001, initial value 0, no final xor). It guards the file data and,
// through the header CRC extension, the level-2 header itself.
#pragma once

#include <cstdint>
#include <string_view>

namespace lzh {

// Continues a running CRC over `bytes`; start with 0.
uint16_t UpdateCrc16(uint16_t crc, std::string_view bytes);

inline uint16_t Crc16(std::string_view bytes) { return UpdateCrc16(0, bytes); }

}  // namespace lzh
