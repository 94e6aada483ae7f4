#include "converter/reading/date_reader.h"

#include <array>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "common/encoding.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace converter {
namespace {

constexpr size_t kNotationCount = 3;

// The words the reader looks for, as bytes of one encoding.
struct EncodedWords {
  std::vector<std::string> noDate;
  std::array<std::string, 7> weekdays;
  std::array<std::string, kNotationCount> notations;
  std::array<char, kNotationCount> notationFirst;  // first bytes ("I" for a word that is empty)
  std::string koki;                                // 皇紀
  bool notationsBeginHigh = true;                  // every word begins with a non-ASCII byte
};

using WordTables = std::array<EncodedWords, 5>;

WordTables EncodeWords() {
  static const char* const kNoDate[] = {"あぼーん",  "あほーん",           "移転したよ",
                                        "ヤバイ！",  "[ここ壊れています]", "[ここ壊れてます]",
                                        "移転＆停止"};
  static const char* const kWeekdays[] = {"日", "月", "火", "水", "木", "金", "土"};
  static const char* const kNotations[kNotationCount] = {"ラッキー賞", "ポイント特典", "株優プチ"};
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
    for (size_t w = 0; w < kNotationCount; ++w) {
      tables[k].notations[w] = encode(kNotations[w]);
      tables[k].notationFirst[w] = tables[k].notations[w].empty() ? 'I' : tables[k].notations[w][0];
      if (!tables[k].notations[w].empty() &&
          static_cast<unsigned char>(tables[k].notations[w][0]) < 0x80) {
        tables[k].notationsBeginHigh = false;
      }
    }
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

// The same for the bytes before a time (fifteen to twenty-odd of them): two
// overlapping loads from each side instead of a call.
bool SameShortBytes(std::string_view a, std::string_view b) {
  const size_t n = a.size();
  if (n != b.size()) return false;
  if (n >= 8 && n <= 16) {
    std::uint64_t a0, a1, b0, b1;
    std::memcpy(&a0, a.data(), 8);
    std::memcpy(&a1, a.data() + n - 8, 8);
    std::memcpy(&b0, b.data(), 8);
    std::memcpy(&b1, b.data() + n - 8, 8);
    return ((a0 ^ b0) | (a1 ^ b1)) == 0;
  }
#if defined(__SSE2__)
  if (n > 16 && n <= 32) {
    auto load = [](const char* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
    const __m128i same =
        _mm_and_si128(_mm_cmpeq_epi8(load(a.data()), load(b.data())),
                      _mm_cmpeq_epi8(load(a.data() + n - 16), load(b.data() + n - 16)));
    return _mm_movemask_epi8(same) == 0xFFFF;
  }
#endif
  return a == b;
}

constexpr std::string_view kIdMark = "ID:";
constexpr std::string_view kIpTag = "<font size=1>IP:";

// Where the marks after a date first appear in its field, npos where not.
struct Marks {
  size_t id = std::string_view::npos;       // "ID:"
  size_t bracket = std::string_view::npos;  // '[' after the time
  bool ipTag = false;                       // "<font size=1>IP:"
  size_t notation[kNotationCount] = {std::string_view::npos, std::string_view::npos,
                                     std::string_view::npos};
};

bool WordAt(std::string_view text, size_t at, std::string_view word) {
  return text.size() - at >= word.size() && SameBytes(text.substr(at, word.size()), word);
}

// Looks at a byte that may begin a mark.
void NoteMark(std::string_view field, size_t at, const EncodedWords& words, size_t timeEnd,
              Marks& marks) {
  const char c = field[at];
  if (c == 'I' && marks.id == std::string_view::npos && WordAt(field, at, kIdMark)) marks.id = at;
  if (c == '[' && at >= timeEnd && marks.bracket == std::string_view::npos) marks.bracket = at;
  if (c == '<' && !marks.ipTag && WordAt(field, at, kIpTag)) marks.ipTag = true;
  if (static_cast<unsigned char>(c) < 0x80 && words.notationsBeginHigh) return;
  for (size_t k = 0; k < kNotationCount; ++k) {
    const std::string& word = words.notations[k];
    if (marks.notation[k] == std::string_view::npos && !word.empty() && c == word[0] &&
        WordAt(field, at, word)) {
      marks.notation[k] = at;
    }
  }
}

// One pass over the field for every mark, instead of a search for each.
Marks FindMarks(std::string_view field, const EncodedWords& words, size_t timeEnd) {
  Marks marks;
  const std::array<char, kNotationCount>& first = words.notationFirst;
#if defined(__SSE2__)
  if (field.size() >= 16) {
    const __m128i id = _mm_set1_epi8(kIdMark[0]);
    const __m128i bracket = _mm_set1_epi8('[');
    const __m128i tag = _mm_set1_epi8(kIpTag[0]);
    const __m128i first0 = _mm_set1_epi8(first[0]);
    const __m128i first1 = _mm_set1_epi8(first[1]);
    const __m128i first2 = _mm_set1_epi8(first[2]);
    // The last block ends with the field and overlaps the one before it; the
    // bytes seen already are masked off.
    for (size_t k = 0;; k += 16) {
      const size_t at = std::min(k, field.size() - 16);
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(field.data() + at));
      __m128i hits = _mm_or_si128(_mm_cmpeq_epi8(bytes, id), _mm_cmpeq_epi8(bytes, bracket));
      hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, tag));
      hits = _mm_or_si128(hits, _mm_cmpeq_epi8(bytes, first0));
      hits = _mm_or_si128(
          hits, _mm_or_si128(_mm_cmpeq_epi8(bytes, first1), _mm_cmpeq_epi8(bytes, first2)));
      unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hits)) & (0xFFFFu << (k - at));
      for (; mask; mask &= mask - 1) {
        NoteMark(field, at + static_cast<size_t>(__builtin_ctz(mask)), words, timeEnd, marks);
      }
      if (at == field.size() - 16) return marks;
    }
  }
