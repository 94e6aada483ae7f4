// The main window, bound to the form model both ways: what the user types
// goes into the model at once, and every change of the model (the run cycle's
// captions, the log, the lists, the window size) shows at once.
#pragma once

#include <QMainWindow>
#include <QSystemTrayIcon>
#include <functional>
#include <map>
#include <memory>

#include "monitor/core/form.h"
#include "monitor/core/monitor.h"
#include "monitor/core/window_commands.h"
#include "monitor/ui/window_arrangement.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
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
  QPushButton* NowButton() const { return now_; }
  QPlainTextEdit* LogPane() const { return log_; }
  QProgressBar* Progress() const { return progress_; }
  QListWidget* List(int pair, int index) const { return lists_[pair][index]; }
  QSystemTrayIcon* TrayIcon() const { return trayIcon_; }
  bool HasTray() const { return trayAvailable_; }
  QMenu* FileMenu() const { return fileMenu_; }
  QMenu* HelpMenu() const { return helpMenu_; }
  QAction* StatusMenu() const { return statusMenu_; }
  QAction* WindowModeMenu() const { return windowMode_; }
  // The tabs of the compact arrangement; null in the large one.
  QTabWidget* Tabs() const { return tabs_; }
  Arrangement CurrentArrangement() const { return arrangement_; }
  // How Help opens files and addresses (the desktop's opener by default).
  void SetShellOpen(ShellOpen open) { shellOpen_ = std::move(open); }

  // The pop-up menu of a mail list (pair 0) or a download list (pair 1), as
  // a right click opens it: the selected entry, then DELETE and CLEAR.
  std::unique_ptr<QMenu> MakeListMenu(int pair, int index);
  // Where the desktop has no tray, a window left hidden by "/autorun" could
  // never be opened again: show it then.
  void ShowIfUnreachable();
  // A click on the tray icon: the left button shows or hides the window (the
  // right one opens the File menu, the tray's own context menu).
  void TrayActivated(QSystemTrayIcon::ActivationReason reason);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  // Runs a handler Qt calls, stopping any exception there (one log line).
  void Guarded(std::string_view where, const std::function<void()>& handler);
  // Binds a widget to a model control: `show` copies the model into the
  // widget; enabled state, visibility and tooltip follow as well.
  void Bind(Control& control, QWidget* widget, std::function<void()> show);
  void BindText(TextBox& box, QLineEdit* edit);
  void BindCheck(CheckBox& box, QCheckBox* check);
  void BindList(ListBox& list, QListWidget* widget);
  QGroupBox* BuildWordPair(int pair);
  QGroupBox* BuildUploader();
  QGroupBox* BuildTwitter();
  QGroupBox* BuildMail();
  QWidget* BuildLists();
  void BuildMenus();
  void BuildTray();
  // Places the controls for the arrangement in a new central widget.
  void Arrange(Arrangement arrangement);
  // Follows the model's window size: resizes and re-arranges.
  void ApplyModelSize();
  void ShowAll();
  void CentreOnScreen();
  void OpenWithWaitCursor(const std::function<void()>& command);

  Monitor& monitor_;
  Form& form_;
  std::map<const Control*, std::vector<std::function<void()>>> views_;
  bool centred_ = false;
  bool showing_ = false;   // a view update in progress: ignore widget signals
  bool resizing_ = false;  // the model's size is being applied
  Arrangement arrangement_ = Arrangement::kLarge;
  ShellOpen shellOpen_;

  QLabel* urlLabel_ = nullptr;
  QLineEdit* url_ = nullptr;
  QComboBox* interval_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* now_ = nullptr;
  QPlainTextEdit* log_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QGroupBox* words_[3] = {};
  QGroupBox* uploader_ = nullptr;
  QGroupBox* twitter_ = nullptr;
  QGroupBox* mail_ = nullptr;
  QWidget* listsPanel_ = nullptr;
  QListWidget* lists_[3][2] = {};
  QTabWidget* tabs_ = nullptr;
  QMenu* fileMenu_ = nullptr;
  QMenu* helpMenu_ = nullptr;
  QAction* statusMenu_ = nullptr;
  QAction* windowMode_ = nullptr;
  QSystemTrayIcon* trayIcon_ = nullptr;
  bool trayAvailable_ = false;
};

}  // namespace yagura
