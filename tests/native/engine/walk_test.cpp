// The walk and the change selection: which files a run picks out, in which order it meets them,
// and what becomes of files whose history cannot be read.
#include <gtest/gtest.h>

#include "native/engine/fakes.h"

namespace {

using engine::ModeOption;
using engine::TextBox;
using fakes::beforeRange;
using fakes::dateOf;
using fakes::inRange;
using fakes::Record;

const double kStart = dateOf(2008, 7, 7, 17, 12);
const double kEnd = dateOf(2009, 4, 28, 13, 30);

struct SelectionCase {
  const char* name;
  std::vector<Record> newestFirst;
  bool ignoreBuildUser;
  std::wstring targetUser;
  bool selected;
  int recordsRead;
  std::wstring startText = L"2008-07-07 17:12";
  std::wstring endText = L"2009-04-28 13:30";
};

class Selection : public testing::TestWithParam<SelectionCase> {};

TEST_P(Selection, DecidesOnTheDecidingRecordOnly) {
  const SelectionCase& c = GetParam();
  fakes::Rig rig;
  rig.store.file(L"$/Src/a.txt", c.newestFirst);
  rig.window.ignoreBuildUser = c.ignoreBuildUser;
  rig.window.texts[TextBox::TargetUser] = c.targetUser;
  rig.window.texts[TextBox::StartDate] = c.startText;
  rig.window.texts[TextBox::EndDate] = c.endText;
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.shared,
            c.selected ? std::vector<std::wstring>{L"$/Src/a.txt"} : std::vector<std::wstring>{});
  EXPECT_TRUE(rig.window.unshared.empty());
  EXPECT_EQ(rig.window.boxes.size(), 1u);  // the confirmation only
  EXPECT_EQ(rig.store.counts.recordsRead, c.recordsRead);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, Selection,
    testing::Values(
        SelectionCase{"NewestInsideTheRange", {{L"alice", inRange()}}, false, L"", true, 1},
        SelectionCase{"NewestExactlyAtTheStart", {{L"alice", kStart}}, false, L"", false, 1},
        SelectionCase{"NewestExactlyAtTheEnd", {{L"alice", kEnd}}, false, L"", false, 1},
        SelectionCase{
            "JustAfterTheStart", {{L"alice", dateOf(2008, 7, 7, 17, 12, 1)}}, false, L"", true, 1},
        SelectionCase{
            "JustBeforeTheEnd", {{L"alice", dateOf(2009, 4, 28, 13, 29, 59)}}, false, L"", true, 1},
        SelectionCase{"EqualStartAndEndAtTheRecord",
                      {{L"alice", dateOf(2008, 8, 1, 12, 0)}},
                      false,
                      L"",
                      false,
                      1,
                      L"2008-08-01 12:00",
                      L"2008-08-01 12:00"},
        SelectionCase{"BeforeTheRange", {{L"alice", beforeRange()}}, false, L"", false, 1},
        SelectionCase{"AfterTheRange", {{L"alice", fakes::afterRange()}}, false, L"", false, 1},
        SelectionCase{"ChangedInTheRangeAndAgainAfterIt",
                      {{L"alice", fakes::afterRange()}, {L"alice", inRange()}},
                      false,
                      L"",
                      false,
                      1},
        SelectionCase{"NewestIsALabelInsideTheRange",
                      {{L"releaser", inRange(5)}, {L"alice", beforeRange()}},
                      false,
                      L"",
                      true,
                      1},
        SelectionCase{"TargetUserInAnyCase", {{L"TESTER", inRange()}}, false, L"Tester", true, 1},
        SelectionCase{
            "AnotherUserThanTheTarget", {{L"alice", inRange()}}, false, L"Tester", false, 1},
        SelectionCase{"TargetUserMustBeTheDecidingRecords",
                      {{L"alice", inRange(5)}, {L"tester", inRange(2)}},
                      false,
                      L"tester",
                      false,
                      1},
        SelectionCase{"BuildUserLabelPassedOverRecordBelowDecides",
                      {{L"Compileruser", inRange(5)}, {L"alice", inRange(2)}},
                      true,
                      L"",
                      true,
                      2},
        SelectionCase{"BuildUserLabelPassedOverRecordBelowTooOld",
                      {{L"Compileruser", inRange(5)}, {L"alice", beforeRange()}},
                      true,
                      L"",
                      false,
                      2},
        SelectionCase{"BuildUserCountsWhenNotIgnored",
                      {{L"Compileruser", inRange(5)}, {L"alice", beforeRange()}},
                      false,
                      L"",
                      true,
                      1},
        SelectionCase{"BuildUserNameInLowerCaseIsSomebodyElse",
                      {{L"compileruser", inRange(5)}, {L"alice", beforeRange()}},
                      true,
                      L"",
                      true,
                      1},
        SelectionCase{"OnlyBuildUserRecords",
                      {{L"Compileruser", inRange(5)},
                       {L"Compileruser", inRange(3)},
                       {L"Compileruser", inRange(1)}},
                      true,
                      L"",
                      false,
                      3},
        SelectionCase{"BuildUserSkippedThenTargetUserDecides",
                      {{L"Compileruser", inRange(5)}, {L"Tester", inRange(2)}},
                      true,
                      L"TESTER",
                      true,
                      2},
        SelectionCase{"NoHistory", {}, false, L"", false, 0},
        SelectionCase{"NoHistoryIgnoringTheBuildUser", {}, true, L"", false, 0}),
    [](const testing::TestParamInfo<SelectionCase>& info) { return info.param.name; });

