// The actions: Share runs (the subproject chain below the patch project, the share, the line each
// selected file gets) and Local runs (the folder chain below the local root, the fetch, the line
// each file gets), including the files whose target cannot be prepared.
#include "native/engine/fakes.h"

namespace {

using namespace engine;
using namespace fakes;

using Share = In<ModeOption::Share>;

// The subprojects below the patch project mirror the walked project's folders: one that exists
// in another letter case is used, a deleted one is made anew. Nothing is written to disk: the
// library gets no copies (VSSFLAG_GETNO) into the working folder, the current one.
TEST_F(Share, AddsExactlyTheMirroredSubprojectsAndShares) {
  seed(R"(
file $/Src/app/ui/main.frm by alice at 2024-05-03 10:00
file $/Src/app/ui/form.frm by bob at 2024-05-04 10:00
file $/Src/app/old.frm by bob at 2024-04-04 10:00
file $/Src/lib/y.c by alice at 2024-05-03 10:00
file $/Src/top.c by alice at 2024-05-03 10:00
project $/Patch/APP
project $/Patch/lib
delete $/Patch/lib
)");
  const auto records = dumpLines(true);
  const fs::path started = fs::current_path();
  fs::current_path(root_ / "out");
  run();
  fs::current_path(started);
  EXPECT_EQ(window_.shared, (Lines{L"$/Src/app/ui/form.frm", L"$/Src/app/ui/main.frm",
                                   L"$/Src/lib/y.c", L"$/Src/top.c"}));
  EXPECT_TRUE(window_.unshared.empty());
  EXPECT_EQ(localTree(), Strings{});
  // The targets' paths as the run looked them up (the library echoes that spelling).
  EXPECT_EQ(calls().shareLog, (Lines{L"$/Patch/app/ui<-$/Src/app/ui/form.frm|0|134225920",
                                     L"$/Patch/app/ui<-$/Src/app/ui/main.frm|0|134225920",
                                     L"$/Patch/lib<-$/Src/lib/y.c|0|134225920",
                                     L"$/Patch<-$/Src/top.c|0|134225920"}));
  EXPECT_EQ(calls().count["newSubproject"], 3);  // "app" (refused as existing, then used), ui, lib
  const Strings expected = {"project $/",
                            "project $/Patch",
                            "project $/Patch/APP",
                            "project $/Patch/APP/ui",
                            "file $/Patch/APP/ui/form.frm",
                            "file $/Patch/APP/ui/main.frm",
                            "project $/Patch/lib",
                            "file $/Patch/lib/y.c",
                            "deleted project $/Patch/lib",
                            "file $/Patch/top.c",
                            "project $/Src",
                            "project $/Src/app",
                            "file $/Src/app/old.frm",
                            "project $/Src/app/ui",
                            "file $/Src/app/ui/form.frm shares $/Patch/APP/ui/form.frm",
                            "file $/Src/app/ui/main.frm shares $/Patch/APP/ui/main.frm",
                            "project $/Src/lib",
                            "file $/Src/lib/y.c shares $/Patch/lib/y.c",
                            "file $/Src/top.c shares $/Patch/top.c"};
  EXPECT_EQ(dumpLines(), expected);
  EXPECT_EQ(dumpLines(true), records);  // histories untouched (a second run: Walk tests)
}

// "An item with that name already exists" is the file's own success only where that item is the
// file itself (one of its links is the target's path and its name, in any letter case); another
// file of its name in the patch leaves the file unprocessed, and the patch unchanged.
TEST_F(Share, OutcomesOfTheShareAreListedByStatus) {
  seed(R"(
file $/Src/a.c by alice at 2024-05-03 10:00
file $/Src/b.c by alice at 2024-05-03 10:00
file $/Src/c.c by alice at 2024-05-03 10:00
file $/Src/d.c by alice at 2024-05-03 10:00
file $/Src/e.c by alice at 2024-05-03 10:00
file $/Src/config.h by alice at 2024-05-03 10:00
file $/Src/lib/f.c by alice at 2024-05-03 10:00
file $/Src/lib/g.c by alice at 2024-05-03 10:00
share $/Src/a.c into $/Patch
delete $/Patch/a.c
fault $/Src/b.c share 0x8004D72E
fault $/Src/c.c share 42
fault $/Src/d.c share 0x8004D694
file $/Patch/config.h by bob at 2024-04-01 10:00 content "foreign"
project $/Patch/LIB
share $/Src/lib/f.c into $/Patch/LIB
fault $/Src/lib/f.c share 0x8004D694
project $/Other
share $/Src/lib/g.c into $/Other
fault $/Src/lib/g.c share 0x8004D694
)");
  // The library may spell a link's path otherwise than the project it was looked up by.
  calls().linkSpelling = [](const std::wstring& spec) {
    std::wstring upper = spec;
    for (wchar_t& c : upper) c = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c)));
    return upper;
  };
  const Strings before = dumpLines();
  run();
  const std::wstring exists = L" - 未知错误,代码: -2147166572";
  EXPECT_EQ(window_.unshared, (Lines{L"$/Src/a.c - patch目录原来share过这个文件,但被删除了",
                                     L"$/Src/c.c - 未知错误,代码: 42", L"$/Src/config.h" + exists,
                                     L"$/Src/d.c" + exists, L"$/Src/lib/g.c" + exists}));
  EXPECT_EQ(window_.shared, (Lines{L"$/Src/b.c", L"$/Src/e.c", L"$/Src/lib/f.c"}));
  EXPECT_EQ(window_.boxes.size(), 1u);
  // Only e.c was shared; the foreign config.h is still the patch's own file.
  Strings added;
  for (const std::string& line : dumpLines())
    if (std::find(before.begin(), before.end(), line) == before.end()) added.push_back(line);
  EXPECT_EQ(added, (Strings{"file $/Patch/e.c", "file $/Src/e.c shares $/Patch/e.c"}));
}

