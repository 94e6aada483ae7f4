#include "monitor/core/window_commands.h"

#include "common/file_io.h"
#include "monitor/core/activity_log.h"
#include "monitor/core/run_state.h"

namespace yagura {

std::string TrayTipText(std::string_view tip) {
  size_t characters = 0;
  for (size_t i = 0; i < tip.size(); ++i) {
    // A UTF-8 lead byte starts a character; continuation bytes do not.
    if ((static_cast<unsigned char>(tip[i]) & 0xC0) == 0x80) continue;
    if (characters == kTrayTipLimit) return std::string(tip.substr(0, i));
    ++characters;
  }
  return std::string(tip);
}

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

void MENU_HELP_WINDOWMODE_Click(Monitor& monitor) {
  Window& window = monitor.form.Form1;
  const WindowSize now{window.Width(), window.Height()};
  // The window arranges its controls for the size it is given, so the large
  // arrangement needs no table of saved positions here.
  const WindowSize next =
      now == kDesignWindowSize || now == kLargeWindowSize ? kCompactWindowSize : kLargeWindowSize;
  window.SetSize(next.width, next.height);
}

std::string ReadMePath(const Monitor& monitor) {
  // The read-me ships beside the program, which is not the state folder when
  // that folder is not writable.
  return monitor.paths.ReadMePath();
}

void MENU_HELP_HELP_Click(Monitor& monitor, const ShellOpen& open) {
  const std::string path = ReadMePath(monitor);
  // The desktop's opener runs apart from us and reports a missing file to
  // nobody: look first.
  if (!common::FileExists(path) || !open || !open(path)) {
    monitor.ShowMessage("ReadMe.txt を開くことができませんでした。", kProgramTitle,
                        MessageIcon::kCritical);
  }
}

void MENU_HELP_WWW_Click(Monitor& monitor, const ShellOpen& open) {
  if (!open || !open(kHomePageAddress)) {
    monitor.ShowMessage(std::string(kHomePageAddress) + " を開くことができませんでした。",
                        kProgramTitle, MessageIcon::kCritical);
  }
}

}  // namespace yagura
