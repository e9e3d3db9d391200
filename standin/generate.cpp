// Synthetic stores for benchmarks and large tests (what the options mean: docs/standin.md). The
// records are written straight into the journal, without a model to check them against, so a
// store of 100,000 files is made in seconds.
#include <algorithm>
#include <cstdio>
#include <unordered_map>

#include "standin/dates.h"
#include "standin/file_io.h"
#include "standin/journal.h"
#include "standin/shared_store.h"
#include "standin/store.h"

namespace standin {
namespace {

// splitmix64: the same seed gives the same store on every platform.
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

void generate(const std::filesystem::path& dir, const GenerateOptions& options) {
  if (options.files < 0 || options.depth < 0 || options.fanout < 1 || options.history < 1 ||
      options.changedFraction < 0 || options.changedFraction > 1)
    throw ToolError(
        "bad options: files >= 0, depth >= 0, fanout >= 1, history >= 1, 0 <= fraction <= 1");
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
    out += journalLine(makeRecord(fields));
    ++records;
  };
  for (const char* p : people) add({"user", p, ""});
  add({"user", "Compileruser", ""});
  auto nextId = static_cast<std::uint32_t>(base.nodes.size());
  std::string created = formatSeconds(oldFrom - day);
  std::uint32_t gen = nextId++;
  add({"project", std::to_string(gen), "0", "gen", "Admin", created, ""});
  add({"label", "0", "Build base", "Compileruser", formatSeconds(start - day), ""});

  // File i goes to the chain of projects named by its lowest digits in base `fanout`, so that
  // consecutive files spread over the whole tree; once a level has more projects than there are
  // files, the levels below it carry one project each.
  std::vector<std::uint64_t> mods(static_cast<std::size_t>(options.depth) + 1, 1);
  auto fanout = static_cast<std::uint64_t>(options.fanout);
  for (std::size_t level = 1; level < mods.size(); ++level)
    mods[level] = mods[level - 1] *
                  (mods[level - 1] > static_cast<std::uint64_t>(options.files) ? 1 : fanout);
  std::unordered_map<std::uint64_t, std::uint32_t> projects;  // (level, prefix) -> node
  char name[64];
  auto project = [&](std::uint64_t i) {
    std::uint32_t parent = gen;
    for (std::size_t level = 1; level < mods.size(); ++level) {
      std::uint64_t key = (i % mods[level]) * mods.size() + level;
      auto it = projects.find(key);
      if (it == projects.end()) {
        std::uint64_t digit = mods[level] == mods[level - 1] ? 0 : i / mods[level - 1] % fanout;
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
    // The library reports times in steps of two seconds: an even second inside the range reads
    // as itself.
    if (changed) times.back() = random.between(start + 2, end) / 2 * 2;
    std::snprintf(name, sizeof name, "f%06d.txt", i);
    std::string id = std::to_string(nextId++);
    for (int v = 0; v < options.history; ++v) {
      std::string user = people[random.next() % 4];
      std::string content =
          std::string("generated ") + name + " version " + std::to_string(v + 1) + "\n";
      std::string when = formatSeconds(times[static_cast<std::size_t>(v)]);
      if (v == 0)
        add({"file", id, std::to_string(parent), name, user, when, "", content});
      else
        add({"version", id, user, when, "", content});
    }
    if (changed && random.next() % 10 == 0 && times.back() + 1 < end)
      add({"label", id, "Build " + std::to_string(i), "Compileruser",
           formatSeconds(random.between(times.back() + 1, end)), ""});
    // Changes of a few thousand files each: a generator that is stopped leaves a smaller store.
    if (i % 4096 == 4095) {
      out += commitLine(records);
      records = 0;
    }
  }
  if (records > 0) out += commitLine(records);
  io::writeAt(paths.journal, consumed, out);
}

}  // namespace standin
