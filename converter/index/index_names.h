// Names of the index pages, shared by the index builder and the page writer
// (whose "戻る" link must reach a page the run writes).
#pragma once

#include <string>

#include "converter/options/options.h"

namespace converter::index {

// The top page of every index folder: the /i ":file" name (a bare file
// name; a path in it is cut to its last part) or "index.html".
inline std::string TopIndexName(const Options& cmd) {
  std::string name = cmd.i.fileName;
  size_t slash = name.find_last_of("/\\");
  if (slash != std::string::npos) name.erase(0, slash + 1);
  if (name.empty() || name == "." || name == "..") return "index.html";
  return name;
}

inline constexpr const char* kThreadListName = "threadlist.html";
inline constexpr const char* kArchiveTopName = "kakolog.html";
inline constexpr const char* kNineDigitListName = "index9.html";
inline constexpr const char* kKeylessListName = "index0.html";

}  // namespace converter::index
