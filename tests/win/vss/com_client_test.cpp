// The COM client of the automation library against the stand-in server's objects, in-process
// over an in-memory library: every member the program uses, statuses and texts coming through,
// Share across database objects, Get's in/out path, lazy history, member ids asked for once; and
// the server's own IDispatch conventions seen by a raw client.
#include <gtest/gtest.h>

// windows.h comes before the other Windows headers.
// clang-format off
#include <windows.h>
#include <oleauto.h>
// clang-format on

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "com_test_support.h"
#include "fake_library.h"
#include "standin/com/server_objects.h"
#include "vss/com/com_library.h"
#include "vss/com/unique_com.h"

namespace {

using comtest::errorOf;
using comtest::failsWith;
using vss::com::ComPtr;
using vss::com::UniqueBstr;
using vss::com::UniqueVariant;

[[maybe_unused]] auto* const kApartment =
    ::testing::AddGlobalTestEnvironment(new comtest::ApartmentEnvironment);

// {6B7A1C0E-52D4-4F0B-9C55-0A61E3B0D7C2}: the fake library's class, registered by the tests.
constexpr CLSID kFakeClsid = {
    0x6b7a1c0e, 0x52d4, 0x4f0b, {0x9c, 0x55, 0x0a, 0x61, 0xe3, 0xb0, 0xd7, 0xc2}};
constexpr const wchar_t* kFakeClsidText = L"{6B7A1C0E-52D4-4F0B-9C55-0A61E3B0D7C2}";
constexpr const wchar_t* kFakeProgId = L"Ostrabel.Test.FakeSourceSafe";

constexpr const wchar_t* kNotInstalled =
    L"The SourceSafe automation library (SSAPI.DLL) is not installed or not registered on this "
    L"computer.";

fake::Record record(const wchar_t* user, double date, long number, const wchar_t* action,
                    const wchar_t* label = L"") {
  return fake::Record{user, date, number, action, L"", label};
}

std::vector<std::wstring> namesOf(const std::vector<std::unique_ptr<vss::Item>>& items) {
  std::vector<std::wstring> names;
  for (const auto& item : items) names.push_back(item->name());
  return names;
}

// The server's objects over the fake library, reachable by the client through a ProgID of
// their own.
class ComClient : public ::testing::Test {
 protected:
  void SetUp() override {
    factory_ = standin::com::makeDatabaseFactory(library_);
    ASSERT_EQ(S_OK, CoRegisterClassObject(kFakeClsid, factory_.get(), CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie_));
    comtest::setClassesValue(std::wstring(kFakeProgId) + L"\\CLSID", kFakeClsidText);
    client_ = vss::com::makeLibrary(kFakeProgId);

    store_.users.push_back({L"alice", L"secret"});
    fake::Node& main = store_.add(L"$/App/src/main.c", vss::kTypeFile);
    main.content = "int main(void) { return 0; }\r\n";
    main.history = {record(L"alice", 45000.25, 1, L"Created"),
                    record(L"bob", 45001.5, 2, L"Checked in"),
                    record(L"Compileruser", 45002.75, 0, L"Labeled", L"Build 12")};
    store_.add(L"$/App/src/util.c", vss::kTypeFile).history = {
        record(L"carol", 45003, 1, L"Created")};
    store_.add(L"$/App/readme.txt", vss::kTypeFile);
    store_.add(L"$/Patch", vss::kTypeProject);
  }

  void TearDown() override {
    client_.reset();
    CoRevokeClassObject(cookie_);
    factory_.reset();
    comtest::deleteClassesKey(kFakeProgId);
  }

  std::unique_ptr<vss::Database> openDatabase() {
    auto database = client_->newDatabase();
    database->open(L"C:\\vss\\srcsafe.ini", L"alice", L"secret");
    return database;
  }

