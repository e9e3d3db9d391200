// The vss port over a real SourceSafe database: database objects, items, history cursors and
// versions read through database.h, nothing ever written into the database's folder. Every object
// holds the session, so it outlives the object that made it; a history holds the item files it
// was read from, and nothing else does. What the library answers, and how it was measured:
// docs/standin.md ("Real SourceSafe databases").
#include "vssdb/library.h"

#include <algorithm>

#include "vss/details.h"
#include "vssdb/files.h"
#include "vssdb/statuses.h"
#include "vssdb/text.h"

namespace vssdb {

class Session {
 public:
  Session(std::shared_ptr<const Database> tree, Settings s)
      : settings(std::move(s)), kept(std::move(tree)), db(*kept) {}
  const Settings settings;
  const std::shared_ptr<const Database> kept;
  const Database& db;
  // The history cursor being read, if one is: the library reads one history at a time per
  // database object.
  const void* openHistory = nullptr;

  // A call that reads the database, as the caller is told of it.
  void reads() const {
    if (settings.beforeRead) settings.beforeRead(this);
  }
};

namespace {

namespace fs = std::filesystem;

[[noreturn]] void notFound() { throw vss::Error(vss::kNotFound, L"File or project not found"); }

// What failed its checks at Open, in the words of the library's ESS_CORRUPT, "File %s may be
// corrupt"; `what` reads "FILE: why".
std::wstring corrupt(const std::string& what) {
  const auto colon = what.find(": ");
  if (colon == std::string::npos) return L"File " + widen(what) + L" may be corrupt";
  return L"File " + widen(what.substr(0, colon)) + L" may be corrupt: " +
         widen(what.substr(colon + 2));
}

// What the library says of an item file that fails its checks (ESS_FILE_READ's words); a strict
// reading says why.
vss::Error readError(const Session& session, const std::string& why) {
  std::wstring text = L"Error reading from file";
  if (session.settings.reading.strict && !why.empty()) text += L" (" + widen(why) + L")";
  return vss::Error(status::kReadError, text);
}

// A file that changed at every read: damaged for now, and the caller is told why.
vss::Error tornError(const Session& session, const std::wstring& spec, const std::string& why) {
  if (session.settings.onTorn) session.settings.onTorn(spec, widen(why));
  return vss::Error(vss::kDeletedOrDamaged, widen(why));
}

// Item files, each kept for as long as the records read from it are.
using Keep = std::vector<std::shared_ptr<const ItemData>>;

// A history record as the library lists it, with the version number it shows: the record's
// own (a project's label in a file's history: the label's number in that project).
struct Listed {
  const Event* event;
  long version;
};

class DirectVersion final : public vss::Version {
 public:
  DirectVersion(std::shared_ptr<Session> session, std::shared_ptr<const Keep> keep, Listed listed)
      : session_(std::move(session)), keep_(std::move(keep)), listed_(listed) {}

  std::wstring username() override { return widen(listed_.event->user); }
  double date() override { return Database::date(listed_.event->stored); }
  long versionNumber() override { return listed_.version; }
  std::wstring action() override { return widen(listed_.event->actionText); }
  std::wstring comment() override { return widen(listed_.event->comment); }
  std::wstring label() override { return widen(listed_.event->label); }
  std::wstring labelComment() override { return widen(listed_.event->labelComment); }

 private:
  std::shared_ptr<Session> session_;  // keeps the projects' labels
  std::shared_ptr<const Keep> keep_;
  Listed listed_;
};

// A history being read: open from its start until its end has been reported or it is gone, as
// an enumeration of the library's is.
class DirectCursor final : public vss::VersionCursor {
 public:
  DirectCursor(std::shared_ptr<Session> session, std::shared_ptr<const Keep> keep,
               std::vector<Listed> list)
      : session_(std::move(session)), keep_(std::move(keep)), list_(std::move(list)) {
    if (session_->settings.history) session_->settings.history(session_.get(), true);
    session_->openHistory = this;
  }
  ~DirectCursor() override { close(); }

