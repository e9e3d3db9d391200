// The source-control port (vss/port.h) over a database made by real SourceSafe, read directly
// from its files and never written: what OstrabelCli.exe's direct runs use instead of SourceSafe's
// automation library, and what the stand-in's COM server serves real databases through. It
// answers as SourceSafe 6.0d's library answers (docs/standin.md, "Real SourceSafe databases");
// what would change the database is refused.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "vss/port.h"
#include "vssdb/database.h"

namespace vssdb {

struct Settings {
  Reading reading;
  // Writes a fetched file to the caller's path. Left empty: as Get with flags 0 writes it
  // (writeCopy below), and nothing beside it.
  std::function<void(const std::wstring& local, std::string_view content)> writeCopy;
  // Told of a file that changed at every read of it (its path and why), which is then failed
  // as damaged (0x80040000 with that text).
  std::function<void(const std::wstring& spec, const std::wstring& why)> onTorn;
};

// Every call gives a new, unopened database object. Open takes the database's srcsafe.ini.
std::unique_ptr<vss::Library> makeLibrary(Settings settings = {});

// The database in `dir` opened for the user, as Open does: an unknown user fails with 0x8004D6C2,
// a wrong password with 0x8004D6C9 (the hash um.dat keeps), a um.dat that is no user file with
// 0x8004D698.
class Session;
std::shared_ptr<Session> openSession(const std::filesystem::path& dir, const std::wstring& username,
                                     const std::wstring& password, Settings settings = {});
// The item of a path, as VSSItem(spec, deleted) gives it; 0x8004D68F when there is none.
std::unique_ptr<vss::Item> sessionItem(const std::shared_ptr<Session>& session,
                                       const std::wstring& spec, bool deleted);

// A local path of the caller: "\" separates levels as "/" does.
std::filesystem::path localPath(const std::wstring& local);
// Writes a fetched file as Get with flags 0 does: read-only (the library's default), replacing
// a read-only copy; missing folders are made, a writable copy is left as it is (the library's
// answers to its own questions). Written under a temporary name beside its place and moved there,
// so that a killed process never leaves a read-only copy cut short. Throws vss::Error.
void writeCopy(const std::wstring& local, std::string_view content);

}  // namespace vssdb
