// The stand-in library through the vss port, as the engine and the COM server use it: opening,
// lookup, enumeration, histories, new subprojects, shares, Get and injected faults.
#include "standin/adapter.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>

#include "standin/details.h"
#include "standin/store.h"
#include "tests/native/standin/support.h"

namespace {

using standin_test::failure;
using standin_test::history;
using standin_test::names;
using standin_test::open;
using standin_test::readFile;
namespace fs = std::filesystem;

class StandinAdapter : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::createStore(dir_);
    standin::seed(dir_, R"(user alice password secret
user Bob password ""
file $/App/src/Main.c by alice at 2024-05-01 10:00 content "v1"
version $/App/src/Main.c by Bob at 2024-05-03 09:30 content "v2" comment "fix"
file $/App/readme.txt by alice at 2024-05-02 08:00 content "read me"
label $/App "Build 12" by Compileruser at 2024-05-04 08:00
label $/ "Root label" by Compileruser at 2024-05-02 12:00
label $/App "Before files" by Compileruser at 2024-04-01 08:00
label $/App/src/Main.c "File label" by alice at 2024-05-03 10:00
file $/App/old.c at 2024-04-01 09:00
delete $/App/old.c
file $/Patch/taken.c at 2024-04-01 09:00
file $/Patch/readme.txt at 2024-04-01 09:00
delete $/Patch/readme.txt
)");
    db_ = open(dir_, L"alice", L"secret");
  }
  std::unique_ptr<vss::Item> item(const std::wstring& spec) { return db_->vssItem(spec, false); }

  standin_test::TempDir temp_;
  fs::path dir_ = temp_ / "db";
  std::wstring ini_ = (dir_ / "srcsafe.ini").wstring();
  std::unique_ptr<vss::Database> db_;
};

TEST_F(StandinAdapter, OpenFailsAsTheLibraryDoesAndTakesUserNamesInAnyLetterCase) {
  const auto kIniNotFound = static_cast<std::int32_t>(0x8004D83E);
  auto db = standin::makeLibrary()->newDatabase();
  std::wstring missing = (temp_ / "nowhere" / "srcsafe.ini").wstring();
  EXPECT_EQ(failure([&] { db->open(missing, L"alice", L"secret"); }, kIniNotFound),
            L"File \"" + missing + L"\" not found");
  EXPECT_EQ(failure([&] { db->open(ini_, L"nobody", L"x"); }, vss::kUserNotFound),
            L"User \"nobody\" not found");
  EXPECT_EQ(failure([&] { db->open(ini_, L"alice", L"Secret"); }, vss::kInvalidPassword),
            L"Invalid password");
  EXPECT_EQ(failure([&] { db->vssItem(L"$/", false); }, static_cast<std::int32_t>(0x8004D6D6)),
            L"The database is not open");
  EXPECT_NO_THROW(open(dir_, L"ALICE", L"secret"));
  EXPECT_NO_THROW(open(dir_, L"bob", L""));
}

