// The store's promises about crashes and concurrency: a crash at any byte of a change leaves
// the store with every completed change and none of the half one; processes changing one store
// at once lose nothing.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

#include "standin/adapter.h"
#include "standin/file_io.h"
#include "standin/store.h"
#include "tests/native/standin/temp_dir.h"

namespace {

using standin_test::TempDir;
namespace fs = std::filesystem;

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void writeBytes(const fs::path& p, std::string_view bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// A copy of the store whose journal holds only its first `length` bytes: the disk as a crash
// at that moment of the append leaves it.
void crashCopy(const fs::path& from, const fs::path& to, std::string_view journal, std::size_t length) {
  fs::remove_all(to);
  fs::create_directories(to / "data");
  fs::copy_file(from / "srcsafe.ini", to / "srcsafe.ini");
  writeBytes(to / "data" / "journal.txt", journal.substr(0, length));
}

const char kBase[] = R"(user alice password secret
file $/App/a.c by alice at 2024-05-01 10:00 content "first"
project $/Patch
)";
// The last change: several records (a multi-record change), so a crash can fall between them.
const char kLast[] = R"(version $/App/a.c by alice at 2024-05-02 10:00 content "second"
file $/App/b.c content "new file"
share $/App/a.c into $/Patch
label $/App "Build 1" by Compileruser
delete $/App/b.c
)";

TEST(StandinCrash, EveryCutOfTheLastChangeOpensWithAllCompletedChangesAndNoHalfOne) {
  TempDir temp;
  fs::path store = temp / "db";
  standin::createStore(store);
  standin::seed(store, kBase);
  const std::string before = standin::dump(store);
  const std::size_t baseSize = readFile(store / "data" / "journal.txt").size();
  standin::seed(store, kLast);
  const std::string after = standin::dump(store);
  const std::string journal = readFile(store / "data" / "journal.txt");
  ASSERT_GT(journal.size(), baseSize + 100);
  ASSERT_NE(before, after);

  fs::path crashed = temp / "crashed";
  for (std::size_t length = baseSize; length <= journal.size(); ++length) {
    crashCopy(store, crashed, journal, length);
    const std::string& expected = length == journal.size() ? after : before;
    ASSERT_EQ(standin::dump(crashed), expected) << "cut at " << length << " of " << journal.size();
  }
}

TEST(StandinCrash, NextChangeAfterACrashCutsTheLeftoverAndIsKept) {
  TempDir temp;
  fs::path store = temp / "db";
  standin::createStore(store);
  standin::seed(store, kBase);
  const std::size_t baseSize = readFile(store / "data" / "journal.txt").size();
  standin::seed(store, kLast);
  const std::string journal = readFile(store / "data" / "journal.txt");

  // The reference: the base plus one more change, no crash.
  fs::path clean = temp / "clean";
  crashCopy(store, clean, journal, baseSize);
  standin::seed(clean, "file $/After.c content later\n");
  const std::string expected = standin::dump(clean);

  fs::path crashed = temp / "crashed";
  for (std::size_t length : {baseSize + 1, baseSize + 9, baseSize + 40, (baseSize + journal.size()) / 2,
                             journal.size() - 1}) {
    crashCopy(store, crashed, journal, length);
    standin::seed(crashed, "file $/After.c content later\n");
    EXPECT_EQ(standin::dump(crashed), expected) << "cut at " << length;
    // Through the library as well: the half change is not there, the later one is.
    auto db = standin::makeLibrary()->newDatabase();
    db->open((crashed / "srcsafe.ini").wstring(), L"alice", L"secret");
    EXPECT_NO_THROW(db->vssItem(L"$/After.c", false));
    EXPECT_THROW(db->vssItem(L"$/App/b.c", true), vss::Error);
  }
}

TEST(StandinCrash, AChangeWithADamagedRecordIsNotApplied) {
  TempDir temp;
  fs::path store = temp / "db";
  standin::createStore(store);
  standin::seed(store, kBase);
  const std::string before = standin::dump(store);
  const std::size_t baseSize = readFile(store / "data" / "journal.txt").size();
  standin::seed(store, kLast);
  std::string journal = readFile(store / "data" / "journal.txt");
  // Flip one byte inside the last change's second record.
  std::size_t at = journal.find('\n', baseSize) + 20;
  journal[at] = static_cast<char>(journal[at] ^ 0x01);
  writeBytes(store / "data" / "journal.txt", journal);
  EXPECT_EQ(standin::dump(store), before);
}

// Runs `body` in `count` child processes at once; true when every child exited with 0.
template <typename F>
bool inProcesses(int count, F body) {
  std::vector<pid_t> children;
  for (int i = 0; i < count; ++i) {
    pid_t pid = fork();
    if (pid == 0) {
      int rc = 1;
      try {
        rc = body(i);
      } catch (...) {
        rc = 3;
      }
      _exit(rc);
    }
    children.push_back(pid);
  }
  bool ok = true;
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    ok = ok && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  }
  return ok;
}

TEST(StandinConcurrency, ProcessesSeedingOneStoreAtOnceLoseNothing) {
  TempDir temp;
  fs::path store = temp / "db";
  standin::createStore(store);
  constexpr int kProcesses = 4, kChanges = 25;
  ASSERT_TRUE(inProcesses(kProcesses, [&](int p) {
    for (int i = 0; i < kChanges; ++i)
      standin::seed(store, "file $/P" + std::to_string(p) + "/f" + std::to_string(i) +
                               ".c\nversion $/P" + std::to_string(p) + "/f" + std::to_string(i) + ".c\n");
    return 0;
  }));
  std::string text = standin::dump(store);
  for (int p = 0; p < kProcesses; ++p)
    for (int i = 0; i < kChanges; ++i) {
      std::string spec = "$/P" + std::to_string(p) + "/f" + std::to_string(i) + ".c";
      EXPECT_NE(text.find("file " + spec + "\n  version 1 by Admin"), std::string::npos) << spec;
      EXPECT_NE(text.find("content \"" + spec + " version 2\\n\""), std::string::npos) << spec;
    }
  // Nothing beyond the last complete change: a further seed lands right after it.
  auto size = standin::io::fileSize(store / "data" / "journal.txt");
  standin::seed(store, "user late\n");
  EXPECT_GT(standin::io::fileSize(store / "data" / "journal.txt"), size);
}

TEST(StandinConcurrency, ProcessesRacingForOneSubprojectNameGetOneWinner) {
  TempDir temp;
  fs::path store = temp / "db";
  standin::createStore(store);
  standin::seed(store, "project $/Patch\n");
  const std::wstring ini = (store / "srcsafe.ini").wstring();
  constexpr int kProcesses = 6;
  // A child exits 0 when it created the project, 10 when it met the existing one.
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    pid_t pid = fork();
    if (pid == 0) {
      int rc = 1;
      try {
        auto db = standin::makeLibrary()->newDatabase();
        db->open(ini, L"Admin", L"");
        auto patch = db->vssItem(L"$/Patch", false);
        for (int round = 0; round < 20; ++round) {
          try {
            patch->newSubproject(L"Race" + std::to_wstring(round), L"");
          } catch (const vss::Error& e) {
            if (e.status() != vss::kItemExists) _exit(2);
          }
        }
        rc = 0;
      } catch (...) {
        rc = 3;
      }
      _exit(rc);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  auto db = standin::makeLibrary()->newDatabase();
  db->open(ini, L"Admin", L"");
  auto items = db->vssItem(L"$/Patch", false)->items(true);
  EXPECT_EQ(items.size(), 20u);  // each name once, however many processes tried
}

}  // namespace
