#include "monitor/core/line_counts.h"

#include <sys/stat.h>

#include "monitor/core/search_titles.h"

namespace yagura {

std::optional<FileStamp> StampOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return std::nullopt;
  FileStamp stamp;
  stamp.device = st.st_dev;
  stamp.inode = st.st_ino;
  stamp.size = st.st_size;
  stamp.modifiedNanoseconds = st.st_mtim.tv_sec * 1000000000LL + st.st_mtim.tv_nsec;
  stamp.changedNanoseconds = st.st_ctim.tv_sec * 1000000000LL + st.st_ctim.tv_nsec;
  return stamp;
}

long long LineCounts::CountUpTo(const std::string& path, const FileStamp& stamp, long long limit) {
  auto found = current_.find(path);
  if (found == current_.end()) {
    auto kept = previous_.find(path);
    if (kept != previous_.end()) {
      found = current_.emplace(path, kept->second).first;
      previous_.erase(kept);
    }
  }
  if (found != current_.end() && found->second.stamp == stamp && found->second.limit == limit) {
    return found->second.count;
  }
  const long long count = CountLineFeedsUpTo(path, limit);
  current_[path] = Counted{stamp, limit, count};
  return count;
}

void LineCounts::StartPass() {
  previous_ = std::move(current_);
  current_.clear();
}

}  // namespace yagura
