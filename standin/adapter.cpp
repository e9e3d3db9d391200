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
  std::string user;  // the logged-in user, stored spelling
};

class VersionImpl final : public vss::Version {
 public:
  VersionImpl(std::shared_ptr<SharedStore> store, const HistoryRecord& record, std::wstring user,
              std::wstring label)
      : store_(std::move(store)),
        record_(record),
        user_(std::move(user)),
        label_(std::move(label)),
        generation_(store_->generation()) {}

  std::wstring username() override { return user_; }
  double date() override { return dateFromSeconds(record_.seconds); }
  long versionNumber() override { return static_cast<long>(record_.number); }
  std::wstring action() override {
    switch (record_.kind) {
      case RecordKind::ProjectCreated:
      case RecordKind::FileCreated:
        return L"Created";
      case RecordKind::CheckedIn:
        return L"Checked in";
      case RecordKind::Label:
        return L"Labeled";
    }
    return L"";
  }
  std::wstring comment() override {
    return guarded([&] {
      std::lock_guard guard(store_->mutex());
      checkCurrent(*store_, generation_);
      if (!record_.hasComment) return std::wstring();
      std::string line = store_->recordText(record_);
      auto fields = text::splitFields(line);
      auto at = static_cast<std::size_t>(commentField(record_.kind));
      return at < fields.size() ? wide(text::unescape(fields[at])) : std::wstring();
    });
  }
  std::wstring label() override { return label_; }
  std::wstring labelComment() override { return {}; }

 private:
  std::shared_ptr<SharedStore> store_;
  HistoryRecord record_;
  std::wstring user_;
  std::wstring label_;
  std::uint64_t generation_;
};

// Walks a history newest first: the item's own records, merged by time with the labels of the
// projects above it (a file's and a project's alike, as the library documents its Versions).
// Positions count from the oldest record, so records appended meanwhile do not disturb a walk.
class CursorImpl final : public vss::VersionCursor {
 public:
  CursorImpl(std::shared_ptr<SharedStore> store, const Model& model, std::uint32_t link)
      : store_(std::move(store)), generation_(store_->generation()) {
    node_ = model.links[link].node;
    const Node& node = model.nodes[node_];
    own_ = node.history.size();
    if (!node.history.empty()) {
      floor_ = node.history.front().seconds;
      for (std::uint32_t p = model.links[link].parent; p != kNone;
           p = model.links[model.projectLink(p)].parent)
        above_.push_back(Source{p, model.nodes[p].history.size()});
    }
  }

  std::unique_ptr<vss::Version> next() override {
    std::lock_guard guard(store_->mutex());
    checkCurrent(*store_, generation_);
    const Model& model = store_->model();
    const HistoryRecord* best = nullptr;
    std::size_t* bestPos = nullptr;
    if (own_ > 0) {
      best = &model.nodes[node_].history[own_ - 1];
      bestPos = &own_;
    }
    for (auto& source : above_) {
      const auto& history = model.nodes[source.node].history;
      while (source.pos > 0 && (history[source.pos - 1].kind != RecordKind::Label ||
                                history[source.pos - 1].seconds < floor_))
        --source.pos;
      if (source.pos == 0) continue;
      const HistoryRecord& candidate = history[source.pos - 1];
      if (!best || candidate.seconds > best->seconds) {
        best = &candidate;
        bestPos = &source.pos;
      }
    }
    if (!best) return nullptr;
    --*bestPos;
    std::wstring label = best->kind == RecordKind::Label ? wide(model.labels[best->label]) : L"";
    return std::make_unique<VersionImpl>(store_, *best, wide(model.people[best->user]),
                                         std::move(label));
  }

 private:
  struct Source {
    std::uint32_t node;
    std::size_t pos;
  };
  std::shared_ptr<SharedStore> store_;
  std::uint64_t generation_;
  std::uint32_t node_ = 0;
  std::size_t own_ = 0;
  std::int64_t floor_ = 0;
  std::vector<Source> above_;
};

class ItemImpl final : public vss::Item, public ItemDetails {
 public:
  ItemImpl(std::shared_ptr<Session> session, std::uint32_t link)
      : session_(std::move(session)), link_(link), generation_(session_->store->generation()) {}

  SharedStore& store() const { return *session_->store; }
  std::uint32_t link() const { return link_; }
  std::uint64_t generation() const { return generation_; }

