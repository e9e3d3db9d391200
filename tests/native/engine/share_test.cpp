// Share runs: the subproject chain below the patch project, the share itself, and the line each
// selected file gets, including the files whose target cannot be prepared.
#include <gtest/gtest.h>

#include "native/engine/fakes.h"

namespace {

using engine::ModeOption;
using engine::TextBox;
using fakes::inRange;

struct ShareRig : fakes::Rig {
  ShareRig() { mode(ModeOption::Share); }
  void addFile(const std::wstring& spec) { store.file(spec, {{L"alice", inRange()}}); }
  // Calls counted from here on, so that a test can look at one run or one file.
  void resetCounts() {
    store.counts = {};
    store.enumerationLog.clear();
    store.newSubprojectLog.clear();
    store.shareLog.clear();
    store.lookupLog.clear();
  }
  int patchEnumerations() const {
    return static_cast<int>(
        std::count_if(store.enumerationLog.begin(), store.enumerationLog.end(),
                      [](const std::wstring& s) { return s.rfind(L"$/Patch", 0) == 0; }));
  }
  std::vector<std::wstring> patchTree() const {
    std::vector<std::wstring> out;
    for (const std::wstring& line : store.tree()) {
      if (line.find(L" $/Patch/") != std::wstring::npos) out.push_back(line);
    }
    return out;
  }
};

TEST(ShareRun, AFileDirectlyInTheProjectGoesIntoThePatchProjectItself) {
  ShareRig rig;
  rig.addFile(L"$/Src/a.txt");
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.store.shareLog, std::vector<std::wstring>{L"$/Patch<-$/Src/a.txt|0|8192"});
  EXPECT_EQ(rig.store.counts.newSubprojects, 0);
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/a.txt"});
  EXPECT_EQ(rig.patchTree(), std::vector<std::wstring>{L"F $/Patch/a.txt"});
}

TEST(ShareRun, MirrorsTheFoldersBelowTheProjectAndCreatesWhatIsMissing) {
  ShareRig rig;
  rig.store.project(L"$/Patch/app");
  rig.addFile(L"$/Src/app/ui/main.frm");
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.store.newSubprojectLog, std::vector<std::wstring>{L"$/Patch/app|ui|"});
  EXPECT_EQ(rig.store.shareLog,
            std::vector<std::wstring>{L"$/Patch/app/ui<-$/Src/app/ui/main.frm|0|8192"});
  EXPECT_EQ(rig.patchTree(), (std::vector<std::wstring>{L"P $/Patch/app", L"P $/Patch/app/ui",
                                                        L"F $/Patch/app/ui/main.frm"}));
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/app/ui/main.frm"});
  EXPECT_EQ(rig.patcher.state().sharedNames.values(), std::vector<std::wstring>{L"$/Src/app/ui"});
}

TEST(ShareRun, SecondFileOfAFolderCausesNoEnumerationAndNoCreation) {
  ShareRig rig;
  rig.addFile(L"$/Src/app/ui/a.frm");
  rig.addFile(L"$/Src/app/ui/b.frm");
  int enumerationsAtSecond = -1, creationsAtSecond = -1, lookupsAtSecond = -1;
  rig.window.onEvents = [&] {
    if (rig.window.status.back() == L"$/Src/app/ui/b.frm") {
      enumerationsAtSecond = rig.patchEnumerations();
      creationsAtSecond = rig.store.counts.newSubprojects;
      lookupsAtSecond = rig.store.counts.lookups;
    }
  };
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(enumerationsAtSecond, 2);  // one per level, for the first file
  EXPECT_EQ(creationsAtSecond, 2);
  EXPECT_EQ(rig.patchEnumerations(), 2);
  EXPECT_EQ(rig.store.counts.newSubprojects, 2);
  EXPECT_EQ(rig.store.counts.lookups, lookupsAtSecond + 1);  // the target, by path
  EXPECT_EQ(rig.window.shared,
            (std::vector<std::wstring>{L"$/Src/app/ui/a.frm", L"$/Src/app/ui/b.frm"}));
}

struct ProjectSpellingCase {
  const char* name;
  std::wstring typedProject;
};

class ProjectSpelling : public testing::TestWithParam<ProjectSpellingCase> {};

TEST_P(ProjectSpelling, MirrorsTheSameFoldersAsTheStoredSpelling) {
  ShareRig rig;
  rig.addFile(L"$/Src/app/x.c");
  rig.addFile(L"$/Src/y.c");
  rig.window.texts[TextBox::Project] = GetParam().typedProject;
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.patchTree(),
            (std::vector<std::wstring>{L"P $/Patch/app", L"F $/Patch/app/x.c", L"F $/Patch/y.c"}));
  EXPECT_EQ(rig.window.shared, (std::vector<std::wstring>{L"$/Src/app/x.c", L"$/Src/y.c"}));
  EXPECT_TRUE(rig.window.unshared.empty());
}

