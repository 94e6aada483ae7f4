#include "monitor/ui/main_window.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPalette>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyle>
#include <QTabWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "monitor/core/exception_boundary.h"
#include "monitor/core/list_menus.h"
#include "monitor/core/run_cycle.h"
#include "monitor/core/run_state.h"
#include "monitor/ui/qt_platform.h"

namespace yagura {
namespace {

Qt::CheckState CheckStateOf(int value) {
  return value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked;
}

QString PaneText(const std::string& text) { return ToQString(text).replace("\r\n", "\n"); }

// Frames are packed tightly: the large size must hold three word frames
// side by side, each as wide as its longest check box caption.
void Tighten(QLayout* layout) {
  layout->setContentsMargins(1, 2, 1, 2);
  layout->setSpacing(2);
}

bool DesktopOpen(const std::string& target) {
  const QString text = ToQString(target);
  const QUrl url = text.startsWith('/') ? QUrl::fromLocalFile(text) : QUrl(text);
  return QDesktopServices::openUrl(url);
}

}  // namespace

MainWindow::MainWindow(Monitor& monitor, QWidget* parent)
    : QMainWindow(parent), monitor_(monitor), form_(monitor.form), shellOpen_(DesktopOpen) {
  // The controls live as long as the window; the arrangements only move them.
  urlLabel_ = new QLabel(QStringLiteral("板URL(&U)："), this);
  url_ = new QLineEdit(this);
  urlLabel_->setBuddy(url_);
  interval_ = new QComboBox(this);
  for (int i = 0; i < 3; ++i) words_[i] = BuildWordPair(i);
  uploader_ = BuildUploader();
  twitter_ = BuildTwitter();
  mail_ = BuildMail();
  run_ = new QPushButton(this);
  now_ = new QPushButton(this);
  progress_ = new QProgressBar(this);
  progress_->setTextVisible(false);
  progress_->setFixedHeight(8);
  // A blue bar on white, as the monitor has always shown its wait.
  QPalette colours = progress_->palette();
  colours.setColor(QPalette::Highlight, QColor(0, 0, 255));
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Window, Qt::white);
  progress_->setPalette(colours);
  listsPanel_ = BuildLists();
  log_ = new QPlainTextEdit(this);
  log_->setReadOnly(true);
  BuildMenus();
  BuildTray();

  // Model -> widgets.
  Bind(form_.Form1, this, [this] {
    setWindowTitle(ToQString(form_.Form1.Caption()));
    ApplyModelSize();
    if (form_.Form1.Visible() && form_.Form1.Minimized()) {
      showMinimized();
    } else if (form_.Form1.Visible()) {
      // Restored from the tray: out of the task bar and in front.
      if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
      show();
    } else {
      hide();
    }
  });
  BindText(form_.txtURLBRD, url_);
  Bind(form_.cmbTIME, interval_, [this] {
    QStringList items;
    for (const std::string& item : form_.cmbTIME.Items()) items << ToQString(item);
    QStringList shown;
    for (int i = 0; i < interval_->count(); ++i) shown << interval_->itemText(i);
    if (items != shown) {
      interval_->clear();
      interval_->addItems(items);
    }
    interval_->setCurrentIndex(form_.cmbTIME.ListIndex());
  });
  Bind(form_.cmdRUN, run_, [this] { run_->setText(ToQString(form_.cmdRUN.Caption())); });
  Bind(form_.cmdNOW, now_, [this] { now_->setText(ToQString(form_.cmdNOW.Caption())); });
  Bind(form_.txtLOG, log_, [this] {
    log_->setPlainText(PaneText(form_.txtLOG.Text()));
    log_->verticalScrollBar()->setValue(log_->verticalScrollBar()->maximum());
  });
  Bind(form_.progressBar, progress_, [this] {
    progress_->setRange(form_.progressBar.Min(), form_.progressBar.Max());
    progress_->setValue(form_.progressBar.Value());
  });
  views_[&form_.MENU_STATUS].push_back(
      [this] { statusMenu_->setText(ToQString(form_.MENU_STATUS.Caption())); });
  views_[&form_.MENU_FILE].push_back(
      [this] { fileMenu_->setTitle(ToQString(form_.MENU_FILE.Caption())); });
  views_[&form_.MENU_HELP_WINDOWMODE].push_back([this] {
    windowMode_->setText(ToQString(form_.MENU_HELP_WINDOWMODE.Caption()));
    windowMode_->setEnabled(form_.MENU_HELP_WINDOWMODE.Enabled());
  });
  views_[&form_.tray].push_back([this] {
    trayIcon_->setToolTip(ToQString(TrayTipText(form_.tray.Tip())));
    if (trayAvailable_) trayIcon_->setVisible(form_.tray.Added());
  });

