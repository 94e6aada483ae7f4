#include "converter/placement/file_mover.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace converter::placement {
namespace {

constexpr const char* kCannotMove = "注意：ファイルの移動ができません。中止します。\r\n";

// Companions a browser keeps beside a log, moved with ::r in this order.
constexpr const char* kCompanionSuffixes[] = {".idx", ".inf", ".txt", ".i", ".dat.opt"};

bool ModificationTime(const std::string& path, struct timespec& time) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return false;
  time = st.st_mtim;
  return true;
}

// Copies through a file descriptor pair so that a full disk is noticed.
bool CopyWhole(const std::string& source, const std::string& target, bool& sourceFailed) {
  sourceFailed = false;
  int in = open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) {
    sourceFailed = true;
    return false;
  }
  int out = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (out < 0) {
    close(in);
    return false;
  }
  char buffer[1 << 16];
  bool ok = true;
  for (;;) {
    ssize_t n = read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ok = false;
      sourceFailed = true;
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buffer + done, static_cast<size_t>(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        ok = false;
        break;
      }
      done += w;
    }
    if (!ok) break;
  }
  close(in);
  if (close(out) != 0) ok = false;
  if (!ok) unlink(target.c_str());
  return ok;
}

std::string BaseOf(const std::string& datPath) {
  std::filesystem::path p(datPath);
  return (p.parent_path() / p.stem()).string();
}

}  // namespace

bool CopyFileTime(const std::string& source, const std::string& target) {
  struct timespec time;
  if (!ModificationTime(source, time)) return false;
  struct timespec times[2] = {time, time};
  return utimensat(AT_FDCWD, target.c_str(), times, 0) == 0;
}

FileMover::FileMover(std::string targetRoot, bool companions, bool onlyNewer, MessageSink sink)
    : targetRoot_(std::move(targetRoot)),
      companions_(companions),
      onlyNewer_(onlyNewer),
      sink_(std::move(sink)) {}

FileMover::Outcome FileMover::MoveOne(const std::string& source, const std::string& folder) {
  std::string target = folder + std::filesystem::path(source).filename().string();
  std::error_code ec;
  if (std::filesystem::equivalent(source, target, ec)) return Outcome::kSkipped;
  struct timespec sourceTime, targetTime;
  if (!ModificationTime(source, sourceTime)) return Outcome::kFailed;
  if (onlyNewer_ && ModificationTime(target, targetTime) &&
      (targetTime.tv_sec > sourceTime.tv_sec ||
       (targetTime.tv_sec == sourceTime.tv_sec && targetTime.tv_nsec >= sourceTime.tv_nsec))) {
    // The target is as new as the source: only the source goes.
    return unlink(source.c_str()) == 0 ? Outcome::kMoved : Outcome::kFailed;
  }
  // Within one file system a move is a rename: atomic, and the file keeps
  // its time.
  if (rename(source.c_str(), target.c_str()) == 0) return Outcome::kMoved;
  // Across file systems: copy beside the target and rename it into place, so
  // a failed copy never destroys a file already at the target.
  const std::string partial = target + ".part";
  bool sourceFailed = false;
  if (!CopyWhole(source, partial, sourceFailed)) return Outcome::kFailed;
  CopyFileTime(source, partial);
  if (rename(partial.c_str(), target.c_str()) != 0) {
    unlink(partial.c_str());
    return Outcome::kFailed;
  }
  if (unlink(source.c_str()) != 0) return Outcome::kFailed;
  return Outcome::kMoved;
}

bool FileMover::Move(const std::string& datPath, const std::string& pageFolder,
                     const std::string& outputRoot) {
  if (stopped_) return false;
  std::string folder = WithSlash(pageFolder);
  if (!targetRoot_.empty()) {
    std::string relative;
    std::string root = WithSlash(outputRoot);
    if (folder.compare(0, root.size(), root) == 0) relative = folder.substr(root.size());
    folder = WithSlash(targetRoot_) + relative;
    if (!CreateFolders(folder, sink_)) {
      stopped_ = true;
      if (sink_) sink_(kCannotMove);
      return false;
    }
  }
  std::error_code ec;
  std::vector<std::string> sources = {datPath};
  if (companions_) {
    std::string base = BaseOf(datPath);
    for (const char* suffix : kCompanionSuffixes) {
      std::string companion = base + suffix;
      // A missing companion is simply not there to move; it stops nothing.
      if (companion != datPath && std::filesystem::is_regular_file(companion, ec)) {
        sources.push_back(companion);
      }
    }
  }
  for (const std::string& source : sources) {
    Outcome outcome = MoveOne(source, folder);
    if (outcome == Outcome::kFailed) {
      stopped_ = true;
      if (sink_) sink_(kCannotMove);
      return false;
    }
    if (outcome == Outcome::kMoved) ++moved_;
  }
  return true;
}

std::string FileMover::Summary() const {
  if (stopped_) return "ファイルの移動は中断されました。\r\n";
  return std::to_string(moved_) + "個のファイルを移動しました。\r\n";
}

}  // namespace converter::placement
