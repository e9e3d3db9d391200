#include "bench/support.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <fstream>
#include <sstream>
#include <system_error>

#ifdef _WIN32
// clang-format off
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <psapi.h>
// clang-format on

#include "platform/win_platform.h"
#include "vss/com/com_library.h"
#else
#include <sys/resource.h>
#include <unistd.h>

#include "standin/adapter.h"
#endif

namespace fs = std::filesystem;

namespace bench {
namespace {

class CountingCursor : public vss::VersionCursor {
 public:
  explicit CountingCursor(std::unique_ptr<vss::VersionCursor> inner) : inner_(std::move(inner)) {}
  std::unique_ptr<vss::Version> next() override { return inner_->next(); }

 private:
  std::unique_ptr<vss::VersionCursor> inner_;
};

class CountingItem : public vss::Item {
 public:
  CountingItem(std::unique_ptr<vss::Item> inner, CallCounts& counts)
      : inner_(std::move(inner)), counts_(counts) {}
  static std::unique_ptr<vss::Item> wrap(std::unique_ptr<vss::Item> inner, CallCounts& counts) {
    if (!inner) return nullptr;
    return std::make_unique<CountingItem>(std::move(inner), counts);
  }
  vss::Item& inner() { return *inner_; }

  int type() override { return inner_->type(); }
  std::wstring name() override { return inner_->name(); }
  std::wstring spec() override { return inner_->spec(); }
  std::unique_ptr<vss::Item> parent() override { return wrap(inner_->parent(), counts_); }
  std::vector<std::unique_ptr<vss::Item>> items(bool includeDeleted) override {
    ++counts_.items;
    std::vector<std::unique_ptr<vss::Item>> children = inner_->items(includeDeleted);
    for (auto& child : children) child = wrap(std::move(child), counts_);
    return children;
  }
  std::unique_ptr<vss::VersionCursor> versions(int flags) override {
    ++counts_.histories;
    return std::make_unique<CountingCursor>(inner_->versions(flags));
  }
  long versionNumber() override { return inner_->versionNumber(); }
  std::vector<std::unique_ptr<vss::Item>> links() override {
    std::vector<std::unique_ptr<vss::Item>> links = inner_->links();
    for (auto& link : links) link = wrap(std::move(link), counts_);
    return links;
  }
  std::unique_ptr<vss::Item> newSubproject(const std::wstring& name,
                                           const std::wstring& comment) override {
    ++counts_.creations;
    return wrap(inner_->newSubproject(name, comment), counts_);
  }
  void share(vss::Item& file, const std::wstring& comment, int flags) override {
    ++counts_.shares;
    auto* counted = dynamic_cast<CountingItem*>(&file);
    inner_->share(counted != nullptr ? counted->inner() : file, comment, flags);
  }
  void get(std::wstring& local, int flags) override {
    ++counts_.fetches;
    inner_->get(local, flags);
  }

 private:
  std::unique_ptr<vss::Item> inner_;
  CallCounts& counts_;
};

class CountingDatabase : public vss::Database {
 public:
  CountingDatabase(std::unique_ptr<vss::Database> inner, CallCounts& counts)
      : inner_(std::move(inner)), counts_(counts) {}
  void open(const std::wstring& ini, const std::wstring& user,
            const std::wstring& password) override {
    ++counts_.opens;
    inner_->open(ini, user, password);
  }
  std::unique_ptr<vss::Item> vssItem(const std::wstring& spec, bool deleted) override {
    ++counts_.lookups;
    return CountingItem::wrap(inner_->vssItem(spec, deleted), counts_);
  }

 private:
  std::unique_ptr<vss::Database> inner_;
  CallCounts& counts_;
};

class CountingLibrary : public vss::Library {
 public:
  CountingLibrary(vss::Library& inner, CallCounts& counts) : inner_(inner), counts_(counts) {}
  std::unique_ptr<vss::Database> newDatabase() override {
    return std::make_unique<CountingDatabase>(inner_.newDatabase(), counts_);
  }

