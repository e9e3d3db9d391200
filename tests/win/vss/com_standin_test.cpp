// The COM client against the stand-in COM server DLL, registered under the ProgID "SourceSafe"
// and running over stand-in stores seeded in temporary folders: the members the program uses,
// the library's statuses and texts, Share across database objects, Get's path round trip, and
// the time to open a synthetic store of 100,000 files.
#include <gtest/gtest.h>

// windows.h comes before the other Windows headers.
// clang-format off
#include <windows.h>
// clang-format on

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "com_test_support.h"
#include "standin/adapter.h"
#include "standin/store.h"
#include "vss/com/com_library.h"

namespace {

using comtest::errorOf;
using comtest::failsWith;

[[maybe_unused]] auto* const kApartment =
    ::testing::AddGlobalTestEnvironment(new comtest::ApartmentEnvironment);

// Registers the server DLL that the build put beside this program, as regsvr32 would.
class RegisteredServer : public ::testing::Environment {
 public:
  static HMODULE module() { return module_; }
  static std::wstring path() {
    wchar_t buffer[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module_, buffer, MAX_PATH);
    return std::wstring(buffer, length);
  }
  static HRESULT call(const char* entry) {
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto function =
        reinterpret_cast<Entry>(reinterpret_cast<void*>(GetProcAddress(module_, entry)));
    return function != nullptr ? function() : E_NOTIMPL;
  }

  void SetUp() override {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    ASSERT_GT(length, 0u);
    std::wstring dll(path, length);
    dll = dll.substr(0, dll.find_last_of(L'\\') + 1) + L"OstrabelSsapi.dll";
    module_ = LoadLibraryW(dll.c_str());
    ASSERT_NE(nullptr, module_) << "cannot load " << comtest::narrow(dll);
    using Entry = HRESULT(STDAPICALLTYPE*)();
    auto registerServer = reinterpret_cast<Entry>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllRegisterServer")));
    ASSERT_NE(nullptr, registerServer);
    ASSERT_EQ(S_OK, registerServer());
  }

 private:
  static inline HMODULE module_ = nullptr;  // stays loaded until the process ends
};
[[maybe_unused]] auto* const kServer = ::testing::AddGlobalTestEnvironment(new RegisteredServer);

std::vector<std::wstring> namesOf(const std::vector<std::unique_ptr<vss::Item>>& items) {
  std::vector<std::wstring> names;
  for (const auto& item : items) names.push_back(item->name());
  return names;
}

std::string fileText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

double dateOf(const char* text) { return standin::parseDateTime(text).value(); }

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
    standin::createStore(folder_.path() / L"db");
    standin::seed(folder_.path() / L"db", kScript);
  }

  std::unique_ptr<vss::Database> openDatabase(vss::Library& library) {
    auto database = library.newDatabase();
    database->open(ini_, L"alice", L"secret");
    return database;
  }

  comtest::TempFolder folder_{L"com-standin"};
  std::wstring ini_ = (folder_.path() / L"db" / L"srcsafe.ini").wstring();
  std::unique_ptr<vss::Library> library_ = vss::com::makeLibrary();
};

TEST_F(StandinServer, Open_FailuresCarryTheLibraryStatusAndText) {
  const std::wstring missingIni = (folder_.path() / L"nothing" / L"srcsafe.ini").wstring();
  const struct {
    std::wstring ini;
    const wchar_t* user;
    const wchar_t* password;
    std::int32_t status;
    std::wstring text;
  } cases[] = {
      {ini_, L"alice", L"wrong", vss::kInvalidPassword, L"Invalid password"},
      {ini_, L"nobody", L"", vss::kUserNotFound, L"User \"nobody\" not found"},
      {missingIni, L"alice", L"secret", static_cast<std::int32_t>(0x8004D83E),
       L"File \"" + missingIni + L"\" not found"},
  };
  for (const auto& c : cases) {
    auto database = library_->newDatabase();
    EXPECT_TRUE(failsWith([&] { database->open(c.ini, c.user, c.password); }, c.status, c.text))
        << comtest::narrow(c.user);
  }
  auto database = library_->newDatabase();
  EXPECT_NO_THROW(database->open(ini_, L"BOB", L""));
}

TEST_F(StandinServer, VssItem_FindsPathsInAnyCaseAndFailsOnMissingOnes) {
  auto database = openDatabase(*library_);
  auto file = database->vssItem(L"$/app/SRC/Main.C", false);
  EXPECT_EQ(L"$/App/src/main.c", file->spec());
  EXPECT_EQ(L"main.c", file->name());
  EXPECT_EQ(vss::kTypeFile, file->type());
  auto root = file->parent()->parent()->parent();
  ASSERT_NE(nullptr, root);
  EXPECT_EQ(vss::kTypeProject, root->type());
  EXPECT_EQ(L"$/", root->name());
  EXPECT_EQ(nullptr, root->parent());
  for (const wchar_t* spec : {L"$/App/nothing.c", L"$/App/src/old.c"}) {
    EXPECT_TRUE(failsWith([&] { database->vssItem(spec, false); }, vss::kNotFound,
                          L"File or project not found"))
        << comtest::narrow(spec);
  }
}

