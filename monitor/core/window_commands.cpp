#include "monitor/core/window_commands.h"

#include "monitor/core/activity_log.h"
#include "monitor/core/run_state.h"

namespace yagura {

void MENU_FILE_END_Click(Monitor& monitor) { SetExitRequest(monitor, ExitRequest::kRequested); }

bool Form_QueryUnload(Monitor& monitor) {
  if (monitor.exitRequest == ExitRequest::kAllowed) return false;
  MENU_FILE_END_Click(monitor);
  return true;
}

void MENU_STATUS_Click(Monitor& monitor) {
  Form& f = monitor.form;
  f.balloonEnabled = !f.balloonEnabled;
  if (f.balloonEnabled) {
    WriteLog(monitor, "○バルーン表示機能:有効");
    monitor.ShowMessage(
        "あちゃー、クリックしちゃったかー。\r\n"
        "バルーン表示機能が有効になりました。この機能を無効にするにはもう一度クリックしてください。"
        "\r\n"
        "この機能の有効/無効設定は保存されず、起動時に常に無効化されます。",
        "隠し機能が有効になりました - " + f.baseTitle, MessageIcon::kInformation);
  } else {
    WriteLog(monitor, "×バルーン表示機能:無効");
    monitor.ShowMessage("バルーン表示機能が無効になりました。",
                        "隠し機能が無効になりました - " + f.baseTitle, MessageIcon::kInformation);
  }
}

}  // namespace yagura
