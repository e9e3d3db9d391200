// The items of a real SourceSafe database: item files (a file header, the item's header record
// DH, its log records EL with their comments MC, and for files the reverse deltas FD), the
// newest content with its CRC, older contents rebuilt, users' password hashes, and the check of
// everything.
#include <algorithm>
#include <array>
#include <chrono>
#include <thread>

#include "vssdb/database.h"
#include "vssdb/text.h"

namespace vssdb {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kFileHeader = 52;  // "SourceSafe@Microsoft", item type, format version 6

// The path of a project in a log record: "$/a" or "$/" for the root.
std::string joined(const std::string& project, const std::string& name) {
  return project + (!project.empty() && project.back() == '/' ? "" : "/") + name;
}

// Applies a reverse delta (a run of operations: u16 code, u16 unused, u32 offset, u32 length;
// code 0 writes the `length` bytes that follow, 1 copies `length` bytes of the newer content
// from `offset`, 2 ends the run) to `newer`: the content of the version before.
std::string applyDelta(std::string_view delta, std::string_view newer, const std::string& what) {
  Fields f(delta, what);
  std::string out;
  for (std::size_t at = 0;;) {
    const std::uint16_t code = f.u16(at);
    const std::uint32_t offset = f.u32(at + 4), length = f.u32(at + 8);
    at += 12;
    if (code == 2) {
      if (at != delta.size()) f.fail("the reverse delta goes on after its end");
      return out;
    }
    if (code == 0) {
      out += f.bytes(at, length);
      at += length;
    } else if (code == 1) {
      if (offset > newer.size() || length > newer.size() - offset)
        f.fail("the reverse delta copies beyond the newer version");
      out += newer.substr(offset, length);
    } else {
      f.fail("the reverse delta has an unknown operation " + std::to_string(code));
    }
  }
}

}  // namespace

Event Database::event(const Record& r, const std::vector<Record>& records,
                      const std::string& name) const {
  Fields f(r.body, name + ", log record at byte " + std::to_string(r.offset));
  Event e;
  e.action = f.u16(4);
  e.version = f.i16(6);
  e.stored = f.u32(8);
  e.user = decodeAnsi(f.text(12, 32));
  auto textAt = [&](std::uint32_t offset, std::uint16_t length) {
    const Record& mc = recordAt(records, offset, "MC", name);
    if (length > mc.body.size()) f.fail("its comment is shorter than it says");
    return decodeAnsi(Fields(mc.body, name).text(0, mc.body.size()));
  };
  if (const std::uint16_t length = f.u16(84); length > 0) e.comment = textAt(f.u32(76), length);
  auto nameAt = [&](std::size_t at) { return fullName(f, at); };
  auto path = [&](std::size_t at) { return decodeAnsi(f.text(at, 260)); };
  // The library's words: an item added, deleted, recovered or destroyed is named by none of
  // them (the words end in a blank), a project in a move by "$" and its name.
  switch (e.action) {
    case kLabel:
      e.label = decodeAnsi(f.text(44, 32));
      if (const std::uint16_t length = f.u16(86); length > 0)
        e.labelComment = textAt(f.u32(80), length);
      e.actionText = "Labeled '" + e.label + "'";
      break;
    case kCreateProject:
    case kCreateFile:
      e.actionText = "Created ";
      break;
    case kAddProject:
    case kAddFile:
      e.actionText = "Added ";
      break;
    case kDestroyProject:
    case kDestroyFile:
      e.actionText = "Destroyed ";
      break;
    case kDeleteProject:
    case kDeleteFile:
      e.actionText = "Deleted ";
      break;
    case kRecoverProject:
    case kRecoverFile:
      e.actionText = "Recovered ";
      break;
    case kRenameProject:
    case kRenameFile:
      e.actionText = e.action == kRenameProject ? "Renamed $" + nameAt(128) + " to $" + nameAt(88)
                                                : "Renamed " + nameAt(128) + " to " + nameAt(88);
      break;
    case kMoveFrom:
      e.actionText = "Moved $" + nameAt(348) + " from " + path(88);
      break;
    case kMoveTo:
      e.actionText = "Moved $" + nameAt(348) + " to " + path(88);
      break;
    case kShareFile: {
      // The version a pin leaves (0 for none, -1 for a share), the version pinned (0 for none):
      // a pin in place, a share of one version, an unpin, a share.
      const std::int16_t unpinned = f.i16(388), pinned = f.i16(390);
      const std::string file = joined(path(88), nameAt(348));
      e.actionText = pinned > 0     ? "Pinned " + file + " to version " + std::to_string(pinned)
                     : unpinned > 0 ? "Unpinned " + file
                                    : "Shared " + file;
      break;
    }
    case kBranchFile:
      e.actionText = "Branched " + nameAt(88);
      break;
    case kCheckIn:
      e.delta = f.u32(88);
      if (e.delta != 0) recordAt(records, e.delta, "FD", name);
      e.actionText = "Checked in " + path(96);
      break;
    case kCreateBranch:
      e.actionText = "Branched at version " + std::to_string(e.version);
      break;
    case kArchiveProject:
      e.actionText = "Archived " + nameAt(88);
      break;
    case kRestoreProject:
      e.actionText = "Restored " + nameAt(88);
      break;
    default:
      e.actionText = "Action " + std::to_string(e.action);
  }
  return e;
}

