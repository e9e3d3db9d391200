// The reader's one way into the file system: a whole file read, sharing it with every writer.
// SourceSafe's clients write the database while others read it (they append to item files,
// rewrite their headers in place, replace data files by renaming): a reader must neither lock
// them out nor keep them from deleting or renaming a file it has open. Tests put their own
// Files in its place to change a file between two reads.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace vssdb {

class Files {
 public:
  virtual ~Files() = default;
  // The file's bytes, or nothing when there is no such file. Throws std::runtime_error when it
  // is there but cannot be read.
  virtual std::optional<std::string> read(const std::filesystem::path& file) = 0;
};

// The system's files: on Windows opened with every share mode (read, write, delete), elsewhere
// with open(2); never created, written or locked.
Files& systemFiles();

// What is at a path: nothing (or nothing that can be asked about), a file or a folder.
enum class Kind { None, File, Folder };
Kind kindOf(const std::filesystem::path& path);
// The path made absolute against the current folder, "." and ".." taken out.
std::filesystem::path absolutePath(const std::filesystem::path& path);

// The local copy of a fetch: `content` written to a temporary file beside `file`, made read-only
// and moved over it; the folders above made first. False when `file` is there and writable (a
// copy edited by hand is left alone). Throws std::runtime_error naming what failed. On Windows
// through the system's calls alone: std::filesystem's operations would bring file streams and
// the runtime's locales into the console program, tripling its size.
bool writeReadOnlyCopy(const std::filesystem::path& file, std::string_view content);

}  // namespace vssdb
