// The tool side of the stand-in store: creating a store, seeding it from a script, dumping it
// as text and generating synthetic stores (formats in docs/standin.md).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <unordered_map>

#include "standin/dates.h"
#include "standin/file_io.h"
#include "standin/model.h"
#include "standin/shared_store.h"
#include "standin/store.h"
#include "standin/text.h"

namespace standin {
namespace {

namespace fs = std::filesystem;

const char kIniText[] =
    "; A stand-in SourceSafe database for Ostrabel's tests and demo (see docs/standin.md).\n"
    "[standin]\n"
    "Data_Path = data\n"
    "Journal = data/journal.txt\n";

// Same rule as the library's: 1 to 259 characters, none of / \ < > | : ; " $ or a control
// character, not beginning or ending with a space.
bool validName(const std::string& name) {
  std::wstring w = text::widen(name);
  if (w.empty() || w.size() > 259 || w.front() == L' ' || w.back() == L' ') return false;
  return std::none_of(w.begin(), w.end(), [](wchar_t c) {
    return c < 0x20 || c == 0x7F || std::wstring_view(L"/\\<>|:;\"$").find(c) != std::wstring_view::npos;
  });
}

std::string newStoreId() {
  std::random_device device;
  auto now = static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  char buffer[40];
  std::snprintf(buffer, sizeof buffer, "%08x%08x%016llx", device(), device(),
                static_cast<unsigned long long>(now));
  return buffer;
}

// ---- seeding scripts ----

struct Token {
  std::string text;
  bool quoted = false;
};

// Splits a script line into tokens; false with `error` set on an unterminated or bad quote.
bool tokenize(std::string_view line, std::vector<Token>& out, std::string& error) {
  std::size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (c == ' ' || c == '\t' || c == '\r') {
      ++i;
      continue;
    }
    Token token;
    if (c == '"') {
      token.quoted = true;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d == '\\') {
          if (i == line.size()) break;
          char e = line[i++];
          switch (e) {
            case 'n': token.text += '\n'; break;
            case 'r': token.text += '\r'; break;
            case 't': token.text += '\t'; break;
            case '"': token.text += '"'; break;
            case '\\': token.text += '\\'; break;
            default:
              error = std::string("unknown escape \\") + e;
              return false;
          }
        } else {
          token.text += d;
        }
      }
      if (!closed) {
        error = "unterminated quoted text";
        return false;
      }
      if (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
        error = "quoted text followed by other characters";
        return false;
      }
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') {
        if (line[i] == '"') {
          error = "quote inside a word";
          return false;
        }
        token.text += line[i++];
      }
    }
    out.push_back(std::move(token));
  }
  return true;
}

class ScriptError {
 public:
  explicit ScriptError(std::string m) : message(std::move(m)) {}
  std::string message;
};

class Seeder {
 public:
  explicit Seeder(Model& model) : model_(model) { clock_ = *parseSeconds("2000-01-01 00:00") - 60; }

