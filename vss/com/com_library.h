// The COM client of the SourceSafe automation library: the vss port over IDispatch.
#pragma once

#include <memory>

#include "vss/port.h"

namespace vss::com {

// A library whose database objects are created from `progId` on the calling thread, which must
// have entered a single-threaded apartment. When the automation library is not installed or
// not registered, Database::open fails with the system's status and a plain description.
std::unique_ptr<vss::Library> makeLibrary(const wchar_t* progId = L"SourceSafe");

}  // namespace vss::com
