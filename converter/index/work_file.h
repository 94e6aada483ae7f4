// The work file index.tmp in the output root: one record line per entry, in
// CP932 with CR LF. The run holds an exclusive lock on it from start to end,
// so a second run on the same output never interleaves its lines.
#pragma once

#include <string>
#include <vector>

namespace converter::index {

class IndexWorkFile {
 public:
  enum class OpenResult { kOpened, kLocked, kNotCreatable };

  IndexWorkFile() = default;
  ~IndexWorkFile();
  IndexWorkFile(const IndexWorkFile&) = delete;
  IndexWorkFile& operator=(const IndexWorkFile&) = delete;

  // Opens (creating) and locks `folder` + "index.tmp". Lines an earlier run
  // kept there are read into `kept` (UTF-8, without line ends).
  OpenResult Open(const std::string& folder, std::vector<std::string>& kept);

  // Appends one record line (UTF-8). Lines are gathered and written in
  // blocks of whole lines (a system call per thread costs more than the
  // index itself). False when a write failed.
  bool Append(const std::string& line);

  // Writes the gathered lines. False when the write failed.
  bool Flush();

  // Ends the run's use: `keep` leaves the file with every line; otherwise the
  // file goes back to the lines an earlier run kept, or is removed when there
  // were none. Releases the lock. False when kept lines could not be written.
  bool Close(bool keep);

  bool open() const { return fd_ >= 0; }
  const std::string& path() const { return path_; }

 private:
  int fd_ = -1;
  std::string path_;
  long long keptBytes_ = 0;
  std::string pending_;  // whole lines not yet written (UTF-8)
};

}  // namespace converter::index
