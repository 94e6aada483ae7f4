// The wiring of the later layers into the monitor: the four steps of the
// cycle, the dat-fall processing and the components of start-up.
#pragma once

#include "monitor/core/monitor.h"
#include "monitor/core/startup.h"

namespace yagura {

void InstallCycleSteps(Monitor& monitor);
ShellComponents MakeShellComponents(Monitor& monitor);

}  // namespace yagura
