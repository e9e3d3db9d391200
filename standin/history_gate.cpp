// The process's one open history.
#include "standin/history_gate.h"

#include <atomic>

#include "standin/statuses.h"

namespace standin::history_gate {
namespace {

std::atomic<const void*> gReader{nullptr};

}  // namespace

void open(const void* reader) {
  const void* none = nullptr;
  if (gReader.compare_exchange_strong(none, reader)) return;
  if (none == reader)
    throw vss::Error(status::kHistoryInProgress, L"A history operation is already in progress");
  pass(reader);
}

void close(const void* reader) noexcept {
  const void* expected = reader;
  gReader.compare_exchange_strong(expected, nullptr);
}

void pass(const void* reader) {
  const void* now = gReader.load();
  if (now != nullptr && now != reader)
    throw vss::Error(status::kWaitsForHistory,
                     L"Another database object of this process reads a history: the library "
                     L"waits here until that history is closed");
}

}  // namespace standin::history_gate
