// IniApi over the Windows profile functions: texts cross into the ANSI code page at this
// boundary only, and a read cut by the platform never ends in half a double-byte character.
#include "settings/ini_api.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

#include "settings/profile_text.h"

namespace {

// The buffer that readString hands to GetPrivateProfileStringA; a value longer than
// kReadBufferSize - 1 bytes comes back cut to that length.
constexpr DWORD kReadBufferSize = 255;
// The longest value written, in bytes. Only the first kReadBufferSize - 1 bytes of a value are
// ever read back, and the profile functions fail on very long lines (Wine's crash at 32,767
// characters), so a longer value is cut; every path a box is likely to hold fits whole.
constexpr int kMaxWrittenBytes = 8191;

std::string toAnsi(const std::wstring& text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int bytes =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string ansi(static_cast<size_t>(bytes), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, ansi.data(), bytes, nullptr, nullptr);
  return ansi;
}

std::wstring fromAnsi(const char* bytes, int count) {
  if (count <= 0) return {};
  const int chars = MultiByteToWideChar(CP_ACP, 0, bytes, count, nullptr, 0);
  if (chars <= 0) return {};
  std::wstring wide(static_cast<size_t>(chars), L'\0');
  MultiByteToWideChar(CP_ACP, 0, bytes, count, wide.data(), chars);
  return wide;
}

// The length of `bytes[0, count)` without a lead byte whose trail byte was cut off. Lead bytes
// can only be told from trail bytes by scanning from the start.
int withoutDanglingLeadByte(const char* bytes, int count) {
  int i = 0;
  while (i < count) {
    if (IsDBCSLeadByteEx(CP_ACP, static_cast<BYTE>(bytes[i]))) {
      if (i + 1 >= count) return i;
      i += 2;
    } else {
      i += 1;
    }
  }
  return count;
}

// True when `text` survives the way through the ANSI code page unchanged (always true where the
// ANSI code page is UTF-8).
bool inAnsiCodePage(const std::wstring& text) {
  if (text.empty() || GetACP() == CP_UTF8) return true;
  BOOL lost = FALSE;
  const int bytes = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, text.data(),
                                        static_cast<int>(text.size()), nullptr, 0, nullptr, &lost);
  return bytes > 0 && !lost;
}

// `bytes` cut to at most `limit` bytes, never in the middle of a double-byte character.
std::string cutAnsi(std::string bytes, int limit) {
  if (static_cast<int>(bytes.size()) > limit) {
    bytes.resize(static_cast<size_t>(withoutDanglingLeadByte(bytes.data(), limit)));
  }
  return bytes;
}

bool isBlankOrTab(wchar_t c) { return c == L' ' || c == L'\t'; }

// The profile functions strip blanks around a value and one pair of matching quotes that
// encloses it. A value that would lose something that way is stored inside double quotes,
// which the read removes again; every other value is stored exactly as given.
std::wstring protectedValue(const std::wstring& value) {
  if (value.empty()) return value;
  const wchar_t first = value.front();
  const wchar_t last = value.back();
  const bool losesBlanks = isBlankOrTab(first) || isBlankOrTab(last);
  const bool losesQuotes = value.size() >= 2 && (first == L'"' || first == L'\'') && last == first;
  if (!losesBlanks && !losesQuotes) return value;
  return L"\"" + value + L"\"";
}

}  // namespace

std::wstring settings::valueFromProfileBuffer(const char* buffer, unsigned long reported,
                                              unsigned long bufferSize) {
  if (bufferSize == 0) return {};
  int count = static_cast<int>(reported < bufferSize ? reported : bufferSize - 1);
  // A cut value may leave NULs inside the reported length where a character did not fit;
  // a stored value never holds a NUL, so the value ends at the first one.
  for (int i = 0; i < count; ++i) {
    if (buffer[i] == '\0') {
      count = i;
      break;
    }
  }
  return fromAnsi(buffer, withoutDanglingLeadByte(buffer, count));
}

