// Shared by the benchmark programs: a counting decorator over the source-control port, a window
// port that answers every box with Yes and only counts what it is shown, the synthetic stores,
// peak memory, timing and medians. The programs print figures; nothing here asserts a time.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/ports.h"
#include "standin/store.h"
#include "vss/port.h"

namespace bench {

// ---- command-line options ----

// The options both programs take. `flag`, when given, names one more option without a value.
struct Options {
  std::filesystem::path stores = "bench-stores";
  standin::GenerateOptions store;
  int reps = 3;
  bool flag = false;
};
// Reads --stores DIR, --files N, --depth D, --fanout F, --reps R and `flagName` over `defaults`;
// prints `usage` and exits with 2 on anything else.
Options parseOptions(const std::vector<std::wstring>& argv, Options defaults,
                     const wchar_t* flagName, const char* usage);

// ---- library calls by kind ----

struct CallCounts {
  std::uint64_t items = 0;      // enumerations (Items)
  std::uint64_t lookups = 0;    // VSSItem
  std::uint64_t creations = 0;  // NewSubproject
  std::uint64_t shares = 0;     // Share
  std::uint64_t fetches = 0;    // Get
  std::uint64_t histories = 0;  // Versions
  std::uint64_t opens = 0;      // Open
};

// Wraps a library so that every call made through its objects is counted in `counts`.
// Items handed to Share are unwrapped first, since the wrapped library recognises only its own.
std::unique_ptr<vss::Library> countingLibrary(vss::Library& inner, CallCounts& counts);

// ---- a window that shows nothing ----

class QuietWindow : public engine::WindowPort {
 public:
  std::map<engine::TextBox, std::wstring> texts;
  engine::ModeOption mode = engine::ModeOption::View;
  std::uint64_t lines[2] = {0, 0};  // ListShared, listUnshare
  std::uint64_t statusTexts = 0, pumps = 0, boxes = 0;
  std::wstring lastBox;

  std::wstring text(engine::TextBox box) override;
  bool isSelected(engine::ModeOption option) override { return option == mode; }
  bool isIgnoreBuildUserChecked() override { return false; }
  void setStatusText(const std::wstring&) override { ++statusTexts; }
  void clearList(engine::ResultList list) override { lines[static_cast<int>(list)] = 0; }
  void appendLine(engine::ResultList list, const std::wstring&) override {
    ++lines[static_cast<int>(list)];
  }
  engine::Answer showMessage(const std::wstring& text, const std::wstring&, engine::Icon,
                             engine::Buttons buttons) override;
  void processPendingEvents() override { ++pumps; }
  void setPatchButton(const std::wstring&, bool) override {}
  void saveSettings() override {}
};

// ---- what a benchmark runs on ----

// On Windows the COM client of the registered "SourceSafe" and the Win32 platform; natively the
// stand-in adapter and a platform over real folders ("\\" read as the separator).
struct Setting {
  std::unique_ptr<vss::Library> library;
  std::unique_ptr<engine::PlatformPort> platform;
  const char* libraryName;
};
Setting makeSetting();
unsigned long processId();

// ---- synthetic stores ----

// The range every benchmark store and run uses.
inline constexpr const char* kRangeStart = "2024-01-01 00:00";
inline constexpr const char* kRangeEnd = "2024-07-01 00:00";
inline constexpr const wchar_t* kUser = L"Admin";
inline constexpr const wchar_t* kPassword = L"bench";  // a run needs a password

// A store for `options` below `parent`, in a folder named after the options; generated (and
// given Admin's password) only when no complete one is there yet.
std::filesystem::path storeFor(const std::filesystem::path& parent,
                               standin::GenerateOptions options);

// Generates a new store in `dir` (removing what is there) over the benchmarks' range, with Admin's
// password set.
void generateStore(const std::filesystem::path& dir, standin::GenerateOptions options);

std::wstring iniOf(const std::filesystem::path& store);

// ---- measuring ----

// The process's peak memory so far, in bytes (resident set natively, working set on Windows).
std::uint64_t peakMemoryBytes();

class Stopwatch {
 public:
  Stopwatch() : start_(std::chrono::steady_clock::now()) {}
  double seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  }

 private:
  std::chrono::steady_clock::time_point start_;
};

double median(std::vector<double> values);

// ---- the programs' main ----

// Runs `benchMain` with the arguments as wide texts, figures printed as they come (also into a
// pipe); on Windows with COM and the common controls set up. A failure is printed under `name`.
using BenchMain = int (*)(const std::vector<std::wstring>& argv);
#ifdef _WIN32
int runMain(const char* name, int argc, wchar_t** argv, BenchMain benchMain);
#else
int runMain(const char* name, int argc, char** argv, BenchMain benchMain);
#endif

std::wstring widen(const std::string& ascii);

}  // namespace bench
