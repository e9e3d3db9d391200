// The release engineer's options in a run of the console program.
#include "console/questions.h"

#include "console/question_texts.h"
#include "console/texts.h"
#include "engine/texts.h"

namespace console {
void checkQuestionOptions(const Options& options) {
  if (options.sinceLabel && options.startDate) {
    throw UsageError(texts::kLabelAndDate + std::wstring(L"--since-label --start"));
  }
  if (options.untilLabel && options.endDate) {
    throw UsageError(texts::kLabelAndDate + std::wstring(L"--until-label --end"));
  }
  if (options.report) {
    if (!reportFormat(*options.report)) throw UsageError(texts::kReportExtension + *options.report);
    // Windows file names are the same in any letter case.
    for (const std::optional<std::wstring>* list : {&options.processed, &options.unprocessed}) {
      if (*list && lowerAscii(**list) == lowerAscii(*options.report)) {
        throw UsageError(texts::kReportIsAList + *options.report);
      }
    }
  }
  if (!options.explain.empty()) {
    const std::pair<const std::optional<std::wstring>*, const wchar_t*> outputs[] = {
        {&options.processed, L"--processed"},
        {&options.unprocessed, L"--unprocessed"},
        {&options.report, L"--report"}};
    for (const auto& [output, name] : outputs) {
      if (*output) throw UsageError(texts::kExplainWritesNoFiles + std::wstring(name));
    }
  }
}

int explainExitStatus(const RunRecord& record, const ExplainOutcome& outcome) {
  const int status = exitStatus(record);
  if (status != kAllProcessed) return status;
  return outcome.missing > 0 ? kInvalidInput : kAllProcessed;
}

std::wstring modeName(engine::RunMode mode) {
  switch (mode) {
    case engine::RunMode::Share:
      return engine::texts::kOpShare;
    case engine::RunMode::Local:
      return engine::texts::kOpLocal;
    default:
      return engine::texts::kView;
  }
}

void Questions::prepareReport() {
  if (options_.report) {
    collector_ = std::make_unique<ReportCollector>(*reportFormat(*options_.report));
  }
}

void Questions::attach(engine::Patcher& patcher, TextSink& explanation) {
  patcher.state().skipLabels =
      options_.skipLabels || options_.sinceLabel.has_value() || options_.untilLabel.has_value();
  engine::RunHooks hooks;
  if (collector_) hooks.listObserver = collector_.get();
  if (explaining()) {
    hooks.insteadOfWalk = [this, &patcher, &explanation](vss::Database& database,
                                                         vss::Item& project) {
      explained_ =
          explainFiles(patcher, platform_, database, project, options_.explain, explanation);
    };
  }
  patcher.setHooks(std::move(hooks));
}

std::string Questions::report(const engine::Patcher& patcher, const RunInputs& inputs) const {
  if (!collector_) return {};
  const engine::RunState& state = patcher.state();
  if (*reportFormat(*options_.report) == ReportFormat::Csv) return collector_->csv();
  ReportInputs header;
  header.mode = modeName(state.mode);
  header.host = inputs.host;
  header.project = inputs.project;
  if (state.mode == engine::RunMode::Share) header.patch = inputs.patch;
  if (state.mode == engine::RunMode::Local) header.localDir = inputs.localDir;
  header.user = inputs.user;
  header.start = state.startDateText;
  header.end = state.endDateText;  // "until now" as the run took it
  header.sinceLabel = options_.sinceLabel;
  header.untilLabel = options_.untilLabel;
  header.targetUser = inputs.targetUser;
  header.ignoreBuildUser = state.ignoreBuildUser;
  header.skipLabels = state.skipLabels;
  header.made = platform_.nowText();
  return collector_->html(header);
}

}  // namespace console
