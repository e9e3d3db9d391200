// Settings files saved in Unicode: which encoding a file's bytes are read in, and the values found
// in the text by the profile functions' rules (the Windows tests hold the same rules against the
// profile functions themselves).
#include "console/settings_text.h"

#include <gtest/gtest.h>

#include "native/console/profile_cases.h"
#include "native/console/support.h"

namespace {

using consoletest::utf8;

// The bytes of a UTF-16 file: its byte-order mark, then each unit (a character beyond U+FFFF is
// two) in the order the mark says.
std::string utf16(std::u16string_view text, bool bigEndian) {
  std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8), low = static_cast<char>(unit & 0xFF);
    bytes += bigEndian ? high : low;
    bytes += bigEndian ? low : high;
  }
  return bytes;
}

// UTF-16 with a byte-order mark, and valid UTF-8 with one or with more than ASCII, is read as
// such; plain ASCII and anything that is not valid UTF-8 (the code page 936 bytes of a Chinese
// path, an overlong form, a surrogate) is left to the profile functions.
TEST(ConsoleSettingsText, TheEncodingIsToldFromTheBytes) {
  const std::wstring chinese = L"[cfg]\r\nlocalDir=D:\\补丁\\二月\r\n";
  const std::u16string chinese16 = u"[cfg]\r\nlocalDir=D:\\补丁\\二月\r\n";
  const std::vector<std::tuple<const char*, std::string, std::optional<std::wstring>>> cases = {
      {"UTF-8 without a mark", utf8(chinese), chinese},
      {"UTF-8 with a mark", "\xEF\xBB\xBF" + utf8(chinese), chinese},
      {"ASCII with a UTF-8 mark", "\xEF\xBB\xBF[cfg]", L"[cfg]"},
      {"UTF-16, little end first", utf16(chinese16, false), chinese},
      {"UTF-16, big end first", utf16(chinese16, true), chinese},
      {"a character beyond U+FFFF", utf8(L"x=\U0001F600"), L"x=\U0001F600"},
      {"UTF-16 of a character beyond U+FFFF", utf16(u"x=\U0001F600", false), L"x=\U0001F600"},
      {"plain ASCII", "[cfg]\r\nproject=$/A\r\n", std::nullopt},
      {"code page 936", "[cfg]\r\nlocalDir=D:\\\xB2\xB9\xB6\xA1\r\n", std::nullopt},
      {"a UTF-8 mark before code page 936", "\xEF\xBB\xBF\xB2\xB9\xB6\xA1", std::nullopt},
      {"an overlong form", "x=\xC0\xAF", std::nullopt},
      {"a surrogate", "x=\xED\xA0\x80", std::nullopt},
      {"beyond U+10FFFF", "x=\xF4\x90\x80\x80", std::nullopt},
      {"a sequence cut at the end", "x=\xE8\xA1", std::nullopt},
      {"UTF-16 of an odd length", "\xFF\xFEx\x00y", std::nullopt},
      {"empty", "", std::nullopt},
  };
  for (const auto& [name, bytes, text] : cases) {
    SCOPED_TRACE(name);
    EXPECT_EQ(console::unicodeSettingsText(bytes), text);
  }
}

TEST(ConsoleSettingsText, ValuesAreFoundByTheProfileFunctionsRules) {
  for (const consoletest::ProfileCase& c : consoletest::kProfileCases) {
    EXPECT_EQ(console::profileValue(c.text, L"cfg", L"project"), c.value) << c.rule;
  }
}

}  // namespace
