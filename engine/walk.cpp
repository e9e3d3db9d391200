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

bool damagedStatus(std::int32_t status) {
  return status == vss::kDeletedOrDamaged || status == vss::kReadError;
}

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
  Decision decision;
  try {
    decision = decide(oVSSItem, *oVSSItem.versions(0), nullptr, hooks_.listObserver != nullptr);
  } catch (const vss::Error& e) {
    if (damagedStatus(e.status())) {
      listMe(ResultList::Unprocessed, spec, texts::kDamaged);
    } else {
      showFailure(e.description());
    }
    return;
  }
  if (decision.verdict != Verdict::Selected) return;

  // The list observer sees the decision of whatever line the action lists.
  deciding_ = &decision;
  struct Reset {
    const Decision*& decision;
    ~Reset() { decision = nullptr; }
  } reset{deciding_};
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

namespace {

// The version a file's place holds, read once and only when a record asks for it: most files'
// newest record lies before the start and needs no pin. A failure to read it, or a record's
// number, is a failure to read the history: the file cannot be decided without.
class PlaceVersion {
 public:
  explicit PlaceVersion(vss::Item& file) : file_(file) {}
  long get() {
    if (!read_) {
      version_ = file_.versionNumber();
      read_ = true;
    }
    return version_;
  }
  // The version read, if one was, else 0.
  long read() const { return read_ ? version_ : 0; }
  // True for a record the place does not hold: a check-in above its version. A label decides
  // as it stands: a project's label carries the project's version number, not the file's. The
  // label is asked last, as few records lie above their place's version.
  bool holdsNot(vss::Version& record) {
    return record.versionNumber() > get() && record.label().empty();
  }

 private:
  vss::Item& file_;
  long version_ = 0;
  bool read_ = false;
};

// Follows a deciding label down the history to the file's version it covers: the newest older
// record of the file's own (no label) that the place holds. Reading stops there; a failure to
// read on leaves the version untold.
void followLabel(Decision& decision, vss::VersionCursor& history, PlaceVersion& place) {
  try {
    if (decision.record->label().empty()) return;
    while (std::unique_ptr<vss::Version> older = history.next()) {
      decision.readOn.push_back(std::move(older));
      vss::Version& record = *decision.readOn.back();
      if (record.label().empty() && !place.holdsNot(record)) {
        decision.labelCovers = record.versionNumber();
        return;
      }
    }
  } catch (const vss::Error&) {
  }
}

}  // namespace

// The range is open at both ends, at whole seconds: the typed bounds and the library's dates
// may be computed by different arithmetic for one and the same second.
Decision Patcher::decide(vss::Item& file, vss::VersionCursor& history, SelectionObserver* observer,
                         bool nameLabelsVersion) {
  Decision decision;
  PlaceVersion place(file);
  std::optional<std::int64_t> second;
  while (true) {
    decision.record = getLastVersion(history, observer);
    if (!decision.record) {
      decision.placeVersion = place.read();
      return decision;
    }
    // A date that is no date cannot lie inside the range; it counts as before the start.
    second = wholeSeconds(decision.record->date());
    // A record before the start decides whatever the pin: every older one lies before it too.
    if (!second || *second <= startSecond_ || !place.holdsNot(*decision.record)) break;
    if (observer) observer->passedOver(*decision.record, PassedOver::AbovePin);
  }
  if (nameLabelsVersion) followLabel(decision, history, place);
  decision.placeVersion = place.read();
  if (!second || *second <= startSecond_) {
    decision.verdict = Verdict::NotAfterStart;
    return decision;
  }
  if (*second >= endSecond_) {
    decision.verdict = Verdict::NotBeforeEnd;
    return decision;
  }
  decision.verdict = Verdict::Selected;
  if (!state_.targetUser.empty()) {
    try {
      if (platform_.toLower(decision.record->username()) != state_.targetUser) {
        decision.verdict = Verdict::OtherUser;
      }
    } catch (const vss::Error&) {
      decision.verdict = Verdict::OtherUser;  // a record whose author cannot be read
    }
  }
  return decision;
}

// The record a file's selection rests on: the newest, or with ignoreBuildUser the newest not
// made by the build user. Reads no further into the history than that.
std::unique_ptr<vss::Version> Patcher::getLastVersion(vss::Item& oVSSItem) {
  return getLastVersion(*oVSSItem.versions(0), nullptr);
}

// With skipLabels only versions decide: a label record is passed over whoever applied it.
std::unique_ptr<vss::Version> Patcher::getLastVersion(vss::VersionCursor& history,
                                                      SelectionObserver* observer) {
  while (std::unique_ptr<vss::Version> version = history.next()) {
    if (state_.ignoreBuildUser && version->username() == texts::kBuildUser) {
      if (observer) observer->passedOver(*version, PassedOver::BuildUser);
      continue;
    }
    if (state_.skipLabels && !version->label().empty()) {
      if (observer) observer->passedOver(*version, PassedOver::Label);
      continue;
    }
    return version;
  }
  return nullptr;
}

}  // namespace engine
