// A result list under a temporary name beside its destination, moved into place at the end.
#include "console/list_file.h"

namespace console {
namespace {

constexpr std::uint32_t kErrorFileExists = 80;  // ERROR_FILE_EXISTS
constexpr std::uint32_t kErrorWriteFault = 29;  // ERROR_WRITE_FAULT
// Names tried before giving up: a hundred stray files of one process's number is not a clash.
constexpr int kNamesTried = 100;

}  // namespace

std::unique_ptr<ListFile> ListFile::create(FileSystem& files, const std::wstring& destination,
                                           Encoder encoder, std::uint32_t& error) {
  const std::wstring stem = destination + L"." + std::to_wstring(files.processId());
  for (int n = 1; n <= kNamesTried; ++n) {
    const std::wstring temporary = stem + (n == 1 ? L"" : L"-" + std::to_wstring(n)) + L".tmp";
    std::unique_ptr<ByteSink> bytes = files.createNew(temporary, error);
    if (bytes) {
      error = 0;
      return std::unique_ptr<ListFile>(
          new ListFile(files, destination, temporary,
                       std::make_unique<EncodedSink>(std::move(bytes), std::move(encoder))));
    }
    if (error != kErrorFileExists) return nullptr;
  }
  return nullptr;
}

ListFile::ListFile(FileSystem& files, std::wstring destination, std::wstring temporary,
                   std::unique_ptr<EncodedSink> sink)
    : files_(files),
      destination_(std::move(destination)),
      temporary_(std::move(temporary)),
      sink_(std::move(sink)) {}

ListFile::~ListFile() {
  if (!done_) discard();
}

std::uint32_t ListFile::commit() {
  // A list that could not be written whole never takes the destination's place.
  if (!sink_->flush()) {
    discard();
    return kErrorWriteFault;
  }
  sink_.reset();  // closes the file, which Windows moves only when closed
  done_ = true;
  return files_.replace(temporary_, destination_);
}

void ListFile::discard() {
  sink_.reset();
  done_ = true;
  files_.remove(temporary_);
}

}  // namespace console
