// ConsoleWindow: what the engine shows during a run, turned into lines on the standard streams,
// and the record of how the run went. The engine tells the console what happened the way it
// tells the window: by its boxes, its button and its status texts, in a fixed order.
#include "console/console_window.h"

#include "console/texts.h"
#include "engine/texts.h"

namespace console {

ConsoleWindow::ConsoleWindow(RunInputs inputs, Terminal& terminal, ListWriter& processed,
                             ListWriter& unprocessed, Clock clock)
    : inputs_(std::move(inputs)),
      terminal_(terminal),
      processed_(processed),
      unprocessed_(unprocessed),
      clock_(std::move(clock)),
      progress_(terminal.showsProgress()) {}

// Every file the walk looks at, then the run's final text. The progress line follows the files,
// at most once per kProgressIntervalMs, so that it costs nothing next to the walk.
void ConsoleWindow::setStatusText(const std::wstring& text) {
  if (buttonBack_) {
    const bool stopped = text == engine::texts::kRunStopped;
    settleBox(stopped);
    if (stopped) {
      record_.stopped = true;
      message(text);
    } else if (text == engine::texts::kFinished) {
      record_.finished = true;
    }
    return;
  }
  if (!record_.started || text.empty()) return;
  settleBox(false);
  currentFile_ = text;
  ++record_.visited;
  if (!progress_) return;
  const std::int64_t now = clock_();
  if (progressShown_ && now - progressShownAt_ < kProgressIntervalMs) return;
  progressShown_ = true;
  progressShownAt_ = now;
  terminal_.showProgress(std::to_wstring(record_.visited) + L"  " + text);
}

void ConsoleWindow::appendLine(engine::ResultList list, const std::wstring& line) {
  settleBox(false);
  if (list == engine::ResultList::Processed) {
    processed_.append(line);
    ++record_.processed;
  } else {
    unprocessed_.append(line);
    ++record_.unprocessed;
  }
}

engine::Answer ConsoleWindow::showMessage(const std::wstring& text, const std::wstring& title,
                                          engine::Icon, engine::Buttons buttons) {
  // The confirmation of a long run is the last step before the database is opened: the checks
  // a person at the window would make with their own eyes are made here instead.
  if (buttons == engine::Buttons::YesNo) {
    if (runCheck_) {
      if (const std::optional<std::wstring> problem = runCheck_()) {
        message(*problem);
        record_.refused = true;
        return engine::Answer::No;
      }
    }
    return engine::Answer::Yes;
  }
  if (record_.started && !buttonBack_) {
    settleBox(false);
    pendingBox_ = text;
    pendingBoxFile_ = currentFile_;
    return engine::Answer::Ok;
  }
  message(text);
  if (title == engine::texts::kNoticeTitle) {
    // The validation messages, or the start after the end.
    record_.refused = true;
    if (text.find(engine::texts::kPasswdRequired) != std::wstring::npos) {
      message(texts::kPasswordHint);
    }
  } else if (text.rfind(engine::texts::kUnexpectedFailure, 0) == 0) {
    record_.unexpected = true;
  } else {
    // The library's own text: the login, the project or the patch project did not open.
    record_.openFailed = true;
  }
  return engine::Answer::Ok;
}

void ConsoleWindow::setPatchButton(const std::wstring&, bool enabled) {
  if (!enabled) {
    record_.started = true;
  } else if (record_.started) {
    buttonBack_ = true;
  }
}

void ConsoleWindow::endRun() {
  const bool cutShort = record_.started && !buttonBack_;
  settleBox(cutShort);
  if (cutShort) {
    record_.stopped = true;
    message(engine::texts::kRunStopped);
  }
  terminal_.clearProgress();
}

void ConsoleWindow::unexpectedFailure(const std::wstring& text) {
  message(text);
  record_.unexpected = true;
}

void ConsoleWindow::settleBox(bool endedRun) {
  if (!pendingBox_) return;
  if (endedRun) {
    message(*pendingBox_);
  } else {
    ++record_.unreadable;
    message(pendingBoxFile_.empty() ? *pendingBox_ : pendingBoxFile_ + L": " + *pendingBox_);
  }
  pendingBox_.reset();
}

void ConsoleWindow::message(const std::wstring& text) { terminal_.lines(Stream::Error, text); }

}  // namespace console
