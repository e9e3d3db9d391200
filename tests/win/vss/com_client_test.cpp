// What only an in-process run of the stand-in server's objects shows about the COM client: the
// history read one record at a time and every read one call, a reading failure taken from the
// error object, no child or record lost whatever way the enumerator answers, member ids asked for
// once, the arguments of Share and Get's in/out path.
// The objects run over a small in-memory library that counts what is asked of it.
#include <gtest/gtest.h>

// windows.h comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "com_test_support.h"
#include "standin/com/server_objects.h"
#include "vss/com/com_library.h"
#include "vss/com/dispatch_call.h"

namespace {

using comtest::failsWith;
using comtest::RawCall;
using standin::com::dispatchCounts;
using standin::com::EnumeratorKind;

[[maybe_unused]] auto* const kApartment =
    ::testing::AddGlobalTestEnvironment(new comtest::ApartmentEnvironment);

struct Record final : vss::Version {
  Record(std::wstring user, double date, long number = 0)
      : user(std::move(user)), when(date), number(number) {}
  std::wstring username() override { return user; }
  double date() override { return when; }
  long versionNumber() override { return number; }
  std::wstring action() override { return {}; }
  std::wstring comment() override { return {}; }
  std::wstring label() override { return {}; }
  std::wstring labelComment() override { return {}; }
  std::wstring user;
  double when;
  long number = 0;
};

struct Node {
  std::wstring name;
  int type = vss::kTypeFile;
  std::vector<std::shared_ptr<Node>> children;
  std::vector<Record> history;          // newest first
  long version = 0;                     // the item's VersionNumber
  std::optional<vss::Error> readFault;  // reading past the first record fails
};

struct Store {
  std::map<std::wstring, std::shared_ptr<Node>> nodes{{L"$", std::make_shared<Node>()}};
  int recordsRead = 0;
  std::vector<std::wstring> shareCalls;  // project, file, comment, flags

  Node& add(const std::wstring& spec, int type = vss::kTypeFile) {
    std::shared_ptr<Node>& node = nodes[spec];
    if (!node) {
      node = std::make_shared<Node>(Node{spec.substr(spec.rfind(L'/') + 1), type, {}, {}, 0, {}});
      add(spec.substr(0, spec.rfind(L'/')), vss::kTypeProject).children.push_back(node);
    }
    return *node;
  }
};

class Cursor final : public vss::VersionCursor {
 public:
  Cursor(Store& store, std::shared_ptr<Node> node) : store_(store), node_(std::move(node)) {}
  std::unique_ptr<vss::Version> next() override {
    ++store_.recordsRead;
    if (next_ > 0 && node_->readFault) throw *node_->readFault;
    if (next_ == node_->history.size()) return nullptr;
    return std::make_unique<Record>(node_->history[next_++]);
  }

 private:
  Store& store_;
  std::shared_ptr<Node> node_;
  size_t next_ = 0;
};

class Item final : public vss::Item {
 public:
  Item(Store& store, std::shared_ptr<Node> node) : store_(store), node_(std::move(node)) {}
  int type() override { return node_->type; }
  std::wstring name() override { return node_->name; }
  std::wstring spec() override { return node_->name; }
  std::unique_ptr<vss::Item> parent() override { return nullptr; }
  std::vector<std::unique_ptr<vss::Item>> items(bool) override {
    std::vector<std::unique_ptr<vss::Item>> result;
    for (auto& child : node_->children) result.push_back(std::make_unique<Item>(store_, child));
    return result;
  }
  std::unique_ptr<vss::VersionCursor> versions(int) override {
    return std::make_unique<Cursor>(store_, node_);
  }
  long versionNumber() override { return node_->version; }
  std::vector<std::unique_ptr<vss::Item>> links() override { return {}; }
  std::unique_ptr<vss::Item> newSubproject(const std::wstring&, const std::wstring&) override {
    throw vss::Error(E_NOTIMPL, L"");
  }
  void share(vss::Item& file, const std::wstring& comment, int flags) override {
    store_.shareCalls = {name(), file.name(), comment, std::to_wstring(flags)};
  }
  // Hands back the path as written, with backslashes.
  void get(std::wstring& local, int) override {
    std::replace(local.begin(), local.end(), L'/', L'\\');
  }

 private:
  Store& store_;
  std::shared_ptr<Node> node_;
};

// The library and its databases in one: every database is open on the same store.
class Library final : public vss::Library, public vss::Database {
 public:
  explicit Library(Store& store) : store_(store) {}
  std::unique_ptr<vss::Database> newDatabase() override {
    return std::make_unique<Library>(store_);
  }
  void open(const std::wstring&, const std::wstring&, const std::wstring&) override {}
  std::unique_ptr<vss::Item> vssItem(const std::wstring& spec, bool) override {
    auto found = store_.nodes.find(spec);
    if (found == store_.nodes.end()) throw vss::Error(vss::kNotFound, L"File or project not found");
    return std::make_unique<Item>(store_, found->second);
  }

