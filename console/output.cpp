// The console program's outputs: UTF-8, the buffered encoded sink, the list writer,
// message lines, and fitting a text into the columns of a progress line.
#include "console/output.h"

namespace console {
namespace {

constexpr std::uint32_t kReplacement = 0xFFFD;

bool isHighSurrogate(std::uint32_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool isLowSurrogate(std::uint32_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

}  // namespace

void appendUtf8(std::wstring_view text, std::string& bytes) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    std::uint32_t c = static_cast<std::uint32_t>(text[i]);
    if (isHighSurrogate(c) && i + 1 < text.size() &&
        isLowSurrogate(static_cast<std::uint32_t>(text[i + 1]))) {
      c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<std::uint32_t>(text[i + 1]) - 0xDC00);
      ++i;
    } else if (isHighSurrogate(c) || isLowSurrogate(c) || c > 0x10FFFF) {
      c = kReplacement;
    }
    if (c < 0x80) {
      bytes += static_cast<char>(c);
    } else if (c < 0x800) {
      bytes += static_cast<char>(0xC0 | (c >> 6));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      bytes += static_cast<char>(0xE0 | (c >> 12));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      bytes += static_cast<char>(0xF0 | (c >> 18));
      bytes += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      bytes += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      bytes += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
}

EncodedSink::EncodedSink(std::unique_ptr<ByteSink> bytes, Encoder encoder)
    : bytes_(std::move(bytes)), encoder_(std::move(encoder)) {
  buffer_.reserve(kPiece + kPiece / 4);
}

void EncodedSink::write(std::wstring_view text) {
  encoder_(text, buffer_);
  if (buffer_.size() >= kPiece) flush();
}

void EncodedSink::writeBytes(std::string_view bytes) {
  buffer_ += bytes;
  if (buffer_.size() >= kPiece) flush();
}

bool EncodedSink::flush() {
  if (!buffer_.empty()) {
    if (!bytes_->write(buffer_.data(), buffer_.size())) failed_ = true;
    buffer_.clear();
  }
  return !failed_;
}

void ListWriter::append(const std::wstring& line) {
  if (lines_ != 0) sink_.write(L"\r\n");
  sink_.write(line);
  ++lines_;
}

void Terminal::write(Stream stream, std::wstring_view text) {
  if (text.empty()) return;
  writeText(stream, text);
  atLineStart_[static_cast<int>(stream)] = text.back() == L'\n';
}

void Terminal::line(Stream stream, std::wstring_view text) {
  bool& atLineStart = atLineStart_[static_cast<int>(stream)];
  std::wstring whole;
  whole.reserve(text.size() + 4);
  if (!atLineStart) whole += L"\r\n";
  whole += text;
  whole += L"\r\n";
  writeText(stream, whole);
  atLineStart = true;
}

void Terminal::lines(Stream stream, std::wstring_view text) {
  while (!text.empty()) {
    const std::size_t end = text.find(L'\n');
    std::wstring_view one = text.substr(0, end);
    if (!one.empty() && one.back() == L'\r') one.remove_suffix(1);
    if (!one.empty()) line(stream, one);
    if (end == std::wstring_view::npos) break;
    text.remove_prefix(end + 1);
  }
}

int columnsOf(wchar_t c) {
  const auto u = static_cast<std::uint32_t>(c);
  const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) ||
                    (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
                    (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                    (u >= 0xFFE0 && u <= 0xFFE6) || (u >= 0x20000 && u <= 0x3FFFD);
  return wide ? 2 : 1;
}

std::wstring fitToColumns(std::wstring_view text, int columns) {
  int total = 0;
  for (wchar_t c : text) total += columnsOf(c);
  if (total <= columns) return std::wstring(text);
  static constexpr std::wstring_view kEllipsis = L"...";
  const int room = columns - static_cast<int>(kEllipsis.size());
  if (room <= 0) return std::wstring(kEllipsis.substr(0, columns > 0 ? columns : 0));
  std::size_t start = text.size();
  int used = 0;
  while (start > 0 && used + columnsOf(text[start - 1]) <= room) {
    used += columnsOf(text[start - 1]);
    --start;
  }
  // A low surrogate left without its high one would show as a stray character.
  if (start < text.size() && isLowSurrogate(static_cast<std::uint32_t>(text[start]))) ++start;
  return std::wstring(kEllipsis) + std::wstring(text.substr(start));
}

}  // namespace console