  // Widgets -> model.
  connect(interval_, &QComboBox::activated, this,
          [this](int index) { form_.cmbTIME.SetListIndex(index); });
  connect(run_, &QPushButton::clicked, this,
          [this] { Guarded("cmdRUN_Click", [this] { cmdRUN_Click(monitor_); }); });
  connect(now_, &QPushButton::clicked, this, [this] {
    Guarded("cmdNOW_Click", [this] {
      if (form_.cmdNOW.Enabled()) cmdNOW_Click(monitor_);
    });
  });

  // The start size first: arranging shows the window when the model says so.
  resize(kLargeWindowSize.width, kLargeWindowSize.height);
  Arrange(Arrangement::kLarge);
  form_.AddObserver(this);
  ShowAll();
}

MainWindow::~MainWindow() { form_.RemoveObserver(this); }

void MainWindow::Guarded(std::string_view where, const std::function<void()>& handler) {
  CallAtBoundary(monitor_, where, handler);
}

void MainWindow::BuildMenus() {
  fileMenu_ = menuBar()->addMenu(QString());
  QAction* exit = fileMenu_->addAction(QStringLiteral("終了(&X)"));
  connect(exit, &QAction::triggered, this,
          [this] { Guarded("MENU_FILE_END_Click", [this] { MENU_FILE_END_Click(monitor_); }); });

  helpMenu_ = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
  QAction* readMe = helpMenu_->addAction(QStringLiteral("ヘルプ ReadMe.txt(&H)..."));
  connect(readMe, &QAction::triggered, this, [this] {
    OpenWithWaitCursor([this] {
      Guarded("MENU_HELP_HELP_Click", [this] { MENU_HELP_HELP_Click(monitor_, shellOpen_); });
    });
  });
  QAction* www = helpMenu_->addAction(QStringLiteral("ホームページ(&W)..."));
  connect(www, &QAction::triggered, this, [this] {
    OpenWithWaitCursor([this] {
      Guarded("MENU_HELP_WWW_Click", [this] { MENU_HELP_WWW_Click(monitor_, shellOpen_); });
    });
  });
  QAction* version = helpMenu_->addAction(QStringLiteral("バージョン情報(&A)..."));
  connect(version, &QAction::triggered, this, [this] {
    Guarded("MENU_HELP_VERSION_Click", [this] { MENU_HELP_VERSION_Click(monitor_); });
  });
  windowMode_ = helpMenu_->addAction(QString());
  connect(windowMode_, &QAction::triggered, this, [this] {
    Guarded("MENU_HELP_WINDOWMODE_Click", [this] { MENU_HELP_WINDOWMODE_Click(monitor_); });
  });

  // The hidden balloon feature: a bare item of the menu bar.
  statusMenu_ = menuBar()->addAction(QString());
  connect(statusMenu_, &QAction::triggered, this,
          [this] { Guarded("MENU_STATUS_Click", [this] { MENU_STATUS_Click(monitor_); }); });
}

void MainWindow::BuildTray() {
  QIcon icon = QApplication::windowIcon();
  if (icon.isNull()) icon = style()->standardIcon(QStyle::SP_ComputerIcon);
  trayAvailable_ = QSystemTrayIcon::isSystemTrayAvailable();
  // Also without a tray, so that the tip and the clicks stay one code path.
  trayIcon_ = new QSystemTrayIcon(icon, this);
  trayIcon_->setContextMenu(fileMenu_);
  connect(trayIcon_, &QSystemTrayIcon::activated, this,
          [this](QSystemTrayIcon::ActivationReason r) { TrayActivated(r); });
}

void MainWindow::TrayActivated(QSystemTrayIcon::ActivationReason reason) {
  if (reason != QSystemTrayIcon::Trigger) return;
  Guarded("TrayActivated", [this] {
    if (form_.Form1.Visible() && form_.Form1.Minimized()) {
      form_.Form1.SetMinimized(false);
      return;
    }
    form_.Form1.SetVisible(!form_.Form1.Visible());
  });
}

void MainWindow::OpenWithWaitCursor(const std::function<void()>& command) {
  QApplication::setOverrideCursor(Qt::WaitCursor);
  command();
  QApplication::restoreOverrideCursor();
}

