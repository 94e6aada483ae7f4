#include "monitor/core/platform.h"

#include <time.h>

#include <cmath>

namespace yagura {

double SystemClock::UptimeSeconds() {
  timespec ts{};
  if (clock_gettime(CLOCK_BOOTTIME, &ts) != 0) return 0;
  double seconds = static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
  return std::floor(seconds * 10000.0) / 10000.0;
}

std::time_t SystemClock::Now() { return std::time(nullptr); }

void SystemClock::SleepMilliseconds(int milliseconds) {
  if (milliseconds <= 0) return;
  timespec ts{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

}  // namespace yagura
