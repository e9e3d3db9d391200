// The patch engine: one run of the Patch command, from the inputs to the result lists.
// The procedures keep the names the window's developers know them by; the window calls
// cmdPatch_Click and reads state() (for instance `running` when asked to close).
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/ports.h"
#include "engine/run_state.h"
#include "vss/port.h"

namespace engine {

// Why a history record read before the deciding one did not decide.
enum class PassedOver {
  BuildUser,
  Label,
  AbovePin,  // a version above the one the walked project is pinned at, which it does not hold
};

// What the change selection concludes about a file.
enum class Verdict {
  Selected,
  NoRecord,       // no record is left once the passed-over ones are taken away
  NotAfterStart,  // the deciding record is dated at or before the start
  NotBeforeEnd,   // the deciding record is dated at or after the end
  OtherUser,      // the deciding record is not the target user's (or its author cannot be read)
};

// A file's deciding record and the verdict on it.
struct Decision {
  std::unique_ptr<vss::Version> record;  // none when no record is left
  Verdict verdict = Verdict::NoRecord;
  // The version the file's place holds when the selection had to read it, else 0: below the
  // newest when the project pins the file.
  long placeVersion = 0;
  // For a label that decides, when asked for: the file's version the label covers (the newest
  // of the file's own records older than the label that the place holds); 0 when none is found.
  // A label of a project carries the project's version number, which is no version of the file.
  long labelCovers = 0;
  // The records read past the deciding one to find what a label covers, in history order.
  std::vector<std::unique_ptr<vss::Version>> readOn;
};

// Sees each history record that the selection reads and passes over, with the reason.
class SelectionObserver {
 public:
  virtual ~SelectionObserver() = default;
  virtual void passedOver(vss::Version& record, PassedOver why) = 0;
};

// Told of every line a run appends to a result list, after the window got it: the file's (or
// project's) path, the reason, and the file's decision, which is none for a line that no record
// decided (a damaged history, a project that cannot be listed); a run with a list observer names
// the version a deciding label covers. The decision is valid only during the call.
class ListObserver {
 public:
  virtual ~ListObserver() = default;
  virtual void listed(ResultList list, const std::wstring& spec, const std::wstring& reason,
                      const Decision* decision) = 0;
};

// What a caller other than the window may add to a run (the console program does); the window
// sets none of it, and a run without it reads and does exactly what it always did.
struct RunHooks {
  ListObserver* listObserver = nullptr;
  // Runs in place of the walk once the database and the project are open and the range is set;
  // a failure it lets through ends the run as a failure of the walk would.
  std::function<void(vss::Database& database, vss::Item& project)> insteadOfWalk;
};

class Patcher {
 public:
  Patcher(WindowPort& window, PlatformPort& platform, vss::Library& library);
  Patcher(const Patcher&) = delete;
  Patcher& operator=(const Patcher&) = delete;

  RunState& state() { return state_; }
  const RunState& state() const { return state_; }
  void setHooks(RunHooks hooks) { hooks_ = std::move(hooks); }

  // The Patch button: take the inputs, save, validate, confirm, open, run.
  void cmdPatch_Click();

  // Run parameters and validation.
  void populateValue();
  std::vector<std::wstring> checkValue() const;

  // Run driver.
  bool openDatabase();
  void start();
  void finish();

  // Project walk and change selection.
  void recurrence(vss::Item& oProject);
  void vssItemCallback(vss::Item& oVSSItem);
  std::unique_ptr<vss::Version> getLastVersion(vss::Item& oVSSItem);
  // The deciding record read from a history newest first, each record passed over shown to
  // `observer`; the cursor stops right after the deciding record.
  std::unique_ptr<vss::Version> getLastVersion(vss::VersionCursor& history,
                                               SelectionObserver* observer);
  // The selection of one file from its history: the deciding record, then the range and the
  // target user. `file` is the file's place as its project's items() gave it: a check-in above
  // the version a pinned place holds does not decide. With `nameLabelsVersion` a deciding label
  // is followed down the history to the file's version it covers. The run and any explanation of
  // it decide through this one function. Valid during a run (the range is set by start). A
  // failure to read the history or the deciding record's date is thrown; an author that cannot
  // be read is not the target user's.
  Decision decide(vss::Item& file, vss::VersionCursor& history,
                  SelectionObserver* observer = nullptr, bool nameLabelsVersion = false);

