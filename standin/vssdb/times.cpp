// Stored wall-clock times of a SourceSafe database and the library's dates.
#include "standin/vssdb/times.h"

#include "standin/store.h"

namespace standin::vssdb {

// Days from 1899-12-30 (automation dates) to 1970-01-01 (stored times).
constexpr std::int64_t kEpochSeconds = std::int64_t{25569} * 86400;

double libraryDate(std::int64_t stored) {
  const std::int64_t even = stored - (stored % 2 + 2) % 2;
  return dateFromSeconds(even + kEpochSeconds);
}

}  // namespace standin::vssdb
