// Benchmarks of the plain request:
//  1. responsiveness: the largest gap between two event pumps while a
//     server stalls for 5 s before it answers (target: below 100 ms);
//  2. a GET of a 1 MB subject.txt from a private nginx on loopback into its
//     files: median time of HttpRequest against an in-process libcurl easy
//     handle making the same request (target: within 2x), once with the
//     body kept as a scratch file and once stored as HttpRequest stores it
//     (body and header file atomically, flushed);
//  3. an unchanged cycle of 100 followed threads (board refresh, title
//     search, 100 range probes answered 304, the download plan) against the
//     same 101 requests made by one reused libcurl easy handle (target:
//     within 1.5x). tools/bench/http_bench.sh counts its fsync calls;
//  4. the bytes one board refresh receives when nothing changed on the demo
//     board (tools/demo/board_sim.py, 300 threads), asked plainly as before
//     and with the kept list's Last-Modified.
// Run: build/tests/monitor/http/http_bench [runs] [cycle [monitor|libcurl]]
// "cycle monitor" and "cycle libcurl" run the unchanged cycles of one side
// only (after the same set-up), for measuring each from outside, e.g. its
// CPU time: perf stat -e task-clock --no-inherit http_bench N cycle monitor,
// less the same with 0 runs, divided by N.
#include <curl/curl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "common/encoding.h"
#include "common/file_io.h"
#include "monitor/core/board_urls.h"
#include "monitor/core/initialize_window.h"
#include "monitor/core/run_state.h"
#include "monitor/core/search_titles.h"
#include "monitor/core/thread_lists.h"
#include "monitor/http/http_client.h"
#include "monitor/http/refresh_subject.h"
#include "monitor/http/retrieve_dats.h"
#include "tests/servers/nginx_server.h"
#include "tests/servers/script_server.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
using yagura::testing::NginxServer;
using yagura::testing::ScriptServer;

class RecordingPump : public yagura::EventPump {
 public:
  std::vector<SteadyClock::time_point> times;
  void PumpOnce() override { times.push_back(SteadyClock::now()); }
};

double Milliseconds(SteadyClock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// The reference: one libcurl easy handle, reused, making the requests the
// monitor makes byte for byte (HTTP/1.0, its User-Agent, no Accept line,
// "Connection: close", a new connection for each request and none kept),
// bodies written to a file as a download would be.
class CurlReference {
 public:
  CurlReference() : easy_(curl_easy_init()) {}
  ~CurlReference() { curl_easy_cleanup(easy_); }
  CurlReference(const CurlReference&) = delete;
  CurlReference& operator=(const CurlReference&) = delete;

  // Body bytes, or -1 on failure. The body goes to `out` as a scratch file;
  // `durable` stores it as HttpRequest stores a download instead: the body
  // and the header lines (out + ".head") each replaced atomically, flushed.
  long Request(const std::string& url, bool head, const std::vector<std::string>& extra,
               const std::string& out, bool durable = false) {
    curl_slist* headers = curl_slist_append(nullptr, "Accept:");
    for (const std::string& line : extra) headers = curl_slist_append(headers, line.c_str());
    headers = curl_slist_append(headers, "Connection: close");
    std::string body, headerLines;
    curl_easy_reset(easy_);
    curl_easy_setopt(easy_, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy_, CURLOPT_HTTP_VERSION, CURL_HTTP_VERSION_1_0);
    curl_easy_setopt(easy_, CURLOPT_USERAGENT, agent_.c_str());
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_FORBID_REUSE, 1L);
    curl_easy_setopt(easy_, CURLOPT_FRESH_CONNECT, 1L);
    if (head) curl_easy_setopt(easy_, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, &body);
    if (durable) {
      curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, Collect);
      curl_easy_setopt(easy_, CURLOPT_HEADERDATA, &headerLines);
    }
    const CURLcode code = curl_easy_perform(easy_);
    curl_slist_free_all(headers);
    if (code != CURLE_OK) return -1;
    if (durable) {
      if (!common::ReplaceFileAtomically(out, body) ||
          !common::ReplaceFileAtomically(out + ".head", headerLines)) {
        return -1;
      }
    } else if (!out.empty() && !body.empty() && !common::ReplaceScratchFile(out, body)) {
      return -1;
    }
    return static_cast<long>(body.size());
  }

 private:
  static size_t Collect(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
  }
  CURL* easy_;
  std::string agent_ = yagura::UserAgentFor("2ch");
};