// The second file of a folder lists no project and makes no subproject. A patch path typed with
// a trailing "/" is extended without doubling it: every lookup names the subprojects as
// SourceSafe spells paths, for the first file of a folder and for the next.
TEST_F(Share, TheSecondFileOfAFolderCausesNoEnumerationAndNoCreation) {
  seed(
      "file $/Src/app/ui/a.frm by alice at 2024-05-03 10:00\n"
      "file $/Src/app/ui/b.frm by alice at 2024-05-03 10:00\n");
  window_.texts[TextBox::Patch] = L"$/Patch/";
  const auto patchEnumerations = [](const Calls& c) {
    return std::count_if(c.enumerationLog.begin(), c.enumerationLog.end(),
                         [](const std::wstring& s) { return s.rfind(L"$/Patch", 0) == 0; });
  };
  Calls atSecond;
  window_.onEvents = [&] {
    if (window_.status.back() == L"$/Src/app/ui/b.frm") atSecond = calls();
  };
  run();
  EXPECT_EQ(window_.shared, (Lines{L"$/Src/app/ui/a.frm", L"$/Src/app/ui/b.frm"}));
  EXPECT_EQ(patchEnumerations(atSecond), 2);  // one per level, for the first file
  EXPECT_EQ(atSecond.count["newSubproject"], 2);
  EXPECT_EQ(patchEnumerations(calls()), 2);
  EXPECT_EQ(calls().count["newSubproject"], 2);
  // The openings and the start, the first file's chain and target, the second file's target.
  EXPECT_EQ(calls().lookupLog, (Lines{L"$/Patch/", L"$/Src", L"$/Patch/", L"$/Src", L"$/Patch/",
                                      L"$/Patch/app", L"$/Patch/app/ui", L"$/Patch/app/ui"}));
}

TEST_F(Share, ARememberedFolderWhoseTargetIsGoneIsPreparedAgain) {
  seed("file $/Src/app/x.c by alice at 2024-05-03 10:00\nproject $/Patch2\n");
  run();
  window_.texts[TextBox::Patch] = L"$/Patch2";  // a later run into another patch project
  for (int i = 0; i < 2; ++i) {
    calls() = {};
    run();
    EXPECT_EQ(window_.shared, Lines{L"$/Src/app/x.c"});
    EXPECT_EQ(calls().count["newSubproject"], 1);
    EXPECT_EQ(calls().shareLog, Lines{L"$/Patch2/app<-$/Src/app/x.c|0|134225920"});
    EXPECT_EQ(patcher_.state().sharedNames.values(), Lines{L"$/Src/app"});  // remembered once
    seed("delete $/Patch2/app\n");  // subprojects deleted between runs
  }
}

