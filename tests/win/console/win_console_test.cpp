// The console program's Windows side on the real platform: the settings file is read as the window
// reads its own (and never touched) or, saved in Unicode, as such, files are told apart as Windows
// tells them whatever the spelling of their paths, the list files are made and replaced, and the
// standard streams carry the encoded text in order when redirected and keep the progress line to
// one line of a console. (That a list's ANSI bytes are the clipboard's: tests/e2e/console.sh.)
#include "console/win_console.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "console/settings_text.h"
#include "settings/ini_api.h"
#include "tests/native/console/profile_cases.h"
#include "tests/temp_folder.h"

namespace {

using console::Stream;

std::string ansi(const std::wstring& text) {
  std::string bytes;
  console::appendAnsi(text, bytes);
  return bytes;
}

class SettingsFileTest : public testing::Test {
 protected:
  void SetUp() override { GetCurrentDirectoryW(MAX_PATH, previous_); }
  void TearDown() override { SetCurrentDirectoryW(previous_); }
  // Makes the file `name` of the test's folder the current folder until the test ends.
  bool enter(const std::wstring& name) {
    return SetCurrentDirectoryW(folder_.file(name).c_str()) != FALSE;
  }

  testing_support::TempFolder folder_{L"ostrabel-console-settings"};
  wchar_t previous_[MAX_PATH] = {};
};

TEST_F(SettingsFileTest, ValuesReadAsTheWindowReadsThemAndTheFileLeftAlone) {
  const std::string text = "[cfg]\r\nhost=" + std::string(300, 'h') +
                           "\r\nproject=$/Billing\r\npasswd=\" se cret \"\r\nignoreBuildUser=1\r\n"
                           "startDate=2024-03-04 00:00\r\n";
  folder_.write(L"job.ini", text);
  SetFileAttributesW(folder_.file(L"job.ini").c_str(), FILE_ATTRIBUTE_READONLY);
  const console::SettingsFile file = console::readSettingsFile(folder_.file(L"job.ini"));
  ASSERT_EQ(file.problem, console::SettingsFile::Problem::None);
  EXPECT_EQ(file.values.host, std::wstring(254, L'h'));         // the profile functions' cut
  EXPECT_EQ(file.cutKeys, std::vector<std::wstring>{L"host"});  // which the run then refuses
  EXPECT_EQ(file.values.project, L"$/Billing");
  EXPECT_EQ(file.values.passwd, L" se cret ");
  EXPECT_TRUE(file.values.ignoreBuildUser);
  EXPECT_EQ(file.values.startDate, L"2024-03-04 00:00");
  EXPECT_EQ(file.values.endDate, L"");
  EXPECT_EQ(file.values.localDir, L"");
  // The window makes its own file writable at start; a settings file given here stays as it is.
  EXPECT_NE(GetFileAttributesW(folder_.file(L"job.ini").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
  EXPECT_EQ(folder_.read(L"job.ini"), text);
  SetFileAttributesW(folder_.file(L"job.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A name without a folder is a file of the current folder, not of the Windows folder (where the
// profile functions would look for it).
TEST_F(SettingsFileTest, ARelativePathIsTakenFromTheCurrentFolder) {
  folder_.write(L"job.ini", "[cfg]\r\nproject=$/Here\r\n");
  ASSERT_TRUE(enter(L""));
  const console::SettingsFile file = console::readSettingsFile(L"job.ini");
  const console::SettingsFile missing = console::readSettingsFile(L"win.ini");
  EXPECT_EQ(file.problem, console::SettingsFile::Problem::None);
  EXPECT_EQ(file.values.project, L"$/Here");
  EXPECT_EQ(missing.problem, console::SettingsFile::Problem::NotFound);
}

TEST_F(SettingsFileTest, WhatCannotBeReadIsSaid) {
  using Problem = console::SettingsFile::Problem;
  CreateDirectoryW(folder_.file(L"folder.ini").c_str(), nullptr);
  folder_.write(L"locked.ini", "[cfg]\r\nproject=$/Locked\r\n");
  HANDLE lock = CreateFileW(folder_.file(L"locked.ini").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(lock, INVALID_HANDLE_VALUE);
  const std::vector<std::tuple<std::wstring, Problem, DWORD>> cases = {
      {folder_.file(L"none.ini"), Problem::NotFound, ERROR_FILE_NOT_FOUND},
      {folder_.file(L"no\\such\\folder\\job.ini"), Problem::NotFound, ERROR_PATH_NOT_FOUND},
      {folder_.file(L"folder.ini"), Problem::Unreadable, ERROR_ACCESS_DENIED},
      {folder_.file(L"locked.ini"), Problem::Unreadable, ERROR_SHARING_VIOLATION},
  };
  for (const auto& [path, problem, error] : cases) {
    const console::SettingsFile file = console::readSettingsFile(path);
    EXPECT_EQ(file.problem, problem) << path.size();
    EXPECT_EQ(file.systemError, error) << path.size();
  }
  CloseHandle(lock);
  EXPECT_EQ(console::readSettingsFile(folder_.file(L"locked.ini")).values.project, L"$/Locked");
}

// A settings file saved as UTF-8 (with or without a byte-order mark) or as UTF-16 with one is read
// as such, whole, also where the ANSI code page lacks its characters; a file of the ANSI code
// page is read by the profile functions, as the window reads its own.
TEST_F(SettingsFileTest, UnicodeFilesAreReadAsSuchAndOthersInTheAnsiCodePage) {
  const std::wstring localDir = L"D:\\补丁\\한국\\" + std::wstring(300, L'x');
  const std::wstring text = L"[cfg]\r\nproject=$/账单\r\nlocalDir=" + localDir + L"\r\n";
  std::string utf8, utf16 = "\xFF\xFE";
  console::appendUtf8(text, utf8);
  for (const wchar_t c : text) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  for (const auto& [name, bytes] : std::vector<std::pair<std::wstring, std::string>>{
           {L"utf8.ini", utf8}, {L"bom.ini", "\xEF\xBB\xBF" + utf8}, {L"utf16.ini", utf16}}) {
    SCOPED_TRACE(testing::PrintToString(name));
    folder_.write(name, bytes);
    const console::SettingsFile file = console::readSettingsFile(folder_.file(name));
    EXPECT_EQ(file.problem, console::SettingsFile::Problem::None);
    EXPECT_EQ(file.values.project, L"$/账单");
    EXPECT_EQ(file.values.localDir, localDir);
    EXPECT_TRUE(file.cutKeys.empty());
  }
  if (GetACP() == 936) {
    folder_.write(L"ansi.ini", "[cfg]\r\nproject=$/\xD5\xCB\xB5\xA5\r\n");  // 账单 in code page 936
    EXPECT_EQ(console::readSettingsFile(folder_.file(L"ansi.ini")).values.project, L"$/账单");
  }
}

// Whether the file gives the password key at all, empty or not (a login without a password), in
// a file of the ANSI code page and in a Unicode one alike: in the section [cfg] only, in any
// letter case.
TEST_F(SettingsFileTest, AnEmptyPasswordIsGivenOnlyByAPasswdKeyInTheSection) {
  for (const char* bom : {"", "\xEF\xBB\xBF"}) {
    for (const auto& [text, given] : std::vector<std::pair<std::string, bool>>{
             {"[cfg]\r\nuser=x\r\npasswd=\r\n", true},
             {"[CFG]\r\nPassWD = \r\nuser=x\r\n", true},
             {"[cfg]\r\nuser=x\r\n", false},
             {"[other]\r\npasswd=\r\n[cfg]\r\nuser=x\r\n", false}}) {
      SCOPED_TRACE(text + (*bom ? " (UTF-8)" : ""));
      folder_.write(L"job.ini", bom + text);
      const console::SettingsFile file = console::readSettingsFile(folder_.file(L"job.ini"));
      EXPECT_EQ(file.values.user, L"x");
      EXPECT_EQ(file.passwdGiven, given);
    }
  }
}

// The rules by which a Unicode settings file is read are the profile functions' rules: for the
// same text in ASCII, both find the value the rule gives, or none.
TEST_F(SettingsFileTest, AUnicodeFileIsReadByTheProfileFunctionsRules) {
  IniApi ini;
  ini.setIniFileName(folder_.file(L"rules.ini"));
  for (const consoletest::ProfileCase& c : consoletest::kProfileCases) {
    const std::wstring text = c.text;
    if (std::any_of(text.begin(), text.end(), [](wchar_t ch) { return ch > 0x7F; })) continue;
    SCOPED_TRACE(c.rule);
    folder_.write(L"rules.ini", std::string(text.begin(), text.end()));
    EXPECT_EQ(ini.readString(L"cfg", L"project"), c.value.value_or(L""));
    EXPECT_EQ(console::profileValue(text, L"cfg", L"project"), c.value);
  }
}

// The file system as the console program compares files: one file under every spelling Windows
// takes for it (letter case, ".\", "..", its short name, a hard link) has one place; a file that
// does not exist yet is its folder and its name in any letter case.
TEST_F(SettingsFileTest, OneFileIsOnePlaceWhateverItsSpelling) {
  console::WinFiles files;
  CreateDirectoryW(folder_.file(L"sub").c_str(), nullptr);
  folder_.write(L"a long settings name.ini", "[cfg]\r\n");
  folder_.write(L"other.ini", "[cfg]\r\n");
  const std::wstring file = folder_.file(L"a long settings name.ini");
  wchar_t shortName[MAX_PATH] = {};
  GetShortPathNameW(file.c_str(), shortName, MAX_PATH);
  ASSERT_TRUE(enter(L"sub"));
  const std::optional<console::FilePlace> place = files.place(file);
  ASSERT_TRUE(place.has_value());
  std::vector<std::wstring> spellings = {
      folder_.file(L"A LONG Settings Name.INI"), L"..\\a long settings name.ini",
      L".\\..\\sub\\..\\a long settings name.ini",
      folder_.file(L"sub\\..\\.\\a long settings name.ini"), shortName};
  if (CreateHardLinkW(folder_.file(L"linked.ini").c_str(), file.c_str(), nullptr)) {
    spellings.push_back(folder_.file(L"linked.ini"));
  }
  for (const std::wstring& spelling : spellings) {
    EXPECT_EQ(files.place(spelling), place) << testing::PrintToString(spelling);
  }
  EXPECT_NE(std::wstring(shortName), file);  // a short name of its own
  EXPECT_NE(files.place(folder_.file(L"other.ini")), place);
  // Not there yet: the same folder and name in any spelling, another name is another place.
  EXPECT_EQ(files.place(L"..\\New.txt"), files.place(folder_.file(L"NEW.TXT")));
  EXPECT_NE(files.place(L"..\\New.txt"), files.place(L"New.txt"));
  EXPECT_EQ(files.place(L"..\\no such folder\\new.txt"), std::nullopt);
  // The folders above, nearest first, up to the root, however the path reaches them.
  const std::vector<console::FileIdentity> above = files.foldersAbove(L".\\..\\sub\\x.txt");
  ASSERT_GE(above.size(), 3u);
  EXPECT_EQ(above[0], files.place(folder_.file(L"SUB"))->id);
  EXPECT_EQ(above[1], files.place(folder_.file(L""))->id);
  EXPECT_EQ(above.back(), files.place(L"\\")->id);
}

// What stands at a path, full paths made as Windows makes them (a bare drive is that drive's
// current folder), and the list files' creation and replacement.
TEST_F(SettingsFileTest, KindsFullPathsAndListFiles) {
  console::WinFiles files;
  CreateDirectoryW(folder_.file(L"folder").c_str(), nullptr);
  folder_.write(L"plain.txt", "plain");
  folder_.write(L"locked.txt", "locked");
  SetFileAttributesW(folder_.file(L"locked.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(files.kind(folder_.file(L"plain.txt")), console::FileKind::File);
  EXPECT_EQ(files.kind(folder_.file(L"locked.txt")), console::FileKind::ReadOnlyFile);
  EXPECT_EQ(files.kind(folder_.file(L"folder")), console::FileKind::Folder);
  EXPECT_EQ(files.kind(folder_.file(L"none.txt")), console::FileKind::None);
  EXPECT_EQ(files.kind(L"NUL"), console::FileKind::Device);  // written to as it is
  // Under Wine the machine's devices are files of Z:\dev; never may a list be moved over one.
  if (GetFileAttributesW(L"Z:\\dev") != INVALID_FILE_ATTRIBUTES) {
    EXPECT_EQ(files.kind(L"Z:\\dev\\full"), console::FileKind::Device);
  }

  ASSERT_TRUE(enter(L"folder"));
  const std::wstring here = folder_.file(L"folder");
  const std::wstring drive = here.substr(0, 2);
  EXPECT_EQ(files.fullPath(L"out"), here + L"\\out");
  EXPECT_EQ(files.fullPath(L"..\\out"), folder_.file(L"out"));
  EXPECT_EQ(files.fullPath(drive), here);
  EXPECT_EQ(files.fullPath(drive + L"out"), here + L"\\out");
  EXPECT_EQ(files.fullPath(L"\\out"), drive + L"\\out");
  for (const std::wstring& full : {std::wstring(L"C:\\out\\..\\x\\"), std::wstring(L"D:/a"),
                                   std::wstring(L"\\\\server\\share\\a")}) {
    EXPECT_EQ(files.fullPath(full), full);
  }

  std::uint32_t error = 0;
  EXPECT_EQ(files.createNew(folder_.file(L"plain.txt"), error), nullptr);
  EXPECT_EQ(error, DWORD{ERROR_FILE_EXISTS});
  {
    auto bytes = files.createNew(folder_.file(L"new.txt"), error);
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(bytes->write("new", 3));
  }
  EXPECT_EQ(files.replace(folder_.file(L"new.txt"), folder_.file(L"plain.txt")), 0u);
  EXPECT_EQ(folder_.read(L"plain.txt"), "new");
  folder_.write(L"new.txt", "new");
  files.remove(folder_.file(L"new.txt"));
  EXPECT_EQ(files.kind(folder_.file(L"new.txt")), console::FileKind::None);
  SetFileAttributesW(folder_.file(L"locked.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST(ConsoleEnvironment, VariablesSetEmptyUnsetAndLong) {
  console::WinEnvironment environment;
  const std::wstring name = L"OSTRABEL_CONSOLE_TEST_VARIABLE";
  SetEnvironmentVariableW(name.c_str(), nullptr);
  EXPECT_EQ(environment.variable(name), std::nullopt);
  SetEnvironmentVariableW(name.c_str(), L"");
  EXPECT_EQ(environment.variable(name), std::wstring());
  const std::wstring long_(1000, L'密');
  SetEnvironmentVariableW(name.c_str(), long_.c_str());
  EXPECT_EQ(environment.variable(name), long_);
  SetEnvironmentVariableW(name.c_str(), nullptr);
}

// Standard output and error replaced by pipes for the life of a test.
class RedirectedStreams {
 public:
  explicit RedirectedStreams(bool oneFile) {
    saved_[0] = GetStdHandle(STD_OUTPUT_HANDLE);
    saved_[1] = GetStdHandle(STD_ERROR_HANDLE);
    for (int i = 0; i < 2; ++i) CreatePipe(&read_[i], &write_[i], nullptr, 1 << 20);
    SetStdHandle(STD_OUTPUT_HANDLE, write_[0]);
    SetStdHandle(STD_ERROR_HANDLE, write_[oneFile ? 0 : 1]);
  }
  ~RedirectedStreams() {
    SetStdHandle(STD_OUTPUT_HANDLE, saved_[0]);
    SetStdHandle(STD_ERROR_HANDLE, saved_[1]);
    for (int i = 0; i < 2; ++i) {
      CloseHandle(read_[i]);
      CloseHandle(write_[i]);
    }
  }
  // What the stream (0 output, 1 error) has been given so far.
  std::string take(int i) {
    std::string bytes;
    DWORD available = 0;
    while (PeekNamedPipe(read_[i], nullptr, 0, nullptr, &available, nullptr) && available > 0) {
      std::string piece(available, '\0');
      DWORD got = 0;
      ReadFile(read_[i], piece.data(), available, &got, nullptr);
      bytes.append(piece, 0, got);
    }
    return bytes;
  }

 private:
  HANDLE saved_[2], read_[2], write_[2];
};

TEST(ConsoleTerminal, RedirectedStreamsTakeTheChosenEncodingAndNoProgress) {
  RedirectedStreams streams(false);
  {
    console::WinTerminal terminal;
    EXPECT_FALSE(terminal.showsProgress());
    terminal.showProgress(L"1  $/App/main.c");  // goes nowhere
    terminal.setEncoding(console::Encoding::Utf8);
    console::StreamSink output(terminal, Stream::Output);
    output.write(L"$/App/菜单.c");
    output.write(L"\r\n");
    output.write(L"$/App/main.c");
    terminal.line(Stream::Error, L"开始时间格式有误");
    EXPECT_TRUE(terminal.flush());
    EXPECT_EQ(streams.take(0), "$/App/\xe8\x8f\x9c\xe5\x8d\x95.c\r\n$/App/main.c");
    EXPECT_EQ(streams.take(1),
              "\xe5\xbc\x80\xe5\xa7\x8b\xe6\x97\xb6\xe9\x97\xb4\xe6\xa0\xbc\xe5\xbc"
              "\x8f\xe6\x9c\x89\xe8\xaf\xaf\r\n");
    terminal.setEncoding(console::Encoding::Ansi);
    terminal.line(Stream::Error, L"密码必需输入");
    EXPECT_EQ(streams.take(1), ansi(L"密码必需输入\r\n"));
  }
}

// With both streams in one file (2>&1) a message comes after the list lines written before it.
TEST(ConsoleTerminal, OneFileForBothStreamsKeepsTheOrder) {
  RedirectedStreams streams(true);
  {
    console::WinTerminal terminal;
    terminal.setEncoding(console::Encoding::Utf8);
    console::StreamSink output(terminal, Stream::Output);
    console::ListWriter list(output);
    list.append(L"$/a.c");
    terminal.line(Stream::Error, L"$/b.c: Lost");
    list.append(L"$/c.c");
    terminal.line(Stream::Error, L"summary");
    EXPECT_TRUE(terminal.flush());
  }
  EXPECT_EQ(streams.take(0), "$/a.c\r\n$/b.c: Lost\r\n$/c.c\r\nsummary\r\n");
}

// The characters of the console's screen buffer from row `top` on, one text per row, trailing
// blanks removed.
std::vector<std::wstring> screenRows(HANDLE console, SHORT top, SHORT rows) {
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  GetConsoleScreenBufferInfo(console, &info);
  std::vector<std::wstring> out;
  for (SHORT row = top; row < top + rows; ++row) {
    std::wstring text(static_cast<size_t>(info.dwSize.X), L' ');
    DWORD read = 0;
    ReadConsoleOutputCharacterW(console, text.data(), info.dwSize.X, {0, row}, &read);
    text.resize(read);
    while (!text.empty() && text.back() == L' ') text.pop_back();
    out.push_back(text);
  }
  return out;
}

// On a console the progress line is overwritten in place, fits the width, and gives way to
// every other line; a list that ended without a line break is not overwritten.
TEST(ConsoleTerminal, OnAConsoleTheProgressLineStaysOneLine) {
  FreeConsole();
  if (!AllocConsole()) GTEST_SKIP() << "no console can be made here";
  HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  HANDLE saved[2] = {GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE)};
  SetStdHandle(STD_OUTPUT_HANDLE, out);
  SetStdHandle(STD_ERROR_HANDLE, out);
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  ASSERT_TRUE(GetConsoleScreenBufferInfo(out, &info));
  const SHORT top = info.dwCursorPosition.Y;
  const int width = info.srWindow.Right - info.srWindow.Left + 1;
  std::vector<std::wstring> longLine, shortLine;
  {
    console::WinTerminal terminal;
    ASSERT_TRUE(terminal.showsProgress());
    console::StreamSink output(terminal, Stream::Output);
    console::ListWriter list(output);
    list.append(L"$/App/main.c");
    terminal.showProgress(L"1  $/App/main.c");
    terminal.showProgress(L"2  $/App/src/a-much-longer-path/" + std::wstring(2 * width, L'x') +
                          L"/end.c");
    longLine = screenRows(out, top, 3);
    terminal.showProgress(L"3  $/App/b.c");
    shortLine = screenRows(out, top, 3);
    list.append(L"$/App/b.c");
    terminal.showProgress(L"4  $/App/c.c");
    terminal.line(Stream::Error, L"summary");
    terminal.flush();
  }
  const std::vector<std::wstring> rows = screenRows(out, top, 5);
  SetStdHandle(STD_OUTPUT_HANDLE, saved[0]);
  SetStdHandle(STD_ERROR_HANDLE, saved[1]);
  CloseHandle(out);
  FreeConsole();
  // A path too long for the line keeps its end and stays on one line below the unfinished list
  // line; a shorter one overwrites it completely.
  ASSERT_EQ(longLine.size(), 3u);
  EXPECT_EQ(longLine[0], L"$/App/main.c");
  EXPECT_EQ(longLine[1].substr(0, 3), L"...");
  EXPECT_EQ(longLine[1].substr(longLine[1].size() - 6), L"/end.c");
  EXPECT_LT(static_cast<int>(longLine[1].size()), width);
  EXPECT_EQ(longLine[2], L"");
  EXPECT_EQ(shortLine, std::vector<std::wstring>({L"$/App/main.c", L"3  $/App/b.c", L""}));
  // At the end the progress line is gone; the list lines and the summary each stand on a line of
  // their own.
  EXPECT_EQ(rows, std::vector<std::wstring>({L"$/App/main.c", L"$/App/b.c", L"summary", L"", L""}));
}

}  // namespace
