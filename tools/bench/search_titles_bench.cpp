// The title search on a large board: a subject.txt of 10,000 threads (CP932,
// Japanese titles) of which 1,000 match a word pair and are already on the
// download list, three word pairs in use; and the same ten times larger
// (100,000 x 10,000); the download list in board order or shuffled. Both
// passes, steady state: no new entry, no drop, so no log line is written;
// the event pump does nothing. Targets: under 10 ms and under 50 ms, the
// time growing with the lines, not lines x followed.
//
//   build/tools/bench/search_titles_bench
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>

#include "common/encoding.h"
#include "common/file_io.h"
#include "monitor/core/monitor.h"
#include "monitor/core/run_state.h"
#include "monitor/core/search_titles.h"

namespace {

struct Board {
  std::filesystem::path folder;
  std::string subjectPath;
  std::vector<std::string> downloadList;
};

Board MakeBoard(int kThreads, int kFollowed) {
  Board board;
  board.folder =
      std::filesystem::temp_directory_path() /
      ("search_titles_bench_" + std::to_string(::getpid()) + "_" + std::to_string(kThreads));
  std::filesystem::create_directories(board.folder / "dat");
  static std::vector<std::filesystem::path> folders;
  if (folders.empty()) {
    std::atexit([] {
      for (const auto& folder : folders) std::filesystem::remove_all(folder);
    });
  }
  folders.push_back(board.folder);
  std::string text;
  for (int i = 0; i < kThreads; ++i) {
    const std::string key = std::to_string(1700000000 + i * 7) + ".dat";
    const std::string count = std::to_string(1 + i % 997);
    std::string title;
    if (i % (kThreads / kFollowed) == 0) {
      title = (i % 2 ? "ネコの画像を貼るスレ Part" : "ﾈｺ画像スレ【癒し】その") + std::to_string(i);
      board.downloadList.push_back(key + "<" + count + "レス>" + title + " (" + count + ")");
    } else {
      title = "今日の晩ごはん報告スレ　ＰＡＲＴ" + std::to_string(i) + "【雑談・実況】";
    }
    text += key + "<>" + title + " (" + count + ")\n";
  }
  board.subjectPath = (board.folder / "yagura_subject.txt").string();
  common::ReplaceFileAtomically(board.subjectPath, common::Utf8ToCp932(text));
  return board;
}

void SearchTitlesOnLargeBoard(benchmark::State& state) {
  const int kThreads = static_cast<int>(state.range(0));
  const int kFollowed = static_cast<int>(state.range(1));
  const Board board = MakeBoard(kThreads, kFollowed);
  yagura::NullPump pump;
  yagura::Monitor monitor;
  monitor.pump = &pump;
  monitor.paths.folder = board.folder.string() + "/";
  monitor.form.baseTitle = yagura::BaseTitleText();
  monitor.form.cmdRUN.SetTag(yagura::kRunStateRunning);
  const char* words[3][2] = {{"ねこ", "画像"}, {"ニュース", "速報"}, {"linux", "質問"}};
  for (int i = 0; i < 3; ++i) {
    monitor.form.txtWORD1[i].SetText(words[i][0]);
    monitor.form.txtWORD2[i].SetText(words[i][1]);
    monitor.form.chkB[i].SetValue(1);
  }
  // Shuffled: the board reorders its threads by their last post, so the
  // download list from the last cycle is rarely in today's board order.
  std::vector<std::string> list = board.downloadList;
  if (state.range(2) != 0) std::shuffle(list.begin(), list.end(), std::mt19937(1));
  monitor.form.listDATDL[0].SetItems(list);
  for (auto _ : state) {
    // The search moves every matched entry to the end in board order: put
    // the list back as the board's reordering left it.
    if (state.range(2) != 0) {
      state.PauseTiming();
      monitor.form.listDATDL[0].SetItems(list);
      state.ResumeTiming();
    }
    bool ok = yagura::SearchTitles(monitor, board.subjectPath);
    benchmark::DoNotOptimize(ok);
  }
  if (monitor.form.listDATDL[0].Count() != kFollowed || !monitor.form.txtLOG.Text().empty()) {
    state.SkipWithError("the search changed the lists or wrote to the log");
  }
  state.counters["lines"] = kThreads;
  state.counters["followed"] = kFollowed;
}
BENCHMARK(SearchTitlesOnLargeBoard)
    ->ArgNames({"lines", "followed", "shuffled"})
    ->Args({10000, 1000, 0})
    ->Args({100000, 10000, 0})
    ->Args({10000, 1000, 1})
    ->Args({100000, 10000, 1})
    ->Unit(benchmark::kMillisecond)
    ->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
