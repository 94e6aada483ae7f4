// The files an input names: the file itself, every file matching a wildcard
// pattern, or every file of a folder (with /s, of its subfolders too).
#pragma once

#include <map>
#include <set>
#include <string>
#include <unordered_set>
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
  // The names of every file in the folder of `path` when the walk listed
  // that folder, so that side files need not be probed one by one; null
  // when it did not (a single file named on the command line).
  const std::unordered_set<std::string>* NamesBeside(const std::string& path) const;

 private:
  void Collect(const std::string& folder, const std::string& pattern, bool recurse);

  const Options& cmd_;
  std::vector<std::string> files_;
  size_t next_ = 0;
  // Folders walked, by device and inode: a link back up the tree is not walked again.
  std::set<std::pair<unsigned long long, unsigned long long>> walked_;
  // Folder (with its trailing slash) -> the names of its files.
  std::map<std::string, std::unordered_set<std::string>, std::less<>> names_;
};

}  // namespace converter
