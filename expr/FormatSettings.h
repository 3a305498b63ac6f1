#pragma once
// The locale settings that number and date texts of expressions follow: decimal and
// thousands separators and the date and time patterns. The evaluator reads one global
// instance, taken from the system locale when first used; tests and the application may
// replace it before a report runs (it is not guarded against change during a run).
#include <ctime>
#include <string>

namespace rpt {

struct TFormatSettings {
  std::string DecimalSeparator = ".";
  std::string ThousandSeparator = ",";
  // strftime patterns: DATE gives the short date, TIME the long time.
  std::string ShortDateFormat = "%m/%d/%y";
  std::string LongTimeFormat = "%H:%M:%S";
  // The locale whose month and day names and AM/PM strings the patterns use.
  std::string LocaleName = "C";

  // Read from the environment's locale (LC_ALL, LC_NUMERIC / LC_TIME, LANG); the "C"
  // settings above when that locale is not installed. A locale without a thousands
  // separator (the C locale has none) keeps ",".
  static TFormatSettings FromSystem();
  // The same for a named locale; the C settings when it is not installed.
  static TFormatSettings FromLocale(const std::string& name);

  // A moment written with one of the patterns, in this locale.
  std::string FormatTime(const char* pattern, std::time_t moment) const;
  // Broken-down time parts written with a pattern (any year, no time zone involved).
  std::string FormatParts(const char* pattern, const std::tm& parts) const;
};

const TFormatSettings& EvFormatSettings();
void SetEvFormatSettings(const TFormatSettings& settings);

// The clock DATE, TIME and the start-up constants read; null restores the system clock.
using TEvClock = std::time_t (*)();
void SetEvClock(TEvClock clock);
std::time_t EvNow();

}  // namespace rpt