  fake::Store store_;
  fake::Library library_{store_};
  ComPtr<IClassFactory> factory_;
  DWORD cookie_ = 0;
  std::unique_ptr<vss::Library> client_;
};

// ---- Database ----

TEST_F(ComClient, Open_FailuresCarryTheLibraryStatusAndText) {
  const struct {
    const wchar_t* user;
    const wchar_t* password;
    std::int32_t status;
    const wchar_t* text;
  } cases[] = {
      {L"alice", L"wrong", vss::kInvalidPassword, L"Invalid password"},
      {L"alice", L"SECRET", vss::kInvalidPassword, L"Invalid password"},
      {L"nobody", L"", vss::kUserNotFound, L"User \"nobody\" not found"},
      {L"李明", L"x", vss::kUserNotFound, L"User \"李明\" not found"},
  };
  for (const auto& c : cases) {
    auto database = client_->newDatabase();
    EXPECT_TRUE(failsWith([&] { database->open(L"C:\\vss\\srcsafe.ini", c.user, c.password); },
                          c.status, c.text))
        << comtest::narrow(c.user);
  }
  auto database = client_->newDatabase();
  EXPECT_NO_THROW(database->open(L"C:\\vss\\srcsafe.ini", L"ALICE", L"secret"));
}

TEST_F(ComClient, NewDatabase_MakesAFreshUnopenedObjectEveryTime) {
  auto opened = openDatabase();
  auto fresh = client_->newDatabase();
  EXPECT_EQ(2, store_.databasesMade);
  EXPECT_TRUE(failsWith([&] { fresh->vssItem(L"$/App", false); },
                        static_cast<std::int32_t>(0x8004D6D6), L"The database is not open"));
  EXPECT_EQ(L"$/App", opened->vssItem(L"$/App", false)->spec());
}

TEST_F(ComClient, VssItem_MissingPathFailsWithNotFound) {
  auto database = openDatabase();
  for (const wchar_t* spec : {L"$/Nope", L"$/App/src/main.c/deeper", L"$/App/src/gone.c"}) {
    EXPECT_TRUE(failsWith([&] { database->vssItem(spec, false); }, vss::kNotFound,
                          L"File or project not found"))
        << comtest::narrow(spec);
  }
}

// ---- Item properties ----

TEST_F(ComClient, Item_PropertiesComeBackInTheStoredSpelling) {
  auto database = openDatabase();
  auto file = database->vssItem(L"$/app/SRC/MAIN.C", false);
  EXPECT_EQ(L"$/App/src/main.c", file->spec());
  EXPECT_EQ(L"main.c", file->name());
  EXPECT_EQ(vss::kTypeFile, file->type());

  auto folder = file->parent();
  ASSERT_NE(nullptr, folder);
  EXPECT_EQ(L"$/App/src", folder->spec());
  EXPECT_EQ(vss::kTypeProject, folder->type());
  auto root = folder->parent()->parent();
  ASSERT_NE(nullptr, root);
  EXPECT_EQ(L"$/", root->spec());
  EXPECT_EQ(nullptr, root->parent());
}

// ---- Items ----

// Children come through the enumerator in batches; counts around the batch size must all arrive.
TEST_F(ComClient, Items_EnumeratesEveryChildInTheLibraryOrder) {
  for (int count : {0, 1, 31, 32, 33, 64, 65}) {
    const std::wstring project = L"$/Many" + std::to_wstring(count);
    store_.add(project, vss::kTypeProject);
    std::vector<std::wstring> expected;
    for (int i = 0; i < count; ++i) {
      // Reverse order on purpose: the client must keep the library's order, not sort.
      const std::wstring name = L"f" + std::to_wstring(1000 - i) + L".c";
      store_.add(project + L"/" + name, vss::kTypeFile);
      expected.push_back(name);
    }
    auto database = openDatabase();
    EXPECT_EQ(expected, namesOf(database->vssItem(project, false)->items(false))) << count;
  }
}

TEST_F(ComClient, Items_LeavesOutDeletedChildrenUnlessAsked) {
  store_.add(L"$/App/old.c", vss::kTypeFile).deleted = true;
  auto database = openDatabase();
  auto app = database->vssItem(L"$/App", false);
  EXPECT_EQ((std::vector<std::wstring>{L"src", L"readme.txt"}), namesOf(app->items(false)));
  EXPECT_EQ((std::vector<std::wstring>{L"src", L"readme.txt", L"old.c"}),
            namesOf(app->items(true)));
}

// ---- Versions ----

TEST_F(ComClient, Versions_ComeNewestFirstWithUserAndDate) {
  auto database = openDatabase();
  auto cursor = database->vssItem(L"$/App/src/main.c", false)->versions(0);
  const std::pair<std::wstring, double> expected[] = {
      {L"Compileruser", 45002.75}, {L"bob", 45001.5}, {L"alice", 45000.25}};
  for (const auto& [user, date] : expected) {
    auto version = cursor->next();
    ASSERT_NE(nullptr, version);
    EXPECT_EQ(user, version->username());
    EXPECT_EQ(date, version->date());
  }
  EXPECT_EQ(nullptr, cursor->next());
  EXPECT_EQ(nullptr, cursor->next());
}

TEST_F(ComClient, Versions_ReadOnlyAsFarAsTheCallerGoes) {
  fake::Node& longHistory = store_.add(L"$/App/long.c", vss::kTypeFile);
  for (int i = 0; i < 200; ++i)
    longHistory.history.push_back(record(L"bob", 40000 + i, i + 1, L"Checked in"));
  auto database = openDatabase();
  auto item = database->vssItem(L"$/App/long.c", false);
  store_.cursorPulls = 0;
  standin::com::resetDispatchCounts();
  auto cursor = item->versions(0);
  auto newest = cursor->next();
  ASSERT_NE(nullptr, newest);
  EXPECT_EQ(40199, newest->date());
  EXPECT_EQ(1, store_.cursorPulls);
  EXPECT_EQ(1, standin::com::dispatchCounts().enumeratorPulls);
}

TEST_F(ComClient, Versions_DamagedHistoryFailsWithItsStatus) {
  store_.find(L"$/App/src/util.c", false)->versionsFault =
      vss::Error(vss::kDeletedOrDamaged, L"Injected failure");
  auto database = openDatabase();
  auto item = database->vssItem(L"$/App/src/util.c", false);
  EXPECT_TRUE(failsWith([&] { item->versions(0); }, vss::kDeletedOrDamaged, L"Injected failure"));
}

// A failure of IEnumVARIANT::Next has no exception information: the text comes from the error
// object, and not from an earlier failure's.
TEST_F(ComClient, Versions_FailureWhileReadingComesThroughTheErrorObject) {
  store_.find(L"$/App/src/main.c", false)->cursorFault =
      vss::Error(vss::kDeletedOrDamaged, L"History record 2 is damaged");
  auto database = openDatabase();
  EXPECT_TRUE(failsWith([&] { database->vssItem(L"$/Missing", false); }, vss::kNotFound,
                        L"File or project not found"));
  auto cursor = database->vssItem(L"$/App/src/main.c", false)->versions(0);
  ASSERT_NE(nullptr, cursor->next());
  EXPECT_TRUE(
      failsWith([&] { cursor->next(); }, vss::kDeletedOrDamaged, L"History record 2 is damaged"));
}

// ---- NewSubproject ----

TEST_F(ComClient, NewSubproject_CreatesAChildProjectAndRefusesAnExistingName) {
  auto database = openDatabase();
  auto patch = database->vssItem(L"$/Patch", false);
  auto created = patch->newSubproject(L"src", L"");
  ASSERT_NE(nullptr, created);
  EXPECT_EQ(L"$/Patch/src", created->spec());
  EXPECT_EQ(vss::kTypeProject, created->type());
  EXPECT_EQ(L"$/Patch/src", database->vssItem(L"$/patch/SRC", false)->spec());
  EXPECT_TRUE(failsWith([&] { patch->newSubproject(L"SRC", L""); }, vss::kItemExists,
                        L"An item with the name SRC already exists"));
}

// ---- Share ----

TEST_F(ComClient, Share_TakesAnItemOfAnotherDatabaseObject) {
  auto patchDatabase = openDatabase();
  auto walkDatabase = openDatabase();
  auto patch = patchDatabase->vssItem(L"$/Patch", false);
  auto file = walkDatabase->vssItem(L"$/App/src/main.c", false);
  patch->share(*file, L"0", vss::kFlagRecursYes);
  ASSERT_EQ(1u, store_.shares.size());
  EXPECT_EQ(L"$/Patch", store_.shares[0].project);
  EXPECT_EQ(L"$/App/src/main.c", store_.shares[0].file);
  EXPECT_EQ(L"0", store_.shares[0].comment);
  EXPECT_EQ(8192, store_.shares[0].flags);
  EXPECT_EQ((std::vector<std::wstring>{L"main.c"}), namesOf(patch->items(false)));
}

TEST_F(ComClient, Share_FailuresCarryTheirStatusAndText) {
  store_.add(L"$/Patch/main.c", vss::kTypeFile);
  store_.add(L"$/Patch/util.c", vss::kTypeFile).deleted = true;
  auto database = openDatabase();
  auto patch = database->vssItem(L"$/Patch", false);
  auto main = database->vssItem(L"$/App/src/main.c", false);
  auto util = database->vssItem(L"$/App/src/util.c", false);
  EXPECT_TRUE(failsWith([&] { patch->share(*main, L"0", vss::kFlagRecursYes); }, vss::kItemExists,
                        L"An item with the name main.c already exists"));
  EXPECT_TRUE(failsWith([&] { patch->share(*util, L"0", vss::kFlagRecursYes); },
                        vss::kDeletedOrDamaged, L"util.c has been deleted"));
  EXPECT_TRUE(store_.shares.empty());
}

TEST_F(ComClient, Share_RefusesAnItemThatDoesNotComeFromTheLibrary) {
  auto database = openDatabase();
  auto patch = database->vssItem(L"$/Patch", false);
  fake::Item foreign(store_, store_.root);
  const vss::Error error = errorOf([&] { patch->share(foreign, L"0", 0); });
  EXPECT_EQ(E_INVALIDARG, error.status());
  EXPECT_FALSE(error.description().empty());
  EXPECT_TRUE(store_.shares.empty());
}

// ---- Get ----

TEST_F(ComClient, Get_WritesTheContentAndTakesBackTheChangedPath) {
  comtest::TempFolder folder(L"com-get");
  std::wstring local = folder.path().wstring() + L"/main.c";
  std::wstring expected = local;
  for (wchar_t& c : expected) {
    if (c == L'/') c = L'\\';
  }
  auto database = openDatabase();
  database->vssItem(L"$/App/src/main.c", false)->get(local, 0);
  EXPECT_EQ(expected, local);
  std::ifstream in(folder.path() / L"main.c", std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ("int main(void) { return 0; }\r\n", content.str());
}

TEST_F(ComClient, Get_FailureCarriesItsStatusAndText) {
  store_.find(L"$/App/src/util.c", false)->getFault =
      vss::Error(vss::kDeletedOrDamaged, L"util.c has been deleted");
  auto database = openDatabase();
  std::wstring local = L"C:\\nowhere\\util.c";
  EXPECT_TRUE(failsWith([&] { database->vssItem(L"$/App/src/util.c", false)->get(local, 0); },
                        vss::kDeletedOrDamaged, L"util.c has been deleted"));
  EXPECT_EQ(L"C:\\nowhere\\util.c", local);
}

// ---- Cost of a walk ----

// Member ids are asked for once per name, however many objects are met, and every property
// read is one call into the library.
TEST_F(ComClient, Walk_AsksForMemberIdsOncePerNameAndCallsOncePerRead) {
  for (int i = 0; i < 40; ++i) {
    store_
        .add(L"$/Big/d" + std::to_wstring(i % 4) + L"/f" + std::to_wstring(i) + L".c",
             vss::kTypeFile)
        .history = {record(L"dave", 45000 + i, 1, L"Created")};
  }
  standin::com::resetDispatchCounts();
  auto walk = [&](vss::Item& project, auto& self) -> int {
    int files = 0;
    for (auto& child : project.items(false)) {
      if (child->type() == vss::kTypeProject) {
        files += self(*child, self);
      } else {
        auto newest = child->versions(0)->next();
        EXPECT_EQ(L"dave", newest->username());
        newest->date();
        ++files;
      }
    }
    return files;
  };
  {
    auto database = openDatabase();
    auto big = database->vssItem(L"$/Big", false);
    EXPECT_EQ(40, walk(*big, walk));
  }
  const long lookupsAfterFirstWalk = standin::com::dispatchCounts().namesLookedUp;
  EXPECT_EQ(7, lookupsAfterFirstWalk);  // Open VSSItem Items Type Versions Username Date
  {
    auto database = openDatabase();
    EXPECT_EQ(40, walk(*database->vssItem(L"$/Big", false), walk));
  }
  EXPECT_EQ(lookupsAfterFirstWalk, standin::com::dispatchCounts().namesLookedUp);

  // One file's deciding record: Type, Versions, _NewEnum, Username, Date.
  auto database = openDatabase();
  auto file = database->vssItem(L"$/Big/d0/f0.c", false);
  standin::com::resetDispatchCounts();
  EXPECT_EQ(vss::kTypeFile, file->type());
  auto newest = file->versions(0)->next();
  newest->username();
  newest->date();
  EXPECT_EQ(5, standin::com::dispatchCounts().calls);
  EXPECT_EQ(0, standin::com::dispatchCounts().namesLookedUp);
}

// ---- A library that is not there ----

TEST(ComLibraryMissing, UnknownProgIdFailsOpenWithThePlainTextAndTheSystemStatus) {
  auto library = vss::com::makeLibrary(L"Ostrabel.Test.NoSuchLibrary");
  auto database = library->newDatabase();
  EXPECT_TRUE(failsWith([&] { database->open(L"C:\\vss\\srcsafe.ini", L"alice", L"secret"); },
                        CO_E_CLASSSTRING, kNotInstalled));
  EXPECT_TRUE(failsWith([&] { database->vssItem(L"$/", false); }, CO_E_CLASSSTRING, kNotInstalled));
}

TEST(ComLibraryMissing, ProgIdOfAClassWithoutServerFailsOpenWithThePlainText) {
  const std::wstring progId = L"Ostrabel.Test.Unregistered";
  comtest::setClassesValue(progId + L"\\CLSID", L"{0C5E81A2-7D4B-4E1F-A0B9-3F2D6C8E1B47}");
  auto library = vss::com::makeLibrary(progId.c_str());
  auto database = library->newDatabase();
  EXPECT_TRUE(failsWith([&] { database->open(L"C:\\vss\\srcsafe.ini", L"", L""); },
                        REGDB_E_CLASSNOTREG, kNotInstalled));
  comtest::deleteClassesKey(progId);
}

// ---- The server's objects seen through raw IDispatch ----

// Arguments of a raw call, given left to right, owned by the call.
class RawArgs {
 public:
  RawArgs& text(const wchar_t* value) {
    VARIANT& v = add();
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(value);
    return *this;
  }
  RawArgs& int32(LONG value) {
    VARIANT& v = add();
    v.vt = VT_I4;
    v.lVal = value;
    return *this;
  }
  RawArgs& object(IDispatch* value) {
    VARIANT& v = add();
    v.vt = VT_DISPATCH;
    v.pdispVal = value;
    value->AddRef();
    return *this;
  }
  RawArgs& missing() {
    VARIANT& v = add();
    v.vt = VT_ERROR;
    v.scode = DISP_E_PARAMNOTFOUND;
    return *this;
  }
  ~RawArgs() {
    for (auto& v : args_) VariantClear(&v);
  }
  // Right to left, as Invoke takes them.
  std::vector<VARIANT>& reversed() {
    reversed_.assign(args_.rbegin(), args_.rend());
    return reversed_;
  }

 private:
  VARIANT& add() {
    args_.emplace_back();
    VariantInit(&args_.back());
    return args_.back();
  }
  std::vector<VARIANT> args_;
  std::vector<VARIANT> reversed_;
};

DISPID idOf(IDispatch* object, const wchar_t* name) {
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  DISPID id = 0;
  EXPECT_EQ(S_OK, object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id))
      << comtest::narrow(name);
  return id;
}

HRESULT rawCall(IDispatch* object, const wchar_t* name, WORD flags, RawArgs& args,
                VARIANT* result = nullptr, EXCEPINFO* exception = nullptr,
                UINT* argumentError = nullptr) {
  std::vector<VARIANT>& reversed = args.reversed();
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  return object->Invoke(idOf(object, name), IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result,
                        exception, argumentError);
}

class ServerObjects : public ComClient {
 protected:
  ComPtr<IDispatch> newDatabaseObject() {
    ComPtr<IDispatch> database;
    EXPECT_EQ(S_OK, factory_->CreateInstance(nullptr, IID_IDispatch,
                                             reinterpret_cast<void**>(database.put())));
    return database;
  }
  ComPtr<IDispatch> openedItem(const wchar_t* spec, bool deleted = false) {
    ComPtr<IDispatch> database = newDatabaseObject();
    RawArgs open;
    open.text(L"C:\\vss\\srcsafe.ini").text(L"alice").text(L"secret");
    EXPECT_EQ(S_OK, rawCall(database.get(), L"Open", DISPATCH_METHOD, open));
    RawArgs lookup;
    lookup.text(spec).int32(deleted ? -1 : 0);
    UniqueVariant item;
    EXPECT_EQ(S_OK, rawCall(database.get(), L"VSSItem", DISPATCH_PROPERTYGET, lookup, &item));
    EXPECT_EQ(VT_DISPATCH, item.vt());
    return ComPtr<IDispatch>::copyFrom(item.get()->pdispVal);
  }
  std::wstring textOf(IDispatch* object, const wchar_t* name) {
    RawArgs none;
    UniqueVariant value;
    EXPECT_EQ(S_OK, rawCall(object, name, DISPATCH_PROPERTYGET, none, &value));
    EXPECT_EQ(VT_BSTR, value.vt());
    return value.vt() == VT_BSTR ? std::wstring(value.get()->bstrVal) : std::wstring();
  }
};

TEST_F(ServerObjects, MemberNamesIgnoreLetterCase) {
  ComPtr<IDispatch> database = newDatabaseObject();
  const DISPID open = idOf(database.get(), L"Open");
  EXPECT_EQ(open, idOf(database.get(), L"OPEN"));
  EXPECT_EQ(open, idOf(database.get(), L"open"));
  EXPECT_NE(open, idOf(database.get(), L"vssitem"));
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"Nonsense")};
  DISPID id = 0;
  EXPECT_EQ(DISP_E_UNKNOWNNAME, database->GetIDsOfNames(IID_NULL, names, 1, 0, &id));
  EXPECT_EQ(DISPID_UNKNOWN, id);
}

