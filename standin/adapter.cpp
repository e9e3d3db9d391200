// The vss port implemented directly over stand-in stores: database, item, history cursor and
// version objects. A database object opened on a folder that holds a database made by real
// SourceSafe instead serves that one, read-only, through real_adapter.cpp. Every object holds the
// store's shared model, so it outlives the object that made it, and every call first catches up
// with what other processes appended.
#include "standin/adapter.h"

#include <algorithm>
#include <filesystem>

#include "standin/dates.h"
#include "standin/details.h"
#include "standin/file_io.h"
#include "standin/history_gate.h"
#include "standin/local_copy.h"
#include "standin/real_adapter.h"
#include "standin/shared_store.h"
#include "standin/statuses.h"
#include "standin/store.h"
#include "standin/text.h"

namespace standin {
namespace {

namespace fs = std::filesystem;

using status::kFailed;
using status::kIniNotFound;
using status::kInvalidName;
using status::kNotOpen;
using status::kSharedHere;
using status::kStale;

std::wstring wide(std::string_view s) { return text::widen(s); }

[[noreturn]] void notFound() { throw vss::Error(vss::kNotFound, L"File or project not found"); }

// Runs a library call, turning failures of the file system into library errors.
template <typename F>
auto guarded(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const vss::Error&) {
    throw;
  } catch (const std::exception& e) {
    throw vss::Error(kFailed, wide(e.what()));
  }
}

// A name the library accepts for a project: 1 to 259 characters, none of / \ < > | : ; " $ or
// a control character, not beginning or ending with a space.
bool validName(const std::string& name) {
  std::wstring w = wide(name);
  if (w.empty() || w.size() > 259 || w.front() == L' ' || w.back() == L' ') return false;
  return std::none_of(w.begin(), w.end(), [](wchar_t c) {
    return c < 0x20 || c == 0x7F ||
           std::wstring_view(L"/\\<>|:;\"$").find(c) != std::wstring_view::npos;
  });
}

// Objects number items and records as the model of one generation does; in another they would
// name other things, or nothing.
void checkCurrent(const SharedStore& store, std::uint64_t generation) {
  if (store.generation() != generation)
    throw vss::Error(kStale, L"The database was restored or replaced since this object was made");
}

struct Session {
  std::shared_ptr<SharedStore> store;
  std::string user;             // the logged-in user, stored spelling
  std::wstring databaseFolder;  // the folder of srcsafe.ini, as the caller named it
  Bookkeeping bookkeeping;      // what this database object's fetches leave beside them
};

// A stored time as the library reports it: in steps of two seconds (an odd second reads as the
// one before).
double reportedDate(std::int64_t seconds) {
  return dateFromSeconds(seconds - (seconds % 2 + 2) % 2);
}

// What a record did, in the library's words.
std::wstring actionText(const Model& m, const HistoryRecord& r) {
  switch (r.kind) {
    case RecordKind::ProjectCreated:
    case RecordKind::FileCreated:
      return L"Created ";
    case RecordKind::CheckedIn:
      return L"Checked in " + wide(m.spec(m.projectLink(r.ref)));
    case RecordKind::Label:
      return L"Labeled '" + wide(m.labels[r.label]) + L"'";
    case RecordKind::Added:
      return L"Added ";
    case RecordKind::Deleted:
      return L"Deleted ";
    case RecordKind::Shared:
      return L"Shared " + wide(m.spec(r.ref));
    case RecordKind::Pinned:
      return L"Pinned " + wide(m.spec(r.ref)) + L" to version " + std::to_wstring(r.label);
  }
  return L"";
}

// The newest record of a file that holds content, no newer than version `upTo`; null for none.
const HistoryRecord* contentRecord(const Node& node, std::uint32_t upTo) {
  for (auto r = node.history.rbegin(); r != node.history.rend(); ++r)
    if ((r->kind == RecordKind::FileCreated || r->kind == RecordKind::CheckedIn) &&
        r->number <= upTo)
      return &*r;
  return nullptr;
}

std::string contentOf(const SharedStore& store, const HistoryRecord* r) {
  if (!r) return {};
  std::string line = store.recordText(*r);
  auto fields = text::splitFields(line);
  auto at = static_cast<std::size_t>(contentField(r->kind));
  return at < fields.size() ? text::unescape(fields[at]) : std::string();
}

class VersionImpl final : public vss::Version {
 public:
  VersionImpl(std::shared_ptr<SharedStore> store, const HistoryRecord& record, std::wstring user,
              std::wstring label, std::wstring action)
      : store_(std::move(store)),
        record_(record),
        user_(std::move(user)),
        label_(std::move(label)),
        action_(std::move(action)),
        generation_(store_->generation()) {}

