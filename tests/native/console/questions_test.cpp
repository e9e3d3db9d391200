// The release engineer's questions through whole runs of the console program over stand-in
// stores: bounds at a label's time, label records passed over, the report of the lists, the
// explanation of files, and the summary that names the mode.
#include "console/questions.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <sstream>

#include "console/labels.h"
#include "console/question_texts.h"
#include "console/report.h"
#include "console/texts.h"
#include "native/console/support.h"
#include "native/engine/fakes.h"

namespace {

using namespace fakes;
using console::kAllProcessed;
using console::kInvalidInput;
using console::kSomeUnprocessed;
using Args = std::vector<std::wstring>;
namespace ct = console::texts;

class Questions : public Run {
 protected:
  void SetUp() override {
    Run::SetUp();
    env_.files[L"job.ini"] = {.values = {.host = defaults_[TextBox::Host],
                                         .project = L"$/Rel",
                                         .patch = L"$/Patch",
                                         .startDate = L"2024-01-01 00:00",
                                         .endDate = L"2024-12-01 00:00",
                                         .user = L"Admin",
                                         .passwd = L"secret",
                                         .localDir = out()}};
  }
  // A run of job.ini and `args` with standard streams only; its status.
  int cli(const Args& args) {
    env_.term = {};
    Args all = {L"--ini", L"job.ini", L"--encoding", L"utf8"};
    all.insert(all.end(), args.begin(), args.end());
    return console::run(all, env_);
  }
  std::wstring file(const std::string& name) {
    return standin::text::widen((root_ / name).string());
  }
  std::string read(const std::string& name) {
    std::ifstream in(root_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The processed list a run wrote to standard output, one path a line.
  Lines processed() {
    Lines lines;
    std::wistringstream in(env_.term.out);
    for (std::wstring line; std::getline(in, line);) {
      if (!line.empty() && line.back() == L'\r') line.pop_back();
      lines.push_back(line);
    }
    return lines;
  }
  // Standard error without its last line, the summary.
  std::wstring messages() {
    const std::wstring& err = env_.term.err;
    const std::size_t last = err.rfind(L"\r\n", err.size() - 3);
    return last == std::wstring::npos ? L"" : err.substr(0, last + 2);
  }

  consoletest::FakeEnvironment env_{platform_, library_};
};

// Release 2.3 was labelled on $/Rel twice (the second time counts), a root label is inherited by
// every project below, and a label on a subproject is not in $/Rel's history.
const char kReleases[] = R"(
file $/Rel/app/a.c by zhang at 2024-05-02 10:00
label $/Rel "2.3" by rel at 2024-05-05 12:00
version $/Rel/app/a.c by zhang at 2024-05-08 10:00
label $/Rel "2.3" by rel at 2024-05-10 12:00 comment "again"
file $/Rel/app/c.c by wang at 2024-05-01 09:00
version $/Rel/app/b.c by li at 2024-05-12 09:00
label $/ "Root 1" by Admin at 2024-05-15 00:00
file $/Rel/lib/d.c by li at 2024-05-16 10:00
label $/Rel/lib "Sub" by li at 2024-05-17 10:00
label $/Rel "2.4" by rel at 2024-05-20 12:00
)";

TEST_F(Questions, LabelBoundsAreTheNewestTimeOfTheLabelInTheProjectsHistory) {
  seed(std::string("file $/Rel/app/b.c by li at 2024-05-03 10:00\n") + kReleases);
  struct Case {
    const char* name;
    Args args;
    int status;
    Lines listed;
    std::wstring messages;
  };
  const std::wstring since23 = ct::labelBound(true, L"2.3", L"2024-05-10 12:00:00") + L"\r\n";
  const std::vector<Case> cases = {
      {"since the label applied twice: the newer time; its labels decide nothing",
       {L"--since-label", L"2.3"},
       kAllProcessed,
       {L"$/Rel/app/b.c", L"$/Rel/lib/d.c"},
       since23},
      {"until a label of a project above",
       {L"--since-label", L"2.3", L"--until-label", L"Root 1"},
       kAllProcessed,
       {L"$/Rel/app/b.c"},
       since23 + ct::labelBound(false, L"Root 1", L"2024-05-15 00:00:00") + L"\r\n"},
      {"until a label, the start from the settings file",
       {L"--until-label", L"2.3"},
       kAllProcessed,
       {L"$/Rel/app/a.c", L"$/Rel/app/c.c"},
       ct::labelBound(false, L"2.3", L"2024-05-10 12:00:00") + L"\r\n"},
      {"the settings' dates alone: the newest label decides for every file",
       {},
       kAllProcessed,
       {L"$/Rel/app/a.c", L"$/Rel/app/b.c", L"$/Rel/app/c.c", L"$/Rel/lib/d.c"},
       L""},
      {"a label that is not there",
       {L"--since-label", L"2.5"},
       kInvalidInput,
       {},
       ct::labelNotFound(L"2.5", L"$/Rel") + L"\r\n"},
      {"a subproject's label is not in the project's history",
       {L"--since-label", L"Sub"},
       kInvalidInput,
       {},
       ct::labelNotFound(L"Sub", L"$/Rel") + L"\r\n"},
      {"labels are compared exactly",
       {L"--since-label", L"root 1"},
       kInvalidInput,
       {},
       ct::labelNotFound(L"root 1", L"$/Rel") + L"\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    reset();
    const int status = cli(c.args);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(processed(), c.listed);
    if (c.status == kInvalidInput) {
      EXPECT_EQ(env_.term.err, c.messages);  // no run, no summary
      EXPECT_EQ(calls().count["open"], 1);   // the lookup's only
    } else {
      EXPECT_EQ(messages(), c.messages);
    }
  }
  // A wrong password is the library's word, as for a run.
  env_.files[L"job.ini"].values.passwd = L"wrong";
  EXPECT_EQ(cli({L"--since-label", L"2.3"}), kInvalidInput);
  EXPECT_EQ(env_.term.err, L"Invalid password\r\n");
  // Without the login the engine's own checks refuse, saying only what is missing.
  env_.files[L"job.ini"].values.passwd.clear();
  EXPECT_EQ(cli({L"--since-label", L"2.3", L"--until-label", L"2.4"}), kInvalidInput);
  EXPECT_EQ(env_.term.err.substr(0, env_.term.err.find(L"\r\n")), L"密码必需输入");
}

// The bound a label gives is the label's second as the platform reads the text back, whatever the
// day: the text is the date at whole seconds.
TEST(LabelDates, TheTextOfADateReadsBackToTheSameSecond) {
  DiskPlatform platform;
  const std::vector<std::pair<std::string, std::wstring>> cases = {
      {"2024-05-10 12:00:00", L"2024-05-10 12:00:00"},
      {"1899-12-30 00:00:00", L"1899-12-30 00:00:00"},
      {"2000-02-29 23:59:59", L"2000-02-29 23:59:59"},
      {"9999-12-31 23:59:59", L"9999-12-31 23:59:59"},
      {"1970-01-01 00:00:01", L"1970-01-01 00:00:01"}};
  for (const auto& [text, expected] : cases) {
    const double date = *standin::parseDateTime(text);
    EXPECT_EQ(console::dateText(date), expected);
    // Half a second more or less is the same second.
    EXPECT_EQ(console::dateText(date + 0.49 / 86400), expected);
    EXPECT_EQ(console::dateText(date - 0.49 / 86400), expected);
    EXPECT_EQ(engine::wholeSeconds(*platform.toDate(expected)), engine::wholeSeconds(date));
  }
  // Before day 0 the day counts back and the time of day forward.
  EXPECT_EQ(console::dateText(-1.25), L"1899-12-29 06:00:00");
  EXPECT_EQ(console::dateText(std::nan("")), L"");
}

// An ordinary user's label on a subproject selects every file below it that a plain date range
// covers; skipping labels leaves the versions to decide, alongside the build user's option.
TEST_F(Questions, SkippingLabelsGetsAroundAnOrdinaryUsersSubprojectLabel) {
  seed(R"(
user Compileruser
file $/Rel/app/old1.c by li at 2024-04-01 10:00
file $/Rel/app/old2.c by li at 2024-04-02 10:00
file $/Rel/app/new.c by wang at 2024-05-03 10:00
file $/Rel/app/built.c by li at 2024-04-02 10:00
version $/Rel/app/built.c by Compileruser at 2024-05-04 10:00
label $/Rel/app "qa-passed" by zhang at 2024-05-06 10:00
)");
  const Args may = {L"--start", L"2024-05-01 00:00", L"--end", L"2024-06-01 00:00"};
  EXPECT_EQ(cli(may), kAllProcessed);
  EXPECT_EQ(processed(), (Lines{L"$/Rel/app/built.c", L"$/Rel/app/new.c", L"$/Rel/app/old1.c",
                                L"$/Rel/app/old2.c"}));
  Args skip = may;
  skip.push_back(L"--skip-labels");
  EXPECT_EQ(cli(skip), kAllProcessed);
  EXPECT_EQ(processed(), (Lines{L"$/Rel/app/built.c", L"$/Rel/app/new.c"}));
  skip.push_back(L"--ignore-build-user");
  EXPECT_EQ(cli(skip), kAllProcessed);
  EXPECT_EQ(processed(), (Lines{L"$/Rel/app/new.c"}));
  skip.back() = L"--target-user";
  skip.push_back(L"Compileruser");
  EXPECT_EQ(cli(skip), kAllProcessed);
  EXPECT_EQ(processed(), (Lines{L"$/Rel/app/built.c"}));
}

// The report's rows are the lists' lines in the lists' order with the deciding record's fields;
// the CSV quotes what must be quoted, byte for byte.
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
  EXPECT_EQ(cli({L"--report", file("notes.CSV")}), kSomeUnprocessed);
  const std::string expected =
      "\xEF\xBB\xBF" +
      consoletest::utf8(std::wstring(ct::kColumns[0]) + L"," + ct::kColumns[1] + L"," +
                        ct::kColumns[2] + L"," + ct::kColumns[3] + L"," + ct::kColumns[4] + L"," +
                        ct::kColumns[5] + L"," + ct::kColumns[6] + L"," + ct::kColumns[7]) +
      "\r\n" +
      consoletest::utf8(
          L"$/Rel/app/a.c,2,2024-05-03 10:00:00,li,Checked in,,\"fix, \"\"quoted\"\"\r\n"
          L"第二行\",已处理 / processed\r\n"
          L"$/Rel/菜单.c,1,2024-05-04 10:00:00,zhang,Labeled,Rel 1,\"label, too\","
          L"已处理 / processed\r\n"
          L"$/Rel/app/broken.c,,,,,,,VSS上这个文件是损坏的\r\n");
  EXPECT_EQ(read("notes.CSV"), expected);
  EXPECT_FALSE(fs::exists(root_ / "notes.CSV.4242.tmp"));  // moved into place
  // The record's fields are read for the listed files only.
  EXPECT_EQ(calls().count["comment"], 2);
  // Without a report nothing more is read than a run reads.
  reset();
  cli({});
  EXPECT_EQ(calls().count["comment"] + calls().count["action"] + calls().count["label"] +
                calls().count["versionNumber"],
            0);
}

TEST_F(Questions, TheHtmlReportGroupsByFolderAndShowsTheInputsButNeverThePassword) {
  seed(R"(
file $/Rel/app/a.c by zhang at 2024-05-02 10:00 comment "<b>bold</b> & \"more\"\r\nline 2"
file $/Rel/app/b.c by li at 2024-05-03 10:00
file $/Rel/app/broken.c by li at 2024-05-02 10:00
fault $/Rel/app/broken.c versions 0x80040000
file $/Rel/doc/readme.txt by wang at 2024-05-02 10:00
file $/Rel/aaa/lost.c by li at 2024-05-02 10:00
fault $/Rel/aaa/lost.c versions 0x80040000
label $/Rel "2.3" by rel at 2024-04-10 12:00
)");
  EXPECT_EQ(
      cli({L"--report", file("notes.html"), L"--since-label", L"2.3", L"--target-user", L"Li"}),
      kSomeUnprocessed);
  const std::string page = read("notes.html");
  const auto has = [&page](const std::wstring& text) {
    return page.find(consoletest::utf8(text)) != std::string::npos;
  };
  EXPECT_TRUE(page.starts_with("<!DOCTYPE html>"));
  EXPECT_TRUE(has(L"<meta charset=\"utf-8\">"));
  EXPECT_TRUE(has(L"$/Rel/app \u00b7 " + ct::counts(1, 1)));
  EXPECT_FALSE(has(L"$/Rel/doc"));  // wang's file is not the target user's
  EXPECT_TRUE(has(ct::counts(1, 2) + L"</p>"));
  // The folders of processed files first, in the lists' order; then those of unprocessed only.
  const std::size_t app = page.find(consoletest::utf8(L"$/Rel/app \u00b7 " + ct::counts(1, 1)));
  const std::size_t aaa = page.find(consoletest::utf8(L"$/Rel/aaa \u00b7 " + ct::counts(0, 1)));
  EXPECT_LT(app, aaa);
  EXPECT_NE(aaa, std::string::npos);
  EXPECT_TRUE(
      has(L"<tr><td>b.c</td><td>1</td><td>2024-05-03 10:00:00</td><td>li</td>"
          L"<td>Created</td><td></td><td></td><td>已处理 / processed</td></tr>"));
  EXPECT_TRUE(
      has(L"<tr class=\"unprocessed\"><td>broken.c</td><td></td><td></td><td></td><td></td>"
          L"<td></td><td></td><td>VSS上这个文件是损坏的</td></tr>"));
  EXPECT_TRUE(has(L"2024-04-10 12:00:00 （标签 / label &quot;2.3&quot;）"));
  EXPECT_TRUE(has(L"<td>Li</td>"));
  EXPECT_TRUE(has(L"<td>View</td>"));
  // Nothing from elsewhere, no script, no password.
  for (const char* absent : {"<script", "src=", "href=", "http", "@import", "secret"}) {
    EXPECT_EQ(page.find(absent), std::string::npos) << absent;
  }
  // A comment's markup is text, and its line breaks stay.
  reset();
  EXPECT_EQ(cli({L"--report", file("notes.html")}), kSomeUnprocessed);
  EXPECT_TRUE(read("notes.html").find("&lt;b&gt;bold&lt;/b&gt; &amp; &quot;more&quot;\nline 2") !=
              std::string::npos);
}

// A report that cannot be written refuses the run before the database is opened; a run refused
// later leaves an earlier report as it was.
TEST_F(Questions, AReportThatCannotBeWrittenRefusesTheRunAndARefusedRunKeepsTheOldOne) {
  seed("file $/Rel/a.c at 2024-05-02 10:00\nlabel $/Rel L1 at 2024-05-01 10:00\n");
  fs::create_directories(root_ / "folder.csv");
  // With the system's code: 3, the path's folder is not there; 5, a folder stands at the path.
  for (const auto& [path, code] :
       {std::pair{file("no/such/r.csv"), L"3"}, std::pair{file("folder.csv"), L"5"}}) {
    EXPECT_EQ(cli({L"--report", path}), kInvalidInput);
    EXPECT_EQ(env_.term.err,
              ct::kReportNotWritable + path + console::texts::kSystemError + code + L")\r\n");
    EXPECT_EQ(calls().count["open"], 0);
  }
  // Nor is it a list's file, whatever its spelling, or a file of the job.
  EXPECT_EQ(cli({L"--report", file("r.csv"), L"--processed", file("./r.csv")}), kInvalidInput);
  EXPECT_EQ(env_.term.err, ct::kReportIsAList + file("r.csv") + L"\r\n");
  std::ofstream(root_ / "r.csv") << "yesterday";
  EXPECT_EQ(cli({L"--report", file("r.csv"), L"--since-label", L"L9"}), kInvalidInput);
  EXPECT_EQ(cli({L"--report", file("r.csv"), L"--start", L"2025-07-01"}), kInvalidInput);
  EXPECT_EQ(read("r.csv"), "yesterday");
  EXPECT_FALSE(fs::exists(root_ / "r.csv.4242.tmp"));
  EXPECT_EQ(cli({L"--report", file("r.csv"), L"--since-label", L"L1"}), kAllProcessed);
  EXPECT_TRUE(read("r.csv").find("$/Rel/a.c,1,") != std::string::npos);
}

TEST(QuestionOptions, TheNewOptionsAndWhatTheyRefuse) {
  const console::Options options =
      console::parseOptions({L"--since-label", L"Release 2.3", L"--until-label=2.4",
                             L"--skip-labels", L"--explain", L"$/A/a.c", L"--explain=$/A/b.c"});
  EXPECT_EQ(options.sinceLabel, L"Release 2.3");
  EXPECT_EQ(options.untilLabel, L"2.4");
  EXPECT_TRUE(options.skipLabels);
  EXPECT_EQ(console::parseOptions({L"--report", L"notes.html"}).report, L"notes.html");
  EXPECT_EQ(options.explain, (Args{L"$/A/a.c", L"$/A/b.c"}));
  EXPECT_FALSE(console::parseOptions({}).skipLabels);

  namespace t = console::texts;
  const std::vector<std::pair<Args, std::wstring>> refusals = {
      {{L"--since-label", L"2.3", L"--start", L"2024-01-01"},
       t::kLabelAndDate + std::wstring(L"--since-label --start")},
      {{L"--end", L"", L"--until-label", L"2.4"},
       t::kLabelAndDate + std::wstring(L"--until-label --end")},
      {{L"--since-label", L""}, t::kBadValue + std::wstring(L"--since-label \"\"")},
      {{L"--explain="}, t::kBadValue + std::wstring(L"--explain \"\"")},
      {{L"--skip-labels=yes"}, t::kNoValueTaken + std::wstring(L"--skip-labels")},
      {{L"--report", L"notes.txt"}, t::kReportExtension + std::wstring(L"notes.txt")},
      {{L"--report", L".csv"}, t::kReportExtension + std::wstring(L".csv")},
      {{L"--report", L"-"}, t::kReportExtension + std::wstring(L"-")},
      {{L"--report", L"Notes.CSV", L"--processed", L"notes.csv"},
       t::kReportIsAList + std::wstring(L"Notes.CSV")},
      {{L"--explain", L"$/A/a.c", L"--report", L"n.html"},
       t::kExplainWritesNoFiles + std::wstring(L"--report")},
      {{L"--unprocessed", L"u.txt", L"--explain", L"$/A/a.c"},
       t::kExplainWritesNoFiles + std::wstring(L"--unprocessed")},
  };
  for (const auto& [args, message] : refusals) {
    SCOPED_TRACE(standin::text::narrow(args.front()));
    try {
      console::parseOptions(args);
      ADD_FAILURE() << "accepted";
    } catch (const console::UsageError& e) {
      EXPECT_EQ(e.message(), message);
    }
  }
  const std::wstring usage = console::usageText();
  for (const wchar_t* name : {L"--since-label", L"--until-label", L"--skip-labels", L"--report",
                              L"--explain", L"发布说明", L"release notes"}) {
    EXPECT_NE(usage.find(name), std::wstring::npos) << standin::text::narrow(name);
  }
  EXPECT_TRUE(console::reportFormat(L"x.Html"));
  EXPECT_FALSE(console::reportFormat(L"x.htm"));
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
      {L"$/Elsewhere/x.c", ct::kSelected},
  };
  Args args = inputs;
  for (const auto& [path, verdict] : verdicts) {
    args.push_back(L"--explain");
    args.push_back(path);
  }
  EXPECT_EQ(cli(args), kAllProcessed);
  const std::wstring& out = env_.term.out;
  for (const auto& [path, verdict] : verdicts) {
    EXPECT_NE(out.find(L"  " + std::wstring(ct::kVerdict) + verdict + L"\r\n"), std::wstring::npos)
        << standin::text::narrow(path);
  }
  // One file in full: what a run reads, newest first, and the record below that it does not.
  const std::wstring v = L"  * " + std::wstring(ct::kVersion);
  const std::wstring expected =
      L"$/Rel/in.c\r\n" + v + L"1  2024-05-05 10:00:00  zhang  Labeled  " + ct::kLabel +
      L"qa\r\n      -> " + ct::kPassedOverLabel + L"\r\n" + v +
      L"2  2024-05-04 10:00:00  Compileruser  Labeled  " + ct::kLabel + L"B7\r\n      -> " +
      ct::kPassedOverBuildUser + L"\r\n" + v + L"2  2024-05-03 10:00:00  li  Checked in\r\n" +
      L"      -> " + ct::kDeciding + L"\r\n" + v + L"1  2024-05-02 10:00:00  li  Created\r\n" +
      L"      " + ct::kComment + L"first line\r\n        second line\r\n      -> " + ct::kNotRead +
      L"\r\n  " + ct::kVerdict + ct::kSelected + L"\r\n";
  EXPECT_EQ(out.substr(0, expected.size()), expected);
  EXPECT_NE(out.find(L"$/Elsewhere/x.c\r\n  " + ct::notBelowProject(L"$/Rel")), std::wstring::npos);
  EXPECT_EQ(env_.term.err.substr(env_.term.err.rfind(L"Explain：")),
            ct::explainSummary(7, 0, L"0.0") + L"\r\n");
  EXPECT_EQ(calls().count["items"], 0);  // no walk

