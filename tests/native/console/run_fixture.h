// The fixture of whole console runs over the engine tests' stand-in store.
#pragma once

#include <string>
#include <vector>

#include "native/console/support.h"
#include "native/engine/fakes.h"

namespace consoletest {

// Whole runs of the console program over the engine tests' stand-in store: the settings file
// job.ini holds the window's inputs (a View run of $/Src in May 2024); lists, reports and other
// stores lie in the test's folder.
class ConsoleRun : public fakes::Run {
 protected:
  void SetUp() override {
    Run::SetUp();
    resetJob();
  }
  void resetJob() {
    env_.files[L"job.ini"] = {.values = {.host = defaults_[engine::TextBox::Host],
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
  int cli(const std::vector<std::wstring>& args) {
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

  FakeEnvironment env_{platform_, library_};
  bool progress_ = false;
};

}  // namespace consoletest
