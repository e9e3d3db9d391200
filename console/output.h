// What the console program writes: a result list as the window's clipboard copy gives it, the
// encodings it can be written in, buffered sinks over files and standard streams, and a terminal
// that keeps message lines apart from whatever was written before them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace console {

// The encodings of the lists and of redirected standard streams: the ANSI code page (the bytes
// of the clipboard's plain text) or UTF-8.
enum class Encoding { Ansi, Utf8 };

// Appends `text` to `bytes` in one encoding.
using Encoder = std::function<void(std::wstring_view text, std::string& bytes)>;

// Appends `text` as UTF-8. A surrogate pair (a 16-bit wchar_t) and a code point above U+FFFF (a
// 32-bit one) both become one character; a surrogate without its partner becomes U+FFFD, as
// Windows' own conversion makes it.
void appendUtf8(std::wstring_view text, std::string& bytes);

// Text going out: encoded bytes, or a console that takes the text as it is.
class TextSink {
 public:
  virtual ~TextSink() = default;
  virtual void write(std::wstring_view text) = 0;
  // Hands on what is buffered; false when anything written so far could not be written.
  virtual bool flush() = 0;
};

// Where encoded bytes end: a file or a redirected standard stream.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // False when the bytes could not be written.
  virtual bool write(const char* bytes, std::size_t count) = 0;
};

// Text encoded, collected and handed to a byte sink in pieces of about kPiece bytes, so that a
// list of a hundred thousand lines costs a few hundred writes.
class EncodedSink : public TextSink {
 public:
  static constexpr std::size_t kPiece = 64 * 1024;
  EncodedSink(std::unique_ptr<ByteSink> bytes, Encoder encoder);
  void write(std::wstring_view text) override;
  // Bytes already encoded (a report made whole in memory).
  void writeBytes(std::string_view bytes);
  bool flush() override;

 private:
  std::unique_ptr<ByteSink> bytes_;
  Encoder encoder_;
  std::string buffer_;
  bool failed_ = false;
};

// One result list as the window's clipboard copy gives it: the lines in order, CR LF between
// them and none after the last, written as they come.
class ListWriter {
 public:
  explicit ListWriter(TextSink& sink) : sink_(sink) {}
  void append(const std::wstring& line);
  std::uint64_t lines() const { return lines_; }

 private:
  TextSink& sink_;
  std::uint64_t lines_ = 0;
};

enum class Stream { Output, Error };

// Standard output and standard error, and the progress line of a run on a console. Message lines
// always begin a line of their own, also after a list that ended without a line break.
class Terminal {
 public:
  virtual ~Terminal() = default;
  // Text as it is.
  void write(Stream stream, std::wstring_view text);
  // One line, begun on a line of its own and ended with CR LF.
  void line(Stream stream, std::wstring_view text);
  // Each line of `text` (lines separated by CR LF or LF; empty ones left out) as line() writes it.
  void lines(Stream stream, std::wstring_view text);
  // True when nothing was written to `stream` yet or the last text written ended a line.
  bool atLineStart(Stream stream) const { return atLineStart_[static_cast<int>(stream)]; }

  // The encoding of a redirected stream; a console takes the text as it is.
  virtual void setEncoding(Encoding encoding) = 0;
  // Hands on what is buffered; false when anything written could not be written.
  virtual bool flush() = 0;
  // True when a progress line can be shown: a console takes the standard error or output.
  virtual bool showsProgress() = 0;
  // Shows `text` on the progress line in place of what it showed before.
  virtual void showProgress(std::wstring_view text) = 0;
  // Removes the progress line; what is written next begins where it stood.
  virtual void clearProgress() = 0;

 protected:
  virtual void writeText(Stream stream, std::wstring_view text) = 0;

 private:
  bool atLineStart_[2] = {true, true};
};

// A standard stream of a terminal as a text sink (a list written to standard output). A line
// break written where a line already begins is left out: the list shares the stream with
// message lines, which end their own lines.
class StreamSink : public TextSink {
 public:
  StreamSink(Terminal& terminal, Stream stream) : terminal_(terminal), stream_(stream) {}
  void write(std::wstring_view text) override {
    if (text == L"\r\n" && terminal_.atLineStart(stream_)) return;
    terminal_.write(stream_, text);
  }
  bool flush() override { return terminal_.flush(); }

 private:
  Terminal& terminal_;
  Stream stream_;
};

// The columns a console gives `c`: two for the wide characters of East Asian scripts.
int columnsOf(wchar_t c);

// `text` fitted into `columns` console columns: whole when it fits, otherwise "..." followed by
// as much of its end as fits (the end of a path says most about the file).
std::wstring fitToColumns(std::wstring_view text, int columns);

}  // namespace console
