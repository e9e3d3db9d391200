// File operations of the store: standard streams, and the lock with each system's own call.
#include "standin/file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace standin::io {
namespace {

[[noreturn]] void fail(const std::filesystem::path& file, const char* what) {
  throw IoError(std::string(what) + " " + file.string() + " failed: " + std::strerror(errno));
}

void write(const std::filesystem::path& file, std::string_view data, std::ios::openmode mode) {
  std::ofstream out(file, std::ios::binary | mode);
  if (!out) fail(file, "opening");
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  out.close();
  if (!out) fail(file, "writing");
}

}  // namespace

std::int64_t fileSize(const std::filesystem::path& file) {
  std::error_code ec;
  auto size = std::filesystem::file_size(file, ec);
  return ec ? -1 : static_cast<std::int64_t>(size);
}

std::string readRange(const std::filesystem::path& file, std::uint64_t offset,
                      std::uint64_t length) {
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  if (!in) fail(file, "opening");
  auto total = static_cast<std::uint64_t>(in.tellg());
  if (offset >= total) return {};
  std::string data(static_cast<std::size_t>(std::min(length, total - offset)), '\0');
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(data.data(), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<std::size_t>(in.gcount()));  // the file may have shrunk meanwhile
  return data;
}

void writeAt(const std::filesystem::path& file, std::uint64_t keep, std::string_view data) {
  std::error_code ec;
  std::filesystem::resize_file(file, keep, ec);
  if (ec) throw IoError("cutting " + file.string() + " failed: " + ec.message());
  write(file, data, std::ios::app);
}

void writeFile(const std::filesystem::path& file, std::string_view data) {
  write(file, data, std::ios::trunc);
}

#ifdef _WIN32
ExclusiveLock::ExclusiveLock(const std::filesystem::path& lockFile) {
  handle_ = CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  OVERLAPPED whole{};
  if (handle_ != INVALID_HANDLE_VALUE &&
      LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole))
    return;
  auto code = GetLastError();
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  throw IoError("locking " + lockFile.string() + " failed (error " + std::to_string(code) + ")");
}

ExclusiveLock::~ExclusiveLock() {
  OVERLAPPED whole{};
  UnlockFileEx(handle_, 0, 1, 0, &whole);
  CloseHandle(handle_);
}
#else
ExclusiveLock::ExclusiveLock(const std::filesystem::path& lockFile) {
  fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) fail(lockFile, "opening");
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd_);
      fail(lockFile, "locking");
    }
  }
}

ExclusiveLock::~ExclusiveLock() {
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
}
#endif

}  // namespace standin::io