TEST_F(Share, AFileWhoseTargetCannotBePreparedIsListedAndTheWalkGoesOn) {
  seed(R"(
file $/Src/app/x.c by alice at 2024-05-03 10:00
file $/Src/app/y.c by alice at 2024-05-03 10:00
file $/Src/lib/w.c by alice at 2024-05-03 10:00
file $/Src/z.c by alice at 2024-05-03 10:00
)");
  calls().subprojectFaults[L"app"] = static_cast<std::int32_t>(0x8004D6B2);  // a refused name
  calls().lookupFaults[L"$/patch/lib"] = vss::kNotFound;                     // a failed lookup
  run();
  EXPECT_EQ(window_.unshared, (Lines{L"$/Src/app/x.c - 未知错误,代码: -2147166542",
                                     L"$/Src/app/y.c - 未知错误,代码: -2147166542",
                                     L"$/Src/lib/w.c - 未知错误,代码: -2147166577"}));
  EXPECT_EQ(window_.shared, Lines{L"$/Src/z.c"});
  EXPECT_EQ(calls().shareLog.size(), 1u);
  // Folders whose target could not be prepared are not remembered.
  EXPECT_EQ(patcher_.state().sharedNames.values(), Lines{L"$/Src"});
}

using Local = In<ModeOption::Local>;

// Only the selected files are fetched, each into the mirror of its folder below the local root:
// one existence test per level (after populateValue's of the root), a folder that exists reused,
// a missing one made. The library's bookkeeping files (vssver.scc, which it writes into a folder
// when it fetches into the next one, and mssccprj.scc beside a solution) go, but for one that was
// there before.
TEST_F(Local, WritesExactlyTheSelectedFilesWithTheirContentAndListsEachOutcome) {
  seed(R"(
file $/Src/app/ui/p.sln by alice at 2024-05-03 10:00 content "sln"
file $/Src/app/ui/main.frm by alice at 2024-05-03 10:00 content "v1"
version $/Src/app/ui/main.frm by bob at 2024-05-04 10:00 content "main v2"
file $/Src/app/ui/b.frm by alice at 2024-05-03 10:00 content b
file $/Src/app/old.frm by bob at 2024-04-04 10:00
file $/Src/top.c by alice at 2024-05-03 10:00 content "top"
file $/Src/gone/z.c by alice at 2024-05-03 10:00
fault $/Src/gone/z.c get 0x80040000
file $/Src/u.c by alice at 2024-05-03 10:00
fault $/Src/u.c get 0x8004D68F
file $/Src/w.c by alice at 2024-05-03 10:00
fault $/Src/w.c get 0x8004D694
)");
  fs::create_directory(root_ / "out" / "app");
  std::ofstream(root_ / "out" / "vssver.scc") << "mine";
  const std::string before = dump();
  run();
  EXPECT_EQ(window_.shared, (Lines{L"$/Src/app/ui/b.frm", L"$/Src/app/ui/main.frm",
                                   L"$/Src/app/ui/p.sln", L"$/Src/top.c", L"$/Src/w.c"}));
  EXPECT_EQ(window_.unshared, (Lines{L"$/Src/gone/z.c - patch目录原来获得过这个文件,但被删除了",
                                     L"$/Src/u.c - 未知错误,代码: -2147166577"}));
  EXPECT_EQ(localTree(), (Strings{"app/", "app/ui/", "app/ui/b.frm=b", "app/ui/main.frm=main v2",
                                  "app/ui/p.sln=sln", "gone/", "top.c=top", "vssver.scc=mine"}));
  EXPECT_EQ(calls().getLog.front(), out() + L"\\app\\ui\\b.frm|0");
  const std::wstring app = out() + L"\\app", ui = app + L"\\ui";
  Lines folderTests;
  for (const std::wstring& path : platform_.existsCalls)
    if (!path.ends_with(L".scc")) folderTests.push_back(path);
  EXPECT_EQ(Lines(folderTests.begin() + 1, folderTests.end()),
            (Lines{app, ui, app, ui, app, ui, out() + L"\\gone"}));
  EXPECT_EQ(platform_.createCalls, (Lines{ui, out() + L"\\gone"}));
  EXPECT_EQ(dump(), before);
}