TEST(Walk, VisitsDepthFirstInTheLibrarysOrderAndOnlyFiles) {
  fakes::Rig rig;
  // Inserted out of name order: the library's order is what counts.
  rig.store.file(L"$/Src/z.txt", {{L"a", inRange()}});
  rig.store.file(L"$/Src/sub1/deep/c.txt", {{L"a", inRange()}});
  rig.store.file(L"$/Src/sub1/b.txt", {{L"a", beforeRange()}});
  rig.store.project(L"$/Src/empty");
  rig.store.file(L"$/Src/a.txt", {{L"a", inRange()}});
  rig.store.file(L"$/Src/sub2/d.txt", {{L"a", inRange()}});
  std::vector<std::wstring> statusAtEvents;
  rig.window.onEvents = [&] { statusAtEvents.push_back(rig.window.status.back()); };
  rig.patcher.cmdPatch_Click();
  const std::vector<std::wstring> visited = {L"$/Src/z.txt", L"$/Src/sub1/deep/c.txt",
                                             L"$/Src/sub1/b.txt", L"$/Src/a.txt",
                                             L"$/Src/sub2/d.txt"};
  std::vector<std::wstring> status(rig.window.status.begin() + 1, rig.window.status.end() - 1);
  EXPECT_EQ(status, visited);
  EXPECT_EQ(statusAtEvents, visited);  // once per file, after its path is shown
  const std::vector<std::wstring> listed = {L"$/Src/z.txt", L"$/Src/sub1/deep/c.txt",
                                            L"$/Src/a.txt", L"$/Src/sub2/d.txt"};
  EXPECT_EQ(rig.window.shared, listed);
}

TEST(Walk, DeletedFilesAndProjectsAreNeverVisited) {
  fakes::Rig rig;
  rig.store.file(L"$/Src/gone.txt", {{L"a", inRange()}});
  rig.store.file(L"$/Src/old/inside.txt", {{L"a", inRange()}});
  rig.store.file(L"$/Src/kept.txt", {{L"a", inRange()}});
  rig.store.remove(L"$/Src/gone.txt");
  rig.store.remove(L"$/Src/old");
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.status,
            (std::vector<std::wstring>{L"", L"$/Src/kept.txt", L"补丁整理完成！"}));
  EXPECT_EQ(rig.window.pendingEvents, 1);
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/kept.txt"});
}

TEST(Walk, AnEmptyProjectListsNothingAndEndsNormally) {
  fakes::Rig rig;
  rig.store.project(L"$/Src/a/b");
  rig.patcher.cmdPatch_Click();
  EXPECT_TRUE(rig.window.shared.empty());
  EXPECT_TRUE(rig.window.unshared.empty());
  EXPECT_EQ(rig.window.pendingEvents, 0);
  EXPECT_EQ(rig.window.status, (std::vector<std::wstring>{L"", L"补丁整理完成！"}));
}

TEST(Walk, ADamagedHistoryIsListedAsUnprocessed) {
  fakes::Rig rig;
  rig.store.file(L"$/Src/a.txt", {{L"a", inRange()}});
  rig.store.file(L"$/Src/b.txt", {{L"a", inRange()}});
  rig.store.failHistory(L"$/Src/a.txt", vss::kDeletedOrDamaged);
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.unshared, std::vector<std::wstring>{L"$/Src/a.txt - VSS上这个文件是损坏的"});
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/b.txt"});
  EXPECT_EQ(rig.window.boxes.size(), 1u);
}

