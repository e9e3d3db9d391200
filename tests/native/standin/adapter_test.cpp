// The stand-in library through the vss port, as the engine and the COM server use it: opening,
// lookup, enumeration, histories, new subprojects, shares, Get and injected faults.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <thread>

#include "standin/adapter.h"
#include "standin/details.h"
#include "standin/store.h"
#include "tests/native/standin/temp_dir.h"

namespace {

using standin_test::TempDir;
namespace fs = std::filesystem;

constexpr std::int32_t kIniNotFound = static_cast<std::int32_t>(0x8004D83E);
constexpr std::int32_t kNotOpen = static_cast<std::int32_t>(0x8004D6D6);
constexpr std::int32_t kBadName = static_cast<std::int32_t>(0x8004D6B2);
constexpr std::int32_t kPathNotFound = static_cast<std::int32_t>(0x80070003);
constexpr std::int32_t kAccessDenied = static_cast<std::int32_t>(0x80070005);

// Runs `f`, which must fail with `status`; returns the description.
template <typename F>
std::wstring failure(F&& f, std::int32_t status) {
  try {
    f();
  } catch (const vss::Error& e) {
    EXPECT_EQ(e.status(), status) << std::hex << "got 0x" << static_cast<std::uint32_t>(e.status());
    return e.description();
  }
  ADD_FAILURE() << "no failure, expected status 0x" << std::hex << static_cast<std::uint32_t>(status);
  return L"";
}

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::wstring> names(const std::vector<std::unique_ptr<vss::Item>>& items) {
  std::vector<std::wstring> out;
  for (const auto& i : items) out.push_back(i->name());
  return out;
}

struct Record {
  std::wstring user;
  std::string when;
  std::wstring label;
};

std::vector<Record> history(vss::Item& item) {
  std::vector<Record> out;
  auto cursor = item.versions(0);
  while (auto v = cursor->next()) {
    auto* details = dynamic_cast<standin::VersionDetails*>(v.get());
    out.push_back(Record{v->username(), standin::formatDateTime(v->date()),
                         details ? details->label() : L"?"});
  }
  return out;
}

const char kScript[] = R"(
user alice password secret
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
project $/Patch at 2024-04-01 09:00
file $/Patch/taken.c at 2024-04-01 09:00
file $/Patch/readme.txt at 2024-04-01 09:00
delete $/Patch/readme.txt
project $/Gone at 2024-04-01 09:00
delete $/Gone
)";

class StandinAdapter : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::createStore(dir());
    standin::seed(dir(), kScript);
    library_ = standin::makeLibrary();
    db_ = open(L"alice", L"secret");
  }
  fs::path dir() const { return temp_ / "db"; }
  std::wstring ini() const { return (dir() / "srcsafe.ini").wstring(); }
  std::unique_ptr<vss::Database> open(const std::wstring& user, const std::wstring& password) {
    auto db = library_->newDatabase();
    db->open(ini(), user, password);
    return db;
  }
  std::unique_ptr<vss::Item> item(const std::wstring& spec) { return db_->vssItem(spec, false); }

  TempDir temp_;
  std::unique_ptr<vss::Library> library_;
  std::unique_ptr<vss::Database> db_;
};

// ---- Open ----

TEST_F(StandinAdapter, OpenRefusesMissingIniUnknownUserAndWrongPassword) {
  auto db = library_->newDatabase();
  std::wstring missing = (temp_ / "nowhere" / "srcsafe.ini").wstring();
  EXPECT_EQ(failure([&] { db->open(missing, L"alice", L"secret"); }, kIniNotFound),
            L"File \"" + missing + L"\" not found");
  // A srcsafe.ini that belongs to no store, and a folder given instead of the file.
  fs::create_directories(temp_ / "other");
  std::ofstream(temp_ / "other" / "srcsafe.ini") << "[foreign]\n";
  failure([&] { db->open((temp_ / "other" / "srcsafe.ini").wstring(), L"alice", L"secret"); }, kIniNotFound);
  failure([&] { db->open(dir().wstring(), L"alice", L"secret"); }, kIniNotFound);
  EXPECT_EQ(failure([&] { db->open(ini(), L"nobody", L"x"); }, vss::kUserNotFound),
            L"User \"nobody\" not found");
  EXPECT_EQ(failure([&] { db->open(ini(), L"alice", L"Secret"); }, vss::kInvalidPassword),
            L"Invalid password");
  failure([&] { db->open(ini(), L"alice", L""); }, vss::kInvalidPassword);
  // The failed database object stays unopened.
  failure([&] { db->vssItem(L"$/", false); }, kNotOpen);
}

