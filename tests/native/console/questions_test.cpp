// The release engineer's questions through whole runs of the console program over stand-in
// stores: bounds at a label's time, the report of the lists, and the explanation of files.
#include "console/questions.h"

#include <cmath>

#include "console/labels.h"
#include "console/question_texts.h"
#include "native/console/run_fixture.h"

namespace {

using namespace consoletest;

// Runs of job.ini over $/Rel in 2024, standard streams only, in UTF-8.
class Questions : public consoletest::ConsoleRun {
 protected:
  void SetUp() override {
    ConsoleRun::SetUp();
    job().values.project = L"$/Rel";
    job().values.startDate = L"2024-01-01 00:00";
    job().values.endDate = L"2024-12-01 00:00";
  }
  int ask(const Args& args) {
    Args all = {L"--ini", L"job.ini", L"--encoding", L"utf8"};
    all.insert(all.end(), args.begin(), args.end());
    return cli(all);
  }
};

// Release 2.3 was labelled on $/Rel twice (the second time counts), a root label is inherited by
// every project below, and a label on a subproject is not in $/Rel's history; neither is a
// label of a file in $/Rel, which its full history lists (notes.txt's later "2.3").
TEST_F(Questions, LabelBoundsAreTheNewestTimeOfTheLabelInTheProjectsHistory) {
  seed(R"(
file $/Rel/app/b.c by li at 2024-05-03 10:00
file $/Rel/app/a.c by zhang at 2024-05-02 10:00
file $/Rel/notes.txt by li at 2024-05-04 10:00
label $/Rel "2.3" by rel at 2024-05-05 12:00
version $/Rel/app/a.c by zhang at 2024-05-08 10:00
label $/Rel "2.3" by rel at 2024-05-10 12:00 comment "again"
label $/Rel/notes.txt "2.3" by li at 2024-05-11 12:00
file $/Rel/app/c.c by wang at 2024-05-01 09:00
version $/Rel/app/b.c by li at 2024-05-12 09:00
label $/ "Root 1" by Admin at 2024-05-15 00:00
file $/Rel/lib/d.c by li at 2024-05-16 10:00
label $/Rel/lib "Sub" by li at 2024-05-17 10:00
label $/Rel "2.4" by rel at 2024-05-20 12:00
)");
  const std::wstring since23 = ct::labelBound(true, L"2.3", L"2024-05-10 12:00:00") + L"\r\n";
  const std::wstring b = L"$/Rel/app/b.c", d = L"$/Rel/lib/d.c", n = L"$/Rel/notes.txt";
  const std::vector<std::tuple<Args, Lines, std::wstring>> cases = {
      // The newer time; the label's records decide nothing.
      {{L"--since-label", L"2.3"}, {b, d}, since23},
      {{L"--since-label", L"2.3", L"--until-label", L"Root 1"},
       {b},
       since23 + ct::labelBound(false, L"Root 1", L"2024-05-15 00:00:00") + L"\r\n"},
      {{L"--until-label", L"2.3"},
       {L"$/Rel/app/a.c", L"$/Rel/app/c.c", n},
       ct::labelBound(false, L"2.3", L"2024-05-10 12:00:00") + L"\r\n"},
      // The settings' dates alone: the newest label decides for every file.
      {{}, {L"$/Rel/app/a.c", b, L"$/Rel/app/c.c", d, n}, L""},
  };
  for (const auto& [args, listed, notes] : cases) {
    SCOPED_TRACE(listed.size());
    EXPECT_EQ(ask(args), kAllProcessed);
    EXPECT_EQ(env_.term.out, listText(listed));  // the processed list
    EXPECT_EQ(env_.term.err, notes + summary(listed.size(), 0));
  }
  // A label that is not there (a subproject's is not in the project's history; labels are
  // compared exactly): no run, no summary, the lookup's opening only, and an earlier report as
  // it was. The project is named as the database spells it, however typed.
  std::ofstream(root_ / "r.csv") << "yesterday";
  for (const std::wstring label : {L"2.5", L"Sub", L"root 1"}) {
    reset();
    job().values.project = label == L"Sub" ? L"$/rEL" : L"$/Rel";
    EXPECT_EQ(ask({L"--since-label", label, L"--report", file("r.csv")}), kInvalidInput);
    EXPECT_EQ(env_.term.err, ct::labelNotFound(label, L"$/Rel") + L"\r\n");
    EXPECT_EQ(calls().count["open"], 1);
  }
  EXPECT_EQ(filesIn(root_), Strings{"r.csv=yesterday"});
  // A wrong password is the library's word, as for a run; without the login the engine's own
  // checks refuse, saying only what is missing.
  job().values.passwd = L"wrong";
  EXPECT_EQ(ask({L"--since-label", L"2.3"}), kInvalidInput);
  EXPECT_EQ(env_.term.err, L"Invalid password\r\n");
  job().values.passwd.clear();
  EXPECT_EQ(ask({L"--since-label", L"2.3", L"--until-label", L"2.4"}), kInvalidInput);
  EXPECT_EQ(env_.term.err.substr(0, env_.term.err.find(L"\r\n")), L"密码必需输入");
}

// The bound a label gives is the label's second as the platform reads the text back, whatever the
// day: the text is the date at whole seconds (half a second more or less is the same second).
// Before day 0 the day counts back and the time of day forward.
TEST(LabelDates, TheTextOfADateReadsBackToTheSameSecond) {
  DiskPlatform platform;
  for (const std::string text : {"2024-05-10 12:00:00", "1899-12-30 00:00:00",
                                 "2000-02-29 23:58:59", "9999-12-31 23:59:59"}) {
    const double date = *standin::parseDateTime(text);
    const std::wstring expected = standin::text::widen(text);
    for (const double near : {date, date + 0.49 / 86400, date - 0.49 / 86400})
      EXPECT_EQ(console::dateText(near), expected);
    EXPECT_EQ(engine::wholeSeconds(*platform.toDate(expected)), engine::wholeSeconds(date));
  }
  EXPECT_EQ(console::dateText(-1.25), L"1899-12-29 06:00:00");
  EXPECT_EQ(console::dateText(std::nan("")), L"");
}

// The report's rows are the lists' lines in the lists' order with the deciding record's fields, a
// label's row with the file's version it covers (the label record is the file's version 2); the
// CSV quotes what must be quoted, byte for byte.
TEST_F(Questions, TheCsvReportHasARowPerListedFileQuotedAsRfc4180Says) {
  seed(R"(
file $/Rel/app/a.c by zhang at 2024-05-02 10:00 comment "plain"
version $/Rel/app/a.c by li at 2024-05-03 10:00 comment "fix, \"quoted\"\r\n第二行"
file $/Rel/app/broken.c by li at 2024-05-02 10:00
fault $/Rel/app/broken.c versions 0x80040000
file $/Rel/菜单.c by wang at 2024-05-02 10:00
label $/Rel/菜单.c "Rel 1" by zhang at 2024-05-04 10:00 comment "label, too"
file $/Rel/old.c by li at 2023-04-02 10:00 comment "not listed"
)");
  EXPECT_EQ(ask({L"--report", file("notes.CSV")}), kSomeUnprocessed);
  std::wstring header = ct::kColumns[0];
  for (int i = 1; i < 8; ++i) header += L"," + std::wstring(ct::kColumns[i]);
  EXPECT_EQ(read("notes.CSV"),
            "\xEF\xBB\xBF" + utf8(header + L"\r\n" +
                                  L"$/Rel/app/a.c,2,2024-05-03 10:00:00,li,Checked in $/Rel/app,,"
                                  L"\"fix, \"\"quoted\"\"\r\n第二行\",已处理 / processed\r\n"
                                  L"$/Rel/菜单.c,1,2024-05-04 10:00:00,zhang,Labeled 'Rel 1',Rel 1,"
                                  L"\"label, too\",已处理 / processed\r\n"
                                  L"$/Rel/app/broken.c,,,,,,,VSS上这个文件是损坏的\r\n"));
  EXPECT_FALSE(fs::exists(root_ / "notes.CSV.4242.tmp"));  // moved into place
  // The record's fields are read for the listed files only; without a report, not at all (the
  // version numbers of records inside the range are, to tell a pin).
  EXPECT_EQ(calls().count["comment"] + calls().count["labelComment"], 2);
  reset();
  ask({});
  EXPECT_EQ(calls().count["comment"] + calls().count["action"] + calls().count["label"] +
                calls().count["labelComment"],
            0);
}

TEST_F(Questions, TheHtmlReportGroupsByFolderAndShowsTheInputsButNeverThePassword) {
  seed(R"(
file $/Rel/app/b.c by li at 2024-05-03 10:00 comment "<b>bold</b> & \"more\"\r\nline 2"
file $/Rel/app/broken.c by li at 2024-05-02 10:00
fault $/Rel/app/broken.c versions 0x80040000
file $/Rel/doc/readme.txt by wang at 2024-05-02 10:00
file $/Rel/aaa/lost.c by li at 2024-05-02 10:00
fault $/Rel/aaa/lost.c versions 0x80040000
label $/Rel "2.3" by rel at 2024-04-10 12:00
)");
  EXPECT_EQ(
      ask({L"--report", file("notes.html"), L"--since-label", L"2.3", L"--target-user", L"Li"}),
      kSomeUnprocessed);
  const std::string page = read("notes.html");
  const auto at = [&page](const std::wstring& text) { return page.find(utf8(text)); };
  EXPECT_TRUE(page.starts_with("<!DOCTYPE html>"));
  EXPECT_EQ(at(L"$/Rel/doc"), std::string::npos);  // wang's file is not the target user's
  // The folders of processed files first, in the lists' order; then those of unprocessed only.
  EXPECT_LT(at(L"$/Rel/app \u00b7 " + ct::counts(1, 1)),
            at(L"$/Rel/aaa \u00b7 " + ct::counts(0, 1)));
  for (const std::wstring& text :
       {L"<meta charset=\"utf-8\">"s, ct::counts(1, 2) + L"</p>",
        // A comment's markup is text, and its line breaks stay.
        L"<tr><td>b.c</td><td>1</td><td>2024-05-03 10:00:00</td><td>li</td><td>Created </td><td>"
        L"</td><td>&lt;b&gt;bold&lt;/b&gt; &amp; &quot;more&quot;\nline 2</td><td>已处理 / "
        L"processed</td></tr>"s,
        L"<tr class=\"unprocessed\"><td>broken.c</td><td></td><td></td><td></td><td></td><td></td>"
        L"<td></td><td>VSS上这个文件是损坏的</td></tr>"s,
        L"2024-04-10 12:00:00 （标签 / label &quot;2.3&quot;）"s, L"<td>Li</td>"s,
        L"<td>View</td>"s, L"$/Rel/aaa \u00b7 " + ct::counts(0, 1)}) {
    EXPECT_NE(at(text), std::string::npos) << utf8(text);
  }
  // Nothing from elsewhere, no script, no password.
  for (const char* absent : {"<script", "src=", "href=", "http", "@import", "secret"}) {
    EXPECT_EQ(page.find(absent), std::string::npos) << absent;
  }
}

// The explanation and the run decide alike: for each file the verdict of the explanation, and
// the run of the same inputs lists exactly the files explained as selected.
TEST_F(Questions, ExplainGivesTheRecordsTheDecisionAndTheVerdictOfEachFile) {
  seed(R"(
user Compileruser
file $/Rel/in.c by li at 2024-05-02 10:00 comment "first line\r\nsecond line"
version $/Rel/in.c by li at 2024-05-03 10:00
label $/Rel/in.c B7 by Compileruser at 2024-05-04 10:00
label $/Rel "qa" by zhang at 2024-05-05 10:00
file $/Rel/early.c by li at 2024-04-02 10:00
file $/Rel/late.c by li at 2024-06-02 10:00
file $/Rel/zhang.c by zhang at 2024-05-02 10:00
file $/Rel/built.c by Compileruser at 2024-05-02 10:00
file $/Rel/broken.c by li at 2024-05-02 10:00
fault $/Rel/broken.c versions 0x80040000
file $/Elsewhere/x.c by li at 2024-05-02 10:00
pin $/Elsewhere/x.c into $/Rel version 1 by zhang at 2024-05-02 11:00
version $/Elsewhere/x.c by zhang at 2024-05-06 10:00
)");
  const Args inputs = {
      L"--start",       L"2024-05-01 00:00",    L"--end",         L"2024-06-01 00:00",
      L"--skip-labels", L"--ignore-build-user", L"--target-user", L"LI"};
  const std::vector<std::pair<std::wstring, std::wstring>> verdicts = {
      {L"$/rel/IN.C", ct::kSelected},
      {L"$/Rel/early.c", ct::notAfterStart(L"2024-05-01 00:00:00")},
      {L"$/Rel/late.c", ct::notBeforeEnd(L"2024-06-01 00:00:00")},
      {L"$/Rel/zhang.c", ct::otherUser(L"li")},
      {L"$/Rel/built.c", ct::kNoRecordLeft},
      {L"$/Rel/broken.c", ct::kDamagedVerdict},
      {L"$/Elsewhere/x.c", ct::otherUser(L"li")},
      {L"$/Rel/x.c", ct::kSelected},  // pinned at li's version
  };
  Args args = inputs;
  for (const auto& [path, verdict] : verdicts) args.insert(args.end(), {L"--explain", path});
  EXPECT_EQ(ask(args), kAllProcessed);
  const std::wstring& out = env_.term.out;
  for (const auto& [path, verdict] : verdicts) {
    EXPECT_NE(out.find(L"  " + std::wstring(ct::kVerdict) + verdict + L"\r\n"), std::wstring::npos)
        << standin::text::narrow(path);
  }
  // One file in full: what a run reads, newest first, and the record below that it does not.
  const std::wstring v = L"  * " + std::wstring(ct::kVersion);
  const std::wstring expected =
      L"$/Rel/in.c\r\n" + v + L"3  2024-05-05 10:00:00  zhang  Labeled 'qa'  " + ct::kLabel +
      L"qa\r\n      -> " + ct::kPassedOverLabel + L"\r\n" + v +
      L"3  2024-05-04 10:00:00  Compileruser  Labeled 'B7'  " + ct::kLabel + L"B7\r\n      -> " +
      ct::kPassedOverBuildUser + L"\r\n" + v + L"2  2024-05-03 10:00:00  li  Checked in $/Rel\r\n" +
      L"      -> " + ct::kDeciding + L"\r\n" + v + L"1  2024-05-02 10:00:00  li  Created \r\n" +
      L"      " + ct::kComment + L"first line\r\n        second line\r\n      -> " + ct::kNotRead +
      L"\r\n  " + ct::kVerdict + ct::kSelected + L"\r\n";
  EXPECT_EQ(out.substr(0, expected.size()), expected);
  EXPECT_NE(out.find(L"$/Elsewhere/x.c\r\n  " + ct::notBelowProject(L"$/Rel")), std::wstring::npos);
  // A pinned place says so, and the version above its pin is passed over.
  EXPECT_NE(
      out.find(L"$/Rel/x.c\r\n  " + ct::pinnedAt(1) + L"\r\n" + v +
               L"2  2024-05-06 10:00:00  zhang  Checked in $/Elsewhere\r\n      -> " +
               ct::kPassedOverAbovePin + L"\r\n" + v +
               L"3  2024-05-05 10:00:00  zhang  Labeled 'qa'  " + ct::kLabel + L"qa\r\n      -> " +
               ct::kPassedOverLabel + L"\r\n" + v + L"1  2024-05-02 10:00:00  li  Created \r\n"),
      std::wstring::npos);
  EXPECT_EQ(env_.term.err.substr(env_.term.err.rfind(L"Explain：")),
            ct::explainSummary(8, 0, L"0.0") + L"\r\n");
  EXPECT_EQ(calls().count["items"], 8);  // each file's project, for its place: no walk

  // The run of the same inputs lists what the explanation selects below the project.
  EXPECT_EQ(ask(inputs), kSomeUnprocessed);
  EXPECT_EQ(env_.term.out, L"$/Rel/in.c\r\n$/Rel/x.c");

  // A path that names no file: said in its place, and the status of invalid inputs.
  EXPECT_EQ(
      ask({L"--explain", L"$/Rel/none.c", L"--explain", L"$/Rel", L"--explain", L"$/Rel/in.c"}),
      kInvalidInput);
  EXPECT_EQ(env_.term.out.substr(0, env_.term.out.find(L"$/Rel/in.c")),
            L"$/Rel/none.c\r\n  " + std::wstring(ct::kNotFound) +
                L"File or project not found\r\n\r\n$/Rel\r\n  " + ct::kNotAFile + L"\r\n\r\n");
  EXPECT_EQ(env_.term.err.substr(env_.term.err.rfind(L"Explain：")),
            ct::explainSummary(1, 2, L"0.0") + L"\r\n");
}

}  // namespace
