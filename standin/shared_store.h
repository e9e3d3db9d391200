// One store as this process sees it: the model of its journal, shared by every database object
// over that store, kept up to date with what other processes append, and changed only through
// `change`, which makes each change durable before it returns.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "standin/model.h"

namespace standin {

// The folder holds no store (no readable srcsafe.ini of the stand-in, or no journal).
class NoStore : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct StorePaths {
  explicit StorePaths(const std::filesystem::path& dir);
  std::filesystem::path dir, ini, data, journal, lock;
};

// True when `dir` holds a stand-in store.
bool isStore(const std::filesystem::path& dir);

// Reads the whole journal of a store into a fresh model; `text` receives the journal bytes
// and `end` the offset after the last complete change, when given.
void loadModel(const StorePaths& paths, Model& model, std::string* text = nullptr,
               std::uint64_t* end = nullptr);

class SharedStore {
 public:
  // The process's one model of the store in `dir`; throws NoStore.
  static std::shared_ptr<SharedStore> open(const std::filesystem::path& dir);

  explicit SharedStore(const std::filesystem::path& dir);

  const StorePaths& paths() const { return paths_; }
  // Guards the model; every caller holds it while it reads or changes.
  std::mutex& mutex() { return mutex_; }
  // The model as of the last catchUp.
  const Model& model() const { return model_; }
  // Reads and applies what was appended since the last call (by any process).
  void catchUp();
  // Takes the lock between processes, catches up, lets `build` check the change against the
  // model and add its records (or throw), appends them as one change flushed to disk, and
  // catches up again, so the model holds the change when this returns.
  void change(const std::function<void(const Model&, Transaction&)>& build);
  // The text of a history record's journal line (comment and content are read from there).
  std::string recordText(const HistoryRecord& record) const;

 private:
  void reload();

  StorePaths paths_;
  std::mutex mutex_;
  Model model_;
  std::uint64_t consumed_ = 0;
};

}  // namespace standin
