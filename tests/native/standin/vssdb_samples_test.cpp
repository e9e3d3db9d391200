// The reader on the databases made by real SourceSafe (../shared/vss-samples, see samples.h): every
// checksum and CRC of every item of every sample, every older version rebuilt, the tree against
// the samples' published figures, histories read by hand from the raw files, names in GBK, and
// the library objects over a real database (opening, users and passwords, lookups, histories,
// links, Get, refused changes, damage).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <map>
#include <set>

#include "standin/adapter.h"
#include "standin/dates.h"
#include "standin/details.h"
#include "standin/store.h"
#include "standin/text.h"
#include "standin/vssdb/database.h"
#include "standin/vssdb/tool.h"
#include "tests/native/standin/samples.h"
#include "tests/native/standin/support.h"

namespace {

namespace fs = std::filesystem;
using standin::vssdb::Database;
using standin::vssdb::Event;
using standin_test::failure;
using standin_test::history;
using standin_test::names;
using standin_test::open;

// The samples' figures as their README publishes them (counted there by other means).
struct Figures {
  const char* name;
  std::size_t items, liveProjects, deletedProjects, liveFiles, deletedFiles;
  std::size_t fileVersions, checkIns, highest;
  std::size_t logRecords, shareRecords, sharedFiles, renames, recovers, deletedEntries, users;
  std::vector<std::size_t> row() const {
    return {items,        liveProjects, deletedProjects, liveFiles,      deletedFiles,
            fileVersions, checkIns,     highest,         logRecords,     shareRecords,
            sharedFiles,  renames,      recovers,        deletedEntries, users};
  }
};
const Figures kFigures[] = {
    {"micnets", 620, 61, 5, 530, 24, 1068, 514, 38, 1821, 9, 3, 13, 7, 32, 5},
    {"inventory", 490, 61, 0, 375, 54, 642, 213, 24, 1272, 13, 13, 0, 0, 67, 3},
    {"push114crm", 201, 12, 0, 189, 0, 189, 0, 1, 401, 0, 0, 0, 0, 0, 3},
    {"tiny", 4, 2, 0, 2, 0, 5, 3, 3, 10, 0, 0, 0, 0, 0, 4},
};

TEST(VssdbSamples, EveryChecksumAndCrcOfEverySampleHoldsAndTheFiguresAreThePublishedOnes) {
  int found = 0;
  for (const Figures& f : kFigures) {
    auto dir = samples::database(f.name);
    if (!dir) continue;
    ++found;
    SCOPED_TRACE(f.name);
    const Database db(*dir);
    const auto counts = db.check();
    EXPECT_EQ(counts.damaged, std::vector<std::string>());
    EXPECT_EQ(counts.files, counts.contents);  // every newest content matched both CRCs
    EXPECT_EQ(counts.rebuilt, f.checkIns);     // every older version rebuilt, none missing
    Figures got{};
    got.items = db.nodes().size();
    got.logRecords = counts.events;
    got.deletedEntries = counts.deletedEntries;
    got.users = counts.users;
    // Live: reached through live entries only, from the root.
    std::vector<bool> live(db.nodes().size(), false);
    live[0] = true;
    for (bool changed = true; changed;) {
      changed = false;
      for (const auto& e : db.entries())
        if (e.parent != standin::vssdb::kNone && !e.deleted && live[e.parent] && !live[e.node])
          live[e.node] = changed = true;
    }
    for (std::uint32_t n = 0; n < db.nodes().size(); ++n) {
      const bool project = db.nodes()[n].project;
      ++(project ? (live[n] ? got.liveProjects : got.deletedProjects)
                 : (live[n] ? got.liveFiles : got.deletedFiles));
      auto item = db.item(n);
      for (const Event& e : item->events) {
        got.checkIns += e.action == standin::vssdb::kCheckIn;
        got.shareRecords += e.action == standin::vssdb::kShareFile;
        got.renames += e.action == standin::vssdb::kRenameFile;
        got.recovers += e.action == standin::vssdb::kRecoverFile;
      }
      if (project) continue;
      const auto version = static_cast<std::size_t>(item->events.back().version);
      got.fileVersions += version;
      got.highest = std::max(got.highest, version);
      got.sharedFiles += db.entriesOf(n).size() > 1;
      // The CRC of the newest content (check matched the content against it) against crcs.dat,
      // read here independently of the reader.
      EXPECT_EQ(item->dataCrc, samples::crcsDatEntry(*dir, db.nodes()[n].physical))
          << db.nodes()[n].physical;
    }
    EXPECT_EQ(got.row(), f.row());
  }
  if (found == 0) GTEST_SKIP() << "no sample databases on this machine";
}

// Read by hand from tiny's raw files (xxd of data/a/aaaaaaaa, data/b/baaaaaaa, data/c/caaaaaaa,
// data/d/daaaaaaa, data/um.dat): the log records' users, times and comments, the project
// entries' names, the users.
// Its srcsafe.ini says TZ_Bias -330: read in India, the dates are the stored wall clock.
TEST(VssdbSamples, TinyUsersAndHistoriesAreThoseReadByHandFromItsFiles) {
  REQUIRE_SAMPLE(tiny, "tiny");
  samples::LocalZone india("IST-5:30");
  auto db = open(tiny, L"Admin", L"");
  auto root = db->vssItem(L"$/", false);
  EXPECT_EQ(root->name(), L"$/");
  EXPECT_EQ(root->parent(), nullptr);
  EXPECT_EQ(names(root->items(true)), L"esign-java-authenticator;");
  EXPECT_EQ(history(*root),
            L"2 johns 2023-05-05 11:26:47 Added esign-java-authenticator [] \n"
            L"1 Admin 2023-05-05 11:25:37 Created [] \n");
  auto project = db->vssItem(L"$/ESIGN-java-authenticator/", false);
  EXPECT_EQ(project->spec(), L"$/esign-java-authenticator");
  EXPECT_EQ(names(project->items(false)), L"clingBling.txt;Le.txt;");
  EXPECT_EQ(history(*project),
            L"3 johns 2023-05-05 11:35:19 Added clingBling.txt [] \n"
            L"2 johns 2023-05-05 11:31:51 Added Le.txt [] \n"
            L"1 johns 2023-05-05 11:26:47 Created [] \n");
  auto cling = db->vssItem(L"$/esign-java-authenticator/clingbling.TXT", false);
  EXPECT_EQ(cling->name(), L"clingBling.txt");  // its long name; names.dat keeps "clingB~1.txt"
  EXPECT_EQ(cling->type(), vss::kTypeFile);
  EXPECT_EQ(cling->parent()->spec(), L"$/esign-java-authenticator");
  EXPECT_EQ(history(*cling),
            L"3 Johnson 2023-05-09 19:46:16 Checked in $/esign-java-authenticator [] "
            L"I want to make changes\n"
            L"2 johns 2023-05-05 11:35:50 Checked in $/esign-java-authenticator [] "
            L"I am going to make changes to ClingBling\n"
            L"1 johns 2023-05-05 11:35:17 Created [] Adding ClingBling\n");
  auto le = db->vssItem(L"$/esign-java-authenticator/Le.txt", false);
  EXPECT_EQ(history(*le),
            L"2 johns 2023-05-05 11:34:15 Checked in $/esign-java-authenticator [] "
            L"To make initial changes\n"
            L"1 johns 2023-05-05 11:31:49 Created [] Addin text file\n");
  auto* details = dynamic_cast<standin::ItemDetails*>(cling.get());
  ASSERT_NE(details, nullptr);
  EXPECT_EQ(details->versionNumber(), 3);
  EXPECT_FALSE(details->deleted());
  EXPECT_EQ(cling->links().size(), 1u);

  // Users come from um.dat and passwords are checked against their hash.
  // Johnson's hash in um.dat is 0x6D3E; "AAH8" is a password with that hash (found by search: the
  // 16-bit hash is all the database keeps, so every password with it opens).
  ASSERT_EQ(Database::passwordHash("AAH8"), Database(tiny).user("johnson")->passwordHash);
  EXPECT_NO_THROW(open(tiny, L"JOHNSON", L"aah8"));
  EXPECT_NO_THROW(open(tiny, L"admin", L""));
  EXPECT_EQ(failure([&] { open(tiny, L"Johnson", L"secret"); }, vss::kInvalidPassword),
            L"Invalid password");
  EXPECT_EQ(failure([&] { open(tiny, L"Admin", L"x"); }, vss::kInvalidPassword),
            L"Invalid password");
  EXPECT_EQ(failure([&] { open(tiny, L"nobody", L""); }, vss::kUserNotFound),
            L"User \"nobody\" not found");
  // Read elsewhere, the same records show in that machine's local time.
  samples::LocalZone utc("UTC0");
  auto cursor = le->versions(0);
  EXPECT_EQ(standin::formatDateTime(cursor->next()->date()), "2023-05-05 06:04:15");
}

// Read by hand from micnets' data/e/eiaaaaaa (the deleted project RSS: its files renamed twice)
// and data/c/cdaaaaaa (its Web project: files deleted and recovered), dated in US Eastern time
// (TZ_Bias 300, daylight from the second Sunday of March): read in UTC, five hours later in
// January, four in June.
TEST(VssdbSamples, MicnetsProjectRecordsReadByHandWithTheirDaylightTime) {
  REQUIRE_SAMPLE(micnets, "micnets");
  samples::LocalZone utc("UTC0");
  auto db = open(micnets, L"Admin", L"");
  const std::wstring web = L"$/MicNets2008/MicNets2008/Web";  // CDAAAAAA, and EIAAAAAA below it
  const std::wstring rss = history(*db->vssItem(web + L"/Blog/RSS", true));
  for (const wchar_t* line :
       {L"6 Janet 2009-01-16 05:09:37 Renamed Links.ashx to RSSLinks.ashx [] \n",
        L"8 Janet 2009-01-16 05:09:58 Renamed RSSLinks.ashx to RSS_Links.ashx [] \n",
        L"5 Janet 2009-01-16 05:09:25 Deleted Links.ashx [] \n"})
    EXPECT_NE(rss.find(line), std::wstring::npos)
        << standin::text::narrow(line) << standin::text::narrow(rss);
  const std::wstring webRecords = history(*db->vssItem(web, false));
  for (const wchar_t* line : {L"32 Janet 2009-06-07 15:40:40 Recovered WebForm1.aspx [] \n",
                              L"27 Janet 2009-05-23 21:53:39 Deleted WebForm1.aspx [] \n",
                              L"47 Michael 2010-09-24 11:52:16 Recovered WebForm1.aspx [] \n"})
    EXPECT_NE(webRecords.find(line), std::wstring::npos)
        << standin::text::narrow(line) << standin::text::narrow(webRecords);
}

TEST(VssdbSamples, GbkNamesAreDecoded) {
  REQUIRE_SAMPLE(push, "push114crm");
  auto db = open(push, L"Admin", L"");
  auto project = db->vssItem(L"$/花城CRM", false);
  EXPECT_EQ(project->name(), L"花城CRM");
  EXPECT_EQ(project->type(), vss::kTypeProject);
  const Database reader(push);
  std::vector<std::string> found;
  for (std::uint32_t e = 0; e < reader.entries().size(); ++e)
    if (reader.entries()[e].name == "加密解密工具.exe") found.push_back(reader.spec(e));
  ASSERT_EQ(found.size(), 1u);
  auto tool = db->vssItem(standin::text::widen(found[0]), false);
  EXPECT_EQ(tool->name(), L"加密解密工具.exe");
  EXPECT_EQ(tool->spec().rfind(L"$/花城CRM/", 0), 0u);
}

TEST(VssdbSamples, SharedDeletedAndRecoveredItemsAreWhereTheLibraryShowsThem) {
  REQUIRE_SAMPLE(micnets, "micnets");
  auto db = open(micnets, L"Admin", L"");
  const Database reader(micnets);
  std::size_t linked = 0, deletedFound = 0;  // shared files, deleted entries
  for (std::uint32_t n = 0; n < reader.nodes().size(); ++n) {
    auto places = reader.entriesOf(n);
    if (!reader.nodes()[n].project && places.size() > 1) {
      // A shared file: the same history wherever it is reached, and its links are its places
      // that are not deleted, and the one it was reached through.
      ++linked;
      std::set<std::wstring> undeleted;
      for (auto e : places)
        if (!reader.entries()[e].deleted) undeleted.insert(standin::text::widen(reader.spec(e)));
      std::vector<std::unique_ptr<vss::Item>> reached;
      for (auto e : places)
        if (reader.resolve(reader.spec(e), true) == e)
          reached.push_back(db->vssItem(standin::text::widen(reader.spec(e)), true));
      ASSERT_FALSE(reached.empty());
      for (auto& r : reached) {
        EXPECT_EQ(history(*r), history(*reached[0]));
        std::set<std::wstring> links, expected = undeleted;
        for (auto& l : r->links()) links.insert(l->spec());
        expected.insert(r->spec());
        EXPECT_EQ(links, expected);
      }
    }
    for (auto e : places) {
      if (!reader.entries()[e].deleted || reader.resolve(reader.spec(e), true) != e) continue;
      // A deleted entry: only VSSItem(spec, true) finds it, and only Items(true) lists it.
      ++deletedFound;
      const std::wstring spec = standin::text::widen(reader.spec(e));
      auto item = db->vssItem(spec, true);
      EXPECT_TRUE(dynamic_cast<standin::ItemDetails&>(*item).deleted()) << reader.spec(e);
      if (reader.resolve(reader.spec(e), false) == standin::vssdb::kNone)
        failure([&] { db->vssItem(spec, false); }, vss::kNotFound);
      auto parent = item->parent();
      EXPECT_NE(names(parent->items(true)).find(item->name() + L";"), std::wstring::npos);
    }
  }
  EXPECT_EQ(linked, 3u);
  EXPECT_GT(deletedFound, 10u);
}

// A project cannot be fetched, and nothing changes the database (what Get writes of a file is
// held by the Local run in vssdb_runs_test).
TEST(VssdbSamples, AProjectIsNotFetchedAndChangesAreRefused) {
  REQUIRE_SAMPLE(tiny, "tiny");
  standin_test::TempDir temp("ostrabel-vssdb-get");
  // A copy of the database, so that a change that was not refused would show.
  samples::copy(tiny, temp / "db");
  const auto before = samples::snapshot(temp / "db");
  auto db = open(temp / "db", L"Johnson", L"AAH8");
  auto file = db->vssItem(L"$/esign-java-authenticator/clingBling.txt", false);
  std::wstring local = temp.file("out\\cling.txt");
  auto project = db->vssItem(L"$/esign-java-authenticator", false);
  failure([&] { project->get(local, 0); }, vss::kNotFound);
  EXPECT_EQ(failure([&] { project->share(*file, L"", 0); }, static_cast<std::int32_t>(0x8004D749)),
            L"You do not have access rights to $/esign-java-authenticator");
  EXPECT_EQ(
      failure([&] { project->newSubproject(L"New", L""); }, static_cast<std::int32_t>(0x8004D749)),
      L"You do not have access rights to $/esign-java-authenticator");
  // Nor do the tool's commands that write: a store is never made over a database.
  EXPECT_THROW(standin::createStore(temp / "db"), standin::ToolError);
  EXPECT_THROW(standin::seed(temp / "db", "user x\n"), standin::ToolError);
  EXPECT_EQ(samples::snapshot(temp / "db"), before);  // no lock file, nothing written
}

// Appends a label record to an item file as SourceSafe lays one out (the log record's fields
// of the format, label action 0, the next version number), and updates the item header's count,
// last record and length with its checksum: tiny with labels, which no sample has.
void appendLabel(const fs::path& itemFile, const std::string& label, const std::string& user,
                 const char* wall) {
  std::string file = standin_test::readFile(itemFile);
  auto put = [](std::string& s, std::size_t at, std::uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) s.at(at + k) = static_cast<char>(v >> (8 * k));
  };
  const std::size_t dh = 52 + 8;  // the item header's body
  const std::uint32_t last = samples::u32(file, dh + 52);
  const auto lastVersion = static_cast<std::uint16_t>(file.at(last + 8 + 6) & 0xFF);
  std::string body(88, '\0');
  put(body, 0, last, 4);
  put(body, 6, lastVersion + 1u, 2);
  put(body, 8, static_cast<std::uint32_t>(*standin::parseSeconds(wall) - 25569LL * 86400), 4);
  body.replace(12, user.size(), user);
  body.replace(44, label.size(), label);
  const auto at = static_cast<std::uint32_t>(file.size());
  std::string header(8, '\0');
  put(header, 0, static_cast<std::uint32_t>(body.size()), 4);
  header.replace(4, 2, "EL");
  put(header, 6, standin::vssdb::recordChecksum(body), 2);
  file += header + body;
  put(file, dh + 2, (static_cast<unsigned char>(file[dh + 2]) | file[dh + 3] << 8) + 1u, 2);
  put(file, dh + 52, at, 4);
  put(file, dh + 56, static_cast<std::uint32_t>(file.size()), 4);
  const std::uint32_t length = samples::u32(file, 52);
  put(file, 52 + 6, standin::vssdb::recordChecksum(std::string_view(file).substr(dh, length)), 2);
  std::ofstream(itemFile, std::ios::binary | std::ios::trunc) << file;
}