TEST_F(ServerObjects, FailureFillsTheExceptionInformationAndTheErrorObject) {
  ComPtr<IDispatch> database = newDatabaseObject();
  RawArgs open;
  open.text(L"C:\\vss\\srcsafe.ini").text(L"alice").text(L"wrong");
  EXCEPINFO exception{};
  SetErrorInfo(0, nullptr);
  EXPECT_EQ(DISP_E_EXCEPTION,
            rawCall(database.get(), L"Open", DISPATCH_METHOD, open, nullptr, &exception));
  UniqueBstr description(exception.bstrDescription);
  UniqueBstr source(exception.bstrSource);
  SysFreeString(exception.bstrHelpFile);
  EXPECT_EQ(vss::kInvalidPassword, exception.scode);
  EXPECT_EQ(L"Invalid password", description.view());
  EXPECT_EQ(L"SourceSafe", source.view());
  ComPtr<IErrorInfo> errorInfo;
  ASSERT_EQ(S_OK, GetErrorInfo(0, errorInfo.put()));
  UniqueBstr objectText;
  errorInfo->GetDescription(objectText.put());
  EXPECT_EQ(L"Invalid password", objectText.view());

  // Without room for exception information the status itself is returned.
  EXPECT_EQ(vss::kInvalidPassword, rawCall(database.get(), L"Open", DISPATCH_METHOD, open));

  ComPtr<ISupportErrorInfo> supports;
  ASSERT_EQ(S_OK, database.query(supports));
  EXPECT_EQ(S_OK, supports->InterfaceSupportsErrorInfo(IID_IDispatch));
}

