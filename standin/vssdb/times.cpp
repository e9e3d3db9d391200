// Stored wall-clock times of a SourceSafe database and the library's local-time dates.
#include "standin/vssdb/times.h"

#include <chrono>
#include <cstdio>

#include "standin/dates.h"
#include "standin/store.h"

namespace standin::vssdb {
namespace {

using namespace std::chrono;
constexpr std::int64_t kDay = 86400;
// Days from 1899-12-30 (automation dates) to 1970-01-01 (stored times).
constexpr std::int64_t kEpochDays = 25569;

int number(const std::map<std::string, std::string>& section, const std::string& key) {
  auto it = section.find(key);
  if (it == section.end()) return 0;
  try {
    return std::stoi(it->second);
  } catch (const std::exception&) {
    return 0;
  }
}

int yearOf(std::int64_t stored) {
  return static_cast<int>(
      year_month_day{sys_days{days{stored / kDay - (stored % kDay < 0)}}}.year());
}

}  // namespace

std::int64_t TimeZone::Change::at(int inYear) const {
  year_month_day date;
  if (year != 0) {
    date = year_month_day{std::chrono::year{year}, std::chrono::month(static_cast<unsigned>(month)),
                          std::chrono::day(static_cast<unsigned>(day))};
  } else {
    const auto ym = std::chrono::year{inYear} / std::chrono::month(static_cast<unsigned>(month));
    date = day >= 5 ? year_month_day{sys_days{ym / Sunday[last]}}
                    : year_month_day{sys_days{ym / Sunday[static_cast<unsigned>(day)]}};
  }
  return sys_days{date}.time_since_epoch().count() * kDay + hour * 3600 + minute * 60;
}

TimeZone TimeZone::fromSection(const std::map<std::string, std::string>& section) {
  TimeZone z;
  z.present_ = section.count("tz_bias") != 0;
  z.bias_ = number(section, "tz_bias");
  z.standardBias_ = number(section, "tz_standardbias");
  z.daylightBias_ = number(section, "tz_daylightbias");
  auto change = [&](const std::string& key, Change& c) {
    auto it = section.find(key);
    return it != section.end() &&
           std::sscanf(it->second.c_str(), "%d/%d/%d %d:%d", &c.year, &c.month, &c.day, &c.hour,
                       &c.minute) == 5 &&
           c.month >= 1 && c.month <= 12 && c.day >= 1 && c.day <= 31;
  };
  auto use = section.find("tz_usedaylightsavingtime");
  const bool wanted =
      use == section.end() || use->second.empty() || use->second[0] == 'Y' || use->second[0] == 'y';
  z.daylight_ = wanted && change("tz_daylightdate", z.toDaylight_) &&
                change("tz_standarddate", z.toStandard_);
  return z;
}

int TimeZone::biasAt(std::int64_t stored) const {
  if (!daylight_) return bias_ + standardBias_;
  const int y = yearOf(stored);
  const std::int64_t start = toDaylight_.at(y), end = toStandard_.at(y);
  const bool summer =
      start < end ? stored >= start && stored < end : stored >= start || stored < end;
  return bias_ + (summer ? daylightBias_ : standardBias_);
}

double TimeZone::date(std::int64_t stored) const {
  if (!present_) return dateFromSeconds(stored + kEpochDays * kDay);
  return dateFromSeconds(
      localSecondsFromUtc(stored + static_cast<std::int64_t>(biasAt(stored)) * 60));
}

}  // namespace standin::vssdb
