// The COM client against the stand-in COM server DLL, registered under the ProgID "SourceSafe"
// and running over a stand-in store seeded in a temporary folder: the members the program uses,
// their ids, kinds, defaults and result types as the library's type library declares them,
// failures with the library's status and text, Share across database objects, Get's path, and
// a library that is not registered.
#include <gtest/gtest.h>

// windows.h comes before the other Windows headers.
// clang-format off
#include <windows.h>
// clang-format on

#include <fstream>
#include <string>
#include <vector>

#include "com_test_support.h"
#include "standin/adapter.h"
#include "standin/store.h"
#include "tests/temp_folder.h"
#include "vss/com/com_library.h"
#include "vss/com/texts.h"

namespace {

using comtest::failsWith;
using comtest::RawCall;
using vss::com::ComPtr;
using vss::com::UniqueVariant;

HMODULE gServer = nullptr;  // stays loaded until the process ends

HRESULT callServer(const char* entry) {
  using Entry = HRESULT(STDAPICALLTYPE*)();
  auto function = reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(gServer, entry)));
  return function != nullptr ? function() : E_NOTIMPL;
}

// Enters the apartment and registers the server DLL that the build put beside this program, as
// regsvr32 would.
class RegisteredServer : public comtest::ApartmentEnvironment {
  void SetUp() override {
    ApartmentEnvironment::SetUp();
    wchar_t path[MAX_PATH];
    std::wstring dll(path, GetModuleFileNameW(nullptr, path, MAX_PATH));
    dll = dll.substr(0, dll.find_last_of(L'\\') + 1) + L"OstrabelSsapi.dll";
    gServer = LoadLibraryW(dll.c_str());
    ASSERT_NE(nullptr, gServer);
    ASSERT_EQ(S_OK, callServer("DllRegisterServer"));
  }
};
[[maybe_unused]] auto* const kServer = ::testing::AddGlobalTestEnvironment(new RegisteredServer);

std::vector<std::wstring> namesOf(const std::vector<std::unique_ptr<vss::Item>>& items) {
  std::vector<std::wstring> names;
  for (const auto& item : items) names.push_back(item->name());
  return names;
}

constexpr const char* kScript = R"(
user alice password secret
user bob
file $/App/src/main.c by alice at 2024-05-01 10:00 content "int main;"
version $/App/src/main.c by bob at "2024-05-03 09:30:15" content "int main(void);" comment "fix"
file $/App/src/util.c by carol at 2024-05-02 11:00
file $/App/src/old.c by alice at 2024-05-02 12:00
delete $/App/src/old.c
label $/App "Build 12" by Compileruser at 2024-05-04 08:00
file $/App/broken.c by dave at 2024-05-02 13:00
fault $/App/broken.c versions 0x80040000
project $/Patch/src
file $/Patch/src/util.c by alice at 2024-05-05 10:00
file $/Patch/src/old.c by alice at 2024-05-05 10:00
delete $/Patch/src/old.c
)";

class StandinServer : public ::testing::Test {
 protected:
  void SetUp() override {
    standin::createStore(folder_ / L"db");
    standin::seed(folder_ / L"db", kScript);
  }

  std::unique_ptr<vss::Database> openDatabase(vss::Library& library) {
    auto database = library.newDatabase();
    database->open(ini_, L"alice", L"secret");
    return database;
  }

  testing_support::TempFolder folder_{L"ostrabel-com-standin"};
  std::wstring ini_ = (folder_ / L"db" / L"srcsafe.ini").wstring();
  std::unique_ptr<vss::Library> library_ = vss::com::makeLibrary();
};

