// The monitor's context: the form model, where its files live, the outside
// world, and the later steps handed in at start-up. Operations of the core
// are free functions taking a Monitor&.
#pragma once

#include <functional>
#include <random>
#include <string>
#include <string_view>

#include "common/unique_fd.h"
#include "monitor/core/form.h"
#include "monitor/core/line_counts.h"
#include "monitor/core/platform.h"

namespace yagura {

inline constexpr const char* kProgramTitle = "Yagura";
inline constexpr int kVersionMajor = 0;
inline constexpr int kVersionMinor = 3;
inline constexpr int kVersionRevision = 86;

// "Yagura Version 0.3.86".
std::string BaseTitleText();
// "0.3.86".
std::string VersionText();

// The steps of a cycle that later layers supply; each returns its success.
struct CycleSteps {
  std::function<bool(const std::string& subjectPath)> refreshSubject;
  std::function<bool(const std::string& subjectPath)> searchTitles;
  std::function<bool()> sendThreadMail;
  std::function<bool(const std::string& datFolder)> retrieveDats;
};

// Whether the monitor runs cycles; the run button's tag shows it ("停止中",
// "実行中") and every step's stop check reads it.
enum class RunState { kStopped, kRunning };
// The exit request: none, asked for (the File menu's tag "終了"), or allowed
// once the shutdown sequence has run ("終了可能").
enum class ExitRequest { kNone, kRequested, kAllowed };

struct Monitor {
  Form form;
  ProgramPaths paths;

  EventPump* pump = nullptr;
  Clock* clock = nullptr;
  MessageBoxes* messageBoxes = nullptr;
  TrayNotifier* tray = nullptr;

  CycleSteps steps;
  // The dat-fall processing of a dropped thread: (title, dat path) -> result.
  std::function<bool(const std::string& title, const std::string& datPath)> processDroppedThread;
  // Set by that processing when a stop or an exit ended the conversion
  // before the page was made; the title search then keeps the thread.
  bool datFallCutShort = false;

  // Told of every message as it goes to the log file (the headless front
  // mirrors the log on stdout).
  std::function<void(std::string_view message)> onLogLine;
  // Unloads the main window once the shutdown sequence allowed the exit; the
  // front then runs the shutdown of the program (FormUnload) and ends.
  std::function<void()> unloadWindow;

  // The command line as typed (administrator mode looks for "/ownermode").
  std::string commandLine;
  bool settingsNotWritable = false;

  // The run state and the exit request; the tags of cmdRUN and MENU_FILE
  // show them (written by SetRunState and SetExitRequest only).
  RunState runState = RunState::kStopped;
  ExitRequest exitRequest = ExitRequest::kNone;
  // The cycle interval in seconds, from the interval box (Timer1's tag shows it).
  int intervalSeconds = 30;

  // The run cycle's wait: clock reading at which the current wait began.
  double lastCycleStart = 0;
  // The cycle guard: a cycle is under way (cmdNOW_Click has not returned
  // yet). A stop and a new start inside a step must not enable the run-now
  // button before the cycle has ended, or a nested tick would start a second
  // cycle inside it.
  bool cycleInProgress = false;

  // The followed logs' line counts the title search keeps between cycles.
  LineCounts lineCounts;
  // The text of each followed log's header file, kept by the dat retrieval
  // between cycles while the file is unchanged.
  StampedMemo<std::string> storedHeads;

  // The activity log's bookkeeping (see activity_log.h).
  struct LogState {
    size_t paneUtf16Units = 0;                // UTF-16 length of txtLOG's text
    unsigned long long paneRevision = ~0ULL;  // txtLOG's revision it was counted at
    bool fileGivenUp = false;                 // the last record could not be written
    // The log file, kept open between records while it is still the file
    // at the log's path (the device and inode it had when opened).
    common::UniqueFd file;
    unsigned long long fileDevice = 0;
    unsigned long long fileInode = 0;
    int retryLimitMilliseconds = 10000;
    std::mt19937 pauses{std::random_device{}()};  // the random pauses between retries
  } log;

  // Convenience accessors for the outside world.
  void PumpOnce() const {
    if (pump) pump->PumpOnce();
  }
  std::time_t Now() const { return clock ? clock->Now() : std::time(nullptr); }
  std::string Time() const;  // "hh:mm:ss" of Now()
  void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) const;
  void ShowBalloon(std::string_view text) const;  // base title as the balloon's title

  bool AdministratorMode() const { return commandLine.find("/ownermode") != std::string::npos; }
};

}  // namespace yagura
