// The fixture of whole console runs over the engine tests' stand-in store.
#pragma once

#include <string>
#include <vector>

#include "console/texts.h"
#include "native/console/support.h"
#include "native/engine/fakes.h"

namespace consoletest {

using namespace fakes;
using namespace std::string_literals;
using Args = std::vector<std::wstring>;
using console::kAllProcessed;
using console::kInvalidInput;
using console::kSomeUnprocessed;
using console::kUnexpectedFailure;
namespace ct = console::texts;

// Whole runs of the console program over the engine tests' stand-in store: the settings file
// job.ini holds the window's inputs (a View run of $/Src in May 2024); lists, reports and other
// stores lie in the test's folder, which is the current folder of relative paths.
class ConsoleRun : public fakes::Run {
 protected:
  void SetUp() override {
    Run::SetUp();
    env_.disk.current = root_;
    resetJob();
  }
  void resetJob() {
    env_.files[L"job.ini"] = {.values = {.host = defaults_[TextBox::Host],
                                         .project = L"$/Src",
                                         .patch = L"$/Patch",
                                         .startDate = L"2024-05-01 00:00",
                                         .endDate = L"2024-06-01 00:00",
                                         .user = L"Admin",
                                         .passwd = L"secret",
                                         .localDir = out()},
                              .cutKeys = {}};
  }
  console::SettingsFile& job() { return env_.files[L"job.ini"]; }
  // A run on a fresh terminal (one that shows a progress line when progress_ says so).
  int cli(const Args& args) {
    env_.term = {};
    env_.term.progress = progress_;
    return console::run(args, env_);
  }
  std::wstring file(const std::string& name) {
    return standin::text::widen((root_ / name).string());
  }
  std::string read(const std::string& name) { return temp_.read(name); }
  // A store of its own seeded with `script`; its srcsafe.ini.
  std::wstring store(const std::string& name, const std::string& script) {
    standin::createStore(root_ / name);
    standin::seed(root_ / name, script);
    return file(name + "/srcsafe.ini");
  }

  // A run of job.ini and `args`, its lists into the files p.txt and u.txt.
  int cliWithLists(const Args& args) {
    Args all = {L"--ini",      L"job.ini",       L"--processed",
                file("p.txt"), L"--unprocessed", file("u.txt")};
    all.insert(all.end(), args.begin(), args.end());
    return cli(all);
  }
  // The walk's database does not open (the first opening is the check before the run).
  void failTheWalksOpening() {
    calls().failMember = "open";
    calls().failCall = 2;
  }
  // The summary line a run ends with (the test's clock makes every run last 0.0 s).
  static std::wstring summary(std::uint64_t processed, std::uint64_t unprocessed,
                              const std::wstring& mode = L"View") {
    return ct::summary(mode, processed, unprocessed, L"0.0") + L"\r\n";
  }

  FakeEnvironment env_{platform_, library_};
  bool progress_ = false;
};

}  // namespace consoletest
