// The engine against seeded stand-in stores: the walk's order, what a Share run adds to the
// database, what a Local run writes to disk, and that a View run changes nothing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

#include "native/engine/fakes.h"
#include "standin/adapter.h"
#include "standin/store.h"

namespace {

namespace fs = std::filesystem;
using engine::ModeOption;
using engine::TextBox;

// UTF-8, the encoding of the store's scripts and of the file names written here.
std::wstring widen(const std::string& s) {
  std::wstring w;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const int extra = c < 0x80 ? 0 : c < 0xE0 ? 1 : c < 0xF0 ? 2 : 3;
    char32_t cp = extra == 0 ? c : c & (0x3F >> extra);
    for (int k = 1; k <= extra && i + k < s.size(); ++k) cp = (cp << 6) | (s[i + k] & 0x3F);
    w += static_cast<wchar_t>(cp);
    i += extra + 1;
  }
  return w;
}

std::string narrow(const std::wstring& w) {
  std::string s;
  for (const wchar_t wc : w) {
    const auto c = static_cast<char32_t>(wc);
    if (c < 0x80) {
      s += static_cast<char>(c);
    } else if (c < 0x800) {
      s += static_cast<char>(0xC0 | (c >> 6));
      s += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      s += static_cast<char>(0xE0 | (c >> 12));
      s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      s += static_cast<char>(0xF0 | (c >> 18));
      s += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      s += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return s;
}

// The platform over a real folder: "\" in the engine's paths is the separator it is on Windows.
class DiskPlatform : public engine::PlatformPort {
 public:
  static fs::path native(const std::wstring& path) {
    std::wstring p = path;
    std::replace(p.begin(), p.end(), L'\\', L'/');
    return fs::path(narrow(p));
  }
  bool pathExists(const std::wstring& path) override {
    std::error_code ec;
    return fs::exists(native(path), ec);
  }
  std::uint32_t createFolder(const std::wstring& path) override {
    std::error_code ec;
    const fs::path p = native(path);
    if (fs::exists(p, ec)) return fakes::FakeFileSystem::kAlreadyExists;
    if (!fs::is_directory(p.parent_path(), ec)) return fakes::FakeFileSystem::kPathNotFound;
    return fs::create_directory(p, ec) ? 0 : fakes::FakeFileSystem::kAccessDenied;
  }
  std::optional<double> toDate(const std::wstring& text) override { return fakes::parseDate(text); }
  std::wstring nowText() override { return L"2030-01-01 00:00:00"; }
  std::wstring toLower(const std::wstring& text) override { return fakes::lower(text); }
};

class StandinRun : public testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> counter{0};
    root_ = fs::temp_directory_path() /
            ("ostrabel-engine-" + std::to_string(::getpid()) + "-" + std::to_string(++counter));
    fs::remove_all(root_);
    fs::create_directories(root_ / "out");
    standin::createStore(root_ / "db");
    standin::seed(root_ / "db", "user Admin password secret\n");
    window_.texts = {{TextBox::Host, widen((root_ / "db" / "srcsafe.ini").string())},
                     {TextBox::Project, L"$/Src"},
                     {TextBox::Patch, L"$/Patch"},
                     {TextBox::User, L"Admin"},
                     {TextBox::Passwd, L"secret"},
                     {TextBox::StartDate, L"2024-05-01 00:00"},
                     {TextBox::EndDate, L"2024-06-01 00:00"},
                     {TextBox::Share, widen((root_ / "out").string())}};
    window_.selected = ModeOption::View;
  }
  void TearDown() override {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }

  void seed(const std::string& script) { standin::seed(root_ / "db", script); }
  std::string dump() { return standin::dump(root_ / "db"); }
  void run() { patcher_.cmdPatch_Click(); }

  // The dump's lines that are not in `before`, in dump order.
  std::vector<std::string> added(const std::string& before) {
    std::vector<std::string> old;
    std::istringstream b(before);
    for (std::string line; std::getline(b, line);) old.push_back(line);
    std::vector<std::string> out;
    std::istringstream a(dump());
    for (std::string line; std::getline(a, line);) {
      const auto it = std::find(old.begin(), old.end(), line);
      if (it == old.end()) {
        out.push_back(line);
      } else {
        old.erase(it);
      }
    }
    return out;
  }

  // Every path below the local root, relative, folders with a trailing "/".
  std::vector<std::string> localTree() {
    std::vector<std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root_ / "out")) {
      out.push_back(fs::relative(e.path(), root_ / "out").generic_string() +
                    (e.is_directory() ? "/" : ""));
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  std::string content(const std::string& relative) {
    std::ifstream in(root_ / "out" / relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path root_;
  fakes::FakeWindow window_;
  DiskPlatform platform_;
  std::unique_ptr<vss::Library> library_ = standin::makeLibrary();
  engine::Patcher patcher_{window_, platform_, *library_};
};

// The dump's item lines (projects, files, shares, deletions), without the history records.
std::vector<std::string> itemLines(const std::string& dump) {
  std::vector<std::string> out;
  std::istringstream in(dump);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("project ", 0) == 0 || line.rfind("file ", 0) == 0 ||
        line.rfind("deleted ", 0) == 0) {
      out.push_back(line);
    }
  }
  return out;
}

