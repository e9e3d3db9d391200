// The vss port over a real SourceSafe database: items, history cursors and versions read through
// standin/vssdb/, nothing ever written into the database's folder. Every object holds the
// session, so it outlives the object that made it.
#include "standin/real_adapter.h"

#include <algorithm>

#include "standin/dates.h"
#include "standin/details.h"
#include "standin/local_copy.h"
#include "standin/statuses.h"
#include "standin/text.h"
#include "standin/vssdb/database.h"

namespace standin {

class RealSession {
 public:
  explicit RealSession(const std::filesystem::path& dir) : db(dir) {}
  const vssdb::Database db;
};

namespace {

using vssdb::kNone;

std::wstring wide(std::string_view s) { return text::widen(s); }

[[noreturn]] void notFound() { throw vss::Error(vss::kNotFound, L"File or project not found"); }

// What failed its checks, in the words of the library's ESS_CORRUPT, "File %s may be corrupt";
// `what` reads "FILE: why".
std::wstring corrupt(const std::string& what) {
  const auto colon = what.find(": ");
  if (colon == std::string::npos) return L"File " + wide(what) + L" may be corrupt";
  return L"File " + wide(what.substr(0, colon)) + L" may be corrupt: " +
         wide(what.substr(colon + 2));
}

// Runs a library call, turning what the reader could not prove into the library's "damaged"
// failure and failures of the file system into library errors.
template <typename F>
auto guarded(F&& f) -> decltype(f()) {
  try {
    return f();
  } catch (const vss::Error&) {
    throw;
  } catch (const vssdb::Damaged& e) {
    throw vss::Error(vss::kDeletedOrDamaged, corrupt(e.what()));
  } catch (const std::exception& e) {
    throw vss::Error(status::kFailed, wide(e.what()));
  }
}

// A history record as the library lists it: the item's own log record, or a label of a
// project above it; `version` is the item's version number the record made or labelled.
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
  double date() override { return session_->db.date(listed_.event->stored); }
  long versionNumber() override { return listed_.version; }
  std::wstring action() override { return wide(listed_.event->actionText); }
  std::wstring comment() override { return wide(listed_.event->comment); }
  std::wstring label() override { return wide(listed_.event->label); }
  std::wstring labelComment() override { return {}; }

 private:
  std::shared_ptr<RealSession> session_;
  Listed listed_;
};

class RealCursor final : public vss::VersionCursor {
 public:
  RealCursor(std::shared_ptr<RealSession> session, std::vector<Listed> list)
      : session_(std::move(session)), list_(std::move(list)) {}

  std::unique_ptr<vss::Version> next() override {
    if (at_ == list_.size()) return nullptr;
    return std::make_unique<RealVersion>(session_, list_[at_++]);
  }

 private:
  std::shared_ptr<RealSession> session_;
  std::vector<Listed> list_;  // newest first
  std::size_t at_ = 0;
};

class RealItem final : public vss::Item, public ItemDetails {
 public:
  RealItem(std::shared_ptr<RealSession> session, std::uint32_t entry)
      : session_(std::move(session)), entry_(entry) {}

 private:
  const vssdb::Database& db() const { return session_->db; }
  const vssdb::Entry& entry() const { return db().entries()[entry_]; }
  bool project() const { return db().nodes()[entry().node].project; }
  std::wstring specText() const { return wide(db().spec(entry_)); }
  // The item's data, proven; its damage is the library's "damaged" failure.
  std::shared_ptr<const vssdb::ItemData> data() const {
    auto d = db().item(entry().node);
    if (!d->damage.empty()) throw vssdb::Damaged(d->damage);
    return d;
  }

 public:
  int type() override { return project() ? vss::kTypeProject : vss::kTypeFile; }
  std::wstring name() override { return entry_ == 0 ? std::wstring(L"$/") : wide(entry().name); }
  std::wstring spec() override { return specText(); }
  bool deleted() override { return entry().deleted; }
  long versionNumber() override {
    return guarded([&] {
      if (entry().pinned > 0) return static_cast<long>(entry().pinned);
      return data()->events.back().version;
    });
  }

