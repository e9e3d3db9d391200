// The store's promises about crashes and concurrency: a crash at any byte of a change leaves
// the store with every completed change and none of the half one; processes changing one store
// at once lose nothing.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "standin/adapter.h"
#include "standin/store.h"
#include "tests/native/standin/support.h"

namespace {

using standin_test::readFile;
namespace fs = std::filesystem;

// The last change holds several records, so a crash can fall between them.
class StandinCrash : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::createStore(store_);
    standin::seed(store_,
                  "user alice password secret\nfile $/App/a.c content first\nproject $/Patch\n");
    before_ = standin::dump(store_);
    baseSize_ = readFile(journal(store_)).size();
    standin::seed(store_, R"(version $/App/a.c by alice at 2024-05-02 10:00 content "second"
file $/App/b.c content "new file"
share $/App/a.c into $/Patch
label $/App "Build 1" by Compileruser
delete $/App/b.c
)");
    journal_ = readFile(journal(store_));
    ASSERT_GT(journal_.size(), baseSize_ + 100);
  }
  static fs::path journal(const fs::path& store) { return store / "data" / "journal.txt"; }
  // The store as a crash while appending leaves it: the journal's first `length` bytes only.
  fs::path crashAt(std::size_t length) {
    fs::path to = temp_ / "crashed";
    fs::remove_all(to);
    fs::create_directories(to / "data");
    fs::copy_file(store_ / "srcsafe.ini", to / "srcsafe.ini");
    standin::io::writeFile(journal(to), std::string_view(journal_).substr(0, length), false);
    return to;
  }
  standin_test::TempDir temp_;
  fs::path store_ = temp_ / "db";
  std::string before_, journal_;
  std::size_t baseSize_ = 0;
};

TEST_F(StandinCrash, EveryCutOfTheLastChangeOpensWithTheCompletedChangesOnly) {
  const std::string after = standin::dump(store_);
  ASSERT_NE(before_, after);
  for (std::size_t length = baseSize_; length <= journal_.size(); ++length)
    ASSERT_EQ(standin::dump(crashAt(length)), length == journal_.size() ? after : before_)
        << "cut at " << length << " of " << journal_.size();
}

TEST_F(StandinCrash, NextChangeAfterACrashCutsTheLeftoverAndIsKept) {
  const char kNext[] = "file $/After.c content later\n";
  standin::seed(crashAt(baseSize_), kNext);
  const std::string expected = standin::dump(temp_ / "crashed");
  for (std::size_t length : {baseSize_ + 1, baseSize_ + 40, journal_.size() - 1}) {
    standin::seed(crashAt(length), kNext);
    EXPECT_EQ(standin::dump(temp_ / "crashed"), expected) << "cut at " << length;
  }
}

TEST_F(StandinCrash, AChangeWithADamagedRecordIsNotApplied) {
  std::size_t at = journal_.find('\n', baseSize_) + 20;  // inside the change's second record
  journal_[at] = static_cast<char>(journal_[at] ^ 0x01);
  EXPECT_EQ(standin::dump(crashAt(journal_.size())), before_);
}

// Each process seeds its own files and races the others for the same subproject names.
TEST(StandinConcurrency, ProcessesChangingOneStoreAtOnceLoseNothing) {
  standin_test::TempDir temp;
  fs::path store = temp / "db";
  standin::createStore(store);
  standin::seed(store, "project $/Patch\n");
  auto patch = [&] {
    auto db = standin::makeLibrary()->newDatabase();
    db->open((store / "srcsafe.ini").wstring(), L"Admin", L"");
    return db->vssItem(L"$/Patch", false);
  };
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