  std::unique_ptr<vss::Version> next() override {
    if (at_ == list_.size()) {
      close();
      return nullptr;
    }
    return std::make_unique<DirectVersion>(session_, keep_, list_[at_++]);
  }

 private:
  void close() noexcept {
    if (session_->openHistory != this) return;
    session_->openHistory = nullptr;
    if (session_->settings.history) session_->settings.history(session_.get(), false);
  }

  std::shared_ptr<Session> session_;
  std::shared_ptr<const Keep> keep_;
  std::vector<Listed> list_;  // newest first
  std::size_t at_ = 0;
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

std::string joined(const std::string& project, const std::string& name) {
  return project + (project.back() == '/' ? "" : "/") + name;
}

class DirectItem final : public vss::Item, public vss::ItemDetails {
 public:
  // `spec`: the path as the item was reached (VSSItem echoes the spelling it was given, and the
  // items below carry it). `enumerated`: made by a project's Items or an item's Links, which
  // give a pinned place at its pinned version; VSSItem gives it at the file's newest.
  DirectItem(std::shared_ptr<Session> session, std::uint32_t entry, std::string spec,
             bool enumerated)
      : session_(std::move(session)),
        entry_(entry),
        spec_(std::move(spec)),
        enumerated_(enumerated) {}

 private:
  const Database& db() const { return session_->db; }
  const Entry& entry() const { return db().entries()[entry_]; }
  std::uint32_t node() const { return entry().node; }
  bool project() const { return db().nodes()[node()].project; }
  int pin() const { return enumerated_ ? entry().pinned : 0; }

  // Runs a library call, turning failures of the reader and of the file system into library
  // errors: an item file that fails its checks is one the library cannot read.
  template <typename F>
  auto guarded(F&& f) -> decltype(f()) {
    try {
      return f();
    } catch (const vss::Error&) {
      throw;
    } catch (const Torn& e) {
      throw tornError(*session_, widen(spec_), e.what());
    } catch (const Damaged& e) {
      throw readError(*session_, e.what());
    } catch (const std::exception& e) {
      throw vss::Error(status::kFailed, widen(e.what()));
    }
  }
  // A project whose item file failed its checks at Open is one the library cannot read.
  void checkProject(std::uint32_t node) const {
    const auto& summary = db().project(node);
    if (summary.damage.empty()) return;
    if (summary.torn) throw Torn(summary.damage);
    throw Damaged(summary.damage);
  }
  // The item's data, proven.
  std::shared_ptr<const ItemData> data() const {
    if (project()) checkProject(node());
    auto d = db().item(node());
    if (!d->damage.empty()) failWith(*d);
    return d;
  }
  // True below a deleted project: the library then reads neither the history nor the content.
  bool belowDeleted() const {
    for (std::uint32_t p = entry().parent; p != kNone;) {
      const Entry& e = db().entries()[db().projectEntry(p)];
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
      checkProject(p);
      const auto& labels = db().project(p).labels;
      auto& listed = sources.emplace_back();
      for (auto e = labels.rbegin(); e != labels.rend(); ++e)
        if (e->stored >= since) listed.push_back({&*e, e->version});
    }
    return merged(std::move(sources));
  }

  // A file's records newest first (a branch's earlier ones from the file it was branched
  // from), the file's creation left out when a project lists them.
  std::vector<Listed> fileRecords(std::uint32_t file, bool forProject, Keep& keep) const {
    std::vector<Listed> out;
    History history = db().history(file);
    for (auto e = history.events.rbegin(); e != history.events.rend(); ++e)
      if (!forProject || (*e)->action != kCreateFile) out.push_back({*e, (*e)->version});
    keep.insert(keep.end(), history.items.begin(), history.items.end());
    return out;
  }

  std::unique_ptr<vss::Item> at(std::uint32_t entry, std::string spec, bool enumerated) const {
    return std::make_unique<DirectItem>(session_, entry, std::move(spec), enumerated);
  }

