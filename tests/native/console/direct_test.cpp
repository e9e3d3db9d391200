// Direct runs (--direct) on the databases made by real SourceSafe: their lists, reports,
// explanations and fetched bytes are those of the same runs through the stand-in library (which
// answers as SourceSafe's library does), and the database's folder is left byte for byte as it
// was. A Share run and a wrong login are refused with status 2.
#include <gtest/gtest.h>

#include "console/options.h"
#include "native/console/run_fixture.h"
#include "tests/native/standin/samples.h"

namespace consoletest {
namespace {

class DirectRun : public ConsoleRun {
 protected:
  // job.ini on a copy of `sample` (made once, in real/): the whole database, every date, Admin
  // without a password.
  void onSample(const fs::path& sample) {
    if (!fs::exists(root_ / "real")) samples::copy(sample, root_ / "real");
    job().values.host = file("real/srcsafe.ini");
    job().values.project = L"$/";
    job().values.startDate = L"1990-01-01 00:00";
    job().values.endDate = L"2030-01-01 00:00";
    job().values.passwd.clear();
    job().passwdGiven = true;
  }
  // What a run left: its status, output and standard error (the test's clock makes every run take
  // as long), the two lists and the report.
  std::string outcome(const Args& args) {
    for (const char* name : {"p.txt", "u.txt", "r.csv"}) fs::remove(root_ / name);
    Args all = args;
    all.insert(all.end(), {L"--report", file("r.csv")});
    // --explain writes neither lists nor a report.
    const bool explain = !args.empty() && args.front() == L"--explain";
    // Lists in UTF-8, so that a path read back from one names its file.
    all.insert(all.end(), {L"--encoding", L"utf8"});
    Args job = {L"--ini", L"job.ini", L"--encoding", L"utf8"};
    job.insert(job.end(), args.begin(), args.end());
    const int status = explain ? cli(job) : cliWithLists(all);
    std::string text =
        std::to_string(status) + "\n" + utf8(env_.term.out) + "\n" + utf8(env_.term.err) + "\n";
    for (const char* name : {"p.txt", "u.txt", "r.csv"})
      text += std::string(name) + ":\n" + (fs::exists(root_ / name) ? read(name) : "-") + "\n";
    return text;
  }
};

TEST_F(DirectRun, ListsReportsExplanationsAndFetchedBytesAreThoseThroughTheLibrary) {
  const auto folder = samples::folder();
  if (!folder) GTEST_SKIP() << "no sample databases (shared/vss-samples): not tested";
  int seen = 0;
  for (const char* name : {"tiny", "push114crm", "micnets", "inventory"}) {
    const auto sample = samples::database(name);
    if (!sample) continue;
    ++seen;
    SCOPED_TRACE(name);
    for (const char* dir : {"real", "fetched", "direct"}) fs::remove_all(root_ / dir);
    onSample(*sample);
    const auto before = samples::snapshot(root_ / "real");
    const Args local = {L"--mode", L"local", L"--local-dir", file("fetched")};

    const std::string view = outcome({L"--direct"});
    Args directLocal = local;
    directLocal.push_back(L"--direct");
    const std::string fetched = outcome(directLocal);
    EXPECT_EQ(samples::snapshot(root_ / "real"), before) << "the database's folder was written";
    // Runs that got as far as their walk, and wrote a report.
    for (const std::string* run : {&view, &fetched}) {
      EXPECT_TRUE(run->starts_with("0\n") || run->starts_with("1\n")) << *run;
      EXPECT_EQ(run->find("r.csv:\n-\n"), std::string::npos) << *run;
    }
    ASSERT_TRUE(fs::exists(root_ / "fetched")) << fetched;
    fs::rename(root_ / "fetched", root_ / "direct");
    EXPECT_EQ(view, outcome({}));
    EXPECT_EQ(fetched, outcome(local));
    EXPECT_EQ(localTree("direct"), localTree("fetched"));
    EXPECT_GT(localTree("direct").size(), 1u);

    // One processed file explained.
    const std::string processed = read("p.txt");
    ASSERT_FALSE(processed.empty());
    const std::wstring first = standin::text::widen(processed.substr(0, processed.find('\r')));
    const Args explain = {L"--explain", first};
    Args direct2 = explain;
    direct2.push_back(L"--direct");
    const std::string explained = outcome(direct2);
    EXPECT_TRUE(explained.starts_with("0\n")) << explained;
    EXPECT_EQ(explained, outcome(explain));
    EXPECT_EQ(samples::snapshot(root_ / "real"), before) << "the database's folder was written";
  }
  if (seen == 0) GTEST_SKIP() << "none of the four samples found: not tested";
}

// Refused before the database is read: a Share run, a local folder inside the database's folder;
// and, as SourceSafe refuses them, a wrong password, an unknown user, a missing password of a
// user who has one. Nothing is written into the folder by any of them.
TEST_F(DirectRun, ShareALocalFolderInTheDatabaseAndWrongLoginsAreRefused) {
  const auto sample = samples::database("tiny");
  if (!sample) GTEST_SKIP() << "sample tiny not found: not tested";
  onSample(*sample);
  const auto before = samples::snapshot(root_ / "real");
  struct Case {
    Args args;
    std::function<void()> prepare;
    std::wstring error;
  };
  const std::vector<Case> cases = {
      {{L"--mode", L"vss"}, nullptr, ct::kDirectCannotShare + L"\r\n"s},
      {{L"--mode", L"local", L"--local-dir", file("real/data/x")},
       nullptr,
       ct::kLocalDirInDatabase + file("real/data/x") + L"\r\n"},
      {{}, [this] { job().values.passwd = L"x"; }, L"Invalid password\r\n"},
      {{}, [this] { job().values.user = L"nobody"; }, L"User \"nobody\" not found\r\n"},
      {{L"--user", L"Johnson"}, nullptr, L"Invalid password\r\n"},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(n++);
    resetJob();
    onSample(*sample);
    if (c.prepare) c.prepare();
    Args args = c.args;
    args.push_back(L"--direct");
    EXPECT_EQ(cliWithLists(args), kInvalidInput);
    EXPECT_EQ(env_.term.err, c.error);
    EXPECT_FALSE(fs::exists(root_ / "p.txt"));
  }
  // Johnson's own password, in any letter case, as SourceSafe takes it.
  env_.variables[console::kPasswordVariable] = L"AAH8";
  EXPECT_EQ(cliWithLists({L"--direct", L"--user", L"johnson"}), kAllProcessed)
      << utf8(env_.term.err);
  EXPECT_EQ(samples::snapshot(root_ / "real"), before);
}

}  // namespace
}  // namespace consoletest
