// Level-2 LZH member headers. Layout (little-endian):
//   0  2  header size (the whole header, extensions included)
//   2  5  method, "-lh5-" or "-lh0-"
//   7  4  compressed size      11  4  original size
//  15  4  modification time, Unix seconds
//  19  1  0x20                 20  1  level (2)
//  21  2  CRC-16 of the original data
//  23  1  OS id                24  2  size of the first extension
// then extensions, each: type byte, data, size of the next one (0 ends).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace lzh {

// Windows NT: readers take the names as stored (an MS-DOS id makes some of
// them lower-case a name written all in capitals).
constexpr char kOsWindowsNt = 'W';
constexpr uint16_t kDosArchiveAttribute = 0x20;
constexpr uint16_t kDosReadOnlyAttribute = 0x01;

// Extension types we write.
constexpr uint8_t kExtHeaderCrc = 0x00;  // CRC-16 of the whole header, taken with this field zero
constexpr uint8_t kExtFileName = 0x01;
constexpr uint8_t kExtDirectory = 0x02;  // folder names, each followed by 0xFF
constexpr uint8_t kExtDosAttributes = 0x40;

constexpr size_t kLevel2FixedSize = 26;
constexpr size_t kMethodOffset = 2;
constexpr size_t kHeaderCrcOffset = kLevel2FixedSize + 1;  // the CRC extension comes first

struct MemberHeader {
  std::string method;       // "-lh5-" or "-lh0-"
  uint32_t packedSize = 0;  // bytes of data after the header
  uint32_t originalSize = 0;
  uint32_t modifiedTime = 0;  // Unix seconds
  uint16_t dataCrc = 0;
  uint16_t dosAttributes = kDosArchiveAttribute;
  std::string fileName;   // stored bytes as given, no folder part
  std::string directory;  // relative folder with '/' between names, or empty
};

// The encoded header, its CRC extension filled in. Empty when the names make
// it longer than a header can be (64 KB).
std::string EncodeLevel2Header(const MemberHeader& header);

}  // namespace lzh
