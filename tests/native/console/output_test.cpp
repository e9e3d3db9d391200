// The console program's outputs: a list is its lines with CR LF between them in the chosen
// encoding, however it is cut into pieces; a list file is written under a temporary name; the
// progress line keeps the end of a long path.
#include "console/output.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "console/list_file.h"
#include "native/console/support.h"
#include "tests/temp_folder.h"

namespace {

using namespace consoletest;
using Strings = std::vector<std::string>;

TEST(ConsoleUtf8, CharactersOfEveryLengthAndBrokenSurrogates) {
  // wchar_t holds UTF-16 units on Windows and code points here: both spellings of one character
  // give the same bytes. A surrogate without its partner is U+FFFD, as Windows converts it.
  const std::vector<std::pair<std::wstring, std::string>> cases = {
      {L"$/\u00e9\u4e0a", "$/\xc3\xa9\xe4\xb8\x8a"},
      {L"\xD83D\xDE00", "\xf0\x9f\x98\x80"},
      {L"\x1F600", "\xf0\x9f\x98\x80"},
      {L"\x7FF\x800\xFFFF", "\xdf\xbf\xe0\xa0\x80\xef\xbf\xbf"},
      {L"a\xD83Dz", "a\xef\xbf\xbdz"},
      {L"\xDE00\xD83D", "\xef\xbf\xbd\xef\xbf\xbd"},
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

// What a list writer gives a sink for `lines`, and in how many writes.
std::pair<std::string, int> written(const std::vector<std::wstring>& lines) {
  auto recorder = std::make_unique<Recorder>();
  Recorder& bytes = *recorder;
  console::EncodedSink sink(std::move(recorder), console::appendUtf8);
  console::ListWriter writer(sink);
  for (const std::wstring& line : lines) writer.append(line);
  EXPECT_TRUE(sink.flush());
  EXPECT_EQ(writer.lines(), lines.size());
  return {bytes.text, bytes.writes};
}

// CR LF between lines and none after the last, as the window copies a list to the clipboard; a
// long list goes out in pieces, not line by line and not all at the end. A failed write is
// reported at the next flush, and stays failed.
TEST(ConsoleListWriter, WritesTheLinesWithCrLfBetweenThemInPieces) {
  EXPECT_EQ(written({}).first, "");
  EXPECT_EQ(written({L"$/a.c", L""}).first, "$/a.c\r\n");
  EXPECT_EQ(written({L"$/a.c", L"$/菜单.c - x", L"$/b.c"}).first,
            "$/a.c\r\n$/\xe8\x8f\x9c\xe5\x8d\x95.c - x\r\n$/b.c");
  std::vector<std::wstring> many;
  for (int i = 0; i < 20000; ++i) many.push_back(L"$/Billing/src/模块/file" + std::to_wstring(i));
  const auto [text, writes] = written(many);
  EXPECT_EQ(text, utf8(listText(many)));
  EXPECT_GT(writes, 5);
  EXPECT_LT(writes, 100);

  auto recorder = std::make_unique<Recorder>();
  Recorder& bytes = *recorder;
  console::EncodedSink sink(std::move(recorder), console::appendUtf8);
  for (const bool expected : {true, false, false}) {  // what failed stays failed
    bytes.failing = bytes.writes == 1;
    sink.write(L"line");
    EXPECT_EQ(sink.flush(), expected) << bytes.writes;
  }
}

// A list file is written beside its destination under NAME.PID.tmp (a taken name passed over,
// never written over) and takes the destination's place only when committed; discarded, or gone
// without either, it leaves the destination as it was. A list that could not be written whole
// never takes its place.
TEST(ConsoleListFile, WrittenBesideItsDestinationAndMovedIntoPlaceOnlyWhenCommitted) {
  testing_support::TempFolder dir;
  DiskFiles files;
  files.current = dir.path();
  const auto names = [&dir] { return filesIn(dir.path()); };
  dir.write("p.txt", "yesterday");
  dir.write("p.txt.4242.tmp", "a killed run's");
  std::uint32_t error = 1;
  auto list = console::ListFile::create(files, L"p.txt", console::appendUtf8, error);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(error, 0u);
  list->write(L"$/App/菜单.c");
  EXPECT_TRUE(list->flush());
  const std::string whole = "$/App/\xe8\x8f\x9c\xe5\x8d\x95.c";
  EXPECT_EQ(names(), (Strings{"p.txt.4242-2.tmp=" + whole, "p.txt.4242.tmp=a killed run's",
                              "p.txt=yesterday"}));
  EXPECT_EQ(list->commit(), 0u);
  EXPECT_EQ(names(), (Strings{"p.txt.4242.tmp=a killed run's", "p.txt=" + whole}));
  fs::remove(dir / "p.txt.4242.tmp");

  // Discarded, or dropped by a failure: the destination as it was.
  for (const bool discard : {true, false}) {
    auto other = console::ListFile::create(files, L"p.txt", console::appendUtf8, error);
    other->write(L"half a list");
    other->flush();
    if (discard) other->discard();
    other.reset();
    EXPECT_EQ(names(), (Strings{"p.txt=" + whole})) << discard;
  }

  // A list that could not be written whole is discarded at commit.
  files.failWrites = true;
  auto cut = console::ListFile::create(files, L"p.txt", console::appendUtf8, error);
  cut->write(L"lost");
  EXPECT_EQ(cut->commit(), 29u);  // ERROR_WRITE_FAULT
  EXPECT_EQ(names(), (Strings{"p.txt=" + whole}));

  // No folder to put the temporary file in.
  EXPECT_EQ(console::ListFile::create(files, L"no/such/p.txt", console::appendUtf8, error),
            nullptr);
  EXPECT_EQ(error, 3u);
}

TEST(ConsoleProgress, ALongPathKeepsItsEndWithinTheColumns) {
  const std::vector<std::tuple<std::wstring, int, std::wstring>> cases = {
      {L"12  $/App/main.c", 16, L"12  $/App/main.c"},
      {L"12  $/App/main.c", 15, L"...$/App/main.c"},
      {L"$/项目/文件.c", 13, L"$/项目/文件.c"},  // 9 characters, 13 columns
      {L"$/项目/文件.c", 12, L"...目/文件.c"},
      {L"$/项目/文件.c", 8, L"...件.c"},  // a wide character does not fit into one column
      {L"abcdef", 3, L"..."},
      {L"abcdef", 2, L".."},
      {L"abcdef", 0, L""},
  };
  for (const auto& [text, columns, fitted] : cases) {
    EXPECT_EQ(console::fitToColumns(text, columns), fitted) << columns;
  }
}

}  // namespace
