// Puts the pop-up script into or beside the pages of a run: the embedded
// form for the page head, or a script file (found under the current folder or
// written from the built-in script) and the page's reference to it. The file is
// looked for, written or copied once per run.
#pragma once

#include <optional>
#include <string>

#include "converter/options/options.h"
#include "converter/options/reporter.h"

namespace converter::script {

// What a page's head gets (UTF-8); both empty for no script.
struct PlacedScript {
  std::string embedded;       // for the head's script element
  std::string fileReference;  // address of the script file
};

constexpr const char* kScriptFileName = "shoin_popup.js";

class ScriptPlacement {
 public:
  // `currentFolder` ends in '/': where *.js and skin/*/shoin_popup.js are looked for.
  explicit ScriptPlacement(std::string currentFolder) : current_(std::move(currentFolder)) {}

  // The script for a page in `pageFolder` (ends in '/', under cmd.outputFolder).
  PlacedScript ForPage(const Options& cmd, const std::string& pageFolder, Reporter& reporter);

 private:
  void PrepareFile(const Options& cmd, Reporter& reporter);

  std::string current_;
  std::optional<std::string> embedded_;
  bool filePrepared_ = false;
  std::string fileName_;       // name in the output root (target 0)
  std::string fileReference_;  // full address (target 1); "" when no file
};

// The first *.js file in `folder` (by name), else the first
// skin/<name>/shoin_popup.js under it; "" when there is none.
std::string FindScriptFile(const std::string& folder);

// "file:///" + the absolute path, with the signs an address cannot hold escaped.
std::string FileAddress(const std::string& absolutePath);

// "../" once per folder level of `pageFolder` below `root` (at most 19 levels).
std::string UpToRoot(const std::string& root, const std::string& pageFolder);

}  // namespace converter::script
