// Fakes the engine tests run against: a window that records what the run shows and answers its
// boxes from a script, a platform with an in-memory file system and the dates of the default
// locale, and an in-memory source-control library that counts its calls and fails on request.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cwctype>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/patcher.h"
#include "engine/ports.h"
#include "vss/port.h"

namespace fakes {

inline std::wstring lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return text;
}

// ---------------------------------------------------------------------------------------------
// Dates: automation dates (days since 1899-12-30, the time of day as the fraction).

inline long long daysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

inline double dateOf(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  const long long days = daysFromCivil(y, mo, d) - daysFromCivil(1899, 12, 30);
  return static_cast<double>(days) + (h * 3600 + mi * 60 + s) / 86400.0;
}

// "YYYY-MM-DD", "YYYY-MM-DD HH:MM[:SS]" or "HH:MM[:SS]" (that time on 1899-12-30).
inline std::optional<double> parseDate(const std::wstring& text) {
  std::size_t pos = 0;
  const auto number = [&](std::size_t digits, int& out) {
    if (pos + digits > text.size()) return false;
    out = 0;
    for (std::size_t i = 0; i < digits; ++i) {
      const wchar_t c = text[pos + i];
      if (c < L'0' || c > L'9') return false;
      out = out * 10 + (c - L'0');
    }
    pos += digits;
    return true;
  };
  const auto literal = [&](wchar_t c) {
    if (pos < text.size() && text[pos] == c) {
      ++pos;
      return true;
    }
    return false;
  };
  const auto time = [&](int& h, int& mi, int& s) {
    s = 0;
    if (!number(2, h) || !literal(L':') || !number(2, mi)) return false;
    if (literal(L':') && !number(2, s)) return false;
    return h < 24 && mi < 60 && s < 60;
  };
  int y = 1899, mo = 12, d = 30, h = 0, mi = 0, s = 0;
  if (text.size() >= 10 && text[4] == L'-') {
    if (!number(4, y) || !literal(L'-') || !number(2, mo) || !literal(L'-') || !number(2, d)) {
      return std::nullopt;
    }
    static constexpr std::array<int, 12> kDays = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1]) return std::nullopt;
    if (mo == 2 && d == 29 && !(y % 4 == 0 && (y % 100 != 0 || y % 400 == 0))) return std::nullopt;
    if (literal(L' ') && !time(h, mi, s)) return std::nullopt;
  } else if (!time(h, mi, s)) {
    return std::nullopt;
  }
  if (pos != text.size()) return std::nullopt;
  return dateOf(y, mo, d, h, mi, s);
}

// ---------------------------------------------------------------------------------------------
// File system: folders and files under "\" paths, letter case and doubled separators ignored
// as Windows ignores them.

class FakeFileSystem {
 public:
  static constexpr std::uint32_t kAccessDenied = 5;
  static constexpr std::uint32_t kPathNotFound = 3;
  static constexpr std::uint32_t kAlreadyExists = 183;
  static constexpr std::uint32_t kInvalidName = 123;

  enum class Kind { Folder, File };
  struct Entry {
    Kind kind;
    std::wstring spelling;  // the path as it was created
    std::wstring content;
  };

  void addFolder(const std::wstring& path) { entries_[key(path)] = {Kind::Folder, path, {}}; }
  void addFile(const std::wstring& path, const std::wstring& content = L"") {
    entries_[key(path)] = {Kind::File, path, content};
  }
  const Entry* find(const std::wstring& path) const {
    const auto it = entries_.find(key(path));
    return it == entries_.end() ? nullptr : &it->second;
  }
  bool isFolder(const std::wstring& path) const {
    const Entry* e = find(path);
    return e != nullptr && e->kind == Kind::Folder;
  }
  bool isFile(const std::wstring& path) const {
    const Entry* e = find(path);
    return e != nullptr && e->kind == Kind::File;
  }

