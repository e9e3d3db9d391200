// The stand-in store as the tool sees it: date texts, seeding scripts (and their errors, which
// must leave the store untouched), the dump and the synthetic generator.
#include "standin/store.h"

#include <gtest/gtest.h>

#include <regex>

#include "tests/native/standin/support.h"

namespace {

using standin_test::TempDir;
namespace fs = std::filesystem;

TEST(StandinDates, ParseFormatAndRefuse) {
  EXPECT_EQ(standin::parseDateTime("1899-12-30 00:00"), 0.0);
  EXPECT_EQ(standin::parseDateTime("1900-01-01 06:00:00"), 2.25);
  EXPECT_NEAR(standin::parseDateTime("2024-02-29 23:59:59").value(), 45351 + 86399 / 86400.0, 1e-9);
  // Before the epoch the time of day still counts forwards.
  EXPECT_EQ(standin::parseDateTime("1899-12-29 06:00"), -1.25);
  EXPECT_EQ(standin::formatDateTime(-1.25), "1899-12-29 06:00:00");
  for (const char* text :
       {"", "17:12", "2024-02-30 10:00", "2023-02-29 10:00", "2024-05-01", "2024-05-01 24:00",
        "2024-05-01 10:00:60", "2024-5-01 10:00", "2024-05-01T10:00", "2024-05-01 10:00 "})
    EXPECT_FALSE(standin::parseDateTime(text).has_value()) << '"' << text << '"';
  // Round trips exact to the second over decades.
  std::int64_t first = standin::secondsFromDate(standin::parseDateTime("1990-01-01 00:00").value());
  for (std::int64_t s = first; s < first + 40LL * 365 * 86400; s += 86400 * 7 + 3607) {
    std::string text = standin::formatDateTime(standin::dateFromSeconds(s));
    ASSERT_EQ(standin::secondsFromDate(standin::parseDateTime(text).value()), s) << text;
  }
}

class StandinSeed : public ::testing::Test {
 protected:
  void SetUp() override { standin::createStore(dir()); }
  fs::path dir() const { return temp_ / "db"; }
  TempDir temp_;
};

TEST_F(StandinSeed, DumpShowsTreeHistoriesSharesDeletionsAndFaults) {
  // A new store holds the root and Admin, and is made once.
  EXPECT_EQ(standin::dump(dir()), "# standin dump\nuser Admin\nproject $/\n");
  EXPECT_THROW(standin::createStore(dir()), standin::ToolError);
  EXPECT_THROW(standin::seed(temp_ / "nothing", "user x"), standin::ToolError);
  EXPECT_THROW(standin::dump(temp_ / "nothing"), standin::ToolError);
  // A byte order mark, CRLF line ends, case-insensitive addressing, default users and times
  // (the next minute), a user set again, a new item taking a deleted one's name.
  standin::seed(dir(),
                "\xEF\xBB\xBF# a small database\r\nuser ALICE password x\r\n"
                R"(user alice password secret
user Bob
file $/App/src/main.c by alice at 2024-05-01 10:00 content "int main;"
version $/app/SRC/main.c by Bob at "2024-05-03 09:30:15" comment "fix \"it\"" content "line1\nline2\n"
label $/App "Build 12" by Compileruser at 2024-05-04 08:00
project $/Patch
share $/App/src/main.c into $/Patch
file $/App/old.c
delete $/App/old.c
file $/App/OLD.c content two
file $/App/alpha.c
fault $/App/src/main.c get 0x80040000
fault $/App/alpha.c versions -2147221504 text "damaged file"
version $/Patch/main.c by carol at 2024-05-06 10:00 content v3
project $/Patch/old
pin $/App/src/main.c into $/Patch/old version 1
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
file $/App/OLD.c
  version 1 by Admin at 2024-05-04 08:05:00 content "two"
deleted file $/App/old.c
  version 1 by Admin at 2024-05-04 08:03:00 content "$/App/old.c version 1\n"
project $/App/src
file $/App/src/main.c
  version 1 by alice at 2024-05-01 10:00:00 content "int main;"
  version 2 by Bob at 2024-05-03 09:30:15 comment "fix \"it\"" content "line1\nline2\n"
  version 3 by carol at 2024-05-06 10:00:00 from $/Patch content "v3"
  fault get 0x80040000 "Injected failure"
project $/Patch
file $/Patch/main.c shares $/App/src/main.c
project $/Patch/old
file $/Patch/old/main.c shares $/App/src/main.c pinned at version 1
)");
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
      {"file $/APP/A.C", 1, "exists already"},
      {"version $/App", 1, "is a project"},
      {"file $/bad$name.c", 1, "bad name"},
      {"share $/App/a.c into $/App", 1, "holds an item"},
      {"pin $/App/a.c into $/Lib version 2", 1, "no version 2"},
      {"pin $/App/a.c into $/Lib", 1, "missing \"version\""},
      {"pin $/App/a.c into $/Lib version 1\nversion $/Lib/a.c", 2, "is pinned"},
      {"fault $/App/a.c get banana", 1, "bad status"},
      {"file $/q.c content \"unterminated", 1, "unterminated"},
      {"delete $/", 1, "root"},
      {"file $/ok1.c\nfile $/ok2.c\nfile $/ok1.c", 3, "exists already"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.script);
    try {
      standin::seed(dir(), c.script);
      ADD_FAILURE() << "accepted";
    } catch (const standin::ToolError& e) {
      EXPECT_EQ(e.line(), c.line);
      std::string message = e.what();
      EXPECT_EQ(message.rfind("line " + std::to_string(c.line) + ": ", 0), 0u) << message;
      EXPECT_NE(message.find(c.says), std::string::npos) << message;
    }
    EXPECT_EQ(standin::dump(dir()), before);
  }
  EXPECT_EQ(standin::io::fileSize(dir() / "data" / "journal.txt"), journalSize);
}

