// The files an input names: the file itself, every file matching a wildcard
// pattern, or every file of a folder (with /s, of its subfolders too).
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "converter/options/options.h"

namespace converter {

class InputWalk {
 public:
  explicit InputWalk(const Options& cmd);
  // The next file (absolute path), false at the end.
  bool Next(std::string& path);
  size_t size() const { return files_.size(); }

 private:
  void Collect(const std::string& folder, const std::string& pattern, bool recurse);

  const Options& cmd_;
  std::vector<std::string> files_;
  size_t next_ = 0;
  // Folders walked, by device and inode: a link back up the tree is not walked again.
  std::set<std::pair<unsigned long long, unsigned long long>> walked_;
};

}  // namespace converter
