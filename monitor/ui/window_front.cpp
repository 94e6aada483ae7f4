#include "monitor/ui/window_front.h"

#include <QApplication>
#include <QIcon>

#include "monitor/ui/main_window.h"
#include "monitor/ui/monitor_host.h"
#include "monitor/ui/qt_platform.h"

namespace yagura {

int RunWindow(int argc, char** argv, const std::string& commandLine) {
  QApplication app(argc, argv);
  // The window stays until the shutdown sequence unloads it.
  app.setQuitOnLastWindowClosed(false);
  InstallExitSignals();

  MonitorHost host(commandLine, std::make_unique<QtMessageBoxes>());
  Monitor& monitor = host.monitor();
  // The icon ships beside the program; without Qt's SVG plugin the window
  // and the tray fall back to a standard icon.
  const QIcon icon(QString::fromStdString(monitor.paths.ProgramFolder() + "yagura.svg"));
  if (!icon.availableSizes().isEmpty() || !icon.pixmap(32).isNull()) app.setWindowIcon(icon);
  monitor.form.Form1.SetVisible(false);
  MainWindow window(monitor);
  QtTray tray(window.TrayIcon());
  host.SetTray(&tray);

  host.Load();
  window.ShowIfUnreachable();
  host.StartTicks();
  app.exec();
  host.Unload();
  host.SetTray(nullptr);
  return 0;
}

}  // namespace yagura