TEST(StandinGenerate, BuildsTheAskedTreeDeterministically) {
  TempDir temp;
  standin::GenerateOptions o;
  o.files = 100, o.depth = 2, o.fanout = 4, o.history = 3, o.changedFraction = 0.5, o.seed = 7;
  o.rangeStart = standin::parseDateTime("2024-05-01 00:00").value();
  o.rangeEnd = standin::parseDateTime("2024-05-08 00:00").value();
  standin::generate(temp / "a", o);
  standin::generate(temp / "b", o);
  const std::string text = standin::dump(temp / "a");
  EXPECT_EQ(text, standin::dump(temp / "b"));
  auto count = [&](const char* pattern) {
    std::regex re(pattern);
    return std::distance(std::sregex_iterator(text.begin(), text.end(), re),
                         std::sregex_iterator());
  };
  EXPECT_EQ(count("\nfile \\$/gen/p"), 100);
  EXPECT_EQ(count("\n  version "), 300);
  auto inRange = count("\n  version 3 [^\n]* at 2024-05-0[1-7] ");  // half of 100 files
  EXPECT_GT(inRange, 30);
  EXPECT_LT(inRange, 70);
  EXPECT_NE(text.find("project $/gen/p03/p03\n"), std::string::npos);  // fan-out 4, depth 2
  EXPECT_EQ(text.find("project $/gen/p04"), std::string::npos);
  EXPECT_NE(text.find("label \"Build base\" by Compileruser"), std::string::npos);
  EXPECT_NE(text.find("by Compileruser"), text.rfind("by Compileruser"));  // file labels too
  o.fanout = 0;
  EXPECT_THROW(standin::generate(temp / "d", o), standin::ToolError);
  o.fanout = 4, o.rangeEnd = o.rangeStart;
  EXPECT_THROW(standin::generate(temp / "e", o), standin::ToolError);
}

}  // namespace