  std::wstring username() override { return user_; }
  double date() override { return reportedDate(record_.seconds); }
  long versionNumber() override { return static_cast<long>(record_.number); }
  std::wstring action() override { return action_; }
  // A label's comment is its label comment; its Comment is empty.
  std::wstring comment() override { return commentField(false); }
  std::wstring label() override { return label_; }
  std::wstring labelComment() override { return commentField(true); }

 private:
  // The record's comment field, when it is the field asked for: a label's is its label comment.
  std::wstring commentField(bool ofLabel) {
    return guarded([&] {
      std::lock_guard guard(store_->mutex());
      checkCurrent(*store_, generation_);
      if (!record_.hasComment || ofLabel != (record_.kind == RecordKind::Label))
        return std::wstring();
      std::string line = store_->recordText(record_);
      auto fields = text::splitFields(line);
      auto at = static_cast<std::size_t>(standin::commentField(record_.kind));
      return at < fields.size() ? wide(text::unescape(fields[at])) : std::wstring();
    });
  }

  std::shared_ptr<SharedStore> store_;
  HistoryRecord record_;
  std::wstring user_;
  std::wstring label_;
  std::wstring action_;
  std::uint64_t generation_;
};

// Walks a history newest first, as the library lists it: the labels of the projects above the
// place (those no older than the item's first record), the item's own records and, for a project,
// every record but the creation of each file it holds (deleted, shared and pinned ones too),
// merged by time; at equal times the nearest project's labels come first, then farther ones',
// then the item's own, then the files' in the order of the project's entries. With
// VSSFLAG_HISTIGNOREFILES a project's files contribute nothing. Positions count from the oldest
// record, so records appended meanwhile do not disturb a walk. The history is open (history_gate)
// until its end is reported or the cursor goes.
class CursorImpl final : public vss::VersionCursor {
  struct Later {
    const CursorImpl* cursor;
    const Model* model;
    bool operator()(std::size_t a, std::size_t b) const {
      const auto &x = cursor->sources_[a], &y = cursor->sources_[b];
      const std::int64_t tx = model->nodes[x.node].history[x.pos - 1].seconds;
      const std::int64_t ty = model->nodes[y.node].history[y.pos - 1].seconds;
      return tx < ty || (tx == ty && a > b);
    }
  };

 public:
  CursorImpl(std::shared_ptr<Session> session, const Model& model, std::uint32_t link, int flags)
      : session_(std::move(session)), generation_(session_->store->generation()) {
    const std::uint32_t node = model.links[link].node;
    const Node& item = model.nodes[node];
    if (!item.history.empty()) {
      floor_ = item.history.front().seconds;
      for (std::uint32_t p = model.links[link].parent; p != kNone;
           p = model.links[model.projectLink(p)].parent)
        sources_.push_back(Source{p, model.nodes[p].history.size(), Source::Labels});
    }
    sources_.push_back(Source{node, item.history.size(), Source::Own});
    if (item.project && (flags & vss::kFlagHistIgnoreFiles) == 0) {
      std::vector<std::uint32_t> files;
      for (std::uint32_t entry : item.children->ordered) {
        const std::uint32_t file = model.links[entry].node;
        if (model.nodes[file].project || std::find(files.begin(), files.end(), file) != files.end())
          continue;
        files.push_back(file);
        sources_.push_back(Source{file, model.nodes[file].history.size(), Source::FileOfProject});
      }
    }
    for (std::size_t i = 0; i < sources_.size(); ++i) {
      settle(model, sources_[i]);
      if (sources_[i].pos > 0) heap_.push_back(i);
    }
    std::make_heap(heap_.begin(), heap_.end(), later(model));
    history_gate::open(session_.get());
    open_ = true;
  }
  ~CursorImpl() override { close(); }

