#include "data/DateTime.h"

#include <cmath>
#include <cstdio>

#include "objects/Exceptions.h"

namespace rpt {

namespace {

constexpr int64_t kMSecsPerDay = 86400000;

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

TDateParts CivilFromDays(int64_t z) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

// 1899-12-30 counted from 1970-01-01.
const int64_t kEpochOffset = DaysFromCivil(1899, 12, 30);

// Splits a value into its day number and the milliseconds of its time of day.
void Split(TDateTime value, int64_t& day, int64_t& msec) {
  if (!std::isfinite(value)) throw EConvertError("Invalid date and time value");
  day = static_cast<int64_t>(std::trunc(value));
  msec = std::llround(std::fabs(value - static_cast<double>(day)) * kMSecsPerDay);
  if (msec >= kMSecsPerDay) {
    msec -= kMSecsPerDay;
    ++day;
  }
}

TDateTime Join(int64_t day, int64_t msec) {
  const double time = static_cast<double>(msec) / kMSecsPerDay;
  return day >= 0 ? static_cast<double>(day) + time : static_cast<double>(day) - time;
}

bool Digits(std::string_view s, size_t pos, size_t count, int& out) {
  if (pos + count > s.size()) return false;
  int v = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  out = v;
  return true;
}

// "hh:nn[:ss[.fff...]]" at pos; returns the position after it.
std::optional<size_t> ParseTime(std::string_view s, size_t pos, TTimeParts& t) {
  if (!Digits(s, pos, 2, t.Hour) || pos + 2 >= s.size() || s[pos + 2] != ':' || !Digits(s, pos + 3, 2, t.Minute))
    return std::nullopt;
  pos += 5;
  if (pos < s.size() && s[pos] == ':') {
    if (!Digits(s, pos + 1, 2, t.Second)) return std::nullopt;
    pos += 3;
    if (pos < s.size() && (s[pos] == '.' || s[pos] == ',')) {
      ++pos;
      int scale = 100;
      const size_t start = pos;
      while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
        t.MSec += (s[pos] - '0') * scale;
        scale /= 10;
        ++pos;
      }
      if (pos == start) return std::nullopt;
    }
  }
  if (t.Hour > 23 || t.Minute > 59 || t.Second > 59) return std::nullopt;
  return pos;
}

// A zone suffix after a time: "Z", "+hh", "+hhmm", "+hh:mm" (or "-"), maybe after a space.
bool IsZone(std::string_view s) {
  if (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  if (s == "Z" || s == "z") return true;
  if (s.empty() || (s.front() != '+' && s.front() != '-')) return false;
  int dummy;
  if (s.size() == 3) return Digits(s, 1, 2, dummy);
  if (s.size() == 5) return Digits(s, 1, 4, dummy);
  if (s.size() == 6) return s[3] == ':' && Digits(s, 1, 2, dummy) && Digits(s, 4, 2, dummy);
  return false;
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

TDateTime EncodeDate(int year, int month, int day) {
  if (!IsValidDate(year, month, day)) throw EConvertError("Invalid argument to date encode");
  return static_cast<double>(DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) -
                             kEpochOffset);
}

TDateTime EncodeTime(int hour, int minute, int second, int msec) {
  if (hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59 || msec < 0 || msec > 999)
    throw EConvertError("Invalid argument to time encode");
  return static_cast<double>(((hour * 60 + minute) * 60 + second) * 1000 + msec) / kMSecsPerDay;
}

TDateTime EncodeDateTime(const TDateParts& date, const TTimeParts& time) {
  const auto day = static_cast<int64_t>(EncodeDate(date.Year, date.Month, date.Day));
  const auto msec = static_cast<int64_t>(std::llround(EncodeTime(time.Hour, time.Minute, time.Second, time.MSec) *
                                                      kMSecsPerDay));
  return Join(day, msec);
}

TDateParts DecodeDate(TDateTime value) {
  int64_t day, msec;
  Split(value, day, msec);
  return CivilFromDays(day + kEpochOffset);
}

TTimeParts DecodeTime(TDateTime value) {
  int64_t day, msec;
  Split(value, day, msec);
  TTimeParts t;
  t.MSec = static_cast<int>(msec % 1000);
  msec /= 1000;
  t.Second = static_cast<int>(msec % 60);
  msec /= 60;
  t.Minute = static_cast<int>(msec % 60);
  t.Hour = static_cast<int>(msec / 60);
  return t;
}

TDateTime DateOf(TDateTime value) {
  int64_t day, msec;
  Split(value, day, msec);
  return static_cast<double>(day);
}

TDateTime TimeOf(TDateTime value) {
  int64_t day, msec;
  Split(value, day, msec);
  return static_cast<double>(msec) / kMSecsPerDay;
}

std::string DateToIso(TDateTime value) {
  const TDateParts d = DecodeDate(value);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d", d.Year, d.Month, d.Day);
  return buf;
}

std::string TimeToIso(TDateTime value) {
  const TTimeParts t = DecodeTime(value);
  char buf[32];
  if (t.MSec)
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d.%03d", t.Hour, t.Minute, t.Second, t.MSec);
  else
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t.Hour, t.Minute, t.Second);
  return buf;
}

std::string DateTimeToIso(TDateTime value) { return DateToIso(value) + " " + TimeToIso(value); }

std::optional<TDateTime> ParseIsoDateTime(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  TDateParts d;
  TTimeParts t;
  // Time only.
  if (s.size() >= 5 && s[2] == ':') {
    auto end = ParseTime(s, 0, t);
    if (!end || (*end != s.size() && !IsZone(s.substr(*end)))) return std::nullopt;
    return EncodeTime(t.Hour, t.Minute, t.Second, t.MSec);
  }
  if (!Digits(s, 0, 4, d.Year) || s.size() < 10 || s[4] != '-' || !Digits(s, 5, 2, d.Month) || s[7] != '-' ||
      !Digits(s, 8, 2, d.Day) || !IsValidDate(d.Year, d.Month, d.Day))
    return std::nullopt;
  if (s.size() > 10) {
    if (s[10] != ' ' && s[10] != 'T' && s[10] != 't') return std::nullopt;
    auto end = ParseTime(s, 11, t);
    if (!end || (*end != s.size() && !IsZone(s.substr(*end)))) return std::nullopt;
  }
  return EncodeDateTime(d, t);
}

TDateTime UnixTimeToDateTime(int64_t seconds) {
  const int64_t days = seconds >= 0 ? seconds / 86400 : -((-seconds + 86399) / 86400);
  const int64_t rest = seconds - days * 86400;
  return Join(days - kEpochOffset, rest * 1000);
}

TDateTime JulianDayToDateTime(double julianDay) {
  // Julian day 2415018.5 is 1899-12-30 00:00.
  const double days = julianDay - 2415018.5;
  const double whole = std::floor(days);
  const auto msec = static_cast<int64_t>(std::llround((days - whole) * kMSecsPerDay));
  int64_t day = static_cast<int64_t>(whole);
  int64_t ms = msec;
  if (ms >= kMSecsPerDay) {
    ms -= kMSecsPerDay;
    ++day;
  }
  return Join(day, ms);
}

}  // namespace rpt
