#include "common/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <random>

#include "common/unique_fd.h"

namespace common {
std::optional<std::string> ReadWholeFile(const std::string& path) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd.Valid()) return std::nullopt;
  struct stat st {};
  const bool regular = ::fstat(fd.Get(), &st) == 0 && S_ISREG(st.st_mode);
  return ReadAll(fd.Get(), regular ? static_cast<size_t>(st.st_size) : 0);
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, mode_t mode,
                           Durability durability) {
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) mode = st.st_mode & 07777;
  static thread_local std::mt19937_64 rng{std::random_device{}()};
  std::string temp =
      path + ".tmp" + std::to_string(::getpid()) + "_" + std::to_string(rng() % 1000000);
  UniqueFd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
  if (!fd.Valid()) return false;
  bool ok =
      WriteAll(fd.Get(), bytes) && (durability == Durability::kUnflushed || ::fsync(fd.Get()) == 0);
  ok = fd.Close() && ok;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool ReplaceScratchFile(const std::string& path, std::string_view bytes) {
  // Not O_TRUNC: ext4 flushes a file on close once it was cut to nothing,
  // which is the very cost this write avoids. The new bytes go over the old
  // ones and only a longer rest is cut off.
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
  if (!fd.Valid()) return false;
  struct stat st {};
  bool ok = ::fstat(fd.Get(), &st) == 0 && WriteAll(fd.Get(), bytes);
  if (ok && st.st_size > static_cast<off_t>(bytes.size())) {
    ok = ::ftruncate(fd.Get(), static_cast<off_t>(bytes.size())) == 0;
  }
  ok = fd.Close() && ok;
  return ok;
}

bool ScratchFiles::Replace(const std::string& path, std::string_view bytes) {
  auto kept =
      std::find_if(open_.begin(), open_.end(), [&](const Open& file) { return file.path == path; });
  if (kept == open_.end()) kept = open_.insert(open_.end(), Open{path, {}, 0, 0});
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (!exists || st.st_dev != kept->device || st.st_ino != kept->inode) kept->fd.Reset();
  if (!kept->fd.Valid()) {
    // Not O_TRUNC, as in ReplaceScratchFile.
    UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) return false;
    kept->fd = std::move(fd);
    kept->device = st.st_dev;
    kept->inode = st.st_ino;
  }
  const int fd = kept->fd.Get();
  bool ok = true;
  for (size_t done = 0; ok && done < bytes.size();) {
    const ssize_t n =
        ::pwrite(fd, bytes.data() + done, bytes.size() - done, static_cast<off_t>(done));
    if (n > 0) {
      done += static_cast<size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      ok = false;
    }
  }
  if (ok && st.st_size > static_cast<off_t>(bytes.size())) {
    ok = ::ftruncate(fd, static_cast<off_t>(bytes.size())) == 0;
  }
  if (!ok) kept->fd.Reset();  // opened afresh next time
  return ok;
}

bool AppendToFile(const std::string& path, std::string_view bytes) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
  if (!fd.Valid()) return false;
  bool ok = WriteAll(fd.Get(), bytes);
  ok = fd.Close() && ok;
  return ok;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

long long FileSize(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return -1;
  return static_cast<long long>(st.st_size);
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace common