// A board of 1,000 threads, 100 of them followed, each with a 20 KB log.
struct CycleBoard {
  std::vector<std::string> followedKeys;
};

CycleBoard MakeCycleBoard(NginxServer& nginx) {
  CycleBoard board;
  std::string subject;
  for (int i = 0; i < 1000; ++i) {
    const std::string key = std::to_string(1700000000 + i);
    const bool followed = i % 10 == 0;
    subject += key + ".dat<>" + (followed ? "ねこ画像スレ " : "雑談スレ ") + std::to_string(i) +
               " (" + std::to_string(100 + i % 900) + ")\n";
    if (!followed) continue;
    board.followedKeys.push_back(key);
    std::string log;
    for (int post = 1; log.size() < 20000; ++post) {
      log += "名無しさん<><>2026/01/01(木) 00:00:00 ID:abc<> 書き込み " + std::to_string(post) +
             " <>\n";
    }
    nginx.WriteFile("board/dat/" + key + ".dat", common::Utf8ToCp932(log));
  }
  nginx.WriteFile("board/subject.txt", common::Utf8ToCp932(subject));
  return board;
}

// The board steps of one cycle, as the run cycle makes them; `steps` gets
// the time of each (refresh, search, retrieval, plan) when given.
bool MonitorCycle(yagura::Monitor& m, yagura::HttpClient& client,
                  std::vector<std::vector<double>>* steps = nullptr) {
  const std::string subject = m.paths.File("_subject.txt");
  auto last = SteadyClock::now();
  auto lap = [&](size_t step) {
    const auto now = SteadyClock::now();
    if (steps) (*steps)[step].push_back(Milliseconds(now - last));
    last = now;
  };
  common::RemoveFile(subject);
  if (!yagura::RefreshSubject(m, client, subject)) return false;
  lap(0);
  if (!yagura::SearchTitles(m, subject)) return false;
  lap(1);
  if (!yagura::RetrieveDats(m, client, m.paths.DatFolder())) return false;
  lap(2);
  if (!yagura::SaveDownloadPlan(m)) return false;
  lap(3);
  return true;
}

// The same requests through the reference: the list, then one range probe
// per followed thread with the stored Last-Modified.
bool ReferenceCycle(CurlReference& curl, const yagura::Monitor& m, const std::string& boardUrl,
                    const std::string& folder, std::vector<double>* listTimes = nullptr) {
  const auto start = SteadyClock::now();
  if (curl.Request(boardUrl + "subject.txt", false, {}, folder + "/ref_subject.txt") <= 0) {
    return false;
  }
  if (listTimes) listTimes->push_back(Milliseconds(SteadyClock::now() - start));
  for (const std::string& entry : m.form.listDATDL[0].Items()) {
    const std::string key(yagura::EntryKeyPart(entry));
    const std::string url = yagura::DatUrlFromPage(yagura::ThreadPageUrl(boardUrl, key));
    const std::string datPath = m.paths.DatFolder() + key;
    const std::string head = common::ReadWholeFile(datPath + ".head").value_or("");
    const size_t at = head.find("Last-Modified: ");
    const std::string since =
        at == std::string::npos ? "" : head.substr(at + 15, head.find("\r\n", at) - at - 15);
    if (curl.Request(url, true,
                     {"If-Modified-Since: " + since,
                      "Range: bytes=" + std::to_string(common::FileSize(datPath) - 1) + "-"},
                     "") < 0) {
      return false;
    }
  }
  return true;
}

// What a response took on the wire, near enough: the status line, the
// header lines and the body.
long ResponseBytes(const yagura::ResponseHead& head, long bodyBytes) {
  long bytes = static_cast<long>(head.StatusLine().size()) + 4;
  for (const char* name : {"Server", "Date", "Content-Type", "Content-Length", "Last-Modified",
                           "Connection", "ETag", "Accept-Ranges"}) {
    if (auto value = head.Find(name))
      bytes += static_cast<long>(std::strlen(name) + 4 + value->size());
  }
  return bytes + bodyBytes;
}