#endif
  for (size_t k = 0; k < field.size(); ++k) {
    const char c = field[k];
    if (c == kIdMark[0] || c == '[' || c == kIpTag[0] || c == first[0] || c == first[1] ||
        c == first[2]) {
      NoteMark(field, k, words, timeEnd, marks);
    }
  }
  return marks;
}

// The end of an ID that begins at `from`: the first blank or '<', else the
// field's end. The last block ends with the field and overlaps the one
// before it; the bytes seen already are masked off.
size_t IdEnd(std::string_view field, size_t from) {
#if defined(__SSE2__)
  if (field.size() >= 16) {
    const __m128i blank = _mm_set1_epi8(' ');
    const __m128i tag = _mm_set1_epi8('<');
    for (size_t k = from; k < field.size(); k += 16) {
      const size_t at = std::min(k, field.size() - 16);
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(field.data() + at));
      const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(
                                _mm_cmpeq_epi8(bytes, blank), _mm_cmpeq_epi8(bytes, tag)))) &
                            (0xFFFFu << (k - at));
      if (mask) return at + static_cast<size_t>(__builtin_ctz(mask));
    }
    return field.size();
  }
#endif
  while (from < field.size() && field[from] != ' ' && field[from] != '<') ++from;
  return from;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Value of the digits ending just before `end` (at most `kMost` of them);
// `count` receives how many there were. Dates read a handful of these per
// post, so the bound is known when the code is built and the loops unroll.
template <int kMost>
inline int DigitsBefore(std::string_view text, size_t end, int& count) {
  int n = 0;
  while (n < kMost && end > static_cast<size_t>(n) && IsDigit(text[end - 1 - n])) ++n;
  count = n;
  int value = 0;
  for (int k = n; k > 0; --k) value = value * 10 + (text[end - k] - '0');
  return value;
}

template <int kMost>
inline int DigitsAfter(std::string_view text, size_t begin, int& count) {
  int n = 0;
  while (n < kMost && begin + n < text.size() && IsDigit(text[begin + n])) ++n;
  count = n;
  int value = 0;
  for (int k = 0; k < n; ++k) value = value * 10 + (text[begin + k] - '0');
  return value;
}

// The colon of the time: the last "d:d" whose colon is at least 11
// characters in, not followed by '>'. Colons are looked for sixteen bytes at a
// time from the end (an ID and a BE number may follow the time).
size_t TimeColon(std::string_view field) {
  constexpr size_t kFirst = 11;
  auto isTime = [&](size_t k) {
    return field[k] == ':' && IsDigit(field[k - 1]) && k + 1 < field.size() &&
           IsDigit(field[k + 1]) && (k + 2 >= field.size() || field[k + 2] != '>');
  };
  size_t end = field.size();  // positions below `end` are left to look at
#if defined(__SSE2__)
  const __m128i colon = _mm_set1_epi8(':');
  for (; end >= kFirst + 16; end -= 16) {
    const __m128i bytes =
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(field.data() + end - 16));
    for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, colon)));
         mask; mask &= ~(1u << (31 - __builtin_clz(mask)))) {
      const size_t k = end - 16 + static_cast<size_t>(31 - __builtin_clz(mask));
      if (isTime(k)) return k;
    }
  }