 private:
  Store& store_;
};

// {6B7A1C0E-52D4-4F0B-9C55-0A61E3B0D7C2}: the in-memory library's class, registered by the tests.
constexpr CLSID kClsid = {
    0x6b7a1c0e, 0x52d4, 0x4f0b, {0x9c, 0x55, 0x0a, 0x61, 0xe3, 0xb0, 0xd7, 0xc2}};
constexpr const wchar_t* kProgId = L"Ostrabel.Test.InMemorySourceSafe";

class ComClient : public ::testing::Test {
 protected:
  void SetUp() override {
    comtest::setClassesValue(std::wstring(kProgId) + L"\\CLSID",
                             L"{6B7A1C0E-52D4-4F0B-9C55-0A61E3B0D7C2}");
    serve(EnumeratorKind::FollowsComRules);
  }
  void TearDown() override {
    database_.reset();
    if (cookie_ != 0) CoRevokeClassObject(cookie_);
    RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgId);
  }

  // Registers the server's class factory with enumerators of `kind` and opens database_ on it.
  void serve(EnumeratorKind kind) {
    database_.reset();
    if (cookie_ != 0) CoRevokeClassObject(std::exchange(cookie_, 0));
    factory_ = standin::com::makeDatabaseFactory(library_, kind);
    ASSERT_EQ(S_OK, CoRegisterClassObject(kClsid, factory_.get(), CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie_));
    client_ = vss::com::makeLibrary(kProgId);
    database_ = client_->newDatabase();
    database_->open(L"C:\\vss\\srcsafe.ini", L"alice", L"secret");
  }

  Store store_;
  Library library_{store_};
  vss::com::ComPtr<IClassFactory> factory_;
  DWORD cookie_ = 0;
  std::unique_ptr<vss::Library> client_;
  std::unique_ptr<vss::Database> database_;
};

// Every property read is one call into the library.
TEST_F(ComClient, HistoryIsReadOneRecordAtATimeAndReadingFailuresKeepTheirText) {
  Node& file = store_.add(L"$/App/long.c");
  for (int i = 0; i < 200; ++i) file.history.push_back(Record(L"bob", 45199.0 - i, 200 - i));
  auto item = database_->vssItem(L"$/App/long.c", false);
  standin::com::resetDispatchCounts();
  EXPECT_EQ(vss::kTypeFile, item->type());
  auto cursor = item->versions(0);
  store_.recordsRead = 0;
  auto newest = cursor->next();
  ASSERT_NE(nullptr, newest);
  EXPECT_EQ(45199.0, newest->date());
  EXPECT_EQ(L"bob", newest->username());
  EXPECT_EQ(1, store_.recordsRead);
  EXPECT_EQ(1, dispatchCounts().enumeratorPulls);
  EXPECT_EQ(5, dispatchCounts().calls);  // Type, Versions, _NewEnum, Date, Username
  // VersionNumber is a member of items and of versions under different ids: each is asked
  // of its own object, whichever is read first.
  EXPECT_EQ(200, newest->versionNumber());
  file.version = 7;
  EXPECT_EQ(7, item->versionNumber());

  // IEnumVARIANT::Next has no exception information: the text comes from the error object,
  // and not from an earlier failure's.
  file.readFault = vss::Error(vss::kDeletedOrDamaged, L"History record 2 is damaged");
  EXPECT_TRUE(failsWith([&] { database_->vssItem(L"$/Missing", false); }, vss::kNotFound,
                        L"File or project not found"));
  EXPECT_TRUE(
      failsWith([&] { cursor->next(); }, vss::kDeletedOrDamaged, L"History record 2 is damaged"));
  // A failure the library gives no text for is worded by the client, in Chinese and in English.
  file.readFault = vss::Error(static_cast<std::int32_t>(0x8004FFF0), L"");
  EXPECT_TRUE(failsWith([&] { cursor->next(); }, static_cast<std::int32_t>(0x8004FFF0),
                        L"意外错误 / Unexpected error 0x8004FFF0"));
}

