#include "converter/reading/input_walk.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <algorithm>

#include "converter/options/paths.h"
#include "converter/reading/thread_reader.h"

namespace converter {

InputWalk::InputWalk(const Options& cmd) : cmd_(cmd) {
  switch (cmd.inputKind) {
    case InputKind::kFile:
      if (!cmd.z || IsLogFileName(FileNameOf(cmd.inputPath))) files_.push_back(cmd.inputPath);
      break;
    case InputKind::kPattern:
      Collect(FolderOf(cmd.inputPath), FileNameOf(cmd.inputPath), cmd.s);
      break;
    case InputKind::kFolder:
      Collect(WithTrailingSlash(cmd.inputPath), "", cmd.s);
      break;
    case InputKind::kNone:
      break;
  }
}

void InputWalk::Collect(const std::string& folder, const std::string& pattern, bool recurse) {
  struct stat self;
  if (stat(folder.c_str(), &self) != 0 || !walked_.emplace(self.st_dev, self.st_ino).second) {
    return;
  }
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  std::vector<std::string> files, folders;
  std::unordered_set<std::string>& names = names_[folder];
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    std::string path = folder + name;
    // The entry's type saves a stat; links and file systems that do not
    // give it are asked.
    bool isFolder = entry->d_type == DT_DIR;
    bool isFile = entry->d_type == DT_REG;
    if (!isFolder && !isFile) {
      struct stat st;
      if (stat(path.c_str(), &st) != 0) continue;
      isFolder = S_ISDIR(st.st_mode);
      isFile = S_ISREG(st.st_mode);
    }
    if (isFolder) {
      folders.push_back(path + "/");
    } else if (isFile) {
      names.insert(name);
      if (!pattern.empty() && fnmatch(pattern.c_str(), name.c_str(), 0) != 0) continue;
      if (cmd_.z && !IsLogFileName(name)) continue;
      files.push_back(path);
    }
  }
  closedir(dir);
  // Directory order is arbitrary on Linux; name order keeps runs repeatable.
  std::sort(files.begin(), files.end());
  std::sort(folders.begin(), folders.end());
  files_.insert(files_.end(), files.begin(), files.end());
  if (recurse) {
    for (const std::string& sub : folders) Collect(sub, pattern, true);
  }
}

const std::unordered_set<std::string>* InputWalk::NamesBeside(const std::string& path) const {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return nullptr;
  auto found = names_.find(std::string_view(path).substr(0, slash + 1));
  return found == names_.end() ? nullptr : &found->second;
}

bool InputWalk::Next(std::string& path) {
  if (next_ >= files_.size()) return false;
  path = files_[next_++];
  return true;
}

}  // namespace converter
