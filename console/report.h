// The report of a run (--report): the release notes of its two lists, one row per listed file
// with the deciding record's version, time, user, action, label and comment and the outcome, as a
// CSV table or one self-contained HTML page. The rows are collected during the run through the
// engine's list observer, which reads the extra fields only when a report is asked for.
#pragma once

#include <cstddef>
#include <map>
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

// The run's inputs as the page's header shows them (never the password).
struct ReportInputs {
  std::wstring mode, host, project, patch, localDir, user, start, end, targetUser, made;
  std::optional<std::wstring> sinceLabel, untilLabel;
  bool ignoreBuildUser = false, skipLabels = false;
};

// Collects the report as the run lists its lines, each row written out (as CSV or HTML) when it
// comes, so that the rows are never held twice.
class ReportCollector : public engine::ListObserver {
 public:
  explicit ReportCollector(ReportFormat format);
  void listed(engine::ResultList list, const std::wstring& spec, const std::wstring& reason,
              const engine::Decision* decision) override;

  // The CSV table: UTF-8 with a byte-order mark, CR LF, a header row, then the processed list's
  // rows and the unprocessed list's, in the lists' order; fields quoted as RFC 4180 says where
  // they hold a comma, a quote or a line break.
  std::string csv() const;
  // The HTML page, UTF-8: the inputs, the counts, a table grouped by folder with each folder's
  // counts, its processed rows and then its unprocessed ones in the lists' order, comments with
  // their line breaks; nothing loaded from elsewhere, no script.
  std::string html(const ReportInputs& inputs) const;

 private:
  struct Folder {
    std::wstring path;
    std::size_t count[2];  // processed, unprocessed
  };
  // A rendered row: its folder, its list (0 processed, 1 unprocessed) and its place in htmlRows_.
  struct Piece {
    std::size_t folder;
    int which;
    std::size_t offset, length;
  };
  ReportFormat format_;
  ReportRow row_;
  // The outcome of a processed row, the same on every such row, as its CSV field and HTML cell.
  std::string processedCsv_, processedHtml_;
  std::size_t count_[2] = {0, 0};
  std::string csvRows_[2];
  std::vector<Folder> folders_;
  std::map<std::wstring, std::size_t, std::less<>> folderIndex_;
  std::size_t current_ = 0;
  std::vector<std::size_t> order_[2];  // folders by their first row in each list
  std::string htmlRows_;
  std::vector<Piece> pieces_;
};

}  // namespace console
