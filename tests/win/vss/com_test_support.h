// Shared by the COM tests: the apartment of the test thread, temporary folders, registry keys
// made for a test and checks of vss::Error.
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
class TempFolder {
 public:
  explicit TempFolder(const std::wstring& name)
      : path_(std::filesystem::temp_directory_path() / (L"ostrabel-" + name)) {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Writes the default value of a key below HKEY_CLASSES_ROOT, for a class the test registers.
inline void setClassesValue(const std::wstring& key, const std::wstring& value) {
  HKEY handle = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0,
                                           KEY_SET_VALUE, nullptr, &handle, nullptr));
  RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
}

inline void deleteClassesKey(const std::wstring& key) {
  RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
}

inline std::string narrow(const std::wstring& text) {
  std::string result;
  for (wchar_t c : text) result.push_back(c < 128 ? static_cast<char>(c) : '?');
  return result;
}

inline std::string hex(std::int32_t status) {
  char buffer[16];
  snprintf(buffer, sizeof(buffer), "0x%08lX", static_cast<unsigned long>(status));
  return buffer;
}

// Runs `call`, which must fail with vss::Error of `status` and exactly `description`.
inline ::testing::AssertionResult failsWith(const std::function<void()>& call, std::int32_t status,
                                            const std::wstring& description) {
  try {
    call();
  } catch (const vss::Error& error) {
    if (error.status() != status || error.description() != description) {
      return ::testing::AssertionFailure()
             << "failed with " << hex(error.status()) << " \"" << narrow(error.description())
             << "\", expected " << hex(status) << " \"" << narrow(description) << "\"";
    }
    return ::testing::AssertionSuccess();
  } catch (const std::exception& error) {
    return ::testing::AssertionFailure() << "threw another exception: " << error.what();
  }
  return ::testing::AssertionFailure() << "did not fail";
}

// The error of `call`, which must fail with vss::Error; a test fails when it does not.
inline vss::Error errorOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const vss::Error& error) {
    return error;
  }
  ADD_FAILURE() << "the call did not fail with vss::Error";
  return vss::Error(0, L"");
}

}  // namespace comtest