TEST_F(ServerObjects, PropertiesAndMethodsAreCalledTheirOwnWay) {
  ComPtr<IDispatch> database = newDatabaseObject();
  RawArgs open;
  open.text(L"").text(L"alice").text(L"secret");
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, rawCall(database.get(), L"Open", DISPATCH_PROPERTYGET, open));
  EXPECT_EQ(S_OK, rawCall(database.get(), L"Open", DISPATCH_METHOD, open));
  RawArgs lookup;
  lookup.text(L"$/App");
  EXPECT_EQ(DISP_E_MEMBERNOTFOUND, rawCall(database.get(), L"VSSItem", DISPATCH_METHOD, lookup));
  UniqueVariant item;
  EXPECT_EQ(S_OK, rawCall(database.get(), L"VSSItem", DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                          lookup, &item));
  EXPECT_EQ(VT_DISPATCH, item.vt());
}

TEST_F(ServerObjects, OptionalArgumentsMayBeLeftOutOrMarkedMissing) {
  ComPtr<IDispatch> database = newDatabaseObject();
  RawArgs none;
  EXCEPINFO exception{};
  EXPECT_EQ(DISP_E_EXCEPTION,
            rawCall(database.get(), L"Open", DISPATCH_METHOD, none, nullptr, &exception));
  UniqueBstr description(exception.bstrDescription);
  SysFreeString(exception.bstrSource);
  EXPECT_EQ(L"User \"\" not found", description.view());

  RawArgs missingPassword;
  missingPassword.text(L"").text(L"Admin").missing();
  EXPECT_EQ(S_OK, rawCall(database.get(), L"Open", DISPATCH_METHOD, missingPassword));
  RawArgs noSpec;
  EXPECT_EQ(DISP_E_BADPARAMCOUNT,
            rawCall(database.get(), L"VSSItem", DISPATCH_PROPERTYGET, noSpec));
  RawArgs tooMany;
  tooMany.text(L"$/").int32(0).int32(0);
  EXPECT_EQ(DISP_E_BADPARAMCOUNT,
            rawCall(database.get(), L"VSSItem", DISPATCH_PROPERTYGET, tooMany));
}

