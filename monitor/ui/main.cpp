// yagura: watches one board. With a display it opens its window; with
// "--headless", or when there is no display, it runs without one.
#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "monitor/core/folder_lock.h"
#include "monitor/core/monitor.h"
#include "monitor/ui/headless_front.h"
#include "monitor/ui/window_front.h"

namespace {

constexpr const char* kUsage =
    "Usage: yagura [--headless] [--program-folder DIR] [/autorun] [/windowmini] [/windowmode]\n"
    "              [/ownermode]\n"
    "Watches one board: follows the threads whose titles match its word pairs, downloads\n"
    "their logs, and archives, converts, uploads and mails them when they drop off.\n"
    "\n"
    "  --headless            run without a window (also when there is no display): start\n"
    "                        monitoring at once, log on stdout, Ctrl+C or SIGTERM stops\n"
    "  --program-folder DIR  keep settings, lists, logs and dat/ in DIR (created when\n"
    "                        missing); by default beside the program, or in\n"
    "                        $XDG_DATA_HOME/yagura/ (~/.local/share/yagura/) when the\n"
    "                        program's folder is not writable\n"
    "  --help                show this text and exit\n"
    "  /autorun              start monitoring at once (the window stays hidden)\n"
    "  /windowmini           open the window minimized\n"
    "  /windowmode           switch the window size once at start\n"
    "  /ownermode            administrator mode (uploads after a thread drops off)\n"
    "The / options may be written in any case except /ownermode (lower case only).\n"
    "Settings: <state folder>/yagura.ini; see ReadMe.txt beside the program.\n";

// The refusal of a second monitor, as a box too when the user started it
// from a desktop and may never see stderr.
void ShowRefusalBox(char** argv, const std::string& why) {
  int qtArgc = 1;
  QApplication app(qtArgc, argv);
  QMessageBox::warning(nullptr, "Yagura",
                       QString::fromUtf8("このフォルダでは既に別のYaguraが動作しているため、"
                                         "起動しません。\n\n") +
                           QString::fromStdString(why));
}

}  // namespace

int main(int argc, char** argv) {
  bool headless = false;
  std::string programFolder;
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--headless") {
      headless = true;
      continue;
    }
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (arg == "--program-folder" || arg.rfind("--program-folder=", 0) == 0) {
      if (arg.size() > 16) {
        programFolder = arg.substr(17);
      } else if (i + 1 < argc) {
        programFolder = argv[++i];
      }
      if (programFolder.empty()) {
        std::fprintf(stderr, "yagura: --program-folder needs a folder\n%s", kUsage);
        return 2;
      }
      continue;
    }
    if (arg.rfind("--", 0) == 0) {
      std::fprintf(stderr, "yagura: unknown option %s\n%s", arg.c_str(), kUsage);
      return 2;
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
  std::string why;
  if (!yagura::SettleProgramPaths(programFolder, &why)) {
    std::fprintf(stderr, "yagura: not started: %s\n", why.c_str());
    return 1;
  }
  const yagura::ProgramPaths paths = yagura::ProgramPaths::ForThisRun();
  if (!paths.stateNote.empty()) {
    std::fprintf(stderr, "yagura: settings, lists and logs are kept in %s\n", paths.folder.c_str());
  }
  // Two monitors on one folder would overwrite each other's settings, lists
  // and logs. The lock lives until the process ends.
  static yagura::FolderLock folderLock;
  if (!folderLock.Acquire(paths.File(".lock"), &why)) {
    std::fprintf(stderr, "yagura: not started: %s\n", why.c_str());
    if (!headless) ShowRefusalBox(argv, why);
    return 1;
  }
  // Qt reads its own options from argv; ours are not for it.
  int qtArgc = 1;
  return headless ? yagura::RunHeadless(qtArgc, argv, commandLine)
                  : yagura::RunWindow(qtArgc, argv, commandLine);
}
