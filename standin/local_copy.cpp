// Get's local copy, shared by the stand-in's own stores and the reader of real databases.
#include "standin/local_copy.h"

#include <algorithm>
#include <cstring>

#include "standin/file_io.h"
#include "standin/statuses.h"
#include "standin/text.h"
#include "vss/port.h"

namespace standin {

namespace fs = std::filesystem;

fs::path localPath(const std::wstring& local) {
#ifdef _WIN32
  return fs::path(local);
#else
  std::string s = text::narrow(local);
  std::replace(s.begin(), s.end(), '\\', '/');
  return fs::path(s);
#endif
}

bool writeLocalCopy(const std::wstring& local, std::string_view content) {
  return writeLocalCopy(localPath(local), content, local);
}

bool writeLocalCopy(const fs::path& path, std::string_view content, const std::wstring& local) {
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
  temporary += ".standin-get";
  const auto cannotWrite = [&] {
    fs::permissions(temporary, fs::perms::owner_write, fs::perm_options::add, ec);
    fs::remove(temporary, ec);
    return vss::Error(status::kAccessDenied, L"Cannot write \"" + local + L"\"");
  };
  // A killed writer's leftover is read-only; Windows writes over no read-only file.
  fs::permissions(temporary, fs::perms::owner_write, fs::perm_options::add, ec);
  try {
    io::writeFile(temporary, content);
  } catch (const io::IoError&) {
    throw cannotWrite();
  }
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

namespace {

constexpr std::uint32_t kVssverSignature = 0x00011234;  // the first word of the library's own
constexpr std::size_t kVssverHeader = 32, kVssverEntry = 16;

// The extensions of the files beside which the library writes mssccprj.scc: the default of the
// "mssccprj" setting of ss.ini.
constexpr const char* kProjectFileExtensions[] = {
    "sln", "vbproj", "vbp",  "csproj",  "vcproj",   "dsp",     "mdp",    "mak",      "vfpproj",
    "vdp", "vdproj", "dbp",  "vsmproj", "vsmacros", "hwproj",  "etp",    "etpproxy", "actproj",
    "atp", "dmp",    "mdmp", "dsw",     "vjsproj",  "csdproj", "vbdproj"};

void putWord(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}
std::uint32_t word(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

// A read-only file replaced: made writable for the moment.
void replaceReadOnly(const fs::path& path, std::string_view content) {
  std::error_code ec;
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add, ec);
  io::writeFile(path, content);
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove, ec);
}

// A project's physical name as SourceSafe spells it: its number in base 26, letters A to Z, the
// first letter the lowest digit.
std::string physicalName(std::uint32_t number) {
  std::string name;
  for (int i = 0; i < 8; ++i, number /= 26) name += static_cast<char>('A' + number % 26);
  return name;
}

bool isProjectFile(const fs::path& copy) {
  std::string extension = copy.extension().string();
  if (extension.empty()) return false;
  for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return std::any_of(std::begin(kProjectFileExtensions), std::end(kProjectFileExtensions),
                     [&](const char* e) { return extension.substr(1) == e; });
}

// Adds (or renews) the project file's section of the folder's mssccprj.scc.
void writeMssccprj(const Bookkeeping::Fetched& f) {
  const fs::path path = f.copy.parent_path() / "mssccprj.scc";
  // SourceSafe writes the file in the database's code page.
  const std::string name = text::ansi(text::narrow(f.copy.filename().wstring()));
  std::string text = "SCC = This is a Source Code Control file\r\n";
  std::error_code ec;
  if (fs::exists(path, ec)) {
    const std::string old = io::readRange(path, 0, 1u << 20);
    // The sections of other files stay; this file's is written anew.
    const std::string head = "\r\n[" + name + "]\r\n";
    std::size_t at = old.find("\r\n[");
    while (at != std::string::npos) {
      const std::size_t next = old.find("\r\n[", at + 3);
      const std::string section = old.substr(at, next == std::string::npos ? next : next - at);
      if (!section.starts_with(head)) text += section;
      at = next;
    }
  }
  const std::string physical =
      f.projectPhysical.empty() ? physicalName(f.project) : f.projectPhysical;
  text += "\r\n[" + name + "]\r\nSCC_Aux_Path = \"" + text::ansi(text::narrow(f.databaseFolder)) +
          "\"\r\nSCC_Project_Name = \"" + text::ansi(f.projectSpec) + "\", " + physical + "\r\n";
  replaceReadOnly(path, text);
}

}  // namespace

void Bookkeeping::fetched(const Fetched& given) {
  Fetched f = given;
  f.database.resize(16, '\0');
  const fs::path folder = f.copy.parent_path();
  const fs::path vssver = folder / "vssver.scc";
  std::error_code ec;
  // A vssver.scc of another project in this folder goes at once.
  if (fs::is_regular_file(vssver, ec)) {
    const std::string bytes = io::readRange(vssver, 0, 1u << 20);
    if (bytes.size() >= kVssverHeader && (bytes.size() - kVssverHeader) % kVssverEntry == 0 &&
        word(bytes, 0) == kVssverSignature &&
        (bytes.compare(4, 16, f.database) != 0 || word(bytes, 24) != f.project))
      fs::remove(vssver, ec);
  }
  if (folder != folder_ || f.database != database_ || f.project != project_) {
    if (!folder_.empty() && folder != folder_) writeVssver();
    folder_ = folder;
    database_ = f.database;
    project_ = f.project;
    entries_.clear();
  }
  const std::uint32_t crc = text::crc32(f.content);
  auto same = std::find_if(entries_.begin(), entries_.end(),
                           [&](const Entry& e) { return e.file == f.file; });
  if (same == entries_.end()) {
    entries_.push_back(Entry{f.file, crc, f.version});
  } else {
    *same = Entry{f.file, crc, f.version};
  }
  try {
    if (isProjectFile(f.copy)) writeMssccprj(f);
  } catch (const io::IoError&) {
    // The library reports nothing of its bookkeeping.
  }
}

// The remembered folder's vssver.scc: the entries of one there of the same project kept, a
// fetched file's renewed; one of another kind is left alone.
void Bookkeeping::writeVssver() const {
  const fs::path path = folder_ / "vssver.scc";
  std::vector<Entry> entries;
  std::error_code ec;
  if (fs::exists(path, ec)) {
    const std::string bytes = io::readRange(path, 0, 1u << 20);
    if (bytes.size() < kVssverHeader || (bytes.size() - kVssverHeader) % kVssverEntry != 0 ||
        word(bytes, 0) != kVssverSignature || bytes.compare(4, 16, database_) != 0 ||
        word(bytes, 24) != project_)
      return;
    for (std::size_t at = kVssverHeader; at < bytes.size(); at += kVssverEntry)
      entries.push_back(Entry{word(bytes, at), word(bytes, at + 4), word(bytes, at + 12)});
  }
  for (const Entry& e : entries_) {
    auto same = std::find_if(entries.begin(), entries.end(),
                             [&](const Entry& old) { return old.file == e.file; });
    if (same == entries.end()) {
      entries.push_back(e);
    } else {
      *same = e;
    }
  }
  std::string bytes;
  putWord(bytes, kVssverSignature);
  bytes += database_;
  putWord(bytes, 0);
  putWord(bytes, project_);
  putWord(bytes, 0);
  for (const Entry& e : entries) {
    putWord(bytes, e.file);
    putWord(bytes, e.crc);
    putWord(bytes, 0);
    putWord(bytes, e.version);
  }
  try {
    io::writeFile(path, bytes);
  } catch (const io::IoError&) {
    // The library reports nothing of its bookkeeping.
  }
}

}  // namespace standin