TEST_F(StandinAdapter, LooksUpPathsInAnyLetterCaseListsChildrenByNameAndSeesEveryChange) {
  auto file = item(L"$/App/src/main.C");
  EXPECT_EQ(file->spec() + L" " + file->name(), L"$/App/src/Main.c Main.c");
  EXPECT_EQ(file->type(), vss::kTypeFile);
  EXPECT_EQ(file->parent()->parent()->parent()->spec(), L"$/");
  EXPECT_EQ(file->parent()->parent()->parent()->parent(), nullptr);
  EXPECT_EQ(item(L"$/APP/SRC/")->spec() + L" " + item(L"$")->name(), L"$/App/src $/");
  EXPECT_EQ(item(L"$/APP/SRC/")->type(), vss::kTypeProject);
  for (const wchar_t* spec : {L"$/Nope", L"App", L"", L"$/App/src/Main.c/x", L"$/App/old.c"})
    EXPECT_EQ(failure([&] { item(spec); }, vss::kNotFound), L"File or project not found");
  auto old = db_->vssItem(L"$/app/OLD.c", true);  // deleted items when asked for
  EXPECT_EQ(old->spec(), L"$/App/old.c");
  EXPECT_TRUE(dynamic_cast<standin::ItemDetails&>(*old).deleted());
  EXPECT_TRUE(file->items(true).empty());
  // Objects outlive their database (and library) and see every change at once: one made through
  // another database object, and those of the tool.
  auto app = item(L"$/App");
  auto second = open(dir_, L"alice", L"secret");
  second->vssItem(L"$/App", false)->newSubproject(L"fromSecond", L"");
  standin::seed(dir_,
                "file $/App/Zeta.c\nfile $/App/alpha.c\nfile $/项目/Änderung.txt content 内容\n");
  db_.reset();
  EXPECT_EQ(names(app->items(false)), L"alpha.c;fromSecond;readme.txt;src;Zeta.c;");
  EXPECT_EQ(names(app->items(true)), L"alpha.c;fromSecond;old.c;readme.txt;src;Zeta.c;");
  EXPECT_EQ(app->newSubproject(L"later", L"")->spec(), L"$/App/later");
  auto unicode = second->vssItem(L"$/项目/äNDERUNG.TXT", false);
  EXPECT_EQ(unicode->spec(), L"$/项目/Änderung.txt");
  std::wstring out = (temp_ / "u.txt").wstring();
  unicode->get(out, 0);
  EXPECT_EQ(readFile(temp_ / "u.txt"), "内容");
}

TEST_F(StandinAdapter, HistoryIsNewestFirstWithItsLabelsAndThoseOfProjectsAbove) {
  // The label on $/App older than the file is not part of the file's history.
  EXPECT_EQ(history(*item(L"$/App/src/Main.c")),
            L"1 Compileruser 2024-05-04 08:00:00 Labeled [Build 12] \n"
            L"2 alice 2024-05-03 10:00:00 Labeled [File label] \n"
            L"2 Bob 2024-05-03 09:30:00 Checked in [] fix\n"
            L"0 Compileruser 2024-05-02 12:00:00 Labeled [Root label] \n"
            L"1 alice 2024-05-01 10:00:00 Created [] \n");
  // A project's history too: its own records in the order made (the label dated before the
  // project was made last), merged by time with the labels above it no older than the project.
  EXPECT_EQ(history(*item(L"$/App")),
            L"0 Compileruser 2024-05-02 12:00:00 Labeled [Root label] \n"
            L"1 Compileruser 2024-04-01 08:00:00 Labeled [Before files] \n"
            L"1 Compileruser 2024-05-04 08:00:00 Labeled [Build 12] \n"
            L"1 alice 2024-05-01 10:00:00 Created [] \n");
  EXPECT_EQ(history(*item(L"$/App/src")),
            L"1 Compileruser 2024-05-04 08:00:00 Labeled [Build 12] \n"
            L"0 Compileruser 2024-05-02 12:00:00 Labeled [Root label] \n"
            L"1 alice 2024-05-01 10:00:00 Created [] \n");
  EXPECT_EQ(history(*item(L"$/")), L"0 Compileruser 2024-05-02 12:00:00 Labeled [Root label] \n");
}

TEST_F(StandinAdapter, NewSubprojectRefusesTakenAndInvalidNames) {
  auto patch = item(L"$/Patch");
  EXPECT_EQ(failure([&] { patch->newSubproject(L"TAKEN.C", L""); }, vss::kItemExists),
            L"An item with the name TAKEN.C already exists");
  for (const wchar_t* name : {L"", L"a$b", L"a/b", L"a\\b", L"a:b", L"a|b", L"a\"b", L" lead"})
    EXPECT_EQ(
        failure([&] { patch->newSubproject(name, L""); }, static_cast<std::int32_t>(0x8004D693)),
        std::wstring(name) + L" is an invalid project name");
  auto created = patch->newSubproject(L"补丁 (final) & README.TXT", L"");
  EXPECT_EQ(history(*created).substr(0, 8), L"1 alice ");  // made by the logged-in user
  // A deleted item does not hold its name.
  EXPECT_EQ(patch->newSubproject(L"README.TXT", L"")->spec(), L"$/Patch/README.TXT");
}

