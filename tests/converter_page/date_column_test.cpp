#include "converter/page/date_column.h"

#include <gtest/gtest.h>

namespace converter::page {
namespace {

struct DateCase {
  int hizuke;
  std::string date;
  std::string expected;
};

class DateColumn : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateColumn, Weekday) {
  EXPECT_EQ(RewriteDateColumn(GetParam().date, GetParam().hizuke), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Hizuke, DateColumn,
    ::testing::Values(DateCase{0, "2008/01/07(月) 14:10:06", "2008/01/07(月) 14:10:06"},
                      DateCase{2, "2008/01/07(月) 14:10:06 ID:x", "2008/01/07 14:10:06 ID:x"},
                      DateCase{3, "2008/01/07 14:10:06", "2008/01/07(月) 14:10:06"},
                      DateCase{3, "2008/01/07(月) 14:10:06", "2008/01/07(月) 14:10:06"},
                      // The board's own notation gives way to the real weekday.
                      DateCase{1, "2007/02/15(祝) 00:00:00", "2007/02/15(木) 00:00:00"},
                      DateCase{3, "08/11/07 16:24", "08/11/07(金) 16:24"},
                      DateCase{3, "あぼーん", "あぼーん"}));

}  // namespace
}  // namespace converter::page
