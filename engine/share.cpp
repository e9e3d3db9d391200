// Share into the patch project: each selected file is shared into the subproject of the patch
// project that mirrors its folder below the walked project; missing subprojects are created.
#include <algorithm>

#include "engine/patcher.h"
#include "engine/texts.h"

namespace engine {
namespace {

// Appends one level to a database path, without doubling a "/" the path already ends with.
void appendLevel(std::wstring& path, const std::wstring& piece) {
  if (!path.empty() && path.back() != L'/') path += L'/';
  path += piece;
}

// The source folder of a file: its path without the last level ("$/" for the root).
std::wstring folderOf(const std::wstring& spec) {
  const std::size_t slash = spec.rfind(L'/');
  if (slash == std::wstring::npos) return std::wstring();
  if (slash == 0 || (slash == 1 && spec[0] == L'$')) return spec.substr(0, slash + 1);
  return spec.substr(0, slash);
}

}  // namespace

// Prepares the target, shares the file and lists the outcome. Every file handed here ends up in
// one of the lists: a target that cannot be prepared is an unknown error with its status.
void Patcher::shareMe(vss::Item& oVSSItem, const std::wstring& spec) {
  const std::vector<std::wstring> subProj = relativePieces(spec);
  try {
    prepareShareTarget(folderOf(spec), subProj);
  } catch (const vss::Error& e) {
    listMe(ResultList::Unprocessed, spec, texts::unknownErrorReason(e.status()));
    return;
  }
  std::int32_t status = 0;
  try {
    // Without GETNO the library would also write a copy of the file into the patch project's
    // working folder, or the current folder when it has none.
    state_.patchItem->share(oVSSItem, texts::kShareComment, vss::kFlagRecursYes | vss::kFlagGetNo);
  } catch (const vss::Error& e) {
    status = e.status();
  }
  // "An item with that name already exists" puts the file into the patch only when that item is
  // the file itself; another file of its name there would pass a stale or foreign copy as done.
  if (status == vss::kItemExists && !isSharedInto(oVSSItem, *state_.patchItem)) {
    listMe(ResultList::Unprocessed, spec, texts::unknownErrorReason(status));
    return;
  }
  listOutcome(spec, status, texts::kSharedThenDeleted);
}

// The library tells a file's places through its links: the file stands in `project` when one of
// them is the project's path followed by the file's name, compared without letter case as the
// library compares paths. What cannot be read proves nothing.
bool Patcher::isSharedInto(vss::Item& file, vss::Item& project) {
  std::wstring expected;
  std::vector<std::unique_ptr<vss::Item>> links;
  try {
    expected = project.spec();
    appendLevel(expected, file.name());
    links = file.links();
  } catch (const vss::Error&) {
    return false;
  }
  expected = platform_.toLower(expected);
  for (const std::unique_ptr<vss::Item>& link : links) {
    try {
      if (platform_.toLower(link->spec()) == expected) return true;
    } catch (const vss::Error&) {
    }
  }
  return false;
}

// A folder met before goes straight to its target by one lookup. When that target is gone (a
// run into another patch project, subprojects deleted since), the chain is prepared again.
void Patcher::prepareShareTarget(const std::wstring& folderKey,
                                 const std::vector<std::wstring>& subProj) {
  if (state_.sharedNames.contains(folderKey)) {
    std::wstring path = state_.patch;
    for (std::size_t i = 0; i + 1 < subProj.size(); ++i) {
      if (!subProj[i].empty()) appendLevel(path, subProj[i]);
    }
    try {
      state_.patchItem = state_.database->vssItem(path, false);
      return;
    } catch (const vss::Error&) {
    }
    createShareProject(subProj);
    return;
  }
  createShareProject(subProj);
  state_.sharedNames.add(folderKey);
}

// Walks the chain of folder pieces below the patch project, creating the subprojects that are
// missing, and leaves patchItem on the last one. A subproject the library says exists already
// (for instance under another letter case) is simply used.
void Patcher::createShareProject(const std::vector<std::wstring>& subProj) {
  std::wstring path = state_.patch;
  state_.patchItem = state_.database->vssItem(path, false);
  for (std::size_t i = 0; i + 1 < subProj.size(); ++i) {
    const std::wstring& piece = subProj[i];
    if (piece.empty()) continue;
    const std::vector<std::wstring> names = getSubProject(*state_.patchItem);
    if (std::find(names.begin(), names.end(), piece) == names.end()) {
      try {
        state_.patchItem->newSubproject(piece, L"");
      } catch (const vss::Error& e) {
        if (e.status() != vss::kItemExists) throw;
      }
    }
    appendLevel(path, piece);
    state_.patchItem = state_.database->vssItem(path, false);
  }
}

// The names of a project's live child projects, in the library's order.
std::vector<std::wstring> Patcher::getSubProject(vss::Item& parent) {
  std::vector<std::wstring> names;
  for (const std::unique_ptr<vss::Item>& child : parent.items(false)) {
    if (child->type() == vss::kTypeProject) names.push_back(child->name());
  }
  return names;
}

}  // namespace engine