// The objects of the server reached by hand through IDispatch, as a script client reaches them.
struct RawObjects {
  explicit RawObjects(const std::wstring& ini) {
    CLSID clsid{};
    EXPECT_EQ(S_OK, CLSIDFromProgID(L"SourceSafe", &clsid));
    database = comtest::createObject(clsid);
    EXPECT_EQ(S_OK, RawCall()
                        .text(ini.c_str())
                        .text(L"alice")
                        .text(L"secret")
                        .invoke(database.get(), L"Open", DISPATCH_METHOD));
    file = comtest::itemOf(database.get(), L"$/App/src/main.c");
    UniqueVariant result;
    RawCall().invoke(file.get(), L"Items", DISPATCH_PROPERTYGET, result.put());
    items = comtest::objectOf(result);
    RawCall().invoke(file.get(), L"Versions", DISPATCH_PROPERTYGET, result.put());
    versions = comtest::objectOf(result);
    RawCall().invoke(versions.get(), DISPID_NEWENUM, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                     result.put());
    ComPtr<IEnumVARIANT> enumerator;
    if (result.vt() == VT_UNKNOWN) {
      result.get()->punkVal->QueryInterface(IID_IEnumVARIANT,
                                            reinterpret_cast<void**>(enumerator.put()));
    }
    ULONG fetched = 0;
    if (enumerator) enumerator->Next(1, result.put(), &fetched);
    version = comtest::objectOf(result);
  }
  ComPtr<IDispatch> database, file, items, versions, version;
};

// The members the program relies on carry the ids and kinds of SSAPI.DLL 6.0's type library, so
// that a call of the wrong kind fails here as it fails there, and their results have the
// declared types.
TEST_F(StandinServer, MembersHaveTheTypeLibrarysIdsKindsAndResultTypes) {
  RawObjects raw(ini_);
  ASSERT_TRUE(raw.file && raw.items && raw.versions && raw.version);
  enum Kind { PropertyGet, Method };
  const struct {
    IDispatch* object;
    const wchar_t* name;
    DISPID id;
    Kind kind;
    VARTYPE result;  // of a call without arguments; VT_EMPTY where arguments are required
  } members[] = {
      {raw.database.get(), L"Open", 1, Method, VT_EMPTY},
      {raw.database.get(), L"VSSItem", 6, PropertyGet, VT_EMPTY},
      {raw.file.get(), L"Spec", 1, PropertyGet, VT_BSTR},
      {raw.file.get(), L"Deleted", 3, PropertyGet, VT_BOOL},
      {raw.file.get(), L"Type", 4, PropertyGet, VT_INT},
      {raw.file.get(), L"Name", 6, PropertyGet, VT_BSTR},
      {raw.file.get(), L"Parent", 7, PropertyGet, VT_DISPATCH},
      {raw.file.get(), L"VersionNumber", 8, PropertyGet, VT_I4},
      {raw.file.get(), L"Items", 9, PropertyGet, VT_DISPATCH},
      {raw.file.get(), L"Get", 10, Method, VT_EMPTY},
      {raw.file.get(), L"NewSubproject", 18, Method, VT_EMPTY},
      {raw.file.get(), L"Share", 19, Method, VT_EMPTY},
      {raw.file.get(), L"Versions", 23, PropertyGet, VT_DISPATCH},
      {raw.file.get(), L"Links", 25, PropertyGet, VT_DISPATCH},
      {raw.items.get(), L"Count", 1, PropertyGet, VT_I4},
      {raw.items.get(), L"Item", DISPID_VALUE, PropertyGet, VT_EMPTY},
      {raw.items.get(), L"_NewEnum", DISPID_NEWENUM, Method, VT_UNKNOWN},
      {raw.versions.get(), L"_NewEnum", DISPID_NEWENUM, Method, VT_UNKNOWN},
      {raw.version.get(), L"Username", 1, PropertyGet, VT_BSTR},
      {raw.version.get(), L"VersionNumber", 2, PropertyGet, VT_I4},
      {raw.version.get(), L"Action", 3, PropertyGet, VT_BSTR},
      {raw.version.get(), L"Date", 4, PropertyGet, VT_DATE},
      {raw.version.get(), L"Comment", 5, PropertyGet, VT_BSTR},
      {raw.version.get(), L"Label", 6, PropertyGet, VT_BSTR},
  };
  for (const auto& member : members) {
    SCOPED_TRACE(testing::Message() << std::string(member.name, member.name + wcslen(member.name)));
    EXPECT_EQ(member.id, comtest::dispidOf(member.object, member.name));
    const WORD right = member.kind == Method ? DISPATCH_METHOD : DISPATCH_PROPERTYGET;
    const WORD wrong = member.kind == Method ? DISPATCH_PROPERTYGET : DISPATCH_METHOD;
    UniqueVariant result;
    EXPECT_EQ(DISP_E_MEMBERNOTFOUND,
              RawCall().invoke(member.object, member.id, wrong, result.put()));
    if (member.result == VT_EMPTY) continue;
    EXPECT_EQ(S_OK, RawCall().invoke(member.object, member.id, right, result.put()));
    EXPECT_EQ(member.result, result.vt());
    // Script clients, which cannot tell, ask with both kinds.
    EXPECT_EQ(S_OK, RawCall().invoke(member.object, member.id,
                                     DISPATCH_METHOD | DISPATCH_PROPERTYGET, result.put()));
  }
}

