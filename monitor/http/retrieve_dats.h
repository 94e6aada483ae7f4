// The dat retrieval, the fourth step of a cycle: keeps a local copy of the
// log of every thread on the download list. A thread without a copy is
// downloaded whole; one with a copy asks only for the bytes beyond its local
// size (a HEAD probe with If-Modified-Since and Range, then a differential
// GET) and appends them.
#pragma once

#include <string>

#include "monitor/core/monitor.h"
#include "monitor/http/http_client.h"
#include "monitor/http/response_head.h"

namespace yagura {

// Each request kind (HEAD, differential GET, full GET) is tried twice at most.
inline constexpr int kAttemptsPerRequest = 2;

// True when every entry of the download list was processed; false when the
// user stopped the run (the stop tail has then been done) or the dat folder
// (ending in "/") cannot be created. Stop requests are honoured between
// threads, never inside one.
bool RetrieveDats(Monitor& monitor, HttpClient& http, const std::string& datFolder);

// Hands the retrieval to the run cycle as its fourth step. `http` must
// outlive the monitor's use of it.
void InstallRetrieveDats(Monitor& monitor, HttpClient& http);

// Number of LF bytes in the file (the post count of a log); 0 when the file
// is missing or empty.
int CountDatLines(const std::string& path);

}  // namespace yagura
