// The journal's lines and their replay.
#include "standin/journal.h"

#include <charconv>
#include <cstdio>
#include <limits>
#include <optional>

#include "standin/text.h"

namespace standin {
namespace {

// The record of a journal line whose checksum matches, or nullopt.
std::optional<std::string_view> checked(std::string_view line) {
  if (line.size() < 10 || line[8] != ' ') return std::nullopt;
  std::uint32_t sum = 0;
  for (char c : line.substr(0, 8)) {
    auto digit = std::string_view("0123456789abcdef").find(c);
    if (digit == std::string_view::npos) return std::nullopt;
    sum = sum * 16 + static_cast<std::uint32_t>(digit);
  }
  std::string_view record = line.substr(9);
  if (text::crc32(record) != sum) return std::nullopt;
  return record;
}

// The record count of a commit record (the largest number when it is not one), or nullopt for
// any other record.
std::optional<std::size_t> commitCount(std::string_view record) {
  if (!record.starts_with("commit\t")) return std::nullopt;
  std::size_t count = 0;
  auto r = std::from_chars(record.data() + 7, record.data() + record.size(), count);
  bool whole = r.ec == std::errc() && r.ptr == record.data() + record.size();
  return whole ? count : std::numeric_limits<std::size_t>::max();
}

// True when a complete commit record follows `from`.
bool commitFollows(std::string_view data, std::size_t from) {
  for (std::size_t end; (end = data.find('\n', from)) != std::string_view::npos; from = end + 1) {
    auto record = checked(data.substr(from, end - from));
    if (record && commitCount(*record)) return true;
  }
  return false;
}

}  // namespace

std::string makeRecord(std::initializer_list<std::string_view> fields) {
  std::string record(*fields.begin());  // the kind: never escaped
  for (auto f = fields.begin() + 1; f != fields.end(); ++f) {
    record += '\t';
    text::appendEscaped(record, *f);
  }
  return record;
}

std::string journalLine(std::string_view record) {
  char sum[16];
  std::snprintf(sum, sizeof sum, "%08x ", text::crc32(record));
  return sum + std::string(record) + '\n';
}

std::string commitLine(std::size_t count) {
  return journalLine("commit\t" + std::to_string(count));
}

std::string Transaction::finish() const {
  std::string out;
  for (const auto& r : records_) out += journalLine(r);
  return out + commitLine(records_.size());
}

Replayed replay(Model& model, std::string_view data, std::uint64_t base) {
  std::vector<std::pair<std::string_view, std::uint64_t>> pending;  // records and their offsets
  Replayed result{base};
  for (std::size_t at = 0, end; (end = data.find('\n', at)) != std::string_view::npos;
       at = end + 1) {
    auto record = checked(data.substr(at, end - at));
    auto count = record ? commitCount(*record) : std::nullopt;
    if (!record || (count && *count != pending.size())) {
      if (record || commitFollows(data, end + 1)) result.damage = base + at;
      return result;
    }
    if (!count) {
      pending.emplace_back(*record, base + at + 9);
      continue;
    }
    for (auto [text, offset] : pending)
      model.apply(text, offset, static_cast<std::uint32_t>(text.size()));
    pending.clear();
    result.end = base + end + 1;
  }
  return result;
}

}  // namespace standin
