// Run parameters: what populateValue takes from the window and what checkValue refuses.
#include <gtest/gtest.h>

#include "native/engine/fakes.h"

namespace {

using engine::ModeOption;
using engine::RunMode;
using engine::TextBox;

struct ValidationCase {
  const char* name;
  std::map<TextBox, std::wstring> overrides;
  std::vector<std::wstring> expected;
};

class Validation : public testing::TestWithParam<ValidationCase> {};

TEST_P(Validation, ReportsTheProblemsInTableOrder) {
  fakes::Rig rig;
  for (const auto& [box, text] : GetParam().overrides) rig.window.texts[box] = text;
  rig.patcher.populateValue();
  EXPECT_EQ(rig.patcher.checkValue(), GetParam().expected);
}

const std::map<TextBox, std::wstring> kAllEmpty = {
    {TextBox::Host, L""},    {TextBox::Project, L""},   {TextBox::Patch, L""},
    {TextBox::User, L""},    {TextBox::Passwd, L""},    {TextBox::StartDate, L""},
    {TextBox::EndDate, L""}, {TextBox::TargetUser, L""}};

INSTANTIATE_TEST_SUITE_P(
    Table, Validation,
    testing::Values(
        ValidationCase{"AllFilled", {}, {}},
        ValidationCase{"EverythingEmptyButTheLocalFolder",
                       kAllEmpty,
                       {L"VSS服务器地址必需输入", L"VSS项目路径必需输入", L"时间范围必需输入",
                        L"用户名必需输入", L"密码必需输入"}},
        ValidationCase{"BothDatesMalformed",
                       {{TextBox::StartDate, L"2008-13-45 10:00"}, {TextBox::EndDate, L"abc"}},
                       {L"开始时间格式有误", L"结束时间格式有误"}},
        ValidationCase{"EmptyStartHidesTheStartFormatMessage",
                       {{TextBox::StartDate, L""}, {TextBox::EndDate, L"abc"}},
                       {L"时间范围必需输入", L"结束时间格式有误"}},
        ValidationCase{"BlanksAreNotEmpty",
                       {{TextBox::Host, L"   "}, {TextBox::User, L" "}, {TextBox::Passwd, L" "}},
                       {}},
        ValidationCase{
            "BlankStartIsMalformedNotMissing", {{TextBox::StartDate, L" "}}, {L"开始时间格式有误"}},
        ValidationCase{"TimeOfDayAloneIsADate", {{TextBox::StartDate, L"17:12"}}, {}},
        ValidationCase{"DateWithSecondsIsADate", {{TextBox::EndDate, L"2009-04-28 13:30:59"}}, {}},
        ValidationCase{"ImpossibleDayInTheEnd",
                       {{TextBox::EndDate, L"2009-02-29 10:00"}},
                       {L"结束时间格式有误"}},
        ValidationCase{
            "OnlyTheProjectMissing", {{TextBox::Project, L""}}, {L"VSS项目路径必需输入"}},
        ValidationCase{"UserAndPasswordMissing",
                       {{TextBox::User, L""}, {TextBox::Passwd, L""}},
                       {L"用户名必需输入", L"密码必需输入"}},
        ValidationCase{"PatchLocalFolderAndTargetUserAreNotChecked",
                       {{TextBox::Patch, L""}, {TextBox::Share, L""}, {TextBox::TargetUser, L"?"}},
                       {}}),
    [](const testing::TestParamInfo<ValidationCase>& info) { return info.param.name; });

TEST(PopulateValue, ReadsTheBoxesInOrderAndTheEndDateAgain) {
  fakes::Rig rig;
  rig.patcher.populateValue();
  const std::vector<TextBox> expected = {
      TextBox::Host,      TextBox::Project, TextBox::Patch,      TextBox::User,  TextBox::Passwd,
      TextBox::StartDate, TextBox::EndDate, TextBox::TargetUser, TextBox::Share, TextBox::EndDate};
  EXPECT_EQ(rig.window.textReads, expected);
}

TEST(PopulateValue, CopiesTheTextsExactlyAndLowerCasesOnlyTheTargetUser) {
  fakes::Rig rig;
  rig.window.texts[TextBox::Host] = L"  \\\\Server\\VSS\\srcsafe.ini ";
  rig.window.texts[TextBox::Project] = L"$/Src/";
  rig.window.texts[TextBox::Patch] = L"$/PATCH";
  rig.window.texts[TextBox::User] = L"Admin ";
  rig.window.texts[TextBox::Passwd] = L" Se cret";
  rig.window.texts[TextBox::TargetUser] = L"Tester";
  rig.patcher.populateValue();
  const engine::RunState& s = rig.patcher.state();
  EXPECT_EQ(s.host, L"  \\\\Server\\VSS\\srcsafe.ini ");
  EXPECT_EQ(s.project, L"$/Src/");
  EXPECT_EQ(s.patch, L"$/PATCH");
  EXPECT_EQ(s.user, L"Admin ");
  EXPECT_EQ(s.passwd, L" Se cret");
  EXPECT_EQ(s.startDateText, L"2008-07-07 17:12");
  EXPECT_EQ(s.endDateText, L"2009-04-28 13:30");
  EXPECT_EQ(s.targetUser, L"tester");
  EXPECT_EQ(s.localDir, L"D:\\out");
}

TEST(PopulateValue, EmptyTargetUserMeansNoFilter) {
  fakes::Rig rig;
  rig.patcher.populateValue();
  EXPECT_EQ(rig.patcher.state().targetUser, L"");
}

TEST(PopulateValue, EmptyEndDateBecomesTheCurrentTimeWhileTheBoxStaysEmpty) {
  fakes::Rig rig;
  rig.window.texts[TextBox::EndDate] = L"";
  rig.platform.now = L"2026-12-06 20:01:02";
  rig.patcher.populateValue();
  EXPECT_EQ(rig.patcher.state().endDateText, L"2026-12-06 20:01:02");
  EXPECT_EQ(rig.window.texts[TextBox::EndDate], L"");
  EXPECT_TRUE(rig.patcher.checkValue().empty());
}

TEST(PopulateValue, ModeFollowsTheSelectedOption) {
  const std::vector<std::pair<std::optional<ModeOption>, RunMode>> cases = {
      {ModeOption::Share, RunMode::Share},
      {ModeOption::Local, RunMode::Local},
      {ModeOption::View, RunMode::View},
      {std::nullopt, RunMode::None}};
  for (const auto& [option, mode] : cases) {
    fakes::Rig rig;
    rig.mode(option);
    rig.patcher.state().mode = RunMode::Share;  // a previous run's mode must not survive
    rig.patcher.populateValue();
    EXPECT_EQ(rig.patcher.state().mode, mode);
  }
}

TEST(PopulateValue, IgnoreBuildUserFollowsTheCheckBox) {
  for (const bool checked : {true, false}) {
    fakes::Rig rig;
    rig.window.ignoreBuildUser = checked;
    rig.patcher.populateValue();
    EXPECT_EQ(rig.patcher.state().ignoreBuildUser, checked);
  }
}

TEST(PopulateValue, CreatesAMissingLocalFolderInEveryMode) {
  for (const std::optional<ModeOption> option :
       {std::optional<ModeOption>(ModeOption::Share), std::optional<ModeOption>(ModeOption::Local),
        std::optional<ModeOption>(ModeOption::View), std::optional<ModeOption>()}) {
    fakes::Rig rig;
    rig.mode(option);
    rig.window.texts[TextBox::Share] = L"D:\\out\\new";
    rig.window.texts[TextBox::Host] = L"";  // creation comes before validation
    rig.patcher.populateValue();
    EXPECT_TRUE(rig.fs.isFolder(L"D:\\out\\new"));
  }
}

struct LocalRootCase {
  const char* name;
  std::wstring localDir;
  int expectedCreateCalls;
  bool folderAfterwards;
};

class LocalRoot : public testing::TestWithParam<LocalRootCase> {};

TEST_P(LocalRoot, IsCreatedOnlyWhereNothingStandsAndFailuresStayQuiet) {
  fakes::Rig rig;
  rig.fs.addFile(L"D:\\out\\plain.txt");
  rig.window.texts[TextBox::Share] = GetParam().localDir;
  rig.patcher.populateValue();
  EXPECT_EQ(static_cast<int>(rig.fs.createCalls.size()), GetParam().expectedCreateCalls);
  EXPECT_EQ(rig.fs.isFolder(GetParam().localDir), GetParam().folderAfterwards);
  EXPECT_TRUE(rig.window.boxes.empty());
  EXPECT_EQ(rig.patcher.state().localDir, GetParam().localDir);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LocalRoot,
    testing::Values(LocalRootCase{"ExistingFolder", L"D:\\out", 0, true},
                    LocalRootCase{"ExistingFolderOtherCase", L"d:\\OUT", 0, true},
                    LocalRootCase{"ExistingFile", L"D:\\out\\plain.txt", 0, false},
                    LocalRootCase{"MissingOneLevel", L"D:\\out\\fresh", 1, true},
                    LocalRootCase{"ParentMissingOnlyOneLevelIsTried", L"D:\\out\\a\\b", 1, false},
                    LocalRootCase{"InvalidName", L"D:\\out\\a|b", 1, false},
                    LocalRootCase{"EmptyPathTriesNothing", L"", 0, false}),
    [](const testing::TestParamInfo<LocalRootCase>& info) { return info.param.name; });

TEST(PopulateValue, EmptyLocalFolderIsNotEvenLookedUp) {
  fakes::Rig rig;
  rig.window.texts[TextBox::Share] = L"";
  rig.patcher.populateValue();
  EXPECT_TRUE(rig.platform.existsCalls.empty());
}

}  // namespace
