// The activity log: every step reports through WriteLog, which feeds the log
// pane, the window title and the rotating log file, and pumps events so the
// window stays responsive during a long cycle.
#pragma once

#include <string>
#include <string_view>

#include "monitor/core/monitor.h"

namespace yagura {

// The pane keeps at most this many bytes of UTF-16 text.
inline constexpr size_t kLogPaneLimitBytes = 32500;
// The log file is rotated when it is larger than 0.05 MiB (52429 bytes or more).
inline constexpr long long kLogRotateBytes = 52429;

void WriteLog(Monitor& monitor, std::string_view message);

// A detail message: the detail prefix, the text and the time in
// parentheses, "（；´ω`）text(hh:mm:ss)".
std::string DetailLine(const Monitor& monitor, std::string_view text);
// Writes DetailLine(text) to the log.
void WriteDetailLog(Monitor& monitor, std::string_view text);
// `message` with every control character but TAB, LF and a CR before LF
// written as a visible escape ("\x1B").
std::string EscapeControls(std::string_view message);

// Waits about `milliseconds`, pumping events at least once; the wait is made
// of whole 500 ms slices (100 ms sleeps 500 ms). 0 returns at once.
void WaitWithEvents(Monitor& monitor, int milliseconds);

// The window-title part of a message that announces work in progress ("...("):
// the text after the prefix, without the time. Empty when the message does
// not announce work.
std::string StatusTextOf(std::string_view message);

}  // namespace yagura
