#include "monitor/core/monitor.h"

#include <unistd.h>

#include <climits>

#include "monitor/core/message_text.h"

namespace yagura {

std::string VersionText() {
  return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
         std::to_string(kVersionRevision);
}

std::string BaseTitleText() { return std::string(kProgramTitle) + " Version " + VersionText(); }

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

std::string Monitor::Time() const { return TimeText(Now()); }

void Monitor::ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) const {
  if (messageBoxes) messageBoxes->Show(text, title, icon);
}

void Monitor::ShowBalloon(std::string_view text) const {
  if (tray) tray->ShowBalloon(form.baseTitle, text);
}

}  // namespace yagura
