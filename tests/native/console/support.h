// What the console tests run the console program on: a terminal that keeps what each stream was
// given, and an environment over the engine tests' platform and library with settings files,
// variables and a clock of the test's own; the UTF-8 bytes of a text.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "console/run.h"

namespace consoletest {

class FakeTerminal : public console::Terminal {
 public:
  void setEncoding(console::Encoding e) override { encoding = e; }
  bool flush() override {
    ++flushes;
    return true;
  }
  bool showsProgress() override { return progress; }
  void showProgress(std::wstring_view text) override { shown.emplace_back(text); }
  void clearProgress() override { ++clears; }

  std::wstring out, err;
  bool progress = false;
  std::vector<std::wstring> shown;
  int clears = 0, flushes = 0;
  console::Encoding encoding = console::Encoding::Ansi;

 protected:
  void writeText(console::Stream stream, std::wstring_view text) override {
    (stream == console::Stream::Output ? out : err) += text;
  }
};

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
  console::SettingsFile readSettings(const std::wstring& path) override {
    settingsRead.push_back(path);
    const auto it = files.find(path);
    if (it != files.end()) return it->second;
    console::SettingsFile missing;
    missing.problem = console::SettingsFile::Problem::NotFound;
    return missing;
  }
  std::optional<std::wstring> variable(const std::wstring& name) override {
    const auto it = variables.find(name);
    if (it == variables.end()) return std::nullopt;
    return it->second;
  }
  console::Encoder encoder(console::Encoding encoding) override {
    if (encoding == console::Encoding::Utf8) return console::appendUtf8;
    return appendLatin1;
  }
  // Each reading of the clock moves it on by `tick` milliseconds, or as `clock` says.
  std::int64_t milliseconds() override {
    now = clock ? clock(now) : now + tick;
    return now;
  }

  FakeTerminal term;
  std::map<std::wstring, console::SettingsFile> files;
  std::map<std::wstring, std::wstring> variables;
  std::vector<std::wstring> settingsRead;
  std::int64_t now = 1000, tick = 1;
  std::function<std::int64_t(std::int64_t)> clock;

 private:
  engine::PlatformPort& platform_;
  vss::Library& library_;
};

}  // namespace consoletest
