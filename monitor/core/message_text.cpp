#include "monitor/core/message_text.h"

#include <cstdio>

namespace yagura {

std::string TimeText(std::time_t t) {
  std::tm tm{};
  localtime_r(&t, &tm);
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buffer;
}

std::string LogDateTimeText(std::time_t t) {
  static const char* const kWeekdays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  std::tm tm{};
  localtime_r(&t, &tm);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d(%s)%02d:%02d:%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, kWeekdays[tm.tm_wday % 7], tm.tm_hour, tm.tm_min,
                tm.tm_sec);
  return buffer;
}

}  // namespace yagura