  void line(const std::vector<Token>& tokens) {
    const std::string& command = tokens[0].text;
    std::size_t at = 1;
    auto positional = [&](const char* what) -> std::string {
      if (at >= tokens.size()) throw ScriptError(std::string("missing ") + what);
      return tokens[at++].text;
    };
    if (command == "user") {
      std::string name = positional("user name");
      auto o = options(tokens, at, {"password"});
      if (!validUser(name)) throw ScriptError("bad user name \"" + name + "\"");
      emit({"user", name, o.value("password")});
    } else if (command == "project") {
      std::string path = positional("path");
      auto o = options(tokens, at, {"by", "at", "comment"});
      stamp(o);
      std::uint32_t link = ensureProject(path, o);
      if (link == kNone) throw ScriptError("the root project exists already");
    } else if (command == "file") {
      std::string path = positional("path");
      auto o = options(tokens, at, {"by", "at", "content", "comment"});
      stamp(o);
      auto [parentPath, name] = splitLast(path);
      std::uint32_t parentLink = ensureProject(parentPath, o, true);
      std::uint32_t parent = model_.links[parentLink].node;
      if (model_.liveChild(parent, text::fold(name)) != kNone)
        throw ScriptError(path + " exists already");
      if (!validName(name)) throw ScriptError("bad name \"" + name + "\"");
      std::string spec = model_.spec(parentLink);
      spec = spec == "$/" ? "$/" + name : spec + "/" + name;
      std::string id = std::to_string(model_.nodes.size());
      emit({"file", id, std::to_string(parent), name, user_, time_, o.value("comment"),
            o.has("content") ? o.value("content") : spec + " version 1\n"});
    } else if (command == "version") {
      std::uint32_t link = existing(positional("path"));
      auto o = options(tokens, at, {"by", "at", "content", "comment"});
      stamp(o);
      std::uint32_t node = model_.links[link].node;
      if (model_.nodes[node].project) throw ScriptError(model_.spec(link) + " is a project");
      std::string content = o.has("content") ? o.value("content")
                                             : model_.spec(link) + " version " +
                                                   std::to_string(model_.nodes[node].versions + 1) + "\n";
      emit({"version", std::to_string(node), user_, time_, o.value("comment"), content});
    } else if (command == "label") {
      std::uint32_t link = existing(positional("path"));
      std::string label = positional("label text");
      auto o = options(tokens, at, {"by", "at", "comment"});
      stamp(o);
      if (label.empty()) throw ScriptError("empty label");
      emit({"label", std::to_string(model_.links[link].node), label, user_, time_, o.value("comment")});
    } else if (command == "delete") {
      std::uint32_t link = existing(positional("path"));
      auto o = options(tokens, at, {"by", "at"});
      stamp(o);
      if (link == 0) throw ScriptError("the root project cannot be deleted");
      emit({"delete", std::to_string(model_.links[link].parent), std::to_string(model_.links[link].node),
            user_, time_});
    } else if (command == "share") {
      std::uint32_t file = existing(positional("file path"));
      if (positional("\"into\"") != "into") throw ScriptError("expected \"into\"");
      std::uint32_t project = existing(positional("project path"));
      auto o = options(tokens, at, {"by", "at"});
      stamp(o);
      std::uint32_t node = model_.links[file].node;
      std::uint32_t target = model_.links[project].node;
      if (model_.nodes[node].project) throw ScriptError(model_.spec(file) + " is a project");
      if (!model_.nodes[target].project) throw ScriptError(model_.spec(project) + " is a file");
      if (model_.liveChild(target, text::fold(model_.links[file].name)) != kNone)
        throw ScriptError(model_.spec(project) + " holds an item named " + model_.links[file].name);
      emit({"share", std::to_string(target), std::to_string(node), user_, time_});
    } else if (command == "fault") {
      std::uint32_t link = existing(positional("path"));
      std::string op = positional("operation");
      std::string node = std::to_string(model_.links[link].node);
      if (op == "none") {
        options(tokens, at, {});
        emit({"nofault", node});
        return;
      }
      if (op != "versions" && op != "share" && op != "get")
        throw ScriptError("unknown fault operation \"" + op + "\" (versions, share, get, none)");
      std::int32_t status = parseStatus(positional("status"));
      auto o = options(tokens, at, {"text"});
      emit({"fault", node, op, std::to_string(status),
            o.has("text") ? o.value("text") : std::string("Injected failure")});
    } else {
      throw ScriptError("unknown command \"" + command + "\"");
    }
  }

  const Transaction& transaction() const { return tx_; }

 private:
  struct Options {
    std::vector<std::pair<std::string, std::string>> values;
    bool has(const std::string& key) const {
      return std::any_of(values.begin(), values.end(), [&](const auto& v) { return v.first == key; });
    }
    std::string value(const std::string& key) const {
      for (const auto& v : values)
        if (v.first == key) return v.second;
      return {};
    }
  };

