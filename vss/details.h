// What items of the database readers know beyond the port: members of the automation library's
// object model that the engine does not use but the stand-in's COM server exposes (Deleted,
// VersionNumber). The stand-in's adapter and the reader of SourceSafe databases (vssdb/)
// implement it beside vss::Item; reach it with dynamic_cast.
#pragma once

namespace vss {

class ItemDetails {
 public:
  virtual ~ItemDetails() = default;
  // True for an item reached through a deleted entry (Items(true), VSSItem(spec, true)).
  virtual bool deleted() = 0;
  // The number of the item's newest record (every record takes one: a file's labels, a project's
  // records of its entries); a pinned place reached through its project's entries: the pinned one.
  virtual long versionNumber() = 0;
};

}  // namespace vss