// Get leaves a writable copy as it is and still succeeds. Such a copy (edited by hand, or cut short
// by a killed run) is not fetched: the file is unprocessed with "the file exists" (0x80070050)
// and the copy stays as it is. A read-only copy, what a fetch leaves, is replaced at every run.
TEST_F(Local, AWritableCopyIsLeftAsItIsAndTheFileListedAsNotFetched) {
  seed(R"(
file $/Src/app/edited.c by alice at 2024-05-03 10:00 content "from the database"
file $/Src/app/fetched.c by alice at 2024-05-03 10:00 content "new"
file $/Src/cut.c by alice at 2024-05-03 10:00 content "the whole content"
file $/Src/new.c by alice at 2024-05-03 10:00 content "new"
)");
  fs::create_directories(root_ / "out" / "app");
  std::ofstream(root_ / "out" / "app" / "edited.c") << "edited by hand";
  std::ofstream(root_ / "out" / "app" / "fetched.c") << "fetched by an earlier run";
  std::ofstream(root_ / "out" / "cut.c") << "the who";
  fs::permissions(root_ / "out" / "app" / "fetched.c", fs::perms::all & ~fs::perms::owner_write);
  const std::wstring exists = L" - 未知错误,代码: -2147024816";
  const std::wstring edited = out() + L"\\app\\edited.c", fetched = out() + L"\\app\\fetched.c";
  const Strings tree = {"app/", "app/edited.c=edited by hand", "app/fetched.c=new", "cut.c=the who",
                        "new.c=new"};
  for (int round = 1; round <= 2; ++round) {
    SCOPED_TRACE(round);
    reset();
    window_.selected = ModeOption::Local;
    platform_.writableCalls.clear();
    run();
    EXPECT_EQ(window_.shared, (Lines{L"$/Src/app/fetched.c", L"$/Src/new.c"}));
    EXPECT_EQ(window_.unshared, (Lines{L"$/Src/app/edited.c" + exists, L"$/Src/cut.c" + exists}));
    EXPECT_EQ(localTree(), tree);
    EXPECT_EQ(calls().getLog, (Lines{fetched + L"|0", out() + L"\\new.c|0"}));
    // Asked where Get would write, once per file.
    EXPECT_EQ(platform_.writableCalls,
              (Lines{edited, fetched, out() + L"\\cut.c", out() + L"\\new.c"}));
    for (const char* copy : {"app/fetched.c", "new.c"}) {
      EXPECT_EQ(fs::status(root_ / "out" / copy).permissions() & fs::perms::owner_write,
                fs::perms::none)
          << copy;
    }
  }
}

// A root ending in a separator and a project typed in another case are used as typed. With no
// local folder a Local run fetches nothing (the fetch would land in the root of the current
// drive): each selected file is listed with "path not found".
TEST_F(Local, ARootEndingInASeparatorIsUsedAsTypedAndAnEmptyOneFetchesNothing) {
  seed(
      "file $/Src/app/x.c by alice at 2024-05-03 10:00 content x\n"
      "file $/Src/y.c by alice at 2024-05-03 10:00 content y\n");
  window_.texts[TextBox::LocalDir] += L"\\";
  window_.texts[TextBox::Project] = L"$/SRC/";
  run();
  EXPECT_EQ(window_.shared, (Lines{L"$/Src/app/x.c", L"$/Src/y.c"}));
  EXPECT_EQ(platform_.createCalls, Lines{out() + L"\\\\app"});  // nothing normalised
  EXPECT_EQ(calls().getLog, (Lines{out() + L"\\\\app\\x.c|0", out() + L"\\\\y.c|0"}));
  EXPECT_EQ(localTree(), (Strings{"app/", "app/x.c=x", "y.c=y"}));
  reset();
  window_.selected = ModeOption::Local;
  platform_.createCalls.clear();
  window_.texts[TextBox::LocalDir] = L"";
  run();
  EXPECT_TRUE(window_.shared.empty());
  EXPECT_EQ(window_.unshared, (Lines{L"$/Src/app/x.c - 未知错误,代码: -2147024893",
                                     L"$/Src/y.c - 未知错误,代码: -2147024893"}));
  EXPECT_TRUE(calls().getLog.empty());
  EXPECT_TRUE(platform_.createCalls.empty());
}

