// Throughput of identification and reading (everything up to the page):
// the real logs repeated into many files of a temporary folder, about
// 100 MB in all, read as the conversion run reads them, on one core.
//
//   shoin_read_bench [realdata folder] [megabytes] [/o word in hex, default E01B1E]
#include <unistd.h>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "converter/options/options.h"
#include "converter/options/packed_values.h"
#include "converter/options/reporter.h"
#include "converter/reading/board_info.h"
#include "converter/reading/identify.h"
#include "converter/reading/input_walk.h"
#include "converter/reading/thread_reader.h"

using namespace converter;

int main(int argc, char** argv) {
  std::string realdata = argc > 1 ? argv[1] : "../shared/realdata";
  long long megabytes = argc > 2 ? std::stoll(argv[2]) : 100;
  const char* logs[] = {"twoB-2ch/2ch_with_id.dat",      "twoB-2ch/2ch_with_id_and_be.dat",
                        "js2ch-news4vip/1379534723.dat", "twoB-jbbs/jbbs.dat",
                        "twoB-jbbs/aa-euc.dat",          "twoB-jbbs/unmatch-count-dat.txt"};
  std::vector<std::string> samples;
  for (const char* log : logs) {
    if (auto bytes = common::ReadWholeFile(realdata + "/" + log)) samples.push_back(*bytes);
  }
  if (samples.empty()) {
    std::fprintf(stderr, "no real logs under %s\n", realdata.c_str());
    return 1;
  }
  std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("shoin_read_bench_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  long long total = 0;
  for (int n = 0; total < megabytes * 1024 * 1024; ++n) {
    const std::string& bytes = samples[n % samples.size()];
    std::ofstream(dir / (std::to_string(1300000000 + n) + ".dat"), std::ios::binary) << bytes;
    total += static_cast<long long>(bytes.size());
  }

  Options cmd;
  // Yagura's call reads no board files; 001B1E looks for all of them.
  ApplyOWord(argc > 3 ? std::stoul(argv[3], nullptr, 16) : 0xE01B1E, cmd.o);
  cmd.inputKind = InputKind::kFolder;
  cmd.inputPath = dir.string() + "/";
  Reporter quiet(false, "");
  ProgramBoardFiles boards;

  double best = 1e9;
  long long posts = 0, files = 0, bytesRead = 0;
  for (int round = 0; round < 3; ++round) {
    posts = files = bytesRead = 0;
    auto start = std::chrono::steady_clock::now();
    InputWalk walk(cmd);
    std::string path;
    while (walk.Next(path)) {
      Thread thread;
      thread.path = path;
      thread.key = KeyOfFileName(path.substr(path.rfind('/') + 1));
      if (IdentifyFile(cmd, thread) != Identification::kDat) continue;
      FindBoardInfo(cmd, boards, thread, quiet);
      if (ReadThread(thread).status != ReadStatus::kOk) continue;
      posts += static_cast<long long>(thread.posts.size());
      bytesRead += thread.fileSize;
      ++files;
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best = std::min(best, seconds);
  }
  std::filesystem::remove_all(dir);
  double mb = static_cast<double>(bytesRead) / (1024.0 * 1024.0);
  std::printf("files %lld, posts %lld, %.1f MB in %.3f s (best of 3): %.0f MB/s\n", files, posts,
              mb, best, mb / best);
  return 0;
}
