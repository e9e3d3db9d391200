// The in-memory model of a store: records applied one by one, and the lookups of the library.
#include "standin/model.h"

#include <algorithm>
#include <charconv>

#include "standin/dates.h"
#include "standin/text.h"

namespace standin {
namespace {

template <typename Number>
bool number(std::string_view s, Number& value) {
  auto r = std::from_chars(s.data(), s.data() + s.size(), value);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// A field's text: most fields have nothing escaped, so they are copied as they are.
std::string field(std::string_view raw) {
  return raw.find('\\') == std::string_view::npos ? std::string(raw) : text::unescape(raw);
}

}  // namespace

int commentField(RecordKind kind) {
  return kind == RecordKind::CheckedIn ? 4 : kind == RecordKind::Label ? 5 : 6;
}

namespace {
// True when the record's text has a comment field that is not empty.
bool hasComment(const std::vector<std::string_view>& f, RecordKind kind) {
  const auto at = static_cast<std::size_t>(commentField(kind));
  return at < f.size() && !f[at].empty();
}
}  // namespace

int contentField(RecordKind kind) {
  return kind == RecordKind::FileCreated ? 7 : kind == RecordKind::CheckedIn ? 5 : -1;
}

Model::Model() {
  Node root;
  root.project = true;
  root.firstLink = 0;
  root.children = std::make_unique<Children>();
  nodes.push_back(std::move(root));
  Link entry;
  entry.name = "$";
  links.push_back(std::move(entry));
}

bool Model::apply(std::string_view record, std::uint64_t line, std::uint32_t length) {
  using Apply = bool (Model::*)(const Fields&, Place);
  // Fields added later are optional, so that journals written before them still load.
  static constexpr struct {
    std::string_view kind;
    std::size_t fields, most;
    Apply apply;
  } kKinds[] = {
      {"store", 2, 2, &Model::applyStore},     {"user", 3, 3, &Model::applyUser},
      {"project", 7, 7, &Model::applyItem},    {"file", 8, 8, &Model::applyItem},
      {"version", 6, 7, &Model::applyVersion}, {"label", 6, 6, &Model::applyLabel},
      {"share", 5, 6, &Model::applyShare},     {"pin", 7, 7, &Model::applyShare},
      {"delete", 5, 5, &Model::applyDelete},   {"fault", 5, 5, &Model::applyFault},
      {"nofault", 2, 2, &Model::applyNoFault},
  };
  Fields f = text::splitFields(record);
  for (const auto& k : kKinds)
    if (f[0] == k.kind)
      return f.size() >= k.fields && f.size() <= k.most && (this->*k.apply)(f, Place{line, length});
  return false;
}

bool Model::node(std::string_view field, std::uint32_t& id) const {
  return number(field, id) && id < nodes.size();
}
bool Model::project(std::string_view field, std::uint32_t& id) const {
  return node(field, id) && nodes[id].project;
}
bool Model::file(std::string_view field, std::uint32_t& id) const {
  return node(field, id) && !nodes[id].project;
}

std::optional<HistoryRecord> Model::record(RecordKind kind, std::string_view user,
                                           std::string_view time, Place at) {
  auto seconds = parseSeconds(time);
  if (!seconds) return std::nullopt;
  std::string name = field(user);
  auto known = peopleIndex_.find(name);
  if (known == peopleIndex_.end()) {
    known = peopleIndex_.emplace(name, static_cast<std::uint32_t>(people.size())).first;
    people.push_back(std::move(name));
  }
  HistoryRecord r;
  r.seconds = *seconds;
  r.line = at.line;
  r.lineLength = at.length;
  r.user = known->second;
  r.kind = kind;
  return r;
}

void Model::append(std::uint32_t node, HistoryRecord r) {
  auto& history = nodes[node].history;
  r.number = static_cast<std::uint32_t>(history.size() + 1);
  history.push_back(r);
}

void Model::enter(std::uint32_t project, std::uint32_t link) {
  Children& c = *nodes[project].children;
  c.byName[text::fold(links[link].name)].push_back(link);
  // Before the first entry of an equal or greater key: the newest of equal keys comes first.
  auto at =
      std::lower_bound(c.ordered.begin(), c.ordered.end(), links[link].key,
                       [&](std::uint32_t l, const std::string& key) { return links[l].key < key; });
  c.ordered.insert(at, link);
}

std::string Model::sortKey(std::string_view utf8Name) {
  const std::string bytes = text::ansi(utf8Name);
  constexpr std::string_view kUnderscored = " \"*,/:;<=>?[\\]|";
  constexpr std::size_t kLongest = 33;
  std::string key;
  std::size_t i = 0;
  while (i < bytes.size() && bytes[i] == '.') ++i;
  while (i < bytes.size() && key.size() < kLongest) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b >= 0x81 && b <= 0xFE && i + 1 < bytes.size()) {  // a GBK lead byte and its trail byte
      key += bytes.substr(i, 2);
      i += 2;
      continue;
    }
    if (b == '~') break;
    key += kUnderscored.find(static_cast<char>(b)) != std::string_view::npos ? '_'
           : b >= 'A' && b <= 'Z' ? static_cast<char>(b + 32)
                                  : static_cast<char>(b);
    ++i;
  }
  if (key.size() > kLongest) key.resize(kLongest);  // even inside a double-byte character
  return key;
}

