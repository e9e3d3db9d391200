// The vss port over a real SourceSafe database: items, history cursors and versions read through
// standin/vssdb/, nothing ever written into the database's folder. Every object holds the
// session, so it outlives the object that made it. What the library answers, and how it was
// measured: docs/standin.md ("Real SourceSafe databases").
#include "standin/real_adapter.h"

#include <algorithm>

#include "standin/details.h"
#include "standin/history_gate.h"
#include "standin/local_copy.h"
#include "standin/statuses.h"
#include "standin/text.h"
#include "standin/vssdb/database.h"

namespace standin {

class RealSession {
 public:
  RealSession(const std::filesystem::path& dir, std::wstring folder)
      : db(dir), databaseFolder(std::move(folder)) {}
  const vssdb::Database db;
  const std::wstring databaseFolder;  // the folder of srcsafe.ini, as the caller named it
  Bookkeeping bookkeeping;            // what this database object's fetches leave beside them
};

namespace {

using vssdb::kNone;

std::wstring wide(std::string_view s) { return text::widen(s); }

[[noreturn]] void notFound() { throw vss::Error(vss::kNotFound, L"File or project not found"); }

// What failed its checks at Open, in the words of the library's ESS_CORRUPT, "File %s may be
// corrupt"; `what` reads "FILE: why".
std::wstring corrupt(const std::string& what) {
  const auto colon = what.find(": ");
  if (colon == std::string::npos) return L"File " + wide(what) + L" may be corrupt";
  return L"File " + wide(what.substr(0, colon)) + L" may be corrupt: " +
         wide(what.substr(colon + 2));
}

// What the library says of an item file that fails its checks (ESS_FILE_READ's words).
vss::Error readError() { return vss::Error(status::kReadError, L"Error reading from file"); }

// Runs a library call, turning failures of the reader and of the file system into library
// errors: an item file that fails its checks is one the library cannot read.
template <typename F>
auto guarded(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const vss::Error&) {
    throw;
  } catch (const vssdb::Damaged&) {
    throw readError();
  } catch (const std::exception& e) {
    throw vss::Error(status::kFailed, wide(e.what()));
  }
}

// A history record as the library lists it, with the version number it shows: the record's
// own (a project's label in a file's history: the label's number in that project).
struct Listed {
  const vssdb::Event* event;
  long version;
};

class RealVersion final : public vss::Version {
 public:
  // The session keeps the database, which keeps every item's records it has read.
  RealVersion(std::shared_ptr<RealSession> session, Listed listed)
      : session_(std::move(session)), listed_(listed) {}

  std::wstring username() override { return wide(listed_.event->user); }
  double date() override { return vssdb::Database::date(listed_.event->stored); }
  long versionNumber() override { return listed_.version; }
  std::wstring action() override { return wide(listed_.event->actionText); }
  std::wstring comment() override { return wide(listed_.event->comment); }
  std::wstring label() override { return wide(listed_.event->label); }
  std::wstring labelComment() override { return wide(listed_.event->labelComment); }

 private:
  std::shared_ptr<RealSession> session_;
  Listed listed_;
};

// A history being read: open (history_gate) from its start until its end has been reported or it
// is gone, as an enumeration of the library's is.
class RealCursor final : public vss::VersionCursor {
 public:
  RealCursor(std::shared_ptr<RealSession> session, std::vector<Listed> list)
      : session_(std::move(session)), list_(std::move(list)) {
    history_gate::open(session_.get());
    open_ = true;
  }
  ~RealCursor() override { close(); }

  std::unique_ptr<vss::Version> next() override {
    if (at_ == list_.size()) {
      close();
      return nullptr;
    }
    return std::make_unique<RealVersion>(session_, list_[at_++]);
  }

 private:
  void close() noexcept {
    if (open_) history_gate::close(session_.get());
    open_ = false;
  }

