// Helpers of the stand-in tests: a scratch folder, a whole file read back, and a call that must
// fail with a given status.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "standin/file_io.h"
#include "tests/temp_folder.h"
#include "vss/port.h"

namespace standin_test {

namespace fs = std::filesystem;

using TempDir = testing_support::TempFolder;

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
