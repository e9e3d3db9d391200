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
#include "standin/real_tool.h"
#include "standin/store.h"
#include "standin/text.h"
#include "tests/native/standin/samples.h"
#include "tests/native/standin/support.h"
#include "vssdb/database.h"

namespace {

namespace fs = std::filesystem;
using standin_test::failure;
using standin_test::history;
using standin_test::names;
using standin_test::open;
using vssdb::Database;
using vssdb::Event;

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
        if (e.parent != vssdb::kNone && !e.deleted && live[e.parent] && !live[e.node])
          live[e.node] = changed = true;
    }
    for (std::uint32_t n = 0; n < db.nodes().size(); ++n) {
      const bool project = db.nodes()[n].project;
      ++(project ? (live[n] ? got.liveProjects : got.deletedProjects)
                 : (live[n] ? got.liveFiles : got.deletedFiles));
      auto item = db.item(n);
      for (const Event& e : item->events) {
        got.checkIns += e.action == vssdb::kCheckIn;
        got.shareRecords += e.action == vssdb::kShareFile;
        got.renames += e.action == vssdb::kRenameFile;
        got.recovers += e.action == vssdb::kRecoverFile;
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
// entries' names, the users. The histories are as SourceSafe 6.0d's library lists them: dates
// in steps of two seconds whatever the machine's zone (srcsafe.ini's TZ_Bias -330 counts for
// nothing), the project's history with its files' check-ins, the root without a name.
TEST(VssdbSamples, TinyUsersAndHistoriesAreThoseOfTheLibrary) {
  REQUIRE_SAMPLE(tiny, "tiny");
  samples::LocalZone utc("UTC0");
  auto db = open(tiny, L"Admin", L"");
  auto root = db->vssItem(L"$/", false);
  EXPECT_EQ(root->name(), L"");
  EXPECT_EQ(root->spec(), L"$/");
  EXPECT_EQ(root->parent(), nullptr);
  EXPECT_EQ(names(root->items(true)), L"esign-java-authenticator;");
  EXPECT_EQ(history(*root),
            L"2 johns 2023-05-05 11:26:46 Added  [] \n"
            L"1 Admin 2023-05-05 11:25:36 Created  [] \n");
  auto project = db->vssItem(L"$/ESIGN-java-authenticator/", false);
  EXPECT_EQ(project->spec(), L"$/ESIGN-java-authenticator");  // as typed, as the library echoes it
  EXPECT_EQ(names(project->items(false)), L"clingBling.txt;Le.txt;");
  const std::wstring checkedIn = L"Checked in $/esign-java-authenticator [] ";
  EXPECT_EQ(history(*project), L"3 Johnson 2023-05-09 19:46:16 " + checkedIn +
                                   L"I want to make changes\n" + L"2 johns 2023-05-05 11:35:50 " +
                                   checkedIn +
                                   L"I am going to make changes to ClingBling\n"
                                   L"3 johns 2023-05-05 11:35:18 Added  [] \n"
                                   L"2 johns 2023-05-05 11:34:14 " +
                                   checkedIn + L"To make initial changes\n" +
                                   L"2 johns 2023-05-05 11:31:50 Added  [] \n"
                                   L"1 johns 2023-05-05 11:26:46 Created  [] \n");
  auto cling = db->vssItem(L"$/esign-java-authenticator/clingbling.TXT", false);
  EXPECT_EQ(cling->name(), L"clingbling.TXT");  // as looked up, like its Spec
  EXPECT_EQ(cling->links().front()->name(), L"clingBling.txt");
  EXPECT_EQ(cling->type(), vss::kTypeFile);
  EXPECT_EQ(cling->parent()->spec(), L"$/esign-java-authenticator");
  // Below a typed path its children carry the stored names, their long ones (names.dat keeps
  // "clingB~1.txt"); Links give the database's spelling.
  EXPECT_EQ(project->items(false).front()->spec(), L"$/ESIGN-java-authenticator/clingBling.txt");
  EXPECT_EQ(cling->links().front()->spec(), L"$/esign-java-authenticator/clingBling.txt");
  EXPECT_EQ(history(*cling), L"3 Johnson 2023-05-09 19:46:16 " + checkedIn +
                                 L"I want to make changes\n" + L"2 johns 2023-05-05 11:35:50 " +
                                 checkedIn + L"I am going to make changes to ClingBling\n" +
                                 L"1 johns 2023-05-05 11:35:16 Created  [] Adding ClingBling\n");
  auto le = db->vssItem(L"$/esign-java-authenticator/Le.txt", false);
  EXPECT_EQ(history(*le), L"2 johns 2023-05-05 11:34:14 " + checkedIn +
                              L"To make initial changes\n" +
                              L"1 johns 2023-05-05 11:31:48 Created  [] Addin text file\n");
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
  // Read in another zone, the dates stay the stored wall clock.
  samples::LocalZone china("CST-8");
  EXPECT_EQ(standin::formatDateTime(le->versions(0)->next()->date()), "2023-05-05 11:34:14");
}

// As SourceSafe 6.0d's library answers on micnets: the deleted project RSS lists its own
// records (files renamed twice) and the check-ins of its files made through their other place;
// those files themselves, below a deleted project, have no history for the library, nor a
// content, and are found only by VSSItem(spec, true), with a status of their own. Their links
// are every place their item file names, newest first.
TEST(VssdbSamples, MicnetsDeletedProjectAndTheFilesBelowIt) {
  REQUIRE_SAMPLE(micnets, "micnets");
  auto db = open(micnets, L"Admin", L"");
  const std::wstring web = L"$/MicNets2008/MicNets2008/Web", rss = web + L"/Blog/RSS";
  const std::wstring handlers = L"Checked in " + web + L"/Controls/Handlers [] \n";
  EXPECT_EQ(history(*db->vssItem(rss, true)),
            L"3 Janet 2009-07-01 08:52:02 " + handlers + L"3 Janet 2009-07-01 08:52:02 " +
                handlers + L"2 Janet 2009-01-18 23:45:42 " + handlers +
                L"2 Janet 2009-01-18 23:45:42 " + handlers +
                L"9 Janet 2009-01-16 00:10:06 Renamed RSSSiteMap.ashx to RSS_SiteMap.ashx [] \n"
                L"8 Janet 2009-01-16 00:09:58 Renamed RSSLinks.ashx to RSS_Links.ashx [] \n"
                L"7 Janet 2009-01-16 00:09:46 Renamed SiteMap.ashx to RSSSiteMap.ashx [] \n"
                L"6 Janet 2009-01-16 00:09:36 Renamed Links.ashx to RSSLinks.ashx [] \n"
                L"5 Janet 2009-01-16 00:09:24 Deleted  [] \n"
                L"4 Janet 2009-01-16 00:09:24 Deleted  [] \n"
                L"3 Janet 2009-01-13 18:09:34 Added  [] \n"
                L"2 Janet 2009-01-13 18:09:34 Added  [] \n"
                L"1 Janet 2009-01-13 18:09:34 Created  [] \n");
  const std::wstring links = rss + L"/RSS_Links.ashx";
  EXPECT_EQ(failure([&] { db->vssItem(links, true); }, static_cast<std::int32_t>(0xFFFF8001)),
            L"File or project not found");
  failure([&] { db->vssItem(links, false); }, vss::kNotFound);
  failure([&] { db->vssItem(rss + L"/none.txt", true); }, vss::kNotFound);
  std::unique_ptr<vss::Item> file;
  for (auto& child : db->vssItem(rss, true)->items(true))
    if (child->name() == L"RSS_Links.ashx") file = std::move(child);
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(failure([&] { file->versions(0); }, vss::kDeletedOrDamaged), L"");
  std::wstring local = (fs::temp_directory_path() / "ostrabel-vssdb-below-deleted").wstring();
  failure([&] { file->get(local, 0); }, static_cast<std::int32_t>(0xFFFF8001));
  EXPECT_FALSE(fs::exists(local));
  EXPECT_EQ(dynamic_cast<standin::ItemDetails&>(*file).versionNumber(), 3);
  std::wstring specs;
  for (auto& link : file->links()) specs += link->spec() + L";";
  EXPECT_EQ(specs, web + L"/Controls/Handlers/RSS_Links.ashx;" + links + L";");
  // A project's entries in the order of its entries file: names that share their first 34
  // bytes (the entry's short name) in the order they were added.
  const std::wstring topics = names(db->vssItem(web + L"/Blog/Topics", false)->items(false));
  EXPECT_EQ(topics.substr(0, topics.find(L"Topic.Master;")),
            L"naming-convention-design-guideline.aspx.designer.cs;"
            L"naming-convention-design-guideline.aspx.cs;"
            L"naming-convention-design-guideline.aspx;");
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
  std::size_t linked = 0, deletedFound = 0;         // shared files, deleted entries
  std::map<std::uint32_t, std::wstring> histories;  // of each shared file, at its first place
  for (std::uint32_t n = 0; n < reader.nodes().size(); ++n) {
    auto places = reader.entriesOf(n);
    std::set<std::wstring> specs;
    for (auto e : places) specs.insert(standin::text::widen(reader.spec(e)));
    for (auto e : places) {
      const std::wstring spec = standin::text::widen(reader.spec(e));
      bool throughDeleted = false;
      if (e == 0 ||
          reader.resolve(reader.spec(e), reader.entries()[e].deleted, &throughDeleted) != e ||
          throughDeleted)
        continue;
      // VSSItem finds a live entry only with Deleted false, a deleted one only with true.
      const bool deleted = reader.entries()[e].deleted;
      auto item = db->vssItem(spec, deleted);
      EXPECT_EQ(dynamic_cast<standin::ItemDetails&>(*item).deleted(), deleted) << reader.spec(e);
      if (reader.resolve(reader.spec(e), !deleted) == vssdb::kNone)
        failure([&] { db->vssItem(spec, !deleted); }, vss::kNotFound);
      deletedFound += deleted;
      EXPECT_NE(names(item->parent()->items(true)).find(item->name() + L";"), std::wstring::npos);
      if (reader.nodes()[n].project || places.size() < 2) continue;
      // A shared file: the same history wherever it is reached, and its links are all its
      // places, deleted ones too.
      auto [first, added] = histories.emplace(n, history(*item));
      linked += added;
      EXPECT_EQ(history(*item), first->second);
      std::set<std::wstring> links;
      for (auto& l : item->links()) links.insert(l->spec());
      EXPECT_EQ(links, specs);
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
// of the format, label action 0, the next version number, the label's comment in a comment
// record after it), and updates the item header's count, last record and length with its
// checksum: tiny with labels, which no sample has.
void appendLabel(const fs::path& itemFile, const std::string& label, const std::string& user,
                 const char* wall, const std::string& comment = "") {
  std::string file = standin_test::readFile(itemFile);
  auto put = [](std::string& s, std::size_t at, std::uint32_t v, int bytes) {
    for (int k = 0; k < bytes; ++k) s.at(at + k) = static_cast<char>(v >> (8 * k));
  };
  auto header = [&](const char* signature, const std::string& body, bool checksum) {
    std::string h(8, '\0');
    put(h, 0, static_cast<std::uint32_t>(body.size()), 4);
    h.replace(4, 2, signature);
    put(h, 6, checksum ? vssdb::recordChecksum(body) : 0, 2);
    return h;
  };
  const std::size_t dh = 52 + 8;  // the item header's body
  const std::uint32_t last = samples::u32(file, dh + 52);
  const auto lastVersion = static_cast<std::uint16_t>(file.at(last + 8 + 6) & 0xFF);
  const auto at = static_cast<std::uint32_t>(file.size());
  std::string body(88, '\0');
  put(body, 0, last, 4);
  put(body, 6, lastVersion + 1u, 2);
  put(body, 8, static_cast<std::uint32_t>(*standin::parseSeconds(wall) - 25569LL * 86400), 4);
  body.replace(12, user.size(), user);
  body.replace(44, label.size(), label);
  if (!comment.empty()) {
    put(body, 80, at + 8 + 88, 4);
    put(body, 86, static_cast<std::uint32_t>(comment.size() + 1), 2);
  }
  file += header("EL", body, true) + body;
  if (!comment.empty()) file += header("MC", comment + '\0', false) + comment + '\0';
  put(file, dh + 2, (static_cast<unsigned char>(file[dh + 2]) | file[dh + 3] << 8) + 1u, 2);
  put(file, dh + 52, at, 4);
  put(file, dh + 56, static_cast<std::uint32_t>(file.size()), 4);
  const std::uint32_t length = samples::u32(file, 52);
  put(file, 52 + 6, vssdb::recordChecksum(std::string_view(file).substr(dh, length)), 2);
  std::ofstream(itemFile, std::ios::binary | std::ios::trunc) << file;
}

// As SourceSafe 6.0d's library lists labels (measured on databases it made): a project's label
// joins the histories below it with the project's version number, unless it is older than the
// item's first record; its text is the action's and its comment the label comment. A project's
// history holds its files' records but their creation, and without them
// (VSSFLAG_HISTIGNOREFILES) its own records and the labels above. Of records of one second,
// labels above come first, then the item's own, then its files'.
TEST(VssdbSamples, LabelsOfTheProjectsAboveAndProjectHistoriesAreMergedByTime) {
  REQUIRE_SAMPLE(tiny, "tiny");
  standin_test::TempDir temp("ostrabel-vssdb-labels");
  samples::copy(tiny, temp / "db");
  appendLabel(temp / "db/data/a/aaaaaaaa", "Early", "Admin", "2023-05-05 11:33:00");
  appendLabel(temp / "db/data/a/aaaaaaaa", "Build 1", "Compileruser", "2023-05-06 10:00:00",
              "the first build");
  appendLabel(temp / "db/data/b/baaaaaaa", "Same second", "Admin", "2023-05-09 19:46:16");
  appendLabel(temp / "db/data/b/baaaaaaa", "Release", "Compileruser", "2023-05-10 08:00:00");
  EXPECT_EQ(Database(temp / "db").check().damaged, std::vector<std::string>());
  auto db = open(temp / "db", L"Admin", L"");
  const std::wstring checkedIn = L"Checked in $/esign-java-authenticator [] ";
  auto cling = db->vssItem(L"$/esign-java-authenticator/clingBling.txt", false);
  // clingBling's records from its newest to its second version, which its project's history
  // lists too.
  const std::wstring clingRecords =
      L"5 Compileruser 2023-05-10 08:00:00 Labeled 'Release' [Release] \n"
      L"4 Admin 2023-05-09 19:46:16 Labeled 'Same second' [Same second] \n" +
      (L"3 Johnson 2023-05-09 19:46:16 " + checkedIn) + L"I want to make changes\n" +
      L"4 Compileruser 2023-05-06 10:00:00 Labeled 'Build 1' [Build 1] (the first build)\n" +
      (L"2 johns 2023-05-05 11:35:50 " + checkedIn) + L"I am going to make changes to ClingBling\n";
  EXPECT_EQ(history(*cling),  // "Early" is older than the file
            clingRecords + L"1 johns 2023-05-05 11:35:16 Created  [] Adding ClingBling\n");
  auto le = db->vssItem(L"$/esign-java-authenticator/Le.txt", false);
  EXPECT_EQ(history(*le),
            L"5 Compileruser 2023-05-10 08:00:00 Labeled 'Release' [Release] \n"
            L"4 Admin 2023-05-09 19:46:16 Labeled 'Same second' [Same second] \n"
            L"4 Compileruser 2023-05-06 10:00:00 Labeled 'Build 1' [Build 1] (the first build)\n" +
                (L"2 johns 2023-05-05 11:34:14 " + checkedIn) + L"To make initial changes\n" +
                L"3 Admin 2023-05-05 11:33:00 Labeled 'Early' [Early] \n"
                L"1 johns 2023-05-05 11:31:48 Created  [] Addin text file\n");
  EXPECT_EQ(history(*le, vss::kFlagHistIgnoreFiles), history(*le));  // a file is all its own
  {
    auto cursor = le->versions(0);
    cursor->next();
    cursor->next();
    auto build = cursor->next();
    EXPECT_EQ(build->comment(), L"");
    EXPECT_EQ(build->labelComment(), L"the first build");
    // One history at a time: this one is still being read.
    EXPECT_EQ(failure([&] { cling->versions(0); }, static_cast<std::int32_t>(0x8004D75C)),
              L"A history operation is already in progress");
  }
  EXPECT_EQ(history(*db->vssItem(L"$/", false)),
            L"4 Compileruser 2023-05-06 10:00:00 Labeled 'Build 1' [Build 1] (the first build)\n"
            L"3 Admin 2023-05-05 11:33:00 Labeled 'Early' [Early] \n"
            L"2 johns 2023-05-05 11:26:46 Added  [] \n"
            L"1 Admin 2023-05-05 11:25:36 Created  [] \n");
  EXPECT_EQ(history(*db->vssItem(L"$/esign-java-authenticator", false)),
            clingRecords + L"3 johns 2023-05-05 11:35:18 Added  [] \n" +
                (L"2 johns 2023-05-05 11:34:14 " + checkedIn) + L"To make initial changes\n" +
                L"3 Admin 2023-05-05 11:33:00 Labeled 'Early' [Early] \n"
                L"2 johns 2023-05-05 11:31:50 Added  [] \n"
                L"1 johns 2023-05-05 11:26:46 Created  [] \n");
  EXPECT_EQ(history(*db->vssItem(L"$/esign-java-authenticator", false), vss::kFlagHistIgnoreFiles),
            L"5 Compileruser 2023-05-10 08:00:00 Labeled 'Release' [Release] \n"
            L"4 Admin 2023-05-09 19:46:16 Labeled 'Same second' [Same second] \n"
            L"4 Compileruser 2023-05-06 10:00:00 Labeled 'Build 1' [Build 1] (the first build)\n"
            L"3 johns 2023-05-05 11:35:18 Added  [] \n"
            L"3 Admin 2023-05-05 11:33:00 Labeled 'Early' [Early] \n"
            L"2 johns 2023-05-05 11:31:50 Added  [] \n"
            L"1 johns 2023-05-05 11:26:46 Created  [] \n");
  const std::string dump = standin::dumpReal(Database(temp / "db"));
  EXPECT_NE(dump.find("project $/\n  label \"Early\" by Admin at 2023-05-05 11:33:00\n"
                      "  label \"Build 1\" by Compileruser at 2023-05-06 10:00:00 comment \"the "
                      "first build\"\n"
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
      for (const auto& r : vssdb::readRecords(original, itemFile || users ? 52 : 0, name)) {
        flips.insert({r.offset, r.offset + 6});
        if (r.signature != "MC" && !r.body.empty()) flips.insert(r.offset + 8 + r.body.size() / 2);
      }
    } catch (const vssdb::Damaged&) {  // not records: a file's content
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
        standin::dumpReal(db);
      } catch (const vssdb::Damaged&) {
        damaged = true;
      }
      EXPECT_TRUE(damaged) << name << " byte " << at;
    }
    temp.write(fs::path("db") / name, original);
  }
}

// Rewrites bytes of a record's body in a copy and makes its checksum right again.
void patchRecord(const fs::path& file, std::size_t record, std::size_t at, std::string_view to) {
  std::string bytes = standin_test::readFile(file);
  bytes.replace(record + 8 + at, to.size(), to);
  const std::uint16_t sum = vssdb::recordChecksum(
      std::string_view(bytes).substr(record + 8, samples::u32(bytes, record)));
  bytes[record + 6] = static_cast<char>(sum & 0xFF);
  bytes[record + 7] = static_cast<char>(sum >> 8);
  std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
}

// um.dat's header counts the users: SourceSafe leaves the records of deleted users behind them
// (measured: a user deleted and the file's length kept), and those are no users.
TEST(VssdbSamples, TheUsersAreThoseUmDatsHeaderCounts) {
  REQUIRE_SAMPLE(tiny, "tiny");
  standin_test::TempDir temp("ostrabel-vssdb-users");
  samples::copy(tiny, temp / "db");
  patchRecord(temp / "db/data/um.dat", 52, 0, std::string("\x03\x00", 2));  // of four
  EXPECT_NO_THROW(open(temp / "db", L"johns", L""));
  EXPECT_EQ(failure([&] { open(temp / "db", L"Johnson", L"AAH8"); }, vss::kUserNotFound),
            L"User \"Johnson\" not found");
  EXPECT_EQ(Database(temp / "db").check().damaged, std::vector<std::string>());
}

// Damage in a copy of tiny, as SourceSafe 6.0d's library meets it (measured on copies of a
// database it made): an item file whose header or log records fail their checksums cannot be
// read (its history, version number and lookup fail, and so does the history of the project
// that holds it), but its newest content is still fetched; a damaged content or reverse delta
// goes unnoticed until that version is rebuilt; crcs.dat counts for nothing; a project's entries
// end at the first that fails; a user record that fails leaves no user. check() finds it all.
TEST(VssdbSamples, DamageIsWhatTheLibraryMakesOfIt) {
  REQUIRE_SAMPLE(tiny, "tiny");
  const std::wstring project = L"$/esign-java-authenticator";
  const std::wstring cling = project + L"/clingBling.txt", le = project + L"/Le.txt";
  const std::string newest = standin_test::readFile(tiny / "data/d/daaaaaaa.a");
  const fs::path copy = fs::temp_directory_path() / "ostrabel-vssdb-damaged-get";
  // Gets clingBling.txt as its project lists it (never into the current folder) and gives back
  // what it wrote.
  auto getCling = [&](vss::Database& db) {
    std::wstring local = copy.wstring();
    db.vssItem(project, false)->items(false).front()->get(local, 0);
    std::string bytes = standin_test::readFile(copy);
    fs::permissions(copy, fs::perms::owner_write, fs::perm_options::add);
    fs::remove(copy);
    return bytes;
  };
  auto unreadable = [&](vss::Database& db) {
    const std::int32_t kReadError = static_cast<std::int32_t>(0x8004D83C);
    EXPECT_EQ(failure([&] { db.vssItem(cling, false); }, kReadError), L"Error reading from file");
    auto file = std::move(db.vssItem(project, false)->items(false).front());
    failure([&] { file->versions(0); }, kReadError);
    failure([&] { dynamic_cast<standin::ItemDetails&>(*file).versionNumber(); }, kReadError);
    failure([&] { db.vssItem(project, false)->versions(0); }, kReadError);
    EXPECT_EQ(getCling(db), newest);
  };
  auto unnoticed = [&](const std::string& fetched) {
    return [&, fetched](vss::Database& db) {
      EXPECT_EQ(history(*db.vssItem(cling, false)).substr(0, 10), L"3 Johnson ");
      EXPECT_EQ(getCling(db), fetched.empty() ? newest : fetched);
    };
  };
  std::string flippedContent = newest;
  flippedContent[flippedContent.size() - 3] ^= 0x10;
  struct Case {
    const char* what;
    const char* file;
    long offset;  // from the end when negative
    std::function<void(vss::Database&)> reads;
    std::size_t damaged;  // items check() finds damaged
  };
  const Case cases[] = {
      {"a log record of the file", "data/d/daaaaaaa", 1600, unreadable, 1},
      {"the file's item header", "data/d/daaaaaaa", 100, unreadable, 1},
      {"its newest content", "data/d/daaaaaaa.a", -3, unnoticed(flippedContent), 1},
      {"a reverse delta", "data/d/daaaaaaa", 2050, unnoticed(""), 1},
      // crcs.dat: the 72-byte header record, then a u32 per physical name; DAAAAAAA is the 4th.
      {"its CRC in crcs.dat", "data/crcs.dat", 72 + 3 * 4, unnoticed(""), 0},
      {"the project's second entry", "data/b/baaaaaaa.a", 64 + 20,
       [&](vss::Database& db) {
         EXPECT_EQ(names(db.vssItem(project, false)->items(true)), L"clingBling.txt;");
         failure([&] { db.vssItem(le, false); }, vss::kNotFound);
       },
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    standin_test::TempDir temp("ostrabel-vssdb-damage");
    samples::copy(tiny, temp / "db");
    std::string bytes = standin_test::readFile(temp / "db" / c.file);
    bytes.at(c.offset < 0 ? bytes.size() + c.offset : c.offset) ^= 0x10;
    temp.write(fs::path("db") / c.file, bytes);
    auto db = open(temp / "db", L"Admin", L"");
    c.reads(*db);
    if (std::string(c.file).find("baaaaaaa") == std::string::npos) {
      EXPECT_EQ(db->vssItem(le, false)->versions(0)->next()->versionNumber(), 2);  // unharmed
    }
    EXPECT_EQ(Database(temp / "db").check().damaged.size(), c.damaged);
  }
  // A user record that fails its checksum: nobody is a user any more.
  standin_test::TempDir temp("ostrabel-vssdb-damage");
  samples::copy(tiny, temp / "db");
  std::string um = standin_test::readFile(temp / "db/data/um.dat");
  um[0x90] ^= 1;  // a byte of Admin's user record
  temp.write("db/data/um.dat", um);
  for (const wchar_t* user : {L"Admin", L"Johnson"})
    EXPECT_EQ(failure([&] { open(temp / "db", user, L"AAH8"); }, vss::kUserNotFound),
              L"User \"" + std::wstring(user) + L"\" not found");
  EXPECT_EQ(Database(temp / "db").check().damaged.size(), 1u);
}

// A place pinned to version 1 (Le.txt's entry, as a pin writes it: the version in the entry):
// enumerated by its project or reached through Links, the item is at version 1 and Get writes
// version 1; looked up by VSSItem, it is at the file's newest. Its history lists every version.
// A reverse delta that fails its checksum leaves the pinned version unreadable: ESS_CORRUPT with
// the item file's path, as the library words it.
TEST(VssdbSamples, APinnedPlaceIsAtItsPinWhenEnumeratedAndAtTheNewestWhenLookedUp) {
  REQUIRE_SAMPLE(tiny, "tiny");
  standin_test::TempDir temp("ostrabel-vssdb-pin");
  samples::copy(tiny, temp / "db");
  patchRecord(temp / "db/data/b/baaaaaaa.a", 64, 44, std::string("\x01\x00", 2));
  auto db = open(temp / "db", L"Admin", L"");
  const std::wstring le = L"$/esign-java-authenticator/Le.txt";
  auto looked = db->vssItem(le, false);
  auto listed = std::move(db->vssItem(L"$/esign-java-authenticator", false)->items(false).back());
  auto linked = std::move(looked->links().front());
  EXPECT_EQ(dynamic_cast<standin::ItemDetails&>(*looked).versionNumber(), 2);
  EXPECT_EQ(dynamic_cast<standin::ItemDetails&>(*listed).versionNumber(), 1);
  EXPECT_EQ(dynamic_cast<standin::ItemDetails&>(*linked).versionNumber(), 1);
  EXPECT_EQ(history(*listed), history(*looked));
  EXPECT_EQ(history(*listed).substr(0, 2), L"2 ");
  auto got = [&](vss::Item& item) {
    std::wstring local = temp.file("get\\Le.txt");
    item.get(local, 0);
    std::string bytes = standin_test::readFile(temp / "get" / "Le.txt");
    fs::permissions(temp / "get" / "Le.txt", fs::perms::owner_write, fs::perm_options::add);
    fs::remove(temp / "get" / "Le.txt");
    return bytes;
  };
  EXPECT_EQ(got(*looked), standin_test::readFile(temp / "db/data/c/caaaaaaa.b"));
  EXPECT_EQ(got(*listed), "");  // version 1 was empty (its reverse delta writes nothing)
  // The reverse delta to version 1, its end mark changed: the pinned version cannot be rebuilt.
  std::string item = standin_test::readFile(temp / "db/data/c/caaaaaaa");
  item[1552 + 8] ^= 0x04;
  temp.write("db/data/c/caaaaaaa", item);
  auto again = open(temp / "db", L"Admin", L"");
  auto pinned =
      std::move(again->vssItem(L"$/esign-java-authenticator", false)->items(false).back());
  std::wstring local = temp.file("get\\Le.txt");
  EXPECT_EQ(failure([&] { pinned->get(local, 0); }, static_cast<std::int32_t>(0x8004D698)),
            L"File " + (temp / "db" / "data" / "c" / "caaaaaaa").wstring() + L" may be corrupt");
  EXPECT_EQ(history(*pinned).substr(0, 2), L"2 ");
}

}  // namespace
