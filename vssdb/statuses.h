// The statuses the reader of SourceSafe databases fails with: SourceSafe 6.0d's own for the same
// cases (ssauterr.h gives each `MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, (USHORT) code)`, the
// others measured), docs/standin.md lists which is which.
#pragma once

#include <cstdint>

#include "vss/port.h"

namespace vssdb::status {

constexpr std::int32_t ess(int code) {
  return static_cast<std::int32_t>(0x80040000u | static_cast<std::uint16_t>(code));
}

// ESS_FILE_NOTFOUND `File "%s" not found`, ESS_CORRUPT `File %s may be corrupt`,
// ESS_SS_INSUFRIGHTS `You do not have access rights to %s`; measured: "Error reading from file",
// "A history operation is already in progress", and the status of a lookup through a deleted
// project, which is no ESS code at all.
constexpr std::int32_t kIniNotFound = ess(-10178);
constexpr std::int32_t kCorrupt = ess(-10600);
constexpr std::int32_t kNoRights = ess(-10423);
constexpr std::int32_t kReadError = ess(-10180);
constexpr std::int32_t kHistoryInProgress = ess(-10404);
constexpr std::int32_t kThroughDeleted = static_cast<std::int32_t>(0xFFFF8001);
// Our own: a failure of the system (E_FAIL, E_ACCESSDENIED, a path not found).
constexpr std::int32_t kFailed = static_cast<std::int32_t>(0x80004005);
constexpr std::int32_t kAccessDenied = static_cast<std::int32_t>(0x80070005);
constexpr std::int32_t kPathNotFound = static_cast<std::int32_t>(0x80070003);
static_assert(kIniNotFound == static_cast<std::int32_t>(0x8004D83E));
static_assert(kCorrupt == static_cast<std::int32_t>(0x8004D698));
static_assert(kNoRights == static_cast<std::int32_t>(0x8004D749));
static_assert(kReadError == static_cast<std::int32_t>(0x8004D83C));
static_assert(kHistoryInProgress == static_cast<std::int32_t>(0x8004D75C));

}  // namespace vssdb::status