  static Options options(const std::vector<Token>& tokens, std::size_t at,
                         std::initializer_list<const char*> allowed) {
    Options o;
    while (at < tokens.size()) {
      const Token& key = tokens[at];
      bool known = !key.quoted && std::any_of(allowed.begin(), allowed.end(),
                                              [&](const char* a) { return key.text == a; });
      if (!known) throw ScriptError("unexpected \"" + key.text + "\"");
      if (o.has(key.text)) throw ScriptError("\"" + key.text + "\" given twice");
      if (++at >= tokens.size()) throw ScriptError("missing value after \"" + key.text + "\"");
      std::string value = tokens[at++].text;
      // An unquoted time comes as two words: the date and the time of day.
      if (key.text == "at" && !tokens[at - 1].quoted && value.size() == 10 && at < tokens.size() &&
          !tokens[at].quoted && tokens[at].text.find(':') != std::string::npos)
        value += " " + tokens[at++].text;
      o.values.emplace_back(key.text, value);
    }
    return o;
  }

  // Sets the user and time of the line's records from its options, or their defaults.
  void stamp(const Options& o) {
    user_ = o.has("by") ? o.value("by") : "Admin";
    if (user_.empty()) throw ScriptError("empty user name");
    if (o.has("at")) {
      auto seconds = parseSeconds(o.value("at"));
      if (!seconds) throw ScriptError("bad time \"" + o.value("at") + "\" (YYYY-MM-DD HH:MM[:SS])");
      clock_ = *seconds;
    } else {
      clock_ += 60;
    }
    time_ = formatSeconds(clock_);
  }

  static bool validUser(const std::string& name) {
    return !name.empty() && name.find_first_of("\t\n\r") == std::string::npos;
  }

  static std::int32_t parseStatus(const std::string& s) {
    try {
      std::size_t used = 0;
      long long v;
      if (s.starts_with("0x") || s.starts_with("0X"))
        v = static_cast<long long>(std::stoull(s.substr(2), &used, 16)), used += 2;
      else
        v = std::stoll(s, &used, 10);
      if (used != s.size() || v < INT32_MIN || v > static_cast<long long>(UINT32_MAX)) throw 0;
      return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    } catch (...) {
      throw ScriptError("bad status \"" + s + "\"");
    }
  }

  static void checkPath(const std::string& path) {
    if (!(path == "$" || path.starts_with("$/")))
      throw ScriptError("\"" + path + "\" is not a database path (it starts with $/)");
  }

  static std::pair<std::string, std::string> splitLast(std::string path) {
    checkPath(path);
    while (path.size() > 2 && path.back() == '/') path.pop_back();
    auto slash = path.rfind('/');
    if (path.size() <= 2 || slash == std::string::npos) throw ScriptError("a file needs a name below $/");
    return {path.substr(0, slash + 1), path.substr(slash + 1)};
  }

  std::uint32_t existing(const std::string& path) {
    checkPath(path);
    std::uint32_t link = model_.resolve(path, false);
    if (link == kNone) throw ScriptError(path + " not found");
    return link;
  }

  // The project at `path`, creating it and any missing projects above it. Returns kNone for the
  // root unless `rootOk`.
  std::uint32_t ensureProject(const std::string& path, const Options& o, bool rootOk = false) {
    checkPath(path);
    std::uint32_t link = 0;
    std::size_t at = 1;
    while (at < path.size()) {
      if (path[at] == '/') {
        ++at;
        continue;
      }
      std::size_t end = path.find('/', at);
      if (end == std::string::npos) end = path.size();
      std::string name = path.substr(at, end - at);
      std::uint32_t node = model_.links[link].node;
      std::uint32_t child = model_.liveChild(node, text::fold(name));
      if (child == kNone) {
        if (!validName(name)) throw ScriptError("bad name \"" + name + "\"");
        std::uint32_t id = static_cast<std::uint32_t>(model_.nodes.size());
        emit({"project", std::to_string(id), std::to_string(node), name, user_, time_,
              o.value("comment")});
        child = model_.projectLink(id);
      } else if (!model_.nodes[model_.links[child].node].project) {
        throw ScriptError(model_.spec(child) + " is a file");
      }
      link = child;
      at = end;
    }
    return link == 0 && !rootOk ? kNone : link;
  }

