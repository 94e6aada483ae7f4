// The run state (Monitor::runState, shown in the run button's tag) is how a
// stop request reaches a running step: long steps test it between their
// sub-steps.
#pragma once

#include "monitor/core/monitor.h"

namespace yagura {

inline constexpr const char* kRunStateStopped = "停止中";
inline constexpr const char* kRunStateRunning = "実行中";
inline constexpr const char* kExitRequested = "終了";
inline constexpr const char* kExitAllowed = "終了可能";

// The tag texts of the two states and of the exit request.
const char* RunStateTag(RunState state);
const char* ExitRequestTag(ExitRequest request);

// Sets the state and writes the run button's tag from it.
void SetRunState(Monitor& monitor, RunState state);
// Sets the exit request and writes the File menu's tag from it.
void SetExitRequest(Monitor& monitor, ExitRequest request);

// Enters the running state: settings locked, the button shows the waiting
// message (returned; the caller logs it), the tray tip follows.
std::string EnterRunning(Monitor& monitor);

// True when the user stopped the run (the stop check of a step).
bool StopRequested(const Monitor& monitor);

// What a step does when it notices the stop: settings unlocked, the button
// shows the rest message, the window title "お休み中", the state "停止中".
// Writes no log line.
void StopTail(Monitor& monitor);

// Marks a cycle as under way while it lives (the cycle guard). When the cycle
// ends while the monitor still runs, the run-now button is enabled again,
// also when a step ended by an exception.
class CycleGuard {
 public:
  explicit CycleGuard(Monitor& monitor);
  ~CycleGuard();
  CycleGuard(const CycleGuard&) = delete;
  CycleGuard& operator=(const CycleGuard&) = delete;

 private:
  Monitor& monitor_;
};

// Settings editable, run-now disabled (stopped state).
void UnlockSettings(Monitor& monitor);
// Settings locked, run-now enabled (running state).
void LockSettings(Monitor& monitor);

}  // namespace yagura
