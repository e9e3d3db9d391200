// Get's local copy as the direct runs write it: the fetched file alone, read-only.
#include <fstream>

#include "vssdb/library.h"
#include "vssdb/statuses.h"

namespace vssdb {

namespace fs = std::filesystem;

namespace {

bool writeWhole(const fs::path& file, std::string_view content) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

bool writeCopy(const std::wstring& local, std::string_view content) {
  const fs::path path = localPath(local);
  std::error_code ec;
  // What the library reports for a folder in the way, or a folder it cannot make, is not known:
  // these statuses are guesses.
  if (fs::is_directory(path, ec))
    throw vss::Error(status::kAccessDenied, L"Cannot write \"" + local + L"\": it is a folder");
  const fs::path folder = path.parent_path();
  if (!folder.empty() && !fs::is_directory(folder, ec) && !fs::create_directories(folder, ec))
    throw vss::Error(status::kPathNotFound,
                     L"Cannot write \"" + local + L"\": its folder cannot be made");
  constexpr fs::perms kWritable =
      fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
  const fs::file_status existing = fs::status(path, ec);
  if (fs::exists(existing) && (existing.permissions() & fs::perms::owner_write) != fs::perms::none)
    return false;
  fs::path temporary = path;
  temporary += ".ostrabel-get";
  const auto cannotWrite = [&] {
    fs::permissions(temporary, fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove(temporary, ec);
    return vss::Error(status::kAccessDenied, L"Cannot write \"" + local + L"\"");
  };
  // A killed writer's leftover is read-only; Windows writes over no read-only file.
  fs::permissions(temporary, fs::perms::owner_write, fs::perm_options::add, ec);
  if (!writeWhole(temporary, content)) throw cannotWrite();
  fs::permissions(temporary, kWritable, fs::perm_options::remove, ec);
  fs::rename(temporary, path, ec);
  if (ec) {
    // Windows moves nothing over a read-only file: the old copy is made writable first, for the
    // moment until the new one replaces it.
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ec);
    fs::rename(temporary, path, ec);
    if (ec) throw cannotWrite();
  }
  return true;
}

}  // namespace vssdb
