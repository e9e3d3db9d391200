// The source-control port: what Ostrabel needs of the SourceSafe automation library.
// The engine sees only these interfaces; the COM client (vss/com) and the stand-in adapter
// (standin/) implement them. Objects handed out stay valid after the object that made them
// is gone, as COM references do.
#pragma once

#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

namespace vss {

// Failure statuses the program tells apart (exact values).
inline constexpr std::int32_t kItemExists = static_cast<std::int32_t>(0x8004D694);
inline constexpr std::int32_t kDeletedOrDamaged = static_cast<std::int32_t>(0x80040000);
inline constexpr std::int32_t kNotFound = static_cast<std::int32_t>(0x8004D68F);
inline constexpr std::int32_t kInvalidPassword = static_cast<std::int32_t>(0x8004D6C9);
inline constexpr std::int32_t kUserNotFound = static_cast<std::int32_t>(0x8004D6C2);
inline constexpr std::int32_t kAlreadyShared = static_cast<std::int32_t>(0x8004D72E);
// "Error reading from file": an item file the library cannot read (one cut short, or failing
// its checks).
inline constexpr std::int32_t kReadError = static_cast<std::int32_t>(0x8004D83C);

inline constexpr int kTypeProject = 0;
inline constexpr int kTypeFile = 1;
inline constexpr int kFlagRecursYes = 8192;
// VSSFLAG_GETNO: Share gets no copy of the file into the project's working folder.
inline constexpr int kFlagGetNo = 0x08000000;
// VSSFLAG_HISTIGNOREFILES: a project's history without the records of its files (their
// check-ins, their own labels): the project's own records and the labels of the projects above.
inline constexpr int kFlagHistIgnoreFiles = 0x40000000;

// A failed library call: its 32-bit status and the library's own description text.
class Error : public std::exception {
 public:
  Error(std::int32_t status, std::wstring description)
      : status_(status), description_(std::move(description)) {}
  std::int32_t status() const noexcept { return status_; }
  const std::wstring& description() const noexcept { return description_; }
  const char* what() const noexcept override { return "source-control call failed"; }

 private:
  std::int32_t status_;
  std::wstring description_;
};

// One history record: a version or a label.
class Version {
 public:
  virtual ~Version() = default;
  virtual std::wstring username() = 0;
  // Automation date: days since 1899-12-30 00:00, local time.
  virtual double date() = 0;
  // The item's version number the record made (a label: the version it labelled).
  virtual long versionNumber() = 0;
  // What the record did, in the library's words ("Checked in", "Labeled", ...).
  virtual std::wstring action() = 0;
  virtual std::wstring comment() = 0;
  // The label's text for a label record, empty for any other record.
  virtual std::wstring label() = 0;
  // The comment given with a label, for a label record (whose comment() is empty); empty for any
  // other record.
  virtual std::wstring labelComment() = 0;
};

// The history of an item, read one record at a time, newest first, so that a caller can stop
// at the first record it needs.
class VersionCursor {
 public:
  virtual ~VersionCursor() = default;
  // The next record, or nullptr after the oldest.
  virtual std::unique_ptr<Version> next() = 0;
};

class Item {
 public:
  virtual ~Item() = default;
  virtual int type() = 0;  // kTypeProject or, any other value, a file
  virtual std::wstring name() = 0;
  virtual std::wstring spec() = 0;
  virtual std::unique_ptr<Item> parent() = 0;
  // Children in the library's order.
  virtual std::vector<std::unique_ptr<Item>> items(bool includeDeleted) = 0;
  virtual std::unique_ptr<VersionCursor> versions(int flags) = 0;
  // The version of the file this place holds: the newest record's number, or for a place pinned
  // in the project whose items() gave it, the pinned version (its history still lists the
  // versions above the pin).
  virtual long versionNumber() = 0;
  // The item at each of its places in the database: a file shared into several projects has a
  // link in each, every item at least the one it was reached through.
  virtual std::vector<std::unique_ptr<Item>> links() = 0;
  virtual std::unique_ptr<Item> newSubproject(const std::wstring& name,
                                              const std::wstring& comment) = 0;
  // Shares `file` into this project; `file` may come from another database object of the
  // same database.
  virtual void share(Item& file, const std::wstring& comment, int flags) = 0;
  // Writes the file's current content to `local`; the library may write back into `local`.
  virtual void get(std::wstring& local, int flags) = 0;
};

class Database {
 public:
  virtual ~Database() = default;
  virtual void open(const std::wstring& srcSafeIni, const std::wstring& username,
                    const std::wstring& password) = 0;
  virtual std::unique_ptr<Item> vssItem(const std::wstring& spec, bool deleted) = 0;
};

// Makes database objects: every call gives a fresh, unopened one ("new VSSDatabase").
class Library {
 public:
  virtual ~Library() = default;
  virtual std::unique_ptr<Database> newDatabase() = 0;
};

}  // namespace vss
