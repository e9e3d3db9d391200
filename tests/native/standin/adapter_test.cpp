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

// Spec and Name echo the spelling of the lookup, and so do the paths of its parents and children;
// Links give the stored spelling.
TEST_F(StandinAdapter, LooksUpPathsInAnyLetterCaseListsChildrenByNameAndSeesEveryChange) {
  auto file = item(L"$/app/SRC/main.C");
  EXPECT_EQ(file->spec() + L" " + file->name(), L"$/app/SRC/main.C main.C");
  EXPECT_EQ(file->parent()->spec() + L" " + file->parent()->name(), L"$/app/SRC SRC");
  EXPECT_EQ(file->parent()->items(false).front()->spec(), L"$/app/SRC/Main.c");
  EXPECT_EQ(file->links().front()->spec() + L" " + item(L"$/APP")->links().front()->spec(),
            L"$/App/src/Main.c $/App");
  EXPECT_EQ(file->type(), vss::kTypeFile);
  EXPECT_EQ(file->parent()->parent()->parent()->spec(), L"$/");
  EXPECT_EQ(file->parent()->parent()->parent()->parent(), nullptr);
  EXPECT_EQ(item(L"$/APP/SRC/")->spec() + L" [" + item(L"$")->name() + L"]", L"$/App/src []");
  EXPECT_EQ(item(L"$/APP/SRC/")->type(), vss::kTypeProject);
  for (const wchar_t* spec : {L"$/Nope", L"App", L"", L"$/App/src/Main.c/x", L"$/App/old.c"})
    EXPECT_EQ(failure([&] { item(spec); }, vss::kNotFound), L"File or project not found");
  auto old = db_->vssItem(L"$/app/OLD.c", true);  // deleted items when asked for
  EXPECT_EQ(old->spec(), L"$/app/OLD.c");
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
  EXPECT_EQ(unicode->spec() + L" " + unicode->links().front()->spec(),
            L"$/项目/äNDERUNG.TXT $/项目/Änderung.txt");
  std::wstring out = (temp_ / "u.txt").wstring();
  unicode->get(out, 0);
  EXPECT_EQ(readFile(temp_ / "u.txt"), "内容");
  // The library's order: by the name's ANSI bytes, letters without case, the part from a "~" on
  // and leading dots left out, blanks and some signs read as "_", the first 33 bytes only; of
  // equal keys the newer first. Projects and files alike, deleted ones among them.
  std::string script;
  for (const char* name :
       {"ab", "~a", "Sub/", "B", "10", "_b", "a.b", "9", "中文.txt", "阿.txt", "一.txt", "a", "A-b",
        "x y", "xy~z", ".xy", "a23456789012345678901234567890123Z",
        "a23456789012345678901234567890123A", "x=y"})
    script += std::string(std::string_view(name).ends_with('/') ? "project" : "file") + " \"$/O/" +
              name + "\"\n";
  standin::seed(dir_, script + "delete $/O/ab\nfile $/O/AB\n");
  EXPECT_EQ(
      names(second->vssItem(L"$/O", false)->items(true)),
      L"~a;10;9;_b;a;A-b;a.b;a23456789012345678901234567890123A;"
      L"a23456789012345678901234567890123Z;AB;ab;B;Sub;x=y;x y;.xy;xy~z;阿.txt;一.txt;中文.txt;");
}

