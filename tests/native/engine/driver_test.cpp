// The run driver: the order of what the Patch command shows, where it stops early, how often it
// opens the database, and that every way a run ends puts the window back.
#include "native/engine/fakes.h"

namespace {

using engine::Answer;
using engine::Buttons;
using engine::Icon;
using engine::ModeOption;
using engine::TextBox;
using fakes::Lines;
const std::wstring kConfirm = L"该操作需要较长时间，请耐心等待。";
const std::wstring kDone = L"补丁整理完成！";

class Driver : public fakes::Run {
 protected:
  void SetUp() override {
    Run::SetUp();
    seed("file $/Src/a.txt by alice at 2024-05-03 10:00\n");
    window_.shared = {L"old line"};
    window_.unshared = {L"old line"};
  }
  void expectEndedEarly(std::size_t boxes, int opens);
};

TEST_F(Driver, AViewRunShowsItsStepsInOrder) {
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
                          L"button:Patch(ed):on",
                          L"status:" + kDone};
  EXPECT_EQ(window_.log, expected);
  EXPECT_EQ(checks, 1);
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].title, L"提示");
  EXPECT_EQ(window_.boxes[0].icon, Icon::Information);
  EXPECT_EQ(window_.boxes[0].buttons, Buttons::YesNo);
  EXPECT_EQ(window_.shared, Lines{L"$/Src/a.txt"});
  EXPECT_FALSE(patcher_.state().running);
}

// One box, nothing listed, the button untouched: the window as the preparation left it.
void Driver::expectEndedEarly(std::size_t boxes, int opens) {
  EXPECT_EQ(window_.boxes.size(), boxes);
  EXPECT_EQ(calls().open, opens);
  EXPECT_TRUE(window_.shared.empty());
  EXPECT_TRUE(window_.unshared.empty());
  EXPECT_EQ(window_.status, Lines{L""});
  EXPECT_EQ(window_.saves, 1);
  EXPECT_TRUE(window_.button.empty());
  EXPECT_FALSE(patcher_.state().running);
}

TEST_F(Driver, RefusedInputsAndANoEndTheRunBeforeOpening) {
  const std::vector<std::tuple<std::function<void()>, std::wstring, Icon>> cases = {
      {[&] { window_.texts[TextBox::Host] = window_.texts[TextBox::Passwd] = L""; },
       L"VSS服务器地址必需输入\r\n密码必需输入\r\n", Icon::Exclamation},
      {[&] { window_.texts[TextBox::StartDate] = L"2024-06-01 00:01"; },
       L"开始时间不能大于结束时间", Icon::Exclamation},
      {[&] { window_.answer = Answer::No; }, kConfirm, Icon::Information}};
  for (const auto& [arrange, shown, icon] : cases) {
    SCOPED_TRACE(standin::text::narrow(shown));
    reset();
    arrange();
    run();
    ASSERT_EQ(window_.boxes.size(), 1u);
    EXPECT_EQ(window_.boxes[0].text, shown);
    EXPECT_EQ(window_.boxes[0].title, L"提示");
    EXPECT_EQ(window_.boxes[0].icon, icon);
    EXPECT_EQ(window_.boxes[0].buttons, shown == kConfirm ? Buttons::YesNo : Buttons::Ok);
    expectEndedEarly(1, 0);
  }
}

TEST_F(Driver, OpenDatabaseRunsEveryStepAndShowsTheLastError) {
  struct Case {
    std::optional<ModeOption> mode;
    std::wstring patch, project, passwd, shown;
    int opens;
  };
  const std::wstring notFound = L"File or project not found";
  const std::vector<Case> cases = {
      {ModeOption::View, L"$/Patch", L"$/Src", L"bad", L"Invalid password", 1},
      {ModeOption::Local, L"$/Nope", L"$/Nowhere", L"secret", notFound, 1},
      {ModeOption::Share, L"$/Nope", L"$/Src", L"secret", L"Injected lookup failure", 2},
      {ModeOption::Share, L"$/Nope", L"$/Nowhere", L"secret", notFound, 2},
      {ModeOption::Share, L"$/Patch", L"$/Src", L"bad", L"Invalid password", 2}};
  for (const Case& c : cases) {
    SCOPED_TRACE(standin::text::narrow(c.shown));
    reset();
    window_.selected = c.mode;
    window_.texts[TextBox::Patch] = c.patch;
    window_.texts[TextBox::Project] = c.project;
    window_.texts[TextBox::Passwd] = c.passwd;
    calls().lookupFaults[L"$/nope"] = vss::kNotFound;  // its own text tells the last error apart
    run();
    ASSERT_EQ(window_.boxes.size(), 2u);
    EXPECT_EQ(window_.boxes[1].text, c.shown);
    EXPECT_EQ(window_.boxes[1].title, L"Ostrabel");
    EXPECT_EQ(window_.boxes[1].icon, Icon::None);
    EXPECT_EQ(window_.boxes[1].buttons, Buttons::Ok);
    expectEndedEarly(2, c.opens);
  }
}

