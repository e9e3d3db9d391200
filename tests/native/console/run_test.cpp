// Whole runs of the console program over stand-in stores: its lists are the window's lists for
// the same inputs, its exit status and its messages tell a script how the run went, and what it
// cannot use it refuses before the database is opened.
#include "console/run.h"

#include "console/console_window.h"
#include "console/question_texts.h"
#include "engine/texts.h"
#include "native/console/run_fixture.h"

namespace {

using namespace consoletest;

// Without destinations the processed list is standard output, exactly, and the unprocessed list
// goes to standard error before the summary; without --encoding, in the code page. List files
// are written in the chosen encoding.
TEST_F(ConsoleRun, ListsGoToTheStandardStreamsByDefaultInTheCodePage) {
  // Selected in three folders, one before the range, one after it, a damaged one.
  seed(R"(
file $/Src/main.c by zhang at "2024-05-02 10:00"
file $/Src/lib/io/read.c by li at "2024-05-01 09:00"
version $/Src/lib/io/read.c by li at "2024-05-03 11:00"
file $/Src/lib/io/write.c by li at "2024-04-01 09:00"
file $/Src/lib/ui/菜单.c by wang at "2024-05-04 15:30"
file $/Src/docs/notes.txt by chen at "2024-06-06 08:00"
file $/Src/lib/io/broken.c by chen at "2024-05-02 12:00"
fault $/Src/lib/io/broken.c versions 0x80040000
)");
  const Lines processed = {L"$/Src/lib/io/read.c", L"$/Src/lib/ui/菜单.c", L"$/Src/main.c"};
  const std::wstring damaged = L"$/Src/lib/io/broken.c - VSS上这个文件是损坏的";
  EXPECT_EQ(cli({L"--ini", L"job.ini"}), kSomeUnprocessed);
  EXPECT_EQ(env_.term.encoding, console::Encoding::Ansi);
  EXPECT_EQ(env_.term.out, listText(processed));
  EXPECT_EQ(env_.term.err, damaged + L"\r\n" + summary(3, 1));

  // One list on standard output, the other into a file, in the test's stand-in code page.
  EXPECT_EQ(cli({L"--ini", L"job.ini", L"--unprocessed", L"-", L"--processed", file("p.txt")}),
            kSomeUnprocessed);
  EXPECT_EQ(env_.term.out, damaged);
  EXPECT_EQ(env_.term.err, summary(3, 1));
  EXPECT_EQ(read("p.txt"), "$/Src/lib/io/read.c\r\n$/Src/lib/ui/??.c\r\n$/Src/main.c");

  EXPECT_EQ(cliWithLists({L"--encoding", L"utf8"}), kSomeUnprocessed);
  EXPECT_EQ(env_.term.encoding, console::Encoding::Utf8);
  EXPECT_EQ(read("p.txt"), utf8(listText(processed)));
  EXPECT_EQ(read("u.txt"), utf8(damaged));
}

// One case per way a run can end: what standard error says ("S(p,u)" stands for the summary
// line), the status, and whether the database was opened at all.
TEST_F(ConsoleRun, TheExitStatusTellsHowTheRunWent) {
  namespace et = engine::texts;
  struct Case {
    std::string script;  // the store, after the user Admin, $/Src and $/Patch
    Args options;
    int status;
    std::wstring errorOutput;
    bool opened;
    std::function<void()> prepare = nullptr;
    const wchar_t* mode = L"View";
  };
  const std::string a = "file $/Src/a.c at 2024-05-02 10:00\n";
  const std::string b = "file $/Src/b.c at 2024-05-03 10:00\n";
  const std::string built =
      "file $/Src/old.c at 2024-04-01 10:00\nlabel $/Src B by Compileruser at 2024-05-20 18:00\n";
  const std::wstring localDir = out() + L"/a/b";
  const std::wstring unexpected = et::kUnexpectedFailure + L"boom\r\n"s;
  const std::vector<Case> cases = {
      {a + "fault $/Src/a.c versions 0x80040000", Args{}, kSomeUnprocessed, L"S(0,1)", true},
      // A history that cannot be read: the window's box, the file listed nowhere.
      {a + "fault $/Src/a.c versions 0x8004D68F text Lost\n" + b, Args{}, kSomeUnprocessed,
       L"$/Src/a.c: Lost\r\nS(1,1)", true},
      {a + "fault $/Src/a.c share 0x80070005", Args{L"--mode", L"vss"}, kSomeUnprocessed, L"S(0,1)",
       true, nullptr, L"VSS"},
      {a, Args{L"--mode", L"vss", L"--patch", L""}, kAllProcessed, L"S(1,0)", true},  // lists
      // A build label in the range selects what it labels unless the build user is ignored (the
      // settings file here does not ignore it).
      {built, Args{}, kAllProcessed, L"S(1,0)", true},
      {built, Args{L"--ignore-build-user"}, kAllProcessed, L"S(0,0)", true},
      {"", Args{}, kInvalidInput, L"Invalid password\r\n", true,
       [this] { job().values.passwd = L"wrong"; }},
      // The password variable, where set, stands for the file's password.
      {"", Args{}, kInvalidInput, L"Invalid password\r\n", true,
       [this] { env_.variables[console::kPasswordVariable] = L"wrong"; }},
      {"", Args{L"--user", L"", L"--project", L""}, kInvalidInput,
       L"VSS项目路径必需输入\r\n用户名必需输入\r\n密码必需输入\r\n"s + ct::kPasswordHint + L"\r\n",
       false, [this] { job().values.passwd.clear(); }},
      {"", Args{L"--start", L"2024-07-01 00:00"}, kInvalidInput, L"开始时间不能大于结束时间\r\n",
       false},
      // A login without a password runs when the job gives the empty password: an empty passwd=
      // in the file, or the variable set to an empty value (also for a label bound); a password
      // that is simply missing is still refused.
      {"user Admin\n" + a, Args{}, kAllProcessed, L"S(1,0)", true,
       [this] { job().values.passwd.clear(), job().passwdGiven = true; }},
      {"user Admin\n" + built, Args{L"--since-label", L"B"}, kAllProcessed,
       console::texts::labelBound(true, L"B", L"2024-05-20 18:00:00") + L"\r\nS(0,0)", true,
       [this] { job().values.passwd.clear(), env_.variables[console::kPasswordVariable] = L""; }},
      {"user Admin\n" + a, Args{}, kInvalidInput,
       L"密码必需输入\r\n"s + ct::kPasswordHint + L"\r\n", false,
       [this] { job().values.passwd.clear(); }},
      {"", Args{L"--mode", L"local", L"--local-dir", localDir}, kInvalidInput,
       ct::kLocalDirNotCreated + localDir + ct::kSystemError + L"3)\r\n", false},
      // A local folder outside Local mode is nobody's concern. In Local mode one that is no full
      // path is made full against the current folder before the run, and the summary names it.
      {a, Args{L"--local-dir", localDir}, kAllProcessed, L"S(1,0)", true},
      {a, Args{L"--mode", L"local", L"--local-dir", L"out/../fetched"}, kAllProcessed,
       ct::kLocalFolder + file("fetched") + L"\r\nS(1,0)", true, nullptr, L"Local"},
      // The walk's database does not open: the run ends early.
      {a, Args{}, kUnexpectedFailure,
       L"Injected failure of open\r\n"s + et::kRunStopped + L"\r\nS(0,0)", true,
       [this] { failTheWalksOpening(); }},
      {a, Args{L"--target-user", L"x"}, kUnexpectedFailure, unexpected, false,
       [this] { platform_.throwAtLower = 1; }},
      {a + b, Args{L"--target-user", L"admin"}, kUnexpectedFailure,
       unexpected + et::kRunStopped + L"\r\nS(1,0)", true, [this] { platform_.throwAtLower = 3; }},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n++);
    reset();
    platform_.lowers = platform_.throwAtLower = 0;
    env_.variables.clear();
    resetJob();
    fs::remove_all(root_ / "db");
    store("db", "user Admin password secret\nproject $/Src\nproject $/Patch\n" + c.script);
    if (c.prepare) c.prepare();
    EXPECT_EQ(cliWithLists(c.options), c.status);
    std::wstring expected = c.errorOutput;
    if (const std::size_t at = expected.find(L"S("); at != std::wstring::npos) {
      expected.replace(at, 6, summary(expected[at + 2] - L'0', expected[at + 4] - L'0', c.mode));
    }
    EXPECT_EQ(env_.term.err, expected);
    EXPECT_EQ(calls().count["open"] > 0, c.opened);
  }
}

