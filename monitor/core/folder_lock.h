// One monitor per program folder: an exclusive lock on a file there, held
// for the life of the process. The kernel drops it when the process ends,
// however it ends, so a crash never leaves a stale lock.
#pragma once

#include <string>

namespace yagura {

class FolderLock {
 public:
  FolderLock() = default;
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock on `path` (created when missing). False when another
  // process holds it or the file cannot be opened; `why` then says so.
  bool Acquire(const std::string& path, std::string* why);

 private:
  int fd_ = -1;
};

}  // namespace yagura
