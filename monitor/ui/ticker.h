// Drives Timer1_Timer every 100 ms on the Qt event loop. A Qt timer never
// fires inside its own handler, yet ticks must run nested inside a cycle (to
// restart the wait, to carry out an exit request): so the timer only posts
// the tick, and a posted tick runs in whatever event pump is active.
#pragma once

#include <QObject>
#include <QTimer>

#include "monitor/core/monitor.h"

namespace yagura {

class Ticker : public QObject {
  Q_OBJECT

 public:
  explicit Ticker(Monitor& monitor, QObject* parent = nullptr);
  void Start();
  // One tick as Timer1 gives it: an exit signal first becomes the exit
  // request, then Timer1_Timer runs while Timer1 is enabled.
  void Tick();

 private:
  Monitor& monitor_;
  QTimer timer_;
  bool tickPosted_ = false;
};

}  // namespace yagura
