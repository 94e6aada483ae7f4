#include "monitor/ui/cycle_steps.h"

namespace yagura {

// Each step left empty counts as a success, so the cycle runs end to end
// before the real steps are plugged in here.
void InstallCycleSteps(Monitor& monitor) {
  monitor.steps.refreshSubject = nullptr;  // board subject list refresh
  monitor.steps.searchTitles = nullptr;    // thread title search
  monitor.steps.sendThreadMail = nullptr;  // thread information mail
  monitor.steps.retrieveDats = nullptr;    // dat retrieval
  monitor.processDroppedThread = nullptr;  // dat-fall processing
}

ShellComponents MakeShellComponents(Monitor&) {
  ShellComponents components;
  // startSockets, cleanupSockets, startMail, endMail, mailVersion and
  // archiverVersion come with the HTTP, mail and archive layers.
  return components;
}

}  // namespace yagura
