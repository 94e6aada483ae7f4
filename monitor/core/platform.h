// The monitor's view of the outside world. The core reaches everything that
// is not plain computation through these small interfaces, so that the Qt
// window, the headless front and the tests can each supply their own.
#pragma once

#include <ctime>
#include <string>
#include <string_view>

namespace yagura {

// Runs pending window events once ("DoEvents"): timer ticks, clicks and menu
// commands may run nested inside the call.
class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void PumpOnce() = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since the system started, four decimals; 0 without a counter.
  virtual double UptimeSeconds() = 0;
  // The wall clock, for local time stamps.
  virtual std::time_t Now() = 0;
  // Sleeps the calling (UI) thread; a fake clock advances instead.
  virtual void SleepMilliseconds(int milliseconds) = 0;
};

enum class MessageIcon { kNone, kCritical, kExclamation, kInformation };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void Show(std::string_view text, std::string_view title, MessageIcon icon) = 0;
};

class TrayNotifier {
 public:
  virtual ~TrayNotifier() = default;
  virtual void ShowBalloon(std::string_view title, std::string_view text) = 0;
};

// The real clock: CLOCK_BOOTTIME and the system's wall clock.
class SystemClock : public Clock {
 public:
  double UptimeSeconds() override;
  std::time_t Now() override;
  void SleepMilliseconds(int milliseconds) override;
};

// Stand-ins that do nothing, for fronts without a window.
class NullPump : public EventPump {
 public:
  void PumpOnce() override {}
};
class NullTray : public TrayNotifier {
 public:
  void ShowBalloon(std::string_view, std::string_view) override {}
};

}  // namespace yagura