bool RunPoliteRefresh(yagura::EventPump& pump, const std::string& folder) {
  NginxServer nginx;
  if (!nginx.Running()) return false;
  const std::string command =
      "/usr/bin/python3 " TEST_SOURCE_DIR "/tools/demo/board_sim.py --root " + nginx.Root() +
      " --state " + folder + "/board_state.json init --threads 300 >/dev/null";
  if (std::system(command.c_str()) != 0) return false;
  yagura::Monitor m;
  m.pump = &pump;
  m.paths.folder = folder + "/";
  m.paths.exeName = "yagura";
  yagura::InitializeWindow(m);
  yagura::SetRunState(m, yagura::RunState::kRunning);
  m.form.txtURLBRD.SetText(nginx.Url("/demo/"));
  yagura::HttpClient client(m);
  const std::string subject = m.paths.File("_subject.txt");
  long plain = 0, polite = 0;
  yagura::SubjectCache cache;
  for (yagura::SubjectCache* kept : {static_cast<yagura::SubjectCache*>(nullptr), &cache, &cache}) {
    common::RemoveFile(subject);
    if (!yagura::RefreshSubject(m, client, subject, kept)) return false;
    const long bytes = ResponseBytes(
        client.LastHead(), client.LastHead().StatusCode() == 200 ? common::FileSize(subject) : 0);
    if (!kept) plain = bytes;
    if (kept && &cache == kept) polite = bytes;  // the last: nothing changed since
  }
  std::printf(
      "board refresh of an unchanged demo board (300 threads): %ld bytes received when asked "
      "plainly, %ld bytes with If-Modified-Since (status %d)\n",
      plain, polite, client.LastHead().StatusCode());
  return true;
}

// Returns false when the cycle could not be set up.
// Which sides of the cycle comparison run.
enum class Sides { kBoth, kMonitorOnly, kLibcurlOnly };

