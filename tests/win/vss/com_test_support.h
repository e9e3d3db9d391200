// Shared by the COM tests: the apartment of the test thread, temporary folders, registry keys
// made for a test and the check of a vss::Error.
#pragma once

#include <gtest/gtest.h>

// windows.h comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <objbase.h>
// clang-format on

#include <filesystem>
#include <functional>
#include <string>

#include "vss/port.h"

namespace comtest {

// The test thread lives in a single-threaded apartment, as the program's window thread does.
class ApartmentEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
  void TearDown() override { CoUninitialize(); }
};

// A folder of its own below the system's temporary folder, removed before and after.
struct TempFolder {
  explicit TempFolder(const std::wstring& name)
      : path(std::filesystem::temp_directory_path() / (L"ostrabel-" + name)) {
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  const std::filesystem::path path;
};

// Writes the default value of a key below HKEY_CLASSES_ROOT, for a class the test registers.
inline void setClassesValue(const std::wstring& key, const std::wstring& value) {
  ASSERT_EQ(ERROR_SUCCESS,
            RegSetKeyValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, REG_SZ, value.c_str(),
                            static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))));
}

// Runs `call`, which must fail with vss::Error of `status` and exactly `description`.
inline ::testing::AssertionResult failsWith(const std::function<void()>& call, std::int32_t status,
                                            const std::wstring& description) {
  try {
    call();
  } catch (const vss::Error& error) {
    if (error.status() == status && error.description() == description)
      return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "failed with 0x" << std::hex << error.status() << " "
                                         << ::testing::PrintToString(error.description());
  }
  return ::testing::AssertionFailure() << "did not fail";
}

}  // namespace comtest
