#include "monitor/ui/headless_front.h"

#include <QCoreApplication>
#include <cstdio>
#include <vector>

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

void Print(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

// "hh:mm:ss text": further lines of the message are indented under the text.
std::string ConsoleLine(std::time_t when, std::string_view message) {
  const std::string stamp = TimeText(when) + " ";
  std::string line = stamp;
  for (char c : message) {
    if (c == '\r') continue;
    line += c;
    if (c == '\n') line.append(stamp.size(), ' ');
  }
  while (!line.empty() && (line.back() == ' ' || line.back() == '\n')) line.pop_back();
  return line + "\n";
}

// The component report as the window's log pane starts with it.
std::string ConsoleReport(std::string_view report) {
  std::string text;
  for (char c : report) {
    if (c != '\r') text += c;
  }
  return text;
}

}  // namespace

int RunHeadless(int argc, char** argv, const std::string& commandLine) {
  QCoreApplication app(argc, argv);
  InstallExitSignals();

  MonitorHost host(commandLine, std::make_unique<StderrMessageBoxes>());
  Monitor& monitor = host.monitor();
  // The log's messages, one console line each. Those of the start-up wait
  // until the component report has been printed ahead of them.
  std::vector<std::string> held;
  bool holding = true;
  monitor.onLogLine = [&](std::string_view message) {
    std::string line = ConsoleLine(monitor.Now(), message);
    if (holding) {
      held.push_back(std::move(line));
    } else {
      Print(line);
    }
  };
  host.Load();
  Print(ConsoleReport(ComponentReport(monitor, host.components())));
  for (const std::string& line : held) Print(line);
  holding = false;

  // Without a window there is nobody to press the run button or to type a
  // setting in: the run starts as "/autorun" starts it, or the program says
  // what to set and ends, so that a service manager sees the failure rather
  // than a program that idles.
  if (monitor.form.txtURLBRD.Text() == kBoardUrlHint) {
    std::fprintf(stderr,
                 "yagura: no board URL yet: set brdurl= (for example "
                 "brdurl=http://server.example.net/board/, with the final \"/\") in %s, "
                 "then start again\n",
                 monitor.paths.File(".ini").c_str());
    host.Unload();
    return kExitInvalidSettings;
  }
  if (monitor.runState != RunState::kRunning) {
    cmdRUN_Click(monitor);
    if (monitor.runState != RunState::kRunning) {
      std::fprintf(stderr,
                   "yagura: not running: correct the settings in %s (brdurl= is the board's "
                   "address ending in \"/\", http://server.example.net/board/; every word pair "
                   "with a checked box needs both words) and start again\n",
                   monitor.paths.File(".ini").c_str());
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
