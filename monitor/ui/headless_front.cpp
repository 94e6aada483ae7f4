#include "monitor/ui/headless_front.h"

#include <QCoreApplication>
#include <cstdio>

#include "monitor/core/initialize_window.h"
#include "monitor/core/message_text.h"
#include "monitor/core/run_cycle.h"
#include "monitor/core/run_state.h"
#include "monitor/core/startup.h"
#include "monitor/ui/monitor_host.h"
#include "monitor/ui/qt_platform.h"

namespace yagura {
namespace {

// The exit status when the settings refuse a run.
constexpr int kExitInvalidSettings = 2;

}  // namespace

int RunHeadless(int argc, char** argv, const std::string& commandLine) {
  QCoreApplication app(argc, argv);
  InstallExitSignals();

  MonitorHost host(commandLine, std::make_unique<StderrMessageBoxes>());
  Monitor& monitor = host.monitor();
  // The log file's lines, as they are written.
  monitor.onLogLine = [&monitor](std::string_view message) {
    std::string record = LogDateTimeText(monitor.Now()) + "\n" + std::string(message) + "\n";
    std::fwrite(record.data(), 1, record.size(), stdout);
    std::fflush(stdout);
  };
  host.Load();
  // Without a window there is nobody to press the run button: the run starts
  // as "/autorun" starts it, once a board URL has been set.
  if (monitor.form.txtURLBRD.Text() == kBoardUrlHint) {
    std::fprintf(stderr,
                 "yagura: no board URL yet: set brdurl= (for example "
                 "brdurl=http://server.example.net/board/) in %s and start again\n",
                 monitor.paths.File(".ini").c_str());
  } else if (monitor.runState != RunState::kRunning) {
    cmdRUN_Click(monitor);
    if (monitor.runState != RunState::kRunning) {
      std::fprintf(stderr, "yagura: not running: correct the settings in %s and start again\n",
                   monitor.paths.File(".ini").c_str());
      // Nothing to do without a window to correct them in: a service
      // manager must see the failure rather than a program that idles.
      host.Unload();
      return kExitInvalidSettings;
    }
  }
  host.StartTicks();
  app.exec();
  host.Unload();
  return 0;
}

}  // namespace yagura
