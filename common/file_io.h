// Whole-file reads and writes. State files are replaced atomically: a
// temporary file in the same folder is written, flushed and renamed over the
// target, so a crash never leaves half a file.
#pragma once

#include <sys/types.h>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/unique_fd.h"

namespace common {

// The whole file as bytes; nullopt when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Whether a replaced file's bytes reach the disk before the rename. State a
// crash must not lose is flushed; a file rewritten every cycle whose loss in
// a crash costs nothing lasting (the download plan) is not.
enum class Durability { kFlushed, kUnflushed };

// Replaces `path` by `bytes` atomically. A new file gets `mode` (before the
// umask); an existing file keeps its permission bits. False on any failure,
// in which case the old file is untouched.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, mode_t mode = 0644,
                           Durability durability = Durability::kFlushed);

// Overwrites a scratch file in place (created with mode 0644 when missing):
// no temporary file, no rename, no flush. For files that hold only the last
// exchange and are read back within the same cycle, if at all (the shared
// header file of a range probe, a part download, the fetched thread list):
// creating and renaming a new file for each of them costs more than the
// request itself. A failed or interrupted write may leave the file cut, so
// a caller treats false as "nothing stored".
bool ReplaceScratchFile(const std::string& path, std::string_view bytes);

// The same overwrite, through files kept open from one write to the next
// while their path still names them (checked with one stat): a scratch file
// rewritten for every request then costs a stat and a write.
class ScratchFiles {
 public:
  // Same contract as ReplaceScratchFile.
  bool Replace(const std::string& path, std::string_view bytes);

 private:
  struct Open {
    std::string path;
    UniqueFd fd;
    unsigned long long device = 0;
    unsigned long long inode = 0;
  };
  std::vector<Open> open_;
};

// Appends `bytes` to `path`, creating it (mode 0644) when missing.
bool AppendToFile(const std::string& path, std::string_view bytes);

bool FileExists(const std::string& path);
// Size in bytes, or -1 when the file does not exist.
long long FileSize(const std::string& path);
// Removes a file; false when it did not exist or could not be removed.
bool RemoveFile(const std::string& path);

}  // namespace common
