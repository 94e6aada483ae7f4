// The form model: the main window's controls as plain objects. The monitor
// keeps its settings and working state in them, exactly as the window shows
// them; the Qt window binds its widgets to these objects both ways, and the
// headless front and the tests use them alone.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace yagura {

class Form;
class Control;

// Told after every change of a control, so that a view can follow.
class FormObserver {
 public:
  virtual ~FormObserver() = default;
  virtual void ControlChanged(const Control& control) = 0;
};

class Control {
 public:
  Control() = default;
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;
  virtual ~Control() = default;

  const std::string& Name() const { return name_; }
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  const std::string& ToolTip() const { return toolTip_; }
  void SetToolTip(std::string toolTip);

 protected:
  void Changed();

 private:
  friend class Form;
  Form* form_ = nullptr;
  std::string name_;
  bool enabled_ = true;
  bool visible_ = true;
  std::string toolTip_;
};

// A control with a caption and a tag (buttons, menu items, frames, timers).
class CaptionedControl : public Control {
 public:
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  const std::string& Tag() const { return tag_; }
  void SetTag(std::string tag);

 private:
  std::string caption_;
  std::string tag_;
};

using Button = CaptionedControl;
using MenuItem = CaptionedControl;
using Frame = CaptionedControl;
// Timer1 ticks every 100 ms while enabled; its tag holds the interval text.
using Timer = CaptionedControl;

class TextBox : public Control {
 public:
  const std::string& Text() const { return text_; }
  void SetText(std::string text);
  // Changes the text in place, without a copy of it (the log pane grows by
  // a line at a time); always counts as a change.
  void EditText(const std::function<void(std::string& text)>& edit);
  // Counts the changes of the text, so that a reader can tell cheaply whether
  // the text is still the one it last saw.
  unsigned long long Revision() const { return revision_; }

 private:
  std::string text_;
  unsigned long long revision_ = 0;
};

// 0 off, 1 on, 2 greyed.
class CheckBox : public CaptionedControl {
 public:
  int Value() const { return value_; }
  void SetValue(int value);
  bool IsOn() const { return value_ == 1; }

 private:
  int value_ = 0;
};

class ListBox : public Control {
 public:
  const std::vector<std::string>& Items() const {
    ApplyPending();
    return items_;
  }
  int Count() const {
    ApplyPending();
    return static_cast<int>(items_.size());
  }
  const std::string& Item(int index) const {
    ApplyPending();
    return items_.at(static_cast<size_t>(index));
  }
  void AddItem(std::string item);
  void RemoveItem(int index);
  void Clear();
  void SetItems(std::vector<std::string> items);
  // Counts the changes of the entries (not of the selection): an index kept
  // beside the list sees from it that a nested command changed the list.
  std::uint64_t Revision() const { return revision_; }
  // -1 when nothing is selected; selecting scrolls the list to the entry.
  int ListIndex() const { return listIndex_; }
  void SetListIndex(int index);

  // Changes recorded elsewhere (the title search's many "move to the end")
  // and made in one go by `apply` the first time the list is read or changed,
  // so that whoever looks at the list sees it as if they had been made one
  // by one. `apply` must outlive its use; ApplyPending runs it now.
  void SetPending(std::function<void()> apply) { pending_ = std::move(apply); }
  void ApplyPending() const {
    if (!pending_) return;
    std::function<void()> apply = std::move(pending_);
    pending_ = nullptr;
    apply();
  }

 private:
  std::vector<std::string> items_;
  int listIndex_ = -1;
  std::uint64_t revision_ = 0;
  mutable std::function<void()> pending_;
};

class ComboBox : public ListBox {
 public:
  const std::string& Tag() const { return tag_; }
  void SetTag(std::string tag);
  // The selected entry, or "" when nothing is selected.
  std::string SelectedText() const;

 private:
  std::string tag_;
};

class ProgressBar : public Control {
 public:
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Value() const { return value_; }
  void SetRange(int min, int max);
  // The bar clamps the position to its range.
  void SetValue(int value);

 private:
  int min_ = 0;
  int max_ = 1;
  int value_ = 0;
};

// The window itself: caption (title), visibility, minimized state and its
// size in pixels, which the window-size modes switch.
class Window : public CaptionedControl {
 public:
  bool Minimized() const { return minimized_; }
  void SetMinimized(bool minimized);
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetSize(int width, int height);

 private:
  bool minimized_ = false;
  int width_ = 0;
  int height_ = 0;
};

// The tray icon: its tip (at most 127 characters are shown).
class TrayIcon : public Control {
 public:
  const std::string& Tip() const { return tip_; }
  void SetTip(std::string tip);
  bool Added() const { return added_; }
  void SetAdded(bool added);

 private:
  std::string tip_;
  bool added_ = false;
};

class Form {
 public:
  Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  Window Form1;
  TrayIcon tray;
  TextBox txtURLBRD;
  ComboBox cmbTIME;
  Timer Timer1;
  Button cmdRUN;
  Button cmdNOW;
  TextBox txtLOG;
  std::array<Frame, 3> frameWORD;
  std::array<TextBox, 3> txtWORD1;
  std::array<TextBox, 3> txtWORD2;
  std::array<CheckBox, 3> chkA;           // on detection, mail the thread information
  std::array<CheckBox, 3> chkB;           // on detection, download the log
  std::array<CheckBox, 3> chkC;           // gum-tape pass mail (not implemented)
  std::array<CheckBox, 3> chkD;           // after the drop, upload
  std::array<CheckBox, 3> chkE;           // also queue a Twitter announcement
  std::array<ListBox, 2> listTHREADSEND;  // mail list, mailed list
  std::array<ListBox, 2> listDATDL;       // download list, dat-fall list
  std::array<ListBox, 2> listGUMPASS;     // gum-tape pass lists (always disabled)
  Frame frameCGI;
  CheckBox chkCGISnUploader;
  TextBox txtCGIURL;
  TextBox txtCGIPASS;
  TextBox txtCGIINDEXURL;
  Frame frameTWITTER;
  TextBox txtTWITTERID;
  TextBox txtTWITTERPW;
  Frame frameMAIL;
  TextBox txtMAILFROM;
  TextBox txtMAILTO;
  TextBox txtMAILPOP3HOSTPORT;
  TextBox txtMAILPOP3USER;
  TextBox txtMAILPOP3PASS;
  TextBox txtMAILSMTPHOSTPORT;
  TextBox txtMAILSMTPUSER;
  TextBox txtMAILSMTPPASS;
  MenuItem MENU_FILE;    // tag: exit request ("", "終了", "終了可能")
  MenuItem MENU_STATUS;  // caption: status line; click toggles balloons
  MenuItem MENU_HELP_WINDOWMODE;
  ProgressBar progressBar;

  // The title the window keeps for itself ("Yagura Version 0.3.86").
  std::string baseTitle;
  // Hidden balloon feature; off at every start, never saved.
  bool balloonEnabled = false;

  void AddObserver(FormObserver* observer);
  void RemoveObserver(FormObserver* observer);
  void NotifyChanged(const Control& control);

  // Every control, for views and tests that walk them.
  const std::vector<Control*>& Controls() const { return controls_; }

 private:
  void Attach(Control& control, std::string name);
  std::vector<Control*> controls_;
  std::vector<FormObserver*> observers_;
};

}  // namespace yagura