// The dump's history records, in dump order.
std::vector<std::string> recordLines(const std::string& dump) {
  std::vector<std::string> out;
  std::istringstream in(dump);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("  ", 0) == 0) out.push_back(line);
  }
  std::sort(out.begin(), out.end());
  return out;
}

using Lines = std::vector<std::wstring>;

TEST_F(StandinRun, ViewWalksDepthFirstByNameNeverShowsDeletedItemsAndChangesNothing) {
  seed(R"(
file $/Src/b.c by alice at 2024-05-03 10:00
file $/Src/A/z.c by alice at 2024-05-03 10:00
file $/Src/A/deep/y.c by bob at 2024-05-04 10:00
file $/Src/a.c by alice at 2024-05-05 10:00
file $/Src/c/gone.c by alice at 2024-05-05 10:00
delete $/Src/c/gone.c
file $/Src/old/x.c by alice at 2024-05-05 10:00
delete $/Src/old
file $/Src/old.c by alice at 2024-04-05 10:00
)");
  const std::string before = dump();
  run();
  const Lines visited = {L"$/Src/A/deep/y.c", L"$/Src/A/z.c", L"$/Src/a.c", L"$/Src/b.c",
                         L"$/Src/old.c"};
  EXPECT_EQ(Lines(window_.status.begin() + 1, window_.status.end() - 1), visited);
  EXPECT_EQ(window_.shared,
            (Lines{L"$/Src/A/deep/y.c", L"$/Src/A/z.c", L"$/Src/a.c", L"$/Src/b.c"}));
  EXPECT_TRUE(window_.unshared.empty());
  EXPECT_EQ(window_.status.back(), L"补丁整理完成！");
  EXPECT_EQ(dump(), before);
  EXPECT_TRUE(localTree().empty());
}

TEST_F(StandinRun, ProjectLabelsOfTheBuildUserAreInEveryFilesHistory) {
  seed(R"(
file $/Src/lib/a.c by alice at 2024-04-20 10:00
file $/Src/lib/b.c by alice at 2024-05-02 10:00
label $/Src "Build 7" by Compileruser at 2024-05-10 08:00
)");
  run();
  EXPECT_EQ(window_.shared, (Lines{L"$/Src/lib/a.c", L"$/Src/lib/b.c"}));
  window_.ignoreBuildUser = true;
  run();
  EXPECT_EQ(window_.shared, Lines{L"$/Src/lib/b.c"});
}

TEST_F(StandinRun, ADamagedHistoryIsListedAndTheWalkGoesOn) {
  seed(R"(
file $/Src/a.c by alice at 2024-05-03 10:00
file $/Src/b.c by alice at 2024-05-03 10:00
file $/Src/c.c by alice at 2024-05-03 10:00
fault $/Src/a.c versions 0x80040000
fault $/Src/b.c versions 0x8004D6A0 text "History unreadable"
)");
  run();
  EXPECT_EQ(window_.unshared, Lines{L"$/Src/a.c - VSS上这个文件是损坏的"});
  EXPECT_EQ(window_.shared, Lines{L"$/Src/c.c"});
  ASSERT_EQ(window_.boxes.size(), 2u);
  EXPECT_EQ(window_.boxes[1].text, L"History unreadable");
  EXPECT_EQ(window_.boxes[1].title, L"Ostrabel");
}

