// The console program's Windows side: the standard streams (a console takes text as it is, a
// redirected stream takes bytes of the chosen encoding), the ANSI code page, the settings file
// through IniApi, and the environment that puts them together with the COM client.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/run.h"
#include "platform/win_platform.h"

namespace console {

// Appends `text` in the ANSI code page, as the clipboard's plain text holds a list: characters
// the code page lacks become its default character.
void appendAnsi(std::wstring_view text, std::string& bytes);

// The settings file at `path` (relative to the current folder), never written and its attributes
// left alone. A file in the ANSI code page is read through IniApi as the window reads its own,
// with the keys whose value filled the read named; one in UTF-8 or UTF-16 (see
// unicodeSettingsText) is read as such, whole.
SettingsFile readSettingsFile(const std::wstring& path);

// The file system as the console program sees it: paths made full as Windows makes them, files
// told apart by volume serial number and file index, list files made with CREATE_NEW and moved
// over their destination with MoveFileEx.
class WinFiles : public FileSystem {
 public:
  std::wstring fullPath(const std::wstring& path) override;
  FileKind kind(const std::wstring& path) override;
  std::optional<FilePlace> place(const std::wstring& path) override;
  std::vector<FileIdentity> foldersAbove(const std::wstring& path) override;
  std::unique_ptr<ByteSink> createNew(const std::wstring& path, std::uint32_t& error) override;
  std::unique_ptr<ByteSink> openDevice(const std::wstring& path, std::uint32_t& error) override;
  std::uint32_t replace(const std::wstring& from, const std::wstring& to) override;
  void remove(const std::wstring& path) override;
  std::uint32_t processId() override;
};

// The process's standard output and standard error. The progress line goes to standard error
// when it is a console, else to standard output when that is one, else nowhere.
class WinTerminal : public Terminal {
 public:
  WinTerminal();
  WinTerminal(const WinTerminal&) = delete;
  WinTerminal& operator=(const WinTerminal&) = delete;
  ~WinTerminal() override;

  void setEncoding(Encoding encoding) override { encoding_ = encoding; }
  bool flush() override;
  bool showsProgress() override { return progress_ != nullptr; }
  void showProgress(std::wstring_view text) override;
  void clearProgress() override;

 protected:
  void writeText(Stream stream, std::wstring_view text) override;

 private:
  struct Std {
    HANDLE handle = nullptr;
    bool console = false;
    std::string buffer;  // encoded bytes not yet written (redirected streams)
    bool failed = false;
  };
  bool writeBytes(Std& stream);
  void writeConsole(Std& stream, std::wstring_view text);
  // Encodes and buffers (or writes to the console) without looking at lines.
  void send(Std& stream, std::wstring_view text);
  // Ends the line the last writer left unfinished.
  void endOpenLine();

  Std streams_[2];
  Std* progress_ = nullptr;
  int progressColumns_ = 0;  // what the progress line covers now
  // Both streams end in one place (one console, or one file).
  bool shared_ = false;
  // Where the last text written to a console or a shared place left it: at the start of a line,
  // or after what `owner_` wrote.
  bool atLineStart_ = true;
  Stream owner_ = Stream::Output;
  // A stream whose unfinished line the terminal ended for it (before a progress line or the other
  // stream's text).
  bool lineBroken_[2] = {false, false};
  Encoding encoding_ = Encoding::Ansi;
};

// Everything a run of the console program needs on Windows. The automation library is an
// apartment-threaded in-process server: the calling thread enters a single-threaded apartment
// when the library is first asked for (a direct run never asks, and starts no COM), and leaves
// it when the environment goes.
class WinEnvironment : public Environment {
 public:
  WinEnvironment();
  ~WinEnvironment() override;
  WinEnvironment(const WinEnvironment&) = delete;
  WinEnvironment& operator=(const WinEnvironment&) = delete;
  Terminal& terminal() override { return terminal_; }
  engine::PlatformPort& platform() override { return platform_; }
  vss::Library& library() override;
  FileSystem& fileSystem() override { return files_; }
  SettingsFile readSettings(const std::wstring& path) override { return readSettingsFile(path); }
  std::optional<std::wstring> variable(const std::wstring& name) override;
  Encoder encoder(Encoding encoding) override;
  std::int64_t milliseconds() override { return static_cast<std::int64_t>(GetTickCount64()); }

 private:
  WinTerminal terminal_;
  platform::WinPlatform platform_;
  WinFiles files_;
  std::unique_ptr<vss::Library> library_;
  bool com_ = false;  // this thread entered its apartment here
};

}  // namespace console