TEST_F(ServerObjects, ItemsCollectionCountsAndIndexes) {
  ComPtr<IDispatch> src = openedItem(L"$/App/src");
  RawArgs none;
  UniqueVariant items;
  ASSERT_EQ(S_OK, rawCall(src.get(), L"Items", DISPATCH_PROPERTYGET, none, &items));
  IDispatch* collection = items.get()->pdispVal;
  UniqueVariant count;
  ASSERT_EQ(S_OK, rawCall(collection, L"Count", DISPATCH_PROPERTYGET, none, &count));
  EXPECT_EQ(2, count.get()->lVal);

  const struct {
    bool byName;
    LONG position;
    const wchar_t* name;
    HRESULT expected;
    const wchar_t* spec;
  } cases[] = {
      {false, 1, nullptr, S_OK, L"$/App/src/main.c"},
      {false, 2, nullptr, S_OK, L"$/App/src/util.c"},
      {true, 0, L"UTIL.C", S_OK, L"$/App/src/util.c"},
      {false, 0, nullptr, DISP_E_EXCEPTION, nullptr},
      {false, 3, nullptr, DISP_E_EXCEPTION, nullptr},
      {true, 0, L"none.c", DISP_E_EXCEPTION, nullptr},
  };
  for (const auto& c : cases) {
    RawArgs index;
    if (c.byName) {
      index.text(c.name);
    } else {
      index.int32(c.position);
    }
    UniqueVariant element;
    EXCEPINFO exception{};
    EXPECT_EQ(c.expected,
              rawCall(collection, L"Item", DISPATCH_PROPERTYGET, index, &element, &exception))
        << c.position;
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    if (c.spec != nullptr && element.vt() == VT_DISPATCH) {
      EXPECT_EQ(c.spec, textOf(element.get()->pdispVal, L"Spec"));
    }
  }
}

