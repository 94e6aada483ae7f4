// The line counts of the followed threads' logs, kept between title searches:
// every search asks whether each log can still take posts, and reading every
// log again each cycle costs more than the rest of an unchanged cycle's search.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>

namespace yagura {

// What tells one state of a file from another without reading it.
struct FileStamp {
  unsigned long long device = 0;
  unsigned long long inode = 0;
  long long size = 0;
  long long modifiedNanoseconds = 0;
  long long changedNanoseconds = 0;  // also moves when someone sets the modified time back
  bool operator==(const FileStamp&) const = default;
};
// The file's stamp; nothing when it does not exist.
std::optional<FileStamp> StampOf(const std::string& path);

class LineCounts {
 public:
  // The LF bytes of the file, counting no further than `limit` (0 when it
  // cannot be read); a file whose stamp is the one it was counted at is not
  // read again.
  long long CountUpTo(const std::string& path, const FileStamp& stamp, long long limit);
  // Starts a search: what the previous one did not look at is forgotten.
  void StartPass();

 private:
  struct Counted {
    FileStamp stamp;
    long long limit = 0;
    long long count = 0;
  };
  std::unordered_map<std::string, Counted> current_;
  std::unordered_map<std::string, Counted> previous_;
};

}  // namespace yagura
