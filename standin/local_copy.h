// What Get does with a fetched file, for every kind of database the stand-in opens: the local
// path as the caller wrote it, and the copy written as the library writes it with flags 0.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// A local path of the caller: "\" separates levels as "/" does (the engine joins with "\").
std::filesystem::path localPath(const std::wstring& local);

// Writes a fetched file as Get with flags 0 does: read-only (the library's default), replacing
// a read-only copy. The library answers its own questions: "Folder %s not found, create?" with
// Yes, so missing folders are made, and "%s is writable, replace?" with No, so a writable copy
// is left as it is, and the caller "never even knows the question happened": no failure.
// The new copy is written beside its place under a temporary name, made read-only there and only
// then moved into place, so that a process killed while writing leaves the old copy (or none)
// and a stray temporary file: never a read-only copy cut short, which would pass as fetched.
// True when the copy was written (false: a writable copy was left). Throws vss::Error.
bool writeLocalCopy(const std::wstring& local, std::string_view content);
// The same at a path of the stand-in's own (`shown` names it in failures).
bool writeLocalCopy(const std::filesystem::path& path, std::string_view content,
                    const std::wstring& shown);

// What the library leaves beside the copies it fetches, SourceSafe's own bookkeeping: one
// `vssver.scc` a folder for the files fetched there from one project, and `mssccprj.scc` beside a
// project or solution file. One a database object, as the library keeps it: it remembers the
// folder of its last fetch and writes that folder's vssver.scc only when it fetches into another
// folder (the last folder's is never written, not even when the database object goes); a
// vssver.scc of another project in a folder fetched into goes at once; one it cannot read stays as
// it is. mssccprj.scc is written at once, read-only.
class Bookkeeping {
 public:
  struct Fetched {
    std::filesystem::path copy;   // where the file was written
    std::string database;         // tells databases apart in vssver.scc (16 bytes kept)
    std::uint32_t project = 0;    // the project fetched from: its number
    std::string projectSpec;      // and its path, "$/App" (UTF-8)
    std::string projectPhysical;  // its physical name where the number does not make it
    std::wstring databaseFolder;  // the folder of the database's srcsafe.ini, as given
    std::uint32_t file = 0;       // the file's number
    std::uint32_t version = 0;    // the version fetched
    std::string_view content;     // its bytes
  };
  void fetched(const Fetched& f);

 private:
  struct Entry {
    std::uint32_t file, crc, version;
  };
  void writeVssver() const;

  std::filesystem::path folder_;  // of the last fetch; empty before the first
  std::string database_;
  std::uint32_t project_ = 0;
  std::vector<Entry> entries_;
};

}  // namespace standin