TEST_F(StandinServer, Items_ByNameDeletedOnlyWhenAsked) {
  auto database = openDatabase(*library_);
  auto src = database->vssItem(L"$/App/src", false);
  EXPECT_EQ((std::vector<std::wstring>{L"main.c", L"util.c"}), namesOf(src->items(false)));
  EXPECT_EQ((std::vector<std::wstring>{L"main.c", L"old.c", L"util.c"}), namesOf(src->items(true)));
}

TEST_F(StandinServer, Versions_NewestFirstWithTheProjectLabel) {
  auto database = openDatabase(*library_);
  auto cursor = database->vssItem(L"$/App/src/main.c", false)->versions(0);
  const std::pair<const wchar_t*, const char*> expected[] = {
      {L"Compileruser", "2024-05-04 08:00"},
      {L"bob", "2024-05-03 09:30:15"},
      {L"alice", "2024-05-01 10:00"},
  };
  for (const auto& [user, date] : expected) {
    auto version = cursor->next();
    ASSERT_NE(nullptr, version);
    EXPECT_EQ(user, version->username());
    EXPECT_EQ(dateOf(date), version->date()) << date;
  }
  EXPECT_EQ(nullptr, cursor->next());
}

TEST_F(StandinServer, Versions_DamagedFileFailsWithItsStatus) {
  auto database = openDatabase(*library_);
  auto broken = database->vssItem(L"$/App/broken.c", false);
  const vss::Error error = errorOf([&] {
    auto cursor = broken->versions(0);
    cursor->next();
  });
  EXPECT_EQ(vss::kDeletedOrDamaged, error.status());
  EXPECT_EQ(L"Injected failure", error.description());
}

TEST_F(StandinServer, NewSubproject_CreatesAndRefusesExistingAndBadNames) {
  auto database = openDatabase(*library_);
  auto patch = database->vssItem(L"$/Patch", false);
  auto created = patch->newSubproject(L"lib", L"");
  EXPECT_EQ(L"$/Patch/lib", created->spec());
  EXPECT_EQ(vss::kTypeProject, created->type());
  EXPECT_TRUE(failsWith([&] { patch->newSubproject(L"SRC", L""); }, vss::kItemExists,
                        L"An item with the name SRC already exists"));
  EXPECT_TRUE(failsWith([&] { patch->newSubproject(L"a$b", L""); },
                        static_cast<std::int32_t>(0x8004D6B2),
                        L"\"a$b\" is not a valid SourceSafe project name"));
  // A second library in the same process sees the new project at once.
  auto other = vss::com::makeLibrary();
  EXPECT_EQ(L"$/Patch/lib", openDatabase(*other)->vssItem(L"$/PATCH/LIB", false)->spec());
}

TEST_F(StandinServer, Share_IntoAProjectOfAnotherDatabaseObject) {
  auto patchDatabase = openDatabase(*library_);
  auto walkDatabase = openDatabase(*library_);
  auto target = patchDatabase->vssItem(L"$/Patch/src", false);
  auto file = walkDatabase->vssItem(L"$/App/src/main.c", false);
  target->share(*file, L"0", vss::kFlagRecursYes);

  EXPECT_NE(std::string::npos, standin::dump(folder_.path() / L"db")
                                   .find("file $/Patch/src/main.c shares $/App/src/main.c"));
  auto shared = patchDatabase->vssItem(L"$/Patch/src/main.c", false);
  EXPECT_EQ(L"bob", shared->versions(0)->next()->username());
}

TEST_F(StandinServer, Share_FailsOnALiveOrDeletedItemOfThatName) {
  auto database = openDatabase(*library_);
  auto target = database->vssItem(L"$/Patch/src", false);
  auto util = database->vssItem(L"$/App/src/util.c", false);
  auto old = database->vssItem(L"$/App/src/old.c", true);
  EXPECT_TRUE(failsWith([&] { target->share(*util, L"0", vss::kFlagRecursYes); }, vss::kItemExists,
                        L"An item with the name util.c already exists"));
  EXPECT_TRUE(failsWith([&] { target->share(*old, L"0", vss::kFlagRecursYes); },
                        vss::kDeletedOrDamaged, L"old.c has been deleted from this project"));
}

TEST_F(StandinServer, Get_WritesTheNewestContentToThePathGiven) {
  auto database = openDatabase(*library_);
  auto file = database->vssItem(L"$/App/src/main.c", false);
  const std::wstring given = (folder_.path() / L"out-main.c").wstring();
  std::wstring local = given;
  file->get(local, 0);
  EXPECT_EQ(given, local);
  EXPECT_EQ("int main(void);", fileText(folder_.path() / L"out-main.c"));

  std::wstring folderPath = folder_.path().wstring();
  EXPECT_TRUE(failsWith([&] { file->get(folderPath, 0); }, static_cast<std::int32_t>(0x80070005),
                        L"Cannot write \"" + folder_.path().wstring() + L"\": it is a folder"));
}

