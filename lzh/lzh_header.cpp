#include "lzh/lzh_header.h"

#include "lzh/crc16.h"

namespace lzh {
namespace {

void Put16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}
void Set16(std::string& out, size_t at, uint32_t v) {
  out[at] = static_cast<char>(v & 0xFF);
  out[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

struct Extension {
  uint8_t type;
  std::string data;
};

}  // namespace

std::string EncodeLevel2Header(const MemberHeader& header) {
  std::string directory;
  if (!header.directory.empty()) {
    for (char c : header.directory) directory.push_back(c == '/' ? '\xFF' : c);
    if (directory.back() != '\xFF') directory.push_back('\xFF');
  }
  std::string attributes;
  Put16(attributes, header.dosAttributes);

  Extension extensions[] = {
      {kExtHeaderCrc, std::string(2, '\0')},
      {kExtFileName, header.fileName},
      {kExtDirectory, directory},
      {kExtDosAttributes, attributes},
  };

  std::string out;
  for (int attempt = 0; attempt < 2; ++attempt) {
    out.clear();
    Put16(out, 0);  // header size, set below
    out += header.method.substr(0, 5);
    out.resize(kMethodOffset + 5, ' ');
    Put32(out, header.packedSize);
    Put32(out, header.originalSize);
    Put32(out, header.modifiedTime);
    out.push_back(0x20);
    out.push_back(2);
    Put16(out, header.dataCrc);
    out.push_back(kOsWindowsNt);
    // Each extension's size (type byte + data + the next size field) is
    // written in front of it: first in the fixed part, then in the previous one.
    for (const Extension& ext : extensions) {
      if (ext.type != kExtHeaderCrc && ext.data.empty()) continue;
      Put16(out, static_cast<uint32_t>(1 + ext.data.size() + 2));
      out.push_back(static_cast<char>(ext.type));
      out += ext.data;
      if (out.size() > 0xFFF0) return {};
    }
    Put16(out, 0);
    // A header size whose low byte is 0 would read as the end-of-archive
    // mark. Padding after the last extension would be taken for data by
    // readers that walk the extensions, so the CRC extension grows a byte.
    if ((out.size() & 0xFF) != 0) break;
    extensions[0].data.push_back('\0');
  }
  Set16(out, 0, static_cast<uint32_t>(out.size()));
  Set16(out, kHeaderCrcOffset, Crc16(out));
  return out;
}

}  // namespace lzh
