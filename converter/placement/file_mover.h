// Moves converted source files (/mv) and gives pages the source's time (/ct).
#pragma once

#include <string>

#include "converter/placement/page_folder.h"

namespace converter::placement {

class FileMover {
 public:
  // `targetRoot` is the /mv path ("" moves into the page folder itself);
  // `companions` is ::r; `onlyNewer` is /u.
  FileMover(std::string targetRoot, bool companions, bool onlyNewer, MessageSink sink);

  // Moves `datPath` (and its companions) after its page went to
  // `pageFolder`, a folder under `outputRoot`. Does nothing once moving
  // stopped. Returns false when this move failed.
  bool Move(const std::string& datPath, const std::string& pageFolder,
            const std::string& outputRoot);

  int moved() const { return moved_; }
  bool stopped() const { return stopped_; }

  // "<n>個のファイルを移動しました。\r\n" or "ファイルの移動は中断されました。\r\n".
  std::string Summary() const;

 private:
  enum class Outcome { kMoved, kSkipped, kFailed };
  Outcome MoveOne(const std::string& source, const std::string& targetFolder);

  std::string targetRoot_;
  bool companions_;
  bool onlyNewer_;
  MessageSink sink_;
  int moved_ = 0;
  bool stopped_ = false;
};

// Gives `target` the modification time of `source`; false on failure.
bool CopyFileTime(const std::string& source, const std::string& target);

}  // namespace converter::placement
