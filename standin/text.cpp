// Text helpers of the stand-in store.
#include "standin/text.h"

#include <algorithm>

#include "standin/store.h"
#include "vssdb/format.h"
#include "vssdb/text.h"

namespace standin::text {
namespace {

// Decodes one code point from UTF-8 at `i`; malformed bytes decode as U+FFFD, one byte each.
char32_t decode(std::string_view s, std::size_t& i) {
  auto b = static_cast<unsigned char>(s[i]);
  if (b < 0x80) {
    ++i;
    return b;
  }
  int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : -1;
  if (extra < 0 || i + extra >= s.size()) {
    ++i;
    return 0xFFFD;
  }
  char32_t c = b & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    auto n = static_cast<unsigned char>(s[i + k]);
    if ((n & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    c = (c << 6) | (n & 0x3F);
  }
  i += extra + 1;
  return c;
}

}  // namespace

std::wstring widen(std::string_view utf8) { return vssdb::widen(utf8); }

std::string narrow(std::wstring_view wide) { return vssdb::narrow(wide); }

std::string ansi(std::string_view utf8) { return vssdb::encodeAnsi(utf8); }

std::wstring echoedSpelling(const std::wstring& typed, const std::wstring& stored) {
  if (typed == stored || fold(narrow(typed)) != fold(narrow(stored))) return {};
  return typed;
}

std::wstring childSpelling(const std::wstring& spec, const std::wstring& name) {
  if (spec.empty()) return {};
  return spec + (spec.back() == L'/' ? L"" : L"/") + name;
}

std::wstring parentSpelling(const std::wstring& spec) {
  const std::size_t slash = spec.find_last_of(L'/');
  if (slash == std::wstring::npos || slash + 1 == spec.size()) return {};
  return slash <= 1 ? std::wstring(L"$/") : spec.substr(0, slash);
}

std::wstring lastName(const std::wstring& spec) {
  const std::size_t slash = spec.find_last_of(L'/');
  return slash == std::wstring::npos ? spec : spec.substr(slash + 1);
}

std::string fold(std::string_view utf8) { return vssdb::fold(utf8); }

void appendEscaped(std::string& out, std::string_view field, bool quote) {
  constexpr std::string_view kPlain = "\\\t\n\r\"", kCode = "\\tnr\"";
  for (char c : field) {
    auto k = kPlain.find(c);
    if (k == std::string_view::npos || (c == '"' && !quote)) {
      out += c;
    } else {
      out += '\\';
      out += kCode[k];
    }
  }
}

std::string unescape(std::string_view field) {
  std::string out;
  out.reserve(field.size());
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] != '\\' || i + 1 == field.size()) {
      out += field[i];
      continue;
    }
    char n = field[++i];  // "\\", "\"" and anything but t, n, r: the character itself
    auto k = std::string_view("tnr").find(n);
    out += k == std::string_view::npos ? n : "\t\n\r"[k];
  }
  return out;
}

std::string quoted(std::string_view value) {
  std::string out = "\"";
  constexpr char kHex[] = "0123456789ABCDEF";
  for (std::size_t i = 0; i < value.size();) {
    const auto b = static_cast<unsigned char>(value[i]);
    std::size_t next = i;
    const bool character =
        b >= 0x80 ? decode(value, next) != 0xFFFD || value.substr(i, 3) == "\xEF\xBF\xBD"
                  : (b >= 0x20 && b != 0x7F) || b == '\t' || b == '\n' || b == '\r';
    if (!character) {
      out += "\\x";
      out += kHex[b >> 4];
      out += kHex[b & 0xF];
      ++i;
    } else if (b >= 0x80) {
      out.append(value.substr(i, next - i));
      i = next;
    } else {
      appendEscaped(out, value.substr(i, 1), true);
      ++i;
    }
  }
  return out + '"';
}

std::string word(const std::string& value) {
  const bool plain = !value.empty() && value.find_first_of(" \t\r\n\"\\") == std::string::npos;
  return plain ? value : text::quoted(value);
}

namespace {

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// The quoted text whose opening quote is at `i`, escapes resolved; `i` ends past the closing one.
std::string quotedText(std::string_view line, std::size_t& i) {
  std::string out;
  for (++i; i < line.size();) {
    char c = line[i++];
    if (c == '"') {
      if (i < line.size() && !blank(line[i]))
        throw ToolError("quoted text followed by other characters");
      return out;
    }
    if (c != '\\') {
      out += c;
    } else if (i < line.size()) {
      if (line[i] == 'x') {
        auto hex = [&](std::size_t at) {
          const char h = at < line.size() ? line[at] : ' ';
          return h >= '0' && h <= '9'   ? h - '0'
                 : h >= 'A' && h <= 'F' ? h - 'A' + 10
                 : h >= 'a' && h <= 'f' ? h - 'a' + 10
                                        : -1;
        };
        if (hex(i + 1) < 0 || hex(i + 2) < 0) throw ToolError("\\x needs two hexadecimal digits");
        out += static_cast<char>(hex(i + 1) * 16 + hex(i + 2));
        i += 3;
        continue;
      }
      auto k = std::string_view("nrt\"\\").find(line[i]);
      if (k == std::string_view::npos) throw ToolError(std::string("unknown escape \\") + line[i]);
      out += "\n\r\t\"\\"[k];
      ++i;
    }
  }
  throw ToolError("unterminated quoted text");
}

}  // namespace

std::vector<Token> tokenize(std::string_view line) {
  std::vector<Token> out;
  for (std::size_t i = 0; i < line.size();) {
    if (blank(line[i])) {
      ++i;
    } else if (line[i] == '"') {
      out.push_back(Token{quotedText(line, i), true});
    } else {
      std::size_t end = i;
      for (; end < line.size() && !blank(line[end]); ++end)
        if (line[end] == '"') throw ToolError("quote inside a word");
      out.push_back(Token{std::string(line.substr(i, end - i))});
      i = end;
    }
  }
  return out;
}

bool validName(std::string_view name) {
  std::wstring w = widen(name);
  if (w.empty() || w.size() > 259 || w.front() == L' ' || w.back() == L' ') return false;
  return std::none_of(w.begin(), w.end(), [](wchar_t c) {
    return c < 0x20 || c == 0x7F ||
           std::wstring_view(L"/\\<>|:;\"$").find(c) != std::wstring_view::npos;
  });
}

std::vector<std::string_view> splitFields(std::string_view line) {
  std::vector<std::string_view> parts;
  std::size_t start = 0;
  for (;;) {
    std::size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) {
      parts.push_back(line.substr(start));
      return parts;
    }
    parts.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
}

std::uint32_t crc32Update(std::uint32_t crc, std::string_view data) {
  return vssdb::crc32Update(crc, data);
}

std::uint32_t crc32(std::string_view data) { return crc32Update(0xFFFFFFFFu, data) ^ 0xFFFFFFFFu; }

}  // namespace standin::text
