// Benchmarks of the plain request:
//  1. responsiveness: the largest gap between two event pumps while a
//     server stalls for 5 s before it answers (target: below 100 ms);
//  2. a GET of a 1 MB subject.txt from a private nginx on loopback into its
//     files: median time of HttpRequest against `curl -0 -s -o` of the same
//     URL in the same run (target: within 2x).
// Run: build/tests/monitor/http/http_bench [runs]
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "monitor/http/http_client.h"
#include "tests/servers/nginx_server.h"
#include "tests/servers/script_server.h"

extern char** environ;

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

double RunCurl(const std::string& url, const std::string& out) {
  std::vector<std::string> args = {"curl", "-0", "-s", "-o", out, url};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const auto start = SteadyClock::now();
  pid_t pid;
  if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return Milliseconds(SteadyClock::now() - start);
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 21;
  RecordingPump pump;
  yagura::Monitor monitor;
  monitor.pump = &pump;
  yagura::HttpClient client(monitor);
  const std::string folder = std::filesystem::temp_directory_path() / "yagura_http_bench";
  std::filesystem::create_directories(folder);

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
  std::vector<double> ours, theirs;
  for (int i = 0; i < runs; ++i) {
    const auto start = SteadyClock::now();
    const int n = client.HttpRequest("get", url, folder + "/subject.txt.head",
                                     folder + "/subject.txt", "2ch");
    ours.push_back(Milliseconds(SteadyClock::now() - start));
    if (n != static_cast<int>(subject.size())) {
      std::fprintf(stderr, "short read: %d of %zu\n", n, subject.size());
      return 1;
    }
    theirs.push_back(RunCurl(url, folder + "/curl.txt"));
  }
  const double a = Median(ours), b = Median(theirs);
  std::printf(
      "GET %zu bytes, %d runs: HttpRequest median %.2f ms, curl -0 -s -o median %.2f ms, "
      "ratio %.2f (target <= 2)\n",
      subject.size(), runs, a, b, a / b);
  std::filesystem::remove_all(folder);
  return 0;
}
