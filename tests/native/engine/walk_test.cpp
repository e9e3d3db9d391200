// The walk and the change selection: which files a run picks out, in which order it meets them,
// how far it reads a history, and what becomes of files whose history cannot be read.
#include <cmath>
#include <cstdio>
#include <regex>
#include <set>

#include "native/engine/fakes.h"

namespace {

using namespace engine;
using namespace fakes;

class Walk : public Run {
 protected:
  // Seeds case i as a project of its own, the one walked: "@" in the script stands for its file,
  // "%" for the project. Returns the file's path.
  std::wstring seedCase(std::size_t i, const std::string& script) {
    const std::string project = "$/S" + std::to_string(i), file = project + "/f.c";
    reset();
    seed(std::regex_replace(std::regex_replace(script, std::regex("@"), file), std::regex("%"),
                            project));
    window_.texts[TextBox::Project] = standin::text::widen(project);
    return standin::text::widen(file);
  }
};

// The deciding record is the newest one that is not passed over: the build user's (with the
// build-user option) and, with skipLabels, every label whoever applied it. The range is open at
// both ends; the target user is compared in any letter case with the deciding record's author.
// Each case: the file's history (oldest first, "@" its path, "%" its project), the options, the
// verdict with the records passed over (B build user, L label) as decide tells them (through the
// hook that replaces the walk), which the walk must follow, and how many records it read.
TEST_F(Walk, SelectionDecidesOnTheDecidingRecordReadOnlyAsFarAsNeeded) {
  using enum Verdict;
  struct Case {
    const char* name;
    std::string script;
    Verdict verdict;
    std::wstring passedOver;
    int recordsRead;
    std::string options = "";  // L: skipLabels, B: ignore the build user
    std::wstring targetUser = L"";
    std::wstring start = L"2024-05-01 00:00", end = L"2024-06-01 00:00";
  };
  const std::string a = "file @ by alice at 2024-", cu = "\nlabel @ B by Compileruser at 2024-";
  const std::string old = a + "04-02 10:00\n", inRange = a + "05-02 10:00\n";
  const std::string liLabel = "label @ R by li at 2024-05-21 10:00";
  const std::string buildVersion = "version @ by Compileruser at 2024-05-20 10:00\n";
  const std::string liProjectLabel = old + "label % R by li at 2024-05-10 10:00";
  const std::vector<Case> cases = {
      {"inside", a + "05-03 10:00", Selected, L"", 1},
      {"at the start", a + "05-01 00:00", NotAfterStart, L"", 1},
      {"at the end", a + "06-01 00:00", NotBeforeEnd, L"", 1},
      {"before", a + "04-03 10:00", NotAfterStart, L"", 1},
      {"equal start and end", a + "05-03 10:00", NotAfterStart, L"", 1, "", L"",
       L"2024-05-03 10:00", L"2024-05-03 10:00"},
      {"in the range and again after it", a + "05-03 10:00\nversion @ at 2024-06-03 10:00",
       NotBeforeEnd, L"", 1},
      {"newest is a label", old + "label @ L by rel at 2024-05-05 10:00", Selected, L"", 1},
      {"target user in any case", "file @ by TESTER at 2024-05-03 10:00", Selected, L"", 1, "",
       L"Tester"},
      {"the target's is not the deciding record",
       "file @ by tester at 2024-05-02 10:00\nversion @ at 2024-05-05 10:00", OtherUser, L"", 1, "",
       L"tester"},
      {"build-user label passed over", a + "05-02 10:00" + cu + "05-05 10:00", Selected, L"B", 2,
       "B"},
      {"the record below too old", a + "04-02 10:00" + cu + "05-05 10:00", NotAfterStart, L"B", 2,
       "B"},
      {"build user not ignored", a + "04-02 10:00" + cu + "05-05 10:00", Selected, L"", 1},
      {"the name in lower case is somebody else",
       old + "label @ B by compileruser at 2024-05-05 10:00", Selected, L"", 1, "B"},
      {"project label", a + "05-02 10:00\nlabel % B by Compileruser at 2024-05-10 10:00", Selected,
       L"B", 2, "B"},
      {"only build-user records",
       "file @ by Compileruser at 2024-05-02 10:00\nversion @ by Compileruser at 2024-05-03 10:00" +
           cu + "05-04 10:00",
       NoRecord, L"BBB", 3, "B"},
      {"build user passed over, then the target decides",
       "file @ by Tester at 2024-05-02 10:00" + cu + "05-05 10:00", Selected, L"B", 2, "B",
       L"TESTER"},
      {"no history", "file @", NoRecord, L"", 0, "B"},
      {"skipLabels: an ordinary user's project label inside the range selects without it",
       liProjectLabel, Selected, L"", 1},
      {"and is passed over with it", liProjectLabel, NotAfterStart, L"L", 2, "L"},
      {"a file's own label too", old + "label @ R by li at 2024-05-10 10:00", NotAfterStart, L"L",
       2, "L"},
      {"labels after the range do not hide a version inside it",
       inRange + "label @ R by li at 2024-06-10 10:00\nlabel % S by bob at 2024-06-11 10:00",
       Selected, L"LL", 3, "L"},
      {"the version before the labels is after the end",
       "file @ by alice at 2024-06-02 10:00\nlabel @ R by li at 2024-06-10 10:00", NotBeforeEnd,
       L"L", 2, "L"},
      {"the build user's label: passed over as the build user's with both options",
       inRange + "label @ B by Compileruser at 2024-05-20 10:00", Selected, L"B", 2, "LB"},
      {"the build user's version is passed over only with the build-user option",
       inRange + buildVersion + liLabel, Selected, L"LB", 3, "LB"},
      {"the build user's version decides without it", inRange + buildVersion + liLabel, OtherUser,
       L"L", 2, "L", L"ALICE"},
      {"the target user is the deciding version's author, not the label's", inRange + liLabel,
       Selected, L"L", 2, "L", L"Alice"},
      {"without the option the label's author is the one compared", inRange + liLabel, OtherUser,
       L"", 1, "", L"Alice"},
      {"every record passed over: none left",
       "file @ by Compileruser at 2024-05-02 10:00\nlabel @ R by li at 2024-05-10 10:00", NoRecord,
       L"LB", 2, "LB"},
  };
  struct Observer : SelectionObserver {
    std::wstring reasons;
    void passedOver(vss::Version&, PassedOver why) override {
      reasons += why == PassedOver::BuildUser ? L"B" : why == PassedOver::Label ? L"L" : L"P";
    }
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    const std::wstring file = seedCase(i, c.script);
    if (c.script == "file @") calls().noHistory.push_back(lower(file));
    window_.texts[TextBox::StartDate] = c.start;
    window_.texts[TextBox::EndDate] = c.end;
    window_.texts[TextBox::TargetUser] = c.targetUser;
    window_.ignoreBuildUser = c.options.find('B') != std::string::npos;
    patcher_.state().skipLabels = c.options.find('L') != std::string::npos;
    run();
    EXPECT_EQ(window_.shared, c.verdict == Selected ? Lines{file} : Lines{});
    EXPECT_TRUE(window_.unshared.empty());
    EXPECT_EQ(window_.boxes.size(), 1u);  // the confirmation only
    EXPECT_EQ(calls().recordsRead, c.recordsRead);
    // The same decision, told record by record.
    Observer observer;
    std::optional<Verdict> verdict;
    patcher_.setHooks({.insteadOfWalk = [&](vss::Database& db, vss::Item&) {
      const auto item = db.vssItem(file, false);
      verdict = patcher_.decide(*item, *item->versions(0), &observer).verdict;
    }});
    run();
    patcher_.setHooks({});
    EXPECT_EQ(verdict, c.verdict);
    EXPECT_EQ(observer.reasons, c.passedOver);
  }
  // A record's label is read only when labels are skipped or when its number lies above the
  // version its place holds, as a project's label does (it carries the project's number): the
  // window's run asks the label of b.c's newest record only, a's is its own version.
  reset();
  patcher_.state().skipLabels = false;
  seed(
      "file $/Src/a.c by alice at 2024-05-02 10:00\nfile $/Src/lib/b.c at 2024-05-02 10:00\n"
      "label $/Src/lib R by li at 2024-05-03 10:00\nversion $/Src/a.c at 2024-05-04 10:00\n");
  run();
  EXPECT_EQ(window_.shared, (Lines{L"$/Src/a.c", L"$/Src/lib/b.c"}));
  EXPECT_EQ(calls().count["label"], 1);
  EXPECT_EQ(calls().count["username"], 0);
  // A failure the replacement of the walk lets through ends the run as a failure of the walk does.
  reset();
  patcher_.setHooks({.insteadOfWalk = [](vss::Database&, vss::Item&) {
    throw vss::Error(vss::kNotFound, L"Lost");
  }});
  run();
  EXPECT_EQ(window_.boxes.back().line(), L"Ostrabel|-|OK|Lost");
  EXPECT_EQ(window_.status.back(), L"补丁整理意外中止，结果不完整！");
}

// The list observer is told of every line after the window, with the decision on the file the
// line is about, in every mode, a deciding label with the file's version it covers; lines no
// record decided come with none. The walk meets the files depth-first in the library's order and
// never a deleted one.
TEST_F(Walk, TheListObserverSeesEveryLineWithItsDecidingRecord) {
  seed(R"(
file $/Src/a.c by li at 2024-05-02 10:00 comment "first"
version $/Src/a.c by zhang at 2024-05-03 10:00 comment "second"
file $/Src/lib/b.c by li at 2024-05-04 10:00
label $/Src/lib/b.c "Rel 1" by wang at 2024-05-05 10:00 comment "labelled"
file $/Src/broken.c by li at 2024-05-02 10:00
fault $/Src/broken.c versions 0x80040000
file $/Src/locked.c by li at 2024-05-02 10:00
fault $/Src/locked.c share 0x80070020
fault $/Src/locked.c get 0x80070020
file $/Src/old.c by li at 2024-04-02 10:00
file $/Src/gone.c by li at 2024-05-02 10:00
delete $/Src/gone.c
)");
  struct Observer : ListObserver {
    FakeWindow* window;
    Lines seen;
    void listed(ResultList list, const std::wstring& spec, const std::wstring& reason,
                const Decision* d) override {
      const Lines& lines = list == ResultList::Processed ? window->shared : window->unshared;
      EXPECT_EQ(lines.back(), spec + reason);  // the window has it already
      vss::Version* record = d ? d->record.get() : nullptr;
      seen.push_back(
          (list == ResultList::Processed ? L"P " : L"U ") + spec + L" " +
          (record ? std::to_wstring(record->versionNumber()) + L" " + record->username() + L" " +
                        record->comment() + record->labelComment() + L" " + record->label() +
                        (d->labelCovers ? L" covers " + std::to_wstring(d->labelCovers) : L"")
                  : L"none"));
    }
  };
  for (const ModeOption mode : {ModeOption::View, ModeOption::Share, ModeOption::Local}) {
    SCOPED_TRACE(static_cast<int>(mode));
    reset();
    window_.selected = mode;
    Observer observer;
    observer.window = &window_;
    patcher_.setHooks({.listObserver = &observer, .insteadOfWalk = {}});
    run();
    const std::wstring locked =
        mode == ModeOption::View ? L"P $/Src/locked.c 1 li  " : L"U $/Src/locked.c 1 li  ";
    Lines expected = {L"P $/Src/a.c 2 zhang second ", L"U $/Src/broken.c none",
                      L"P $/Src/lib/b.c 2 wang labelled Rel 1 covers 1", locked};
    EXPECT_EQ(observer.seen, expected);
    EXPECT_EQ(observer.seen.size(), window_.shared.size() + window_.unshared.size());
  }
  patcher_.setHooks({});
}

// A project that pins a file holds the pinned version: check-ins above it do not decide, a file
// whose only change in the range lies above its pin is not selected, and a selected one is
// fetched and told at the version held. A label decides as ever, naming the held version it
// covers. The file's own project, which holds every version, sees every check-in.
TEST_F(Walk, APinnedFileIsDecidedByTheVersionItsProjectHolds) {
  seed(R"(
project $/Rel
project $/Lab
file $/Src/above.c by alice at 2024-04-02 10:00 content "a1"
pin $/Src/above.c into $/Rel version 1 by li at 2024-04-03 10:00
version $/Src/above.c by bob at 2024-05-10 10:00 content "a2"
file $/Src/held.c by alice at 2024-05-02 10:00 content "h1"
pin $/Src/held.c into $/Rel version 1 by li at 2024-05-03 10:00
version $/Src/held.c by bob at 2024-05-10 10:00 content "h2"
file $/Src/l.c by alice at 2024-04-02 10:00 content "l1"
pin $/Src/l.c into $/Lab version 1 by li at 2024-04-03 10:00
version $/Src/l.c by bob at 2024-05-10 10:00 content "l2"
label $/Lab R by li at 2024-05-12 10:00 comment "release"
)");
  struct Observer : ListObserver {
    Lines seen;
    void listed(ResultList, const std::wstring& spec, const std::wstring&,
                const Decision* d) override {
      seen.push_back(spec + L" " + d->record->username() + L" " + d->record->label() + L" v" +
                     std::to_wstring(d->record->versionNumber()) + L" covers " +
                     std::to_wstring(d->labelCovers));
    }
  };
  struct Case {
    const wchar_t* project;
    Lines listed;
    Strings fetched;
  };
  const std::vector<Case> cases = {
      {L"$/Rel", {L"$/Rel/held.c alice  v1 covers 0"}, {"held.c=h1"}},
      {L"$/Lab", {L"$/Lab/l.c li R v3 covers 1"}, {"l.c=l1"}},
      {L"$/Src",
       {L"$/Src/above.c bob  v2 covers 0", L"$/Src/held.c bob  v2 covers 0",
        L"$/Src/l.c bob  v2 covers 0"},
       {"above.c=a2", "held.c=h2", "l.c=l2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(standin::text::narrow(c.project));
    reset();
    fs::remove_all(root_ / "out");
    fs::create_directory(root_ / "out");
    window_.texts[TextBox::Project] = c.project;
    window_.selected = ModeOption::Local;
    Observer observer;
    patcher_.setHooks({.listObserver = &observer, .insteadOfWalk = {}});
    run();
    patcher_.setHooks({});
    EXPECT_EQ(observer.seen, c.listed);
    EXPECT_TRUE(window_.unshared.empty());
    EXPECT_EQ(localTree(), c.fetched);
  }
  // Told record by record: the check-in above the pin is passed over.
  std::wstring passed;
  struct PassedOver : SelectionObserver {
    std::wstring& out;
    explicit PassedOver(std::wstring& o) : out(o) {}
    void passedOver(vss::Version& record, engine::PassedOver why) override {
      out += std::to_wstring(record.versionNumber()) +
             (why == engine::PassedOver::AbovePin ? L"P" : L"?");
    }
  } observer(passed);
  reset();
  window_.texts[TextBox::Project] = L"$/Rel";
  std::optional<Decision> decision;
  patcher_.setHooks({.insteadOfWalk = [&](vss::Database&, vss::Item& project) {
    for (auto& file : project.items(false)) {
      if (file->name() == L"held.c")
        decision = patcher_.decide(*file, *file->versions(0), &observer);
    }
  }});
  run();
  patcher_.setHooks({});
  ASSERT_TRUE(decision);
  EXPECT_EQ(passed, L"2P");
  EXPECT_EQ(decision->verdict, Verdict::Selected);
  EXPECT_EQ(decision->placeVersion, 1);
}

// Dates of one second made by other arithmetic than the platform's: from the whole seconds, from
// the day and the time of day in hours, and the platform's own value one bit up or down.
double bySeconds(double date, int offset) {
  return static_cast<double>(std::llround(date * 86400.0) + offset) / 86400.0;
}
double byParts(double date, int offset) {
  const std::int64_t total = std::llround(date * 86400.0) + offset;
  const std::int64_t day = total / 86400, second = total % 86400;
  const double minutes =
      static_cast<double>(second / 60 % 60) + static_cast<double>(second % 60) / 60.0;
  return static_cast<double>(day) + (static_cast<double>(second / 3600) + minutes / 60.0) / 24.0;
}
double oneBitUp(double date) { return std::nextafter(date, 1e9); }
double oneBitDown(double date) { return std::nextafter(date, -1e9); }

// Every minute of a day: each arithmetic gives the platform's second back.
TEST(Selection, EveryDateOfOneSecondRoundsToThatSecondWhateverItsArithmetic) {
  fakes::DiskPlatform platform;
  for (int minute = 0; minute < 24 * 60; ++minute) {
    char text[32];
    std::snprintf(text, sizeof text, "2024-05-01 %02d:%02d", minute / 60, minute % 60);
    const double typed = *platform.toDate(standin::text::widen(text));
    const std::optional<std::int64_t> second = wholeSeconds(typed);
    ASSERT_TRUE(second) << text;
    for (const double other :
         {bySeconds(typed, 0), byParts(typed, 0), oneBitUp(typed), oneBitDown(typed)}) {
      EXPECT_EQ(wholeSeconds(other), second) << text;
    }
    EXPECT_EQ(wholeSeconds(byParts(typed, 1)), *second + 1) << text;
    EXPECT_EQ(wholeSeconds(bySeconds(typed, -1)), *second - 1) << text;
  }
  for (const double notADate : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300}) {
    EXPECT_FALSE(wholeSeconds(notADate));
  }
}

// The range is open at both ends at whole seconds: through the walk, a record on either bound made
// by any of those arithmetics is skipped and one a second inside is selected.
TEST_F(Walk, ARecordOnABoundIsSkippedWhateverArithmeticMadeItsDate) {
  using DateOf = std::function<double(double, double)>;  // (start, end) -> the record's date
  const std::vector<std::tuple<std::string, DateOf, bool>> files = {
      {"start-seconds", [](double s, double) { return bySeconds(s, 0); }, false},
      {"start-parts", [](double s, double) { return byParts(s, 0); }, false},
      {"start-up", [](double s, double) { return oneBitUp(s); }, false},
      {"start-down", [](double s, double) { return oneBitDown(s); }, false},
      {"end-seconds", [](double, double e) { return bySeconds(e, 0); }, false},
      {"end-parts", [](double, double e) { return byParts(e, 0); }, false},
      {"end-up", [](double, double e) { return oneBitUp(e); }, false},
      {"end-down", [](double, double e) { return oneBitDown(e); }, false},
      {"second-after-start", [](double s, double) { return byParts(s, 1); }, true},
      {"second-before-end", [](double, double e) { return bySeconds(e, -1); }, true},
  };
  std::string script;
  Lines expected;
  std::map<std::wstring, DateOf> dateOf;
  for (const auto& [name, date, selected] : files) {
    script += "file $/Src/" + name + " by alice at 2024-05-01 12:00\n";
    const std::wstring spec = L"$/Src/" + standin::text::widen(name);
    dateOf[spec] = date;
    if (selected) expected.push_back(spec);
  }
  seed(script);
  std::sort(expected.begin(), expected.end());
  double start = 0, end = 0;
  calls().dateOf = [&](const std::wstring& spec, double) { return dateOf.at(spec)(start, end); };
  // A minute of each hour, and the last one of the day, whose end is the next day.
  for (int minute = 7; minute < 24 * 60; minute += minute == 1387 ? 52 : 60) {
    char from[32], to[32];
    std::snprintf(from, sizeof from, "2024-05-01 %02d:%02d", minute / 60, minute % 60);
    const int next = minute + 1;
    std::snprintf(to, sizeof to, "2024-05-%02d %02d:%02d", 1 + next / 1440, next / 60 % 24,
                  next % 60);
    SCOPED_TRACE(from);
    window_.texts[TextBox::StartDate] = standin::text::widen(from);
    window_.texts[TextBox::EndDate] = standin::text::widen(to);
    start = *platform_.toDate(window_.texts[TextBox::StartDate]);
    end = *platform_.toDate(window_.texts[TextBox::EndDate]);
    run();
    Lines listed = window_.shared;
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, expected);
  }
}

// A Share run of a project that holds its own patch project never walks into the patch (compared
// as the database spells it, letter case ignored, whatever the typed spelling): a rerun finds
// every file already shared at the same depth, counts it as processed and changes nothing, not
// even trying to add a subproject. The walked project typed in other letter cases lists the
// paths as the database spells them, although the library echoes the typed spelling.
TEST_F(Walk, AShareRunNeverEntersThePatchProjectInsideTheWalkedProject) {
  const std::string script = R"(user Admin password secret
file $/Src/a.c by alice at 2024-05-03 10:00
file $/Src/lib/b.c by alice at 2024-05-03 10:00
file $/Src/Patches/notes.txt by alice at 2024-05-03 10:00
project $/Src/Patches/2.4
)";
  const Lines walked = {L"$/Src/a.c", L"$/Src/lib/b.c", L"$/Src/Patches/notes.txt"};
  int n = 0;
  for (const std::wstring typed : {L"$/src/PATCHES/2.4", L"$/Src/Patches/2.4/",
                                   L"$/SRC//patches/2.4/", L"$/Src/Patches//2.4//"}) {
    SCOPED_TRACE(standin::text::narrow(typed));
    const fs::path db = root_ / ("db" + std::to_string(++n));
    standin::createStore(db);
    standin::seed(db, script);
    reset();
    window_.texts[TextBox::Host] = standin::text::widen((db / "srcsafe.ini").string());
    window_.selected = ModeOption::Share;
    window_.texts[TextBox::Patch] = typed;
    window_.texts[TextBox::Project] = n % 2 == 1 ? L"$/sRC" : L"$/Src";
    engine::Patcher patcher(window_, platform_, library_);
    std::string afterFirst;
    for (int round = 1; round <= 2; ++round) {
      SCOPED_TRACE(round);
      window_.status.clear();
      patcher.cmdPatch_Click();
      EXPECT_EQ(window_.shared, walked);
      EXPECT_TRUE(window_.unshared.empty());
      EXPECT_EQ(Lines(window_.status.begin() + 1, window_.status.end() - 1), walked);
      if (round == 1) afterFirst = standin::dump(db);
    }
    EXPECT_EQ(calls().count["newSubproject"], 2);  // lib and Patches, in the first round
    const std::string after = standin::dump(db);
    EXPECT_EQ(after, afterFirst);
    Strings inPatch;
    std::istringstream lines(after);
    for (std::string line; std::getline(lines, line);) {
      if (line.find("$/Src/Patches/2.4/") != std::string::npos && line[0] != ' ')
        inPatch.push_back(line);
    }
    EXPECT_EQ(
        inPatch,
        (Strings{"file $/Src/Patches/2.4/a.c shares $/Src/a.c", "project $/Src/Patches/2.4/lib",
                 "file $/Src/Patches/2.4/lib/b.c shares $/Src/lib/b.c",
                 "project $/Src/Patches/2.4/Patches", "file $/Src/Patches/2.4/Patches/notes.txt",
                 "file $/Src/Patches/notes.txt shares "
                 "$/Src/Patches/2.4/Patches/notes.txt"}));
  }
  // Other modes walk the patch project like any other.
  reset();
  window_.texts[TextBox::Host] = standin::text::widen((root_ / "db1" / "srcsafe.ini").string());
  run();
  EXPECT_EQ(window_.shared.size(), 6u);
}

