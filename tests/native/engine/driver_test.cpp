// The run driver: the order of what the Patch command shows, where it stops early, how often it
// opens the database, and that every way a run ends puts the window back.
#include <gtest/gtest.h>

#include "native/engine/fakes.h"

namespace {

using engine::Answer;
using engine::Buttons;
using engine::Icon;
using engine::ModeOption;
using engine::TextBox;
using fakes::Record;

const std::wstring kConfirm = L"该操作需要较长时间，请耐心等待。";
const std::wstring kDone = L"补丁整理完成！";

struct DriverRig : fakes::Rig {
  DriverRig() {
    store.file(L"$/Src/a.txt", {{L"alice", fakes::inRange()}});
    window.shared = {L"old processed line"};
    window.unshared = {L"old unprocessed line"};
  }
  // The window has not been touched beyond clearing, status and saving.
  void expectLeftPreparing() {
    EXPECT_TRUE(window.shared.empty());
    EXPECT_TRUE(window.unshared.empty());
    EXPECT_EQ(window.status, std::vector<std::wstring>{L""});
    EXPECT_EQ(window.saves, 1);
    EXPECT_TRUE(window.button.empty());
    EXPECT_FALSE(patcher.state().running);
  }
};

TEST(RunDriver, AViewRunShowsItsStepsInOrder) {
  DriverRig rig;
  rig.patcher.cmdPatch_Click();
  const std::vector<std::wstring> expected = {L"clear:Shared",
                                              L"clear:Unshare",
                                              L"status:",
                                              L"save",
                                              L"box:" + kConfirm,
                                              L"button:Patching...:off",
                                              L"status:$/Src/a.txt",
                                              L"button:Patch(ed):on",
                                              L"status:" + kDone};
  EXPECT_EQ(rig.window.log, expected);
  ASSERT_EQ(rig.window.boxes.size(), 1u);
  EXPECT_EQ(rig.window.boxes[0].title, L"提示");
  EXPECT_EQ(rig.window.boxes[0].icon, Icon::Information);
  EXPECT_EQ(rig.window.boxes[0].buttons, Buttons::YesNo);
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/a.txt"});
  EXPECT_FALSE(rig.patcher.state().running);
}

TEST(RunDriver, ValidationFailureShowsAllMessagesInOneBoxAndOpensNothing) {
  DriverRig rig;
  for (const TextBox box : {TextBox::Host, TextBox::Project, TextBox::StartDate, TextBox::EndDate,
                            TextBox::User, TextBox::Passwd}) {
    rig.window.texts[box] = L"";
  }
  rig.patcher.cmdPatch_Click();
  ASSERT_EQ(rig.window.boxes.size(), 1u);
  EXPECT_EQ(rig.window.boxes[0].text,
            L"VSS服务器地址必需输入\r\nVSS项目路径必需输入\r\n时间范围必需输入\r\n"
            L"用户名必需输入\r\n密码必需输入\r\n");
  EXPECT_EQ(rig.window.boxes[0].title, L"提示");
  EXPECT_EQ(rig.window.boxes[0].icon, Icon::Exclamation);
  EXPECT_EQ(rig.window.boxes[0].buttons, Buttons::Ok);
  EXPECT_EQ(rig.store.counts.newDatabase, 0);
  rig.expectLeftPreparing();
}

TEST(RunDriver, SettingsAreSavedBeforeValidation) {
  DriverRig rig;
  rig.window.texts[TextBox::Host] = L"";
  rig.window.onBox = [&](const fakes::FakeWindow::Box&) { EXPECT_EQ(rig.window.saves, 1); };
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.boxes.size(), 1u);
}

TEST(RunDriver, StartAfterEndIsRefusedWithoutOpening) {
  DriverRig rig;
  rig.window.texts[TextBox::StartDate] = L"2009-04-28 13:31";
  rig.patcher.cmdPatch_Click();
  ASSERT_EQ(rig.window.boxes.size(), 1u);
  EXPECT_EQ(rig.window.boxes[0].text, L"开始时间不能大于结束时间");
  EXPECT_EQ(rig.window.boxes[0].title, L"提示");
  EXPECT_EQ(rig.window.boxes[0].icon, Icon::Exclamation);
  EXPECT_EQ(rig.window.boxes[0].buttons, Buttons::Ok);
  EXPECT_EQ(rig.store.counts.newDatabase, 0);
  rig.expectLeftPreparing();
}

