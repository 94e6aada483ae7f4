// The main window, bound to the form model both ways: what the user types
// goes into the model at once, and every change of the model (the run cycle's
// captions, the log, the lists) shows at once.
#pragma once

#include <QMainWindow>
#include <functional>
#include <map>
#include <memory>

#include "monitor/core/form.h"
#include "monitor/core/monitor.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSystemTrayIcon;
class QWidget;

namespace yagura {

class MainWindow : public QMainWindow, public FormObserver {
  Q_OBJECT

 public:
  explicit MainWindow(Monitor& monitor, QWidget* parent = nullptr);
  ~MainWindow() override;

  void ControlChanged(const Control& control) override;

  // The widgets, for tests.
  QLineEdit* BoardUrlEdit() const { return url_; }
  QPushButton* RunButton() const { return run_; }
  QPlainTextEdit* LogPane() const { return log_; }
  QListWidget* List(int pair, int index) const { return lists_[pair][index]; }
  QSystemTrayIcon* TrayIcon() const { return trayIcon_; }
  // The pop-up menu of a mail list (pair 0) or a download list (pair 1), as
  // a right click opens it: the selected entry, then DELETE and CLEAR.
  std::unique_ptr<QMenu> MakeListMenu(int pair, int index);
  // Where the desktop has no tray, a window left hidden by "/autorun" could
  // never be opened again: show it then.
  void ShowIfUnreachable();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // Runs a handler Qt calls, stopping any exception there (one log line).
  void Guarded(std::string_view where, const std::function<void()>& handler);
  // Binds a widget to a model control: `show` copies the model into the
  // widget; enabled state, visibility and tooltip follow as well.
  void Bind(Control& control, QWidget* widget, std::function<void()> show);
  void BindText(TextBox& box, QLineEdit* edit);
  void BindCheck(CheckBox& box, QCheckBox* check);
  void BindList(ListBox& list, QListWidget* widget);
  QWidget* BuildWordPair(int pair);
  QWidget* BuildUploader();
  QWidget* BuildMail();
  void ShowAll();
  void CentreOnScreen();

  Monitor& monitor_;
  Form& form_;
  std::map<const Control*, std::vector<std::function<void()>>> views_;
  bool centred_ = false;
  bool showing_ = false;  // a view update in progress: ignore widget signals

  QLineEdit* url_ = nullptr;
  QComboBox* interval_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* now_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QListWidget* lists_[3][2] = {};
  QAction* statusMenu_ = nullptr;
  QAction* fileMenu_ = nullptr;
  QSystemTrayIcon* trayIcon_ = nullptr;
};

}  // namespace yagura
