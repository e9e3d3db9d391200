// What the engine tests run against: a window that records what the run shows, a platform over
// a real folder, and the stand-in library behind a decorator that counts and logs calls and
// injects the failures a seeded store cannot hold.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

#include "engine/patcher.h"
#include "standin/adapter.h"
#include "standin/store.h"
#include "standin/text.h"
#include "tests/temp_folder.h"

namespace fakes {

namespace fs = std::filesystem;
using Lines = std::vector<std::wstring>;
using Strings = std::vector<std::string>;
using engine::TextBox;

inline std::wstring lower(std::wstring t) {
  for (wchar_t& c : t) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
  return t;
}

class FakeWindow : public engine::WindowPort {
 public:
  struct Box {
    std::wstring text, title;
    engine::Icon icon;
    engine::Buttons buttons;
    // The box in one line: title, icon (- none, ! exclamation, i information), buttons, text.
    std::wstring line() const {
      return title + L"|" + L"-!i"[static_cast<int>(icon)] +
             (buttons == engine::Buttons::Ok ? L"|OK|" : L"|YesNo|") + text;
    }
  };
  std::wstring text(TextBox box) override { return texts[box]; }
  bool isSelected(engine::ModeOption option) override { return selected == option; }
  bool isIgnoreBuildUserChecked() override { return ignoreBuildUser; }
  void setStatusText(const std::wstring& t) override {
    status.push_back(t);
    log.push_back(L"status:" + t);
  }
  void clearList(engine::ResultList list) override {
    (list == engine::ResultList::Processed ? shared : unshared).clear();
    log.push_back(list == engine::ResultList::Processed ? L"clear:Shared" : L"clear:Unshare");
  }
  void appendLine(engine::ResultList list, const std::wstring& line) override {
    (list == engine::ResultList::Processed ? shared : unshared).push_back(line);
    log.push_back((list == engine::ResultList::Processed ? L"Shared:" : L"Unshare:") + line);
  }
  engine::Answer showMessage(const std::wstring& t, const std::wstring& title, engine::Icon icon,
                             engine::Buttons buttons) override {
    boxes.push_back({t, title, icon, buttons});
    log.push_back(L"box:" + t);
    if (onBox) onBox(boxes.back());
    if (answer) return *answer;
    return buttons == engine::Buttons::YesNo ? engine::Answer::Yes : engine::Answer::Ok;
  }
  void processPendingEvents() override {
    if (onEvents) onEvents();
  }
  void setPatchButton(const std::wstring& caption, bool enabled) override {
    button.emplace_back(caption, enabled);
    log.push_back(L"button:" + caption + (enabled ? L":on" : L":off"));
  }
  void saveSettings() override {
    log.push_back(L"save");
    if (failSave) throw std::runtime_error("disk full");
  }

