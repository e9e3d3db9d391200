// One store's model per process, its catching up with the journal and its durable changes.
#include "standin/shared_store.h"

#include <algorithm>
#include <map>

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
  std::string key = (ec ? std::filesystem::absolute(dir) : canonical).lexically_normal().generic_string();
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
    : dir(d), ini(d / "srcsafe.ini"), data(d / "data"), journal(d / "data" / "journal.txt"),
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

// Replays the journal from `from` up to `size` in pieces of a few megabytes, so that a large
// store is never held in memory whole (a piece grows when one change is larger).
std::uint64_t replayFile(Model& model, const std::filesystem::path& journal, std::uint64_t from,
                         std::uint64_t size) {
  std::uint64_t piece = std::uint64_t{4} << 20;
  while (from < size) {
    std::string data = io::readRange(journal, from, std::min(piece, size - from));
    std::uint64_t next = replay(model, data, from);
    if (next == from) {
      if (data.size() >= size - from) break;  // an unfinished change at the end
      piece *= 2;
      continue;
    }
    from = next;
  }
  return from;
}

void loadModel(const StorePaths& paths, Model& model, std::string* text, std::uint64_t* end) {
  if (!isStore(paths.dir)) throw NoStore("no stand-in store in " + paths.dir.string());
  std::uint64_t consumed;
  if (text) {
    *text = io::readRange(paths.journal, 0, ~std::uint64_t{0} >> 1);
    consumed = replay(model, *text, 0);
  } else {
    consumed = replayFile(model, paths.journal, 0, static_cast<std::uint64_t>(io::fileSize(paths.journal)));
  }
  if (end) *end = consumed;
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

SharedStore::SharedStore(const std::filesystem::path& dir) : paths_(dir) { catchUp(); }

void SharedStore::reload() {
  model_ = Model();
  consumed_ = 0;
}

void SharedStore::catchUp() {
  std::int64_t size = io::fileSize(paths_.journal);
  if (size < 0) return;  // the store went away; keep what we know
  if (static_cast<std::uint64_t>(size) < consumed_) reload();  // replaced by a new store
  if (static_cast<std::uint64_t>(size) == consumed_) return;
  consumed_ = replayFile(model_, paths_.journal, consumed_, static_cast<std::uint64_t>(size));
}

void SharedStore::change(const std::function<void(const Model&, Transaction&)>& build) {
  io::ExclusiveLock lock(paths_.lock);
  catchUp();
  Transaction tx;
  build(model_, tx);
  if (tx.empty()) return;
  // Whatever lies beyond the last complete change is a crashed writer's leftover: cut it off.
  io::writeAt(paths_.journal, consumed_, tx.finish());
  catchUp();
}

std::string SharedStore::recordText(const HistoryRecord& record) const {
  if (record.line == kNoLine) return {};
  return io::readRange(paths_.journal, record.line, record.lineLength);
}

}  // namespace standin
