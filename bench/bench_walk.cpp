// bench_walk: a View run of a whole synthetic project against a bare traversal of the same
// store through the same library, in one process. Natively the library is the stand-in adapter
// and the window a quiet one; on Windows the library is the COM client (the stand-in server
// registered as "SourceSafe") and the window is the real Form1, driven by its Patch button.
// Each repetition also runs the console program (console::run, as OstrabelCli.exe runs it) over
// the same store, its lists written into files beside the stores.
// Prints microseconds per file of the bare traversal and of the runs, the cost a run adds per file,
// the ratios to the bare traversal (a window run without the time its confirmation box takes), the
// listed lines and the peak memory.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "bench/support.h"
#include "console/options.h"
#include "console/run.h"
#include "engine/patcher.h"

#ifdef _WIN32
#include <windows.h>
#include <commctrl.h>

#include "box_catcher.h"
#include "console/win_console.h"
#include "ui/form1.h"
#else
#include "tests/native/console/support.h"
#endif

namespace fs = std::filesystem;

namespace {

// With --no-variants (Windows) the run without status text, without pumping, ... is left out.
// Stores have the same shape at every size: three levels with a fan-out chosen so that there is
// about one leaf project per file (unless --fanout says otherwise), so that the bare traversal's
// cost per file does not change with the size.
bench::Options parse(const std::vector<std::wstring>& argv) {
  bench::Options options = bench::parseOptions(
      argv,
      {"bench-stores",
       {.files = 100000, .depth = 3, .fanout = 0, .history = 5, .changedFraction = 0.1},
       3},
      L"--no-variants",
      "bench_walk [--stores DIR] [--files N] [--depth D] [--fanout F] [--reps R] "
      "[--no-variants]");
  if (options.store.fanout == 0) {
    const double perLevel = std::pow(options.store.files, 1.0 / options.store.depth);
    options.store.fanout = static_cast<int>(std::ceil(perLevel - 1e-9));
  }
  return options;
}

// The bare traversal: children recursively, and each file's newest history record; with
// `readSpec` also each file's path, the one call per file a run makes beyond it.
struct Bare {
  bool readSpec = false;
  std::uint64_t files = 0;
  double sink = 0;
  void walk(vss::Item& project) {
    for (const auto& child : project.items(false)) {
      if (child->type() == vss::kTypeProject) {
        walk(*child);
      } else {
        ++files;
        if (readSpec) sink += static_cast<double>(child->spec().size());
        if (auto record = child->versions(0)->next()) sink += record->date();
      }
    }
  }
};

double mib(std::uint64_t bytes) { return static_cast<double>(bytes) / (1024.0 * 1024.0); }

// What one measured run gives back.
struct Result {
  double seconds = 0;
  std::uint64_t files = 0;  // files visited (bare) or lines listed (run)
  // Of a window run: the time until the confirmation was answered, which does not grow with the
  // files; the figures per file leave it out.
  double confirmation = 0;
  // The processor time the run took (console runs), which the load of other processes on the
  // machine disturbs less than the time on the clock.
  double cpu = 0;
};

Result bareTraversal(vss::Library& library, const std::wstring& ini, bool readSpec = false) {
  bench::Stopwatch clock;
  auto db = library.newDatabase();
  db->open(ini, bench::kUser, bench::kPassword);
  Bare bare;
  bare.readSpec = readSpec;
  bare.walk(*db->vssItem(L"$/gen", false));
  return {clock.seconds(), bare.files};
}

std::map<engine::TextBox, std::wstring> runInputs(const std::wstring& ini) {
  return {{engine::TextBox::Host, ini},
          {engine::TextBox::Project, L"$/gen"},
          {engine::TextBox::User, bench::kUser},
          {engine::TextBox::Passwd, bench::kPassword},
          {engine::TextBox::StartDate, bench::widen(bench::kRangeStart)},
          {engine::TextBox::EndDate, bench::widen(bench::kRangeEnd)}};
}

// A View run through a Patcher of its own on `window`.
Result engineRun(engine::WindowPort& window, engine::PlatformPort& platform, vss::Library& library,
                 const std::function<std::uint64_t()>& listed) {
  engine::Patcher patcher(window, platform, library);
  bench::Stopwatch clock;
  patcher.cmdPatch_Click();
  return {clock.seconds(), listed()};
}

// Lines in a list file as the console program writes it (CR LF between lines).
std::uint64_t linesIn(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (text.empty()) return 0;
  std::uint64_t lines = 1;
  for (std::size_t at = text.find("\r\n"); at != std::string::npos;
       at = text.find("\r\n", at + 2)) {
    ++lines;
  }
  return lines;
}

// The console program's View run of the same inputs, given as options (the password comes from
// the environment, as a scheduled job gives it), its lists into files in `lists`.
Result consoleRun(console::Environment& environment, const std::wstring& ini, const fs::path& lists,
                  const std::vector<std::wstring>& extra = {}) {
  const fs::path processed = lists / "console-processed.txt";
  const fs::path unprocessed = lists / "console-unprocessed.txt";
  const std::vector<std::wstring> arguments = {L"--host",        ini,
                                               L"--project",     L"$/gen",
                                               L"--user",        bench::kUser,
                                               L"--start",       bench::widen(bench::kRangeStart),
                                               L"--end",         bench::widen(bench::kRangeEnd),
                                               L"--processed",   processed.wstring(),
                                               L"--unprocessed", unprocessed.wstring(),
                                               L"--encoding",    L"utf8"};
  std::vector<std::wstring> all = arguments;
  all.insert(all.end(), extra.begin(), extra.end());
  bench::Stopwatch clock;
  const std::clock_t cpuStart = std::clock();
  const int status = console::run(all, environment);
  const double seconds = clock.seconds();
  const double cpu = static_cast<double>(std::clock() - cpuStart) / CLOCKS_PER_SEC;
  if (status > console::kSomeUnprocessed)
    std::printf("  (the console run ended with %d)\n", status);
  return {seconds, linesIn(processed) + linesIn(unprocessed), 0, cpu};
}

#ifndef _WIN32
// Standard streams that keep nothing: the console program's summary is not part of the figures.
class QuietTerminal : public console::Terminal {
 public:
  void setEncoding(console::Encoding) override {}
  bool flush() override { return true; }
  bool showsProgress() override { return false; }
  void showProgress(std::wstring_view) override {}
  void clearProgress() override {}

