#include "monitor/core/run_cycle.h"

#include <cmath>
#include <cstdio>

#include "common/file_io.h"
#include "monitor/core/activity_log.h"
#include "monitor/core/board_urls.h"
#include "monitor/core/message_text.h"
#include "monitor/core/number_text.h"
#include "monitor/core/run_state.h"
#include "monitor/core/thread_lists.h"

namespace yagura {
namespace {

constexpr double kShutdownWaitSeconds = 15;

double Uptime(Monitor& monitor) { return monitor.clock ? monitor.clock->UptimeSeconds() : 0; }

std::string Step(std::string_view text) { return std::string(kStepPrefix) + std::string(text); }

// The seconds of an interval entry: the number before "秒".
int IntervalOf(std::string_view entry) { return LeadingInteger(entry.substr(0, entry.find("秒"))); }

void ShutdownSequence(Monitor& monitor) {
  Form& f = monitor.form;
  f.Timer1.SetEnabled(false);
  if (monitor.runState == RunState::kRunning) cmdRUN_Click(monitor);
  if (f.Form1.Visible()) f.Form1.SetVisible(false);
  const double deadline = Uptime(monitor) + kShutdownWaitSeconds;
  while (monitor.runState == RunState::kRunning && Uptime(monitor) <= deadline) {
    WaitWithEvents(monitor, 100);
  }
  SetExitRequest(monitor, ExitRequest::kAllowed);
  if (monitor.unloadWindow) monitor.unloadWindow();
}

// The settings a run needs; false (after the message box) when one is wrong.
bool CheckSettings(Monitor& monitor) {
  const Form& f = monitor.form;
  const std::string& url = f.txtURLBRD.Text();
  if (url.empty() || url.back() != '/' || url.substr(0, 4) != "http" ||
      !IsSingleSegmentBoardUrl(url)) {
    monitor.ShowMessage(
        "板URLの設定が正しくありません。\r\n\r\n現在の設定一覧\r\n板URL：\r\n" + url, kProgramTitle,
        MessageIcon::kExclamation);
    return false;
  }
  const char* const kPairs[] = {"A", "B", "C"};
  for (int i = 0; i < 3; ++i) {
    int sum = f.chkA[i].Value() + f.chkB[i].Value() + f.chkC[i].Value() + f.chkD[i].Value() +
              f.chkE[i].Value();
    const std::string& w1 = f.txtWORD1[i].Text();
    const std::string& w2 = f.txtWORD2[i].Text();
    if (sum > 0 && (w1.empty() || w2.empty())) {
      const std::string p = kPairs[i];
      monitor.ShowMessage("ワード" + p +
                              "の設定が空欄になっています。\r\n\r\n現在の設定一覧\r\nワード" + p +
                              "1：\r\n" + w1 + "\r\nワード" + p + "2：\r\n" + w2,
                          kProgramTitle, MessageIcon::kExclamation);
      return false;
    }
  }
  return true;
}

bool RunStep(const std::function<bool(const std::string&)>& step, const std::string& argument) {
  return step ? step(argument) : true;  // a step not built yet succeeds
}

}  // namespace

std::string StatusLineText(double uptimeSeconds, int downloadCount, int droppedCount) {
  if (uptimeSeconds < 0) uptimeSeconds = 0;
  // In ten-thousandths of a second, the clock's resolution, to keep the
  // seconds free of binary fractions.
  const long long total = std::llround(uptimeSeconds * 10000);
  const long long hours = total / 36000000;
  const long long minutes = total / 600000 % 60;
  const long long rest = total % 600000;
  std::string seconds;
  if (rest < 10000) {
    seconds = "0";
  } else {
    seconds = std::to_string(rest / 10000);
    if (long long fraction = rest % 10000; fraction != 0) {
      char digits[8];
      std::snprintf(digits, sizeof digits, "%04lld", fraction);
      std::string f = digits;
      while (!f.empty() && f.back() == '0') f.pop_back();
      seconds += "." + f;
    }
  }
  char days[32];
  std::snprintf(days, sizeof days, "%.2f", uptimeSeconds / 86400);
  return "DL対象:" + std::to_string(downloadCount) + " dat落ち:" + std::to_string(droppedCount) +
         " OS稼働日数:" + std::to_string(hours) + "時間" + std::to_string(minutes) + "分" +
         seconds + "秒(" + days + "日)";
}

void TidyLists(Monitor& monitor) {
  Form& f = monitor.form;
  ListBox* upper[] = {&f.listTHREADSEND[0], &f.listDATDL[0], &f.listGUMPASS[0]};
  ListBox* lower[] = {&f.listTHREADSEND[1], &f.listDATDL[1], &f.listGUMPASS[1]};
  for (ListBox* list : upper) {
    if (list->Count() > 0) list->SetListIndex(0);
  }
  for (ListBox* list : lower) {
    if (list->Count() > 0) list->SetListIndex(list->Count() - 1);
  }
  for (ListBox* list : upper) list->SetListIndex(-1);
  for (ListBox* list : lower) list->SetListIndex(-1);
}

void DeleteCycleTemporaryFiles(Monitor& monitor) {
  for (const char* suffix : {"_subject.txt", "_dat.head", "_dat206.dat", "_dat206.head"}) {
    common::RemoveFile(monitor.paths.File(suffix));
  }
}

void Timer1_Timer(Monitor& monitor) {
  Form& f = monitor.form;
  const double t = Uptime(monitor);
  if (monitor.exitRequest == ExitRequest::kRequested) {
    ShutdownSequence(monitor);
    return;
  }
  if (f.cmbTIME.ListIndex() >= 0) {
    monitor.intervalSeconds = IntervalOf(f.cmbTIME.SelectedText());
    const std::string interval = std::to_string(monitor.intervalSeconds);
    f.cmbTIME.SetTag(interval);
    f.Timer1.SetTag(interval);
    f.progressBar.SetRange(0, monitor.intervalSeconds);
  }
  f.MENU_STATUS.SetCaption(StatusLineText(t, f.listDATDL[0].Count(), f.listDATDL[1].Count()));

  if (monitor.runState == RunState::kStopped) {
    monitor.lastCycleStart = t;
    f.progressBar.SetRange(0, 1);
    f.progressBar.SetValue(0);
    f.progressBar.SetToolTip("0");
    return;
  }
  // A cycle is under way (perhaps the one this tick runs inside), or the
  // run-now button is still locked: the wait starts again when it ends.
  if (monitor.cycleInProgress || !f.cmdNOW.Enabled()) {
    monitor.lastCycleStart = t;
    return;
  }
  const int interval = monitor.intervalSeconds;
  f.progressBar.SetRange(0, interval);
  // The clock counts in ten-thousandths of a second: compare in those, so
  // that 30.0000 seconds are never 29.99999.
  const long long elapsed =
      static_cast<long long>(std::floor(std::round((t - monitor.lastCycleStart) * 10000) / 10000));
  f.progressBar.SetValue(static_cast<int>(std::min<long long>(elapsed, 1LL << 30)));
  f.progressBar.SetToolTip(std::to_string(elapsed));
  if (f.progressBar.Value() == interval) {
    monitor.lastCycleStart = t;
    cmdNOW_Click(monitor);
  }
}

void cmdRUN_Click(Monitor& monitor) {
  Form& f = monitor.form;
  switch (monitor.runState) {
    case RunState::kStopped:
      if (CheckSettings(monitor)) WriteLog(monitor, EnterRunning(monitor));
      break;
    case RunState::kRunning:
      StopTail(monitor);
      WriteLog(monitor, f.cmdRUN.Caption());
      break;
  }
  TidyLists(monitor);
}

void cmdNOW_Click(Monitor& monitor) {
  Form& f = monitor.form;
  const std::string subjectPath = monitor.paths.File("_subject.txt");
  auto tip = [&](std::string_view text) { f.tray.SetTip(monitor.Time() + std::string(text)); };
  auto log = [&](std::string_view text) { WriteLog(monitor, Step(text) + monitor.Time() + ")"); };
  // The stop check: the user stopped while the cycle ran.
  auto stopped = [&] {
    if (!StopRequested(monitor)) return false;
    StopTail(monitor);
    return true;
  };

  if (monitor.cycleInProgress) return;  // never a cycle inside a cycle
  CycleGuard guard(monitor);
  tip(">今すぐ実行中...");
  bool failed = false;  // the error tail was taken: straight to the end
  log("subject.txtを更新しています...(");
  tip(">subject.txt更新@今すぐ実行中");
  common::RemoveFile(subjectPath);
  if (RunStep(monitor.steps.refreshSubject, subjectPath)) {
    log("subject.txtを更新しました(");
    if (stopped()) return;
    log("スレッドタイトルを検索しています...(");
    tip(">スレタイ検索@今すぐ実行中");
    if (!RunStep(monitor.steps.searchTitles, subjectPath)) {
      log("スレッドタイトルの検索に失敗しました(");
      tip(">エラー@今すぐ実行中");
      failed = true;
    } else {
      log("スレッドタイトルを検索しました(");
      // The threads the search added are kept at once: a monitor killed
      // before the downloads end would forget them otherwise, and one that
      // drops while the monitor is down would never be archived.
      if (!SaveDownloadPlan(monitor)) {
        WriteDetailLog(monitor, "ダウンロード予定datリストを保存できません");
      }
      if (stopped()) return;
      if (f.listTHREADSEND[0].Count() > 0) {
        log("スレッド情報をメールで送信しています...(");
        tip(">スレ情報をメール送信@今すぐ実行中");
        bool mailed = monitor.steps.sendThreadMail ? monitor.steps.sendThreadMail() : true;
        log(mailed ? "スレッド情報をメールで送信しました("
                   : "スレッド情報のメール送信に失敗しました(");
      }
    }
  } else {
    log("subject.txtの更新に失敗しました(");
  }

  if (!failed) {
    if (stopped()) return;
    if (f.listDATDL[0].Count() > 0) {
      log("datをダウンロードしています...(");
      tip(">dat受信@今すぐ実行中");
      if (RunStep(monitor.steps.retrieveDats, monitor.paths.DatFolder())) {
        log("datをダウンロードしました(");
        if (!SaveDownloadPlan(monitor)) {
          WriteDetailLog(monitor, "ダウンロード予定datリストを保存できません");
        }
      } else {
        log("datのダウンロードに失敗しました(");
        tip(">エラー@今すぐ実行中");
        failed = true;
      }
    }
  }
  if (!failed) {
    if (stopped()) return;
    tip(">正常終了@今すぐ実行中");
  }

  // The end of the cycle, also after an error.
  if (StopRequested(monitor)) {
    StopTail(monitor);
    return;
  }
  TidyLists(monitor);
  f.cmdRUN.SetCaption(Step("実行待機中...(") + monitor.Time() + ")");
  WriteLog(monitor, f.cmdRUN.Caption());
  Timer1_Timer(monitor);  // sees the cycle still under way: the wait restarts now
  DeleteCycleTemporaryFiles(monitor);
}

}  // namespace yagura