  // The run of the same inputs lists what the explanation selects below the project.
  EXPECT_EQ(cli(inputs), kSomeUnprocessed);
  EXPECT_EQ(processed(), Lines{L"$/Rel/in.c"});

  // A path that names no file: said in its place, and the status of invalid inputs.
  EXPECT_EQ(
      cli({L"--explain", L"$/Rel/none.c", L"--explain", L"$/Rel", L"--explain", L"$/Rel/in.c"}),
      kInvalidInput);
  EXPECT_EQ(env_.term.out.substr(0, env_.term.out.find(L"$/Rel/in.c")),
            L"$/Rel/none.c\r\n  " + std::wstring(ct::kNotFound) +
                L"File or project not found\r\n\r\n$/Rel\r\n  " + ct::kNotAFile + L"\r\n\r\n");
  EXPECT_EQ(env_.term.err.substr(env_.term.err.rfind(L"Explain：")),
            ct::explainSummary(1, 2, L"0.0") + L"\r\n");
}

TEST_F(Questions, TheSummaryNamesTheMode) {
  seed("file $/Rel/a.c at 2024-05-02 10:00\n");
  const std::vector<std::pair<Args, std::wstring>> cases = {
      {{}, L"View"},
      {{L"--mode", L"view"}, L"View"},
      {{L"--mode", L"local"}, L"Local"},
      {{L"--mode", L"vss"}, L"VSS"},
      {{L"--mode", L"vss", L"--patch", L""}, L"View"},  // an empty patch path only lists
  };
  for (const auto& [args, mode] : cases) {
    SCOPED_TRACE(standin::text::narrow(mode));
    cli(args);
    // The summary is the last line (a Local run names its folder on the line above it).
    const std::wstring& err = env_.term.err;
    const std::size_t above = err.rfind(L"\r\n", err.size() - 3);
    EXPECT_EQ(above == std::wstring::npos ? err : err.substr(above + 2),
              ct::summary(mode, 1, 0, L"0.0") + L"\r\n");
  }
}

}  // namespace