  void emit(std::initializer_list<std::string_view> fields) {
    tx_.add(fields);
    if (!model_.apply(tx_.records().back())) throw ScriptError("the change does not fit the store");
  }

  Model& model_;
  Transaction tx_;
  std::int64_t clock_;
  std::string user_ = "Admin";
  std::string time_;
};

// ---- dump ----

class Dumper {
 public:
  Dumper(const Model& model, const std::string& journal) : model_(model), journal_(journal) {}

  std::string run() {
    out_ = "# standin dump\n";
    for (const auto& [folded, user] : model_.users) {
      out_ += "user " + word(user.name);
      if (!user.password.empty()) out_ += " password " + text::quoted(user.password);
      out_ += '\n';
    }
    item(0);
    return out_;
  }

 private:
  static std::string word(const std::string& s) {
    bool plain = !s.empty() && s.find_first_of(" \t\r\n\"\\") == std::string::npos;
    return plain ? s : text::quoted(s);
  }

  std::string field(const HistoryRecord& r, int index) const {
    if (index < 0 || r.line == kNoLine) return {};
    auto fields = text::splitFields(std::string_view(journal_).substr(r.line, r.lineLength));
    return static_cast<std::size_t>(index) < fields.size() ? text::unescape(fields[index]) : std::string();
  }

  void item(std::uint32_t link) {
    const Link& l = model_.links[link];
    const Node& node = model_.nodes[l.node];
    std::string spec = model_.spec(link);
    std::string prefix = l.deleted ? "deleted " : "";
    if (node.project) {
      out_ += prefix + "project " + spec + "\n";
      for (const auto& r : node.history)
        if (r.kind == RecordKind::Label) label(r);
      for (auto child : model_.children(l.node, true)) item(child);
      return;
    }
    auto [it, first] = firstSpec_.emplace(l.node, spec);
    if (!first) {
      out_ += prefix + "file " + spec + " shares " + it->second + "\n";
      return;
    }
    out_ += prefix + "file " + spec + "\n";
    for (const auto& r : node.history) {
      if (r.kind == RecordKind::Label) {
        label(r);
        continue;
      }
      out_ += "  version " + std::to_string(r.number) + " by " + word(model_.people[r.user]) + " at " +
              formatSeconds(r.seconds);
      comment(r);
      out_ += " content " + text::quoted(field(r, contentField(r.kind))) + "\n";
    }
    auto faults = model_.faults.find(l.node);
    if (faults != model_.faults.end()) {
      auto list = faults->second;
      std::sort(list.begin(), list.end(), [](const Fault& a, const Fault& b) { return a.op < b.op; });
      for (const auto& f : list)
        out_ += "  fault " + f.op + " " + text::hexStatus(f.status) + " " + text::quoted(f.text) + "\n";
    }
  }

  void label(const HistoryRecord& r) {
    out_ += "  label " + text::quoted(model_.labels[r.label]) + " by " + word(model_.people[r.user]) +
            " at " + formatSeconds(r.seconds);
    comment(r);
    out_ += '\n';
  }

  void comment(const HistoryRecord& r) {
    std::string c = field(r, commentField(r.kind));
    if (!c.empty()) out_ += " comment " + text::quoted(c);
  }

  const Model& model_;
  const std::string& journal_;
  std::unordered_map<std::uint32_t, std::string> firstSpec_;
  std::string out_;
};

// ---- generate ----

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // In [low, high).
  std::int64_t between(std::int64_t low, std::int64_t high) {
    if (high <= low) return low;
    return low + static_cast<std::int64_t>(next() % static_cast<std::uint64_t>(high - low));
  }
  double unit() { return static_cast<double>(next() >> 11) / 9007199254740992.0; }

 private:
  std::uint64_t state_;
};

}  // namespace

