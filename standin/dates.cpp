// Automation dates (days since 1899-12-30, time of day as the fraction) and the date texts of
// scripts, dumps and the journal, exact to the second.
#include <cmath>
#include <cstdio>
#include <ctime>

#include "standin/dates.h"
#include "standin/store.h"

namespace standin {
namespace {

constexpr std::int64_t kDay = 86400;

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void civilFromDays(std::int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

// Days from 1970-01-01 back to 1899-12-30.
const std::int64_t kEpochShift = daysFromCivil(1899, 12, 30);

bool digits(std::string_view s, std::size_t at, std::size_t count, int& value) {
  if (at + count > s.size()) return false;
  value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    value = value * 10 + (s[i] - '0');
  }
  return true;
}

bool leap(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int daysInMonth(int y, int m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : days[m - 1];
}

}  // namespace

std::optional<std::int64_t> parseSeconds(std::string_view s, bool dateAlone) {
  int y, mo, d, h = 0, mi = 0, sec = 0;
  if (!digits(s, 0, 4, y) || s.size() < 10 || s[4] != '-' || !digits(s, 5, 2, mo) || s[7] != '-' ||
      !digits(s, 8, 2, d))
    return std::nullopt;
  if (s.size() == 10) {
    if (!dateAlone) return std::nullopt;
  } else {
    if (s[10] != ' ' || !digits(s, 11, 2, h) || s.size() < 16 || s[13] != ':' ||
        !digits(s, 14, 2, mi))
      return std::nullopt;
    if (s.size() != 16) {
      if (s.size() != 19 || s[16] != ':' || !digits(s, 17, 2, sec)) return std::nullopt;
    }
  }
  if (y < 100 || mo < 1 || mo > 12 || d < 1 || d > daysInMonth(y, mo) || h > 23 || mi > 59 ||
      sec > 59)
    return std::nullopt;
  std::int64_t days = daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d)) -
                      kEpochShift;
  return days * kDay + h * 3600 + mi * 60 + sec;
}

std::string formatSeconds(std::int64_t seconds) {
  std::int64_t days = seconds >= 0 ? seconds / kDay : -((-seconds + kDay - 1) / kDay);
  std::int64_t tod = seconds - days * kDay;
  int y;
  unsigned m, d;
  civilFromDays(days + kEpochShift, y, m, d);
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u %02d:%02d:%02d", y, m, d,
                static_cast<int>(tod / 3600), static_cast<int>(tod / 60 % 60),
                static_cast<int>(tod % 60));
  return buffer;
}

std::int64_t nowSeconds() {
  std::time_t t = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &t);
#else
  localtime_r(&t, &local);
#endif
  std::int64_t days = daysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                                    static_cast<unsigned>(local.tm_mday)) -
                      kEpochShift;
  return days * kDay + local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

// Automation dates before 1899-12-30 count the day backwards but the time of day forwards
// (-1.25 is 1899-12-29 06:00), so both directions split day and time of day.
std::int64_t secondsFromDate(double date) {
  if (date >= 0) return std::llround(date * kDay);
  double day = std::trunc(date);
  double timeOfDay = day - date;
  return static_cast<std::int64_t>(day) * kDay + std::llround(timeOfDay * kDay);
}

double dateFromSeconds(std::int64_t seconds) {
  if (seconds >= 0) return static_cast<double>(seconds) / kDay;
  std::int64_t day = -((-seconds + kDay - 1) / kDay);
  std::int64_t timeOfDay = seconds - day * kDay;
  // day is negative here: day -1 at 06:00 is -1.25.
  return static_cast<double>(day) - static_cast<double>(timeOfDay) / kDay;
}

std::optional<double> parseDateTime(std::string_view text) {
  auto seconds = parseSeconds(text, false);
  if (!seconds) return std::nullopt;
  return dateFromSeconds(*seconds);
}

std::string formatDateTime(double date) { return formatSeconds(secondsFromDate(date)); }

}  // namespace standin
