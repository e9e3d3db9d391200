// A small in-memory implementation of the vss port for the COM tests: the stand-in server's
// objects run over it in-process, and it counts what the server asked of it.
#pragma once

#include <cwctype>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "standin/details.h"
#include "vss/port.h"

namespace fake {

struct Record {
  std::wstring user;
  double date;
  long number;
  std::wstring action;
  std::wstring comment;
  std::wstring label;
};

struct Node {
  std::wstring name;
  int type = vss::kTypeProject;
  bool deleted = false;
  Node* parent = nullptr;
  std::vector<std::shared_ptr<Node>> children;
  std::vector<Record> history;  // oldest first
  std::string content;
  std::optional<vss::Error> versionsFault;  // Versions fails
  std::optional<vss::Error> cursorFault;    // reading the second record fails
  std::optional<vss::Error> getFault;
};

struct ShareCall {
  std::wstring project;
  std::wstring file;
  std::wstring comment;
  int flags;
};

inline bool sameName(const std::wstring& a, const std::wstring& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::towlower(a[i]) != std::towlower(b[i])) return false;
  }
  return true;
}

inline std::wstring specOf(const Node* node) {
  if (node->parent == nullptr) return L"$/";
  const std::wstring parent = specOf(node->parent);
  return parent + (parent == L"$/" ? L"" : L"/") + node->name;
}

struct Store {
  static std::shared_ptr<Node> makeRoot() {
    auto root = std::make_shared<Node>();
    root->name = L"$/";
    return root;
  }
  std::shared_ptr<Node> root = makeRoot();
  std::vector<std::pair<std::wstring, std::wstring>> users{{L"Admin", L""}};
  std::vector<ShareCall> shares;
  int databasesMade = 0;
  int cursorPulls = 0;  // VersionCursor::next calls

  // Adds the item at `spec` (below existing projects) and returns it.
  Node& add(const std::wstring& spec, int type) {
    Node* parent = root.get();
    std::wstring rest = spec.substr(2);
    for (;;) {
      const size_t slash = rest.find(L'/');
      const std::wstring name = rest.substr(0, slash);
      if (slash == std::wstring::npos) {
        auto node = std::make_shared<Node>();
        node->name = name;
        node->type = type;
        node->parent = parent;
        parent->children.push_back(node);
        return *node;
      }
      Node* next = nullptr;
      for (auto& child : parent->children) {
        if (!child->deleted && sameName(child->name, name)) next = child.get();
      }
      if (next == nullptr)
        next = &add(specOf(parent) + (parent == root.get() ? L"" : L"/") + name, vss::kTypeProject);
      parent = next;
      rest = rest.substr(slash + 1);
    }
  }

  Node* find(const std::wstring& spec, bool deleted) {
    if (spec == L"$/" || spec == L"$") return root.get();
    if (spec.rfind(L"$/", 0) != 0) return nullptr;
    Node* node = root.get();
    std::wstring rest = spec.substr(2);
    while (!rest.empty()) {
      const size_t slash = rest.find(L'/');
      const std::wstring name = rest.substr(0, slash);
      const bool last = slash == std::wstring::npos;
      Node* next = nullptr;
      for (auto& child : node->children) {
        if (sameName(child->name, name) && (!child->deleted || (deleted && last))) {
          next = child.get();
        }
      }
      if (next == nullptr) return nullptr;
      node = next;
      rest = last ? std::wstring() : rest.substr(slash + 1);
    }
    return node;
  }
};

class Version final : public vss::Version, public standin::VersionDetails {
 public:
  explicit Version(Record record) : record_(std::move(record)) {}
  std::wstring username() override { return record_.user; }
  double date() override { return record_.date; }
  long versionNumber() override { return record_.number; }
  std::wstring action() override { return record_.action; }
  std::wstring comment() override { return record_.comment; }
  std::wstring label() override { return record_.label; }

 private:
  Record record_;
};

class Cursor final : public vss::VersionCursor {
 public:
  Cursor(Store& store, std::shared_ptr<Node> node) : store_(store), node_(std::move(node)) {
    next_ = node_->history.size();
  }
  std::unique_ptr<vss::Version> next() override {
    ++store_.cursorPulls;
    if (next_ < node_->history.size() && node_->cursorFault) throw *node_->cursorFault;
    if (next_ == 0) return nullptr;
    return std::make_unique<Version>(node_->history[--next_]);
  }

 private:
  Store& store_;
  std::shared_ptr<Node> node_;
  size_t next_;
};

