// Helpers of the stand-in tests: a scratch folder removed before and after each test, a whole
// file read back, and a call that must fail with a given status.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <string>

#include "standin/file_io.h"
#include "vss/port.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace standin_test {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    path_ = fs::temp_directory_path() /
            ("standin-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
    makeWritable();
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~TempDir() {
    makeWritable();
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  // Get leaves read-only files, which Windows (and Wine) will not delete.
  void makeWritable() const {
    std::error_code ec;
    for (const auto& entry : fs::recursive_directory_iterator(path_, ec))
      fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ec);
  }

  fs::path path_;
};

inline std::string readFile(const fs::path& p) { return standin::io::readRange(p, 0, 1u << 30); }

// Runs `f`, which must fail with `status`; returns the description.
template <typename F>
std::wstring failure(F&& f, std::int32_t status) {
  try {
    f();
  } catch (const vss::Error& e) {
    EXPECT_EQ(static_cast<std::uint32_t>(e.status()), static_cast<std::uint32_t>(status));
    return e.description();
  }
  ADD_FAILURE() << "no failure, expected status " << static_cast<std::uint32_t>(status);
  return L"";
}

}  // namespace standin_test
