// The console program's Windows side: standard streams, the ANSI code page, the settings file.
#include "console/win_console.h"

#include <objbase.h>

#include <algorithm>
#include <cwchar>
#include <utility>
#include <vector>

#include "console/settings_text.h"
#include "settings/ini_api.h"
#include "vss/com/com_library.h"

namespace console {
namespace {

// WriteConsoleW is given the text in pieces no larger than this (old consoles refuse more).
constexpr std::size_t kConsolePiece = 8192;
// A redirected standard output is written in pieces of about this size.
constexpr std::size_t kOutputPiece = 64 * 1024;

bool isConsole(HANDLE handle) {
  DWORD mode = 0;
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode);
}

std::wstring platformFullPath(const std::wstring& path) {
  const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return path;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return path;
  full.resize(length);
  return full;
}

// True when both handles lead to one place: one console, or one file (2>&1).
bool sameTarget(HANDLE a, HANDLE b, bool bothConsoles) {
  if (a == b || bothConsoles) return true;
  using CompareFn = BOOL(WINAPI*)(HANDLE, HANDLE);
  static const auto compare = reinterpret_cast<CompareFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernelbase.dll"), "CompareObjectHandles")));
  if (compare != nullptr && compare(a, b)) return true;
  BY_HANDLE_FILE_INFORMATION first = {}, second = {};
  return GetFileType(a) == FILE_TYPE_DISK && GetFileType(b) == FILE_TYPE_DISK &&
         GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

// A settings file larger than this is no settings file a person saved; it is left to the profile
// functions.
constexpr DWORD kLargestUnicodeSettings = 1u << 20;

// Up to `limit` bytes from the start of an open file; nothing when it holds more.
std::string readSome(HANDLE handle, DWORD limit) {
  std::string bytes(limit + 1, '\0');
  DWORD total = 0, got = 0;
  while (total <= limit &&
         ReadFile(handle, bytes.data() + total, limit + 1 - total, &got, nullptr) && got > 0) {
    total += got;
  }
  if (total > limit) return {};
  bytes.resize(total);
  return bytes;
}

// True for a path that names the same file from any folder: a drive and a separator, or UNC.
bool isFullPath(const std::wstring& path) {
  if (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') &&
      (path[1] == L'\\' || path[1] == L'/')) {
    return true;
  }
  return path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/');
}

// The folder that holds what a full path names, without a separator at its end unless it is a
// root (for C:\a\b it is C:\a, for C:\a it is the root C:\, as for a UNC share); nothing for a
// root itself.
std::optional<std::wstring> parentOf(const std::wstring& full) {
  std::size_t root = full.size();
  if (full.size() >= 3 && full[1] == L':') {
    root = 3;
  } else if (full.rfind(L"\\\\", 0) == 0) {
    const std::size_t share = full.find(L'\\', 2);
    const std::size_t end = share == std::wstring::npos ? share : full.find(L'\\', share + 1);
    root = end == std::wstring::npos ? full.size() : end + 1;
  }
  std::size_t last = full.size();
  if (last > root && full[last - 1] == L'\\') --last;
  if (last <= root) return std::nullopt;
  const std::size_t slash = full.find_last_of(L'\\', last - 1);
  if (slash == std::wstring::npos || slash + 1 < root) return std::nullopt;
  return full.substr(0, std::max(slash, root));
}

// A file or folder's volume serial number and file index, or nothing when it cannot be opened.
std::optional<FileIdentity> identityOf(const std::wstring& path) {
  const HANDLE handle = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info = {};
  const BOOL known = GetFileInformationByHandle(handle, &info);
  CloseHandle(handle);
  if (!known) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow};
}

// A file name as the file system compares names: in upper case.
std::wstring upperName(std::wstring name) {
  if (!name.empty()) CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
  return name;
}

// The bytes of a list into a file made by CreateFile; closed when the sink goes.
class HandleBytes : public ByteSink {
 public:
  explicit HandleBytes(HANDLE handle) : handle_(handle) {}
  HandleBytes(const HandleBytes&) = delete;
  HandleBytes& operator=(const HandleBytes&) = delete;
  ~HandleBytes() override { CloseHandle(handle_); }
  bool write(const char* bytes, std::size_t count) override {
    while (count > 0) {
      DWORD written = 0;
      const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(count, 1u << 20));
      if (!WriteFile(handle_, bytes, piece, &written, nullptr) || written == 0) return false;
      bytes += written;
      count -= written;
    }
    return true;
  }

