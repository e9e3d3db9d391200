// Text helpers of the stand-in store: UTF-8 and wide strings, case folding and the rule of
// names, the escaping of journal fields and script texts, and the line checksum.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin::text {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

// The text's bytes in code page 936 (GBK), the ANSI code page of the library's users: SourceSafe
// keeps names in the writing machine's code page. A character GBK has no bytes for becomes "?".
std::string ansi(std::string_view utf8);

// The name as compared without letter case (ASCII, Latin-1, Greek and Cyrillic letters).
std::string fold(std::string_view utf8);

// A path as a lookup spelled it: `typed` when it names the stored path `stored` in other letter
// cases (the library's Spec and Name then echo the typed spelling), else empty (the stored one).
std::wstring echoedSpelling(const std::wstring& typed, const std::wstring& stored);
// The spellings of the paths around one: of the child `name` (empty when `spec` is), of the
// project above (for a project directly below the root "$/"), and the last name ("" for "$/").
std::wstring childSpelling(const std::wstring& spec, const std::wstring& name);
std::wstring parentSpelling(const std::wstring& spec);
std::wstring lastName(const std::wstring& spec);

// Journal fields: backslash, tab, line feed and carriage return escaped (and the double quote,
// with `quote`); `unescape` undoes either.
void appendEscaped(std::string& out, std::string_view field, bool quote = false);
std::string unescape(std::string_view field);

// Script and dump texts: a double-quoted text with the escapes of `appendEscaped`, and \xHH for
// any other control byte and any byte that is no part of a UTF-8 character (the contents of a
// real database are bytes of any kind).
std::string quoted(std::string_view value);
// A dump's word: the text as it is when it is a bare word, quoted otherwise.
std::string word(const std::string& value);

// A script line's words: bare words (no blank, no quote) and quoted texts, escapes resolved.
// Throws ToolError for a bad quote or escape.
struct Token {
  std::string text;
  bool quoted = false;
};
std::vector<Token> tokenize(std::string_view line);

// True for an item name the library takes: 1 to 259 characters, none of / \ < > | : ; " $ or a
// control character, not beginning or ending with a space.
bool validName(std::string_view name);

// Splits a journal line (without its checksum) at tabs; the parts still carry their escapes.
std::vector<std::string_view> splitFields(std::string_view line);

// CRC-32 of zlib and PNG (reflected polynomial 0xEDB88320, register preset to all ones, result
// inverted).
std::uint32_t crc32(std::string_view data);
// The same polynomial with the register as given and nothing inverted: `crc` goes on from an
// earlier part, or starts a variant (SourceSafe's starts at 0 and inverts nothing).
std::uint32_t crc32Update(std::uint32_t crc, std::string_view data);

}  // namespace standin::text
