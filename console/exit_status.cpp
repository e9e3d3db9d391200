// The exit status of a run of the console program.
#include "console/exit_status.h"

namespace console {

int exitStatus(const RunRecord& record) {
  if (record.unexpected || record.stopped) return kUnexpectedFailure;
  if (record.refused || record.openFailed) return kInvalidInput;
  // Neither refused nor done: the run did not end the way a run ends.
  if (!record.finished) return kUnexpectedFailure;
  return record.unprocessed + record.unreadable > 0 ? kSomeUnprocessed : kAllProcessed;
}

}  // namespace console
