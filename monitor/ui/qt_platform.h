// The outside world of the core as the Qt fronts supply it.
#pragma once

#include <QSystemTrayIcon>

#include "monitor/core/platform.h"

namespace yagura {

// Runs pending Qt events once; ticks and clicks run nested inside.
class QtEventPump : public EventPump {
 public:
  void PumpOnce() override;
};

// Headless: a message box is one line on stderr.
class StderrMessageBoxes : public MessageBoxes {
 public:
  void Show(std::string_view text, std::string_view title, MessageIcon icon) override;
};
// "title: text" with its line ends turned into " / ".
std::string OneLineMessage(std::string_view text, std::string_view title);

class QtMessageBoxes : public MessageBoxes {
 public:
  void Show(std::string_view text, std::string_view title, MessageIcon icon) override;
};

// Balloons through the tray icon (when the system has a tray).
class QtTray : public TrayNotifier {
 public:
  explicit QtTray(QSystemTrayIcon* icon) : icon_(icon) {}
  void ShowBalloon(std::string_view title, std::string_view text) override;

 private:
  QSystemTrayIcon* icon_;
};

QString ToQString(std::string_view utf8);
std::string ToUtf8(const QString& text);

// SIGINT and SIGTERM become the exit request: the handler only sets a flag
// that the next tick turns into MENU_FILE's tag "終了". A second signal ends
// the program at once (a step that never returns must not keep it alive).
void InstallExitSignals();
bool ExitSignalArrived();

}  // namespace yagura
