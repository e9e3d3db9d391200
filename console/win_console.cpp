// The console program's Windows side: standard streams, the ANSI code page, the settings file.
#include "console/win_console.h"

#include <algorithm>
#include <utility>
#include <vector>

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

std::wstring fullPath(const std::wstring& path) {
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
  const std::wstring full = fullPath(path);
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
  CloseHandle(handle);
  IniApi ini;
  ini.setIniFileName(full);
  file.values = settings::loadSettings(ini);
  return file;
}

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
