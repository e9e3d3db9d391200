// What the stand-in's database objects serve when the srcsafe.ini given to Open is beside a
// database made by real SourceSafe: the reader's port over it (vssdb/library.h), read-only, its
// fetched files written as the stand-in writes them (local_copy.h) with the library's bookkeeping
// files beside them, and its histories opened through the process's one open history
// (history_gate.h), as for the stand-in's own stores.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "vss/port.h"
#include "vssdb/library.h"

namespace standin {

using RealSession = vssdb::Session;

// Opens the database in `dir` (whose srcsafe.ini the caller named in `databaseFolder`) for the
// user: an unknown user fails with 0x8004D6C2, a wrong password with 0x8004D6C9, a damaged um.dat
// with 0x8004D698.
std::shared_ptr<RealSession> openReal(const std::filesystem::path& dir,
                                      const std::wstring& databaseFolder,
                                      const std::wstring& username, const std::wstring& password);

// The item of a path, as VSSItem(spec, deleted) gives it; 0x8004D68F when there is none.
std::unique_ptr<vss::Item> realItem(const std::shared_ptr<RealSession>& session,
                                    const std::wstring& spec, bool deleted);

}  // namespace standin