 private:
  vss::Library& inner_;
  CallCounts& counts_;
};

std::string keyOf(const standin::GenerateOptions& o) {
  std::ostringstream key;
  key << "store-f" << o.files << "-d" << o.depth << "-F" << o.fanout << "-h" << o.history << "-c"
      << o.changedFraction << "-s" << o.seed;
  return key.str();
}

}  // namespace

std::unique_ptr<vss::Library> countingLibrary(vss::Library& inner, CallCounts& counts) {
  return std::make_unique<CountingLibrary>(inner, counts);
}

std::wstring QuietWindow::text(engine::TextBox box) {
  const auto it = texts.find(box);
  return it == texts.end() ? std::wstring() : it->second;
}

engine::Answer QuietWindow::showMessage(const std::wstring& text, const std::wstring&, engine::Icon,
                                        engine::Buttons buttons) {
  ++boxes;
  lastBox = text;
  return buttons == engine::Buttons::YesNo ? engine::Answer::Yes : engine::Answer::Ok;
}

#ifdef _WIN32
Setting makeSetting() {
  return {vss::com::makeLibrary(), std::make_unique<platform::WinPlatform>(),
          "COM client (ProgID SourceSafe)"};
}

unsigned long processId() { return GetCurrentProcessId(); }
#else
namespace {

fs::path onDisk(std::wstring path) {
  std::replace(path.begin(), path.end(), L'\\', L'/');
  return fs::path(path);
}

// The platform outside Windows: real folders, "\\" as the separator, the stand-in's dates.
class DiskPlatform : public engine::PlatformPort {
 public:
  bool pathExists(const std::wstring& path) override {
    std::error_code ec;
    return fs::exists(onDisk(path), ec);
  }
  // The Windows error codes the engine expects: 183 exists, 3 no parent, 5 otherwise.
  std::uint32_t createFolder(const std::wstring& path) override {
    std::error_code ec;
    const fs::path p = onDisk(path);
    if (fs::exists(p, ec)) return 183;
    if (!fs::is_directory(p.parent_path(), ec)) return 3;
    return fs::create_directory(p, ec) ? 0 : 5;
  }
  bool writableFileExists(const std::wstring& path) override {
    std::error_code ec;
    const fs::file_status status = fs::status(onDisk(path), ec);
    return fs::is_regular_file(status) &&
           (status.permissions() & fs::perms::owner_write) != fs::perms::none;
  }
  std::uint32_t removeFile(const std::wstring& path) override {
    std::error_code ec;
    return fs::remove(onDisk(path), ec) ? 0 : 2;
  }
  std::optional<double> toDate(const std::wstring& text) override {
    std::string narrow;
    for (wchar_t c : text) {
      if (c > 0x7f) return std::nullopt;
      narrow += static_cast<char>(c);
    }
    return standin::parseDateTime(narrow);
  }
  std::wstring nowText() override { return L"2030-01-01 00:00:00"; }
  std::wstring toLower(const std::wstring& text) override {
    std::wstring out = text;
    for (wchar_t& c : out) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return out;
  }
};

}  // namespace

Setting makeSetting() {
  return {standin::makeLibrary(), std::make_unique<DiskPlatform>(), "stand-in adapter"};
}

unsigned long processId() { return static_cast<unsigned long>(getpid()); }
#endif

void generateStore(const fs::path& dir, standin::GenerateOptions options) {
  options.rangeStart = standin::parseDateTime(kRangeStart).value();
  options.rangeEnd = standin::parseDateTime(kRangeEnd).value();
  fs::remove_all(dir);
  fs::create_directories(dir.parent_path());
  standin::generate(dir, options);
  std::string script = "user Admin password ";
  for (const wchar_t* p = kPassword; *p != L'\0'; ++p) script += static_cast<char>(*p);
  standin::seed(dir, script + "\n");
}

fs::path storeFor(const fs::path& parent, standin::GenerateOptions options) {
  const fs::path dir = parent / keyOf(options);
  const fs::path done = dir / "bench-complete";
  if (fs::exists(done)) return dir;
  generateStore(dir, options);
  std::ofstream(done) << "generated\n";
  return dir;
}

std::wstring iniOf(const fs::path& store) { return (store / "srcsafe.ini").wstring(); }

std::uint64_t peakMemoryBytes() {
#ifdef _WIN32
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof(counters);
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters))) return 0;
  return counters.PeakWorkingSetSize;
#else
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<std::uint64_t>(usage.ru_maxrss) * 1024;  // kilobytes on Linux
#endif
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::wstring widen(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

Options parseOptions(const std::vector<std::wstring>& argv, Options defaults,
                     const wchar_t* flagName, const char* usage) {
  Options a = std::move(defaults);
  for (std::size_t i = 1; i < argv.size(); ++i) {
    const std::wstring& k = argv[i];
    const bool hasValue = i + 1 < argv.size();
    if (k == L"--stores" && hasValue)
      a.stores = argv[++i];
    else if (k == L"--files" && hasValue)
      a.store.files = std::stoi(argv[++i]);
    else if (k == L"--depth" && hasValue)
      a.store.depth = std::stoi(argv[++i]);
    else if (k == L"--fanout" && hasValue)
      a.store.fanout = std::stoi(argv[++i]);
    else if (k == L"--reps" && hasValue)
      a.reps = std::stoi(argv[++i]);
    else if (flagName != nullptr && k == flagName)
      a.flag = true;
    else {
      std::fprintf(stderr, "usage: %s\n", usage);
      std::exit(2);
    }
  }
  return a;
}

#ifdef _WIN32
int runMain(const char* name, int argc, wchar_t** argv, BenchMain benchMain) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_STANDARD_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&controls);
  int code = 1;
  try {
    code = benchMain(std::vector<std::wstring>(argv, argv + argc));
  } catch (const vss::Error& e) {
    std::fprintf(stderr, "%s: library failure 0x%08X %ls\n", name,
                 static_cast<unsigned>(e.status()), e.description().c_str());
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", name, e.what());
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return code;
}
#else
int runMain(const char* name, int argc, char** argv, BenchMain benchMain) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::vector<std::wstring> args;
  for (int i = 0; i < argc; ++i) args.push_back(fs::path(argv[i]).wstring());
  try {
    return benchMain(args);
  } catch (const vss::Error& e) {
    std::fprintf(stderr, "%s: library failure 0x%08X\n", name, static_cast<unsigned>(e.status()));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: %s\n", name, e.what());
  }
  return 1;
}
#endif

}  // namespace bench
