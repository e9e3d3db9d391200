// How long a large generated store takes to open, printed as a figure rather than asserted
// (timings depend on the machine and its load), plus a lookup and an enumeration on it.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

#include "standin/adapter.h"
#include "standin/file_io.h"
#include "standin/store.h"
#include "tests/native/standin/temp_dir.h"

namespace {

using standin_test::TempDir;
namespace fs = std::filesystem;

TEST(StandinScale, OpeningAGeneratedStoreOf100000Files) {
  TempDir temp;
  fs::path store = temp / "big";
  standin::GenerateOptions o;
  o.files = 100000;
  o.depth = 3;
  o.fanout = 10;
  o.history = 5;
  o.changedFraction = 0.05;
  o.rangeStart = standin::parseDateTime("2024-05-01 00:00").value();
  o.rangeEnd = standin::parseDateTime("2024-05-08 00:00").value();
  auto t0 = std::chrono::steady_clock::now();
  standin::generate(store, o);
  auto t1 = std::chrono::steady_clock::now();
  auto db = standin::makeLibrary()->newDatabase();
  db->open((store / "srcsafe.ini").wstring(), L"Admin", L"");
  auto t2 = std::chrono::steady_clock::now();
  // A lookup and an enumeration on the open store.
  auto leaf = db->vssItem(L"$/gen/p01/p02/p03", false);
  auto files = leaf->items(false);
  auto t3 = std::chrono::steady_clock::now();
  auto ms = [](auto a, auto b) { return std::chrono::duration<double, std::milli>(b - a).count(); };
  std::cout << "[ figure ] journal " << standin::io::fileSize(store / "data" / "journal.txt") / 1024 / 1024
            << " MiB; generate " << ms(t0, t1) << " ms; open 100000 files " << ms(t1, t2)
            << " ms; lookup + enumerate " << files.size() << " files " << ms(t2, t3) << " ms\n";
  EXPECT_EQ(files.size(), 100u);
  auto cursor = files.front()->versions(0);
  int records = 0;
  while (cursor->next()) ++records;
  EXPECT_GE(records, 5);  // five versions, the root label and perhaps a build label
}

}  // namespace