TEST_F(StandinAdapter, OpenTakesUserNamesWithoutLetterCase) {
  EXPECT_NO_THROW(open(L"ALICE", L"secret"));
  EXPECT_NO_THROW(open(L"bob", L""));
  EXPECT_NO_THROW(open(L"Admin", L""));
}

TEST_F(StandinAdapter, UnopenedDatabaseFailsLookups) {
  auto db = library_->newDatabase();
  EXPECT_EQ(failure([&] { db->vssItem(L"$/App", false); }, kNotOpen), L"The database is not open");
}

// ---- paths ----

TEST_F(StandinAdapter, LooksUpPathsWithoutLetterCaseAndReturnsTheStoredSpelling) {
  struct Case {
    const wchar_t* spec;
    const wchar_t* storedSpec;
    const wchar_t* name;
    int type;
  } cases[] = {
      {L"$/", L"$/", L"$/", vss::kTypeProject},
      {L"$", L"$/", L"$/", vss::kTypeProject},
      {L"$/app", L"$/App", L"App", vss::kTypeProject},
      {L"$/APP/SRC/", L"$/App/src", L"src", vss::kTypeProject},
      {L"$/App/src/main.C", L"$/App/src/Main.c", L"Main.c", vss::kTypeFile},
      {L"$/patch/TAKEN.c", L"$/Patch/taken.c", L"taken.c", vss::kTypeFile},
  };
  for (const auto& c : cases) {
    auto i = item(c.spec);
    EXPECT_EQ(i->spec(), c.storedSpec) << c.spec;
    EXPECT_EQ(i->name(), c.name) << c.spec;
    EXPECT_EQ(i->type(), c.type) << c.spec;
  }
}

TEST_F(StandinAdapter, MissingAndDeletedPathsAreNotFound) {
  for (const wchar_t* spec : {L"$/Nope", L"App", L"", L"$App", L"$/App/src/Main.c/x",
                              L"$/App/old.c", L"$/Gone", L"$/App/Main.c"}) {
    EXPECT_EQ(failure([&] { item(spec); }, vss::kNotFound), L"File or project not found") << spec;
  }
}

TEST_F(StandinAdapter, DeletedItemsOnlyWhenAskedFor) {
  auto old = db_->vssItem(L"$/app/OLD.c", true);
  EXPECT_EQ(old->spec(), L"$/App/old.c");
  EXPECT_TRUE(dynamic_cast<standin::ItemDetails&>(*old).deleted());
  EXPECT_FALSE(dynamic_cast<standin::ItemDetails&>(*item(L"$/App")).deleted());
  // A live item wins over a deleted one of the same name.
  EXPECT_FALSE(dynamic_cast<standin::ItemDetails&>(*db_->vssItem(L"$/Patch/taken.c", true)).deleted());
}

TEST_F(StandinAdapter, ParentsLeadToTheRootWhoseParentIsNull) {
  auto file = item(L"$/App/src/Main.c");
  auto src = file->parent();
  ASSERT_TRUE(src);
  EXPECT_EQ(src->spec(), L"$/App/src");
  auto app = src->parent();
  EXPECT_EQ(app->spec(), L"$/App");
  auto root = app->parent();
  EXPECT_EQ(root->spec(), L"$/");
  EXPECT_EQ(root->parent(), nullptr);
}

// ---- Items ----

