// The building blocks of SourceSafe's database files, as the reader of real databases needs them:
// the CRC-32 variant, little-endian fields read with bounds checks and the records that make up
// every file (each with its checksum); the texts are in text.h.
// docs/standin.md ("Real SourceSafe databases") lists the facts and where they come from.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vssdb {

// Something read does not prove itself: a record fails its checksum, a content its CRC, a field
// points outside its file. The message names the file and what is wrong.
class Damaged : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// Damage of a file that was different at every read: one being written while it is read.
class Torn : public Damaged {
 public:
  using Damaged::Damaged;
};

// SourceSafe's CRC-32: the reflected polynomial 0xEDB88320, register starting at 0, nothing
// inverted at the end.
std::uint32_t crc32(std::string_view data);
// The same polynomial, eight bytes a step, with the register as given and nothing inverted: `crc`
// goes on from an earlier part, or starts another variant (zlib's starts at all ones).
std::uint32_t crc32Update(std::uint32_t crc, std::string_view data);
// A record's checksum: that CRC folded to 16 bits (high half XOR low half).
std::uint16_t recordChecksum(std::string_view body);

// Fields of a record body, little-endian; a read past the end throws Damaged.
class Fields {
 public:
  Fields(std::string_view body, std::string what) : body_(body), what_(std::move(what)) {}
  std::size_t size() const { return body_.size(); }
  std::uint16_t u16(std::size_t at) const;
  std::int16_t i16(std::size_t at) const { return static_cast<std::int16_t>(u16(at)); }
  std::uint32_t u32(std::size_t at) const;
  std::string_view bytes(std::size_t at, std::size_t count) const;
  // A text field of `size` bytes, up to its first NUL (ANSI bytes, not decoded).
  std::string_view text(std::size_t at, std::size_t size) const;
  [[noreturn]] void fail(const std::string& why) const;

 private:
  std::string_view body_;
  std::string what_;
};

// One record: an 8-byte header (body length u32, two signature letters, checksum u16), then
// its body.
struct Record {
  std::uint32_t offset = 0;  // of the header, in its file
  std::string_view signature;
  std::string_view body;
  bool intact = true;  // its checksum is right (comment records have none)
};

// Every record of a file of records, from `start` (past a file header) to the end, each checked:
// its body inside the file, its checksum right. Comment records ("MC") carry none (their
// checksum field is 0); every other record must match. Throws Damaged naming `name`; given
// `damage`, stops at the first record that fails instead, says why there and returns those
// before it.
std::vector<Record> readRecords(std::string_view file, std::size_t start, const std::string& name,
                                std::string* damage = nullptr);

// The records of an item file as the library reads them: each record's length must keep it
// inside the file (else Damaged), but a checksum counts only where a record is used, so each
// record only says whether it is intact.
std::vector<Record> readItemRecords(std::string_view file, std::size_t start,
                                    const std::string& name);
// `record`, which must be intact (else Damaged naming `name`).
const Record& intact(const Record& record, const std::string& name);

// The record of `records` at `offset`, of signature `signature`; throws Damaged.
const Record& recordAt(const std::vector<Record>& records, std::uint32_t offset,
                       std::string_view signature, const std::string& name);

// True for an item's physical name: eight capital letters.
bool physicalName(std::string_view s);

}  // namespace vssdb