#endif
  for (size_t k = end; k-- > kFirst;) {
    if (isTime(k)) return k;
  }
  return std::string_view::npos;
}

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 31;
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// The day of a date field from `field`, its bytes before the time (at
// `timeStart`) and, when a slash is right before the time, the first two of it.
DayReading ReadDay(std::string_view field, size_t timeStart, const EncodedWords& words,
                   int keyYear) {
  // The weekday, between the last '(' before the time and the next ')'.
  DayReading day;
  size_t open = field.rfind('(', timeStart);
  if (open != std::string_view::npos) {
    size_t close = field.find(')', open);
    if (close != std::string_view::npos && close < timeStart) {
      std::string_view name = field.substr(open + 1, close - open - 1);
      for (int d = 0; d < 7; ++d) {
        if (SameBytes(name, words.weekdays[d])) {
          day.weekday = d;
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
  if (slash == std::string_view::npos) return day;
  int dayCount = 0, monthCount = 0, yearCount = 0;
  int dayOfMonth = DigitsAfter<2>(field, slash + 1, dayCount);
  int month = DigitsBefore<2>(field, slash, monthCount);
  size_t monthStart = slash - monthCount;
  if (monthStart == 0 || field[monthStart - 1] != '/') return day;
  int year = DigitsBefore<4>(field, monthStart - 1, yearCount);
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
    return day;
  }

  // The board's own calendars.
  if (year == 2006 && month == 3 && dayOfMonth > 31 && dayOfMonth <= 61) {
    month = 4;  // "2006/03/32" was the board's April 1st
    dayOfMonth -= 31;
  }
  if (year == 2007 && month == 2 && dayOfMonth == 15 && day.weekday == 3) dayOfMonth = 14;
  if (day.weekday >= 0 && keyYear > 0 && dayOfMonth <= DaysInMonth(2000, month) &&
      WeekdayOf(year, month, dayOfMonth) != day.weekday) {
    // A year written wrongly: take the year of the thread's twelve-year
    // window in which that day falls on that weekday.
    for (int candidate = keyYear - 1; candidate < keyYear + 11; ++candidate) {
      if (dayOfMonth <= DaysInMonth(candidate, month) &&
          WeekdayOf(candidate, month, dayOfMonth) == day.weekday) {
        year = candidate;
        break;
      }
    }
  }
  if (year < 1 || year > 9999 || month < 1 || month > 99 || dayOfMonth > 99) return day;

  day.found = true;
  day.year = year;
  day.month = month;
  day.day = dayOfMonth;
  return day;
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
  return ReadPostDate(field, kanjicode, keyYear, nullptr);
}

DateReading ReadPostDate(std::string_view field, int kanjicode, int keyYear, DayMemo* memo) {
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
  const size_t colon = TimeColon(field);
  if (colon == std::string_view::npos) return out;
  int n = 0;
  int hour = 0, minute = 0, second = 0, hundredths = 0;
  size_t timeStart;
  size_t timeEnd;
  int lastValue = DigitsAfter<2>(field, colon + 1, n);
  timeEnd = colon + 1 + n;
  int beforeCount = 0;
  int before = DigitsBefore<2>(field, colon, beforeCount);
  size_t beforeStart = colon - beforeCount;
  if (beforeStart >= 2 && field[beforeStart - 1] == ':' && IsDigit(field[beforeStart - 2])) {
    int hourCount = 0;
    hour = DigitsBefore<2>(field, beforeStart - 1, hourCount);
    minute = before;
    second = lastValue;
    timeStart = beforeStart - 1 - hourCount;
    if (timeEnd + 1 < field.size() && field[timeEnd] == '.' && IsDigit(field[timeEnd + 1])) {
      int centCount = 0;
      hundredths = DigitsAfter<2>(field, timeEnd + 1, centCount);
      if (centCount == 1) hundredths *= 10;
      timeEnd += 1 + centCount;
    }
  } else {
    hour = before;
    minute = lastValue;
    timeStart = beforeStart;
  }

  // Posts of one day share what decides the day; `memo` keeps the last one.
  // The scan for the date looks two bytes past a slash, into the time only
  // when a slash is right before it.
  const bool slashBeforeTime =
      field[timeStart - 1] == '/' || (timeStart >= 2 && field[timeStart - 2] == '/');
  const std::string_view decidedBy = field.substr(0, timeStart + (slashBeforeTime ? 2 : 0));
  DayReading day;
  if (memo && memo->kanjicode == kanjicode && memo->keyYear == keyYear &&
      SameShortBytes(memo->decidedBy, decidedBy)) {
    day = memo->day;
  } else {
    day = ReadDay(decidedBy, timeStart, words, keyYear);
    if (memo) *memo = DayMemo{decidedBy, kanjicode, keyYear, day};
  }
  out.weekday = day.weekday;
  if (!day.found) return out;
  const int year = day.year, month = day.month, dayOfMonth = day.day;

  out.time = static_cast<std::uint64_t>(year) * 1000000000000ULL +
             static_cast<std::uint64_t>(month) * 10000000000ULL +
             static_cast<std::uint64_t>(dayOfMonth) * 100000000ULL + hour * 1000000ULL +
             minute * 10000ULL + second * 100ULL + hundredths;

  // Notes that tell the boards apart.
  const Marks marks = FindMarks(field, words, timeEnd);
  if (marks.id != std::string_view::npos) {
    out.notes.hasId = true;
    const size_t end = IdEnd(field, marks.id + 3);
    out.id = field.substr(marks.id + 3, end - marks.id - 3);
  }
  if (marks.bracket != std::string_view::npos &&
      field.find(']', marks.bracket) != std::string_view::npos) {
    out.notes.hasBracket = true;
  }
  out.notes.hasIp = out.notes.hasId && marks.ipTag;
  for (size_t k = 0; k < words.notations.size(); ++k) {
    if (marks.notation[k] != std::string_view::npos) {
      out.notation = field.substr(marks.notation[k], words.notations[k].size());
      break;
    }
  }
  return out;
}

}  // namespace converter
