// A database made by real SourceSafe, read and never written: its users (um.dat), the project
// tree with names as the database spells them (names.dat, the projects' entry files), each item's
// history (its log records) and each file's contents (the newest stored whole, older ones rebuilt
// through the reverse deltas). Every record read is checked as SourceSafe 6.0d's library checks
// it, where the library reads it (strictly: every record of an item file, and a fetched content
// against its CRC); what fails is Damaged, for that item only. check() proves everything.
// Opening keeps the tree and each project's labels; a file's item file is read each time it is
// asked for and kept by nobody but the caller, so that memory does not grow with the database.
// An item file that fails its checks is read again until two reads agree: one that keeps
// changing is being written, and is damaged for now ("torn").
// docs/standin.md ("Real SourceSafe databases") describes the format and what was measured.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vssdb/files.h"
#include "vssdb/format.h"
#include "vssdb/times.h"

namespace vssdb {

inline constexpr std::uint32_t kNone = 0xFFFFFFFFu;

// The action codes of log records.
enum Action : std::uint16_t {
  kLabel = 0,
  kCreateProject = 1,
  kAddProject = 2,
  kAddFile = 3,
  kDestroyProject = 4,
  kDestroyFile = 5,
  kDeleteProject = 6,
  kDeleteFile = 7,
  kRecoverProject = 8,
  kRecoverFile = 9,
  kRenameProject = 10,
  kRenameFile = 11,
  kMoveFrom = 12,
  kMoveTo = 13,
  kShareFile = 14,
  kBranchFile = 15,
  kCreateFile = 16,
  kCheckIn = 17,
  kCreateBranch = 19,
  kArchiveProject = 23,
  kRestoreProject = 25,
};

// One log record of an item.
struct Event {
  std::uint16_t action = 0;
  long version = 0;
  std::int64_t stored = 0;   // the time as stored: seconds since 1970-01-01 00:00, a wall clock
  std::string user;          // UTF-8, as every text below
  std::string label;         // label records only
  std::string comment;       // the record's comment
  std::string labelComment;  // label records: the comment given with the label
  std::string actionText;    // as the library words it: "Checked in $/A", "Added ", ...
  std::uint32_t delta = 0;   // check-ins: the offset of the reverse delta in the item file, or 0
};

struct User {
  std::string name;
  std::uint16_t passwordHash = 0;
};

// A physical item: one project or file, whatever number of places it has.
struct Node {
  std::string physical;  // its eight letters, upper case ("AAAAAAAA" is the root)
  bool project = false;
};

// A place of an item: an entry of a project (the root's is entry 0 and has no parent).
struct Entry {
  std::uint32_t node = 0;
  std::uint32_t parent = kNone;  // the node of the project that holds the entry
  std::string name;              // the full name, UTF-8
  bool deleted = false;
  int pinned = 0;  // the version a pinned entry shows, 0 when not pinned
};

// An item file as read, proven.
struct ItemData {
  std::vector<Event> events;  // its own log records, oldest first
  std::string damage;         // why the item cannot be trusted, empty when it can
  bool torn = false;          // the damage is a file that changed under every read of it
  std::size_t records = 0;    // records read in its item file
  std::uint32_t dataCrc = 0;  // files: the newest content's CRC, as the item header stores it
  std::string itemFile;  // the item file's bytes, when asked for (reverse deltas are read there)
  std::filesystem::path contentFile;
  // Files: the file this one was branched from (its physical name, empty when none), whose
  // records before this file's first version are this file's too; the projects that hold the
  // file, newest first, as its item file lists them.
  std::string branchedFrom;
  std::vector<std::string> projects;
};

// What `check` counted.
struct CheckCounts {
  std::size_t projects = 0, files = 0, entries = 0, deletedEntries = 0, events = 0, users = 0;
  std::size_t records = 0;   // records whose checksum was verified (item files, entries, um, names)
  std::size_t contents = 0;  // newest contents matching the item header's CRC
  std::size_t rebuilt = 0;   // older versions rebuilt through a chain of verified reverse deltas
  std::vector<std::string> damaged;  // "PHYSICAL: why", one per damaged item
};

// Throws the damage of `data`: Torn or Damaged.
[[noreturn]] void failWith(const ItemData& data);

// A file's records as its history lists them, oldest first, and the item files they are in.
struct History {
  std::vector<std::shared_ptr<const ItemData>> items;  // the file's, and those it was branched from
  std::vector<const Event*> events;
};

// How a database is read.
struct Reading {
  // Every record of an item file proven (not only those the library reads), and a fetched newest
  // content against the CRC its item header keeps, read again while it does not match.
  bool strict = false;
  // Reads of an item file until two agree (at least 2).
  int attempts = 5;
  Files* files = nullptr;  // the system's when null
};

class Database {
 public:
  // True when `dir` holds a SourceSafe database: a srcsafe.ini and, in its data folder, um.dat.
  static bool isDatabase(const std::filesystem::path& dir);

