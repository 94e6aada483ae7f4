// The index entry line ("htmlindextag v1.1") a page can carry in a comment,
// from which an index can be rebuilt later.
#pragma once

#include <string>

#include "converter/reading/thread.h"

namespace converter::page {

struct IndexRecordPlace {
  std::string pageFile;  // the (first) page file name
  int parts = 1;
  std::string pageFolder;  // folder of the page relative to the output root
  std::string letterPath;  // the /a folder path
  bool firstPost = true;   // the text of post 1 as the last field
};

// The fields joined by TAB, a TAB after the last (UTF-8).
std::string IndexRecordLine(const Thread& thread, const IndexRecordPlace& place);

}  // namespace converter::page
