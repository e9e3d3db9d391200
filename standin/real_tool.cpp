// A real database as the stand-in's tool prints it.
#include "standin/real_tool.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <unordered_map>

#include "standin/store.h"
#include "standin/text.h"

namespace standin {
namespace {

using vssdb::Damaged;
using vssdb::Database;
using vssdb::Entry;
using vssdb::Event;
using vssdb::kLabel;
using vssdb::User;

class Dumper {
 public:
  explicit Dumper(const Database& db) : db_(db) {}

  std::string run() {
    out_ = "# standin dump\n";
    std::vector<const User*> users;
    for (const User& u : db_.users()) users.push_back(&u);
    std::sort(users.begin(), users.end(), [](const User* a, const User* b) {
      const std::string fa = text::fold(a->name), fb = text::fold(b->name);
      return fa != fb ? fa < fb : a->name < b->name;
    });
    for (const User* u : users) {
      out_ += "user " + text::word(u->name);
      if (u->passwordHash != Database::passwordHash("")) {
        char hash[16];
        std::snprintf(hash, sizeof hash, "0x%04X", u->passwordHash);
        out_ += std::string(" password-hash ") + hash;
      }
      out_ += '\n';
    }
    item(0);
    return out_;
  }

 private:
  void item(std::uint32_t entry) {
    const Entry& e = db_.entries()[entry];
    const bool project = db_.nodes()[e.node].project;
    const std::string spec = db_.spec(entry);
    const std::string prefix = e.deleted ? "deleted " : "";
    if (!project) {
      auto [first, isFirst] = firstSpec_.emplace(e.node, spec);
      if (!isFirst) {
        out_ += prefix + "file " + spec + " shares " + first->second + "\n";
        return;
      }
    }
    out_ += prefix + (project ? "project " : "file ") + spec + "\n";
    history(e.node, project);
    if (project)
      for (std::uint32_t child : db_.children(e.node, true)) item(child);
  }

  // A project's labels, or a file's versions and labels (a branch's earlier ones too), oldest
  // first; what cannot be read, as "damaged" and why.
  void history(std::uint32_t node, bool project) {
    auto data = db_.item(node);
    std::vector<std::optional<std::string>> contents;
    std::vector<const Event*> records;
    for (const Event& e : data->events) records.push_back(&e);
    std::string damage = data->damage;
    vssdb::History history;
    if (!project && damage.empty()) {
      try {
        history = db_.history(node);
        records = history.events;
        contents = db_.contents(node);
      } catch (const Damaged& e) {
        damage = e.what();
      }
    }
    for (const Event* event : records) {
      const Event& r = *event;
      const bool label = r.action == kLabel;
      if (!label && project) continue;
      out_ += label ? "  label " + text::quoted(r.label) : "  version " + std::to_string(r.version);
      out_ += " by " + text::word(r.user) + " at " + formatDateTime(db_.date(r.stored));
      const std::string& comment = label ? r.labelComment : r.comment;
      if (!comment.empty()) out_ += " comment " + text::quoted(comment);
      const auto at = static_cast<std::size_t>(r.version - 1);
      if (!label && at < contents.size() && contents[at])
        out_ += " content " + text::quoted(*contents[at]);
      out_ += '\n';
    }
    if (!damage.empty()) out_ += "  damaged " + text::quoted(damage) + "\n";
  }

  const Database& db_;
  std::unordered_map<std::uint32_t, std::string> firstSpec_;
  std::string out_;
};

double since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

}  // namespace

std::string dumpReal(const Database& db) { return Dumper(db).run(); }

CheckReport checkReal(const std::filesystem::path& dir) {
  CheckReport report;
  auto start = std::chrono::steady_clock::now();
  Database db(dir);
  report.openMilliseconds = since(start);
  start = std::chrono::steady_clock::now();
  report.counts = db.check();
  report.checkMilliseconds = since(start);
  return report;
}

}  // namespace standin