  std::unique_ptr<vss::Version> next() override {
    if (!open_) return nullptr;
    std::lock_guard guard(session_->store->mutex());
    checkCurrent(*session_->store, generation_);
    const Model& model = session_->store->model();
    if (heap_.empty()) {
      close();
      return nullptr;
    }
    std::pop_heap(heap_.begin(), heap_.end(), later(model));
    Source& source = sources_[heap_.back()];
    const HistoryRecord& best = model.nodes[source.node].history[--source.pos];
    settle(model, source);
    if (source.pos > 0) {
      std::push_heap(heap_.begin(), heap_.end(), later(model));
    } else {
      heap_.pop_back();
    }
    std::wstring label = best.kind == RecordKind::Label ? wide(model.labels[best.label]) : L"";
    return std::make_unique<VersionImpl>(session_->store, best, wide(model.people[best.user]),
                                         std::move(label), actionText(model, best));
  }

 private:
  struct Source {
    std::uint32_t node;
    std::size_t pos;  // records not yet read; the next is history[pos - 1]
    enum Kind { Labels, Own, FileOfProject } kind;
  };

  // Moves past the records the source does not contribute.
  void settle(const Model& model, Source& source) const {
    const auto& history = model.nodes[source.node].history;
    while (source.pos > 0) {
      const HistoryRecord& r = history[source.pos - 1];
      if (source.kind == Source::Labels ? r.kind == RecordKind::Label && r.seconds >= floor_
          : source.kind == Source::FileOfProject ? r.kind != RecordKind::FileCreated
                                                 : true)
        return;
      --source.pos;
    }
  }

  // The heap's order: the source whose next record is newest on top, the earlier source of two
  // equal times.
  Later later(const Model& model) const { return Later{this, &model}; }

  void close() noexcept {
    if (open_) history_gate::close(session_.get());
    open_ = false;
  }

  std::shared_ptr<Session> session_;
  std::uint64_t generation_;
  std::int64_t floor_ = 0;
  std::vector<Source> sources_;
  std::vector<std::size_t> heap_;
  bool open_ = false;
};

class ItemImpl final : public vss::Item, public ItemDetails {
 public:
  // `pin`: the version a pinned place stands at when the item was reached through its project's
  // entries (0: the newest, as a lookup by path gives it). `spelling`: the path as the lookup
  // that led here spelt it, which the library's Spec and Name echo (empty: the stored one).
  ItemImpl(std::shared_ptr<Session> session, std::uint32_t link, std::uint32_t pin = 0,
           std::wstring spelling = {})
      : session_(std::move(session)),
        link_(link),
        pin_(pin),
        spelling_(std::move(spelling)),
        generation_(session_->store->generation()) {}

  SharedStore& store() const { return *session_->store; }
  std::uint32_t link() const { return link_; }
  std::uint64_t generation() const { return generation_; }

 private:
  // Runs `f` on the model, caught up with what other processes appended.
  template <typename F>
  auto read(F&& f) -> decltype(f(std::declval<const Model&>())) {
    return guarded([&] {
      history_gate::pass(session_.get());
      std::lock_guard guard(store().mutex());
      store().catchUp();
      checkCurrent(store(), generation_);
      return f(store().model());
    });
  }
  // The same without catching up: for what an item keeps from its creation on (its kind, name
  // and path; the store renames nothing), which every walk asks of every item.
  template <typename F>
  auto readFixed(F&& f) -> decltype(f(std::declval<const Model&>())) {
    return guarded([&] {
      std::lock_guard guard(store().mutex());
      checkCurrent(store(), generation_);
      return f(store().model());
    });
  }

