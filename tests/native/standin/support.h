// Helpers of the stand-in tests: a scratch folder, a whole file read back, a call that must fail
// with a given status, a database opened through the library, and an item's children and history
// in one line each.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "standin/adapter.h"
#include "standin/file_io.h"
#include "standin/store.h"
#include "standin/text.h"
#include "tests/temp_folder.h"
#include "vss/port.h"

namespace standin_test {

namespace fs = std::filesystem;

using TempDir = testing_support::TempFolder;

inline std::string readFile(const fs::path& p) { return standin::io::readRange(p, 0, 1u << 30); }

// Runs `f`, which must fail with `status`; returns the description.
template <typename F>
std::wstring failure(F&& f, std::int32_t status) {
  try {
    f();
  } catch (const vss::Error& e) {
    EXPECT_EQ(static_cast<std::uint32_t>(e.status()), static_cast<std::uint32_t>(status));
    return e.description();
  }
  ADD_FAILURE() << "no failure, expected status " << static_cast<std::uint32_t>(status);
  return L"";
}

// The database whose folder is `dir`, opened through a library of its own.
inline std::unique_ptr<vss::Database> open(const fs::path& dir, const std::wstring& user,
                                           const std::wstring& password) {
  auto db = standin::makeLibrary()->newDatabase();
  db->open((dir / "srcsafe.ini").wstring(), user, password);
  return db;
}

// The items' names, each followed by ";".
inline std::wstring names(const std::vector<std::unique_ptr<vss::Item>>& items) {
  std::wstring out;
  for (const auto& i : items) out += i->name() + L";";
  return out;
}

// One line per record, newest first: version, user, time, action, [label], comment, and a label's
// comment in parentheses. The cursor stays at its end.
inline std::wstring history(vss::Item& item, int flags = 0) {
  std::wstring out;
  auto cursor = item.versions(flags);
  while (auto v = cursor->next()) {
    out += std::to_wstring(v->versionNumber()) + L" " + v->username() + L" " +
           standin::text::widen(standin::formatDateTime(v->date())) + L" " + v->action() + L" [" +
           v->label() + L"] " + v->comment() +
           (v->labelComment().empty() ? L"" : L"(" + v->labelComment() + L")") + L"\n";
  }
  EXPECT_EQ(cursor->next(), nullptr);
  return out;
}

}  // namespace standin_test
