// The texts of a SourceSafe database as the reader handles them: UTF-8 inside, wide strings at the
// source-control port, names compared without letter case, and the ANSI bytes of the database.
#pragma once

#include <string>
#include <string_view>

namespace vssdb {

std::wstring widen(std::string_view utf8);
std::string narrow(std::wstring_view wide);

// The name as compared without letter case (ASCII, Latin-1, Greek and Cyrillic letters).
std::string fold(std::string_view utf8);

// ANSI text of the database (names, users, labels, comments) as UTF-8: SourceSafe keeps them in
// the code page of the machine that wrote them, which on the users' machines is 936 (GBK).
// Bytes that are no GBK character decode as U+FFFD each.
std::string decodeAnsi(std::string_view bytes);
// UTF-8 text in that code page (a password to hash); a character it lacks becomes "?".
std::string encodeAnsi(std::string_view utf8);

}  // namespace vssdb