// What cannot be used is refused with status 2 before the database is opened, and every file
// stays as it was. A list is never written over the job's own files or over the other list,
// whatever the spelling of the paths ("./", "..", a hard link; letter case and short names are
// the Windows tests'): not the settings file, not the database's srcsafe.ini nor anything in its
// folder. Nor is a report, which must be writable as a list must be. (Each refusal of the command
// line itself: options_test.cpp.)
TEST_F(ConsoleRun, WhatCannotBeUsedIsRefusedBeforeAnythingIsOpened) {
  using enum console::SettingsFile::Problem;
  env_.files[L"locked.ini"] = {Unreadable, 32, {}, {}};  // with the system's error
  env_.files[L"folder.ini"] = {Unreadable, 0, {}, {}};
  env_.files[L"cut.ini"] = job();
  env_.files[L"cut.ini"].cutKeys = {L"host", L"localDir"};
  std::ofstream(root_ / "job.ini") << "[cfg]\r\n";  // the values come from the test's settings
  std::ofstream(root_ / "p.txt") << "yesterday's processed";
  std::ofstream(root_ / "u.txt") << "yesterday";
  std::ofstream(root_ / "locked.txt") << "read-only";
  fs::permissions(root_ / "locked.txt", fs::perms::owner_write, fs::perm_options::remove);
  for (const char* folder : {"sub", "dbx", "folder.csv"}) fs::create_directories(root_ / folder);
  fs::create_hard_link(root_ / "p.txt", root_ / "sub" / "link.txt");
  const std::wstring db = file("db"), missing = file("no/such/folder/p.txt");
  const std::vector<std::pair<Args, std::wstring>> cases = {
      {{L"--mode", L"all"}, ct::kBadValue + L"--mode all\r\n"s + ct::kSeeHelp},
      {{L"--ini", L"nope.ini"}, ct::kIniNotFound + L"nope.ini"s},
      {{L"--ini", L"locked.ini"}, ct::kIniUnreadable + L"locked.ini"s + ct::kSystemError + L"32)"},
      {{L"--ini", L"folder.ini"}, ct::kIniUnreadable + L"folder.ini"s},
      {{L"--ini", L"cut.ini"}, ct::kValueTooLong + L"host\r\n"s + ct::kValueTooLong + L"localDir"},
      {{L"--processed", missing}, ct::kListNotWritable + missing + ct::kSystemError + L"3)"},
      {{L"--unprocessed", L"locked.txt"},
       ct::kListNotWritable + L"locked.txt"s + ct::kSystemError + L"5)"},
      {{L"--start", L"12:00"}, L"开始时间格式有误"},
      {{L"--end", L"23:59:59"}, L"结束时间格式有误"},
      {{L"--unprocessed", L"sub/../job.ini"}, ct::kListIsSettingsFile + L"sub/../job.ini"s},
      {{L"--unprocessed", db + L"/srcsafe.ini"}, ct::kListInDatabase + db + L"/srcsafe.ini"},
      {{L"--processed", db + L"/./data/journal.txt"},
       ct::kListInDatabase + db + L"/./data/journal.txt"},
      {{L"--processed", L"p.txt", L"--unprocessed", L"sub/../p.txt"},
       ct::kSameListFile + L"p.txt"s},
      {{L"--processed", L"sub/link.txt", L"--unprocessed", L"p.txt"},
       ct::kSameListFile + L"sub/link.txt"s},
      {{L"--processed", L"new.txt", L"--unprocessed", L"sub/../new.txt"},
       ct::kSameListFile + L"new.txt"s},
      {{L"--report", L"folder.csv"},
       ct::kReportNotWritable + L"folder.csv"s + ct::kSystemError + L"5)"},
      {{L"--report", L"r.csv", L"--processed", L"./r.csv"}, ct::kReportIsAList + L"r.csv"s},
  };
  const Strings before = localTree("");
  for (const auto& [args, message] : cases) {
    SCOPED_TRACE(standin::text::narrow(args.back()));
    reset();
    // A later option wins: the settings file and the unprocessed list may be given again.
    Args all = {L"--ini", L"job.ini", L"--unprocessed", L"u.txt"};
    all.insert(all.end(), args.begin(), args.end());
    EXPECT_EQ(cli(all), kInvalidInput);
    EXPECT_EQ(env_.term.err, message + L"\r\n");
    EXPECT_EQ(env_.term.out, L"");
    EXPECT_EQ(calls().count["open"], 0);
    EXPECT_EQ(localTree(""), before);
  }
  // A folder beside the database's, whose name begins alike, is no part of it.
  EXPECT_EQ(
      cli({L"--ini", L"job.ini", L"--processed", L"dbx/p.txt", L"--unprocessed", L"sub/u.txt"}),
      kAllProcessed);
  EXPECT_EQ(read("p.txt"), "yesterday's processed");
}

