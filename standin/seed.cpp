// Seeding scripts (format in docs/standin.md): each line becomes records of one change, checked
// against the store's model as they are made; the change is written only when every line is good.
#include <algorithm>
#include <charconv>
#include <map>

#include "standin/dates.h"
#include "standin/file_io.h"
#include "standin/journal.h"
#include "standin/shared_store.h"
#include "standin/store.h"
#include "standin/text.h"

namespace standin {
namespace {

// "0x8004D68F" or "-2147166577" as a status.
std::int32_t parseStatus(const std::string& s) {
  bool hex = s.starts_with("0x") || s.starts_with("0X");
  std::string_view digits = std::string_view(s).substr(hex ? 2 : 0);
  long long value = 0;
  auto r = std::from_chars(digits.data(), digits.data() + digits.size(), value, hex ? 16 : 10);
  if (r.ec != std::errc() || r.ptr != digits.data() + digits.size() || (hex && value < 0) ||
      value < INT32_MIN || value > static_cast<long long>(UINT32_MAX))
    throw ToolError("bad status \"" + s + "\"");
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

// The `key value` pairs that follow a command's own arguments.
struct Options {
  std::map<std::string, std::string> values;
  bool has(const std::string& key) const { return values.count(key) > 0; }
  std::string operator()(const std::string& key, std::string fallback = {}) const {
    auto it = values.find(key);
    return it == values.end() ? fallback : it->second;
  }
};

class Seeder {
 public:
  explicit Seeder(Model& model) : model_(model), clock_(*parseSeconds("2000-01-01 00:00") - 60) {}

  void line(const std::vector<text::Token>& tokens) {
    static const std::map<std::string, void (Seeder::*)()> kCommands = {
        {"user", &Seeder::user},       {"project", &Seeder::project}, {"file", &Seeder::file},
        {"version", &Seeder::version}, {"label", &Seeder::label},     {"delete", &Seeder::remove},
        {"share", &Seeder::share},     {"pin", &Seeder::pin},         {"fault", &Seeder::fault}};
    auto command = kCommands.find(tokens[0].text);
    if (command == kCommands.end()) throw ToolError("unknown command \"" + tokens[0].text + "\"");
    tokens_ = &tokens;
    at_ = 1;
    (this->*command->second)();
  }

  const Transaction& transaction() const { return tx_; }

 private:
  // user NAME [password PW]
  void user() {
    std::string name = positional("user name");
    auto o = options({"password"});
    if (name.empty() || name.find_first_of("\t\n\r") != std::string::npos)
      throw ToolError("bad user name \"" + name + "\"");
    emit({"user", name, o("password")});
  }

  // project PATH [by USER] [at TIME] [comment TEXT]
  void project() {
    std::string path = positional("path");
    auto o = stamped({"comment"});
    if (ensureProject(path, o) == 0) throw ToolError("the root project exists already");
  }

  // file PATH [by USER] [at TIME] [content TEXT] [comment TEXT]
  void file() {
    std::string path = positional("path");
    auto o = stamped({"content", "comment"});
    checkPath(path);
    while (path.size() > 2 && path.back() == '/') path.pop_back();
    auto slash = path.rfind('/');
    if (path.size() <= 2) throw ToolError("a file needs a name below $/");
    std::string name = path.substr(slash + 1);
    std::uint32_t parentLink = ensureProject(path.substr(0, slash + 1), o);
    std::uint32_t parent = model_.links[parentLink].node;
    if (model_.liveChild(parent, text::fold(name)) != kNone)
      throw ToolError(path + " exists already");
    if (!text::validName(name)) throw ToolError("bad name \"" + name + "\"");
    std::string spec = (parentLink == 0 ? "$" : model_.spec(parentLink)) + "/" + name;
    emit({"file", std::to_string(model_.nodes.size()), std::to_string(parent), name, user_, time_,
          o("comment"), o("content", spec + " version 1\n")});
  }

  // version PATH [by USER] [at TIME] [content TEXT] [comment TEXT]
  void version() {
    std::uint32_t link = existing(positional("path"));
    auto o = stamped({"content", "comment"});
    const Node& node = model_.nodes[model_.links[link].node];
    if (node.project) throw ToolError(model_.spec(link) + " is a project");
    if (model_.links[link].pinned != 0) throw ToolError(model_.spec(link) + " is pinned");
    std::string next = std::to_string(node.history.size() + 1);
    // Checked in from the project of the path given.
    emit({"version", std::to_string(model_.links[link].node), user_, time_, o("comment"),
          o("content", model_.spec(link) + " version " + next + "\n"),
          std::to_string(model_.links[link].parent)});
  }

  // label PATH LABEL [by USER] [at TIME] [comment TEXT]
  void label() {
    std::uint32_t link = existing(positional("path"));
    std::string label = positional("label text");
    auto o = stamped({"comment"});
    if (label.empty()) throw ToolError("empty label");
    emit({"label", std::to_string(model_.links[link].node), label, user_, time_, o("comment")});
  }

  // delete PATH [by USER] [at TIME]
  void remove() {
    std::uint32_t link = existing(positional("path"));
    stamped({});
    if (link == 0) throw ToolError("the root project cannot be deleted");
    const Link& l = model_.links[link];
    emit({"delete", std::to_string(l.parent), std::to_string(l.node), user_, time_});
  }

  // share FILE into PROJECT [by USER] [at TIME]
  void share() { shareInto(false); }

  // pin FILE into PROJECT version N [by USER] [at TIME]
  void pin() { shareInto(true); }

  void shareInto(bool pin) {
    std::uint32_t file = existing(positional("file path"));
    if (positional("\"into\"") != "into") throw ToolError("expected \"into\"");
    std::uint32_t project = existing(positional("project path"));
    std::string version;
    if (pin &&
        (positional("\"version\"") != "version" || (version = positional("version")).empty()))
      throw ToolError("expected \"version N\"");
    stamped({});
    std::uint32_t node = model_.links[file].node, target = model_.links[project].node;
    if (model_.nodes[node].project) throw ToolError(model_.spec(file) + " is a project");
    if (!model_.nodes[target].project) throw ToolError(model_.spec(project) + " is a file");
    const std::string& name = model_.links[file].name;
    if (model_.liveChild(target, text::fold(name)) != kNone)
      throw ToolError(model_.spec(project) + " holds an item named " + name);
    const std::size_t newest = model_.nodes[node].history.size();
    if (pin && (version.find_first_not_of("0123456789") != std::string::npos ||
                version.size() > 9 || std::stoul(version) < 1 || std::stoul(version) > newest))
      throw ToolError("no version " + version + " of " + model_.spec(file) + " (1 to " +
                      std::to_string(newest) + ")");
    if (pin) {
      emit({"pin", std::to_string(target), std::to_string(node), user_, time_, std::to_string(file),
            version});
    } else {
      emit({"share", std::to_string(target), std::to_string(node), user_, time_,
            std::to_string(file)});
    }
  }

  // fault PATH versions|share|get STATUS [text TEXT], fault PATH none
  void fault() {
    std::string node = std::to_string(model_.links[existing(positional("path"))].node);
    std::string op = positional("operation");
    if (op == "none") {
      options({});
      emit({"nofault", node});
      return;
    }
    if (op != "versions" && op != "share" && op != "get")
      throw ToolError("unknown fault operation \"" + op + "\" (versions, share, get, none)");
    std::int32_t status = parseStatus(positional("status"));
    auto o = options({"text"});
    emit({"fault", node, op, std::to_string(status), o("text", "Injected failure")});
  }

  std::string positional(const char* what) {
    if (at_ >= tokens_->size()) throw ToolError(std::string("missing ") + what);
    return (*tokens_)[at_++].text;
  }

  // The rest of the line as options, each allowed at most once. A stamped line also takes `by`
  // and `at`, which set the user and time of its records (by default Admin, and one minute after
  // the script's previous record).
  Options options(std::vector<std::string_view> allowed) {
    const auto& tokens = *tokens_;
    Options o;
    while (at_ < tokens.size()) {
      const text::Token& key = tokens[at_];
      if (key.quoted || std::find(allowed.begin(), allowed.end(), key.text) == allowed.end())
        throw ToolError("unexpected \"" + key.text + "\"");
      if (o.has(key.text)) throw ToolError("\"" + key.text + "\" given twice");
      if (++at_ >= tokens.size()) throw ToolError("missing value after \"" + key.text + "\"");
      std::string value = tokens[at_++].text;
      // An unquoted time comes as two words: the date and the time of day.
      if (key.text == "at" && !tokens[at_ - 1].quoted && value.size() == 10 &&
          at_ < tokens.size() && !tokens[at_].quoted &&
          tokens[at_].text.find(':') != std::string::npos)
        value += " " + tokens[at_++].text;
      o.values[key.text] = value;
    }
    return o;
  }

  Options stamped(std::vector<std::string_view> allowed) {
    allowed.insert(allowed.end(), {"by", "at"});
    Options o = options(allowed);
    user_ = o("by", "Admin");
    if (user_.empty()) throw ToolError("empty user name");
    if (o.has("at")) {
      auto seconds = parseSeconds(o("at"));
      if (!seconds) throw ToolError("bad time \"" + o("at") + "\" (YYYY-MM-DD HH:MM[:SS])");
      clock_ = *seconds;
    } else {
      clock_ += 60;
    }
    time_ = formatSeconds(clock_);
    return o;
  }

  static void checkPath(const std::string& path) {
    if (!(path == "$" || path.starts_with("$/")))
      throw ToolError("\"" + path + "\" is not a database path (it starts with $/)");
  }

  std::uint32_t existing(const std::string& path) {
    checkPath(path);
    std::uint32_t link = model_.resolve(path, false);
    if (link == kNone) throw ToolError(path + " not found");
    return link;
  }

  // The entry of the project at `path` (0 for the root), creating it and any missing projects
  // above it.
  std::uint32_t ensureProject(const std::string& path, const Options& o) {
    checkPath(path);
    std::uint32_t link = 0;
    for (std::size_t at = path.find_first_not_of('/', 1); at != std::string::npos;) {
      std::size_t end = std::min(path.find('/', at), path.size());
      std::string name = path.substr(at, end - at);
      at = path.find_first_not_of('/', end);
      std::uint32_t node = model_.links[link].node;
      std::uint32_t child = model_.liveChild(node, text::fold(name));
      if (child == kNone) {
        if (!text::validName(name)) throw ToolError("bad name \"" + name + "\"");
        std::uint32_t id = static_cast<std::uint32_t>(model_.nodes.size());
        emit({"project", std::to_string(id), std::to_string(node), name, user_, time_,
              o("comment")});
        child = model_.projectLink(id);
      } else if (!model_.nodes[model_.links[child].node].project) {
        throw ToolError(model_.spec(child) + " is a file");
      }
      link = child;
    }
    return link;
  }

  void emit(std::initializer_list<std::string_view> fields) {
    tx_.add(fields);
    if (!model_.apply(tx_.records().back())) throw ToolError("the change does not fit the store");
  }

  Model& model_;
  Transaction tx_;
  const std::vector<text::Token>* tokens_ = nullptr;
  std::size_t at_ = 0;
  std::int64_t clock_;
  std::string user_ = "Admin";
  std::string time_;
};

}  // namespace

void seed(const std::filesystem::path& dir, std::string_view script) {
  StorePaths paths(dir);
  if (!isStore(dir)) throw ToolError("no store in " + dir.string());
  io::ExclusiveLock lock(paths.lock);
  Model model;
  std::uint64_t end = loadModel(paths, model);
  Seeder seeder(model);
  if (script.starts_with("\xEF\xBB\xBF")) script.remove_prefix(3);  // an editor's byte order mark
  int number = 0;
  for (std::size_t at = 0; at <= script.size();) {
    std::size_t stop = std::min(script.find('\n', at), script.size());
    std::string_view line = script.substr(at, stop - at);
    at = stop + 1;
    ++number;
    try {
      auto tokens = text::tokenize(line);
      if (!tokens.empty() && (tokens[0].quoted || !tokens[0].text.starts_with("#")))
        seeder.line(tokens);
    } catch (const ToolError& e) {
      throw ToolError("line " + std::to_string(number) + ": " + e.what(), number);
    }
  }
  if (!seeder.transaction().empty()) io::writeAt(paths.journal, end, seeder.transaction().finish());
}

}  // namespace standin
