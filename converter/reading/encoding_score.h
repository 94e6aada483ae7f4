// Guessing the text encoding of a log from its head: three scores, one per
// candidate, over the first part of the head.
#pragma once

#include <string_view>

namespace converter {

struct EncodingScores {
  long euc = 0;
  long sjis = 0;  // already halved
  long utf8 = 0;
};

EncodingScores ScoreEncodings(std::string_view bytes);

// 1 Shift_JIS, 2 EUC-JP, 3 UTF-8, 0 undecided (EUC-JP and UTF-8 tie above Shift_JIS).
int DecideEncoding(const EncodingScores& scores);

// DecideEncoding(ScoreEncodings(bytes)), without finishing a score that has
// fallen too far behind to change the decision.
int IdentifyEncoding(std::string_view bytes);

// Bytes of the head the scores look at: a fifth of the head size, 30720
// bytes when the head size is 0 or above 150 KB, never past the first NUL.
std::string_view EncodingRegion(std::string_view head, int headKb);

}  // namespace converter
