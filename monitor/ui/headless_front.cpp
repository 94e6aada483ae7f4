#include "monitor/ui/headless_front.h"

#include <QCoreApplication>
#include <cstdio>

#include "monitor/core/initialize_window.h"
#include "monitor/core/message_text.h"
#include "monitor/core/run_cycle.h"
#include "monitor/core/run_state.h"
#include "monitor/core/startup.h"
#include "monitor/ui/cycle_steps.h"
#include "monitor/ui/qt_platform.h"
#include "monitor/ui/ticker.h"

namespace yagura {

int RunHeadless(int argc, char** argv, const std::string& commandLine) {
  QCoreApplication app(argc, argv);
  InstallExitSignals();

  QtEventPump pump;
  SystemClock clock;
  StderrMessageBoxes boxes;
  NullTray tray;
  Monitor monitor;
  monitor.paths = ProgramPaths::OfRunningExecutable();
  monitor.pump = &pump;
  monitor.clock = &clock;
  monitor.messageBoxes = &boxes;
  monitor.tray = &tray;
  // The log file's lines, as they are written.
  monitor.onLogLine = [&monitor](std::string_view message) {
    std::string record = LogDateTimeText(monitor.Now()) + "\n" + std::string(message) + "\n";
    std::fwrite(record.data(), 1, record.size(), stdout);
    std::fflush(stdout);
  };
  monitor.unloadWindow = [] { QCoreApplication::quit(); };
  InstallCycleSteps(monitor);
  const ShellComponents components = MakeShellComponents(monitor);

  monitor.commandLine = commandLine;
  Ticker ticker(monitor);
  FormLoad(monitor, components);
  // Without a window there is nobody to press the run button: the run starts
  // as "/autorun" starts it, once a board URL has been set.
  if (monitor.form.txtURLBRD.Text() == kBoardUrlHint) {
    std::fprintf(stderr,
                 "yagura: no board URL yet: set brdurl= (for example "
                 "brdurl=http://server.example.net/board/) in %s and start again\n",
                 monitor.paths.File(".ini").c_str());
  } else if (monitor.form.cmdRUN.Tag() != kRunStateRunning) {
    cmdRUN_Click(monitor);
    if (monitor.form.cmdRUN.Tag() != kRunStateRunning) {
      std::fprintf(stderr, "yagura: not running: correct the settings in %s and start again\n",
                   monitor.paths.File(".ini").c_str());
    }
  }
  ticker.Start();
  app.exec();
  FormUnload(monitor, components);
  return 0;
}

}  // namespace yagura
