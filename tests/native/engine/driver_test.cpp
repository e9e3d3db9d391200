// The Patch command: the run parameters (what populateValue takes, what checkValue refuses, the
// local root made before validation), then the driver: the order of what a run shows, where it
// stops early, how often it opens the database, and that every way a run ends puts the window back.
#include "native/engine/fakes.h"

namespace {

using namespace engine;
using namespace fakes;

using Params = Run;

TEST_F(Params, ValidationReportsTheProblemsInTableOrder) {
  std::map<TextBox, std::wstring> allEmpty;
  for (const TextBox box : {TextBox::Host, TextBox::Project, TextBox::Patch, TextBox::User,
                            TextBox::Passwd, TextBox::StartDate, TextBox::EndDate})
    allEmpty[box] = L"";
  const std::vector<std::pair<std::map<TextBox, std::wstring>, Lines>> cases = {
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
      {{{TextBox::Patch, L""}, {TextBox::LocalDir, L""}, {TextBox::TargetUser, L"?"}}, {}},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(i);
    window_.texts = defaults_;
    for (const auto& [box, text] : cases[i].first) window_.texts[box] = text;
    patcher_.populateValue();
    EXPECT_EQ(patcher_.checkValue(), cases[i].second);
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
    window_.texts[TextBox::LocalDir] = out() + below;
    platform_.createCalls.clear();
    patcher_.populateValue();
    EXPECT_EQ(patcher_.state().mode, mode);
    EXPECT_EQ(platform_.createCalls.size(), created ? 1u : 0u);
    EXPECT_EQ(fs::is_directory(native(out() + below)), below != L"/plain" && below != L"/a/b");
    EXPECT_EQ(patcher_.checkValue().size(), 1u);  // the host: validation still comes after
  }
  window_.texts[TextBox::LocalDir] = L"";
  platform_.existsCalls.clear();
  patcher_.populateValue();
  EXPECT_TRUE(platform_.existsCalls.empty());  // an empty root is not even looked at
  EXPECT_TRUE(window_.boxes.empty());
}

const std::wstring kConfirm = L"该操作需要较长时间，请耐心等待。";
const std::wstring kDone = L"补丁整理完成！";

class Driver : public Run {
 protected:
  void SetUp() override {
    Run::SetUp();
    seed("file $/Src/a.txt by alice at 2024-05-03 10:00\n");
  }
};

// A View run shows its steps in this order, opening the database twice and changing nothing. An
// empty patch path with "VSS" selected only queries, as the window's help says: the run is a View
// run (a patch path that does not exist is refused: EndsEarlyShowingWhyWithNothingListed). So is
// a run with no option selected.
TEST_F(Driver, AViewRunOrAShareRunWithoutPatchPathShowsItsStepsInOrder) {
  const std::string before = dump();
  using Case = std::pair<std::optional<ModeOption>, const wchar_t*>;
  for (const auto& [mode, patch] : {Case(ModeOption::View, L"$/Patch"),
                                    Case(ModeOption::Share, L""), Case(std::nullopt, L"$/Patch")}) {
    reset();
    window_.selected = mode;
    window_.texts[TextBox::Patch] = patch;
    int checks = 0;
    window_.onEvents = [&] {  // during the walk the run is marked and the button disabled
      ++checks;
      EXPECT_TRUE(patcher_.state().running);
    };
    run();
    const Lines expected = {L"clear:Shared",
                            L"clear:Unshare",
                            L"status:",
                            L"save",
                            L"box:" + kConfirm,
                            L"button:Patching...:off",
                            L"status:$/Src/a.txt",
                            L"Shared:$/Src/a.txt",
                            L"button:Patch(ed):on",
                            L"status:" + kDone};
    EXPECT_EQ(window_.log, expected);
    EXPECT_EQ(checks, 1);
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].line(), L"提示|i|YesNo|" + kConfirm);
    EXPECT_FALSE(patcher_.state().running);
    EXPECT_EQ(calls().count["open"], 2);
    EXPECT_EQ(calls().lookupLog, (Lines{L"$/Src", L"$/Src"}));
    EXPECT_EQ(dump(), before);
  }
}