 private:
  HANDLE handle_;
};

bool meansNotFound(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH;
}

}  // namespace

void appendAnsi(std::wstring_view text, std::string& bytes) {
  if (text.empty()) return;
  const int length = static_cast<int>(text.size());
  const int count =
      WideCharToMultiByte(CP_ACP, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (count <= 0) return;
  const std::size_t at = bytes.size();
  bytes.resize(at + static_cast<std::size_t>(count));
  WideCharToMultiByte(CP_ACP, 0, text.data(), length, bytes.data() + at, count, nullptr, nullptr);
}

SettingsFile readSettingsFile(const std::wstring& path) {
  SettingsFile file;
  // A path without a folder would send the profile functions to the Windows folder.
  const std::wstring full = platformFullPath(path);
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = GetLastError();
    file.problem =
        meansNotFound(error) ? SettingsFile::Problem::NotFound : SettingsFile::Problem::Unreadable;
    file.systemError = error;
    return file;
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    file.problem = SettingsFile::Problem::Unreadable;
    file.systemError = ERROR_ACCESS_DENIED;  // what opening a folder as a file gives
    return file;
  }
  // The profile functions read a file they cannot open as an empty one; the run must not.
  const HANDLE handle = CreateFileW(full.c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    file.problem =
        meansNotFound(error) ? SettingsFile::Problem::NotFound : SettingsFile::Problem::Unreadable;
    file.systemError = error;
    return file;
  }
  const std::string bytes = readSome(handle, kLargestUnicodeSettings);
  CloseHandle(handle);
  if (const std::optional<std::wstring> text = unicodeSettingsText(bytes)) {
    file.values = inputsFromText(*text);
    file.passwdGiven = profileValue(*text, settings::kSection, L"passwd").has_value();
    return file;
  }
  IniApi ini;
  ini.setIniFileName(full);
  file.values = settings::readInputs([&](const wchar_t* key) {
    std::wstring value = ini.readString(settings::kSection, key);
    if (ini.lastReadFilled()) file.cutKeys.emplace_back(key);
    return value;
  });
  // Whether passwd is there at all: the names of the section's keys, each ended by a zero.
  std::vector<wchar_t> names(32768);
  const DWORD length = GetPrivateProfileStringW(settings::kSection, nullptr, L"", names.data(),
                                                static_cast<DWORD>(names.size()), full.c_str());
  for (const wchar_t* name = names.data(); name < names.data() + length && *name != L'\0';
       name += std::wcslen(name) + 1) {
    if (CompareStringOrdinal(name, -1, L"passwd", -1, TRUE) == CSTR_EQUAL) file.passwdGiven = true;
  }
  return file;
}

std::wstring WinFiles::fullPath(const std::wstring& path) {
  if (isFullPath(path)) return path;
  std::wstring full = platformFullPath(path);
  // A drive's current folder comes with a separator at its end (under Wine); a folder below the
  // root is named without one, as it is typed.
  const bool typedWithSeparator = !path.empty() && (path.back() == L'\\' || path.back() == L'/');
  if (!typedWithSeparator && full.size() > 1 && full.back() == L'\\' && parentOf(full)) {
    full.pop_back();
  }
  return full;
}