  std::unique_ptr<vss::Item> place(std::uint32_t link, const Model& m) const {
    return std::make_unique<ItemImpl>(session_, link, m.links[link].pinned);
  }

 public:
  int type() override {
    return readFixed([&](const Model& m) {
      return m.nodes[m.links[link_].node].project ? vss::kTypeProject : vss::kTypeFile;
    });
  }
  // The root project's name is empty.
  std::wstring name() override {
    if (!spelling_.empty()) return text::lastName(spelling_);
    return readFixed(
        [&](const Model& m) { return link_ == 0 ? std::wstring() : wide(m.links[link_].name); });
  }
  std::wstring spec() override {
    if (!spelling_.empty()) return spelling_;
    return readFixed([&](const Model& m) { return wide(m.spec(link_)); });
  }
  bool deleted() override {
    return read([&](const Model& m) { return m.links[link_].deleted; });
  }
  long versionNumber() override {
    return read([&](const Model& m) {
      return static_cast<long>(pin_ != 0 ? pin_ : m.nodes[m.links[link_].node].history.size());
    });
  }

  std::unique_ptr<vss::Item> parent() override {
    return read([&](const Model& m) -> std::unique_ptr<vss::Item> {
      if (link_ == 0) return nullptr;
      return std::make_unique<ItemImpl>(session_, m.projectLink(m.links[link_].parent), 0,
                                        text::parentSpelling(spelling_));
    });
  }

  // A pinned place comes at its pinned version; the children's paths begin as this one's does.
  std::vector<std::unique_ptr<vss::Item>> items(bool includeDeleted) override {
    return read([&](const Model& m) {
      std::vector<std::unique_ptr<vss::Item>> out;
      std::uint32_t node = m.links[link_].node;
      if (!m.nodes[node].project) return out;
      for (auto child : m.children(node, includeDeleted))
        out.push_back(
            std::make_unique<ItemImpl>(session_, child, m.links[child].pinned,
                                       text::childSpelling(spelling_, wide(m.links[child].name))));
      return out;
    });
  }

  std::unique_ptr<vss::VersionCursor> versions(int flags) override {
    return read([&](const Model& m) -> std::unique_ptr<vss::VersionCursor> {
      if (const Fault* f = m.fault(m.links[link_].node, "versions"))
        throw vss::Error(f->status, wide(f->text));
      return std::make_unique<CursorImpl>(session_, m, link_, flags);
    });
  }

  // Every place of the item, deleted ones too, the newest first; a pinned place at its version;
  // each in its stored spelling.
  std::vector<std::unique_ptr<vss::Item>> links() override {
    return read([&](const Model& m) {
      std::vector<std::unique_ptr<vss::Item>> out;
      const std::uint32_t node = m.links[link_].node;
      for (std::uint32_t l = static_cast<std::uint32_t>(m.links.size()); l-- > 0;)
        if (m.links[l].node == node) out.push_back(place(l, m));
      return out;
    });
  }

  std::unique_ptr<vss::Item> newSubproject(const std::wstring& name,
                                           const std::wstring& comment) override {
    return guarded([&]() -> std::unique_ptr<vss::Item> {
      history_gate::pass(session_.get());
      std::lock_guard guard(store().mutex());
      std::string utf8 = text::narrow(name);
      std::uint32_t created = kNone;
      store().change([&](const Model& m, Transaction& tx) {
        checkCurrent(store(), generation_);
        std::uint32_t parent = m.links[link_].node;
        if (!m.nodes[parent].project) notFound();
        if (m.liveChild(parent, text::fold(utf8)) != kNone)
          throw vss::Error(vss::kItemExists, L"An item with the name " + name + L" already exists");
        // The header's text has two inserts; that they are the name and "project" is a guess.
        if (!validName(utf8)) throw vss::Error(kInvalidName, name + L" is an invalid project name");
        created = static_cast<std::uint32_t>(m.nodes.size());
        tx.add({"project", std::to_string(created), std::to_string(parent), utf8, session_->user,
                formatSeconds(nowSeconds()), text::narrow(comment)});
      });
      checkCurrent(store(), generation_);  // restored while the change was made: `created` is void
      return std::make_unique<ItemImpl>(session_, store().model().projectLink(created), 0,
                                        text::childSpelling(spelling_, name));
    });
  }

