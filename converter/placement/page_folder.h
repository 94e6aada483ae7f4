// Decides the folder a thread's page goes into: the output root, extended by
// the /a folder letters, the reproduced input tree or the /s subfolder.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace converter::placement {

using MessageSink = std::function<void(const std::string&)>;

// What the folder letters read from one thread.
struct ThreadPlace {
  std::string boardKindName;  // "２ちゃんねる", "BBSPINK", ... ; empty when unknown
  std::string server;         // from the board information
  std::string boardDir;       // board folder name
  std::string boardName;      // category name
  std::string key;            // thread key digits, empty without a key
  std::string firstPostTime;  // "YYYYMMDDhhmmss...", empty or zeros when unknown
  std::string datPath;        // the input file
};

struct Layout {
  std::string letters;      // the /a letters B s b n f F d in the order given
  bool reproduce = false;   // /a r
  bool single = false;      // /a c or /s=c: every page into the output root
  bool subfolders = false;  // /s: inputs come from subfolders of the input root
  std::string inputRoot;    // folder the input was given as (for r and /s)
};

struct PageFolder {
  std::string folder;      // ends with '/'
  std::string letterPath;  // the part added by the letters, ends with '/' or empty
};

// Removes blanks at both ends and replaces each of \/:;,*?"<>| by '-'. Text
// is UTF-8 here, whose trail bytes never look like those signs.
std::string CleanFolderName(std::string_view name);

// Replaces the characters a file name may not hold by '-'.
std::string CleanFileName(std::string_view name);

PageFolder BuildPageFolder(const std::string& outputRoot, const Layout& layout,
                           const ThreadPlace& place);

// Creates every missing folder of `folder`; reports
// "<folder>  :フォルダを作成できません.\r\n" and returns false on failure.
// `created` (when given) tells whether `folder` itself was missing.
bool CreateFolders(const std::string& folder, const MessageSink& sink, bool* created = nullptr);

// Ensures a trailing '/'.
std::string WithSlash(std::string path);

}  // namespace converter::placement