// What the walk cannot read is listed, shown or passed over, and the walk goes on. A project
// whose children cannot be listed, a child whose kind cannot be read (under its own path), or an
// item whose path cannot be read is listed with the library's status, under the nearest project
// above whose path can be read (the walked project as typed when none can). A history that cannot
// be read, at its listing or at the deciding record's date, is the file's: damage (0x80040000, or
// "Error reading from file" of an item file cut short) is listed, another failure is shown in a
// box while the walk waits (the run still on, the next file's path not yet shown). A record whose
// author cannot be read is not the target user's: the file is passed over without a trace.
TEST_F(Walk, WhatCannotBeReadIsListedShownOrPassedOverAndTheWalkGoesOn) {
  seed(R"(
file $/Src/lib/deep/c.c by alice at 2024-05-03 10:00
file $/Src/lib/deep/more/d.c by alice at 2024-05-03 10:00
file $/Src/z.c by alice at 2024-05-03 10:00
)");
  constexpr auto kOther = static_cast<std::int32_t>(0x8004D6A0);
  constexpr std::int32_t kDamaged = vss::kDeletedOrDamaged;
  struct Case {
    std::string member;  // the call of it numbered `call` fails with `status`
    int call;
    std::int32_t status;
    Lines shared, unshared;
    std::wstring box = L"";  // the text of the box after the confirmation, if any
    Lines unreadable = {};   // lower-case paths whose reading fails
    std::wstring project = L"$/Src", targetUser = L"";
  };
  const std::wstring st = L" - 未知错误,代码: -2147166560", c = L"$/Src/lib/deep/c.c",
                     d = L"$/Src/lib/deep/more/d.c", z = L"$/Src/z.c",
                     damaged = c + L" - VSS上这个文件是损坏的";
  const Lines everyPath = {L"$/src/lib/deep/c.c", L"$/src/lib/deep", L"$/src/lib", L"$/src"};
  const std::vector<Case> cases = {
      {"items", 1, kOther, {}, {L"$/Src" + st}},
      {"items", 2, kOther, {z}, {L"$/Src/lib" + st}},
      {"type", 1, kOther, {z}, {L"$/Src/lib" + st}},
      {"type", 3, kOther, {d, z}, {c + st}},
      {"", 0, kOther, {c, d}, {L"$/Src" + st}, L"", {L"$/src/z.c"}},
      {"", 0, kOther, {d, z}, {L"$/Src/lib" + st}, L"", {L"$/src/lib/deep/c.c", L"$/src/lib/deep"}},
      // deep's children cannot be listed, and neither its path nor lib's can be read
      {"items", 3, kOther, {z}, {L"$/Src" + st}, L"", {L"$/src/lib/deep", L"$/src/lib"}},
      // typed in other letter cases: the stored spelling cannot be read either
      {"",
       0,
       kOther,
       {L"$/sRC/lib/deep/more/d.c", L"$/sRC/z.c"},
       {L"$/sRC" + st},
       L"",
       everyPath,
       L"$/sRC"},
      {"versions", 1, kDamaged, {d, z}, {damaged}},
      {"versions", 1, vss::kReadError, {d, z}, {damaged}},  // an item file cut short
      {"versions", 2, kOther, {c, z}, {}, L"Injected failure of versions"},
      {"date", 1, kDamaged, {d, z}, {damaged}},
      {"date", 2, kOther, {c, z}, {}, L"Injected failure of date"},
      {"username", 1, kOther, {d, z}, {}, L"", {}, L"$/Src", L"ALICE"},
  };
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& k = cases[i];
    SCOPED_TRACE(i);
    reset();
    for (const std::wstring& path : k.unreadable) calls().specFaults[path] = kOther;
    calls().failMember = k.member;
    calls().failCall = k.call;
    calls().failStatus = k.status;
    window_.texts[TextBox::Project] = k.project;
    window_.texts[TextBox::TargetUser] = k.targetUser;
    bool running = false;
    std::size_t statusCount = 0;
    window_.onBox = [&](const FakeWindow::Box&) {
      running = patcher_.state().running;
      statusCount = window_.status.size();
    };
    run();
    EXPECT_EQ(window_.shared, k.shared);
    EXPECT_EQ(window_.unshared, k.unshared);
    EXPECT_EQ(window_.status.back(), L"补丁整理完成！");
    ASSERT_EQ(window_.boxes.size(), k.box.empty() ? 1u : 2u);
    if (k.box.empty()) continue;
    EXPECT_EQ(window_.boxes[1].line(), L"Ostrabel|-|OK|" + k.box);
    EXPECT_TRUE(running);
    EXPECT_EQ(statusCount, 3u);  // "", c.c, d.c: z.c comes after the box
  }
}