// store ID
bool Model::applyStore(const Fields& f, Place) {
  storeId = std::string(f[1]);
  return true;
}

// user NAME PASSWORD
bool Model::applyUser(const Fields& f, Place) {
  std::string name = field(f[1]);
  if (name.empty()) return false;
  users[text::fold(name)] = User{name, field(f[2])};
  return true;
}

// project ID PARENT NAME USER TIME COMMENT, file ID PARENT NAME USER TIME COMMENT CONTENT
bool Model::applyItem(const Fields& f, Place at) {
  bool isProject = f[0] == "project";
  std::uint32_t id, parent;
  std::string name = field(f[3]);
  if (!number(f[1], id) || id != nodes.size() || !project(f[2], parent) || name.empty())
    return false;
  if (liveChild(parent, text::fold(name)) != kNone) return false;
  auto created =
      record(isProject ? RecordKind::ProjectCreated : RecordKind::FileCreated, f[4], f[5], at);
  if (!created) return false;
  created->hasComment = hasComment(f, created->kind);
  // The project's record of its new entry, without a comment (the new item's own record has it).
  HistoryRecord added = *created;
  added.kind = RecordKind::Added;
  added.hasComment = false;
  added.line = kNoLine;
  Node node;
  node.project = isProject;
  node.firstLink = static_cast<std::uint32_t>(links.size());
  if (isProject) node.children = std::make_unique<Children>();
  nodes.push_back(std::move(node));
  append(id, *created);
  Link link;
  link.parent = parent;
  link.node = id;
  link.key = sortKey(name);
  link.name = std::move(name);
  links.push_back(std::move(link));
  enter(parent, nodes[id].firstLink);
  append(parent, added);
  return true;
}

// version ID USER TIME COMMENT CONTENT [PROJECT]: PROJECT is the project the check-in was made
// from (without it, the file's first project).
bool Model::applyVersion(const Fields& f, Place at) {
  std::uint32_t id;
  if (!file(f[1], id)) return false;
  std::uint32_t from = links[nodes[id].firstLink].parent;
  if (f.size() > 6 && !project(f[6], from)) return false;
  auto r = record(RecordKind::CheckedIn, f[2], f[3], at);
  if (!r) return false;
  r->hasComment = hasComment(f, r->kind);
  r->ref = from;
  append(id, *r);
  return true;
}

// label ID LABEL USER TIME COMMENT
bool Model::applyLabel(const Fields& f, Place at) {
  std::uint32_t id;
  if (!node(f[1], id)) return false;
  auto r = record(RecordKind::Label, f[3], f[4], at);
  if (!r) return false;
  r->hasComment = hasComment(f, r->kind);
  r->label = static_cast<std::uint32_t>(labels.size());
  labels.push_back(field(f[2]));
  append(id, *r);
  return true;
}

// share PARENT ID USER TIME [FROM], pin PARENT ID USER TIME FROM VERSION: FROM is the entry the
// file was shared from (without it, the file's first one); a pin's entry stands at VERSION.
bool Model::applyShare(const Fields& f, Place at) {
  const bool pin = f[0] == "pin";
  std::uint32_t parent, id, from = kNone, version = 0;
  if (!project(f[1], parent) || !file(f[2], id)) return false;
  if (f.size() > 5 && (!number(f[5], from) || from >= links.size() || links[from].node != id))
    return false;
  if (pin && (!number(f[6], version) || version < 1 || version > nodes[id].history.size()))
    return false;
  const std::string& name = links[nodes[id].firstLink].name;
  if (liveChild(parent, text::fold(name)) != kNone) return false;
  auto r = record(pin ? RecordKind::Pinned : RecordKind::Shared, f[3], f[4], at);
  if (!r) return false;
  r->hasComment = false;
  r->line = kNoLine;
  r->ref = from == kNone ? nodes[id].firstLink : from;
  r->label = version;
  Link link;
  link.parent = parent;
  link.node = id;
  link.pinned = version;
  link.name = name;
  link.key = links[nodes[id].firstLink].key;
  links.push_back(std::move(link));
  enter(parent, static_cast<std::uint32_t>(links.size() - 1));
  append(parent, *r);
  return true;
}