void createStore(const fs::path& dir) {
  if (isStore(dir)) throw ToolError("a store exists already in " + dir.string());
  StorePaths paths(dir);
  try {
    fs::create_directories(paths.data);
    Transaction tx;
    tx.add({"store", newStoreId()});
    tx.add({"user", "Admin", ""});
    io::writeFile(paths.journal, tx.finish());
    io::syncDirectory(paths.data);
    // The ini comes last: a folder is a store only once its journal is complete.
    io::writeFile(paths.ini, kIniText);
    io::syncDirectory(paths.dir);
  } catch (const std::exception& e) {
    throw ToolError(std::string("cannot create the store: ") + e.what());
  }
}

void seed(const fs::path& dir, std::string_view script) {
  StorePaths paths(dir);
  if (!isStore(dir)) throw ToolError("no store in " + dir.string());
  io::ExclusiveLock lock(paths.lock);
  Model model;
  std::uint64_t end = 0;
  try {
    end = loadModel(paths, model);
  } catch (const std::exception& e) {
    throw ToolError(e.what());
  }
  Seeder seeder(model);
  if (script.starts_with("\xEF\xBB\xBF")) script.remove_prefix(3);  // a byte order mark of an editor
  int number = 0;
  std::size_t at = 0;
  while (at <= script.size()) {
    std::size_t stop = script.find('\n', at);
    if (stop == std::string_view::npos) stop = script.size();
    std::string_view line = script.substr(at, stop - at);
    at = stop + 1;
    ++number;
    std::vector<Token> tokens;
    std::string error;
    try {
      if (!tokenize(line, tokens, error)) throw ScriptError(error);
      if (tokens.empty() || (!tokens[0].quoted && tokens[0].text.starts_with("#"))) continue;
      seeder.line(tokens);
    } catch (const ScriptError& e) {
      throw ToolError("line " + std::to_string(number) + ": " + e.message, number);
    }
  }
  if (seeder.transaction().empty()) return;
  try {
    io::writeAt(paths.journal, end, seeder.transaction().finish());
  } catch (const std::exception& e) {
    throw ToolError(std::string("cannot write the store: ") + e.what());
  }
}

std::string dump(const fs::path& dir) {
  StorePaths paths(dir);
  Model model;
  std::string journal;
  try {
    loadModel(paths, model, &journal);
  } catch (const std::exception& e) {
    throw ToolError(e.what());
  }
  return Dumper(model, journal).run();
}