// Labels of the projects above a file join its history by time, from its first record on, with
// the file's version number at that time; a project lists its own.
TEST(VssdbSamples, LabelsOfTheProjectsAboveAreMergedIntoAFilesHistoryByTime) {
  REQUIRE_SAMPLE(tiny, "tiny");
  samples::LocalZone india("IST-5:30");
  standin_test::TempDir temp("ostrabel-vssdb-labels");
  samples::copy(tiny, temp / "db");
  appendLabel(temp / "db/data/a/aaaaaaaa", "Early", "Admin", "2023-05-05 11:33:00");
  appendLabel(temp / "db/data/a/aaaaaaaa", "Build 1", "Compileruser", "2023-05-06 10:00:00");
  appendLabel(temp / "db/data/b/baaaaaaa", "Same second", "Admin", "2023-05-09 19:46:16");
  appendLabel(temp / "db/data/b/baaaaaaa", "Release", "Compileruser", "2023-05-10 08:00:00");
  EXPECT_EQ(Database(temp / "db").check().damaged, std::vector<std::string>());
  auto db = open(temp / "db", L"Admin", L"");
  EXPECT_EQ(history(*db->vssItem(L"$/esign-java-authenticator/clingBling.txt", false)),
            L"3 Compileruser 2023-05-10 08:00:00 Labeled [Release] \n"
            L"3 Johnson 2023-05-09 19:46:16 Checked in $/esign-java-authenticator [] "
            L"I want to make changes\n"
            L"2 Admin 2023-05-09 19:46:16 Labeled [Same second] \n"  // after the file's own
            L"2 Compileruser 2023-05-06 10:00:00 Labeled [Build 1] \n"
            L"2 johns 2023-05-05 11:35:50 Checked in $/esign-java-authenticator [] "
            L"I am going to make changes to ClingBling\n"
            L"1 johns 2023-05-05 11:35:17 Created [] Adding ClingBling\n");
  EXPECT_EQ(history(*db->vssItem(L"$/esign-java-authenticator/Le.txt", false)),
            L"2 Compileruser 2023-05-10 08:00:00 Labeled [Release] \n"
            L"2 Admin 2023-05-09 19:46:16 Labeled [Same second] \n"
            L"2 Compileruser 2023-05-06 10:00:00 Labeled [Build 1] \n"
            L"2 johns 2023-05-05 11:34:15 Checked in $/esign-java-authenticator [] "
            L"To make initial changes\n"
            L"1 Admin 2023-05-05 11:33:00 Labeled [Early] \n"
            L"1 johns 2023-05-05 11:31:49 Created [] Addin text file\n");
  EXPECT_EQ(history(*db->vssItem(L"$/", false)),
            L"4 Compileruser 2023-05-06 10:00:00 Labeled [Build 1] \n"
            L"3 Admin 2023-05-05 11:33:00 Labeled [Early] \n"
            L"2 johns 2023-05-05 11:26:47 Added esign-java-authenticator [] \n"
            L"1 Admin 2023-05-05 11:25:37 Created [] \n");
  const std::string dump = standin::vssdb::dump(Database(temp / "db"));
  EXPECT_NE(dump.find("project $/\n  label \"Early\" by Admin at 2023-05-05 11:33:00\n"
                      "  label \"Build 1\" by Compileruser at 2023-05-06 10:00:00\n"
                      "project $/esign-java-authenticator\n"
                      "  label \"Same second\" by Admin at 2023-05-09 19:46:16\n"
                      "  label \"Release\" by Compileruser at 2023-05-10 08:00:00\n"),
            std::string::npos)
      << dump;
}

