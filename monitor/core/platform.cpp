#include "monitor/core/platform.h"

#include <fcntl.h>
#include <pwd.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>

namespace yagura {

double SystemClock::UptimeSeconds() {
  timespec ts{};
  if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) return 0;
  double seconds = static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
  return std::floor(seconds * 10000.0) / 10000.0;
}

std::time_t SystemClock::Now() { return std::time(nullptr); }

void SystemClock::SleepMilliseconds(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec ts{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

std::string ProgramPaths::File(std::string_view suffix) const {
  return folder + exeName + std::string(suffix);
}

ProgramPaths ProgramPaths::OfRunningExecutable() {
  ProgramPaths paths;
  char buffer[PATH_MAX + 1];
  ssize_t n = ::readlink("/proc/self/exe", buffer, PATH_MAX);
  std::string exe = n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string("./yagura");
  size_t slash = exe.rfind('/');
  paths.folder = slash == std::string::npos ? "./" : exe.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? exe : exe.substr(slash + 1);
  size_t dot = name.rfind('.');
  paths.exeName = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  return paths;
}

namespace {

std::optional<ProgramPaths>& SettledPaths() {
  static std::optional<ProgramPaths> paths;
  return paths;
}

std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "";
}

}  // namespace

ProgramPaths ProgramPaths::ForThisRun() {
  return SettledPaths() ? *SettledPaths() : OfRunningExecutable();
}

StateFolderChoice ChooseStateFolder(const std::string& executableFolder,
                                    const std::string& requested, const std::string& xdgDataHome,
                                    const std::string& home,
                                    const std::function<bool(const std::string&)>& writable) {
  if (!requested.empty()) return {WithSlash(requested), StateFolderReason::kRequested};
  if (writable(executableFolder)) {
    return {WithSlash(executableFolder), StateFolderReason::kBesideExecutable};
  }
  // A relative $XDG_DATA_HOME is to be ignored.
  const std::string base =
      !xdgDataHome.empty() && xdgDataHome[0] == '/' ? xdgDataHome : home + "/.local/share";
  return {WithSlash(WithSlash(base) + "yagura"), StateFolderReason::kExecutableFolderNotWritable};
}

bool FolderIsWritable(const std::string& folder) {
  const std::string probe = WithSlash(folder) + ".yagura-write-check-" + std::to_string(::getpid());
  int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return errno == EEXIST;  // left by a killed run of this pid: writable
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

bool SettleProgramPaths(const std::string& requested, std::string* why) {
  ProgramPaths paths = ProgramPaths::OfRunningExecutable();
  const char* xdg = std::getenv("XDG_DATA_HOME");
  std::string wanted = requested;
  if (!wanted.empty()) {
    std::error_code ec;
    const auto absolute = std::filesystem::absolute(wanted, ec);
    if (!ec) wanted = absolute.lexically_normal().string();
  }
  const StateFolderChoice choice =
      ChooseStateFolder(paths.folder, wanted, xdg ? xdg : "", HomeFolder(), FolderIsWritable);
  if (choice.reason != StateFolderReason::kBesideExecutable) {
    std::error_code ec;
    std::filesystem::create_directories(choice.folder, ec);
    if (ec || !std::filesystem::is_directory(choice.folder)) {
      if (why) {
        *why = "cannot create the folder for settings and logs " + choice.folder +
               (ec ? ": " + ec.message() : std::string());
      }
      return false;
    }
    paths.programFolder = paths.folder;
    paths.folder = choice.folder;
    paths.stateNote = choice.reason == StateFolderReason::kRequested
                          ? "設定とログは指定されたフォルダ " + choice.folder + " に保存します。"
                          : "プログラムのフォルダ " + paths.programFolder +
                                " に書き込めないため、設定とログは " + choice.folder +
                                " に保存します。";
  }
  SettledPaths() = paths;
  return true;
}

}  // namespace yagura
