// The running program: the one Monitor and everything it is wired to (the
// platform objects, the HTTP client, the socket layer, the ticker and the
// steps of the cycle). Both fronts build one and drive it; nothing of the
// running monitor lives anywhere else.
#pragma once

#include <QCoreApplication>
#include <functional>
#include <memory>
#include <string>

#include "monitor/core/monitor.h"
#include "monitor/core/startup.h"
#include "monitor/http/http_client.h"
#include "monitor/http/socket_layer.h"
#include "monitor/publish/dat_fall.h"
#include "monitor/publish/mail_transport.h"
#include "monitor/ui/qt_platform.h"
#include "monitor/ui/ticker.h"

namespace yagura {

class MonitorHost {
 public:
  // Needs the Qt application to exist. `boxes` shows the messages the way
  // the front can (a window's boxes, or a line on stderr).
  MonitorHost(std::string commandLine, std::unique_ptr<MessageBoxes> boxes);
  MonitorHost(const MonitorHost&) = delete;
  MonitorHost& operator=(const MonitorHost&) = delete;

  Monitor& monitor() { return monitor_; }
  // The components start-up reports on (the headless front prints the report).
  const ShellComponents& components() const { return components_; }
  // The window's tray once it exists; the host starts with none.
  void SetTray(TrayNotifier* tray) { monitor_.tray = tray ? tray : &noTray_; }

  // The start-up (Form_Load) with this host's components.
  void Load();
  // Starts Timer1's ticks; the Qt event loop then runs the monitor.
  void StartTicks() { ticker_.Start(); }
  // The shutdown (Form_Unload), after the event loop has ended.
  void Unload();

 private:
  // The plug points of the later layers, one each.
  // The uploads of a dropped thread's files, through the socket layer.
  UploadThreadFiles MakeUploader();
  // The thread information mail step of the cycle.
  std::function<bool()> MakeMailStep();

  void InstallCycleSteps();
  ShellComponents MakeShellComponents();

  QtEventPump pump_;
  SystemClock clock_;
  std::unique_ptr<MessageBoxes> boxes_;
  NullTray noTray_;
  Monitor monitor_;
  HttpClient http_{monitor_};
  SocketLayer sockets_{monitor_};
  MailTransport mail_{monitor_};
  ShellComponents components_;
  Ticker ticker_{monitor_};
};

}  // namespace yagura
