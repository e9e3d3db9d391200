// The databases made by real SourceSafe that the reader's tests run on. They are test data only
// and never part of the repository: the tests find them in OSTRABEL_VSS_SAMPLES, or in
// shared/vss-samples beside the source tree or one of the folders above it (the project's
// ../shared/vss-samples). A test that needs them and finds none says so and is skipped.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

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

inline std::string bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Copies a sample (its files readable and writable) for a test that changes it.
inline void copy(const fs::path& from, const fs::path& to) {
  fs::copy(from, to, fs::copy_options::recursive);
  for (const auto& e : fs::recursive_directory_iterator(to))
    fs::permissions(e.path(),
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::owner_exec,
                    fs::perm_options::add);
}

}  // namespace samples

// Skips the test, saying why, when the sample `name` is not on this machine; else `dir` is it.
#define REQUIRE_SAMPLE(dir, name)                                           \
  const auto dir##_found = samples::database(name);                         \
  if (!dir##_found)                                                         \
    GTEST_SKIP() << "no sample database \"" << name << "\" on this machine" \
                 << " (OSTRABEL_VSS_SAMPLES, or ../shared/vss-samples)";    \
  const std::filesystem::path dir = *dir##_found
