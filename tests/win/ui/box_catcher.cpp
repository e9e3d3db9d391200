// The WH_CBT hook that reads and answers the dialogs of the window under test.
#include "box_catcher.h"

namespace uitest {

thread_local BoxCatcher* BoxCatcher::current_ = nullptr;

std::wstring windowText(HWND hwnd) {
  int length = GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  int copied = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
  return text;
}

BoxCatcher::BoxCatcher() {
  current_ = this;
  hook_ = SetWindowsHookExW(WH_CBT, &BoxCatcher::hookProc, nullptr, GetCurrentThreadId());
}

BoxCatcher::~BoxCatcher() {
  if (hook_) UnhookWindowsHookEx(hook_);
  current_ = nullptr;
}

LRESULT CALLBACK BoxCatcher::hookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_ACTIVATE && current_) {
    HWND hwnd = reinterpret_cast<HWND>(wParam);
    wchar_t cls[64] = {};
    GetClassNameW(hwnd, cls, 64);
    if (lstrcmpW(cls, L"#32770") == 0) current_->activated(hwnd);
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

namespace {
struct IconSearch {
  bool found = false;
};
BOOL CALLBACK findIcon(HWND child, LPARAM param) {
  wchar_t cls[32] = {};
  GetClassNameW(child, cls, 32);
  LONG style = GetWindowLongW(child, GWL_STYLE);
  if (lstrcmpiW(cls, L"Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && (style & WS_VISIBLE) != 0 &&
      SendMessageW(child, STM_GETICON, 0, 0) != 0)
    reinterpret_cast<IconSearch*>(param)->found = true;
  return TRUE;
}
}  // namespace

void BoxCatcher::activated(HWND dialog) {
  // Read the box once its own message loop runs, when its focus and default button are set.
  pending_ = dialog;
  SetTimer(nullptr, 0, 1, &BoxCatcher::timerProc);
}

void CALLBACK BoxCatcher::timerProc(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  if (current_ && current_->pending_) {
    HWND dialog = current_->pending_;
    current_->pending_ = nullptr;
    if (IsWindow(dialog)) current_->inspect(dialog);
  }
}

void BoxCatcher::inspect(HWND dialog) {
  HWND textControl = GetDlgItem(dialog, 0xFFFF);
  bool isMessageBox = textControl != nullptr && GetDlgItem(dialog, 0x480) == nullptr &&
                      GetDlgItem(dialog, 0x47c) == nullptr && dialogHandlers_.empty();
  if (!isMessageBox) {
    ++otherDialogs_;
    if (!dialogHandlers_.empty()) {
      Handler handler = std::move(dialogHandlers_.front());
      dialogHandlers_.pop_front();
      handler(dialog);
    } else {
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    }
    return;
  }
  SeenBox box;
  box.title = windowText(dialog);
  box.text = windowText(textControl);
  IconSearch search;
  EnumChildWindows(dialog, findIcon, reinterpret_cast<LPARAM>(&search));
  box.hasIcon = search.found;
  box.ok = GetDlgItem(dialog, IDOK) != nullptr;
  box.yes = GetDlgItem(dialog, IDYES) != nullptr;
  box.no = GetDlgItem(dialog, IDNO) != nullptr;
  box.cancel = GetDlgItem(dialog, IDCANCEL) != nullptr && (GetWindowLongW(GetDlgItem(dialog, IDCANCEL), GWL_STYLE) & WS_VISIBLE) != 0;
  // The default button is the one drawn as default (Enter presses it); it has the focus.
  if (HWND focus = GetFocus(); focus && GetParent(focus) == dialog) box.focusId = GetDlgCtrlID(focus);
  for (int id : {IDOK, IDYES, IDNO, IDCANCEL}) {
    HWND button = GetDlgItem(dialog, id);
    if (button && (GetWindowLongW(button, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON) box.defaultId = id;
  }
  if (box.defaultId == 0) {
    LRESULT def = SendMessageW(dialog, DM_GETDEFID, 0, 0);
    if (HIWORD(def) == DC_HASDEFID) box.defaultId = LOWORD(def);
  }
  boxes_.push_back(box);
  int button = box.ok ? IDOK : IDNO;  // unplanned boxes are dismissed
  if (!answers_.empty()) {
    button = answers_.front();
    answers_.pop_front();
  }
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
}

}  // namespace uitest