// One failure of the library at any call of a run, in every mode: the run ends as usual and every
// selected file that the walk could reach is in exactly one list; a file it could not reach lies
// below a project listed with the status; the failure leaves at most one trace (a line with its
// status, or the box of a history that could not be read). A failure while opening ends the run
// before anything is listed.
TEST_F(Walk, OneFailureAtAnyCallLeavesEverySelectedFileAccountedFor) {
  seed(R"(
user Compileruser
file $/Src/a.c by alice at 2024-05-03 10:00
file $/Src/lib/b.c by alice at 2024-05-03 10:00
file $/Src/lib/deep/c.c by bob at 2024-05-04 10:00
label $/Src/lib B1 by Compileruser at 2024-05-06 10:00
file $/Src/old.c by alice at 2024-04-01 10:00
file $/Src/z.c by carol at 2024-05-05 10:00
)");
  const std::wstring injected = L" - 未知错误,代码: -2147166560";
  const fs::path journal = root_ / "db" / "data" / "journal.txt";
  const std::uintmax_t seeded = fs::file_size(journal);
  int runs = 0, traced = 0;
  for (const ModeOption mode : {ModeOption::View, ModeOption::Share, ModeOption::Local}) {
    // A run with a fresh window and engine on the store as seeded: a Share run's changes are cut
    // off the journal after it (a Local run replaces the read-only copies an earlier one left).
    const auto freshRun = [&](const std::string& failMember, int failCall) {
      ++runs;
      reset();
      window_.selected = mode;
      window_.ignoreBuildUser = true;
      calls().failMember = failMember;
      calls().failCall = failCall;
      calls().failStatus = static_cast<std::int32_t>(0x8004D6A0);
      engine::Patcher patcher(window_, platform_, library_);
      patcher.cmdPatch_Click();
      fs::resize_file(journal, seeded);
    };
    freshRun("", 0);
    const std::map<std::string, int> clean = calls().count;
    const Lines selected = window_.shared;
    ASSERT_EQ(selected,
              (Lines{L"$/Src/a.c", L"$/Src/lib/b.c", L"$/Src/lib/deep/c.c", L"$/Src/z.c"}));
    for (const auto& [member, count] : clean) {
      for (int k = 1; k <= count; ++k) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(mode) << " " << member << " " << k);
        freshRun(member, k);
        const bool started = std::count(window_.button.begin(), window_.button.end(),
                                        std::make_pair(std::wstring(L"Patching..."), false)) != 0;
        if (!started || window_.status.back() == L"补丁整理意外中止，结果不完整！") {
          EXPECT_TRUE(member == "open" || member == "vssItem");
          EXPECT_TRUE(window_.shared.empty() && window_.unshared.empty());
          EXPECT_EQ(window_.boxes.size(), 2u);
          ++traced;
          continue;
        }
        EXPECT_EQ(window_.status.back(), L"补丁整理完成！");
        Lines lines = window_.shared;
        lines.insert(lines.end(), window_.unshared.begin(), window_.unshared.end());
        const auto pathOf = [](const std::wstring& line) {
          return line.substr(0, line.find(L" - "));
        };
        std::set<std::wstring> paths;
        for (const std::wstring& line : lines)
          EXPECT_TRUE(paths.insert(pathOf(line)).second) << line;
        const bool boxed = window_.boxes.size() == 2;
        const auto traces =
            std::count_if(lines.begin(), lines.end(),
                          [&](const std::wstring& line) { return line.ends_with(injected); });
        // A failure that the run recovers from leaves no trace and loses nothing: the paths that
        // start reads fall back to the typed texts, a remembered Share target whose lookup fails
        // is prepared again.
        EXPECT_LE(traces + (boxed ? 1 : 0), 1);
        traced += traces + (boxed ? 1 : 0);
        int unaccounted = 0;
        for (const std::wstring& file : selected) {
          if (paths.count(file) != 0) continue;
          const bool below = std::any_of(lines.begin(), lines.end(), [&](const std::wstring& line) {
            return line.ends_with(injected) && file.starts_with(pathOf(line) + L"/");
          });
          if (!below) ++unaccounted;
        }
        EXPECT_LE(unaccounted, boxed ? 1 : 0);  // the box may be about a file not selected
      }
    }
  }
  EXPECT_GT(runs, 150);
  // Most failures leave a trace: not those the run recovers from (the paths that start reads, the
  // lookups of the stored spellings).
  EXPECT_GT(traced, runs * 85 / 100);
}

}  // namespace