TEST(RunDriver, EqualStartAndEndRunAndSelectNothing) {
  DriverRig rig;
  rig.window.texts[TextBox::StartDate] = L"2008-08-01 12:00";
  rig.window.texts[TextBox::EndDate] = L"2008-08-01 12:00";  // the file's own time
  rig.patcher.cmdPatch_Click();
  ASSERT_EQ(rig.window.boxes.size(), 1u);
  EXPECT_EQ(rig.window.boxes[0].text, kConfirm);
  EXPECT_TRUE(rig.window.shared.empty());
  EXPECT_EQ(rig.window.status.back(), kDone);
}

TEST(RunDriver, StartAndEndAreTheConvertedTexts) {
  DriverRig rig;
  rig.patcher.cmdPatch_Click();
  EXPECT_DOUBLE_EQ(rig.patcher.state().startDate, fakes::dateOf(2008, 7, 7, 17, 12));
  EXPECT_DOUBLE_EQ(rig.patcher.state().endDate, fakes::dateOf(2009, 4, 28, 13, 30));
}

TEST(RunDriver, AnEmptyEndDateRunsUntilNow) {
  DriverRig rig;
  rig.window.texts[TextBox::EndDate] = L"";
  rig.platform.now = L"2008-08-01 12:00:01";
  rig.patcher.cmdPatch_Click();
  EXPECT_DOUBLE_EQ(rig.patcher.state().endDate, fakes::dateOf(2008, 8, 1, 12, 0, 1));
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/a.txt"});
}

TEST(RunDriver, AnythingButYesEndsSilently) {
  for (const Answer answer : {Answer::No, Answer::Ok}) {
    DriverRig rig;
    rig.window.answers = {answer};
    rig.patcher.cmdPatch_Click();
    EXPECT_EQ(rig.window.boxes.size(), 1u);
    EXPECT_EQ(rig.store.counts.newDatabase, 0);
    rig.expectLeftPreparing();
  }
}

TEST(RunDriver, WrongPasswordShowsTheLibraryTextInAPlainBox) {
  DriverRig rig;
  rig.window.texts[TextBox::Passwd] = L"wrong";
  rig.patcher.cmdPatch_Click();
  ASSERT_EQ(rig.window.boxes.size(), 2u);
  EXPECT_EQ(rig.window.boxes[1].text, L"Invalid password");
  EXPECT_EQ(rig.window.boxes[1].title, L"Ostrabel");
  EXPECT_EQ(rig.window.boxes[1].icon, Icon::None);
  EXPECT_EQ(rig.window.boxes[1].buttons, Buttons::Ok);
  EXPECT_EQ(rig.store.counts.open, 1);
  rig.expectLeftPreparing();
}

struct OpenFailureCase {
  const char* name;
  std::optional<ModeOption> mode;
  std::wstring patch;
  std::wstring project;
  std::wstring passwd;
  std::wstring shown;
};

class OpenFailure : public testing::TestWithParam<OpenFailureCase> {};

TEST_P(OpenFailure, RunsEveryStepAndShowsTheLastError) {
  DriverRig rig;
  rig.mode(GetParam().mode);
  rig.window.texts[TextBox::Patch] = GetParam().patch;
  rig.window.texts[TextBox::Project] = GetParam().project;
  rig.window.texts[TextBox::Passwd] = GetParam().passwd;
  // The missing patch project fails with a text of its own, so that the last error is told apart.
  rig.store.lookupFaults[L"$/nope"] = vss::kNotFound;
  rig.patcher.cmdPatch_Click();
  ASSERT_EQ(rig.window.boxes.size(), 2u);
  EXPECT_EQ(rig.window.boxes[1].text, GetParam().shown);
  EXPECT_EQ(rig.window.boxes[1].title, L"Ostrabel");
  EXPECT_EQ(rig.store.counts.open, GetParam().mode == ModeOption::Share ? 2 : 1);
  rig.expectLeftPreparing();
}

