// One history read at a time in a process, as the automation library allows it: a history is
// open from its enumeration's start until it is read to its end or given up. Meanwhile the
// database object reading it cannot start another, and every call of another database object of
// the process that reads the database fails here, where the library would wait for the open
// history to be closed.
#pragma once

namespace standin::history_gate {

// Starts a history read by `reader` (whatever names a database object). Throws vss::Error:
// 0x8004D75C "A history operation is already in progress" when `reader` reads one, the status
// of waiting when another reader does.
void open(const void* reader);
// Ends `reader`'s history read; nothing when it reads none.
void close(const void* reader) noexcept;
// A call of `reader` that reads the database: throws vss::Error when another reader reads a
// history.
void pass(const void* reader);

}  // namespace standin::history_gate
