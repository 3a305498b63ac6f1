// Date-time values: day numbers, times of day, the ISO texts and SQLite's numbers.
#include <gtest/gtest.h>

#include "data/DateTime.h"
#include "objects/Exceptions.h"

namespace rpt::test {
namespace {

TEST(DateTimeTest, DayNumbersCountFromTheEpoch) {
  EXPECT_EQ(EncodeDate(1899, 12, 30), 0.0);
  EXPECT_EQ(EncodeDate(1900, 1, 1), 2.0);
  EXPECT_EQ(EncodeDate(2000, 1, 1), 36526.0);
  EXPECT_EQ(EncodeDate(2024, 2, 29), 45351.0);
  EXPECT_EQ(EncodeDate(1899, 12, 29), -1.0);
  EXPECT_EQ(EncodeDate(1, 1, 1), -693593.0);
  for (const TDateParts d : {TDateParts{1, 1, 1}, TDateParts{1600, 2, 29}, TDateParts{1899, 12, 31},
                             TDateParts{2000, 2, 29}, TDateParts{9999, 12, 31}}) {
    const TDateParts back = DecodeDate(EncodeDate(d.Year, d.Month, d.Day));
    EXPECT_EQ(back.Year, d.Year);
    EXPECT_EQ(back.Month, d.Month);
    EXPECT_EQ(back.Day, d.Day);
  }
  EXPECT_THROW(EncodeDate(2023, 2, 29), EConvertError);
  EXPECT_THROW(EncodeDate(2024, 13, 1), EConvertError);
  EXPECT_THROW(EncodeDate(0, 1, 1), EConvertError);
  EXPECT_FALSE(IsValidDate(1900, 2, 29));
  EXPECT_TRUE(IsValidDate(2000, 2, 29));
}

TEST(DateTimeTest, TimeFractionCountsForwardAlsoBeforeTheEpoch) {
  EXPECT_DOUBLE_EQ(EncodeTime(6, 0, 0), 0.25);
  EXPECT_THROW(EncodeTime(24, 0, 0), EConvertError);
  const TDateTime before = EncodeDateTime({1899, 12, 29}, {6, 0, 0, 0});
  EXPECT_DOUBLE_EQ(before, -1.25);
  EXPECT_EQ(DateToIso(before), "1899-12-29");
  EXPECT_EQ(TimeToIso(before), "06:00:00");
  EXPECT_EQ(DateOf(before), -1.0);
  EXPECT_DOUBLE_EQ(TimeOf(before), 0.25);
  // A value a hair below midnight rounds to the next day, not to 24:00:00.
  const TDateTime almost = EncodeDate(2024, 1, 1) + 0.99999999999;
  EXPECT_EQ(DateTimeToIso(almost), "2024-01-02 00:00:00");
  const TTimeParts t = DecodeTime(EncodeTime(13, 14, 15, 16));
  EXPECT_EQ(t.Hour, 13);
  EXPECT_EQ(t.Minute, 14);
  EXPECT_EQ(t.Second, 15);
  EXPECT_EQ(t.MSec, 16);
  EXPECT_EQ(TimeToIso(EncodeTime(13, 14, 15, 16)), "13:14:15.016");
}

TEST(DateTimeTest, IsoTextsReadAndWrite) {
  EXPECT_EQ(ParseIsoDateTime("2024-02-29"), EncodeDate(2024, 2, 29));
  EXPECT_DOUBLE_EQ(*ParseIsoDateTime("2024-02-29 08:30"), EncodeDate(2024, 2, 29) + EncodeTime(8, 30, 0));
  EXPECT_DOUBLE_EQ(*ParseIsoDateTime("2024-02-29T08:30:15.5Z"), EncodeDate(2024, 2, 29) + EncodeTime(8, 30, 15, 500));
  EXPECT_DOUBLE_EQ(*ParseIsoDateTime("2024-02-29 08:30:15+02:00"), EncodeDate(2024, 2, 29) + EncodeTime(8, 30, 15));
  EXPECT_DOUBLE_EQ(*ParseIsoDateTime(" 23:59:59 "), EncodeTime(23, 59, 59));
  for (const char* bad : {"", "2024-02-30", "2024-2-29", "24:00:00", "2024-02-29 8:30", "yesterday",
                          "2024-02-29 08:30 nonsense", "12:61"})
    EXPECT_FALSE(ParseIsoDateTime(bad).has_value()) << bad;
  const TDateTime v = EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 59);
  EXPECT_EQ(DateTimeToIso(v), "1999-12-31 23:59:59");
  EXPECT_DOUBLE_EQ(*ParseIsoDateTime(DateTimeToIso(v)), v);
}

TEST(DateTimeTest, SqliteNumbersConvert) {
  EXPECT_DOUBLE_EQ(UnixTimeToDateTime(0), EncodeDate(1970, 1, 1));
  EXPECT_EQ(DateTimeToIso(UnixTimeToDateTime(1700000000)), "2023-11-14 22:13:20");
  EXPECT_EQ(DateTimeToIso(UnixTimeToDateTime(-1)), "1969-12-31 23:59:59");
  EXPECT_EQ(DateTimeToIso(JulianDayToDateTime(2451545.0)), "2000-01-01 12:00:00");
  EXPECT_EQ(DateToIso(JulianDayToDateTime(2415018.5)), "1899-12-30");
}

}  // namespace
}  // namespace rpt::test
