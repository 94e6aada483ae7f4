#include "converter/page/date_column.h"

#include <cctype>

namespace converter::page {
namespace {

constexpr const char* kWeekdays[] = {"日", "月", "火", "水", "木", "金", "土"};

// 0 = Sunday, for a date of the proleptic Gregorian calendar.
int WeekdayOf(int year, int month, int day) {
  static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 3) year -= 1;
  return (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
}

bool Digits(std::string_view s, size_t at, size_t n) {
  if (at + n > s.size()) return false;
  for (size_t i = at; i < at + n; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
  }
  return true;
}

int Number(std::string_view s, size_t at, size_t n) {
  int v = 0;
  for (size_t i = at; i < at + n; ++i) v = v * 10 + (s[i] - '0');
  return v;
}

}  // namespace

std::string RewriteDateColumn(std::string_view date, int hizuke) {
  if (hizuke == 0) return std::string(date);
  // Find YYYY/MM/DD or YY/MM/DD.
  for (size_t i = 0; i < date.size(); ++i) {
    size_t yearDigits = Digits(date, i, 4) && i + 4 < date.size() && date[i + 4] == '/'   ? 4
                        : Digits(date, i, 2) && i + 2 < date.size() && date[i + 2] == '/' ? 2
                                                                                          : 0;
    if (yearDigits == 0 || (i > 0 && std::isdigit(static_cast<unsigned char>(date[i - 1])))) {
      continue;
    }
    size_t m = i + yearDigits + 1;
    if (!Digits(date, m, 2) || m + 2 >= date.size() || date[m + 2] != '/' ||
        !Digits(date, m + 3, 2)) {
      continue;
    }
    int year = Number(date, i, yearDigits);
    if (yearDigits == 2) year += date[i] == '9' ? 1900 : 2000;
    int month = Number(date, m, 2);
    int day = Number(date, m + 3, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31) return std::string(date);
    size_t end = m + 5;  // just after the date
    size_t noteEnd = end;
    if (end < date.size() && date[end] == '(') {
      size_t close = date.find(')', end);
      if (close != std::string_view::npos) noteEnd = close + 1;
    }
    std::string weekday = std::string("(") + kWeekdays[WeekdayOf(year, month, day)] + ")";
    std::string out(date.substr(0, end));
    if (hizuke == 2) {
      // the weekday goes
    } else if (hizuke == 3 && noteEnd != end) {
      out.append(date.substr(end, noteEnd - end));
    } else {
      out += weekday;
    }
    out.append(date.substr(noteEnd));
    return out;
  }
  return std::string(date);
}

}  // namespace converter::page
