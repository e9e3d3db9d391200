// What the stand-in's items know beyond the vss port: the members of the automation library's
// object model that the engine does not use but the stand-in COM server exposes. Items made by
// standin::makeLibrary() implement this next to the port interface; reach it with dynamic_cast.
#pragma once

#include <string>

namespace standin {

// Implemented by every vss::Item of the stand-in.
class ItemDetails {
 public:
  virtual ~ItemDetails() = default;
  // True for an item reached through a deleted entry (Items(true), VSSItem(spec, true)).
  virtual bool deleted() = 0;
  // The number of the item's newest record (every record takes one: a file's labels, a project's
  // records of its entries); a pinned place reached through its project's entries: the pinned one.
  virtual long versionNumber() = 0;
};

}  // namespace standin
