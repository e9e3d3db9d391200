// The label bounds of a run (--since-label, --until-label): the time of a label in the walked
// project's history, resolved before the engine runs and handed to it as a date text that the
// platform reads back to the same second. The engine converts and checks its date texts before
// it opens the database, so the label must be a date by then.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/options.h"
#include "engine/ports.h"
#include "vss/port.h"

namespace console {

// An automation date as "yyyy-mm-dd hh:mm:ss", at the nearest whole second; empty for a value
// that is no date.
std::wstring dateText(double date);

// The time of the newest record of the label `name` (exact spelling) in the history of
// `project`: its own labels and those of the projects above it, as its history shows them.
// Nothing when the history holds no such label. Failures of the library are thrown.
std::optional<double> labelTime(vss::Item& project, const std::wstring& name);

// What looking up the label bounds came to.
struct LabelLookup {
  std::vector<std::wstring> notes;      // the bounds found, for standard error
  std::optional<std::wstring> failure;  // why the run cannot go on
  bool openFailed = false;  // the failure is the library's: the database or project did not open
};

// Puts the time of each label bound of `options` into `inputs` (startDate, endDate). Opens the
// database with the inputs' host, user and password and reads the project's history once.
// Without a host, user, password or project the run is refused by the engine's own checks: the
// bounds then stand in with a date any platform reads, so that only the missing inputs are told.
LabelLookup resolveLabelBounds(const Options& options, RunInputs& inputs, vss::Library& library,
                               engine::PlatformPort& platform);

}  // namespace console
