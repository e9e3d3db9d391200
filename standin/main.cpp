// The `standin` command-line tool: creates, seeds, dumps and generates stand-in stores.
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "standin/file_io.h"
#include "standin/real_tool.h"
#include "standin/shared_store.h"
#include "standin/store.h"
#include "standin/text.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

namespace fs = std::filesystem;

const char kUsage[] =
    "usage: standin create DIR\n"
    "       standin seed DIR SCRIPT        (SCRIPT \"-\": standard input)\n"
    "       standin dump DIR\n"
    "       standin check DIR              (counts, and the time loading it takes)\n"
    "       standin generate DIR --files N --depth D --fanout F --history H\n"
    "                        --changed-fraction P --range START END --seed S\n"
    "DIR may also be the path of the store's srcsafe.ini. dump and check also read a database\n"
    "made by real SourceSafe (check verifies every checksum and CRC; status 1 on damage).\n";

// The store folder of an argument that names either the folder or its srcsafe.ini.
fs::path storeDir(const fs::path& arg) {
  std::error_code ec;
  if (standin::text::fold(arg.filename().string()) == "srcsafe.ini" && fs::is_regular_file(arg, ec))
    return arg.parent_path().empty() ? fs::path(".") : arg.parent_path();
  return arg;
}

std::string readAll(std::FILE* f) {
  std::string data;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) data.append(buffer, n);
  return data;
}

double date(const std::string& text) {
  auto d = standin::parseDateTime(text);
  if (!d) d = standin::parseDateTime(text + " 00:00");
  if (!d) throw standin::ToolError("bad date \"" + text + "\" (YYYY-MM-DD[ HH:MM[:SS]])");
  return *d;
}

int run(const std::vector<fs::path>& paths, const std::vector<std::string>& args) {
  if (args.size() < 2) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  const std::string& command = args[0];
  fs::path dir = storeDir(paths[1]);
  if (command == "create" && args.size() == 2) {
    standin::createStore(dir);
    return 0;
  }
  if (command == "seed" && args.size() == 3) {
    standin::seed(dir, args[2] == "-"
                           ? readAll(stdin)
                           : standin::io::readRange(paths[2], 0, ~std::uint64_t{0} >> 1));
    return 0;
  }
  const bool real = !standin::isStore(dir) && vssdb::Database::isDatabase(dir);
  if (command == "dump" && args.size() == 2) {
    std::string text = real ? standin::dumpReal(vssdb::Database(dir)) : standin::dump(dir);
    std::fwrite(text.data(), 1, text.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  if (command == "check" && args.size() == 2 && real) {
    auto r = standin::checkReal(dir);
    const auto& c = r.counts;
    std::printf(
        "projects %zu\nfiles %zu\nentries %zu\ndeleted entries %zu\nlog records %zu\nusers %zu\n"
        "records verified %zu\nnewest contents verified %zu\nolder versions rebuilt %zu\n"
        "damaged items %zu\nopen ms %.1f\ncheck ms %.1f\n",
        c.projects, c.files, c.entries, c.deletedEntries, c.events, c.users, c.records, c.contents,
        c.rebuilt, c.damaged.size(), r.openMilliseconds, r.checkMilliseconds);
    for (const auto& d : c.damaged) std::fprintf(stderr, "damaged: %s\n", d.c_str());
    return c.damaged.empty() ? 0 : 1;
  }
  if (command == "check" && args.size() == 2) {
    auto s = standin::check(dir);
    std::printf(
        "projects %zu\nfiles %zu\nentries %zu\nrecords %zu\nusers %zu\njournal bytes %llu\n"
        "unfinished bytes %llu\nload ms %.1f\n",
        s.projects, s.files, s.entries, s.records, s.users,
        static_cast<unsigned long long>(s.journalBytes),
        static_cast<unsigned long long>(s.tornBytes), s.loadMilliseconds);
    return 0;
  }
  if (command == "generate") {
    standin::GenerateOptions o;
    bool haveRange = false;
    for (std::size_t i = 2; i < args.size(); ++i) {
      const std::string& key = args[i];
      auto value = [&]() -> const std::string& {
        if (i + 1 >= args.size()) throw standin::ToolError("missing value after " + key);
        return args[++i];
      };
      const std::map<std::string, int*> counts = {{"--files", &o.files},
                                                  {"--depth", &o.depth},
                                                  {"--fanout", &o.fanout},
                                                  {"--history", &o.history}};
      try {
        if (counts.count(key)) {
          *counts.at(key) = std::stoi(value());
        } else if (key == "--changed-fraction") {
          o.changedFraction = std::stod(value());
        } else if (key == "--seed") {
          o.seed = static_cast<std::uint32_t>(std::stoul(value()));
        } else if (key == "--range") {
          o.rangeStart = date(value());
          o.rangeEnd = date(value());
          haveRange = true;
        } else {
          throw standin::ToolError("unknown option " + key);
        }
      } catch (const std::logic_error&) {
        throw standin::ToolError("bad value for " + key);
      }
    }
    if (!haveRange) throw standin::ToolError("--range START END is required");
    standin::generate(dir, o);
    return 0;
  }
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

// Wide arguments on Windows (any path the system can name), bytes elsewhere; commands and
// options are compared as UTF-8.
#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
#else
int main(int argc, char** argv) {
#endif
  try {
    std::vector<fs::path> paths(argv + 1, argv + argc);
    std::vector<std::string> args;
    for (const auto& p : paths) {
      std::u8string utf8 = p.u8string();
      args.emplace_back(utf8.begin(), utf8.end());
    }
    return run(paths, args);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "standin: %s\n", e.what());
    return 1;
  }
}