// An item file, proven: its file header, every record's checksum, the header record's counts and
// offsets, the chain of log records from the newest back to the first, their version numbers one
// after the other. A file's header also names the file it was branched from and the last of the
// records (PF) that name the projects holding it. What fails is the item's damage.
// Strictly, every record's checksum counts, also those the library does not read.
std::shared_ptr<ItemData> Database::parse(const std::string& physical, bool project,
                                          std::optional<std::string> bytes) const {
  auto data = std::make_shared<ItemData>();
  const fs::path path = physicalPath(physical);
  const std::string name = relative(path);
  try {
    if (!bytes) throw Damaged(name + " is missing");
    data->itemFile = std::move(*bytes);
    const std::string& file = data->itemFile;
    Fields head(std::string_view(file).substr(0, std::min(file.size(), kFileHeader)), name);
    if (head.bytes(0, 20) != "SourceSafe@Microsoft") head.fail("no item file signature");
    if (head.u16(32) != (project ? 1 : 2)) head.fail("its type is not its entry's");
    if (head.u16(34) != 6) head.fail("format version " + std::to_string(head.u16(34)));
    auto records = reading_.strict ? readRecords(file, kFileHeader, name)
                                   : readItemRecords(file, kFileHeader, name);
    data->records = records.size();
    if (records.empty() || records[0].signature != "DH") head.fail("no item header record");
    Fields dh(records[0].body, name + ", item header");
    // The data file is found even through a header that fails its checksum: the library
    // fetches a file's newest content without reading its history.
    const std::string ext(dh.text(46, 2));
    if (ext != ".A" && ext != ".B") dh.fail("no data file extension");
    data->contentFile = physicalPath(physical, ext.substr(1));
    intact(records[0], name);
    if (dh.u16(0) != head.u16(32)) dh.fail("its type is not the file's");
    if (dh.u32(56) != file.size()) dh.fail("it gives the file another length");
    const long first = dh.i16(44);
    std::vector<const Record*> log;
    for (const Record& r : records)
      if (r.signature == "EL") log.push_back(&r);
    // The count takes in the versions before the first, which a branch keeps in its origin.
    if (first < 1 ||
        log.size() + static_cast<std::size_t>(first - 1) != static_cast<std::size_t>(dh.i16(2)) ||
        log.empty() || dh.u32(48) != log.front()->offset || dh.u32(52) != log.back()->offset)
      dh.fail("its log records are not those it counts");
    for (std::size_t i = 0; i < log.size(); ++i) {
      intact(*log[i], name);
      const std::uint32_t previous = Fields(log[i]->body, name).u32(0);
      if (previous != (i == 0 ? 0 : log[i - 1]->offset))
        dh.fail("the log record at byte " + std::to_string(log[i]->offset) + " breaks the chain");
      data->events.push_back(event(*log[i], records, name));
      if (data->events.back().version != first + static_cast<long>(i))
        dh.fail("the log record at byte " + std::to_string(log[i]->offset) +
                " has another version number");
    }
    if (!project) {
      data->dataCrc = dh.u32(112);
      data->branchedFrom = std::string(dh.text(82, 8));
      if (!data->branchedFrom.empty() && !physicalName(data->branchedFrom))
        dh.fail("it names no file it was branched from");
      if (first > 1 && data->branchedFrom.empty()) dh.fail("its first versions are nowhere");
      // The projects: a chain of PF records (the one before, a project's physical name), newest
      // first; a place the file no longer has is blanked out.
      for (std::uint32_t at = dh.u32(96), seen = 0; at != 0; ++seen) {
        if (seen > records.size()) dh.fail("its project records loop");
        const Record& pf = intact(recordAt(records, at, "PF", name), name);
        Fields fields(pf.body, name + ", project record at byte " + std::to_string(at));
        const std::string holder(fields.text(4, 8));
        if (physicalName(holder)) data->projects.push_back(holder);
        at = fields.u32(0);
      }
    }
  } catch (const Damaged& e) {
    data->damage = e.what();
    data->events.clear();
    data->projects.clear();
    data->branchedFrom.clear();
  }
  return data;
}

