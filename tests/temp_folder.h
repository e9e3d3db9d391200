// A test's scratch folder below the system's temporary folder, named after the test, the process
// and a count: removed when it is made (in case an earlier run was killed) and again when it goes,
// read-only files included (Get leaves them, and Windows deletes none).
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testing_support {

class TempFolder {
 public:
  explicit TempFolder(const std::filesystem::path& name = "ostrabel-test") {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() / name;
    for (const int part : {static_cast<int>(::getpid()), counter++})
      path_ += '-' + std::to_string(part);
    remove();
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() { remove(); }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }
  std::wstring file(const std::filesystem::path& name) const { return (path_ / name).wstring(); }
  std::string read(const std::filesystem::path& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  void write(const std::filesystem::path& name, const std::string& bytes) const {
    std::ofstream(path_ / name, std::ios::binary) << bytes;
  }

 private:
  void remove() const {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
      std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_write,
                                   std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(path_, ignored);
  }
  std::filesystem::path path_;
};

}  // namespace testing_support
