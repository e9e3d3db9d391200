// Local runs: the folder chain below the local root, the fetch, and the line each selected file
// gets, including the files whose folder cannot be made.
#include <gtest/gtest.h>

#include "native/engine/fakes.h"

namespace {

using engine::ModeOption;
using engine::TextBox;
using fakes::inRange;

struct LocalRig : fakes::Rig {
  LocalRig() { mode(ModeOption::Local); }
  void addFile(const std::wstring& spec, const std::wstring& content = L"") {
    store.file(spec, {{L"alice", inRange()}}, content);
  }
  // Existence tests made by the run's folder chains (populateValue's test of the root excluded).
  std::vector<std::wstring> chainTests() const {
    return {platform.existsCalls.begin() + 1, platform.existsCalls.end()};
  }
};

TEST(LocalRun, AFileDirectlyInTheProjectIsFetchedIntoTheRoot) {
  LocalRig rig;
  rig.addFile(L"$/Src/a.txt", L"alpha");
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.store.getLog, std::vector<std::wstring>{L"D:\\out\\a.txt|0"});
  ASSERT_TRUE(rig.fs.isFile(L"D:\\out\\a.txt"));
  EXPECT_EQ(rig.fs.find(L"D:\\out\\a.txt")->content, L"alpha");
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/a.txt"});
  EXPECT_TRUE(rig.chainTests().empty());
  EXPECT_EQ(rig.patcher.state().localTargetDir, L"D:\\out");
}

TEST(LocalRun, MirrorsTheFoldersOneTestPerLevel) {
  LocalRig rig;
  rig.addFile(L"$/Src/app/ui/main.frm");
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.chainTests(), (std::vector<std::wstring>{L"D:\\out\\app", L"D:\\out\\app\\ui"}));
  EXPECT_EQ(rig.fs.createCalls, (std::vector<std::wstring>{L"D:\\out\\app", L"D:\\out\\app\\ui"}));
  EXPECT_EQ(rig.store.getLog, std::vector<std::wstring>{L"D:\\out\\app\\ui\\main.frm|0"});
  EXPECT_EQ(rig.fs.tree(L"D:\\out"),
            (std::vector<std::wstring>{L"app\\", L"app\\ui\\", L"app\\ui\\main.frm"}));
  EXPECT_EQ(rig.patcher.state().localTargetDir, L"D:\\out\\app\\ui");
}

TEST(LocalRun, EveryFileBuildsItsChainAfresh) {
  LocalRig rig;
  rig.addFile(L"$/Src/app/ui/a.frm");
  rig.addFile(L"$/Src/app/ui/b.frm");
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.chainTests().size(), 4u);
  EXPECT_EQ(rig.fs.createCalls.size(), 2u);
  EXPECT_EQ(rig.window.shared,
            (std::vector<std::wstring>{L"$/Src/app/ui/a.frm", L"$/Src/app/ui/b.frm"}));
}

TEST(LocalRun, ARootEndingInASeparatorKeepsTheDoubledSeparator) {
  LocalRig rig;
  rig.window.texts[TextBox::Share] = L"D:\\out\\";
  rig.addFile(L"$/Src/app/x.c");
  rig.addFile(L"$/Src/y.c");
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.fs.createCalls, std::vector<std::wstring>{L"D:\\out\\\\app"});
  EXPECT_EQ(rig.store.getLog,
            (std::vector<std::wstring>{L"D:\\out\\\\app\\x.c|0", L"D:\\out\\\\y.c|0"}));
  EXPECT_EQ(rig.window.shared.size(), 2u);
}

TEST(LocalRun, FoldersThatExistInAnotherCaseAreReused) {
  LocalRig rig;
  rig.fs.addFolder(L"D:\\OUT\\APP");
  rig.addFile(L"$/Src/app/x.c");
  rig.patcher.cmdPatch_Click();
  EXPECT_TRUE(rig.fs.createCalls.empty());
  EXPECT_EQ(rig.store.getLog, std::vector<std::wstring>{L"D:\\out\\app\\x.c|0"});
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/app/x.c"});
}

TEST(LocalRun, AProjectTypedInAnotherCaseMirrorsTheStoredFolders) {
  for (const std::wstring typed : {L"$/src", L"$/SRC/"}) {
    LocalRig rig;
    rig.window.texts[TextBox::Project] = typed;
    rig.addFile(L"$/Src/app/x.c");
    rig.patcher.cmdPatch_Click();
    EXPECT_EQ(rig.fs.tree(L"D:\\out"), (std::vector<std::wstring>{L"app\\", L"app\\x.c"}));
  }
}

TEST(LocalRun, AFileWhereTheLastFolderShouldBeFailsTheFetch) {
  LocalRig rig;
  rig.fs.addFile(L"D:\\out\\app", L"in the way");
  rig.addFile(L"$/Src/app/x.c");
  rig.patcher.cmdPatch_Click();
  EXPECT_TRUE(rig.fs.createCalls.empty());
  EXPECT_EQ(rig.store.getLog, std::vector<std::wstring>{L"D:\\out\\app\\x.c|0"});
  EXPECT_EQ(rig.window.unshared,
            std::vector<std::wstring>{L"$/Src/app/x.c - 未知错误,代码: -2147024893"});
  EXPECT_EQ(rig.fs.find(L"D:\\out\\app")->content, L"in the way");
}