  std::uint32_t createFolder(const std::wstring& path) {
    createCalls.push_back(path);
    if (const auto it = failCreate.find(path); it != failCreate.end()) return it->second;
    const std::wstring k = key(path);
    for (std::size_t i = 0; i < k.size(); ++i) {
      const wchar_t c = k[i];
      if ((c == L':' && i != 1) || c == L'<' || c == L'>' || c == L'"' || c == L'|' || c == L'?' ||
          c == L'*') {
        return kInvalidName;
      }
    }
    if (entries_.count(k) != 0) return kAlreadyExists;
    if (!isFolder(parentOf(k))) return kPathNotFound;
    entries_[k] = {Kind::Folder, path, {}};
    return 0;
  }

  // What Get does with a local path: 0 or a system error code.
  std::uint32_t writeFile(const std::wstring& path, const std::wstring& content) {
    const std::wstring k = key(path);
    if (isFolder(k)) return kAccessDenied;
    if (!isFolder(parentOf(k))) return kPathNotFound;
    entries_[k] = {Kind::File, path, content};
    return 0;
  }

  // Every path below `root` (relative, as normalised keys), with "/" after folders.
  std::vector<std::wstring> tree(const std::wstring& root) const {
    const std::wstring prefix = key(root) + L"\\";
    std::vector<std::wstring> out;
    for (const auto& [k, e] : entries_) {
      if (k.rfind(prefix, 0) == 0) {
        out.push_back(k.substr(prefix.size()) + (e.kind == Kind::Folder ? L"\\" : L""));
      }
    }
    return out;
  }

  std::map<std::wstring, std::uint32_t> failCreate;  // exact path → system error code
  std::vector<std::wstring> createCalls;

  static std::wstring key(const std::wstring& path) {
    std::wstring k;
    for (const wchar_t c : path) {
      if (c == L'\\' && !k.empty() && k.back() == L'\\') continue;
      k += static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    while (!k.empty() && k.back() == L'\\') k.pop_back();
    return k;
  }
  static std::wstring parentOf(const std::wstring& k) {
    const std::size_t slash = k.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : k.substr(0, slash);
  }

 private:
  std::map<std::wstring, Entry> entries_;
};

class FakePlatform : public engine::PlatformPort {
 public:
  explicit FakePlatform(FakeFileSystem& fs) : fs_(fs) {}
  bool pathExists(const std::wstring& path) override {
    existsCalls.push_back(path);
    return fs_.find(path) != nullptr;
  }
  std::uint32_t createFolder(const std::wstring& path) override { return fs_.createFolder(path); }
  std::optional<double> toDate(const std::wstring& text) override { return parseDate(text); }
  std::wstring nowText() override { return now; }
  std::wstring toLower(const std::wstring& text) override { return lower(text); }

  std::wstring now = L"2026-12-06 20:00:00";
  std::vector<std::wstring> existsCalls;

 private:
  FakeFileSystem& fs_;
};

// ---------------------------------------------------------------------------------------------
// The window: what the run shows, in order.

class FakeWindow : public engine::WindowPort {
 public:
  struct Box {
    std::wstring text;
    std::wstring title;
    engine::Icon icon;
    engine::Buttons buttons;
  };

  std::wstring text(engine::TextBox box) override {
    textReads.push_back(box);
    const auto it = texts.find(box);
    return it == texts.end() ? std::wstring() : it->second;
  }
  bool isSelected(engine::ModeOption option) override { return selected == option; }
  bool isIgnoreBuildUserChecked() override { return ignoreBuildUser; }
  void setStatusText(const std::wstring& t) override {
    status.push_back(t);
    log.push_back(L"status:" + t);
  }
  void clearList(engine::ResultList list) override {
    lines(list).clear();
    log.push_back(list == engine::ResultList::Shared ? L"clear:Shared" : L"clear:Unshare");
  }
  void appendLine(engine::ResultList list, const std::wstring& line) override {
    lines(list).push_back(line);
  }
  engine::Answer showMessage(const std::wstring& t, const std::wstring& title, engine::Icon icon,
                             engine::Buttons buttons) override {
    boxes.push_back({t, title, icon, buttons});
    log.push_back(L"box:" + t);
    if (onBox) onBox(boxes.back());
    if (!answers.empty()) {
      const engine::Answer a = answers.front();
      answers.pop_front();
      return a;
    }
    return buttons == engine::Buttons::YesNo ? engine::Answer::Yes : engine::Answer::Ok;
  }
  void processPendingEvents() override {
    ++pendingEvents;
    if (onEvents) onEvents();
  }
  void setPatchButton(const std::wstring& caption, bool enabled) override {
    button.emplace_back(caption, enabled);
    log.push_back(L"button:" + caption + (enabled ? L":on" : L":off"));
  }
  void saveSettings() override {
    ++saves;
    log.push_back(L"save");
  }