INSTANTIATE_TEST_SUITE_P(Typed, ProjectSpelling,
                         testing::Values(ProjectSpellingCase{"AsStored", L"$/Src"},
                                         ProjectSpellingCase{"TrailingSlash", L"$/Src/"},
                                         ProjectSpellingCase{"OtherCase", L"$/sRC"},
                                         ProjectSpellingCase{"OtherCaseAndSlash", L"$/SRC/"}),
                         [](const testing::TestParamInfo<ProjectSpellingCase>& info) {
                           return info.param.name;
                         });

TEST(ShareRun, TheProjectPathIsRemovedOnlyFromTheFront) {
  ShareRig rig;
  rig.store.file(L"$/Src/lib/Src/k.c", {{L"alice", inRange()}});
  rig.window.texts[TextBox::Project] = L"$/Src";
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.store.shareLog,
            std::vector<std::wstring>{L"$/Patch/lib/Src<-$/Src/lib/Src/k.c|0|8192"});
}

TEST(ShareRun, WalkingTheRootMirrorsEveryProjectBelowIt) {
  ShareRig rig;
  rig.store.file(L"$/Other/q.c", {{L"alice", inRange()}});
  rig.window.texts[TextBox::Project] = L"$/";
  rig.window.texts[TextBox::Patch] = L"$/Patch";
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.store.shareLog, std::vector<std::wstring>{L"$/Patch/Other<-$/Other/q.c|0|8192"});
}

TEST(ShareRun, AnExistingSubprojectInAnotherCaseIsUsed) {
  ShareRig rig;
  rig.store.project(L"$/Patch/APP");
  rig.addFile(L"$/Src/app/x.c");
  rig.patcher.cmdPatch_Click();
  // Not recognised by name, so creation is asked for; the library's refusal is taken as
  // "it is there" and the chain goes on.
  EXPECT_EQ(rig.store.newSubprojectLog, std::vector<std::wstring>{L"$/Patch|app|"});
  EXPECT_EQ(rig.store.shareLog, std::vector<std::wstring>{L"$/Patch/APP<-$/Src/app/x.c|0|8192"});
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/app/x.c"});
}

TEST(ShareRun, ADeletedSubprojectOfThatNameIsNotReused) {
  ShareRig rig;
  rig.store.project(L"$/Patch/app");
  rig.store.remove(L"$/Patch/app");
  rig.addFile(L"$/Src/app/x.c");
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.store.newSubprojectLog, std::vector<std::wstring>{L"$/Patch|app|"});
  EXPECT_EQ(rig.patchTree(), (std::vector<std::wstring>{L"P $/Patch/app", L"F $/Patch/app/x.c"}));
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/app/x.c"});
}

TEST(ShareRun, ARefusedSubprojectListsTheFileAndTheNextFilePreparesAgain) {
  ShareRig rig;
  rig.addFile(L"$/Src/app/x.c");
  rig.addFile(L"$/Src/app/y.c");
  rig.addFile(L"$/Src/z.c");
  rig.store.subprojectFaults[L"app"] = static_cast<std::int32_t>(0x8004D6B2);
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.unshared,
            (std::vector<std::wstring>{L"$/Src/app/x.c - 未知错误,代码: -2147166542",
                                       L"$/Src/app/y.c - 未知错误,代码: -2147166542"}));
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/z.c"});
  EXPECT_EQ(rig.store.counts.newSubprojects, 2);  // the folder was not remembered
  EXPECT_EQ(rig.patcher.state().sharedNames.values(), std::vector<std::wstring>{L"$/Src"});
}

TEST(ShareRun, AFailedLookupOfTheChainListsTheFile) {
  ShareRig rig;
  rig.addFile(L"$/Src/app/x.c");
  rig.store.lookupFaults[L"$/patch/app"] = static_cast<std::int32_t>(0x8004D68F);
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.unshared,
            std::vector<std::wstring>{L"$/Src/app/x.c - 未知错误,代码: -2147166577"});
  EXPECT_EQ(rig.store.counts.shares, 0);
}

struct ShareOutcomeCase {
  const char* name;
  std::optional<std::int32_t> status;
  bool processed;
  std::wstring reason;
};

class ShareOutcome : public testing::TestWithParam<ShareOutcomeCase> {};