  std::shared_ptr<RealSession> session_;
  std::vector<Listed> list_;  // newest first
  std::size_t at_ = 0;
  bool open_ = false;
};

// Merges histories, each newest first, into one, newest first; of records of the same time the
// one of the earlier history comes first.
std::vector<Listed> merged(std::vector<std::vector<Listed>> sources) {
  std::vector<Listed> out;
  std::vector<std::size_t> at(sources.size(), 0);
  for (;;) {
    std::size_t best = sources.size();
    for (std::size_t s = 0; s < sources.size(); ++s) {
      if (at[s] == sources[s].size()) continue;
      if (best == sources.size() ||
          sources[s][at[s]].event->stored > sources[best][at[best]].event->stored)
        best = s;
    }
    if (best == sources.size()) return out;
    out.push_back(sources[best][at[best]++]);
  }
}

class RealItem final : public vss::Item, public ItemDetails {
 public:
  // `enumerated`: made by a project's Items or an item's Links, which give a pinned place at its
  // pinned version; VSSItem gives it at the file's newest. `spelling`: the path as the lookup
  // that led here spelt it, which Spec and Name echo (empty: the stored one).
  RealItem(std::shared_ptr<RealSession> session, std::uint32_t entry, bool enumerated,
           std::wstring spelling = {})
      : session_(std::move(session)),
        entry_(entry),
        enumerated_(enumerated),
        spelling_(std::move(spelling)) {}

 private:
  const vssdb::Database& db() const { return session_->db; }
  const vssdb::Entry& entry() const { return db().entries()[entry_]; }
  std::uint32_t node() const { return entry().node; }
  bool project() const { return db().nodes()[node()].project; }
  std::wstring specText() const { return spelling_.empty() ? wide(db().spec(entry_)) : spelling_; }
  int pin() const { return enumerated_ ? entry().pinned : 0; }
  // The item's data, proven; an item file that fails its checks is one the library cannot read.
  std::shared_ptr<const vssdb::ItemData> data() const {
    auto d = db().item(node());
    if (!d->damage.empty()) throw readError();
    return d;
  }
  // True below a deleted project: the library then reads neither the history nor the content.
  bool belowDeleted() const {
    for (std::uint32_t p = entry().parent; p != kNone;) {
      const vssdb::Entry& e = db().entries()[db().projectEntry(p)];
      if (e.deleted) return true;
      p = e.parent;
    }
    return false;
  }

  // The labels of the projects above the item's place no older than `since`, each project's
  // newest first, merged.
  std::vector<Listed> labelsAbove(std::int64_t since) const {
    std::vector<std::vector<Listed>> sources;
    for (std::uint32_t p = entry().parent; p != kNone;
         p = db().entries()[db().projectEntry(p)].parent) {
      auto project = db().item(p);
      if (!project->damage.empty()) throw readError();
      auto& labels = sources.emplace_back();
      for (auto e = project->events.rbegin(); e != project->events.rend(); ++e)
        if (e->action == vssdb::kLabel && e->stored >= since) labels.push_back({&*e, e->version});
    }
    return merged(std::move(sources));
  }

  // A file's records newest first (a branch's earlier ones from the file it was branched
  // from), the file's creation left out when a project lists them.
  std::vector<Listed> fileRecords(std::uint32_t file, bool forProject) const {
    std::vector<Listed> out;
    auto records = db().history(file);
    for (auto e = records.rbegin(); e != records.rend(); ++e)
      if (!forProject || (*e)->action != vssdb::kCreateFile) out.push_back({*e, (*e)->version});
    return out;
  }

 public:
  int type() override { return project() ? vss::kTypeProject : vss::kTypeFile; }
  // The root's name is empty; its Spec is "$/".
  std::wstring name() override {
    if (!spelling_.empty()) return text::lastName(spelling_);
    return entry_ == 0 ? std::wstring() : wide(entry().name);
  }
  std::wstring spec() override { return specText(); }
  bool deleted() override { return entry().deleted; }
  long versionNumber() override {
    return guarded([&] {
      auto d = data();
      if (pin() > 0) return static_cast<long>(pin());
      return project() ? d->events.back().version : db().history(node()).back()->version;
    });
  }

