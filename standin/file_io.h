// The few file operations the store needs, with their durability: reads of a range, a write
// that is on disk before it returns, and an exclusive lock between processes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>

namespace standin::io {

class IoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The file's size, or -1 when there is no such file.
std::int64_t fileSize(const std::filesystem::path& file);

// Up to `length` bytes from `offset` (fewer at the end of the file).
std::string readRange(const std::filesystem::path& file, std::uint64_t offset,
                      std::uint64_t length);

// Cuts `file` to `keep` bytes (a crash's leftover beyond it goes), appends `data` and flushes
// both to disk before returning. Creates the file when missing.
void writeAt(const std::filesystem::path& file, std::uint64_t keep, std::string_view data);

// Creates or replaces `file` with `data`, flushed to disk when `flush`.
void writeFile(const std::filesystem::path& file, std::string_view data, bool flush = true);

// Makes a new directory entry durable (POSIX needs the directory flushed; Windows does not).
void syncDirectory(const std::filesystem::path& dir);

// Held while a process appends to a store; blocks until no other process holds it.
class ExclusiveLock {
 public:
  explicit ExclusiveLock(const std::filesystem::path& lockFile);
  ~ExclusiveLock();
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

 private:
#ifdef _WIN32
  void* handle_;
#else
  int fd_;
#endif
};

}  // namespace standin::io