// The shared owner of a node reached by a plain pointer.
inline std::shared_ptr<Node> ownerOf(Store& store, Node* node) {
  if (node->parent == nullptr) return store.root;
  for (auto& child : node->parent->children) {
    if (child.get() == node) return child;
  }
  return nullptr;
}

class Item final : public vss::Item, public standin::ItemDetails {
 public:
  Item(Store& store, std::shared_ptr<Node> node) : store_(store), node_(std::move(node)) {}

  int type() override { return node_->type; }
  std::wstring name() override { return node_->name; }
  std::wstring spec() override { return specOf(node_.get()); }
  std::unique_ptr<vss::Item> parent() override {
    if (node_->parent == nullptr) return nullptr;
    return std::make_unique<Item>(store_, ownerOf(store_, node_->parent));
  }
  std::vector<std::unique_ptr<vss::Item>> items(bool includeDeleted) override {
    std::vector<std::unique_ptr<vss::Item>> result;
    for (auto& child : node_->children) {
      if (includeDeleted || !child->deleted)
        result.push_back(std::make_unique<Item>(store_, child));
    }
    return result;
  }
  std::unique_ptr<vss::VersionCursor> versions(int) override {
    if (node_->versionsFault) throw *node_->versionsFault;
    return std::make_unique<Cursor>(store_, node_);
  }
  std::unique_ptr<vss::Item> newSubproject(const std::wstring& name, const std::wstring&) override {
    for (auto& child : node_->children) {
      if (!child->deleted && sameName(child->name, name)) {
        throw vss::Error(vss::kItemExists, L"An item with the name " + name + L" already exists");
      }
    }
    Node& created = store_.add(spec() + (node_->parent ? L"/" : L"") + name, vss::kTypeProject);
    return std::make_unique<Item>(store_, ownerOf(store_, &created));
  }
  void share(vss::Item& file, const std::wstring& comment, int flags) override {
    // Only an item of this library can be shared: the server must hand over the port item.
    auto& source = dynamic_cast<Item&>(file);
    for (auto& child : node_->children) {
      if (sameName(child->name, source.node_->name)) {
        if (!child->deleted) {
          throw vss::Error(vss::kItemExists,
                           L"An item with the name " + child->name + L" already exists");
        }
        throw vss::Error(vss::kDeletedOrDamaged, child->name + L" has been deleted");
      }
    }
    node_->children.push_back(source.node_);
    store_.shares.push_back({spec(), source.spec(), comment, flags});
  }
  void get(std::wstring& local, int) override {
    if (node_->getFault) throw *node_->getFault;
    // Writes the content, and gives back the path as written (with backslashes), which is
    // how the tests see the in/out string come back.
    for (wchar_t& c : local) {
      if (c == L'/') c = L'\\';
    }
    std::ofstream out(std::filesystem::path(local), std::ios::binary | std::ios::trunc);
    if (!out) throw vss::Error(static_cast<std::int32_t>(0x80070003), L"Cannot write " + local);
    out << node_->content;
  }

  bool deleted() override { return node_->deleted; }
  long versionNumber() override { return static_cast<long>(node_->history.size()); }

 private:
  Store& store_;
  std::shared_ptr<Node> node_;
};

class Database final : public vss::Database {
 public:
  explicit Database(Store& store) : store_(store) {}
  void open(const std::wstring&, const std::wstring& username,
            const std::wstring& password) override {
    for (auto& [name, secret] : store_.users) {
      if (sameName(name, username)) {
        if (secret != password) throw vss::Error(vss::kInvalidPassword, L"Invalid password");
        open_ = true;
        return;
      }
    }
    throw vss::Error(vss::kUserNotFound, L"User \"" + username + L"\" not found");
  }
  std::unique_ptr<vss::Item> vssItem(const std::wstring& spec, bool deleted) override {
    if (!open_)
      throw vss::Error(static_cast<std::int32_t>(0x8004D6D6), L"The database is not open");
    Node* node = store_.find(spec, deleted);
    if (node == nullptr) throw vss::Error(vss::kNotFound, L"File or project not found");
    return std::make_unique<Item>(store_, ownerOf(store_, node));
  }

 private:
  Store& store_;
  bool open_ = false;
};

class Library final : public vss::Library {
 public:
  explicit Library(Store& store) : store_(store) {}
  std::unique_ptr<vss::Database> newDatabase() override {
    ++store_.databasesMade;
    return std::make_unique<Database>(store_);
  }

 private:
  Store& store_;
};

}  // namespace fake
