// Start-up and shutdown of the monitor that need no window system: initial
// contents, settings with their recovery, lists, temporary files, the
// component report and the command-line options. The fronts add what only
// they can do (window size, tray, socket and mail libraries) through the
// callables of ShellComponents.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/core/monitor.h"

namespace yagura {

// The outside components start-up reports and starts; an empty callable
// means "nothing to do" (or "not installed" for the versions).
struct ShellComponents {
  std::function<void()> startSockets;
  std::function<void()> cleanupSockets;
  // The mail layer's start and end calls; false shows the failure box.
  std::function<bool()> startMail;
  std::function<bool()> endMail;
  // The mail layer's version as an integer (171 is 1.71); 0 when unknown.
  std::function<int()> mailVersion;
  // The mail layer's name in the component report ("nMail.DLL" when empty).
  std::function<std::string()> mailLayerName;
  // The archiver's version text; empty when it is not installed.
  std::function<std::string()> archiverVersion;
  // The window-mode menu command ("/windowmode"); MENU_HELP_WINDOWMODE_Click
  // when empty.
  std::function<void()> windowModeCommand;
};

// What the command line asks for (options anywhere, any case).
struct CommandLineOptions {
  bool windowMode = false;
  bool autoRun = false;
  bool windowMini = false;
};
CommandLineOptions ParseCommandLine(const std::string& commandLine);

// The component report that replaces the log pane at start-up.
std::string ComponentReport(const Monitor& monitor, const ShellComponents& components);

// When the settings file exists but cannot be read or holds NUL bytes (UTF-16,
// not ours), says so in `notices` and on stderr and returns true: the caller
// then leaves it alone and runs without saving settings.
bool SettingsFileIsForeign(Monitor& monitor, std::vector<std::string>& notices);

// Runs LoadSettings with the recovery: a first failure rewrites the file
// from the controls (which drops bad lines) and loads again; a second one
// shows the box and stops saving. Problems are added to `notices`.
void LoadSettingsWithRecovery(Monitor& monitor, std::vector<std::string>& notices);

// The start-up (Form_Load): ends with the window shown, unless the command
// line asks for automatic running alone.
void FormLoad(Monitor& monitor, const ShellComponents& components);

// The shutdown (Form_Unload): settings, lists, temporary files, tray, the
// socket and mail libraries.
void FormUnload(Monitor& monitor, const ShellComponents& components);

// The temporary files removed at start-up; the shutdown also removes ".post".
// The start-up also removes what interrupted atomic writes left in the
// program folder and in dat/ (see RemoveInterruptedWrites).
void DeleteTemporaryFiles(Monitor& monitor, bool atShutdown);

// Removes the files of `folder` named as an interrupted atomic write names
// its temporary file ("yagura.ini.tmp1234_567"), unless the process of that
// id still runs.
void RemoveInterruptedWrites(const std::string& folder);
bool IsInterruptedWriteName(std::string_view name);

}  // namespace yagura