  std::vector<std::wstring>& lines(engine::ResultList list) {
    return list == engine::ResultList::Shared ? shared : unshared;
  }

  // Inputs.
  std::map<engine::TextBox, std::wstring> texts;
  std::optional<engine::ModeOption> selected;
  bool ignoreBuildUser = false;
  std::deque<engine::Answer> answers;  // scripted answers; otherwise Yes or OK
  std::function<void()> onEvents;
  std::function<void(const Box&)> onBox;
  // What was shown.
  std::vector<engine::TextBox> textReads;
  std::vector<std::wstring> status;
  std::vector<std::wstring> shared;
  std::vector<std::wstring> unshared;
  std::vector<Box> boxes;
  std::vector<std::pair<std::wstring, bool>> button;
  std::vector<std::wstring> log;
  int pendingEvents = 0;
  int saves = 0;
};

// ---------------------------------------------------------------------------------------------
// The source-control library: one in-memory database shared by every database object.

struct Record {
  std::wstring user;
  double date;
};

class FakeStore {
 public:
  static constexpr std::int32_t kBadName = static_cast<std::int32_t>(0x8004D6B2);
  static constexpr std::int32_t kNotOpen = static_cast<std::int32_t>(0x8004D6D6);
  static constexpr std::int32_t kIniNotFound = static_cast<std::int32_t>(0x8004D83E);

  struct Node {
    std::wstring name;
    bool project = false;
    bool deleted = false;
    Node* parent = nullptr;
    std::vector<std::shared_ptr<Node>> children;
    std::shared_ptr<std::vector<Record>> history;  // newest first; shared by all links of a file
    std::shared_ptr<std::wstring> content;
    std::shared_ptr<std::optional<vss::Error>> historyFault, shareFault, getFault;
  };

  // Calls of all database objects together.
  struct Counts {
    int newDatabase = 0, open = 0, lookups = 0, enumerations = 0, newSubprojects = 0, shares = 0,
        gets = 0, recordsRead = 0;
  };

  FakeStore() : root_(std::make_shared<Node>()) {
    root_->name = L"$/";
    root_->project = true;
  }

  // Seeding. Missing projects above a path are created.
  Node& project(const std::wstring& spec) { return *ensure(spec, true); }
  Node& file(const std::wstring& spec, std::vector<Record> newestFirst = {},
             const std::wstring& content = L"") {
    Node* n = ensure(spec, false);
    *n->history = std::move(newestFirst);
    *n->content = content.empty() ? spec + L" content" : content;
    return *n;
  }
  void remove(const std::wstring& spec) { mustFind(spec)->deleted = true; }
  void failHistory(const std::wstring& spec, std::int32_t status,
                   const std::wstring& text = L"Injected failure") {
    *mustFind(spec)->historyFault = vss::Error(status, text);
  }
  void failShare(const std::wstring& spec, std::int32_t status) {
    *mustFind(spec)->shareFault = vss::Error(status, L"Injected failure");
  }
  void failGet(const std::wstring& spec, std::int32_t status) {
    *mustFind(spec)->getFault = vss::Error(status, L"Injected failure");
  }

  Node* find(const std::wstring& spec, bool includeDeletedLast = false) {
    std::vector<std::wstring> pieces;
    if (!split(spec, pieces)) return nullptr;
    Node* n = root_.get();
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      Node* next = nullptr;
      for (const auto& c : n->children) {
        if (lower(c->name) == lower(pieces[i]) &&
            (!c->deleted || (includeDeletedLast && i + 1 == pieces.size()))) {
          next = c.get();
          if (!c->deleted) break;
        }
      }
      if (next == nullptr) return nullptr;
      n = next;
    }
    return n;
  }

