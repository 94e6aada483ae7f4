// Compresses each file given with the -lh5- writer and prints, per file and
// in total, the original size, the archive size (as a one-member archive)
// and the compression speed on one core (CPU time; each file is compressed
// once unless --repeat asks for the best of N runs).
//   lzh_bench [--repeat N] [--archive OUT.lzh] [--chain N] [--nice N] [--lazy N] [--good N]
//   [--block N] FILE...
//   lzh_bench --whole OUT.lzh [options] FILE...
// --archive also writes the files as one archive, for checking with readers.
// --whole only writes the archive, the way users do (each file read and
// compressed once, the archive written and renamed into place), and prints
// its size and speed: with the process start it is the whole-process figure.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "common/file_io.h"
#include "lzh/archive_writer.h"

// CPU time of this process: the machine is shared, and the figure wanted is
// the speed on one core, not the wall time under other people's load.
double CpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

std::vector<lzh::MemberSource> Sources(const std::vector<std::string>& files) {
  std::vector<lzh::MemberSource> sources;
  for (const std::string& file : files) sources.push_back({file, file.substr(file.rfind('/') + 1)});
  return sources;
}

int WriteWhole(const std::string& archivePath, const std::vector<std::string>& files,
               const lzh::Lh5Options& options) {
  const double start = CpuSeconds();
  lzh::WriteResult result = lzh::WriteArchive(archivePath, Sources(files), options);
  const double seconds = CpuSeconds() - start;
  if (result.status != lzh::WriteResult::Status::kOk) {
    std::fprintf(stderr, "%s\n", result.message.c_str());
    return 1;
  }
  unsigned long long totalIn = 0, totalOut = 1;  // the end mark
  for (const lzh::MemberReport& member : result.members) {
    totalIn += member.originalSize;
    totalOut += member.packedSize;
  }
  // The archive on disk also holds the headers.
  const std::optional<std::string> archive = common::ReadWholeFile(archivePath);
  if (archive) totalOut = archive->size();
  std::printf("%-40s %10llu %10llu %7.2f%% %8.1f MB/s\n", "ARCHIVE", totalIn, totalOut,
              100.0 * totalOut / std::max(1ull, totalIn), totalIn / 1e6 / std::max(seconds, 1e-9));
  return 0;
}

int main(int argc, char** argv) {
  int repeat = 1;
  std::string archivePath;
  bool wholeOnly = false;
  std::vector<std::string> files;
  lzh::Lh5Options options;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--chain") == 0 && i + 1 < argc) {
      options.maxChain = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--nice") == 0 && i + 1 < argc) {
      options.niceLength = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--lazy") == 0 && i + 1 < argc) {
      options.lazyLength = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--good") == 0 && i + 1 < argc) {
      options.goodLength = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--block") == 0 && i + 1 < argc) {
      options.blockCodes = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--repeat") == 0 && i + 1 < argc) {
      repeat = std::max(1, std::atoi(argv[++i]));
    } else if (std::strcmp(argv[i], "--archive") == 0 && i + 1 < argc) {
      archivePath = argv[++i];
    } else if (std::strcmp(argv[i], "--whole") == 0 && i + 1 < argc) {
      archivePath = argv[++i];
      wholeOnly = true;
    } else {
      files.push_back(argv[i]);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr,
                 "usage: lzh_bench [--repeat N] [--archive OUT.lzh | --whole OUT.lzh] FILE...\n");
    return 2;
  }
  if (wholeOnly) return WriteWhole(archivePath, files, options);
  unsigned long long totalIn = 0, totalOut = 0;
  double totalSeconds = 0;
  for (const std::string& file : files) {
    std::optional<std::string> data = common::ReadWholeFile(file);
    if (!data) {
      std::fprintf(stderr, "cannot read %s\n", file.c_str());
      return 1;
    }
    lzh::MemberData member;
    member.storedPath = file.substr(file.rfind('/') + 1);
    member.content = *data;
    std::string encoded;
    double best = 1e30;
    for (int r = 0; r < repeat; ++r) {
      const double start = CpuSeconds();
      encoded = lzh::EncodeMember(member, options);
      best = std::min(best, CpuSeconds() - start);
    }
    const size_t archiveSize = encoded.size() + 1;  // plus the end mark
    std::printf("%-40s %10zu %10zu %7.2f%% %8.1f MB/s\n", member.storedPath.c_str(), data->size(),
                archiveSize, 100.0 * archiveSize / std::max<size_t>(1, data->size()),
                data->size() / 1e6 / std::max(best, 1e-9));
    totalIn += data->size();
    totalOut += archiveSize;
    totalSeconds += best;
  }
  std::printf("%-40s %10llu %10llu %7.2f%% %8.1f MB/s\n", "TOTAL", totalIn, totalOut,
              100.0 * totalOut / std::max(1ull, totalIn),
              totalIn / 1e6 / std::max(totalSeconds, 1e-9));
  if (!archivePath.empty()) {
    lzh::WriteResult result = lzh::WriteArchive(archivePath, Sources(files), options);
    if (result.status != lzh::WriteResult::Status::kOk) {
      std::fprintf(stderr, "%s\n", result.message.c_str());
      return 1;
    }
  }
  return 0;
}
