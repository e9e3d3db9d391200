// Opening a real SourceSafe database: srcsafe.ini, um.dat, names.dat and the project
// tree read from the projects' item and entry files. Items' histories and contents: items.cpp.
#include "vssdb/database.h"

#include <algorithm>
#include <deque>

#include "vssdb/text.h"

namespace vssdb {
namespace {

namespace fs = std::filesystem;

using Section = std::map<std::string, std::string>;

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return s;
}

std::string trim(std::string_view s) {
  const auto b = s.find_first_not_of(" \t\r");
  if (b == std::string_view::npos) return {};
  return std::string(s.substr(b, s.find_last_not_of(" \t\r") - b + 1));
}

// srcsafe.ini: sections, keys in lower case (keys before the first section in section "").
// SourceSafe writes CR LF; a copy that lost its CRs reads the same.
std::map<std::string, Section> readIni(const std::string& text) {
  std::map<std::string, Section> out;
  std::string section;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = trim(std::string_view(text).substr(start, end - start));
    start = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[' && line.back() == ']') {
      section = lower(trim(std::string_view(line).substr(1, line.size() - 2)));
      continue;
    }
    const auto eq = line.find('=');
    if (eq != std::string::npos)
      out[section][lower(trim(std::string_view(line).substr(0, eq)))] =
          trim(std::string_view(line).substr(eq + 1));
  }
  return out;
}

// The data folder srcsafe.ini names (Data_Path, relative to the ini's folder; "\" separates
// levels as "/" does).
fs::path dataFolder(const fs::path& dir, const std::map<std::string, Section>& ini) {
  std::string path = "data";
  if (auto s = ini.find(""); s != ini.end()) {
    if (auto v = s->second.find("data_path"); v != s->second.end() && !v->second.empty())
      path = v->second;
  }
#ifndef _WIN32
  std::replace(path.begin(), path.end(), '\\', '/');
#endif
  fs::path p(path);
  return p.is_absolute() ? p : dir / p;
}

}  // namespace

bool Database::isDatabase(const fs::path& dir) {
  if (kindOf(dir / "srcsafe.ini") != Kind::File) return false;
  try {
    auto ini = systemFiles().read(dir / "srcsafe.ini");
    return ini && kindOf(dataFolder(dir, readIni(*ini)) / "um.dat") == Kind::File;
  } catch (const std::runtime_error&) {
    return false;
  }
}

Database::Database(const fs::path& dir, Reading reading)
    : dir_(dir), reading_(reading), files_(reading.files ? *reading.files : systemFiles()) {
  reading_.attempts = std::max(reading_.attempts, 2);
  data_ = dataFolder(dir, readIni(readFile(dir / "srcsafe.ini")));
  readUsers();
  readNames();
  readTree();
}

std::string Database::relative(const fs::path& file) const {
  // Lexically: the file system is asked nothing (resolving links costs calls per item file).
  return file.lexically_relative(dir_).generic_string();
}

std::string Database::readFile(const fs::path& file) const {
  std::optional<std::string> bytes;
  try {
    bytes = files_.read(file);
  } catch (const std::runtime_error& e) {
    throw Damaged(e.what());
  }
  if (!bytes) throw Damaged(relative(file) + " is missing");
  return std::move(*bytes);
}

fs::path Database::physicalPath(std::string_view physical, std::string_view ext) const {
  std::string name = lower(std::string(physical));
  if (!ext.empty()) name += "." + lower(std::string(ext));
  return data_ / name.substr(0, 1) / name;
}

const User* Database::user(std::string_view name) const {
  const std::string folded = fold(name);
  for (const auto& u : users_)
    if (fold(u.name) == folded) return &u;
  return nullptr;
}

// um.dat: a 52-byte file header ("UserManagement@Microsoft"), a header record (HU) whose first
// field counts the users, and a record (UU) per user: name (32 bytes), password hash (u16). The
// users are the first that many records; the library leaves the records of deleted users behind
// them. A record that fails its checksum leaves the database without users, as it leaves
// SourceSafe's library (every login is an unknown user then).
void Database::readUsers() {
  const std::string file = readFile(data_ / "um.dat");
  if (file.compare(0, 24, "UserManagement@Microsoft") != 0)
    throw Damaged("um.dat: no user file signature");
  std::string damage;
  auto records = readRecords(file, 52, "um.dat", &damage);
  openRecords_ += records.size();
  if (!damage.empty()) {
    openDamage_.push_back(damage);
    return;
  }
  if (records.empty() || records[0].signature != "HU") throw Damaged("um.dat: no header record");
  const std::size_t count = Fields(records[0].body, "um.dat").u16(0);
  if (count > records.size() - 1)
    throw Damaged("um.dat: its header counts more users than it holds");
  for (std::size_t i = 1; i <= count; ++i) {
    Fields f(records[i].body, "um.dat, user record " + std::to_string(i));
    if (records[i].signature != "UU") f.fail("not a user record");
    users_.push_back(User{decodeAnsi(f.text(0, 32)), f.u16(32)});
  }
}