TEST_F(ServerObjects, VersionRecordsCarryNumberActionCommentAndLabel) {
  ComPtr<IDispatch> file = openedItem(L"$/App/src/main.c");
  RawArgs flags;
  flags.int32(0);
  UniqueVariant versions;
  ASSERT_EQ(S_OK, rawCall(file.get(), L"Versions", DISPATCH_PROPERTYGET, flags, &versions));
  RawArgs none;
  UniqueVariant enumResult;
  DISPPARAMS noArgs{nullptr, nullptr, 0, 0};
  ASSERT_EQ(S_OK,
            versions.get()->pdispVal->Invoke(DISPID_NEWENUM, IID_NULL, 0, DISPATCH_PROPERTYGET,
                                             &noArgs, enumResult.put(), nullptr, nullptr));
  ComPtr<IEnumVARIANT> records;
  ASSERT_EQ(S_OK, enumResult.get()->punkVal->QueryInterface(
                      IID_IEnumVARIANT, reinterpret_cast<void**>(records.put())));
  VARIANT batch[4];
  ULONG fetched = 0;
  EXPECT_EQ(S_FALSE, records->Next(4, batch, &fetched));
  ASSERT_EQ(3u, fetched);
  UniqueVariant owned[3];
  for (ULONG i = 0; i < fetched; ++i) *owned[i].put() = batch[i];

  IDispatch* label = owned[0].get()->pdispVal;
  EXPECT_EQ(L"Labeled", textOf(label, L"Action"));
  EXPECT_EQ(L"Build 12", textOf(label, L"Label"));
  EXPECT_EQ(L"Compileruser", textOf(label, L"Username"));
  IDispatch* second = owned[1].get()->pdispVal;
  EXPECT_EQ(L"Checked in", textOf(second, L"Action"));
  EXPECT_EQ(L"", textOf(second, L"Label"));
  EXPECT_EQ(L"", textOf(second, L"Comment"));
  UniqueVariant number;
  ASSERT_EQ(S_OK, rawCall(second, L"VersionNumber", DISPATCH_PROPERTYGET, none, &number));
  EXPECT_EQ(2, number.get()->lVal);
  UniqueVariant date;
  ASSERT_EQ(S_OK, rawCall(second, L"Date", DISPATCH_PROPERTYGET, none, &date));
  EXPECT_EQ(VT_DATE, date.vt());
  EXPECT_EQ(45001.5, date.get()->date);

  // Reset starts the history over; a clone goes on from the same place.
  EXPECT_EQ(S_OK, records->Reset());
  EXPECT_EQ(S_OK, records->Skip(1));
  ComPtr<IEnumVARIANT> clone;
  ASSERT_EQ(S_OK, records->Clone(clone.put()));
  UniqueVariant next;
  EXPECT_EQ(S_OK, clone->Next(1, next.put(), &fetched));
  EXPECT_EQ(L"bob", textOf(next.get()->pdispVal, L"Username"));
}