  // The tree as "P spec" / "F spec" lines, live items only, depth first.
  std::vector<std::wstring> tree() const {
    std::vector<std::wstring> out;
    const std::function<void(const Node&)> walk = [&](const Node& n) {
      for (const auto& c : n.children) {
        if (c->deleted) continue;
        out.push_back((c->project ? L"P " : L"F ") + specOf(*c));
        if (c->project) walk(*c);
      }
    };
    walk(*root_);
    return out;
  }

  static std::wstring specOf(const Node& n) {
    if (n.parent == nullptr) return L"$/";
    const std::wstring up = specOf(*n.parent);
    return up == L"$/" ? up + n.name : up + L"/" + n.name;
  }

  // Links a file into a project as the same file (one history).
  Node& link(Node& target, const Node& file) {
    auto n = std::make_shared<Node>(file);
    n->parent = &target;
    n->deleted = false;
    target.children.push_back(n);
    return *n;
  }

  std::map<std::wstring, std::wstring> users = {{L"admin", L"secret"}};  // lower name → password
  std::wstring host = L"C:\\vss\\srcsafe.ini";
  std::map<std::wstring, std::int32_t> lookupFaults;      // lower-case spec → status
  std::map<std::wstring, std::int32_t> itemsFaults;       // lower-case spec → status of Items
  std::map<std::wstring, std::int32_t> subprojectFaults;  // name → status of NewSubproject
  std::set<std::wstring> specFaults;                      // lower-case spec whose Spec read fails
  int failOpenNumber = 0;  // the open (counting from 1) that fails with openFault
  std::optional<vss::Error> openFault;
  Counts counts;
  std::vector<std::wstring> lookupLog;         // every VSSItem path
  std::vector<std::wstring> newSubprojectLog;  // "parent spec|name|comment"
  std::vector<std::wstring> shareLog;          // "target spec<-file spec|comment|flags"
  std::vector<std::wstring> getLog;            // "local path|flags"
  std::vector<std::wstring> enumerationLog;    // spec of each Items call
  FakeFileSystem* fs = nullptr;                // where Get writes, when set

 private:
  static bool split(const std::wstring& spec, std::vector<std::wstring>& pieces) {
    if (spec.empty() || spec[0] != L'$') return false;
    if (spec.size() > 1 && spec[1] != L'/') return false;
    std::wstring piece;
    for (std::size_t i = 2; i <= spec.size(); ++i) {
      if (i == spec.size() || spec[i] == L'/') {
        if (piece.empty() && i != spec.size()) return false;  // "//" inside a path
        if (!piece.empty()) pieces.push_back(piece);
        piece.clear();
      } else {
        piece += spec[i];
      }
    }
    return true;
  }
  Node* mustFind(const std::wstring& spec) {
    Node* n = find(spec);
    if (n == nullptr) throw std::logic_error("no such item in the fake store");
    return n;
  }
  Node* ensure(const std::wstring& spec, bool project) {
    std::vector<std::wstring> pieces;
    if (!split(spec, pieces)) throw std::logic_error("bad spec for the fake store");
    Node* n = root_.get();
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      const bool last = i + 1 == pieces.size();
      Node* next = nullptr;
      for (const auto& c : n->children) {
        if (!c->deleted && lower(c->name) == lower(pieces[i])) next = c.get();
      }
      if (next == nullptr || (last && !project)) {
        auto c = std::make_shared<Node>();
        c->name = pieces[i];
        c->project = !last || project;
        c->parent = n;
        c->history = std::make_shared<std::vector<Record>>();
        c->content = std::make_shared<std::wstring>();
        c->historyFault = std::make_shared<std::optional<vss::Error>>();
        c->shareFault = std::make_shared<std::optional<vss::Error>>();
        c->getFault = std::make_shared<std::optional<vss::Error>>();
        n->children.push_back(c);
        next = c.get();
      }
      n = next;
    }
    return n;
  }

  std::shared_ptr<Node> root_;
};

class FakeVersion : public vss::Version {
 public:
  explicit FakeVersion(Record r) : r_(std::move(r)) {}
  std::wstring username() override { return r_.user; }
  double date() override { return r_.date; }

 private:
  Record r_;
};