TEST_F(StandinAdapter, ItemsAreOrderedByNameAndLeaveOutDeletedOnes) {
  standin::seed(dir(), "file $/App/Zeta.c\nfile $/App/alpha.c\nfile $/App/Beta.c\n");
  auto app = item(L"$/App");
  EXPECT_EQ(names(app->items(false)),
            (std::vector<std::wstring>{L"alpha.c", L"Beta.c", L"readme.txt", L"src", L"Zeta.c"}));
  EXPECT_EQ(names(app->items(true)),
            (std::vector<std::wstring>{L"alpha.c", L"Beta.c", L"old.c", L"readme.txt", L"src", L"Zeta.c"}));
  EXPECT_EQ(names(item(L"$/")->items(false)), (std::vector<std::wstring>{L"App", L"Patch"}));
  EXPECT_TRUE(item(L"$/App/readme.txt")->items(true).empty());
}

// ---- Versions ----

TEST_F(StandinAdapter, HistoryIsNewestFirstWithItsLabelsAndThoseOfProjectsAbove) {
  auto records = history(*item(L"$/App/src/Main.c"));
  // Own records in order, merged by time with the labels of $/App and $/; the label on $/App
  // older than the file is not part of its history.
  ASSERT_EQ(records.size(), 5u);
  EXPECT_EQ(records[0].label, L"Build 12");
  EXPECT_EQ(records[0].user, L"Compileruser");
  EXPECT_EQ(records[0].when, "2024-05-04 08:00:00");
  EXPECT_EQ(records[1].label, L"File label");
  EXPECT_EQ(records[1].user, L"alice");
  EXPECT_EQ(records[2].user, L"Bob");
  EXPECT_EQ(records[2].when, "2024-05-03 09:30:00");
  EXPECT_EQ(records[2].label, L"");
  EXPECT_EQ(records[3].label, L"Root label");
  EXPECT_EQ(records[4].user, L"alice");
  EXPECT_EQ(records[4].when, "2024-05-01 10:00:00");
}

TEST_F(StandinAdapter, VersionDetailsCarryNumberActionCommentAndLabel) {
  auto cursor = item(L"$/App/src/Main.c")->versions(0);
  std::vector<std::unique_ptr<vss::Version>> all;
  while (auto v = cursor->next()) all.push_back(std::move(v));
  ASSERT_EQ(all.size(), 5u);
  auto& checkin = dynamic_cast<standin::VersionDetails&>(*all[2]);
  EXPECT_EQ(checkin.versionNumber(), 2);
  EXPECT_EQ(checkin.action(), L"Checked in");
  EXPECT_EQ(checkin.comment(), L"fix");
  auto& label = dynamic_cast<standin::VersionDetails&>(*all[1]);
  EXPECT_EQ(label.action(), L"Labeled");
  EXPECT_EQ(label.versionNumber(), 2);
  auto& created = dynamic_cast<standin::VersionDetails&>(*all[4]);
  EXPECT_EQ(created.action(), L"Created");
  EXPECT_EQ(created.versionNumber(), 1);
  EXPECT_EQ(cursor->next(), nullptr);  // stays at the end
}

TEST_F(StandinAdapter, CursorCanStopAtTheFirstRecordAndOutlivesItsDatabase) {
  auto cursor = item(L"$/App/readme.txt")->versions(0);
  db_.reset();
  library_.reset();
  auto first = cursor->next();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->username(), L"Compileruser");
  EXPECT_EQ(standin::formatDateTime(first->date()), "2024-05-04 08:00:00");
}

TEST_F(StandinAdapter, ProjectHistoryHoldsItsCreationAndLabels) {
  auto records = history(*item(L"$/App"));
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].label, L"Before files");  // in the order they were made
  EXPECT_EQ(records[1].label, L"Build 12");
  EXPECT_EQ(records[2].user, L"alice");
}

// ---- NewSubproject ----

TEST_F(StandinAdapter, NewSubprojectIsSeenByEveryDatabaseObjectAtOnce) {
  auto other = open(L"Bob", L"");
  auto created = item(L"$/Patch")->newSubproject(L"Release 1.0", L"");
  EXPECT_EQ(created->spec(), L"$/Patch/Release 1.0");
  EXPECT_EQ(created->type(), vss::kTypeProject);
  EXPECT_EQ(other->vssItem(L"$/patch/release 1.0", false)->spec(), L"$/Patch/Release 1.0");
  auto nested = created->newSubproject(L"src", L"");
  EXPECT_EQ(nested->parent()->spec(), L"$/Patch/Release 1.0");
  // Records the logged-in user.
  auto records = history(*created);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].user, L"alice");
}

