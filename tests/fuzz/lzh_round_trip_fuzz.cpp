// Compresses any bytes into a member and reads it back with our own header
// parser: sizes and CRCs must match what went in.
#include "lzh/archive_writer.h"
#include "lzh/crc16.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/lzh/archive_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view content(reinterpret_cast<const char*>(data), size);
  lzh::MemberData member;
  member.storedPath = "log/1234567890.dat";
  member.content = content;
  member.modifiedTime = 1262401445;
  lzh::MemberReport report;
  std::string archive = lzh::EncodeMember(member, {}, &report);
  FUZZ_CHECK(!archive.empty());
  archive.push_back('\0');  // the end mark

  auto parsed = lzh_test::ParseArchive(archive);
  FUZZ_CHECK(parsed.has_value());
  FUZZ_CHECK(parsed->size() == 1);
  const lzh_test::ParsedMember& m = parsed->front();
  FUZZ_CHECK(m.headerCrcMatches);
  FUZZ_CHECK(m.originalSize == size);
  FUZZ_CHECK(m.packedSize == m.data.size());
  FUZZ_CHECK(m.dataCrc == lzh::Crc16(content));
  FUZZ_CHECK(m.method == report.method);
  FUZZ_CHECK(report.originalSize == size && report.packedSize == m.packedSize);
  // Stored data is the input itself; compressed data is never larger.
  if (m.method == "-lh0-") FUZZ_CHECK(m.data == content);
  if (m.method == "-lh5-") FUZZ_CHECK(m.packedSize < size);
  return 0;
}
