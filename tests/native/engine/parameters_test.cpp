// Run parameters (what populateValue takes, what checkValue refuses, the local root made before
// validation) and the helpers behind the result lines and the clipboard.
#include "native/engine/fakes.h"

namespace {

namespace fs = std::filesystem;
using engine::ModeOption;
using engine::RunMode;
using engine::TextBox;
using Params = fakes::Run;

TEST_F(Params, ValidationReportsTheProblemsInTableOrder) {
  struct Case {
    std::map<TextBox, std::wstring> texts;
    fakes::Lines expected;
  };
  std::map<TextBox, std::wstring> allEmpty;
  for (const TextBox box : {TextBox::Host, TextBox::Project, TextBox::Patch, TextBox::User,
                            TextBox::Passwd, TextBox::StartDate, TextBox::EndDate}) {
    allEmpty[box] = L"";
  }
  const std::vector<Case> cases = {
      {{}, {}},
      {allEmpty,
       {L"VSS服务器地址必需输入", L"VSS项目路径必需输入", L"时间范围必需输入", L"用户名必需输入",
        L"密码必需输入"}},
      {{{TextBox::StartDate, L"2008-13-45 10:00"}, {TextBox::EndDate, L"abc"}},
       {L"开始时间格式有误", L"结束时间格式有误"}},
      // No format message for an empty start.
      {{{TextBox::StartDate, L""}, {TextBox::EndDate, L"abc"}},
       {L"时间范围必需输入", L"结束时间格式有误"}},
      {{{TextBox::Host, L"   "}, {TextBox::User, L" "}, {TextBox::Passwd, L" "}}, {}},  // blanks
      {{{TextBox::StartDate, L" "}}, {L"开始时间格式有误"}},
      {{{TextBox::EndDate, L"2009-02-29 10:00"}}, {L"结束时间格式有误"}},
      {{{TextBox::Patch, L""}, {TextBox::Share, L""}, {TextBox::TargetUser, L"?"}}, {}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    window_.texts = defaults_;
    for (const auto& [box, text] : cases[i].texts) window_.texts[box] = text;
    patcher_.populateValue();
    EXPECT_EQ(patcher_.checkValue(), cases[i].expected);
  }
}

TEST_F(Params, PopulateCopiesTheTextsAndLowerCasesOnlyTheTargetUser) {
  window_.texts[TextBox::Project] = L"$/Src/";
  window_.texts[TextBox::User] = L"Admin ";
  window_.texts[TextBox::Passwd] = L" Se cret";
  window_.texts[TextBox::TargetUser] = L"TesTer";
  window_.texts[TextBox::EndDate] = L"";
  platform_.now = L"2026-12-06 20:01:02";
  window_.ignoreBuildUser = true;
  patcher_.populateValue();
  const engine::RunState& s = patcher_.state();
  EXPECT_EQ(s.project, L"$/Src/");
  EXPECT_EQ(s.user, L"Admin ");
  EXPECT_EQ(s.passwd, L" Se cret");
  EXPECT_EQ(s.targetUser, L"tester");
  EXPECT_EQ(s.endDateText, L"2026-12-06 20:01:02");  // an empty end date runs until now
  EXPECT_EQ(window_.texts[TextBox::EndDate], L"");
  EXPECT_TRUE(s.ignoreBuildUser);
  EXPECT_TRUE(patcher_.checkValue().empty());
}

// The mode follows the option; the root is made one level, where nothing stands, before validation.
TEST_F(Params, ModeAndLocalRoot) {
  std::ofstream(root_ / "out" / "plain") << "x";
  window_.texts[TextBox::Host] = L"";
  const std::vector<std::tuple<std::optional<ModeOption>, RunMode, std::wstring, bool>> cases = {
      {ModeOption::View, RunMode::View, L"/new", true},
      {ModeOption::Share, RunMode::Share, L"/s", true},
      {ModeOption::Local, RunMode::Local, L"/l", true},
      {std::nullopt, RunMode::None, L"/n", true},
      {ModeOption::View, RunMode::View, L"", false},
      {ModeOption::View, RunMode::View, L"/plain", false},
      {ModeOption::View, RunMode::View, L"/a/b", true}};  // only one level is tried
  for (const auto& [option, mode, below, created] : cases) {
    SCOPED_TRACE(standin::text::narrow(below));
    window_.selected = option;
    patcher_.state().mode = RunMode::Share;  // a previous run's mode must not survive
    window_.texts[TextBox::Share] = out() + below;
    platform_.createCalls.clear();
    patcher_.populateValue();
    EXPECT_EQ(patcher_.state().mode, mode);
    EXPECT_EQ(platform_.createCalls.size(), created ? 1u : 0u);
    EXPECT_EQ(fs::is_directory(fakes::native(out() + below)),
              below != L"/plain" && below != L"/a/b");
    EXPECT_EQ(patcher_.checkValue().size(), 1u);  // the host: validation still comes after
  }
  window_.texts[TextBox::Share] = L"";
  platform_.existsCalls.clear();
  patcher_.populateValue();
  EXPECT_TRUE(platform_.existsCalls.empty());  // an empty root is not even looked at
  EXPECT_TRUE(window_.boxes.empty());
}

TEST(Helpers, ClipboardTextAndSystemErrorStatus) {
  EXPECT_EQ(engine::clipboardText({}), L"");
  EXPECT_EQ(engine::clipboardText({L"$/a"}), L"$/a");
  EXPECT_EQ(engine::clipboardText({L"$/a", L"$/b - x", L"$/c"}), L"$/a\r\n$/b - x\r\n$/c");
  EXPECT_EQ(engine::clipboardText({L"", L""}), L"\r\n");
  EXPECT_EQ(engine::statusFromSystemError(3), -2147024893);
  EXPECT_EQ(engine::statusFromSystemError(0x12345), static_cast<std::int32_t>(0x80072345));
  EXPECT_EQ(engine::statusFromSystemError(0x80040000u), static_cast<std::int32_t>(0x80040000));
}

}  // namespace
