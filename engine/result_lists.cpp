// Result lines: how a file's outcome becomes a line of a result list, the relative path a file
// is mirrored under, and the clipboard text of a list.
#include <string_view>

#include "engine/patcher.h"
#include "engine/texts.h"

namespace engine {

// Appends the file's line: its database path immediately followed by the reason.
void Patcher::listMe(ResultList listBox, const std::wstring& spec, const std::wstring& reason) {
  std::wstring line;
  line.reserve(spec.size() + reason.size());
  line += spec;
  line += reason;
  window_.appendLine(listBox, line);
  if (hooks_.listObserver) hooks_.listObserver->listed(listBox, spec, reason, deciding_);
}

// A file that the patch project already shares (a rerun of the same range) is in the patch:
// it counts as processed, as a success does. "An item of that name already exists" reaches here
// only where it means the file is there (shareMe tells the file from another of its name).
void Patcher::listOutcome(const std::wstring& spec, std::int32_t status,
                          const wchar_t* deletedReason) {
  if (status == 0 || status == vss::kItemExists || status == vss::kAlreadyShared) {
    listMe(ResultList::Processed, spec, L"");
  } else if (status == vss::kDeletedOrDamaged) {
    listMe(ResultList::Unprocessed, spec, deletedReason);
  } else {
    listMe(ResultList::Unprocessed, spec, texts::unknownErrorReason(status));
  }
}

// Splits a file's path below the walked project on "/", keeping empty pieces; the last piece is
// the file's own name. The project's path is taken off the front only, and only where it ends at
// a level boundary: with the database's own spelling of the project every file of the walk
// starts with it, and a second occurrence further down cannot be part of the prefix.
std::vector<std::wstring> Patcher::relativePieces(const std::wstring& spec) const {
  const std::wstring& root = projectSpec_.empty() ? state_.project : projectSpec_;
  std::wstring_view rest = spec;
  if (!root.empty() && rest.starts_with(root) &&
      (root.back() == L'/' || rest.size() == root.size() || rest[root.size()] == L'/')) {
    rest.remove_prefix(root.size());
  }
  std::vector<std::wstring> pieces;
  for (;;) {
    const std::size_t slash = rest.find(L'/');
    pieces.emplace_back(rest.substr(0, slash));
    if (slash == std::wstring_view::npos) break;
    rest.remove_prefix(slash + 1);
  }
  return pieces;
}

std::int32_t statusFromSystemError(std::uint32_t code) {
  if (static_cast<std::int32_t>(code) <= 0) return static_cast<std::int32_t>(code);
  return static_cast<std::int32_t>((code & 0xFFFFu) | 0x80070000u);
}

std::wstring clipboardText(const std::vector<std::wstring>& lines) {
  std::size_t size = 0;
  for (const std::wstring& line : lines) size += line.size() + 2;
  std::wstring text;
  text.reserve(size);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i != 0) text += L"\r\n";
    text += lines[i];
  }
  return text;
}

}  // namespace engine
