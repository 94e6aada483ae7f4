// The line counts of the followed threads' logs, kept between title searches:
// every search asks whether each log can still take posts.
#pragma once

#include <string>

#include "monitor/core/file_stamp.h"

namespace yagura {

class LineCounts {
 public:
  // The LF bytes of the file, counting no further than `limit` (0 when it
  // cannot be read); a file whose stamp is the one it was counted at is not
  // read again.
  long long CountUpTo(const std::string& path, const FileStamp& stamp, long long limit);
  // Starts a search: what the previous one did not look at is forgotten.
  void StartPass() { counts_.StartPass(); }

 private:
  struct Counted {
    long long limit = 0;
    long long count = 0;
  };
  StampedMemo<Counted> counts_;
};

}  // namespace yagura