TEST_F(ServerObjects, DeletedItemsSayTheyAreDeleted) {
  store_.add(L"$/App/old.c", vss::kTypeFile).deleted = true;
  RawArgs none;
  for (const auto& [spec, deleted] :
       {std::pair{L"$/App/old.c", true}, std::pair{L"$/App/readme.txt", false}}) {
    ComPtr<IDispatch> item = openedItem(spec, true);
    UniqueVariant value;
    ASSERT_EQ(S_OK, rawCall(item.get(), L"Deleted", DISPATCH_PROPERTYGET, none, &value));
    EXPECT_EQ(VT_BOOL, value.vt());
    EXPECT_EQ(deleted ? VARIANT_TRUE : VARIANT_FALSE, value.get()->boolVal);
  }
}

TEST_F(ServerObjects, GetAcceptsThePathByValueToo) {
  comtest::TempFolder folder(L"com-get-by-value");
  const std::wstring local = (folder.path() / L"readme.txt").wstring();
  store_.find(L"$/App/readme.txt", false)->content = "read me";
  ComPtr<IDispatch> file = openedItem(L"$/App/readme.txt");
  RawArgs args;
  args.text(local.c_str()).int32(0);
  EXPECT_EQ(S_OK, rawCall(file.get(), L"Get", DISPATCH_METHOD, args));
  EXPECT_TRUE(std::filesystem::exists(local));
}

