// The databases made by real SourceSafe that the reader's tests run on. They are test data only
// and never part of the repository: the tests find them in OSTRABEL_VSS_SAMPLES, or in
// shared/vss-samples beside the source tree or one of the folders above it (the project's
// ../shared/vss-samples). A test that needs them and finds none says so and is skipped.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "tests/native/standin/support.h"

namespace samples {

namespace fs = std::filesystem;

inline std::optional<fs::path> folder() {
  std::error_code ec;
  if (const char* env = std::getenv("OSTRABEL_VSS_SAMPLES"); env && *env) {
    if (fs::is_directory(env, ec)) return fs::path(env);
    return std::nullopt;
  }
  for (fs::path at = fs::absolute(OSTRABEL_SOURCE_DIR); !at.empty(); at = at.parent_path()) {
    if (fs::is_directory(at / "shared" / "vss-samples", ec)) return at / "shared" / "vss-samples";
    if (at == at.parent_path()) break;
  }
  return std::nullopt;
}

// The folder of one sample, or nullopt when it is not there.
inline std::optional<fs::path> database(const std::string& name) {
  auto f = folder();
  std::error_code ec;
  if (!f || !fs::is_regular_file(*f / name / "srcsafe.ini", ec)) return std::nullopt;
  return *f / name;
}

// Copies a sample (its files readable and writable) for a test that changes it.
inline void copy(const fs::path& from, const fs::path& to) {
  fs::copy(from, to, fs::copy_options::recursive);
  for (const auto& e : fs::recursive_directory_iterator(to))
    fs::permissions(e.path(),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::owner_exec,
                    fs::perm_options::add);
}

// Every file and folder below `dir`, by relative path, with its bytes ("/" for a folder).
inline std::map<std::string, std::string> snapshot(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    files[fs::relative(e.path(), dir).generic_string()] =
        e.is_regular_file() ? standin_test::readFile(e.path()) : "/";
  return files;
}

// The little-endian u32 at byte `at` of `bytes`, read here independently of the reader.
inline std::uint32_t u32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int k = 3; k >= 0; --k) v = v << 8 | static_cast<unsigned char>(bytes.at(at + k));
  return v;
}

// The CRC crcs.dat keeps for a physical file, read here as the samples' README describes the
// table (after the header record, one u32 per physical name read as a number in base 26, first
// letter least significant), independently of the reader.
inline std::uint32_t crcsDatEntry(const fs::path& db, const std::string& physical) {
  const std::string table = standin_test::readFile(db / "data" / "crcs.dat");
  std::size_t index = 0;
  for (auto c = physical.rbegin(); c != physical.rend(); ++c) index = index * 26 + (*c - 'A');
  return u32(table, 8 + u32(table, 0) + 4 * index);
}

// Sets the machine's time zone for one test (TZ rules: POSIX natively, the C runtime's own
// "NAME[+|-]hh[:mm]" under Windows, which both read "UTC0", "IST-5:30" and "CST-8" alike).
class LocalZone {
 public:
  explicit LocalZone(const char* tz) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    set(tz);
  }
  ~LocalZone() { set(old_ ? old_->c_str() : nullptr); }
  LocalZone(const LocalZone&) = delete;
  LocalZone& operator=(const LocalZone&) = delete;

 private:
  static void set(const char* tz) {
#ifdef _WIN32
    _putenv_s("TZ", tz ? tz : "");
    _tzset();
#else
    if (tz) {
      setenv("TZ", tz, 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
#endif
  }
  std::optional<std::string> old_;
};

}  // namespace samples

// Skips the test, saying why, when the sample `name` is not on this machine; else `dir` is it.
#define REQUIRE_SAMPLE(dir, name)                                           \
  const auto dir##_found = samples::database(name);                         \
  if (!dir##_found)                                                         \
    GTEST_SKIP() << "no sample database \"" << name << "\" on this machine" \
                 << " (OSTRABEL_VSS_SAMPLES, or ../shared/vss-samples)";    \
  const std::filesystem::path dir = *dir##_found
