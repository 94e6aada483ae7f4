#include "monitor/ui/monitor_host.h"

#include <cstdlib>

#include "lzh/unlha_command.h"
#include "monitor/core/activity_log.h"
#include "monitor/core/search_titles.h"
#include "monitor/http/refresh_subject.h"
#include "monitor/http/retrieve_dats.h"
#include "monitor/publish/thread_mail.h"
#include "monitor/publish/uploader.h"

namespace yagura {

MonitorHost::MonitorHost(std::string commandLine, std::unique_ptr<MessageBoxes> boxes)
    : boxes_(std::move(boxes)) {
  monitor_.paths = ProgramPaths::ForThisRun();
  monitor_.pump = &pump_;
  monitor_.clock = &clock_;
  monitor_.messageBoxes = boxes_.get();
  monitor_.tray = &noTray_;
  monitor_.commandLine = std::move(commandLine);
  monitor_.unloadWindow = [] { QCoreApplication::quit(); };
  // Tests of https boards hand in the authority that signed their server's
  // certificate; a user's monitor trusts the system's authorities only.
  if (const char* ca = std::getenv("YAGURA_TEST_CA_FILE"); ca && *ca) http_.extraCaFile = ca;
  InstallCycleSteps();
  components_ = MakeShellComponents();
}

void MonitorHost::Load() {
  FormLoad(monitor_, components_);
  // Right after the component report: where this run keeps its files.
  if (!monitor_.paths.stateNote.empty()) WriteDetailLog(monitor_, monitor_.paths.stateNote);
}

void MonitorHost::Unload() { FormUnload(monitor_, components_); }

// Dropped threads are uploaded through the program's socket layer.
UploadThreadFiles MonitorHost::MakeUploader() { return MakeUploadThreadFiles(sockets_); }

std::function<bool()> MonitorHost::MakeMailStep() {
  // Tests of mail over TLS hand in the CA of their servers.
  if (const char* ca = std::getenv("YAGURA_TEST_MAIL_CA_FILE"); ca && *ca) {
    mail_.limits.caFile = ca;
  }
  return MakeSendThreadMail(monitor_, http_, mail_);
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
  // Start-up shows the failure boxes itself: the calls report nothing.
  components.startMail = [this] { return mail_.StartMailLibrary(false); };
  components.endMail = [this] { return mail_.EndMailLibrary(false); };
  components.mailVersion = [] { return kMailLayerVersion; };
  components.mailLayerName = [] { return MailLayerName(); };
  return components;
}

}  // namespace yagura
