// The `standin` tool's commands on a real SourceSafe database: its dump, in the format of the
// stand-in's own stores (docs/standin.md, "Dump format"), and its check.
#pragma once

#include <filesystem>
#include <string>

#include "vssdb/database.h"

namespace standin {

std::string dumpReal(const vssdb::Database& db);

// What `standin check` prints of a real database, and how long opening and checking took.
struct CheckReport {
  vssdb::CheckCounts counts;
  double openMilliseconds = 0, checkMilliseconds = 0;
};
CheckReport checkReal(const std::filesystem::path& dir);

}  // namespace standin