  // Reads the settings, users, names and the project tree of the database in `dir`. Throws
  // Damaged when um.dat is no user file; a damaged project is kept, marked damaged, with no
  // children.
  explicit Database(const std::filesystem::path& dir, Reading reading = {});
  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  const std::vector<User>& users() const { return users_; }
  // The user of that name (letter case ignored), or nullptr.
  const User* user(std::string_view name) const;
  // The password hash um.dat keeps, of a password in the database's code page (encodeAnsi).
  static std::uint16_t passwordHash(std::string_view password);

  const std::vector<Node>& nodes() const { return nodes_; }
  const std::vector<Entry>& entries() const { return entries_; }
  // The entries of a project, live ones or all, in the order of its entries file (the library's
  // order). Empty for a file.
  std::vector<std::uint32_t> children(std::uint32_t node, bool includeDeleted) const;
  // The entry of a path ("$/a/b", letter case ignored), through live entries; the last level is
  // a deleted entry when `deleted`, a live one when not (as VSSItem finds them). kNone when there
  // is none. Given `throughDeleted` (and `deleted`), the path may also pass through deleted
  // projects, and it says whether it did.
  std::uint32_t resolve(std::string_view spec, bool deleted, bool* throughDeleted = nullptr) const;
  std::string spec(std::uint32_t entry) const;
  // The entry a project is reached through: its live one, else its first.
  std::uint32_t projectEntry(std::uint32_t node) const { return projectEntry_[node]; }
  // Every entry of a node, in the order the tree was read.
  std::vector<std::uint32_t> entriesOf(std::uint32_t node) const;
  // The node of a physical name, kNone when the tree does not reach it.
  std::uint32_t node(std::string_view physical) const;

  // The item's history and header, read now (with the item file's bytes when `bytes`). A damaged
  // item has its `damage` set.
  std::shared_ptr<const ItemData> item(std::uint32_t node, bool bytes = false) const;
  // What opening kept of a project: its labels, oldest first, the time of its first record, and
  // its damage.
  struct ProjectSummary {
    std::vector<Event> labels;
    std::int64_t created = 0;
    std::string damage;
    bool torn = false;
  };
  const ProjectSummary& project(std::uint32_t node) const { return projects_.at(node); }
  // A file's records, oldest first: those of the file it was branched from (and so on) before
  // its first version, then its own. Throws Damaged when one of those items is damaged.
  History history(std::uint32_t node) const;
  // The newest content of a file, as its data file holds it: SourceSafe's library checks no CRC
  // when it fetches one, and neither does this unless the reading is strict (check() does).
  // Throws Damaged when the file cannot be read.
  std::string newestContent(std::uint32_t node) const;
  // Every version's content, rebuilt from the newest through the reverse deltas, by version
  // number (index 0 is version 1), a branch's earlier versions from the file it was branched
  // from; a version a file keeps no content for is nullopt. Throws Damaged.
  std::vector<std::optional<std::string>> contents(std::uint32_t node) const;
  // The item file of a physical name, as the library names it in its failures.
  std::filesystem::path itemFile(std::string_view physical) const { return physicalPath(physical); }

  // The automation date the library reports for a stored time: see times.h.
  static double date(std::int64_t stored) { return libraryDate(stored); }

  // Verifies every record, content and reverse delta of the database and counts them.
  CheckCounts check() const;

 private:
  std::string readFile(const std::filesystem::path& file) const;
  std::string relative(const std::filesystem::path& file) const;
  std::filesystem::path physicalPath(std::string_view physical, std::string_view ext = {}) const;
  std::string fullName(Fields fields, std::size_t at) const;
  void readUsers();
  void readNames();
  void readTree();
  std::uint32_t nodeOf(const std::string& physical, bool project);
  std::shared_ptr<ItemData> load(const std::string& physical, bool project, bool bytes) const;
  std::shared_ptr<ItemData> parse(const std::string& physical, bool project,
                                  std::optional<std::string> file) const;
  std::shared_ptr<const ItemData> itemOf(const std::string& physical, bool bytes = false) const;
  std::vector<std::optional<std::string>> contentsOf(const std::string& physical,
                                                     const ItemData& data) const;
  Event event(const Record& record, const std::vector<Record>& records,
              const std::string& name) const;

  std::filesystem::path dir_, data_;
  Reading reading_;
  Files& files_;
  std::vector<User> users_;
  std::map<std::uint32_t, std::map<int, std::string>> names_;  // names.dat: offset → kind → name
  std::vector<Node> nodes_;
  std::vector<Entry> entries_;
  std::vector<std::uint32_t> projectEntry_;         // by node
  std::vector<std::vector<std::uint32_t>> kids_;    // by node: its entries, in library order
  std::vector<std::vector<std::uint32_t>> places_;  // by node: the entries naming it, as read
  std::map<std::string, std::uint32_t> byPhysical_;
  std::size_t openRecords_ = 0;  // records verified while opening
  // What opening read past, as the library does (a damaged user file, names file or entries
  // file): "NAME: why", for check().
  std::vector<std::string> openDamage_;
  std::map<std::uint32_t, ProjectSummary> projects_;  // by node
};

}  // namespace vssdb
