// The stand-in store as the tool sees it: date texts, seeding scripts (and their errors, which
// must leave the store untouched), the dump and the synthetic generator.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "standin/file_io.h"
#include "standin/store.h"
#include "tests/native/standin/temp_dir.h"

namespace {

using standin_test::TempDir;
namespace fs = std::filesystem;

// ---- dates ----

TEST(StandinDates, ParsesTheScriptTimesIntoAutomationDates) {
  struct Case {
    const char* text;
    double date;
  } cases[] = {
      {"1899-12-30 00:00", 0.0},
      {"1899-12-31 12:00", 1.5},
      {"1900-01-01 06:00:00", 2.25},
      {"2000-01-01 00:00", 36526.0},
      {"2024-02-29 23:59:59", 45351.0 + 86399.0 / 86400.0},
      {"1899-12-29 06:00", -1.25},  // before the epoch the time of day still counts forwards
  };
  for (const auto& c : cases) {
    auto d = standin::parseDateTime(c.text);
    ASSERT_TRUE(d.has_value()) << c.text;
    EXPECT_NEAR(*d, c.date, 1e-9) << c.text;
  }
}

TEST(StandinDates, RefusesTextsThatAreNotDateTimes) {
  for (const char* text : {"", "abc", "17:12", "2008-13-45 10:00", "2024-02-30 10:00",
                           "2023-02-29 10:00", "2024-05-01", "2024-05-01 24:00", "2024-05-01 10:60",
                           "2024-05-01 10:00:60", "2024-5-01 10:00", "2024-05-01T10:00",
                           "2024-05-01 10:00 ", "2024-05-01 10:00:0"})
    EXPECT_FALSE(standin::parseDateTime(text).has_value()) << '"' << text << '"';
}

TEST(StandinDates, ConvertsBothWaysExactToTheSecond) {
  auto base = standin::parseDateTime("1990-01-01 00:00").value();
  std::int64_t first = standin::secondsFromDate(base);
  // Every second of a day, and a second in each of many days over decades.
  for (std::int64_t s = 0; s < 86400; ++s) {
    double d = standin::dateFromSeconds(first + s);
    ASSERT_EQ(standin::secondsFromDate(d), first + s);
  }
  for (std::int64_t s = first; s < first + 40LL * 365 * 86400; s += 86400 * 7 + 3607) {
    std::string text = standin::formatDateTime(standin::dateFromSeconds(s));
    ASSERT_EQ(standin::secondsFromDate(standin::parseDateTime(text).value()), s) << text;
  }
  EXPECT_EQ(standin::formatDateTime(standin::parseDateTime("2024-05-01 10:00").value()),
            "2024-05-01 10:00:00");
  EXPECT_EQ(standin::secondsFromDate(-1.25), -64800);
  EXPECT_EQ(standin::formatDateTime(-1.25), "1899-12-29 06:00:00");
}

// ---- seeding and dump ----

class StandinSeed : public ::testing::Test {
 protected:
  void SetUp() override { standin::createStore(dir()); }
  fs::path dir() const { return temp_ / "db"; }
  TempDir temp_;
};

TEST_F(StandinSeed, NewStoreHoldsTheRootAndAdmin) {
  EXPECT_TRUE(fs::is_regular_file(dir() / "srcsafe.ini"));
  EXPECT_EQ(standin::dump(dir()), "# standin dump\nuser Admin\nproject $/\n");
  EXPECT_THROW(standin::createStore(dir()), standin::ToolError);
}

TEST_F(StandinSeed, DumpShowsTreeHistoriesSharesDeletionsAndFaults) {
  standin::seed(dir(), R"(# a small database
user alice password secret
user Bob
file $/App/src/main.c by alice at 2024-05-01 10:00 content "int main;"
version $/app/SRC/main.c by Bob at "2024-05-03 09:30:15" comment "fix \"it\"" content "line1\nline2\n"
label $/App "Build 12" by Compileruser at 2024-05-04 08:00
project $/Patch
share $/App/src/main.c into $/Patch
file $/App/old.c
delete $/App/old.c
file $/App/Zeta.c
file $/App/alpha.c
fault $/App/src/main.c get 0x80040000
fault $/App/alpha.c versions -2147221504 text "damaged file"
)");
  EXPECT_EQ(standin::dump(dir()), R"(# standin dump
user Admin
user alice password "secret"
user Bob
project $/
project $/App
  label "Build 12" by Compileruser at 2024-05-04 08:00:00
file $/App/alpha.c
  version 1 by Admin at 2024-05-04 08:06:00 content "$/App/alpha.c version 1\n"
  fault versions 0x80040000 "damaged file"
deleted file $/App/old.c
  version 1 by Admin at 2024-05-04 08:03:00 content "$/App/old.c version 1\n"
project $/App/src
file $/App/src/main.c
  version 1 by alice at 2024-05-01 10:00:00 content "int main;"
  version 2 by Bob at 2024-05-03 09:30:15 comment "fix \"it\"" content "line1\nline2\n"
  fault get 0x80040000 "Injected failure"
file $/App/Zeta.c
  version 1 by Admin at 2024-05-04 08:05:00 content "$/App/Zeta.c version 1\n"
project $/Patch
file $/Patch/main.c shares $/App/src/main.c
)");
}

TEST_F(StandinSeed, DefaultsGiveEachRecordTheNextMinuteAndAdmin) {
  standin::seed(dir(), "file $/a.txt\nversion $/a.txt\nfile $/b.txt at 2024-01-01 10:00\nversion $/b.txt\n");
  EXPECT_EQ(standin::dump(dir()),
            "# standin dump\nuser Admin\nproject $/\n"
            "file $/a.txt\n"
            "  version 1 by Admin at 2000-01-01 00:00:00 content \"$/a.txt version 1\\n\"\n"
            "  version 2 by Admin at 2000-01-01 00:01:00 content \"$/a.txt version 2\\n\"\n"
            "file $/b.txt\n"
            "  version 1 by Admin at 2024-01-01 10:00:00 content \"$/b.txt version 1\\n\"\n"
            "  version 2 by Admin at 2024-01-01 10:01:00 content \"$/b.txt version 2\\n\"\n");
}

TEST_F(StandinSeed, ChildrenAreOrderedByNameWithoutLetterCase) {
  standin::seed(dir(), "file $/b\nfile $/A\nfile $/c\nfile $/a2\nproject $/B2\n");
  std::string text = standin::dump(dir());
  auto at = [&](const char* s) { return text.find(s); };
  EXPECT_LT(at("file $/A\n"), at("file $/a2\n"));
  EXPECT_LT(at("file $/a2\n"), at("file $/b\n"));
  EXPECT_LT(at("file $/b\n"), at("project $/B2\n"));
  EXPECT_LT(at("project $/B2\n"), at("file $/c\n"));
}

TEST_F(StandinSeed, BadScriptNamesTheLineAndChangesNothing) {
  standin::seed(dir(), "file $/App/a.c\nproject $/Lib\n");
  const std::string before = standin::dump(dir());
  auto journalSize = standin::io::fileSize(dir() / "data" / "journal.txt");
  struct Case {
    const char* script;
    int line;
    const char* says;
  } cases[] = {
      {"frobnicate $/x", 1, "unknown command"},
      {"file $/new.c\n\nversion $/missing.c", 3, "not found"},
      {"file $/n.c at 2024-13-01 10:00", 1, "bad time"},
      {"file $/n.c at", 1, "missing value"},
      {"file $/App/a.c", 1, "exists already"},
      {"file $/APP/A.C", 1, "exists already"},
      {"file $/App/a.c/b.c", 1, "is a file"},
      {"project $/App/a.c", 1, "is a file"},
      {"version $/App", 1, "is a project"},
      {"file $/bad$name.c", 1, "bad name"},
      {"file $/x:y", 1, "bad name"},
      {"file App/a.c", 1, "database path"},
      {"label $/App", 1, "missing label"},
      {"share $/App/a.c $/Lib", 1, "into"},
      {"share $/App/a.c into $/App", 1, "holds an item"},
      {"share $/App into $/Lib", 1, "is a project"},
      {"fault $/App/a.c get banana", 1, "bad status"},
      {"fault $/App/a.c explode 0x1", 1, "unknown fault"},
      {"file $/q.c content \"unterminated", 1, "unterminated"},
      {"file $/q.c content \"bad\\q\"", 1, "escape"},
      {"file $/q.c colour red", 1, "unexpected"},
      {"file $/q.c by a by b", 1, "twice"},
      {"user", 1, "missing user name"},
      {"delete $/", 1, "root"},
      {"file $/ok1.c\nfile $/ok2.c\nfile $/ok1.c", 3, "exists already"},
  };
  for (const auto& c : cases) {
    try {
      standin::seed(dir(), c.script);
      ADD_FAILURE() << "accepted: " << c.script;
    } catch (const standin::ToolError& e) {
      EXPECT_EQ(e.line(), c.line) << c.script;
      std::string message = e.what();
      EXPECT_EQ(message.rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << message;
      EXPECT_NE(message.find(c.says), std::string::npos) << c.script << " -> " << message;
    }
    EXPECT_EQ(standin::dump(dir()), before) << c.script;
  }
  EXPECT_EQ(standin::io::fileSize(dir() / "data" / "journal.txt"), journalSize);
}

TEST_F(StandinSeed, ScriptAddressesItemsWithoutLetterCaseAndKeepsTheStoredSpelling) {
  standin::seed(dir(), "project $/MyApp\nfile \"$/myapp/Read Me.txt\"\nversion \"$/MYAPP/read me.TXT\"\n");
  std::string text = standin::dump(dir());
  EXPECT_NE(text.find("file $/MyApp/Read Me.txt\n"), std::string::npos) << text;
  EXPECT_NE(text.find("version 2 by Admin"), std::string::npos) << text;
}

TEST_F(StandinSeed, NewItemMayTakeTheNameOfADeletedOne) {
  standin::seed(dir(), "file $/a.c content one\ndelete $/a.c\nfile $/A.c content two\n");
  std::string text = standin::dump(dir());
  EXPECT_NE(text.find("file $/A.c\n  version 1 by Admin at 2000-01-01 00:02:00 content \"two\""),
            std::string::npos) << text;
  EXPECT_NE(text.find("deleted file $/a.c\n"), std::string::npos) << text;
}

TEST_F(StandinSeed, ScriptMayStartWithAByteOrderMarkAndEndLinesWithCrLf) {
  standin::seed(dir(), "\xEF\xBB\xBFuser bob\r\n# note\r\nfile $/a.c content x\r\n");
  std::string text = standin::dump(dir());
  EXPECT_NE(text.find("user bob\n"), std::string::npos) << text;
  EXPECT_NE(text.find("content \"x\"\n"), std::string::npos) << text;
}

TEST_F(StandinSeed, UsersAndPasswordsCanBeSetAgain) {
  standin::seed(dir(), "user Admin password root\nuser ALICE password a\nuser alice password b\n");
  std::string text = standin::dump(dir());
  EXPECT_NE(text.find("user Admin password \"root\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("user alice password \"b\"\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("ALICE"), std::string::npos) << text;
}

TEST_F(StandinSeed, SeedingWhatIsNoStoreFails) {
  EXPECT_THROW(standin::seed(temp_ / "nothing", "user x"), standin::ToolError);
  EXPECT_THROW(standin::dump(temp_ / "nothing"), standin::ToolError);
}

// ---- generate ----

standin::GenerateOptions smallOptions() {
  standin::GenerateOptions o;
  o.files = 300;
  o.depth = 2;
  o.fanout = 4;
  o.history = 3;
  o.changedFraction = 0.25;
  o.rangeStart = standin::parseDateTime("2024-05-01 00:00").value();
  o.rangeEnd = standin::parseDateTime("2024-05-08 00:00").value();
  o.seed = 7;
  return o;
}

TEST(StandinGenerate, SameOptionsGiveTheSameStore) {
  TempDir temp;
  standin::generate(temp / "a", smallOptions());
  standin::generate(temp / "b", smallOptions());
  EXPECT_EQ(standin::dump(temp / "a"), standin::dump(temp / "b"));
  auto other = smallOptions();
  other.seed = 8;
  standin::generate(temp / "c", other);
  EXPECT_NE(standin::dump(temp / "a"), standin::dump(temp / "c"));
}

TEST(StandinGenerate, BuildsTheTreeHistoriesAndChangedShareAskedFor) {
  TempDir temp;
  auto o = smallOptions();
  standin::generate(temp / "g", o);
  std::string text = standin::dump(temp / "g");
  std::size_t files = 0, versions = 0, inRange = 0;
  std::size_t pos = 0;
  std::string start = standin::formatDateTime(o.rangeStart), end = standin::formatDateTime(o.rangeEnd);
  while ((pos = text.find('\n', pos)) != std::string::npos) {
    ++pos;
    std::string_view line(text.data() + pos, text.find('\n', pos) == std::string::npos ? 0 : text.find('\n', pos) - pos);
    if (line.starts_with("file $/gen/p")) ++files;
    if (line.starts_with("  version ")) {
      ++versions;
      auto at = line.find(" at ");
      std::string when(line.substr(at + 4, 19));
      if (when > start && when < end) ++inRange;
    }
  }
  EXPECT_EQ(files, 300u);
  EXPECT_EQ(versions, 900u);
  EXPECT_GT(inRange, 40u);  // about a quarter of 300 files
  EXPECT_LT(inRange, 110u);
  EXPECT_NE(text.find("project $/gen/p03/p03\n"), std::string::npos);  // fan-out 4, depth 2
  EXPECT_EQ(text.find("project $/gen/p04"), std::string::npos);
  EXPECT_NE(text.find("label \"Build base\" by Compileruser"), std::string::npos);
  EXPECT_NE(text.find("by Compileruser"), text.rfind("by Compileruser"));  // file labels too
}

TEST(StandinGenerate, RefusesBadOptions) {
  TempDir temp;
  auto o = smallOptions();
  o.rangeEnd = o.rangeStart;
  EXPECT_THROW(standin::generate(temp / "x", o), standin::ToolError);
  o = smallOptions();
  o.fanout = 0;
  EXPECT_THROW(standin::generate(temp / "y", o), standin::ToolError);
}

}  // namespace