 private:
  // Runs `f` on the model, caught up with what other processes appended.
  template <typename F>
  auto read(F&& f) -> decltype(f(std::declval<const Model&>())) {
    return guarded([&] {
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

 public:
  int type() override {
    return readFixed([&](const Model& m) {
      return m.nodes[m.links[link_].node].project ? vss::kTypeProject : vss::kTypeFile;
    });
  }
  std::wstring name() override {
    return readFixed([&](const Model& m) {
      return link_ == 0 ? std::wstring(L"$/") : wide(m.links[link_].name);
    });
  }
  std::wstring spec() override {
    return readFixed([&](const Model& m) { return wide(m.spec(link_)); });
  }
  bool deleted() override {
    return read([&](const Model& m) { return m.links[link_].deleted; });
  }
  long versionNumber() override {
    return read([&](const Model& m) {
      const Node& n = m.nodes[m.links[link_].node];
      return static_cast<long>(n.history.empty() ? 0 : n.history.back().number);
    });
  }

  std::unique_ptr<vss::Item> parent() override {
    return read([&](const Model& m) -> std::unique_ptr<vss::Item> {
      if (link_ == 0) return nullptr;
      return std::make_unique<ItemImpl>(session_, m.projectLink(m.links[link_].parent));
    });
  }

  std::vector<std::unique_ptr<vss::Item>> items(bool includeDeleted) override {
    return read([&](const Model& m) {
      std::vector<std::unique_ptr<vss::Item>> out;
      std::uint32_t node = m.links[link_].node;
      if (!m.nodes[node].project) return out;
      for (auto child : m.children(node, includeDeleted))
        out.push_back(std::make_unique<ItemImpl>(session_, child));
      return out;
    });
  }

  std::unique_ptr<vss::VersionCursor> versions(int /*flags*/) override {
    return read([&](const Model& m) -> std::unique_ptr<vss::VersionCursor> {
      if (const Fault* f = m.fault(m.links[link_].node, "versions"))
        throw vss::Error(f->status, wide(f->text));
      return std::make_unique<CursorImpl>(session_->store, m, link_);
    });
  }

  // Every live entry of the item, in the order they were made, and the entry it was reached
  // through even when that one is deleted.
  std::vector<std::unique_ptr<vss::Item>> links() override {
    return read([&](const Model& m) {
      std::vector<std::unique_ptr<vss::Item>> out;
      const std::uint32_t node = m.links[link_].node;
      for (std::uint32_t l = 0; l < m.links.size(); ++l) {
        if (m.links[l].node == node && (l == link_ || !m.links[l].deleted))
          out.push_back(std::make_unique<ItemImpl>(session_, l));
      }
      return out;
    });
  }

  std::unique_ptr<vss::Item> newSubproject(const std::wstring& name,
                                           const std::wstring& comment) override {
    return guarded([&]() -> std::unique_ptr<vss::Item> {
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
      return std::make_unique<ItemImpl>(session_, store().model().projectLink(created));
    });
  }

  void share(vss::Item& file, const std::wstring& /*comment*/, int /*flags*/) override {
    guarded([&] {
      auto* other = dynamic_cast<ItemImpl*>(&file);
      // An item of another store (or of another library) is not in this database.
      if (!other || &other->store() != &store()) notFound();
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
                formatSeconds(nowSeconds())});
      });
    });
  }

  void get(std::wstring& local, int /*flags*/) override {
    guarded([&] {
      std::string content;
      {
        std::lock_guard guard(store().mutex());
        store().catchUp();
        checkCurrent(store(), generation_);
        const Model& m = store().model();
        std::uint32_t node = m.links[link_].node;
        if (const Fault* f = m.fault(node, "get")) throw vss::Error(f->status, wide(f->text));
        if (m.nodes[node].project) notFound();
        const auto& history = m.nodes[node].history;
        auto newest = std::find_if(history.rbegin(), history.rend(), [](const HistoryRecord& r) {
          return r.kind == RecordKind::FileCreated || r.kind == RecordKind::CheckedIn;
        });
        if (newest != history.rend()) {
          std::string line = store().recordText(*newest);
          auto fields = text::splitFields(line);
          auto at = static_cast<std::size_t>(contentField(newest->kind));
          if (at < fields.size()) content = text::unescape(fields[at]);
        }
      }
      writeLocalCopy(local, content);
    });
  }

 private:
  std::shared_ptr<Session> session_;
  std::uint32_t link_;
  std::uint64_t generation_;
};

class DatabaseImpl final : public vss::Database {
 public:
  void open(const std::wstring& srcSafeIni, const std::wstring& username,
            const std::wstring& password) override {
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
        real_ = openReal(dir, username, password);
        return;
      }
      std::lock_guard guard(store->mutex());
      store->catchUp();
      const User* user = store->model().user(text::narrow(username));
      if (!user) throw vss::Error(vss::kUserNotFound, L"User \"" + username + L"\" not found");
      if (user->password != text::narrow(password))
        throw vss::Error(vss::kInvalidPassword, L"Invalid password");
      session_ = std::make_shared<Session>(Session{store, user->name});
    });
  }

  std::unique_ptr<vss::Item> vssItem(const std::wstring& spec, bool deleted) override {
    if (real_) return realItem(real_, spec, deleted);
    if (!session_) throw vss::Error(kNotOpen, L"The database is not open");
    return guarded([&]() -> std::unique_ptr<vss::Item> {
      SharedStore& store = *session_->store;
      std::lock_guard guard(store.mutex());
      store.catchUp();
      std::uint32_t link = store.model().resolve(text::narrow(spec), deleted);
      if (link == kNone) notFound();
      return std::make_unique<ItemImpl>(session_, link);
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