// Left-out trailing arguments take the defaults the type library declares; too few or too many
// arguments fail as the library's Invoke fails them.
TEST_F(StandinServer, OptionalArgumentsTakeTheirDeclaredDefaults) {
  RawObjects raw(ini_);
  auto src = comtest::itemOf(raw.database.get(), L"$/App/src");
  auto patch = comtest::itemOf(raw.database.get(), L"$/Patch");
  ASSERT_TRUE(src && patch);
  UniqueVariant result;
  auto count = [&](ComPtr<IDispatch> items) {
    UniqueVariant value;
    RawCall().invoke(items.get(), L"Count", DISPATCH_PROPERTYGET, value.put());
    return value.vt() == VT_I4 ? value.get()->lVal : -1;
  };
  // Items(IncludeDeleted = False)
  EXPECT_EQ(S_OK, RawCall().invoke(src.get(), L"Items", DISPATCH_PROPERTYGET, result.put()));
  EXPECT_EQ(2, count(comtest::objectOf(result)));
  EXPECT_EQ(S_OK, RawCall().boolean(true).invoke(src.get(), L"Items", DISPATCH_PROPERTYGET,
                                                 result.put()));
  EXPECT_EQ(3, count(comtest::objectOf(result)));
  // VSSItem(Spec, Deleted = False)
  EXPECT_EQ(vss::kNotFound,
            RawCall()
                .text(L"$/App/src/old.c")
                .invoke(raw.database.get(), L"VSSItem", DISPATCH_PROPERTYGET, result.put()));
  EXPECT_EQ(S_OK, RawCall()
                      .text(L"$/App/src/old.c")
                      .boolean(true)
                      .invoke(raw.database.get(), L"VSSItem", DISPATCH_PROPERTYGET, result.put()));
  // NewSubproject(Name, Comment = "") and Share(pIItem, Comment = "", iFlags = 0)
  EXPECT_EQ(S_OK, RawCall().text(L"lib").invoke(patch.get(), L"NewSubproject", DISPATCH_METHOD,
                                                result.put()));
  auto lib = comtest::objectOf(result);
  ASSERT_TRUE(lib);
  EXPECT_EQ(S_OK, RawCall().object(raw.file.get()).invoke(lib.get(), L"Share", DISPATCH_METHOD));
  EXPECT_NE(std::string::npos,
            standin::dump(folder_ / L"db").find("file $/Patch/lib/main.c shares"));
  // Required arguments missing, or one too many.
  EXPECT_EQ(DISP_E_BADPARAMCOUNT,
            RawCall().invoke(raw.database.get(), L"VSSItem", DISPATCH_PROPERTYGET, result.put()));
  EXPECT_EQ(DISP_E_BADPARAMCOUNT,
            RawCall().invoke(patch.get(), L"Share", DISPATCH_METHOD, result.put()));
  EXPECT_EQ(DISP_E_BADPARAMCOUNT, RawCall().boolean(false).boolean(false).invoke(
                                      src.get(), L"Items", DISPATCH_PROPERTYGET, result.put()));
}

