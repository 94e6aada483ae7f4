#include "converter/placement/page_folder.h"

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <system_error>

namespace converter::placement {
namespace {

constexpr std::string_view kForbidden = "\\/:;,*?\"<>|";

std::string ParentFolderName(const std::string& path, int levels) {
  std::filesystem::path p(path);
  p = p.parent_path();
  for (int i = 1; i < levels && p.has_parent_path(); ++i) p = p.parent_path();
  return p.filename().string();
}

// A folder name from a log, a companion .idx or a board file: never one that
// leads elsewhere ("", ".", "..").
std::string OrUnknown(std::string name) {
  name = CleanFolderName(name);
  return name.empty() || name == "." || name == ".." ? "unknown" : name;
}

// Whether `path` lies under `root` once "." and ".." are resolved by name.
bool LiesUnder(const std::string& root, const std::string& path) {
  std::filesystem::path r = std::filesystem::path(root).lexically_normal();
  std::filesystem::path p = std::filesystem::path(path).lexically_normal();
  auto [rootEnd, pathAt] = std::mismatch(r.begin(), r.end(), p.begin(), p.end());
  // The root's trailing '/' leaves an empty last element.
  return rootEnd == r.end() || (std::next(rootEnd) == r.end() && rootEnd->empty());
}

std::string KeyFolder(const std::string& key) {
  if (key.size() == 10) return key.substr(0, 4);
  if (key.size() == 9) return key.substr(0, 3);
  return "000";
}

// The archive form of the F letter: kako/1234/12345/ for a 10-digit key.
std::string ArchiveFolder(const std::string& key, bool first) {
  std::string out = first ? "" : "kako/";
  if (key.size() == 10) return out + key.substr(0, 4) + "/" + key.substr(0, 5) + "/";
  if (key.size() == 9) return out + key.substr(0, 3) + "/";
  return out + "000/";
}

std::string RelativeFolder(const std::string& inputRoot, const std::string& datPath) {
  std::error_code ec;
  std::filesystem::path folder = std::filesystem::path(datPath).parent_path();
  std::filesystem::path relative =
      std::filesystem::relative(folder, std::filesystem::path(inputRoot), ec);
  if (ec || relative.empty() || relative == "." || *relative.begin() == "..") return "";
  return WithSlash(relative.string());
}

}  // namespace

std::string WithSlash(std::string path) {
  if (path.empty() || path.back() != '/') path += '/';
  return path;
}

std::string CleanFolderName(std::string_view name) {
  size_t begin = name.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return "";
  size_t end = name.find_last_not_of(" \t");
  std::string out(name.substr(begin, end - begin + 1));
  for (char& c : out) {
    // Control characters (a line feed in a board name) make no folder name.
    unsigned char u = static_cast<unsigned char>(c);
    if (kForbidden.find(c) != std::string_view::npos || u < 0x20 || u == 0x7F) c = '-';
  }
  return out;
}

std::string CleanFileName(std::string_view name) {
  std::string out(name);
  for (char& c : out) {
    if (kForbidden.find(c) != std::string_view::npos) c = '-';
  }
  return out;
}

PageFolder BuildPageFolder(const std::string& outputRoot, const Layout& layout,
                           const ThreadPlace& place) {
  PageFolder result;
  std::string base = WithSlash(outputRoot);
  if (layout.single) {
    result.folder = base;
    return result;
  }
  if (layout.reproduce || (layout.subfolders && layout.letters.empty())) {
    base += RelativeFolder(layout.inputRoot, place.datPath);
  }
  std::string parts;
  for (size_t i = 0; i < layout.letters.size(); ++i) {
    switch (layout.letters[i]) {
      case 'B':
        parts += OrUnknown(place.boardKindName) + "/";
        break;
      case 's':
        parts +=
            OrUnknown(!place.server.empty() ? place.server : ParentFolderName(place.datPath, 2)) +
            "/";
        break;
      case 'b':
        parts += OrUnknown(!place.boardDir.empty() ? place.boardDir
                                                   : ParentFolderName(place.datPath, 1)) +
                 "/";
        break;
      case 'n':
        parts += OrUnknown(!place.boardName.empty() ? place.boardName
                                                    : ParentFolderName(place.datPath, 1)) +
                 "/";
        break;
      case 'f':
        parts += KeyFolder(place.key) + "/";
        break;
      case 'F':
        parts += ArchiveFolder(place.key, i == 0);
        break;
      case 'd': {
        bool known =
            place.firstPostTime.size() >= 6 &&
            place.firstPostTime.find_first_not_of('0') != std::string::npos &&
            place.firstPostTime.substr(0, 6).find_first_not_of("0123456789") == std::string::npos;
        parts += (known ? place.firstPostTime.substr(0, 6) : "unknown") + "/";
        break;
      }
      default:
        break;
    }
  }
  result.folder = base + parts;
  result.letterPath = parts;
  // Last guard: a page is never written outside the output root.
  if (!LiesUnder(base, result.folder)) {
    result.folder = base;
    result.letterPath.clear();
  }
  return result;
}

bool CreateFolders(const std::string& folder, const MessageSink& sink, bool* created) {
  if (created) *created = false;
  std::error_code ec;
  if (std::filesystem::is_directory(folder, ec)) return true;
  const bool made = std::filesystem::create_directories(folder, ec);
  if (ec || !std::filesystem::is_directory(folder)) {
    if (sink) sink(folder + "  :フォルダを作成できません.\r\n");
    return false;
  }
  if (created) *created = made;
  return true;
}

}  // namespace converter::placement
