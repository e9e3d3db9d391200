// The console program's stand-in for the main window: it holds the inputs of a run as the boxes
// would, answers the confirmation itself, never saves settings, writes the result lists and the
// run's messages, shows the file being looked at on a progress line, and keeps the record of
// how the run went, from which the exit status follows.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "console/exit_status.h"
#include "console/options.h"
#include "console/output.h"
#include "engine/ports.h"

namespace console {

class ConsoleWindow : public engine::WindowPort {
 public:
  // The progress line changes at most this often. Under Wine one change of a console line costs
  // about 4 ms (against well under 0.1 ms on Windows): four changes a second keep it below 2 % of
  // a run there.
  static constexpr std::int64_t kProgressIntervalMs = 250;

  // A steady clock in milliseconds.
  using Clock = std::function<std::int64_t()>;
  // Asked in place of the confirmation: a problem that refuses the run, or nothing.
  using RunCheck = std::function<std::optional<std::wstring>()>;

  ConsoleWindow(RunInputs inputs, Terminal& terminal, ListWriter& processed,
                ListWriter& unprocessed, Clock clock);

  void setRunCheck(RunCheck check) { runCheck_ = std::move(check); }
  // After the Patch command: reports what only its end could tell, and clears the progress line.
  void endRun();
  // Reports a failure that the engine let through.
  void unexpectedFailure(const std::wstring& text);
  const RunRecord& record() const { return record_; }

  // WindowPort.
  std::wstring text(engine::TextBox box) override { return inputs_.text(box); }
  bool isSelected(engine::ModeOption option) override { return inputs_.mode == option; }
  bool isIgnoreBuildUserChecked() override { return inputs_.ignoreBuildUser; }
  void setStatusText(const std::wstring& text) override;
  void clearList(engine::ResultList) override {}
  void appendLine(engine::ResultList list, const std::wstring& line) override;
  engine::Answer showMessage(const std::wstring& text, const std::wstring& title, engine::Icon icon,
                             engine::Buttons buttons) override;
  void processPendingEvents() override {}
  void setPatchButton(const std::wstring& caption, bool enabled) override;
  void saveSettings() override {}

 private:
  // A box shown during the walk is a file whose history could not be read, unless the run ends
  // right after it with the stopped status: then it told why the run stopped.
  void settleBox(bool endedRun);
  void message(const std::wstring& text);

  RunInputs inputs_;
  Terminal& terminal_;
  ListWriter& processed_;
  ListWriter& unprocessed_;
  Clock clock_;
  RunCheck runCheck_;
  RunRecord record_;
  bool progress_ = false;
  std::int64_t progressShownAt_ = 0;
  bool progressShown_ = false;
  bool buttonBack_ = false;  // the run is over, the final status text comes next
  std::wstring currentFile_;
  std::optional<std::wstring> pendingBox_;
  std::wstring pendingBoxFile_;
};

}  // namespace console