class FakeCursor : public vss::VersionCursor {
 public:
  FakeCursor(FakeStore& store, std::shared_ptr<std::vector<Record>> history)
      : store_(store), history_(std::move(history)) {}
  std::unique_ptr<vss::Version> next() override {
    if (index_ >= history_->size()) return nullptr;
    ++store_.counts.recordsRead;
    return std::make_unique<FakeVersion>((*history_)[index_++]);
  }

 private:
  FakeStore& store_;
  std::shared_ptr<std::vector<Record>> history_;
  std::size_t index_ = 0;
};

class FakeItem : public vss::Item {
 public:
  FakeItem(FakeStore& store, FakeStore::Node& node) : store_(store), node_(node) {}
  int type() override { return node_.project ? vss::kTypeProject : vss::kTypeFile; }
  std::wstring name() override { return node_.name; }
  std::wstring spec() override {
    const std::wstring s = FakeStore::specOf(node_);
    if (store_.specFaults.count(lower(s)) != 0) {
      throw vss::Error(vss::kNotFound, L"Spec cannot be read");
    }
    return s;
  }
  std::unique_ptr<vss::Item> parent() override {
    if (node_.parent == nullptr) return nullptr;
    return std::make_unique<FakeItem>(store_, *node_.parent);
  }
  std::vector<std::unique_ptr<vss::Item>> items(bool includeDeleted) override {
    ++store_.counts.enumerations;
    const std::wstring s = FakeStore::specOf(node_);
    store_.enumerationLog.push_back(s);
    if (const auto it = store_.itemsFaults.find(lower(s)); it != store_.itemsFaults.end()) {
      throw vss::Error(it->second, L"Items cannot be listed");
    }
    std::vector<std::unique_ptr<vss::Item>> out;
    for (const auto& c : node_.children) {
      if (includeDeleted || !c->deleted) out.push_back(std::make_unique<FakeItem>(store_, *c));
    }
    return out;
  }
  std::unique_ptr<vss::VersionCursor> versions(int /*flags*/) override {
    if (*node_.historyFault) throw **node_.historyFault;
    return std::make_unique<FakeCursor>(store_, node_.history);
  }
  std::unique_ptr<vss::Item> newSubproject(const std::wstring& name,
                                           const std::wstring& comment) override {
    ++store_.counts.newSubprojects;
    store_.newSubprojectLog.push_back(FakeStore::specOf(node_) + L"|" + name + L"|" + comment);
    if (const auto it = store_.subprojectFaults.find(name); it != store_.subprojectFaults.end()) {
      throw vss::Error(it->second, L"Injected failure");
    }
    if (name.empty() || name.find_first_of(L"$/\\<>|:;\"") != std::wstring::npos) {
      throw vss::Error(FakeStore::kBadName, L"\"" + name + L"\" is not a valid name");
    }
    for (const auto& c : node_.children) {
      if (!c->deleted && lower(c->name) == lower(name)) {
        throw vss::Error(vss::kItemExists, L"An item with the name " + name + L" already exists");
      }
    }
    auto c = std::make_shared<FakeStore::Node>();
    c->name = name;
    c->project = true;
    c->parent = &node_;
    c->history = std::make_shared<std::vector<Record>>();
    c->content = std::make_shared<std::wstring>();
    c->historyFault = std::make_shared<std::optional<vss::Error>>();
    c->shareFault = std::make_shared<std::optional<vss::Error>>();
    c->getFault = std::make_shared<std::optional<vss::Error>>();
    node_.children.push_back(c);
    return std::make_unique<FakeItem>(store_, *c);
  }
  void share(vss::Item& file, const std::wstring& comment, int flags) override {
    ++store_.counts.shares;
    auto& source = dynamic_cast<FakeItem&>(file).node_;
    store_.shareLog.push_back(FakeStore::specOf(node_) + L"<-" + FakeStore::specOf(source) + L"|" +
                              comment + L"|" + std::to_wstring(flags));
    if (*source.shareFault) throw **source.shareFault;
    bool deletedOnly = false;
    for (const auto& c : node_.children) {
      if (lower(c->name) != lower(source.name)) continue;
      if (!c->deleted) {
        throw vss::Error(vss::kItemExists,
                         L"An item with the name " + source.name + L" already exists");
      }
      deletedOnly = true;
    }
    if (deletedOnly) throw vss::Error(vss::kDeletedOrDamaged, source.name + L" has been deleted");
    store_.link(node_, source);
  }
  void get(std::wstring& local, int flags) override {
    ++store_.counts.gets;
    store_.getLog.push_back(local + L"|" + std::to_wstring(flags));
    if (*node_.getFault) throw **node_.getFault;
    if (store_.fs != nullptr) {
      const std::uint32_t code = store_.fs->writeFile(local, *node_.content);
      if (code != 0) {
        throw vss::Error(engine::statusFromSystemError(code), L"Cannot write " + local);
      }
    }
  }

