// Where the console program's files are, as the file system tells files apart, and a result list
// written under a temporary name beside its destination and moved into place when the run ends.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/output.h"

namespace console {

// A file or folder as the file system knows it: its volume and its number on that volume. Two
// paths with one identity lead to one file, whatever their spelling (letter case, ".\", "..",
// short names, links).
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  bool operator==(const FileIdentity&) const = default;
};

// Where a path leads: what stands there, by its identity; or, where nothing stands yet, the
// identity of its folder and its name in the form the system compares names.
struct FilePlace {
  FileIdentity id;
  std::wstring name;  // empty when something stands at the path
  bool operator==(const FilePlace&) const = default;
};

// What stands at a path. A device (NUL, CON, a pipe) is written directly, as it always was.
enum class FileKind { None, File, ReadOnlyFile, Folder, Device };

// What the console program asks of the file system beyond reading its settings.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // `path` made full against the current folder (for "Y:", against that drive's current folder);
  // a full path comes back as it is.
  virtual std::wstring fullPath(const std::wstring& path) = 0;
  virtual FileKind kind(const std::wstring& path) = 0;
  // Nothing when neither the path nor its folder can be found.
  virtual std::optional<FilePlace> place(const std::wstring& path) = 0;
  // The identities of the folders that hold `path`, its own folder first, up to the root.
  virtual std::vector<FileIdentity> foldersAbove(const std::wstring& path) = 0;
  // A new file at `path`, where nothing may stand yet; nullptr and the system's code otherwise.
  virtual std::unique_ptr<ByteSink> createNew(const std::wstring& path, std::uint32_t& error) = 0;
  // A device at `path` (NUL, CON, a pipe) opened for writing; nullptr and the system's code
  // otherwise.
  virtual std::unique_ptr<ByteSink> openDevice(const std::wstring& path, std::uint32_t& error) = 0;
  // Moves the file `from` over `to`, replacing what stands there; 0 or the system's code.
  virtual std::uint32_t replace(const std::wstring& from, const std::wstring& to) = 0;
  virtual void remove(const std::wstring& path) = 0;
  // Tells this process from the others running now (a part of the temporary names).
  virtual std::uint32_t processId() = 0;
};

// A result list written to "NAME.PID.tmp" beside its destination NAME (another number after the
// process's when that name is taken: an existing file is never written over) and moved into
// place by commit(). A list under its own name is therefore always a whole list; a killed run
// leaves only the temporary file, and a refused run leaves the destination as it was.
class ListFile : public TextSink {
 public:
  // Nothing, with the system's code, when the temporary file cannot be made.
  static std::unique_ptr<ListFile> create(FileSystem& files, const std::wstring& destination,
                                          Encoder encoder, std::uint32_t& error);
  ListFile(const ListFile&) = delete;
  ListFile& operator=(const ListFile&) = delete;
  // A list neither committed nor discarded (an unexpected failure) is discarded.
  ~ListFile() override;

  void write(std::wstring_view text) override { sink_->write(text); }
  // Bytes already encoded (the report, made whole in memory).
  void writeBytes(std::string_view bytes) { sink_->writeBytes(bytes); }
  bool flush() override { return sink_->flush(); }
  // Closes the temporary file and moves it over the destination; 0 or the system's code (the
  // temporary file then stays, whole). A list that could not be written whole is discarded
  // instead (ERROR_WRITE_FAULT).
  std::uint32_t commit();
  // Removes the temporary file; the destination stays as it was.
  void discard();
  const std::wstring& destination() const { return destination_; }
  const std::wstring& temporary() const { return temporary_; }

 private:
  ListFile(FileSystem& files, std::wstring destination, std::wstring temporary,
           std::unique_ptr<EncodedSink> sink);

  FileSystem& files_;
  std::wstring destination_;
  std::wstring temporary_;
  std::unique_ptr<EncodedSink> sink_;
  bool done_ = false;
};

}  // namespace console