TEST_F(StandinRun, AWrongPasswordStopsBeforeTheRun) {
  window_.texts[TextBox::Passwd] = L"nope";
  run();
  ASSERT_EQ(window_.boxes.size(), 2u);
  EXPECT_EQ(window_.boxes[1].text, L"Invalid password");
  EXPECT_TRUE(window_.button.empty());
}

TEST_F(StandinRun, ShareRunAddsExactlyTheMirroredSubprojectsAndShares) {
  seed(R"(
file $/Src/app/ui/main.frm by alice at 2024-05-03 10:00
file $/Src/app/ui/form.frm by bob at 2024-05-04 10:00
file $/Src/app/old.frm by bob at 2024-04-04 10:00
file $/Src/top.c by alice at 2024-05-03 10:00
project $/Patch
)");
  window_.selected = ModeOption::Share;
  const std::string before = dump();
  run();
  EXPECT_EQ(window_.shared,
            (Lines{L"$/Src/app/ui/form.frm", L"$/Src/app/ui/main.frm", L"$/Src/top.c"}));
  EXPECT_TRUE(window_.unshared.empty());
  const std::vector<std::string> expected = {
      "project $/",
      "project $/Patch",
      "project $/Patch/app",
      "project $/Patch/app/ui",
      "file $/Patch/app/ui/form.frm",
      "file $/Patch/app/ui/main.frm",
      "file $/Patch/top.c",
      "project $/Src",
      "project $/Src/app",
      "file $/Src/app/old.frm",
      "project $/Src/app/ui",
      "file $/Src/app/ui/form.frm shares $/Patch/app/ui/form.frm",
      "file $/Src/app/ui/main.frm shares $/Patch/app/ui/main.frm",
      "file $/Src/top.c shares $/Patch/top.c"};
  EXPECT_EQ(itemLines(dump()), expected);
  EXPECT_EQ(recordLines(dump()), recordLines(before));  // histories untouched

  // The same range again: everything is there already and counts as processed.
  const std::string afterFirst = dump();
  run();
  EXPECT_EQ(window_.shared,
            (Lines{L"$/Src/app/ui/form.frm", L"$/Src/app/ui/main.frm", L"$/Src/top.c"}));
  EXPECT_TRUE(window_.unshared.empty());
  EXPECT_EQ(dump(), afterFirst);
}

TEST_F(StandinRun, ShareRunWithTheProjectTypedDifferentlyMirrorsTheSameFolders) {
  seed(R"(
file $/Src/app/x.c by alice at 2024-05-03 10:00
project $/Patch
)");
  window_.selected = ModeOption::Share;
  window_.texts[TextBox::Project] = L"$/sRC/";
  run();
  EXPECT_EQ(window_.shared, Lines{L"$/Src/app/x.c"});
  const std::vector<std::string> items = itemLines(dump());
  EXPECT_NE(std::find(items.begin(), items.end(), "file $/Patch/app/x.c"), items.end());
}

TEST_F(StandinRun, ShareRunUsesSubprojectsInAnotherCaseAndNotDeletedOnes) {
  seed(R"(
file $/Src/app/x.c by alice at 2024-05-03 10:00
file $/Src/lib/y.c by alice at 2024-05-03 10:00
project $/Patch/APP
project $/Patch/lib
delete $/Patch/lib
)");
  window_.selected = ModeOption::Share;
  run();
  EXPECT_EQ(window_.shared, (Lines{L"$/Src/app/x.c", L"$/Src/lib/y.c"}));
  const std::vector<std::string> expected = {"project $/",
                                             "project $/Patch",
                                             "project $/Patch/APP",
                                             "file $/Patch/APP/x.c",
                                             "deleted project $/Patch/lib",
                                             "project $/Patch/lib",
                                             "file $/Patch/lib/y.c",
                                             "project $/Src",
                                             "project $/Src/app",
                                             "file $/Src/app/x.c shares $/Patch/APP/x.c",
                                             "project $/Src/lib",
                                             "file $/Src/lib/y.c shares $/Patch/lib/y.c"};
  EXPECT_EQ(itemLines(dump()), expected);
}

