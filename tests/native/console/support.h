// What the console tests run the console program on: a terminal that keeps what each stream was
// given, and an environment over the engine tests' platform and library with settings files,
// variables and a clock of the test's own; the UTF-8 bytes of a text.
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "console/run.h"
#include "standin/text.h"

namespace consoletest {

namespace fs = std::filesystem;

// The file system of the machine the tests run on, with paths relative to a current folder of
// the test's own; "\\" separates levels as "/" does. Files are told apart by device and inode, so
// that hard links and other spellings of one path lead to one file (letter case does not count
// here: the Windows tests see to it).
class DiskFiles : public console::FileSystem {
 public:
  fs::path current = fs::current_path();
  std::uint32_t failReplace = 0;  // the code replace() fails with, when not 0
  bool failWrites = false;        // every write to a file made new fails
  std::vector<std::wstring> replaced;

  fs::path onDisk(const std::wstring& path) const {
    std::string s = standin::text::narrow(path);
    std::replace(s.begin(), s.end(), '\\', '/');
    return (current / s).lexically_normal();
  }
  std::wstring fullPath(const std::wstring& path) override {
    return standin::text::widen(onDisk(path).string());
  }
  console::FileKind kind(const std::wstring& path) override {
    using enum console::FileKind;
    std::error_code ec;
    const auto status = fs::status(onDisk(path), ec);
    if (!fs::exists(status)) return None;
    if (fs::is_directory(status)) return Folder;
    if (fs::is_character_file(status) || fs::is_fifo(status)) return Device;
    return (status.permissions() & fs::perms::owner_write) == fs::perms::none ? ReadOnlyFile : File;
  }
  std::optional<console::FilePlace> place(const std::wstring& path) override {
    const fs::path p = onDisk(path);
    if (const auto id = identity(p)) return console::FilePlace{*id, L""};
    if (const auto folder = identity(p.parent_path())) {
      return console::FilePlace{*folder, standin::text::widen(p.filename().string())};
    }
    return std::nullopt;
  }
  std::vector<console::FileIdentity> foldersAbove(const std::wstring& path) override {
    std::vector<console::FileIdentity> folders;
    for (fs::path p = onDisk(path); p.has_relative_path();) {
      p = p.parent_path();
      if (const auto id = identity(p)) folders.push_back(*id);
    }
    return folders;
  }
  // Nothing is ever made or moved in /dev: a test run as root would replace the machine's devices.
  static bool inDev(const fs::path& p) { return p.string().rfind("/dev/", 0) == 0; }
  std::unique_ptr<console::ByteSink> createNew(const std::wstring& path,
                                               std::uint32_t& error) override {
    const bool dev = inDev(onDisk(path));
    const int fd =
        dev ? -1 : ::open(onDisk(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    return opened(fd, error, dev ? 5 : errno == EEXIST ? 80 : errno == ENOENT ? 3 : 5, failWrites);
  }
  // Only a character device or a pipe is opened so: a test must never write into a file this way.
  std::unique_ptr<console::ByteSink> openDevice(const std::wstring& path,
                                                std::uint32_t& error) override {
    const bool device = kind(path) == console::FileKind::Device;
    return opened(device ? ::open(onDisk(path).c_str(), O_WRONLY | O_CLOEXEC) : -1, error, 5,
                  false);
  }
  std::uint32_t replace(const std::wstring& from, const std::wstring& to) override {
    replaced.push_back(from + L">" + to);
    if (failReplace != 0) return failReplace;
    if (inDev(onDisk(from)) || inDev(onDisk(to))) return 5;
    return std::rename(onDisk(from).c_str(), onDisk(to).c_str()) == 0 ? 0 : 5;
  }
  void remove(const std::wstring& path) override {
    std::error_code ec;
    fs::remove(onDisk(path), ec);
  }
  std::uint32_t processId() override { return 4242; }

 private:
  struct FdBytes : console::ByteSink {
    FdBytes(int file, bool fails) : fd(file), failing(fails) {}
    ~FdBytes() override { ::close(fd); }
    bool write(const char* bytes, std::size_t count) override {
      return !failing && ::write(fd, bytes, count) == static_cast<ssize_t>(count);
    }
    int fd;
    bool failing;
  };
  // A sink over `fd`, or none and `failure` as the error where nothing was opened.
  static std::unique_ptr<console::ByteSink> opened(int fd, std::uint32_t& error,
                                                   std::uint32_t failure, bool failing) {
    error = fd < 0 ? failure : 0;
    return fd < 0 ? nullptr : std::make_unique<FdBytes>(fd, failing);
  }
  static std::optional<console::FileIdentity> identity(const fs::path& p) {
    struct stat info = {};
    if (::stat(p.c_str(), &info) != 0) return std::nullopt;
    return console::FileIdentity{static_cast<std::uint64_t>(info.st_dev),
                                 static_cast<std::uint64_t>(info.st_ino)};
  }
};

class FakeTerminal : public console::Terminal {
 public:
  void setEncoding(console::Encoding e) override { encoding = e; }
  bool flush() override { return true; }
  bool showsProgress() override { return progress; }
  void showProgress(std::wstring_view text) override { shown.emplace_back(text); }
  void clearProgress() override { ++clears; }

  std::wstring out, err;
  bool progress = false;
  std::vector<std::wstring> shown;
  int clears = 0;
  console::Encoding encoding = console::Encoding::Ansi;

 protected:
  void writeText(console::Stream stream, std::wstring_view text) override {
    (stream == console::Stream::Output ? out : err) += text;
  }
};

// The files directly in `folder`, each as "name=content", sorted.
inline std::vector<std::string> filesIn(const fs::path& folder) {
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files.push_back(entry.path().filename().string() + "=" +
                    std::string(std::istreambuf_iterator<char>(in), {}));
  }
  std::sort(files.begin(), files.end());
  return files;
}

// The lines as a list holds them: CR LF between lines and none after the last. Spelt out here
// rather than taken from the engine's copy of a list, so that the console's lists are held to an
// expectation of the test's own.
inline std::wstring listText(const std::vector<std::wstring>& lines) {
  std::wstring text;
  for (std::size_t i = 0; i < lines.size(); ++i) text += (i == 0 ? L"" : L"\r\n") + lines[i];
  return text;
}

inline std::string utf8(std::wstring_view text) {
  std::string bytes;
  console::appendUtf8(text, bytes);
  return bytes;
}

// Characters up to U+00FF as one byte each, anything else as '?': an ANSI code page that can be
// told from UTF-8 in every line with a Chinese character.
inline void appendLatin1(std::wstring_view text, std::string& bytes) {
  for (wchar_t c : text)
    bytes += static_cast<std::uint32_t>(c) < 0x100 ? static_cast<char>(c) : '?';
}

class FakeEnvironment : public console::Environment {
 public:
  FakeEnvironment(engine::PlatformPort& platform, vss::Library& library)
      : platform_(platform), library_(library) {}
  console::Terminal& terminal() override { return term; }
  engine::PlatformPort& platform() override { return platform_; }
  vss::Library& library() override { return library_; }
  console::FileSystem& fileSystem() override { return disk; }
  console::SettingsFile readSettings(const std::wstring& path) override {
    settingsRead.push_back(path);
    const auto it = files.find(path);
    if (it != files.end()) return it->second;
    return {console::SettingsFile::Problem::NotFound, 0, {}, {}};
  }
  std::optional<std::wstring> variable(const std::wstring& name) override {
    const auto it = variables.find(name);
    return it == variables.end() ? std::nullopt : std::optional(it->second);
  }
  console::Encoder encoder(console::Encoding encoding) override {
    return encoding == console::Encoding::Utf8 ? console::appendUtf8 : appendLatin1;
  }
  // Each reading of the clock moves it on by a millisecond, or as `clock` says.
  std::int64_t milliseconds() override { return now = clock ? clock(now) : now + 1; }

  FakeTerminal term;
  DiskFiles disk;
  std::map<std::wstring, console::SettingsFile> files;
  std::map<std::wstring, std::wstring> variables;
  std::vector<std::wstring> settingsRead;
  std::int64_t now = 1000;
  std::function<std::int64_t(std::int64_t)> clock;

 private:
  engine::PlatformPort& platform_;
  vss::Library& library_;
};

}  // namespace consoletest
