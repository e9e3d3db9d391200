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

[[noreturn]] void cannot(const char* what, const std::filesystem::path& file, unsigned long code) {
  throw std::runtime_error(std::string(what) + " " + file.string() + " failed (error " +
                           std::to_string(code) + ")");
}
[[noreturn]] void fail(const std::filesystem::path& file, unsigned long code) {
  cannot("reading", file, code);
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

#ifdef _WIN32
Kind kindOf(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return Kind::None;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? Kind::Folder : Kind::File;
}

std::filesystem::path absolutePath(const std::filesystem::path& path) {
  const DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD n = GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  full.resize(n < size ? n : 0);
  return full.empty() ? path : std::filesystem::path(full);
}

namespace {

void makeFolders(const std::filesystem::path& folder) {
  if (folder.empty() || kindOf(folder) == Kind::Folder) return;
  if (folder.has_relative_path() && folder.parent_path() != folder)
    makeFolders(folder.parent_path());
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    cannot("making", folder, GetLastError());
}

}  // namespace

bool writeReadOnlyCopy(const std::filesystem::path& file, std::string_view content) {
  makeFolders(file.parent_path());
  const DWORD existing = GetFileAttributesW(file.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_READONLY) == 0)
    return false;
  const std::wstring temporary = file.wstring() + L".ostrabel-get";
  // A killed writer's leftover is read-only; Windows writes over no read-only file.
  SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
  const auto failed = [&](const char* what, DWORD code) {
    SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileW(temporary.c_str());
    cannot(what, file, code);
  };
  HANDLE h = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) failed("writing", GetLastError());
  DWORD code = 0;
  for (std::size_t done = 0; code == 0 && done < content.size();) {
    DWORD wrote = 0;
    const DWORD part =
        static_cast<DWORD>(content.size() - done < (1u << 20) ? content.size() - done : (1u << 20));
    if (!WriteFile(h, content.data() + done, part, &wrote, nullptr)) code = GetLastError();
    done += wrote;
  }
  if (!CloseHandle(h) && code == 0) code = GetLastError();
  if (code != 0) failed("writing", code);
  SetFileAttributesW(temporary.c_str(), FILE_ATTRIBUTE_READONLY);
  if (!MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    // Windows moves nothing over a read-only file: the old copy is made writable first, for the
    // moment until the new one replaces it.
    SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExW(temporary.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING))
      failed("replacing", GetLastError());
  }
  return true;
}
#else
Kind kindOf(const std::filesystem::path& path) {
  std::error_code ec;
  const auto status = std::filesystem::status(path, ec);
  if (std::filesystem::is_directory(status)) return Kind::Folder;
  return std::filesystem::exists(status) ? Kind::File : Kind::None;
}

std::filesystem::path absolutePath(const std::filesystem::path& path) {
  std::error_code ec;
  const auto full = std::filesystem::absolute(path, ec);
  return ec ? path : full.lexically_normal();
}

bool writeReadOnlyCopy(const std::filesystem::path& file, std::string_view content) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path folder = file.parent_path();
  if (!folder.empty() && kindOf(folder) != Kind::Folder && !fs::create_directories(folder, ec))
    cannot("making", folder, static_cast<unsigned long>(ec.value()));
  constexpr fs::perms kWritable =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  const fs::file_status existing = fs::status(file, ec);
  if (fs::exists(existing) && (existing.permissions() & fs::perms::owner_write) != fs::perms::none)
    return false;
  fs::path temporary = file;
  temporary += ".ostrabel-get";
  const auto failed = [&](const char* what, int code) {
    fs::remove(temporary, ec);
    cannot(what, file, static_cast<unsigned long>(code));
  };
  fs::remove(temporary, ec);  // a killed writer's leftover
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) failed("writing", errno);
  int code = 0;
  for (std::size_t done = 0; code == 0 && done < content.size();) {
    const ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0)
      code = wrote < 0 ? errno : EIO;
    else
      done += static_cast<std::size_t>(wrote);
  }
  if (::close(fd) != 0 && code == 0) code = errno;
  if (code != 0) failed("writing", code);
  fs::permissions(temporary, kWritable, fs::perm_options::remove, ec);
  fs::rename(temporary, file, ec);
  if (ec) failed("replacing", ec.value());
  return true;
}
#endif

}  // namespace vssdb
