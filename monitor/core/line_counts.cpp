#include "monitor/core/line_counts.h"

#include "monitor/core/search_titles.h"

namespace yagura {

long long LineCounts::CountUpTo(const std::string& path, const FileStamp& stamp, long long limit) {
  if (const Counted* counted = counts_.Find(path, stamp); counted && counted->limit == limit) {
    return counted->count;
  }
  const long long count = CountLineFeedsUpTo(path, limit);
  counts_.Keep(path, stamp, Counted{limit, count});
  return count;
}

}  // namespace yagura
