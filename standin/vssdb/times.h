// The times of a SourceSafe database and the library's dates. A log record stores its time as
// seconds since 1970-01-01 00:00 of a wall clock, not of UTC: the clock of the machine that
// wrote it, which SourceSafe 2005 keeps in the database's own time zone when srcsafe.ini has a
// [TimeZone] section (TZ_Bias and the daylight rules, as Windows' TIME_ZONE_INFORMATION words
// them). IVSSVersion.Date is a local-time automation date of the reading machine. What is fact
// and what is guess: docs/standin.md.
#pragma once

#include <cstdint>
#include <map>
#include <string>

namespace standin::vssdb {

class TimeZone {
 public:
  // The [TimeZone] section of srcsafe.ini, keys in lower case; an empty map: no section.
  static TimeZone fromSection(const std::map<std::string, std::string>& section);

  // False for a database without [TimeZone] (SourceSafe 6.0): its times are shown as stored.
  bool present() const { return present_; }
  // Minutes to add to the database's wall clock at `stored` to get UTC.
  int biasAt(std::int64_t stored) const;
  // The automation date the library reports for a stored time: the database's wall clock turned
  // into UTC and then into this machine's local time; without [TimeZone], the stored wall
  // clock itself.
  double date(std::int64_t stored) const;

 private:
  // A change between standard and daylight time, as SYSTEMTIME words it: in a year of 0, the
  // `day`th Sunday (5: the last) of `month`; else that very date.
  struct Change {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0;
    // The wall clock of the change in `inYear`, seconds since 1970.
    std::int64_t at(int inYear) const;
  };
  bool present_ = false;
  int bias_ = 0, standardBias_ = 0, daylightBias_ = 0;
  bool daylight_ = false;
  Change toDaylight_, toStandard_;
};

}  // namespace standin::vssdb
