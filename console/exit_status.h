// How a run of the console program went, and the exit status a script acts on.
#pragma once

#include <cstdint>

namespace console {

// The exit statuses a script acts on.
enum ExitStatus : int {
  kAllProcessed = 0,       // every selected file was processed
  kSomeUnprocessed = 1,    // some selected files were not
  kInvalidInput = 2,       // the inputs were refused, or the database could not be opened
  kUnexpectedFailure = 3,  // something failed that nothing expected; the results may be partial
};

// How a run went.
struct RunRecord {
  bool refused = false;           // inputs the run refused: validation, range, local folder
  bool openFailed = false;        // the database, the project or the patch project did not open
  bool started = false;           // the walk began
  bool finished = false;          // the walk was done
  bool stopped = false;           // a failure ended the run before the walk was done
  bool unexpected = false;        // a failure that nothing expected
  std::uint64_t visited = 0;      // files looked at
  std::uint64_t processed = 0;    // lines of the processed list
  std::uint64_t unprocessed = 0;  // lines of the unprocessed list
  // Files whose history could not be read for another reason than damage: the window shows a
  // box and lists them nowhere; here they count as unprocessed.
  std::uint64_t unreadable = 0;
};

// The status of a run: a failure nothing expected first, then refused inputs, then whether every
// selected file was processed.
int exitStatus(const RunRecord& record);

}  // namespace console
