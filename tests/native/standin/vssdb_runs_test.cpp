// The engine's runs on databases made by real SourceSafe, through the stand-in library as the
// shipped program reaches it: Local fetches every selected file with the bytes SourceSafe stored
// (their CRCs in crcs.dat, read here independently), View selects by the dates the library
// reports (the stored wall clock, in steps of two seconds), and Share is refused file by file
// with nothing changed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <map>

#include "engine/patcher.h"
#include "engine/texts.h"
#include "native/engine/fakes.h"
#include "standin/adapter.h"
#include "standin/text.h"
#include "tests/native/standin/samples.h"
#include "vssdb/database.h"

namespace {

namespace fs = std::filesystem;
using engine::TextBox;
using standin::text::widen;
using vssdb::Database;

// Every file a walk of `project` meets: the files below it through live entries, by path.
std::map<std::string, std::uint32_t> liveFiles(const Database& db, const std::string& project) {
  std::map<std::string, std::uint32_t> out;
  std::vector<std::uint32_t> todo{db.resolve(project, false)};
  while (!todo.empty()) {
    const std::uint32_t e = todo.back();
    todo.pop_back();
    const std::uint32_t node = db.entries()[e].node;
    if (!db.nodes()[node].project) {
      out[db.spec(e)] = node;
      continue;
    }
    for (std::uint32_t child : db.children(node, false)) todo.push_back(child);
  }
  return out;
}

class RealRun : public testing::Test {
 protected:
  void inputs(const fs::path& db, const std::wstring& project, const std::wstring& user,
              const std::wstring& password, const std::wstring& start, const std::wstring& end) {
    window_.texts = {{TextBox::Host, (db / "srcsafe.ini").wstring()},
                     {TextBox::Project, project},
                     {TextBox::Patch, L"$/"},
                     {TextBox::User, user},
                     {TextBox::Passwd, password},
                     {TextBox::StartDate, start},
                     {TextBox::EndDate, end},
                     {TextBox::LocalDir, (temp_ / "out").wstring()}};
  }
  void run(engine::ModeOption mode) {
    window_.selected = mode;
    window_.shared.clear();
    window_.unshared.clear();
    window_.boxes.clear();
    patcher_.cmdPatch_Click();
    // The confirmation is the only box: no failure to open, no history that cannot be read.
    for (const auto& box : window_.boxes)
      if (box.buttons != engine::Buttons::YesNo) ADD_FAILURE() << standin::text::narrow(box.line());
  }

  testing_support::TempFolder temp_{"ostrabel-vssdb-runs"};
  fakes::FakeWindow window_;
  fakes::DiskPlatform platform_;
  std::unique_ptr<vss::Library> library_ = standin::makeLibrary();
  engine::Patcher patcher_{window_, platform_, *library_};
};

TEST_F(RealRun, LocalFetchesEveryFileWithTheBytesSourceSafeStored) {
  REQUIRE_SAMPLE(micnets, "micnets");
  const Database db(micnets);
  // The project with the shared files, and files of many versions (a fifth of the database).
  const std::string project = "$/MicNets2008/MicNets2008/Web/Controls";
  const auto files = liveFiles(db, project);
  // Janet's hash in um.dat is 0x6957, as it is of "7T1066" (found by search).
  ASSERT_EQ(Database::passwordHash("7T1066"), db.user("Janet")->passwordHash);
  inputs(micnets, widen(project), L"janet", L"7T1066", L"2000-01-01 00:00", L"2030-01-01 00:00");
  run(engine::ModeOption::Local);
  EXPECT_EQ(window_.unshared, fakes::Lines());
  ASSERT_EQ(window_.shared.size(), files.size());
  for (const auto& [spec, node] : files) {
    SCOPED_TRACE(spec);
    EXPECT_NE(std::find(window_.shared.begin(), window_.shared.end(), widen(spec)),
              window_.shared.end());
    const fs::path local = temp_ / "out" / spec.substr(project.size() + 1);
    const std::string bytes = standin_test::readFile(local);
    EXPECT_EQ(vssdb::crc32(bytes), samples::crcsDatEntry(micnets, db.nodes()[node].physical));
    EXPECT_EQ(fs::status(local).permissions() & fs::perms::owner_write, fs::perms::none);
  }
}

// View selects by the deciding record's date as SourceSafe 6.0d's library reports it: the stored
// wall clock whatever the machine's zone (tiny's srcsafe.ini says India, TZ_Bias -330: no
// matter), in steps of two seconds: Le.txt's last check-in, stored at 11:34:15, is at 11:34:14.
TEST_F(RealRun, ViewSelectsByTheStoredWallClockInStepsOfTwoSeconds) {
  REQUIRE_SAMPLE(tiny, "tiny");
  struct Case {
    const char* machine;
    const wchar_t *start, *end;
    fakes::Lines selected;
  };
  const std::wstring project = L"$/esign-java-authenticator";
  const std::wstring le = project + L"/Le.txt", cling = project + L"/clingBling.txt";
  for (const Case& c : {
           Case{"IST-5:30", L"2023-05-05 11:34", L"2023-05-05 11:35", {le}},
           Case{"UTC0", L"2023-05-05 11:34", L"2023-05-05 11:35", {le}},
           Case{"CST-8", L"2023-05-05 06:04", L"2023-05-05 06:05", {}},
           // The range lies after its start: a check-in stored one second after it is not.
           Case{"UTC0", L"2023-05-05 11:34:14", L"2023-05-05 11:35", {}},
           Case{"UTC0", L"2023-05-05 11:34:13", L"2023-05-05 11:35", {le}},
           Case{"IST-5:30", L"2023-05-01 00:00", L"2023-06-01 00:00", {cling, le}},
           Case{"EST5", L"2023-05-09 19:46", L"2023-05-09 19:47", {cling}},
       }) {
    samples::LocalZone zone(c.machine);
    inputs(tiny, project, L"Johnson", L"AAH8", c.start, c.end);
    run(engine::ModeOption::View);
    EXPECT_EQ(window_.shared, c.selected) << c.machine << " " << standin::text::narrow(c.start);
    EXPECT_EQ(window_.unshared, fakes::Lines());
  }
}

TEST_F(RealRun, ShareIsRefusedForEveryFileAndNothingChanges) {
  REQUIRE_SAMPLE(tiny, "tiny");
  samples::copy(tiny, temp_ / "db");  // writable, so that a change would show
  const auto before = samples::snapshot(temp_ / "db");
  inputs(temp_ / "db", L"$/esign-java-authenticator", L"Johnson", L"AAH8", L"2023-01-01 00:00",
         L"2024-01-01 00:00");
  run(engine::ModeOption::Share);
  const std::wstring refused =
      engine::texts::unknownErrorReason(static_cast<std::int32_t>(0x8004D749));
  EXPECT_EQ(window_.unshared, fakes::Lines({L"$/esign-java-authenticator/clingBling.txt" + refused,
                                            L"$/esign-java-authenticator/Le.txt" + refused}));
  EXPECT_EQ(window_.shared, fakes::Lines());
  EXPECT_EQ(samples::snapshot(temp_ / "db"), before);
}

}  // namespace