TEST_F(StandinAdapter, ShareMakesTheFilePartOfTheProjectOrRefusesATakenName) {
  // The file comes from another database object (and another library) of the same store.
  auto file = open(dir_, L"Bob", L"")->vssItem(L"$/App/src/Main.c", false);
  item(L"$/Patch")->newSubproject(L"src", L"")->share(*file, L"0", vss::kFlagRecursYes);
  auto shared = item(L"$/Patch/src/main.c");
  EXPECT_EQ(shared->parent()->spec(), L"$/Patch/src");
  // Both places of the file are its links, from either of them; a file of its own has one.
  for (auto* place : {file.get(), shared.get()}) {
    std::vector<std::wstring> links;
    for (const auto& link : place->links()) links.push_back(link->spec());
    EXPECT_EQ(links, (std::vector<std::wstring>{L"$/App/src/Main.c", L"$/Patch/src/Main.c"}));
  }
  EXPECT_EQ(item(L"$/App/readme.txt")->links().size(), 1u);
  // One history, with the labels of the projects above each path and no record for the share.
  const std::wstring own = history(*file);
  EXPECT_EQ(history(*shared), own.substr(own.find(L"[Build 12]") + 12));
  standin::seed(dir_, "version $/App/src/Main.c by carol at 2024-06-01 10:00 content v3\n");
  std::wstring out = (temp_ / "out.c").wstring();
  shared->get(out, 0);
  EXPECT_EQ(readFile(temp_ / "out.c"), "v3");
  auto patch = item(L"$/Patch");
  EXPECT_EQ(
      failure([&] { patch->share(*item(L"$/App/readme.txt"), L"0", 1); }, vss::kDeletedOrDamaged),
      L"readme.txt has been deleted from this project");
  standin::seed(dir_, "file $/Lib/taken.c\n");
  EXPECT_EQ(failure([&] { patch->share(*item(L"$/Lib/taken.c"), L"0", 1); }, vss::kItemExists),
            L"An item with the name taken.c already exists");
  failure([&] { patch->share(*item(L"$/App/src"), L"0", 0); }, vss::kNotFound);  // not projects
}

TEST_F(StandinAdapter, GetWritesTheNewestContentOrFailsAndInjectedFaultsFail) {
  fs::create_directories(temp_ / "local" / "sub");
  std::ofstream(temp_ / "local" / "sub" / "Main.c") << "old content that is longer";
  // A read-only copy, as an earlier Get leaves it, is replaced.
  fs::permissions(temp_ / "local" / "sub" / "Main.c", fs::perms::owner_write,
                  fs::perm_options::remove);
  std::wstring local = (temp_ / "local").wstring() + L"\\sub\\Main.c", given = local;
  item(L"$/App/src/Main.c")->get(local, 0);
  EXPECT_EQ(readFile(temp_ / "local" / "sub" / "Main.c"), "v2");
  EXPECT_EQ(local, given);
  std::wstring folder = (temp_ / "local").wstring();
  EXPECT_EQ(failure([&] { item(L"$/App/readme.txt")->get(folder, 0); },
                    static_cast<std::int32_t>(0x80070005)),
            L"Cannot write \"" + folder + L"\": it is a folder");
  // A missing folder is made (the library answers "Folder %s not found, create?" with Yes).
  std::wstring missing = (temp_ / "absent" / "readme.txt").wstring();
  item(L"$/App/readme.txt")->get(missing, 0);
  EXPECT_EQ(readFile(temp_ / "absent" / "readme.txt"), "read me");
  // Injected faults fail only their operation, with the given status.
  standin::seed(dir_, R"(file $/F/damaged.c
fault $/F/damaged.c versions 0x80040000 text "damaged"
file $/F/noshare.c
fault $/F/noshare.c share 0x8004D72E text "File noshare.c is already shared by this project"
fault $/Patch/taken.c get -2147221504
)");
  EXPECT_EQ(failure([&] { item(L"$/F/damaged.c")->versions(0); }, vss::kDeletedOrDamaged),
            L"damaged");
  EXPECT_EQ(failure([&] { item(L"$/App")->share(*item(L"$/F/noshare.c"), L"0", 1); },
                    vss::kAlreadyShared),
            L"File noshare.c is already shared by this project");
  local = (temp_ / "noget.c").wstring();
  EXPECT_EQ(failure([&] { item(L"$/Patch/taken.c")->get(local, 0); }, vss::kDeletedOrDamaged),
            L"Injected failure");
  EXPECT_FALSE(fs::exists(temp_ / "noget.c"));
  EXPECT_NO_THROW(item(L"$/F/damaged.c")->get(local, 0));
}

