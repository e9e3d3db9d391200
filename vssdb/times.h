// The times of a SourceSafe database and the library's dates. A log record stores its time as
// seconds since 1970-01-01 00:00 of a wall clock: the clock of the machine that wrote it.
// SourceSafe 6.0d's library reports that wall clock as it is, whatever the [TimeZone] section of
// srcsafe.ini or the reading machine's zone say, in steps of two seconds (docs/standin.md,
// "Times").
#pragma once

#include <cstdint>

namespace vssdb {

// The automation date IVSSVersion.Date gives for a stored time: the stored wall clock, an odd
// second one second earlier.
double libraryDate(std::int64_t stored);

}  // namespace vssdb
