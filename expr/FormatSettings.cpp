#include "expr/FormatSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <memory>

namespace rpt {

namespace {

struct TLocaleDeleter {
  void operator()(locale_t locale) const {
    if (locale) freelocale(locale);
  }
};
using TLocale = std::unique_ptr<std::remove_pointer_t<locale_t>, TLocaleDeleter>;

TLocale OpenLocale(const std::string& name) {
  TLocale locale(newlocale(LC_ALL_MASK, name.c_str(), static_cast<locale_t>(nullptr)));
  if (!locale) locale.reset(newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr)));
  return locale;
}

TFormatSettings& GlobalSettings() {
  static TFormatSettings settings = TFormatSettings::FromSystem();
  return settings;
}

TEvClock gClock = nullptr;

}  // namespace

TFormatSettings TFormatSettings::FromLocale(const std::string& name) {
  TFormatSettings settings;
  TLocale locale(newlocale(LC_ALL_MASK, name.c_str(), static_cast<locale_t>(nullptr)));
  if (!locale) return settings;
  auto item = [&](nl_item what, std::string& into) {
    const char* text = nl_langinfo_l(what, locale.get());
    if (text && *text) into = text;
  };
  item(RADIXCHAR, settings.DecimalSeparator);
  item(THOUSEP, settings.ThousandSeparator);
  item(D_FMT, settings.ShortDateFormat);
  item(T_FMT, settings.LongTimeFormat);
  settings.LocaleName = name;
  return settings;
}

// An empty name is the environment's locale (LC_ALL, LC_*, LANG).
TFormatSettings TFormatSettings::FromSystem() { return FromLocale(""); }

std::string TFormatSettings::FormatTime(const char* pattern, std::time_t moment) const {
  std::tm parts{};
  localtime_r(&moment, &parts);
  return FormatParts(pattern, parts);
}

std::string TFormatSettings::FormatParts(const char* pattern, const std::tm& parts) const {
  const TLocale locale = OpenLocale(LocaleName);
  char buffer[512];
  const size_t length = locale ? strftime_l(buffer, sizeof buffer, pattern, &parts, locale.get())
                               : std::strftime(buffer, sizeof buffer, pattern, &parts);
  return std::string(buffer, length);
}

const TFormatSettings& EvFormatSettings() { return GlobalSettings(); }

void SetEvFormatSettings(const TFormatSettings& settings) { GlobalSettings() = settings; }

void SetEvClock(TEvClock clock) { gClock = clock; }

std::time_t EvNow() { return gClock ? gClock() : std::time(nullptr); }

}  // namespace rpt
