// Unicode settings files: the encoding told from the bytes, the values found by the profile
// functions' rules.
#include "console/settings_text.h"

#include <cstdint>

namespace console {
namespace {

// A character appended as wchar_t holds it here: UTF-16 units on Windows, code points elsewhere.
void appendCodePoint(std::wstring& text, char32_t c) {
  if constexpr (sizeof(wchar_t) == 2) {
    if (c >= 0x10000) {
      c -= 0x10000;
      text += static_cast<wchar_t>(0xD800 + (c >> 10));
      text += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
      return;
    }
  }
  text += static_cast<wchar_t>(c);
}

// The text of valid UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF), or nothing.
std::optional<std::wstring> fromUtf8(std::string_view bytes) {
  std::wstring text;
  text.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    int trail = 0;
    char32_t c = 0, least = 0;
    if (lead < 0x80) {
      c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      trail = 1, c = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      trail = 2, c = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      trail = 3, c = lead & 0x07, least = 0x10000;
    } else {
      return std::nullopt;
    }
    if (bytes.size() - i <= static_cast<std::size_t>(trail)) return std::nullopt;
    for (int k = 1; k <= trail; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + static_cast<std::size_t>(k)]);
      if ((next & 0xC0) != 0x80) return std::nullopt;
      c = (c << 6) | (next & 0x3F);
    }
    if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return std::nullopt;
    appendCodePoint(text, c);
    i += static_cast<std::size_t>(trail) + 1;
  }
  return text;
}

// The text of UTF-16 units in the given byte order; a surrogate without its partner stays as it
// is (Windows keeps it in a wide text too).
std::wstring fromUtf16(std::string_view bytes, bool bigEndian) {
  std::wstring text;
  text.reserve(bytes.size() / 2);
  const auto unit = [&](std::size_t at) {
    const auto first = static_cast<unsigned char>(bytes[at]);
    const auto second = static_cast<unsigned char>(bytes[at + 1]);
    return static_cast<char32_t>(bigEndian ? (first << 8) | second : (second << 8) | first);
  };
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    char32_t c = unit(i);
    if (c >= 0xD800 && c <= 0xDBFF && i + 3 < bytes.size()) {
      const char32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    appendCodePoint(text, c);
  }
  return text;
}

bool isBlank(wchar_t c) {
  return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f' ||
         c == 0x1A;
}

std::wstring_view trimmed(std::wstring_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return text;
}

// Section and key names are compared without letter case (the names looked up are ASCII).
bool sameName(std::wstring_view a, std::wstring_view b) {
  if (a.size() != b.size()) return false;
  const auto lower = [](wchar_t c) {
    return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c - L'A' + L'a') : c;
  };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

}  // namespace

std::optional<std::wstring> unicodeSettingsText(std::string_view bytes) {
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    return fromUtf16(bytes.substr(2), bytes[0] == '\xFE');
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) return fromUtf8(bytes.substr(3));
  // Plain ASCII reads alike in every code page: the profile functions read it as they always did.
  bool ascii = true;
  for (const char b : bytes) ascii = ascii && static_cast<unsigned char>(b) < 0x80;
  if (ascii) return std::nullopt;
  return fromUtf8(bytes);
}

std::optional<std::wstring> profileValue(std::wstring_view text, std::wstring_view section,
                                         std::wstring_view key) {
  bool inSection = false;
  while (!text.empty()) {
    const std::size_t end = text.find(L'\n');
    const std::wstring_view line = trimmed(text.substr(0, end));
    text.remove_prefix(end == std::wstring_view::npos ? text.size() : end + 1);
    if (line.empty()) continue;
    if (line.front() == L'[') {
      const std::size_t close = line.rfind(L']');
      if (close != std::wstring_view::npos) {
        if (inSection) return std::nullopt;  // only the first section of the name counts
        inSection = sameName(trimmed(line.substr(1, close - 1)), section);
        continue;
      }
    }
    if (!inSection) continue;
    const std::size_t equals = line.find(L'=');
    if (equals == std::wstring_view::npos || !sameName(trimmed(line.substr(0, equals)), key)) {
      continue;
    }
    std::wstring_view value = trimmed(line.substr(equals + 1));
    if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') &&
        value.back() == value.front()) {
      value = value.substr(1, value.size() - 2);
    }
    return std::wstring(value);
  }
  return std::nullopt;
}

settings::SavedInputs inputsFromText(std::wstring_view text) {
  return settings::readInputs([text](const wchar_t* key) {
    return profileValue(text, settings::kSection, key).value_or(std::wstring());
  });
}

}  // namespace console
