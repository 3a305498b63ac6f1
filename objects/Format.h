#pragma once
// Fills the %s and %d placeholders of a message text in order; "%%" is a percent sign.
#include <string>
#include <string_view>
#include <type_traits>

namespace rpt {

namespace detail {
inline std::string FormatArg(std::string_view s) { return std::string(s); }
inline std::string FormatArg(const char* s) { return s ? s : ""; }
inline std::string FormatArg(const std::string& s) { return s; }
template <class T>
  requires std::is_arithmetic_v<T>
std::string FormatArg(T v) { return std::to_string(v); }
std::string FormatImpl(std::string_view fmt, const std::string* args, size_t count);
}  // namespace detail

template <class... Args>
std::string Format(std::string_view fmt, const Args&... args) {
  const std::string converted[] = {std::string(), detail::FormatArg(args)...};
  return detail::FormatImpl(fmt, converted + 1, sizeof...(Args));
}

}  // namespace rpt
