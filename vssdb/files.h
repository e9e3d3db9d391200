// The reader's one way into the file system: a whole file read, sharing it with every writer.
// SourceSafe's clients write the database while others read it (they append to item files,
// rewrite their headers in place, replace data files by renaming): a reader must neither lock
// them out nor keep them from deleting or renaming a file it has open. Tests put their own
// Files in its place to change a file between two reads.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

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

}  // namespace vssdb
