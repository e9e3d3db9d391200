// Stored wall-clock times of a SourceSafe database and the library's dates.
#include "vssdb/times.h"

namespace vssdb {

// Days from 1899-12-30 (automation dates) to 1970-01-01 (stored times).
constexpr std::int64_t kEpochSeconds = std::int64_t{25569} * 86400;

// Stored times are unsigned counts since 1970, so the date is never before 1899-12-30, where
// automation dates would count the time of day backwards.
double libraryDate(std::int64_t stored) {
  const std::int64_t even = stored - (stored % 2 + 2) % 2;
  return static_cast<double>(even + kEpochSeconds) / 86400.0;
}

}  // namespace vssdb
