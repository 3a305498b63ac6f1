#pragma once
// Date and time values of fields and parameters: a TDateTime is a count of days since
// 1899-12-30 (0.0), the fraction being the time of day. Before that day the whole part
// counts backwards and the fraction still counts forwards from midnight (-1.25 is
// 1899-12-29 06:00), which keeps the value of every date-time unique.
//
// Text forms are ISO: "yyyy-mm-dd", "hh:nn:ss" and "yyyy-mm-dd hh:nn:ss"; milliseconds
// are written only when not zero.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace rpt {

using TDateTime = double;

struct TDateParts {
  int Year = 1899, Month = 12, Day = 30;
};
struct TTimeParts {
  int Hour = 0, Minute = 0, Second = 0, MSec = 0;
};

// Valid for years 1..9999; throws EConvertError for an invalid date or time.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int minute, int second, int msec = 0);
TDateTime EncodeDateTime(const TDateParts& date, const TTimeParts& time);
TDateParts DecodeDate(TDateTime value);
TTimeParts DecodeTime(TDateTime value);  // rounded to the millisecond
bool IsValidDate(int year, int month, int day);

// Days of the date part only (the time of day dropped), and the time of day only.
TDateTime DateOf(TDateTime value);
TDateTime TimeOf(TDateTime value);

std::string DateToIso(TDateTime value);
std::string TimeToIso(TDateTime value);
std::string DateTimeToIso(TDateTime value);

// Reads "yyyy-mm-dd", "yyyy-mm-dd hh:nn[:ss[.fff]]" (also with "T"), or "hh:nn[:ss[.fff]]";
// a trailing "Z" or "+hh:mm" zone is accepted and ignored. nullopt when not such a text.
std::optional<TDateTime> ParseIsoDateTime(std::string_view text);

// Conversions for values SQLite keeps as numbers.
TDateTime UnixTimeToDateTime(int64_t seconds);
TDateTime JulianDayToDateTime(double julianDay);

}  // namespace rpt
