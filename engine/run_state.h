// The run state of the main window: the snapshot of the inputs taken when Patch is pressed,
// and what the run driver and the two actions keep between files and between runs.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "vss/port.h"

namespace engine {

// The action of a run. Every value other than Share and Local behaves as View.
enum class RunMode { None = 0, Share = 1, Local = 2, View = 3 };

// An insertion-ordered collection of texts. Membership is exact (case-sensitive) and served by
// an index beside the ordered values, so that it does not grow with the collection.
class NameCollection {
 public:
  void add(const std::wstring& value) {
    values_.push_back(value);
    index_.insert(value);
  }
  bool contains(const std::wstring& value) const { return index_.count(value) != 0; }
  const std::vector<std::wstring>& values() const { return values_; }

 private:
  std::vector<std::wstring> values_;
  std::unordered_set<std::wstring> index_;
};

struct RunState {
  // Taken from the inputs by populateValue.
  std::wstring host;     // path of the database's srcsafe.ini
  std::wstring project;  // database path of the project to walk
  std::wstring patch;    // database path of the patch project (Share mode)
  std::wstring user;
  std::wstring passwd;
  std::wstring startDateText;
  std::wstring endDateText;
  std::wstring targetUser;  // lower-cased; empty means no user filter
  std::wstring localDir;    // root of the local tree (Local mode)
  RunMode mode = RunMode::None;
  bool ignoreBuildUser = false;
  // Label records never decide: the console program's --skip-labels and label bounds. Not an
  // input of the window, which leaves it false; populateValue does not touch it.
  bool skipLabels = false;
  // An empty password is a password: the console program's login without one, given
  // explicitly. Not an input of the window, which leaves it false and demands a password.
  bool emptyPasswordGiven = false;

  // Set by the run driver.
  double startDate = 0;  // automation dates
  double endDate = 0;
  bool running = false;
  std::unique_ptr<vss::Database> database;  // Share mode only; kept after the run
  std::unique_ptr<vss::Item> patchItem;     // Share mode only; moved to each file's target

  // Source folders whose patch subproject chain is prepared; lives until the program ends.
  NameCollection sharedNames;
  // Local folder of the file being fetched.
  std::wstring localTargetDir;
  // Full path of the settings file beside the executable.
  std::wstring iniFilePath;
};

}  // namespace engine