TEST_F(StandinAdapter, NewSubprojectRefusesAnExistingNameInAnyLetterCase) {
  auto patch = item(L"$/Patch");
  EXPECT_EQ(failure([&] { patch->newSubproject(L"TAKEN.C", L""); }, vss::kItemExists),
            L"An item with the name TAKEN.C already exists");
  patch->newSubproject(L"sub", L"");
  failure([&] { patch->newSubproject(L"Sub", L""); }, vss::kItemExists);
}

TEST_F(StandinAdapter, NewSubprojectRefusesNamesTheLibraryRefuses) {
  auto patch = item(L"$/Patch");
  for (const wchar_t* name : {L"", L"a$b", L"$x", L"a/b", L"a\\b", L"a:b", L"a;b", L"a|b", L"a<b",
                              L"a>b", L"a\"b", L" lead", L"trail ", L"tab\tin"}) {
    std::wstring text = failure([&] { patch->newSubproject(name, L""); }, kBadName);
    EXPECT_EQ(text, L"\"" + std::wstring(name) + L"\" is not a valid SourceSafe project name");
  }
  failure([&] { patch->newSubproject(std::wstring(260, L'x'), L""); }, kBadName);
  EXPECT_NO_THROW(patch->newSubproject(std::wstring(259, L'x'), L""));
  EXPECT_NO_THROW(patch->newSubproject(L"补丁 2024-05 (final) & more", L""));
  EXPECT_TRUE(item(L"$/Patch")->items(false).size() == 3u);
}

TEST_F(StandinAdapter, NewSubprojectNextToADeletedItemOfThatName) {
  auto created = item(L"$/Patch")->newSubproject(L"README.TXT", L"");
  EXPECT_EQ(item(L"$/Patch/readme.txt")->spec(), L"$/Patch/README.TXT");
  EXPECT_EQ(item(L"$/Patch/readme.txt")->type(), vss::kTypeProject);
  EXPECT_EQ(names(item(L"$/Patch")->items(true)),
            (std::vector<std::wstring>{L"README.TXT", L"readme.txt", L"taken.c"}));
  auto again = item(L"$/")->newSubproject(L"gone", L"");
  EXPECT_EQ(again->items(false).size(), 0u);
}

// ---- Share ----

TEST_F(StandinAdapter, ShareMakesTheFilePartOfTheProjectWithOneHistory) {
  // The file comes from another database object (and another library) of the same store.
  auto otherLibrary = standin::makeLibrary();
  auto otherDb = otherLibrary->newDatabase();
  otherDb->open(ini(), L"Bob", L"");
  auto file = otherDb->vssItem(L"$/App/src/Main.c", false);
  auto target = item(L"$/Patch")->newSubproject(L"src", L"");
  target->share(*file, L"0", vss::kFlagRecursYes);
  auto shared = item(L"$/Patch/src/main.c");
  EXPECT_EQ(shared->spec(), L"$/Patch/src/Main.c");
  EXPECT_EQ(shared->parent()->spec(), L"$/Patch/src");
  // Same history; a new version through one path shows through the other.
  standin::seed(dir(), "version $/App/src/Main.c by carol at 2024-06-01 10:00 content v3\n");
  EXPECT_EQ(history(*shared)[0].user, L"carol");
  std::wstring local = (temp_ / "out.c").wstring();
  shared->get(local, 0);
  EXPECT_EQ(readFile(temp_ / "out.c"), "v3");
  EXPECT_NE(standin::dump(dir()).find("file $/Patch/src/Main.c shares $/App/src/Main.c\n"), std::string::npos);
  // The share added nothing to the history.
  EXPECT_EQ(history(*file).size(), 6u);
}

