#include "converter/index/work_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "common/encoding.h"
#include "converter/reading/kanjicode.h"

namespace converter::index {
namespace {

constexpr size_t kBlockBytes = 64 * 1024;

}  // namespace

IndexWorkFile::~IndexWorkFile() {
  if (fd_ >= 0) Close(true);
}

IndexWorkFile::OpenResult IndexWorkFile::Open(const std::string& folder,
                                              std::vector<std::string>& kept) {
  path_ = folder + "index.tmp";
  int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return OpenResult::kNotCreatable;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return errno == EWOULDBLOCK ? OpenResult::kLocked : OpenResult::kNotCreatable;
  }
  std::string bytes;
  char buffer[65536];
  for (;;) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    bytes.append(buffer, static_cast<size_t>(n));
  }
  // A last line cut short (a run that died mid-write) is not taken.
  size_t complete = bytes.rfind('\n');
  complete = complete == std::string::npos ? 0 : complete + 1;
  if (complete < bytes.size() && ftruncate(fd, static_cast<off_t>(complete)) != 0) {
    ::close(fd);
    return OpenResult::kNotCreatable;
  }
  bytes.resize(complete);
  keptBytes_ = static_cast<long long>(complete);
  lseek(fd, 0, SEEK_END);
  std::string text = common::Cp932ToUtf8(bytes);
  for (size_t start = 0; start < text.size();) {
    size_t lf = text.find('\n', start);
    if (lf == std::string::npos) lf = text.size();
    std::string line = text.substr(start, lf - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) kept.push_back(std::move(line));
    start = lf + 1;
  }
  fd_ = fd;
  return OpenResult::kOpened;
}

bool IndexWorkFile::Append(const std::string& line) {
  if (fd_ < 0) return false;
  pending_ += line;
  pending_ += "\r\n";
  return pending_.size() < kBlockBytes || Flush();
}

bool IndexWorkFile::Flush() {
  if (fd_ < 0) return false;
  bool ok = true;
  const std::string bytes = EncodeWithReferences(pending_, common::Charset::kCp932);
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  pending_.clear();
  return ok;
}

bool IndexWorkFile::Close(bool keep) {
  if (fd_ < 0) return true;
  bool ok = !keep || Flush();
  pending_.clear();
  if (!keep) {
    if (keptBytes_ > 0) {
      if (ftruncate(fd_, static_cast<off_t>(keptBytes_)) != 0) {
        // The earlier lines are still there; only this run's lines remain too.
      }
    } else {
      unlink(path_.c_str());
    }
  }
  flock(fd_, LOCK_UN);
  ::close(fd_);
  fd_ = -1;
  return ok;
}

}  // namespace converter::index
