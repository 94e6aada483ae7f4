// The encoding scores on real logs and on copies converted with ICU.
#include <gtest/gtest.h>

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

}  // namespace
}  // namespace converter
