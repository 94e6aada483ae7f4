// The dat retrieval, the fourth step of a cycle: keeps a local copy of the
// log of every thread on the download list. A thread without a copy is
// downloaded whole; one with a copy asks only for the bytes beyond its local
// size (a HEAD probe with If-Modified-Since and Range, then a differential
// GET) and appends them.
#pragma once

#include <string>

#include "monitor/core/monitor.h"
#include "monitor/http/http_client.h"

namespace yagura {

// Status codes the retrieval tells apart.
inline constexpr int kHttpOk = 200;
inline constexpr int kHttpPartialContent = 206;
inline constexpr int kHttpNotModified = 304;
// The server answers 416 when the log shrank (a post was deleted), so the
// range beyond the local size does not exist: the whole log is fetched again.
inline constexpr int kHttpRangeNotSatisfiable = 416;

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

// The status code of a status line: the text after its first blank up to
// the next blank, as a number (0 when it is not one).
int StatusCodeOf(const std::string& statusLine);

}  // namespace yagura
