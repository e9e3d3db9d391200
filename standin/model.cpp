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
  links.push_back(Link{kNone, 0, "$", false});
}

bool Model::apply(std::string_view record, std::uint64_t line, std::uint32_t length) {
  using Apply = bool (Model::*)(const Fields&, Place);
  static constexpr struct {
    std::string_view kind;
    std::size_t fields;
    Apply apply;
  } kKinds[] = {
      {"store", 2, &Model::applyStore},     {"user", 3, &Model::applyUser},
      {"project", 7, &Model::applyItem},    {"file", 8, &Model::applyItem},
      {"version", 6, &Model::applyVersion}, {"label", 6, &Model::applyLabel},
      {"share", 5, &Model::applyShare},     {"delete", 5, &Model::applyDelete},
      {"fault", 5, &Model::applyFault},     {"nofault", 2, &Model::applyNoFault},
  };
  Fields f = text::splitFields(record);
  for (const auto& k : kKinds)
    if (f[0] == k.kind) return f.size() == k.fields && (this->*k.apply)(f, Place{line, length});
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
  auto& entries = (*nodes[parent].children)[text::fold(name)];
  if (std::any_of(entries.begin(), entries.end(), [&](auto l) { return !links[l].deleted; }))
    return false;
  auto created =
      record(isProject ? RecordKind::ProjectCreated : RecordKind::FileCreated, f[4], f[5], at);
  if (!created) return false;
  created->number = 1;
  created->hasComment = hasComment(f, created->kind);
  Node node;
  node.project = isProject;
  node.firstLink = static_cast<std::uint32_t>(links.size());
  node.versions = 1;
  node.history.push_back(*created);
  if (isProject) node.children = std::make_unique<Children>();
  entries.push_back(node.firstLink);
  nodes.push_back(std::move(node));
  links.push_back(Link{parent, id, std::move(name), false});
  return true;
}

// version ID USER TIME COMMENT CONTENT
bool Model::applyVersion(const Fields& f, Place at) {
  std::uint32_t id;
  if (!file(f[1], id)) return false;
  auto r = record(RecordKind::CheckedIn, f[2], f[3], at);
  if (!r) return false;
  r->hasComment = hasComment(f, r->kind);
  r->number = ++nodes[id].versions;
  nodes[id].history.push_back(*r);
  return true;
}

// label ID LABEL USER TIME COMMENT
bool Model::applyLabel(const Fields& f, Place at) {
  std::uint32_t id;
  if (!node(f[1], id)) return false;
  auto r = record(RecordKind::Label, f[3], f[4], at);
  if (!r) return false;
  r->hasComment = hasComment(f, r->kind);
  r->number = nodes[id].versions;
  r->label = static_cast<std::uint32_t>(labels.size());
  labels.push_back(field(f[2]));
  nodes[id].history.push_back(*r);
  return true;
}

// share PARENT ID USER TIME
bool Model::applyShare(const Fields& f, Place) {
  std::uint32_t parent, id;
  if (!project(f[1], parent) || !file(f[2], id)) return false;
  const std::string& name = links[nodes[id].firstLink].name;
  std::string folded = text::fold(name);
  if (liveChild(parent, folded) != kNone) return false;
  (*nodes[parent].children)[folded].push_back(static_cast<std::uint32_t>(links.size()));
  links.push_back(Link{parent, id, name, false});
  return true;
}

// delete PARENT ID USER TIME
bool Model::applyDelete(const Fields& f, Place) {
  std::uint32_t parent, id;
  if (!project(f[1], parent) || !node(f[2], id)) return false;
  for (auto& [name, entries] : *nodes[parent].children) {
    for (auto link : entries) {
      if (links[link].node == id && !links[link].deleted) {
        links[link].deleted = true;
        return true;
      }
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
  auto it = nodes[project].children->find(folded);
  if (it == nodes[project].children->end()) return kNone;
  for (auto link : it->second)
    if (!links[link].deleted) return link;
  return kNone;
}

bool Model::hasDeletedChild(std::uint32_t project, const std::string& folded) const {
  auto it = nodes[project].children->find(folded);
  return it != nodes[project].children->end() &&
         std::any_of(it->second.begin(), it->second.end(),
                     [&](std::uint32_t link) { return links[link].deleted; });
}

std::vector<std::uint32_t> Model::children(std::uint32_t project, bool includeDeleted) const {
  std::vector<std::uint32_t> out;
  for (const auto& [folded, entries] : *nodes[project].children) {
    auto first = static_cast<std::ptrdiff_t>(out.size());
    for (auto link : entries)
      if (includeDeleted || !links[link].deleted) out.push_back(link);
    std::stable_sort(out.begin() + first, out.end(), [&](std::uint32_t a, std::uint32_t b) {
      return links[a].name < links[b].name;
    });
  }
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
      auto it = node.children->find(folded);
      if (it != node.children->end() && !it->second.empty()) next = it->second.back();
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
