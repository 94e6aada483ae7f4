// Archives of real logs and of awkward inputs, read back by the real
// readers: lhasa and 7-Zip must both accept each one and give back the exact
// bytes under the stored name and time.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "common/file_io.h"
#include "lzh/archive_writer.h"
#include "tests/lzh/archive_check.h"

namespace {

using lzh_test::CheckWithReaders;
using lzh_test::ParseArchive;
using lzh_test::TempFolder;

constexpr long kTime = 1379534723;  // a thread key, as a Unix time

bool HaveRealData() { return std::filesystem::is_directory(TEST_REALDATA_DIR); }

std::vector<std::filesystem::path> RealFiles() {
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(TEST_REALDATA_DIR))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

// Archives `content` as `name` and returns what the readers found wrong.
std::string ArchiveAndCheck(const std::string& name, const std::string& content,
                            std::string* method = nullptr, const lzh::Lh5Options& options = {}) {
  TempFolder temp;
  const std::string file = temp.Write("in/" + name, content, kTime);
  const std::string archive = temp.path() + "/out.lzh";
  lzh::WriteResult written = lzh::WriteArchive(archive, {{file, name}}, options);
  if (written.status != lzh::WriteResult::Status::kOk) return "not written: " + written.message;
  if (method != nullptr) *method = written.members.at(0).method;
  return CheckWithReaders(archive, name, content, kTime, temp);
}

TEST(LzhReaders, AcceptEveryRealFile) {
  if (!HaveRealData()) GTEST_SKIP() << "no real test data at " << TEST_REALDATA_DIR;
  for (const auto& path : RealFiles()) {
    std::optional<std::string> content = common::ReadWholeFile(path.string());
    ASSERT_TRUE(content) << path;
    std::string method;
    EXPECT_EQ(ArchiveAndCheck(path.filename().string(), *content, &method), "") << path;
    EXPECT_EQ(method, "-lh5-") << path;
  }
}

// Every real log in one archive: both readers give each member back, and
// the archive is at most 0.99 of what jlha -lh5- makes of the same files.
TEST(LzhReaders, RealLogsTogetherUnderJlhaSize) {
  if (!HaveRealData()) GTEST_SKIP() << "no real test data at " << TEST_REALDATA_DIR;
  TempFolder temp;
  std::vector<lzh::MemberSource> sources;
  std::string names;
  for (const auto& path : RealFiles()) {
    if (path.extension() != ".dat") continue;
    const std::string name = path.filename().string();
    const std::string copy =
        temp.Write("logs/" + name, *common::ReadWholeFile(path.string()), kTime);
    sources.push_back({copy, name});
    names += " " + lzh_test::ShellQuote(name);
  }
  ASSERT_GE(sources.size(), 2u);
  const std::string ours = temp.path() + "/ours.lzh";
  ASSERT_EQ(lzh::WriteArchive(ours, sources).status, lzh::WriteResult::Status::kOk);
  const std::string q = lzh_test::ShellQuote(ours);
  for (const lzh::MemberSource& source : sources) {
    const std::string name = lzh_test::ShellQuote(source.storedPath);
    const std::string file = lzh_test::ShellQuote(source.filePath);
    EXPECT_EQ(lzh_test::RunShell("lhasa pq " + q + " " + name + " | cmp - " + file).exitCode, 0)
        << "lhasa: " << source.storedPath;
    EXPECT_EQ(
        lzh_test::RunShell("7z e -so " + q + " " + name + " 2>/dev/null | cmp - " + file).exitCode,
        0)
        << "7z: " << source.storedPath;
  }

  if (lzh_test::RunShell("command -v jlha").exitCode != 0)
    GTEST_SKIP() << "jlha (Debian package jlha-utils) missing: the size is not compared";
  const std::string theirs = temp.path() + "/jlha.lzh";
  lzh_test::CommandResult made =
      lzh_test::RunShell("cd " + lzh_test::ShellQuote(temp.path() + "/logs") + " && jlha a2q " +
                         lzh_test::ShellQuote(theirs) + names);
  ASSERT_EQ(made.exitCode, 0) << made.output;
  const auto oursSize = std::filesystem::file_size(ours);
  const auto theirSize = std::filesystem::file_size(theirs);
  EXPECT_LE(oursSize * 100, theirSize * 99) << "ours " << oursSize << ", jlha " << theirSize;
}

// Log lines of the usual form with varied fields, for when the real logs
// are not at hand.
std::string GeneratedLog(size_t size) {
  std::mt19937 rng(11);
  const char* names[] = {"名無しさん", "以下、名無しにかわりましてVIPがお送りします", "◆tripKey01"};
  const char* words[] = {"ｷﾀ━━(ﾟ∀ﾟ)━━!!", "&gt;&gt;", "ttp://example.jp/", "ワロタ", "<br>",
                         "sage",          "ｗｗｗ"};
  std::string log;
  for (int n = 1; log.size() < size; ++n) {
    log += std::string(names[rng() % 3]) + "<>" + (rng() % 2 ? "sage" : "") + "<>2013/09/" +
           std::to_string(10 + rng() % 20) + " " + std::to_string(rng() % 24) + ":" +
           std::to_string(rng() % 60) + " ID:" + std::to_string(rng() % 100000) + "<> ";
    for (unsigned w = rng() % 12; w-- > 0;) log += std::string(words[rng() % 7]) + " ";
    log += std::to_string(n) + " <>\n";
  }
  return log;
}

// The real logs repeated to 2 MB, or a generated log of that size.
TEST(LzhReaders, AcceptTwoMegabyteLog) {
  std::string log;
  if (HaveRealData()) {
    while (log.size() < 2'000'000) {
      for (const auto& path : RealFiles())
        if (path.extension() == ".dat") log += common::ReadWholeFile(path.string()).value_or("");
    }
  } else {
    log = GeneratedLog(2'000'000);
  }
  std::string method;
  EXPECT_EQ(ArchiveAndCheck("1234567890.dat", log, &method), "");
  EXPECT_EQ(method, "-lh5-");
}

std::string RandomBytes(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

// Text with long repeats and far matches, so that every length and distance
// code and several blocks occur.
std::string RepetitiveText() {
  std::mt19937 rng(7);
  std::string s;
  const char* words[] = {"名無しさん", "<>sage<>", "2013/09/19(木) ", "ID:abc",
                         "\n",         "ｷﾀ━━",     "ttp://"};
  while (s.size() < 300'000) {
    if (rng() % 5 == 0 && s.size() > 9000) {
      size_t len = 3 + rng() % 400, from = s.size() - 1 - rng() % 8192;
      for (size_t k = 0; k < len; ++k) s.push_back(s[from + k]);
    } else {
      s += words[rng() % 7];
      s.push_back(static_cast<char>('0' + rng() % 10));
    }
  }
  return s;
}

struct Case {
  const char* label;
  std::string name;
  std::string content;
  const char* method;
};

TEST(LzhReaders, AcceptAwkwardInputs) {
  const Case cases[] = {
      {"empty file", "empty.dat", "", "-lh0-"},
      {"one byte", "one.dat", "x", "-lh0-"},
      {"incompressible", "random.bin", RandomBytes(70'000, 1), "-lh0-"},
      {"one repeated byte", "run.dat", std::string(100'000, 'a'), "-lh5-"},
      {"repeats of every length", "repeats.dat", RepetitiveText(), "-lh5-"},
      {"blank and comma in the name", "a b,c.dat", std::string(3000, 'q') + "xyz", "-lh5-"},
      // 217 name bytes make the header exactly 256 bytes, whose low byte
      // would read as the end mark: the writer pads it.
      {"header of 256 bytes", std::string(213, 'n') + ".dat", std::string(500, 'z'), "-lh5-"},
  };
  for (const Case& c : cases) {
    std::string method;
    EXPECT_EQ(ArchiveAndCheck(c.name, c.content, &method), "") << c.label;
    EXPECT_EQ(method, c.method) << c.label;
  }
}

// Tiny blocks bring out the block forms for trees of one symbol (every code
// of the block the same) and of a few.
TEST(LzhReaders, AcceptTinyBlocks) {
  struct TinyCase {
    const char* label;
    std::string content;
    int blockCodes;
  };
  const TinyCase cases[] = {
      {"one code per block", std::string(100'000, 'a'), 1},
      {"two codes per block", std::string(100'000, 'a') + "bcd" + std::string(50'000, 'a'), 2},
      {"small blocks of text", RepetitiveText(), 50},
  };
  for (const TinyCase& c : cases) {
    lzh::Lh5Options options;
    options.blockCodes = c.blockCodes;
    std::string method;
    EXPECT_EQ(ArchiveAndCheck("tiny.dat", c.content, &method, options), "") << c.label;
    EXPECT_EQ(method, "-lh5-") << c.label;
  }
}

TEST(LzhReaders, AcceptSeveralMembersAndAFolder) {
  TempFolder temp;
  const std::string first = temp.Write("base/sub/one.dat", std::string(4000, '1') + "end", kTime);
  const std::string second = temp.Write("base/two.dat", RandomBytes(500, 2), kTime + 60);
  const std::string archive = temp.path() + "/both.lzh";
  ASSERT_EQ(lzh::WriteArchive(archive, {{first, "sub/one.dat"}, {second, "two.dat"}}).status,
            lzh::WriteResult::Status::kOk);
  lzh_test::CommandResult listed = lzh_test::RunShell("7z l -slt " + lzh_test::ShellQuote(archive));
  EXPECT_NE(listed.output.find("Path = sub/one.dat"), std::string::npos) << listed.output;
  EXPECT_NE(listed.output.find("Path = two.dat"), std::string::npos) << listed.output;
  EXPECT_EQ(lzh_test::RunShell("lhasa pq " + lzh_test::ShellQuote(archive) +
                               " sub/one.dat | cmp - " + lzh_test::ShellQuote(first))
                .exitCode,
            0);
  EXPECT_EQ(lzh_test::RunShell("lhasa pq " + lzh_test::ShellQuote(archive) + " two.dat | cmp - " +
                               lzh_test::ShellQuote(second))
                .exitCode,
            0);
}

}  // namespace

namespace {

// The reader checks above must fail on archives that are broken in the ways
// lhasa's test alone lets through.
TEST(LzhReaders, ChecksCatchBrokenArchives) {
  const std::string content = RepetitiveText().substr(0, 20'000);
  lzh::MemberData member;
  member.storedPath = "broken.dat";
  member.content = content;
  member.modifiedTime = kTime;
  const std::string good = lzh::EncodeMember(member) + std::string(1, '\0');
  const size_t headerSize = static_cast<uint8_t>(good[0]) | (static_cast<uint8_t>(good[1]) << 8);
  struct Case {
    const char* label;
    std::string bytes;
  };
  std::string flipped = good, zeroCrc = good, truncated = good.substr(0, good.size() / 2);
  flipped[(headerSize + good.size()) / 2] ^= 0x10;  // inside the data
  zeroCrc[21] = zeroCrc[22] = '\0';
  const Case cases[] = {{"a flipped data bit", flipped},
                        {"a zeroed data CRC", zeroCrc},
                        {"cut in half", truncated},
                        {"not LZH at all", std::string(3000, 'L')}};
  for (const Case& c : cases) {
    TempFolder temp;
    const std::string archive = temp.path() + "/broken.lzh";
    ASSERT_TRUE(common::ReplaceFileAtomically(archive, c.bytes));
    EXPECT_NE(CheckWithReaders(archive, "broken.dat", content, kTime, temp), "") << c.label;
  }
}

}  // namespace