  // Without VSSFLAG_GETNO the library also gets the file into the project's working folder,
  // which the stand-in does not keep: the process's current folder, as the library does when
  // none is set.
  void share(vss::Item& file, const std::wstring& /*comment*/, int flags) override {
    guarded([&] {
      auto* other = dynamic_cast<ItemImpl*>(&file);
      // An item of another store (or of another library) is not in this database.
      if (!other || &other->store() != &store()) notFound();
      history_gate::pass(session_.get());
      std::lock_guard guard(store().mutex());
      store().change([&](const Model& m, Transaction& tx) {
        checkCurrent(store(), generation_);
        checkCurrent(store(), other->generation());
        std::uint32_t target = m.links[link_].node;
        std::uint32_t shared = m.links[other->link()].node;
        if (const Fault* f = m.fault(shared, "share")) throw vss::Error(f->status, wide(f->text));
        if (!m.nodes[target].project || m.nodes[shared].project) notFound();
        const std::string& name = m.links[other->link()].name;
        std::string folded = text::fold(name);
        if (std::uint32_t live = m.liveChild(target, folded); live != kNone) {
          // The file itself is there already, or another item of its name.
          if (m.links[live].node == shared)
            throw vss::Error(kSharedHere,
                             L"File " + wide(name) + L" is already shared by this project");
          throw vss::Error(vss::kItemExists,
                           L"An item with the name " + wide(name) + L" already exists");
        }
        if (m.hasDeletedChild(target, folded))
          throw vss::Error(vss::kDeletedOrDamaged,
                           wide(name) + L" has been deleted from this project");
        tx.add({"share", std::to_string(target), std::to_string(shared), session_->user,
                formatSeconds(nowSeconds()), std::to_string(other->link())});
      });
      if ((flags & vss::kFlagGetNo) != 0) return;
      const Model& m = store().model();
      const std::uint32_t shared = m.links[other->link()].node;
      const HistoryRecord* newest = contentRecord(m.nodes[shared], kNone);
      const std::string content = contentOf(store(), newest);
      std::error_code ec;
      const fs::path copy = fs::current_path(ec) / localPath(wide(m.links[other->link()].name));
      try {
        if (writeLocalCopy(copy, content, copy.wstring()))
          keep(copy, m.links[link_].node, shared, newest ? newest->number : 0, content);
      } catch (const vss::Error&) {
        // The share is made; what the library reports of a copy it cannot write is not known.
      }
    });
  }

  // A pinned place reached through its project's entries gives its pinned version.
  void get(std::wstring& local, int /*flags*/) override {
    guarded([&] {
      history_gate::pass(session_.get());
      std::lock_guard guard(store().mutex());
      store().catchUp();
      checkCurrent(store(), generation_);
      const Model& m = store().model();
      std::uint32_t node = m.links[link_].node;
      if (const Fault* f = m.fault(node, "get")) throw vss::Error(f->status, wide(f->text));
      if (m.nodes[node].project) notFound();
      const HistoryRecord* fetched = contentRecord(m.nodes[node], pin_ != 0 ? pin_ : kNone);
      const std::string content = contentOf(store(), fetched);
      if (writeLocalCopy(local, content))
        keep(localPath(local), m.links[link_].parent, node, fetched ? fetched->number : 0, content);
    });
  }

