// Whole-file reads and writes. State files are replaced atomically: a
// temporary file in the same folder is written, flushed and renamed over the
// target, so a crash never leaves half a file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <sys/types.h>

namespace common {

// The whole file as bytes; nullopt when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Replaces `path` by `bytes` atomically. A new file gets `mode` (before the
// umask); an existing file keeps its permission bits. False on any failure,
// in which case the old file is untouched.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, mode_t mode = 0644);

// Appends `bytes` to `path`, creating it (mode 0644) when missing.
bool AppendToFile(const std::string& path, std::string_view bytes);

bool FileExists(const std::string& path);
// Size in bytes, or -1 when the file does not exist.
long long FileSize(const std::string& path);
// Removes a file; false when it did not exist or could not be removed.
bool RemoveFile(const std::string& path);

}  // namespace common
