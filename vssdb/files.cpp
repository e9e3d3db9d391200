// Whole files read as the system gives them, with no lock and no share mode withheld.
#include "vssdb/files.h"

#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#endif

namespace vssdb {
namespace {

[[noreturn]] void fail(const std::filesystem::path& file, unsigned long code) {
  throw std::runtime_error("reading " + file.string() + " failed (error " + std::to_string(code) +
                           ")");
}

class SystemFiles final : public Files {
 public:
#ifdef _WIN32
  std::optional<std::string> read(const std::filesystem::path& file) override {
    HANDLE h = CreateFileW(
        file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD code = GetLastError();
      if (code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND) return std::nullopt;
      fail(file, code);
    }
    std::string bytes;
    LARGE_INTEGER size{};
    DWORD code = 0;
    if (!GetFileSizeEx(h, &size)) code = GetLastError();
    // What a writer appends after the size was taken is read too, up to the end the read finds.
    bytes.resize(static_cast<std::size_t>(size.QuadPart) + 4096);
    std::size_t done = 0;
    while (code == 0) {
      if (done == bytes.size()) bytes.resize(bytes.size() * 2);
      DWORD got = 0;
      if (!ReadFile(h, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &got,
                    nullptr)) {
        code = GetLastError();
        break;
      }
      if (got == 0) break;
      done += got;
    }
    CloseHandle(h);
    if (code != 0) fail(file, code);
    bytes.resize(done);
    return bytes;
  }
#else
  std::optional<std::string> read(const std::filesystem::path& file) override {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      if (errno == ENOENT || errno == ENOTDIR) return std::nullopt;
      fail(file, static_cast<unsigned long>(errno));
    }
    struct stat st {};
    std::string bytes;
    int code = ::fstat(fd, &st) == 0 ? 0 : errno;
    bytes.resize(static_cast<std::size_t>(st.st_size) + 4096);
    std::size_t done = 0;
    while (code == 0) {
      if (done == bytes.size()) bytes.resize(bytes.size() * 2);
      const ssize_t got = ::read(fd, bytes.data() + done, bytes.size() - done);
      if (got < 0) {
        if (errno == EINTR) continue;
        code = errno;
        break;
      }
      if (got == 0) break;
      done += static_cast<std::size_t>(got);
    }
    ::close(fd);
    if (code != 0) fail(file, static_cast<unsigned long>(code));
    bytes.resize(done);
    return bytes;
  }
#endif
};

}  // namespace

Files& systemFiles() {
  static SystemFiles files;
  return files;
}

}  // namespace vssdb
