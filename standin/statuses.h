// The failure statuses the stand-in's libraries report: the library's own (ssauterr.h gives each
// `MAKE_HRESULT(SEVERITY_ERROR, FACILITY_ITF, (USHORT) code)`), and those of our own choosing
// where no public fact says what the library reports (docs/standin.md lists which are which).
#pragma once

#include <cstdint>

#include "vss/port.h"

namespace standin::status {

constexpr std::int32_t ess(int code) {
  return static_cast<std::int32_t>(0x80040000u | static_cast<std::uint16_t>(code));
}

// ESS_FILE_NOTFOUND `File "%s" not found`, ESS_VS_LONGNAME `%s is an invalid %s name`,
// ESS_SS_SHARED `File %s is already shared by this project`, ESS_CORRUPT `File %s may be
// corrupt`, ESS_SS_INSUFRIGHTS `You do not have access rights to %s`.
constexpr std::int32_t kIniNotFound = ess(-10178);
constexpr std::int32_t kInvalidName = ess(-10605);
constexpr std::int32_t kSharedHere = ess(-10450);
constexpr std::int32_t kCorrupt = ess(-10600);
constexpr std::int32_t kNoRights = ess(-10423);
// Measured on SourceSafe 6.0d's library: "Error reading from file" (an item file that fails its
// checks), "A history operation is already in progress" (a second history read while one is),
// and the status of a lookup through a deleted project, which is no ESS code at all.
constexpr std::int32_t kReadError = ess(-10180);
constexpr std::int32_t kHistoryInProgress = ess(-10404);
constexpr std::int32_t kThroughDeleted = static_cast<std::int32_t>(0xFFFF8001);
static_assert(kIniNotFound == static_cast<std::int32_t>(0x8004D83E));
static_assert(kSharedHere == vss::kAlreadyShared);
static_assert(kCorrupt == static_cast<std::int32_t>(0x8004D698));
static_assert(kNoRights == static_cast<std::int32_t>(0x8004D749));
static_assert(kReadError == vss::kReadError);
static_assert(kHistoryInProgress == static_cast<std::int32_t>(0x8004D75C));
static_assert(ess(-10604) == vss::kItemExists);       // ESS_VS_ITEMEXISTS
static_assert(ess(-10609) == vss::kNotFound);         // ESS_VS_NOT_FOUND
static_assert(ess(-10551) == vss::kInvalidPassword);  // ESS_UM_BAD_PASSWORD
static_assert(ess(-10558) == vss::kUserNotFound);     // ESS_UM_USER_NOT_FOUND

// Our own choices.
constexpr std::int32_t kNotOpen = static_cast<std::int32_t>(0x8004D6D6);
constexpr std::int32_t kFailed = static_cast<std::int32_t>(0x80004005);
constexpr std::int32_t kPathNotFound = static_cast<std::int32_t>(0x80070003);
constexpr std::int32_t kAccessDenied = static_cast<std::int32_t>(0x80070005);
// HRESULT_FROM_WIN32(ERROR_BUSY): a call of a database object while another database object of
// the process reads a history, where the library waits for that history to be closed (for ever,
// in a program of one thread).
constexpr std::int32_t kWaitsForHistory = static_cast<std::int32_t>(0x800700AA);
// RPC_E_DISCONNECTED, COM's status for an object whose server no longer holds what it stood for:
// an object made before its store was restored or replaced on disk.
constexpr std::int32_t kStale = static_cast<std::int32_t>(0x80010108);

}  // namespace standin::status