TEST_F(StandinAdapter, HistoryIsNewestFirstWithItsLabelsAndThoseOfProjectsAbove) {
  // Every record takes the item's next number, labels too; a project's label carries the
  // project's. The label on $/App older than the file is not part of the file's history.
  EXPECT_EQ(history(*item(L"$/App/src/Main.c")),
            L"4 Compileruser 2024-05-04 08:00:00 Labeled 'Build 12' [Build 12] \n"
            L"3 alice 2024-05-03 10:00:00 Labeled 'File label' [File label] \n"
            L"2 Bob 2024-05-03 09:30:00 Checked in $/App/src [] fix\n"
            L"2 Compileruser 2024-05-02 12:00:00 Labeled 'Root label' [Root label] \n"
            L"1 alice 2024-05-01 10:00:00 Created  [] \n");
  // A project's own records in the order made (the label dated before the project was made comes
  // after the later ones), merged by time with the labels above no older than the project.
  EXPECT_EQ(history(*item(L"$/App")),
            L"2 Compileruser 2024-05-02 12:00:00 Labeled 'Root label' [Root label] \n"
            L"7 Admin 2024-04-01 09:01:00 Deleted  [] \n"
            L"6 Admin 2024-04-01 09:00:00 Added  [] \n"
            L"5 Compileruser 2024-04-01 08:00:00 Labeled 'Before files' [Before files] \n"
            L"4 Compileruser 2024-05-04 08:00:00 Labeled 'Build 12' [Build 12] \n"
            L"3 alice 2024-05-02 08:00:00 Added  [] \n"
            L"2 alice 2024-05-01 10:00:00 Added  [] \n"
            L"1 alice 2024-05-01 10:00:00 Created  [] \n");
  // A project also lists every record but the creation of the files it holds (a shared one
  // too), none of them with VSSFLAG_HISTIGNOREFILES, and times come in steps of two seconds. At one
  // time: the labels above, the nearest project's first, then the item's own records, then its
  // files' in the order of its entries.
  standin::seed(dir_, R"(file $/T/zz at 2024-06-01 10:00
file $/T/aa at 2024-06-01 10:00
file $/T/mm at 2024-06-01 10:00
share $/App/readme.txt into $/T at 2024-06-01 10:00
version $/T/zz by bob at 2024-06-02 10:00:01
label $/T/mm Lm at 2024-06-02 10:00:01
version $/T/aa by bob at 2024-06-02 10:00:01 comment "odd second"
label $/T LT at 2024-06-02 10:00:01 comment "for T"
label $/ LR at 2024-06-02 10:00:01
version $/App/readme.txt at 2024-06-03 10:00
)");
  EXPECT_EQ(history(*item(L"$/T")),
            L"2 Admin 2024-06-03 10:00:00 Checked in $/App [] \n"
            L"5 Admin 2024-06-02 10:00:00 Labeled 'LR' [LR] \n"
            L"6 Admin 2024-06-02 10:00:00 Labeled 'LT' [LT] (for T)\n"
            L"2 bob 2024-06-02 10:00:00 Checked in $/T [] odd second\n"
            L"2 Admin 2024-06-02 10:00:00 Labeled 'Lm' [Lm] \n"
            L"2 bob 2024-06-02 10:00:00 Checked in $/T [] \n"
            L"5 Admin 2024-06-01 10:00:00 Shared $/App/readme.txt [] \n"
            L"4 Admin 2024-06-01 10:00:00 Added  [] \n"
            L"3 Admin 2024-06-01 10:00:00 Added  [] \n"
            L"2 Admin 2024-06-01 10:00:00 Added  [] \n"
            L"1 Admin 2024-06-01 10:00:00 Created  [] \n");
  EXPECT_EQ(history(*item(L"$/T"), vss::kFlagHistIgnoreFiles),
            L"5 Admin 2024-06-02 10:00:00 Labeled 'LR' [LR] \n"
            L"6 Admin 2024-06-02 10:00:00 Labeled 'LT' [LT] (for T)\n"
            L"5 Admin 2024-06-01 10:00:00 Shared $/App/readme.txt [] \n"
            L"4 Admin 2024-06-01 10:00:00 Added  [] \n"
            L"3 Admin 2024-06-01 10:00:00 Added  [] \n"
            L"2 Admin 2024-06-01 10:00:00 Added  [] \n"
            L"1 Admin 2024-06-01 10:00:00 Created  [] \n");
  EXPECT_EQ(history(*item(L"$/T/readme.txt")),
            L"2 Admin 2024-06-03 10:00:00 Checked in $/App [] \n"
            L"6 Admin 2024-06-02 10:00:00 Labeled 'LT' [LT] (for T)\n"
            L"5 Admin 2024-06-02 10:00:00 Labeled 'LR' [LR] \n"
            L"2 Compileruser 2024-05-02 12:00:00 Labeled 'Root label' [Root label] \n"
            L"1 alice 2024-05-02 08:00:00 Created  [] \n");
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
  // Both places of the file are its links, from either of them, the newest first, a deleted one
  // too; a file of its own has one.
  standin::seed(dir_, "share $/App/src/Main.c into $/Patch\ndelete $/Patch/Main.c\n");
  for (auto* place : {file.get(), shared.get()}) {
    std::vector<std::wstring> links;
    for (const auto& link : place->links()) links.push_back(link->spec());
    EXPECT_EQ(links, (std::vector<std::wstring>{L"$/Patch/Main.c", L"$/Patch/src/Main.c",
                                                L"$/App/src/Main.c"}));
  }
  EXPECT_EQ(item(L"$/App/readme.txt")->links().size(), 1u);
  // One history, with the labels of the projects above each path; the share is a record of the
  // project shared into, made by the user logged in.
  const std::wstring own = history(*file);
  EXPECT_EQ(history(*shared), own.substr(own.find(L"[Build 12]") + 12));
  const auto record = shared->parent()->versions(0)->next();
  EXPECT_EQ(record->username() + L" " + record->action(), L"alice Shared $/App/src/Main.c");
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

// A pinned share: its project's entries give it at the pinned version and Get writes that one,
// a lookup by path gives the newest; both read the whole history.
TEST_F(StandinAdapter, APinnedPlaceStandsAtItsVersionWhereItsProjectListsIt) {
  standin::seed(dir_, R"(version $/App/readme.txt content "read me 2"
project $/Q
pin $/App/readme.txt into $/Q version 1 by alice at 2024-06-01 10:00
version $/App/readme.txt content "read me 3"
)");
  auto listed = std::move(item(L"$/Q")->items(false).front());
  auto looked = item(L"$/Q/readme.txt");
  EXPECT_EQ(dynamic_cast<standin::ItemDetails&>(*listed).versionNumber(), 1);
  EXPECT_EQ(dynamic_cast<standin::ItemDetails&>(*looked).versionNumber(), 3);
  for (const auto& [place, content] :
       {std::pair<vss::Item*, std::string>{listed.get(), "read me"}, {looked.get(), "read me 3"}}) {
    std::wstring local = (temp_ / content).wstring();
    place->get(local, 0);
    EXPECT_EQ(readFile(temp_ / content), content);
    EXPECT_EQ(history(*place).substr(0, 2), L"3 ");
  }
  std::vector<std::wstring> links;
  for (const auto& link : listed->links())
    links.push_back(link->spec() + L"@" +
                    std::to_wstring(dynamic_cast<standin::ItemDetails&>(*link).versionNumber()));
  EXPECT_EQ(links, (std::vector<std::wstring>{L"$/Q/readme.txt@1", L"$/App/readme.txt@3"}));
  EXPECT_NE(history(*item(L"$/Q"))
                .find(L"2 alice 2024-06-01 10:00:00 Pinned $/App/readme.txt to "
                      L"version 1 [] \n"),
            std::wstring::npos);
  EXPECT_NE(standin::dump(dir_).find("file $/Q/readme.txt shares $/App/readme.txt pinned at "
                                     "version 1\n"),
            std::string::npos);
}

// One history open at a time in a process, as the library allows: open from the cursor's making
// until its end is read or it goes. The database object reading it cannot open another; the
// calls of other database objects that read the database fail (the library waits for ever).
TEST_F(StandinAdapter, OneHistoryIsOpenAtATime) {
  auto other = open(dir_, L"alice", L"secret");
  auto elsewhere = other->vssItem(L"$/App", false);
  auto file = item(L"$/App/src/Main.c"), readme = item(L"$/App/readme.txt");
  auto history = file->versions(0);
  history->next();
  EXPECT_EQ(failure([&] { readme->versions(0); }, static_cast<std::int32_t>(0x8004D75C)),
            L"A history operation is already in progress");
  EXPECT_NO_THROW(item(L"$/App")->items(false));  // the same database object reads on
  std::wstring local = (temp_ / "r.txt").wstring();
  EXPECT_NO_THROW(readme->get(local, 0));
  const auto kWaits = static_cast<std::int32_t>(0x800700AA);
  const std::function<void()> blocked[] = {[&] { other->vssItem(L"$/App", false); },
                                           [&] { elsewhere->items(false); },
                                           [&] { open(dir_, L"alice", L"secret"); }};
  for (const auto& call : blocked) failure(call, kWaits);
  EXPECT_EQ(elsewhere->name(), L"App");  // what an item keeps answers
  while (history->next()) {
  }
  auto second = readme->versions(0);  // the first one's end was read
  second->next();
  failure([&] { elsewhere->items(false); }, kWaits);
  second.reset();
  EXPECT_EQ(names(elsewhere->items(false)), L"readme.txt;src;");
}

// What the library leaves beside its copies: a folder's vssver.scc (32 bytes and 16 a file) when
// the database object next fetches into another folder, never for the last one; mssccprj.scc
// beside a solution at once, read-only; a vssver.scc it cannot read stays. A share without
// VSSFLAG_GETNO also gets the file into the current folder.
TEST_F(StandinAdapter, GetAndShareLeaveTheLibrarysBookkeeping) {
  standin::seed(dir_, "file $/App/p.sln content sln\n");
  const auto get = [&](const wchar_t* spec, const fs::path& where) {
    std::wstring local = where.wstring();
    item(spec)->get(local, 0);
  };
  fs::create_directories(temp_ / "c");
  standin::io::writeFile(temp_ / "c" / "vssver.scc", "hello");
  get(L"$/App/readme.txt", temp_ / "a" / "readme.txt");
  get(L"$/App/p.sln", temp_ / "a" / "p.sln");
  EXPECT_FALSE(fs::exists(temp_ / "a" / "vssver.scc"));
  EXPECT_EQ(readFile(temp_ / "a" / "mssccprj.scc"),
            "SCC = This is a Source Code Control file\r\n\r\n[p.sln]\r\nSCC_Aux_Path = \"" +
                standin::text::narrow(dir_.wstring()) +
                "\"\r\nSCC_Project_Name = \"$/App\", BAAAAAAA\r\n");
  EXPECT_EQ(fs::status(temp_ / "a" / "mssccprj.scc").permissions() & fs::perms::owner_write,
            fs::perms::none);
  get(L"$/App/src/Main.c", temp_ / "b" / "Main.c");
  EXPECT_EQ(fs::file_size(temp_ / "a" / "vssver.scc"), 64u);
  get(L"$/App/readme.txt", temp_ / "c" / "readme.txt");
  get(L"$/App/readme.txt", temp_ / "d" / "readme.txt");
  EXPECT_EQ(fs::file_size(temp_ / "b" / "vssver.scc"), 48u);
  EXPECT_EQ(readFile(temp_ / "c" / "vssver.scc"), "hello");
  db_.reset();
  EXPECT_FALSE(fs::exists(temp_ / "d" / "vssver.scc"));

  const fs::path started = fs::current_path();
  fs::create_directories(temp_ / "cwd");
  fs::current_path(temp_ / "cwd");
  auto db = open(dir_, L"alice", L"secret");
  auto file = db->vssItem(L"$/App/src/Main.c", false);
  db->vssItem(L"$/Patch", false)->share(*file, L"", vss::kFlagRecursYes | vss::kFlagGetNo);
  const bool nothing = fs::is_empty(temp_ / "cwd");
  db->vssItem(L"$/App", false)->share(*file, L"", vss::kFlagRecursYes);
  fs::current_path(started);
  EXPECT_TRUE(nothing);
  EXPECT_EQ(readFile(temp_ / "cwd" / "Main.c"), "v2");
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
