// The project walk and the change selection: which files of the project a run picks out.
#include "engine/patcher.h"
#include "engine/texts.h"

namespace engine {

// Visits the tree below a project depth-first, in the library's order, handing on files only.
void Patcher::recurrence(vss::Item& oProject) {
  const std::vector<std::unique_ptr<vss::Item>> children = oProject.items(false);
  for (const std::unique_ptr<vss::Item>& child : children) {
    if (child->type() == vss::kTypeProject) {
      recurrence(*child);
    } else {
      vssItemCallback(*child);
    }
  }
}

// Decides one file: shows it, lets the window breathe, takes its deciding record, applies the
// time range and the user filter, and hands a selected file to the run mode's action.
void Patcher::vssItemCallback(vss::Item& oVSSItem) {
  const std::wstring spec = oVSSItem.spec();
  window_.setStatusText(spec);
  window_.processPendingEvents();

  // The deciding record and its time are the file's history; a failure to read either is a
  // history failure.
  std::unique_ptr<vss::Version> version;
  double time = 0;
  try {
    version = getLastVersion(oVSSItem);
    if (!version) return;
    time = version->date();
  } catch (const vss::Error& e) {
    if (e.status() == vss::kDeletedOrDamaged) {
      listLine(ResultList::Unshare, spec, texts::kDamaged);
    } else {
      showFailure(e.description());
    }
    return;
  }

  if (!(state_.startDate < time && time < state_.endDate)) return;

  if (!state_.targetUser.empty()) {
    try {
      if (platform_.toLower(version->username()) != state_.targetUser) return;
    } catch (const vss::Error&) {
      return;  // a record whose author cannot be read is not the target user's
    }
  }

  try {
    switch (state_.mode) {
      case RunMode::Share:
        shareFile(oVSSItem, spec);
        break;
      case RunMode::Local:
        getLocalFile(oVSSItem, spec);
        break;
      default:
        listLine(ResultList::Shared, spec, L"");
        break;
    }
  } catch (const vss::Error&) {
    // The actions account for every file themselves; nothing of the library is left to report.
  }
}

// The record a file's selection rests on: the newest, or with ignoreBuildUser the newest not
// made by the build user. Reads no further into the history than that.
std::unique_ptr<vss::Version> Patcher::getLastVersion(vss::Item& oVSSItem) {
  const std::unique_ptr<vss::VersionCursor> cursor = oVSSItem.versions(0);
  while (std::unique_ptr<vss::Version> version = cursor->next()) {
    if (!state_.ignoreBuildUser || version->username() != texts::kBuildUser) return version;
  }
  return nullptr;
}

}  // namespace engine