TEST_F(Local, AFileWhereAFolderIsNeededOrAFolderThatCannotBeMadeListsTheFile) {
  seed(R"(
file $/Src/app/x.c by alice at 2024-05-03 10:00
file $/Src/lib/deep/y.c by alice at 2024-05-03 10:00
file $/Src/locked/v.c by alice at 2024-05-03 10:00
file $/Src/z.c by alice at 2024-05-03 10:00 content z
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
  EXPECT_EQ(localTree(), (Strings{"app=in the way", "lib=in the way", "z.c=z"}));
}

// A name that Windows cannot hold as written is never fetched: nothing is written for it, inside
// the local folder or outside it, and it is listed with the invalid-name status; the rest is
// fetched.
TEST_F(Local, NamesWindowsCannotHoldAreListedAndNothingIsWrittenForThem) {
  seed(R"(
file $/Src/../up.c by alice at 2024-05-03 10:00
file $/Src/./here.c by alice at 2024-05-03 10:00
file $/Src/a by alice at 2024-05-03 10:00 content "a"
file $/Src/a. by alice at 2024-05-03 10:00 content "a dot"
file $/Src/dir/x.c by alice at 2024-05-03 10:00 content x
file $/Src/dir./y.c by alice at 2024-05-03 10:00
file $/Src/NUL by alice at 2024-05-03 10:00
file $/Src/aux.c by alice at 2024-05-03 10:00
file $/Src/COM1/x.c by alice at 2024-05-03 10:00
file $/Src/what?.c by alice at 2024-05-03 10:00
)");
  run();
  const std::wstring invalid = L" - 未知错误,代码: -2147024773";
  EXPECT_EQ(window_.shared, (Lines{L"$/Src/a", L"$/Src/dir/x.c"}));
  EXPECT_EQ(window_.unshared, (Lines{L"$/Src/./here.c" + invalid, L"$/Src/../up.c" + invalid,
                                     L"$/Src/a." + invalid, L"$/Src/aux.c" + invalid,
                                     L"$/Src/COM1/x.c" + invalid, L"$/Src/dir./y.c" + invalid,
                                     L"$/Src/NUL" + invalid, L"$/Src/what?.c" + invalid}));
  EXPECT_EQ(localTree(), (Strings{"a=a", "dir/", "dir/x.c=x"}));
  Strings beside;
  for (const auto& entry : fs::directory_iterator(root_)) beside.push_back(entry.path().filename());
  std::sort(beside.begin(), beside.end());
  EXPECT_EQ(beside, (Strings{"db", "out"}));
}

TEST(LocalNames, WhatWindowsKeepsUnderExactlyItsName) {
  for (const wchar_t* plain : {L"a.c", L".gitignore", L"console.c", L"nul1", L"com10", L"lpt0",
                               L"a b.c", L"中文.c", L"comx.c", L"a..b"}) {
    EXPECT_TRUE(engine::isPlainWindowsName(plain)) << standin::text::narrow(plain);
  }
  for (const wchar_t* odd :
       {L"",         L".",    L"..",          L"a.",         L"a ",   L"CON",   L"con.txt",
        L"Nul .txt", L"com1", L"COM9.tar.gz", L"lpt3",       L"aux",  L"prn.h", L"a<b",
        L"a>b",      L"a:b",  L"a\"b",        L"a/b",        L"a\\b", L"a|b",   L"a?b",
        L"a*b",      L"a\tb", L"CONIN$",      L"com\u00b9.c"}) {
    EXPECT_FALSE(engine::isPlainWindowsName(odd)) << standin::text::narrow(odd);
  }
}

}  // namespace
