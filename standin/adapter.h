// The SourceSafe object model implemented directly over stand-in stores on disk: what the
// native tests run the engine against, and what the stand-in COM server exposes.
#pragma once

#include <memory>

#include "vss/port.h"

namespace standin {

// A library whose database objects open stand-in stores (the folder of the srcsafe.ini given
// to Open), and read-only the databases made by real SourceSafe (standin/real_adapter.h).
// Database objects of one library, and of several libraries in one process, over the same store
// see each other's changes at once.
std::unique_ptr<vss::Library> makeLibrary();

}  // namespace standin
