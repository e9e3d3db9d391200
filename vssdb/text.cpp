// UTF-8, wide strings, letter case and code page 936 for the reader of SourceSafe databases.
#include "vssdb/text.h"

#include <algorithm>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>

#include <cerrno>
#endif

namespace vssdb {
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

void encode(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

char32_t foldChar(char32_t c) {
  if (c >= 'A' && c <= 'Z') return c + 32;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 32;
  if (c >= 0x391 && c <= 0x3AB && c != 0x3A2) return c + 32;
  if (c >= 0x410 && c <= 0x42F) return c + 32;
  if (c >= 0x400 && c <= 0x40F) return c + 80;
  return c;
}

}  // namespace

std::wstring widen(std::string_view utf8) {
  // Names and paths are mostly ASCII, which needs no decoding.
  std::wstring ascii(utf8.size(), L'\0');
  std::size_t n = 0;
  while (n < utf8.size() && (utf8[n] & 0x80) == 0) {
    ascii[n] = static_cast<wchar_t>(utf8[n]);
    ++n;
  }
  if (n == utf8.size()) return ascii;
  std::wstring out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    char32_t c = decode(utf8, i);
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0x10000) {
        c -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (c >> 10));
        out += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
        continue;
      }
    }
    out += static_cast<wchar_t>(c);
  }
  return out;
}

std::string narrow(std::wstring_view wide) {
  std::string out;
  out.reserve(wide.size());
  for (std::size_t i = 0; i < wide.size(); ++i) {
    char32_t c = static_cast<char32_t>(wide[i]);
    if constexpr (sizeof(wchar_t) == 2) {
      if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size()) {
        char32_t low = static_cast<char32_t>(wide[i + 1]);
        if (low >= 0xDC00 && low < 0xE000) {
          c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
          ++i;
        }
      }
    }
    if (c > 0x10FFFF || (c >= 0xD800 && c < 0xE000)) c = 0xFFFD;
    encode(out, c);
  }
  return out;
}

std::string fold(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  std::size_t i = 0;
  while (i < utf8.size()) {
    auto b = static_cast<unsigned char>(utf8[i]);
    if (b < 0x80) {
      out += static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
      ++i;
      continue;
    }
    encode(out, foldChar(decode(utf8, i)));
  }
  return out;
}

#ifndef _WIN32
namespace {

// All of `in` through `converter`; where a character cannot be converted, `replacement` stands for
// it and the conversion goes on past its first byte (past the whole character of UTF-8 input when
// `wholeUtf8Character`).
std::string convertAll(iconv_t converter, std::string_view in, std::string_view replacement,
                       bool wholeUtf8Character) {
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
      do {
        ++from;
        --left;
      } while (wholeUtf8Character && left > 0 && (*from & 0xC0) == 0x80);
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
  return narrow(wide);
#else
  static thread_local iconv_t gbk = iconv_open("UTF-8", "CP936");
  if (gbk == reinterpret_cast<iconv_t>(-1))
    throw std::runtime_error("the system cannot decode code page 936");
  return convertAll(gbk, bytes, "\xEF\xBF\xBD", false);  // U+FFFD for a byte that is no character
#endif
}

std::string encodeAnsi(std::string_view utf8) {
  if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return (c & 0x80) == 0; }))
    return std::string(utf8);
#ifdef _WIN32
  const std::wstring wide = widen(utf8);
  const int n = WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                    nullptr, nullptr);
  std::string out(static_cast<std::size_t>(std::max(n, 0)), '\0');
  WideCharToMultiByte(936, 0, wide.data(), static_cast<int>(wide.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
#else
  static thread_local iconv_t gbk = iconv_open("CP936", "UTF-8");
  if (gbk == reinterpret_cast<iconv_t>(-1))
    throw std::runtime_error("the system cannot encode code page 936");
  return convertAll(gbk, utf8, "?", true);
#endif
}

}  // namespace vssdb