 public:
  int type() override { return project() ? vss::kTypeProject : vss::kTypeFile; }
  // The root's name is empty; its Spec is "$/".
  std::wstring name() override {
    if (entry_ == 0) return {};
    return widen(std::string_view(spec_).substr(spec_.rfind('/') + 1));
  }
  std::wstring spec() override { return widen(spec_); }
  bool deleted() override { return entry().deleted; }
  long versionNumber() override {
    return guarded([&] {
      if (pin() > 0) {
        data();
        return static_cast<long>(pin());
      }
      if (project()) return data()->events.back().version;
      // A walk asks right after reading the history, which told it: the item file is not read
      // again for it.
      if (newest_ > 0) return newest_;
      return db().history(node()).events.back()->version;
    });
  }

  std::unique_ptr<vss::Item> parent() override {
    if (entry().parent == kNone) return nullptr;
    const std::size_t slash = spec_.rfind('/');
    return at(db().projectEntry(entry().parent), slash <= 1 ? "$/" : spec_.substr(0, slash), false);
  }

  std::vector<std::unique_ptr<vss::Item>> items(bool includeDeleted) override {
    return guarded([&] {
      session_->reads();
      std::vector<std::unique_ptr<vss::Item>> out;
      if (!project()) return out;
      checkProject(node());
      for (std::uint32_t child : db().children(node(), includeDeleted))
        out.push_back(at(child, joined(spec_, db().entries()[child].name), true));
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
      if (session_->openHistory != nullptr)
        throw vss::Error(status::kHistoryInProgress, L"A history operation is already in progress");
      session_->reads();
      // Below a deleted project the library fails without a word.
      if (belowDeleted()) throw vss::Error(vss::kDeletedOrDamaged, L"");
      auto keep = std::make_shared<Keep>();
      std::vector<std::vector<Listed>> sources(1);
      if (!project()) {
        sources.push_back(fileRecords(node(), false, *keep));
        if (!sources[1].empty()) newest_ = sources[1].front().version;
        sources[0] = labelsAbove(sources[1].empty() ? 0 : sources[1].back().event->stored);
      } else {
        const auto item = data();
        keep->push_back(item);
        sources[0] = labelsAbove(item->events.front().stored);
        auto& own = sources.emplace_back();
        for (auto e = item->events.rbegin(); e != item->events.rend(); ++e)
          if (e->action != kBranchFile) own.push_back({&*e, e->version});
        const std::int64_t created = item->events.front().stored;
        const bool withFiles = (flags & vss::kFlagHistIgnoreFiles) == 0;
        for (std::uint32_t child : db().children(node(), true)) {
          if (!withFiles || db().nodes()[db().entries()[child].node].project) continue;
          auto& records =
              sources.emplace_back(fileRecords(db().entries()[child].node, true, *keep));
          std::erase_if(records, [&](const Listed& l) { return l.event->stored < created; });
        }
      }
      return std::make_unique<DirectCursor>(session_, std::move(keep), merged(std::move(sources)));
    });
  }

  // Every place of the file, as its item file lists the projects that hold it, newest first,
  // spelled as the database spells them; a project is only itself.
  std::vector<std::unique_ptr<vss::Item>> links() override {
    return guarded([&] {
      std::vector<std::unique_ptr<vss::Item>> out;
      const auto d = data();
      if (project()) {
        out.push_back(at(entry_, db().spec(entry_), true));
        return out;
      }
      for (const std::string& holder : d->projects) {
        const std::uint32_t p = db().node(holder);
        if (p == kNone) continue;
        std::uint32_t place = kNone;
        for (std::uint32_t e : db().children(p, true))
          if (db().entries()[e].node == node() && (place == kNone || !db().entries()[e].deleted))
            place = e;
        if (place != kNone) out.push_back(at(place, db().spec(place), true));
      }
      return out;
    });
  }

