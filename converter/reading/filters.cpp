#include "converter/reading/filters.h"

#include <cstdio>
#include <ctime>

namespace converter {

bool InPostRange(int postCount, const Options& cmd) {
  if (cmd.minPosts == 0) return true;
  return postCount >= cmd.minPosts && postCount <= cmd.maxPosts;
}

namespace {

bool MatchesDigits(const DateFilter& filter, const std::string& t) {
  std::string from = filter.from, to = filter.to;
  for (size_t k = 0; k < 14; ++k) {
    if (from[k] == '*') from[k] = t[k];
    if (to[k] == '*') to[k] = t[k];
  }
  if (from <= to) return from <= t && t <= to;
  // Only a range with both ends given wraps (23:59:30 to 00:00:30).
  bool bothEnds = filter.from != std::string(14, '*') && filter.to != std::string(14, '*');
  return bothEnds && (t >= from || t <= to);
}

// Hour 24 or later in a pattern: the small hours written as part of the day before.
bool HasLateHours(const std::string& pattern) {
  return pattern[8] != '*' && pattern[9] != '*' &&
         (pattern[8] - '0') * 10 + (pattern[9] - '0') >= 24;
}

// `t` as the day before at hour + 24 ("20080102013000" -> "20080101253000").
std::string AsDayBefore(const std::string& t) {
  std::tm tm{};
  tm.tm_year = std::stoi(t.substr(0, 4)) - 1900;
  tm.tm_mon = std::stoi(t.substr(4, 2)) - 1;
  tm.tm_mday = std::stoi(t.substr(6, 2)) - 1;
  tm.tm_hour = 12;
  timegm(&tm);  // normalises the day before the first of a month
  char digits[96];
  std::snprintf(digits, sizeof digits, "%04d%02d%02d%02d%s", tm.tm_year + 1900, tm.tm_mon + 1,
                tm.tm_mday, std::stoi(t.substr(8, 2)) + 24, t.substr(10).c_str());
  return digits;
}

}  // namespace

bool MatchesDateFilter(const DateFilter& filter, std::uint64_t time) {
  if (!filter.enabled) return true;
  if (time == 0 || time > 99999999999999ULL) return false;
  char digits[24];
  std::snprintf(digits, sizeof digits, "%014llu", static_cast<unsigned long long>(time));
  std::string t(digits, 14);
  if (MatchesDigits(filter, t)) return true;
  return (HasLateHours(filter.from) || HasLateHours(filter.to)) &&
         MatchesDigits(filter, AsDayBefore(t));
}

std::uint64_t LocalTimeDigits(long long seconds) {
  std::time_t value = static_cast<std::time_t>(seconds);
  std::tm tm{};
  localtime_r(&value, &tm);
  return static_cast<std::uint64_t>(tm.tm_year + 1900) * 10000000000ULL +
         static_cast<std::uint64_t>(tm.tm_mon + 1) * 100000000ULL + tm.tm_mday * 1000000ULL +
         tm.tm_hour * 10000ULL + tm.tm_min * 100ULL + tm.tm_sec;
}

}  // namespace converter