// An item file read until it proves itself, or two reads of it agree: a file that fails its
// checks and reads the same twice is damaged; one that reads differently every time is being
// written (a check-in appends records and then rewrites the item header), torn for now.
std::shared_ptr<ItemData> Database::load(const std::string& physical, bool project,
                                         bool bytes) const {
  const fs::path path = physicalPath(physical);
  std::optional<std::string> previous;
  std::shared_ptr<ItemData> data;
  for (int attempt = 1;; ++attempt) {
    std::optional<std::string> file;
    try {
      file = files_.read(path);
    } catch (const std::runtime_error& e) {
      data = std::make_shared<ItemData>();
      data->damage = e.what();
      return data;
    }
    const bool same = attempt > 1 && file == previous;
    if (file)
      previous = *file;
    else
      previous.reset();
    data = parse(physical, project, std::move(file));
    if (data->damage.empty() || same) break;
    if (attempt == reading_.attempts) {
      data->damage = relative(path) + " changed at each of " + std::to_string(attempt) +
                     " reads (" + data->damage + ")";
      data->torn = true;
      break;
    }
    // A writer is given a moment, longer each time.
    std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
  }
  if (!bytes) {
    data->itemFile.clear();
    data->itemFile.shrink_to_fit();
  }
  return data;
}

// Strictly, the content must match the CRC its item header keeps: a content that does not is
// read again with its item header, until it matches or two reads agree (damaged), or it stays
// different at every read (torn).
std::string Database::newestContent(std::uint32_t node) const {
  if (nodes_[node].project) throw Damaged(nodes_[node].physical + " is a project");
  std::optional<std::string> previous;
  for (int attempt = 1;; ++attempt) {
    auto data = item(node);
    if (data->contentFile.empty() || (reading_.strict && !data->damage.empty())) failWith(*data);
    std::string content = readFile(data->contentFile);
    if (!reading_.strict || crc32(content) == data->dataCrc) return content;
    const std::string why =
        relative(data->contentFile) + ": its CRC is not the one its item header keeps";
    if (attempt > 1 && previous == content) throw Damaged(why);
    if (attempt == reading_.attempts)
      throw Torn(relative(data->contentFile) + " changed at each of " + std::to_string(attempt) +
                 " reads (" + why + ")");
    previous = std::move(content);
    std::this_thread::sleep_for(std::chrono::milliseconds(20 * attempt));
  }
}

std::vector<std::optional<std::string>> Database::contents(std::uint32_t node) const {
  auto data = item(node, true);
  if (!data->damage.empty()) failWith(*data);
  if (nodes_[node].project) throw Damaged(nodes_[node].physical + " is a project");
  return contentsOf(nodes_[node].physical, *data);
}

