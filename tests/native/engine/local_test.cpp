// Local runs: the folder chain below the local root, the fetch, and the line each selected file
// gets, including the files whose folder cannot be made.
#include "native/engine/fakes.h"

namespace {

namespace fs = std::filesystem;
using engine::TextBox;
using fakes::Lines;
using Strings = std::vector<std::string>;

class Local : public fakes::Run {
 protected:
  void SetUp() override {
    Run::SetUp();
    window_.selected = engine::ModeOption::Local;
  }
  // Existence tests and creations of the run's folder chains (populateValue's root test left out).
  Lines chainTests() { return {platform_.existsCalls.begin() + 1, platform_.existsCalls.end()}; }
};

TEST_F(Local, WritesExactlyTheSelectedFilesWithTheirContentAndListsEachOutcome) {
  seed(R"(
file $/Src/app/ui/main.frm by alice at 2024-05-03 10:00 content "v1"
version $/Src/app/ui/main.frm by bob at 2024-05-04 10:00 content "main v2"
file $/Src/app/old.frm by bob at 2024-04-04 10:00
file $/Src/top.c by alice at 2024-05-03 10:00 content "top"
file $/Src/gone/z.c by alice at 2024-05-03 10:00
fault $/Src/gone/z.c get 0x80040000
file $/Src/u.c by alice at 2024-05-03 10:00
fault $/Src/u.c get 0x8004D68F
file $/Src/w.c by alice at 2024-05-03 10:00
fault $/Src/w.c get 0x8004D694
)");
  const std::string before = dump();
  run();
  EXPECT_EQ(window_.shared, (Lines{L"$/Src/app/ui/main.frm", L"$/Src/top.c", L"$/Src/w.c"}));
  EXPECT_EQ(window_.unshared, (Lines{L"$/Src/gone/z.c - patch目录原来获得过这个文件,但被删除了",
                                     L"$/Src/u.c - 未知错误,代码: -2147166577"}));
  EXPECT_EQ(localTree(), (Strings{"app/", "app/ui/", "app/ui/main.frm", "gone/", "top.c"}));
  EXPECT_EQ(content("app/ui/main.frm"), "main v2");
  EXPECT_EQ(content("top.c"), "top");
  EXPECT_EQ(calls().getLog.front(), out() + L"\\app\\ui\\main.frm|0");
  EXPECT_EQ(dump(), before);
}

TEST_F(Local, MirrorsTheFoldersWithOneTestPerLevelAndReusesExistingOnes) {
  seed(
      "file $/Src/app/ui/a.frm by alice at 2024-05-03 10:00\n"
      "file $/Src/app/ui/b.frm by alice at 2024-05-03 10:00\n");
  fs::create_directory(root_ / "out" / "app");
  run();
  const std::wstring app = out() + L"\\app", ui = app + L"\\ui";
  EXPECT_EQ(chainTests(), (Lines{app, ui, app, ui}));  // every file builds its chain afresh
  EXPECT_EQ(platform_.createCalls, Lines{ui});
  EXPECT_EQ(patcher_.state().localTargetDir, ui);
  EXPECT_EQ(localTree(), (Strings{"app/", "app/ui/", "app/ui/a.frm", "app/ui/b.frm"}));
}

TEST_F(Local, ARootEndingInASeparatorAndAProjectInAnotherCase) {
  seed(
      "file $/Src/app/x.c by alice at 2024-05-03 10:00 content \"x\"\n"
      "file $/Src/y.c by alice at 2024-05-03 10:00\n");
  window_.texts[TextBox::Share] += L"\\";
  window_.texts[TextBox::Project] = L"$/SRC/";
  run();
  EXPECT_EQ(window_.shared, (Lines{L"$/Src/app/x.c", L"$/Src/y.c"}));
  EXPECT_EQ(platform_.createCalls, Lines{out() + L"\\\\app"});  // nothing normalised
  EXPECT_EQ(calls().getLog, (Lines{out() + L"\\\\app\\x.c|0", out() + L"\\\\y.c|0"}));
  EXPECT_EQ(localTree(), (Strings{"app/", "app/x.c", "y.c"}));
  EXPECT_EQ(content("app/x.c"), "x");
}

TEST_F(Local, AFileWhereAFolderIsNeededOrAFolderThatCannotBeMadeListsTheFile) {
  seed(R"(
file $/Src/app/x.c by alice at 2024-05-03 10:00
file $/Src/lib/deep/y.c by alice at 2024-05-03 10:00
file $/Src/locked/v.c by alice at 2024-05-03 10:00
file $/Src/z.c by alice at 2024-05-03 10:00
)");
  std::ofstream(root_ / "out" / "app") << "in the way";
  std::ofstream(root_ / "out" / "lib") << "in the way";
  platform_.failCreate[out() + L"\\locked"] = 5;
  run();
  // The last level: the fetch fails; deeper: the folder cannot be made and nothing is fetched.
  EXPECT_EQ(window_.unshared, (Lines{L"$/Src/app/x.c - 未知错误,代码: -2147024893",
                                     L"$/Src/lib/deep/y.c - 未知错误,代码: -2147024893",
                                     L"$/Src/locked/v.c - 未知错误,代码: -2147024891"}));
  EXPECT_EQ(window_.shared, Lines{L"$/Src/z.c"});
  EXPECT_EQ(calls().getLog.size(), 2u);
  EXPECT_EQ(content("app"), "in the way");
  EXPECT_EQ(window_.boxes.size(), 1u);
}

}  // namespace
