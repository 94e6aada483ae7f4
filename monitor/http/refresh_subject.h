// The board refresh, the first step of every cycle: fetches the board's
// thread list (subject.txt) into a file and checks that it arrived whole,
// following a server move through the board's top page.
#pragma once

#include <string>

#include "monitor/core/monitor.h"
#include "monitor/http/http_client.h"

namespace yagura {

// Moves followed within one refresh; a board that keeps moving (or points
// back at itself) ends the refresh as failed.
inline constexpr int kMaxBoardMovesPerRefresh = 3;

// The last list fetched whole, kept between cycles so that the board is
// asked with If-Modified-Since: a 304 costs a few hundred bytes where the
// list costs tens of kilobytes every cycle.
struct SubjectCache {
  std::string boardUrl;      // the board the list came from
  std::string lastModified;  // its Last-Modified value ("" when none came)
  std::string bytes;         // the list as the server sent it
};

// Fetches txtURLBRD + "subject.txt" into `path` (headers into path +
// ".head"). True only when the list was fetched whole. After a server move
// txtURLBRD holds the new board URL. With a cache, the request is
// conditional; a 304 writes the cached list to `path` and counts as fetched.
bool RefreshSubject(Monitor& monitor, HttpClient& client, const std::string& path,
                    SubjectCache* cache = nullptr);

// Hands the refresh to the run cycle as its first step (the core cannot call
// the HTTP layer itself). `client` must outlive the monitor's use of it.
void InstallRefreshSubject(Monitor& monitor, HttpClient& client);

}  // namespace yagura
