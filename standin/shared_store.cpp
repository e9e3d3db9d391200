// One store's model per process, kept up to date with the journal, and its changes.
#include "standin/shared_store.h"

#include <algorithm>
#include <map>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include "standin/file_io.h"
#include "standin/text.h"

namespace standin {
namespace {

std::mutex registryMutex;
std::map<std::string, std::weak_ptr<SharedStore>>& registry() {
  static std::map<std::string, std::weak_ptr<SharedStore>> stores;
  return stores;
}

std::string registryKey(const std::filesystem::path& dir) {
  std::error_code ec;
  auto canonical = std::filesystem::weakly_canonical(dir, ec);
  std::string key =
      (ec ? std::filesystem::absolute(dir) : canonical).lexically_normal().generic_string();
  while (key.size() > 1 && key.back() == '/') key.pop_back();
#ifdef _WIN32
  key = text::fold(key);  // Windows paths ignore letter case
#endif
  return key;
}

// The store id of the journal's first change: tells a store from one recreated at its path.
std::string firstStoreId(const StorePaths& paths) {
  std::string head;
  try {
    head = io::readRange(paths.journal, 0, 256);
  } catch (const io::IoError&) {
    return {};
  }
  Model probe;
  auto end = head.find('\n');
  if (end == std::string::npos || end < 9) return {};
  probe.apply(std::string_view(head).substr(9, end - 9));
  return probe.storeId;
}

}  // namespace

StorePaths::StorePaths(const std::filesystem::path& d)
    : dir(d),
      ini(d / "srcsafe.ini"),
      data(d / "data"),
      journal(d / "data" / "journal.txt"),
      lock(d / "data" / "lock") {}

bool isStore(const std::filesystem::path& dir) {
  StorePaths paths(dir);
  std::string ini;
  try {
    ini = io::readRange(paths.ini, 0, 4096);
  } catch (const io::IoError&) {
    return false;
  }
  return ini.find("[standin]") != std::string::npos && io::fileSize(paths.journal) >= 0;
}

// Replays the journal from `from` up to `to` in pieces of a few megabytes, so that a large store
// is never held in memory whole. A piece grows while it holds no complete change: a damaged line
// is told from a torn tail with all that follows it in view.
Replayed replayFile(Model& model, const std::filesystem::path& journal, std::uint64_t from,
                    std::uint64_t to) {
  Replayed r{from};
  for (std::uint64_t piece = std::uint64_t{4} << 20; r.end < to && r.damage == kNoLine;) {
    std::uint64_t want = std::min(piece, to - r.end);
    std::string data = io::readRange(journal, r.end, want);
    Replayed part = replay(model, data, r.end);
    if (part.end == r.end && part.damage == kNoLine) {
      if (want == to - r.end || data.size() < want) break;  // a torn tail
      piece *= 2;
    }
    r = part;
  }
  return r;
}

std::uint64_t loadModel(const StorePaths& paths, Model& model, std::string* text) {
  if (!isStore(paths.dir)) throw NoStore("no stand-in store in " + paths.dir.string());
  Replayed r;
  if (text) {
    *text = io::readRange(paths.journal, 0, ~std::uint64_t{0} >> 1);
    r = replay(model, *text, 0);
  } else {
    r = replayFile(model, paths.journal, 0,
                   static_cast<std::uint64_t>(io::fileSize(paths.journal)));
  }
  if (r.damage != kNoLine)
    throw DamagedStore(paths.journal.string() + " is damaged at byte " + std::to_string(r.damage) +
                       ": a line fails its check before the last committed change; restore the "
                       "store from a backup");
  return r.end;
}

std::shared_ptr<SharedStore> SharedStore::open(const std::filesystem::path& dir) {
  if (!isStore(dir)) throw NoStore("no stand-in store in " + dir.string());
  std::string key = registryKey(dir);
  std::lock_guard guard(registryMutex);
  auto& slot = registry()[key];
  if (auto store = slot.lock()) {
    std::lock_guard storeGuard(store->mutex());
    if (firstStoreId(store->paths()) == store->model().storeId) {
      store->catchUp();
      return store;
    }
  }
  auto store = std::make_shared<SharedStore>(dir);
  slot = store;
  return store;
}

SharedStore::SharedStore(const std::filesystem::path& dir) : paths_(dir) {
  consumed_ = loadModel(paths_, model_);
}

void SharedStore::catchUp() {
  std::int64_t size = io::fileSize(paths_.journal);
  if (size < 0) return;  // the store went away; keep what we know
  auto total = static_cast<std::uint64_t>(size);
  if (total == consumed_) return;
  if (total > consumed_) {
    Replayed r = replayFile(model_, paths_.journal, consumed_, total);
    consumed_ = r.end;
    if (r.damage == kNoLine) return;
  }
  // Shrunk, or what follows is no continuation: a backup restored or another store in its place.
  Model fresh;
  consumed_ = loadModel(paths_, fresh);
  model_ = std::move(fresh);
  ++generation_;
}

void SharedStore::change(const std::function<void(const Model&, Transaction&)>& build) {
  io::ExclusiveLock lock(paths_.lock);
  catchUp();
  Transaction tx;
  build(model_, tx);
  if (tx.empty()) return;
  // Whatever lies beyond the last complete change is a killed writer's leftover: cut it off.
  io::writeAt(paths_.journal, consumed_, tx.finish());
  catchUp();
}

SharedStore::~SharedStore() {
#ifndef _WIN32
  if (reader_ >= 0) ::close(reader_);
#endif
}

std::string SharedStore::recordText(const HistoryRecord& record) const {
  if (record.line == kNoLine) return {};
#ifndef _WIN32
  // A short read means the journal at the path is another file than the one kept open (put in
  // place by a restore that went on from where the model stopped): opened again, once.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (reader_ < 0 || readerGeneration_ != generation_ || attempt == 1) {
      if (reader_ >= 0) ::close(reader_);
      reader_ = ::open(paths_.journal.c_str(), O_RDONLY | O_CLOEXEC);
      readerGeneration_ = generation_;
      if (reader_ < 0) break;
    }
    std::string data(record.lineLength, '\0');
    const ssize_t read =
        ::pread(reader_, data.data(), data.size(), static_cast<off_t>(record.line));
    if (read == static_cast<ssize_t>(data.size())) return data;
  }
#endif
  return io::readRange(paths_.journal, record.line, record.lineLength);
}

}  // namespace standin
