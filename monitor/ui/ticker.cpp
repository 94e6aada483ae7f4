#include "monitor/ui/ticker.h"

#include "monitor/core/exception_boundary.h"
#include "monitor/core/run_cycle.h"
#include "monitor/core/run_state.h"
#include "monitor/ui/qt_platform.h"

namespace yagura {

Ticker::Ticker(Monitor& monitor, QObject* parent) : QObject(parent), monitor_(monitor) {
  timer_.setInterval(100);
  timer_.setTimerType(Qt::CoarseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] {
    // At most one tick waits in the queue: a long step must not pile them up.
    if (tickPosted_) return;
    tickPosted_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
          tickPosted_ = false;
          Tick();
        },
        Qt::QueuedConnection);
  });
}

void Ticker::Start() { timer_.start(); }

void Ticker::Tick() {
  CallAtBoundary(monitor_, "Timer1_Timer", [this] {
    if (ExitSignalArrived() && monitor_.exitRequest == ExitRequest::kNone) {
      SetExitRequest(monitor_, ExitRequest::kRequested);
    }
    if (monitor_.form.Timer1.Enabled()) Timer1_Timer(monitor_);
  });
}

}  // namespace yagura