TEST_F(StandinAdapter, ShareRefusesLiveAndDeletedNames) {
  auto patch = item(L"$/Patch");
  auto readme = item(L"$/App/readme.txt");
  EXPECT_EQ(failure([&] { patch->share(*readme, L"0", vss::kFlagRecursYes); }, vss::kDeletedOrDamaged),
            L"readme.txt has been deleted from this project");
  standin::seed(dir(), "file $/Lib/taken.c\n");
  auto taken = item(L"$/Lib/taken.c");
  EXPECT_EQ(failure([&] { patch->share(*taken, L"0", vss::kFlagRecursYes); }, vss::kItemExists),
            L"An item with the name taken.c already exists");
  // Once shared, sharing again meets the live item.
  auto main = item(L"$/App/src/Main.c");
  patch->share(*main, L"0", vss::kFlagRecursYes);
  failure([&] { patch->share(*main, L"0", vss::kFlagRecursYes); }, vss::kItemExists);
  // Projects are not shared, and files do not take shares.
  failure([&] { patch->share(*item(L"$/App/src"), L"0", 0); }, vss::kNotFound);
  failure([&] { taken->share(*main, L"0", 0); }, vss::kNotFound);
}

TEST_F(StandinAdapter, ShareRefusesAnItemOfAnotherStore) {
  TempDir other;
  standin::createStore(other / "db");
  standin::seed(other / "db", "file $/Foreign.c\n");
  auto db = library_->newDatabase();
  db->open((other / "db" / "srcsafe.ini").wstring(), L"Admin", L"");
  auto foreign = db->vssItem(L"$/Foreign.c", false);
  failure([&] { item(L"$/Patch")->share(*foreign, L"0", 0); }, vss::kNotFound);
}

// ---- Get ----

TEST_F(StandinAdapter, GetWritesTheNewestContentReplacingAFile) {
  fs::create_directories(temp_ / "local" / "sub");
  std::ofstream(temp_ / "local" / "sub" / "Main.c") << "old content that is longer";
  std::wstring local = (temp_ / "local" / "sub" / "Main.c").wstring();
  std::wstring given = local;
  item(L"$/App/src/Main.c")->get(local, 0);
  EXPECT_EQ(readFile(temp_ / "local" / "sub" / "Main.c"), "v2");
  EXPECT_EQ(local, given);
}

TEST_F(StandinAdapter, GetTakesBackslashesAsSeparators) {
  fs::create_directories(temp_ / "win" / "dir");
  std::wstring local = (temp_ / "win").wstring() + L"\\dir\\readme.txt";
  item(L"$/App/readme.txt")->get(local, 0);
  EXPECT_EQ(readFile(temp_ / "win" / "dir" / "readme.txt"), "read me");
}

TEST_F(StandinAdapter, GetFailsOnAFolderOrAMissingFolder) {
  fs::create_directories(temp_ / "folder");
  std::wstring folder = (temp_ / "folder").wstring();
  EXPECT_EQ(failure([&] { item(L"$/App/readme.txt")->get(folder, 0); }, kAccessDenied),
            L"Cannot write \"" + folder + L"\": it is a folder");
  std::wstring missing = (temp_ / "absent" / "readme.txt").wstring();
  EXPECT_EQ(failure([&] { item(L"$/App/readme.txt")->get(missing, 0); }, kPathNotFound),
            L"Cannot write \"" + missing + L"\": the folder does not exist");
  EXPECT_FALSE(fs::exists(temp_ / "absent"));
}

// ---- injected faults ----

