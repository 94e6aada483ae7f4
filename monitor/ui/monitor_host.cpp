#include "monitor/ui/monitor_host.h"

#include "lzh/unlha_command.h"
#include "monitor/core/activity_log.h"
#include "monitor/core/search_titles.h"
#include "monitor/http/refresh_subject.h"
#include "monitor/http/retrieve_dats.h"
#include "monitor/publish/uploader.h"

namespace yagura {

MonitorHost::MonitorHost(std::string commandLine, std::unique_ptr<MessageBoxes> boxes)
    : boxes_(std::move(boxes)) {
  monitor_.paths = ProgramPaths::OfRunningExecutable();
  monitor_.pump = &pump_;
  monitor_.clock = &clock_;
  monitor_.messageBoxes = boxes_.get();
  monitor_.tray = &noTray_;
  monitor_.commandLine = std::move(commandLine);
  monitor_.unloadWindow = [] { QCoreApplication::quit(); };
  InstallCycleSteps();
  components_ = MakeShellComponents();
}

void MonitorHost::Load() { FormLoad(monitor_, components_); }

void MonitorHost::Unload() { FormUnload(monitor_, components_); }

// Dropped threads are uploaded through the program's socket layer.
UploadThreadFiles MonitorHost::MakeUploader() { return MakeUploadThreadFiles(sockets_); }

std::function<bool()> MonitorHost::MakeMailStep() {
  // The thread information mail is not built yet: say so rather than report
  // a mail as sent; the threads stay on the mail list.
  return [this] {
    WriteDetailLog(monitor_,
                   "メール送信機能が組み込まれていないので、スレッド情報のメールを送信できません");
    return false;
  };
}

void MonitorHost::InstallCycleSteps() {
  InstallRefreshSubject(monitor_, http_);  // board subject list refresh
  InstallSearchTitles(monitor_);           // thread title search
  monitor_.steps.sendThreadMail = MakeMailStep();
  InstallRetrieveDats(monitor_, http_);  // dat retrieval
  monitor_.processDroppedThread = MakeProcessDroppedThread(monitor_, MakeUploader());
}

ShellComponents MonitorHost::MakeShellComponents() {
  ShellComponents components;
  components.startSockets = [this] {
    sockets_.RetryCount = 0;
    sockets_.RetryWait = 5000;
    sockets_.SockStartup();
  };
  components.cleanupSockets = [this] { sockets_.SockCleanup(); };
  components.archiverVersion = [] { return lzh::UnlhaVersionText(); };
  // The mail layer is not built yet: no start or end call, version unknown.
  return components;
}

}  // namespace yagura
