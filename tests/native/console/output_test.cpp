// The console program's outputs: a list file holds exactly the window's clipboard text in the
// chosen encoding, however it is cut into pieces; message lines never run into a list; the
// progress line keeps the end of a long path.
#include "console/output.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "console/list_file.h"
#include "engine/patcher.h"
#include "native/console/support.h"
#include "tests/temp_folder.h"

namespace {

namespace fs = std::filesystem;
using console::Stream;
using consoletest::utf8;

TEST(ConsoleUtf8, CharactersOfEveryLengthAndBrokenSurrogates) {
  // wchar_t holds UTF-16 units on Windows and code points here: both spellings of one character
  // give the same bytes.
  const std::vector<std::pair<std::wstring, std::string>> cases = {
      {L"", ""},
      {L"$/App/main.c", "$/App/main.c"},
      {L"\u00e9", "\xc3\xa9"},
      {L" - VSS上这个文件是损坏的",
       " - VSS\xe4\xb8\x8a\xe8\xbf\x99\xe4\xb8\xaa\xe6\x96\x87\xe4\xbb\xb6\xe6\x98\xaf\xe6\x8d\x9f"
       "\xe5\x9d\x8f\xe7\x9a\x84"},
      {L"\xD83D\xDE00", "\xf0\x9f\x98\x80"},
      {L"\x1F600", "\xf0\x9f\x98\x80"},
      {L"\x7FF\x800\xFFFF", "\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf"},
      // A surrogate without its partner is U+FFFD, as Windows converts it.
      {L"a\xD83D"
       L"b",
       "a\xef\xbf\xbd"
       "b"},
      {L"\xDE00\xD83D", "\xef\xbf\xbd\xef\xbf\xbd"},
      {L"\xD83D", "\xef\xbf\xbd"},
      {L"\x110000", "\xef\xbf\xbd"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(utf8(cases[i].first), cases[i].second) << i;
  }
}

// Collects what a sink is given, and how often.
class Recorder : public console::ByteSink {
 public:
  bool write(const char* bytes, std::size_t count) override {
    ++writes;
    text.append(bytes, count);
    return !failing;
  }
  std::string text;
  int writes = 0;
  bool failing = false;
};

std::vector<std::wstring> manyLines(std::size_t count) {
  std::vector<std::wstring> lines;
  for (std::size_t i = 0; i < count; ++i) {
    lines.push_back(L"$/Billing/src/模块" + std::to_wstring(i % 97) + L"/file" +
                    std::to_wstring(i) + L".c" +
                    (i % 5 == 0 ? L" - 未知错误,代码: -2147024891" : L""));
  }
  return lines;
}

TEST(ConsoleListWriter, WritesTheClipboardTextOfTheLines) {
  for (const std::size_t count : {0u, 1u, 2u, 3u, 20000u}) {
    SCOPED_TRACE(count);
    const std::vector<std::wstring> lines = manyLines(count);
    auto recorder = std::make_unique<Recorder>();
    Recorder& bytes = *recorder;
    console::EncodedSink sink(std::move(recorder), console::appendUtf8);
    console::ListWriter writer(sink);
    for (const std::wstring& line : lines) writer.append(line);
    EXPECT_TRUE(sink.flush());
    EXPECT_EQ(writer.lines(), count);
    EXPECT_EQ(bytes.text, utf8(engine::clipboardText(lines)));
    // A long list goes out in pieces, not line by line and not all at the end.
    if (count == 20000) {
      EXPECT_GT(bytes.writes, 5);
      EXPECT_LT(bytes.writes, 100);
    }
  }
}

TEST(ConsoleListWriter, AFailedWriteIsReportedAtTheNextFlush) {
  auto recorder = std::make_unique<Recorder>();
  Recorder& bytes = *recorder;
  console::EncodedSink sink(std::move(recorder), console::appendUtf8);
  sink.write(L"one");
  EXPECT_TRUE(sink.flush());
  bytes.failing = true;
  sink.write(L"two");
  EXPECT_FALSE(sink.flush());
  bytes.failing = false;
  sink.write(L"three");
  EXPECT_FALSE(sink.flush());  // what failed stays failed
}

// A list file is written beside its destination under NAME.PID.tmp (a taken name passed over,
// never written over) and takes the destination's place only when committed; discarded, or gone
// without either, it leaves the destination as it was. A list that could not be written whole
// never takes its place.
TEST(ConsoleListFile, WrittenBesideItsDestinationAndMovedIntoPlaceOnlyWhenCommitted) {
  testing_support::TempFolder dir;
  consoletest::DiskFiles files;
  files.current = dir.path();
  const auto names = [&] {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(dir.path()))
      out.push_back(entry.path().filename().string() + "=" + dir.read(entry.path().filename()));
    std::sort(out.begin(), out.end());
    return out;
  };
  dir.write("p.txt", "yesterday");
  dir.write("p.txt.4242.tmp", "a killed run's");
  std::uint32_t error = 1;
  auto list = console::ListFile::create(files, L"p.txt", console::appendUtf8, error);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(error, 0u);
  EXPECT_EQ(list->temporary(), L"p.txt.4242-2.tmp");
  console::ListWriter writer(*list);
  writer.append(L"$/App/main.c");
  writer.append(L"$/App/菜单.c");
  EXPECT_TRUE(list->flush());
  const std::string whole = "$/App/main.c\r\n$/App/\xe8\x8f\x9c\xe5\x8d\x95.c";
  EXPECT_EQ(names(),
            (std::vector<std::string>{"p.txt.4242-2.tmp=" + whole, "p.txt.4242.tmp=a killed run's",
                                      "p.txt=yesterday"}));
  EXPECT_EQ(list->commit(), 0u);
  EXPECT_EQ(names(), (std::vector<std::string>{"p.txt.4242.tmp=a killed run's", "p.txt=" + whole}));
  fs::remove(dir / "p.txt.4242.tmp");

  // Discarded, or dropped by a failure: the destination as it was.
  for (const bool discard : {true, false}) {
    auto other = console::ListFile::create(files, L"p.txt", console::appendUtf8, error);
    ASSERT_NE(other, nullptr);
    other->write(L"half a list");
    other->flush();
    if (discard) other->discard();
    other.reset();
    EXPECT_EQ(names(), (std::vector<std::string>{"p.txt=" + whole})) << discard;
  }

  // A list that could not be written whole is discarded at commit.
  struct Failing : consoletest::DiskFiles {
    std::unique_ptr<console::ByteSink> createNew(const std::wstring& path,
                                                 std::uint32_t& code) override {
      DiskFiles::createNew(path, code);
      struct Refusing : console::ByteSink {
        bool write(const char*, std::size_t) override { return false; }
      };
      return std::make_unique<Refusing>();
    }
  } failing;
  failing.current = dir.path();
  auto cut = console::ListFile::create(failing, L"p.txt", console::appendUtf8, error);
  cut->write(L"lost");
  EXPECT_EQ(cut->commit(), 29u);  // ERROR_WRITE_FAULT
  EXPECT_EQ(names(), (std::vector<std::string>{"p.txt=" + whole}));

  // No folder to put the temporary file in.
  EXPECT_EQ(console::ListFile::create(files, L"no/such/p.txt", console::appendUtf8, error),
            nullptr);
  EXPECT_EQ(error, 3u);
}

TEST(ConsoleTerminal, MessageLinesBeginOnALineOfTheirOwn) {
  consoletest::FakeTerminal terminal;
  console::StreamSink output(terminal, Stream::Output);
  console::ListWriter list(output);
  list.append(L"$/a.c");
  list.append(L"$/b.c");
  terminal.line(Stream::Output, L"after the list");
  terminal.lines(Stream::Error, L"开始时间格式有误\r\n密码必需输入\r\n");
  terminal.line(Stream::Error, L"one more");
  EXPECT_EQ(terminal.out, L"$/a.c\r\n$/b.c\r\nafter the list\r\n");
  EXPECT_EQ(terminal.err, L"开始时间格式有误\r\n密码必需输入\r\none more\r\n");

  // A list that shares its stream with messages: no empty line between them.
  consoletest::FakeTerminal shared;
  console::StreamSink error(shared, Stream::Error);
  console::ListWriter unprocessed(error);
  unprocessed.append(L"$/x.c - VSS上这个文件是损坏的");
  shared.line(Stream::Error, L"$/y.c: Injected failure");
  unprocessed.append(L"$/z.c - 未知错误,代码: -2147024891");
  shared.lines(Stream::Error, L"summary\nwith LF only\n\n");
  EXPECT_EQ(shared.err,
            L"$/x.c - VSS上这个文件是损坏的\r\n$/y.c: Injected failure\r\n"
            L"$/z.c - 未知错误,代码: -2147024891\r\nsummary\r\nwith LF only\r\n");
}

TEST(ConsoleProgress, ALongPathKeepsItsEndWithinTheColumns) {
  const std::vector<std::tuple<std::wstring, int, std::wstring>> cases = {
      {L"12  $/App/main.c", 40, L"12  $/App/main.c"},
      {L"12  $/App/main.c", 16, L"12  $/App/main.c"},
      {L"12  $/App/main.c", 15, L"...$/App/main.c"},
      {L"12  $/App/main.c", 13, L"...App/main.c"},
      {L"$/项目/文件.c", 13, L"$/项目/文件.c"},  // 9 characters, 13 columns
      {L"$/项目/文件.c", 12, L"...目/文件.c"},
      {L"$/项目/文件.c", 11, L".../文件.c"},
      {L"$/项目/文件.c", 9, L"...文件.c"},
      {L"$/项目/文件.c", 8, L"...件.c"},  // a wide character does not fit into one column
      {L"abcdef", 3, L"..."},
      {L"abcdef", 2, L".."},
      {L"abcdef", 0, L""},
      {L"", 5, L""},
  };
  for (const auto& [text, columns, fitted] : cases) {
    EXPECT_EQ(console::fitToColumns(text, columns), fitted) << columns;
    int used = 0;
    for (wchar_t c : console::fitToColumns(text, columns)) used += console::columnsOf(c);
    EXPECT_LE(used, std::max(columns, 0));
  }
}

}  // namespace
