// Automation dates (days since 1899-12-30, time of day as the fraction) and the date texts of
// scripts, dumps and the journal, exact to the second.
#include "standin/dates.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "standin/store.h"

namespace standin {
namespace {

using std::chrono::sys_days;
using std::chrono::year_month_day;
constexpr std::int64_t kDay = 86400;
constexpr sys_days kEpoch{std::chrono::year{1899} / 12 / 30};

std::int64_t secondsOf(const year_month_day& date, int h, int m, int s) {
  return (sys_days{date} - kEpoch).count() * kDay + h * 3600 + m * 60 + s;
}

// Whole days since the epoch, rounded down (also before it).
std::int64_t dayOf(std::int64_t seconds) { return seconds / kDay - (seconds % kDay < 0 ? 1 : 0); }

bool digits(std::string_view s, std::size_t at, std::size_t count, int& value) {
  if (at + count > s.size()) return false;
  value = 0;
  for (char c : s.substr(at, count)) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

}  // namespace

std::optional<std::int64_t> parseSeconds(std::string_view s) {
  int y, mo, d, h, mi, sec = 0;
  if ((s.size() != 16 && s.size() != 19) || !digits(s, 0, 4, y) || s[4] != '-' ||
      !digits(s, 5, 2, mo) || s[7] != '-' || !digits(s, 8, 2, d) || s[10] != ' ' ||
      !digits(s, 11, 2, h) || s[13] != ':' || !digits(s, 14, 2, mi) ||
      (s.size() == 19 && (s[16] != ':' || !digits(s, 17, 2, sec))))
    return std::nullopt;
  year_month_day date{std::chrono::year{y}, std::chrono::month(static_cast<unsigned>(mo)),
                      std::chrono::day(static_cast<unsigned>(d))};
  if (y < 100 || !date.ok() || h > 23 || mi > 59 || sec > 59) return std::nullopt;
  return secondsOf(date, h, mi, sec);
}

std::string formatSeconds(std::int64_t seconds) {
  std::int64_t days = dayOf(seconds), tod = seconds - days * kDay;
  year_month_day date{kEpoch + std::chrono::days{days}};
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02d:%02d:%02d",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(tod / 3600),
                static_cast<int>(tod / 60 % 60), static_cast<int>(tod % 60));
  return buffer;
}

std::int64_t localSecondsFromUtc(std::int64_t unixSeconds) {
  const auto t = static_cast<std::time_t>(unixSeconds);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  return secondsOf(
      std::chrono::year{local.tm_year + 1900} / static_cast<int>(local.tm_mon + 1) / local.tm_mday,
      local.tm_hour, local.tm_min, local.tm_sec);
}

std::int64_t nowSeconds() { return localSecondsFromUtc(std::time(nullptr)); }

// Automation dates before 1899-12-30 count the day backwards but the time of day forwards
// (-1.25 is 1899-12-29 06:00), so both directions split day and time of day.
std::int64_t secondsFromDate(double date) {
  if (date >= 0) return std::llround(date * kDay);
  double day = std::trunc(date);
  return static_cast<std::int64_t>(day) * kDay + std::llround((day - date) * kDay);
}

double dateFromSeconds(std::int64_t seconds) {
  if (seconds >= 0) return static_cast<double>(seconds) / kDay;
  std::int64_t day = dayOf(seconds);
  // day is negative here: day -1 at 06:00 is -1.25.
  return static_cast<double>(day) - static_cast<double>(seconds - day * kDay) / kDay;
}

std::optional<double> parseDateTime(std::string_view text) {
  auto seconds = parseSeconds(text);
  if (!seconds) return std::nullopt;
  return dateFromSeconds(*seconds);
}

std::string formatDateTime(double date) { return formatSeconds(secondsFromDate(date)); }

}  // namespace standin