// How each end of a run leaves the list files: a refused run (status 2) leaves them as they were
// and no temporary file; every other run puts its lists in place, also one that a failure
// ended (status 3: the lists hold what was done). A list that cannot be moved into place stays
// whole under its temporary name, and the run says where (status 3). A device takes a list as
// it comes: nothing is made beside it, nothing moved over it.
TEST_F(ConsoleRun, ARefusedRunLeavesTheListsAsTheyWereAndEveryOtherPutsThemInPlace) {
  const std::vector<std::tuple<std::function<void()>, Args, int, std::string>> cases = {
      {[this] { job().values.passwd = L"wrong"; }, {}, kInvalidInput, "before"},
      {[this] { job().values.user.clear(); }, {}, kInvalidInput, "before"},
      {[] {}, {L"--mode", L"vss", L"--patch", L"$/Nope"}, kInvalidInput, "before"},
      {[this] { failTheWalksOpening(); }, {}, kUnexpectedFailure, ""},
      {[] {}, {}, kAllProcessed, "$/Src/a.c"},
      {[] {}, {L"--processed", L"/dev/null"}, kAllProcessed, "before"},
  };
  seed("file $/Src/a.c at 2024-05-02 10:00\n");
  for (const auto& [prepare, options, status, processed] : cases) {
    SCOPED_TRACE(status);
    reset();
    resetJob();
    std::ofstream(root_ / "p.txt") << "before";
    std::ofstream(root_ / "u.txt") << "before";
    env_.disk.replaced.clear();
    prepare();
    EXPECT_EQ(cliWithLists(options), status);
    EXPECT_EQ(filesIn(root_),
              (Strings{"p.txt=" + processed, status == kInvalidInput ? "u.txt=before" : "u.txt="}));
  }
  EXPECT_EQ(env_.disk.replaced,  // of the device's run
            std::vector<std::wstring>{file("u.txt.4242.tmp") + L">" + file("u.txt")});
  // The move refused: the whole list stays under its temporary name.
  reset();
  std::ofstream(root_ / "p.txt") << "before";
  env_.disk.failReplace = 5;
  EXPECT_EQ(cliWithLists({}), kUnexpectedFailure);
  const std::wstring kept = file("p.txt") + L".4242.tmp";
  EXPECT_EQ(env_.term.err, ct::kListNotMoved + kept + ct::kSystemError + L"5)\r\n" +
                               ct::kListNotMoved + file("u.txt") + L".4242.tmp" + ct::kSystemError +
                               L"5)\r\n" + summary(1, 0));
  EXPECT_EQ(read("p.txt.4242.tmp"), "$/Src/a.c");
  EXPECT_EQ(read("p.txt"), "before");
}

