// Get's local copy as the direct runs write it: the fetched file alone, read-only.
#include "vssdb/files.h"
#include "vssdb/library.h"
#include "vssdb/statuses.h"

namespace vssdb {

// What the library reports for a folder in the way, or a folder it cannot make, is not known:
// these statuses are guesses.
bool writeCopy(const std::wstring& local, std::string_view content) {
  const std::filesystem::path path = localPath(local);
  if (kindOf(path) == Kind::Folder)
    throw vss::Error(status::kAccessDenied, L"Cannot write \"" + local + L"\": it is a folder");
  try {
    return writeReadOnlyCopy(path, content);
  } catch (const std::runtime_error&) {
    const std::filesystem::path folder = path.parent_path();
    if (!folder.empty() && kindOf(folder) != Kind::Folder)
      throw vss::Error(status::kPathNotFound,
                       L"Cannot write \"" + local + L"\": its folder cannot be made");
    throw vss::Error(status::kAccessDenied, L"Cannot write \"" + local + L"\"");
  }
}

}  // namespace vssdb