 private:
  // The bookkeeping of a copy written from the project `project`.
  void keep(const fs::path& copy, std::uint32_t project, std::uint32_t file, std::uint32_t version,
            std::string_view content) {
    const Model& m = store().model();
    Bookkeeping::Fetched f;
    f.copy = copy;
    f.database = m.storeId;
    f.project = project;
    f.projectSpec = m.spec(m.projectLink(project));
    f.databaseFolder = session_->databaseFolder;
    f.file = file;
    f.version = version;
    f.content = content;
    session_->bookkeeping.fetched(f);
  }

  std::shared_ptr<Session> session_;
  std::uint32_t link_;
  std::uint32_t pin_;
  std::wstring spelling_;
  std::uint64_t generation_;
};

// The folder of a srcsafe.ini as the caller named it, without a separator at its end.
std::wstring folderOf(const std::wstring& srcSafeIni) {
  std::wstring folder = srcSafeIni.substr(0, srcSafeIni.find_last_of(L"\\/") + 1);
  if (folder.size() > 1) folder.pop_back();
  return folder;
}

class DatabaseImpl final : public vss::Database {
 public:
  void open(const std::wstring& srcSafeIni, const std::wstring& username,
            const std::wstring& password) override {
    guarded([&] { history_gate::pass(session_.get()); });
    session_.reset();
    real_.reset();
    guarded([&] {
      fs::path ini = localPath(srcSafeIni);
      // A missing srcsafe.ini gives ESS_FILE_NOTFOUND, as Microsoft's knowledge base quotes it.
      // That an unreadable one, or one beside no store, gives the same is a guess.
      auto missing = [&] {
        return vss::Error(kIniNotFound, L"File \"" + srcSafeIni + L"\" not found");
      };
      std::error_code ec;
      if (!fs::is_regular_file(ini, ec)) throw missing();
      const fs::path dir = ini.parent_path().empty() ? fs::path(".") : ini.parent_path();
      std::shared_ptr<SharedStore> store;
      try {
        store = SharedStore::open(dir);
      } catch (const NoStore&) {
        // Not a store of ours: a database made by real SourceSafe, served read-only.
        if (!vssdb::Database::isDatabase(dir)) throw missing();
        real_ = openReal(dir, folderOf(srcSafeIni), username, password);
        return;
      }
      std::lock_guard guard(store->mutex());
      store->catchUp();
      const User* user = store->model().user(text::narrow(username));
      if (!user) throw vss::Error(vss::kUserNotFound, L"User \"" + username + L"\" not found");
      if (user->password != text::narrow(password))
        throw vss::Error(vss::kInvalidPassword, L"Invalid password");
      session_ = std::make_shared<Session>();
      session_->store = store;
      session_->user = user->name;
      session_->databaseFolder = folderOf(srcSafeIni);
    });
  }

  std::unique_ptr<vss::Item> vssItem(const std::wstring& spec, bool deleted) override {
    if (real_) return realItem(real_, spec, deleted);
    if (!session_) throw vss::Error(kNotOpen, L"The database is not open");
    return guarded([&]() -> std::unique_ptr<vss::Item> {
      history_gate::pass(session_.get());
      SharedStore& store = *session_->store;
      std::lock_guard guard(store.mutex());
      store.catchUp();
      std::uint32_t link = store.model().resolve(text::narrow(spec), deleted);
      if (link == kNone) notFound();
      return std::make_unique<ItemImpl>(session_, link, 0,
                                        text::echoedSpelling(spec, wide(store.model().spec(link))));
    });
  }

 private:
  std::shared_ptr<Session> session_;
  std::shared_ptr<RealSession> real_;
};

class LibraryImpl final : public vss::Library {
 public:
  std::unique_ptr<vss::Database> newDatabase() override { return std::make_unique<DatabaseImpl>(); }
};

}  // namespace

std::unique_ptr<vss::Library> makeLibrary() { return std::make_unique<LibraryImpl>(); }

}  // namespace standin