  // The database is read-only: whatever would write fails as it fails for a user without the
  // rights to change the project (ESS_SS_INSUFRIGHTS).
  std::unique_ptr<vss::Item> newSubproject(const std::wstring& /*name*/,
                                           const std::wstring& /*comment*/) override {
    throw vss::Error(status::kNoRights, L"You do not have access rights to " + widen(spec_));
  }
  void share(vss::Item& /*file*/, const std::wstring& /*comment*/, int /*flags*/) override {
    throw vss::Error(status::kNoRights, L"You do not have access rights to " + widen(spec_));
  }

  // The newest content as its data file holds it (the library checks no CRC; a strict reading
  // does), a pinned place's rebuilt through the reverse deltas.
  void get(std::wstring& local, int /*flags*/) override {
    guarded([&] {
      session_->reads();
      if (project()) notFound();
      if (belowDeleted()) throw vss::Error(status::kThroughDeleted, L"File or project not found");
      std::string content;
      if (pin() > 0) {
        if (const auto d = db().item(node()); !d->damage.empty()) {
          if (d->torn) failWith(*d);
          throw vss::Error(status::kThroughDeleted, L"Error reading from file");
        }
        std::vector<std::optional<std::string>> all;
        try {
          all = db().contents(node());
        } catch (const Torn&) {
          throw;
        } catch (const Damaged&) {
          throw vss::Error(status::kCorrupt,
                           L"File " + db().itemFile(db().nodes()[node()].physical).wstring() +
                               L" may be corrupt");
        }
        const auto at = static_cast<std::size_t>(pin() - 1);
        if (at >= all.size() || !all[at]) throw readError(*session_, "");
        content = *all[at];
      } else {
        content = db().newestContent(node());
      }
      const bool written = session_->settings.writeCopy
                               ? session_->settings.writeCopy(local, content)
                               : writeCopy(local, content);
      if (written && session_->settings.fetched) tell(local, content);
    });
  }

 private:
  // The caller told of a written copy. A file whose item file fails its checks still has its
  // newest content fetched; its number is then not known.
  void tell(const std::wstring& local, std::string_view content) {
    Fetched f;
    f.local = local;
    f.content = content;
    f.root = db().nodes()[0].physical;
    f.project = entry().parent;
    f.projectSpec = db().spec(db().projectEntry(entry().parent));
    f.projectPhysical = db().nodes()[entry().parent].physical;
    f.file = node();
    f.version = pin();
    if (f.version == 0) {
      try {
        f.version = versionNumber();
      } catch (const vss::Error&) {
      }
    }
    session_->settings.fetched(f);
  }

  std::shared_ptr<Session> session_;
  std::uint32_t entry_;
  std::string spec_;
  bool enumerated_;
  long newest_ = 0;  // the file's newest version, as its last history read gave it
};

// A path as the caller spelled it, levels joined by "/" below "$/".
std::string typedSpec(std::string_view spec) {
  if (!spec.empty() && spec[0] == '$') spec.remove_prefix(1);
  std::string out = "$";
  for (std::size_t start = 0; start <= spec.size();) {
    const std::size_t end = std::min(spec.find('/', start), spec.size());
    if (end > start) out += "/" + std::string(spec.substr(start, end - start));
    start = end + 1;
  }
  return out == "$" ? "$/" : out;
}

// The database last opened by a library's database objects: a run opens its database more than
// once within moments (to check its inputs, then for the walk), and reading the tree of a large
// database costs seconds under emulation.
struct LastOpened {
  std::filesystem::path dir;
  std::shared_ptr<const Database> tree;
};

std::shared_ptr<Session> login(std::shared_ptr<const Database> tree, const std::wstring& username,
                               const std::wstring& password, Settings settings) {
  auto session = std::make_shared<Session>(std::move(tree), std::move(settings));
  const User* user = session->db.user(narrow(username));
  if (!user) throw vss::Error(vss::kUserNotFound, L"User \"" + username + L"\" not found");
  try {
    if (Database::passwordHash(encodeAnsi(narrow(password))) != user->passwordHash)
      throw vss::Error(vss::kInvalidPassword, L"Invalid password");
  } catch (const std::runtime_error& e) {
    throw vss::Error(status::kFailed, widen(e.what()));
  }
  return session;
}

std::shared_ptr<const Database> readTree(const fs::path& dir, const Reading& reading) {
  try {
    return std::make_shared<const Database>(dir, reading);
  } catch (const Damaged& e) {
    throw vss::Error(status::kCorrupt, corrupt(e.what()));
  } catch (const std::exception& e) {
    throw vss::Error(status::kFailed, widen(e.what()));
  }
}

class DirectDatabase final : public vss::Database {
 public:
  DirectDatabase(Settings settings, std::shared_ptr<LastOpened> last)
      : settings_(std::move(settings)), last_(std::move(last)) {}

