// yagura: watches one board. With a display it opens its window; with
// "--headless", or when there is no display, it runs without one.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "monitor/core/folder_lock.h"
#include "monitor/core/monitor.h"
#include "monitor/ui/headless_front.h"
#include "monitor/ui/window_front.h"

int main(int argc, char** argv) {
  bool headless = false;
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--headless") {
      headless = true;
      continue;
    }
    if (!commandLine.empty()) commandLine += ' ';
    commandLine += arg;
  }
  const char* display = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  const bool noDisplay = (!display || !*display) && (!wayland || !*wayland);
  if (!headless && noDisplay) {
    std::fprintf(stderr,
                 "yagura: no display (DISPLAY and WAYLAND_DISPLAY are unset): running headless\n");
    headless = true;
  }
  // Two monitors on one folder would overwrite each other's settings, lists
  // and logs. The lock lives until the process ends.
  static yagura::FolderLock folderLock;
  std::string why;
  if (!folderLock.Acquire(yagura::ProgramPaths::OfRunningExecutable().File(".lock"), &why)) {
    std::fprintf(stderr, "yagura: not started: %s\n", why.c_str());
    return 1;
  }
  // Qt reads its own options from argv; ours are not for it.
  int qtArgc = 1;
  return headless ? yagura::RunHeadless(qtArgc, argv, commandLine)
                  : yagura::RunWindow(qtArgc, argv, commandLine);
}
