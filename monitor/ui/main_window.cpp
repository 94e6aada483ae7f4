#include "monitor/ui/main_window.h"

#include <algorithm>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QVBoxLayout>

#include "monitor/core/exception_boundary.h"
#include "monitor/core/list_menus.h"
#include "monitor/core/run_cycle.h"
#include "monitor/core/run_state.h"
#include "monitor/core/window_commands.h"
#include "monitor/ui/qt_platform.h"

namespace yagura {
namespace {

Qt::CheckState CheckStateOf(int value) {
  return value == 1 ? Qt::Checked : value == 2 ? Qt::PartiallyChecked : Qt::Unchecked;
}

QString PaneText(const std::string& text) { return ToQString(text).replace("\r\n", "\n"); }

}  // namespace

MainWindow::MainWindow(Monitor& monitor, QWidget* parent)
    : QMainWindow(parent), monitor_(monitor), form_(monitor.form) {
  auto* central = new QWidget(this);
  auto* layout = new QVBoxLayout(central);

  auto* top = new QHBoxLayout;
  auto* urlLabel = new QLabel(QStringLiteral("板URL(&U)："), central);
  top->addWidget(urlLabel);
  url_ = new QLineEdit(central);
  urlLabel->setBuddy(url_);
  top->addWidget(url_, 1);
  interval_ = new QComboBox(central);
  top->addWidget(interval_);
  layout->addLayout(top);

  auto* pairs = new QHBoxLayout;
  for (int i = 0; i < 3; ++i) pairs->addWidget(BuildWordPair(i));
  layout->addLayout(pairs);
  auto* services = new QHBoxLayout;
  services->addWidget(BuildUploader());
  services->addWidget(BuildMail(), 1);
  layout->addLayout(services);

  auto* buttons = new QHBoxLayout;
  run_ = new QPushButton(central);
  now_ = new QPushButton(central);
  buttons->addWidget(run_, 1);
  buttons->addWidget(now_);
  layout->addLayout(buttons);
  progress_ = new QProgressBar(central);
  progress_->setTextVisible(false);
  progress_->setMaximumHeight(8);
  layout->addWidget(progress_);

  auto* listGrid = new QGridLayout;
  const char* const kListTitles[3][2] = {{"メール送信予定", "メール送信済み"},
                                         {"datDL予定", "dat落ち"},
                                         {"ガムテパス", "ガムテパス送信済み"}};
  std::array<ListBox, 2>* models[] = {&form_.listTHREADSEND, &form_.listDATDL, &form_.listGUMPASS};
  for (int p = 0; p < 3; ++p) {
    for (int i = 0; i < 2; ++i) {
      listGrid->addWidget(new QLabel(QString::fromUtf8(kListTitles[p][i]), central), i * 2, p);
      lists_[p][i] = new QListWidget(central);
      lists_[p][i]->setMaximumHeight(90);
      listGrid->addWidget(lists_[p][i], i * 2 + 1, p);
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
  layout->addLayout(listGrid);

  log_ = new QPlainTextEdit(central);
  log_->setReadOnly(true);
  layout->addWidget(log_, 1);
  setCentralWidget(central);

  QMenu* file = menuBar()->addMenu(QString());
  fileMenu_ = file->menuAction();
  QAction* exit = file->addAction(QStringLiteral("終了(&X)"));
  connect(exit, &QAction::triggered, this,
          [this] { Guarded("MENU_FILE_END_Click", [this] { MENU_FILE_END_Click(monitor_); }); });
  QMenu* help = menuBar()->addMenu(QStringLiteral("ヘルプ(&H)"));
  QAction* version = help->addAction(QStringLiteral("バージョン情報(&A)..."));
  connect(version, &QAction::triggered, this, [this] {
    Guarded("MENU_HELP_VERSION_Click", [this] { MENU_HELP_VERSION_Click(monitor_); });
  });
  statusMenu_ = menuBar()->addAction(QString());

  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    trayIcon_ = new QSystemTrayIcon(style()->standardIcon(QStyle::SP_ComputerIcon), this);
    trayIcon_->setContextMenu(file);
    connect(trayIcon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason r) {
              if (r == QSystemTrayIcon::Trigger) form_.Form1.SetVisible(!form_.Form1.Visible());
            });
  }

  // Model -> widgets.
  Bind(form_.Form1, this, [this] {
    setWindowTitle(ToQString(form_.Form1.Caption()));
    if (form_.Form1.Visible() && form_.Form1.Minimized()) {
      showMinimized();
    } else if (form_.Form1.Visible()) {
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
      [this] { fileMenu_->setText(ToQString(form_.MENU_FILE.Caption())); });
  views_[&form_.tray].push_back([this] {
    if (!trayIcon_) return;
    trayIcon_->setToolTip(ToQString(form_.tray.Tip()));
    trayIcon_->setVisible(form_.tray.Added());
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
  connect(statusMenu_, &QAction::triggered, this,
          [this] { Guarded("MENU_STATUS_Click", [this] { MENU_STATUS_Click(monitor_); }); });

  resize(770, 593);
  form_.AddObserver(this);
  ShowAll();
}

MainWindow::~MainWindow() { form_.RemoveObserver(this); }

void MainWindow::Guarded(std::string_view where, const std::function<void()>& handler) {
  CallAtBoundary(monitor_, where, handler);
}

void MainWindow::CentreOnScreen() {
  QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  // The layout may need more room than the design size on a large font.
  const QSize size = this->size().expandedTo(minimumSizeHint());
  const QRect area = screen->availableGeometry();
  // Never further up or left than the screen, so the title bar stays in reach.
  move(std::max(area.left(), area.left() + (area.width() - size.width()) / 2),
       std::max(area.top(), area.top() + (area.height() - size.height()) / 2));
}

void MainWindow::ShowIfUnreachable() {
  if (!trayIcon_ && !form_.Form1.Visible()) form_.Form1.SetVisible(true);
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

QWidget* MainWindow::BuildUploader() {
  auto* frame = new QGroupBox(this);
  auto* layout = new QVBoxLayout(frame);
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
  // The Twitter settings are only carried over from the file: never shown.
  return frame;
}

QWidget* MainWindow::BuildMail() {
  auto* frame = new QGroupBox(this);
  auto* layout = new QGridLayout(frame);
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
  return frame;
}

QWidget* MainWindow::BuildWordPair(int pair) {
  auto* frame = new QGroupBox(this);
  auto* layout = new QVBoxLayout(frame);
  auto* word1 = new QLineEdit(frame);
  auto* word2 = new QLineEdit(frame);
  layout->addWidget(word1);
  layout->addWidget(word2);
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
  return frame;
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