bool RunCycleBenchmark(int runs, yagura::EventPump& pump, const std::string& folder,
                       Sides sides = Sides::kBoth) {
  NginxServer nginx;
  if (!nginx.Running()) {
    std::fprintf(stderr, "nginx did not start: %s\n", nginx.ErrorLog().c_str());
    return false;
  }
  const CycleBoard board = MakeCycleBoard(nginx);
  yagura::Monitor m;
  m.pump = &pump;
  m.paths.folder = folder + "/";
  m.paths.exeName = "yagura";
  std::filesystem::create_directories(m.paths.DatFolder());
  yagura::InitializeWindow(m);
  yagura::SetRunState(m, yagura::RunState::kRunning);
  m.form.txtWORD1[0].SetText("ねこ");
  m.form.txtWORD2[0].SetText("画像");
  m.form.chkB[0].SetValue(1);
  const std::string boardUrl = nginx.Url("/board/");
  m.form.txtURLBRD.SetText(boardUrl);
  yagura::HttpClient client(m);
  // The first cycle downloads every log; the ones after it find nothing new.
  if (!MonitorCycle(m, client) || m.form.listDATDL[0].Count() != 100) {
    std::fprintf(stderr, "the first cycle failed (%d followed):\n%s\n", m.form.listDATDL[0].Count(),
                 m.form.txtLOG.Text().c_str());
    return false;
  }
  CurlReference curl;
  std::vector<double> ours, theirs;
  std::vector<std::vector<double>> steps(4);
  std::vector<double> referenceList;
  for (int i = 0; i < runs; ++i) {
    auto start = SteadyClock::now();
    if (sides != Sides::kLibcurlOnly) {
      if (!MonitorCycle(m, client, &steps)) return false;
      ours.push_back(Milliseconds(SteadyClock::now() - start));
    }
    start = SteadyClock::now();
    if (sides != Sides::kMonitorOnly) {
      if (!ReferenceCycle(curl, m, boardUrl, folder, &referenceList)) return false;
      theirs.push_back(Milliseconds(SteadyClock::now() - start));
    }
  }
  if (runs == 0) return true;  // the first cycle alone (fsync counting)
  if (sides != Sides::kBoth) {
    std::printf("unchanged cycle, %d runs of %s only: median %.2f ms\n", runs,
                sides == Sides::kMonitorOnly ? "the monitor" : "libcurl",
                Median(sides == Sides::kMonitorOnly ? ours : theirs));
    return true;
  }
  const double a = Median(ours), b = Median(theirs);
  std::printf(
      "unchanged cycle, 100 followed threads (101 requests), %d runs: monitor median %.2f ms, "
      "libcurl easy handle median %.2f ms, ratio %.2f (target <= 1.5)\n",
      runs, a, b, a / b);
  std::printf(
      "  monitor steps (medians): board refresh %.2f ms, title search %.2f ms, retrieval "
      "%.2f ms, download plan %.2f ms; libcurl: the list %.2f ms, the 100 probes %.2f ms\n",
      Median(steps[0]), Median(steps[1]), Median(steps[2]), Median(steps[3]), Median(referenceList),
      b - Median(referenceList));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 21;
  const bool cycleOnly = argc > 2 && std::string(argv[2]) == "cycle";
  const std::string side = argc > 3 ? argv[3] : "";
  const Sides sides = side == "monitor"   ? Sides::kMonitorOnly
                      : side == "libcurl" ? Sides::kLibcurlOnly
                                          : Sides::kBoth;
  if (!side.empty() && sides == Sides::kBoth) {
    std::fprintf(stderr, "unknown side \"%s\" (monitor or libcurl)\n", side.c_str());
    return 2;
  }
  RecordingPump pump;
  yagura::Monitor monitor;
  monitor.pump = &pump;
  yagura::HttpClient client(monitor);
  const std::string folder =
      std::filesystem::temp_directory_path() / ("yagura_http_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  if (cycleOnly) {
    yagura::NullPump quiet;
    const bool ok = RunCycleBenchmark(runs, quiet, folder, sides);
    std::filesystem::remove_all(folder);
    return ok ? 0 : 1;
  }

  {
    ScriptServer stall({yagura::testing::Pause(5000),
                        yagura::testing::Send("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")});
    const auto start = SteadyClock::now();
    pump.times = {start};
    const int n = client.HttpRequest("get", stall.Url("/board/subject.txt"), folder + "/s.head",
                                     folder + "/s.txt", "2ch");
    const auto end = SteadyClock::now();
    pump.times.push_back(end);
    std::vector<double> gaps;
    for (size_t i = 1; i < pump.times.size(); ++i) {
      gaps.push_back(Milliseconds(pump.times[i] - pump.times[i - 1]));
    }
    std::printf(
        "stall 5 s: result %d after %.0f ms, %zu pumps, median gap %.1f ms, "
        "largest gap %.1f ms (target < 100)\n",
        n, Milliseconds(end - start), pump.times.size() - 2, Median(gaps),
        *std::max_element(gaps.begin(), gaps.end()));
  }

  NginxServer nginx;
  if (!nginx.Running()) {
    std::fprintf(stderr, "nginx did not start: %s\n", nginx.ErrorLog().c_str());
    return 1;
  }
  std::string subject;
  for (int i = 0; subject.size() < 1000000; ++i) {
    subject += std::to_string(1262300000 + i) + ".dat<>スレッドのタイトル " + std::to_string(i) +
               " (" + std::to_string(i % 1000) + ")\n";
  }
  nginx.WriteFile("board/subject.txt", subject);
  const std::string url = nginx.Url("/board/subject.txt");
  std::vector<double> ours, theirs, theirsStored;
  CurlReference curl;
  for (int i = 0; i < runs; ++i) {
    auto start = SteadyClock::now();
    const int n = client.HttpRequest("get", url, folder + "/subject.txt.head",
                                     folder + "/subject.txt", "2ch");
    ours.push_back(Milliseconds(SteadyClock::now() - start));
    if (n != static_cast<int>(subject.size())) {
      std::fprintf(stderr, "short read: %d of %zu\n", n, subject.size());
      return 1;
    }
    start = SteadyClock::now();
    if (curl.Request(url, false, {}, folder + "/curl.txt") != static_cast<long>(subject.size())) {
      std::fprintf(stderr, "the reference request failed\n");
      return 1;
    }
    theirs.push_back(Milliseconds(SteadyClock::now() - start));
    start = SteadyClock::now();
    if (curl.Request(url, false, {}, folder + "/curl_stored.txt", true) !=
        static_cast<long>(subject.size())) {
      std::fprintf(stderr, "the reference request failed\n");
      return 1;
    }
    theirsStored.push_back(Milliseconds(SteadyClock::now() - start));
  }
  const double a = Median(ours), b = Median(theirs), c = Median(theirsStored);
  std::printf(
      "GET %zu bytes, %d runs: HttpRequest median %.2f ms, libcurl easy handle median %.2f ms, "
      "ratio %.2f (target <= 2); libcurl storing body and header file as HttpRequest does "
      "(atomically, flushed) median %.2f ms, ratio %.2f\n",
      subject.size(), runs, a, b, a / b, c, a / c);
  yagura::NullPump quiet;
  const bool ok = RunCycleBenchmark(runs, quiet, folder) && RunPoliteRefresh(quiet, folder);
  std::filesystem::remove_all(folder);
  return ok ? 0 : 1;
}
