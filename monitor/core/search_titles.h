// The title search, the second step of a cycle: matches every title of the
// board's thread list against the three word pairs and queues the matches
// for the mail and the download; then walks the download list and hands
// every thread that has gone from the board to the dat-fall processing.
#pragma once

#include <string>
#include <string_view>

#include "monitor/core/monitor.h"

namespace yagura {

// A log this long can take no more posts; it is not archived while it is
// still listed on the board.
inline constexpr int kFullThreadLines = 1001;
inline constexpr long long kBigThreadKilobytes = 512;

// True when both passes ran to the end; false when the thread list file is
// missing or the user stopped the run (the stop tail has then been done).
bool SearchTitles(Monitor& monitor, const std::string& subjectPath);

// Hands the search to the run cycle as its second step.
void InstallSearchTitles(Monitor& monitor);

// The parts of a thread list line "key.dat<>title (count)". Empty optional
// fields mean the line could not be parsed.
struct SubjectLine {
  std::string_view keyPart;  // text before the first "<"
  std::string_view title;    // after the first "<>" up to the last " ("
  std::string_view count;    // inside the last parentheses
};
// The download list entry for a line: key.dat<countレス>title (count).
std::string DownloadEntryOf(const SubjectLine& line);

// True when the list holds at least one line of the thread list form
// ("key.dat<>title (count)"); an HTML maintenance or error page served as
// subject.txt holds none. Works on the raw CP932 bytes (the marks are ASCII,
// which no CP932 trail byte is).
bool HasThreadLine(std::string_view subjectBytes);

// Number of LF bytes of a file, counting no further than `limit` (0 when the
// file is missing).
long long CountLineFeedsUpTo(const std::string& path, long long limit);

}  // namespace yagura