TEST_F(StandinRun, ShareOutcomesFromTheLibrary) {
  seed(R"(
file $/Src/a.c by alice at 2024-05-03 10:00
file $/Src/b.c by alice at 2024-05-03 10:00
file $/Src/c.c by alice at 2024-05-03 10:00
project $/Patch
share $/Src/a.c into $/Patch
delete $/Patch/a.c
fault $/Src/b.c share 0x8004D72E
)");
  window_.selected = ModeOption::Share;
  run();
  EXPECT_EQ(window_.unshared, (Lines{L"$/Src/a.c - patch目录原来share过这个文件,但被删除了",
                                     L"$/Src/b.c - 未知错误,代码: -2147166418"}));
  EXPECT_EQ(window_.shared, Lines{L"$/Src/c.c"});
}

TEST_F(StandinRun, ASecondShareRunIntoAnotherPatchProjectPreparesItsChain) {
  seed(R"(
file $/Src/app/x.c by alice at 2024-05-03 10:00
project $/Patch
project $/Patch2
)");
  window_.selected = ModeOption::Share;
  run();
  window_.texts[TextBox::Patch] = L"$/Patch2";
  run();
  EXPECT_EQ(window_.shared, Lines{L"$/Src/app/x.c"});
  const std::vector<std::string> items = itemLines(dump());
  EXPECT_NE(std::find(items.begin(), items.end(), "file $/Patch2/app/x.c shares $/Patch/app/x.c"),
            items.end());
}

TEST_F(StandinRun, LocalRunWritesExactlyTheSelectedFilesWithTheirContent) {
  seed(R"(
file $/Src/app/ui/main.frm by alice at 2024-05-03 10:00 content "v1"
version $/Src/app/ui/main.frm by bob at 2024-05-04 10:00 content "main v2"
file $/Src/app/old.frm by bob at 2024-04-04 10:00
file $/Src/top.c by alice at 2024-05-03 10:00 content "top"
file $/Src/gone/z.c by alice at 2024-05-03 10:00 content "z"
fault $/Src/gone/z.c get 0x80040000
)");
  window_.selected = ModeOption::Local;
  const std::string before = dump();
  run();
  EXPECT_EQ(window_.shared, (Lines{L"$/Src/app/ui/main.frm", L"$/Src/top.c"}));
  EXPECT_EQ(window_.unshared, Lines{L"$/Src/gone/z.c - patch目录原来获得过这个文件,但被删除了"});
  EXPECT_EQ(localTree(),
            (std::vector<std::string>{"app/", "app/ui/", "app/ui/main.frm", "gone/", "top.c"}));
  EXPECT_EQ(content("app/ui/main.frm"), "main v2");
  EXPECT_EQ(content("top.c"), "top");
  EXPECT_EQ(dump(), before);
}

TEST_F(StandinRun, LocalRunWithARootEndingInASeparatorAndTheProjectInAnotherCase) {
  seed(R"(
file $/Src/app/x.c by alice at 2024-05-03 10:00 content "x"
)");
  window_.selected = ModeOption::Local;
  window_.texts[TextBox::Share] += L"\\";
  window_.texts[TextBox::Project] = L"$/SRC";
  run();
  EXPECT_EQ(window_.shared, Lines{L"$/Src/app/x.c"});
  EXPECT_EQ(localTree(), (std::vector<std::string>{"app/", "app/x.c"}));
}

TEST_F(StandinRun, LocalRunWithAPlainFileWhereAFolderIsNeeded) {
  seed(R"(
file $/Src/app/x.c by alice at 2024-05-03 10:00
file $/Src/lib/deep/y.c by alice at 2024-05-03 10:00
file $/Src/z.c by alice at 2024-05-03 10:00 content "z"
)");
  std::ofstream(root_ / "out" / "app") << "in the way";
  std::ofstream(root_ / "out" / "lib") << "in the way";
  window_.selected = ModeOption::Local;
  run();
  ASSERT_EQ(window_.unshared.size(), 2u);
  EXPECT_EQ(window_.unshared[0].rfind(L"$/Src/app/x.c - 未知错误,代码: -", 0), 0u);
  EXPECT_EQ(window_.unshared[1], L"$/Src/lib/deep/y.c - 未知错误,代码: -2147024893");
  EXPECT_EQ(window_.shared, Lines{L"$/Src/z.c"});
  EXPECT_EQ(content("app"), "in the way");
}

}  // namespace