// A journal put back from a backup (shorter) or replaced by another store's (no continuation of
// what was read) is read again whole at the next call that reads the disk; from then on objects
// made before fail with RPC_E_DISCONNECTED instead of reading through item numbers that now name
// other items, or none. (An item's kind, name and path, which never change, answer from the
// model as last read without looking at the disk.)
TEST_F(StandinAdapter, ObjectsMadeBeforeTheStoreWasRestoredOrReplacedFail) {
  const fs::path journal = dir_ / "data" / "journal.txt", other = temp_ / "other";
  const std::string backup = readFile(journal);
  standin::createStore(other);
  for (int i = 0; i < 20; ++i) standin::seed(other, "file $/Other/f" + std::to_string(i) + ".c\n");
  const std::string replacement = readFile(other / "data" / "journal.txt");
  const auto kStale = static_cast<std::int32_t>(0x80010108);
  for (const std::string* restored : {&backup, &replacement}) {
    standin::io::writeFile(journal, backup);
    standin::seed(dir_, "file $/Late/deep/x.c comment \"late\"\nlabel $/Late \"L\"\n");
    auto late = item(L"$/Late/deep/x.c");
    auto app = item(L"$/App");
    auto cursor = late->versions(0);
    auto version = cursor->next();
    const std::size_t read = readFile(journal).size();
    ASSERT_TRUE(backup.size() < read && read < replacement.size());
    standin::io::writeFile(journal, *restored);
    EXPECT_EQ(late->spec(), L"$/Late/deep/x.c");  // as last read
    db_->vssItem(L"$/", false);                   // reads the disk, and the store again
    std::wstring local = (temp_ / "x.c").wstring();
    const std::function<void()> calls[] = {
        [&] { late->spec(); },
        [&] { late->name(); },
        [&] { late->type(); },
        [&] { late->parent(); },
        [&] { app->items(true); },
        [&] { late->versions(0); },
        [&] { cursor->next(); },
        [&] { version->comment(); },
        [&] { late->get(local, 0); },
        [&] { app->newSubproject(L"New", L""); },
        [&] { app->share(*item(L"$/"), L"0", 0); },
        [&] { db_->vssItem(L"$/", false)->share(*late, L"0", 0); },
    };
    for (const auto& call : calls)
      EXPECT_EQ(failure(call, kStale),
                L"The database was restored or replaced since this object was made");
    // Looked up again, items are those of the store on disk now.
    EXPECT_EQ(names(item(L"$/")->items(false)), restored == &backup ? L"App;Patch;" : L"Other;");
    EXPECT_EQ(readFile(journal), *restored);
  }
}

}  // namespace
