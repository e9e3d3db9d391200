// The engine's platform port on Win32: wide file APIs, the automation date conversion of the
// user's locale (VarDateFromStr) and the user locale's lower-casing.
#include "platform/win_platform.h"

#include <windows.h>
#include <oleauto.h>

#include <cmath>
#include <cstdio>

namespace platform {

namespace {

// Half a second in automation date units: two dates that differ by less name the same second.
constexpr double kHalfSecond = 0.5 / 86400.0;

// Owns a BSTR returned by the automation library.
class BstrText {
 public:
  BstrText() = default;
  BstrText(const BstrText&) = delete;
  BstrText& operator=(const BstrText&) = delete;
  ~BstrText() { SysFreeString(value_); }
  BSTR* put() {
    SysFreeString(value_);
    value_ = nullptr;
    return &value_;
  }
  std::wstring text() const { return value_ ? std::wstring(value_, SysStringLen(value_)) : L""; }

 private:
  BSTR value_ = nullptr;
};

}  // namespace

bool WinPlatform::pathExists(const std::wstring& path) {
  // Sees files and folders alike, also a folder written with a trailing separator and a drive
  // root; wildcards are not expanded, so "C:\*" names nothing.
  if (path.empty() || path.find(L'\0') != std::wstring::npos) return false;
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::uint32_t WinPlatform::createFolder(const std::wstring& path) {
  if (path.find(L'\0') != std::wstring::npos) return ERROR_INVALID_NAME;
  if (CreateDirectoryW(path.c_str(), nullptr)) return 0;
  const DWORD error = GetLastError();
  return error != 0 ? error : ERROR_CAN_NOT_COMPLETE;
}

bool WinPlatform::writableFileExists(const std::wstring& path) {
  if (path.empty() || path.find(L'\0') != std::wstring::npos) return false;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) == 0;
}

std::uint32_t WinPlatform::removeFile(const std::wstring& path) {
  if (path.find(L'\0') != std::wstring::npos) return ERROR_INVALID_NAME;
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
    SetFileAttributesW(path.c_str(), attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
  if (DeleteFileW(path.c_str())) return 0;
  const DWORD error = GetLastError();
  return error != 0 ? error : ERROR_CAN_NOT_COMPLETE;
}

std::optional<double> WinPlatform::toDate(const std::wstring& text) {
  // The conversion would stop at an embedded NUL and accept what stands before it.
  if (text.find(L'\0') != std::wstring::npos) return std::nullopt;
  // A copy, since some SDK headers declare the text parameter non-const.
  std::wstring input = text;
  DATE date = 0;
  if (FAILED(VarDateFromStr(input.data(), LOCALE_USER_DEFAULT, 0, &date))) return std::nullopt;
  return date;
}

std::wstring WinPlatform::nowText() {
  SYSTEMTIME now = {};
  GetLocalTime(&now);
  now.wMilliseconds = 0;
  DATE expected = 0;
  SystemTimeToVariantTime(&now, &expected);

  // Year first with a 24-hour time is read the same way in every locale; should the user's
  // locale still read it differently, its own formatting of the date is used instead.
  wchar_t iso[32] = {};
  std::swprintf(iso, sizeof iso / sizeof iso[0], L"%04u-%02u-%02u %02u:%02u:%02u",
                static_cast<unsigned>(now.wYear), static_cast<unsigned>(now.wMonth),
                static_cast<unsigned>(now.wDay), static_cast<unsigned>(now.wHour),
                static_cast<unsigned>(now.wMinute), static_cast<unsigned>(now.wSecond));
  const std::optional<double> back = toDate(iso);
  if (back && std::fabs(*back - expected) < kHalfSecond) return iso;

  BstrText local;
  if (SUCCEEDED(VarBstrFromDate(expected, LOCALE_USER_DEFAULT, 0, local.put()))) {
    return local.text();
  }
  return iso;
}

std::wstring WinPlatform::toLower(const std::wstring& text) {
  if (text.empty()) return text;
  const int length = static_cast<int>(text.size());
  const DWORD flags = LCMAP_LOWERCASE | LCMAP_LINGUISTIC_CASING;
  const int needed = LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, text.data(), length, nullptr, 0,
                                   nullptr, nullptr, 0);
  if (needed > 0) {
    std::wstring lower(static_cast<size_t>(needed), L'\0');
    if (LCMapStringEx(LOCALE_NAME_USER_DEFAULT, flags, text.data(), length, lower.data(), needed,
                      nullptr, nullptr, 0) == needed) {
      return lower;
    }
  }
  // Without the locale's mapping, the system's default case table still lowers the text.
  std::wstring lower = text;
  CharLowerBuffW(lower.data(), static_cast<DWORD>(lower.size()));
  return lower;
}

}  // namespace platform
