// Catches the modal dialogs a window command opens (message boxes, the file and folder
// pickers) with a WH_CBT hook on the calling thread, records what they show and answers them.
#pragma once

#include <windows.h>
#include <dlgs.h>

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace uitest {

// The identifier of a message box's text control.
inline constexpr int kMessageBoxText = 0xFFFF;

std::wstring windowText(HWND hwnd);

struct SeenBox {
  std::wstring title, text;
  bool hasIcon = false, ok = false, yes = false, no = false;
  int defaultId = 0;  // the button drawn as default, which Enter presses
  std::chrono::steady_clock::time_point answeredAt;  // when the answer was posted
};

class BoxCatcher {
 public:
  BoxCatcher() : hook_(SetWindowsHookExW(WH_CBT, hook, nullptr, GetCurrentThreadId())) {
    current_ = this;
  }
  ~BoxCatcher() {
    UnhookWindowsHookEx(hook_);
    current_ = nullptr;
  }
  // Answers the next message boxes with these buttons, in order; unplanned ones are dismissed.
  void answer(std::initializer_list<int> buttons) { answers_.insert(answers_.end(), buttons); }
  // The next dialog that is not a message box goes to `handler`; without one it is cancelled.
  void onDialog(std::function<void(HWND)> handler) { onDialog_ = std::move(handler); }
  const std::vector<SeenBox>& boxes() const { return boxes_; }
  int otherDialogs() const { return otherDialogs_; }

 private:
  static LRESULT CALLBACK hook(int code, WPARAM wParam, LPARAM lParam) {
    wchar_t cls[16] = {};
    HWND dialog = reinterpret_cast<HWND>(wParam);
    if (code == HCBT_ACTIVATE && GetClassNameW(dialog, cls, 16) && lstrcmpW(cls, L"#32770") == 0)
      SetTimer(dialog, 1, 1, timer);  // read it once its own loop runs and its buttons are set
    return CallNextHookEx(nullptr, code, wParam, lParam);
  }
  static void CALLBACK timer(HWND dialog, UINT, UINT_PTR id, DWORD) {
    KillTimer(dialog, id);
    if (current_) current_->inspect(dialog);
  }
  static BOOL CALLBACK findIcon(HWND child, LPARAM found) {
    if ((GetWindowLongW(child, GWL_STYLE) & (SS_TYPEMASK | WS_VISIBLE)) == (SS_ICON | WS_VISIBLE) &&
        SendMessageW(child, STM_GETICON, 0, 0))
      *reinterpret_cast<bool*>(found) = true;
    return TRUE;
  }
  void inspect(HWND dialog) {
    HWND text = GetDlgItem(dialog, kMessageBoxText);
    // The file dialogs carry a file name box (edt1 in the old style, cmb13 in the Explorer one).
    if (onDialog_ || !text || GetDlgItem(dialog, edt1) || GetDlgItem(dialog, cmb13)) {
      ++otherDialogs_;
      if (auto handler = std::exchange(onDialog_, nullptr)) return handler(dialog);
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      return;
    }
    SeenBox box;
    box.title = windowText(dialog);
    box.text = windowText(text);
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
    boxes_.back().answeredAt = std::chrono::steady_clock::now();
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
  }

  HHOOK hook_;
  std::deque<int> answers_;
  std::function<void(HWND)> onDialog_;
  std::vector<SeenBox> boxes_;
  int otherDialogs_ = 0;
  static inline thread_local BoxCatcher* current_ = nullptr;
};

}  // namespace uitest