  std::map<TextBox, std::wstring> texts;
  std::optional<engine::ModeOption> selected = engine::ModeOption::View;
  bool ignoreBuildUser = false, failSave = false;
  std::optional<engine::Answer> answer;  // otherwise Yes or OK
  std::function<void()> onEvents;
  std::function<void(const Box&)> onBox;
  Lines status, shared, unshared, log;
  std::vector<Box> boxes;
  std::vector<std::pair<std::wstring, bool>> button;
};

// "\" in the engine's paths is the separator it is on Windows.
inline fs::path native(const std::wstring& path) {
  std::string s = standin::text::narrow(path);
  std::replace(s.begin(), s.end(), '\\', '/');
  return fs::path(s);
}

class DiskPlatform : public engine::PlatformPort {
 public:
  bool pathExists(const std::wstring& path) override {
    existsCalls.push_back(path);
    std::error_code ec;
    return fs::exists(native(path), ec);
  }
  std::uint32_t createFolder(const std::wstring& path) override {
    createCalls.push_back(path);
    if (const auto it = failCreate.find(path); it != failCreate.end()) return it->second;
    std::error_code ec;
    const fs::path p = native(path);
    if (fs::exists(p, ec)) return 183;                     // ERROR_ALREADY_EXISTS
    if (!fs::is_directory(p.parent_path(), ec)) return 3;  // ERROR_PATH_NOT_FOUND
    return fs::create_directory(p, ec) ? 0 : 5;
  }
  bool writableFileExists(const std::wstring& path) override {
    writableCalls.push_back(path);
    std::error_code ec;
    const fs::file_status status = fs::status(native(path), ec);
    return fs::is_regular_file(status) &&
           (status.permissions() & fs::perms::owner_write) != fs::perms::none;
  }
  std::uint32_t removeFile(const std::wstring& path) override {
    removeCalls.push_back(path);
    std::error_code ec;
    return fs::remove(native(path), ec) ? 0 : 2;  // ERROR_FILE_NOT_FOUND
  }
  // A time alone is a time of 1899-12-30, day 0, as the locale's conversion reads it.
  std::optional<double> toDate(const std::wstring& t) override {
    if (const auto date = standin::parseDateTime(standin::text::narrow(t))) return date;
    if (t.empty() || t.find(L'-') != std::wstring::npos) return std::nullopt;
    return standin::parseDateTime("1899-12-30 " + standin::text::narrow(t));
  }
  std::wstring nowText() override { return now; }
  // Fails at the call numbered throwAtLower with something that is no library failure.
  std::wstring toLower(const std::wstring& t) override {
    if (++lowers == throwAtLower) throw std::runtime_error("boom");
    return lower(t);
  }

