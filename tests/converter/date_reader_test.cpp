// The date reader on the notations of real logs and on its special rules.
#include <gtest/gtest.h>

#include "common/encoding.h"
#include "converter/reading/dat_line.h"
#include "converter/reading/date_reader.h"
#include "test_data.h"

namespace converter {
namespace {

std::string Sjis(const char* utf8) { return common::Utf8ToCp932(utf8); }

TEST(DateReader, NotationsOfRealLogs) {
  struct Case {
    const char* field;
    int kanjicode;
    std::uint64_t time;
    const char* id;
  };
  const Case cases[] = {
      {"2013/09/19(木) 05:05:23.77 ID:TZ0akNcn0", 1, 2013091905052377ULL, "TZ0akNcn0"},
      {"2008/01/07(月) 14:10:06 ID:T0OW3SHo", 1, 2008010714100600ULL, "T0OW3SHo"},
      {"2008/08/17(日) 15:30:19 ID:1hlWO7Vt BE:95537333-2BP(111)", 1, 2008081715301900ULL,
       "1hlWO7Vt"},
      {"2009/02/11(水) 23:45:51 ", 1, 2009021123455100ULL, ""},
      {"2008/04/12(土) 01:36:13", 2, 2008041201361300ULL, ""},
      {"04/01/07(水) 14:10", 1, 2004010714100000ULL, ""},
      {"99/12/31(金) 23:59:59", 1, 1999123123595900ULL, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    std::string bytes = c.kanjicode == 2 ? [&] {
      std::string euc;
      common::EncodeFromUtf8(c.field, common::Charset::kEucJp, euc);
      return euc;
    }()
                                         : Sjis(c.field);
    DateReading r = ReadPostDate(bytes, c.kanjicode, 0);
    EXPECT_EQ(r.time, c.time);
    EXPECT_EQ(std::string(r.id), c.id);
    EXPECT_GE(r.weekday, 0);
  }
}

TEST(DateReader, SpecialRules) {
  struct Case {
    const char* name;
    const char* field;
    std::uint64_t key;
    std::uint64_t time;
  };
  const Case cases[] = {
      {"March 32 of 2006 is April 1", "2006/03/32(土) 00:00:01", 0, 2006040100000100ULL},
      {"March 61 of 2006 is April 30", "2006/03/61(日) 12:00", 0, 2006043012000000ULL},
      {"2007/02/15 shown as Wednesday", "2007/02/15(水) 10:00:00", 0, 2007021410000000ULL},
      {"2007/02/15 on its own Thursday", "2007/02/15(木) 10:00:00", 0, 2007021510000000ULL},
      {"Koki year", "皇紀2665/01/01(土) 00:00:00", 0, 2005010100000000ULL},
      // 2008/01/07 was a Monday; written as 2099 the year is found again from the key.
      {"Year from the key window", "2099/01/07(月) 14:10:06", 1199682606ULL, 2008010714100600ULL},
      {"Correct year is kept", "2008/01/07(月) 14:10:06", 1199682606ULL, 2008010714100600ULL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DateReading r = ReadPostDate(Sjis(c.field), 1, YearOfKey(c.key));
    EXPECT_EQ(r.time, c.time);
  }
}

void ExpectSameReading(const DateReading& a, const DateReading& b) {
  EXPECT_EQ(a.time, b.time);
  EXPECT_EQ(a.noDateWord, b.noDateWord);
  EXPECT_EQ(a.weekday, b.weekday);
  EXPECT_EQ(a.notation, b.notation);
  EXPECT_EQ(a.id, b.id);
  EXPECT_EQ(a.notes.hasId, b.notes.hasId);
  EXPECT_EQ(a.notes.hasBracket, b.notes.hasBracket);
  EXPECT_EQ(a.notes.hasIp, b.notes.hasIp);
}

// The day a post's field shares with the one before it is taken over only
// when every byte that decides it is the same: fields in turn read as each
// read alone, on neighbours that differ just there and on every real log.
TEST(DateReader, DayTakenOverFromTheFieldBefore) {
  const std::vector<std::string> fields = {
      Sjis("2008/01/07(月) 14:10:06 ID:abc"),
      Sjis("2008/01/07(月) 23:59:59 ID:def"),
      Sjis("2008/01/07(月) 9:59:59"),   // the hour one digit shorter
      Sjis("2008/01/07(月) 19:59"),     // no seconds
      Sjis("2008/01/07(火) 19:59"),     // another weekday: the year is sought
      Sjis("2008/01/08(火) 00:00:01"),  // the next day
      Sjis("2008/01/0800:00:01"),       // no blank before the time
      Sjis("2008/01/0700:00:01"),
      Sjis("2008/01/12:34:56"),  // the hour's digits read as the day as well
      Sjis("2008/01/13:34:56"),
      Sjis("2008/01/513:34:56"),
      Sjis("皇紀2668/01/07(月) 14:10:06"),  // the same bytes after the era
      Sjis("皇紀2668/01/08(月) 14:10:06"),  // one byte apart in the middle
      Sjis("あぼーん"),
      Sjis("2008/01/07(月) 14:10:06"),
      Sjis("   2008/01/07(月) 14:10:07"),  // leading blanks
      Sjis("2006/03/32(土) 00:00:01"),
      Sjis("xx/01/07(月) 14:10:06"),  // no year
      Sjis("xx/01/07(月) 14:10:06 ID:x"),
  };
  for (int keyYear : {0, 2008}) {
    DayMemo memo;
    for (const std::string& field : fields) {
      SCOPED_TRACE(common::Cp932ToUtf8(field) + " key year " + std::to_string(keyYear));
      ExpectSameReading(ReadPostDate(field, 1, keyYear, &memo), ReadPostDate(field, 1, keyYear));
    }
  }
  // The encoding is part of what decided: the same bytes read as EUC-JP.
  DayMemo memo;
  const std::string field = Sjis("2008/01/07(月) 14:10:06");
  ReadPostDate(field, 1, 2008, &memo);
  ExpectSameReading(ReadPostDate(field, 2, 2008, &memo), ReadPostDate(field, 2, 2008));

  for (const char* log : {"twoB-2ch/2ch_with_id.dat", "twoB-2ch/2ch_with_id_and_be.dat",
                          "js2ch-news4vip/1379534723.dat", "twoB-jbbs/jbbs.dat"}) {
    SCOPED_TRACE(log);
    REAL_LOG_OR_SKIP(bytes, log);
    const int kanjicode = std::string_view(log).find("jbbs") != std::string_view::npos ? 2 : 1;
    DayMemo realMemo;
    size_t pos = 0, differing = 0;
    std::string_view line;
    while (NextLine(bytes, pos, line)) {
      const DatFields f = SplitCurrentForm(line);
      // The plain form has the date third, the numbered form fourth.
      for (int k = 2; k <= 3 && k < f.count; ++k) {
        const DateReading a = ReadPostDate(f.field[k], kanjicode, 2008, &realMemo);
        const DateReading b = ReadPostDate(f.field[k], kanjicode, 2008);
        differing += a.time != b.time || a.weekday != b.weekday || a.id != b.id;
      }
    }
    EXPECT_EQ(differing, 0u);
  }
}

// The time is the last "d:d" of the field, however much follows it: IDs and
// BE numbers with colons of their own, a link written "1:2>", a second time.
TEST(DateReader, TimeAmongOtherColons) {
  struct Case {
    const char* field;
    std::uint64_t time;
  };
  const Case cases[] = {
      {"2008/08/17(日) 15:30:19 ID:1hlWO7Vt BE:95537333-2BP(111)", 2008081715301900ULL},
      {"2008/08/17(日) 15:30:19 ID:1hlWO7Vt BE:95537333-2BP(111) <a href=1:2>x</a>",
       2008081715301900ULL},
      {"2008/08/17(日) 15:30:19 ID:ab 0:0 ID:cd", 2008081700000000ULL},
      {"2008/08/17 1:2", 2008081701020000ULL},  // colon at the eleventh character
      {"2008/08/17 12:34:56.7 ID:a:b:c:d:e:f:g:h:i:j:k:l:m", 2008081712345670ULL},
      {"2008/08/17 12:34 <b>a:b</b> <i>1:2></i>", 2008081712340000ULL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.field);
    EXPECT_EQ(ReadPostDate(Sjis(c.field), 1, 0).time, c.time);
  }
}

TEST(DateReader, NoDateWordsAndFieldsWithoutDate) {
  for (const char* word : {"あぼーん", "あほーん", "移転したよ", "ヤバイ！", "[ここ壊れています]",
                           "[ここ壊れてます]", "移転＆停止"}) {
    SCOPED_TRACE(word);
    DateReading r =
        ReadPostDate(Sjis((std::string("  ") + word + " 2008/01/01 00:00").c_str()), 1, 0);
    EXPECT_TRUE(r.noDateWord);
    EXPECT_EQ(r.time, 0u);
    EXPECT_TRUE(IsPostDate(r));
  }
  EXPECT_FALSE(IsPostDate(ReadPostDate("sage", 1, 0)));
  EXPECT_FALSE(IsPostDate(ReadPostDate("", 1, 0)));
  // A time too near the start of the field is no post time.
  EXPECT_FALSE(IsPostDate(ReadPostDate("12:34", 1, 0)));
  // "1245508091000000 (最終更新)" of a dropped thread's reply has no date.
  EXPECT_FALSE(IsPostDate(ReadPostDate(Sjis("1245508091000000 (最終更新)"), 1, 0)));
}

TEST(DateReader, NotesAndNotation) {
  DateReading r = ReadPostDate(Sjis("2005/05/05(木) 12:00:00 ID:abc [ 1.2.3.4 ]"), 1, 0);
  EXPECT_TRUE(r.notes.hasId);
  EXPECT_TRUE(r.notes.hasBracket);
  r = ReadPostDate(Sjis("2005/05/05(木) 12:00:00 ID:abc <font size=1>IP:1.2.3.4</font>"), 1, 0);
  EXPECT_TRUE(r.notes.hasIp);
  r = ReadPostDate(Sjis("2005/05/05(木) 12:00:00 ラッキー賞 ID:abc"), 1, 0);
  EXPECT_EQ(common::Cp932ToUtf8(r.notation), "ラッキー賞");
  EXPECT_EQ(r.weekday, 4);
}

// An ID ends at a blank, a '<' or the field's end, wherever that falls
// among the blocks the reader looks at together.
TEST(DateReader, IdsOfEveryLengthAndEnd) {
  for (const char* after : {"", " BE:123", "<font size=1>", " [x]"}) {
    for (size_t length = 0; length < 40; ++length) {
      std::string id;
      for (size_t k = 0; k < length; ++k) id += static_cast<char>('a' + k % 26);
      const std::string field = Sjis("2005/05/05(木) 12:00:00 ID:") + id + after;
      SCOPED_TRACE(field);
      DateReading r = ReadPostDate(field, 1, 0);
      EXPECT_TRUE(r.notes.hasId);
      EXPECT_EQ(r.id, id);
    }
  }
}

// The words after the time in each encoding the reader takes: the first
// "ID:", a notation anywhere (the first of the list when there are two), IP
// only in its font tag and beside an ID.
TEST(DateReader, NotesInEachEncoding) {
  struct Case {
    const char* field;
    const char* id;
    const char* notation;
    bool ip;
    int weekday;
  };
  const Case cases[] = {
      {"2005/05/05(木) 12:00:00 ID:abc ID:def", "abc", "", false, 4},
      {"2005/05/05(木) 12:00:00 ポイント特典 ID:x<b>", "x", "ポイント特典", false, 4},
      {"2005/05/05(木) 12:00:00 ID:ab 株優プチ ラッキー賞", "ab", "ラッキー賞", false, 4},
      {"2005/05/05(木) 12:00:00 ID:q <font size=1>IP:1.2.3.4</font>", "q", "", true, 4},
      {"2005/05/05(木) 12:00:00 ID:q <font size=2>IP:1.2.3.4</font>", "q", "", false, 4},
      {"2005/05/05(木) 12:00:00 <font size=1>IP:1.2.3.4</font>", "", "", false, 4},
      {"2005/05/05(木) 12:00:00 ラッキー", "", "", false, 4},
      {"2005/05/05(月曜) 12:00:00 IDなし", "", "", false, -1},
  };
  const std::pair<int, common::Charset> encodings[] = {
      {1, common::Charset::kCp932}, {2, common::Charset::kEucJp}, {3, common::Charset::kUtf8}};
  for (const auto& [kanjicode, charset] : encodings) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.field) + " in kanjicode " + std::to_string(kanjicode));
      std::string field;
      common::EncodeFromUtf8(c.field, charset, field);
      DateReading r = ReadPostDate(field, kanjicode, 0);
      EXPECT_EQ(r.time, 2005050512000000ULL);
      EXPECT_EQ(std::string(r.id), c.id);
      EXPECT_EQ(common::DecodeToUtf8(r.notation, charset), c.notation);
      EXPECT_EQ(r.notes.hasIp, c.ip);
      EXPECT_EQ(r.weekday, c.weekday);
    }
  }
}

TEST(DateReader, Weekdays) {
  EXPECT_EQ(WeekdayOf(2008, 1, 7), 1);
  EXPECT_EQ(WeekdayOf(2000, 2, 29), 2);
  EXPECT_EQ(YearOfKey(1199682606ULL), 2008);
  EXPECT_EQ(YearOfKey(0), 0);
}

}  // namespace
}  // namespace converter
