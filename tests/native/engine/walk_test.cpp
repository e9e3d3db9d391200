// The walk and the change selection: which files a run picks out, in which order it meets them,
// how far it reads a history, and what becomes of files whose history cannot be read.
#include <regex>

#include "native/engine/fakes.h"

namespace {

using namespace engine;
using namespace fakes;
using Walk = Run;

// Each case is its own project: "@" in the script stands for its file, "%" for the project.
TEST_F(Walk, SelectionDecidesOnTheDecidingRecordReadOnlyAsFarAsNeeded) {
  struct Case {
    const char* name;
    std::string script;
    bool ignoreBuildUser;
    std::wstring targetUser;
    bool selected;
    int recordsRead;
    std::wstring start = L"2024-05-01 00:00", end = L"2024-06-01 00:00";
  };
  const std::string a = "file @ by alice at 2024-", cu = "\nlabel @ B by Compileruser at 2024-";
  const std::vector<Case> cases = {
      {"inside", a + "05-03 10:00", false, L"", true, 1},
      {"at the start", a + "05-01 00:00", false, L"", false, 1},
      {"at the end", a + "06-01 00:00", false, L"", false, 1},
      {"before", a + "04-03 10:00", false, L"", false, 1},
      {"equal start and end", a + "05-03 10:00", false, L"", false, 1, L"2024-05-03 10:00",
       L"2024-05-03 10:00"},
      {"in the range and again after it", a + "05-03 10:00\nversion @ at 2024-06-03 10:00", false,
       L"", false, 1},
      {"newest is a label", a + "04-03 10:00\nlabel @ L by rel at 2024-05-05 10:00", false, L"",
       true, 1},
      {"target user in any case", "file @ by TESTER at 2024-05-03 10:00", false, L"Tester", true,
       1},
      {"the target's is not the deciding record",
       "file @ by tester at 2024-05-02 10:00\nversion @ at 2024-05-05 10:00", false, L"tester",
       false, 1},
      {"build-user label passed over", a + "05-02 10:00" + cu + "05-05 10:00", true, L"", true, 2},
      {"the record below too old", a + "04-02 10:00" + cu + "05-05 10:00", true, L"", false, 2},
      {"build user not ignored", a + "04-02 10:00" + cu + "05-05 10:00", false, L"", true, 1},
      {"the name in lower case is somebody else",
       a + "04-02 10:00\nlabel @ B by compileruser at 2024-05-05 10:00", true, L"", true, 1},
      {"project label", a + "05-02 10:00\nlabel % B by Compileruser at 2024-05-10 10:00", true, L"",
       true, 2},
      {"only build-user records",
       "file @ by Compileruser at 2024-05-02 10:00\nversion @ by Compileruser at 2024-05-03 10:00" +
           cu + "05-04 10:00",
       true, L"", false, 3},
      {"build user passed over, then the target decides",
       "file @ by Tester at 2024-05-02 10:00" + cu + "05-05 10:00", true, L"TESTER", true, 2},
      {"no history", "file @", true, L"", false, 0},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const std::string project = "$/S" + std::to_string(i), file = project + "/f.c";
    reset();
    seed(std::regex_replace(std::regex_replace(c.script, std::regex("@"), file), std::regex("%"),
                            project));
    if (c.script == "file @") calls().noHistory.push_back(lower(standin::text::widen(file)));
    window_.texts[TextBox::Project] = standin::text::widen(project);
    window_.texts[TextBox::StartDate] = c.start;
    window_.texts[TextBox::EndDate] = c.end;
    window_.texts[TextBox::TargetUser] = c.targetUser;
    window_.ignoreBuildUser = c.ignoreBuildUser;
    run();
    EXPECT_EQ(window_.shared, c.selected ? Lines{standin::text::widen(file)} : Lines{});
    EXPECT_TRUE(window_.unshared.empty());
    EXPECT_EQ(window_.boxes.size(), 1u);  // the confirmation only
    EXPECT_EQ(calls().recordsRead, c.recordsRead);
  }
}

TEST_F(Walk, VisitsDepthFirstInTheLibrarysOrderNeverShowsDeletedItemsAndChangesNothing) {
  seed(R"(
file $/Src/b.c by alice at 2024-05-03 10:00
file $/Src/A/z.c by alice at 2024-05-03 10:00
file $/Src/A/deep/y.c by bob at 2024-05-04 10:00
project $/Src/A/empty
file $/Src/a.c by alice at 2024-05-05 10:00
file $/Src/c/gone.c by alice at 2024-05-05 10:00
delete $/Src/c/gone.c
file $/Src/old/x.c by alice at 2024-05-05 10:00
delete $/Src/old
file $/Src/old.c by alice at 2024-04-05 10:00
)");
  const Lines visited = {L"$/Src/A/deep/y.c", L"$/Src/A/z.c", L"$/Src/a.c", L"$/Src/b.c",
                         L"$/Src/old.c"};
  const std::string before = dump();
  for (const std::optional<ModeOption> mode :
       {std::optional(ModeOption::View), std::optional<ModeOption>()}) {
    window_.selected = mode;
    window_.status.clear();
    Lines statusAtEvents;
    window_.onEvents = [&] { statusAtEvents.push_back(window_.status.back()); };
    run();
    EXPECT_EQ(Lines(window_.status.begin() + 1, window_.status.end() - 1), visited);
    EXPECT_EQ(statusAtEvents, visited);  // once per file, after its path is shown
    EXPECT_EQ(window_.shared, Lines(visited.begin(), visited.end() - 1));
    EXPECT_TRUE(window_.unshared.empty());
    EXPECT_EQ(window_.status.back(), L"补丁整理完成！");
    EXPECT_EQ(dump(), before);
    EXPECT_TRUE(localTree().empty());
  }
}

TEST_F(Walk, AnEmptyProjectListsNothingAndEndsNormally) {
  run();
  EXPECT_TRUE(window_.shared.empty());
  EXPECT_EQ(window_.pendingEvents, 0);
  EXPECT_EQ(window_.status, (Lines{L"", L"补丁整理完成！"}));
}

TEST_F(Walk, ADamagedHistoryIsListedAndAnotherFailureIsShownWhileTheWalkWaits) {
  seed(R"(
file $/Src/a.c by alice at 2024-05-03 10:00
file $/Src/b.c by alice at 2024-05-03 10:00
file $/Src/c.c by alice at 2024-05-03 10:00
fault $/Src/a.c versions 0x80040000
fault $/Src/b.c versions 0x8004D6A0 text "History unreadable"
)");
  bool running = false;
  std::size_t statusCount = 0;
  window_.onBox = [&](const FakeWindow::Box& box) {
    if (box.title != L"Ostrabel") return;
    running = patcher_.state().running;
    statusCount = window_.status.size();
  };
  run();
  EXPECT_EQ(window_.unshared, Lines{L"$/Src/a.c - VSS上这个文件是损坏的"});
  EXPECT_EQ(window_.shared, Lines{L"$/Src/c.c"});
  ASSERT_EQ(window_.boxes.size(), 2u);
  EXPECT_EQ(window_.boxes[1].text, L"History unreadable");
  EXPECT_EQ(window_.boxes[1].icon, engine::Icon::None);
  EXPECT_EQ(window_.boxes[1].buttons, engine::Buttons::Ok);
  EXPECT_TRUE(running);
  EXPECT_EQ(statusCount, 3u);  // "", a.c, b.c: c.c comes after the box
}

}  // namespace