// A byte flipped where the reader proves something (in a copy of tiny) makes the item damaged,
// and nothing crashes or throws anything but Damaged: in each record its length, its checksum
// and its body (not a comment's, whose checksum field is 0: SourceSafe keeps nothing to prove it
// by), the proven fields of the file headers (signature, and an item file's type and format
// version), and the first, middle and last byte of a file of contents.
TEST(VssdbSamples, AFlippedByteWhereverTheReaderProvesIsFoundAndNeverCrashes) {
  REQUIRE_SAMPLE(tiny, "tiny");
  standin_test::TempDir temp("ostrabel-vssdb-flips");
  samples::copy(tiny, temp / "db");
  for (const char* name :
       {"data/a/aaaaaaaa", "data/b/baaaaaaa", "data/c/caaaaaaa", "data/d/daaaaaaa",
        "data/a/aaaaaaaa.b", "data/b/baaaaaaa.a", "data/c/caaaaaaa.b", "data/d/daaaaaaa.a",
        "data/um.dat", "data/names.dat"}) {
    const std::string original = standin_test::readFile(temp / "db" / name);
    const bool itemFile = std::string(name).find('.') == std::string::npos;
    const bool users = std::string(name) == "data/um.dat";
    std::set<std::size_t> flips;
    if (itemFile) flips = {0, 32, 34};
    if (users) flips = {0};
    try {
      for (const auto& r :
           standin::vssdb::readRecords(original, itemFile || users ? 52 : 0, name)) {
        flips.insert({r.offset, r.offset + 6});
        if (r.signature != "MC" && !r.body.empty()) flips.insert(r.offset + 8 + r.body.size() / 2);
      }
    } catch (const standin::vssdb::Damaged&) {  // not records: a file's content
      flips = {0, original.size() / 2, original.size() - 1};
    }
    for (const std::size_t at : flips) {
      std::string bytes = original;
      bytes[at] ^= 0x04;
      temp.write(fs::path("db") / name, bytes);
      bool damaged = false;
      try {
        const Database db(temp / "db");
        damaged = !db.check().damaged.empty();
        standin::vssdb::dump(db);
      } catch (const standin::vssdb::Damaged&) {
        damaged = true;
      }
      EXPECT_TRUE(damaged) << name << " byte " << at;
    }
    temp.write(fs::path("db") / name, original);
  }
}

