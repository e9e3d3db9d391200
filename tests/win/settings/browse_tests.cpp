// IniApi::BrowseForFolder on the real shell dialog: a CBT hook catches the dialog when it is
// activated, reads its instruction text and answers it as a user would.
#include <gtest/gtest.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "settings/ini_api.h"
#include "win/settings/temp_folder.h"

namespace {

constexpr UINT_PTR kGiveUpAfterMs = 15000;

// What the hook does with the dialog once it is shown.
struct DialogScript {
  std::wstring selectPath;  // empty: press Cancel; otherwise select this folder and press OK
  HWND dialog = nullptr;
  bool promptShown = false;
  std::wstring prompt;
  bool gaveUp = false;
};

DialogScript* gScript = nullptr;
HHOOK gHook = nullptr;

bool isDialog(HWND window) {
  wchar_t name[32] = {};
  GetClassNameW(window, name, 32);
  return std::wstring(name) == L"#32770";
}

BOOL CALLBACK findPrompt(HWND child, LPARAM) {
  wchar_t text[512] = {};
  GetWindowTextW(child, text, 512);
  if (gScript->prompt == text) gScript->promptShown = true;
  return TRUE;
}

LRESULT CALLBACK cbtHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && gScript && !gScript->dialog) {
    const HWND window = reinterpret_cast<HWND>(wParam);
    if (isDialog(window)) {
      gScript->dialog = window;
      EnumChildWindows(window, findPrompt, 0);
      // Posted, so that the dialog handles them from its own loop once it is up.
      if (gScript->selectPath.empty()) {
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      } else {
        PostMessageW(window, BFFM_SETSELECTIONW, TRUE,
                     reinterpret_cast<LPARAM>(gScript->selectPath.c_str()));
        PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
      }
    }
  }
  return CallNextHookEx(gHook, code, wParam, lParam);
}

BOOL CALLBACK cancelThreadDialog(HWND window, LPARAM) {
  if (isDialog(window)) PostMessageW(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  return TRUE;
}

// Ends a dialog that the hook did not answer, so that a fault fails the test instead of
// hanging it.
void CALLBACK giveUp(HWND, UINT, UINT_PTR, DWORD) {
  if (gScript) gScript->gaveUp = true;
  EnumThreadWindows(GetCurrentThreadId(), cancelThreadDialog, 0);
}

std::wstring browseWith(DialogScript& script, const std::wstring& prompt) {
  script.prompt = prompt;
  gScript = &script;
  gHook = SetWindowsHookExW(WH_CBT, cbtHook, nullptr, GetCurrentThreadId());
  const UINT_PTR timer = SetTimer(nullptr, 0, kGiveUpAfterMs, giveUp);
  IniApi ini;
  const std::wstring result = ini.BrowseForFolder(nullptr, prompt);
  KillTimer(nullptr, timer);
  UnhookWindowsHookEx(gHook);
  gHook = nullptr;
  gScript = nullptr;
  return result;
}

class BrowseForFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (GetEnvironmentVariableW(L"DISPLAY", nullptr, 0) == 0) {
      GTEST_SKIP() << "the folder picker needs an X display (DISPLAY is not set)";
    }
  }
};

TEST_F(BrowseForFolderTest, CancelGivesEmptyText) {
  DialogScript script;
  const std::wstring result = browseWith(script, L"请选择一个目录.");
  EXPECT_FALSE(script.gaveUp);
  ASSERT_NE(script.dialog, nullptr) << "no dialog was shown";
  EXPECT_TRUE(script.promptShown) << "the prompt is not the dialog's instruction text";
  EXPECT_EQ(result, L"");
}

// A folder whose name the ANSI code page cannot hold comes back intact.
TEST_F(BrowseForFolderTest, ConfirmedFolderComesBackWithItsFullName) {
  testing_support::TempFolder folder(L"ostrabel-browse");
  const std::wstring name = L"选择-\u2713-\uD55C\uAE00-\u00F1";
  BOOL lossy = FALSE;
  WideCharToMultiByte(CP_ACP, 0, name.c_str(), -1, nullptr, 0, nullptr, &lossy);
  ASSERT_TRUE(lossy) << "the name must not fit the ANSI code page for this test to mean anything";
  const std::wstring chosen = folder.file(name);
  ASSERT_TRUE(CreateDirectoryW(chosen.c_str(), nullptr));

  DialogScript script;
  script.selectPath = chosen;
  const std::wstring result = browseWith(script, L"请选择一个目录.");
  EXPECT_FALSE(script.gaveUp);
  ASSERT_NE(script.dialog, nullptr) << "no dialog was shown";
  EXPECT_EQ(CompareStringOrdinal(result.c_str(), -1, chosen.c_str(), -1, TRUE), CSTR_EQUAL)
      << testing::PrintToString(result);
  EXPECT_NE(result.find(name), std::wstring::npos) << testing::PrintToString(result);
}

}  // namespace
