// The report of a run (--report): the release notes of its two lists, one row per listed file
// with the deciding record's version, time, user, action, label and comment and the outcome, as a
// CSV table or one self-contained HTML page. The rows are collected during the run through the
// engine's list observer, which reads the extra fields only when a report is asked for.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/patcher.h"

namespace console {

enum class ReportFormat { Csv, Html };

// The format a report file's extension asks for (letter case ignored); nothing for any other.
std::optional<ReportFormat> reportFormat(const std::wstring& path);

// One listed line with its file's deciding record; the record's fields are empty for a line that
// no record decided (a damaged history, a project that cannot be listed).
struct ReportRow {
  engine::ResultList list = engine::ResultList::Processed;
  std::wstring path, version, time, user, action, label, comment;
  // The unprocessed reason as the list gives it (without its " - "); empty for a processed line,
  // whose outcome the report writes as "processed".
  std::wstring outcome;
};

// Collects the rows as the run lists its lines.
class ReportCollector : public engine::ListObserver {
 public:
  void listed(engine::ResultList list, const std::wstring& spec, const std::wstring& reason,
              vss::Version* record) override;
  // The rows in the lists' order, the processed list's, then the unprocessed list's; the
  // collector is left empty.
  std::vector<ReportRow> takeRows();

 private:
  std::vector<ReportRow> rows_[2];
};

// The run's inputs as the page's header shows them (never the password).
struct ReportInputs {
  std::wstring mode, host, project, patch, localDir, user, start, end, targetUser, made;
  std::optional<std::wstring> sinceLabel, untilLabel;
  bool ignoreBuildUser = false, skipLabels = false;
};

// The CSV table: UTF-8 with a byte-order mark, CR LF, a header row, fields quoted as RFC 4180
// says where they hold a comma, a quote or a line break.
std::string csvReport(const std::vector<ReportRow>& rows);

// The HTML page, UTF-8: the inputs, the counts, a table grouped by folder in the order the folders
// are first met, comments with their line breaks; nothing loaded from elsewhere, no script.
std::string htmlReport(const ReportInputs& inputs, const std::vector<ReportRow>& rows);

// The report file: made under a temporary name beside it when the run is prepared, so that a
// report that cannot be written refuses the run before the database is opened, and moved into
// place when the report is written. A report never written leaves the file as it was.
class ReportFile {
 public:
  // Nothing when the file cannot be written.
  static std::unique_ptr<ReportFile> prepare(const std::wstring& path);
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;
  ~ReportFile();
  // Writes the bytes and moves the file into place; false when either fails.
  bool write(const std::string& bytes);

 private:
  explicit ReportFile(std::wstring path, std::wstring temporary)
      : path_(std::move(path)), temporary_(std::move(temporary)) {}
  std::wstring path_, temporary_;
  bool done_ = false;
};

}  // namespace console
