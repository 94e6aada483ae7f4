// Benchmark of the form upload: a 1 MB archive posted to the uploader CGI
// under a private lighttpd on loopback.
//  1. time: median of FormRequest against `curl -s -F upfile=@file` of the
//     same file to the same CGI, alternating in the same run (target: ratio
//     at most 1.5);
//  2. responsiveness: the largest gap between two event pumps during an
//     upload, from the call to its return (target: below 100 ms), and while
//     an https uploader stays silent in the TLS handshake for 2 s.
// Run: build/tests/monitor/http/upload_bench [runs]
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "monitor/http/form_request.h"
#include "tests/servers/lighttpd_uploader.h"
#include "tests/servers/script_server.h"

extern char** environ;

namespace {

using SteadyClock = std::chrono::steady_clock;
using yagura::testing::LighttpdUploader;

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

// Milliseconds of one curl upload; -1 when curl failed.
double RunCurl(const std::string& file, const std::string& url, const std::string& out) {
  std::vector<std::string> args = {"curl", "-s", "-o", out, "-F", "upfile=@" + file, url};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = SteadyClock::now();
  pid_t pid;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  const double elapsed = Milliseconds(SteadyClock::now() - start);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? elapsed : -1;
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 15;
  LighttpdUploader uploader;
  if (!uploader.Running()) {
    std::fprintf(stderr, "upload_bench: the uploader did not start:\n%s\n",
                 uploader.ErrorLog().c_str());
    return 1;
  }
  char pattern[] = "/tmp/yagura_upload_bench_XXXXXX";
  const std::string folder = std::string(mkdtemp(pattern)) + "/";
  const std::string archive = folder + "thread.lzh";
  std::string bytes(1 << 20, '\0');
  unsigned state = 12345;
  for (char& b : bytes) b = static_cast<char>((state = state * 1103515245u + 12345u) >> 24);
  common::ReplaceFileAtomically(archive, bytes);

  RecordingPump pump;
  yagura::Monitor monitor;
  monitor.pump = &pump;
  monitor.paths.folder = folder;
  yagura::SocketLayer sockets(monitor);
  sockets.SockStartup();
  yagura::FormPoster poster(monitor, sockets);

  std::vector<double> ours, theirs;
  double worstGap = 0;
  int failures = 0;
  for (int i = 0; i < runs + 1; ++i) {
    pump.times.clear();
    const auto start = SteadyClock::now();
    const int result =
        poster.FormRequest("upload", "HTTP/1.1", uploader.Url(), 80, folder + "answer.tmp",
                           "pass=pw&comment=dat http://b/test/read.cgi/c/1/&jcode=漢字", "", "",
                           "upfile\t" + archive, false);
    const auto end = SteadyClock::now();
    const double curl = RunCurl(archive, uploader.Url(), folder + "curl.tmp");
    const std::string answer = common::ReadWholeFile(folder + "answer.tmp").value_or("");
    if (result != 0 || curl < 0 || answer.find("size=1048576") == std::string::npos) ++failures;
    if (i == 0) continue;  // warm-up: perl and CGI.pm come into the page cache
    ours.push_back(Milliseconds(end - start));
    theirs.push_back(curl);
    auto previous = start;
    for (const auto& t : pump.times) {
      worstGap = std::max(worstGap, Milliseconds(t - previous));
      previous = t;
    }
    worstGap = std::max(worstGap, Milliseconds(end - previous));
  }

  // A peer that takes the connection but never answers the TLS hello.
  double worstTlsGap = 0;
  {
    yagura::testing::ScriptServer silent({yagura::testing::Pause(2000)});
    sockets.connectTimeoutMilliseconds = 1500;
    sockets.receiveTimeoutMilliseconds = 1500;
    pump.times.clear();
    const auto start = SteadyClock::now();
    const std::string url = "https://127.0.0.1:" + std::to_string(silent.Port()) + "/up.cgi";
    poster.FormRequest("upload", "HTTP/1.1", url, 443, folder + "answer.tmp", "a=1", "", "",
                       "upfile\t" + archive, false);
    auto previous = start;
    for (const auto& t : pump.times) {
      worstTlsGap = std::max(worstTlsGap, Milliseconds(t - previous));
      previous = t;
    }
    worstTlsGap = std::max(worstTlsGap, Milliseconds(SteadyClock::now() - previous));
  }
  sockets.SockCleanup();
  std::filesystem::remove_all(folder);

  const double ratio = Median(ours) / Median(theirs);
  std::printf("upload of 1 MB to the uploader CGI under lighttpd, %d runs\n", runs);
  std::printf("  FormRequest median %.1f ms, curl -F median %.1f ms, ratio %.2f (target <= 1.5)\n",
              Median(ours), Median(theirs), ratio);
  std::printf("  largest gap between event pumps during an upload: %.1f ms (target < 100)\n",
              worstGap);
  std::printf(
      "  largest gap between event pumps in a stalled TLS handshake: %.1f ms (target < 100)\n",
      worstTlsGap);
  if (failures) std::printf("  %d uploads failed\n", failures);
  return failures == 0 && ratio <= 1.5 && worstGap < 100 && worstTlsGap < 100 ? 0 : 1;
}