TEST_F(ServerObjects, ShareRefusesAnObjectThatIsNotOneOfItsItems) {
  ComPtr<IDispatch> patch = openedItem(L"$/Patch");
  ComPtr<IDispatch> database = newDatabaseObject();
  RawArgs args;
  args.object(database.get()).text(L"0").int32(8192);
  UINT argumentError = 99;
  EXPECT_EQ(DISP_E_TYPEMISMATCH, rawCall(patch.get(), L"Share", DISPATCH_METHOD, args, nullptr,
                                         nullptr, &argumentError));
  EXPECT_EQ(2u, argumentError);  // the first argument sits last in the reversed array
  EXPECT_TRUE(store_.shares.empty());
}

TEST_F(ServerObjects, ServerCanUnloadOnlyWhenEverythingIsReleased) {
  ComPtr<IDispatch> item = openedItem(L"$/App");
  factory_.reset();
  CoRevokeClassObject(cookie_);
  cookie_ = 0;
  EXPECT_FALSE(standin::com::canUnloadServer());
  item.reset();
  EXPECT_TRUE(standin::com::canUnloadServer());
}

// ---- The owners ----

// Counts its references, so that a test sees when one is released.
class CountedObject : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  ULONG references = 1;
};

TEST(UniqueCom, ComPtrReleasesBeforeRefillingAndOnlyOnce) {
  CountedObject first;
  CountedObject second;
  {
    auto owner = ComPtr<IUnknown>::attach(&first);
    IUnknown** slot = &owner;  // releases the first object before handing out the slot
    EXPECT_EQ(0u, first.references);
    *slot = &second;
    ComPtr<IUnknown> moved = std::move(owner);
    EXPECT_EQ(nullptr, owner.get());
    EXPECT_EQ(&second, moved.get());
    ComPtr<IUnknown> extra = moved.duplicate();
    EXPECT_EQ(2u, second.references);
  }
  EXPECT_EQ(0u, second.references);
}

TEST(UniqueCom, BstrAndVariantFreeWhatTheyHold) {
  UniqueBstr text(std::wstring_view(L"abc\0def", 7));
  EXPECT_EQ(7u, text.view().size());
  BSTR* slot = text.put();
  EXPECT_EQ(nullptr, *slot);
  *slot = SysAllocString(L"x");
  EXPECT_EQ(L"x", text.view());
  UniqueBstr taken = std::move(text);
  EXPECT_EQ(nullptr, text.get());
  EXPECT_EQ(L"x", taken.view());

  CountedObject object;
  {
    UniqueVariant value;
    value.get()->vt = VT_UNKNOWN;
    value.get()->punkVal = &object;
    UniqueVariant other = std::move(value);
    EXPECT_EQ(VT_EMPTY, value.vt());
    EXPECT_EQ(1u, object.references);
  }
  EXPECT_EQ(0u, object.references);
}

}  // namespace
