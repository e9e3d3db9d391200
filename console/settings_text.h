// A settings file saved in Unicode: telling its encoding from its bytes, and finding its values as
// the Windows profile functions find them in a file of the ANSI code page.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "settings/settings.h"

namespace console {

// The text of a settings file that is UTF-16 with a byte-order mark (either order), or valid UTF-8
// with a byte-order mark, or valid UTF-8 without one that holds more than ASCII (as today's
// Notepad saves it). Nothing for any other file: the profile functions read it in the ANSI code
// page, as the window reads its own.
std::optional<std::wstring> unicodeSettingsText(std::string_view bytes);

// The value stored under `key` of `section` in a settings text, found by the profile functions'
// rules: sections and keys named in any letter case, the first of a name counts, blanks around
// names and values are not part of them, and one pair of matching quotes around a value is
// taken off. Nothing when there is no such key.
std::optional<std::wstring> profileValue(std::wstring_view text, std::wstring_view section,
                                         std::wstring_view key);

// The nine inputs of a settings text (a missing key gives an empty text, the box unchecked).
settings::SavedInputs inputsFromText(std::wstring_view text);

}  // namespace console