  std::unique_ptr<vss::Item> parent() override {
    if (entry().parent == kNone) return nullptr;
    return std::make_unique<RealItem>(session_, db().projectEntry(entry().parent));
  }

  std::vector<std::unique_ptr<vss::Item>> items(bool includeDeleted) override {
    return guarded([&] {
      std::vector<std::unique_ptr<vss::Item>> out;
      if (!project()) return out;
      data();
      for (std::uint32_t child : db().children(entry().node, includeDeleted))
        out.push_back(std::make_unique<RealItem>(session_, child));
      return out;
    });
  }

  // The item's own records (up to its pinned version) newest first, merged by time with the
  // labels of the projects above the place it was reached through that are no older than its
  // first record; a label no newer than one of the item's records comes after it.
  std::unique_ptr<vss::VersionCursor> versions(int /*flags*/) override {
    return guarded([&]() -> std::unique_ptr<vss::VersionCursor> {
      const auto item = data();
      std::vector<const vssdb::Event*> own;
      for (const auto& e : item->events)
        if (entry().pinned == 0 || e.version <= entry().pinned) own.push_back(&e);
      std::reverse(own.begin(), own.end());
      const std::int64_t floor = item->events.front().stored;
      std::vector<const vssdb::Event*> labels;
      for (std::uint32_t p = entry().parent; p != kNone;
           p = db().entries()[db().projectEntry(p)].parent) {
        for (const auto& e : db().item(p)->events)
          if (e.action == vssdb::kLabel && e.stored >= floor) labels.push_back(&e);
      }
      std::stable_sort(labels.begin(), labels.end(),
                       [](auto* a, auto* b) { return a->stored > b->stored; });
      std::vector<Listed> list;
      for (std::size_t i = 0, j = 0; i < own.size() || j < labels.size();) {
        if (j < labels.size() && (i == own.size() || labels[j]->stored > own[i]->stored)) {
          list.push_back({labels[j++], i < own.size() ? own[i]->version : 0});
        } else {
          list.push_back({own[i], own[i]->version});
          ++i;
        }
      }
      return std::make_unique<RealCursor>(session_, std::move(list));
    });
  }

  // Every live place of the item, in the order the tree was read, and the place it was reached
  // through even when that one is deleted.
  std::vector<std::unique_ptr<vss::Item>> links() override {
    std::vector<std::unique_ptr<vss::Item>> out;
    for (std::uint32_t e : db().entriesOf(entry().node))
      if (e == entry_ || !db().entries()[e].deleted)
        out.push_back(std::make_unique<RealItem>(session_, e));
    return out;
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

  void get(std::wstring& local, int /*flags*/) override {
    guarded([&] {
      if (project()) notFound();
      std::string content;
      if (entry().pinned > 0) {
        data();
        auto all = db().contents(entry().node);
        const auto at = static_cast<std::size_t>(entry().pinned - 1);
        if (at >= all.size() || !all[at])
          throw vssdb::Damaged(db().nodes()[entry().node].physical +
                               ": the pinned version's content is not kept");
        content = *all[at];
      } else {
        content = db().newestContent(entry().node);
      }
      writeLocalCopy(local, content);
    });
  }

 private:
  std::shared_ptr<RealSession> session_;
  std::uint32_t entry_;
};

}  // namespace

std::shared_ptr<RealSession> openReal(const std::filesystem::path& dir,
                                      const std::wstring& username, const std::wstring& password) {
  std::shared_ptr<RealSession> session;
  try {
    session = std::make_shared<RealSession>(dir);
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

std::unique_ptr<vss::Item> realItem(const std::shared_ptr<RealSession>& session,
                                    const std::wstring& spec, bool deleted) {
  const std::uint32_t entry = session->db.resolve(text::narrow(spec), deleted);
  if (entry == kNone) notFound();
  return std::make_unique<RealItem>(session, entry);
}

}  // namespace standin
