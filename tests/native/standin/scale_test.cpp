// How long a generated store of 100,000 files takes to open, printed as a figure rather than
// asserted (timings depend on the machine and its load), plus a lookup and an enumeration on it.
#include <gtest/gtest.h>

#include <chrono>
#include <iostream>

#include "standin/adapter.h"
#include "standin/store.h"
#include "tests/native/standin/support.h"

TEST(StandinScale, OpeningAGeneratedStoreOf100000Files) {
  standin_test::TempDir temp;
  standin::GenerateOptions o;
  o.files = 100000, o.depth = 3, o.fanout = 10, o.history = 5, o.changedFraction = 0.05;
  o.rangeStart = standin::parseDateTime("2024-05-01 00:00").value();
  o.rangeEnd = o.rangeStart + 7;
  standin::generate(temp / "big", o);
  auto t0 = std::chrono::steady_clock::now();
  auto db = standin::makeLibrary()->newDatabase();
  db->open((temp / "big" / "srcsafe.ini").wstring(), L"Admin", L"");
  auto t1 = std::chrono::steady_clock::now();
  auto files = db->vssItem(L"$/gen/p01/p02/p03", false)->items(false);
  auto t2 = std::chrono::steady_clock::now();
  using Ms = std::chrono::duration<double, std::milli>;
  std::cout << "[ figure ] open 100000 files " << Ms(t1 - t0).count() << " ms; lookup + enumerate "
            << files.size() << " files " << Ms(t2 - t1).count() << " ms\n";
  ASSERT_EQ(files.size(), 100u);
  auto cursor = files.front()->versions(0);
  int records = 0;
  while (cursor->next()) ++records;
  EXPECT_GE(records, 5);  // five versions, the root label and perhaps a build label
}