std::wstring classesValue(const wchar_t* key, const wchar_t* name) {
  wchar_t buffer[MAX_PATH];
  DWORD size = sizeof(buffer);
  if (RegGetValueW(HKEY_CLASSES_ROOT, key, name, RRF_RT_REG_SZ, nullptr, buffer, &size) !=
      ERROR_SUCCESS) {
    return L"(none)";
  }
  return buffer;
}

TEST(StandinServerRegistration, RegistersTheLibraryClassAndProgIdAndRemovesThem) {
  const wchar_t* server = L"CLSID\\{783CD4E4-9D54-11CF-B8EE-00608CC9A71F}\\InprocServer32";
  EXPECT_EQ(RegisteredServer::path(), classesValue(server, nullptr));
  EXPECT_EQ(L"Apartment", classesValue(server, L"ThreadingModel"));
  EXPECT_EQ(L"{783CD4E4-9D54-11CF-B8EE-00608CC9A71F}", classesValue(L"SourceSafe\\CLSID", nullptr));
  EXPECT_EQ(L"SourceSafe.0", classesValue(L"SourceSafe\\CurVer", nullptr));
  EXPECT_EQ(L"{783CD4E4-9D54-11CF-B8EE-00608CC9A71F}",
            classesValue(L"SourceSafe.0\\CLSID", nullptr));

  ASSERT_EQ(S_OK, RegisteredServer::call("DllUnregisterServer"));
  EXPECT_EQ(L"(none)", classesValue(server, nullptr));
  auto database = vss::com::makeLibrary()->newDatabase();
  const vss::Error error = errorOf([&] { database->open(L"C:\\srcsafe.ini", L"Admin", L""); });
  EXPECT_EQ(CO_E_CLASSSTRING, error.status());
  EXPECT_NE(std::wstring::npos, error.description().find(L"not installed or not registered"));

  // Registering again (twice: it may be repeated) brings it back.
  ASSERT_EQ(S_OK, RegisteredServer::call("DllRegisterServer"));
  ASSERT_EQ(S_OK, RegisteredServer::call("DllRegisterServer"));
  EXPECT_EQ(RegisteredServer::path(), classesValue(server, nullptr));
  EXPECT_NE(nullptr, vss::com::makeLibrary()->newDatabase());
}

// Figure for the notes: opening the synthetic 100,000-file store through the COM client.
TEST(StandinServerScale, OpensAHundredThousandFileStore) {
  comtest::TempFolder folder(L"com-standin-100k");
  standin::GenerateOptions options;
  options.files = 100000;
  options.depth = 3;
  options.fanout = 10;
  options.history = 3;
  options.changedFraction = 0.05;
  options.rangeStart = dateOf("2024-05-01 00:00");
  options.rangeEnd = dateOf("2024-05-31 00:00");
  const auto generateStart = std::chrono::steady_clock::now();
  standin::generate(folder.path() / L"db", options);
  const auto generated = std::chrono::steady_clock::now();

  const auto ms = [](auto from, auto to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
  };
  // The walk a run makes: every child's Type, and of every file its newest record's user and
  // date. Timed through the COM server and, for comparison, on the adapter directly.
  const std::wstring ini = (folder.path() / L"db" / L"srcsafe.ini").wstring();
  const auto timeWalk = [&](vss::Library& library, const char* how) {
    const auto start = std::chrono::steady_clock::now();
    auto database = library.newDatabase();
    database->open(ini, L"Admin", L"");
    auto root = database->vssItem(L"$/", false);
    const auto opened = std::chrono::steady_clock::now();
    ASSERT_EQ(vss::kTypeProject, root->type());
    long files = 0;
    auto walk = [&](vss::Item& project, auto& self) -> void {
      for (auto& child : project.items(false)) {
        if (child->type() == vss::kTypeProject) {
          self(*child, self);
          continue;
        }
        auto newest = child->versions(0)->next();
        if (newest != nullptr && !newest->username().empty() && newest->date() > 0) ++files;
      }
    };
    walk(*root, walk);
    const auto walked = std::chrono::steady_clock::now();
    EXPECT_EQ(100000, files);
    std::printf(
        "[ figure ] %s: open (new database, Open, VSSItem $/) %.0f ms, walk of every "
        "file's newest record %.0f ms\n",
        how, ms(start, opened), ms(opened, walked));
  };
  std::printf("[ figure ] generate 100000 files: %.0f ms\n", ms(generateStart, generated));
  timeWalk(*vss::com::makeLibrary(), "through the COM client and server");
  timeWalk(*standin::makeLibrary(), "on the stand-in adapter in-process");
}

}  // namespace