  std::wstring now = L"2030-01-01 00:00:00";
  std::map<std::wstring, std::uint32_t> failCreate;  // exact path → system error code
  Lines existsCalls, createCalls, writableCalls, removeCalls;
  int lowers = 0, throwAtLower = 0;
};

// Calls of every database object together, and failures to inject (keys: lower-case specs).
struct Calls {
  // Calls of each member over all objects ("open", "vssItem", "items", "type", "spec", "name",
  // "parent", "versions", "next", "username", "date", "newSubproject", "share", "get"); the call
  // numbered failCall (from 1) of failMember fails with failStatus.
  std::map<std::string, int> count;
  std::string failMember;
  int failCall = 0;
  std::int32_t failStatus = 0;
  void tick(const std::string& member) {
    if (++count[member] == failCall && member == failMember)
      throw vss::Error(failStatus, L"Injected failure of " + standin::text::widen(member));
  }
  // Replaces the date of each record a history yields: (file spec, stored date) -> date.
  std::function<double(const std::wstring&, double)> dateOf;
  int recordsRead = 0;
  Lines lookupLog, enumerationLog, shareLog, getLog;  // share: "target<-file|comment|flags"
  // Lookups by path, subprojects by name, path reads by the item's path.
  std::map<std::wstring, std::int32_t> lookupFaults, subprojectFaults, specFaults;
  // How the library spells the path of a file that links() handed out, if not as stored (a
  // project's link is in its stored spelling).
  std::function<std::wstring(const std::wstring&)> linkSpelling;
  Lines noHistory;
};

inline void failIf(const std::map<std::wstring, std::int32_t>& faults, const std::wstring& key,
                   const wchar_t* text) {
  if (const auto it = faults.find(key); it != faults.end()) throw vss::Error(it->second, text);
}

class Item : public vss::Item {
 public:
  Item(Calls& c, std::unique_ptr<vss::Item> inner) : c_(c), in_(std::move(inner)) {}
  static std::unique_ptr<vss::Item> wrap(Calls& c, std::unique_ptr<vss::Item> i) {
    return i ? std::make_unique<Item>(c, std::move(i)) : nullptr;
  }
  int type() override { return c_.tick("type"), in_->type(); }
  std::wstring name() override { return c_.tick("name"), in_->name(); }
  std::wstring spec() override {
    c_.tick("spec");
    std::wstring spec = in_->spec();
    failIf(c_.specFaults, lower(spec), L"Injected failure of spec");
    return link_ && c_.linkSpelling && in_->type() != vss::kTypeProject ? c_.linkSpelling(spec)
                                                                        : spec;
  }
  std::unique_ptr<vss::Item> parent() override {
    return c_.tick("parent"), wrap(c_, in_->parent());
  }
  std::vector<std::unique_ptr<vss::Item>> items(bool includeDeleted) override {
    c_.tick("items");
    c_.enumerationLog.push_back(in_->spec());
    std::vector<std::unique_ptr<vss::Item>> out;
    for (auto& i : in_->items(includeDeleted)) out.push_back(wrap(c_, std::move(i)));
    return out;
  }
  std::unique_ptr<vss::VersionCursor> versions(int flags) override {
    c_.tick("versions");
    struct Version : vss::Version {
      Calls& c;
      std::wstring spec;
      std::unique_ptr<vss::Version> in;
      Version(Calls& calls, std::wstring s, std::unique_ptr<vss::Version> v)
          : c(calls), spec(std::move(s)), in(std::move(v)) {}
      std::wstring username() override { return c.tick("username"), in->username(); }
      double date() override {
        c.tick("date");
        return c.dateOf ? c.dateOf(spec, in->date()) : in->date();
      }
      long versionNumber() override { return c.tick("versionNumber"), in->versionNumber(); }
      std::wstring action() override { return c.tick("action"), in->action(); }
      std::wstring comment() override { return c.tick("comment"), in->comment(); }
      std::wstring label() override { return c.tick("label"), in->label(); }
      std::wstring labelComment() override { return c.tick("labelComment"), in->labelComment(); }
    };
    struct Cursor : vss::VersionCursor {
      Calls& c;
      std::wstring spec;
      std::unique_ptr<vss::VersionCursor> in;
      Cursor(Calls& calls, std::wstring s) : c(calls), spec(std::move(s)) {}
      std::unique_ptr<vss::Version> next() override {
        c.tick("next");
        auto v = in ? in->next() : nullptr;
        c.recordsRead += v ? 1 : 0;
        return v ? std::make_unique<Version>(c, spec, std::move(v)) : nullptr;
      }
    };
    auto cursor = std::make_unique<Cursor>(c_, in_->spec());
    if (std::count(c_.noHistory.begin(), c_.noHistory.end(), lower(in_->spec())) == 0)
      cursor->in = in_->versions(flags);
    return cursor;
  }
  long versionNumber() override { return c_.tick("itemVersionNumber"), in_->versionNumber(); }
  std::vector<std::unique_ptr<vss::Item>> links() override {
    c_.tick("links");
    std::vector<std::unique_ptr<vss::Item>> out;
    for (auto& i : in_->links()) {
      out.push_back(wrap(c_, std::move(i)));
      static_cast<Item&>(*out.back()).link_ = true;
    }
    return out;
  }
  std::unique_ptr<vss::Item> newSubproject(const std::wstring& name,
                                           const std::wstring& comment) override {
    c_.tick("newSubproject");
    failIf(c_.subprojectFaults, name, L"Injected failure");
    return wrap(c_, in_->newSubproject(name, comment));
  }
  void share(vss::Item& file, const std::wstring& comment, int flags) override {
    c_.tick("share");
    vss::Item& source = *dynamic_cast<Item&>(file).in_;
    c_.shareLog.push_back(in_->spec() + L"<-" + source.spec() + L"|" + comment + L"|" +
                          std::to_wstring(flags));
    in_->share(source, comment, flags);
  }
  void get(std::wstring& local, int flags) override {
    c_.tick("get");
    c_.getLog.push_back(local + L"|" + std::to_wstring(flags));
    in_->get(local, flags);
  }

