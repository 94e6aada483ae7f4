// What tells one state of a file from another without reading it, and a memo
// of what was learnt from files while they keep their state: a cycle looks at
// the same followed logs and header files every time, and reading them again
// costs more than the rest of an unchanged cycle's work on them.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

namespace yagura {

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

// Values by path, each valid for the stamp its file had when it was learnt.
// A pass (one search, one retrieval) keeps what it looked at; what the pass
// before it did not look at again is forgotten.
template <class Value>
class StampedMemo {
 public:
  // The value learnt from `path` at `stamp`; nullptr when there is none.
  const Value* Find(const std::string& path, const FileStamp& stamp) {
    auto found = current_.find(path);
    if (found == current_.end()) {
      auto kept = previous_.find(path);
      if (kept == previous_.end()) return nullptr;
      found = current_.insert(previous_.extract(kept)).position;
    }
    return found->second.first == stamp ? &found->second.second : nullptr;
  }
  void Keep(const std::string& path, const FileStamp& stamp, Value value) {
    current_.insert_or_assign(path, std::make_pair(stamp, std::move(value)));
  }
  void StartPass() {
    previous_ = std::move(current_);
    current_.clear();
  }

 private:
  std::unordered_map<std::string, std::pair<FileStamp, Value>> current_;
  std::unordered_map<std::string, std::pair<FileStamp, Value>> previous_;
};

}  // namespace yagura
