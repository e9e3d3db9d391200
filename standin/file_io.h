// The few file operations the store needs: reads of a range, a journal cut back and appended to,
// and an exclusive lock between processes. Nothing is flushed to disk: what a killed process
// wrote is kept by the system, and no job of the stand-in has to survive a crash of the system.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "standin/store.h"

namespace standin::io {

class IoError : public ToolError {
 public:
  using ToolError::ToolError;
};

// The file's size, or -1 when there is no such file.
std::int64_t fileSize(const std::filesystem::path& file);

// Up to `length` bytes from `offset` (fewer at the end of the file).
std::string readRange(const std::filesystem::path& file, std::uint64_t offset,
                      std::uint64_t length);

// Cuts `file` to `keep` bytes (a killed writer's leftover beyond it goes) and appends `data`.
void writeAt(const std::filesystem::path& file, std::uint64_t keep, std::string_view data);

// Creates or replaces `file` with `data`.
void writeFile(const std::filesystem::path& file, std::string_view data);

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