QGroupBox* MainWindow::BuildWordPair(int pair) {
  auto* frame = new QGroupBox(this);
  auto* layout = new QVBoxLayout(frame);
  Tighten(layout);
  auto* words = new QHBoxLayout;
  auto* word1 = new QLineEdit(frame);
  auto* word2 = new QLineEdit(frame);
  words->addWidget(word1);
  words->addWidget(word2);
  layout->addLayout(words);
  Bind(form_.frameWORD[pair], frame,
       [this, frame, pair] { frame->setTitle(ToQString(form_.frameWORD[pair].Caption())); });
  BindText(form_.txtWORD1[pair], word1);
  BindText(form_.txtWORD2[pair], word2);
  std::array<CheckBox, 3>* boxes[] = {&form_.chkA, &form_.chkB, &form_.chkC, &form_.chkD,
                                      &form_.chkE};
  for (auto* box : boxes) {
    auto* check = new QCheckBox(frame);
    layout->addWidget(check);
    BindCheck((*box)[pair], check);
  }
  layout->addStretch(1);
  return frame;
}

QGroupBox* MainWindow::BuildUploader() {
  auto* frame = new QGroupBox(this);
  auto* layout = new QVBoxLayout(frame);
  Tighten(layout);
  Bind(form_.frameCGI, frame,
       [this, frame] { frame->setTitle(ToQString(form_.frameCGI.Caption())); });
  auto* check = new QCheckBox(frame);
  layout->addWidget(check);
  BindCheck(form_.chkCGISnUploader, check);
  for (TextBox* box : {&form_.txtCGIURL, &form_.txtCGIPASS, &form_.txtCGIINDEXURL}) {
    auto* edit = new QLineEdit(frame);
    if (box == &form_.txtCGIPASS) edit->setEchoMode(QLineEdit::Password);
    layout->addWidget(edit);
    BindText(*box, edit);
  }
  layout->addStretch(1);
  return frame;
}

QGroupBox* MainWindow::BuildTwitter() {
  // Hidden: its values are only carried over from the settings file.
  auto* frame = new QGroupBox(this);
  auto* layout = new QVBoxLayout(frame);
  Tighten(layout);
  Bind(form_.frameTWITTER, frame,
       [this, frame] { frame->setTitle(ToQString(form_.frameTWITTER.Caption())); });
  for (TextBox* box : {&form_.txtTWITTERID, &form_.txtTWITTERPW}) {
    auto* edit = new QLineEdit(frame);
    layout->addWidget(edit);
    BindText(*box, edit);
  }
  return frame;
}

QGroupBox* MainWindow::BuildMail() {
  auto* frame = new QGroupBox(this);
  auto* layout = new QGridLayout(frame);
  Tighten(layout);
  Bind(form_.frameMAIL, frame,
       [this, frame] { frame->setTitle(ToQString(form_.frameMAIL.Caption())); });
  TextBox* boxes[] = {&form_.txtMAILFROM,     &form_.txtMAILTO,       &form_.txtMAILPOP3HOSTPORT,
                      &form_.txtMAILPOP3USER, &form_.txtMAILPOP3PASS, &form_.txtMAILSMTPHOSTPORT,
                      &form_.txtMAILSMTPUSER, &form_.txtMAILSMTPPASS};
  int n = 0;
  for (TextBox* box : boxes) {
    auto* edit = new QLineEdit(frame);
    if (box == &form_.txtMAILPOP3PASS || box == &form_.txtMAILSMTPPASS) {
      edit->setEchoMode(QLineEdit::Password);
    }
    layout->addWidget(edit, n / 2, n % 2);
    ++n;
    BindText(*box, edit);
  }
  layout->setRowStretch(4, 1);
  return frame;
}

QWidget* MainWindow::BuildLists() {
  auto* panel = new QWidget(this);
  auto* grid = new QGridLayout(panel);
  grid->setContentsMargins(0, 0, 0, 0);
  grid->setSpacing(2);
  const char* const kListTitles[3][2] = {{"メール送信予定", "メール送信済み"},
                                         {"datDL予定", "dat落ち"},
                                         {"ガムテパス", "ガムテパス送信済み"}};
  std::array<ListBox, 2>* models[] = {&form_.listTHREADSEND, &form_.listDATDL, &form_.listGUMPASS};
  for (int p = 0; p < 3; ++p) {
    for (int i = 0; i < 2; ++i) {
      grid->addWidget(new QLabel(QString::fromUtf8(kListTitles[p][i]), panel), i * 2, p);
      lists_[p][i] = new QListWidget(panel);
      lists_[p][i]->setMinimumHeight(36);
      grid->addWidget(lists_[p][i], i * 2 + 1, p);
      grid->setRowStretch(i * 2 + 1, 1);
      BindList((*models[p])[i], lists_[p][i]);
      if (HasListMenu(form_, (*models[p])[i])) {
        lists_[p][i]->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(lists_[p][i], &QWidget::customContextMenuRequested, this, [this, p, i](QPoint at) {
          std::unique_ptr<QMenu> menu = MakeListMenu(p, i);
          menu->exec(lists_[p][i]->viewport()->mapToGlobal(at));
        });
      }
    }
  }
  return panel;
}

