// Date-time format masks, the way report fields and expressions write dates: letters
// for the parts, locale patterns for the whole short and long forms.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <exception>

#include "data/DateTime.h"
#include "expr/QRExpr.h"

namespace rpt {

namespace {

bool StartsWithNoCase(std::string_view text, size_t at, std::string_view word) {
  if (text.size() - at < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[at + i])) != word[i]) return false;
  return true;
}

// How many times the letter repeats from at (case-insensitive).
size_t RunOf(std::string_view text, size_t at) {
  const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(text[at])));
  size_t n = 0;
  while (at + n < text.size() && std::tolower(static_cast<unsigned char>(text[at + n])) == c) ++n;
  return n;
}

std::string TwoDigits(int v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02d", v);
  return b;
}

// The short time of the locale: its long time without the seconds.
std::string ShortTimePattern(const TFormatSettings& settings) {
  std::string p = settings.LongTimeFormat;
  for (const char* seconds : {":%S", ".%S", "%S"})
    if (const size_t at = p.find(seconds); at != std::string::npos) {
      p.erase(at, std::string_view(seconds).size());
      break;
    }
  return p;
}

class TDateWriter {
 public:
  TDateWriter(double value, const TFormatSettings& settings) : FSettings(settings) {
    const TDateParts d = DecodeDate(value);
    const TTimeParts t = DecodeTime(value);
    FParts.tm_year = d.Year - 1900;
    FParts.tm_mon = d.Month - 1;
    FParts.tm_mday = d.Day;
    FParts.tm_hour = t.Hour;
    FParts.tm_min = t.Minute;
    FParts.tm_sec = t.Second;
    // Day of the week: 1899-12-30 was a Saturday.
    const auto days = static_cast<long long>(std::floor(DateOf(value)));
    FParts.tm_wday = static_cast<int>(((days + 6) % 7 + 7) % 7);
    FMSec = t.MSec;
    FMidnight = t.Hour == 0 && t.Minute == 0 && t.Second == 0 && t.MSec == 0;
  }

  std::string Write(std::string_view mask) {
    std::string out;
    bool afterHour = false;
    for (size_t i = 0; i < mask.size();) {
      const char c = mask[i];
      const char l = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (c == '"' || c == '\'') {
        const size_t end = mask.find(c, i + 1);
        out.append(mask.substr(i + 1, (end == std::string_view::npos ? mask.size() : end) - i - 1));
        i = end == std::string_view::npos ? mask.size() : end + 1;
        continue;
      }
      if (StartsWithNoCase(mask, i, "am/pm")) {
        out += FParts.tm_hour < 12 ? (c == 'A' ? "AM" : "am") : (c == 'A' ? "PM" : "pm");
        i += 5;
        continue;
      }
      if (StartsWithNoCase(mask, i, "a/p")) {
        out += FParts.tm_hour < 12 ? (c == 'A' ? "A" : "a") : (c == 'A' ? "P" : "p");
        i += 3;
        continue;
      }
      if (StartsWithNoCase(mask, i, "ampm")) {
        out += Locale("%p");
        i += 4;
        continue;
      }
      const size_t run = std::isalpha(static_cast<unsigned char>(c)) ? RunOf(mask, i) : 1;
      switch (l) {
        case 'c':
          out += WholeDate();
          if (!FMidnight) out += " " + Locale(FSettings.LongTimeFormat.c_str());
          break;
        case 'd':
          out += Day(run);
          break;
        case 'm':
          // After an hour, m and mm are minutes.
          if (afterHour && run <= 2)
            out += run == 1 ? std::to_string(FParts.tm_min) : TwoDigits(FParts.tm_min);
          else
            out += Month(run);
          break;
        case 'y':
          out += run <= 2 ? TwoDigits((FParts.tm_year + 1900) % 100) : std::to_string(FParts.tm_year + 1900);
          break;
        case 'h': out += run == 1 ? std::to_string(Hour12OrNot(mask, i)) : TwoDigits(Hour12OrNot(mask, i)); break;
        case 'n': out += run == 1 ? std::to_string(FParts.tm_min) : TwoDigits(FParts.tm_min); break;
        case 's': out += run == 1 ? std::to_string(FParts.tm_sec) : TwoDigits(FParts.tm_sec); break;
        case 'z': {
          char b[8];
          std::snprintf(b, sizeof b, run >= 3 ? "%03d" : "%d", FMSec);
          out += b;
          break;
        }
        case 't':
          out += run == 1 ? Locale(ShortTimePattern(FSettings).c_str()) : Locale(FSettings.LongTimeFormat.c_str());
          break;
        default:
          out.append(mask.substr(i, run));
          break;
      }
      // Separators keep an hour's hold on a following m; any other letter ends it.
      if (std::isalpha(static_cast<unsigned char>(c))) afterHour = l == 'h';
      i += std::max<size_t>(run, 1);
    }
    return out;
  }

 private:
  std::string Locale(const char* pattern) const { return FSettings.FormatParts(pattern, FParts); }
  std::string WholeDate() const { return Locale(FSettings.ShortDateFormat.c_str()); }
  std::string Day(size_t run) const {
    switch (run) {
      case 1: return std::to_string(FParts.tm_mday);
      case 2: return TwoDigits(FParts.tm_mday);
      case 3: return Locale("%a");
      case 4: return Locale("%A");
      case 5: return WholeDate();
      default: return Locale("%A, %B %d, %Y");
    }
  }
  std::string Month(size_t run) const {
    switch (run) {
      case 1: return std::to_string(FParts.tm_mon + 1);
      case 2: return TwoDigits(FParts.tm_mon + 1);
      case 3: return Locale("%b");
      default: return Locale("%B");
    }
  }
  // With an am/pm marker anywhere in the mask hours count 1..12.
  int Hour12OrNot(std::string_view mask, size_t) const {
    for (size_t i = 0; i < mask.size(); ++i)
      if (StartsWithNoCase(mask, i, "am/pm") || StartsWithNoCase(mask, i, "a/p") || StartsWithNoCase(mask, i, "ampm"))
        return FParts.tm_hour % 12 == 0 ? 12 : FParts.tm_hour % 12;
    return FParts.tm_hour;
  }

  const TFormatSettings& FSettings;
  std::tm FParts{};
  int FMSec = 0;
  bool FMidnight = true;
};

}  // namespace

std::string FormatDateTimeMask(std::string_view mask, double value, const TFormatSettings& settings) {
  if (!std::isfinite(value)) return {};
  try {
    TDateWriter writer(value, settings);
    return writer.Write(mask.empty() ? std::string_view("c") : mask);
  } catch (const std::exception&) {
    return {};  // a value outside the calendar has no text
  }
}

}  // namespace rpt