TEST(LocalRun, AFileWhereADeeperFolderIsNeededListsTheFileWithoutFetching) {
  LocalRig rig;
  rig.fs.addFile(L"D:\\out\\app");
  rig.addFile(L"$/Src/app/ui/x.c");
  rig.addFile(L"$/Src/y.c");
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.fs.createCalls, std::vector<std::wstring>{L"D:\\out\\app\\ui"});
  EXPECT_EQ(rig.store.getLog, std::vector<std::wstring>{L"D:\\out\\y.c|0"});
  EXPECT_EQ(rig.window.unshared,
            std::vector<std::wstring>{L"$/Src/app/ui/x.c - 未知错误,代码: -2147024893"});
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src/y.c"});
}

TEST(LocalRun, AFolderThatCannotBeMadeListsTheFileAndTheWalkGoesOn) {
  LocalRig rig;
  rig.fs.failCreate[L"D:\\out\\locked"] = fakes::FakeFileSystem::kAccessDenied;
  rig.addFile(L"$/Src/a.c");
  rig.addFile(L"$/Src/locked/deeper/x.c");
  rig.addFile(L"$/Src/z.c");
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.unshared,
            std::vector<std::wstring>{L"$/Src/locked/deeper/x.c - 未知错误,代码: -2147024891"});
  EXPECT_EQ(rig.window.shared, (std::vector<std::wstring>{L"$/Src/a.c", L"$/Src/z.c"}));
  EXPECT_EQ(rig.fs.createCalls, std::vector<std::wstring>{L"D:\\out\\locked"});
  EXPECT_EQ(rig.store.counts.gets, 2);
  EXPECT_EQ(rig.window.boxes.size(), 1u);
}

TEST(LocalRun, AFolderNameTheFileSystemRefusesListsTheFile) {
  LocalRig rig;
  rig.addFile(L"$/Src/a?b/x.c");
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.unshared,
            std::vector<std::wstring>{L"$/Src/a?b/x.c - 未知错误,代码: -2147024773"});
}

TEST(LocalRun, AFailedChainKeepsThePreviousTargetFolder) {
  LocalRig rig;
  rig.fs.failCreate[L"D:\\out\\bad"] = fakes::FakeFileSystem::kAccessDenied;
  rig.addFile(L"$/Src/good/a.c");
  rig.addFile(L"$/Src/bad/b.c");
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.patcher.state().localTargetDir, L"D:\\out\\good");
  EXPECT_EQ(rig.window.unshared.size(), 1u);
}

TEST(LocalRun, WithoutALocalRootEveryFileIsListedAndNothingIsWritten) {
  LocalRig rig;
  rig.window.texts[TextBox::Share] = L"";
  rig.addFile(L"$/Src/a.c");
  rig.addFile(L"$/Src/d/b.c");
  rig.patcher.cmdPatch_Click();
  EXPECT_EQ(rig.window.unshared,
            (std::vector<std::wstring>{L"$/Src/a.c - 未知错误,代码: -2147024893",
                                       L"$/Src/d/b.c - 未知错误,代码: -2147024893"}));
  EXPECT_EQ(rig.store.counts.gets, 0);
  EXPECT_TRUE(rig.fs.createCalls.empty());
}

struct FetchOutcomeCase {
  const char* name;
  std::optional<std::int32_t> status;
  bool processed;
  std::wstring reason;
};

class FetchOutcome : public testing::TestWithParam<FetchOutcomeCase> {};

TEST_P(FetchOutcome, IsListedByItsStatus) {
  LocalRig rig;
  rig.addFile(L"$/Src/a.c");
  rig.addFile(L"$/Src/b.c");
  if (GetParam().status) rig.store.failGet(L"$/Src/a.c", *GetParam().status);
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
    Table, FetchOutcome,
    testing::Values(FetchOutcomeCase{"Success", std::nullopt, true, L""},
                    FetchOutcomeCase{"AlreadyExistsCountsAsDone", vss::kItemExists, true, L""},
                    FetchOutcomeCase{"FetchedThenDeleted", vss::kDeletedOrDamaged, false,
                                     L" - patch目录原来获得过这个文件,但被删除了"},
                    FetchOutcomeCase{"Unknown", vss::kNotFound, false,
                                     L" - 未知错误,代码: -2147166577"}),
    [](const testing::TestParamInfo<FetchOutcomeCase>& info) { return info.param.name; });

TEST(GetVSSLocal, AFileOutsideTheProjectKeepsItsWholePath) {
  // Only reachable by calling the action directly: the walk meets files below the project only.
  LocalRig rig;
  rig.addFile(L"$/Src2/x.c");
  rig.patcher.populateValue();
  fakes::FakeDatabase db(rig.store);
  db.open(L"C:\\vss\\srcsafe.ini", L"admin", L"secret");
  auto file = db.vssItem(L"$/Src2/x.c", false);
  rig.patcher.getVSSLocal(*file, nullptr);
  EXPECT_EQ(rig.store.getLog, std::vector<std::wstring>{L"D:\\out\\$\\Src2\\x.c|0"});
  EXPECT_EQ(rig.window.shared, std::vector<std::wstring>{L"$/Src2/x.c"});
}

TEST(LocalRun, NothingIsCreatedOrFetchedForFilesThatAreNotSelected) {
  LocalRig rig;
  rig.store.file(L"$/Src/old/a.c", {{L"alice", fakes::beforeRange()}});
  rig.patcher.cmdPatch_Click();
  EXPECT_TRUE(rig.fs.createCalls.empty());
  EXPECT_EQ(rig.store.counts.gets, 0);
  EXPECT_TRUE(rig.fs.tree(L"D:\\out").empty());
}

}  // namespace
