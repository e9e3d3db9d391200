// The stand-in database as a tool sees it: create a store, seed it from a script, dump it as
// text, generate a large synthetic one, and convert the date texts the scripts use.
// The `standin` command-line tool is a thin shell over these functions; tests call them directly.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace standin {

// A failed operation of the store (every failure below is one). For a bad seeding script the
// message starts with "line N: ".
class ToolError : public std::runtime_error {
 public:
  explicit ToolError(const std::string& message, int line = 0)
      : std::runtime_error(message), line_(line) {}
  // The script line at fault, or 0 when the failure is not about a line.
  int line() const noexcept { return line_; }

 private:
  int line_;
};

// Creates an empty store in `dir` (created when missing; must not already hold a store):
// `dir/srcsafe.ini`, the root project "$/" and the user "Admin" with an empty password.
void createStore(const std::filesystem::path& dir);

// Applies a seeding script (format: docs/standin.md) to the store in `dir`, all of it or, when
// any line is bad, nothing. Throws ToolError naming the line.
void seed(const std::filesystem::path& dir, std::string_view scriptText);

// The whole store as stable, diffable text (format: docs/standin.md).
std::string dump(const std::filesystem::path& dir);

// What a store holds, as `standin check` prints it: counts, and how long loading the journal took.
struct StoreSummary {
  std::size_t projects = 0, files = 0, entries = 0, records = 0, users = 0;
  std::uint64_t journalBytes = 0, tornBytes = 0;  // tornBytes: an unfinished change at the end
  double loadMilliseconds = 0;
};
StoreSummary check(const std::filesystem::path& dir);

// Parameters of a synthetic store; see docs/standin.md for what each one does.
struct GenerateOptions {
  int files = 1000;              // number of files
  int depth = 3;                 // levels of projects below the root
  int fanout = 10;               // subprojects per project
  int history = 5;               // versions per file
  double changedFraction = 0.1;  // share of files whose newest version falls in the range
  double rangeStart = 0;         // automation dates of the range
  double rangeEnd = 0;
  std::uint32_t seed = 1;  // same seed, same store
};

// Creates `dir` as a new store filled with a deterministic synthetic tree.
void generate(const std::filesystem::path& dir, const GenerateOptions& options);

// Automation date (days since 1899-12-30 00:00, local time, time of day as the fraction) of a
// text "YYYY-MM-DD HH:MM" or "YYYY-MM-DD HH:MM:SS"; nullopt when the text is not such a date.
std::optional<double> parseDateTime(std::string_view text);

// "YYYY-MM-DD HH:MM:SS" of an automation date, rounded to the nearest second.
std::string formatDateTime(double date);

// Seconds since 1899-12-30 00:00 of an automation date, rounded to the nearest second, and back.
std::int64_t secondsFromDate(double date);
double dateFromSeconds(std::int64_t seconds);

}  // namespace standin
