// Checks that a window shows every control whole: each visible widget lies
// inside the window, and each caption fits its widget in the widget's font.
#pragma once

#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOption>
#include <QTabBar>
#include <QTabWidget>
#include <QWidget>
#include <functional>
#include <string>
#include <vector>

namespace yagura::testing {

inline QString Shown(QString caption) {
  // A mnemonic's "&" is not drawn.
  return caption.remove(QRegularExpression("&(?!&)"));
}

inline QString Describe(const QWidget* w) {
  QString text;
  if (auto* b = qobject_cast<const QAbstractButton*>(w)) text = b->text();
  if (auto* l = qobject_cast<const QLabel*>(w)) text = l->text();
  if (auto* g = qobject_cast<const QGroupBox*>(w)) text = g->title();
  return QString("%1 \"%2\" at %3,%4 %5x%6")
      .arg(w->metaObject()->className(), text)
      .arg(w->mapTo(w->window(), QPoint(0, 0)).x())
      .arg(w->mapTo(w->window(), QPoint(0, 0)).y())
      .arg(w->width())
      .arg(w->height());
}

// The room a caption needs beside its widget's decoration.
inline int CaptionRoom(const QWidget* w, const QString& text) {
  const QFontMetrics fm(w->font());
  const int advance = fm.horizontalAdvance(Shown(text));
  const QStyle* style = w->style();
  if (qobject_cast<const QCheckBox*>(w)) {
    return advance + style->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
           style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
  }
  if (qobject_cast<const QPushButton*>(w)) {
    return advance + 2 * style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, w);
  }
  if (qobject_cast<const QGroupBox*>(w)) return advance + 8;
  return advance;
}

// Problems found, one line each; empty when the window shows everything.
inline std::vector<std::string> LayoutProblems(QWidget* window) {
  std::vector<std::string> problems;
  const QRect inside = window->rect();
  for (QWidget* w : window->findChildren<QWidget*>()) {
    if (!w->isVisible() || w->isWindow()) continue;
    // Parts of composite widgets (scroll bars, viewports) are their owner's.
    if (w->objectName().startsWith("qt_")) continue;
    const QRect at(w->mapTo(window, QPoint(0, 0)), w->size());
    if (!inside.contains(at)) {
      problems.push_back("outside the window: " + Describe(w).toStdString());
      continue;
    }
    QString caption;
    if (auto* b = qobject_cast<QAbstractButton*>(w)) caption = b->text();
    if (auto* l = qobject_cast<QLabel*>(w)) caption = l->text();
    if (auto* g = qobject_cast<QGroupBox*>(w)) caption = g->title();
    if (!caption.isEmpty() && CaptionRoom(w, caption) > w->width()) {
      problems.push_back("caption cut: " + Describe(w).toStdString() + " needs " +
                         std::to_string(CaptionRoom(w, caption)));
    }
    if (!caption.isEmpty() && QFontMetrics(w->font()).height() > w->height()) {
      problems.push_back("too low for its text: " + Describe(w).toStdString());
    }
    if (auto* bar = qobject_cast<QTabBar*>(w)) {
      for (int i = 0; i < bar->count(); ++i) {
        if (QFontMetrics(bar->font()).horizontalAdvance(Shown(bar->tabText(i))) >
            bar->tabRect(i).width()) {
          problems.push_back("tab caption cut: " + bar->tabText(i).toStdString());
        }
      }
    }
  }
  return problems;
}

// The problems of every page: each tab of each tab widget is shown in turn.
inline std::vector<std::string> LayoutProblemsOfEveryPage(QWidget* window,
                                                          const std::function<void()>& settle) {
  std::vector<std::string> problems = LayoutProblems(window);
  for (QTabWidget* tabs : window->findChildren<QTabWidget*>()) {
    if (!tabs->isVisible()) continue;
    const int current = tabs->currentIndex();
    for (int i = 0; i < tabs->count(); ++i) {
      tabs->setCurrentIndex(i);
      settle();
      for (std::string& p : LayoutProblems(window)) {
        problems.push_back("tab " + tabs->tabText(i).toStdString() + ": " + p);
      }
    }
    tabs->setCurrentIndex(current);
    settle();
  }
  return problems;
}

}  // namespace yagura::testing