// names.dat: a header record (HN), then a record (SN) per item whose name does not fit or has
// other forms: a count, (kind, offset) pairs, the names. The library does without what it cannot
// read there (an entry then shows its short name); so does the reader.
void Database::readNames() {
  if (kindOf(data_ / "names.dat") == Kind::None) return;
  const std::string file = readFile(data_ / "names.dat");
  std::string damage;
  auto records = readRecords(file, 0, "names.dat", &damage);
  openRecords_ += records.size();
  if (!damage.empty()) openDamage_.push_back(damage);
  for (std::size_t i = 1; i < records.size(); ++i) {
    if (records[i].signature != "SN") continue;
    Fields f(records[i].body, "names.dat");
    try {
      const std::size_t count = f.u16(0), base = 4 + 4 * count;
      std::map<int, std::string> kinds;
      for (std::size_t k = 0; k < count; ++k) {
        const std::size_t at = base + f.u16(6 + 4 * k);
        if (at >= f.size()) f.fail("a name lies beyond the record");
        kinds[f.u16(4 + 4 * k)] = decodeAnsi(f.text(at, f.size() - at));
      }
      names_[records[i].offset] = std::move(kinds);
    } catch (const Damaged& e) {
      openDamage_.push_back(e.what());
    }
  }
}

// A name field of the database (flags, 34 bytes of short name, an offset into names.dat): the
// full name, from names.dat when it keeps one (a project's kind 10, a file's long name, kind 2).
std::string Database::fullName(Fields f, std::size_t at) const {
  const bool project = (f.u16(at) & 1) != 0;
  std::string name = decodeAnsi(f.text(at + 2, 34));
  if (const std::uint32_t offset = f.u32(at + 36); offset != 0) {
    auto record = names_.find(offset);
    if (record == names_.end()) return name;
    if (auto kind = record->second.find(project ? 10 : 2); kind != record->second.end())
      name = kind->second;
  }
  return name;
}

std::uint32_t Database::nodeOf(const std::string& physical, bool project) {
  auto [it, added] = byPhysical_.emplace(physical, static_cast<std::uint32_t>(nodes_.size()));
  if (added) {
    nodes_.push_back(Node{physical, project});
    projectEntry_.push_back(kNone);
    kids_.emplace_back();
  }
  return it->second;
}

// The tree, breadth first from the root project: each project's item file (its history, proven)
// and its entries file (a record JP per entry: type, flags, name, pinned version, physical name),
// in the order of that file, which is the library's order. Entries after one that fails its
// checksum are not there for the library; nor are they here.
void Database::readTree() {
  entries_.push_back(Entry{nodeOf("AAAAAAAA", true), kNone, "$/", false, 0});
  projectEntry_[0] = 0;
  std::deque<std::uint32_t> queue{0};
  while (!queue.empty()) {
    const std::uint32_t project = queue.front();
    queue.pop_front();
    std::shared_ptr<ItemData> data = load(nodes_[project].physical, true, false);
    openRecords_ += data->records;
    std::vector<std::uint32_t> kids;
    if (data->damage.empty()) {
      const std::string name = relative(data->contentFile);
      try {
        const std::string file = readFile(data->contentFile);
        std::string damage;
        auto jp = readRecords(file, 0, name, &damage);
        openRecords_ += jp.size();
        if (!damage.empty()) openDamage_.push_back(nodes_[project].physical + ": " + damage);
        for (const Record& r : jp) {
          Fields f(r.body, name + ", record at byte " + std::to_string(r.offset));
          if (r.signature != "JP") f.fail("not a project entry");
          const std::uint16_t type = f.u16(0);
          const std::string physical(f.text(46, 10));
          if ((type != 1 && type != 2) || !physicalName(physical)) f.fail("not a valid entry");
          const bool isProject = type == 1;
          const std::uint32_t node = nodeOf(physical, isProject);
          if (nodes_[node].project != isProject) f.fail(physical + " is a project and a file");
          Entry e{node, project, fullName(f, 4), (f.u16(2) & 1) != 0, std::max<int>(0, f.i16(44))};
          kids.push_back(static_cast<std::uint32_t>(entries_.size()));
          if (isProject && projectEntry_[node] == kNone) queue.push_back(node);
          if (projectEntry_[node] == kNone || (entries_[projectEntry_[node]].deleted && !e.deleted))
            projectEntry_[node] = static_cast<std::uint32_t>(entries_.size());
          entries_.push_back(std::move(e));
        }
      } catch (const Damaged& e) {
        data->damage = e.what();
        kids.clear();
      }
    }
    kids_[project] = std::move(kids);
    ProjectSummary& summary = projects_[project];
    summary.damage = data->damage;
    summary.torn = data->torn;
    if (!data->events.empty()) summary.created = data->events.front().stored;
    for (Event& e : data->events)
      if (e.action == kLabel) summary.labels.push_back(std::move(e));
  }
  places_.resize(nodes_.size());
  for (std::uint32_t e = 0; e < entries_.size(); ++e) places_[entries_[e].node].push_back(e);
}

