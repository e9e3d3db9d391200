// File operations of the store: POSIX calls natively, wide-character Win32 calls on Windows.
#include "standin/file_io.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace standin::io {
namespace {

[[noreturn]] void fail(const std::filesystem::path& file, const char* what) {
#ifdef _WIN32
  unsigned long code = GetLastError();
  throw IoError(std::string(what) + " " + file.string() + " failed (error " +
                std::to_string(code) + ")");
#else
  int code = errno;
  throw IoError(std::string(what) + " " + file.string() + " failed: " + std::strerror(code));
#endif
}

#ifdef _WIN32
struct Handle {
  HANDLE h = INVALID_HANDLE_VALUE;
  ~Handle() {
    if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
  }
};

void writeAll(HANDLE h, const std::filesystem::path& file, std::string_view data) {
  while (!data.empty()) {
    DWORD chunk = data.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(data.size());
    DWORD written = 0;
    if (!WriteFile(h, data.data(), chunk, &written, nullptr)) fail(file, "writing");
    data.remove_prefix(written);
  }
}
#else
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

void writeAll(int fd, const std::filesystem::path& file, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(file, "writing");
    }
    data.remove_prefix(static_cast<std::size_t>(n));
  }
}
#endif

}  // namespace

std::int64_t fileSize(const std::filesystem::path& file) {
  std::error_code ec;
  auto size = std::filesystem::file_size(file, ec);
  if (ec) return -1;
  return static_cast<std::int64_t>(size);
}

std::string readRange(const std::filesystem::path& file, std::uint64_t offset,
                      std::uint64_t length) {
  std::string data;
#ifdef _WIN32
  Handle f;
  f.h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f.h == INVALID_HANDLE_VALUE) fail(file, "opening");
  LARGE_INTEGER size;
  if (!GetFileSizeEx(f.h, &size)) fail(file, "reading");
  auto total = static_cast<std::uint64_t>(size.QuadPart);
  if (offset >= total) return data;
  if (length > total - offset) length = total - offset;
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(f.h, at, nullptr, FILE_BEGIN)) fail(file, "reading");
  data.resize(static_cast<std::size_t>(length));
  std::size_t done = 0;
  while (done < data.size()) {
    DWORD chunk = data.size() - done > (1u << 30) ? (1u << 30) : static_cast<DWORD>(data.size() - done);
    DWORD got = 0;
    if (!ReadFile(f.h, data.data() + done, chunk, &got, nullptr)) fail(file, "reading");
    if (got == 0) break;
    done += got;
  }
  data.resize(done);
#else
  Fd f;
  f.fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (f.fd < 0) fail(file, "opening");
  struct stat st;
  if (::fstat(f.fd, &st) != 0) fail(file, "reading");
  auto total = static_cast<std::uint64_t>(st.st_size);
  if (offset >= total) return data;
  if (length > total - offset) length = total - offset;
  data.resize(static_cast<std::size_t>(length));
  std::size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::pread(f.fd, data.data() + done, data.size() - done,
                        static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(file, "reading");
    }
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
  }
  data.resize(done);
#endif
  return data;
}

void writeAt(const std::filesystem::path& file, std::uint64_t keep, std::string_view data) {
#ifdef _WIN32
  Handle f;
  f.h = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f.h == INVALID_HANDLE_VALUE) fail(file, "opening");
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(keep);
  if (!SetFilePointerEx(f.h, at, nullptr, FILE_BEGIN) || !SetEndOfFile(f.h)) fail(file, "cutting");
  writeAll(f.h, file, data);
  if (!FlushFileBuffers(f.h)) fail(file, "flushing");
#else
  Fd f;
  f.fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (f.fd < 0) fail(file, "opening");
  if (::ftruncate(f.fd, static_cast<off_t>(keep)) != 0) fail(file, "cutting");
  if (::lseek(f.fd, static_cast<off_t>(keep), SEEK_SET) < 0) fail(file, "seeking");
  writeAll(f.fd, file, data);
  if (::fsync(f.fd) != 0) fail(file, "flushing");
#endif
}

void writeFile(const std::filesystem::path& file, std::string_view data, bool flush) {
#ifdef _WIN32
  Handle f;
  f.h = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f.h == INVALID_HANDLE_VALUE) fail(file, "creating");
  writeAll(f.h, file, data);
  if (flush && !FlushFileBuffers(f.h)) fail(file, "flushing");
#else
  Fd f;
  f.fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (f.fd < 0) fail(file, "creating");
  writeAll(f.fd, file, data);
  if (flush && ::fsync(f.fd) != 0) fail(file, "flushing");
#endif
}

void syncDirectory([[maybe_unused]] const std::filesystem::path& dir) {
#ifndef _WIN32
  Fd f;
  f.fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (f.fd >= 0) ::fsync(f.fd);
#endif
}

ExclusiveLock::ExclusiveLock(const std::filesystem::path& lockFile) {
#ifdef _WIN32
  handle_ = CreateFileW(lockFile.c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                        OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle_ == INVALID_HANDLE_VALUE) fail(lockFile, "opening");
  OVERLAPPED whole{};
  if (!LockFileEx(handle_, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &whole)) {
    CloseHandle(handle_);
    fail(lockFile, "locking");
  }
#else
  fd_ = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd_ < 0) fail(lockFile, "opening");
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      ::close(fd_);
      fail(lockFile, "locking");
    }
  }
#endif
}

ExclusiveLock::~ExclusiveLock() {
#ifdef _WIN32
  OVERLAPPED whole{};
  UnlockFileEx(handle_, 0, 1, 0, &whole);
  CloseHandle(handle_);
#else
  ::flock(fd_, LOCK_UN);
  ::close(fd_);
#endif
}

}  // namespace standin::io
