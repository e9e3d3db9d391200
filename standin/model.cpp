// The in-memory model of a store and the replay of its journal.
#include "standin/model.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <optional>

#include "standin/dates.h"
#include "standin/text.h"

namespace standin {
namespace {

bool number(std::string_view s, std::uint32_t& value) {
  auto r = std::from_chars(s.data(), s.data() + s.size(), value);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool signedNumber(std::string_view s, std::int32_t& value) {
  auto r = std::from_chars(s.data(), s.data() + s.size(), value);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

// A field's text: most fields have nothing escaped, so they are copied as they are.
std::string field(std::string_view raw) {
  if (raw.find('\\') == std::string_view::npos) return std::string(raw);
  return text::unescape(raw);
}

bool hexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); }

}  // namespace

int commentField(RecordKind kind) {
  switch (kind) {
    case RecordKind::ProjectCreated: return 6;
    case RecordKind::FileCreated: return 6;
    case RecordKind::CheckedIn: return 4;
    case RecordKind::Label: return 5;
  }
  return -1;
}

int contentField(RecordKind kind) {
  switch (kind) {
    case RecordKind::FileCreated: return 7;
    case RecordKind::CheckedIn: return 5;
    default: return -1;
  }
}

Model::Model() {
  Node root;
  root.project = true;
  root.firstLink = 0;
  root.children = std::make_unique<std::map<std::string, std::vector<std::uint32_t>>>();
  nodes.push_back(std::move(root));
  links.push_back(Link{kNone, 0, "$", false});
}

std::uint32_t Model::person(std::string_view name) {
  auto it = peopleIndex_.find(name);
  if (it != peopleIndex_.end()) return it->second;
  auto index = static_cast<std::uint32_t>(people.size());
  people.emplace_back(name);
  peopleIndex_.emplace(std::string(name), index);
  return index;
}

bool Model::apply(std::string_view record, std::uint64_t line, std::uint32_t length) {
  // At most nine fields; split without allocating (opening a store applies every record).
  std::array<std::string_view, 10> parts;
  struct Fields {
    std::array<std::string_view, 10>& parts;
    std::size_t count = 0;
    std::size_t size() const { return count; }
    std::string_view operator[](std::size_t i) const { return parts[i]; }
  } f{parts};
  for (std::size_t start = 0;;) {
    std::size_t tab = record.find('\t', start);
    if (f.count == parts.size()) return false;
    parts[f.count++] = record.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start);
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  std::string_view kind = f[0];
  auto isProject = [&](std::uint32_t id) { return id < nodes.size() && nodes[id].project; };
  auto isFile = [&](std::uint32_t id) { return id < nodes.size() && !nodes[id].project; };
  auto historyRecord = [&](RecordKind k, std::string_view user, std::string_view time,
                           HistoryRecord& out) {
    auto seconds = parseSeconds(time);
    if (!seconds) return false;
    out.seconds = *seconds;
    out.user = user.find('\\') == std::string_view::npos ? person(user) : person(text::unescape(user));
    out.kind = k;
    out.line = line;
    out.lineLength = length;
    return true;
  };

  if (kind == "store" && f.size() == 2) {
    storeId = std::string(f[1]);
    return true;
  }
  if (kind == "user" && f.size() == 3) {
    std::string name = field(f[1]);
    if (name.empty()) return false;
    users[text::fold(name)] = User{name, field(f[2])};
    return true;
  }
  if ((kind == "project" && f.size() == 7) || (kind == "file" && f.size() == 8)) {
    bool project = kind == "project";
    std::uint32_t id, parent;
    if (!number(f[1], id) || id != nodes.size() || !number(f[2], parent) || !isProject(parent))
      return false;
    std::string name = field(f[3]);
    if (name.empty()) return false;
    auto& entries = (*nodes[parent].children)[text::fold(name)];
    if (std::any_of(entries.begin(), entries.end(), [&](std::uint32_t l) { return !links[l].deleted; }))
      return false;
    HistoryRecord created;
    if (!historyRecord(project ? RecordKind::ProjectCreated : RecordKind::FileCreated, f[4], f[5],
                       created))
      return false;
    created.number = 1;
    Node node;
    node.project = project;
    node.firstLink = static_cast<std::uint32_t>(links.size());
    node.versions = 1;
    node.history.push_back(created);
    if (project)
      node.children = std::make_unique<std::map<std::string, std::vector<std::uint32_t>>>();
    entries.push_back(static_cast<std::uint32_t>(links.size()));
    nodes.push_back(std::move(node));
    links.push_back(Link{parent, id, std::move(name), false});
    return true;
  }
  if (kind == "version" && f.size() == 6) {
    std::uint32_t id;
    if (!number(f[1], id) || !isFile(id)) return false;
    HistoryRecord r;
    if (!historyRecord(RecordKind::CheckedIn, f[2], f[3], r)) return false;
    Node& node = nodes[id];
    r.number = ++node.versions;
    node.history.push_back(r);
    return true;
  }
  if (kind == "label" && f.size() == 6) {
    std::uint32_t id;
    if (!number(f[1], id) || id >= nodes.size()) return false;
    HistoryRecord r;
    if (!historyRecord(RecordKind::Label, f[3], f[4], r)) return false;
    Node& node = nodes[id];
    r.number = node.versions;
    r.label = static_cast<std::uint32_t>(labels.size());
    labels.push_back(field(f[2]));
    node.history.push_back(r);
    return true;
  }
  if (kind == "share" && f.size() == 5) {
    std::uint32_t parent, id;
    if (!number(f[1], parent) || !isProject(parent) || !number(f[2], id) || !isFile(id))
      return false;
    const std::string& name = links[nodes[id].firstLink].name;
    std::string folded = text::fold(name);
    if (liveChild(parent, folded) != kNone) return false;
    (*nodes[parent].children)[folded].push_back(static_cast<std::uint32_t>(links.size()));
    links.push_back(Link{parent, id, name, false});
    return true;
  }
  if (kind == "delete" && f.size() == 5) {
    std::uint32_t parent, id;
    if (!number(f[1], parent) || !isProject(parent) || !number(f[2], id) || id >= nodes.size())
      return false;
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
  if (kind == "fault" && f.size() == 5) {
    std::uint32_t id;
    std::int32_t status;
    if (!number(f[1], id) || id >= nodes.size() || !signedNumber(f[3], status)) return false;
    auto& list = faults[id];
    std::string op(f[2]);
    std::erase_if(list, [&](const Fault& x) { return x.op == op; });
    list.push_back(Fault{op, status, field(f[4])});
    return true;
  }
  if (kind == "nofault" && f.size() == 2) {
    std::uint32_t id;
    if (!number(f[1], id)) return false;
    faults.erase(id);
    return true;
  }
  return false;
}

std::uint32_t Model::liveChild(std::uint32_t project, const std::string& folded) const {
  const auto& children = *nodes[project].children;
  auto it = children.find(folded);
  if (it == children.end()) return kNone;
  for (auto link : it->second)
    if (!links[link].deleted) return link;
  return kNone;
}

bool Model::hasDeletedChild(std::uint32_t project, const std::string& folded) const {
  const auto& children = *nodes[project].children;
  auto it = children.find(folded);
  if (it == children.end()) return false;
  return std::any_of(it->second.begin(), it->second.end(),
                     [&](std::uint32_t link) { return links[link].deleted; });
}

std::vector<std::uint32_t> Model::children(std::uint32_t project, bool includeDeleted) const {
  std::vector<std::uint32_t> out;
  for (const auto& [folded, entries] : *nodes[project].children) {
    std::size_t first = out.size();
    for (auto link : entries)
      if (includeDeleted || !links[link].deleted) out.push_back(link);
    if (out.size() - first > 1)
      std::stable_sort(out.begin() + static_cast<std::ptrdiff_t>(first), out.end(),
                       [&](std::uint32_t a, std::uint32_t b) { return links[a].name < links[b].name; });
  }
  return out;
}

std::uint32_t Model::resolve(std::string_view spec, bool deleted) const {
  if (spec.empty() || spec[0] != '$') return kNone;
  spec.remove_prefix(1);
  if (!spec.empty() && spec[0] != '/') return kNone;
  std::uint32_t link = 0;
  std::size_t at = 0;
  while (at < spec.size()) {
    if (spec[at] == '/') {
      ++at;
      continue;
    }
    std::size_t end = spec.find('/', at);
    if (end == std::string_view::npos) end = spec.size();
    std::string folded = text::fold(spec.substr(at, end - at));
    std::uint32_t node = links[link].node;
    if (!nodes[node].project) return kNone;
    std::uint32_t next = liveChild(node, folded);
    bool last = spec.find_first_not_of('/', end) == std::string_view::npos;
    if (next == kNone && deleted && last) {
      auto it = nodes[node].children->find(folded);
      if (it != nodes[node].children->end() && !it->second.empty()) next = it->second.back();
    }
    if (next == kNone) return kNone;
    link = next;
    at = end;
  }
  return link;
}

std::string Model::spec(std::uint32_t link) const {
  if (link == 0) return "$/";
  std::vector<const std::string*> parts;
  for (std::uint32_t l = link; l != 0; l = nodes[links[l].parent].firstLink)
    parts.push_back(&links[l].name);
  std::string out = "$";
  for (auto it = parts.rbegin(); it != parts.rend(); ++it) {
    out += '/';
    out += **it;
  }
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

void Transaction::add(std::initializer_list<std::string_view> fields) {
  std::string record;
  bool first = true;
  for (auto f : fields) {
    if (!first) record += '\t';
    if (first)
      record += f;  // the kind: never escaped
    else
      text::appendEscaped(record, f);
    first = false;
  }
  records_.push_back(std::move(record));
  ++count_;
}

std::string Transaction::finish() const {
  std::string out;
  for (const auto& r : records_) out += journalLine(r);
  out += journalLine("commit\t" + std::to_string(count_));
  return out;
}

std::string journalLine(std::string_view record) {
  char prefix[16];
  std::snprintf(prefix, sizeof prefix, "%08x ", text::crc32(record));
  std::string out;
  out.reserve(record.size() + 10);
  out += prefix;
  out += record;
  out += '\n';
  return out;
}

namespace {

// The record of a journal line whose checksum matches, or nullopt.
std::optional<std::string_view> checked(std::string_view line) {
  if (line.size() < 10 || line[8] != ' ') return std::nullopt;
  std::uint32_t sum = 0;
  for (int i = 0; i < 8; ++i) {
    if (!hexDigit(line[i])) return std::nullopt;
    sum = sum * 16 + static_cast<std::uint32_t>(line[i] <= '9' ? line[i] - '0' : line[i] - 'a' + 10);
  }
  std::string_view record = line.substr(9);
  if (text::crc32(record) != sum) return std::nullopt;
  return record;
}

bool isCommit(std::optional<std::string_view> record) {
  return record && record->starts_with("commit\t");
}

// True when a complete commit record follows `from`.
bool commitFollows(std::string_view data, std::size_t from) {
  for (std::size_t end; (end = data.find('\n', from)) != std::string_view::npos; from = end + 1)
    if (isCommit(checked(data.substr(from, end - from)))) return true;
  return false;
}

}  // namespace

Replayed replay(Model& model, std::string_view data, std::uint64_t base) {
  struct Pending {
    std::string_view record;
    std::uint64_t offset;
  };
  std::vector<Pending> pending;
  Replayed result{base};
  for (std::size_t at = 0, end; (end = data.find('\n', at)) != std::string_view::npos; at = end + 1) {
    auto record = checked(data.substr(at, end - at));
    std::uint32_t count;
    if (!record || (isCommit(record) &&
                    (!number(record->substr(7), count) || count != pending.size()))) {
      if (record || commitFollows(data, end + 1)) result.damage = base + at;
      return result;
    }
    if (isCommit(record)) {
      for (const auto& p : pending)
        model.apply(p.record, p.offset, static_cast<std::uint32_t>(p.record.size()));
      pending.clear();
      result.end = base + end + 1;
    } else {
      pending.push_back(Pending{*record, base + at + 9});
    }
  }
  return result;
}

}  // namespace standin