// delete PARENT ID USER TIME
bool Model::applyDelete(const Fields& f, Place at) {
  std::uint32_t parent, id;
  if (!project(f[1], parent) || !node(f[2], id)) return false;
  for (auto link : nodes[parent].children->ordered) {
    if (links[link].node == id && !links[link].deleted) {
      auto r = record(RecordKind::Deleted, f[3], f[4], at);
      if (!r) return false;
      r->hasComment = false;
      r->line = kNoLine;
      links[link].deleted = true;
      append(parent, *r);
      return true;
    }
  }
  return false;
}

// fault ID OP STATUS TEXT
bool Model::applyFault(const Fields& f, Place) {
  std::uint32_t id;
  std::int32_t status;
  if (!node(f[1], id) || !number(f[3], status)) return false;
  auto& list = faults[id];
  std::erase_if(list, [&](const Fault& x) { return x.op == f[2]; });
  list.push_back(Fault{std::string(f[2]), status, field(f[4])});
  return true;
}

// nofault ID
bool Model::applyNoFault(const Fields& f, Place) {
  std::uint32_t id;
  if (!number(f[1], id)) return false;
  faults.erase(id);
  return true;
}

std::uint32_t Model::liveChild(std::uint32_t project, const std::string& folded) const {
  const auto& byName = nodes[project].children->byName;
  auto it = byName.find(folded);
  if (it == byName.end()) return kNone;
  for (auto link : it->second)
    if (!links[link].deleted) return link;
  return kNone;
}

bool Model::hasDeletedChild(std::uint32_t project, const std::string& folded) const {
  const auto& byName = nodes[project].children->byName;
  auto it = byName.find(folded);
  return it != byName.end() && std::any_of(it->second.begin(), it->second.end(),
                                           [&](std::uint32_t link) { return links[link].deleted; });
}

std::vector<std::uint32_t> Model::children(std::uint32_t project, bool includeDeleted) const {
  std::vector<std::uint32_t> out;
  for (auto link : nodes[project].children->ordered)
    if (includeDeleted || !links[link].deleted) out.push_back(link);
  return out;
}

std::uint32_t Model::resolve(std::string_view spec, bool deleted) const {
  if (spec.empty() || spec[0] != '$') return kNone;
  spec.remove_prefix(1);
  if (!spec.empty() && spec[0] != '/') return kNone;
  std::uint32_t link = 0;
  for (std::size_t at = spec.find_first_not_of('/'); at != std::string_view::npos;) {
    std::size_t end = std::min(spec.find('/', at), spec.size());
    std::string folded = text::fold(spec.substr(at, end - at));
    at = spec.find_first_not_of('/', end);
    const Node& node = nodes[links[link].node];
    if (!node.project) return kNone;
    std::uint32_t next = liveChild(links[link].node, folded);
    if (next == kNone && deleted && at == std::string_view::npos) {
      auto it = node.children->byName.find(folded);
      if (it != node.children->byName.end() && !it->second.empty()) next = it->second.back();
    }
    if (next == kNone) return kNone;
    link = next;
  }
  return link;
}

std::string Model::spec(std::uint32_t link) const {
  if (link == 0) return "$/";
  // Every file of a walk asks for its path: one allocation, no temporaries.
  const std::string* parts[64];
  std::size_t count = 0, length = 1;
  std::vector<const std::string*> deeper;  // only for trees deeper than 64 levels
  for (std::uint32_t l = link; l != 0; l = nodes[links[l].parent].firstLink) {
    const std::string* name = &links[l].name;
    if (count < 64) {
      parts[count++] = name;
    } else {
      deeper.push_back(name);
    }
    length += name->size() + 1;
  }
  std::string out;
  out.reserve(length);
  out += '$';
  for (auto it = deeper.rbegin(); it != deeper.rend(); ++it) (out += '/') += **it;
  while (count > 0) (out += '/') += *parts[--count];
  return out;
}

const Fault* Model::fault(std::uint32_t node, std::string_view op) const {
  auto it = faults.find(node);
  if (it == faults.end()) return nullptr;
  for (const auto& f : it->second)
    if (f.op == op) return &f;
  return nullptr;
}

const User* Model::user(std::string_view name) const {
  auto it = users.find(text::fold(name));
  return it == users.end() ? nullptr : &it->second;
}

}  // namespace standin
