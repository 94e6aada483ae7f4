#include "converter/reading/date_reader.h"

#include <array>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "common/encoding.h"

namespace converter {
namespace {

// The words the reader looks for, as bytes of one encoding.
struct EncodedWords {
  std::vector<std::string> noDate;
  std::array<std::string, 7> weekdays;
  std::vector<std::string> notations;
  std::string koki;  // 皇紀
};

using WordTables = std::array<EncodedWords, 5>;

WordTables EncodeWords() {
  static const char* const kNoDate[] = {"あぼーん",  "あほーん",           "移転したよ",
                                        "ヤバイ！",  "[ここ壊れています]", "[ここ壊れてます]",
                                        "移転＆停止"};
  static const char* const kWeekdays[] = {"日", "月", "火", "水", "木", "金", "土"};
  static const char* const kNotations[] = {"ラッキー賞", "ポイント特典", "株優プチ"};
  const common::Charset charsets[5] = {common::Charset::kCp932, common::Charset::kCp932,
                                       common::Charset::kEucJp, common::Charset::kUtf8,
                                       common::Charset::kBig5};
  WordTables tables;
  for (int k = 0; k < 5; ++k) {
    auto encode = [&](const char* text) {
      std::string out;
      common::EncodeFromUtf8(text, charsets[k], out);
      return out;
    };
    for (const char* word : kNoDate) tables[k].noDate.push_back(encode(word));
    for (int d = 0; d < 7; ++d) tables[k].weekdays[d] = encode(kWeekdays[d]);
    for (const char* word : kNotations) tables[k].notations.push_back(encode(word));
    tables[k].koki = encode("皇紀");
  }
  return tables;
}

const EncodedWords& WordsFor(int kanjicode) {
  static const WordTables tables = EncodeWords();
  return tables[(kanjicode >= 1 && kanjicode <= 4) ? kanjicode : 1];
}

// Date fields are short and the words shorter: bytes compared one by one
// cost less than a call.
bool SameBytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k) {
    if (a[k] != b[k]) return false;
  }
  return true;
}

