// Reading the date field of a post into the 16-digit time YYYYMMDDhhmmsscc.
// The field is bytes of the log's encoding.
#pragma once

#include <cstdint>
#include <string_view>

#include "converter/reading/thread.h"

namespace converter {

struct DateReading {
  std::uint64_t time = 0;     // 0 when no date was found
  bool noDateWord = false;    // a deleted, moved or damaged post
  int weekday = -1;           // 0 Sunday .. 6 Saturday, -1 unknown
  std::string_view notation;  // "ラッキー賞" ... as found in the field
  std::string_view id;        // value after "ID:"
  DateNotes notes;
};

// The day a date field names.
struct DayReading {
  bool found = false;  // false: no date before the time
  int year = 0;
  int month = 0;
  int day = 0;
  int weekday = -1;  // as DateReading's
};

// The day read from the last field, with the bytes that decided it (a view
// into that field, which must outlive the next reading).
struct DayMemo {
  std::string_view decidedBy;
  int kanjicode = 0;
  int keyYear = 0;
  DayReading day;
};

// `kanjicode` 1-4 selects the bytes of the Japanese words; `keyYear` is the
// year the thread was created (from its key), 0 when unknown.
DateReading ReadPostDate(std::string_view field, int kanjicode, int keyYear);
// The same for the fields of one log in turn: a field whose bytes before the
// time are those of the last one takes its day from `memo`.
DateReading ReadPostDate(std::string_view field, int kanjicode, int keyYear, DayMemo* memo);

// True when the field reads as a post date (a date, or a no-date word).
inline bool IsPostDate(const DateReading& reading) {
  return reading.time != 0 || reading.noDateWord;
}

// Year (JST) of a thread key, which is the creation time in seconds; 0 for no key.
int YearOfKey(std::uint64_t key);

// Weekday (0 Sunday) of a Gregorian date.
int WeekdayOf(int year, int month, int day);

}  // namespace converter
