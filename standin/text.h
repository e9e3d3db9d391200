// Text helpers of the stand-in store: UTF-8 and wide strings, case folding of names, the
// escaping of journal fields and script texts, and the line checksum.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin::text {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

// The name as compared without letter case (ASCII, Latin-1, Greek and Cyrillic letters).
std::string fold(std::string_view utf8);

// Journal fields: backslash, tab, line feed and carriage return escaped.
void appendEscaped(std::string& out, std::string_view field);
std::string unescape(std::string_view field);

// Script and dump texts: a double-quoted text with the same escapes plus \".
std::string quoted(std::string_view value);

// Splits a journal line (without its checksum) at tabs; the parts still carry their escapes.
std::vector<std::string_view> splitFields(std::string_view line);

std::uint32_t crc32(std::string_view data);

// "0x8004D68F" for a status.
std::string hexStatus(std::int32_t status);

}  // namespace standin::text