 private:
  Calls& c_;
  std::unique_ptr<vss::Item> in_;
  bool link_ = false;  // handed out by links()
};

class Library : public vss::Library {
 public:
  std::unique_ptr<vss::Database> newDatabase() override {
    struct Db : vss::Database {
      Calls& c;
      std::unique_ptr<vss::Database> in;
      Db(Calls& calls, std::unique_ptr<vss::Database> i) : c(calls), in(std::move(i)) {}
      void open(const std::wstring& ini, const std::wstring& u, const std::wstring& p) override {
        c.tick("open");
        in->open(ini, u, p);
      }
      std::unique_ptr<vss::Item> vssItem(const std::wstring& spec, bool deleted) override {
        c.tick("vssItem");
        c.lookupLog.push_back(spec);
        failIf(c.lookupFaults, lower(spec), L"Injected lookup failure");
        return Item::wrap(c, in->vssItem(spec, deleted));
      }
    };
    return std::make_unique<Db>(calls, inner_->newDatabase());
  }
  Calls calls;

 private:
  std::unique_ptr<vss::Library> inner_ = standin::makeLibrary();
};

// A store with user Admin (password "secret") and the projects $/Src and $/Patch, a local root,
// and a window whose inputs pass validation: a View run of May 2024.
class Run : public testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(root_ / "out");
    standin::createStore(root_ / "db");
    seed("user Admin password secret\nproject $/Src\nproject $/Patch\n");
    window_.texts =
        defaults_ = {{TextBox::Host, standin::text::widen((root_ / "db/srcsafe.ini").string())},
                     {TextBox::Project, L"$/Src"},
                     {TextBox::Patch, L"$/Patch"},
                     {TextBox::User, L"Admin"},
                     {TextBox::Passwd, L"secret"},
                     {TextBox::StartDate, L"2024-05-01 00:00"},
                     {TextBox::EndDate, L"2024-06-01 00:00"},
                     {TextBox::LocalDir, out()}};
  }
  void seed(const std::string& script) { standin::seed(root_ / "db", script); }
  std::string dump() { return standin::dump(root_ / "db"); }
  void run() { patcher_.cmdPatch_Click(); }
  // A fresh window with the first inputs, and the calls counted afresh.
  void reset() {
    window_ = FakeWindow();
    window_.texts = defaults_;
    calls() = {};
  }
  std::wstring out() { return standin::text::widen((root_ / "out").string()); }
  Calls& calls() { return library_.calls; }

  // The dump's item lines (projects, files, shares, deletions) or its history records (sorted).
  Strings dumpLines(bool records = false) {
    Strings out;
    std::istringstream in(dump());
    for (std::string l; std::getline(in, l);) {
      if (l.rfind("  ", 0) == (records ? 0 : std::string::npos) && l.rfind("user ", 0) &&
          l[0] != '#')
        out.push_back(l);
    }
    if (records) std::sort(out.begin(), out.end());
    return out;
  }
  // Every path below a folder of the root (the local root unless told), relative: folders with
  // a trailing "/", files with "=" and their content.
  Strings localTree(const std::string& under = "out") {
    Strings out;
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(root_ / under, ec)) {
      std::ifstream in(e.path(), std::ios::binary);
      out.push_back(
          fs::relative(e.path(), root_ / under).generic_string() +
          (e.is_directory() ? "/" : "=" + std::string(std::istreambuf_iterator<char>(in), {})));
    }
    std::sort(out.begin(), out.end());
    return out;
  }

  testing_support::TempFolder temp_{"ostrabel-engine"};
  const fs::path root_ = temp_.path();
  std::map<TextBox, std::wstring> defaults_;
  FakeWindow window_;
  DiskPlatform platform_;
  Library library_;
  engine::Patcher patcher_{window_, platform_, library_};
};

// The same in another mode.
template <engine::ModeOption M>
class In : public Run {
 protected:
  void SetUp() override {
    Run::SetUp();
    window_.selected = M;
  }
};

}  // namespace fakes