FileKind WinFiles::kind(const std::wstring& path) {
  const std::wstring full = platformFullPath(path);
  const HANDLE handle = CreateFileW(full.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    const DWORD type = GetFileType(handle);
    CloseHandle(handle);
    if (type == FILE_TYPE_CHAR || type == FILE_TYPE_PIPE) return FileKind::Device;
  }
  const DWORD attributes = GetFileAttributesW(full.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileKind::None;
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return FileKind::Folder;
  return (attributes & FILE_ATTRIBUTE_READONLY) != 0 ? FileKind::ReadOnlyFile : FileKind::File;
}

std::optional<FilePlace> WinFiles::place(const std::wstring& path) {
  const std::wstring full = platformFullPath(path);
  if (const std::optional<FileIdentity> id = identityOf(full)) return FilePlace{*id, L""};
  const std::size_t slash = full.find_last_of(L'\\');
  const std::optional<std::wstring> folder = parentOf(full);
  if (!folder || slash + 1 >= full.size()) return std::nullopt;
  const std::optional<FileIdentity> id = identityOf(*folder);
  if (!id) return std::nullopt;
  return FilePlace{*id, upperName(full.substr(slash + 1))};
}

std::vector<FileIdentity> WinFiles::foldersAbove(const std::wstring& path) {
  std::vector<FileIdentity> folders;
  std::optional<std::wstring> folder = platformFullPath(path);
  while ((folder = parentOf(*folder))) {
    if (const std::optional<FileIdentity> id = identityOf(*folder)) folders.push_back(*id);
  }
  return folders;
}

std::unique_ptr<ByteSink> WinFiles::createNew(const std::wstring& path, std::uint32_t& error) {
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return nullptr;
  }
  error = 0;
  return std::make_unique<HandleBytes>(handle);
}

std::unique_ptr<ByteSink> WinFiles::openDevice(const std::wstring& path, std::uint32_t& error) {
  const HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return nullptr;
  }
  error = 0;
  return std::make_unique<HandleBytes>(handle);
}

std::uint32_t WinFiles::replace(const std::wstring& from, const std::wstring& to) {
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return 0;
  const DWORD error = GetLastError();
  return error != 0 ? error : ERROR_CAN_NOT_COMPLETE;
}

void WinFiles::remove(const std::wstring& path) { DeleteFileW(path.c_str()); }

std::uint32_t WinFiles::processId() { return GetCurrentProcessId(); }

WinTerminal::WinTerminal() {
  streams_[static_cast<int>(Stream::Output)].handle = GetStdHandle(STD_OUTPUT_HANDLE);
  streams_[static_cast<int>(Stream::Error)].handle = GetStdHandle(STD_ERROR_HANDLE);
  for (Std& stream : streams_) stream.console = isConsole(stream.handle);
  Std& error = streams_[static_cast<int>(Stream::Error)];
  Std& output = streams_[static_cast<int>(Stream::Output)];
  progress_ = error.console ? &error : output.console ? &output : nullptr;
  shared_ = sameTarget(output.handle, error.handle, output.console && error.console);
}

WinTerminal::~WinTerminal() {
  clearProgress();
  flush();
}

bool WinTerminal::flush() {
  bool ok = true;
  for (Std& stream : streams_) ok = writeBytes(stream) && ok;
  return ok;
}

bool WinTerminal::writeBytes(Std& stream) {
  const char* at = stream.buffer.data();
  std::size_t left = stream.buffer.size();
  while (left > 0 && !stream.failed) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(left, 1u << 20));
    if (stream.handle == nullptr || stream.handle == INVALID_HANDLE_VALUE ||
        !WriteFile(stream.handle, at, piece, &written, nullptr) || written == 0) {
      stream.failed = true;
      break;
    }
    at += written;
    left -= written;
  }
  stream.buffer.clear();
  return !stream.failed;
}

void WinTerminal::writeConsole(Std& stream, std::wstring_view text) {
  while (!text.empty()) {
    const std::size_t piece = std::min(text.size(), kConsolePiece);
    DWORD written = 0;
    if (!WriteConsoleW(stream.handle, text.data(), static_cast<DWORD>(piece), &written, nullptr) ||
        written == 0) {
      stream.failed = true;
      return;
    }
    text.remove_prefix(written);
  }
}