// First `word` in `text` at or after `from`, found by its first byte.
size_t FindWord(std::string_view text, std::string_view word, size_t from = 0) {
  if (word.empty() || text.size() < word.size()) return std::string_view::npos;
  const char* const last = text.data() + text.size() - word.size();  // last possible start
  for (const char* p = text.data() + from; p <= last; ++p) {
    p = static_cast<const char*>(std::memchr(p, word[0], static_cast<size_t>(last - p) + 1));
    if (!p) break;
    if (SameBytes(std::string_view(p + 1, word.size() - 1), word.substr(1))) {
      return static_cast<size_t>(p - text.data());
    }
  }
  return std::string_view::npos;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Value of the digits ending just before `end` (at most `most` of them);
// `count` receives how many there were.
int DigitsBefore(std::string_view text, size_t end, int most, int& count) {
  size_t begin = end;
  while (begin > 0 && end - begin < static_cast<size_t>(most) && IsDigit(text[begin - 1])) --begin;
  count = static_cast<int>(end - begin);
  int value = 0;
  for (size_t k = begin; k < end; ++k) value = value * 10 + (text[k] - '0');
  return value;
}

int DigitsAfter(std::string_view text, size_t begin, int most, int& count) {
  size_t end = begin;
  while (end < text.size() && end - begin < static_cast<size_t>(most) && IsDigit(text[end])) ++end;
  count = static_cast<int>(end - begin);
  int value = 0;
  for (size_t k = begin; k < end; ++k) value = value * 10 + (text[k] - '0');
  return value;
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 31;
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

}  // namespace

int WeekdayOf(int year, int month, int day) {
  // Sakamoto's method.
  static constexpr int kOffsets[] = {0, 3, 2, 5, 0, 3, 5, 1, 4, 6, 2, 4};
  if (month < 1 || month > 12) return -1;
  if (month < 3) year -= 1;
  return (year + year / 4 - year / 100 + year / 400 + kOffsets[month - 1] + day) % 7;
}

int YearOfKey(std::uint64_t key) {
  if (key == 0) return 0;
  std::time_t seconds = static_cast<std::time_t>(key) + 9 * 3600;  // the boards keep JST
  std::tm tm{};
  gmtime_r(&seconds, &tm);
  return tm.tm_year + 1900;
}

DateReading ReadPostDate(std::string_view field, int kanjicode, int keyYear) {
  DateReading out;
  size_t start = 0;
  while (start < field.size() && (field[start] == ' ' || field[start] == '\t')) ++start;
  field.remove_prefix(start);
  if (field.empty()) return out;
  const EncodedWords& words = WordsFor(kanjicode);
  if (static_cast<unsigned char>(field[0]) >= 0x80 || field[0] == '[') {
    for (const std::string& word : words.noDate) {
      if (field.substr(0, word.size()) == word) {
        out.noDateWord = true;
        return out;
      }
    }
  }

  // The time: the last "d:d", its colon at least 11 characters in, not
  // followed by '>'.
  size_t colon = std::string_view::npos;
  for (size_t k = field.size(); k-- > 11;) {
    if (field[k] == ':' && IsDigit(field[k - 1]) && k + 1 < field.size() && IsDigit(field[k + 1]) &&
        (k + 2 >= field.size() || field[k + 2] != '>')) {
      colon = k;
      break;
    }
  }
  if (colon == std::string_view::npos) return out;
  int n = 0;
  int hour = 0, minute = 0, second = 0, hundredths = 0;
  size_t timeStart;
  size_t timeEnd;
  int lastValue = DigitsAfter(field, colon + 1, 2, n);
  timeEnd = colon + 1 + n;
  int beforeCount = 0;
  int before = DigitsBefore(field, colon, 2, beforeCount);
  size_t beforeStart = colon - beforeCount;
  if (beforeStart >= 2 && field[beforeStart - 1] == ':' && IsDigit(field[beforeStart - 2])) {
    int hourCount = 0;
    hour = DigitsBefore(field, beforeStart - 1, 2, hourCount);
    minute = before;
    second = lastValue;
    timeStart = beforeStart - 1 - hourCount;
    if (timeEnd + 1 < field.size() && field[timeEnd] == '.' && IsDigit(field[timeEnd + 1])) {
      int centCount = 0;
      hundredths = DigitsAfter(field, timeEnd + 1, 2, centCount);
      if (centCount == 1) hundredths *= 10;
      timeEnd += 1 + centCount;
    }
  } else {
    hour = before;
    minute = lastValue;
    timeStart = beforeStart;
  }

  // The weekday, between the last '(' before the time and the next ')'.
  size_t open = field.rfind('(', timeStart);
  if (open != std::string_view::npos) {
    size_t close = field.find(')', open);
    if (close != std::string_view::npos && close < timeStart) {
      std::string_view name = field.substr(open + 1, close - open - 1);
      for (int d = 0; d < 7; ++d) {
        if (SameBytes(name, words.weekdays[d])) {
          out.weekday = d;
          break;
        }
      }
    }
  }

  // The date: scanning back from the time for "d/dd".
  size_t slash = std::string_view::npos;
  for (size_t k = std::min(timeStart, field.size()); k-- > 1;) {
    if (field[k] == '/' && IsDigit(field[k - 1]) && k + 2 < field.size() + 0 &&
        IsDigit(field[k + 1]) && IsDigit(field[k + 2])) {
      slash = k;
      break;
    }
  }
  if (slash == std::string_view::npos) return out;
  int dayCount = 0, monthCount = 0, yearCount = 0;
  int day = DigitsAfter(field, slash + 1, 2, dayCount);
  int month = DigitsBefore(field, slash, 2, monthCount);
  size_t monthStart = slash - monthCount;
  if (monthStart == 0 || field[monthStart - 1] != '/') return out;
  int year = DigitsBefore(field, monthStart - 1, 4, yearCount);
  size_t yearStart = monthStart - 1 - yearCount;
  if (yearCount == 4) {
    // 皇紀 counts from 660 BC.
    if (yearStart >= words.koki.size() &&
        field.substr(yearStart - words.koki.size(), words.koki.size()) == words.koki) {
      year -= 660;
    }
  } else if (yearCount == 2) {
    year += field[yearStart] == '9' ? 1900 : 2000;
  } else {
    return out;
  }

  // The board's own calendars.
  if (year == 2006 && month == 3 && day > 31 && day <= 61) {
    month = 4;  // "2006/03/32" was the board's April 1st
    day -= 31;
  }
  if (year == 2007 && month == 2 && day == 15 && out.weekday == 3) day = 14;
  if (out.weekday >= 0 && keyYear > 0 && day <= DaysInMonth(2000, month) &&
      WeekdayOf(year, month, day) != out.weekday) {
    // A year written wrongly: take the year of the thread's twelve-year
    // window in which that day falls on that weekday.
    for (int candidate = keyYear - 1; candidate < keyYear + 11; ++candidate) {
      if (day <= DaysInMonth(candidate, month) && WeekdayOf(candidate, month, day) == out.weekday) {
        year = candidate;
        break;
      }
    }
  }
  if (year < 1 || year > 9999 || month < 1 || month > 99 || day > 99) return out;

  out.time = static_cast<std::uint64_t>(year) * 1000000000000ULL +
             static_cast<std::uint64_t>(month) * 10000000000ULL +
             static_cast<std::uint64_t>(day) * 100000000ULL + hour * 1000000ULL +
             minute * 10000ULL + second * 100ULL + hundredths;

  // Notes that tell the boards apart.
  size_t id = FindWord(field, "ID:");
  if (id != std::string_view::npos) {
    out.notes.hasId = true;
    size_t end = id + 3;
    while (end < field.size() && field[end] != ' ' && field[end] != '<') ++end;
    out.id = field.substr(id + 3, end - id - 3);
  }
  size_t bracket = field.find('[', timeEnd);
  if (bracket != std::string_view::npos && field.find(']', bracket) != std::string_view::npos) {
    out.notes.hasBracket = true;
  }
  if (out.notes.hasId && FindWord(field, "<font size=1>IP:") != std::string_view::npos) {
    out.notes.hasIp = true;
  }
  for (const std::string& word : words.notations) {
    size_t at = FindWord(field, word);
    if (at != std::string_view::npos) {
      out.notation = field.substr(at, word.size());
      break;
    }
  }
  return out;
}

}  // namespace converter
