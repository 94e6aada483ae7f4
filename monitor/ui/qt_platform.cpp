#include "monitor/ui/qt_platform.h"

#include <signal.h>

#include <QCoreApplication>
#include <QMessageBox>
#include <cstdio>

namespace yagura {
namespace {

volatile sig_atomic_t exitSignal = 0;

void OnExitSignal(int) { exitSignal = 1; }

}  // namespace

QString ToQString(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string ToUtf8(const QString& text) { return text.toUtf8().toStdString(); }

void QtEventPump::PumpOnce() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

std::string OneLineMessage(std::string_view text, std::string_view title) {
  std::string line(title);
  line += ": ";
  bool inBreak = false;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (!inBreak) line += " / ";
      inBreak = true;
      continue;
    }
    inBreak = false;
    line += c;
  }
  return line;
}

void StderrMessageBoxes::Show(std::string_view text, std::string_view title, MessageIcon) {
  std::string line = OneLineMessage(text, title) + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

void QtMessageBoxes::Show(std::string_view text, std::string_view title, MessageIcon icon) {
  QMessageBox::Icon qtIcon = QMessageBox::NoIcon;
  switch (icon) {
    case MessageIcon::kNone:
      break;
    case MessageIcon::kCritical:
      qtIcon = QMessageBox::Critical;
      break;
    case MessageIcon::kExclamation:
      qtIcon = QMessageBox::Warning;
      break;
    case MessageIcon::kInformation:
      qtIcon = QMessageBox::Information;
      break;
  }
  QMessageBox box(qtIcon, ToQString(title), ToQString(text).replace("\r\n", "\n"), QMessageBox::Ok);
  box.exec();
}

void QtTray::ShowBalloon(std::string_view title, std::string_view text) {
  if (icon_) icon_->showMessage(ToQString(title), ToQString(text));
}

void InstallExitSignals() {
  struct sigaction action {};
  action.sa_handler = OnExitSignal;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  // A reader of the mirrored log that goes away must not end the monitor.
  signal(SIGPIPE, SIG_IGN);
}

bool ExitSignalArrived() { return exitSignal != 0; }

}  // namespace yagura
