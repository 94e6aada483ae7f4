#include "converter/options/paths.h"

#include <unistd.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace converter {

std::string AbsolutePath(std::string_view path, std::string_view base) {
  std::string p(path);
  for (char& c : p) {
    if (c == '\\') c = '/';
  }
  std::filesystem::path full =
      (!p.empty() && p[0] == '/') ? std::filesystem::path(p) : std::filesystem::path(base) / p;
  std::string folded = full.lexically_normal().string();
  // "/a/b/" stays a folder; a lone "/" stays the root.
  while (folded.size() > 1 && folded.back() == '/' && !(p.empty() || p.back() == '/')) {
    folded.pop_back();
  }
  return folded;
}

std::string ProgramFolder() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return "./";
  return WithTrailingSlash(exe.parent_path().string());
}

std::string XdgUserFolder(std::string_view which) {
  const char* homeEnv = std::getenv("HOME");
  std::string home = homeEnv ? homeEnv : "";
  std::string key = which == "desktop" ? "XDG_DESKTOP_DIR" : "XDG_DOCUMENTS_DIR";
  const char* configEnv = std::getenv("XDG_CONFIG_HOME");
  std::string config = configEnv && *configEnv ? configEnv : home + "/.config";
  std::ifstream in(config + "/user-dirs.dirs");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(key + "=", 0) != 0) continue;
    std::string value = line.substr(key.size() + 1);
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    if (value.rfind("$HOME", 0) == 0) value = home + value.substr(5);
    if (!value.empty()) return value;
  }
  return home + (which == "desktop" ? "/Desktop" : "/Documents");
}

std::string FolderOf(std::string_view path) {
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return "./";
  return std::string(path.substr(0, slash + 1));
}

std::string FileNameOf(std::string_view path) {
  size_t slash = path.rfind('/');
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string WithTrailingSlash(std::string folder) {
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  if (folder != "/") folder += '/';
  return folder;
}

}  // namespace converter
