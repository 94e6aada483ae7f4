#include "monitor/ui/cycle_steps.h"

#include <cstdlib>
#include <memory>

#include "lzh/unlha_command.h"
#include "monitor/core/activity_log.h"
#include "monitor/core/message_text.h"
#include "monitor/core/search_titles.h"
#include "monitor/http/http_client.h"
#include "monitor/http/refresh_subject.h"
#include "monitor/http/retrieve_dats.h"
#include "monitor/http/socket_layer.h"
#include "monitor/publish/dat_fall.h"
#include "monitor/publish/mail_transport.h"
#include "monitor/publish/thread_mail.h"

namespace yagura {
namespace {

// The program has one monitor; its HTTP client and socket layer live as long
// as the process, so the steps handed to the cycle may hold references.
struct Layers {
  std::unique_ptr<HttpClient> http;
  std::unique_ptr<SocketLayer> sockets;
  std::unique_ptr<MailTransport> mail;
};

Layers& LayersOf(Monitor& monitor) {
  static Layers layers;
  if (!layers.http) layers.http = std::make_unique<HttpClient>(monitor);
  if (!layers.sockets) layers.sockets = std::make_unique<SocketLayer>(monitor);
  if (!layers.mail) {
    layers.mail = std::make_unique<MailTransport>(monitor);
    // Tests of mail over TLS hand in the CA of their servers.
    if (const char* ca = std::getenv("YAGURA_TEST_MAIL_CA_FILE"); ca && *ca) {
      layers.mail->limits.caFile = ca;
    }
  }
  return layers;
}

}  // namespace

void InstallCycleSteps(Monitor& monitor) {
  Layers& layers = LayersOf(monitor);
  InstallRefreshSubject(monitor, *layers.http);  // board subject list refresh
  InstallSearchTitles(monitor);                  // thread title search
  monitor.steps.sendThreadMail =                 // thread information mail
      MakeSendThreadMail(monitor, *layers.http, *layers.mail);
  InstallRetrieveDats(monitor, *layers.http);                        // dat retrieval
  monitor.processDroppedThread = MakeProcessDroppedThread(monitor);  // dat-fall processing
}

ShellComponents MakeShellComponents(Monitor& monitor) {
  Layers& layers = LayersOf(monitor);
  ShellComponents components;
  components.startSockets = [&layers] {
    layers.sockets->RetryCount = 0;
    layers.sockets->RetryWait = 5000;
    layers.sockets->SockStartup();
  };
  components.cleanupSockets = [&layers] { layers.sockets->SockCleanup(); };
  components.archiverVersion = [] { return lzh::UnlhaVersionText(); };
  // Start-up shows the failure boxes itself: the calls report nothing.
  components.startMail = [&layers] { return layers.mail->StartMailLibrary(false); };
  components.endMail = [&layers] { return layers.mail->EndMailLibrary(false); };
  components.mailVersion = [] { return kMailLayerVersion; };
  components.mailLayerName = [] { return MailLayerName(); };
  return components;
}

}  // namespace yagura
