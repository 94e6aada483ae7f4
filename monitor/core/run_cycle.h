// The run cycle: Timer1 ticks every 100 ms; while running, a tick that finds
// the interval passed since the previous cycle ended runs one cycle of the
// four steps. Steps pump events, so ticks and clicks run nested inside a
// cycle; the run-now button's enabled state guards against a nested cycle.
#pragma once

#include <string>

#include "monitor/core/monitor.h"

namespace yagura {

void Timer1_Timer(Monitor& monitor);
// Start (after the settings checks) or stop.
void cmdRUN_Click(Monitor& monitor);
// One cycle now.
void cmdNOW_Click(Monitor& monitor);

// "DL対象:a dat落ち:b OS稼働日数:H時間M分S秒(D日)".
std::string StatusLineText(double uptimeSeconds, int downloadCount, int droppedCount);

// Selects the first entry of each upper list and the last of each lower one
// (so that they scroll there), then clears every selection.
void TidyLists(Monitor& monitor);

// The temporary files of a cycle, deleted at its end.
void DeleteCycleTemporaryFiles(Monitor& monitor);

}  // namespace yagura
