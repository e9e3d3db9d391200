// The tool side of the stand-in store: creating a store, dumping it as text (format in
// docs/standin.md) and checking it. Seeding and generating have files of their own.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <unordered_map>

#include "standin/dates.h"
#include "standin/file_io.h"
#include "standin/journal.h"
#include "standin/shared_store.h"
#include "standin/store.h"
#include "standin/text.h"

namespace standin {
namespace {

const char kIniText[] =
    "; A stand-in SourceSafe database for Ostrabel's tests and demo (see docs/standin.md).\n"
    "[standin]\n"
    "Journal = data/journal.txt\n";

std::string newStoreId() {
  std::random_device device;
  auto now =
      static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%08x%08x%016llx", device(), device(), now);
  return buffer;
}

class Dumper {
 public:
  Dumper(const Model& model, const std::string& journal) : model_(model), journal_(journal) {}

  std::string run() {
    out_ = "# standin dump\n";
    for (const auto& [folded, user] : model_.users) {
      out_ += "user " + text::word(user.name);
      if (!user.password.empty()) out_ += " password " + text::quoted(user.password);
      out_ += '\n';
    }
    item(0);
    return out_;
  }

 private:
  std::string field(const HistoryRecord& r, int index) const {
    if (index < 0 || r.line == kNoLine) return {};
    auto fields = text::splitFields(std::string_view(journal_).substr(r.line, r.lineLength));
    return static_cast<std::size_t>(index) < fields.size() ? text::unescape(fields[index]) : "";
  }

  void item(std::uint32_t link) {
    const Link& l = model_.links[link];
    const Node& node = model_.nodes[l.node];
    std::string spec = model_.spec(link);
    std::string prefix = l.deleted ? "deleted " : "";
    if (node.project) {
      out_ += prefix + "project " + spec + "\n";
      history(node);
      for (auto child : model_.children(l.node, true)) item(child);
      return;
    }
    const std::string pin =
        l.pinned != 0 ? " pinned at version " + std::to_string(l.pinned) : std::string();
    auto [first, isFirst] = firstSpec_.emplace(l.node, spec);
    if (!isFirst) {
      out_ += prefix + "file " + spec + " shares " + first->second + pin + "\n";
      return;
    }
    out_ += prefix + "file " + spec + pin + "\n";
    history(node);
    auto faults = model_.faults.find(l.node);
    if (faults == model_.faults.end()) return;
    auto list = faults->second;
    std::sort(list.begin(), list.end(), [](const Fault& a, const Fault& b) { return a.op < b.op; });
    for (const auto& f : list) {
      char status[16];
      std::snprintf(status, sizeof status, "0x%08X", static_cast<unsigned>(f.status));
      out_ += "  fault " + f.op + " " + status + " " + text::quoted(f.text) + "\n";
    }
  }

  // A project's labels, or a file's versions and labels, oldest first (a project's other records
  // tell what the dump shows of its entries).
  void history(const Node& node) {
    for (const auto& r : node.history) {
      bool label = r.kind == RecordKind::Label;
      if (!label && node.project) continue;
      out_ += label ? "  label " + text::quoted(model_.labels[r.label])
                    : "  version " + std::to_string(r.number);
      out_ += " by " + text::word(model_.people[r.user]) + " at " + formatSeconds(r.seconds);
      // A check-in made through another place of the file than its first.
      if (r.kind == RecordKind::CheckedIn && r.ref != model_.links[node.firstLink].parent)
        out_ += " from " + model_.spec(model_.projectLink(r.ref));
      std::string comment = field(r, commentField(r.kind));
      if (!comment.empty()) out_ += " comment " + text::quoted(comment);
      if (!label) out_ += " content " + text::quoted(field(r, contentField(r.kind)));
      out_ += '\n';
    }
  }

  const Model& model_;
  const std::string& journal_;
  std::unordered_map<std::uint32_t, std::string> firstSpec_;
  std::string out_;
};

}  // namespace

void createStore(const std::filesystem::path& dir) {
  if (isStore(dir)) throw ToolError("a store exists already in " + dir.string());
  StorePaths paths(dir);
  // A database made by real SourceSafe is only ever read (the tool dumps and checks one).
  std::error_code ec;
  if (std::filesystem::exists(paths.ini, ec) && std::filesystem::exists(paths.data / "um.dat", ec))
    throw ToolError("a SourceSafe database is in " + dir.string() +
                    "; the stand-in never writes into one");
  std::filesystem::create_directories(paths.data, ec);
  Transaction tx;
  tx.add({"store", newStoreId()});
  tx.add({"user", "Admin", ""});
  io::writeFile(paths.journal, tx.finish());
  // The ini comes last: a folder is a store only once its journal is complete.
  io::writeFile(paths.ini, kIniText);
}

std::string dump(const std::filesystem::path& dir) {
  Model model;
  std::string journal;
  loadModel(StorePaths(dir), model, &journal);
  return Dumper(model, journal).run();
}

StoreSummary check(const std::filesystem::path& dir) {
  StorePaths paths(dir);
  Model model;
  auto started = std::chrono::steady_clock::now();
  std::uint64_t end = loadModel(paths, model);
  StoreSummary s;
  s.loadMilliseconds =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
  for (const auto& node : model.nodes) {
    (node.project ? s.projects : s.files)++;
    s.records += node.history.size();
  }
  s.entries = model.links.size();
  s.users = model.users.size();
  s.journalBytes = static_cast<std::uint64_t>(io::fileSize(paths.journal));
  s.tornBytes = s.journalBytes - end;
  return s;
}

}  // namespace standin
