// Settings texts and the value of "project" in their section "cfg" as GetPrivateProfileString
// finds it, one case per rule: the native tests hold the console's reader of Unicode settings
// files to them, the Windows tests the profile functions themselves and that reader alike.
#pragma once

#include <optional>
#include <string>

namespace consoletest {

struct ProfileCase {
  const char* rule;
  const wchar_t* text;
  std::optional<std::wstring> value;  // nothing: no value found
};

inline const ProfileCase kProfileCases[] = {
    {"plain", L"[cfg]\r\nproject=$/A\r\n", L"$/A"},
    {"line feeds only, no end", L"[cfg]\nuser=x\nproject=$/B", L"$/B"},
    {"names in any letter case", L"[CFG]\r\nPROJECT=$/C\r\n", L"$/C"},
    {"blanks around names and values", L"  [ cfg ]  \r\n\t project \t= \t$/D e \t\r\n", L"$/D e"},
    {"a pair of double quotes", L"[cfg]\r\nproject=\" $/E \"\r\n", L" $/E "},
    {"a pair of single quotes", L"[cfg]\r\nproject='$/F'\r\n", L"$/F"},
    {"quotes that do not match", L"[cfg]\r\nproject=\"$/G'\r\n", L"\"$/G'"},
    {"one quote", L"[cfg]\r\nproject=\"\r\n", L"\""},
    {"an empty pair of quotes", L"[cfg]\r\nproject=\"\"\r\n", L""},
    {"the first of two keys", L"[cfg]\r\nproject=$/H\r\nproject=$/I\r\n", L"$/H"},
    {"a value with =", L"[cfg]\r\nproject=$/a=b\r\n", L"$/a=b"},
    {"blank lines, an empty value", L"[cfg]\r\n  \r\n\r\nproject  =  \r\n", L""},
    {"another section", L"[other]\r\nproject=$/J\r\n", std::nullopt},
    {"before any section", L"project=$/K\r\n[cfg]\r\n", std::nullopt},
    {"a comment", L"[cfg]\r\n;project=$/L\r\n", std::nullopt},
    {"a key without =", L"[cfg]\r\nproject\r\n", std::nullopt},
    {"a key that only begins alike", L"[cfg]\r\nprojects=$/M\r\n", std::nullopt},
    {"a section header without its end", L"[cfg\r\nproject=$/N\r\n", std::nullopt},
    {"only the first section of the name",
     L"[cfg]\r\nuser=u\r\n[other]\r\n[cfg]\r\nproject=$/O\r\n", std::nullopt},
    {"the first section's value", L"[cfg]\r\nproject=$/P\r\n[other]\r\n[cfg]\r\nproject=$/Q\r\n",
     L"$/P"},
    {"text after the header's end", L"[cfg]x\r\nproject=$/R\r\n", L"$/R"},
    {"a header that ends twice", L"[cfg] ]\r\nproject=$/S\r\n", std::nullopt},
    {"Chinese", L"[cfg]\r\nproject=$/项目/二月\r\n", L"$/项目/二月"},
};

}  // namespace consoletest
