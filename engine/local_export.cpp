// Local export: each selected file is fetched into the folder below the local root that mirrors
// its folder below the walked project; missing folders are created.
#include <algorithm>
#include <string_view>

#include "engine/patcher.h"
#include "engine/texts.h"

namespace engine {
namespace {

constexpr std::uint32_t kErrorPathNotFound = 3;   // ERROR_PATH_NOT_FOUND
constexpr std::uint32_t kErrorFileExists = 80;    // ERROR_FILE_EXISTS
constexpr std::uint32_t kErrorInvalidName = 123;  // ERROR_INVALID_NAME

// Device names Windows reserves in every folder, whatever extension follows them.
constexpr const wchar_t* kReservedNames[] = {
    L"con",  L"prn",       L"aux",       L"nul",       L"com1",   L"com2",
    L"com3", L"com4",      L"com5",      L"com6",      L"com7",   L"com8",
    L"com9", L"com\u00b9", L"com\u00b2", L"com\u00b3", L"lpt1",   L"lpt2",
    L"lpt3", L"lpt4",      L"lpt5",      L"lpt6",      L"lpt7",   L"lpt8",
    L"lpt9", L"lpt\u00b9", L"lpt\u00b2", L"lpt\u00b3", L"conin$", L"conout$"};

wchar_t asciiLower(wchar_t c) { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; }

// The files the library writes beside what it fetches: its record of the versions fetched into
// a folder, and its record of the project a project or solution file belongs to.
constexpr const wchar_t* kBookkeepingFiles[] = {L"vssver.scc", L"mssccprj.scc"};

bool sameAsciiName(const std::wstring& a, const wchar_t* b) {
  const std::wstring_view other(b);
  return a.size() == other.size() &&
         std::equal(a.begin(), a.end(), other.begin(),
                    [](wchar_t x, wchar_t y) { return asciiLower(x) == asciiLower(y); });
}

}  // namespace

// True when Windows keeps a file or folder under exactly this name: not "." or "..", no trailing
// dot or blank (Windows drops them and two names fold into one), no character it forbids, not a
// device name. Any other name could land outside the local folder, in another file or in a device.
bool isPlainWindowsName(const std::wstring& name) {
  if (name.empty() || name.back() == L'.' || name.back() == L' ') return false;
  for (const wchar_t c : name) {
    if (c < 0x20 || std::wstring_view(L"<>:\"/\\|?*").find(c) != std::wstring_view::npos) {
      return false;
    }
  }
  // "aux.c" and "nul .txt" are devices too: the part before the first dot, trailing blanks off.
  std::wstring base = name.substr(0, name.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (wchar_t& c : base) c = asciiLower(c);
  for (const wchar_t* reserved : kReservedNames) {
    if (base == reserved) return false;
  }
  return true;
}

// Prepares the folder, fetches the file and lists the outcome. Every file handed here ends up
// in one of the lists: a folder that cannot be made is an unknown error with its status.
void Patcher::getVSSLocal(vss::Item& oVSSItem, const std::wstring& spec) {
  const std::vector<std::wstring> subProj = relativePieces(spec);
  std::wstring name;
  try {
    name = oVSSItem.name();
    // A name Windows cannot hold as written is not fetched at all: nothing is written for it.
    const bool plain =
        isPlainWindowsName(name) &&
        std::all_of(subProj.begin(), subProj.end() - 1, [](const std::wstring& piece) {
          return piece.empty() || isPlainWindowsName(piece);
        });
    if (!plain) throw vss::Error(statusFromSystemError(kErrorInvalidName), L"invalid name");
    createLocalDir(subProj);
  } catch (const vss::Error& e) {
    listMe(ResultList::Unprocessed, spec, texts::unknownErrorReason(e.status()));
    return;
  }
  std::wstring local = state_.localTargetDir;
  local += L'\\';
  local += name;
  // Get leaves a writable copy as it is and still succeeds (the library answers its own question
  // "is writable, replace?" with No): the folder would keep an edited or half-written copy while
  // the file is listed as fetched. Such a copy is left alone and the file listed as not fetched.
  // A read-only copy is what a fetch leaves, and Get replaces it.
  if (platform_.writableFileExists(local)) {
    listMe(ResultList::Unprocessed, spec,
           texts::unknownErrorReason(statusFromSystemError(kErrorFileExists)));
    return;
  }
  // What stands in the folder before the run's first fetch into it stays; so does a file of the
  // patch that has a bookkeeping file's name.
  auto [folder, first] = fetchFolders_.try_emplace(state_.localTargetDir);
  for (const wchar_t* bookkeeping : kBookkeepingFiles) {
    if ((first && platform_.pathExists(state_.localTargetDir + L'\\' + bookkeeping)) ||
        sameAsciiName(name, bookkeeping))
      folder->second.push_back(bookkeeping);
  }
  std::int32_t status = 0;
  try {
    oVSSItem.get(local, 0);  // what the library writes back into the path is of no use here
  } catch (const vss::Error& e) {
    status = e.status();
  }
  listOutcome(spec, status, texts::kFetchedThenDeleted);
}

void Patcher::removeBookkeeping() {
  for (const auto& [folder, kept] : fetchFolders_) {
    for (const wchar_t* bookkeeping : kBookkeepingFiles) {
      if (std::find(kept.begin(), kept.end(), bookkeeping) != kept.end()) continue;
      const std::wstring path = folder + L'\\' + bookkeeping;
      // A file that cannot be removed stays; the run's lists are what it reports.
      if (platform_.pathExists(path)) platform_.removeFile(path);
    }
  }
  fetchFolders_.clear();
}

// Builds the file's folder below localDir level by level, exactly as the pieces are spelled,
// creating each level nothing stands at. A failure is raised with the status the file is listed
// under; localTargetDir changes only when every level is there.
void Patcher::createLocalDir(const std::vector<std::wstring>& subProj) {
  std::wstring path = state_.localDir;
  // Without a root the pieces would land in the root of the current drive.
  if (path.empty()) {
    throw vss::Error(statusFromSystemError(kErrorPathNotFound), L"no local folder given");
  }
  for (std::size_t i = 0; i + 1 < subProj.size(); ++i) {
    const std::wstring& piece = subProj[i];
    if (piece.empty()) continue;
    path += L'\\';
    path += piece;
    if (!platform_.pathExists(path)) {
      const std::uint32_t code = platform_.createFolder(path);
      if (code != 0) throw vss::Error(statusFromSystemError(code), L"cannot create " + path);
    }
  }
  state_.localTargetDir = path;
}

}  // namespace engine
