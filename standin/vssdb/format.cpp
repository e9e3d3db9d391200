// Records, fields, checksums and ANSI texts of SourceSafe's database files.
#include "standin/vssdb/format.h"

#include <algorithm>

#include "standin/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

namespace standin::vssdb {

std::uint32_t crc32(std::string_view data) { return text::crc32Update(0, data); }

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

#ifndef _WIN32
namespace {

// All of `in` through `converter`; where a character cannot be converted, `replacement` stands for
// it and the conversion goes on past its first byte.
std::string convertAll(iconv_t converter, std::string_view in, std::string_view replacement) {
  std::string out, bytes(in);
  char* from = bytes.data();
  std::size_t left = bytes.size();
  char buffer[256];
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  while (left > 0) {
    char* to = buffer;
    std::size_t room = sizeof buffer;
    const std::size_t done = iconv(converter, &from, &left, &to, &room);
    out.append(buffer, static_cast<std::size_t>(to - buffer));
    if (done == static_cast<std::size_t>(-1) && errno != E2BIG) {
      out += replacement;
      ++from;
      --left;
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
  }
  return out;
}

}  // namespace
#endif

std::string decodeAnsi(std::string_view bytes) {
  if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return (c & 0x80) == 0; }))
    return std::string(bytes);
#ifdef _WIN32
  // Character by character, so that a byte that is no GBK character costs only itself.
  std::wstring wide;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    const std::size_t size = IsDBCSLeadByteEx(936, b) && i + 1 < bytes.size() ? 2 : 1;
    wchar_t c[2];
    const int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes.data() + i,
                                      static_cast<int>(size), c, 2);
    if (n >= 1) {
      wide.append(c, static_cast<std::size_t>(n));
      i += size;
    } else {
      wide += b < 0x80 ? static_cast<wchar_t>(b) : L'\xFFFD';
      ++i;
    }
  }
  return text::narrow(wide);
#else
  static thread_local iconv_t gbk = iconv_open("UTF-8", "CP936");
  if (gbk == reinterpret_cast<iconv_t>(-1)) throw Damaged("the system cannot decode code page 936");
  return convertAll(gbk, bytes, "\xEF\xBF\xBD");  // U+FFFD for a byte that is no character
#endif
}

// Code page 936, one character at a time, as the stand-in encodes its own names.
std::string encodeAnsi(std::string_view utf8) { return text::ansi(utf8); }

}  // namespace standin::vssdb
