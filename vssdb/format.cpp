// Records, fields, checksums and ANSI texts of SourceSafe's database files.
#include "vssdb/format.h"

#include <algorithm>
#include <array>

namespace vssdb {

// Eight bytes a step, through eight tables: the reader checks every record and content, the
// stand-in every line of its journals.
std::uint32_t crc32Update(std::uint32_t crc, std::string_view data) {
  static const auto tables = [] {
    std::array<std::array<std::uint32_t, 256>, 8> t{};
    for (std::uint32_t n = 0; n < 256; ++n) {
      std::uint32_t c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[0][n] = c;
    }
    for (std::uint32_t n = 0; n < 256; ++n)
      for (std::size_t k = 1; k < 8; ++k) t[k][n] = (t[k - 1][n] >> 8) ^ t[0][t[k - 1][n] & 0xFF];
    return t;
  }();
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  std::size_t n = data.size();
  for (; n >= 8; p += 8, n -= 8) {
    crc ^= p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
    crc = tables[7][crc & 0xFF] ^ tables[6][(crc >> 8) & 0xFF] ^ tables[5][(crc >> 16) & 0xFF] ^
          tables[4][crc >> 24] ^ tables[3][p[4]] ^ tables[2][p[5]] ^ tables[1][p[6]] ^
          tables[0][p[7]];
  }
  for (; n > 0; --n) crc = tables[0][(crc ^ *p++) & 0xFF] ^ (crc >> 8);
  return crc;
}

std::uint32_t crc32(std::string_view data) { return crc32Update(0, data); }

std::uint16_t recordChecksum(std::string_view body) {
  const std::uint32_t crc = crc32(body);
  return static_cast<std::uint16_t>((crc ^ (crc >> 16)) & 0xFFFF);
}

void Fields::fail(const std::string& why) const { throw Damaged(what_ + ": " + why); }

std::uint16_t Fields::u16(std::size_t at) const {
  auto b = bytes(at, 2);
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[0]) |
                                    static_cast<unsigned char>(b[1]) << 8);
}

std::uint32_t Fields::u32(std::size_t at) const {
  auto b = bytes(at, 4);
  std::uint32_t v = 0;
  for (int k = 3; k >= 0; --k) v = v << 8 | static_cast<unsigned char>(b[k]);
  return v;
}

std::string_view Fields::bytes(std::size_t at, std::size_t count) const {
  if (at > body_.size() || count > body_.size() - at)
    fail("a field at byte " + std::to_string(at) + " lies beyond its " +
         std::to_string(body_.size()) + " bytes");
  return body_.substr(at, count);
}

std::string_view Fields::text(std::size_t at, std::size_t size) const {
  std::string_view field = bytes(at, size);
  return field.substr(0, std::min(field.find('\0'), field.size()));
}

namespace {

std::vector<Record> records(std::string_view file, std::size_t start, const std::string& name,
                            bool checked, std::string* damage) {
  std::vector<Record> out;
  std::size_t at = start;
  try {
    while (at < file.size()) {
      const std::string where = name + ", record at byte " + std::to_string(at);
      Fields header(file.substr(at, std::min<std::size_t>(8, file.size() - at)), where);
      if (header.size() < 8) throw Damaged(where + ": the file ends inside its header");
      const std::uint32_t length = header.u32(0);
      if (length > file.size() - at - 8)
        throw Damaged(where + ": its length " + std::to_string(length) +
                      " runs past the file's end");
      Record r{static_cast<std::uint32_t>(at), file.substr(at + 4, 2), file.substr(at + 8, length)};
      const std::uint16_t stored = header.u16(6);
      r.intact = (r.signature == "MC" && stored == 0) || recordChecksum(r.body) == stored;
      if (!r.intact && checked)
        throw Damaged(where + " (" + std::string(r.signature) + "): it fails its checksum");
      out.push_back(r);
      at += 8 + length;
    }
  } catch (const Damaged& e) {
    if (damage == nullptr) throw;
    *damage = e.what();
  }
  return out;
}

}  // namespace

std::vector<Record> readRecords(std::string_view file, std::size_t start, const std::string& name,
                                std::string* damage) {
  return records(file, start, name, true, damage);
}

std::vector<Record> readItemRecords(std::string_view file, std::size_t start,
                                    const std::string& name) {
  return records(file, start, name, false, nullptr);
}

const Record& intact(const Record& record, const std::string& name) {
  if (!record.intact)
    throw Damaged(name + ", record at byte " + std::to_string(record.offset) + " (" +
                  std::string(record.signature) + "): it fails its checksum");
  return record;
}

bool physicalName(std::string_view s) {
  return s.size() == 8 &&
         std::all_of(s.begin(), s.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
}

const Record& recordAt(const std::vector<Record>& records, std::uint32_t offset,
                       std::string_view signature, const std::string& name) {
  auto it = std::lower_bound(records.begin(), records.end(), offset,
                             [](const Record& r, std::uint32_t o) { return r.offset < o; });
  if (it == records.end() || it->offset != offset)
    throw Damaged(name + ": no record begins at byte " + std::to_string(offset));
  if (it->signature != signature)
    throw Damaged(name + ": the record at byte " + std::to_string(offset) + " is " +
                  std::string(it->signature) + ", not " + std::string(signature));
  return *it;
}

}  // namespace vssdb
