// The patch engine: one run of the Patch command, from the inputs to the result lists.
// The procedures keep the names the window's developers know them by; the window calls
// cmdPatch_Click and reads state() (for instance `running` when asked to close).
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/ports.h"
#include "engine/run_state.h"
#include "vss/port.h"

namespace engine {

class Patcher {
 public:
  Patcher(WindowPort& window, PlatformPort& platform, vss::Library& library);
  Patcher(const Patcher&) = delete;
  Patcher& operator=(const Patcher&) = delete;

  RunState& state() { return state_; }
  const RunState& state() const { return state_; }

  // The Patch button: take the inputs, save, validate, confirm, open, run.
  void cmdPatch_Click();

  // Run parameters and validation.
  void populateValue();
  std::vector<std::wstring> checkValue() const;

  // Run driver.
  bool openDatabase();
  void start();
  void finish();

  // Project walk and change selection.
  void recurrence(vss::Item& oProject);
  void vssItemCallback(vss::Item& oVSSItem);
  std::unique_ptr<vss::Version> getLastVersion(vss::Item& oVSSItem);

  // Share into the patch project.
  void shareMe(vss::Item& oVSSItem, vss::Version* oVSSVer);
  void createShareProject(const std::vector<std::wstring>& subProj);
  std::vector<std::wstring> getSubProject(vss::Item& parent);

  // Local export.
  void getVSSLocal(vss::Item& oVSSItem, vss::Version* oVSSVer);
  void createLocalDir(const std::vector<std::wstring>& subProj);

  // Result lists.
  void listMe(ResultList listBox, vss::Item& oVSSItem, vss::Version* oVSSVer,
              const std::wstring& reason);

 private:
  WindowPort& window_;
  PlatformPort& platform_;
  vss::Library& library_;
  RunState state_;
};

// The clipboard text of a result list: its lines in order, CR LF between them, none after the last.
std::wstring clipboardText(const std::vector<std::wstring>& lines);

}  // namespace engine