 protected:
  void writeText(console::Stream, std::wstring_view) override {}
};

// The console program's platform outside Windows: the benchmark's own, no settings file, the
// password in the environment, UTF-8 for every encoding.
class BenchEnvironment : public console::Environment {
 public:
  BenchEnvironment(engine::PlatformPort& platform, vss::Library& library)
      : platform_(platform), library_(library) {}
  console::Terminal& terminal() override { return terminal_; }
  engine::PlatformPort& platform() override { return platform_; }
  vss::Library& library() override { return library_; }
  console::FileSystem& fileSystem() override { return files_; }
  console::SettingsFile readSettings(const std::wstring&) override {
    console::SettingsFile none;
    none.problem = console::SettingsFile::Problem::NotFound;
    return none;
  }
  std::optional<std::wstring> variable(const std::wstring& name) override {
    if (name == console::kPasswordVariable) return bench::kPassword;
    return std::nullopt;
  }
  console::Encoder encoder(console::Encoding) override { return console::appendUtf8; }
  std::int64_t milliseconds() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

 private:
  QuietTerminal terminal_;
  consoletest::DiskFiles files_;  // the console tests' file system over real folders
  engine::PlatformPort& platform_;
  vss::Library& library_;
};
#endif

#ifdef _WIN32

void pump() {
  MSG msg;
  while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

std::uint64_t listedLines(ui::Form1& form) {
  return static_cast<std::uint64_t>(
      SendMessageW(form.control(ui::ctl::ListShared), LB_GETCOUNT, 0, 0) +
      SendMessageW(form.control(ui::ctl::listUnshare), LB_GETCOUNT, 0, 0));
}

// The Patch button of the real window pressed in View mode; the confirmation answered Yes by a
// CBT hook, as a user would.
Result windowRun(ui::Form1& form) {
  uitest::BoxCatcher boxes;
  boxes.answer({IDYES});
  const auto clicked = std::chrono::steady_clock::now();
  bench::Stopwatch clock;
  SendMessageW(form.control(ui::ctl::cmdPatch), BM_CLICK, 0, 0);
  Result r{clock.seconds(), listedLines(form)};
  pump();
  if (boxes.boxes().size() != 1) {
    std::printf("  (the run showed %zu boxes)\n", boxes.boxes().size());
  } else {
    r.confirmation = std::chrono::duration<double>(boxes.boxes()[0].answeredAt - clicked).count();
  }
  return r;
}

// Forwards to the real window, leaving out the status text or the event pumping, to show
// where the time of a window run goes.
class PartialWindow : public engine::WindowPort {
 public:
  PartialWindow(ui::Form1& form, bool status, bool events)
      : form_(form), status_(status), events_(events) {}
  std::wstring text(engine::TextBox box) override { return form_.text(box); }
  bool isSelected(engine::ModeOption option) override { return form_.isSelected(option); }
  bool isIgnoreBuildUserChecked() override { return form_.isIgnoreBuildUserChecked(); }
  void setStatusText(const std::wstring& t) override {
    if (status_) form_.setStatusText(t);
  }
  void clearList(engine::ResultList list) override { form_.clearList(list); }
  void appendLine(engine::ResultList list, const std::wstring& line) override {
    form_.appendLine(list, line);
  }
  engine::Answer showMessage(const std::wstring&, const std::wstring&, engine::Icon,
                             engine::Buttons buttons) override {
    return buttons == engine::Buttons::YesNo ? engine::Answer::Yes : engine::Answer::Ok;
  }
  void processPendingEvents() override {
    if (events_) form_.processPendingEvents();
  }
  void setPatchButton(const std::wstring& caption, bool enabled) override {
    form_.setPatchButton(caption, enabled);
  }
  void saveSettings() override {}

 private:
  ui::Form1& form_;
  bool status_, events_;
};

// The cost of one status-bar text as Form1 sets it, with the bar's redrawing switched off, and
// of one empty event pump: the three pieces a window run adds per file.
void probeStatusBar(ui::Form1& form) {
  const HWND bar = form.control(ui::ctl::statusBar);
  const int n = 1000;
  const auto perCall = [&](const auto& step) {
    bench::Stopwatch clock;
    for (int i = 0; i < n; ++i) step(i);
    return clock.seconds() * 1e3 / n;
  };
  const auto setText = [&](int i) {
    const std::wstring text = L"$/gen/p01/p02/p03/p04/p05/p00/f" + std::to_wstring(i) + L".txt";
    SendMessageW(bar, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(text.c_str()));
  };
  const double asForm = perCall([&](int i) {
    setText(i);
    ValidateRect(bar, nullptr);
  });
  SendMessageW(bar, WM_SETREDRAW, FALSE, 0);
  const double noRedraw = perCall(setText);
  SendMessageW(bar, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(bar, nullptr, TRUE);
  pump();
  const double emptyPump = perCall([&](int) { form.processPendingEvents(); });
  const double queueStatus = perCall([&](int) { GetQueueStatus(QS_ALLINPUT); });
  std::printf(
      "  per call, %d calls each: SB_SETTEXT + ValidateRect %.3f ms; SB_SETTEXT with the bar's "
      "WM_SETREDRAW off %.3f ms;\n    empty event pump (PeekMessage) %.3f ms; GetQueueStatus %.3f "
      "ms\n",
      n, asForm, noRedraw, emptyPump, queueStatus);
}

#endif

int benchMain(const std::vector<std::wstring>& argv) {
  const bench::Options args = parse(argv);
  bench::Stopwatch generation;
  const fs::path store = bench::storeFor(args.stores, args.store);
  const std::wstring ini = bench::iniOf(store);
  std::printf("bench_walk: store %s\n", store.string().c_str());
  std::printf("  %d files, depth %d, fan-out %d, %d records each; ready in %.1f s\n",
              args.store.files, args.store.depth, args.store.fanout, args.store.history,
              generation.seconds());

  bench::Setting setting = bench::makeSetting();
  vss::Library* library = setting.library.get();
  engine::PlatformPort& platform = *setting.platform;
#ifdef _WIN32
  const char* runName = "Form1, the Patch button in View mode";
#else
  const char* runName = "engine::Patcher::cmdPatch_Click, quiet window";
#endif
  std::printf("  library: %s; run: %s\n", setting.libraryName, runName);

  // Loads the store's model once; it stays loaded while this database object lives.
  bench::Stopwatch load;
  auto keepLoaded = library->newDatabase();
  keepLoaded->open(ini, bench::kUser, bench::kPassword);
  keepLoaded->vssItem(L"$/gen", false);
  std::printf("  store opened in %.2f s; peak memory so far %.1f MiB\n", load.seconds(),
              mib(bench::peakMemoryBytes()));

#ifdef _WIN32
  ui::Form1 form(*library, platform);
  if (!form.create(SW_SHOWNORMAL)) {
    std::fprintf(stderr, "bench_walk: the window could not be created\n");
    return 1;
  }
  pump();
  const auto inputs = runInputs(ini);
  const std::pair<int, engine::TextBox> boxes[] = {
      {ui::ctl::txtHost, engine::TextBox::Host},
      {ui::ctl::txtProject, engine::TextBox::Project},
      {ui::ctl::txtUser, engine::TextBox::User},
      {ui::ctl::txtPasswd, engine::TextBox::Passwd},
      {ui::ctl::txtStartDate, engine::TextBox::StartDate},
      {ui::ctl::txtEndDate, engine::TextBox::EndDate}};
  for (const auto& [id, box] : boxes) SetWindowTextW(form.control(id), inputs.at(box).c_str());
  SendMessageW(form.control(ui::ctl::View), BM_CLICK, 0, 0);
  pump();
  const auto run = [&] { return windowRun(form); };
  // The console program as OstrabelCli.exe sets it up: its own COM client, the real streams.
  SetEnvironmentVariableW(console::kPasswordVariable, bench::kPassword);
  console::WinEnvironment consoleEnvironment;
#else
  bench::QuietWindow window;
  window.texts = runInputs(ini);
  const auto run = [&] {
    return engineRun(window, platform, *library, [&] { return window.lines[0] + window.lines[1]; });
  };
  BenchEnvironment consoleEnvironment(platform, *library);
#endif

  std::vector<double> bareSeconds, runSeconds, walkSeconds, ratios, consoleSeconds, consoleRatios,
      specSeconds, csvSeconds, htmlSeconds, plainSeconds, csvRatios, htmlRatios, csvCpuRatios,
      htmlCpuRatios;
  std::uint64_t files = 0, listed = 0, consoleListed = 0;
  for (int rep = 1; rep <= args.reps; ++rep) {
    const Result bare = bareTraversal(*library, ini);
    const Result r = run();
    const double walk = r.seconds - r.confirmation;
    const Result c = consoleRun(consoleEnvironment, ini, args.stores);
    const Result withSpec = bareTraversal(*library, ini, true);
    // The same console run with the release notes of its lists, as CSV and as HTML, between two
    // plain console runs: each report is compared with the mean of the plain runs around it, and
    // the two reports take turns in second and third place, so that a run's place in the
    // repetition cannot tilt the figures.
    const Result before = consoleRun(consoleEnvironment, ini, args.stores);
    const auto report = [&](const char* name) {
      return consoleRun(consoleEnvironment, ini, args.stores,
                        {L"--report", (args.stores / name).wstring()});
    };
    Result csv, page;
    if (rep % 2 == 1) {
      csv = report("console-report.csv");
      page = report("console-report.html");
    } else {
      page = report("console-report.html");
      csv = report("console-report.csv");
    }
    const Result after = consoleRun(consoleEnvironment, ini, args.stores);
    csvSeconds.push_back(csv.seconds);
    htmlSeconds.push_back(page.seconds);
    plainSeconds.push_back((before.seconds + after.seconds) / 2);
    csvRatios.push_back(csv.seconds * 2 / (before.seconds + after.seconds));
    htmlRatios.push_back(page.seconds * 2 / (before.seconds + after.seconds));
    csvCpuRatios.push_back(csv.cpu * 2 / (before.cpu + after.cpu));
    htmlCpuRatios.push_back(page.cpu * 2 / (before.cpu + after.cpu));
    files = bare.files;
    listed = r.files;
    consoleListed = c.files;
    bareSeconds.push_back(bare.seconds);
    runSeconds.push_back(r.seconds);
    walkSeconds.push_back(walk);
    ratios.push_back(walk / bare.seconds);
    consoleSeconds.push_back(c.seconds);
    consoleRatios.push_back(c.seconds / bare.seconds);
    specSeconds.push_back(withSpec.seconds);
    std::printf(
        "  rep %d: bare %.2f s, run %.2f s (confirmation %.2f s), ratio %.2f, listed %llu; "
        "console %.2f s, ratio %.2f, listed %llu; bare with Spec %.2f s; console with a CSV report "
        "%.2f s, an HTML report %.2f s; peak memory %.1f MiB\n",
        rep, bare.seconds, r.seconds, r.confirmation, walk / bare.seconds,
        static_cast<unsigned long long>(r.files), c.seconds, c.seconds / bare.seconds,
        static_cast<unsigned long long>(c.files), withSpec.seconds, csv.seconds, page.seconds,
        mib(bench::peakMemoryBytes()));
  }
  const double bareMedian = bench::median(bareSeconds), walkMedian = bench::median(walkSeconds);
  const double consoleMedian = bench::median(consoleSeconds);
  const double specMedian = bench::median(specSeconds);
  const double perFile = 1e6 / static_cast<double>(files);
  std::printf(
      "  median of %d: bare %.1f us/file, run %.1f us/file, added %.1f us/file, ratio run/bare "
      "%.2f (median of ratios %.2f); run with the confirmation %.2f s\n",
      args.reps, bareMedian * perFile, walkMedian * perFile, (walkMedian - bareMedian) * perFile,
      walkMedian / bareMedian, bench::median(ratios), bench::median(runSeconds));
  std::printf(
      "  console: %.1f us/file, added %.1f us/file, ratio console/bare %.2f (median of ratios "
      "%.2f); bare with Spec %.1f us/file, ratio console/(bare with Spec) %.2f\n",
      consoleMedian * perFile, (consoleMedian - bareMedian) * perFile, consoleMedian / bareMedian,
      bench::median(consoleRatios), specMedian * perFile, consoleMedian / specMedian);
  std::printf(
      "  console with --report, against the plain console runs before and after it (%.1f us/file):"
      "\n    CSV %.1f us/file, median ratio %.3f (processor time %.3f); HTML %.1f us/file, median "
      "ratio %.3f (processor time %.3f)\n",
      bench::median(plainSeconds) * perFile, bench::median(csvSeconds) * perFile,
      bench::median(csvRatios), bench::median(csvCpuRatios), bench::median(htmlSeconds) * perFile,
      bench::median(htmlRatios), bench::median(htmlCpuRatios));
  std::printf("  files %llu, listed lines %llu, by the console %llu\n",
              static_cast<unsigned long long>(files), static_cast<unsigned long long>(listed),
              static_cast<unsigned long long>(consoleListed));

#ifdef _WIN32
  if (!args.flag) {  // no --no-variants
    // One run each, through a Patcher of its own over the same window.
    struct Variant {
      const char* what;
      bool status, events;
    } variants[] = {{"window, status text and events", true, true},
                    {"window, no status text", false, true},
                    {"window, no event pumping", true, false},
                    {"window, neither", false, false}};
    std::printf("  where the time goes (one run each, seconds; bare median %.2f):\n", bareMedian);
    for (const Variant& v : variants) {
      PartialWindow partial(form, v.status, v.events);
      const Result r = engineRun(partial, platform, *library, [&] { return listedLines(form); });
      pump();
      std::printf("    %-34s %.2f s, ratio %.2f\n", v.what, r.seconds, r.seconds / bareMedian);
    }
    bench::QuietWindow quiet;
    quiet.texts = inputs;
    const Result r =
        engineRun(quiet, platform, *library, [&] { return quiet.lines[0] + quiet.lines[1]; });
    std::printf("    %-34s %.2f s, ratio %.2f\n", "no window at all", r.seconds,
                r.seconds / bareMedian);
    probeStatusBar(form);
  }
#endif
  std::printf("  peak memory %.1f MiB\n", mib(bench::peakMemoryBytes()));
  return 0;
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) { return bench::runMain("bench_walk", argc, argv, benchMain); }
#else
int main(int argc, char** argv) { return bench::runMain("bench_walk", argc, argv, benchMain); }
#endif
