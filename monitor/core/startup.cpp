#include "monitor/core/startup.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "common/file_io.h"
#include "monitor/core/activity_log.h"
#include "monitor/core/initialize_window.h"
#include "monitor/core/message_text.h"
#include "monitor/core/run_cycle.h"
#include "monitor/core/run_state.h"
#include "monitor/core/settings_file.h"
#include "monitor/core/thread_lists.h"
#include "monitor/core/window_commands.h"

namespace yagura {
namespace {

constexpr const char* kNotInstalled = " ×未インストール、またはバージョン情報の取得に失敗";

std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

std::string MailVersionText(int version) {
  // 171 is written 1.71.
  std::string digits = std::to_string(version);
  if (digits.size() < 3) digits.insert(0, 3 - digits.size(), '0');
  return digits.substr(0, digits.size() - 2) + "." + digits.substr(digits.size() - 2);
}

}  // namespace

CommandLineOptions ParseCommandLine(const std::string& commandLine) {
  const std::string lower = Lower(commandLine);
  CommandLineOptions options;
  options.windowMode = lower.find("/windowmode") != std::string::npos;
  options.autoRun = lower.find("/autorun") != std::string::npos;
  options.windowMini = lower.find("/windowmini") != std::string::npos;
  return options;
}

std::string ComponentReport(const Monitor& monitor, const ShellComponents& components) {
  const int mailVersion = components.mailVersion ? components.mailVersion() : 0;
  const std::string archiver = components.archiverVersion ? components.archiverVersion() : "";
  std::string report = monitor.form.baseTitle + "\r\n";
  const std::string mailName = components.mailLayerName ? components.mailLayerName() : "nMail.DLL";
  report +=
      mailName +
      (mailVersion > 0 ? " Version " + MailVersionText(mailVersion) : std::string(kNotInstalled)) +
      "\r\n";
  report += "UNLHA32.DLL" +
            (archiver.empty() ? std::string(kNotInstalled) : " Version " + archiver) + "\r\n";
  report += std::string("SHOIN.EXE") +
            (common::FileExists(monitor.paths.ConverterPath()) ? " ○見つかりました"
                                                               : " ×見つかりません") +
            "\r\n";
  report +=
      "※注意書き\r\n"
      "・同じワードをワードA/B/Cに登録するとうまく動かない。\r\n"
      "・スレ圧縮でスレ一覧から監視スレが消えるとdat落ちと判定される。(一覧に出てくれば監視継続)"
      "\r\n"
      "・鯖が移転した時などは手動で板URLを変更するとうまくいくかもしれない。\r\n"
      "・2ch側で障害があると動作がおかしくなる。\r\n"
      "\r\n";
  report += monitor.AdministratorMode()
                ? "（´ω｀）管理者モードで起動しました。"
                : "（´ω｀）起動しました。注意書きを読んで正しくお使い下さい。";
  report += "\r\n";
  return report;
}

// The box once, then no more saving of settings.
static void ShowSettingsNotWritable(Monitor& monitor) {
  if (monitor.settingsNotWritable) return;
  monitor.ShowMessage("設定ファイルを作成できません。\r\n設定ファイルの作成をスキップします。",
                      std::string("設定ファイル作成エラー - ") + kProgramTitle,
                      MessageIcon::kExclamation);
  monitor.settingsNotWritable = true;
}

bool SettingsFileIsForeign(Monitor& monitor, std::vector<std::string>& notices) {
  const std::string path = monitor.paths.File(".ini");
  auto bytes = common::ReadWholeFile(path);
  std::string why;
  if (!bytes) {
    why = "読み込めません";  // another owner, mode 000, a folder
  } else if (bytes->find('\0') != std::string::npos) {
    why = "この形式ではありません";  // UTF-16 or a binary file
  } else {
    return false;
  }
  // Rewriting such a file would lose every word, address and password in it.
  const std::string text = std::string(kDetailPrefix) + "設定ファイル" + path + "を" + why +
                           "。上書きせず、設定を保存せずに動作します。";
  notices.push_back(text);
  std::cerr << "yagura: settings file " << path
            << (bytes ? " is not a settings file" : " cannot be read")
            << "; it is left alone and settings are not saved\n";
  return true;
}

void RemoveInterruptedWrites(const std::string& folder) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (!IsInterruptedWriteName(name) || !entry.is_regular_file(ec)) continue;
    // The writer's process id is part of the name: a live writer keeps its file.
    size_t tmp = name.rfind(".tmp");
    long pid = std::strtol(name.c_str() + tmp + 4, nullptr, 10);
    if (pid > 0 && pid != ::getpid() &&
        (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM)) {
      continue;
    }
    common::RemoveFile(entry.path().string());
  }
}

void LoadSettingsWithRecovery(Monitor& monitor, std::vector<std::string>& notices) {
  const bool existed = common::FileExists(monitor.paths.File(".ini"));
  if (existed && SettingsFileIsForeign(monitor, notices)) {
    ShowSettingsNotWritable(monitor);
    return;
  }
  std::vector<std::string> problems;
  if (LoadSettings(monitor, &problems)) return;
  // A missing file is the usual first-run case and no news; bad lines are.
  if (existed) {
    for (const std::string& p : problems) {
      notices.push_back(std::string(kDetailPrefix) +
                        "設定ファイルの不正な行を読み飛ばしました: " + p);
    }
  }
  std::vector<std::string> ignored;
  SaveSettings(monitor, &ignored);
  problems.clear();
  if (LoadSettings(monitor, &problems)) return;
  ShowSettingsNotWritable(monitor);
}

