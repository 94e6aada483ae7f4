// Builds LZH archives: one level-2 member per file, each compressed with
// -lh5- or stored as -lh0- when compression would not make it smaller, and
// the end mark (a zero byte). The archive is written to a temporary file and
// renamed into place, so a failed run never leaves half an archive.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lzh/lh5_encoder.h"

namespace lzh {

struct MemberSource {
  std::string filePath;    // the file to read
  std::string storedPath;  // its name in the archive, folders separated by '/'
};

struct MemberData {
  std::string storedPath;
  std::string_view content;
  uint32_t modifiedTime = 0;  // Unix seconds
  bool readOnly = false;
};

struct MemberReport {
  std::string storedPath;
  std::string method;
  uint64_t originalSize = 0;
  uint64_t packedSize = 0;
};

// The member (header and data) for `member`. Empty when its name does not
// fit in a header or it is larger than the format's 32-bit sizes.
std::string EncodeMember(const MemberData& member, const Lh5Options& options = {},
                         MemberReport* report = nullptr);

struct WriteResult {
  enum class Status { kOk, kFileMissing, kReadFailed, kTooLarge, kWriteFailed, kArchiveIsMember };
  Status status = Status::kOk;
  std::string message;  // what failed, naming the file
  std::vector<MemberReport> members;
};

// Writes a fresh archive at `archivePath` holding `sources` in order,
// replacing any file there. On failure the old file (if any) is untouched.
// An archive path that names one of the sources is refused, since writing
// the archive would destroy that file.
WriteResult WriteArchive(const std::string& archivePath, const std::vector<MemberSource>& sources,
                         const Lh5Options& options = {});

}  // namespace lzh