  void open(const std::wstring& srcSafeIni, const std::wstring& username,
            const std::wstring& password) override {
    session_.reset();
    const fs::path ini = localPath(srcSafeIni);
    const fs::path dir = ini.parent_path().empty() ? fs::path(".") : ini.parent_path();
    if (kindOf(ini) != Kind::File || !vssdb::Database::isDatabase(dir))
      throw vss::Error(status::kIniNotFound, L"File \"" + srcSafeIni + L"\" not found");
    const fs::path full = absolutePath(dir);
    if (!last_->tree || last_->dir != full) {
      last_->tree = readTree(dir, settings_.reading);
      last_->dir = full;
    }
    session_ = login(last_->tree, username, password, settings_);
  }

  std::unique_ptr<vss::Item> vssItem(const std::wstring& spec, bool deleted) override {
    if (!session_) throw vss::Error(status::kFailed, L"The database is not open");
    return sessionItem(session_, spec, deleted);
  }

 private:
  Settings settings_;
  std::shared_ptr<LastOpened> last_;
  std::shared_ptr<Session> session_;
};

class DirectLibrary final : public vss::Library {
 public:
  explicit DirectLibrary(Settings settings) : settings_(std::move(settings)) {}
  std::unique_ptr<vss::Database> newDatabase() override {
    return std::make_unique<DirectDatabase>(settings_, last_);
  }

 private:
  Settings settings_;
  std::shared_ptr<LastOpened> last_ = std::make_shared<LastOpened>();
};

}  // namespace

std::unique_ptr<vss::Library> makeLibrary(Settings settings) {
  return std::make_unique<DirectLibrary>(std::move(settings));
}

std::shared_ptr<Session> openSession(const fs::path& dir, const std::wstring& username,
                                     const std::wstring& password, Settings settings) {
  auto tree = readTree(dir, settings.reading);
  return login(std::move(tree), username, password, std::move(settings));
}

// A path through a deleted project to an item there is found only as deleted, and then with
// another status than a path that leads nowhere; an item whose file the library cannot read is
// not found at all.
std::unique_ptr<vss::Item> sessionItem(const std::shared_ptr<Session>& session,
                                       const std::wstring& spec, bool deleted) {
  const std::string typed = typedSpec(narrow(spec));
  bool throughDeleted = false;
  const std::uint32_t entry = session->db.resolve(typed, deleted, &throughDeleted);
  session->reads();
  if (entry == kNone) notFound();
  if (throughDeleted) throw vss::Error(status::kThroughDeleted, L"File or project not found");
  const std::uint32_t node = session->db.entries()[entry].node;
  const bool isProject = session->db.nodes()[node].project;
  const std::string damage =
      isProject ? session->db.project(node).damage : session->db.item(node)->damage;
  if (!damage.empty()) throw readError(*session, damage);
  return std::make_unique<DirectItem>(session, entry, typed, false);
}

fs::path localPath(const std::wstring& local) {
#ifdef _WIN32
  return fs::path(local);
#else
  std::string s = narrow(local);
  std::replace(s.begin(), s.end(), '\\', '/');
  return fs::path(s);
#endif
}

}  // namespace vssdb
