// A database written while the reader reads it: the test rewrites an item file (or a data file)
// on disk between two reads of it, through the reader's one way into the file system. A file
// that settles is read again and read right; one that fails the same way twice is damaged; one
// that is different at every read is torn, named to the caller, and never read wrong.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "tests/native/standin/samples.h"
#include "tests/native/standin/support.h"
#include "vssdb/library.h"
#include "vssdb/statuses.h"

namespace {

namespace fs = std::filesystem;
using standin_test::failure;
using standin_test::history;

// The system's files; after each read of `target`, `between` runs with the reads so far.
class Rewriting final : public vssdb::Files {
 public:
  std::optional<std::string> read(const fs::path& file) override {
    auto bytes = vssdb::systemFiles().read(file);
    if (file.lexically_normal() == target.lexically_normal() && between) between(++reads);
    return bytes;
  }
  fs::path target;
  std::function<void(int)> between;
  int reads = 0;
};

class TornRead : public testing::Test {
 protected:
  void SetUp() override {
    const auto tiny = samples::database("tiny");
    if (!tiny) GTEST_SKIP() << "sample tiny not found: not tested";
    samples::copy(*tiny, temp_ / "db");
    vssdb::Database db(temp_ / "db");
    const std::uint32_t node = db.entries()[db.resolve(kFile, false)].node;
    item_ = db.itemFile(db.nodes()[node].physical);
    content_ = db.item(node)->contentFile;
    files_.target = item_;
    expected_ = history(*open()->vssItem(widen(kFile), false));
  }
  std::unique_ptr<vss::Database> open() {
    vssdb::Settings settings;
    settings.reading.strict = true;
    settings.reading.files = &files_;
    settings.onTorn = [this](const std::wstring& spec, const std::wstring& why) {
      torn_ += spec + L": " + why + L"\n";
    };
    auto db = vssdb::makeLibrary(std::move(settings))->newDatabase();
    db->open((temp_ / "db/srcsafe.ini").wstring(), L"Admin", L"");
    return db;
  }
  // The item file's bytes with one byte of its header record changed (by `by`), as a check-in
  // leaves them while it rewrites that record (after the file's 52-byte header and the record's
  // own 8 bytes).
  static std::string changed(const std::string& bytes, int by) {
    std::string out = bytes;
    out[52 + 8 + 4] = static_cast<char>(out[52 + 8 + 4] + by);
    return out;
  }
  static std::wstring widen(const char* s) { return std::wstring(s, s + std::strlen(s)); }

  static constexpr const char* kFile = "$/esign-java-authenticator/clingBling.txt";
  standin_test::TempDir temp_{"ostrabel-vssdb-torn"};
  Rewriting files_;
  fs::path item_, content_;
  std::wstring expected_, torn_;
};

TEST_F(TornRead, AnItemFileThatSettlesIsReadAgainAndReadRight) {
  const std::string whole = standin_test::readFile(item_);
  auto db = open();
  auto item = db->vssItem(widen(kFile), false);
  // The first read of the history finds a record half rewritten; the writer is done before the
  // second.
  standin::io::writeFile(item_, changed(whole, 1));
  files_.reads = 0;
  files_.between = [&](int reads) {
    if (reads == 1) standin::io::writeFile(item_, whole);
  };
  EXPECT_EQ(history(*item), expected_);
  EXPECT_EQ(files_.reads, 2);
  EXPECT_EQ(torn_, L"");
}

TEST_F(TornRead, AnItemFileThatChangesAtEveryReadIsTornAndOneDamagedAlikeIsUnreadable) {
  const std::string whole = standin_test::readFile(item_);
  auto db = open();
  auto item = db->vssItem(widen(kFile), false);
  files_.between = [&](int reads) { standin::io::writeFile(item_, changed(whole, reads + 1)); };
  standin::io::writeFile(item_, changed(whole, 1));
  files_.reads = 0;
  const std::wstring why = failure([&] { item->versions(0); }, vss::kDeletedOrDamaged);
  EXPECT_NE(why.find(L"changed at each of 5 reads"), std::wstring::npos) << why;
  EXPECT_EQ(torn_, widen(kFile) + L": " + why + L"\n");
  EXPECT_EQ(files_.reads, 5);
  // Nor is the file fetched: Get reads the same item file first.
  const std::wstring local = (temp_ / "out" / "cling.txt").wstring();
  failure([&] { item->get(const_cast<std::wstring&>(local), 0); }, vss::kDeletedOrDamaged);
  EXPECT_FALSE(fs::exists(temp_ / "out" / "cling.txt"));

  // The same damage at every read is no writer's: SourceSafe's failure for an unreadable file.
  files_.between = nullptr;
  torn_.clear();
  EXPECT_NE(failure([&] { item->versions(0); }, vssdb::status::kReadError)
                .find(L"Error reading from file ("),
            std::wstring::npos);
  EXPECT_EQ(torn_, L"");
}

TEST_F(TornRead, AFetchedContentIsCheckedByItsCrcAndReadAgain) {
  const std::string content = standin_test::readFile(content_);
  std::string wrong = content;
  wrong[0] = static_cast<char>(wrong[0] ^ 0x20);
  files_.target = content_;
  auto db = open();
  auto item = db->vssItem(widen(kFile), false);
  standin::io::writeFile(content_, wrong);
  files_.reads = 0;
  files_.between = [&](int reads) {
    if (reads == 1) standin::io::writeFile(content_, content);
  };
  std::wstring local = (temp_ / "out" / "cling.txt").wstring();
  item->get(local, 0);
  EXPECT_EQ(standin_test::readFile(temp_ / "out" / "cling.txt"), content);
  EXPECT_EQ(files_.reads, 2);

  // Different at every read: not fetched at all.
  files_.between = [&](int reads) {
    std::string next = content;
    next[0] = static_cast<char>(next[0] + reads);
    standin::io::writeFile(content_, next);
  };
  standin::io::writeFile(content_, wrong);
  std::wstring other = (temp_ / "out" / "other.txt").wstring();
  failure([&] { item->get(other, 0); }, vss::kDeletedOrDamaged);
  EXPECT_FALSE(fs::exists(temp_ / "out" / "other.txt"));
  EXPECT_NE(torn_.find(L"changed at each of 5 reads"), std::wstring::npos);
}

// A walk asks a file's version right after its history: the item file is read once for both
// (a second read of every item file doubled a direct View of a large database).
TEST_F(TornRead, AFilesVersionAfterItsHistoryReadsTheItemFileNoMore) {
  auto db = open();
  auto item = db->vssItem(widen(kFile), false);
  files_.between = [](int) {};  // counts the reads only
  auto cursor = item->versions(0);
  const long newest = cursor->next()->versionNumber();
  const int reads = files_.reads;
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(item->versionNumber(), newest);
  EXPECT_EQ(files_.reads, reads);
}

}  // namespace
