// The store's promises about crashes, damage and concurrency: a crash at any byte of a change
// leaves the store with every completed change and none of the half one; a damaged line before
// the last commit is refused and nothing is cut off; a Get killed while writing leaves no copy cut
// short; processes changing one store at once lose nothing.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <set>

#include "standin/adapter.h"
#include "standin/store.h"
#include "tests/native/standin/support.h"

namespace {

using standin_test::readFile;
namespace fs = std::filesystem;

const auto kFailed = static_cast<std::int32_t>(0x80004005);

TEST(StandinCrash, EveryCutOfTheLastChangeReopensWithTheCompletedChangesOnly) {
  standin_test::TempDir temp;
  const fs::path store = temp / "db", crashed = temp / "crashed";
  auto journal = [](const fs::path& dir) { return dir / "data" / "journal.txt"; };
  standin::createStore(store);
  standin::seed(store, "user alice password secret\nfile $/App/a.c content first\nproject $/P\n");
  const std::string before = standin::dump(store);
  const std::size_t baseSize = readFile(journal(store)).size();
  // The last change holds several records, so a cut can fall between them.
  standin::seed(store, R"(version $/App/a.c by alice at 2024-05-02 10:00 content "second"
file $/App/b.c content "new file"
share $/App/a.c into $/P
label $/App "Build 1" by Compileruser
delete $/App/b.c
)");
  const std::string after = standin::dump(store), bytes = readFile(journal(store));
  ASSERT_GT(bytes.size(), baseSize + 100);
  ASSERT_NE(before, after);
  // The store as a crash while appending leaves it: the journal's first `length` bytes only.
  auto crashAt = [&](std::size_t length, std::string_view text) {
    fs::remove_all(crashed);
    fs::create_directories(crashed / "data");
    fs::copy_file(store / "srcsafe.ini", crashed / "srcsafe.ini");
    standin::io::writeFile(journal(crashed), text.substr(0, length));
    return crashed;
  };
  // Cut where it matters: at each line's start and end, one byte into it, inside its checksum,
  // in the middle of its record, and just before its line end.
  std::set<std::size_t> cuts;
  for (std::size_t at = baseSize, end; at < bytes.size(); at = end + 1) {
    end = bytes.find('\n', at);
    cuts.insert({at, at + 1, at + 4, at + 9, (at + end) / 2, end, end + 1});
  }
  ASSERT_GT(cuts.size(), 30u);
  for (const std::size_t length : cuts)
    ASSERT_EQ(standin::dump(crashAt(length, bytes)), length == bytes.size() ? after : before)
        << "cut at " << length << " of " << bytes.size();
  // The next change cuts the leftover of the half one and is kept.
  const char kNext[] = "file $/After.c content later\n";
  standin::seed(crashAt(baseSize, bytes), kNext);
  const std::string expected = standin::dump(crashed);
  for (std::size_t length : {baseSize + 1, baseSize + 40, bytes.size() - 1}) {
    standin::seed(crashAt(length, bytes), kNext);
    EXPECT_EQ(standin::dump(crashed), expected) << "cut at " << length;
  }
  // A flipped bit in the unfinished change is part of its torn tail.
  std::string torn = bytes.substr(0, bytes.rfind('\n', bytes.size() - 2) + 1);
  torn[torn.find('\n', baseSize) + 20] ^= 0x01;  // inside the change's second record
  EXPECT_EQ(standin::dump(crashAt(torn.size(), torn)), before);
  EXPECT_EQ(standin::check(crashed).tornBytes, torn.size() - baseSize);
}

// A line that fails its check before the last commit record is damage, not a torn tail: every
// reader and writer refuses the store, naming the damaged line's offset, and nothing is cut off.
TEST(StandinCrash, DamageBeforeTheLastCommitIsRefusedAndNothingIsCut) {
  standin_test::TempDir temp;
  const fs::path store = temp / "db", journal = store / "data" / "journal.txt";
  const std::wstring ini = (store / "srcsafe.ini").wstring();
  standin::createStore(store);
  const std::string early = readFile(journal);
  for (int i = 0; i < 6; ++i)
    standin::seed(store, "file $/f" + std::to_string(i) + ".c\nversion $/f" + std::to_string(i) +
                             ".c comment \"second\"\n");
  const std::string good = readFile(journal);
  auto lineAt = [&](std::size_t byte) { return good.rfind('\n', byte - 1) + 1; };
  // A flipped bit fails the checksum of its line. A whole line removed or repeated keeps every
  // checksum: the count of the commit record after it tells it, and the damage is at that record.
  struct Case {
    const char* what;
    std::string damaged;
    std::size_t named;  // the offset the refusal names
  };
  const auto flip = [&](const char* what, std::size_t byte) {
    Case c{what, good, lineAt(byte)};
    c.damaged[byte] ^= 0x10;
    return c;
  };
  const std::size_t middle = lineAt(good.find("version\t", good.size() / 2));
  const std::string line = good.substr(middle, good.find('\n', middle) + 1 - middle);
  std::string removed = good, repeated = good;
  removed.erase(middle, line.size());  // the commit record moves up to where the line was
  repeated.insert(middle, line);
  const Case cases[] = {
      flip("a record of the first seeded change", good.find("file\t") + 2),
      flip("a line end, joining two lines", good.find('\n', good.size() / 2)),
      flip("a commit record", good.find("commit", good.size() / 2) + 7),
      flip("the last change's record", lineAt(good.size() - 1) - 5),
      {"a whole record line removed", removed, middle},
      {"a whole record line repeated", repeated, middle + 2 * line.size()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    standin::io::writeFile(journal, early);
    auto root = standin_test::open(store, L"Admin", L"")->vssItem(L"$/", false);
    ASSERT_NE(c.damaged.find("commit", c.named), std::string::npos);  // before the last commit
    standin::io::writeFile(journal, c.damaged);
    const std::string names = "damaged at byte " + std::to_string(c.named) + ":";
    auto refused = [&](auto&& call) {
      try {
        call();
        ADD_FAILURE() << "accepted";
      } catch (const standin::ToolError& e) {
        EXPECT_NE(std::string(e.what()).find(names), std::string::npos) << e.what();
      }
    };
    refused([&] { standin::check(store); });
    refused([&] { standin::dump(store); });
    refused([&] { standin::seed(store, "file $/later.c\n"); });
    // A new database object, and one that read the store before the damaged changes came.
    auto fresh = standin::makeLibrary()->newDatabase();
    const std::wstring wide(names.begin(), names.end());
    for (const std::wstring& said :
         {standin_test::failure([&] { fresh->open(ini, L"Admin", L""); }, kFailed),
          standin_test::failure([&] { root->newSubproject(L"Sub", L""); }, kFailed)})
      EXPECT_NE(said.find(wide), std::wstring::npos) << names;
    EXPECT_EQ(readFile(journal), c.damaged);
  }
  // A journal read in pieces of four megabytes, damaged in a change larger than one piece.
  standin::createStore(temp / "big");
  standin::seed(temp / "big", "file $/big.c content " + std::string(4 << 20, 'x') + "\n");
  standin::seed(temp / "big", "file $/small.c\n");
  const fs::path bigJournal = temp / "big" / "data" / "journal.txt";
  std::string big = readFile(bigJournal);
  ASSERT_GT(big.size(), std::size_t{4} << 20);  // the second change kept the first
  big[big.size() / 2] ^= 0x10;
  standin::io::writeFile(bigJournal, big);
  EXPECT_THROW(standin::seed(temp / "big", "file $/later.c\n"), standin::ToolError);
  EXPECT_EQ(readFile(bigJournal), big);
}

// A process killed while Get writes leaves the copy it had and at most a stray temporary file
// beside it, never a copy cut short under the file's own name, read-only as a finished copy is;
// the next Get puts the whole copy in place and leaves nothing else. The Get is caught half-way
// by a pipe at the temporary name: it blocks once the pipe is full, and is killed there.
TEST(StandinCrash, AGetKilledWhileWritingLeavesNoCopyCutShort) {
  standin_test::TempDir temp;
  const fs::path store = temp / "db", folder = temp / "kill", copy = folder / "big.bin";
  standin::createStore(store);
  const auto get = [&] {
    std::wstring local = copy.wstring();
    standin_test::open(store, L"Admin", L"")->vssItem(L"$/Big/big.bin", false)->get(local, 0);
  };
  const auto readOnly = [](const fs::path& p) {
    return (fs::status(p).permissions() & fs::perms::owner_write) == fs::perms::none;
  };
  standin::seed(store, "file $/Big/big.bin content old\n");
  get();
  const std::string big(1 << 18, 'x');  // four times what a pipe holds
  standin::seed(store, "version $/Big/big.bin content " + big + "\n");
  fs::path temporary = copy;
  temporary += ".standin-get";
  ASSERT_EQ(mkfifo(temporary.c_str(), 0600), 0);
  const int pipe = ::open(temporary.c_str(), O_RDWR | O_NONBLOCK);  // a writer never waits for it
  const pid_t child = fork();
  if (child == 0) {
    try {
      get();
    } catch (...) {
    }
    _exit(0);
  }
  std::size_t received = 0;
  char piece[1 << 16];
  for (int waited = 0; received < big.size() / 4 && waited < 10000;) {
    pollfd ready{pipe, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) {
      waited += 100;
      continue;
    }
    received += static_cast<std::size_t>(std::max<ssize_t>(::read(pipe, piece, sizeof piece), 0));
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  ::close(pipe);
  EXPECT_GE(received, big.size() / 4);  // the new copy was being written under its temporary name
  ASSERT_TRUE(fs::is_regular_file(copy));  // not the pipe, whose reading would wait for ever
  EXPECT_EQ(readFile(copy), "old");
  EXPECT_TRUE(readOnly(copy));
  // What a killed writer leaves at the temporary name: part of the copy, read-only.
  fs::remove(temporary);
  temp.write("kill/big.bin.standin-get", big.substr(0, 1000));
  fs::permissions(temporary, fs::perms::owner_write, fs::perm_options::remove);
  get();
  EXPECT_EQ(readFile(copy), big);
  EXPECT_TRUE(readOnly(copy));
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
  EXPECT_EQ(files, std::vector<fs::path>{copy});
}

// Each process seeds its own files and races the others for the same subproject names.
TEST(StandinConcurrency, ProcessesChangingOneStoreAtOnceLoseNothing) {
  standin_test::TempDir temp;
  fs::path store = temp / "db";
  standin::createStore(store);
  standin::seed(store, "project $/Patch\n");
  auto patch = [&] { return standin_test::open(store, L"Admin", L"")->vssItem(L"$/Patch", false); };
  constexpr int kProcesses = 4, kChanges = 20;
  auto spec = [](int p, int i) {
    return "$/P" + std::to_string(p) + "/f" + std::to_string(i) + ".c";
  };
  auto child = [&](int p) {
    try {
      auto project = patch();
      for (int i = 0; i < kChanges; ++i) {
        standin::seed(store, "file " + spec(p, i) + "\nversion " + spec(p, i) + "\n");
        try {
          project->newSubproject(L"Race" + std::to_wstring(i), L"");
        } catch (const vss::Error& e) {
          if (e.status() != vss::kItemExists) return 2;
        }
      }
      return 0;
    } catch (...) {
      return 3;
    }
  };
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p)
    if (pid_t pid = fork(); pid == 0)
      _exit(child(p));
    else
      children.push_back(pid);
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  }
  std::string text = standin::dump(store);
  for (int p = 0; p < kProcesses; ++p)
    for (int i = 0; i < kChanges; ++i)
      EXPECT_NE(text.find("file " + spec(p, i) + "\n  version 1 by Admin at"), std::string::npos);
  EXPECT_EQ(patch()->items(true).size(), std::size_t{kChanges});  // each name once
  standin::seed(store, "user late\n");                            // still takes changes
  EXPECT_NE(standin::dump(store).find("user late\n"), std::string::npos);
}

}  // namespace