TEST_P(ShareOutcome, IsListedByItsStatus) {
  ShareRig rig;
  rig.addFile(L"$/Src/a.c");
  rig.addFile(L"$/Src/b.c");
  if (GetParam().status) rig.store.failShare(L"$/Src/a.c", *GetParam().status);
  rig.patcher.cmdPatch_Click();
  const std::wstring line = L"$/Src/a.c" + GetParam().reason;
  if (GetParam().processed) {
    EXPECT_EQ(rig.window.shared, (std::vector<std::wstring>{line, L"$/Src/b.c"}));
    EXPECT_TRUE(rig.window.unshared.empty());
  } else {
    EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/b.c"});
    EXPECT_EQ(rig.window.unshared, std::vector<std::wstring>{line});
  }
  EXPECT_EQ(rig.window.boxes.size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ShareOutcome,
    testing::Values(ShareOutcomeCase{"Success", std::nullopt, true, L""},
                    ShareOutcomeCase{"AlreadyThere", vss::kItemExists, true, L""},
                    ShareOutcomeCase{"DeletedThere", vss::kDeletedOrDamaged, false,
                                     L" - patch目录原来share过这个文件,但被删除了"},
                    ShareOutcomeCase{"Unknown", vss::kAlreadyShared, false,
                                     L" - 未知错误,代码: -2147166418"},
                    ShareOutcomeCase{"UnknownPositive", 42, false, L" - 未知错误,代码: 42"}),
    [](const testing::TestParamInfo<ShareOutcomeCase>& info) { return info.param.name; });

TEST(ShareRun, AFileDeletedFromThePatchProjectIsReported) {
  ShareRig rig;
  rig.addFile(L"$/Src/a.c");
  rig.patcher.cmdPatch_Click();
  rig.store.remove(L"$/Patch/a.c");
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.unshared,
            std::vector<std::wstring>{L"$/Src/a.c - patch目录原来share过这个文件,但被删除了"});
}

TEST(ShareRun, ASecondRunOverTheSameRangeListsEveryFileAsProcessed) {
  ShareRig rig;
  rig.addFile(L"$/Src/a.c");
  rig.addFile(L"$/Src/d/b.c");
  rig.patcher.cmdPatch_Click();
  const auto treeAfterFirst = rig.store.tree();
  rig.resetCounts();
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.shared, (std::vector<std::wstring>{L"$/Src/a.c", L"$/Src/d/b.c"}));
  EXPECT_TRUE(rig.window.unshared.empty());
  EXPECT_EQ(rig.store.tree(), treeAfterFirst);
  EXPECT_EQ(rig.store.counts.newSubprojects, 0);
  EXPECT_EQ(rig.patchEnumerations(), 0);
}

TEST(ShareRun, ASecondRunIntoAnotherPatchProjectPreparesTheChainThere) {
  ShareRig rig;
  rig.store.project(L"$/Patch2");
  rig.addFile(L"$/Src/app/x.c");
  rig.patcher.cmdPatch_Click();
  rig.window.texts[TextBox::Patch] = L"$/Patch2";
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/app/x.c"});
  EXPECT_TRUE(rig.store.find(L"$/Patch2/app/x.c") != nullptr);
  // The folder stays remembered once, whatever the number of preparations.
  EXPECT_EQ(rig.patcher.state().sharedNames.values(), std::vector<std::wstring>{L"$/Src/app"});
}

TEST(ShareRun, SubprojectsDeletedBetweenRunsArePreparedAgain) {
  ShareRig rig;
  rig.addFile(L"$/Src/app/x.c");
  rig.patcher.cmdPatch_Click();
  rig.store.remove(L"$/Patch/app");
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/app/x.c"});
  EXPECT_EQ(rig.store.counts.newSubprojects, 2);
  EXPECT_TRUE(rig.store.find(L"$/Patch/app/x.c") != nullptr);
}

TEST(ShareRun, PatchProjectTypedWithATrailingSlashGetsNoDoubledSeparator) {
  ShareRig rig;
  rig.addFile(L"$/Src/app/x.c");
  rig.window.texts[TextBox::Patch] = L"$/Patch/";
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/app/x.c"});
  for (const std::wstring& path : rig.store.lookupLog) {
    EXPECT_EQ(path.find(L"//"), std::wstring::npos) << std::string(path.begin(), path.end());
  }
}

TEST(ShareRun, OneSharePerSelectedFileAndNothingElse) {
  ShareRig rig;
  rig.addFile(L"$/Src/app/x.c");
  rig.addFile(L"$/Src/app/y.c");
  rig.patcher.cmdPatch_Click();
  // One Share per selected file and nothing else changed below the patch project.
  EXPECT_EQ(rig.store.counts.shares, 2);
  EXPECT_EQ(rig.patchTree(), (std::vector<std::wstring>{L"P $/Patch/app", L"F $/Patch/app/x.c",
                                                        L"F $/Patch/app/y.c"}));
}

}  // namespace
