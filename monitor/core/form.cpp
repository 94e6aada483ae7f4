#include "monitor/core/form.h"

#include <algorithm>

namespace yagura {

void Control::Changed() {
  if (form_) form_->NotifyChanged(*this);
}

void Control::SetEnabled(bool enabled) {
  if (enabled_ == enabled) return;
  enabled_ = enabled;
  Changed();
}

void Control::SetVisible(bool visible) {
  if (visible_ == visible) return;
  visible_ = visible;
  Changed();
}

void Control::SetToolTip(std::string toolTip) {
  if (toolTip_ == toolTip) return;
  toolTip_ = std::move(toolTip);
  Changed();
}

void CaptionedControl::SetCaption(std::string caption) {
  if (caption_ == caption) return;
  caption_ = std::move(caption);
  Changed();
}

void CaptionedControl::SetTag(std::string tag) {
  if (tag_ == tag) return;
  tag_ = std::move(tag);
  Changed();
}

void TextBox::SetText(std::string text) {
  if (text_ == text) return;
  text_ = std::move(text);
  ++revision_;
  Changed();
}

void TextBox::EditText(const std::function<void(std::string& text)>& edit) {
  edit(text_);
  ++revision_;
  Changed();
}

void CheckBox::SetValue(int value) {
  if (value_ == value) return;
  value_ = value;
  Changed();
}

void ListBox::AddItem(std::string item) {
  ApplyPending();
  items_.push_back(std::move(item));
  ++revision_;
  Changed();
}

void ListBox::RemoveItem(int index) {
  ApplyPending();
  if (index < 0 || index >= Count()) return;
  items_.erase(items_.begin() + index);
  if (listIndex_ >= Count()) listIndex_ = -1;
  ++revision_;
  Changed();
}

void ListBox::Clear() {
  ApplyPending();
  if (items_.empty() && listIndex_ == -1) return;
  items_.clear();
  listIndex_ = -1;
  ++revision_;
  Changed();
}

void ListBox::SetItems(std::vector<std::string> items) {
  pending_ = nullptr;  // the new entries take the place of any recorded change
  items_ = std::move(items);
  if (listIndex_ >= Count()) listIndex_ = -1;
  ++revision_;
  Changed();
}

void ListBox::SetListIndex(int index) {
  ApplyPending();
  if (index < -1 || index >= Count()) index = -1;
  if (listIndex_ == index) return;
  listIndex_ = index;
  Changed();
}

void ComboBox::SetTag(std::string tag) {
  if (tag_ == tag) return;
  tag_ = std::move(tag);
  Changed();
}

std::string ComboBox::SelectedText() const {
  return ListIndex() >= 0 ? Item(ListIndex()) : std::string();
}

void ProgressBar::SetRange(int min, int max) {
  if (min_ == min && max_ == max) return;
  min_ = min;
  max_ = max;
  value_ = std::clamp(value_, min_, std::max(min_, max_));
  Changed();
}

void ProgressBar::SetValue(int value) {
  value = std::clamp(value, min_, std::max(min_, max_));
  if (value_ == value) return;
  value_ = value;
  Changed();
}

void Window::SetMinimized(bool minimized) {
  if (minimized_ == minimized) return;
  minimized_ = minimized;
  Changed();
}

void Window::SetSize(int width, int height) {
  if (width_ == width && height_ == height) return;
  width_ = width;
  height_ = height;
  Changed();
}

void TrayIcon::SetTip(std::string tip) {
  if (tip_ == tip) return;
  tip_ = std::move(tip);
  Changed();
}

void TrayIcon::SetAdded(bool added) {
  if (added_ == added) return;
  added_ = added;
  Changed();
}

Form::Form() {
  Attach(Form1, "Form1");
  Attach(tray, "tray");
  Attach(txtURLBRD, "txtURLBRD");
  Attach(cmbTIME, "cmbTIME");
  Attach(Timer1, "Timer1");
  Attach(cmdRUN, "cmdRUN");
  Attach(cmdNOW, "cmdNOW");
  Attach(txtLOG, "txtLOG");
  for (int i = 0; i < 3; ++i) {
    const std::string n = "(" + std::to_string(i) + ")";
    Attach(frameWORD[i], "frameWORD" + n);
    Attach(txtWORD1[i], "txtWORD1" + n);
    Attach(txtWORD2[i], "txtWORD2" + n);
    Attach(chkA[i], "chkA" + n);
    Attach(chkB[i], "chkB" + n);
    Attach(chkC[i], "chkC" + n);
    Attach(chkD[i], "chkD" + n);
    Attach(chkE[i], "chkE" + n);
  }
  for (int i = 0; i < 2; ++i) {
    const std::string n = "(" + std::to_string(i) + ")";
    Attach(listTHREADSEND[i], "listTHREADSEND" + n);
    Attach(listDATDL[i], "listDATDL" + n);
    Attach(listGUMPASS[i], "listGUMPASS" + n);
  }
  Attach(frameCGI, "frameCGI");
  Attach(chkCGISnUploader, "chkCGISnUploader");
  Attach(txtCGIURL, "txtCGIURL");
  Attach(txtCGIPASS, "txtCGIPASS");
  Attach(txtCGIINDEXURL, "txtCGIINDEXURL");
  Attach(frameTWITTER, "frameTWITTER");
  Attach(txtTWITTERID, "txtTWITTERID");
  Attach(txtTWITTERPW, "txtTWITTERPW");
  Attach(frameMAIL, "frameMAIL");
  Attach(txtMAILFROM, "txtMAILFROM");
  Attach(txtMAILTO, "txtMAILTO");
  Attach(txtMAILPOP3HOSTPORT, "txtMAILPOP3HOSTPORT");
  Attach(txtMAILPOP3USER, "txtMAILPOP3USER");
  Attach(txtMAILPOP3PASS, "txtMAILPOP3PASS");
  Attach(txtMAILSMTPHOSTPORT, "txtMAILSMTPHOSTPORT");
  Attach(txtMAILSMTPUSER, "txtMAILSMTPUSER");
  Attach(txtMAILSMTPPASS, "txtMAILSMTPPASS");
  Attach(MENU_FILE, "MENU_FILE");
  Attach(MENU_STATUS, "MENU_STATUS");
  Attach(MENU_HELP_WINDOWMODE, "MENU_HELP_WINDOWMODE");
  Attach(progressBar, "progressBar");
}

void Form::Attach(Control& control, std::string name) {
  control.form_ = this;
  control.name_ = std::move(name);
  controls_.push_back(&control);
}

void Form::AddObserver(FormObserver* observer) { observers_.push_back(observer); }

void Form::RemoveObserver(FormObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

void Form::NotifyChanged(const Control& control) {
  // A copy, so that an observer may remove itself while being told.
  auto observers = observers_;
  for (FormObserver* o : observers) o->ControlChanged(control);
}

}  // namespace yagura
