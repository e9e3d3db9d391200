// Local export: each selected file is fetched into the folder below the local root that mirrors
// its folder below the walked project; missing folders are created.
#include "engine/patcher.h"
#include "engine/texts.h"

namespace engine {
namespace {

constexpr std::uint32_t kErrorPathNotFound = 3;  // ERROR_PATH_NOT_FOUND

}  // namespace

void Patcher::getVSSLocal(vss::Item& oVSSItem, vss::Version* /*oVSSVer*/) {
  getLocalFile(oVSSItem, oVSSItem.spec());
}

// Prepares the folder, fetches the file and lists the outcome. Every file handed here ends up
// in one of the lists: a folder that cannot be made is an unknown error with its status.
void Patcher::getLocalFile(vss::Item& oVSSItem, const std::wstring& spec) {
  try {
    createLocalDir(relativePieces(spec));
  } catch (const vss::Error& e) {
    listLine(ResultList::Unshare, spec, texts::unknownErrorReason(e.status()));
    return;
  }
  std::int32_t status = 0;
  try {
    std::wstring local = state_.localTargetDir;
    local += L'\\';
    local += oVSSItem.name();
    oVSSItem.get(local, 0);  // what the library writes back into the path is of no use here
  } catch (const vss::Error& e) {
    status = e.status();
  }
  listOutcome(spec, status, texts::kFetchedThenDeleted);
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
