#include "monitor/core/monitor.h"

#include "monitor/core/message_text.h"

namespace yagura {

std::string VersionText() {
  return std::to_string(kVersionMajor) + "." + std::to_string(kVersionMinor) + "." +
         std::to_string(kVersionRevision);
}

std::string BaseTitleText() { return std::string(kProgramTitle) + " Version " + VersionText(); }

std::string Monitor::Time() const { return TimeText(Now()); }

void Monitor::ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) const {
  if (messageBoxes) messageBoxes->Show(text, title, icon);
}

void Monitor::ShowBalloon(std::string_view text) const {
  if (tray) tray->ShowBalloon(form.baseTitle, text);
}

}  // namespace yagura