  // Share into the patch project: the file's item and its path as the walk read it.
  void shareMe(vss::Item& oVSSItem, const std::wstring& spec);
  void createShareProject(const std::vector<std::wstring>& subProj);
  std::vector<std::wstring> getSubProject(vss::Item& parent);

  // Local export: the file's item and its path as the walk read it.
  void getVSSLocal(vss::Item& oVSSItem, const std::wstring& spec);
  void createLocalDir(const std::vector<std::wstring>& subProj);
  // Removes the bookkeeping files the library left in the folders a Local run fetched into
  // (vssver.scc, mssccprj.scc), those that stood there before the run excepted. Called once the
  // run's database objects are gone: the library may write them as late as that.
  void removeBookkeeping();

  // Result lists: appends the file's line, its path immediately followed by the reason.
  void listMe(ResultList listBox, const std::wstring& spec, const std::wstring& reason);

 private:
  // Where the walk stands: a project and the frame above it, to name an item whose own path
  // cannot be read.
  struct WalkFrame;
  // Walks one project below `above`; what cannot be read is listed and passed over.
  void walkProject(vss::Item& project, const WalkFrame* above);
  // The path of an item, or of the nearest project above it whose path can be read.
  std::wstring pathOrAbove(vss::Item& item, const WalkFrame* above);
  // True when `project` is the patch project of a Share run, which the walk must not enter.
  bool isPatchProject(vss::Item& project);
  // The path pieces of a file below the walked project (the last piece is the file's name).
  std::vector<std::wstring> relativePieces(const std::wstring& spec) const;
  // Points patchItem at the target project of a file's folder, preparing the chain if needed.
  void prepareShareTarget(const std::wstring& folderKey, const std::vector<std::wstring>& subProj);
  // True when the item of the file's name in `project` is the file itself.
  bool isSharedInto(vss::Item& file, vss::Item& project);
  // The line for an action's outcome: 0 and "already exists" count as done.
  void listOutcome(const std::wstring& spec, std::int32_t status, const wchar_t* deletedReason);
  // The plain "Ostrabel" box with a failure's text.
  void showFailure(const std::wstring& text);
  // Shows what went wrong inside a run and puts the window back through finish.
  void endRunAfterFailure(const std::wstring& text);

  WindowPort& window_;
  PlatformPort& platform_;
  vss::Library& library_;
  RunState state_;
  RunHooks hooks_;
  // The decision on the file being dispatched, for the list observer.
  const Decision* deciding_ = nullptr;
  // The project's path as the database spells it, read when a run starts; empty outside a
  // run, where the typed text stands in for it.
  std::wstring projectSpec_;
  // A Share run's patch project as the database spells it, lower-cased; empty otherwise.
  std::wstring patchSpecLower_;
  // The folders of a Local run's fetches, each with the bookkeeping files it must keep (those
  // that were there before the run's first fetch into it, or that are files of the patch).
  std::map<std::wstring, std::vector<const wchar_t*>> fetchFolders_;
  // The run's range in whole seconds; a record is selected strictly between them.
  std::int64_t startSecond_ = 0;
  std::int64_t endSecond_ = 0;
};

// An automation date as whole seconds since 1899-12-30 00:00, rounded to the nearest second, so
// that two computations of one second compare equal; nothing for a value that is no date.
std::optional<std::int64_t> wholeSeconds(double date);

// The item looked up again by its path as the database spells it. The library's Spec and Name
// echo the spelling of the lookup, down to the paths of the children, so that a path typed in
// other letter cases would be listed and reported so; Links give the stored paths. When that
// cannot be read or looked up, the item stays as it was.
std::unique_ptr<vss::Item> storedSpelling(vss::Database& database, std::unique_ptr<vss::Item> item,
                                          PlatformPort& platform);

// True for the statuses of a file whose history the library cannot read because the file is
// damaged or deleted: 0x80040000 (no text) and "Error reading from file".
bool damagedStatus(std::int32_t status);

// The status a file-system failure is listed under: the system error code as an HRESULT
// (0x80070000 | code), as HRESULT_FROM_WIN32 makes it.
std::int32_t statusFromSystemError(std::uint32_t code);

// True when Windows keeps a file or folder under exactly this name (see local_export.cpp).
bool isPlainWindowsName(const std::wstring& name);

// The text a box shows for a failure: the library's own description, or for any other failure
// "操作意外中止: " and what it says.
std::wstring failureText(const std::exception_ptr& failure);

// The clipboard text of a result list: its lines in order, CR LF between them, none after the last.
std::wstring clipboardText(const std::vector<std::wstring>& lines);

}  // namespace engine
