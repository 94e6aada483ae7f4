#include "monitor/core/run_state.h"

#include "monitor/core/message_text.h"

namespace yagura {
namespace {

// The controls that the two states lock and unlock.
void SetSettingsEnabled(Form& f, bool enabled) {
  f.txtURLBRD.SetEnabled(enabled);
  f.cmbTIME.SetEnabled(enabled);
  for (int i = 0; i < 3; ++i) {
    f.frameWORD[i].SetEnabled(enabled);
    f.txtWORD1[i].SetEnabled(enabled);
    f.txtWORD2[i].SetEnabled(enabled);
    f.chkA[i].SetEnabled(enabled);
    f.chkB[i].SetEnabled(enabled);
    f.chkC[i].SetEnabled(enabled);
    f.chkD[i].SetEnabled(enabled);
    f.chkE[i].SetEnabled(enabled);
  }
  for (int i = 0; i < 2; ++i) {
    f.listTHREADSEND[i].SetEnabled(enabled);
    f.listDATDL[i].SetEnabled(enabled);
    f.listGUMPASS[i].SetEnabled(enabled);
  }
  for (Control* c : std::initializer_list<Control*>{
           &f.frameCGI, &f.chkCGISnUploader, &f.txtCGIURL, &f.txtCGIPASS, &f.txtCGIINDEXURL,
           &f.frameTWITTER, &f.txtTWITTERID, &f.txtTWITTERPW, &f.frameMAIL, &f.txtMAILFROM,
           &f.txtMAILTO, &f.txtMAILPOP3HOSTPORT, &f.txtMAILPOP3USER, &f.txtMAILPOP3PASS,
           &f.txtMAILSMTPHOSTPORT, &f.txtMAILSMTPUSER, &f.txtMAILSMTPPASS,
           &f.MENU_HELP_WINDOWMODE}) {
    c->SetEnabled(enabled);
  }
}

}  // namespace

const char* RunStateTag(RunState state) {
  switch (state) {
    case RunState::kStopped:
      return kRunStateStopped;
    case RunState::kRunning:
      return kRunStateRunning;
  }
  return kRunStateStopped;
}

const char* ExitRequestTag(ExitRequest request) {
  switch (request) {
    case ExitRequest::kNone:
      return "";
    case ExitRequest::kRequested:
      return kExitRequested;
    case ExitRequest::kAllowed:
      return kExitAllowed;
  }
  return "";
}

void SetRunState(Monitor& monitor, RunState state) {
  monitor.runState = state;
  monitor.form.cmdRUN.SetTag(RunStateTag(state));
}

void SetExitRequest(Monitor& monitor, ExitRequest request) {
  monitor.exitRequest = request;
  monitor.form.MENU_FILE.SetTag(ExitRequestTag(request));
}

std::string EnterRunning(Monitor& monitor) {
  Form& f = monitor.form;
  LockSettings(monitor);
  f.cmdRUN.SetCaption(std::string(kStepPrefix) + "実行待機中...(" + monitor.Time() + ")");
  f.tray.SetTip(f.cmdRUN.Caption());
  SetRunState(monitor, RunState::kRunning);
  return f.cmdRUN.Caption();
}

bool StopRequested(const Monitor& monitor) { return monitor.runState == RunState::kStopped; }

void StopTail(Monitor& monitor) {
  UnlockSettings(monitor);
  Form& f = monitor.form;
  f.cmdRUN.SetCaption(std::string(kRestPrefix) + "お休み中(" + monitor.Time() + ")");
  f.tray.SetTip(f.cmdRUN.Caption());
  f.Form1.SetCaption("お休み中 - " + f.baseTitle);
  SetRunState(monitor, RunState::kStopped);
}

CycleGuard::CycleGuard(Monitor& monitor) : monitor_(monitor) {
  monitor_.cycleInProgress = true;
  monitor_.form.cmdNOW.SetEnabled(false);
}

CycleGuard::~CycleGuard() {
  monitor_.cycleInProgress = false;
  if (monitor_.runState == RunState::kRunning) monitor_.form.cmdNOW.SetEnabled(true);
}

void UnlockSettings(Monitor& monitor) {
  Form& f = monitor.form;
  SetSettingsEnabled(f, true);
  f.cmdNOW.SetEnabled(false);
  // The gum-tape pass feature is not implemented: always off.
  for (int i = 0; i < 3; ++i) {
    f.chkC[i].SetValue(0);
    f.chkC[i].SetEnabled(false);
  }
  f.listGUMPASS[0].SetEnabled(false);
  f.listGUMPASS[1].SetEnabled(false);
  f.chkCGISnUploader.SetValue(2);
  f.chkCGISnUploader.SetEnabled(false);
  if (!monitor.AdministratorMode()) {
    for (int i = 0; i < 3; ++i) {
      f.chkD[i].SetValue(0);
      f.chkD[i].SetEnabled(false);
      f.chkE[i].SetValue(0);
      f.chkE[i].SetEnabled(false);
    }
    f.frameCGI.SetEnabled(false);
    f.chkCGISnUploader.SetEnabled(false);
    f.txtCGIURL.SetEnabled(false);
    f.txtCGIPASS.SetEnabled(false);
    f.txtCGIINDEXURL.SetEnabled(false);
    f.txtMAILTO.SetToolTip("送信先メールアドレス");
  }
}

void LockSettings(Monitor& monitor) {
  Form& f = monitor.form;
  SetSettingsEnabled(f, false);
  // Inside a cycle the run-now button is enabled by the cycle's end.
  f.cmdNOW.SetEnabled(!monitor.cycleInProgress);
  f.chkCGISnUploader.SetValue(1);
}

}  // namespace yagura
