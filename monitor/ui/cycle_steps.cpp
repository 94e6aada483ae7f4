#include "monitor/ui/cycle_steps.h"

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
#include "monitor/publish/uploader.h"

namespace yagura {
namespace {

// The program has one monitor; its HTTP client and socket layer live as long
// as the process, so the steps handed to the cycle may hold references.
struct Layers {
  std::unique_ptr<HttpClient> http;
  std::unique_ptr<SocketLayer> sockets;
};

Layers& LayersOf(Monitor& monitor) {
  static Layers layers;
  if (!layers.http) layers.http = std::make_unique<HttpClient>(monitor);
  if (!layers.sockets) layers.sockets = std::make_unique<SocketLayer>(monitor);
  return layers;
}

}  // namespace

void InstallCycleSteps(Monitor& monitor) {
  Layers& layers = LayersOf(monitor);
  InstallRefreshSubject(monitor, *layers.http);  // board subject list refresh
  InstallSearchTitles(monitor);                  // thread title search
  // The thread information mail is not built yet: say so rather than report
  // a mail as sent; the threads stay on the mail list.
  monitor.steps.sendThreadMail = [&monitor] {
    WriteLog(monitor, std::string(kDetailPrefix) +
                          "メール送信機能が組み込まれていないので、スレッド情報のメールを送信できません(" +
                          monitor.Time() + ")");
    return false;
  };
  InstallRetrieveDats(monitor, *layers.http);    // dat retrieval
  // dat-fall processing, uploading through the program's socket layer
  monitor.processDroppedThread =
      MakeProcessDroppedThread(monitor, MakeUploadThreadFiles(*layers.sockets));
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
  // The mail layer is not built yet: no start or end call, version unknown.
  return components;
}

}  // namespace yagura