// Refused inputs, an answer other than Yes, a failure of our own before the run, or a database
// that cannot be opened (every opening is tried, the last error is shown) end the run early:
// nothing but the preparation and the boxes, no line listed, the button untouched.
TEST_F(Driver, EndsEarlyShowingWhyWithNothingListed) {
  const auto opening = [&](ModeOption mode, const wchar_t* patch, const wchar_t* project,
                           const wchar_t* passwd) -> std::function<void()> {
    return [=, this] {
      window_.selected = mode;
      window_.texts[TextBox::Patch] = patch;
      window_.texts[TextBox::Project] = project;
      window_.texts[TextBox::Passwd] = passwd;
    };
  };
  const std::wstring confirm = L"提示|i|YesNo|" + kConfirm, failed = L"Ostrabel|-|OK|";
  const std::wstring notFound = failed + L"File or project not found";
  const std::vector<std::tuple<std::function<void()>, Lines, int>> cases = {
      {[&] { window_.texts[TextBox::Host] = window_.texts[TextBox::Passwd] = L""; },
       {L"提示|!|OK|VSS服务器地址必需输入\r\n密码必需输入\r\n"},
       0},
      {[&] { window_.texts[TextBox::StartDate] = L"2024-06-01 00:01"; },
       {L"提示|!|OK|开始时间不能大于结束时间"},
       0},
      {[&] { window_.answer = Answer::No; }, {confirm}, 0},
      {[&] { window_.failSave = true; }, {failed + L"操作意外中止: disk full"}, 0},
      {opening(ModeOption::View, L"$/Patch", L"$/Src", L"bad"),
       {confirm, failed + L"Invalid password"},
       1},
      {opening(ModeOption::Local, L"$/Nope", L"$/Nowhere", L"secret"), {confirm, notFound}, 1},
      {opening(ModeOption::Share, L"$/Nope", L"$/Src", L"secret"),
       {confirm, failed + L"Injected lookup failure"},
       2},
      {opening(ModeOption::Share, L"$/Nope", L"$/Nowhere", L"secret"), {confirm, notFound}, 2},
      {opening(ModeOption::Share, L"$/Patch", L"$/Src", L"bad"),
       {confirm, failed + L"Invalid password"},
       2}};
  for (const auto& [arrange, boxes, opens] : cases) {
    SCOPED_TRACE(standin::text::narrow(boxes.back()));
    reset();
    calls().lookupFaults[L"$/nope"] = vss::kNotFound;  // its own text tells the last error apart
    arrange();
    run();
    Lines shown, log = {L"clear:Shared", L"clear:Unshare", L"status:", L"save"};
    for (const FakeWindow::Box& box : window_.boxes) {
      shown.push_back(box.line());
      log.push_back(L"box:" + box.text);
    }
    EXPECT_EQ(shown, boxes);
    EXPECT_EQ(window_.log, log);
    EXPECT_EQ(calls().count["open"], opens);
    EXPECT_FALSE(patcher_.state().running);
  }
}

// Only an opening inside start, or a failure that is not the library's, ends a run early: the box
// says what happened, the window is usable again and its status bar says that the run stopped.
TEST_F(Driver, AFailureThatEndsTheRunIsShownAndTheWindowSaysTheRunStopped) {
  seed("file $/Src/sub/b.txt by alice at 2024-05-03 10:00\nfile $/Src/z.txt\n");
  struct Case {
    const char* name;
    ModeOption mode;
    std::string member;  // the call of it numbered `call` fails with `status`; none: the window
    int call;
    std::int32_t status;
    std::wstring shown;
  };
  const std::vector<Case> cases = {
      {"an open inside start", ModeOption::Share, "open", 3, 0, L"Injected failure of open"},
      // The first lookup is openDatabase's.
      {"the project's lookup inside start", ModeOption::View, "vssItem", 2, vss::kNotFound,
       L"Injected failure of vssItem"},
      {"not the library", ModeOption::View, "", 0, 0, L"操作意外中止: window broke"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    window_.selected = c.mode;
    calls().failMember = c.member;
    calls().failCall = c.call;
    calls().failStatus = c.status;
    if (c.member.empty()) window_.onEvents = [] { throw std::runtime_error("window broke"); };
    bool runningDuringBox = false;
    window_.onBox = [&](const FakeWindow::Box& box) {
      if (box.title == L"Ostrabel") runningDuringBox = patcher_.state().running;
    };
    run();
    ASSERT_EQ(window_.boxes.size(), 2u);
    EXPECT_EQ(window_.boxes[1].line(), L"Ostrabel|-|OK|" + c.shown);
    EXPECT_TRUE(runningDuringBox);
    EXPECT_FALSE(patcher_.state().running);
    EXPECT_EQ(window_.button.back(), std::make_pair(std::wstring(L"Patch(ed)"), true));
    EXPECT_EQ(window_.status.back(), L"补丁整理意外中止，结果不完整！");
    EXPECT_EQ(std::count(window_.status.begin(), window_.status.end(), L"$/Src/z.txt"), 0);
  }
}

}  // namespace