// Every child and every history record arrives, in the library's order (not sorted), for counts
// around a batch size a client might use, whether the enumerator follows the COM rules, answers
// S_OK with fewer elements than asked before the end, or refuses to give more than one element a
// call. Member ids are asked for once per name, however many objects and database objects of one
// library are met.
TEST_F(ComClient, NoChildAndNoRecordIsLostWhateverWayTheEnumeratorAnswers) {
  const int counts[] = {0, 1, 2, 3, 4, 31, 32, 33, 64, 65};
  for (int count : counts) {
    const std::wstring project = L"$/P" + std::to_wstring(count);
    store_.add(project, vss::kTypeProject);
    Node& file = store_.add(project + L"/history.c");
    for (int i = 0; i < count; ++i) {
      store_.add(project + L"/f" + std::to_wstring(900 - i) + L".c");
      file.history.push_back({L"u" + std::to_wstring(i), 45000.0 - i});
    }
  }
  for (EnumeratorKind kind : {EnumeratorKind::FollowsComRules, EnumeratorKind::ShortBatches,
                              EnumeratorKind::RefusesBatches}) {
    standin::com::resetDispatchCounts();
    serve(kind);
    for (int count : counts) {
      SCOPED_TRACE(testing::Message() << "kind " << static_cast<int>(kind) << ", " << count);
      const std::wstring project = L"$/P" + std::to_wstring(count);
      auto database = client_->newDatabase();
      database->open(L"", L"alice", L"");
      std::vector<std::wstring> names;
      for (auto& child : database->vssItem(project, false)->items(false))
        names.push_back(child->name());
      std::vector<std::wstring> expectedNames{L"history.c"}, expectedUsers;
      for (int i = 0; i < count; ++i) {
        expectedNames.push_back(L"f" + std::to_wstring(900 - i) + L".c");
        expectedUsers.push_back(L"u" + std::to_wstring(i));
      }
      EXPECT_EQ(expectedNames, names);

      auto cursor = database->vssItem(project + L"/history.c", false)->versions(0);
      std::vector<std::wstring> users;
      while (auto record = cursor->next()) users.push_back(record->username());
      EXPECT_EQ(expectedUsers, users);
    }
    EXPECT_EQ(6, dispatchCounts().namesLookedUp);  // Open VSSItem Items Name Versions Username
  }
}

// Share and Get pass their arguments; Get takes back the path the library changed, and so do
// script clients that pass it as a VARIANT by reference (a path passed by value is used and left
// alone).
TEST_F(ComClient, ShareAndGetPassTheirArgumentsAndGetGivesBackTheChangedPath) {
  store_.add(L"$/Patch", vss::kTypeProject);
  store_.add(L"$/App/main.c");
  auto file = database_->vssItem(L"$/App/main.c", false);
  database_->vssItem(L"$/Patch", false)->share(*file, L"0", vss::kFlagRecursYes);
  EXPECT_EQ((std::vector<std::wstring>{L"Patch", L"main.c", L"0", L"8192"}), store_.shareCalls);
  std::wstring local = L"C:/out/main.c";
  file->get(local, 0);
  EXPECT_EQ(L"C:\\out\\main.c", local);

  auto database = comtest::createObject(kClsid);
  auto raw = comtest::itemOf(database.get(), L"$/App/main.c");
  ASSERT_TRUE(raw);
  vss::com::UniqueVariant path;
  path.get()->vt = VT_BSTR;
  path.get()->bstrVal = SysAllocString(L"C:/out/main.c");
  EXPECT_EQ(S_OK, RawCall().variantRef(path.get()).invoke(raw.get(), L"Get", DISPATCH_METHOD));
  ASSERT_EQ(VT_BSTR, path.vt());
  EXPECT_EQ(L"C:\\out\\main.c", std::wstring(path.get()->bstrVal));
  EXPECT_EQ(S_OK, RawCall().text(L"C:/out/main.c").invoke(raw.get(), L"Get", DISPATCH_METHOD));
}

// The texts the client words itself, where the library gives none: in Chinese, with the English
// words a search finds; here for a member the object does not have (an item has no Open). (A
// failure without a text: the history test.)
TEST_F(ComClient, FailuresTheLibraryDoesNotDescribeAreWordedInChineseAndEnglish) {
  store_.add(L"$/App/quiet.c");
  auto database = comtest::createObject(kClsid);
  auto item = comtest::itemOf(database.get(), L"$/App/quiet.c");
  ASSERT_TRUE(item);
  vss::com::DispidCache ids;
  EXPECT_TRUE(failsWith([&] { ids.lookup(item.get(), vss::com::Member::Open); }, DISP_E_UNKNOWNNAME,
                        L"SourceSafe 的自动化组件没有成员 \"Open\" / The SourceSafe automation "
                        L"library has no member \"Open\": " +
                            vss::com::systemMessage(DISP_E_UNKNOWNNAME)));
}

TEST_F(ComClient, ServerCanUnloadOnlyWhenEverythingIsReleased) {
  auto item = database_->vssItem(L"$", false);
  database_.reset();
  CoRevokeClassObject(cookie_);
  cookie_ = 0;
  factory_.reset();
  EXPECT_FALSE(standin::com::canUnloadServer());
  item.reset();
  EXPECT_TRUE(standin::com::canUnloadServer());
}

}  // namespace
