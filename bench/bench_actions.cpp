// bench_actions: a Share run into a fresh patch project and a Local run into a fresh folder over
// a synthetic store whose files are all changed in the range (10,000 files in 1,000 folders by
// default). Counts the library calls by kind through a counting decorator and prints them per
// file, next to the calls of a View run over the same store (the walk's own share of them).
// Natively the library is the stand-in adapter; on Windows the COM client with the stand-in
// server registered. The window is a quiet one in both.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <system_error>
#include <vector>

#include "bench/support.h"
#include "engine/patcher.h"

namespace fs = std::filesystem;

namespace {

bench::Options parse(const std::vector<std::wstring>& argv) {
  return bench::parseOptions(
      argv,
      {"bench-stores",
       {.files = 10000, .depth = 3, .fanout = 10, .history = 5, .changedFraction = 1.0},
       3},
      nullptr, "bench_actions [--stores DIR] [--files N] [--depth D] [--fanout F] [--reps R]");
}

double mib(std::uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

struct Outcome {
  double seconds = 0;
  bench::CallCounts calls;
  std::uint64_t processed = 0, unprocessed = 0, boxes = 0;
  std::wstring lastBox;
};

// One run in `mode` over the store at `db`; `patch` and `local` are the targets.
Outcome runOnce(vss::Library& library, engine::PlatformPort& platform, const fs::path& db,
                engine::ModeOption mode, const std::wstring& local) {
  Outcome out;
  const std::unique_ptr<vss::Library> counting = bench::countingLibrary(library, out.calls);
  bench::QuietWindow window;
  window.mode = mode;
  window.texts = {{engine::TextBox::Host, bench::iniOf(db)},
                  {engine::TextBox::Project, L"$/gen"},
                  {engine::TextBox::Patch, L"$/Patch"},
                  {engine::TextBox::User, bench::kUser},
                  {engine::TextBox::Passwd, bench::kPassword},
                  {engine::TextBox::StartDate, bench::widen(bench::kRangeStart)},
                  {engine::TextBox::EndDate, bench::widen(bench::kRangeEnd)},
                  {engine::TextBox::LocalDir, local}};
  engine::Patcher patcher(window, platform, *counting);
  bench::Stopwatch clock;
  patcher.cmdPatch_Click();
  out.seconds = clock.seconds();
  out.processed = window.lines[0];
  out.unprocessed = window.lines[1];
  out.boxes = window.boxes;
  out.lastBox = window.lastBox;
  return out;
}

void printCalls(const char* what, const Outcome& o, std::uint64_t files) {
  const double n = files ? static_cast<double>(files) : 1.0;
  const bench::CallCounts& c = o.calls;
  std::printf(
      "    %-6s calls per selected file: enumerations %.3f, lookups %.3f, creations %.3f, shares "
      "%.3f, "
      "fetches %.3f, histories %.3f  (totals %llu / %llu / %llu / %llu / %llu / %llu, opens "
      "%llu)\n",
      what, c.items / n, c.lookups / n, c.creations / n, c.shares / n, c.fetches / n,
      c.histories / n, static_cast<unsigned long long>(c.items),
      static_cast<unsigned long long>(c.lookups), static_cast<unsigned long long>(c.creations),
      static_cast<unsigned long long>(c.shares), static_cast<unsigned long long>(c.fetches),
      static_cast<unsigned long long>(c.histories), static_cast<unsigned long long>(c.opens));
}

int benchMain(const std::vector<std::wstring>& argv) {
  const bench::Options args = parse(argv);
  bench::Setting setting = bench::makeSetting();
  vss::Library* library = setting.library.get();
  engine::PlatformPort& platform = *setting.platform;
  const char* libraryName = setting.libraryName;
  const fs::path work = args.stores / ("actions-work-" + std::to_string(bench::processId()));
  std::printf("bench_actions: %d files, depth %d, fan-out %d, changed fraction %.2f; library: %s\n",
              args.store.files, args.store.depth, args.store.fanout, args.store.changedFraction,
              libraryName);

  std::vector<double> shareSeconds, localSeconds;
  Outcome view, share, local;
  for (int rep = 1; rep <= args.reps; ++rep) {
    // Each Share run gets a store of its own, so that its patch project is new.
    const fs::path db = work / ("db" + std::to_string(rep));
    bench::Stopwatch generation;
    bench::generateStore(db, args.store);
    standin::seed(db, "project $/Patch\n");
    const double generated = generation.seconds();
    if (rep == 1) view = runOnce(*library, platform, db, engine::ModeOption::View, L"");
    share = runOnce(*library, platform, db, engine::ModeOption::Share, L"");
    const fs::path folder = work / ("local" + std::to_string(rep));
    fs::create_directories(folder);
    // The engine adds a backslash between levels; natively the platform and the adapter read it as
    // "/".
    local = runOnce(*library, platform, db, engine::ModeOption::Local, folder.wstring());
    shareSeconds.push_back(share.seconds);
    localSeconds.push_back(local.seconds);
    std::printf(
        "  rep %d (store generated in %.1f s): Share %.2f s, %llu processed, %llu unprocessed; "
        "Local %.2f s, %llu processed, %llu unprocessed\n",
        rep, generated, share.seconds, static_cast<unsigned long long>(share.processed),
        static_cast<unsigned long long>(share.unprocessed), local.seconds,
        static_cast<unsigned long long>(local.processed),
        static_cast<unsigned long long>(local.unprocessed));
    for (const Outcome* o : {&share, &local}) {
      if (o->boxes != 1)
        std::wprintf(L"    %llu boxes, the last: %ls\n", static_cast<unsigned long long>(o->boxes),
                     o->lastBox.c_str());
    }
  }
  const std::uint64_t selected = view.processed;
  std::printf("  selected files (View run): %llu\n", static_cast<unsigned long long>(selected));
  std::printf(
      "  median of %d: Share %.0f files/s, Local %.0f files/s (selected files per second)\n",
      args.reps, selected / bench::median(shareSeconds), selected / bench::median(localSeconds));
  printCalls("View", view, selected);
  printCalls("Share", share, selected);
  printCalls("Local", local, selected);
  std::printf("  peak memory %.1f MiB\n", mib(bench::peakMemoryBytes()));

  // The Local runs' copies are read-only, as SourceSafe writes them; Windows removes only
  // writable files.
  std::error_code ec;
  for (const auto& entry : fs::recursive_directory_iterator(work, ec)) {
    fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, ec);
  }
  fs::remove_all(work, ec);
  return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  return bench::runMain("bench_actions", argc, argv, benchMain);
}
#else
int main(int argc, char** argv) { return bench::runMain("bench_actions", argc, argv, benchMain); }
#endif