// When both streams end in one place (one console, or one file), whatever a stream writes
// begins on a line of its own when the other stream left a line unfinished; a line ended on a
// stream's behalf (also before a progress line) is not ended again by that stream.
void WinTerminal::writeText(Stream which, std::wstring_view text) {
  const int i = static_cast<int>(which);
  Std& stream = streams_[i];
  if (stream.console) clearProgress();
  if (shared_ || stream.console) {
    if (std::exchange(lineBroken_[i], false) && text.substr(0, 2) == L"\r\n") {
      text.remove_prefix(2);
    }
    if (text.empty()) return;
    if (shared_ && !atLineStart_ && owner_ != which) endOpenLine();
    atLineStart_ = text.back() == L'\n';
    owner_ = which;
  }
  send(stream, text);
}

void WinTerminal::send(Std& stream, std::wstring_view text) {
  if (stream.console) {
    writeConsole(stream, text);
    return;
  }
  if (encoding_ == Encoding::Utf8) {
    appendUtf8(text, stream.buffer);
  } else {
    appendAnsi(text, stream.buffer);
  }
  if (&stream == &streams_[static_cast<int>(Stream::Error)]) {
    // Messages keep their place after what standard output holds (both may be one file).
    writeBytes(streams_[static_cast<int>(Stream::Output)]);
    writeBytes(stream);
  } else if (stream.buffer.size() >= kOutputPiece) {
    writeBytes(stream);
  }
}

void WinTerminal::endOpenLine() {
  send(streams_[static_cast<int>(owner_)], L"\r\n");
  lineBroken_[static_cast<int>(owner_)] = true;
  atLineStart_ = true;
}

void WinTerminal::showProgress(std::wstring_view text) {
  if (progress_ == nullptr) return;
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  int width = 80;
  if (GetConsoleScreenBufferInfo(progress_->handle, &info)) {
    width = info.srWindow.Right - info.srWindow.Left + 1;
  }
  // The progress line takes a line of its own below an unfinished one.
  if (!atLineStart_ && streams_[static_cast<int>(owner_)].console) endOpenLine();
  // One column stays free: a line that fills the width moves the cursor to the next one.
  const std::wstring fitted = fitToColumns(text, std::max(width - 1, 1));
  int columns = 0;
  for (wchar_t c : fitted) columns += columnsOf(c);
  std::wstring line = L"\r" + fitted;
  if (progressColumns_ > columns) {
    line.append(static_cast<std::size_t>(progressColumns_ - columns), L' ');
  }
  writeConsole(*progress_, line);
  progressColumns_ = columns;
}

void WinTerminal::clearProgress() {
  if (progress_ == nullptr || progressColumns_ == 0) return;
  std::wstring blank = L"\r";
  blank.append(static_cast<std::size_t>(progressColumns_), L' ');
  blank += L'\r';
  progressColumns_ = 0;
  writeConsole(*progress_, blank);
}

WinEnvironment::WinEnvironment() : library_(vss::com::makeLibrary()) {}

WinEnvironment::~WinEnvironment() {
  if (com_) CoUninitialize();
}

vss::Library& WinEnvironment::library() {
  if (!com_) com_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  return *library_;
}

std::optional<std::wstring> WinEnvironment::variable(const std::wstring& name) {
  std::vector<wchar_t> value(256);
  for (;;) {
    SetLastError(0);
    const DWORD length =
        GetEnvironmentVariableW(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::wstring();
    }
    if (length < value.size()) return std::wstring(value.data(), length);
    value.resize(length);
  }
}

Encoder WinEnvironment::encoder(Encoding encoding) {
  if (encoding == Encoding::Utf8) return appendUtf8;
  return appendAnsi;
}

}  // namespace console