std::vector<std::uint32_t> Database::children(std::uint32_t node, bool includeDeleted) const {
  std::vector<std::uint32_t> out;
  for (std::uint32_t e : kids_[node])
    if (includeDeleted || !entries_[e].deleted) out.push_back(e);
  return out;
}

std::uint32_t Database::resolve(std::string_view spec, bool deleted, bool* throughDeleted) const {
  if (!spec.empty() && spec[0] == '$') spec.remove_prefix(1);
  std::uint32_t at = 0;
  std::vector<std::string> levels;
  for (std::size_t start = 0; start <= spec.size();) {
    std::size_t end = std::min(spec.find('/', start), spec.size());
    if (end > start) levels.push_back(fold(spec.substr(start, end - start)));
    start = end + 1;
  }
  const bool passDeleted = deleted && throughDeleted != nullptr;
  if (throughDeleted) *throughDeleted = false;
  for (std::size_t i = 0; i < levels.size(); ++i) {
    const std::uint32_t node = entries_[at].node;
    if (!nodes_[node].project) return kNone;
    const bool last = i + 1 == levels.size();
    std::uint32_t found = kNone;
    for (std::uint32_t e : kids_[node]) {
      if (fold(entries_[e].name) != levels[i]) continue;
      if (last ? entries_[e].deleted == deleted : !entries_[e].deleted) {
        found = e;
        break;
      }
      if (!last && passDeleted && found == kNone) found = e;
    }
    if (found == kNone) return kNone;
    if (!last && entries_[found].deleted) *throughDeleted = true;
    at = found;
  }
  return at;
}

std::string Database::spec(std::uint32_t entry) const {
  const Entry& e = entries_[entry];
  if (e.parent == kNone) return "$/";
  std::string above = spec(projectEntry_[e.parent]);
  return above + (above.back() == '/' ? "" : "/") + e.name;
}

std::vector<std::uint32_t> Database::entriesOf(std::uint32_t node) const { return places_[node]; }

std::uint32_t Database::node(std::string_view physical) const {
  auto it = byPhysical_.find(std::string(physical));
  return it == byPhysical_.end() ? kNone : it->second;
}

void failWith(const ItemData& data) {
  if (data.torn) throw Torn(data.damage);
  throw Damaged(data.damage);
}

std::shared_ptr<const ItemData> Database::item(std::uint32_t node, bool bytes) const {
  return load(nodes_[node].physical, nodes_[node].project, bytes);
}

std::shared_ptr<const ItemData> Database::itemOf(const std::string& physical, bool bytes) const {
  if (const std::uint32_t n = node(physical); n != kNone) return item(n, bytes);
  return load(physical, false, bytes);
}

History Database::history(std::uint32_t node) const {
  History out;
  out.items.push_back(item(node));
  // A branch's earlier records are its origin's (and so on), each up to the version the next
  // one starts at; a chain longer than the database's items is no chain.
  while (!out.items.back()->damage.empty() || !out.items.back()->branchedFrom.empty()) {
    if (!out.items.back()->damage.empty()) failWith(*out.items.back());
    if (out.items.size() > nodes_.size())
      throw Damaged(nodes_[node].physical + ": its branches loop");
    out.items.push_back(itemOf(out.items.back()->branchedFrom));
  }
  for (auto link = out.items.rbegin(); link != out.items.rend(); ++link) {
    const long start = (*link)->events.empty() ? 0 : (*link)->events.front().version;
    std::erase_if(out.events, [&](const Event* e) { return e->version >= start; });
    for (const Event& e : (*link)->events) out.events.push_back(&e);
  }
  return out;
}

}  // namespace vssdb
