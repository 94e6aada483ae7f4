// The window's initial contents: the texts, tooltips, captions and lists the
// controls carry before the settings file is read.
#pragma once

#include "monitor/core/monitor.h"

namespace yagura {

// The board URL hint, also shown in its tooltip.
inline constexpr const char* kBoardUrlHint = "http://鯖名.2ch.net/板キー/";

// The entries of the interval box; the 60-second one is the default.
inline constexpr const char* kIntervalEntries[] = {
    "30秒ごとに確認", "60秒ごとに確認", "90秒ごとに確認", "120秒ごとに確認", "300秒ごとに確認"};
inline constexpr int kDefaultIntervalIndex = 1;

// Sets every initial text, tooltip, caption and list; clears the six lists
// and the log pane; Timer1's tag "30"; the Twitter settings hidden; the run
// button in the stopped state.
void InitializeWindow(Monitor& monitor);

}  // namespace yagura