void MainWindow::Arrange(Arrangement arrangement) {
  arrangement_ = arrangement;
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);
  layout->setContentsMargins(3, 3, 3, 3);
  layout->setSpacing(3);
  // Reparenting hides a widget: the moved ones are shown again below.
  std::vector<QWidget*> moved;
  auto place = [&moved](QBoxLayout* into, QWidget* widget, int stretch = 0) {
    into->addWidget(widget, stretch);
    moved.push_back(widget);
  };

  auto* top = new QHBoxLayout;
  place(top, urlLabel_);
  place(top, url_, 1);
  place(top, interval_);
  layout->addLayout(top);
  auto* buttons = new QHBoxLayout;
  place(buttons, run_, 1);
  place(buttons, now_);

  tabs_ = nullptr;
  if (arrangement == Arrangement::kLarge) {
    auto* pairs = new QHBoxLayout;
    pairs->setSpacing(2);
    for (QGroupBox* frame : words_) place(pairs, frame, 1);
    layout->addLayout(pairs);
    auto* services = new QHBoxLayout;
    place(services, uploader_);
    place(services, twitter_);
    place(services, mail_, 1);
    layout->addLayout(services);
    layout->addLayout(buttons);
    place(layout, progress_);
    auto* bottom = new QHBoxLayout;
    place(bottom, listsPanel_, 1);
    place(bottom, log_, 1);
    layout->addLayout(bottom, 1);
  } else {
    layout->addLayout(buttons);
    place(layout, progress_);
    // Each tab gets a page of its own, so that the tab widget alone decides
    // which page shows.
    tabs_ = new QTabWidget(central);
    auto addPage = [&](std::initializer_list<QWidget*> widgets, const char* caption) {
      auto* page = new QWidget;
      auto* pageLayout = new QHBoxLayout(page);
      pageLayout->setContentsMargins(2, 2, 2, 2);
      for (QWidget* w : widgets) place(pageLayout, w, w == mail_ || w == listsPanel_ ? 1 : 0);
      tabs_->addTab(page, QString::fromUtf8(caption));
    };
    for (int i = 0; i < 3; ++i) addPage({words_[i]}, kCompactTabCaptions[i]);
    addPage({uploader_, twitter_, mail_}, kCompactTabCaptions[3]);
    addPage({listsPanel_}, kCompactTabCaptions[4]);
    // The tabs take the height of their tallest page; the log the rest.
    tabs_->setFixedHeight(tabs_->minimumSizeHint().height());
    layout->addWidget(tabs_);
    place(layout, log_, 1);
  }
  // Deletes the previous central widget with its emptied containers.
  setCentralWidget(central);
  for (QWidget* w : moved) w->show();
  ShowAll();
}

void MainWindow::ApplyModelSize() {
  const int width = form_.Form1.Width();
  const int height = form_.Form1.Height();
  if (width <= 0 || height <= 0 || resizing_) return;
  if (size() == QSize(width, height) && arrangement_ == ArrangementForSize(width, height)) return;
  resizing_ = true;
  const Arrangement wanted = ArrangementForSize(width, height);
  if (wanted != arrangement_) {
    Arrange(wanted);
    // The window's minimum size follows the new controls before the resize.
    centralWidget()->layout()->activate();
    layout()->activate();
  }
  resize(width, height);
  resizing_ = false;
}

void MainWindow::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  // A size the user drags becomes the model's, so the window-mode command
  // sees the size the window really has.
  if (!resizing_) form_.Form1.SetSize(event->size().width(), event->size().height());
}

void MainWindow::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  if (event->type() == QEvent::WindowStateChange && !showing_) {
    form_.Form1.SetMinimized(isMinimized());
  }
}

void MainWindow::CentreOnScreen() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QSize size = this->size().expandedTo(minimumSizeHint());
  const QRect area = screen->availableGeometry();
  // Never further up or left than the screen, so the title bar stays in reach.
  move(std::max(area.left(), area.left() + (area.width() - size.width()) / 2),
       std::max(area.top(), area.top() + (area.height() - size.height()) / 2));
}

void MainWindow::ShowIfUnreachable() {
  if (!trayAvailable_ && !form_.Form1.Visible()) form_.Form1.SetVisible(true);
}

