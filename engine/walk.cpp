// The project walk and the change selection: which files of the project a run picks out.
#include <cmath>

#include "engine/patcher.h"
#include "engine/texts.h"

namespace engine {
namespace {

constexpr double kSecondsPerDay = 86400.0;
// Far beyond the last automation date (9999-12-31 is day 2,958,465): whole seconds of any real
// date fit easily into 64 bits.
constexpr double kMaxDays = 1e7;

}  // namespace

std::optional<std::int64_t> wholeSeconds(double date) {
  if (!std::isfinite(date) || std::fabs(date) > kMaxDays) return std::nullopt;
  return std::llround(date * kSecondsPerDay);
}

struct Patcher::WalkFrame {
  vss::Item& project;
  const WalkFrame* above;
};

// Visits the tree below a project depth-first, in the library's order, handing on files only.
void Patcher::recurrence(vss::Item& oProject) { walkProject(oProject, nullptr); }

// A project whose children cannot be listed, or a child whose kind or path cannot be read, is
// listed with the library's status; the walk goes on with the next item.
void Patcher::walkProject(vss::Item& project, const WalkFrame* above) {
  const WalkFrame here{project, above};
  std::vector<std::unique_ptr<vss::Item>> children;
  try {
    children = project.items(false);
  } catch (const vss::Error& e) {
    listMe(ResultList::Unprocessed, pathOrAbove(project, above),
           texts::unknownErrorReason(e.status()));
    return;
  }
  for (const std::unique_ptr<vss::Item>& child : children) {
    try {
      if (child->type() == vss::kTypeProject) {
        if (!isPatchProject(*child)) walkProject(*child, &here);
      } else {
        vssItemCallback(*child);
      }
    } catch (const vss::Error& e) {
      // Only reading the child's kind or path fails here: the rest handles its own failures.
      listMe(ResultList::Unprocessed, pathOrAbove(*child, &here),
             texts::unknownErrorReason(e.status()));
    }
  }
}

std::wstring Patcher::pathOrAbove(vss::Item& item, const WalkFrame* above) {
  try {
    return item.spec();
  } catch (const vss::Error&) {
  }
  if (above != nullptr) return pathOrAbove(above->project, above->above);
  return projectSpec_.empty() ? state_.project : projectSpec_;
}

// A Share run shares into its patch project; walking into it would share the patch's own files
// into it again, one level deeper at every run.
bool Patcher::isPatchProject(vss::Item& project) {
  if (patchSpecLower_.empty()) return false;
  return platform_.toLower(project.spec()) == patchSpecLower_;
}

// Decides one file: shows it, lets the window breathe, takes its deciding record, applies the
// time range and the user filter, and hands a selected file to the run mode's action. A failure
// to read its path goes to the walk, which lists it; every later failure is handled here.
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
      listMe(ResultList::Unprocessed, spec, texts::kDamaged);
    } else {
      showFailure(e.description());
    }
    return;
  }

  // The range is open at both ends, at whole seconds: the typed bounds and the library's dates
  // may be computed by different arithmetic for one and the same second.
  const std::optional<std::int64_t> second = wholeSeconds(time);
  if (!second || *second <= startSecond_ || *second >= endSecond_) return;

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
        shareMe(oVSSItem, spec);
        break;
      case RunMode::Local:
        getVSSLocal(oVSSItem, spec);
        break;
      default:
        listMe(ResultList::Processed, spec, L"");
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