TEST(Walk, AnotherHistoryFailureIsShownWhileTheWalkWaitsThenGoesOn) {
  fakes::Rig rig;
  rig.store.file(L"$/Src/a.txt", {{L"a", inRange()}});
  rig.store.file(L"$/Src/b.txt", {{L"a", inRange()}});
  rig.store.failHistory(L"$/Src/a.txt", static_cast<std::int32_t>(0x8004D6A5),
                        L"History cannot be read");
  bool runningDuringBox = false;
  std::size_t statusCountDuringBox = 0;
  rig.window.onBox = [&](const fakes::FakeWindow::Box& box) {
    if (box.title != L"Ostrabel") return;
    runningDuringBox = rig.patcher.state().running;
    statusCountDuringBox = rig.window.status.size();
  };
  rig.patcher.cmdPatch_Click();
  ASSERT_EQ(rig.window.boxes.size(), 2u);
  EXPECT_EQ(rig.window.boxes[1].text, L"History cannot be read");
  EXPECT_EQ(rig.window.boxes[1].icon, engine::Icon::None);
  EXPECT_EQ(rig.window.boxes[1].buttons, engine::Buttons::Ok);
  EXPECT_TRUE(runningDuringBox);
  EXPECT_EQ(statusCountDuringBox, 2u);  // "" and a.txt: b.txt comes after the box
  EXPECT_TRUE(rig.window.unshared.empty());
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/b.txt"});
}

TEST(Walk, ViewModeListsThreeFilesOfTwoSubprojectsAndChangesNothing) {
  for (const std::optional<ModeOption> mode :
       {std::optional<ModeOption>(ModeOption::View), std::optional<ModeOption>()}) {
    fakes::Rig rig;
    rig.mode(mode);
    rig.store.file(L"$/Src/one/a.txt", {{L"a", inRange()}});
    rig.store.file(L"$/Src/one/b.txt", {{L"a", inRange()}});
    rig.store.file(L"$/Src/two/c.txt", {{L"a", inRange()}});
    const auto before = rig.store.tree();
    const auto fsBefore = rig.fs.tree(L"D:");
    rig.patcher.cmdPatch_Click();
    EXPECT_EQ(rig.window.shared, (std::vector<std::wstring>{L"$/Src/one/a.txt", L"$/Src/one/b.txt",
                                                            L"$/Src/two/c.txt"}));
    EXPECT_EQ(rig.store.tree(), before);
    EXPECT_EQ(rig.fs.tree(L"D:"), fsBefore);
    EXPECT_EQ(rig.store.counts.shares + rig.store.counts.gets + rig.store.counts.newSubprojects, 0);
  }
}

TEST(Walk, CostsOneEnumerationPerProjectAndOneRecordPerFile) {
  fakes::Rig rig;
  const int kProjects = 50, kFilesEach = 40;
  for (int p = 0; p < kProjects; ++p) {
    for (int f = 0; f < kFilesEach; ++f) {
      rig.store.file(
          L"$/Src/p" + std::to_wstring(p) + L"/f" + std::to_wstring(f) + L".c",
          {{L"alice", f % 10 == 0 ? inRange() : beforeRange()}, {L"bob", beforeRange()}});
    }
  }
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.pendingEvents, kProjects * kFilesEach);
  EXPECT_EQ(rig.store.counts.recordsRead, kProjects * kFilesEach);
  EXPECT_EQ(rig.store.counts.enumerations, kProjects + 1);
  EXPECT_EQ(rig.store.counts.lookups, 2);  // the project, in openDatabase and in start
  EXPECT_EQ(rig.window.shared.size(), static_cast<std::size_t>(kProjects * kFilesEach / 10));
}

TEST(Walk, CalledDirectlyHandsOnlyFilesToTheCallback) {
  fakes::Rig rig;
  rig.store.file(L"$/Src/x/y.txt", {{L"a", inRange()}});
  rig.patcher.populateValue();
  rig.patcher.state().startDate = kStart;
  rig.patcher.state().endDate = kEnd;
  fakes::FakeDatabase db(rig.store);
  db.open(L"C:\\vss\\srcsafe.ini", L"admin", L"secret");
  auto project = db.vssItem(L"$/Src", false);
  rig.patcher.recurrence(*project);
  EXPECT_EQ(rig.window.status, std::vector<std::wstring>{L"$/Src/x/y.txt"});
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/x/y.txt"});
}

TEST(GetLastVersion, ReadsTheCursorOnlyAsFarAsNeeded) {
  fakes::Rig rig;
  rig.store.file(L"$/Src/a.txt", {{L"Compileruser", inRange(9)},
                                  {L"Compileruser", inRange(8)},
                                  {L"alice", inRange(7)},
                                  {L"bob", inRange(6)}});
  fakes::FakeDatabase db(rig.store);
  db.open(L"C:\\vss\\srcsafe.ini", L"admin", L"secret");
  auto file = db.vssItem(L"$/Src/a.txt", false);
  rig.patcher.state().ignoreBuildUser = true;
  auto version = rig.patcher.getLastVersion(*file);
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->username(), L"alice");
  EXPECT_EQ(rig.store.counts.recordsRead, 3);
  rig.patcher.state().ignoreBuildUser = false;
  version = rig.patcher.getLastVersion(*file);
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->username(), L"Compileruser");
  EXPECT_EQ(rig.store.counts.recordsRead, 4);
}

}  // namespace