StoreSummary check(const fs::path& dir) {
  StorePaths paths(dir);
  Model model;
  std::uint64_t end = 0;
  auto started = std::chrono::steady_clock::now();
  try {
    end = loadModel(paths, model);
  } catch (const std::exception& e) {
    throw ToolError(e.what());
  }
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

void generate(const fs::path& dir, const GenerateOptions& options) {
  if (options.files < 0 || options.depth < 0 || options.fanout < 1 || options.history < 1 ||
      options.changedFraction < 0 || options.changedFraction > 1)
    throw ToolError("bad options: files >= 0, depth >= 0, fanout >= 1, history >= 1, 0 <= fraction <= 1");
  std::int64_t start = secondsFromDate(options.rangeStart);
  std::int64_t end = secondsFromDate(options.rangeEnd);
  if (end <= start) throw ToolError("the range must end after it starts");
  createStore(dir);
  StorePaths paths(dir);
  io::ExclusiveLock lock(paths.lock);
  Model base;
  std::uint64_t consumed = loadModel(paths, base);

  Random random(options.seed * 0x2545F4914F6CDD1Dull + 1);
  const char* people[] = {"alice", "bob", "carol", "dave"};
  const std::int64_t day = 86400;
  const std::int64_t oldFrom = start - 365 * day, oldTo = start - 2 * day;

  std::string out;
  std::size_t records = 0;
  auto add = [&](std::initializer_list<std::string_view> fields) {
    std::string record;
    bool first = true;
    for (auto f : fields) {
      if (!first) record += '\t';
      if (first) record += f; else text::appendEscaped(record, f);
      first = false;
    }
    out += journalLine(record);
    ++records;
  };
  for (const char* p : people) add({"user", p, ""});
  add({"user", "Compileruser", ""});
  std::uint32_t nextId = static_cast<std::uint32_t>(base.nodes.size());
  std::string created = formatSeconds(oldFrom - day);
  std::uint32_t gen = nextId++;
  add({"project", std::to_string(gen), "0", "gen", "Admin", created, ""});
  add({"label", "0", "Build base", "Compileruser", formatSeconds(start - day), ""});

  // File i goes to the chain of projects named by its lowest digits in base `fanout`, so that
  // consecutive files spread over the whole tree; once a level has more projects than there are
  // files, the levels below it carry one project each.
  std::vector<std::uint64_t> mods(static_cast<std::size_t>(options.depth) + 1, 1);
  for (std::size_t level = 1; level < mods.size(); ++level)
    mods[level] = mods[level - 1] > static_cast<std::uint64_t>(options.files)
                      ? mods[level - 1]
                      : mods[level - 1] * static_cast<std::uint64_t>(options.fanout);
  std::unordered_map<std::uint64_t, std::uint32_t> projects;  // (level, prefix) -> node
  char name[64];
  auto project = [&](std::uint64_t i) {
    std::uint32_t parent = gen;
    for (std::size_t level = 1; level < mods.size(); ++level) {
      std::uint64_t key = (i % mods[level]) * mods.size() + level;
      auto it = projects.find(key);
      if (it == projects.end()) {
        std::uint64_t digit = mods[level] == mods[level - 1] ? 0 : i / mods[level - 1] % static_cast<std::uint64_t>(options.fanout);
        std::snprintf(name, sizeof name, "p%02llu", static_cast<unsigned long long>(digit));
        std::uint32_t id = nextId++;
        add({"project", std::to_string(id), std::to_string(parent), name, "Admin", created, ""});
        it = projects.emplace(key, id).first;
      }
      parent = it->second;
    }
    return parent;
  };

  std::vector<std::int64_t> times(static_cast<std::size_t>(options.history));
  for (int i = 0; i < options.files; ++i) {
    std::uint32_t parent = project(static_cast<std::uint64_t>(i));
    bool changed = random.unit() < options.changedFraction;
    for (auto& t : times) t = random.between(oldFrom, oldTo);
    std::sort(times.begin(), times.end());
    if (changed) times.back() = random.between(start + 1, end);
    std::snprintf(name, sizeof name, "f%06d.txt", i);
    std::string id = std::to_string(nextId++);
    for (int v = 0; v < options.history; ++v) {
      std::string user = people[random.next() % 4];
      std::string content = std::string("generated ") + name + " version " + std::to_string(v + 1) + "\n";
      std::string when = formatSeconds(times[static_cast<std::size_t>(v)]);
      if (v == 0)
        add({"file", id, std::to_string(parent), name, user, when, "", content});
      else
        add({"version", id, user, when, "", content});
    }
    if (changed && random.next() % 10 == 0 && times.back() + 1 < end)
      add({"label", id, "Build " + std::to_string(i), "Compileruser",
           formatSeconds(random.between(times.back() + 1, end)), ""});
    // Changes of a few thousand files each keep the pieces read at opening small.
    if (i % 4096 == 4095) {
      out += journalLine("commit\t" + std::to_string(records));
      records = 0;
    }
  }
  if (records > 0) out += journalLine("commit\t" + std::to_string(records));
  try {
    io::writeAt(paths.journal, consumed, out);
  } catch (const std::exception& e) {
    throw ToolError(std::string("cannot write the store: ") + e.what());
  }
}

}  // namespace standin
