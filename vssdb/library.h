// The source-control port (vss/port.h) over a database made by real SourceSafe, read directly
// from its files and never written: what OstrabelCli.exe's direct runs use instead of SourceSafe's
// automation library, and what the stand-in's COM server serves real databases through. It
// answers as SourceSafe 6.0d's library answers (docs/standin.md, "Real SourceSafe databases");
// what would change the database is refused.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "vss/port.h"
#include "vssdb/database.h"

namespace vssdb {

// A file Get wrote, as the caller of the library is told of it.
struct Fetched {
  std::wstring local;           // the path as the caller gave it
  std::string_view content;     // the bytes written
  std::string root;             // the root project's physical name
  std::uint32_t project = 0;    // the project the file was reached through: its number
  std::string projectSpec;      // and its path, as the database spells it (UTF-8)
  std::string projectPhysical;  // and its physical name
  std::uint32_t file = 0;       // the file's number
  long version = 0;             // the version fetched, 0 when its history cannot be read
};

struct Settings {
  Reading reading;
  // Writes a fetched file to the caller's path, true when it was written. Left empty: as Get
  // with flags 0 writes it (writeCopy below), and nothing beside it.
  std::function<bool(const std::wstring& local, std::string_view content)> writeCopy;
  // Told of a file that changed at every read of it (its path and why), which is then failed
  // as damaged (0x80040000 with that text).
  std::function<void(const std::wstring& spec, const std::wstring& why)> onTorn;
  // What a caller keeps around the calls of a database object (`reader`), as SourceSafe's library
  // keeps its one open history a process and its bookkeeping files beside Get's copies: the
  // stand-in does; the direct runs leave these empty. `beforeRead` comes before every call that
  // reads the database (VSSItem, Items, a history, Get) and may throw vss::Error; `history`
  // when a history opens (may throw) and when it closes (must not); `fetched` after Get wrote a
  // file.
  std::function<void(const void* reader)> beforeRead;
  std::function<void(const void* reader, bool opens)> history;
  std::function<void(const Fetched& fetched)> fetched;
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
// so that a killed process never leaves a read-only copy cut short. True when the copy was
// written (false: a writable copy was left). Throws vss::Error.
bool writeCopy(const std::wstring& local, std::string_view content);

}  // namespace vssdb