// Spec and Name echo the lookup's spelling, as the library's do; Links and children's names give
// the stored one.
TEST_F(StandinServer, ItemsAndPropertiesInTheLookupsAndTheStoredSpelling) {
  auto database = openDatabase(*library_);
  auto file = database->vssItem(L"$/app/SRC/Main.C", false);
  EXPECT_EQ(L"$/app/SRC/Main.C", file->spec());
  EXPECT_EQ(L"Main.C", file->name());
  EXPECT_EQ(L"$/App/src/main.c", file->links().front()->spec());
  EXPECT_EQ(vss::kTypeFile, file->type());
  auto src = file->parent();
  EXPECT_EQ(L"$/app/SRC", src->spec());
  EXPECT_EQ(vss::kTypeProject, src->type());
  EXPECT_EQ((std::vector<std::wstring>{L"main.c", L"util.c"}), namesOf(src->items(false)));
  EXPECT_EQ((std::vector<std::wstring>{L"main.c", L"old.c", L"util.c"}), namesOf(src->items(true)));
  auto root = src->parent()->parent();
  ASSERT_NE(nullptr, root);
  EXPECT_EQ(L"", root->name());
  EXPECT_EQ(nullptr, root->parent());
}

// Every field of a record, read by the client through the server, a history flag passed through,
// and a file's links after a share into a new subproject made through another database object,
// which sees the file at once.
TEST_F(StandinServer, VersionsNewestFirstWithTheProjectLabel) {
  auto database = openDatabase(*library_);
  auto file = database->vssItem(L"$/App/src/main.c", false);
  auto cursor = file->versions(0);
  const struct {
    const wchar_t* user;
    const char* date;
    long number;
    const wchar_t *action, *comment, *label;
  } expected[] = {
      // A project's label carries the project's version number; an odd second reads as the one
      // before.
      {L"Compileruser", "2024-05-04 08:00", 3, L"Labeled 'Build 12'", L"", L"Build 12"},
      {L"bob", "2024-05-03 09:30:14", 2, L"Checked in $/App/src", L"fix", L""},
      {L"alice", "2024-05-01 10:00", 1, L"Created ", L"", L""},
  };
  for (const auto& record : expected) {
    auto version = cursor->next();
    ASSERT_NE(nullptr, version);
    EXPECT_EQ(record.user, version->username());
    EXPECT_EQ(standin::parseDateTime(record.date).value(), version->date()) << record.date;
    EXPECT_EQ(record.number, version->versionNumber());
    EXPECT_EQ(record.action, version->action());
    EXPECT_EQ(record.comment, version->comment());
    EXPECT_EQ(record.label, version->label());
  }
  EXPECT_EQ(nullptr, cursor->next());
  // VSSFLAG_HISTIGNOREFILES reaches the server: the project's history without its file's check-in.
  const auto actions = [&](int flags) {
    std::wstring out;
    auto history = database->vssItem(L"$/App/src", false)->versions(flags);
    while (auto version = history->next()) out += version->action() + L";";
    return out;
  };
  EXPECT_NE(std::wstring::npos, actions(0).find(L"Checked in $/App/src"));
  EXPECT_EQ(std::wstring::npos, actions(vss::kFlagHistIgnoreFiles).find(L"Checked in"));
  auto patchDatabase = openDatabase(*library_);
  auto target = patchDatabase->vssItem(L"$/Patch", false)->newSubproject(L"lib", L"");
  EXPECT_EQ(L"$/Patch/lib", target->spec());
  EXPECT_EQ(vss::kTypeProject, target->type());
  target->share(*file, L"0", vss::kFlagRecursYes);
  std::vector<std::wstring> links;
  for (const auto& link : file->links()) links.push_back(link->spec());
  EXPECT_EQ((std::vector<std::wstring>{L"$/Patch/lib/main.c", L"$/App/src/main.c"}), links);
  EXPECT_EQ(L"bob",
            database->vssItem(L"$/PATCH/LIB/Main.c", false)->versions(0)->next()->username());
}

