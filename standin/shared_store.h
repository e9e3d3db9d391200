// One store as this process sees it: the model of its journal, shared by every database object
// over that store, kept up to date with what other processes append, and changed only through
// `change`.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "standin/journal.h"
#include "standin/store.h"

namespace standin {

// The folder holds no store (no readable srcsafe.ini of the stand-in, or no journal).
class NoStore : public ToolError {
 public:
  using ToolError::ToolError;
};

// A line of the journal fails its check before its last complete change: the store is damaged,
// and nothing reads or changes it until it is restored.
class DamagedStore : public ToolError {
 public:
  using ToolError::ToolError;
};

struct StorePaths {
  explicit StorePaths(const std::filesystem::path& dir);
  std::filesystem::path dir, ini, data, journal, lock;
};

// True when `dir` holds a stand-in store.
bool isStore(const std::filesystem::path& dir);

// Reads a store's whole journal into a fresh model and returns the offset after its last
// complete change; `text` receives the journal bytes when given. Throws NoStore, DamagedStore.
std::uint64_t loadModel(const StorePaths& paths, Model& model, std::string* text = nullptr);

class SharedStore {
 public:
  // The process's one model of the store in `dir`; throws NoStore, DamagedStore.
  static std::shared_ptr<SharedStore> open(const std::filesystem::path& dir);

  explicit SharedStore(const std::filesystem::path& dir);
  SharedStore(const SharedStore&) = delete;
  SharedStore& operator=(const SharedStore&) = delete;
  ~SharedStore();

  const StorePaths& paths() const { return paths_; }
  // Guards the model; every caller holds it while it reads or changes.
  std::mutex& mutex() { return mutex_; }
  // The model as of the last catchUp.
  const Model& model() const { return model_; }
  // Counts the times the model was rebuilt from the whole journal (restored or replaced under
  // this process); the item and entry numbers of an older generation name other things.
  std::uint64_t generation() const { return generation_; }
  // Reads and applies what was appended since the last call (by any process). A journal that
  // shrank or does not go on from where the model stopped is read again whole (a new
  // generation). Throws DamagedStore, and then the model stays as it was.
  void catchUp();
  // Takes the lock between processes, catches up, lets `build` check the change against the
  // model and add its records (or throw), appends them as one change and catches up again, so
  // the model holds the change when this returns.
  void change(const std::function<void(const Model&, Transaction&)>& build);
  // The text of a history record's journal line (comment and content are read from there).
  // The caller holds the mutex.
  std::string recordText(const HistoryRecord& record) const;

 private:
  StorePaths paths_;
  std::mutex mutex_;
  Model model_;
  std::uint64_t consumed_ = 0;
  std::uint64_t generation_ = 0;
  // Outside Windows the journal stays open for reading records (a report reads the comment of
  // every listed file: opening the journal for each cost more than the rest of the report). On
  // Windows an open journal would keep a test from deleting a store whose objects are alive, so
  // each record opens it there. Reopened when the model is read again.
  mutable int reader_ = -1;
  mutable std::uint64_t readerGeneration_ = 0;
};

}  // namespace standin