// Damage in a copy of tiny: a flipped byte anywhere the reader proves is the library's damaged
// failure for that item, and the rest of the database reads as before.
TEST(VssdbSamples, DamageIsTheLibrarysDamagedFailureForThatItemOnly) {
  REQUIRE_SAMPLE(tiny, "tiny");
  const std::wstring cling = L"$/esign-java-authenticator/clingBling.txt";
  const std::wstring le = L"$/esign-java-authenticator/Le.txt";
  struct Case {
    const char* what;
    const char* file;
    long offset;  // from the end when negative
    std::function<void(vss::Database&)> fails;
  };
  auto history = [](const std::wstring& spec) {
    return [spec](vss::Database& db) {
      auto item = db.vssItem(spec, false);
      failure([&] { item->versions(0); }, vss::kDeletedOrDamaged);
      // Never the current folder: a Get that wrongly succeeded would leave its copy there.
      const fs::path copy = fs::temp_directory_path() / "ostrabel-vssdb-damaged-get";
      std::wstring local = copy.wstring();
      failure([&] { item->get(local, 0); }, vss::kDeletedOrDamaged);
      std::error_code ec;
      fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add, ec);
      fs::remove(copy, ec);
    };
  };
  const Case cases[] = {
      {"a log record of the file", "data/d/daaaaaaa", 1600, history(cling)},
      {"the file's item header", "data/d/daaaaaaa", 100, history(cling)},
      {"its newest content", "data/d/daaaaaaa.a", -3, history(cling)},
      {"a reverse delta", "data/d/daaaaaaa", 2050, history(cling)},
      // crcs.dat: the 72-byte header record, then a u32 per physical name; DAAAAAAA is the 4th.
      {"its CRC in crcs.dat", "data/crcs.dat", 72 + 3 * 4, history(cling)},
      {"the project's entries", "data/b/baaaaaaa.a", 20,
       [](vss::Database& db) {
         auto project = db.vssItem(L"$/esign-java-authenticator", false);
         failure([&] { project->items(false); }, vss::kDeletedOrDamaged);
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    standin_test::TempDir temp("ostrabel-vssdb-damage");
    samples::copy(tiny, temp / "db");
    std::string bytes = standin_test::readFile(temp / "db" / c.file);
    bytes.at(c.offset < 0 ? bytes.size() + c.offset : c.offset) ^= 0x10;
    temp.write(fs::path("db") / c.file, bytes);
    auto db = open(temp / "db", L"Admin", L"");
    c.fails(*db);
    if (std::string(c.file).find("baaaaaaa") == std::string::npos) {
      auto other = db->vssItem(le, false);
      EXPECT_EQ(other->versions(0)->next()->versionNumber(), 2);  // the other file is unharmed
      const auto counts = Database(temp / "db").check();
      EXPECT_EQ(counts.damaged.size(), 1u);
    }
  }
  // Damage in what every item needs fails the opening, with ESS_CORRUPT's status and words.
  standin_test::TempDir temp("ostrabel-vssdb-damage");
  samples::copy(tiny, temp / "db");
  std::string um = standin_test::readFile(temp / "db/data/um.dat");
  um[0x90] ^= 1;  // a byte of Admin's user record
  temp.write("db/data/um.dat", um);
  EXPECT_EQ(
      failure([&] { open(temp / "db", L"Admin", L""); }, static_cast<std::int32_t>(0x8004D698)),
      L"File um.dat, record at byte 124 (UU) may be corrupt: it fails its checksum");
}

}  // namespace
