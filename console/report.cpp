// The report of a run: its rows as the run lists its lines, and the CSV table and HTML page made
// of them at the end.
#include "console/report.h"

#include <algorithm>
#include <iterator>
#include <map>
#include <system_error>

#include "console/labels.h"
#include "console/output.h"
#include "console/question_texts.h"

namespace console {
namespace {

// A field of the record, or empty when the library cannot give it: the row stays, the run goes on.
template <typename Read>
std::wstring field(Read read) {
  try {
    return read();
  } catch (const vss::Error&) {
    return {};
  }
}

// Appends UTF-8; text that is all ASCII (most of a report) is copied in one tight loop.
void appendText(std::wstring_view text, std::string& out) {
  for (const wchar_t c : text) {
    if (static_cast<std::uint32_t>(c) >= 0x80) {
      appendUtf8(text, out);
      return;
    }
  }
  const std::size_t at = out.size();
  out.resize(at + text.size());
  for (std::size_t i = 0; i < text.size(); ++i) out[at + i] = static_cast<char>(text[i]);
}

// A field of the CSV table, quoted as RFC 4180 says when it holds a comma, a quote or a line
// break. One plain loop over the text: the library's find_first_of costs a search of the set for
// every character, and a report writes seven fields for every listed file.
void csvField(std::wstring_view value, std::string& out) {
  bool quoted = false;
  for (const wchar_t c : value) {
    if (c == L',' || c == L'"' || c == L'\r' || c == L'\n') {
      quoted = true;
      break;
    }
  }
  if (!quoted) {
    appendText(value, out);
    return;
  }
  out += '"';
  for (std::size_t at = 0;;) {
    const std::size_t quote = value.find(L'"', at);
    appendText(value.substr(at, quote - at), out);
    if (quote == std::wstring_view::npos) break;
    out += "\"\"";
    at = quote + 1;
  }
  out += '"';
}

void csvRow(const std::wstring_view (&fields)[8], std::string& out) {
  for (std::size_t i = 0; i < 8; ++i) {
    if (i != 0) out += ',';
    csvField(fields[i], out);
  }
  out += "\r\n";
}

// The same, with the last field already written as CSV.
void csvRow(const std::wstring_view (&fields)[7], std::string_view last, std::string& out) {
  for (const std::wstring_view field : fields) {
    csvField(field, out);
    out += ',';
  }
  out += last;
  out += "\r\n";
}

// Text as HTML content or attribute value; CR LF and CR become the LF that the page keeps. The
// runs between the characters to escape go to UTF-8 whole.
void escape(std::wstring_view text, std::string& out) {
  std::size_t run = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char* entity = nullptr;
    switch (text[i]) {
      case L'&':
        entity = "&amp;";
        break;
      case L'<':
        entity = "&lt;";
        break;
      case L'>':
        entity = "&gt;";
        break;
      case L'"':
        entity = "&quot;";
        break;
      case L'\r':
        entity = "\n";
        break;
      default:
        continue;
    }
    appendText(text.substr(run, i - run), out);
    out += entity;
    if (text[i] == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') ++i;
    run = i + 1;
  }
  appendText(text.substr(run), out);
}

// The folder a line's path lies in ("$/" for the root), and its last level.
std::wstring_view folderOf(std::wstring_view path) {
  const std::size_t slash = path.rfind(L'/');
  if (slash == std::wstring_view::npos) return path;
  return slash <= 1 ? path.substr(0, slash + 1) : path.substr(0, slash);
}
std::wstring_view nameOf(std::wstring_view path) {
  const std::size_t slash = path.rfind(L'/');
  return slash == std::wstring_view::npos ? path : path.substr(slash + 1);
}

constexpr const char* kStyle = R"(
body { font-family: "Microsoft YaHei", "PingFang SC", "Noto Sans CJK SC", "WenQuanYi Micro Hei",
       "Segoe UI", sans-serif; font-size: 10pt; color: #000; background: #fff; margin: 1.5em; }
h1 { font-size: 15pt; margin: 0 0 .6em 0; }
table { border-collapse: collapse; }
th, td { border: 1px solid #aaa; padding: 2px 6px; text-align: left; vertical-align: top; }
table.inputs th { background: #f2f2f2; font-weight: normal; white-space: nowrap; }
table.inputs { margin-bottom: .8em; }
p.counts { font-weight: bold; margin: .4em 0 .8em 0; }
table.files { width: 100%; }
table.files thead th { background: #e4e4e4; white-space: nowrap; }
tr.folder th { background: #f4f4f4; border-top: 2px solid #666; }
table.files td { white-space: nowrap; }
table.files td:nth-child(7) { white-space: pre-wrap; }
table.files td:nth-child(8) { white-space: normal; }
tr.unprocessed td:nth-child(8) { color: #a00000; font-weight: bold; }
@media print {
  body { margin: 0; font-size: 8pt; }
  thead { display: table-header-group; }
  tr { page-break-inside: avoid; break-inside: avoid; }
}
)";

}  // namespace

ReportCollector::ReportCollector(ReportFormat format) : format_(format) {
  csvField(texts::kProcessed, processedCsv_);
  escape(texts::kProcessed, processedHtml_);
}

std::optional<ReportFormat> reportFormat(const std::wstring& path) {
  const std::wstring lower = lowerAscii(path);
  if (lower.size() > 4 && lower.ends_with(L".csv")) return ReportFormat::Csv;
  if (lower.size() > 5 && lower.ends_with(L".html")) return ReportFormat::Html;
  return std::nullopt;
}

void ReportCollector::listed(engine::ResultList list, const std::wstring& spec,
                             const std::wstring& reason, const engine::Decision* decision) {
  ReportRow& row = row_;  // its buffers are reused from row to row
  row.list = list;
  row.path = spec;
  row.outcome = reason.starts_with(L" - ") ? reason.substr(3) : reason;
  row.version.clear();
  row.time.clear();
  row.user.clear();
  row.action.clear();
  row.label.clear();
  row.comment.clear();
  if (decision != nullptr && decision->record) {
    vss::Version& record = *decision->record;
    row.time = field([&] { return dateText(record.date()); });
    row.user = field([&] { return record.username(); });
    row.action = field([&] { return record.action(); });
    row.label = field([&] { return record.label(); });
    // A label names the file's version it covers: its own number may be its project's. Its
    // comment comes as its label comment (its Comment is empty).
    if (row.label.empty()) {
      row.version = field([&] { return texts::decimal(record.versionNumber()); });
      row.comment = field([&] { return record.comment(); });
    } else {
      if (decision->labelCovers > 0) row.version = texts::decimal(decision->labelCovers);
      row.comment = field([&] { return record.labelComment(); });
    }
  }
  const int which = list == engine::ResultList::Processed ? 0 : 1;
  ++count_[which];
  const bool processed = list == engine::ResultList::Processed && row.outcome.empty();
  if (format_ == ReportFormat::Csv) {
    const std::wstring_view fields[7] = {row.path,   row.version, row.time,   row.user,
                                         row.action, row.label,   row.comment};
    std::string& out = csvRows_[which];
    if (processed) {
      csvRow(fields, processedCsv_, out);
    } else {
      const std::size_t at = out.size();
      csvField(row.outcome, out);
      const std::string outcome = out.substr(at);
      out.resize(at);
      csvRow(fields, outcome, out);
    }
    return;
  }
  // The walk lists the files of a folder one after another: the index is asked only when the
  // folder changes.
  const std::wstring_view folder = folderOf(row.path);
  if (folders_.empty() || folders_[current_].path != folder) {
    auto it = folderIndex_.find(folder);
    if (it == folderIndex_.end()) {
      it = folderIndex_.emplace(std::wstring(folder), folders_.size()).first;
      folders_.push_back(Folder{std::wstring(folder), {0, 0}});
    }
    current_ = it->second;
  }
  Folder& f = folders_[current_];
  if (f.count[which]++ == 0) order_[which].push_back(current_);
  // All rows go to one string, in the order listed, and are put into their folders' places at
  // the end: a string for each folder, growing a row at a time, would take memory piecemeal in
  // the middle of the walk.
  std::string& out = htmlRows_;
  const std::size_t start = out.size();
  out += which == 0 ? "<tr>" : "<tr class=\"unprocessed\">";
  // The cells' styles come from their column (the page's style sheet).
  const std::wstring* cells[] = {nullptr,     &row.version, &row.time,   &row.user,
                                 &row.action, &row.label,   &row.comment};
  for (const std::wstring* value : cells) {
    out += "<td>";
    escape(value ? std::wstring_view(*value) : nameOf(row.path), out);
    out += "</td>";
  }
  out += "<td>";
  if (processed) {
    out += processedHtml_;
  } else {
    escape(row.outcome, out);
  }
  out += "</td></tr>\n";
  pieces_.push_back(Piece{current_, which, start, out.size() - start});
}

std::string ReportCollector::csv() const {
  std::string out = "\xEF\xBB\xBF";
  out.reserve(csvRows_[0].size() + csvRows_[1].size() + 256);
  std::wstring_view header[8];
  for (std::size_t i = 0; i < 8; ++i) header[i] = texts::kColumns[i];
  csvRow(header, out);
  out += csvRows_[0];
  out += csvRows_[1];
  return out;
}

// The folders in the order the lists meet them: those of the processed list first, in the order
// of their first processed file, then those that hold unprocessed files only.
std::string ReportCollector::html(const ReportInputs& inputs) const {
  const std::size_t size = htmlRows_.size() + folders_.size() * 256 + 4096;
  std::string out =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
  out.reserve(size);
  escape(std::wstring(texts::kReportTitle) + L" \u2014 " + inputs.project, out);
  out += "</title>\n<style>";
  out += kStyle;
  out += "</style>\n</head>\n<body>\n<h1>";
  escape(texts::kReportTitle, out);
  out += "</h1>\n<table class=\"inputs\">\n";
  const auto input = [&out](const wchar_t* name, const std::wstring& value) {
    out += "<tr><th>";
    escape(name, out);
    out += "</th><td>";
    escape(value, out);
    out += "</td></tr>\n";
  };
  input(texts::kInputMode, inputs.mode);
  input(texts::kInputHost, inputs.host);
  input(texts::kInputProject, inputs.project);
  if (!inputs.patch.empty()) input(texts::kInputPatch, inputs.patch);
  if (!inputs.localDir.empty()) input(texts::kInputLocalDir, inputs.localDir);
  input(texts::kInputUser, inputs.user);
  input(texts::kInputStart,
        inputs.start + (inputs.sinceLabel ? L" " + texts::fromLabel(*inputs.sinceLabel) : L""));
  input(texts::kInputEnd,
        inputs.end + (inputs.untilLabel ? L" " + texts::fromLabel(*inputs.untilLabel) : L""));
  input(texts::kInputTargetUser, inputs.targetUser.empty() ? texts::kAnyUser : inputs.targetUser);
  input(texts::kInputBuildUser, inputs.ignoreBuildUser ? texts::kYes : texts::kNo);
  input(texts::kInputSkipLabels, inputs.skipLabels ? texts::kYes : texts::kNo);
  input(texts::kInputMade, inputs.made);
  out += "</table>\n<p class=\"counts\">";
  escape(texts::counts(count_[0], count_[1]), out);
  out += "</p>\n<table class=\"files\">\n<thead><tr>";
  for (std::size_t i = 0; i < 8; ++i) {
    out += "<th>";
    escape(i == 0 ? texts::kFileColumn : texts::kColumns[i], out);
    out += "</th>";
  }
  out += "</tr></thead>\n";
  // Each folder's place: those of the processed list first, then those of unprocessed files only.
  std::vector<std::size_t> place(folders_.size(), 0);
  std::size_t next = 0;
  for (const std::size_t i : order_[0]) place[i] = next++;
  for (const std::size_t i : order_[1]) {
    if (folders_[i].count[0] == 0) place[i] = next++;
  }
  std::map<std::pair<std::size_t, std::size_t>, std::string> countsText;
  std::vector<Piece> pieces = pieces_;
  std::stable_sort(pieces.begin(), pieces.end(), [&place](const Piece& a, const Piece& b) {
    return place[a.folder] != place[b.folder] ? place[a.folder] < place[b.folder]
                                              : a.which < b.which;
  });
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const Piece& piece = pieces[i];
    if (i == 0 || pieces[i - 1].folder != piece.folder) {
      const Folder& f = folders_[piece.folder];
      if (i != 0) out += "</tbody>\n";
      out += "<tbody>\n<tr class=\"folder\"><th colspan=\"8\">";
      escape(f.path, out);
      // A folder's counts are mostly small and repeat: each pair is made into text once.
      std::string& text = countsText[{f.count[0], f.count[1]}];
      if (text.empty()) escape(L" \u00b7 " + texts::counts(f.count[0], f.count[1]), text);
      out += text;
      out += "</th></tr>\n";
    }
    out.append(htmlRows_, piece.offset, piece.length);
  }
  if (!pieces.empty()) out += "</tbody>\n";
  out += "</table>\n</body>\n</html>\n";
  return out;
}

}  // namespace console
