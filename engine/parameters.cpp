// Run parameters: the snapshot of the window's inputs a run works on, and its validation.
#include <exception>

#include "engine/patcher.h"
#include "engine/texts.h"

namespace engine {

Patcher::Patcher(WindowPort& window, PlatformPort& platform, vss::Library& library)
    : window_(window), platform_(platform), library_(library) {}

// Copies the inputs into the run state, derives the mode and makes sure the local root exists.
void Patcher::populateValue() {
  state_.mode = RunMode::None;
  state_.host = window_.text(TextBox::Host);
  state_.project = window_.text(TextBox::Project);
  state_.patch = window_.text(TextBox::Patch);
  state_.user = window_.text(TextBox::User);
  state_.passwd = window_.text(TextBox::Passwd);
  state_.startDateText = window_.text(TextBox::StartDate);
  state_.endDateText = window_.text(TextBox::EndDate);
  state_.targetUser = platform_.toLower(window_.text(TextBox::TargetUser));
  state_.localDir = window_.text(TextBox::LocalDir);

  // The local root is made ready in every mode, before anything is validated. Nothing is said
  // when there is no path or the folder cannot be made: a Local run then lists each file that
  // cannot be fetched, and the other modes never write there.
  if (!state_.localDir.empty()) {
    try {
      if (!platform_.pathExists(state_.localDir)) platform_.createFolder(state_.localDir);
    } catch (const std::exception&) {
    }
  }

  if (window_.isSelected(ModeOption::Share)) state_.mode = RunMode::Share;
  if (window_.isSelected(ModeOption::Local)) state_.mode = RunMode::Local;
  if (window_.isSelected(ModeOption::View)) state_.mode = RunMode::View;
  // The window's help promises that an empty patch path only queries: such a Share run opens
  // and lists exactly as a View run does.
  if (state_.mode == RunMode::Share && state_.patch.empty()) state_.mode = RunMode::View;

  // An empty end means "until now"; the box itself stays empty so the saved settings do too.
  if (window_.text(TextBox::EndDate).empty()) state_.endDateText = platform_.nowText();

  state_.ignoreBuildUser = window_.isIgnoreBuildUserChecked();
}

// The problems of the snapshot, worded as the user reads them, in a fixed order.
std::vector<std::wstring> Patcher::checkValue() const {
  std::vector<std::wstring> messages;
  if (state_.host.empty()) messages.emplace_back(texts::kHostRequired);
  if (state_.project.empty()) messages.emplace_back(texts::kProjectRequired);
  if (state_.startDateText.empty()) {
    messages.emplace_back(texts::kRangeRequired);
  } else if (!platform_.toDate(state_.startDateText)) {
    messages.emplace_back(texts::kStartBadFormat);
  }
  if (!state_.endDateText.empty() && !platform_.toDate(state_.endDateText)) {
    messages.emplace_back(texts::kEndBadFormat);
  }
  if (state_.user.empty()) messages.emplace_back(texts::kUserRequired);
  if (state_.passwd.empty() && !state_.emptyPasswordGiven) {
    messages.emplace_back(texts::kPasswdRequired);
  }
  return messages;
}

}  // namespace engine
