// What the release engineer's options (--since-label, --until-label, --skip-labels, --report,
// --explain) add to a run of the console program, in one place so that the run itself changes
// little: the checks of the command line, the report file prepared before the database is
// opened and written at the end, the label bounds, and what the engine is given for them.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "console/exit_status.h"
#include "console/explain.h"
#include "console/labels.h"
#include "console/options.h"
#include "console/report.h"
#include "engine/patcher.h"

namespace console {

// Refuses the combinations these options cannot follow (UsageError): a label and a date for one
// bound, a report file that is neither .csv nor .html or is a list's file, --explain with lists
// or a report.
void checkQuestionOptions(const Options& options);

// The exit status of an explanation: 0 when every path named a file, 2 when one did not (as for
// any other refused input); a failure ends it as it ends a run.
int explainExitStatus(const RunRecord& record, const ExplainOutcome& outcome);

// The name of a run's mode as the window's option buttons show it ("VSS", "Local", "View").
std::wstring modeName(engine::RunMode mode);

class Questions {
 public:
  Questions(const Options& options, engine::PlatformPort& platform, vss::Library& library)
      : options_(options), platform_(platform), library_(library) {}

  bool explaining() const { return !options_.explain.empty(); }
  // Makes the report's collector ready (the run writes the report's file, as it writes the lists).
  void prepareReport();
  // Puts the label bounds into `inputs` (see resolveLabelBounds).
  LabelLookup resolveLabels(RunInputs& inputs) {
    return resolveLabelBounds(options_, inputs, library_, platform_);
  }
  // Gives the engine the label rule, the report's observer and the explanation in place of the
  // walk, which writes to `explanation`.
  void attach(engine::Patcher& patcher, TextSink& explanation);
  // After the run: the report of `inputs` as the run took them, as the bytes of its file.
  std::string report(const engine::Patcher& patcher, const RunInputs& inputs) const;
  const ExplainOutcome& explained() const { return explained_; }

 private:
  const Options& options_;
  engine::PlatformPort& platform_;
  vss::Library& library_;
  std::unique_ptr<ReportCollector> collector_;
  ExplainOutcome explained_;
};

}  // namespace console