// A history is open from its enumerator's start until the end is reported or the enumerator
// goes, as in the library: Versions alone opens nothing; a second enumeration through the same
// database object fails with 0x8004D75C and the open one reads on; Reset reads it again; there is
// no Clone.
TEST_F(StandinServer, OneHistoryIsOpenAtATime) {
  RawObjects raw(ini_);
  const auto history = [&](const wchar_t* spec) {
    UniqueVariant result;
    RawCall().invoke(comtest::itemOf(raw.database.get(), spec).get(), L"Versions",
                     DISPATCH_PROPERTYGET, result.put());
    return comtest::objectOf(result);
  };
  const auto enumerate = [](IDispatch* versions, ComPtr<IEnumVARIANT>& out) {
    UniqueVariant result;
    const HRESULT hr = RawCall().invoke(versions, DISPID_NEWENUM,
                                        DISPATCH_METHOD | DISPATCH_PROPERTYGET, result.put());
    if (SUCCEEDED(hr))
      result.get()->punkVal->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(out.put()));
    return hr;
  };
  const auto next = [](IEnumVARIANT* e) {
    UniqueVariant element;
    ULONG fetched = 0;
    e->Next(1, element.put(), &fetched);
    return fetched;
  };
  const auto kInProgress = static_cast<HRESULT>(0x8004D75C);
  ComPtr<IEnumVARIANT> open, other;
  ComPtr<IDispatch> util = history(L"$/App/src/util.c");
  ASSERT_EQ(S_OK, enumerate(raw.versions.get(), open));
  EXPECT_EQ(kInProgress, enumerate(util.get(), other));
  EXPECT_EQ(kInProgress, enumerate(raw.versions.get(), other));
  ComPtr<IEnumVARIANT> copy;
  EXPECT_EQ(E_NOTIMPL, open->Clone(copy.put()));
  EXPECT_EQ(3u, next(open.get()) + next(open.get()) + next(open.get()));
  EXPECT_EQ(S_OK, open->Reset());
  EXPECT_EQ(1u, next(open.get()));
  open = {};  // released
  ASSERT_EQ(S_OK, enumerate(util.get(), other));
  while (next(other.get()) == 1) {
  }
  // Its end reported, the history is closed although its enumerator lives on.
  ComPtr<IEnumVARIANT> again;
  EXPECT_EQ(S_OK, enumerate(raw.versions.get(), again));
}

// One failure of each member through the server and the client (each of the library's failures
// itself: adapter_test.cpp).
TEST_F(StandinServer, FailuresCarryTheLibraryStatusAndText) {
  auto database = openDatabase(*library_);
  auto item = [&](const wchar_t* spec) { return database->vssItem(spec, false); };
  auto target = item(L"$/Patch/src");
  auto foreign = openDatabase(*standin::makeLibrary());
  std::wstring folder = folder_.path().wstring();
  const struct {
    const char* what;
    std::function<void()> call;
    std::int32_t status;
    std::wstring text;
  } cases[] = {
      {"wrong password", [&] { library_->newDatabase()->open(ini_, L"alice", L"wrong"); },
       vss::kInvalidPassword, L"Invalid password"},
      {"unopened database", [&] { library_->newDatabase()->vssItem(L"$/App", false); },
       static_cast<std::int32_t>(0x8004D6D6), L"The database is not open"},
      {"missing path", [&] { item(L"$/App/nothing.c"); }, vss::kNotFound,
       L"File or project not found"},
      {"damaged history", [&] { item(L"$/App/broken.c")->versions(0)->next(); },
       vss::kDeletedOrDamaged, L"Injected failure"},
      {"existing subproject", [&] { item(L"$/Patch")->newSubproject(L"SRC", L""); },
       vss::kItemExists, L"An item with the name SRC already exists"},
      {"share into a project that shares the file already",
       [&] { item(L"$/App/src")->share(*item(L"$/App/src/main.c"), L"0", vss::kFlagRecursYes); },
       vss::kAlreadyShared, L"File main.c is already shared by this project"},
      {"share of an item of another library",
       [&] { target->share(*foreign->vssItem(L"$/App/src/main.c", false), L"0", 0); }, E_INVALIDARG,
       vss::com::texts::kForeignItem},
      {"get into a folder", [&] { item(L"$/App/src/main.c")->get(folder, 0); },
       static_cast<std::int32_t>(0x80070005), L"Cannot write \"" + folder + L"\": it is a folder"},
  };
  for (const auto& c : cases) EXPECT_TRUE(failsWith(c.call, c.status, c.text)) << c.what;
  EXPECT_EQ((std::vector<std::wstring>{L"util.c"}), namesOf(target->items(false)));
}