std::unique_ptr<QMenu> MainWindow::MakeListMenu(int pair, int index) {
  ListBox& list = pair == 0 ? form_.listTHREADSEND[index] : form_.listDATDL[index];
  const ListMenu model = ListMenuOf(form_, list);
  auto menu = std::make_unique<QMenu>(this);
  // The entry's text, not a mnemonic: "&" in a title stays as it is.
  QAction* info = menu->addAction(ToQString(model.infoCaption).replace("&", "&&"));
  info->setEnabled(false);
  if (model.hasDelete) {
    QAction* remove = menu->addAction(ToQString(model.deleteCaption));
    remove->setEnabled(model.deleteEnabled);
    connect(remove, &QAction::triggered, this, [this, &list] {
      Guarded("DeleteSelectedListEntry",
              [this, &list] { DeleteSelectedListEntry(monitor_, list); });
    });
  }
  if (model.hasClear) {
    QAction* clear = menu->addAction(ToQString(model.clearCaption));
    clear->setEnabled(model.clearEnabled);
    connect(clear, &QAction::triggered, this, [this, &list] {
      Guarded("ClearListEntries", [this, &list] { ClearListEntries(monitor_, list); });
    });
  }
  return menu;
}

void MainWindow::Bind(Control& control, QWidget* widget, std::function<void()> show) {
  views_[&control].push_back([&control, widget, show = std::move(show)] {
    if (widget->isEnabled() != control.Enabled()) widget->setEnabled(control.Enabled());
    widget->setToolTip(ToQString(control.ToolTip()));
    show();
  });
  // The window's own visibility is its caption's business (see Form1).
  if (widget != this) {
    views_[&control].push_back([&control, widget] {
      if (widget->isVisibleTo(widget->parentWidget()) != control.Visible()) {
        widget->setVisible(control.Visible());
      }
    });
  }
}

void MainWindow::BindText(TextBox& box, QLineEdit* edit) {
  Bind(box, edit, [&box, edit] {
    QString text = ToQString(box.Text());
    if (edit->text() != text && !edit->hasFocus()) {
      edit->setText(text);
      edit->setCursorPosition(0);  // long hints read from their start
    } else if (edit->text() != text) {
      edit->setText(text);
    }
  });
  connect(edit, &QLineEdit::textEdited, this,
          [&box](const QString& text) { box.SetText(ToUtf8(text)); });
}

void MainWindow::BindCheck(CheckBox& box, QCheckBox* check) {
  Bind(box, check, [&box, check] {
    check->setText(ToQString(box.Caption()));
    check->setCheckState(CheckStateOf(box.Value()));
  });
  // A click switches between off and on; the grey state is the model's.
  connect(check, &QCheckBox::clicked, this, [this, &box, check] {
    if (showing_) return;
    box.SetValue(box.Value() == 1 ? 0 : 1);
    check->setCheckState(CheckStateOf(box.Value()));
  });
}

void MainWindow::BindList(ListBox& list, QListWidget* widget) {
  Bind(list, widget, [&list, widget] {
    QStringList items;
    for (const std::string& item : list.Items()) items << ToQString(item);
    bool same = widget->count() == items.size();
    for (int i = 0; same && i < items.size(); ++i) same = widget->item(i)->text() == items[i];
    if (!same) {
      widget->clear();
      widget->addItems(items);
    }
    if (list.ListIndex() >= 0) {
      widget->setCurrentRow(list.ListIndex());
      widget->scrollToItem(widget->item(list.ListIndex()));
    } else {
      widget->clearSelection();
      widget->setCurrentRow(-1);
    }
  });
  connect(widget, &QListWidget::currentRowChanged, this, [this, &list](int row) {
    if (!showing_) list.SetListIndex(row);
  });
}

void MainWindow::ControlChanged(const Control& control) {
  auto it = views_.find(&control);
  if (it == views_.end()) return;
  const bool wasShowing = showing_;
  showing_ = true;
  for (auto& show : it->second) show();
  showing_ = wasShowing;
}

void MainWindow::ShowAll() {
  for (Control* control : form_.Controls()) ControlChanged(*control);
}

void MainWindow::showEvent(QShowEvent* event) {
  // Centred once, when the layout has settled the size.
  if (!centred_ && !event->spontaneous()) {
    centred_ = true;
    CentreOnScreen();
  }
  QMainWindow::showEvent(event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  // Closing only asks for the exit; the next tick stops the run and unloads.
  bool cancel = true;
  Guarded("Form_QueryUnload", [this, &cancel] { cancel = Form_QueryUnload(monitor_); });
  if (cancel) {
    event->ignore();
    return;
  }
  event->accept();
}

}  // namespace yagura
