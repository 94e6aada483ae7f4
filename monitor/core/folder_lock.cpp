#include "monitor/core/folder_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace yagura {

FolderLock::~FolderLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool FolderLock::Acquire(const std::string& path, std::string* why) {
  // Close-on-exec: a converter started by this monitor must not keep the
  // lock after the monitor has gone.
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) {
    if (why) *why = path + ": " + std::strerror(errno);
    return false;
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    int error = errno;
    // The holder wrote its process id into the file.
    char buffer[32] = {};
    ssize_t n = ::pread(fd, buffer, sizeof buffer - 1, 0);
    ::close(fd);
    if (why) {
      *why = error == EWOULDBLOCK
                 ? "another monitor" +
                       (n > 0 ? " (process " + std::string(buffer, static_cast<size_t>(n)) + ")"
                              : std::string()) +
                       " already runs in this folder (" + path + " is locked)"
                 : path + ": " + std::strerror(error);
    }
    return false;
  }
  const std::string pid = std::to_string(::getpid());
  if (::ftruncate(fd, 0) == 0) (void)!::pwrite(fd, pid.data(), pid.size(), 0);
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  return true;
}

}  // namespace yagura
