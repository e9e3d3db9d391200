// Opening a real SourceSafe database: srcsafe.ini, um.dat, names.dat, crcs.dat and the project
// tree read from the projects' item and entry files. Items' histories and contents: items.cpp.
#include "standin/vssdb/database.h"

#include <algorithm>
#include <deque>

#include "standin/file_io.h"
#include "standin/shared_store.h"
#include "standin/text.h"

namespace standin::vssdb {
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

bool physicalName(std::string_view s) {
  return s.size() == 8 &&
         std::all_of(s.begin(), s.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

}  // namespace

bool Database::isDatabase(const fs::path& dir) {
  std::error_code ec;
  if (isStore(dir) || !fs::is_regular_file(dir / "srcsafe.ini", ec)) return false;
  try {
    auto ini = readIni(io::readRange(dir / "srcsafe.ini", 0, 1 << 20));
    return fs::is_regular_file(vssdb::dataFolder(dir, ini) / "um.dat", ec);
  } catch (const io::IoError&) {
    return false;
  }
}

Database::Database(const fs::path& dir) : dir_(dir) {
  auto ini = readIni(io::readRange(dir / "srcsafe.ini", 0, 1 << 20));
  data_ = vssdb::dataFolder(dir, ini);
  zone_ = TimeZone::fromSection(ini["timezone"]);
  readUsers();
  readNames();
  readCrcs();
  readTree();
}

std::string Database::readFile(const fs::path& file) const {
  const std::int64_t size = io::fileSize(file);
  if (size < 0) throw Damaged(fs::relative(file, dir_).generic_string() + " is missing");
  try {
    return io::readRange(file, 0, static_cast<std::uint64_t>(size));
  } catch (const io::IoError& e) {
    throw Damaged(e.what());
  }
}

fs::path Database::physicalPath(std::string_view physical, std::string_view ext) const {
  std::string name = lower(std::string(physical));
  if (!ext.empty()) name += "." + lower(std::string(ext));
  return data_ / name.substr(0, 1) / name;
}

const User* Database::user(std::string_view name) const {
  const std::string folded = text::fold(name);
  for (const auto& u : users_)
    if (text::fold(u.name) == folded) return &u;
  return nullptr;
}

// um.dat: a 52-byte file header ("UserManagement@Microsoft"), a header record (HU) whose first
// field counts the users, and a record (UU) per user: name (32 bytes), password hash (u16).
void Database::readUsers() {
  const std::string file = readFile(data_ / "um.dat");
  if (file.compare(0, 24, "UserManagement@Microsoft") != 0)
    throw Damaged("um.dat: no user file signature");
  auto records = readRecords(file, 52, "um.dat");
  openRecords_ += records.size();
  if (records.empty() || records[0].signature != "HU") throw Damaged("um.dat: no header record");
  for (std::size_t i = 1; i < records.size(); ++i) {
    Fields f(records[i].body, "um.dat, user record " + std::to_string(i));
    if (records[i].signature != "UU") f.fail("not a user record");
    users_.push_back(User{decodeAnsi(f.text(0, 32)), f.u16(32)});
  }
  if (Fields(records[0].body, "um.dat").u16(0) != users_.size())
    throw Damaged("um.dat: its header counts another number of users");
}

// names.dat: a header record (HN, the file's used length at byte 16), then a record (SN) per
// item whose name does not fit or has other forms: a count, (kind, offset) pairs, the names.
void Database::readNames() {
  const std::string file = readFile(data_ / "names.dat");
  auto records = readRecords(file, 0, "names.dat");
  openRecords_ += records.size();
  if (records.empty() || records[0].signature != "HN") throw Damaged("names.dat: no header record");
  if (Fields(records[0].body, "names.dat").u32(16) != file.size())
    throw Damaged("names.dat: its header gives another length");
  for (std::size_t i = 1; i < records.size(); ++i) {
    const std::string what = "names.dat, record at byte " + std::to_string(records[i].offset);
    Fields f(records[i].body, what);
    if (records[i].signature != "SN") f.fail("not a name record");
    const std::size_t count = f.u16(0), base = 4 + 4 * count;
    auto& kinds = names_[records[i].offset];
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t at = base + f.u16(6 + 4 * k);
      if (at >= f.size()) f.fail("a name lies beyond the record");
      kinds[f.u16(4 + 4 * k)] = decodeAnsi(f.text(at, f.size() - at));
    }
  }
}

// crcs.dat: a header record (HS), then the newest content's CRC of every file, one u32 per
// physical name, in the order of the names read as numbers (first letter least significant).
void Database::readCrcs() {
  std::error_code ec;
  if (!fs::exists(data_ / "crcs.dat", ec)) return;
  std::string file = readFile(data_ / "crcs.dat");
  Fields header(std::string_view(file).substr(0, std::min<std::size_t>(8, file.size())),
                "crcs.dat");
  const std::uint32_t length = header.u32(0);
  if (header.bytes(4, 2) != "HS" || length > file.size() - 8)
    throw Damaged("crcs.dat: no header record");
  if (recordChecksum(std::string_view(file).substr(8, length)) != header.u16(6))
    throw Damaged("crcs.dat: its header record fails its checksum");
  ++openRecords_;
  crcs_ = file.substr(8 + length);
  haveCrcs_ = true;
}

// A name field of the database (flags, 34 bytes of short name, an offset into names.dat): the
// full name, from names.dat when it keeps one (a project's kind 10, a file's long name, kind 2).
std::string Database::fullName(Fields f, std::size_t at) const {
  const bool project = (f.u16(at) & 1) != 0;
  std::string name = decodeAnsi(f.text(at + 2, 34));
  if (const std::uint32_t offset = f.u32(at + 36); offset != 0) {
    auto record = names_.find(offset);
    if (record == names_.end())
      f.fail("its name points to byte " + std::to_string(offset) + " of names.dat, no record");
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
// and its entries file (a record JP per entry: type, flags, name, pinned version, physical name).
void Database::readTree() {
  entries_.push_back(Entry{nodeOf("AAAAAAAA", true), kNone, "$/", false, 0});
  projectEntry_[0] = 0;
  std::deque<std::uint32_t> queue{0};
  while (!queue.empty()) {
    const std::uint32_t project = queue.front();
    queue.pop_front();
    std::size_t records = 0;
    std::shared_ptr<ItemData> data = load(project, &records);
    std::vector<std::uint32_t> kids;
    if (data->damage.empty()) {
      const std::string name = fs::relative(data->contentFile, dir_).generic_string();
      try {
        const std::string file = readFile(data->contentFile);
        auto jp = readRecords(file, 0, name);
        data->records += jp.size();
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
    std::sort(kids.begin(), kids.end(), [&](std::uint32_t a, std::uint32_t b) {
      const std::string fa = text::fold(entries_[a].name), fb = text::fold(entries_[b].name);
      return fa != fb ? fa < fb : entries_[a].name < entries_[b].name;
    });
    kids_[project] = std::move(kids);
    items_[project] = data;
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

std::uint32_t Database::resolve(std::string_view spec, bool deleted) const {
  if (!spec.empty() && spec[0] == '$') spec.remove_prefix(1);
  std::uint32_t at = 0;
  std::vector<std::string> levels;
  for (std::size_t start = 0; start <= spec.size();) {
    std::size_t end = std::min(spec.find('/', start), spec.size());
    if (end > start) levels.push_back(text::fold(spec.substr(start, end - start)));
    start = end + 1;
  }
  for (std::size_t i = 0; i < levels.size(); ++i) {
    const std::uint32_t node = entries_[at].node;
    if (!nodes_[node].project) return kNone;
    std::uint32_t found = kNone;
    for (std::uint32_t e : kids_[node]) {
      if (text::fold(entries_[e].name) != levels[i]) continue;
      if (!entries_[e].deleted) {
        found = e;
        break;
      }
      if (deleted && i + 1 == levels.size() && found == kNone) found = e;
    }
    if (found == kNone) return kNone;
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

std::shared_ptr<const ItemData> Database::item(std::uint32_t node) const {
  std::lock_guard guard(mutex_);
  auto& slot = items_[node];
  if (!slot) slot = load(node);
  return slot;
}

}  // namespace standin::vssdb