 private:
  FakeStore& store_;
  FakeStore::Node& node_;
};

class FakeDatabase : public vss::Database {
 public:
  explicit FakeDatabase(FakeStore& store) : store_(store) {}
  void open(const std::wstring& ini, const std::wstring& user,
            const std::wstring& password) override {
    ++store_.counts.open;
    if (store_.failOpenNumber == store_.counts.open && store_.openFault) throw *store_.openFault;
    if (lower(ini) != lower(store_.host)) {
      throw vss::Error(FakeStore::kIniNotFound, L"File \"" + ini + L"\" not found");
    }
    const auto it = store_.users.find(lower(user));
    if (it == store_.users.end()) {
      throw vss::Error(vss::kUserNotFound, L"User \"" + user + L"\" not found");
    }
    if (it->second != password) throw vss::Error(vss::kInvalidPassword, L"Invalid password");
    open_ = true;
  }
  std::unique_ptr<vss::Item> vssItem(const std::wstring& spec, bool deleted) override {
    ++store_.counts.lookups;
    store_.lookupLog.push_back(spec);
    if (!open_) throw vss::Error(FakeStore::kNotOpen, L"The database is not open");
    if (const auto it = store_.lookupFaults.find(lower(spec)); it != store_.lookupFaults.end()) {
      throw vss::Error(it->second, L"Injected lookup failure");
    }
    FakeStore::Node* n = store_.find(spec, deleted);
    if (n == nullptr) throw vss::Error(vss::kNotFound, L"File or project not found");
    return std::make_unique<FakeItem>(store_, *n);
  }

 private:
  FakeStore& store_;
  bool open_ = false;
};

class FakeLibrary : public vss::Library {
 public:
  explicit FakeLibrary(FakeStore& store) : store_(store) {}
  std::unique_ptr<vss::Database> newDatabase() override {
    ++store_.counts.newDatabase;
    return std::make_unique<FakeDatabase>(store_);
  }

 private:
  FakeStore& store_;
};

// ---------------------------------------------------------------------------------------------
// A window, a platform and a library wired to one patcher, with inputs that pass validation.

struct Rig {
  Rig() {
    store.fs = &fs;
    fs.addFolder(L"D:");
    fs.addFolder(L"D:\\out");
    window.texts = {{engine::TextBox::Host, L"C:\\vss\\srcsafe.ini"},
                    {engine::TextBox::Project, L"$/Src"},
                    {engine::TextBox::Patch, L"$/Patch"},
                    {engine::TextBox::User, L"Admin"},
                    {engine::TextBox::Passwd, L"secret"},
                    {engine::TextBox::StartDate, L"2008-07-07 17:12"},
                    {engine::TextBox::EndDate, L"2009-04-28 13:30"},
                    {engine::TextBox::TargetUser, L""},
                    {engine::TextBox::Share, L"D:\\out"}};
    window.selected = engine::ModeOption::View;
    store.project(L"$/Src");
    store.project(L"$/Patch");
  }
  void mode(std::optional<engine::ModeOption> option) { window.selected = option; }

  FakeFileSystem fs;
  FakePlatform platform{fs};
  FakeWindow window;
  FakeStore store;
  FakeLibrary library{store};
  engine::Patcher patcher{window, platform, library};
};

// Inside the default range 2008-07-07 17:12 .. 2009-04-28 13:30.
inline double inRange(int day = 1) { return dateOf(2008, 8, day, 12, 0); }
inline double beforeRange() { return dateOf(2008, 1, 1, 12, 0); }
inline double afterRange() { return dateOf(2009, 6, 1, 12, 0); }

}  // namespace fakes