  std::unique_ptr<vss::Item> parent() override {
    if (entry().parent == kNone) return nullptr;
    return std::make_unique<RealItem>(session_, db().projectEntry(entry().parent), false,
                                      text::parentSpelling(spelling_));
  }

  std::vector<std::unique_ptr<vss::Item>> items(bool includeDeleted) override {
    return guarded([&] {
      history_gate::pass(session_.get());
      std::vector<std::unique_ptr<vss::Item>> out;
      if (!project()) return out;
      data();
      for (std::uint32_t child : db().children(node(), includeDeleted))
        out.push_back(std::make_unique<RealItem>(
            session_, child, true,
            text::childSpelling(spelling_, wide(db().entries()[child].name))));
      return out;
    });
  }

  // A file's history: its records, merged by time with the labels of the projects above the
  // place it was reached through. A project's: its own records (without the branches of its
  // files, which the files' histories hold), the labels above it and the records of the files
  // directly in it (deleted ones too) but their creation, merged by time. Labels and files'
  // records older than the item's first record are not part of it. Of records of one time, the
  // labels above come first, then the item's own, then the files' in the order of the project's
  // entries. A pinned place lists every version, those above the pin too. With
  // VSSFLAG_HISTIGNOREFILES a project's files contribute nothing.
  std::unique_ptr<vss::VersionCursor> versions(int flags) override {
    return guarded([&]() -> std::unique_ptr<vss::VersionCursor> {
      history_gate::pass(session_.get());
      // Below a deleted project the library fails without a word.
      if (belowDeleted()) throw vss::Error(vss::kDeletedOrDamaged, L"");
      const auto item = data();
      std::vector<std::vector<Listed>> sources(1);
      if (!project()) {
        sources.push_back(fileRecords(node(), false));
        sources[0] = labelsAbove(sources[1].empty() ? 0 : sources[1].back().event->stored);
      } else {
        sources[0] = labelsAbove(item->events.front().stored);
        auto& own = sources.emplace_back();
        for (auto e = item->events.rbegin(); e != item->events.rend(); ++e)
          if (e->action != vssdb::kBranchFile) own.push_back({&*e, e->version});
        const std::int64_t created = item->events.front().stored;
        const bool withFiles = (flags & vss::kFlagHistIgnoreFiles) == 0;
        for (std::uint32_t child : db().children(node(), true)) {
          if (!withFiles || db().nodes()[db().entries()[child].node].project) continue;
          auto& records = sources.emplace_back(fileRecords(db().entries()[child].node, true));
          std::erase_if(records, [&](const Listed& l) { return l.event->stored < created; });
        }
      }
      return std::make_unique<RealCursor>(session_, merged(std::move(sources)));
    });
  }

  // Every place of the file, as its item file lists the projects that hold it, newest first;
  // a project is only itself; each in its stored spelling.
  std::vector<std::unique_ptr<vss::Item>> links() override {
    return guarded([&] {
      std::vector<std::unique_ptr<vss::Item>> out;
      const auto d = data();
      if (project()) {
        out.push_back(std::make_unique<RealItem>(session_, entry_, true));
        return out;
      }
      for (const std::string& holder : d->projects) {
        const std::uint32_t p = db().node(holder);
        if (p == kNone) continue;
        std::uint32_t place = kNone;
        for (std::uint32_t e : db().children(p, true))
          if (db().entries()[e].node == node() && (place == kNone || !db().entries()[e].deleted))
            place = e;
        if (place != kNone) out.push_back(std::make_unique<RealItem>(session_, place, true));
      }
      return out;
    });
  }

  // The database is read-only: whatever would write fails as it fails for a user without the
  // rights to change the project (ESS_SS_INSUFRIGHTS).
  std::unique_ptr<vss::Item> newSubproject(const std::wstring& /*name*/,
                                           const std::wstring& /*comment*/) override {
    throw vss::Error(status::kNoRights, L"You do not have access rights to " + specText());
  }
  void share(vss::Item& /*file*/, const std::wstring& /*comment*/, int /*flags*/) override {
    throw vss::Error(status::kNoRights, L"You do not have access rights to " + specText());
  }

