// The WH_CBT hook that reads and answers the dialogs of the window under test.
#include "box_catcher.h"

#include <utility>

namespace uitest {
namespace {
thread_local BoxCatcher* current = nullptr;

BOOL CALLBACK findIcon(HWND child, LPARAM found) {
  if ((GetWindowLongW(child, GWL_STYLE) & (SS_TYPEMASK | WS_VISIBLE)) == (SS_ICON | WS_VISIBLE) &&
      SendMessageW(child, STM_GETICON, 0, 0))
    *reinterpret_cast<bool*>(found) = true;
  return TRUE;
}
}  // namespace

std::wstring windowText(HWND hwnd) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
  text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), int(text.size()))));
  return text;
}

BoxCatcher::BoxCatcher() : hook_(SetWindowsHookExW(WH_CBT, hook, nullptr, GetCurrentThreadId())) {
  current = this;
}
BoxCatcher::~BoxCatcher() {
  UnhookWindowsHookEx(hook_);
  current = nullptr;
}

LRESULT CALLBACK BoxCatcher::hook(int code, WPARAM wParam, LPARAM lParam) {
  wchar_t cls[16] = {};
  HWND dialog = reinterpret_cast<HWND>(wParam);
  if (code == HCBT_ACTIVATE && GetClassNameW(dialog, cls, 16) && lstrcmpW(cls, L"#32770") == 0)
    SetTimer(dialog, 1, 1, timer);  // read it once its own loop runs and its buttons are set
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

void CALLBACK BoxCatcher::timer(HWND dialog, UINT, UINT_PTR id, DWORD) {
  KillTimer(dialog, id);
  if (current) current->inspect(dialog);
}

void BoxCatcher::inspect(HWND dialog) {
  HWND text = GetDlgItem(dialog, 0xFFFF);
  if (onDialog_ || !text || GetDlgItem(dialog, 0x480) || GetDlgItem(dialog, 0x47c)) {
    ++otherDialogs_;
    if (auto handler = std::exchange(onDialog_, nullptr)) return handler(dialog);
    PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    return;
  }
  SeenBox box{windowText(dialog), windowText(text)};
  EnumChildWindows(dialog, findIcon, reinterpret_cast<LPARAM>(&box.hasIcon));
  box.ok = GetDlgItem(dialog, IDOK) != nullptr;
  box.yes = GetDlgItem(dialog, IDYES) != nullptr;
  box.no = GetDlgItem(dialog, IDNO) != nullptr;
  for (int id : {IDOK, IDYES, IDNO})
    if ((GetWindowLongW(GetDlgItem(dialog, id), GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
      box.defaultId = id;
  boxes_.push_back(box);
  int button = box.ok ? IDOK : IDNO;
  if (!answers_.empty()) {
    button = answers_.front();
    answers_.pop_front();
  }
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

}  // namespace uitest
