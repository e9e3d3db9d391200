// The journal's text: one record a line, led by its checksum; a change is a run of records closed
// by a commit record. Building changes, and replaying journal bytes into a model.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "standin/model.h"

namespace standin {

// A record's text: its kind, then its fields escaped, separated by tabs.
std::string makeRecord(std::initializer_list<std::string_view> fields);

// The journal line of a record text: checksum, space, text, line feed.
std::string journalLine(std::string_view record);

// The line closing a change of `count` records.
std::string commitLine(std::size_t count);

// A change being put together.
class Transaction {
 public:
  void add(std::initializer_list<std::string_view> fields) {
    records_.push_back(makeRecord(fields));
  }
  bool empty() const { return records_.empty(); }
  // The records' texts without checksums (for applying them to a model).
  const std::vector<std::string>& records() const { return records_; }
  // The journal lines of the records and of the commit record.
  std::string finish() const;

 private:
  std::vector<std::string> records_;
};

// What replaying journal bytes found.
struct Replayed {
  std::uint64_t end = 0;           // the offset just past the last complete change
  std::uint64_t damage = kNoLine;  // the offset of a damaged line, or kNoLine
};

// Applies the complete changes in `data`, journal bytes that start at offset `base`, up to the
// first line that fails its check. Only what follows the last commit record may be torn (a
// killed writer's leftover, cut off by the next change); a line that fails its check before a
// commit record is damage, and `damage` names its offset.
Replayed replay(Model& model, std::string_view data, std::uint64_t base);

}  // namespace standin
