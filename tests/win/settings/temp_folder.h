// A scratch folder for tests on the real file system: removed when it is made (in case an
// earlier run was killed) and again when it goes, read-only and hidden files included.
#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

namespace testing_support {

class TempFolder {
 public:
  explicit TempFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH] = {};
    GetTempPathW(MAX_PATH, temp);
    path_ = std::filesystem::path(temp) / (name + L"-" + std::to_wstring(GetCurrentProcessId()));
    remove();
    std::filesystem::create_directories(path_);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() { remove(); }

  const std::filesystem::path& path() const { return path_; }
  // The full path of `name` inside the folder, as the Win32 calls take it.
  std::wstring file(const std::wstring& name) const { return (path_ / name).wstring(); }

 private:
  void remove() {
    std::error_code ignored;
    if (!std::filesystem::exists(path_, ignored)) return;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    SetFileAttributesW(path_.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(path_, ignored);
  }

  std::filesystem::path path_;
};

inline std::string readBytes(const std::wstring& file) {
  std::ifstream in(std::filesystem::path(file), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::wstring& file, const std::string& bytes) {
  std::ofstream out(std::filesystem::path(file), std::ios::binary | std::ios::trunc);
  out << bytes;
}

// Whether the platform refuses to open the read-only `file` for writing. Under Wine run as
// root it does not: the read-only mark is a missing write permission, which root ignores.
inline bool readOnlyIsEnforced(const std::wstring& file) {
  const HANDLE handle = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return true;
  CloseHandle(handle);
  return false;
}

}  // namespace testing_support
