// Menu commands of the window that need no window system.
#pragma once

#include "monitor/core/monitor.h"

namespace yagura {

// File > Exit: only the exit request; the next tick carries it out.
void MENU_FILE_END_Click(Monitor& monitor);
// Any attempt to close the window: true cancels the closing (and requests
// the exit) until the shutdown sequence has allowed it.
bool Form_QueryUnload(Monitor& monitor);
// The hidden balloon feature: each click switches it, logs and tells.
void MENU_STATUS_Click(Monitor& monitor);

}  // namespace yagura
