#include "converter/script/script_placement.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <vector>

#include "common/file_io.h"
#include "converter/script/popup_script.h"

namespace converter::script {
namespace {

namespace fs = std::filesystem;

constexpr int kDeepestReference = 19;
// Script files are text files of this system: CR LF line ends.
constexpr std::string_view kFileLineEnd = "\r\n";

std::vector<std::string> SortedNames(const fs::path& folder, bool wantFolders) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code typeError;
    bool isFolder = it->is_directory(typeError);
    bool isFile = it->is_regular_file(typeError);
    if (wantFolders ? isFolder : isFile) names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool EndsWithJs(const std::string& name) {
  if (name.size() < 3) return false;
  std::string tail = name.substr(name.size() - 3);
  std::transform(tail.begin(), tail.end(), tail.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return tail == ".js";
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

}  // namespace

std::string FindScriptFile(const std::string& folder) {
  for (const std::string& name : SortedNames(folder, false)) {
    if (EndsWithJs(name)) return (fs::path(folder) / name).string();
  }
  fs::path skin = fs::path(folder) / "skin";
  for (const std::string& sub : SortedNames(skin, true)) {
    fs::path candidate = skin / sub / kScriptFileName;
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
  }
  return "";
}

// A path as an address: the signs an address cannot hold are escaped.
std::string AddressPath(std::string_view path) {
  std::string address;
  for (unsigned char c : path) {
    char written = static_cast<char>(c == '\\' ? '/' : c);
    if (std::isalnum(c) ||
        std::string_view("/-._~!$&'()*+,;=:@").find(written) != std::string_view::npos) {
      address += written;
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      address += escaped;
    }
  }
  return address;
}

std::string FileAddress(const std::string& absolutePath) {
  std::string address = "file://";
  if (absolutePath.empty() || absolutePath[0] != '/') address += '/';
  return address + AddressPath(absolutePath);
}

std::string UpToRoot(const std::string& root, const std::string& pageFolder) {
  std::string below =
      pageFolder.compare(0, root.size(), root) == 0 ? pageFolder.substr(root.size()) : "";
  int levels = static_cast<int>(std::count(below.begin(), below.end(), '/'));
  std::string up;
  for (int i = 0; i < std::min(levels, kDeepestReference); ++i) up += "../";
  return up;
}

void ScriptPlacement::PrepareFile(const Options& cmd, Reporter& reporter) {
  filePrepared_ = true;
  std::string found = FindScriptFile(current_);
  auto builtIn = [&cmd]() {
    return AsciiEscaped(BuildPopupScript(cmd.js, ScriptForm::kFile, kFileLineEnd));
  };
  if (cmd.js.target) {
    // The pages refer to the file where it lies, in or under the current folder.
    std::string path = found;
    if (path.empty()) {
      path = current_ + kScriptFileName;
      if (!common::ReplaceFileAtomically(path, builtIn())) {
        reporter.Say("\n注意:shoin_popup.jsが組み込めませんでした。\n");
        return;
      }
    }
    std::error_code ec;
    fileReference_ = FileAddress(fs::absolute(path, ec).lexically_normal().string());
    return;
  }
  // Target 0: the file goes into the output root, and the pages refer to it
  // relatively. A file of any length is copied whole.
  if (!found.empty()) {
    fileName_ = fs::path(found).filename().string();
    std::string target = cmd.outputFolder + fileName_;
    if (SameFile(found, target)) return;
    std::optional<std::string> bytes = common::ReadWholeFile(found);
    if (!bytes || !common::ReplaceFileAtomically(target, *bytes)) {
      reporter.Say("\n注意:" + fileName_ + "のコピーに失敗しました。\n");
    }
    return;
  }
  fileName_ = kScriptFileName;
  if (!common::ReplaceFileAtomically(cmd.outputFolder + fileName_, builtIn())) {
    reporter.Say("\n注意:shoin_popupのコピーに失敗しました。\n");
  }
}

PlacedScript ScriptPlacement::ForPage(const Options& cmd, const std::string& pageFolder,
                                      Reporter& reporter) {
  PlacedScript placed;
  if (!cmd.js.enabled || !WantsPopupScript(cmd.js)) return placed;
  if (cmd.js.method) {
    if (!embedded_) {
      embedded_ = BuildPopupScript(cmd.js, ScriptForm::kEmbedded, cmd.m.retcodeLF ? "\n" : "\r\n");
    }
    placed.embedded = *embedded_;
    return placed;
  }
  if (!filePrepared_) PrepareFile(cmd, reporter);
  if (cmd.js.target) {
    placed.fileReference = fileReference_;
  } else if (!fileName_.empty()) {
    placed.fileReference = UpToRoot(cmd.outputFolder, pageFolder) + AddressPath(fileName_);
  }
  return placed;
}

}  // namespace converter::script