// From the newest version back: a version's content is the one after it, or what the reverse
// delta of a check-in makes of it; a file that keeps only its latest version has none before
// its last check-in. A branch's versions before its first are its origin's.
std::vector<std::optional<std::string>> Database::contentsOf(const std::string& physical,
                                                             const ItemData& data) const {
  std::string current = readFile(data.contentFile);
  std::vector<std::optional<std::string>> out;
  if (data.events.empty()) return out;
  out.resize(static_cast<std::size_t>(data.events.back().version));
  bool known = true;
  const std::string name = relative(physicalPath(physical));
  std::vector<Record> records;
  for (auto e = data.events.rbegin(); e != data.events.rend(); ++e) {
    if (known && e->version >= 1) out[static_cast<std::size_t>(e->version - 1)] = current;
    if (e->action != kCheckIn) continue;
    if (e->delta == 0) {
      known = false;
      continue;
    }
    if (records.empty()) records = readItemRecords(data.itemFile, kFileHeader, name);
    const Record& fd = intact(recordAt(records, e->delta, "FD", name), name);
    if (known)
      current = applyDelta(fd.body, current,
                           name + ", reverse delta at byte " + std::to_string(fd.offset));
  }
  if (!data.branchedFrom.empty()) {
    auto origin = itemOf(data.branchedFrom, true);
    if (!origin->damage.empty()) failWith(*origin);
    auto earlier = contentsOf(data.branchedFrom, *origin);
    const long first = data.events.front().version;
    for (long v = 1; v < first && static_cast<std::size_t>(v) <= earlier.size(); ++v)
      out[static_cast<std::size_t>(v - 1)] = earlier[static_cast<std::size_t>(v - 1)];
  }
  return out;
}

// The hash um.dat keeps: the password in upper case, filled up to 15 bytes with the bytes of
// "BrianDavidHarry", each byte (sign-extended) XOR 0x96 times its position (1 to 15), summed
// in 16 bits. The empty password's hash, 0x6E90, is what um.dat keeps for users without one.
std::uint16_t Database::passwordHash(std::string_view password) {
  std::string bytes;
  for (char c : password) bytes += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
  bytes = (bytes + "BrianDavidHarry").substr(0, 15);
  std::uint16_t sum = 0;
  for (std::size_t i = 0; i < bytes.size(); ++i)
    sum = static_cast<std::uint16_t>(
        sum + (i + 1) * static_cast<std::uint16_t>(static_cast<signed char>(bytes[i]) ^ 0x96));
  return sum;
}

CheckCounts Database::check() const {
  CheckCounts c;
  c.users = users_.size();
  c.records = openRecords_;
  c.damaged = openDamage_;
  c.entries = entries_.size();
  for (const Entry& e : entries_) c.deletedEntries += e.deleted ? 1 : 0;
  for (std::uint32_t node = 0; node < nodes_.size(); ++node) {
    (nodes_[node].project ? c.projects : c.files)++;
    auto data = item(node, true);
    c.records += data->records;
    c.events += data->events.size();
    try {
      if (!data->damage.empty()) throw Damaged(data->damage);
      // Every record, also those the library reads only when it needs them.
      readRecords(data->itemFile, kFileHeader, relative(physicalPath(nodes_[node].physical)));
      if (nodes_[node].project) continue;
      history(node);
      // The newest content against the CRC its item header keeps; the library fetches it
      // unchecked, so this is where a damaged content shows.
      if (crc32(newestContent(node)) != data->dataCrc)
        throw Damaged(relative(data->contentFile) +
                      ": its CRC is not the one its item header keeps");
      auto all = contents(node);
      ++c.contents;
      c.rebuilt += static_cast<std::size_t>(std::count_if(all.begin(), all.end(),
                                                          [](auto& v) { return v.has_value(); })) -
                   1;
    } catch (const Damaged& e) {
      c.damaged.push_back(nodes_[node].physical + ": " + e.what());
    }
  }
  return c;
}

}  // namespace vssdb
