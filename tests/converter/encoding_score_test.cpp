// The encoding scores on real logs and on copies converted with ICU.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>

#include "common/encoding.h"
#include "converter/reading/encoding_score.h"
#include "test_data.h"

namespace converter {
namespace {

int Decide(const std::string& bytes) {
  return DecideEncoding(ScoreEncodings(EncodingRegion(bytes, 30)));
}

TEST(EncodingScores, ShiftJisLogsAndTheirConvertedCopies) {
  for (const char* log : {"twoB-2ch/2ch_with_id.dat", "twoB-2ch/2ch_with_id_and_be.dat",
                          "js2ch-news4vip/1379534723.dat", "twoB-2ch/log-falled.dat"}) {
    SCOPED_TRACE(log);
    REAL_LOG_OR_SKIP(bytes, log);
    EXPECT_EQ(Decide(bytes), 1);
    std::string utf8 = common::Cp932ToUtf8(bytes);
    EXPECT_EQ(Decide(utf8), 3);
    std::string euc;
    common::EncodeFromUtf8(utf8, common::Charset::kEucJp, euc);
    EXPECT_EQ(Decide(euc), 2);
  }
}

TEST(EncodingScores, EucJpLogsOfShitaraba) {
  for (const char* log : {"twoB-jbbs/jbbs.dat", "twoB-jbbs/aa.dat", "twoB-jbbs/aa-euc.dat",
                          "twoB-jbbs/unmatch-count-dat.txt"}) {
    SCOPED_TRACE(log);
    REAL_LOG_OR_SKIP(bytes, log);
    EXPECT_EQ(Decide(bytes), 2);
  }
}

TEST(EncodingScores, ScoresFollowTheirRules) {
  // "あ" in EUC-JP: a pair with lead 0xA4 outside B0A1-F4FE: +2 +3.
  EXPECT_EQ(ScoreEncodings("\xA4\xA2").euc, 5);
  // A level-1 kanji pair (亜 0x889F) in Shift_JIS: +4, halved.
  EXPECT_EQ(ScoreEncodings("\x88\x9F").sjis, 2);
  // A lone continuation byte costs UTF-8 one point; a broken sequence ten.
  EXPECT_EQ(ScoreEncodings("\x80").utf8, -1);
  EXPECT_EQ(ScoreEncodings("\xE3\x81"
                           "a")
                .utf8,
            -10);
  // Pure ASCII: all zero, which is Shift_JIS.
  EXPECT_EQ(DecideEncoding(ScoreEncodings("plain ascii")), 1);
}

TEST(EncodingScores, UndecidedTie) {
  EXPECT_EQ(DecideEncoding({5, 1, 5}), 0);
  EXPECT_EQ(DecideEncoding({5, 5, 5}), 1);  // Shift_JIS wins ties with it
}

TEST(EncodingScores, RegionStopsAtTheFirstNul) {
  std::string head = std::string(100, 'a') + '\0' + std::string(100, 'b');
  EXPECT_EQ(EncodingRegion(head, 30).size(), 100u);
  EXPECT_EQ(EncodingRegion(std::string(40000, 'a'), 30).size(), 30u * 1024 / 5);
  EXPECT_EQ(EncodingRegion(std::string(40000, 'a'), 0).size(), 30720u);
  EXPECT_EQ(EncodingRegion(std::string(300000, 'a'), 200).size(), 30720u);
}

// The scores byte by byte, as plainly as they are defined: the scorer passes
// ASCII runs in blocks and must land on the same totals.
EncodingScores ScoreOneByOne(std::string_view text) {
  const auto* b = reinterpret_cast<const std::uint8_t*>(text.data());
  const size_t n = text.size();
  EncodingScores s;
  for (size_t k = 0; k < n;) {
    std::uint8_t c = b[k], d = k + 1 < n ? b[k + 1] : 0;
    if (c >= 0x80 && k + 1 < n &&
        ((c >= 0xA1 && c != 0xFF && d > 0xA0 && d != 0xFF) ||
         (c == 0x8E && d >= 0xA1 && d <= 0xDF))) {
      s.euc += (c == 0x8E || (c >= 0xB0 && c <= 0xF4)) ? 1 : 2;
      s.euc += (c == 0xA4 || c == 0xA5) ? 3 : 0;
      k += 2;
    } else {
      s.euc -= (c >= 0x80 && c != 0x8F) ? 15 : 0;
      k += 1;
    }
  }
  long sjis = 0;
  for (size_t k = 0; k < n;) {
    std::uint8_t c = b[k], d = k + 1 < n ? b[k + 1] : 0;
    bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    if (c < 0x80) {
      k += 1;
    } else if (c >= 0xA1 && c <= 0xDF) {
      sjis += 1, k += 1;
    } else if (lead && k + 1 < n && ((d >= 0x40 && d <= 0x7E) || (d >= 0x80 && d <= 0xFC))) {
      unsigned value = c << 8 | d;
      sjis += (value < 0x989F || value > 0xEAA4) ? 4 : 2, k += 2;
    } else {
      sjis -= 30, k += 1;
    }
  }
  s.sjis = sjis / 2;
  for (size_t k = 0; k < n;) {
    std::uint8_t c = b[k];
    if (c >= 0xC2 && c <= 0xFD) {
      size_t length = c <= 0xDF ? 2 : c <= 0xEF ? 3 : c <= 0xF7 ? 4 : c <= 0xFB ? 5 : 6, j = 1;
      while (j < length && k + j < n && b[k + j] >= 0x80 && b[k + j] <= 0xBF) ++j;
      if (j == length) {
        s.utf8 += static_cast<long>(length), k += length;
        continue;
      }
      if (k + j >= n) break;
      s.utf8 -= 10, k += j;
      continue;
    }
    if ((c >= 0x80 && c <= 0xC1) || c >= 0xFE) s.utf8 -= 1;
    k += 1;
  }
  return s;
}

TEST(EncodingScores, AsciiRunsPassedInBlocksScoreAsByteByByte) {
  std::mt19937 random(18);
  // Japanese text in three encodings, ASCII runs of every length around the
  // block size, and bytes cut anywhere.
  const std::string pieces[] = {"\x82\xA0", "\xA4\xA2", "\xE3\x81\x82", "\x88\x9F",
                                "\x8E\xB1", "\xB1",     "\xE3\x81",     "\x80",
                                "\xFF",     "<br>",     "\x82",         "\x8F\xA1"};
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    const int parts = static_cast<int>(random() % 12);
    for (int p = 0; p < parts; ++p) {
      if (random() % 3 == 0) {
        text.append(random() % 40, static_cast<char>('a' + random() % 26));
      } else {
        text += pieces[random() % std::size(pieces)];
      }
    }
    SCOPED_TRACE(::testing::PrintToString(text));
    EncodingScores fast = ScoreEncodings(text), plain = ScoreOneByOne(text);
    EXPECT_EQ(fast.euc, plain.euc);
    EXPECT_EQ(fast.sjis, plain.sjis);
    EXPECT_EQ(fast.utf8, plain.utf8);
    if (HasFailure()) break;
  }
  for (const char* log : {"twoB-2ch/2ch_with_id.dat", "twoB-jbbs/aa-euc.dat"}) {
    REAL_LOG_OR_SKIP(bytes, log);
    std::string utf8 = common::Cp932ToUtf8(bytes);
    for (const std::string& text : {bytes, utf8}) {
      EncodingScores fast = ScoreEncodings(text), plain = ScoreOneByOne(text);
      EXPECT_EQ(fast.euc, plain.euc) << log;
      EXPECT_EQ(fast.sjis, plain.sjis) << log;
      EXPECT_EQ(fast.utf8, plain.utf8) << log;
    }
  }
}

// The decision with losing scores cut short is the decision of the full
// scores: on real logs in each encoding, on heads that change encoding half
// way (the early leader loses), and at every length of cut.
TEST(EncodingScores, CutShortDecisionIsTheFullDecision) {
  REAL_LOG_OR_SKIP(sjis, "twoB-2ch/2ch_with_id_and_be.dat");
  REAL_LOG_OR_SKIP(euc, "twoB-jbbs/aa-euc.dat");
  const std::string utf8 = common::Cp932ToUtf8(sjis);
  std::string eucCopy;
  common::EncodeFromUtf8(utf8, common::Charset::kEucJp, eucCopy);
  const std::string heads[] = {sjis,
                               euc,
                               utf8,
                               eucCopy,
                               sjis.substr(0, 9000) + utf8,
                               sjis.substr(0, 12000) + euc,
                               utf8.substr(0, 9000) + sjis,
                               euc.substr(0, 3000) + utf8,
                               euc.substr(0, 15000) + sjis,
                               utf8.substr(0, 20000) + euc};
  int decisions[4] = {};
  for (const std::string& head : heads) {
    for (size_t length = 0; length <= 30720 && length <= head.size(); length += 97) {
      std::string_view region(head.data(), length);
      const int full = DecideEncoding(ScoreEncodings(region));
      ASSERT_EQ(IdentifyEncoding(region), full) << "length " << length;
      ++decisions[full];
    }
  }
  // Every outcome but a tie came up.
  EXPECT_GT(decisions[1], 0);
  EXPECT_GT(decisions[2], 0);
  EXPECT_GT(decisions[3], 0);
}

}  // namespace
}  // namespace converter