void IniApi::setIniFileName(const std::wstring& file) {
  const size_t begin = file.find_first_not_of(L' ');
  if (begin == std::wstring::npos) {
    iniFile_.clear();
    return;
  }
  const size_t end = file.find_last_not_of(L' ');
  iniFile_ = file.substr(begin, end - begin + 1);
}

bool IniApi::checkIniFile() {
  if (!iniFile_.empty()) return true;
  lastErrorMsg_ = L"没有设置INI文件";
  return false;
}

// The file's path goes to the profile functions in the ANSI code page, as the values do; a path
// that the code page cannot hold (a Korean folder on a Chinese system) goes to their wide
// twins, which keep the file's format and its ANSI values all the same.
bool IniApi::writeString(const std::wstring& Section, const std::wstring& key,
                         const std::wstring& Value) {
  if (!checkIniFile()) return false;
  const std::string section = toAnsi(Section);
  const std::string keyAnsi = toAnsi(key);
  const std::string value = cutAnsi(toAnsi(protectedValue(Value)), kMaxWrittenBytes);
  SetLastError(0);
  BOOL written;
  if (inAnsiCodePage(iniFile_)) {
    written = WritePrivateProfileStringA(section.c_str(), keyAnsi.c_str(), value.c_str(),
                                         toAnsi(iniFile_).c_str());
  } else {
    written = WritePrivateProfileStringW(
        fromAnsi(section.data(), static_cast<int>(section.size())).c_str(),
        fromAnsi(keyAnsi.data(), static_cast<int>(keyAnsi.size())).c_str(),
        fromAnsi(value.data(), static_cast<int>(value.size())).c_str(), iniFile_.c_str());
  }
  if (written) return true;
  const DWORD error = GetLastError();
  lastErrorMsg_ = L"写入失败: " + std::to_wstring(error);
  return false;
}

std::wstring IniApi::readString(const std::wstring& Section, const std::wstring& key) {
  char buffer[kReadBufferSize] = {};
  lastReadFilled_ = false;
  if (!checkIniFile()) return {};
  const std::string section = toAnsi(Section);
  const std::string keyAnsi = toAnsi(key);
  if (inAnsiCodePage(iniFile_)) {
    const DWORD reported = GetPrivateProfileStringA(section.c_str(), keyAnsi.c_str(), "", buffer,
                                                    kReadBufferSize, toAnsi(iniFile_).c_str());
    lastReadFilled_ = reported >= kReadBufferSize - 1;
    return settings::valueFromProfileBuffer(buffer, reported, kReadBufferSize);
  }
  // The wide read gives at least as many characters as the ANSI one gives bytes; the value then
  // takes the same way back to its bytes and the same cut.
  wchar_t wide[kReadBufferSize + 1] = {};
  const DWORD chars =
      GetPrivateProfileStringW(fromAnsi(section.data(), static_cast<int>(section.size())).c_str(),
                               fromAnsi(keyAnsi.data(), static_cast<int>(keyAnsi.size())).c_str(),
                               L"", wide, kReadBufferSize + 1, iniFile_.c_str());
  const std::string bytes = toAnsi(std::wstring(wide, chars));
  lastReadFilled_ = chars >= kReadBufferSize || bytes.size() >= kReadBufferSize - 1;
  return settings::valueFromProfileBuffer(bytes.c_str(), static_cast<unsigned long>(bytes.size()),
                                          kReadBufferSize);
}

std::wstring IniApi::BrowseForFolder(HWND__* hwndOwner, const std::wstring& sPrompt) {
  // The picker needs COM on this thread; the main window has usually set it up already.
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  BROWSEINFOW info = {};
  info.hwndOwner = hwndOwner;
  info.lpszTitle = sPrompt.c_str();
  info.ulFlags = BIF_RETURNONLYFSDIRS;

  std::wstring path;
  if (PIDLIST_ABSOLUTE list = SHBrowseForFolderW(&info)) {
    wchar_t buffer[MAX_PATH] = {};
    SHGetPathFromIDListW(list, buffer);
    CoTaskMemFree(list);
    path = buffer;
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return path;
}