INSTANTIATE_TEST_SUITE_P(
    Steps, OpenFailure,
    testing::Values(
        OpenFailureCase{"MissingProject", ModeOption::View, L"$/Patch", L"$/Missing", L"secret",
                        L"File or project not found"},
        OpenFailureCase{"MissingPatchInShareMode", ModeOption::Share, L"$/Nope", L"$/Src",
                        L"secret", L"Injected lookup failure"},
        OpenFailureCase{"MissingPatchIgnoredOutsideShareMode", ModeOption::Local, L"$/Nope",
                        L"$/Nowhere", L"secret", L"File or project not found"},
        OpenFailureCase{"PatchAndProjectMissingShowTheProject", ModeOption::Share, L"$/Nope",
                        L"$/Nowhere", L"secret", L"File or project not found"},
        OpenFailureCase{"WrongPasswordInShareModeIsNotHiddenByTheLookup", ModeOption::Share,
                        L"$/Patch", L"$/Src", L"bad", L"Invalid password"}),
    [](const testing::TestParamInfo<OpenFailureCase>& info) { return info.param.name; });

TEST(RunDriver, OpensFourTimesInShareModeAndTwiceOtherwise) {
  const std::vector<std::pair<std::optional<ModeOption>, int>> cases = {
      {ModeOption::Share, 4}, {ModeOption::Local, 2}, {ModeOption::View, 2}, {std::nullopt, 2}};
  for (const auto& [mode, opens] : cases) {
    DriverRig rig;
    rig.mode(mode);
    rig.patcher.cmdPatch_Click();
    EXPECT_EQ(rig.store.counts.newDatabase, opens);
    EXPECT_EQ(rig.store.counts.open, opens);
    EXPECT_EQ(rig.window.status.back(), kDone);
  }
}

TEST(RunDriver, LooksUpPatchAndProjectWhenTryingAndAgainWhenStarting) {
  const std::vector<std::pair<std::optional<ModeOption>, std::vector<std::wstring>>> cases = {
      {ModeOption::Share, {L"$/Patch", L"$/Src", L"$/Patch", L"$/Src"}},
      {ModeOption::Local, {L"$/Src", L"$/Src"}},
      {ModeOption::View, {L"$/Src", L"$/Src"}}};
  for (const auto& [mode, lookups] : cases) {
    fakes::Rig rig;  // an empty project: no lookups for files
    rig.mode(mode);
    rig.patcher.cmdPatch_Click();
    EXPECT_EQ(rig.store.lookupLog, lookups);
  }
}

TEST(RunDriver, ShareModeKeepsTheRunsPatchDatabaseAfterwards) {
  DriverRig rig;
  rig.mode(ModeOption::Share);
  rig.patcher.cmdPatch_Click();
  ASSERT_NE(rig.patcher.state().database, nullptr);
  ASSERT_NE(rig.patcher.state().patchItem, nullptr);
  EXPECT_EQ(rig.patcher.state().patchItem->spec(), L"$/Patch");
}

TEST(RunDriver, DuringTheWalkTheRunIsMarkedAndTheButtonDisabled) {
  DriverRig rig;
  int checks = 0;
  rig.window.onEvents = [&] {
    ++checks;
    EXPECT_TRUE(rig.patcher.state().running);
    ASSERT_FALSE(rig.window.button.empty());
    EXPECT_EQ(rig.window.button.back(), std::make_pair(std::wstring(L"Patching..."), false));
  };
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(checks, 1);
  EXPECT_EQ(rig.window.button.back(), std::make_pair(std::wstring(L"Patch(ed)"), true));
  EXPECT_FALSE(rig.patcher.state().running);
}

TEST(RunDriver, EveryRunStartsWithEmptyListsAndPatchingAgain) {
  DriverRig rig;
  rig.patcher.cmdPatch_Click();
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/a.txt"});
  const std::vector<std::pair<std::wstring, bool>> expected = {
      {L"Patching...", false}, {L"Patch(ed)", true}, {L"Patching...", false}, {L"Patch(ed)", true}};
  EXPECT_EQ(rig.window.button, expected);
}

struct RunFailureCase {
  const char* name;
  std::optional<ModeOption> mode;
  std::function<void(fakes::Rig&)> arrange;
  std::wstring shown;
};

class RunFailure : public testing::TestWithParam<RunFailureCase> {};

