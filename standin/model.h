// The in-memory model of a stand-in store, built by replaying its journal: items (projects and
// files), the entries that place them in projects (a shared file has several), history records,
// users and injected faults.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace standin {

inline constexpr std::uint32_t kNone = 0xFFFFFFFFu;
inline constexpr std::uint64_t kNoLine = ~std::uint64_t{0};

// A file's and a project's own records, and those a project gets for what happens to its entries
// (an item added, deleted, a file shared or pinned into it).
enum class RecordKind : std::uint8_t {
  ProjectCreated,
  FileCreated,
  CheckedIn,
  Label,
  Added,
  Deleted,
  Shared,
  Pinned
};

// One history record. Its comment and content stay in the journal; `line` and `lineLength`
// locate the record's text there (without the checksum).
struct HistoryRecord {
  std::int64_t seconds = 0;
  std::uint64_t line = kNoLine;
  std::uint32_t lineLength = 0;
  std::uint32_t user = 0;  // index into Model::people
  // The item's version number: every record of an item takes the next one, labels too.
  std::uint32_t number = 0;
  std::uint32_t label = 0;  // labels: index into Model::labels; Pinned: the version pinned
  // CheckedIn: the project node the check-in was made from; Shared, Pinned: the entry shared.
  std::uint32_t ref = kNone;
  RecordKind kind = RecordKind::CheckedIn;
  // False when the record's comment is empty: then nothing needs to be read for it.
  bool hasComment = true;
};

// Field positions in a record's text of the comment and the content, by kind.
int commentField(RecordKind kind);
int contentField(RecordKind kind);  // -1 for records without content

// A project's entries: by folded name (each list in creation order), and all of them in the
// library's order (see Model::sortKey).
struct Children {
  std::map<std::string, std::vector<std::uint32_t>> byName;
  std::vector<std::uint32_t> ordered;
};

struct Node {
  bool project = false;
  std::uint32_t firstLink = kNone;  // the entry the item was created with
  // Its records in the order made; a record's number is its position plus one.
  std::vector<HistoryRecord> history;
  std::unique_ptr<Children> children;  // projects only
};

struct Link {
  std::uint32_t parent = kNone;  // the project node holding the entry (kNone for the root)
  std::uint32_t node = 0;
  std::uint32_t pinned = 0;  // the version a pinned share stands at, else 0
  bool deleted = false;
  std::string name;
  std::string key;  // Model::sortKey of the name
};

struct User {
  std::string name;
  std::string password;
};

struct Fault {
  std::string op;  // "versions", "share" or "get"
  std::int32_t status = 0;
  std::string text;
};

class Model {
 public:
  Model();

  std::string storeId;
  std::vector<Node> nodes;            // node 0 is the root project
  std::vector<Link> links;            // link 0 is the root's
  std::map<std::string, User> users;  // by folded name
  std::vector<std::string> people;    // user names of history records
  std::vector<std::string> labels;
  std::unordered_map<std::uint32_t, std::vector<Fault>> faults;  // by node

  // Applies one record's text; `line` and `length` locate it in the journal (kNoLine when it is
  // not there). A record that does not fit the model (a hand edit) is passed over: false.
  bool apply(std::string_view record, std::uint64_t line = kNoLine, std::uint32_t length = 0);

  // The live entry of that folded name in a project, or kNone.
  std::uint32_t liveChild(std::uint32_t project, const std::string& folded) const;
  // True when the project holds an entry of that folded name that is deleted.
  bool hasDeletedChild(std::uint32_t project, const std::string& folded) const;
  // The project's entries in the library's order: by sortKey, an entry made later before an older
  // one of the same key.
  std::vector<std::uint32_t> children(std::uint32_t project, bool includeDeleted) const;
  // What SourceSafe orders a project's entries by, made from the name's ANSI bytes: leading dots
  // dropped, everything from the first "~" on dropped, a blank and each of " * , / : ; < = > ? [
  // \ ] | made "_", ASCII letters in lower case (bytes of double-byte characters as they are), at
  // most 33 bytes. Keys compare bytewise.
  static std::string sortKey(std::string_view utf8Name);
  // The entry at a path ("$/", "$/a/b", trailing "/" ignored, letter case ignored), or kNone.
  // With `deleted`, the last level may be a deleted entry (a live one wins).
  std::uint32_t resolve(std::string_view spec, bool deleted) const;
  // "$/" for the root, "$/a/b" otherwise, in the stored spelling.
  std::string spec(std::uint32_t link) const;
  // The entry of a project node (its only one).
  std::uint32_t projectLink(std::uint32_t node) const { return nodes[node].firstLink; }
  const Fault* fault(std::uint32_t node, std::string_view op) const;
  const User* user(std::string_view name) const;

 private:
  using Fields = std::vector<std::string_view>;
  struct Place {  // where the record being applied is in the journal
    std::uint64_t line;
    std::uint32_t length;
  };
  // One function a record kind; each checks that the record fits before it changes anything.
  bool applyStore(const Fields& f, Place at);
  bool applyUser(const Fields& f, Place at);
  bool applyItem(const Fields& f, Place at);  // "project" and "file"
  bool applyVersion(const Fields& f, Place at);
  bool applyLabel(const Fields& f, Place at);
  bool applyShare(const Fields& f, Place at);  // "share" and "pin"
  bool applyDelete(const Fields& f, Place at);
  bool applyFault(const Fields& f, Place at);
  bool applyNoFault(const Fields& f, Place at);

  bool node(std::string_view field, std::uint32_t& id) const;  // a number naming a node
  bool project(std::string_view field, std::uint32_t& id) const;
  bool file(std::string_view field, std::uint32_t& id) const;
  std::optional<HistoryRecord> record(RecordKind kind, std::string_view user, std::string_view time,
                                      Place at);
  // Appends a record to a node's history, numbering it.
  void append(std::uint32_t node, HistoryRecord r);
  // Places a new entry among the project's entries.
  void enter(std::uint32_t project, std::uint32_t link);
  std::map<std::string, std::uint32_t, std::less<>> peopleIndex_;
};

}  // namespace standin
