// The explanation of files (--explain), given in place of the walk: for each file its history
// records as a run reads them, which record decides and why the ones before it do not, and the
// verdict with its reason. The decision is the engine's own (Patcher::decide), so that an
// explanation and a run of the same inputs can never disagree.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "console/output.h"
#include "engine/patcher.h"

namespace console {

struct ExplainOutcome {
  std::size_t explained = 0;  // files found and explained
  std::size_t missing = 0;    // paths that name no file
};

// Explains each path, looked up in `database` (the run's own, opened with its inputs), during a
// run of `patcher` whose walk this replaces; `project` is the walked project. Writes to `out`,
// lines ended with CR LF.
ExplainOutcome explainFiles(engine::Patcher& patcher, engine::PlatformPort& platform,
                            vss::Database& database, vss::Item& project,
                            const std::vector<std::wstring>& paths, TextSink& out);

}  // namespace console