TEST_F(Driver, OpensFourTimesInShareModeAndTwiceOtherwise) {
  for (const auto& [mode, opens] : std::vector<std::pair<std::optional<ModeOption>, int>>{
           {ModeOption::Share, 4}, {ModeOption::Local, 2}, {ModeOption::View, 2}, {{}, 2}}) {
    reset();
    window_.selected = mode;
    run();
    EXPECT_EQ(calls().newDatabase, opens);
    EXPECT_EQ(calls().open, opens);
    EXPECT_EQ(window_.status.back(), kDone);
    EXPECT_EQ(window_.shared, Lines{L"$/Src/a.txt"});
  }
  // The Share run (the first) kept its database and patch project; the others do not touch them.
  ASSERT_NE(patcher_.state().patchItem, nullptr);
  EXPECT_EQ(patcher_.state().patchItem->spec(), L"$/Patch");
}

TEST_F(Driver, AFailureDuringTheRunIsShownAndEndsItThroughFinish) {
  seed("file $/Src/sub/b.txt by alice at 2024-05-03 10:00\nfile $/Src/z.txt\n");
  struct Case {
    const char* name;
    std::optional<ModeOption> mode;
    std::function<void()> arrange;
    std::wstring shown;
  };
  const std::vector<Case> cases = {
      {"an open inside start", ModeOption::Share,
       [&] {
         calls().failOpenNumber = 3;
         calls().openFault = vss::Error(vss::kInvalidPassword, L"Gone away");
       },
       L"Gone away"},
      {"listing a subproject", ModeOption::View,
       [&] { calls().itemsFaults[L"$/src/sub"] = static_cast<std::int32_t>(0x8004D6A0); },
       L"Items cannot be listed"},
      {"not the library", ModeOption::View,
       [&] { window_.onEvents = [] { throw std::runtime_error("window broke"); }; },
       L"程序内部错误: window broke"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    window_.selected = c.mode;
    c.arrange();
    bool runningDuringBox = false;
    window_.onBox = [&](const fakes::FakeWindow::Box& box) {
      if (box.title == L"Ostrabel") runningDuringBox = patcher_.state().running;
    };
    run();
    ASSERT_EQ(window_.boxes.size(), 2u);
    EXPECT_EQ(window_.boxes[1].text.substr(0, c.shown.size()), c.shown);
    EXPECT_EQ(window_.boxes[1].title, L"Ostrabel");
    EXPECT_EQ(window_.boxes[1].icon, Icon::None);
    EXPECT_TRUE(runningDuringBox);
    EXPECT_FALSE(patcher_.state().running);
    EXPECT_EQ(window_.button.back(), std::make_pair(std::wstring(L"Patch(ed)"), true));
    EXPECT_EQ(window_.status.back(), kDone);
    // The walk stopped at the failure: z.txt comes after it.
    EXPECT_EQ(std::count(window_.status.begin(), window_.status.end(), L"$/Src/z.txt"), 0);
  }
}

TEST_F(Driver, AFailureBeforeTheRunIsShownAndLeavesTheButtonAlone) {
  window_.failSave = true;
  run();
  ASSERT_EQ(window_.boxes.size(), 1u);
  EXPECT_EQ(window_.boxes[0].text, L"程序内部错误: disk full");
  EXPECT_EQ(window_.boxes[0].title, L"Ostrabel");
  EXPECT_TRUE(window_.button.empty());
  EXPECT_FALSE(patcher_.state().running);
  EXPECT_EQ(calls().newDatabase, 0);
}

}  // namespace
