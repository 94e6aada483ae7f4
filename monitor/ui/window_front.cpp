#include "monitor/ui/window_front.h"

#include <QApplication>

#include "monitor/core/startup.h"
#include "monitor/ui/cycle_steps.h"
#include "monitor/ui/main_window.h"
#include "monitor/ui/qt_platform.h"
#include "monitor/ui/ticker.h"

namespace yagura {

int RunWindow(int argc, char** argv, const std::string& commandLine) {
  QApplication app(argc, argv);
  // The window stays until the shutdown sequence unloads it.
  app.setQuitOnLastWindowClosed(false);
  InstallExitSignals();

  QtEventPump pump;
  SystemClock clock;
  QtMessageBoxes boxes;
  Monitor monitor;
  monitor.paths = ProgramPaths::OfRunningExecutable();
  monitor.pump = &pump;
  monitor.clock = &clock;
  monitor.messageBoxes = &boxes;
  monitor.commandLine = commandLine;
  monitor.unloadWindow = [] { QCoreApplication::quit(); };
  InstallCycleSteps(monitor);
  const ShellComponents components = MakeShellComponents(monitor);

  monitor.form.Form1.SetVisible(false);
  MainWindow window(monitor);
  QtTray tray(window.TrayIcon());
  monitor.tray = &tray;

  Ticker ticker(monitor);
  FormLoad(monitor, components);
  window.ShowIfUnreachable();
  ticker.Start();
  app.exec();
  FormUnload(monitor, components);
  return 0;
}

}  // namespace yagura
