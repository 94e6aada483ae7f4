// The templates of the index pages: the thread list (header, one body per
// entry, footer) and the tree page (header, body header, one body per item,
// body footer, footer), built in or read from the user's files, and the
// filling of their markers.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "converter/options/options.h"
#include "converter/options/reporter.h"

namespace converter::index {

struct ThreadListTemplate {
  std::string header, body, footer;
};

struct TreeTemplate {
  std::string header, bodyHeader, body, bodyFooter, footer;
};

struct IndexTemplates {
  ThreadListTemplate list;
  TreeTemplate tree;
};

// The built-in sets: decorated (/I) or plain (/i).
ThreadListTemplate BuiltInThreadList(bool decorated);
TreeTemplate BuiltInTree(bool decorated);

// With /i digit 9 the user's files under template/index_threadlist/ and
// template/index_tree/ of the program folder, each missing file replaced by
// its built-in one; else the built-in sets. Reports as it loads.
IndexTemplates LoadIndexTemplates(const Options& cmd, Reporter& reporter);

// Marker values (UTF-8, already escaped for HTML) by marker name ("CHARSET").
using MarkerValues = std::vector<std::pair<std::string_view, std::string>>;

// Which <ONLY...> blocks are kept.
struct OnlyBlocks {
  bool number = true;
  bool rescount = true;
  bool message = false;
  bool boardtitle = false;
};

// Removes or unwraps the <ONLY...> blocks, then replaces every <NAME/> marker
// with its value and <RET/> with `eol`. Unknown markers stay as written.
std::string FillTemplate(std::string_view text, const MarkerValues& values, const OnlyBlocks& only,
                         std::string_view eol);

}  // namespace converter::index
