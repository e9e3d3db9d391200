// What the stand-in's items know beyond the vss port (vss/details.h): items made by
// standin::makeLibrary() implement it next to the port interface, and so do those of the reader
// of SourceSafe databases that the stand-in serves real databases through.
#pragma once

#include "vss/details.h"

namespace standin {

using ItemDetails = vss::ItemDetails;

}  // namespace standin
