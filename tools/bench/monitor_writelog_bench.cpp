// WriteLog with a full log pane: every message trims the oldest line, sets
// the title, pumps once and appends its record to the log file.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>

#include "monitor/core/activity_log.h"
#include "monitor/core/message_text.h"

namespace {

void BM_WriteLogFullPane(benchmark::State& state) {
  char pattern[] = "/tmp/yagura_bench_XXXXXX";
  const std::string folder = std::string(mkdtemp(pattern)) + "/";
  yagura::NullPump pump;
  yagura::SystemClock clock;
  yagura::Monitor monitor;
  monitor.paths.folder = folder;
  monitor.pump = &pump;
  monitor.clock = &clock;
  monitor.form.baseTitle = "Yagura Version 0.3.86";
  const std::string message = std::string(yagura::kDetailPrefix) +
                              "1234567890.datを差分取得しました(+3レス, 1234バイト)(12:34:56)";
  // Fill the pane to its limit first (about 300 lines of this length).
  for (int i = 0; i < 1000; ++i) yagura::WriteLog(monitor, message);
  for (auto _ : state) yagura::WriteLog(monitor, message);
  state.SetItemsProcessed(state.iterations());
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WriteLogFullPane)->Unit(benchmark::kMicrosecond);

// A debug message: the log file only, for comparison.
void BM_WriteLogDebugMessageFileOnly(benchmark::State& state) {
  char pattern[] = "/tmp/yagura_bench_XXXXXX";
  const std::string folder = std::string(mkdtemp(pattern)) + "/";
  yagura::NullPump pump;
  yagura::Monitor monitor;
  monitor.paths.folder = folder;
  monitor.pump = &pump;
  const std::string message = "DEBUG[retrieve] 1234567890.dat Range: bytes=12345-";
  for (auto _ : state) yagura::WriteLog(monitor, message);
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_WriteLogDebugMessageFileOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
