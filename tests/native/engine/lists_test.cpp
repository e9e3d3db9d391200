// Result lines and the clipboard text of a list.
#include <gtest/gtest.h>

#include "native/engine/fakes.h"

namespace {

using engine::ResultList;

TEST(ClipboardText, JoinsLinesWithCrLfAndNothingAfterTheLast) {
  const std::vector<std::pair<std::vector<std::wstring>, std::wstring>> cases = {
      {{}, L""},
      {{L"$/a/b.txt"}, L"$/a/b.txt"},
      {{L"$/a", L"$/b - 未知错误,代码: -1", L"$/c"}, L"$/a\r\n$/b - 未知错误,代码: -1\r\n$/c"},
      {{L"", L""}, L"\r\n"}};
  for (const auto& [lines, text] : cases) EXPECT_EQ(engine::clipboardText(lines), text);
}

TEST(ListMe, AppendsThePathFollowedDirectlyByTheReasonToThatListOnly) {
  fakes::Rig rig;
  rig.store.file(L"$/a/b.txt");
  fakes::FakeDatabase db(rig.store);
  db.open(L"C:\\vss\\srcsafe.ini", L"admin", L"secret");
  auto item = db.vssItem(L"$/a/b.txt", false);
  rig.patcher.listMe(ResultList::Shared, *item, nullptr, L"");
  rig.patcher.listMe(ResultList::Unshare, *item, nullptr, L" - VSS上这个文件是损坏的");
  rig.patcher.listMe(ResultList::Shared, *item, nullptr, L"");
  EXPECT_EQ(rig.window.shared, (std::vector<std::wstring>{L"$/a/b.txt", L"$/a/b.txt"}));
  EXPECT_EQ(rig.window.unshared, std::vector<std::wstring>{L"$/a/b.txt - VSS上这个文件是损坏的"});
}

TEST(StatusFromSystemError, MakesTheWin32Hresult) {
  EXPECT_EQ(engine::statusFromSystemError(5), static_cast<std::int32_t>(0x80070005));
  EXPECT_EQ(engine::statusFromSystemError(3), -2147024893);
  EXPECT_EQ(engine::statusFromSystemError(0x12345), static_cast<std::int32_t>(0x80072345));
  EXPECT_EQ(engine::statusFromSystemError(0x80040000u), static_cast<std::int32_t>(0x80040000));
}

}  // namespace
