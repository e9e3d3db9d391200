// Run parameters: the snapshot of the window's inputs a run works on, and its validation.
#include <exception>

#include "engine/patcher.h"
#include "engine/texts.h"

namespace engine {

Patcher::Patcher(WindowPort& window, PlatformPort& platform, vss::Library& library)
    : window_(window), platform_(platform), library_(library) {}

// Copies the inputs into the run state, derives the mode and makes sure the local root exists.
void Patcher::populateValue() {
  RunState& s = state_;
  s.mode = RunMode::None;
  s.host = window_.text(TextBox::Host);
  s.project = window_.text(TextBox::Project);
  s.patch = window_.text(TextBox::Patch);
  s.user = window_.text(TextBox::User);
  s.passwd = window_.text(TextBox::Passwd);
  s.startDateText = window_.text(TextBox::StartDate);
  s.endDateText = window_.text(TextBox::EndDate);
  s.targetUser = platform_.toLower(window_.text(TextBox::TargetUser));
  s.localDir = window_.text(TextBox::Share);

  // The local root is made ready in every mode, before anything is validated. Nothing is said
  // when there is no path or the folder cannot be made: a Local run then lists each file that
  // cannot be fetched, and the other modes never write there.
  if (!s.localDir.empty()) {
    try {
      if (!platform_.pathExists(s.localDir)) platform_.createFolder(s.localDir);
    } catch (const std::exception&) {
    }
  }

  if (window_.isSelected(ModeOption::Share)) s.mode = RunMode::Share;
  if (window_.isSelected(ModeOption::Local)) s.mode = RunMode::Local;
  if (window_.isSelected(ModeOption::View)) s.mode = RunMode::View;
  // The window's help promises that an empty patch path only queries: such a Share run opens
  // and lists exactly as a View run does.
  if (s.mode == RunMode::Share && s.patch.empty()) s.mode = RunMode::View;

  // An empty end means "until now"; the box itself stays empty so the saved settings do too.
  if (window_.text(TextBox::EndDate).empty()) s.endDateText = platform_.nowText();

  s.ignoreBuildUser = window_.isIgnoreBuildUserChecked();
}

// The problems of the snapshot, worded as the user reads them, in a fixed order.
std::vector<std::wstring> Patcher::checkValue() const {
  const RunState& s = state_;
  std::vector<std::wstring> messages;
  if (s.host.empty()) messages.emplace_back(texts::kHostRequired);
  if (s.project.empty()) messages.emplace_back(texts::kProjectRequired);
  if (s.startDateText.empty()) {
    messages.emplace_back(texts::kRangeRequired);
  } else if (!platform_.toDate(s.startDateText)) {
    messages.emplace_back(texts::kStartBadFormat);
  }
  if (!s.endDateText.empty() && !platform_.toDate(s.endDateText)) {
    messages.emplace_back(texts::kEndBadFormat);
  }
  if (s.user.empty()) messages.emplace_back(texts::kUserRequired);
  if (s.passwd.empty()) messages.emplace_back(texts::kPasswdRequired);
  return messages;
}

}  // namespace engine