void DeleteTemporaryFiles(Monitor& monitor, bool atShutdown) {
  for (const char* suffix : {"_subject.txt", "_dat.head", "_dat206.dat", "_dat206.head", ".tmp"}) {
    common::RemoveFile(monitor.paths.File(suffix));
  }
  if (atShutdown) common::RemoveFile(monitor.paths.File(".post"));
  if (!atShutdown) {
    RemoveInterruptedWrites(monitor.paths.folder);
    RemoveInterruptedWrites(monitor.paths.DatFolder());
    // The converter dies with us and may leave its own in its folder.
    RemoveInterruptedWrites(monitor.paths.ProgramFolder() + "shoin/");
  }
}

bool IsInterruptedWriteName(std::string_view name) {
  // "<file>.tmp<pid>_<number>", as the atomic replacement names its file.
  size_t tmp = name.rfind(".tmp");
  if (tmp == std::string_view::npos || tmp == 0) return false;
  std::string_view rest = name.substr(tmp + 4);
  size_t underscore = rest.find('_');
  if (underscore == std::string_view::npos || underscore == 0 || underscore + 1 == rest.size()) {
    return false;
  }
  auto digits = [](std::string_view t) {
    return t.find_first_not_of("0123456789") == std::string_view::npos;
  };
  return digits(rest.substr(0, underscore)) && digits(rest.substr(underscore + 1));
}

void FormLoad(Monitor& monitor, const ShellComponents& components) {
  Form& f = monitor.form;
  f.Form1.SetVisible(false);
  f.baseTitle = BaseTitleText();
  f.Form1.SetCaption(f.baseTitle);
  // The start size; the window centres itself when it is first shown.
  f.Form1.SetSize(kLargeWindowSize.width, kLargeWindowSize.height);
  monitor.settingsNotWritable = false;
  InitializeWindow(monitor);

  std::vector<std::string> notices;
  LoadSettingsWithRecovery(monitor, notices);

  if (components.startSockets) components.startSockets();
  if (components.startMail && !components.startMail()) {
    monitor.ShowMessage("nMail.dllの初期化処理に失敗しました[NMailInitializeWinSock]",
                        kProgramTitle, MessageIcon::kExclamation);
  }
  f.progressBar.SetRange(0, 1);
  f.progressBar.SetValue(0);

  std::vector<std::string> skipped;
  if (!LoadLists(monitor, &skipped)) {
    notices.push_back(DetailLine(monitor, "リストファイルを読み込めません"));
  }
  for (const std::string& s : skipped) {
    notices.push_back(std::string(kDetailPrefix) +
                      "リストファイルの不正な行を読み飛ばしました: " + s);
  }
  // The followed threads of the last run (after the dat-fall list, whose
  // threads are not taken again).
  if (!LoadDownloadPlan(monitor)) {
    notices.push_back(std::string(kDetailPrefix) + "ダウンロード予定datリストを読み込めません(" +
                      monitor.Time() + ")");
  }
  DeleteTemporaryFiles(monitor, false);

  f.txtLOG.SetText(ComponentReport(monitor, components));
  // Problems found while loading, after the report so that they stay visible.
  for (const std::string& n : notices) WriteLog(monitor, n);

  f.tray.SetAdded(true);
  f.tray.SetTip("");
  f.tray.SetTip(f.baseTitle);
  UnlockSettings(monitor);
  TidyLists(monitor);

  const CommandLineOptions options = ParseCommandLine(monitor.commandLine);
  if (options.windowMode) {
    if (components.windowModeCommand) {
      components.windowModeCommand();
    } else {
      MENU_HELP_WINDOWMODE_Click(monitor);
    }
  }
  if (options.autoRun) cmdRUN_Click(monitor);
  if (options.windowMini) {
    f.Form1.SetVisible(true);
    f.Form1.SetMinimized(true);
  }
  if (!options.autoRun) f.Form1.SetVisible(true);
}

void FormUnload(Monitor& monitor, const ShellComponents& components) {
  std::vector<std::string> problems;
  if (!SaveSettings(monitor, &problems)) {
    for (const std::string& p : problems) std::cerr << "yagura: settings: " << p << "\n";
  }
  if (!SaveLists(monitor)) std::cerr << "yagura: the thread lists could not be saved\n";
  // The download list survives the restart in the plan file.
  if (!SaveDownloadPlan(monitor)) std::cerr << "yagura: the download plan could not be saved\n";
  DeleteTemporaryFiles(monitor, true);
  monitor.form.tray.SetAdded(false);
  if (components.cleanupSockets) components.cleanupSockets();
  if (components.endMail && !components.endMail()) {
    monitor.ShowMessage("nMail.dllの終了処理に失敗しました[NMailEndWinSock]", kProgramTitle,
                        MessageIcon::kExclamation);
  }
}

}  // namespace yagura
