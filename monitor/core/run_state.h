// The run state, kept in the run button's tag, is how a stop request reaches
// a running step: long steps test it between their sub-steps.
#pragma once

#include "monitor/core/monitor.h"

namespace yagura {

inline constexpr const char* kRunStateStopped = "停止中";
inline constexpr const char* kRunStateRunning = "実行中";
inline constexpr const char* kExitRequested = "終了";
inline constexpr const char* kExitAllowed = "終了可能";

// True when the user stopped the run (the stop check of a step).
bool StopRequested(const Monitor& monitor);

// What a step does when it notices the stop: settings unlocked, the button
// shows the rest message, the window title "お休み中", the state "停止中".
// Writes no log line.
void StopTail(Monitor& monitor);

// Settings editable, run-now disabled (stopped state).
void UnlockSettings(Monitor& monitor);
// Settings locked, run-now enabled (running state).
void LockSettings(Monitor& monitor);

}  // namespace yagura