// The progress line names the file being looked at, at most once per interval, and only where a
// console shows it; otherwise the run does not even read the clock per file.
TEST_F(ConsoleRun, TheProgressLineFollowsTheFilesAtMostOncePerInterval) {
  std::string script;
  for (int i = 0; i < 40; ++i) {
    script += "file $/Src/f" + std::to_string(100 + i) + ".c at 2024-05-02 10:00\n";
  }
  seed(script);
  int reads = 0;
  env_.clock = [&reads](std::int64_t now) { return ++reads, now + 30; };
  EXPECT_EQ(cliWithLists({}), kAllProcessed);
  EXPECT_EQ(env_.term.shown, std::vector<std::wstring>{});
  EXPECT_LE(reads, 2);  // the start and the end of the run

  progress_ = true;
  EXPECT_EQ(cliWithLists({}), kAllProcessed);
  // 30 ms a file: the first file, then the first file a whole interval later.
  const int every = static_cast<int>((console::ConsoleWindow::kProgressIntervalMs + 29) / 30);
  std::vector<std::wstring> expected;
  for (int i = 0; i < 40; i += every) {
    expected.push_back(std::to_wstring(i + 1) + L"  $/Src/f" + std::to_wstring(100 + i) + L".c");
  }
  ASSERT_GE(expected.size(), 4u);
  EXPECT_EQ(env_.term.shown, expected);
  EXPECT_GE(env_.term.clears, 1);  // gone before the summary
}

TEST_F(ConsoleRun, HelpIsTheUsageOnStandardOutputAndNothingElse) {
  EXPECT_EQ(cli({L"--ini", L"nope.ini", L"--help"}), kAllProcessed);
  EXPECT_EQ(env_.term.out, console::usageText());
  EXPECT_EQ(env_.term.err, L"");
  EXPECT_TRUE(env_.settingsRead.empty());
  EXPECT_EQ(calls().count["open"], 0);
}

}  // namespace
