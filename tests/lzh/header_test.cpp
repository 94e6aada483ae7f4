// Our own reading of the level-2 headers: neither reader checks the header
// CRC, and lhasa passes some archives with a zeroed data CRC.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/file_io.h"
#include "lzh/archive_writer.h"
#include "lzh/crc16.h"
#include "tests/lzh/archive_check.h"

namespace {

using lzh_test::ParseArchive;
using lzh_test::ParsedMember;

std::string SampleLog() {
  std::string log;
  for (int i = 1; i <= 200; ++i)
    log += "名無しさん<>sage<>2013/09/19(木) 05:05:" + std::to_string(i % 60) + " ID:Ab" +
           std::to_string(i % 7) + "<> 本文 " + std::to_string(i) + " <>\n";
  return log;
}

struct Case {
  const char* label;
  std::string storedPath;
  std::string content;
  bool readOnly;
  const char* method;
  const char* fileName;
  std::string directory;  // the 0x02 extension, "" when absent
  uint16_t attributes;
};

TEST(LzhHeader, CarriesItsFieldsAndBothCrcs) {
  const Case cases[] = {
      {"log", "1379534723.dat", SampleLog(), false, "-lh5-", "1379534723.dat", "", 0x20},
      {"stored", "x.dat", "x", false, "-lh0-", "x.dat", "", 0x20},
      {"empty", "e.dat", "", false, "-lh0-", "e.dat", "", 0x20},
      {"read-only", "r.dat", SampleLog(), true, "-lh5-", "r.dat", "", 0x21},
      {"header of 256 bytes", std::string(213, 'n') + ".dat", "x", false, "-lh0-", "", "", 0x20},
      {"in folders", "a/b/c.dat", SampleLog(), false, "-lh5-", "c.dat",
       "a\xFF"
       "b\xFF",
       0x20},
  };
  for (const Case& c : cases) {
    lzh::MemberData member;
    member.storedPath = c.storedPath;
    member.content = c.content;
    member.modifiedTime = 1379534723;
    member.readOnly = c.readOnly;
    const std::string archive = lzh::EncodeMember(member) + std::string(1, '\0');
    std::optional<std::vector<ParsedMember>> parsed = ParseArchive(archive);
    ASSERT_TRUE(parsed) << c.label;
    ASSERT_EQ(parsed->size(), 1u) << c.label;
    const ParsedMember& m = parsed->front();
    EXPECT_EQ(m.level, 2) << c.label;
    EXPECT_EQ(m.method, c.method) << c.label;
    EXPECT_EQ(m.osId, 'W') << c.label;
    EXPECT_EQ(m.originalSize, c.content.size()) << c.label;
    EXPECT_EQ(m.modifiedTime, 1379534723u) << c.label;
    EXPECT_TRUE(m.headerCrcMatches) << c.label;
    EXPECT_EQ(m.dataCrc, lzh::Crc16(c.content)) << c.label;
    EXPECT_NE(m.headerSize & 0xFF, 0u) << c.label;
    EXPECT_EQ(m.extensions.at(0x01), *c.fileName != '\0' ? c.fileName : c.storedPath) << c.label;
    EXPECT_EQ(m.extensions.count(0x02) ? m.extensions.at(0x02) : "", c.directory) << c.label;
    ASSERT_EQ(m.extensions.count(0x40), 1u) << c.label;
    EXPECT_EQ(m.extensions.at(0x40), std::string({static_cast<char>(c.attributes), '\0'}))
        << c.label;
    if (std::string(c.method) == "-lh0-") {
      EXPECT_EQ(m.data, c.content) << c.label;
    } else {
      EXPECT_LT(m.data.size(), c.content.size()) << c.label;
    }
  }
}

TEST(LzhHeader, HeaderCrcCatchesAChangedByte) {
  lzh::MemberData member;
  member.storedPath = "1379534723.dat";
  // The member only views its content: the log must outlive the encoding.
  const std::string log = SampleLog();
  member.content = log;
  std::string archive = lzh::EncodeMember(member) + std::string(1, '\0');
  archive[15] ^= 1;  // the time
  std::optional<std::vector<ParsedMember>> parsed = ParseArchive(archive);
  ASSERT_TRUE(parsed);
  EXPECT_FALSE(parsed->front().headerCrcMatches);
}

TEST(LzhHeader, RealLogsCarryTheirCrcs) {
  if (!std::filesystem::is_directory(TEST_REALDATA_DIR))
    GTEST_SKIP() << "no real test data at " << TEST_REALDATA_DIR;
  lzh_test::TempFolder temp;
  std::vector<lzh::MemberSource> sources;
  std::vector<std::string> contents;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(TEST_REALDATA_DIR)) {
    if (entry.path().extension() != ".dat") continue;
    sources.push_back({entry.path().string(), entry.path().filename().string()});
    contents.push_back(common::ReadWholeFile(entry.path().string()).value());
  }
  const std::string archivePath = temp.path() + "/all.lzh";
  ASSERT_EQ(lzh::WriteArchive(archivePath, sources).status, lzh::WriteResult::Status::kOk);
  std::optional<std::vector<ParsedMember>> parsed =
      ParseArchive(common::ReadWholeFile(archivePath).value());
  ASSERT_TRUE(parsed);
  ASSERT_EQ(parsed->size(), sources.size());
  for (size_t i = 0; i < sources.size(); ++i) {
    EXPECT_TRUE((*parsed)[i].headerCrcMatches) << sources[i].storedPath;
    EXPECT_EQ((*parsed)[i].dataCrc, lzh::Crc16(contents[i])) << sources[i].storedPath;
    EXPECT_EQ((*parsed)[i].extensions.at(0x01), sources[i].storedPath);
  }
}

}  // namespace