TEST_F(StandinAdapter, InjectedFaultsFailTheirOperationWithTheGivenStatus) {
  standin::seed(dir(), R"(
file $/Faulty/damaged.c
fault $/Faulty/damaged.c versions 0x80040000 text "damaged"
file $/Faulty/noshare.c
fault $/Faulty/noshare.c share 0x8004D72E text "File noshare.c is already shared by this project"
file $/Faulty/noget.c
fault $/Faulty/noget.c get -2147221504
)");
  EXPECT_EQ(failure([&] { item(L"$/Faulty/damaged.c")->versions(0); }, vss::kDeletedOrDamaged), L"damaged");
  auto noshare = item(L"$/Faulty/noshare.c");
  EXPECT_EQ(failure([&] { item(L"$/Patch")->share(*noshare, L"0", vss::kFlagRecursYes); }, vss::kAlreadyShared),
            L"File noshare.c is already shared by this project");
  std::wstring local = (temp_ / "noget.c").wstring();
  EXPECT_EQ(failure([&] { item(L"$/Faulty/noget.c")->get(local, 0); }, vss::kDeletedOrDamaged),
            L"Injected failure");
  EXPECT_FALSE(fs::exists(temp_ / "noget.c"));
  // Other operations on those files work.
  EXPECT_NO_THROW(item(L"$/Faulty/noget.c")->versions(0));
  EXPECT_NO_THROW(item(L"$/Faulty/damaged.c")->get(local, 0));
  standin::seed(dir(), "fault $/Faulty/damaged.c none\n");
  EXPECT_NO_THROW(item(L"$/Faulty/damaged.c")->versions(0));
}

// ---- lifetimes and sharing between objects ----

TEST_F(StandinAdapter, ItemsStayUsableAfterTheirDatabaseAndLibraryAreGone) {
  auto app = item(L"$/App");
  auto file = item(L"$/App/readme.txt");
  db_.reset();
  library_.reset();
  EXPECT_EQ(app->items(false).size(), 2u);
  auto sub = app->newSubproject(L"later", L"");
  EXPECT_EQ(sub->spec(), L"$/App/later");
  EXPECT_EQ(file->parent()->spec(), L"$/App");
}

TEST_F(StandinAdapter, ChangesOfTheToolAndOfOtherObjectsAreSeenAtOnce) {
  auto app = item(L"$/App");
  auto second = standin::makeLibrary()->newDatabase();
  second->open(ini(), L"alice", L"secret");
  second->vssItem(L"$/App", false)->newSubproject(L"fromSecond", L"");
  standin::seed(dir(), "file $/App/fromTool.c\n");
  auto children = names(app->items(false));
  EXPECT_NE(std::find(children.begin(), children.end(), L"fromSecond"), children.end());
  EXPECT_NE(std::find(children.begin(), children.end(), L"fromTool.c"), children.end());
}

TEST_F(StandinAdapter, ThreadsChangingOneStoreThroughSeveralObjectsLoseNothing) {
  constexpr int kThreads = 4, kEach = 30;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      auto db = standin::makeLibrary()->newDatabase();
      db->open(ini(), L"alice", L"secret");
      auto patch = db->vssItem(L"$/Patch", false);
      for (int i = 0; i < kEach; ++i) {
        patch->newSubproject(L"t" + std::to_wstring(t) + L"-" + std::to_wstring(i), L"");
        if (t == 0) standin::seed(dir(), "file $/Seeded/f" + std::to_string(i) + ".c\n");
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(item(L"$/Patch")->items(false).size(), 1u + kThreads * kEach);
  EXPECT_EQ(item(L"$/Seeded")->items(false).size(), static_cast<std::size_t>(kEach));
}

TEST_F(StandinAdapter, NonAsciiNamesRoundTrip) {
  standin::seed(dir(), "file $/项目/Änderung.txt content \"内容\"\n");
  auto file = item(L"$/项目/äNDERUNG.TXT");
  EXPECT_EQ(file->spec(), L"$/项目/Änderung.txt");
  std::wstring local = (temp_ / "u.txt").wstring();
  file->get(local, 0);
  EXPECT_EQ(readFile(temp_ / "u.txt"), "内容");
}

TEST_F(StandinAdapter, StoreRecreatedAtTheSamePathIsSeenAfresh) {
  auto old = item(L"$/App");
  fs::remove_all(dir());
  standin::createStore(dir());
  standin::seed(dir(), "user alice password secret\nfile $/Fresh.c\n");
  auto db = library_->newDatabase();
  db->open(ini(), L"alice", L"secret");
  EXPECT_EQ(db->vssItem(L"$/Fresh.c", false)->spec(), L"$/Fresh.c");
  failure([&] { db->vssItem(L"$/App", false); }, vss::kNotFound);
}

}  // namespace