// Get with flags 0 as the library does it: the copy is read-only, a read-only copy is replaced
// by the newest content, a writable copy is left as it is without a failure, and missing
// folders are made.
TEST_F(StandinServer, GetWritesReadOnlyCopiesAndLeavesAWritableCopyAlone) {
  const std::filesystem::path copy = folder_ / L"out" / L"src" / L"main.c";
  auto content = [&] { return folder_.read(L"out/src/main.c"); };
  auto readOnly = [&] {
    const DWORD attributes = GetFileAttributesW(copy.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  };
  auto file = openDatabase(*library_)->vssItem(L"$/App/src/main.c", false);
  std::wstring local = copy.wstring();
  file->get(local, 0);
  EXPECT_EQ(copy.wstring(), local);
  EXPECT_EQ("int main(void);", content());
  EXPECT_TRUE(readOnly());

  // The new copy is written under a temporary name and moved over the read-only one; the
  // read-only leftover of a writer killed half-way is written over and goes.
  const std::filesystem::path leftover = folder_ / L"out" / L"src" / L"main.c.standin-get";
  folder_.write(L"out/src/main.c.standin-get", "int ma");
  SetFileAttributesW(leftover.c_str(), FILE_ATTRIBUTE_READONLY);
  standin::seed(folder_ / L"db", "version $/App/src/main.c content v3\n");
  file->get(local, 0);
  EXPECT_EQ("v3", content());
  EXPECT_TRUE(readOnly());
  EXPECT_EQ(GetFileAttributesW(leftover.c_str()), INVALID_FILE_ATTRIBUTES);

  ASSERT_TRUE(SetFileAttributesW(copy.c_str(), FILE_ATTRIBUTE_NORMAL));
  std::ofstream(copy, std::ios::binary) << "edited here";
  standin::seed(folder_ / L"db", "version $/App/src/main.c content v4\n");
  file->get(local, 0);
  EXPECT_EQ("edited here", content());
  EXPECT_FALSE(readOnly());
}

// Runs last: it unregisters the server, and registers it again.
TEST_F(StandinServer, UnregisteredLibraryFailsOpenWithThePlainTextAndTheSystemStatus) {
  // The box says so in Chinese, with the English words and how to register the library.
  const std::wstring missing = vss::com::texts::kNotInstalled;
  for (const wchar_t* part : {L"没有安装或没有注册", L"is not installed or not registered",
                              L"以管理员身份", L"SysWOW64\\regsvr32.exe", L"ssapi.dll"}) {
    EXPECT_NE(std::wstring::npos, missing.find(part)) << part;
  }
  const std::wstring noServer = L"Ostrabel.Test.Unregistered";
  comtest::setClassesValue(noServer + L"\\CLSID", L"{0C5E81A2-7D4B-4E1F-A0B9-3F2D6C8E1B47}");
  auto orphan = vss::com::makeLibrary(noServer.c_str())->newDatabase();
  EXPECT_TRUE(
      failsWith([&] { orphan->open(ini_, L"alice", L"secret"); }, REGDB_E_CLASSNOTREG, missing));
  RegDeleteTreeW(HKEY_CLASSES_ROOT, noServer.c_str());

  ASSERT_EQ(S_OK, callServer("DllUnregisterServer"));
  auto database = vss::com::makeLibrary()->newDatabase();
  EXPECT_TRUE(
      failsWith([&] { database->open(ini_, L"alice", L"secret"); }, CO_E_CLASSSTRING, missing));
  EXPECT_TRUE(failsWith([&] { database->vssItem(L"$/", false); }, CO_E_CLASSSTRING, missing));

  // Registering again (twice: it may be repeated) brings it back.
  ASSERT_EQ(S_OK, callServer("DllRegisterServer"));
  ASSERT_EQ(S_OK, callServer("DllRegisterServer"));
  EXPECT_EQ(L"$/app", openDatabase(*vss::com::makeLibrary())->vssItem(L"$/app", false)->spec());
}

}  // namespace
