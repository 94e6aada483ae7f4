// Test helpers for LZH archives: a temporary folder, running the real
// readers (lhasa, 7-Zip) and a parser of our level-2 headers.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lzh_test {

// A fresh folder under TMPDIR, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }  // ends without '/'
  std::string Write(const std::string& name, const std::string& bytes, long mtime) const;

 private:
  std::string path_;
};

struct CommandResult {
  int exitCode = -1;
  std::string output;  // stdout and stderr together
};
// Runs `command` through /bin/sh.
CommandResult RunShell(const std::string& command);
// `text` in single quotes for /bin/sh.
std::string ShellQuote(const std::string& text);

// What the real readers make of `archive`: empty when all is well, else a
// description of every check that failed. Checks that `lhasa t` reports the
// member tested, that `lhasa p` and `7z e -so` give exactly the bytes of
// `original`, that `7z t` passes, and that `lhasa x` and `7z x` create a
// file named `storedName` with modification time `mtime`.
std::string CheckWithReaders(const std::string& archive, const std::string& storedName,
                             const std::string& original, long mtime, const TempFolder& temp);

struct ParsedMember {
  size_t headerSize = 0;
  std::string method;
  uint32_t packedSize = 0, originalSize = 0, modifiedTime = 0;
  uint16_t dataCrc = 0;
  char osId = 0;
  uint8_t level = 0;
  std::map<uint8_t, std::string> extensions;  // by type
  bool headerCrcMatches = false;  // the 0x00 extension against the header with it zeroed
  std::string data;               // the packed data
};

// Parses the level-2 members of `archive` up to the end mark; nullopt when
// the layout is broken (sizes beyond the end, extensions that do not end
// where the header size says, a missing end mark).
std::optional<std::vector<ParsedMember>> ParseArchive(const std::string& archive);

}  // namespace lzh_test