  // The newest content as its data file holds it (the library checks no CRC), a pinned place's
  // rebuilt through the reverse deltas.
  void get(std::wstring& local, int /*flags*/) override {
    guarded([&] {
      history_gate::pass(session_.get());
      if (project()) notFound();
      if (belowDeleted()) throw vss::Error(status::kThroughDeleted, L"File or project not found");
      std::string content;
      if (pin() > 0) {
        if (!db().item(node())->damage.empty())
          throw vss::Error(status::kThroughDeleted, L"Error reading from file");
        std::vector<std::optional<std::string>> all;
        try {
          all = db().contents(node());
        } catch (const vssdb::Damaged&) {
          throw vss::Error(status::kCorrupt,
                           L"File " + db().itemFile(db().nodes()[node()].physical).wstring() +
                               L" may be corrupt");
        }
        const auto at = static_cast<std::size_t>(pin() - 1);
        if (at >= all.size() || !all[at]) throw readError();
        content = *all[at];
      } else {
        content = db().newestContent(node());
      }
      if (writeLocalCopy(local, content)) keep(localPath(local), content);
    });
  }

  // The bookkeeping of a copy written from the project the item was reached through.
  void keep(const std::filesystem::path& copy, std::string_view content) {
    const std::uint32_t project = entry().parent;
    Bookkeeping::Fetched f;
    f.copy = copy;
    f.database = db().nodes()[0].physical + text::narrow(session_->databaseFolder);
    f.project = project;
    f.projectSpec = db().spec(db().projectEntry(project));
    f.projectPhysical = db().nodes()[project].physical;
    f.databaseFolder = session_->databaseFolder;
    f.file = node();
    // A file whose item file fails its checks still has its newest content fetched; its number
    // is then not known.
    long version = pin();
    if (version == 0) {
      try {
        version = versionNumber();
      } catch (const vss::Error&) {
      }
    }
    f.version = static_cast<std::uint32_t>(version);
    f.content = content;
    session_->bookkeeping.fetched(f);
  }

 private:
  std::shared_ptr<RealSession> session_;
  std::uint32_t entry_;
  bool enumerated_;
  std::wstring spelling_;
};

}  // namespace

std::shared_ptr<RealSession> openReal(const std::filesystem::path& dir,
                                      const std::wstring& databaseFolder,
                                      const std::wstring& username, const std::wstring& password) {
  std::shared_ptr<RealSession> session;
  try {
    session = std::make_shared<RealSession>(dir, databaseFolder);
  } catch (const vssdb::Damaged& e) {
    throw vss::Error(status::kCorrupt, corrupt(e.what()));
  }
  return guarded([&] {
    const vssdb::User* user = session->db.user(text::narrow(username));
    if (!user) throw vss::Error(vss::kUserNotFound, L"User \"" + username + L"\" not found");
    const std::string bytes = vssdb::encodeAnsi(text::narrow(password));
    if (vssdb::Database::passwordHash(bytes) != user->passwordHash)
      throw vss::Error(vss::kInvalidPassword, L"Invalid password");
    return session;
  });
}

// A path through a deleted project to an item there is found only as deleted, and then with
// another status than a path that leads nowhere; an item whose file the library cannot read is
// not found at all.
std::unique_ptr<vss::Item> realItem(const std::shared_ptr<RealSession>& session,
                                    const std::wstring& spec, bool deleted) {
  bool throughDeleted = false;
  const std::uint32_t entry = session->db.resolve(text::narrow(spec), deleted, &throughDeleted);
  history_gate::pass(session.get());
  if (entry == kNone) notFound();
  if (throughDeleted) throw vss::Error(status::kThroughDeleted, L"File or project not found");
  if (!session->db.item(session->db.entries()[entry].node)->damage.empty()) throw readError();
  return std::make_unique<RealItem>(session, entry, false,
                                    text::echoedSpelling(spec, wide(session->db.spec(entry))));
}

}  // namespace standin
