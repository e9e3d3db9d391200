// What the stand-in's objects know beyond the vss port: the members of the automation
// library's object model that the engine does not use but the stand-in COM server exposes.
// Objects made by standin::makeLibrary() implement these next to the port interfaces; reach them
// with dynamic_cast.
#pragma once

#include <string>

namespace standin {

// Implemented by every vss::Item of the stand-in.
class ItemDetails {
 public:
  virtual ~ItemDetails() = default;
  // True for an item reached through a deleted entry (Items(true), VSSItem(spec, true)).
  virtual bool deleted() = 0;
  // The number of the item's newest version (a project: 1 plus its labels).
  virtual long versionNumber() = 0;
};

// Implemented by every vss::Version of the stand-in.
class VersionDetails {
 public:
  virtual ~VersionDetails() = default;
  virtual long versionNumber() = 0;
  // "Created", "Checked in", "Labeled" as the library words its actions (see docs/standin.md).
  virtual std::wstring action() = 0;
  virtual std::wstring comment() = 0;
  // The label text of a label record, empty for a version.
  virtual std::wstring label() = 0;
};

}  // namespace standin