TEST_P(RunFailure, IsShownAndEndsTheRunThroughFinish) {
  DriverRig rig;
  rig.mode(GetParam().mode);
  rig.store.file(L"$/Src/sub/b.txt", {{L"alice", fakes::inRange()}});
  rig.store.file(L"$/Src/z.txt", {{L"alice", fakes::inRange()}});
  GetParam().arrange(rig);
  bool runningDuringBox = false;
  rig.window.onBox = [&](const fakes::FakeWindow::Box& box) {
    if (box.title == L"Ostrabel") runningDuringBox = rig.patcher.state().running;
  };
  rig.patcher.cmdPatch_Click();
  ASSERT_EQ(rig.window.boxes.size(), 2u);
  EXPECT_EQ(rig.window.boxes[1].text.substr(0, GetParam().shown.size()), GetParam().shown);
  EXPECT_EQ(rig.window.boxes[1].title, L"Ostrabel");
  EXPECT_EQ(rig.window.boxes[1].icon, Icon::None);
  EXPECT_EQ(rig.window.boxes[1].buttons, Buttons::Ok);
  EXPECT_TRUE(runningDuringBox);
  EXPECT_FALSE(rig.patcher.state().running);
  EXPECT_EQ(rig.window.button.back(), std::make_pair(std::wstring(L"Patch(ed)"), true));
  EXPECT_EQ(rig.window.status.back(), kDone);
  // The walk stopped where the failure came: z.txt, after the failing point, is never visited.
  EXPECT_EQ(std::count(rig.window.status.begin(), rig.window.status.end(), L"$/Src/z.txt"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Points, RunFailure,
    testing::Values(
        RunFailureCase{"WalkOpenFails", ModeOption::View,
                       [](fakes::Rig& r) {
                         r.store.failOpenNumber = 2;
                         r.store.openFault = vss::Error(vss::kInvalidPassword, L"Gone away");
                       },
                       L"Gone away"},
        RunFailureCase{"PatchOpenInsideStartFails", ModeOption::Share,
                       [](fakes::Rig& r) {
                         r.store.failOpenNumber = 3;
                         r.store.openFault = vss::Error(vss::kInvalidPassword, L"Gone away");
                       },
                       L"Gone away"},
        RunFailureCase{"ListingTheProjectFails", ModeOption::View,
                       [](fakes::Rig& r) {
                         r.store.itemsFaults[L"$/src"] = static_cast<std::int32_t>(0x8004D6A0);
                       },
                       L"Items cannot be listed"},
        RunFailureCase{"ListingASubprojectFails", ModeOption::View,
                       [](fakes::Rig& r) {
                         r.store.itemsFaults[L"$/src/sub"] = static_cast<std::int32_t>(0x8004D6A0);
                       },
                       L"Items cannot be listed"},
        RunFailureCase{"ReadingAFilesPathFails", ModeOption::Local,
                       [](fakes::Rig& r) { r.store.specFaults.insert(L"$/src/sub/b.txt"); },
                       L"Spec cannot be read"},
        RunFailureCase{"SomethingOtherThanTheLibraryFails", ModeOption::View,
                       [](fakes::Rig& r) {
                         int n = 0;
                         r.window.onEvents = [n]() mutable {
                           if (++n == 2) throw std::runtime_error("window broke");
                         };
                       },
                       L"程序内部错误: window broke"}),
    [](const testing::TestParamInfo<RunFailureCase>& info) { return info.param.name; });

TEST(RunDriver, AFailureBeforeTheRunIsShownAndLeavesTheButtonAlone) {
  struct ThrowingSave : fakes::FakeWindow {
    void saveSettings() override { throw std::runtime_error("disk full"); }
  };
  fakes::FakeFileSystem fs;
  fakes::FakePlatform platform{fs};
  ThrowingSave window;
  window.texts[TextBox::Host] = L"x";
  fakes::FakeStore store;
  fakes::FakeLibrary library{store};
  engine::Patcher patcher{window, platform, library};
  patcher.cmdPatch_Click();
  ASSERT_EQ(window.boxes.size(), 1u);
  EXPECT_EQ(window.boxes[0].text, L"程序内部错误: disk full");
  EXPECT_EQ(window.boxes[0].title, L"Ostrabel");
  EXPECT_TRUE(window.button.empty());
  EXPECT_FALSE(patcher.state().running);
  EXPECT_EQ(store.counts.newDatabase, 0);
}

}  // namespace
